// Parameter updates: collapsed means and the log-posterior value from fixed counts, moments
// of the plain draws against their Dirichlet and Beta posteriors, and the switches (-q,
// motif mode, given motifs, the iteration switch).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

#include "support/Model.h"

using P = CSerevanProbe;

using support::ModelSetup;

namespace {

double Pr(double logValue)
{
    return std::exp(logValue);
}

// Two species, one group, K = 2 motifs of widths 3 and 2, the first `known` given.
std::unique_ptr<support::Model> Tiny(int known, bool fixMotifPr, bool motifMode, double latePseudo = 1.0)
{
    ModelSetup setup;
    setup.K = 2;
    setup.widths = {3, 2};
    setup.param.nKnownMotifNum = known;
    setup.param.bMotifPr = fixMotifPr;
    setup.param.dMotifPr = 0.01;
    setup.param.bMotifMode = motifMode;
    setup.param.dLatePseudo = latePseudo;
    return support::TextModel(2, 1, {"ACGTACGGTA", "ACGAACGTTA"}, setup);
}

// The statistics of one sweep, as the backward sampling would leave them.
void Fill(CSerevan& m)
{
    P::ClearSuffStat(m);
    const double tran[2][2] = {{10, 2}, {1, 30}}, align[2][2] = {{3.6, 0.5}, {0.4, 2.0}};
    std::copy(&tran[0][0], &tran[0][0] + 4, &P::Sweep(m).m_dTranCount[0][0]);
    std::copy(&align[0][0], &align[0][0] + 4, &P::Sweep(m).m_dAlignTranCount[0][0]);
    P::Sweep(m).m_pMotifCount = {3, 1, 20};
    P::Sweep(m).m_pSiteCount[0] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    P::Sweep(m).m_pSiteCount[1] = {5, 0, 2, 1, 0, 0, 0, 0};
    const int anc[4] = {5, 0, 3, 1};
    std::copy(anc, anc + 4, P::Sweep(m).m_nBgAncCount);
    // Ancestor (row) to descendant: identities 10, transitions 3 (A-G, T-C), transversions 4.
    const int sub[4][4] = {{7, 1, 2, 0}, {0, 3, 0, 0}, {0, 0, 0, 3}, {0, 1, 0, 0}};
    std::copy(&sub[0][0], &sub[0][0] + 16, &P::Sweep(m).m_nBgSubCount[0][0]);
    P::Sweep(m).m_nMotifSubCount[0] = 6;
    P::Sweep(m).m_nMotifSubCount[1] = 30;
}

// ln Γ(n) from the C library: an oracle independent of the program's own table.
double LnG(int n)
{
    return std::lgamma(static_cast<double>(n));
}

// Terms of the log-posterior value for the counts of Fill(), worked by hand (priors added).
// Transition counts, rounded after adding 0.5: (15.1, 4.0, 2.9, 33.5) -> (15, 4, 2, 33).
const double kRTran = LnG(15) + LnG(4) - LnG(19) + 2 * std::log(1 / (0.8 * 200)) + 33 * std::log(1 - 1 / (0.8 * 200));
const double kRType = LnG(4) + LnG(2) + LnG(21) - LnG(27);  // segment types (4, 2, 21)
// Motif 1 columns (6, 1, 3, 2) and (1, 1, 1, 1), width 2 under the Poisson(10) prior.
const double kRMotif1 = LnG(6) + LnG(1) + LnG(3) + LnG(2) - LnG(12) - LnG(4) + 2 * std::log(10.0) - LnG(3);
// Motif 0 columns (3, 1, 1, 1), (1, 2, 1, 1), (1, 1, 1, 1), width 3.
const double kRMotif0 = LnG(3) - LnG(6) + LnG(2) - LnG(5) - LnG(4) + 3 * std::log(10.0) - LnG(4);
const double kRBgBase = LnG(6) + LnG(1) + LnG(4) + LnG(2) - LnG(13);  // ancestral bases (6, 1, 4, 2)
// Substitution classes (transitions 4, transversions 5, identities 11).
const double kRSubst = LnG(4) + LnG(5) + LnG(11) - LnG(20) - 5 * std::log(2.0);
const double kRRate = LnG(7) + LnG(31) - LnG(38);  // motif substitution counts (7, 31)
const double kRCommon = kRMotif1 + kRBgBase + kRSubst + kRRate;

// Mean and variance of a sample against a Beta(a, b) marginal. Tolerances, for n draws:
// the mean within 5 sd of the sample mean, sqrt(var / n); the variance within 5 sd of the
// sample variance, var * sqrt((excess kurtosis + 2) / n).
void ExpectBetaMoments(const std::vector<double>& x, double a, double b, const char* what)
{
    SCOPED_TRACE(what);
    const double n = static_cast<double>(x.size());
    double mean = 0, var = 0;
    for (double v : x) mean += v / n;
    for (double v : x) var += (v - mean) * (v - mean) / (n - 1);
    const double s = a + b, mu = a / s, sigma2 = a * b / (s * s * (s + 1));
    const double exKurt = 6 * ((a - b) * (a - b) * (s + 1) - a * b * (s + 2)) / (a * b * (s + 2) * (s + 3));
    EXPECT_NEAR(mean, mu, 5 * std::sqrt(sigma2 / n));
    EXPECT_NEAR(var, sigma2, 5 * sigma2 * std::sqrt((exKurt + 2) / n));
}

}  // namespace

