// Alignment paths: the worked examples as text, and the path invariants on many random
// merges (which also catch weak columns folded out of order or into the wrong column).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "align/MultiAlign.h"
#include "support/Support.h"

namespace {

constexpr unsigned kSeed = 977;

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

// A random pairwise path consuming L template and len species residues.
std::vector<int> RandomPairPath(int L, int len)
{
    std::vector<int> p(1, 0);
    for (int x = 0, y = 0; x < L || y < len;) {
        int k = std::rand() % 3;
        if (k == 0 && x == L) k = 1;
        if (k == 1 && y == len) k = 0;
        if (k == 2 && (x == L || y == len)) k = x == L ? 1 : 0;
        p.push_back(k);
        x += k != 1;
        y += k != 0;
    }
    p[0] = static_cast<int>(p.size()) - 1;
    return p;
}

}  // namespace

// Worked examples; cases with rows also build the same path from the gapped alignment, which
// spells each species' residues (gap-only columns dropped, an undetermined base kept).
TEST(Paths, BuiltFromMergedColumns)
{
    const struct {
        int L, N;
        std::vector<std::array<int, 3>> match, insert;  // (column, species, residue)
        const char* dump;
        std::vector<std::string> rows;
    } cases[] = {
        // Two species matched over three columns.
        {3, 2, {{1, 0, 1}, {2, 0, 2}, {3, 0, 3}, {1, 1, 1}, {2, 1, 2}, {3, 1, 3}}, {},
         "0,0 0|1 4* 0; 1,1 01 0 03; 2,2 01 0 03; 3,3 01 0* 03", {"ACG", "TTA"}},
        // Three species over a template of two, one insertion of species 1 (align/paths.md).
        {2, 3, {{1, 0, 1}, {2, 0, 2}, {1, 1, 1}, {2, 2, 1}}, {{1, 1, 2}},
         "0,0,0 0|1|2 4* 0; 1,1,0 2|01 1* 0347; 1,2,0 2|0|1 2* 01234567; 2,2,1 1|02 1* 0257", {}},
        // Column 2 is weak: its single match follows the insertion already pending at column 1.
        {3, 2, {{1, 0, 1}, {2, 0, 3}, {3, 0, 4}, {1, 1, 2}, {3, 1, 3}}, {{1, 0, 2}, {0, 1, 1}},
         "0,0 0|1 6* 0; 0,1 0|1 1* 0123; 1,2 01 0* 03; 2,2 1|0 1 0123; 3,2 1|0 1* 0123; 4,3 01 0* 03", {}},
        // A weak column of species 0 after an insertion of species 1: folded, its residue joins
        // species 0's insertions and so comes before species 1's insertion.
        {3, 2, {{1, 0, 1}, {1, 1, 1}, {2, 0, 2}, {3, 0, 3}, {3, 1, 3}}, {{1, 1, 2}},
         "0,0 0|1 5* 0; 1,1 01 0* 03; 2,1 1|0 1* 0123; 2,2 0|1 1* 0123; 3,3 01 0* 03", {"AC-T", "A-GT"}},
        // A gap-only column is dropped; the undetermined base advances.
        {2, 2, {{1, 0, 1}, {1, 1, 1}, {2, 0, 2}}, {{2, 1, 2}},
         "0,0 0|1 4* 0; 1,1 01 0* 03; 2,1 1|0 1* 0123; 2,2 0|1 1* 0123", {"A-N-", "G--C"}},
        // Column 0's insertions come first, species by species.
        {1, 2, {{1, 0, 2}, {1, 1, 3}}, {{0, 1, 1}, {0, 1, 2}, {0, 0, 1}},
         "0,0 0|1 5* 0; 1,0 1|0 1* 0123; 1,1 0|1 1 0123; 1,2 0|1 1* 0123; 2,3 01 0* 03", {}},
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
        EXPECT_EQ(len, (std::vector<int>{static_cast<int>(spelled[0].size()), static_cast<int>(spelled[1].size())}));
        EXPECT_FALSE(AlignmentToPath(rows, 3, path, len, seq)) << "fewer rows than species";
        rows[1].pop_back();
        EXPECT_FALSE(AlignmentToPath(rows, 2, path, len, seq)) << "rows of unequal length";
    }
}

// Random merges: the node count, unit steps, the blocks (species that never advanced each
// alone, then the species grouped by the node of their latest residue, least recent first),
// the legitimate codes (no block of two or more split) and the change points.
TEST(Paths, InvariantsHoldOnRandomMerges)
{
    std::srand(kSeed + 1);
    for (int rep = 0; rep < 300; ++rep) {
        const int N = 2 + std::rand() % 4, L = std::rand() % 25;
        std::vector<int> len(N);
        std::vector<HMMALIGNSTATE> c;
        ClearHMMState(c, L, N);
        for (int s = 0; s < N; ++s) {
            len[s] = std::rand() % 30;
            ASSERT_TRUE(AddPairPath(RandomPairPath(L, len[s]), s, c.data(), L));
        }
        // Node count from the columns before folding: node 0, one node per column matched
        // by two or more species, and every other residue on its own.
        int expected = 1;
        for (int s = 0; s < N; ++s) expected += len[s];
        for (int x = 1; x <= L; ++x) expected += c[x].matchNum >= 2 ? 1 - c[x].matchNum : 0;
        ALIGNPATH path;
        ASSERT_TRUE(BuildPathFromColumns(c.data(), L, N, path));
        const int nNode = static_cast<int>(path.size());
        ASSERT_EQ(nNode, expected);
        ASSERT_EQ(PathNodeNum(path), nNode);
        EXPECT_EQ(path[nNode - 1].pos, len);
        std::vector<int> lastAdvance(N, 0);  // node of each species' latest residue
        for (int i = 1; i < nNode; ++i) {
            const ALIGNNODE& node = path[i];
            for (int s = 0; s < N; ++s) {
                const int step = node.pos[s] - path[i - 1].pos[s];
                ASSERT_TRUE(step == 0 || step == 1) << "node " << i;
                if (step) lastAdvance[s] = i;
            }
            std::vector<std::vector<int>> blocks;
            for (int at = 0; at <= i; ++at)
                for (int s = 0; s < N; ++s) {
                    if (lastAdvance[s] != at) continue;
                    if (at == 0 || blocks.empty() || lastAdvance[blocks.back()[0]] != at) blocks.emplace_back();
                    blocks.back().push_back(s);
                }
            ASSERT_EQ(lastAdvance[blocks.back()[0]], i) << "node " << i << " advances no species";
            ASSERT_EQ(node.block, blocks) << "node " << i;
            ASSERT_EQ(node.blockNum, static_cast<int>(blocks.size()));
            ASSERT_EQ(node.movingBlock, node.blockNum - 1);
            for (int code = 0; code < (1 << N); ++code) {
                bool split = false;
                for (const auto& blk : blocks)
                    for (int s : blk) split = split || (((code >> s) & 1) != ((code >> blk[0]) & 1));
                ASSERT_EQ(node.legitimate[code], split ? 0 : 1) << "node " << i << " code " << code;
            }
            // Change point: the step pattern differs at the next node, and at the last node.
            bool differ = i + 1 == nNode;
            for (int s = 0; s < N && i + 1 < nNode; ++s)
                differ = differ || path[i + 1].pos[s] - node.pos[s] != node.pos[s] - path[i - 1].pos[s];
            EXPECT_EQ(node.CP, differ) << "node " << i;
        }
    }
}
