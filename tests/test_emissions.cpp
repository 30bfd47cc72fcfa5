// Emission model: single-species position scores, node emissions, aligned motif sites and
// background columns, the background likelihood of a path, worked by hand; and the
// linear-space kernels of the passes against the direct log-space versions.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model_fixture.h"
#include "support/Probe.h"

using modeltest::Options;
using modeltest::RandomRows;
using modeltest::TestModel;

namespace {

constexpr double kZ = -1e100;

// Species 0 "ACNGT" alone (species 1 holds one base aligned nowhere), one motif of width 2
// with columns (.4 .3 .2 .1) and (.1 .2 .3 .4).
std::unique_ptr<TestModel> SingleSpecies(bool both)
{
    Options opt;
    opt.widths = {2};
    opt.bothStrands = both;
    auto tm = std::make_unique<TestModel>(std::vector<std::string>{"ACNGT-", "-----G"}, opt);
    tm->SetColumn(0, 0, 0.4, 0.3, 0.2, 0.1);
    tm->SetColumn(0, 1, 0.1, 0.2, 0.3, 0.4);
    tm->Refresh();
    return tm;
}

}  // namespace

TEST(EmissionTable, SingleSpeciesScoresByHand)
{
    auto holder = SingleSpecies(true);
    TestModel& tm = *holder;
    const double* P = tm.table[0];
    const auto& bg = tm.m.m_pSpeciesBg[0];
    // position: site given strand, reverse strand, background (stride 3)
    EXPECT_EQ(P[0], kZ);  // a width-2 site cannot end at position 0
    EXPECT_EQ(P[1], kZ);
    EXPECT_DOUBLE_EQ(P[2], bg[0]);  // zero-order value of the first base
    EXPECT_DOUBLE_EQ(P[3], std::log(0.4) + std::log(0.2));  // AC
    EXPECT_DOUBLE_EQ(P[4], std::log(0.2) + std::log(0.4));  // GT, its reverse complement
    EXPECT_DOUBLE_EQ(P[5], bg[4 + 4 * 0 + 1]);              // C after A
    EXPECT_EQ(P[6], kZ);  // window CN
    EXPECT_EQ(P[7], kZ);
    EXPECT_EQ(P[8], -1.386);  // N
    EXPECT_EQ(P[9], kZ);      // window NG
    EXPECT_EQ(P[11], -1.386);  // G after N
    EXPECT_DOUBLE_EQ(P[12], std::log(0.2) + std::log(0.4));  // GT
    EXPECT_DOUBLE_EQ(P[13], std::log(0.4) + std::log(0.2));  // AC
    EXPECT_DOUBLE_EQ(P[14], bg[4 + 4 * 2 + 3]);

    auto off = SingleSpecies(false);
    EXPECT_DOUBLE_EQ(off->table[0][3], std::log(0.4) + std::log(0.2));
    EXPECT_EQ(off->table[0][4], kZ);  // no reverse strand
    EXPECT_EQ(off->table[0][13], kZ);
}

TEST(EmissionTable, LowComplexityMaskOnlyTouchesSingleSpeciesWindows)
{
    Options opt;
    opt.widths = {4};
    opt.mask = true;
    TestModel tm({"AAAAACGT", "AAAAACGT"}, opt);
    tm.Refresh();
    const int stride = 3;
    EXPECT_EQ(tm.table[0][stride * 3], kZ);  // AAAA: A is more than 0.8 of the window
    EXPECT_EQ(tm.table[0][stride * 4], kZ);  // AAAA
    EXPECT_DOUBLE_EQ(tm.table[0][stride * 7], 4 * std::log(0.25));  // ACGT
    // The aligned site AAAA keeps its probability: no mask across species.
    const int species[2] = {0, 1}, pos[2] = {3, 3};
    EXPECT_GT(tm.m.CalMotifEmission(0, 2, species, pos, 0), -1e20);
    // C+G above 0.8 is masked as well; AACG (C+G = 0.5) is not.
    TestModel gc({"GCGCGAACG", "GCGCGAACG"}, opt);
    gc.Refresh();
    EXPECT_EQ(gc.table[0][stride * 3], kZ);
    EXPECT_DOUBLE_EQ(gc.table[0][stride * 8], 4 * std::log(0.25));
}

