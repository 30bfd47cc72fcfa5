// The multi-species sequence file: CountSequences, then ReadinSeq on every record.
#include "FuzzSupport.h"
#include "app/SeqFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::ScratchFile(data, size);
    const int n = CountSequences(path.c_str());
    fuzz::Require(n >= 0);
    std::vector<int> lengths;
    std::vector<CString> names;
    std::vector<std::vector<int>> seqs;
    std::string err;
    if (!ReadinSeq(path.c_str(), n + 1, lengths, names, seqs, err)) fuzz::RequireOneLine(err);
    else fuzz::Require(false);  // one record more than the file holds
    if (n < 1) return 0;
    err.clear();
    if (!ReadinSeq(path.c_str(), n, lengths, names, seqs, err)) {
        fuzz::RequireOneLine(err);
        return 0;
    }
    const size_t count = static_cast<size_t>(n);
    fuzz::Require(lengths.size() == count && names.size() == count && seqs.size() == count);
    for (size_t i = 0; i < count; ++i) {
        fuzz::Require(lengths[i] >= 0 && seqs[i].size() == static_cast<size_t>(lengths[i]));
        for (int c : seqs[i]) fuzz::Require(c >= -1 && c <= 3);
    }
    return 0;
}
