// Helpers shared by the tests: temporary files and running the program's executables.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testutil {

// A fresh directory under the test temp dir, removed when the object goes away.
class TempDir {
public:
    explicit TempDir(const std::string& tag)
    {
        static int counter = 0;
        path_ = std::filesystem::path(::testing::TempDir()) /
                ("serevan_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& name, const std::string& text)
{
    std::ofstream out(name, std::ios::binary);
    out << text;
}

inline std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool Exists(const std::string& name) { return std::filesystem::exists(name); }

// The lines of a text, without their line feeds.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The tab-separated fields of one line (a trailing tab gives an empty last field).
inline std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> out;
    size_t pos = 0, tab;
    while ((tab = line.find('\t', pos)) != std::string::npos) {
        out.push_back(line.substr(pos, tab - pos));
        pos = tab + 1;
    }
    out.push_back(line.substr(pos));
    return out;
}

struct RunResult {
    int status = -1;     // exit status of the command
    std::string output;  // what it wrote to standard output
};

// Runs a shell command in directory dir (if given), capturing standard output.
inline RunResult RunCommand(const std::string& command, const std::string& dir = "")
{
    std::string full = dir.empty() ? command : "cd '" + dir + "' && " + command;
    RunResult r;
    FILE* p = ::popen(full.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    int raw = ::pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

}  // namespace testutil