// r from the counts of Fill() under each switch, from a plain and then a collapsed update (r
// depends on the counts only): -q keeps the entry row and the segment types and drops their
// terms, motif mode forces the all-module table, given motifs keep their matrix and have no
// term, and a negative iteration leaves every matrix alone (no matrix term). The exit row and
// the first-order background never move. Then the collapsed means worked by hand.
TEST(ParameterUpdate, LogPosteriorUnderEverySwitchAndCollapsedMeansByHand)
{
    SeedRandom(13);
    const double all = kRTran + kRType + kRCommon;
    // Given motifs, -q, motif mode, iteration, r.
    const std::tuple<int, bool, bool, int, double> rows[] = {
        {1, false, false, 0, all},     {0, false, false, 0, all + kRMotif0},   {0, false, false, -1, all - kRMotif1},
        {1, true, false, 0, kRCommon}, {1, false, true, 0, kRCommon + kRType}, {1, true, true, 0, kRCommon},
    };
    for (const auto& [known, fix, motifMode, iteration, r] : rows) {
        SCOPED_TRACE(::testing::Message() << "known " << known << " -q " << fix << " motif mode " << motifMode
                                          << " iteration " << iteration);
        auto t = Tiny(known, fix, motifMode);
        CSerevan& m = t->m;
        if (motifMode)
            for (int i = 0; i < 4; ++i) P::Par(m).m_dTranPr[i / 2][i % 2] = std::log(0.1 + 0.2 * i);
        auto tran = [&m] { return std::vector<double>(&P::Par(m).m_dTranPr[0][0], &P::Par(m).m_dTranPr[0][0] + 4); };
        const std::vector<double> tran0 = tran(), types = P::Par(m).m_pMotifPr, pwm0 = P::Par(m).m_pPWM[0];
        const std::array<double, 20> bg = P::Par(m).m_pBg;
        for (bool collapse : {false, true}) {
            Fill(m);
            EXPECT_NEAR(collapse ? P::CollapseParameter(m, iteration) : P::UpdateParameter(m, iteration), r, 1e-9);
        }
        EXPECT_TRUE(std::equal(bg.begin() + 4, bg.end(), P::Par(m).m_pBg.begin() + 4));
        EXPECT_TRUE((!known && iteration >= 0) || P::Par(m).m_pPWM[0] == pwm0);  // matrix 0 kept
        EXPECT_TRUE(!fix || P::Par(m).m_pMotifPr == types);                      // types kept
        const std::vector<double> now = tran();
        if (motifMode)
            EXPECT_EQ(now, (std::vector<double>{-1e100, 0, -1e100, 0}));
        else
            EXPECT_TRUE(std::equal(now.begin() + (fix ? 0 : 2), now.end(), tran0.begin() + (fix ? 0 : 2)));
        // Both transversions of a base share their class probability.
        for (int a = 0; a < 4; ++a)
            EXPECT_NEAR(P::Par(m).m_dBgSubst[a][(a + 1) % 4], P::Par(m).m_dBgSubst[a][(a + 3) % 4], 1e-15);
        if (fix) continue;
        const double type[3] = {4.0 / 27, 2.0 / 27, 21.0 / 27};
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(Pr(P::Par(m).m_pMotifPr[k]), type[k], 1e-14);
        if (motifMode || iteration < 0) continue;
        // Entry row from counts (4, 15); motif 1: column 0 from (6, 1, 3, 2) / 12, column 1
        // uniform. The motif substitution matrices follow the new matrix and rate.
        const double mean[10] = {4.0 / 19, 15.0 / 19, 0.5, 1.0 / 12, 0.25, 1.0 / 6, 0.25, 0.25, 0.25, 0.25};
        for (int i = 0; i < 10; ++i)
            EXPECT_NEAR(Pr(i < 2 ? P::Par(m).m_dTranPr[0][1 - i] : P::Par(m).m_pPWM[1][i - 2]), mean[i], 1e-14) << i;
        const double lambda = P::Par(m).m_dMotifSubRate;
        EXPECT_NEAR(P::Par(m).m_pMotifPhi[1][0][4 * 2 + 0], std::log(lambda * 0.5), 1e-12);
        EXPECT_NEAR(P::Par(m).m_pMotifPhi[1][0][4 * 2 + 2], std::log(lambda * 0.25 + 1 - lambda), 1e-12);
    }
}