TEST(NodeEmission, SingleSpeciesStrandMeanUsesTheWrittenConstant)
{
    // Palindromic window AT (its reverse complement is AT): both strands score x, and the
    // emission is x + ln 2 - 0.6931, which is not x.
    Options opt;
    opt.widths = {2};
    opt.bothStrands = true;
    TestModel tm({"AT-", "--C"}, opt);
    tm.SetColumn(0, 0, 0.4, 0.3, 0.2, 0.1);
    tm.SetColumn(0, 1, 0.1, 0.2, 0.3, 0.4);
    tm.Refresh();
    const double x = std::log(0.4) + std::log(0.4);
    EXPECT_DOUBLE_EQ(tm.table[0][3 + 0], x);
    EXPECT_DOUBLE_EQ(tm.table[0][3 + 1], x);
    double e[2];
    tm.m.CalculateEmissions(e, tm.table.data(), tm.path.data(), 2, 0, 2);
    EXPECT_NEAR(e[0], x + std::log(2.0) - 0.6931, 1e-14);
    EXPECT_GT(std::fabs(e[0] - x), 4e-5);
    EXPECT_DOUBLE_EQ(e[1], tm.table[0][3 + 2]);  // background entry of the table
    // Both strands off: the forward score alone.
    tm.m.m_bBothStrand = false;
    tm.Refresh();
    tm.m.CalculateEmissions(e, tm.table.data(), tm.path.data(), 2, 0, 2);
    EXPECT_EQ(e[0], x);
}

TEST(NodeEmission, SiteNotAdmissibleRightAfterChangePoint)
{
    // Node 1 aligns both species (a change point); nodes 2..5 advance species 0 alone.
    Options opt;
    opt.K = 2;
    opt.widths = {3, 1};
    TestModel tm({"AACGT", "A----"}, opt);
    tm.Refresh();
    double e[3];
    const int stride = 5;
    for (int t = 2; t <= 5; ++t) {
        tm.m.CalculateEmissions(e, tm.table.data(), tm.path.data(), t, 0, 1);
        const int p = t - 1;
        EXPECT_DOUBLE_EQ(e[1], tm.table[0][stride * p + 2]) << "width 1 at node " << t;
        if (t < 4)
            EXPECT_EQ(e[0], kZ) << "width 3 at node " << t;  // would span the aligned node 1
        else
            EXPECT_DOUBLE_EQ(e[0], tm.table[0][stride * p]) << "width 3 at node " << t;
    }
    // Node 3 has a finite table entry (window AAC), yet no admissible site.
    EXPECT_GT(tm.table[0][stride * 2], -1e20);
    // Modes: 0 writes only the background element, 1 only the motifs.
    double f[3] = {7, 7, 7};
    tm.m.CalculateEmissions(f, tm.table.data(), tm.path.data(), 5, 0, 0);
    EXPECT_EQ(f[0], 7);
    EXPECT_EQ(f[1], 7);
    EXPECT_DOUBLE_EQ(f[2], tm.table[0][stride * 4 + 4]);
}

TEST(NodeEmission, MatricesWiderThanTheWidthBoundStayInBounds)
{
    // -W 3 but a given matrix of width 6: admissibility must look back six nodes.
    Options opt;
    opt.widths = {6};
    opt.minWidth = 2;
    opt.maxWidth = 3;
    TestModel tm({"ACGTACGTAC", "ACGTACGTAC"}, opt);
    tm.Refresh();
    double e[2], f[2];
    for (int t = 1; t < tm.nNode; ++t) {
        tm.m.CalculateEmissions(e, tm.table.data(), tm.path.data(), t, 0, 2);
        if (t < 6)
            EXPECT_EQ(e[0], kZ) << "node " << t;
        else
            EXPECT_GT(e[0], -1e20) << "node " << t;
        CSerevanProbe::PrepareEmissionTables(tm.m);
        CSerevanProbe::NodeEmissions(tm.m, f, tm.table.data(), tm.path.data(), t, 0, 2, CSerevanProbe::NonChangeRun(tm.m, tm.path.data(), t, 5));
        EXPECT_NEAR(f[0], e[0], 1e-12 * std::fabs(e[0]));
    }
}

