// Low-complexity stretches (simple repeats, long runs of one or two bases) found by triplet
// counts: the stretch rule of `serevan-prep mask`, also used by the core to keep repeats out
// of word counts.
//
// The score of a stretch of l overlapping triplets is sum_t c_t (c_t - 1) / 2 / (l - 1),
// c_t the count of triplet t: about 0.5 for random sequence of any length, l / 2 for a run
// of one base, l / 4 for a dinucleotide repeat, l / 8 for a tetranucleotide repeat. In every
// window of `window` bases (windows start every window / 2 bases) the stretch of highest
// score is masked when its score exceeds `threshold` and it spans at least `minLength`
// bases (so short runs of one base, common in any DNA, are kept). Only bases count; any
// other code ends a stretch.
#pragma once

#include <string>
#include <vector>

namespace serevan {

struct LowComplexitySettings {
    int window = 64;
    double threshold = 1.5;
    int minLength = 20;
};

// Sets mask[i] for every base i of codes[0, n) in a masked stretch (mask is resized to n;
// entries already set stay set). Codes: A, C, G, T = 0..3, anything else no base.
void FindLowComplexity(const int* codes, int n, const LowComplexitySettings& settings, std::vector<bool>& mask);

// The same on text: A, C, G, T in either case are the bases.
void FindLowComplexity(const std::string& seq, const LowComplexitySettings& settings, std::vector<bool>& mask);

}  // namespace serevan
