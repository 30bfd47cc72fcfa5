// Orthologous groups from a UCSC MAF genome alignment: one group per block that holds every
// listed species, each species' row with its gaps removed, and the table that maps every
// record position back to its genome.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace sertools {

// The largest coordinate, sequence size or offset accepted (2^50, about 10^15): far beyond any
// assembly, and a sum of two stays far from overflow.
constexpr long long kMaxCoordinate = 1LL << 50;

struct MafSettings {
    std::vector<std::string> species;         // assembly names in record order ("hg17")
    long long minLength = 100;                // shortest first-species record kept
    std::map<std::string, long long> offset;  // added to a species' coordinates
    std::string regions;                      // BED file of first-species regions; empty: one group per block
};

// One contiguous stretch of a record in its genome.
struct GroupSegment {
    int group = 0;
    int species = 0;  // index into the listed species
    long long recordOffset = 0;
    long long length = 0;
    std::string source;   // MAF source name, "hg17.chr22"
    long long start = 0;  // forward-strand, 0-based, half-open, offset added
    long long end = 0;
    char strand = '+';
};

struct MafGroups {
    std::vector<std::string> species;
    int groupCount = 0;
    std::vector<std::string> records;  // species-major: record s * groupCount + g
    std::vector<std::string> names;
    std::vector<GroupSegment> segments;
    std::string summary;               // one line: groups made, blocks skipped and why
    std::vector<std::string> skipped;  // with regions: each skipped region and why ("chr9:0-100 lacks rn3")
};

// Reads the MAF file; false with "file:line: ..." for a malformed line or block, a row holding
// a character that is neither a letter nor a gap ('-', '.'), or coordinates that an offset
// moves below 0 or beyond kMaxCoordinate. A row without letters counts as a missing species.
// With regions, one group per region: every block whose first-species row overlaps it gives
// the columns inside it, so a record may join several segments (one table row each).
bool ReadMafGroups(const std::string& path, const MafSettings& settings, MafGroups& out, std::string& err);

// PREFIX.fa in the program's layout (60 letters a line) and PREFIX.groups.tsv (header line).
std::string FormatGroupFasta(const MafGroups& groups);
std::string FormatGroupTable(const MafGroups& groups);

// Orthologous groups from FASTA files, one file per group. A record belongs to species s
// when its name (first word) starts with the species name, or, with a separator, when one
// of the name's fields between separators equals it. Every file must hold exactly one
// record of each species; others are ignored. Letters are kept, gaps ('-', '.') dropped
// (counted in the summary), blanks ignored. The table gives each record's name as its
// source, coordinates 0 to its length on '+'. False with a message naming file and line for
// a missing or second record of a species, another character in a kept record, or a kept
// record without letters.
bool ReadFastaGroups(const std::vector<std::string>& files, const std::vector<std::string>& species,
                     const std::string& separator, MafGroups& out, std::string& err);

// Reads a groups table back; false with "file:line: ..." when malformed or a coordinate is
// negative or beyond kMaxCoordinate.
bool ReadGroupTable(const std::string& path, std::vector<GroupSegment>& segments, std::vector<std::string>& species,
                    std::string& err);

}  // namespace sertools
