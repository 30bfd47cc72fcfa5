// Log-space arithmetic, gamma terms, background model and sequence helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numeric/SeqMotifBasic.h"

using serevan::kLogZero;

TEST(LogSum, CutOffAndLogZero)
{
    EXPECT_EQ(LogSum(kLogZero, kLogZero), kLogZero);
    EXPECT_EQ(LogSum(-3.5, kLogZero), -3.5);
    EXPECT_EQ(LogSum(kLogZero, 7.25), 7.25);
    EXPECT_EQ(LogSum(0.0, -300.0), 0.0);  // exactly at the cut-off: dropped
    EXPECT_GT(LogSum(0.0, -299.0), 0.0);  // just inside: log1p keeps it
    EXPECT_NEAR(LogSum(0.0, -299.0), std::exp(-299.0), 1e-140);
    EXPECT_NEAR(LogSum(std::log(2.0), std::log(3.0)), std::log(5.0), 1e-15);
    EXPECT_EQ(LogSum(1.0, 2.0), LogSum(2.0, 1.0));
    // Two infinities of the same sign give NaN as the difference: the larger one comes back.
    EXPECT_EQ(LogSum(-INFINITY, -INFINITY), -INFINITY);
}

TEST(LogGamma, FactorialsAndSmallArguments)
{
    EXPECT_EQ(logGamma(0), 0.0);
    EXPECT_EQ(logGamma(-4), 0.0);
    EXPECT_EQ(logGamma(1), 0.0);
    EXPECT_EQ(logGamma(2), 0.0);
    EXPECT_NEAR(logGamma(5), std::log(24.0), 1e-14);
    // Large arguments (the cache grows) agree with the library's lgamma.
    for (int n : {3, 10, 100, 1000, 5000, 100000}) EXPECT_NEAR(logGamma(n), std::lgamma(n), 1e-8 * n) << n;
    EXPECT_NEAR(logGamma(7), std::log(720.0), 1e-13);  // after growth, small values are unchanged
}

TEST(LogDir, RowsAreSummedWithoutConstants)
{
    // Row (2, 0) with alpha 1: lnG(3) + lnG(1) - lnG(4) = ln 2 - ln 6.
    int one[2] = {2, 0};
    EXPECT_NEAR(logDir(one, 1, 2, 1), std::log(2.0) - std::log(6.0), 1e-14);
    // Two rows add; alpha enters both the counts and the total.
    int two[4] = {2, 0, 1, 1};
    EXPECT_NEAR(logDir(two, 2, 2, 1), std::log(2.0) - std::log(6.0) + 0.0 - std::log(6.0), 1e-14);
    int withAlpha[2] = {1, 0};
    EXPECT_NEAR(logDir(withAlpha, 1, 2, 2), std::log(2.0) + 0.0 - std::log(24.0), 1e-14);
}

TEST(BuildBackground, PseudocountsAndDivisionByZeroOrderCounts)
{
    double bg[20];
    BuildBackground(nullptr, nullptr, 0, bg);
    for (double v : bg) EXPECT_NEAR(v, std::log(0.25), 1e-15);

    std::vector<int> undetermined(7, -1);
    int* seqs[1] = {undetermined.data()};
    int lens[1] = {7};
    BuildBackground(seqs, lens, 1, bg);
    for (double v : bg) EXPECT_NEAR(v, std::log(0.25), 1e-15);

    // A C A, then an undetermined base, then A: A counted 3 times, C once; pairs AC and CA only.
    std::vector<int> x = {0, 1, 0, -1, 0};
    seqs[0] = x.data();
    lens[0] = 5;
    BuildBackground(seqs, lens, 1, bg);
    const double a = 4 + 3, c = 4 + 1, g = 4, t = 4, total = a + c + g + t;
    EXPECT_NEAR(bg[0], std::log(a / total), 1e-14);
    EXPECT_NEAR(bg[1], std::log(c / total), 1e-14);
    EXPECT_NEAR(bg[2], std::log(g / total), 1e-14);
    EXPECT_NEAR(bg[4 + 4 * 0 + 1], std::log(2.0 / a), 1e-14);  // AC: pseudocount 1 + 1 pair, over count of A
    EXPECT_NEAR(bg[4 + 4 * 1 + 0], std::log(2.0 / c), 1e-14);  // CA
    EXPECT_NEAR(bg[4 + 4 * 0 + 0], std::log(1.0 / a), 1e-14);  // AA never seen (A-N-A is no pair)
    EXPECT_NEAR(bg[4 + 4 * 3 + 3], std::log(1.0 / t), 1e-14);
}

