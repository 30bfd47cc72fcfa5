// Whole-line text input shared by every reader: lines of any length are read whole.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

// An input file, closed when the handle goes away (null when it could not be opened).
struct InputFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using InputFile = std::unique_ptr<std::FILE, InputFileCloser>;
inline InputFile OpenInput(const char* name)
{
    return InputFile(std::fopen(name, "r"));
}

// Reads the next line into line, its line feed included when the file has one.
// Returns false at the end of the file (line empty).
bool ReadTextLine(std::FILE* f, std::string& line);

// The line without one final line feed (a carriage return before it stays).
std::string StripLineFeed(const std::string& line);