// -d x: after burn-in the collapsed matrices take x pseudo-counts per base, with the
// Dirichlet-multinomial term (shifted by ln 3!, the default's term at x = 1); during burn-in,
// in the plain update and at x = 1 the update is the default one.
TEST(ParameterUpdate, LatePseudoCountMeansAndTermByHand)
{
    SeedRandom(13);
    const double x = 0.5;
    // Motif 1 columns (5, 0, 2, 1) and (0, 0, 0, 0).
    const double col0 = std::log(0.5 * 1.5 * 2.5 * 3.5 * 4.5) + std::log(0.5 * 1.5) + std::log(0.5) -
                        std::log(2.0 * 3 * 4 * 5 * 6 * 7 * 8 * 9) - std::log(6.0);
    const double motif1 = col0 - std::log(6.0) + 2 * std::log(10.0) - LnG(3);
    const double all = kRTran + kRType + kRCommon;
    for (const auto& [pseudo, sampling, collapse] : {std::tuple{x, true, true}, std::tuple{x, false, true},
                                                     std::tuple{x, true, false}, std::tuple{1.0, true, true}}) {
        SCOPED_TRACE(::testing::Message() << "-d " << pseudo << " sampling " << sampling << " collapse " << collapse);
        auto t = Tiny(1, false, false, pseudo);
        CSerevan& m = t->m;
        P::Post(m).m_bSampling = sampling;
        Fill(m);
        const double r = collapse ? P::CollapseParameter(m, 0) : P::UpdateParameter(m, 0);
        const bool late = pseudo != 1.0 && sampling && collapse;
        EXPECT_NEAR(r, late ? all - kRMotif1 + motif1 : all, 1e-9);
        if (!collapse) continue;
        const double mean[8] = {5.5 / 10, 0.5 / 10, 2.5 / 10, 1.5 / 10, 0.25, 0.25, 0.25, 0.25};
        const double plain[8] = {6.0 / 12, 1.0 / 12, 3.0 / 12, 2.0 / 12, 0.25, 0.25, 0.25, 0.25};
        for (int i = 0; i < 8; ++i) EXPECT_NEAR(Pr(P::Par(m).m_pPWM[1][i]), late ? mean[i] : plain[i], 1e-14) << i;
    }
}

TEST(ParameterUpdateStat, PlainDrawsMatchPosteriorMoments)
{
    support::TestSeed seed(2024);
    auto t = Tiny(1, false, false);
    CSerevan& m = t->m;
    const int n = 20000;
    // Beta(a, b) marginal of each drawn value (transversion: both of T together).
    struct Draw {
        const char* what;
        double a, b;
        std::function<double()> value;
        std::vector<double> x;
    };
    std::vector<Draw> draws = {
        {"module entry", 4, 15, [&] { return Pr(P::Par(m).m_dTranPr[0][1]); }, {}},
        {"segment type 0", 4, 23, [&] { return Pr(P::Par(m).m_pMotifPr[0]); }, {}},
        {"module background", 21, 6, [&] { return Pr(P::Par(m).m_pMotifPr[2]); }, {}},
        {"motif 1 column 0 A", 6, 6, [&] { return Pr(P::Par(m).m_pPWM[1][0]); }, {}},
        {"motif 1 column 0 G", 3, 9, [&] { return Pr(P::Par(m).m_pPWM[1][2]); }, {}},
        {"ancestral A", 6, 7, [&] { return Pr(P::Par(m).m_pBg[0]); }, {}},
        {"identity", 11, 9, [&] { return Pr(P::Par(m).m_dBgSubst[0][0]); }, {}},
        {"transition", 4, 16, [&] { return Pr(P::Par(m).m_dBgSubst[1][3]); }, {}},
        {"transversion", 5, 15, [&] { return 2 * Pr(P::Par(m).m_dBgSubst[3][0]); }, {}},
        {"motif substitution rate", 7, 31, [&] { return P::Par(m).m_dMotifSubRate; }, {}},
    };
    for (int rep = 0; rep < n; ++rep) {
        Fill(m);
        P::UpdateParameter(m, rep);
        for (Draw& d : draws) d.x.push_back(d.value());
        for (int a = 0; a < 4; ++a)
            ASSERT_NEAR(Pr(P::Par(m).m_dBgSubst[a][0]) + Pr(P::Par(m).m_dBgSubst[a][1]) +
                            Pr(P::Par(m).m_dBgSubst[a][2]) + Pr(P::Par(m).m_dBgSubst[a][3]),
                        1.0, 1e-12);
        ASSERT_NEAR(Pr(P::Par(m).m_pMotifPr[0]) + Pr(P::Par(m).m_pMotifPr[1]) + Pr(P::Par(m).m_pMotifPr[2]), 1.0,
                    1e-12);
    }
    for (const Draw& d : draws) ExpectBetaMoments(d.x, d.a, d.b, d.what);
}
