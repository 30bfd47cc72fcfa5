// The per-group FASTA matcher: the bytes as one group's file, species sp0 to sp2 found as
// fields between '_' or, without a separator, as name prefixes; what it makes passes the
// round trip of both group makers.
#include "FuzzSupport.h"
#include "GroupsRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> files{fuzz::ScratchFile(data, size)};
    const std::vector<std::string> species{"sp0", "sp1", "sp2"};
    for (const char* separator : {"_", ""}) {
        sertools::MafGroups groups;
        std::string err;
        if (!sertools::ReadFastaGroups(files, species, separator, groups, err)) {
            fuzz::RequireOneLine(err);
            continue;
        }
        fuzz::Require(groups.groupCount == 1 && groups.records.size() == 3 && groups.names.size() == 3);
        for (const sertools::GroupSegment& s : groups.segments)
            fuzz::Require(s.species >= 0 && s.species < 3 && s.recordOffset == 0 &&
                          s.length == static_cast<long long>(groups.records[s.species].size()));
        fuzz::RequireGroupsRoundTrip(groups);
    }
    return 0;
}
