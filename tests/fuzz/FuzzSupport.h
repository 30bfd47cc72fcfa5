// Shared pieces of the fuzz targets: the input as a scratch file or as lines, and the
// invariant checks. A failed check traps, so libFuzzer reports the input that caused it.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

inline void Require(bool ok)
{
    if (!ok) __builtin_trap();
}

// Writes the bytes to a file of this process (one name per suffix, rewritten every input).
inline std::string ScratchFile(const uint8_t* data, size_t size, const std::string& suffix = "")
{
    const char* dir = std::getenv("TMPDIR");
    const std::string path = std::string(dir && *dir ? dir : "/tmp") + "/serevan_fuzz_" +
                             std::to_string(getpid()) + suffix;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    if (std::fclose(f) != 0) std::abort();
    return path;
}

inline std::string ScratchFile(const std::string& text, const std::string& suffix)
{
    return ScratchFile(reinterpret_cast<const uint8_t*>(text.data()), text.size(), suffix);
}

// The bytes cut at line feeds, a carriage return before one dropped.
inline std::vector<std::string> Lines(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != '\n') {
            line.push_back(static_cast<char>(data[i]));
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// A refusal is one line of text.
inline void RequireOneLine(const std::string& err)
{
    Require(!err.empty() && err.find('\n') == std::string::npos);
}

// Every row of four (probabilities, or their logarithms with logs) sums to 1 within 1e-9.
inline void RequireRowsSumToOne(const std::vector<double>& p, int width, bool logs)
{
    Require(width >= 1 && p.size() == 4 * static_cast<size_t>(width));
    for (int j = 0; j < width; ++j) {
        double sum = 0;
        for (int b = 0; b < 4; ++b) {
            const double x = logs ? std::exp(p[4 * j + b]) : p[4 * j + b];
            Require(x >= 0 && std::isfinite(x));
            sum += x;
        }
        Require(std::fabs(sum - 1) <= 1e-9);
    }
}

}  // namespace fuzz
