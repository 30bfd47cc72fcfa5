// The entry point of the two sequence-reader targets, on the reader kRead whose codes go up
// to kLargestCode (both defined by the including target). Asked for one record more than the
// file holds it refuses; asked for every record it accepts or refuses in one line, and what
// it accepts has one length, name and code row per record, each code a base, undetermined
// (-1) or, in an alignment, a gap (4); the tools' reading of the input (serevan-export,
// -report) gives the same records, letter for letter with the gaps left out.
#pragma once

#include "FuzzSupport.h"
#include "app/SeqFile.h"
#include "common/InputMatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::ScratchFile(data, size);
    const int n = CountSequences(path.c_str());
    fuzz::Require(n >= 0);
    std::vector<int> lengths;
    std::vector<CString> names;
    std::vector<std::vector<int>> seqs;
    std::string err;
    fuzz::Require(!kRead(path.c_str(), n + 1, lengths, names, seqs, err, false));
    fuzz::RequireOneLine(err);
    if (n < 1) return 0;
    err.clear();
    if (!kRead(path.c_str(), n, lengths, names, seqs, err, false)) {
        fuzz::RequireOneLine(err);
        return 0;
    }
    const size_t count = static_cast<size_t>(n);
    fuzz::Require(lengths.size() == count && names.size() == count && seqs.size() == count);
    sertools::InputRecords input;
    fuzz::Require(sertools::ReadInputRecords(path, input, err) && input.letters.size() == count);
    for (size_t i = 0; i < count; ++i) {
        fuzz::Require(lengths[i] >= 0 && seqs[i].size() == static_cast<size_t>(lengths[i]));
        size_t j = 0;
        for (int c : seqs[i]) {
            fuzz::Require(c >= -1 && c <= kLargestCode);
            if (c != 4) fuzz::Require(j < input.letters[i].size() && NucleotideCode(input.letters[i][j++]) == c);
        }
        fuzz::Require(j == input.letters[i].size());
    }
    return 0;
}
