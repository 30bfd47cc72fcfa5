// Random draws: exact arithmetic of each method and goodness of fit against the exact
// distributions. Every test seeds the stream itself; failures print the seed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

namespace {

constexpr unsigned kSeed = 20261206;

// Pearson chi-square statistic of observed counts against expected probabilities.
double ChiSquare(const std::vector<int>& observed, const std::vector<double>& p, int n)
{
    double x2 = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        double e = n * p[i];
        x2 += (observed[i] - e) * (observed[i] - e) / e;
    }
    return x2;
}

// Regularised incomplete beta by continued fraction, for the Beta CDF in the binned test.
double BetaCdf(double x, double a, double b)
{
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    auto cf = [](double xx, double aa, double bb) {
        double c = 1, d = 1 - (aa + bb) * xx / (aa + 1);
        d = 1 / d;
        double h = d;
        for (int m = 1; m < 300; ++m) {
            double m2 = 2 * m;
            double num = m * (bb - m) * xx / ((aa + m2 - 1) * (aa + m2));
            d = 1 + num * d, c = 1 + num / c, d = 1 / d, h *= d * c;
            num = -(aa + m) * (aa + bb + m) * xx / ((aa + m2) * (aa + m2 + 1));
            d = 1 + num * d, c = 1 + num / c, d = 1 / d, h *= d * c;
        }
        return h;
    };
    double lbeta = std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b);
    double front = std::exp(lbeta + a * std::log(x) + b * std::log(1 - x));
    if (x < (a + 1) / (a + b + 2)) return front * cf(x, a, b) / a;
    return 1 - front * cf(1 - x, b, a) / b;
}

}  // namespace

TEST(Random, UniformUsesOneValueWithTheClosedOpenForm)
{
    SeedRandom(kSeed);
    int r = RandomInt();
    SeedRandom(kSeed);
    CStochasticDistribution d;
    EXPECT_DOUBLE_EQ(d.Uniform(2.0, 5.0), 3.0 * r * 4.656612873077393e-10 + 2.0);
    int next = RandomInt();
    SeedRandom(kSeed);
    RandomInt();
    EXPECT_EQ(RandomInt(), next) << "Uniform must use exactly one value";
}

TEST(Random, UniformIsFlatOverItsInterval)
{
    SeedRandom(kSeed);
    CStochasticDistribution d;
    const int n = 40000, bins = 20;
    std::vector<int> count(bins, 0);
    for (int i = 0; i < n; ++i) {
        double x = d.Uniform(-2.0, 3.0);
        ASSERT_GE(x, -2.0);
        ASSERT_LT(x, 3.0);
        ++count[static_cast<int>((x + 2.0) / 5.0 * bins)];
    }
    // Chi-square with 19 degrees of freedom: 43.82 is the 0.999 quantile.
    EXPECT_LT(ChiSquare(count, std::vector<double>(bins, 1.0 / bins), n), 43.82) << "seed " << kSeed;
}

TEST(Random, DiscreteCumulativeArrayAndSentinels)
{
    SeedRandom(kSeed);
    CStochasticDistribution d;
    double w[3] = {0.0, 0.0, 0.0};
    d.Discrete(w, 3);
    EXPECT_NEAR(w[0], 1.0 / 3, 1e-15);
    EXPECT_NEAR(w[1], 2.0 / 3, 1e-15);
    EXPECT_EQ(w[2], 1.01);

    double one[1] = {-123.0};
    EXPECT_EQ(d.Discrete(one, 1), 0);
    double zeros[3] = {-1e100, -1e100, -1e100};
    EXPECT_EQ(d.Discrete(zeros, 3), 0);
    EXPECT_EQ(zeros[0], 1.01);  // normalised to exp(0) = 1, hence the sentinel

    // An impossible middle entry is never returned.
    for (int i = 0; i < 2000; ++i) {
        double v[3] = {0.0, -1e100, 0.0};
        EXPECT_NE(d.Discrete(v, 3), 1);
    }
}

TEST(Random, DiscreteFrequenciesMatchWeights)
{
    SeedRandom(kSeed);
    CStochasticDistribution d;
    const std::vector<double> p = {0.1, 0.2, 0.3, 0.4};
    const int n = 40000;
    std::vector<int> count(4, 0);
    for (int i = 0; i < n; ++i) {
        double w[4];
        for (int k = 0; k < 4; ++k) w[k] = std::log(p[k]) + 7.0;  // unnormalised logs
        ++count[d.Discrete(w, 4)];
    }
    // Chi-square with 3 degrees of freedom: 16.27 is the 0.999 quantile.
    EXPECT_LT(ChiSquare(count, p, n), 16.27) << "seed " << kSeed;

    int ones = 0;
    for (int i = 0; i < n; ++i) {
        double w[2] = {0.0, std::log(3.0)};
        ones += d.Discrete(w, 2);
    }
    // Binomial(40000, 0.75): sd = 86.6; 5 sd = 433.
    EXPECT_NEAR(ones, 0.75 * n, 433) << "seed " << kSeed;
}

