// Does a report, and a groups table, belong to an input file? The one check the tools make
// before they place a run's calls on sequences: every call inside its record, every site's
// letters the input's letters at its position, and a groups table that describes the input's
// records (their names and lengths).
#pragma once

#include <string>
#include <vector>

#include "common/MafGroups.h"
#include "common/RunReport.h"

namespace sertools {

// The records of a run's input (-i) as the program reads them.
struct InputRecords {
    std::string path;
    std::vector<std::string> names;    // first word of the header, without the '>'
    std::vector<std::string> headers;  // the whole header line without the '>'
    std::vector<std::string> letters;  // the sequence's letters upper-cased; gaps and other characters
                                       // left out, so an alignment row gives its sequence
};

// Reads a FASTA file; false with a message when it cannot be read or holds no record.
bool ReadInputRecords(const std::string& path, InputRecords& input, std::string& err);

// A groups table of serevan-prep with its file name.
struct GroupTable {
    std::string path;
    std::vector<GroupSegment> segments;
    std::vector<std::string> species;
};

// Checks that the run whose report is reportPath was made on input: its -N divides the record
// count (groups is set to the quotient), every module and site lies inside its record, and
// every site's letters are the record's letters at its position (reverse complemented on
// strand -1). With a table, also that it lists the run's species and groups and that each
// record's segments tile it exactly, under the record's name (g<group>_<species> as prep maf
// writes it, or the segment's source as prep groups does). False with a message naming both
// files.
bool CheckAgainstInput(const std::string& reportPath, const RunReport& run, const InputRecords& input,
                       const GroupTable* table, int& groups, std::string& err);

}  // namespace sertools
