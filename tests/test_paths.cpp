// Alignment paths: the worked examples as text, built from merged columns (weak columns folded
// in order into the right column) and from gapped rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "align/MultiAlign.h"
#include "support/Support.h"

namespace {

// A path as text, one node per entry: positions, blocks from the least to the most
// recently advanced, movingBlock ('*' at a change point) and the legitimate subset codes.
std::string Dump(const ALIGNPATH& path)
{
    std::ostringstream s;
    for (const ALIGNNODE& node : path) {
        s << (&node == &path[0] ? "" : "; ");
        for (size_t k = 0; k < node.pos.size(); ++k) s << (k ? "," : "") << node.pos[k];
        for (size_t b = 0; b < node.block.size(); ++b) {
            s << (b ? "|" : " ");
            for (int sp : node.block[b]) s << sp;
        }
        s << " " << node.movingBlock << (node.CP ? "* " : " ");
        for (size_t c = 0; c < node.legitimate.size(); ++c)
            if (node.legitimate[c]) s << c;
    }
    return s.str();
}

}  // namespace

// Worked examples; cases with rows also build the same path from the gapped alignment, which
// spells each species' residues (gap-only columns dropped, an undetermined base kept).
TEST(Paths, BuiltFromMergedColumns)
{
    struct Case {
        int L, N;
        std::vector<std::array<int, 3>> match, insert;  // (column, species, residue)
        const char* dump;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        // Two species matched over three columns.
        Case(3, 2, {{1, 0, 1}, {2, 0, 2}, {3, 0, 3}, {1, 1, 1}, {2, 1, 2}, {3, 1, 3}}, {},
             "0,0 0|1 4* 0; 1,1 01 0 03; 2,2 01 0 03; 3,3 01 0* 03", {"ACG", "TTA"}),
        // Three species over a template of two, one insertion of species 1 (align/paths.md).
        Case(2, 3, {{1, 0, 1}, {2, 0, 2}, {1, 1, 1}, {2, 2, 1}}, {{1, 1, 2}},
             "0,0,0 0|1|2 4* 0; 1,1,0 2|01 1* 0347; 1,2,0 2|0|1 2* 01234567; 2,2,1 1|02 1* 0257", {}),
        // Column 2 is weak: its single match follows the insertion already pending at column 1.
        Case(3, 2, {{1, 0, 1}, {2, 0, 3}, {3, 0, 4}, {1, 1, 2}, {3, 1, 3}}, {{1, 0, 2}, {0, 1, 1}},
             "0,0 0|1 6* 0; 0,1 0|1 1* 0123; 1,2 01 0* 03; 2,2 1|0 1 0123; 3,2 1|0 1* 0123; 4,3 01 0* 03", {}),
        // A weak column of species 0 after an insertion of species 1: folded, its residue joins
        // species 0's insertions and so comes before species 1's insertion.
        Case(3, 2, {{1, 0, 1}, {1, 1, 1}, {2, 0, 2}, {3, 0, 3}, {3, 1, 3}}, {{1, 1, 2}},
             "0,0 0|1 5* 0; 1,1 01 0* 03; 2,1 1|0 1* 0123; 2,2 0|1 1* 0123; 3,3 01 0* 03", {"AC-T", "A-GT"}),
        // A gap-only column is dropped; the undetermined base advances.
        Case(2, 2, {{1, 0, 1}, {1, 1, 1}, {2, 0, 2}}, {{2, 1, 2}},
             "0,0 0|1 4* 0; 1,1 01 0* 03; 2,1 1|0 1* 0123; 2,2 0|1 1* 0123", {"A-N-", "G--C"}),
        // Column 0's insertions come first, species by species.
        Case(1, 2, {{1, 0, 2}, {1, 1, 3}}, {{0, 1, 1}, {0, 1, 2}, {0, 0, 1}},
             "0,0 0|1 5* 0; 1,0 1|0 1* 0123; 1,1 0|1 1 0123; 1,2 0|1 1* 0123; 2,3 01 0* 03", {}),
    };
    for (const auto& c : cases) {
        std::vector<HMMALIGNSTATE> col;
        ClearHMMState(col, c.L, c.N);
        for (const auto& [x, s, y] : c.match) {
            col[x].pos[s] = y;
            ++col[x].matchNum;
        }
        for (const auto& [x, s, y] : c.insert) col[x].insert[s].push_back(y);
        ALIGNPATH path;
        ASSERT_TRUE(BuildPathFromColumns(col.data(), c.L, c.N, path));
        EXPECT_EQ(Dump(path), c.dump);
        if (c.rows.empty()) continue;
        std::vector<std::vector<int>> rows, seq, spelled;
        std::vector<int> len;
        for (std::string r : c.rows) {
            rows.push_back(support::Codes(r));
            r.erase(std::remove(r.begin(), r.end(), '-'), r.end());
            spelled.push_back(support::Codes(r));
        }
        ASSERT_TRUE(AlignmentToPath(rows, 2, path, len, seq));
        EXPECT_EQ(Dump(path), c.dump);
        EXPECT_EQ(seq, spelled);
        EXPECT_EQ(len, path.back().pos);
        EXPECT_FALSE(AlignmentToPath(rows, 3, path, len, seq)) << "fewer rows than species";
        rows[1].pop_back();
        EXPECT_FALSE(AlignmentToPath(rows, 2, path, len, seq)) << "rows of unequal length";
    }
}
