// Parameter updates: collapsed means and the log-posterior value worked by hand from fixed
// counts, moments of the plain draws against their Dirichlet and Beta posteriors, and the
// switches (-q, motif mode, given motifs, the iteration switch).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "app/InputParameter.h"
#include "model/Serevan.h"
#include "numeric/StochasticDistribution.h"

namespace {

const double kLn2 = std::log(2.0);

// ln Γ(n) from the C library: an oracle independent of the program's own table.
double LnG(int n) { return std::lgamma(static_cast<double>(n)); }

// A model built the way a driver builds it: two species, one group of two short sequences,
// K = 2 motifs of widths 3 and 2.
struct TinyModel {
    std::vector<std::vector<int>> seqs{{0, 1, 2, 3, 0, 1, 2, 2, 3, 0}, {0, 1, 2, 0, 0, 1, 2, 3, 3, 0}};
    std::vector<int*> ptrs;
    std::vector<int> lens;
    std::vector<CString> names{CString("s0"), CString("s1")};
    CSerevan m;

    TinyModel(int known, bool fixMotifPr, bool motifMode)
    {
        INPUTPARAMETER p;
        p.nSpeciesNum = 2;
        p.nMotifNum = 2;
        p.nKnownMotifNum = known;
        p.bMotifPr = fixMotifPr;
        p.dMotifPr = 0.01;
        p.bMotifMode = motifMode;
        p.nModuleLen = 200;
        m.SetProgramParam(&p);
        for (auto& s : seqs) {
            ptrs.push_back(s.data());
            lens.push_back(static_cast<int>(s.size()));
        }
        m.InitialSeq(2, 1, ptrs.data(), lens.data(), names.data(), nullptr, nullptr);
        const int widths[2] = {3, 2};
        m.Initialize(widths);
        m.InitialParameter(nullptr, fixMotifPr ? &p.dMotifPr : nullptr);
        m.MSBuildBackground();
        m.ClearSuffStat();
    }

    // The statistics of one sweep, as the backward sampling would leave them.
    void Fill()
    {
        m.ClearSuffStat();
        const double tran[2][2] = {{10, 2}, {1, 30}};
        const double align[2][2] = {{3.6, 0.5}, {0.4, 2.0}};
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b) {
                m.m_dTranCount[a][b] = tran[a][b];
                m.m_dAlignTranCount[a][b] = align[a][b];
            }
        m.m_pMotifCount = {3, 1, 20};
        m.m_pSiteCount[0] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
        m.m_pSiteCount[1] = {5, 0, 2, 1, 0, 0, 0, 0};
        const int anc[4] = {5, 0, 3, 1};
        for (int b = 0; b < 4; ++b) m.m_nBgAncCount[b] = anc[b];
        m.m_nBgSubCount[0][0] = 7;  // identities 10
        m.m_nBgSubCount[1][1] = 3;
        m.m_nBgSubCount[0][2] = 2;  // transitions 3
        m.m_nBgSubCount[3][1] = 1;
        m.m_nBgSubCount[0][1] = 1;  // transversions 4
        m.m_nBgSubCount[2][3] = 3;
        m.m_nMotifSubCount[0] = 6;
        m.m_nMotifSubCount[1] = 30;
    }
};

// Terms of the log-posterior value for the counts of Fill(), worked by hand (priors added).
// Transition counts, rounded after adding 0.5: (15.1, 4.0, 2.9, 33.5) -> (15, 4, 2, 33).
const double kRTran = LnG(15) + LnG(4) - LnG(19) + 2 * std::log(1 / (0.8 * 200)) + 33 * std::log(1 - 1 / (0.8 * 200));
// Segment types (4, 2, 21).
const double kRType = LnG(4) + LnG(2) + LnG(21) - LnG(27);
// Motif 1 columns (6, 1, 3, 2) and (1, 1, 1, 1), width 2 under the Poisson(10) prior.
const double kRMotif1 = LnG(6) + LnG(1) + LnG(3) + LnG(2) - LnG(12) - LnG(4) + 2 * std::log(10.0) - LnG(3);
// Motif 0 columns (3, 1, 1, 1), (1, 2, 1, 1), (1, 1, 1, 1), width 3.
const double kRMotif0 = LnG(3) - LnG(6) + LnG(2) - LnG(5) - LnG(4) + 3 * std::log(10.0) - LnG(4);
// Ancestral background bases (6, 1, 4, 2).
const double kRBgBase = LnG(6) + LnG(1) + LnG(4) + LnG(2) - LnG(13);
// Substitution classes (transitions 4, transversions 5, identities 11).
const double kRSubst = LnG(4) + LnG(5) + LnG(11) - LnG(20) - 5 * kLn2;
// Motif substitution counts (7, 31).
const double kRRate = LnG(7) + LnG(31) - LnG(38);

