// The MAF reader for the example's five species: the groups hold letters only, their
// coordinates stay in range, the groups table reads back to the same table, and the program
// reads the FASTA as prep wrote it, which the shared check finds to fit the table.
#include "FuzzSupport.h"
#include "GroupsRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sertools::MafSettings settings;
    settings.species = {"hg17", "mm5", "rn3", "galGal2", "fr1"};
    settings.minLength = 1;
    settings.offset["mm5"] = -3;  // rows moved below 0 are refused
    sertools::MafGroups groups;
    std::string err;
    if (!sertools::ReadMafGroups(fuzz::ScratchFile(data, size), settings, groups, err)) {
        fuzz::RequireOneLine(err);
        return 0;
    }
    const size_t records = settings.species.size() * static_cast<size_t>(groups.groupCount);
    fuzz::Require(groups.groupCount >= 0 && groups.records.size() == records && groups.names.size() == records);
    for (const sertools::GroupSegment& s : groups.segments) {
        fuzz::Require(s.group >= 0 && s.group < groups.groupCount && s.species >= 0 && s.species < 5);
        const std::string& record = groups.records[s.species * groups.groupCount + s.group];
        fuzz::Require(s.length >= 1 && s.recordOffset >= 0 &&
                      s.recordOffset + s.length <= static_cast<long long>(record.size()));
        fuzz::Require(s.end - s.start == s.length && (s.strand == '+' || s.strand == '-') && s.start >= 0 &&
                      s.end <= sertools::kMaxCoordinate);
    }
    if (groups.segments.empty()) return 0;
    const std::string table = sertools::FormatGroupTable(groups);
    sertools::MafGroups back;
    fuzz::Require(sertools::ReadGroupTable(fuzz::ScratchFile(table.data(), table.size(), ".tsv"), back.segments,
                                           back.species, err));
    fuzz::Require(back.species == settings.species && sertools::FormatGroupTable(back) == table);
    fuzz::RequireGroupsRoundTrip(groups);
    return 0;
}
