// Whole-line text input shared by every reader.
#include "app/TextLines.h"

bool ReadTextLine(std::FILE* f, std::string& line)
{
    line.clear();
    char buf[10000];
    while (std::fgets(buf, sizeof buf, f)) {
        line += buf;
        if (!line.empty() && line.back() == '\n') return true;
    }
    return !line.empty();
}

std::string StripLineFeed(const std::string& line)
{
    if (!line.empty() && line.back() == '\n') return line.substr(0, line.size() - 1);
    return line;
}
