// Whole-line text input shared by every reader.
#include "app/TextLines.h"

#include <sys/types.h>

#include <cstdlib>

bool ReadTextLine(std::FILE* f, std::string& line)
{
    // The length comes from what was read, so a zero byte inside a line neither ends the line
    // nor glues the next one on.
    line.clear();
    char* buf = nullptr;
    size_t cap = 0;
    const ssize_t n = ::getline(&buf, &cap, f);
    if (n > 0) line.assign(buf, static_cast<size_t>(n));
    std::free(buf);
    return n > 0;
}

std::string StripLineFeed(const std::string& line)
{
    if (!line.empty() && line.back() == '\n') return line.substr(0, line.size() - 1);
    return line;
}
