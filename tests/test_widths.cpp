// Motif width moves: acceptance rates against the Metropolis-Hastings ratio, the width
// bounds, the column shifts of each move code and the random numbers each move consumes.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <tuple>
#include <vector>

#include "support/Model.h"

using P = CSerevanProbe;

namespace {

// Two species, one group, K motifs all of starting width w, empty statistics.
std::unique_ptr<support::Model> Tiny(int K, int known, int w, int minWidth, int maxWidth)
{
    support::ModelSetup setup;
    setup.K = K;
    setup.widths.assign(K, w);
    setup.param.nKnownMotifNum = known;
    setup.param.nMinMotifWidth = minWidth;
    setup.param.nMaxMotifWidth = maxWidth;
    auto t = support::TextModel(2, 1, {"ACGTACGGTACC", "ACGAACGTTAGG"}, setup);
    P::ClearSuffStat(t->m);
    return t;
}

// Puts motif k back to width w with empty base counts.
void Reset(CSerevan& m, int k, int w)
{
    const int old = P::Par(m).m_pMotifWidth[k];
    P::Par(m).m_pMotifWidth[k] = w;
    P::Sweep(m).m_pSiteCount[k].assign(4 * w, 0);
    P::RenewWdParameters(m, k, old);
}

// A seed whose first value gives move code `move`; the stream is left seeded with it.
unsigned SeedForMove(int move)
{
    for (unsigned seed = 1;; ++seed) {
        SeedRandom(seed);
        if (RandomInt() % 4 == move) {
            SeedRandom(seed);
            return seed;
        }
    }
}

// True when the stream seeded with `seed` has given exactly n values so far.
::testing::AssertionResult Consumed(unsigned seed, int n)
{
    const int next = RandomInt();
    SeedRandom(seed);
    for (int i = 0; i < n; ++i) RandomInt();
    if (RandomInt() == next) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "seed " << seed << ": more or fewer than " << n << " values drawn";
}

}  // namespace

// Half of the proposals grow and half shrink, so each outcome has probability acceptance / 2.
// Each row runs 10000 updates of 4 motifs from width w: 40000 proposals; tolerance 5 sd of a
// binomial proportion over them.
TEST(WidthMoveStat, AcceptanceRatesMatchTheRatio)
{
    support::TestSeed seed(77);
    auto t = Tiny(4, 0, 2, 1, 14);
    CSerevan& m = t->m;
    // Empty records: B = -ln 6, growth accepted with min(1, 10 / (6 (w + 1))), shrinking with
    // min(1, 6 w / 10), refused at w = 1 = -w. Last row: a first/last column holding one A seen
    // in species 0, where the background gives A 1/48: B = ln 48 + ln 1! - ln 4! = ln 2, so
    // shrinking from 12 is accepted with (12 / 10) / 2 = 0.6, growth (records 0, 3) 10 / 78.
    for (const auto& [w, growRatio, shrinkRatio, fullColumn] : {std::tuple{1, 10.0 / 12, 0.0, false},
                                                                {2, 10.0 / 18, 1.0, false},
                                                                {5, 10.0 / 36, 1.0, false},
                                                                {12, 10.0 / 78, 1.0, false},
                                                                {12, 10.0 / 78, 0.6, true}}) {
        SCOPED_TRACE(::testing::Message() << "width " << w << (fullColumn ? " full column" : ""));
        if (fullColumn) {
            for (int k = 0; k < 4; ++k) {
                P::Sweep(m).m_pEdgeStat[4 * k + 1].speciesCount[0] = 1;
                P::Sweep(m).m_pEdgeStat[4 * k + 2].speciesCount[0] = 1;
            }
            P::Par(m).m_pSpeciesBg[0][0] = std::log(1.0 / 48);
        }
        const int n = 40000;
        double grow = 0, shrink = 0;
        for (int c = 0; c < n / 4; ++c) {
            for (int k = 0; k < 4; ++k) Reset(m, k, w);
            P::UpdateWidth(m);
            for (int k = 0; k < 4; ++k) {
                grow += P::Par(m).m_pMotifWidth[k] == w + 1;
                shrink += P::Par(m).m_pMotifWidth[k] == w - 1;
            }
        }
        for (const auto& [observed, acceptance] :
             {std::pair{grow / n, growRatio}, std::pair{shrink / n, shrinkRatio}}) {
            const double p = acceptance / 2;
            EXPECT_NEAR(observed, p, 5 * std::sqrt(p * (1 - p) / n) + 1e-12);
        }
    }
}

