#include "common/LowComplexity.h"

#include <cctype>
#include <vector>

namespace sertools {

std::string MaskFastaText(const std::string& text, const LowComplexitySettings& settings, long long& masked)
{
    std::string out = text;
    masked = 0;
    std::string seq;                 // the record's sequence characters
    std::vector<std::size_t> where;  // their offsets in text
    std::vector<bool> mask;
    auto flush = [&]() {
        mask.assign(seq.size(), false);
        FindLowComplexity(seq, settings, mask);
        for (std::size_t i = 0; i < seq.size(); ++i)
            if (mask[i] && std::isupper(static_cast<unsigned char>(out[where[i]]))) {
                out[where[i]] = static_cast<char>(std::tolower(static_cast<unsigned char>(out[where[i]])));
                ++masked;
            }
        seq.clear();
        where.clear();
    };
    bool header = false, lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (lineStart && c == '>') {
            flush();
            header = true;
        }
        lineStart = c == '\n';
        if (lineStart) header = false;
        if (header || c == '\n' || c == '\r') continue;
        seq.push_back(c);
        where.push_back(i);
    }
    flush();
    return out;
}

}  // namespace sertools
