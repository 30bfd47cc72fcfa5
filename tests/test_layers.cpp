// The layers of the code base: app -> model -> {align, motif} -> numeric, a base of shared
// types every layer may use, and the companion tools apart (they may use the core; the core
// never uses them). The build compiles every layer with the repository root on its include
// path, so only reading the #include lines can catch one against the grain.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/Support.h"

namespace {

namespace fs = std::filesystem;

const std::set<std::string> kBase = {"app/MyString.h", "app/MyString.cpp", "app/InputParameter.h",
                                     "app/OutputFile.h", "app/OutputFile.cpp", "app/Progress.h",
                                     "app/Progress.cpp"};
const std::map<std::string, std::set<std::string>> kMayUse = {
    {"base", {"base"}},
    {"numeric", {"numeric", "base"}},
    {"align", {"align", "numeric", "base"}},
    {"motif", {"motif", "numeric", "base"}},
    {"model", {"model", "align", "motif", "numeric", "base"}},
    {"app", {"app", "model", "align", "motif", "numeric", "base"}},
    {"tools", {"tools", "app", "model", "align", "motif", "numeric", "base"}},
};

// Layer of a repository-relative path; empty when it is not part of a layer.
std::string LayerOf(const std::string& path)
{
    if (kBase.count(path)) return "base";
    const std::string top = path.substr(0, path.find('/'));
    return kMayUse.count(top) ? top : "";
}

// Every #include "..." of the file at rel (repository-relative) that goes against the grain or
// names no file, as "file -> include".
std::vector<std::string> Violations(const std::string& rel, const std::string& text, const fs::path& root)
{
    static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<std::string> out;
    const std::string from = LayerOf(rel);
    for (const std::string& line : support::Lines(text)) {
        std::smatch m;
        if (!std::regex_search(line, m, include)) continue;
        // Include directories: the repository root, the including file's folder, tools/.
        std::string target;
        for (const fs::path& dir : {fs::path(), fs::path(rel).parent_path(), fs::path("tools")}) {
            target = (dir / std::string(m[1])).lexically_normal().string();
            if (fs::exists(root / target)) break;
        }
        const std::string to = LayerOf(target);
        if (!fs::exists(root / target) || to.empty() || !kMayUse.at(from).count(to))
            out.push_back(rel + " -> " + std::string(m[1]));
    }
    return out;
}

}  // namespace

TEST(Layers, NoIncludeGoesAgainstTheGrain)
{
    const fs::path root = support::kSourceDir;
    int files = 0;
    std::vector<std::string> bad;
    for (const char* dir : {"app", "numeric", "align", "motif", "model", "tools"})
        for (const auto& entry : fs::recursive_directory_iterator(root / dir)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp") continue;
            const std::string rel = fs::relative(entry.path(), root).string();
            for (const std::string& v : Violations(rel, support::ReadFile(entry.path().string()), root))
                bad.push_back(v);
            ++files;
        }
    EXPECT_GT(files, 40);
    EXPECT_EQ(bad, std::vector<std::string>());
}

TEST(Layers, TheCheckCatchesUpwardAndToolIncludes)
{
    const fs::path root = support::kSourceDir;
    EXPECT_EQ(Violations("model/X.cpp", "#include \"app/Drivers.h\"\n#include \"app/MyString.h\"\n", root),
              std::vector<std::string>{"model/X.cpp -> app/Drivers.h"});
    EXPECT_EQ(Violations("numeric/X.cpp", "#include \"align/AlignPath.h\"\n", root),
              std::vector<std::string>{"numeric/X.cpp -> align/AlignPath.h"});
    EXPECT_EQ(Violations("app/X.cpp", " # include \"common/Evaluator.h\"\n", root),
              std::vector<std::string>{"app/X.cpp -> common/Evaluator.h"});
    EXPECT_TRUE(Violations("tools/X.cpp", "#include \"common/Evaluator.h\"\n#include \"model/Serevan.h\"\n", root).empty());
}
