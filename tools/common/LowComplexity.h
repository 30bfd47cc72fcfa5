// Low-complexity stretches (simple repeats, long runs of one or two bases) found by
// triplet counts, and soft-masking them in FASTA files.
//
// The score of a stretch of l overlapping triplets is sum_t c_t (c_t - 1) / 2 / (l - 1),
// c_t the count of triplet t: about 0.5 for random sequence of any length, l / 2 for a run
// of one base, l / 4 for a dinucleotide repeat, l / 8 for a tetranucleotide repeat. In every
// window of `window` bases (windows start every window / 2 bases) the stretch of highest
// score is masked when its score exceeds `threshold` and it spans at least `minLength`
// bases (so short runs of one base, common in any DNA, are kept). Only A, C, G and T
// (either case) count; any other character ends a stretch.
#pragma once

#include <string>
#include <vector>

namespace sertools {

struct LowComplexitySettings {
    int window = 64;
    double threshold = 1.5;
    int minLength = 20;
};

// Sets mask[i] for every base i of seq in a masked stretch (mask is resized to seq's length;
// entries already set stay set).
void FindLowComplexity(const std::string& seq, const LowComplexitySettings& settings, std::vector<bool>& mask);

// FASTA text with the low-complexity stretches of every record in lower case; header lines,
// line breaks and every other character are kept. masked counts the bases lower-cased.
std::string MaskFastaText(const std::string& text, const LowComplexitySettings& settings, long long& masked);

}  // namespace sertools