double Sum(const std::vector<double>& v, int n)
{
    double s = 0;
    for (int i = 0; i < n; ++i) s += std::exp(v[i]);
    return s;
}

}  // namespace

TEST(ParameterUpdate, CollapsedMeansAndLogPosteriorByHand)
{
    SeedRandom(11);
    TinyModel t(1, false, false);
    const std::vector<double> given = t.m.m_pPWM[0];
    const double exitRow[2] = {t.m.m_dTranPr[1][0], t.m.m_dTranPr[1][1]};
    const std::array<double, 20> bg = t.m.m_pBg;
    t.Fill();
    const double r = t.m.CollapseParameter(0);
    EXPECT_NEAR(r, kRTran + kRType + kRMotif1 + kRBgBase + kRSubst + kRRate, 1e-9);

    // Entry row from counts (15, 4): the +0.5 rounding lifts 14.6 to 15 and keeps 4.0 at 4.
    EXPECT_NEAR(std::exp(t.m.m_dTranPr[0][1]), 4.0 / 19, 1e-14);
    EXPECT_NEAR(std::exp(t.m.m_dTranPr[0][0]), 15.0 / 19, 1e-14);
    EXPECT_EQ(t.m.m_dTranPr[1][0], exitRow[0]);
    EXPECT_EQ(t.m.m_dTranPr[1][1], exitRow[1]);

    EXPECT_NEAR(std::exp(t.m.m_pMotifPr[0]), 4.0 / 27, 1e-14);
    EXPECT_NEAR(std::exp(t.m.m_pMotifPr[1]), 2.0 / 27, 1e-14);
    EXPECT_NEAR(std::exp(t.m.m_pMotifPr[2]), 21.0 / 27, 1e-14);

    // Motif 1: column 0 from (6, 1, 3, 2) / 12, column 1 uniform; T is the remainder.
    const double col0[4] = {0.5, 1.0 / 12, 0.25, 1.0 / 6};
    for (int b = 0; b < 4; ++b) {
        EXPECT_NEAR(std::exp(t.m.m_pPWM[1][b]), col0[b], 1e-14);
        EXPECT_NEAR(std::exp(t.m.m_pPWM[1][4 + b]), 0.25, 1e-14);
    }
    for (int j = 0; j < 2; ++j) {
        const double* c = &t.m.m_pPWM[1][4 * j];
        const double acg = std::exp(c[0]) + std::exp(c[1]) + std::exp(c[2]);
        EXPECT_NEAR(std::exp(c[3]), 1.0 - acg, 1e-15);
    }
    EXPECT_EQ(t.m.m_pPWM[0], given);  // given motif untouched
    for (int i = 4; i < 20; ++i) EXPECT_EQ(t.m.m_pBg[i], bg[i]);  // first-order part untouched

    // The motif substitution matrices follow the new matrix and rate.
    const double lambda = t.m.m_dMotifSubRate;
    EXPECT_NEAR(t.m.m_pMotifPhi[1][0][4 * 2 + 0], std::log(lambda * 0.5), 1e-12);
    EXPECT_NEAR(t.m.m_pMotifPhi[1][0][4 * 2 + 2], std::log(lambda * 0.25 + 1 - lambda), 1e-12);
}

