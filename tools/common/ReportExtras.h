// What serevan-report shows beyond a run's own files: the input's letters (soft-masked
// bases, tandem repeats, the planted motifs' matrices), genome coordinates through a groups
// table of serevan-prep, and the agreement of chains read from serevan-chains --json.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/MafGroups.h"
#include "common/MotifMatrix.h"
#include "common/ReportData.h"

namespace sertools {

// A stretch of a genome: 0-based, half-open, on the genome's forward strand.
struct GenomeSpan {
    std::string chrom;  // as the assembly names it ("chr22")
    long long start = 0, end = 0;
    int strand = 0;  // +1, -1, or 0 (a module)
};

// The input records mapped back to their genomes.
struct GenomeMap {
    std::vector<std::string> species;                 // assembly of each species, in record order
    std::vector<std::vector<GroupSegment>> segments;  // per input record

    // The genome stretch of record positions [start, end) on strand (+1, -1, 0); false when the
    // stretch does not lie inside one segment (it spans two alignment blocks).
    bool Map(std::size_t record, long long start, long long end, int strand, GenomeSpan& out) const;
};

// The chains' agreement as serevan-chains --json gives it.
struct ChainVotes {
    std::string verdict;         // its last line, "converged: ..."
    int chains = 0;              // chains compared
    std::size_t run = 0;         // the report's run that is the best chain (0-based)
    std::map<int, int> foundBy;  // motif of that run (1-based) -> chains that found it
};

struct ReportExtras {
    std::vector<std::string> sequences;  // every input record's letters as given, gaps removed
    std::string groupsPath;              // empty without a groups table
    GenomeMap genome;
    std::string chainsPath;  // empty without a chains summary
    ChainVotes chains;
};

// Reads the input's letters and, when their paths are not empty, the groups table and the
// chains summary; false with a one-line message naming the file when one cannot be read, is
// malformed or does not belong to the report and its input.
bool LoadReportExtras(const ReportData& data, const std::string& groupsPath, const std::string& chainsPath,
                      ReportExtras& extras, std::string& err);

// The letters of positions [position, position + width) of seq read on strand (the reverse
// complement for -1), in the case seq gives them; empty when the stretch leaves seq.
std::string StrandLetters(const std::string& seq, long long position, std::size_t width, int strand);

// The matrix of a planted motif from the letters of its sites in the truth table (sites of
// the motif's most common width); empty when it has none inside the input.
Motif PlantedMatrix(const TruthTable& truth, int motif, int groups, const std::vector<std::string>& sequences);

}  // namespace sertools
