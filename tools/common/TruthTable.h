// The truth table written by the simulator and read by the evaluator: a TSV with one
// header line and one row per sequence, module and site of every species.
#pragma once

#include <string>
#include <vector>

namespace sertools {

// One stretch of one sequence; coordinates are 0-based on the given strand, end inclusive.
struct Interval {
    int species = 0;  // 0-based species index
    int group = 0;    // 0-based orthologous group index
    int start = 0;    // first base
    int end = 0;      // last base (inclusive)
    int motif = 0;    // 1-based motif for sites, 0 otherwise
    int strand = 0;   // +1 / -1 for sites, 0 otherwise
    int Length() const { return end - start + 1; }
};

// Everything that is true about a simulated data set.
struct TruthTable {
    std::vector<Interval> sequences;  // whole sequences: start 0, end length - 1
    std::vector<Interval> modules;    // per species: from the first base of the leftmost site to
                                      // the last base of the rightmost site present there
    std::vector<Interval> sites;      // every site present in a species
};

// The header line of the table (without its line feed).
extern const char* const kTruthHeader;

// Rows per species, then group: the sequence, its module, its sites by start.
std::string FormatTruth(const TruthTable& truth);

// Reads a table; false with a one-line message (file and line) when it is malformed.
bool ReadTruth(const std::string& path, TruthTable& truth, std::string& err);

}  // namespace sertools
