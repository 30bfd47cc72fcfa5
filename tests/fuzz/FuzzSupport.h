// Shared pieces of the fuzz targets: the input as a scratch file and the invariant checks.
// A failed check traps, so libFuzzer reports the input that caused it.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace fuzz {

inline void Require(bool ok)
{
    if (!ok) __builtin_trap();
}

// Writes the bytes to a file of this process (one name per suffix, rewritten every input).
inline std::string ScratchFile(const void* data, size_t size, const std::string& suffix = "")
{
    const char* dir = std::getenv("TMPDIR");
    const std::string path =
        std::string(dir && *dir ? dir : "/tmp") + "/serevan_fuzz_" + std::to_string(getpid()) + suffix;
    std::ofstream out(path, std::ios::binary);
    Require(out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size)).flush().good());
    return path;
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
