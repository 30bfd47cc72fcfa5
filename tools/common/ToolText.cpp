// Text helpers of the companion tools.
#include "common/ToolText.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sertools {

bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string& err)
{
    lines.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        lines.push_back(line);
    }
    if (in.bad()) {
        err = "cannot read " + path;
        return false;
    }
    return true;
}

bool WriteFile(const std::string& path, const std::string& text, std::string& err)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        err = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
    const int code = ok ? 0 : errno;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) err = "cannot write " + path + ": " + std::strerror(code ? code : errno);
    return ok;
}

bool WriteOutput(const std::string& path, const std::string& text, std::string& err)
{
    return WriteOutputs({{path, text}}, err);
}

namespace {

// Writes text to a new file (never one that exists) named path plus ".partial" (and a number
// when that is taken); the name in temp. False with a message naming output.
bool WriteTemporary(const std::string& path, const std::string& output, const std::string& text, std::string& temp,
                    std::string& err)
{
    std::FILE* f = nullptr;
    for (int n = 0; f == nullptr && n < 100; ++n) {
        temp = path + ".partial";
        if (n > 0) temp += Format(".%d", n);
        f = std::fopen(temp.c_str(), "wbx");  // 'x': refuse a file that exists
        if (f == nullptr && errno != EEXIST) break;
    }
    if (f == nullptr) {
        err = "cannot write " + output + ": " + std::strerror(errno);
        temp.clear();
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fflush(f) == 0 && ok;
    const int code = ok ? 0 : errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) err = "cannot write " + output + ": " + std::strerror(code ? code : errno);
    return ok;
}

}  // namespace

bool WriteOutputs(const std::vector<std::pair<std::string, std::string>>& outputs, std::string& err)
{
    namespace fs = std::filesystem;
    struct Plan {
        std::string target, temp;  // the file to replace and its temporary; no target: written in place
    };
    std::vector<Plan> plans(outputs.size());
    auto clean = [&]() {
        for (Plan& p : plans)
            if (!p.temp.empty()) std::remove(p.temp.c_str());
        return false;
    };
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string& path = outputs[i].first;
        if (path.empty()) continue;
        std::error_code ec;
        const fs::file_status st = fs::status(path, ec);
        if (!ec && fs::is_directory(st)) {
            err = "cannot write " + path + ": it is a directory";
            return clean();
        }
        // A device or pipe (/dev/null, /dev/stdout, a FIFO) is written in place: renaming a
        // temporary file onto it would replace it.
        if (!ec && fs::exists(st) && !fs::is_regular_file(st)) continue;
        plans[i].target = path;
        // Through a link: the file it names (one that does not exist yet is made there).
        if (fs::is_symlink(fs::symlink_status(path, ec))) {
            const fs::path link = fs::read_symlink(path, ec);
            const fs::path named = link.is_absolute() ? link : fs::path(path).parent_path() / link;
            const fs::path resolved = fs::exists(st) ? fs::canonical(path, ec) : named;
            if (!ec) plans[i].target = resolved.string();
        }
        for (std::size_t j = 0; j < i; ++j)
            if (!plans[j].target.empty() &&
                fs::weakly_canonical(plans[j].target, ec) == fs::weakly_canonical(plans[i].target, ec)) {
                err = "cannot write " + path + ": it is the same file as the output " + outputs[j].first;
                return clean();
            }
        if (!WriteTemporary(plans[i].target, path, outputs[i].second, plans[i].temp, err)) return clean();
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string& path = outputs[i].first;
        if (!plans[i].target.empty()) continue;
        if (path.empty()) {
            const std::string& text = outputs[i].second;
            if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
                err = "cannot write to standard output";
                return clean();
            }
        } else if (!WriteFile(path, outputs[i].second, err)) {
            return clean();
        }
    }
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (!plans[i].temp.empty()) {
            if (std::rename(plans[i].temp.c_str(), plans[i].target.c_str()) != 0) {
                err = "cannot write " + outputs[i].first + ": " + std::strerror(errno);
                return clean();
            }
            plans[i].temp.clear();
        }
    return true;
}

static std::vector<std::string> SplitOn(const std::string& line, char sep)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = line.find(sep, from);
        if (at == std::string::npos) {
            out.push_back(line.substr(from));
            return out;
        }
        out.push_back(line.substr(from, at - from));
        from = at + 1;
    }
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    return SplitOn(line, '\t');
}
std::vector<std::string> SplitCommas(const std::string& text)
{
    return SplitOn(text, ',');
}

std::vector<std::string> SplitBlank(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string field;
    while (in >> field) out.push_back(field);
    return out;
}

std::string Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    va_end(args);
    return out;
}

bool ReadFastaRecords(const std::string& path, std::vector<std::string>& names, std::vector<long long>& lengths,
                      std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '>') {
            std::vector<std::string> f = SplitBlank(line.substr(1));
            names.push_back(f.empty() ? "" : f[0]);
            lengths.push_back(0);
        } else if (!names.empty()) {
            for (char c : line) lengths.back() += (c != ' ' && c != '\t' && c != '-') ? 1 : 0;
        }
    }
    if (names.empty()) err = path + ": no FASTA record";
    return !names.empty();
}

}  // namespace sertools
