// Log-space arithmetic, gamma terms, background model, sequence helpers, and the random
// draws: exact arithmetic of each method and goodness of fit against exact distributions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"
#include "support/Support.h"

using serevan::kLogZero;

namespace {

// Probability of j successes in n trials of probability p.
double BinomialPmf(int n, int j, double p)
{
    return std::exp(std::lgamma(n + 1) - std::lgamma(j + 1) - std::lgamma(n - j + 1)) * std::pow(p, j) *
           std::pow(1 - p, n - j);
}

// Beta(a, b) distribution function for integer shapes: P(Binomial(a + b - 1, x) >= a).
double BetaCdf(double x, int a, int b)
{
    double sum = 0;
    for (int j = a; j < a + b; ++j) sum += BinomialPmf(a + b - 1, j, x);
    return sum;
}

// Gamma(k) distribution function for integer shape k: P(Poisson(x) >= k).
double GammaCdf(double x, int k)
{
    double below = 0, term = std::exp(-x);
    for (int j = 0; j < k; ++j, term *= x / j) below += term;
    return 1 - below;
}

// Bin of a continuous draw among ten of equal probability, from its distribution function.
int Decile(double cdf) { return cdf < 0 || cdf > 1 ? -1 : std::min(9, static_cast<int>(cdf * 10)); }

struct Fit {
    const char* name;
    std::vector<double> p;                              // exact probability of each bin
    std::function<int(CStochasticDistribution&)> draw;  // one draw, as its bin
};

}  // namespace

TEST(LogSpace, SumsAndGammaTerms)
{
    EXPECT_EQ(LogSum(kLogZero, kLogZero), kLogZero);
    EXPECT_EQ(LogSum(-3.5, kLogZero), -3.5);
    EXPECT_EQ(LogSum(kLogZero, 7.25), 7.25);
    EXPECT_EQ(LogSum(0.0, -300.0), 0.0);                      // exactly at the cut-off: dropped
    EXPECT_NEAR(LogSum(0.0, -299.0), std::exp(-299.0), 1e-140);  // just inside: log1p keeps it
    EXPECT_NEAR(LogSum(std::log(2.0), std::log(3.0)), std::log(5.0), 1e-15);
    EXPECT_EQ(LogSum(1.0, 2.0), LogSum(2.0, 1.0));
    EXPECT_EQ(LogSum(-INFINITY, -INFINITY), -INFINITY);  // NaN difference: the larger comes back
    EXPECT_EQ(logGamma(-4), 0.0);
    EXPECT_EQ(logGamma(0), 0.0);
    // ln((n-1)!); the cache grows for large n and keeps the small values.
    for (int n : {1, 2, 5, 10, 1000, 100000, 7}) EXPECT_NEAR(logGamma(n), std::lgamma(n), 1e-8 * n) << n;
    // Rows (2, 0) and (1, 1), alpha 1: lnG(3) + lnG(1) - lnG(4) + lnG(2) + lnG(2) - lnG(4).
    int rows[4] = {2, 0, 1, 1};
    EXPECT_NEAR(logDir(rows, 2, 2, 1), std::log(2.0 / 6.0) - std::log(6.0), 1e-14);
    int withAlpha[2] = {1, 0};  // alpha enters the counts and the total
    EXPECT_NEAR(logDir(withAlpha, 1, 2, 2), std::log(2.0) - std::log(24.0), 1e-14);
}

TEST(BuildBackground, PseudocountsAndDivisionByZeroOrderCounts)
{
    double bg[20];
    BuildBackground(nullptr, nullptr, 0, bg);
    for (double v : bg) EXPECT_NEAR(v, std::log(0.25), 1e-15);
    // A C A, an undetermined base, A: A counted 3 times, C once, each base with pseudocount 4;
    // pairs AC and CA only (A-N-A is no pair), each pair with pseudocount 1, over the count of
    // its first base.
    std::vector<int> x = {0, 1, 0, -1, 0};
    int* seqs[1] = {x.data()};
    int lens[1] = {5};
    BuildBackground(seqs, lens, 1, bg);
    const double base[4] = {4 + 3, 4 + 1, 4, 4}, pair[16] = {1, 2, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int i = 0; i < 20; ++i)
        EXPECT_NEAR(bg[i], std::log(i < 4 ? base[i] / 20 : pair[i - 4] / base[(i - 4) / 4]), 1e-14) << i;
}