// Each move code: refused at the bounds with only the move code drawn (a motif keeps one
// column even when -w allows none), inside them with a ratio below 1 a uniform follows, and
// from width 3 with an edge column far above background odds (species 1 saw G 30 times and
// C twice at records 0 and 3) accepted outright: the column added in front or behind, or one
// dropped. Column j base b of the old counts holds 100 + 4j + b. Given motifs never move.
TEST(WidthMove, MoveCodesShiftTheColumnsAndConsumeTheirDraws)
{
    std::vector<int> old(12);
    std::iota(old.begin(), old.end(), 100);
    const std::vector<int> added{0, 2, 30, 0};
    std::vector<int> front = added, back = old;
    front.insert(front.end(), old.begin(), old.end());
    back.insert(back.end(), added.begin(), added.end());
    const std::vector<int> shifted[4] = {front, {old.begin() + 4, old.end()}, {old.begin(), old.end() - 4}, back};
    // Width, -w, -W, move code, edge column, width after (-1: either, depending on the
    // uniform), values drawn.
    const std::tuple<int, int, int, int, bool, int, int> rows[] = {
        {6, 3, 6, 0, false, 6, 1}, {3, 3, 6, 2, false, 3, 1}, {1, 0, 6, 1, false, 1, 1}, {5, 3, 14, 3, false, -1, 2},
        {3, 1, 14, 0, true, 4, 1}, {3, 1, 14, 1, true, 2, 1}, {3, 1, 14, 2, true, 2, 1}, {3, 1, 14, 3, true, 4, 1}};
    for (const auto& [width, minWidth, maxWidth, move, edge, after, draws] : rows) {
        SCOPED_TRACE(::testing::Message() << "width " << width << " move " << move << " edge " << edge);
        auto t = Tiny(1, 0, width, minWidth, maxWidth);
        CSerevan& m = t->m;
        if (edge) {
            P::Sweep(m).m_pSiteCount[0] = old;
            for (int b = 0; b < 4; ++b) P::Par(m).m_pSpeciesBg[1][b] = std::log(0.25);
            for (int e : {0, 3}) {
                P::Sweep(m).m_pEdgeStat[e].speciesCount[4 + 2] = 30;
                P::Sweep(m).m_pEdgeStat[e].speciesCount[4 + 1] = 2;
            }
        }
        const unsigned seed = SeedForMove(move);
        P::UpdateWidth(m);
        EXPECT_TRUE(Consumed(seed, draws));
        EXPECT_TRUE(after < 0 || P::Par(m).m_pMotifWidth[0] == after) << P::Par(m).m_pMotifWidth[0];
        if (!edge) continue;
        const size_t w2 = static_cast<size_t>(after);
        EXPECT_EQ(P::Sweep(m).m_pSiteCount[0], shifted[move]);
        EXPECT_EQ((std::vector<size_t>{P::Par(m).m_pPWM[0].size(), P::Res(m).m_pSiteMatrix[0].size(),
                                       P::Par(m).m_pMotifPhi[0].size()}),
                  (std::vector<size_t>{4 * w2, 4 * w2, w2}));
    }
    // Motif 0 given, motif 1 free: motif 0 keeps its width even with an edge column that would
    // always be accepted, and the stream advances exactly as for motif 1 alone.
    auto t = Tiny(2, 1, 5, 1, 14), alone = Tiny(1, 0, 5, 1, 14);
    for (int e = 0; e < 4; ++e) P::Sweep(t->m).m_pEdgeStat[e].speciesCount[4 + 2] = 40;
    SeedRandom(42);
    for (int c = 0; c < 20; ++c) P::UpdateWidth(t->m);
    const int next = RandomInt();
    SeedRandom(42);
    for (int c = 0; c < 20; ++c) P::UpdateWidth(alone->m);
    EXPECT_EQ(next, RandomInt());
    EXPECT_EQ(P::Par(t->m).m_pMotifWidth[0], 5);
    EXPECT_EQ(P::Par(t->m).m_pMotifWidth[1], P::Par(alone->m).m_pMotifWidth[0]);
}