TEST(ParameterUpdate, PlainAndCollapsedShareTheLogPosterior)
{
    // The value depends on the counts only, never on the draws.
    SeedRandom(12);
    TinyModel t(1, false, false);
    for (int rep = 0; rep < 3; ++rep) {
        t.Fill();
        EXPECT_NEAR(t.m.UpdateParameter(0), kRTran + kRType + kRMotif1 + kRBgBase + kRSubst + kRRate, 1e-9);
    }
    TinyModel all(0, false, false);
    all.Fill();
    EXPECT_NEAR(all.m.UpdateParameter(0), kRTran + kRType + kRMotif0 + kRMotif1 + kRBgBase + kRSubst + kRRate, 1e-9);
    all.Fill();
    EXPECT_NEAR(all.m.UpdateParameter(-1), kRTran + kRType + kRBgBase + kRSubst + kRRate, 1e-9);
}

namespace {

// Mean and variance of a sample against a Beta(a, b) marginal. Tolerances, for n draws:
// the mean within 5 sd of the sample mean, sqrt(var / n); the variance within 5 sd of the
// sample variance, var * sqrt((excess kurtosis + 2) / n).
void ExpectBetaMoments(const std::vector<double>& x, double a, double b, const char* what)
{
    SCOPED_TRACE(what);
    const double n = static_cast<double>(x.size());
    double mean = 0;
    for (double v : x) mean += v;
    mean /= n;
    double var = 0;
    for (double v : x) var += (v - mean) * (v - mean);
    var /= n - 1;
    const double s = a + b;
    const double mu = a / s, sigma2 = a * b / (s * s * (s + 1));
    const double exKurt = 6 * ((a - b) * (a - b) * (s + 1) - a * b * (s + 2)) / (a * b * (s + 2) * (s + 3));
    EXPECT_NEAR(mean, mu, 5 * std::sqrt(sigma2 / n));
    EXPECT_NEAR(var, sigma2, 5 * sigma2 * std::sqrt((exKurt + 2) / n));
}

}  // namespace

TEST(ParameterUpdate, PlainDrawsMatchPosteriorMoments)
{
    const unsigned seed = 2024;
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    SeedRandom(seed);
    TinyModel t(1, false, false);
    const std::vector<double> given = t.m.m_pPWM[0];
    const int n = 20000;
    std::vector<double> entry, type0, type2, colA, colG, bgA, ident, transit, transv, rate;
    for (int rep = 0; rep < n; ++rep) {
        t.Fill();
        t.m.UpdateParameter(rep);
        entry.push_back(std::exp(t.m.m_dTranPr[0][1]));
        type0.push_back(std::exp(t.m.m_pMotifPr[0]));
        type2.push_back(std::exp(t.m.m_pMotifPr[2]));
        colA.push_back(std::exp(t.m.m_pPWM[1][0]));
        colG.push_back(std::exp(t.m.m_pPWM[1][2]));
        bgA.push_back(std::exp(t.m.m_pBg[0]));
        ident.push_back(std::exp(t.m.m_dBgSubst[0][0]));
        transit.push_back(std::exp(t.m.m_dBgSubst[1][3]));
        transv.push_back(2 * std::exp(t.m.m_dBgSubst[3][0]));  // both transversions of T
        rate.push_back(t.m.m_dMotifSubRate);
        for (int a = 0; a < 4; ++a) {
            double row = 0;
            for (int b = 0; b < 4; ++b) row += std::exp(t.m.m_dBgSubst[a][b]);
            ASSERT_NEAR(row, 1.0, 1e-12);
        }
        ASSERT_NEAR(Sum(t.m.m_pMotifPr, 3), 1.0, 1e-12);
        ASSERT_EQ(t.m.m_pPWM[0], given);
    }
    ExpectBetaMoments(entry, 4, 15, "module entry");
    ExpectBetaMoments(type0, 4, 23, "segment type 0");
    ExpectBetaMoments(type2, 21, 6, "module background");
    ExpectBetaMoments(colA, 6, 6, "motif 1 column 0 A");
    ExpectBetaMoments(colG, 3, 9, "motif 1 column 0 G");
    ExpectBetaMoments(bgA, 6, 7, "ancestral A");
    ExpectBetaMoments(ident, 11, 9, "identity");
    ExpectBetaMoments(transit, 4, 16, "transition");
    ExpectBetaMoments(transv, 5, 15, "transversion");
    ExpectBetaMoments(rate, 7, 31, "motif substitution rate");
}