// The ties of Maximum and the window copy of Middle are fixed by the site scanner and the
// width choice tests.
TEST(SequenceHelpers, MotifWindowsReverseAndLowComplexity)
{
    std::vector<double> m(12);
    for (int i = 0; i < 12; ++i) m[i] = -0.1 * (i + 1);
    int site[3] = {2, 0, 3}, withN[3] = {2, -1, 3}, withGap[3] = {4, 0, 0};
    EXPECT_NEAR(CalLogMotifPr(site, m.data(), 3), m[2] + m[4] + m[11], 1e-15);
    EXPECT_EQ(CalLogMotifPr(withN, m.data(), 3), kLogZero);
    EXPECT_EQ(CalLogMotifPr(withGap, m.data(), 3), kLogZero);
    std::vector<int> x = {0, 1, -1, 3, 4};  // A C N T gap
    EXPECT_EQ(Reverse(x.data(), 5), x.data());
    EXPECT_EQ(x, (std::vector<int>{-1, 0, -1, 2, 3}));  // reversed, complemented, non-bases -1
    // C+G = 0.9 is low complexity; A = 0.8 is not above 0.8; A = 0.9 is.
    double f[4];
    for (const auto& [text, low] : {std::pair{"CGCGCGCGCA", true}, {"AAAAAAAANN", false}, {"AAAAAAAAAN", true}})
        EXPECT_EQ(LowComplexity(support::Codes(text).data(), 10, f), low) << text;
}

// Degenerate parameters, and the number of stream values each draw consumes (so that a run
// replays from its seed): one for a uniform value, two for the normal approximation of shape
// 1000 and above, one per exponential below.
TEST(Random, DegenerateDrawsAndValuesConsumed)
{
    CStochasticDistribution d;
    const std::pair<std::function<void()>, int> uses[] = {
        {[&] { d.Uniform(2.0, 5.0); }, 1}, {[&] { d.Gamma(1000); }, 2}, {[&] { d.Gamma(999); }, 999}};
    for (const auto& [draw, values] : uses) {
        SeedRandom(7);
        draw();
        const int after = RandomInt();
        SeedRandom(7);
        for (int i = 0; i < values; ++i) RandomInt();
        EXPECT_EQ(RandomInt(), after) << values;
    }
    int alpha[3] = {0, 0, 3};
    double x[3], untouched[1] = {42.0}, one[1] = {-123.0}, zeros[3] = {-1e100, -1e100, -1e100};
    d.Dirichlet(alpha, 3, x);
    d.Dirichlet(alpha, 0, untouched);
    const std::vector<double> got = {d.Gamma(0), d.Gamma(-2), d.Beta(5, 0), d.Beta(0, 5), 1.0 * d.Bin(17, 1.0),
                                     1.0 * d.Bin(-3, 0.5), 1.0 * d.Discrete(one, 1), 1.0 * d.Discrete(zeros, 3),
                                     x[0], x[1], x[2], untouched[0]};
    EXPECT_EQ(got, (std::vector<double>{0, 0, 1, 0, 17, 0, 0, 0, 0, 0, 1, 42}));
}

// The stream is the C library's rand(): the same values for the same seed, so runs and
// their golden files stay as they were (0 seeds as 1; seeds above 2^31 wrap as in the library).
TEST(RandomStream, SameValuesAsTheCLibraryGenerator)
{
    for (unsigned seed : {0u, 1u, 7u, 12345u, 2147483647u, 2147483648u, 4294967295u, 1765000000u}) {
        std::srand(seed);
        SeedRandom(seed);
        for (int i = 0; i < 2000; ++i) ASSERT_EQ(RandomInt(), std::rand()) << "seed " << seed << " value " << i;
    }
}

