// Strict conversions of text to numbers.
#include "base/Numbers.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace serevan {

namespace {

// White space as the C library skips it (the C locale's isspace).
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view t)
{
    while (!t.empty() && IsSpace(t.front())) t.remove_prefix(1);
    while (!t.empty() && IsSpace(t.back())) t.remove_suffix(1);
    return t;
}

// The text as a C string for strtoll and strtod, which would skip white space in front and
// stop at a zero byte ("12\0junk" is not 12): such texts are refused here.
bool AsCString(std::string_view text, std::string& s)
{
    if (text.empty() || IsSpace(text.front()) || text.find('\0') != std::string_view::npos) return false;
    s.assign(text);
    return true;
}

// strtod over the whole text; false when anything is left over.
bool WholeReal(std::string_view text, double& value)
{
    std::string s;
    if (!AsCString(text, s)) return false;
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    return end != s.c_str() && *end == '\0';
}

}  // namespace

NumberRead ReadInteger(std::string_view text, long long& value)
{
    std::string s;
    if (!AsCString(text, s)) return NumberRead::NotANumber;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str() || *end != '\0') return NumberRead::NotANumber;
    if (errno == ERANGE) return NumberRead::OutOfRange;
    value = v;
    return NumberRead::Ok;
}

NumberRead ReadReal(std::string_view text, double& value)
{
    double v = 0;
    if (!WholeReal(text, v)) return NumberRead::NotANumber;
    if (!std::isfinite(v)) return NumberRead::OutOfRange;
    value = v;
    return NumberRead::Ok;
}

bool ParseInt(std::string_view text, long long& value)
{
    return ReadInteger(Trim(text), value) == NumberRead::Ok;
}

bool ParseInt(std::string_view text, int& value)
{
    long long v = 0;
    if (!ParseInt(text, v) || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseReal(std::string_view text, double& value)
{
    return ReadReal(Trim(text), value) == NumberRead::Ok;
}

bool ParseAnyReal(std::string_view text, double& value)
{
    double v = 0;
    if (!WholeReal(Trim(text), v)) return false;
    value = v;
    return true;
}

}  // namespace serevan
