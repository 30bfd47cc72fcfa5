// Motif width moves: the Bayes factor of hand-made edge records, acceptance rates against
// the Metropolis-Hastings ratio, the width bounds, the column shifts of each move code and
// the random numbers each move consumes.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/InputParameter.h"
#include "model/Serevan.h"
#include "numeric/StochasticDistribution.h"

namespace {

// A model built the way a driver builds it: two species, one group of short sequences,
// K motifs all of the same starting width, empty sufficient statistics.
struct TinyModel {
    std::vector<std::vector<int>> seqs{{0, 1, 2, 3, 0, 1, 2, 2, 3, 0, 1, 1}, {0, 1, 2, 0, 0, 1, 2, 3, 3, 0, 2, 2}};
    std::vector<int*> ptrs;
    std::vector<int> lens;
    std::vector<CString> names{CString("s0"), CString("s1")};
    CSerevan m;

    TinyModel(int K, int known, int width, int minWidth, int maxWidth)
    {
        INPUTPARAMETER p;
        p.nSpeciesNum = 2;
        p.nMotifNum = K;
        p.nKnownMotifNum = known;
        p.nMinMotifWidth = minWidth;
        p.nMaxMotifWidth = maxWidth;
        m.SetProgramParam(&p);
        for (auto& s : seqs) {
            ptrs.push_back(s.data());
            lens.push_back(static_cast<int>(s.size()));
        }
        m.InitialSeq(2, 1, ptrs.data(), lens.data(), names.data(), nullptr, nullptr);
        const std::vector<int> widths(K, width);
        m.Initialize(widths.data());
        m.InitialParameter(nullptr, nullptr);
        m.MSBuildBackground();
        m.ClearSuffStat();
    }

    // Puts motif k back to width w with empty base counts.
    void Reset(int k, int w)
    {
        const int old = m.m_pMotifWidth[k];
        m.m_pMotifWidth[k] = w;
        m.m_pSiteCount[k].assign(4 * w, 0);
        m.RenewWdParameters(k, old);
    }
};

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

// True when the stream seeded with `seed` has given exactly n values so far (the next
// value is its (n+1)-th). Leaves the stream re-seeded.
::testing::AssertionResult Consumed(unsigned seed, int n)
{
    const int next = RandomInt();
    SeedRandom(seed);
    for (int i = 0; i < n; ++i) RandomInt();
    if (RandomInt() == next) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "seed " << seed << ": more or fewer than " << n << " values drawn";
}

}  // namespace

TEST(WidthMove, BayesFactorOfHandMadeEdgeRecords)
{
    TinyModel t(1, 0, 5, 1, 14);
    const double bg[4] = {0.1, 0.2, 0.3, 0.4};
    const double sp0[4] = {0.4, 0.1, 0.1, 0.4}, sp1[4] = {0.3, 0.2, 0.2, 0.3};
    for (int b = 0; b < 4; ++b) {
        t.m.m_pBg[b] = std::log(bg[b]);
        t.m.m_pSpeciesBg[0][b] = std::log(sp0[b]);
        t.m.m_pSpeciesBg[1][b] = std::log(sp1[b]);
    }
    // m_dBgSubst keeps its initial values: identity 0.9, transition 0.06, transversion 0.02.

    // Record 1 (first column): species 0 saw A twice, species 1 saw G once; one aligned site
    // with ancestral C whose descendant became T (a transition). lambda = 0.5.
    t.m.m_dMotifSubRate = 0.5;
    SITECOL& e1 = t.m.m_pEdgeStat[1];
    e1.speciesCount[0] = 2;
    e1.speciesCount[4 + 2] = 1;
    e1.ancCount[1] = 1;
    e1.subCount[3] = 1;
    e1.transitionNum = 1;
    SeedRandom(5);
    int column[4] = {0, 0, 0, 0};
    double bf = t.m.BayesFactorWidth(0, 1, column);
    // Column (2, 1, 1, 1): sum ln(c!) = ln 2, minus ln((5 + 3)!).
    double expect = std::log(0.5) - std::log(0.06) - std::log(0.2) - 2 * std::log(0.4) - std::log(0.2) +
                    std::log(2.0) - std::log(40320.0);
    EXPECT_NEAR(bf, expect, 1e-10);
    EXPECT_EQ(std::vector<int>(column, column + 4), (std::vector<int>{2, 1, 1, 1}));
    EXPECT_TRUE(Consumed(5, 0));  // no equal descendants: no binomial draw

    // Record 3 (base after the site), lambda = 1 so every equal descendant counts as redrawn:
    // ancestors A, A, G, G; descendants equal to them A x3, G x1; one C from an A (transversion).
    t.m.m_dMotifSubRate = 1.0;
    SITECOL& e3 = t.m.m_pEdgeStat[3];
    e3.ancCount[0] = 2;
    e3.ancCount[2] = 2;
    e3.sameCount[0] = 3;
    e3.sameCount[2] = 1;
    e3.subCount[1] = 1;
    e3.transversionNum = 1;
    SeedRandom(6);
    int column3[4] = {0, 0, 0, 0};
    bf = t.m.BayesFactorWidth(0, 3, column3);
    // Column (5, 1, 3, 0): ln 5! + ln 3!, minus ln((9 + 3)!).
    expect = -4 * std::log(0.9) - std::log(0.02) - 2 * std::log(0.1) - 2 * std::log(0.3) + std::log(120.0) +
             std::log(6.0) - std::log(479001600.0);
    EXPECT_NEAR(bf, expect, 1e-10);
    EXPECT_EQ(std::vector<int>(column3, column3 + 4), (std::vector<int>{5, 1, 3, 0}));
    EXPECT_TRUE(Consumed(6, 4));  // one binomial trial per equal descendant

    // Empty records: only the uniform Dirichlet term of an empty column, -ln 3!.
    int empty[4] = {0, 0, 0, 0};
    EXPECT_NEAR(t.m.BayesFactorWidth(0, 0, empty), -std::log(6.0), 1e-15);
    EXPECT_NEAR(t.m.BayesFactorWidth(0, 2, empty), -std::log(6.0), 1e-15);
}