// Discrete works from exp(w - max w); the cumulative-LogSum definition must draw the same
// index from the same stream state.
TEST(Discrete, LinearComputationDrawsAsTheLogSpaceDefinition)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-60.0, 60.0);
    std::vector<std::vector<double>> cases = {{-1e100, -1e100, -1e100}, {-2e100, -1e100, -2e100}, {5.0},
                                              {-800.0, 0.0, -800.0},   {1.0, NAN, 2.0},           {-1e100, 3.0}};
    for (int c = 0; c < 300; ++c) {
        std::vector<double>& w = cases.emplace_back(1 + c % 8);
        for (double& x : w) x = c % 5 == 0 && rng() % 3 == 0 ? -1e100 : u(rng) * (c % 2 ? 1.0 : 10.0);
    }
    CStochasticDistribution d;
    for (size_t c = 0; c < cases.size(); ++c) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            std::vector<double> a = cases[c], b = cases[c];
            SeedRandom(seed);
            const int got = d.Discrete(a.data(), static_cast<int>(a.size()));
            const int next = RandomInt();
            SeedRandom(seed);
            ASSERT_EQ(got, d.DiscreteLogSpace(b.data(), static_cast<int>(b.size()))) << "case " << c;
            ASSERT_EQ(next, RandomInt()) << "one value per draw";
        }
    }
}

TEST(RandomStat, EveryDrawFitsItsExactDistribution)
{
    support::TestSeed seed(20261206);
    const std::vector<double> deciles(10, 0.1);
    std::vector<double> binomial;
    for (int j = 0; j <= 5; ++j) binomial.push_back(BinomialPmf(5, j, 0.3));
    const Fit fits[] = {
        {"Uniform(-2, 3)", deciles, [](auto& d) { return Decile((d.Uniform(-2.0, 3.0) + 2.0) / 5.0); }},
        {"Discrete(0.1, 0, 0.2, 0.3, 0.4) from unnormalised logs", {0.1, 0, 0.2, 0.3, 0.4},
         [](auto& d) {
             double w[5] = {std::log(0.1) + 7, -1e100, std::log(0.2) + 7, std::log(0.3) + 7, std::log(0.4) + 7};
             return d.Discrete(w, 5);
         }},
        {"Bin(5, 0.3)", binomial, [](auto& d) { return d.Bin(5, 0.3); }},
        {"Beta(2, 5)", deciles, [](auto& d) { return Decile(BetaCdf(d.Beta(2, 5), 2, 5)); }},
        {"Gamma(3)", deciles, [](auto& d) { return Decile(GammaCdf(d.Gamma(3), 3)); }},
        // Shape 1000 and above: the normal approximation, of mean and variance 1000.
        {"Gamma(1000)", deciles, [](auto& d) { return Decile(0.5 * std::erfc((1000 - d.Gamma(1000)) / std::sqrt(2000.0))); }},
        // Coordinate k of Dirichlet(1, 2, 3) is Beta(alpha_k, 6 - alpha_k); the draws bin each in turn.
        {"Dirichlet(1, 2, 3)", deciles, [k = 0](auto& d) mutable {
             int alpha[3] = {1, 2, 3};
             double x[3];
             d.Dirichlet(alpha, 3, x);
             k = (k + 1) % 3;
             return std::abs(x[0] + x[1] + x[2] - 1) > 1e-12 ? -1 : Decile(BetaCdf(x[k], alpha[k], 6 - alpha[k]));
         }},
    };
    const int n = 20000;
    for (const Fit& fit : fits) {
        std::vector<int> count(fit.p.size(), 0);
        CStochasticDistribution d;
        for (int i = 0; i < n; ++i) {
            const int bin = fit.draw(d);
            ASSERT_TRUE(bin >= 0 && bin < static_cast<int>(count.size())) << fit.name << " drew outside its range";
            ++count[bin];
        }
        // Pearson's chi-square against its 0.999 quantile (Wilson-Hilferty approximation,
        // z = 3.09); a bin of probability 0 must stay empty.
        double x2 = 0, df = -1;
        for (size_t b = 0; b < count.size(); ++b) {
            EXPECT_TRUE(fit.p[b] > 0 || count[b] == 0) << fit.name << " drew an impossible value";
            if (fit.p[b] == 0) continue;
            x2 += (count[b] - n * fit.p[b]) * (count[b] - n * fit.p[b]) / (n * fit.p[b]);
            ++df;
        }
        const double h = 2 / (9 * df);
        EXPECT_LT(x2, df * std::pow(1 - h + 3.09 * std::sqrt(h), 3)) << fit.name;
    }
}
