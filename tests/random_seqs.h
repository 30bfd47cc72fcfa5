// Random DNA for the alignment tests, drawn from the C library stream the test has seeded.
#pragma once

#include <cstdlib>
#include <vector>

namespace testseq {

// len codes 0..3, each undetermined (-1) with probability undetermined.
inline std::vector<int> RandomSeq(int len, double undetermined = 0.0)
{
    std::vector<int> s(static_cast<size_t>(len));
    for (int& c : s) c = (std::rand() % 1000) < undetermined * 1000 ? -1 : std::rand() % 4;
    return s;
}

// Copy of seq with about rate of its residues substituted, deleted or followed by an insertion.
inline std::vector<int> Mutate(const std::vector<int>& seq, double rate)
{
    std::vector<int> out;
    for (int c : seq) {
        int r = std::rand() % 1000;
        if (r < rate * 600) out.push_back(std::rand() % 4);
        else if (r < rate * 800) continue;
        else out.push_back(c);
        if (std::rand() % 1000 < rate * 200) out.push_back(std::rand() % 4);
    }
    return out;
}

}  // namespace testseq