namespace {

struct Rates {
    double grow = 0, shrink = 0;  // fraction of proposals that grew / shrank the width
    int n = 0;                    // proposals
};

// Runs `calls` width updates on K motifs, each from width w, counting the outcomes.
Rates RunFrom(TinyModel& t, int w, int calls)
{
    Rates r;
    const int K = t.m.m_nMotifNum;
    for (int c = 0; c < calls; ++c) {
        for (int k = 0; k < K; ++k) t.Reset(k, w);
        t.m.UpdateWidth();
        for (int k = 0; k < K; ++k) {
            r.grow += t.m.m_pMotifWidth[k] == w + 1;
            r.shrink += t.m.m_pMotifWidth[k] == w - 1;
        }
    }
    r.n = calls * K;
    r.grow /= r.n;
    r.shrink /= r.n;
    return r;
}

// Half of the proposals grow and half shrink, so each outcome has probability acceptance / 2.
// Tolerance: 5 sd of a binomial proportion over n proposals.
void ExpectRate(double observed, double acceptance, int n, const char* what)
{
    const double p = acceptance / 2;
    EXPECT_NEAR(observed, p, 5 * std::sqrt(p * (1 - p) / n) + 1e-12) << what;
}

}  // namespace

TEST(WidthMove, AcceptanceRatesMatchTheRatio)
{
    const unsigned seed = 77;
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    SeedRandom(seed);
    const int calls = 10000;  // 4 motifs: 40000 proposals per state
    TinyModel t(4, 0, 2, 1, 14);

    // Empty edge statistics: B = -ln 6, growth accepted with min(1, 10 / (6 (w + 1))),
    // shrinking with min(1, 6 w / 10); at w = 1 = -w shrinking is refused.
    for (int w : {1, 2, 5, 12}) {
        SCOPED_TRACE(::testing::Message() << "width " << w);
        const Rates r = RunFrom(t, w, calls);
        ExpectRate(r.grow, std::min(1.0, 10.0 / (6 * (w + 1))), r.n, "grow");
        ExpectRate(r.shrink, w == 1 ? 0.0 : std::min(1.0, 6.0 * w / 10), r.n, "shrink");
    }

    // A first/last column holding one A seen in species 0, where the background gives A the
    // probability 1/48: B = ln 48 + ln 1! - ln 4! = ln 2, so shrinking from 12 is accepted
    // with (12 / 10) / 2 = 0.6 while growth (empty records 0, 3) keeps 10 / 78.
    for (int k = 0; k < 4; ++k) {
        t.m.m_pEdgeStat[4 * k + 1].speciesCount[0] = 1;
        t.m.m_pEdgeStat[4 * k + 2].speciesCount[0] = 1;
    }
    t.m.m_pSpeciesBg[0][0] = std::log(1.0 / 48);
    const Rates r = RunFrom(t, 12, calls);
    ExpectRate(r.grow, 10.0 / 78, r.n, "grow with full drop records");
    ExpectRate(r.shrink, 0.6, r.n, "shrink against a column worth ln 2");
}

TEST(WidthMove, WidthsStayWithinTheBounds)
{
    SeedRandom(31);
    TinyModel t(4, 0, 4, 3, 6);
    bool seenMin = false, seenMax = false;
    for (int c = 0; c < 2000; ++c) {
        t.m.UpdateWidth();
        for (int k = 0; k < 4; ++k) {
            const int w = t.m.m_pMotifWidth[k];
            ASSERT_GE(w, 3);
            ASSERT_LE(w, 6);
            ASSERT_EQ(t.m.m_pSiteCount[k].size(), 4u * w);
            seenMin = seenMin || w == 3;
            seenMax = seenMax || w == 6;
        }
    }
    EXPECT_TRUE(seenMin);
    EXPECT_TRUE(seenMax);
    EXPECT_EQ(t.m.m_pMotifWidth[4], 1);
}

