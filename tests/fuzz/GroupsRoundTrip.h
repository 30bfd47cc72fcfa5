// The property both group makers (prep maf, prep groups) share: every record is letters only
// and not empty, the program reads the FASTA they write record for record with nothing
// dropped or shifted, and the shared input check finds their table to fit that FASTA.
#pragma once

#include "FuzzSupport.h"
#include "app/SeqFile.h"
#include "common/InputMatch.h"

namespace fuzz {

inline void RequireGroupsRoundTrip(const sertools::MafGroups& groups)
{
    for (const std::string& r : groups.records) {
        Require(!r.empty());
        for (char c : r) Require((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
    }
    const std::string fasta = sertools::FormatGroupFasta(groups);
    const std::string path = ScratchFile(fasta.data(), fasta.size(), ".fa");
    const int n = static_cast<int>(groups.records.size());
    std::vector<int> lengths;
    std::vector<CString> names;
    std::vector<std::vector<int>> seqs;
    std::string err;
    Require(CountSequences(path.c_str()) == n && ReadinSeq(path.c_str(), n, lengths, names, seqs, err));
    for (int i = 0; i < n; ++i) {
        const std::string& r = groups.records[static_cast<size_t>(i)];
        Require(lengths[i] == static_cast<int>(r.size()));
        for (size_t j = 0; j < r.size(); ++j) Require(seqs[i][j] == NucleotideCode(static_cast<char>(r[j] & ~0x20)));
    }
    sertools::InputRecords input;
    sertools::GroupTable table{"t.tsv", groups.segments, groups.species};
    sertools::RunReport run;
    run.commandLine = "Serevan -N " + std::to_string(groups.species.size());
    int G = 0;
    Require(sertools::ReadInputRecords(path, input, err) &&
            sertools::CheckAgainstInput("r.txt", run, input, &table, G, err) && G == groups.groupCount);
}

}  // namespace fuzz
