// printf-style formatting into a std::string.
#include "base/Format.h"

#include <cstdarg>
#include <cstdio>

namespace {

void AppendV(std::string& out, const char* format, std::va_list args)
{
    char small[256];
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        out.append(small, static_cast<size_t>(n));
    } else {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[at], static_cast<size_t>(n) + 1, format, again);
        out.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
}

}  // namespace

void AppendFormat(std::string& out, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    AppendV(out, format, args);
    va_end(args);
}

std::string Format(const char* format, ...)
{
    std::string out;
    std::va_list args;
    va_start(args, format);
    AppendV(out, format, args);
    va_end(args);
    return out;
}