TEST(WidthMove, RefusedMovesAtTheBoundsDrawNoUniform)
{
    // Growing at -W: only the move code is drawn (empty records draw no binomial).
    {
        TinyModel t(1, 0, 6, 3, 6);
        const unsigned seed = SeedForMove(0);
        t.m.UpdateWidth();
        EXPECT_EQ(t.m.m_pMotifWidth[0], 6);
        EXPECT_TRUE(Consumed(seed, 1));
    }
    // Dropping at -w.
    {
        TinyModel t(1, 0, 3, 3, 6);
        const unsigned seed = SeedForMove(2);
        t.m.UpdateWidth();
        EXPECT_EQ(t.m.m_pMotifWidth[0], 3);
        EXPECT_TRUE(Consumed(seed, 1));
    }
    // A motif keeps one column even when -w allows none.
    {
        TinyModel t(1, 0, 1, 0, 6);
        const unsigned seed = SeedForMove(1);
        t.m.UpdateWidth();
        EXPECT_EQ(t.m.m_pMotifWidth[0], 1);
        EXPECT_TRUE(Consumed(seed, 1));
    }
    // Inside the bounds with a ratio below 1 (growing from 5: 10 / 36) a uniform is drawn.
    {
        TinyModel t(1, 0, 5, 3, 14);
        const unsigned seed = SeedForMove(3);
        t.m.UpdateWidth();
        EXPECT_TRUE(Consumed(seed, 2));
    }
}

TEST(WidthMove, GivenMotifsAreNeverMoved)
{
    // Every motif given: no random number at all.
    {
        TinyModel t(2, 2, 5, 1, 14);
        SeedRandom(41);
        for (int c = 0; c < 50; ++c) t.m.UpdateWidth();
        EXPECT_TRUE(Consumed(41, 0));
        EXPECT_EQ(t.m.m_pMotifWidth[0], 5);
        EXPECT_EQ(t.m.m_pMotifWidth[1], 5);
    }
    // Motif 0 given, motif 1 free: motif 0 keeps its width even with an edge column that
    // would always be accepted, and the stream advances exactly as for motif 1 alone.
    {
        TinyModel t(2, 1, 5, 1, 14);
        TinyModel alone(1, 0, 5, 1, 14);
        for (int e = 0; e < 4; ++e) t.m.m_pEdgeStat[e].speciesCount[4 + 2] = 40;
        SeedRandom(42);
        for (int c = 0; c < 20; ++c) t.m.UpdateWidth();
        const int next = RandomInt();
        SeedRandom(42);
        for (int c = 0; c < 20; ++c) alone.m.UpdateWidth();
        EXPECT_EQ(next, RandomInt());
        EXPECT_EQ(t.m.m_pMotifWidth[0], 5);
        EXPECT_EQ(t.m.m_pMotifWidth[1], alone.m.m_pMotifWidth[0]);
    }
}

TEST(WidthMove, AcceptedMovesShiftTheColumns)
{
    const int w = 3;
    for (int move = 0; move < 4; ++move) {
        SCOPED_TRACE(::testing::Message() << "move " << move);
        TinyModel t(1, 0, w, 1, 14);
        std::vector<int> old(4 * w);
        for (int i = 0; i < 4 * w; ++i) old[i] = 100 + i;  // column j base b = 100 + 4j + b
        t.m.m_pSiteCount[0] = old;
        // The record of an adding move: species 1 saw G 30 times and C twice at that edge, far
        // above background odds, so growth is always accepted. Dropping from 3 against an
        // empty record has ratio 6 * 3 / 10 > 1.
        for (int b = 0; b < 4; ++b) t.m.m_pSpeciesBg[1][b] = std::log(0.25);
        t.m.m_pEdgeStat[0].speciesCount[4 + 2] = 30;
        t.m.m_pEdgeStat[0].speciesCount[4 + 1] = 2;
        t.m.m_pEdgeStat[3].speciesCount[4 + 2] = 30;
        t.m.m_pEdgeStat[3].speciesCount[4 + 1] = 2;
        const unsigned seed = SeedForMove(move);
        t.m.UpdateWidth();
        EXPECT_TRUE(Consumed(seed, 1)) << "accepted outright: no uniform";

        const std::vector<int> added{0, 2, 30, 0};
        std::vector<int> expect;
        switch (move) {
        case 0:
            expect = added;
            expect.insert(expect.end(), old.begin(), old.end());
            break;
        case 1: expect.assign(old.begin() + 4, old.end()); break;
        case 2: expect.assign(old.begin(), old.end() - 4); break;
        default:
            expect = old;
            expect.insert(expect.end(), added.begin(), added.end());
            break;
        }
        const int w2 = (move == 0 || move == 3) ? w + 1 : w - 1;
        EXPECT_EQ(t.m.m_pMotifWidth[0], w2);
        EXPECT_EQ(t.m.m_pSiteCount[0], expect);
        EXPECT_EQ(t.m.m_pPWM[0].size(), 4u * w2);
        EXPECT_EQ(t.m.m_pSiteMatrix[0].size(), 4u * w2);
        EXPECT_EQ(t.m.m_pMotifPhi[0].size(), static_cast<size_t>(w2));
    }
}