TEST(AlignedEmission, MotifSiteByHand)
{
    // Width 1, column (.4 .3 .2 .1), lambda 0.1, bases A and G. Given strand:
    // sum_a theta(a) phi(a,A) phi(a,G) = .00752 + .00024 + .00736 + .00008 = .0152.
    // Reverse strand (T and C): .00012 + .00279 + .00006 + .00273 = .0057.
    Options opt;
    TestModel tm({"A", "G"}, opt);
    tm.SetColumn(0, 0, 0.4, 0.3, 0.2, 0.1);
    tm.m.m_dMotifSubRate = 0.1;
    tm.Refresh();
    const int species[2] = {0, 1}, pos[2] = {0, 0};
    EXPECT_NEAR(tm.m.CalMotifEmission(0, 2, species, pos, 0), std::log(0.0152), 1e-12);
    tm.m.m_bBothStrand = true;
    EXPECT_NEAR(tm.m.CalMotifEmission(0, 2, species, pos, 0), std::log(0.0152 + 0.0057) - 0.6931, 1e-12);
    CSerevanProbe::PrepareEmissionTables(tm.m);
    EXPECT_NEAR(CSerevanProbe::FastMotifEmission(tm.m, 0, 2, species, pos, 0), std::log(0.0152 + 0.0057) - 0.6931, 1e-12);
    // An N in any species makes the aligned site impossible.
    TestModel withN({"N", "G"}, opt);
    withN.Refresh();
    EXPECT_EQ(withN.m.CalMotifEmission(0, 2, species, pos, 0), kZ);
}

TEST(AlignedEmission, BackgroundColumnWithAnNUsesExactQuarter)
{
    Options opt;
    TestModel tm({"A", "N"}, opt);
    tm.Refresh();
    double sum = 0;
    for (int a = 0; a < 4; ++a) sum += std::exp(tm.m.m_pBg[a] + tm.m.m_dBgSubst[a][0]);
    double e[2];
    tm.m.CalculateEmissions(e, tm.table.data(), tm.path.data(), 1, 0, 0);
    EXPECT_NEAR(e[1], std::log(sum) + std::log(0.25), 1e-13);  // not -1.386
    // The whole path's background likelihood: the aligned column alone here.
    EXPECT_NEAR(tm.m.CalBgLikelihood(0, tm.path.data()), e[1], 1e-13);
}

TEST(AlignedEmission, BackgroundLikelihoodOfAPath)
{
    // Nodes: (A,A) aligned, C of species 0, N of species 0, T of species 1.
    Options opt;
    TestModel tm({"ACN-", "A--T"}, opt);
    tm.Refresh();
    double aligned = 0;
    for (int a = 0; a < 4; ++a) aligned += std::exp(tm.m.m_pBg[a] + 2 * tm.m.m_dBgSubst[a][0]);
    const double expected = std::log(aligned) + tm.m.m_pSpeciesBg[0][1] - 1.386 + tm.m.m_pSpeciesBg[1][3];
    EXPECT_NEAR(tm.m.CalBgLikelihood(0, tm.path.data()), expected, 1e-12);
    TestModel empty({"-", "A"}, opt);
    empty.Refresh();
    EXPECT_DOUBLE_EQ(empty.m.CalBgLikelihood(0, empty.path.data()), empty.m.m_pSpeciesBg[1][0]);
}

TEST(EmissionKernels, LinearSpaceEqualsLogSpaceOnRandomPaths)
{
    std::mt19937 rng(31337);
    for (int rep = 0; rep < 16; ++rep) {
        const int N = 2 + rep % 4, K = 1 + rep % 3;
        Options opt;
        opt.K = K;
        opt.widths.clear();
        for (int k = 0; k < K; ++k) opt.widths.push_back(1 + static_cast<int>(rng() % 12));
        opt.bothStrands = rep % 2 == 0;
        TestModel tm(RandomRows(rng, N, 80, 0.1, 0.02), opt);
        tm.Randomise(rng);
        if (rep % 4 == 1) tm.SetColumn(0, 0, 0.0, 0.5, 0.5, 0.0);  // log-zero entries
        if (rep % 4 == 3) tm.m.m_dMotifSubRate = 0.0;               // phi with ln 0 off the diagonal
        tm.Refresh();
        CSerevanProbe::PrepareEmissionTables(tm.m);
        std::vector<double> e(K + 1), f(K + 1);
        for (int t = 1; t < tm.nNode; ++t) {
            tm.m.CalculateEmissions(e.data(), tm.table.data(), tm.path.data(), t, 0, 2);
            CSerevanProbe::NodeEmissions(tm.m, f.data(), tm.table.data(), tm.path.data(), t, 0, 2,
                               CSerevanProbe::NonChangeRun(tm.m, tm.path.data(), t, 20));
            for (int k = 0; k <= K; ++k) {
                if (e[k] < -1e20) {
                    EXPECT_LT(f[k], -1e20) << "rep " << rep << " node " << t << " k " << k;
                } else {
                    EXPECT_NEAR(f[k], e[k], 1e-12 * std::max(1.0, std::fabs(e[k])))
                        << "rep " << rep << " node " << t << " k " << k;
                }
            }
        }
    }
}