TEST(Random, BinomialBoundsAndDistribution)
{
    SeedRandom(kSeed);
    CStochasticDistribution d;
    EXPECT_EQ(d.Bin(17, 0.0), 0);
    EXPECT_EQ(d.Bin(17, 1.0), 17);
    EXPECT_EQ(d.Bin(0, 0.5), 0);
    EXPECT_EQ(d.Bin(-3, 0.5), 0);
    const int trials = 5, n = 20000;
    const double p = 0.3;
    std::vector<int> count(trials + 1, 0);
    for (int i = 0; i < n; ++i) ++count[d.Bin(trials, p)];
    std::vector<double> exact(trials + 1);
    for (int k = 0; k <= trials; ++k)
        exact[k] = std::exp(std::lgamma(trials + 1) - std::lgamma(k + 1) - std::lgamma(trials - k + 1) +
                            k * std::log(p) + (trials - k) * std::log(1 - p));
    EXPECT_LT(ChiSquare(count, exact, n), 20.52) << "seed " << kSeed;  // 5 df, 0.999 quantile
}

TEST(Random, GammaShapesAndDrawCounts)
{
    CStochasticDistribution d;
    EXPECT_EQ(d.Gamma(0), 0.0);
    EXPECT_EQ(d.Gamma(-2), 0.0);
    // Shape 999 uses 999 values, shape 1000 two (normal approximation).
    SeedRandom(kSeed);
    d.Gamma(999);
    int after999 = RandomInt();
    SeedRandom(kSeed);
    for (int i = 0; i < 999; ++i) RandomInt();
    EXPECT_EQ(RandomInt(), after999);
    SeedRandom(kSeed);
    int r1 = RandomInt(), r2 = RandomInt();
    SeedRandom(kSeed);
    double g = d.Gamma(1000);
    double u1 = (r1 + 1.0) / 2147483649.0, u2 = (r2 + 1.0) / 2147483649.0;
    double z = std::cos(6.2831853 * u1) * std::sqrt(-2 * std::log(u2));
    EXPECT_DOUBLE_EQ(g, 1000 * (1 + z * std::sqrt(1.0 / 1000)));
    // Sum of exponentials: mean k, variance k.
    SeedRandom(kSeed);
    const int n = 20000;
    double sum = 0, sum2 = 0;
    for (int i = 0; i < n; ++i) {
        double x = d.Gamma(3);
        sum += x, sum2 += x * x;
    }
    double mean = sum / n, var = sum2 / n - mean * mean;
    EXPECT_NEAR(mean, 3.0, 5 * std::sqrt(3.0 / n));  // 5 sd of the mean
    EXPECT_NEAR(var, 3.0, 0.25);                      // sd of the variance ~ 0.04
}

TEST(Random, BetaEdgesAndBinnedFit)
{
    SeedRandom(kSeed);
    CStochasticDistribution d;
    EXPECT_EQ(d.Beta(5, 0), 1.0);
    EXPECT_EQ(d.Beta(0, 5), 0.0);
    // Bin Beta(2, 5) draws at the deciles of the exact distribution (Stan's test design).
    const int n = 20000, bins = 10;
    std::vector<double> edges(bins + 1);
    edges[0] = 0, edges[bins] = 1;
    for (int b = 1; b < bins; ++b) {
        double lo = 0, hi = 1;
        for (int it = 0; it < 60; ++it) {
            double mid = (lo + hi) / 2;
            (BetaCdf(mid, 2, 5) < b / 10.0 ? lo : hi) = mid;
        }
        edges[b] = (lo + hi) / 2;
    }
    std::vector<int> count(bins, 0);
    for (int i = 0; i < n; ++i) {
        double x = d.Beta(2, 5);
        int b = 0;
        while (b < bins - 1 && x >= edges[b + 1]) ++b;
        ++count[b];
    }
    EXPECT_LT(ChiSquare(count, std::vector<double>(bins, 0.1), n), 27.88) << "seed " << kSeed;  // 9 df
}

TEST(Random, DirichletZerosAndMarginals)
{
    SeedRandom(kSeed);
    CStochasticDistribution d;
    int zeros[3] = {0, 0, 3};
    double out[3];
    d.Dirichlet(zeros, 3, out);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 0.0);
    EXPECT_EQ(out[2], 1.0);
    double untouched[1] = {42.0};
    d.Dirichlet(zeros, 0, untouched);
    EXPECT_EQ(untouched[0], 42.0);
    // Dirichlet(1, 2, 3): coordinate k is Beta(alpha_k, 6 - alpha_k), mean alpha_k / 6.
    int alpha[3] = {1, 2, 3};
    const int n = 20000;
    double sum[3] = {0, 0, 0}, sum2[3] = {0, 0, 0};
    for (int i = 0; i < n; ++i) {
        d.Dirichlet(alpha, 3, out);
        EXPECT_NEAR(out[0] + out[1] + out[2], 1.0, 1e-12);
        for (int k = 0; k < 3; ++k) sum[k] += out[k], sum2[k] += out[k] * out[k];
    }
    for (int k = 0; k < 3; ++k) {
        double a = alpha[k], mean = a / 6, var = a * (6 - a) / (36.0 * 7);
        EXPECT_NEAR(sum[k] / n, mean, 5 * std::sqrt(var / n)) << "k " << k << " seed " << kSeed;
        EXPECT_NEAR(sum2[k] / n - (sum[k] / n) * (sum[k] / n), var, 0.1 * var);
    }
}

TEST(Random, SameSeedSameStream)
{
    SeedRandom(7);
    std::vector<int> a(5);
    for (int& x : a) x = RandomInt();
    SeedRandom(7);
    for (int x : a) EXPECT_EQ(RandomInt(), x);
}
