// The two sequence readers on the bytes: asked for one record more than the file holds they
// refuse; asked for every record they accept or refuse in one line, and what they accept has
// one length, name and code row per record, each code a base, undetermined (-1) or, in an
// alignment, a gap (4).
#pragma once

#include "FuzzSupport.h"
#include "app/SeqFile.h"

namespace fuzz {

using SeqReader = bool (*)(const CString&, int, std::vector<int>&, std::vector<CString>&,
                           std::vector<std::vector<int>>&, std::string&, bool);

inline void RunSeqReader(SeqReader read, int largestCode, const uint8_t* data, size_t size)
{
    const std::string path = ScratchFile(data, size);
    const int n = CountSequences(path.c_str());
    Require(n >= 0);
    std::vector<int> lengths;
    std::vector<CString> names;
    std::vector<std::vector<int>> seqs;
    std::string err;
    Require(!read(path.c_str(), n + 1, lengths, names, seqs, err, false));
    RequireOneLine(err);
    if (n < 1) return;
    err.clear();
    if (!read(path.c_str(), n, lengths, names, seqs, err, false)) {
        RequireOneLine(err);
        return;
    }
    const size_t count = static_cast<size_t>(n);
    Require(lengths.size() == count && names.size() == count && seqs.size() == count);
    for (size_t i = 0; i < count; ++i) {
        Require(lengths[i] >= 0 && seqs[i].size() == static_cast<size_t>(lengths[i]));
        for (int c : seqs[i]) Require(c >= -1 && c <= largestCode);
    }
}

}  // namespace fuzz
