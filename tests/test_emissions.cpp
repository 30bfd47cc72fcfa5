// Emission model worked by hand: the low-complexity mask, node emissions next to change
// points and the background likelihood of a path. Position scores, aligned motif sites and
// both-strand means are checked against the enumeration in test_forward_backward.
#include <gtest/gtest.h>

#include <cmath>

#include "support/Model.h"

namespace {

constexpr double kZ = -1e100;

std::unique_ptr<support::Model> Aligned(const std::vector<std::string>& rows, std::vector<int> widths, bool both)
{
    support::ModelSetup setup;
    setup.K = static_cast<int>(widths.size());
    setup.widths = widths;
    setup.param.bBothStrands = both;
    return support::AlignedModel(rows, setup);
}

}  // namespace

TEST(EmissionTable, LowComplexityMaskOnlyTouchesSingleSpeciesWindows)
{
    support::ModelSetup setup;
    setup.widths = {4};
    setup.param.bMaskLowComplexity = true;
    setup.param.bBothStrands = false;
    auto tm = support::AlignedModel({"AAAAACGT", "AAAAACGT"}, setup);
    tm->Refresh();
    EXPECT_EQ(tm->table[0][3 * 3], kZ);  // AAAA: A is more than 0.8 of the window
    EXPECT_EQ(tm->table[0][3 * 4], kZ);
    EXPECT_DOUBLE_EQ(tm->table[0][3 * 7], 4 * std::log(0.25));  // ACGT
    const int species[2] = {0, 1}, pos[2] = {3, 3};
    EXPECT_GT(tm->m.CalMotifEmission(0, 2, species, pos, 0), -1e20);  // no mask across species
    auto gc = support::AlignedModel({"GCGCGAACG", "GCGCGAACG"}, setup);
    gc->Refresh();
    EXPECT_EQ(gc->table[0][3 * 3], kZ);  // C+G above 0.8 as well
    EXPECT_DOUBLE_EQ(gc->table[0][3 * 8], 4 * std::log(0.25));  // AACG: C+G = 0.5
}

// Node 1 aligns both species (a change point); nodes 2..5 advance species 0 alone. Modes: 0
// writes only the background element, 1 only the motifs.
TEST(NodeEmission, SiteNotAdmissibleRightAfterChangePoint)
{
    auto tm = Aligned({"AACGT", "A----"}, {3, 1}, false);
    tm->Refresh();
    const double* P = tm->table[0];  // stride 2K + 1 = 5
    double e[3];
    for (int t = 2; t <= 5; ++t) {
        tm->m.CalculateEmissions(e, tm->table.data(), tm->Path().data(), t, 0, 1);
        EXPECT_DOUBLE_EQ(e[1], P[5 * (t - 1) + 2]) << "width 1 at node " << t;
        EXPECT_EQ(e[0], t < 4 ? kZ : P[5 * (t - 1)]) << "width 3 at node " << t;  // 2, 3 span node 1
    }
    EXPECT_GT(P[5 * 2], -1e20);  // node 3: a finite window AAC, yet no admissible site
    double f[3] = {7, 7, 7};
    tm->m.CalculateEmissions(f, tm->table.data(), tm->Path().data(), 5, 0, 0);
    EXPECT_EQ(std::vector<double>(f, f + 3), (std::vector<double>{7, 7, P[5 * 4 + 4]}));
}

// Nodes (A,A) aligned, C and N of species 0, T of species 1; an aligned column with an N
// weighs its N by exactly 1/4, a single-species N by -1.386.
TEST(AlignedEmission, BackgroundLikelihoodOfPaths)
{
    auto tm = Aligned({"ACN-", "A--T"}, {1}, false);
    const CSerevan& m = tm->m;
    double aligned = 0;
    for (int a = 0; a < 4; ++a) aligned += std::exp(m.m_pBg[a] + 2 * m.m_dBgSubst[a][0]);
    const double expect = std::log(aligned) + m.m_pSpeciesBg[0][1] - 1.386 + m.m_pSpeciesBg[1][3];
    EXPECT_NEAR(tm->m.CalBgLikelihood(0, tm->Path().data()), expect, 1e-12);
    auto an = Aligned({"A", "N"}, {1}, false);
    double withN = 0;
    for (int a = 0; a < 4; ++a) withN += std::exp(an->m.m_pBg[a] + an->m.m_dBgSubst[a][0]) * 0.25;
    EXPECT_NEAR(an->m.CalBgLikelihood(0, an->Path().data()), std::log(withN), 1e-13);
    auto empty = Aligned({"-", "A"}, {1}, false);
    EXPECT_DOUBLE_EQ(empty->m.CalBgLikelihood(0, empty->Path().data()), empty->m.m_pSpeciesBg[1][0]);
}
