// Alignment paths: the worked examples, folding of weak columns against a literal
// backward-folding reference, and the path invariants on many random merges.
#include <gtest/gtest.h>

#include <cstdlib>
#include <list>
#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "align/MultiAlign.h"

namespace {

constexpr unsigned kSeed = 977;

using Blocks = std::vector<std::vector<int>>;

std::vector<int> LegitCodes(const ALIGNNODE& node)
{
    std::vector<int> codes;
    for (size_t c = 0; c < node.legitimate.size(); ++c)
        if (node.legitimate[c]) codes.push_back(static_cast<int>(c));
    return codes;
}

// Columns for N species over a template of length L.
std::vector<HMMALIGNSTATE> Columns(int L, int N)
{
    std::vector<HMMALIGNSTATE> c;
    ClearHMMState(c, L, N);
    return c;
}

void Match(std::vector<HMMALIGNSTATE>& c, int x, int s, int y)
{
    c[static_cast<size_t>(x)].pos[static_cast<size_t>(s)] = y;
    ++c[static_cast<size_t>(x)].matchNum;
}

// A random pairwise path consuming L template and len species residues.
std::vector<int> RandomPairPath(int L, int len)
{
    std::vector<int> p(1, 0);
    int x = 0, y = 0;
    while (x < L || y < len) {
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

// The folding of weak columns exactly as described: from the last column backward, a single
// match goes to the front of the column's own list, and the lists are appended to the
// column before.
void ReferenceFold(std::vector<std::vector<std::list<int>>>& lists, std::vector<std::vector<int>>& pos, int L, int N)
{
    for (int x = L; x >= 1; --x) {
        int matchNum = 0;
        for (int s = 0; s < N; ++s) matchNum += pos[x][s] >= 0;
        if (matchNum >= 2) continue;
        for (int s = 0; s < N; ++s) {
            if (pos[x][s] >= 0) lists[x][s].push_front(pos[x][s]);
            lists[x - 1][s].splice(lists[x - 1][s].end(), lists[x][s]);
            pos[x][s] = -1;
        }
    }
}

}  // namespace

TEST(Paths, TwoSpeciesMatchedOverThreeColumns)
{
    std::vector<HMMALIGNSTATE> c = Columns(3, 2);
    for (int s = 0; s < 2; ++s) ASSERT_TRUE(AddPairPath({3, 2, 2, 2}, s, c.data(), 3));
    ALIGNPATH path;
    ASSERT_TRUE(BuildPathFromColumns(c.data(), 3, 2, path));
    ASSERT_EQ(path.size(), 4u);
    EXPECT_EQ(path[0].movingBlock, 4);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(path[i].pos, (std::vector<int>{i, i}));
        EXPECT_EQ(path[i].block, (Blocks{{0, 1}}));
        EXPECT_EQ(path[i].movingBlock, 0);
        EXPECT_EQ(LegitCodes(path[i]), (std::vector<int>{0, 3}));
    }
    EXPECT_EQ(LegitCodes(path[0]), std::vector<int>{0});
    const bool cp[] = {true, false, false, true};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(path[i].CP, cp[i]) << i;
}

TEST(Paths, AlignedRowsWithOneGapEach)
{
    // A C - T over A - G T
    std::vector<std::vector<int>> rows = {{0, 1, 4, 3}, {0, 4, 2, 3}};
    ALIGNPATH path;
    std::vector<int> len;
    std::vector<std::vector<int>> seq;
    ASSERT_TRUE(AlignmentToPath(rows, 2, path, len, seq));
    ASSERT_EQ(path.size(), 5u);
    EXPECT_EQ(path[0].movingBlock, 5);
    const std::vector<std::vector<int>> pos = {{0, 0}, {1, 1}, {2, 1}, {2, 2}, {3, 3}};
    const Blocks blocks[] = {{{0}, {1}}, {{0, 1}}, {{1}, {0}}, {{0}, {1}}, {{0, 1}}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(path[i].pos, pos[i]) << i;
        EXPECT_EQ(path[i].block, blocks[i]) << i;
        EXPECT_TRUE(path[i].CP) << i;
    }
    EXPECT_EQ(LegitCodes(path[2]), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(LegitCodes(path[3]), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(LegitCodes(path[1]), (std::vector<int>{0, 3}));
    EXPECT_EQ(len, (std::vector<int>{3, 3}));
    EXPECT_EQ(seq, (std::vector<std::vector<int>>{{0, 1, 3}, {0, 2, 3}}));
}

TEST(Paths, ThreeSpeciesOverATemplateOfTwo)
{
    std::vector<HMMALIGNSTATE> c = Columns(2, 3);
    Match(c, 1, 0, 1);
    Match(c, 2, 0, 2);
    Match(c, 1, 1, 1);
    c[1].insert[1].push_back(2);  // species 1: one residue before the second template residue
    Match(c, 2, 2, 1);
    ALIGNPATH path;
    ASSERT_TRUE(BuildPathFromColumns(c.data(), 2, 3, path));
    ASSERT_EQ(path.size(), 4u);
    EXPECT_EQ(path[1].pos, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(path[1].block, (Blocks{{2}, {0, 1}}));
    EXPECT_EQ(path[1].movingBlock, 1);
    EXPECT_EQ(path[2].pos, (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(path[2].block, (Blocks{{2}, {0}, {1}}));
    EXPECT_EQ(path[2].movingBlock, 2);
    EXPECT_EQ(path[3].pos, (std::vector<int>{2, 2, 1}));
    EXPECT_EQ(path[3].block, (Blocks{{1}, {0, 2}}));
    EXPECT_EQ(path[3].movingBlock, 1);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(path[i].CP) << i;
    EXPECT_EQ(LegitCodes(path[1]), (std::vector<int>{0, 3, 4, 7}));
    EXPECT_EQ(LegitCodes(path[2]), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(LegitCodes(path[3]), (std::vector<int>{0, 2, 5, 7}));
}

TEST(Paths, WeakColumnBecomesAnInsertionAfterThoseAlreadyPending)
{
    // Template of 3. Species 0: matches 1 (pos 1), an insertion (pos 2), matches 2 (pos 3)
    // and 3 (pos 4). Species 1: matches 1 (pos 1) and 3 (pos 2). Column 2 is weak.
    std::vector<HMMALIGNSTATE> c = Columns(3, 2);
    Match(c, 1, 0, 1);
    c[1].insert[0].push_back(2);
    Match(c, 2, 0, 3);
    Match(c, 3, 0, 4);
    Match(c, 1, 1, 1);
    Match(c, 3, 1, 2);
    c[0].insert[1].push_back(7);  // never mind positions: column 0's insertions come first
    SimplifyHMMState(c.data(), 3, 2);
    EXPECT_EQ(c[1].insert[0], (std::vector<int>{2, 3}));
    EXPECT_EQ(c[2].matchNum, 0);
    EXPECT_EQ(c[2].pos, (std::vector<int>{-1, -1}));
    EXPECT_EQ(CountPathNodes(c.data(), 3, 2), 6);
}

TEST(Paths, ColumnZeroInsertionsComeFirstSpeciesBySpecies)
{
    std::vector<HMMALIGNSTATE> c = Columns(1, 2);
    c[0].insert[1] = {1, 2};
    c[0].insert[0] = {1};
    Match(c, 1, 0, 2);
    Match(c, 1, 1, 3);
    ALIGNPATH path;
    ASSERT_TRUE(BuildPathFromColumns(c.data(), 1, 2, path));
    ASSERT_EQ(path.size(), 5u);
    EXPECT_EQ(path[1].pos, (std::vector<int>{1, 0}));
    EXPECT_EQ(path[2].pos, (std::vector<int>{1, 1}));
    EXPECT_EQ(path[3].pos, (std::vector<int>{1, 2}));
    EXPECT_EQ(path[4].pos, (std::vector<int>{2, 3}));
    EXPECT_EQ(path[4].block, (Blocks{{0, 1}}));
}

TEST(Paths, FoldingEqualsBackwardFoldingOnRandomColumns)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::srand(kSeed);
    for (int rep = 0; rep < 200; ++rep) {
        const int N = 2 + std::rand() % 4, L = std::rand() % 12;
        std::vector<HMMALIGNSTATE> c = Columns(L, N);
        for (int s = 0; s < N; ++s) ASSERT_TRUE(AddPairPath(RandomPairPath(L, std::rand() % 15), s, c.data(), L));
        std::vector<std::vector<std::list<int>>> lists(static_cast<size_t>(L) + 1,
                                                       std::vector<std::list<int>>(static_cast<size_t>(N)));
        std::vector<std::vector<int>> pos(static_cast<size_t>(L) + 1);
        for (int x = 0; x <= L; ++x) {
            pos[x] = c[x].pos;
            for (int s = 0; s < N; ++s) lists[x][s].assign(c[x].insert[s].begin(), c[x].insert[s].end());
        }
        ReferenceFold(lists, pos, L, N);
        SimplifyHMMState(c.data(), L, N);
        for (int x = 0; x <= L; ++x) {
            EXPECT_EQ(c[x].pos, pos[x]);
            for (int s = 0; s < N; ++s)
                EXPECT_EQ(c[x].insert[s], std::vector<int>(lists[x][s].begin(), lists[x][s].end()));
        }
    }
}

TEST(Paths, InvariantsHoldOnRandomMerges)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::srand(kSeed + 1);
    for (int rep = 0; rep < 300; ++rep) {
        const int N = 2 + std::rand() % 4, L = std::rand() % 25;
        std::vector<int> len(static_cast<size_t>(N));
        std::vector<HMMALIGNSTATE> c = Columns(L, N);
        for (int s = 0; s < N; ++s) {
            len[s] = std::rand() % 30;
            ASSERT_TRUE(AddPairPath(RandomPairPath(L, len[s]), s, c.data(), L));
        }
        // Node count from the columns before folding: node 0, one node per column matched
        // by two or more species, and every other residue on its own.
        int expected = 1;
        for (int s = 0; s < N; ++s) expected += len[s];
        for (int x = 1; x <= L; ++x)
            if (c[x].matchNum >= 2) expected += 1 - c[x].matchNum;

        ALIGNPATH path;
        ASSERT_TRUE(BuildPathFromColumns(c.data(), L, N, path));
        const int nNode = static_cast<int>(path.size());
        ASSERT_EQ(nNode, expected);
        ASSERT_EQ(PathNodeNum(path), nNode);
        EXPECT_EQ(path[nNode - 1].pos, len);

        std::vector<int> lastAdvance(static_cast<size_t>(N), 0);  // node of each species' latest residue
        for (int i = 1; i < nNode; ++i) {
            const ALIGNNODE& node = path[i];
            std::vector<int> moving;
            for (int s = 0; s < N; ++s) {
                const int step = node.pos[s] - path[i - 1].pos[s];
                ASSERT_TRUE(step == 0 || step == 1) << "node " << i;
                if (step) {
                    moving.push_back(s);
                    lastAdvance[s] = i;
                }
            }
            ASSERT_FALSE(moving.empty());
            ASSERT_EQ(node.movingBlock, node.blockNum - 1);
            ASSERT_EQ(node.block[node.movingBlock], moving);
            // Blocks partition the species; members of a block share their latest node;
            // blocks run from the least to the most recently advanced.
            std::vector<int> seen(static_cast<size_t>(N), 0);
            int prevNode = -1;
            ASSERT_EQ(static_cast<int>(node.block.size()), node.blockNum);
            for (int b = 0; b < node.blockNum; ++b) {
                ASSERT_EQ(static_cast<int>(node.block[b].size()), node.blockSize[b]);
                const int at = lastAdvance[node.block[b][0]];
                for (size_t m = 0; m < node.block[b].size(); ++m) {
                    const int s = node.block[b][m];
                    ++seen[s];
                    EXPECT_EQ(lastAdvance[s], at);
                    if (m) {
                        EXPECT_LT(node.block[b][m - 1], s);
                    }
                }
                if (at > 0) {
                    EXPECT_GT(at, prevNode);
                } else {
                    EXPECT_LE(prevNode, 0);  // species never advanced come first
                }
                prevNode = std::max(prevNode, at);
            }
            EXPECT_EQ(seen, std::vector<int>(static_cast<size_t>(N), 1));
            // Legitimate exactly when no block of two or more is split.
            for (int code = 0; code < (1 << N); ++code) {
                bool split = false;
                for (const auto& blk : node.block)
                    for (int s : blk) split = split || (((code >> s) & 1) != ((code >> blk[0]) & 1));
                ASSERT_EQ(node.legitimate[code], split ? 0 : 1) << "node " << i << " code " << code;
            }
            // Change point: the step pattern differs at the next node.
            if (i + 1 < nNode) {
                bool differ = false;
                for (int s = 0; s < N; ++s)
                    differ = differ || path[i + 1].pos[s] - node.pos[s] != node.pos[s] - path[i - 1].pos[s];
                EXPECT_EQ(node.CP, differ);
            } else {
                EXPECT_TRUE(node.CP);
            }
        }
    }
}

TEST(Paths, AlignedRowsDropColumnsThatAreGapsEverywhere)
{
    std::vector<std::vector<int>> rows = {{0, 4, -1, 4}, {2, 4, 4, 1}};
    ALIGNPATH path;
    std::vector<int> len;
    std::vector<std::vector<int>> seq;
    ASSERT_TRUE(AlignmentToPath(rows, 2, path, len, seq));
    ASSERT_EQ(path.size(), 4u);
    EXPECT_EQ(path[1].pos, (std::vector<int>{1, 1}));
    EXPECT_EQ(path[2].pos, (std::vector<int>{2, 1}));  // the undetermined base advances
    EXPECT_EQ(path[3].pos, (std::vector<int>{2, 2}));
    EXPECT_EQ(seq, (std::vector<std::vector<int>>{{0, -1}, {2, 1}}));

    std::vector<std::vector<int>> ragged = {{0, 1}, {2}};
    EXPECT_FALSE(AlignmentToPath(ragged, 2, path, len, seq));
    EXPECT_FALSE(AlignmentToPath(rows, 3, path, len, seq));
}

TEST(Paths, NodeWithoutAdvancingSpeciesIsRefused)
{
    ALIGNPATH path(2);
    InitStartNode(path[0], 2, 2);
    bool advance[2] = {false, false};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(SetPathBlock(path.data(), 1, advance, 0, 2));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error in set path block!\n");
    DeletePath(path);
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(PathNodeNum(path), 0);
}