TEST(ParameterUpdate, FixedMotifProbabilitiesAndMotifMode)
{
    SeedRandom(13);
    // -q: neither the entry row nor the segment types move, and r has no term for them.
    for (int collapse = 0; collapse < 2; ++collapse) {
        TinyModel t(1, true, false);
        const double row0[2] = {t.m.m_dTranPr[0][0], t.m.m_dTranPr[0][1]};
        const std::vector<double> types = t.m.m_pMotifPr;
        t.Fill();
        const double r = collapse ? t.m.CollapseParameter(0) : t.m.UpdateParameter(0);
        EXPECT_NEAR(r, kRMotif1 + kRBgBase + kRSubst + kRRate, 1e-9);
        EXPECT_EQ(t.m.m_dTranPr[0][0], row0[0]);
        EXPECT_EQ(t.m.m_dTranPr[0][1], row0[1]);
        EXPECT_EQ(t.m.m_pMotifPr, types);
        EXPECT_NEAR(std::exp(t.m.m_pMotifPr[0]), 0.01, 1e-15);
    }
    // Motif mode forces the all-module table at every update, with or without -q.
    for (int fix = 0; fix < 2; ++fix)
        for (int collapse = 0; collapse < 2; ++collapse) {
            TinyModel t(1, fix != 0, true);
            t.m.m_dTranPr[0][0] = std::log(0.3);
            t.m.m_dTranPr[0][1] = std::log(0.7);
            t.m.m_dTranPr[1][0] = std::log(0.2);
            t.m.m_dTranPr[1][1] = std::log(0.8);
            const std::vector<double> types = t.m.m_pMotifPr;
            t.Fill();
            const double r = collapse ? t.m.CollapseParameter(0) : t.m.UpdateParameter(0);
            EXPECT_EQ(t.m.m_dTranPr[0][0], -1e100);
            EXPECT_EQ(t.m.m_dTranPr[0][1], 0.0);
            EXPECT_EQ(t.m.m_dTranPr[1][0], -1e100);
            EXPECT_EQ(t.m.m_dTranPr[1][1], 0.0);
            const double common = kRMotif1 + kRBgBase + kRSubst + kRRate;
            EXPECT_NEAR(r, fix ? common : common + kRType, 1e-9);
            if (fix) {
                EXPECT_EQ(t.m.m_pMotifPr, types);
            } else if (collapse) {
                EXPECT_NEAR(std::exp(t.m.m_pMotifPr[1]), 2.0 / 27, 1e-14);
            }
        }
}

TEST(ParameterUpdate, EmptyStatisticsAndTheIterationSwitch)
{
    SeedRandom(14);
    TinyModel t(0, false, false);
    const std::vector<double> pwm0 = t.m.m_pPWM[0], pwm1 = t.m.m_pPWM[1];
    // Nothing sampled: transition counts (1, 1, 1, 1), types (1, 1, 1), every column and the
    // ancestral bases (1, 1, 1, 1), classes (1, 1, 1), rate counts (1, 1). A negative index
    // leaves the matrices alone.
    const double r = t.m.CollapseParameter(-1);
    const double expect = (-LnG(2) + std::log(0.00625) + std::log(0.99375)) + (-LnG(3)) + (-LnG(4)) +
                          (-LnG(3) - kLn2) + (-LnG(2));
    EXPECT_NEAR(r, expect, 1e-12);
    EXPECT_EQ(t.m.m_pPWM[0], pwm0);
    EXPECT_EQ(t.m.m_pPWM[1], pwm1);
    EXPECT_NEAR(std::exp(t.m.m_dTranPr[0][1]), 0.5, 1e-15);
    for (int a = 0; a < 4; ++a) {
        double row = 0;
        for (int b = 0; b < 4; ++b) row += std::exp(t.m.m_dBgSubst[a][b]);
        EXPECT_NEAR(row, 1.0, 1e-12);
        // Both transversions of a base share their class probability equally.
        EXPECT_NEAR(t.m.m_dBgSubst[a][(a + 1) % 4], t.m.m_dBgSubst[a][(a + 3) % 4], 1e-15);
    }
}
