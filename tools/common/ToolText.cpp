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
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) err = "cannot write " + path + ": write failed";
    return ok;
}

bool WriteOutput(const std::string& path, const std::string& text, std::string& err)
{
    if (path.empty()) {
        bool ok = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
        if (!ok) err = "cannot write to standard output";
        return ok;
    }
    // A device or pipe (/dev/null, /dev/stdout, a FIFO) is written in place: renaming a
    // temporary file onto it would replace it.
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
        if (std::filesystem::is_directory(st)) {
            err = "cannot write " + path + ": it is a directory";
            return false;
        }
        return WriteFile(path, text, err);
    }
    const std::string temp = path + ".partial";
    if (!WriteFile(temp, text, err) || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        err = "cannot write " + path;
        return false;
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