TEST(CalLogMotifPr, SumsColumnsAndStopsAtNonBases)
{
    std::vector<double> m(12);
    for (int i = 0; i < 12; ++i) m[i] = -0.1 * (i + 1);
    int site[3] = {2, 0, 3};
    EXPECT_NEAR(CalLogMotifPr(site, m.data(), 3), m[2] + m[4] + m[11], 1e-15);
    int withN[3] = {2, -1, 3};
    EXPECT_EQ(CalLogMotifPr(withN, m.data(), 3), kLogZero);
    int withGap[3] = {4, 0, 0};
    EXPECT_EQ(CalLogMotifPr(withGap, m.data(), 3), kLogZero);
    EXPECT_EQ(CalLogMotifPr(site, m.data(), 0), 0.0);
}

TEST(Reverse, ComplementsInPlaceAndMarksNonBases)
{
    std::vector<int> x = {0, 1, -1, 3};  // A C N T
    int* r = Reverse(x.data(), 4);
    EXPECT_EQ(r, x.data());
    EXPECT_EQ(x, (std::vector<int>{0, -1, 2, 3}));  // A N G T
    std::vector<int> odd = {0, 4, 2};  // the gap code becomes -1 as well
    Reverse(odd.data(), 3);
    EXPECT_EQ(odd, (std::vector<int>{1, -1, 3}));
    std::vector<int> back = {2, 2, 1, 0, 3};
    std::vector<int> copy = back;
    Reverse(Reverse(copy.data(), 5), 5);
    EXPECT_EQ(copy, back);
}

TEST(SmallHelpers, MiddleMaximumIntpow)
{
    int src[6] = {5, 6, 7, 8, 9, 10};
    int dst[3] = {0, 0, 0};
    Middle(src, dst, 2, 3);
    EXPECT_EQ(dst[0], 7);
    EXPECT_EQ(dst[2], 9);

    double equal[3] = {1.0, 1.0, 1.0};
    EXPECT_EQ(Maximum(equal, 3), 0);
    double v[4] = {1.0, 3.0, 2.0, 3.0};
    EXPECT_EQ(Maximum(v, 4), 1);
    EXPECT_EQ(Maximum(v, 1), 0);
    EXPECT_EQ(Maximum(v, 0), 0);

    EXPECT_EQ(intpow(2, 0), 1);
    EXPECT_EQ(intpow(2, -3), 1);
    EXPECT_EQ(intpow(2, 5), 32);
    EXPECT_EQ(intpow(3, 3), 27);
}

TEST(LowComplexity, Boundaries)
{
    double f[4];
    std::vector<int> gc = {1, 2, 1, 2, 1, 2, 1, 2, 1, 0};  // C+G = 0.9
    EXPECT_TRUE(LowComplexity(gc.data(), 10, f));
    EXPECT_NEAR(f[1] + f[2], 0.9, 1e-15);
    std::vector<int> acgt = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
    EXPECT_FALSE(LowComplexity(acgt.data(), 12, f));
    std::vector<int> a8 = {0, 0, 0, 0, 0, 0, 0, 0, -1, -1};  // A = 0.8 is not above 0.8
    EXPECT_FALSE(LowComplexity(a8.data(), 10, f));
    EXPECT_DOUBLE_EQ(f[0], 0.8);
    std::vector<int> a9 = {0, 0, 0, 0, 0, 0, 0, 0, 0, -1};
    EXPECT_TRUE(LowComplexity(a9.data(), 10, f));
}
