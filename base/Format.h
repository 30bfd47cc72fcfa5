// printf-style formatting into a std::string, for text built in memory before it is written.
#pragma once

#include <string>

// Appends the formatted text to out.
void AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The formatted text.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
