#include "common/LowComplexity.h"

#include "numeric/SeqMotifBasic.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace sertools {

namespace {

// Masks the best stretch of each window of the run seq[b, e) of bases.
void MaskRun(const std::vector<int>& triplet, int b, int e, const LowComplexitySettings& s, std::vector<bool>& mask)
{
    const int step = std::max(1, s.window / 2);
    std::array<int, 64> count{};
    for (int ws = b;; ws += step) {
        const int we = std::min(ws + s.window, e);
        double best = s.threshold;
        int bestFirst = -1, bestLast = -1;
        for (int i = ws; i + 3 <= we; ++i) {
            count.fill(0);
            long long pairs = 0;  // sum over triplets of c (c - 1) / 2, kept as it grows
            for (int j = i; j + 3 <= we; ++j) {
                pairs += count[triplet[j]]++;
                const int l = j - i + 1;
                if (l < 2) continue;
                const double score = static_cast<double>(pairs) / (l - 1);
                if (score > best) {
                    best = score;
                    bestFirst = i;
                    bestLast = j + 3;
                }
            }
        }
        // A short best stretch (a run of a dozen bases) is left alone rather than replaced by
        // a longer, weaker one that would take random flanks with it.
        if (bestLast - bestFirst >= s.minLength)
            for (int p = bestFirst; p < bestLast; ++p) mask[p] = true;
        if (we >= e) break;
    }
}

}  // namespace

void FindLowComplexity(const std::string& seq, const LowComplexitySettings& settings, std::vector<bool>& mask)
{
    const int n = static_cast<int>(seq.size());
    mask.resize(n, false);
    std::vector<int> triplet(n, 0);
    auto code = [&seq](int i) { return serevan::BaseCodeAnyCase(seq[i]); };  // -1: not a base
    for (int i = 0; i + 2 < n; ++i) {
        const int x = code(i), y = code(i + 1), z = code(i + 2);
        if (x >= 0 && y >= 0 && z >= 0) triplet[i] = 16 * x + 4 * y + z;
    }
    for (int b = 0; b < n;) {
        if (code(b) < 0) {
            ++b;
            continue;
        }
        int e = b;
        while (e < n && code(e) >= 0) ++e;
        MaskRun(triplet, b, e, settings, mask);
        b = e;
    }
}

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
