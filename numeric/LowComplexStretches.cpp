#include "numeric/LowComplexStretches.h"

#include <algorithm>
#include <array>

#include "numeric/SeqMotifBasic.h"

namespace serevan {

namespace {

// Masks the best stretch of each window of the run [b, e) of bases.
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

void FindLowComplexity(const int* codes, int n, const LowComplexitySettings& settings, std::vector<bool>& mask)
{
    mask.resize(n, false);
    std::vector<int> triplet(n, 0);
    for (int i = 0; i + 2 < n; ++i)
        if (IsBase(codes[i]) && IsBase(codes[i + 1]) && IsBase(codes[i + 2]))
            triplet[i] = 16 * codes[i] + 4 * codes[i + 1] + codes[i + 2];
    for (int b = 0; b < n;) {
        if (!IsBase(codes[b])) {
            ++b;
            continue;
        }
        int e = b;
        while (e < n && IsBase(codes[e])) ++e;
        MaskRun(triplet, b, e, settings, mask);
        b = e;
    }
}

void FindLowComplexity(const std::string& seq, const LowComplexitySettings& settings, std::vector<bool>& mask)
{
    std::vector<int> codes(seq.size());
    for (std::size_t i = 0; i < seq.size(); ++i) codes[i] = BaseCodeAnyCase(seq[i]);
    FindLowComplexity(codes.data(), static_cast<int>(codes.size()), settings, mask);
}

}  // namespace serevan
