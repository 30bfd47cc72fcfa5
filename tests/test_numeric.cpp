// Log-space arithmetic, gamma terms, the zero-order and order-k backgrounds (with the k-mer
// file reader), and the random draws: exact arithmetic of each method and goodness of fit
// against exact distributions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/BackgroundFile.h"
#include "numeric/MarkovBackground.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"
#include "support/Support.h"

using serevan::kLogZero;
using support::TempDir;
using support::WriteFile;

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

// A distribution's name, the exact probability of each bin, and one draw as its bin.
using Fit = std::tuple<const char*, std::vector<double>, std::function<int(CStochasticDistribution&)>>;

// Every k-mer of length len at frequency 4^-len, one a line.
std::string Kmers(int len)
{
    std::string text;
    for (int i = 0; i < (1 << (2 * len)); ++i) {
        std::string kmer;
        for (int j = len - 1; j >= 0; --j) kmer += "ACGT"[(i >> (2 * j)) & 3];
        text += kmer + "\t" + std::to_string(1.0 / (1 << (2 * len))) + "\n";
    }
    return text;
}

}  // namespace

TEST(LogSpace, SumsAndGammaTerms)
{
    EXPECT_EQ(LogSum(kLogZero, kLogZero), kLogZero);
    EXPECT_EQ(LogSum(-3.5, kLogZero), -3.5);
    EXPECT_EQ(LogSum(kLogZero, 7.25), 7.25);
    EXPECT_EQ(LogSum(0.0, -300.0), 0.0);                         // exactly at the cut-off: dropped
    EXPECT_NEAR(LogSum(0.0, -299.0), std::exp(-299.0), 1e-140);  // just inside: log1p keeps it
    EXPECT_NEAR(LogSum(std::log(2.0), std::log(3.0)), std::log(5.0), 1e-15);
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

// The zero-order background with its pair terms, and the order-k background estimated by
// hand. The forward oracle with k > 0 is in test_forward_backward.cpp.
TEST(Backgrounds, ZeroOrderPairsAndOrderKEstimate)
{
    double bg[20];
    // A C A, an undetermined base, A: A counted 3 times, C once, each base with pseudocount 4;
    // pairs AC and CA only (A-N-A is no pair), each pair with pseudocount 1, over the count of
    // its first base.
    int x[5] = {0, 1, 0, -1, 0}, *xs = x;
    const int xLen = 5;
    BuildBackground(&xs, &xLen, 1, bg);
    const double base[4] = {4 + 3, 4 + 1, 4, 4}, pair[16] = {1, 2, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int i = 0; i < 20; ++i)
        EXPECT_NEAR(bg[i], std::log(i < 4 ? base[i] / 20 : pair[i - 4] / base[(i - 4) / 4]), 1e-14) << i;

    CMarkovBackground order;
    auto pr = [&order](const std::vector<int>& seq, int p, int b) {
        return std::exp(order.Log(order.ContextOffset(seq.data(), p))[b]);
    };
    // ACGT is its own reverse complement, so both strands add the same counts: every base
    // twice (order 0: 3/12 each), A->C, C->G, G->T twice each, nothing after T.
    const std::vector<int> acgt = {0, 1, 2, 3}, afterT = {3, 0}, cut = {0, -1, 1};
    const int* ptr = acgt.data();
    const int len = 4;
    order.Estimate(1, &ptr, &len, 1);
    EXPECT_NEAR(pr(acgt, 0, 0), 0.25, 1e-12);            // no context: order 0
    EXPECT_NEAR(pr(acgt, 1, 1), (2 + 1.0) / 6, 1e-12);   // C after A: (2 + 4 * 0.25) / (2 + 4)
    EXPECT_NEAR(pr(acgt, 1, 0), 1.0 / 6, 1e-12);         // A after A: (0 + 1) / 6
    EXPECT_NEAR(pr(afterT, 1, 0), 0.25, 1e-12);          // an unseen context takes the order below
    EXPECT_NEAR(pr(cut, 2, 1), 0.25, 1e-12);             // an undetermined base cuts the context
    EXPECT_EQ(order.PosLog(cut.data(), 1, -7.0), -7.0);  // and PosLog falls back for it
}

// k-mer files: an accepted one gives its highest order and p(b | A), b = A C G T (order 1 from
// 2-mers: f(Ab) / sum_b' f(Ab'); longer k-mers are read for layout but the model stops at
// order 5, and a k-mer far too long for an index is skipped: a fuzz finding, the index
// overflowed); a refused one gives its message, and nothing is kept of it.
TEST(OrderBackground, FilesGiveConditionalsOfTheirHighestOrderOrAreRefused)
{
    std::string pairs = Kmers(1) + "\n# pairs\nAA 0.1\nAC 0.05\nag 0.05\nAT 0.05\n", uniform = "# uniform\n";
    for (const char* a : {"C", "G", "T"})
        for (const char* b : {"A", "C", "G", "T"}) pairs += std::string(a) + b + " 0.0625\n";
    for (int k = 1; k <= 7; ++k) uniform += Kmers(k);
    const struct {
        std::string text, result;
    } cases[] = {
        {pairs, "order 1: 0.4 0.2 0.2 0.2"},
        {uniform + std::string(40, 'A') + " 0.5\n", "order 5: 0.25 0.25 0.25 0.25"},
        {"# nothing\n", "background file F holds no frequencies of single bases (order 0)"},
        {"A 0.25\nC 0.25\nG 0.5\n", "background file F holds 3 of the 4 1-mers"},
        {"A 0.3\nC 0.25\nG 0.25\nT 0.25\n", "background file F: the 1-mer frequencies sum to 1.05, not 1"},
        {Kmers(1) + Kmers(3), "background file F has 3-mers but no 2-mers (order 1 is missing)"},
        {"A 0.25\nC x\n", "F line 2: frequency 'x' is not a non-negative number"},
        {"A 0.25\nC -0.1\n", "F line 2: frequency '-0.1' is not a non-negative number"},
        {"A 0.25\nN 0.25\n", "F line 2: 'N' is not a k-mer of A, C, G and T"},
        {"A 0.25\nA 0.25\n", "F line 2: 'A' appears twice"},
        {"A\n", "F line 1: expected a k-mer and its frequency"},
        {"A 0.25 0.3\n", "F line 1: expected a k-mer and its frequency, found more fields"},
        {std::string("A 0.25\nC 0.2\0 5\n", 16), "F line 2: holds a zero byte"},
        // Exact conditional lines: used in place of the frequencies, or refused when partial,
        // at odds with them or malformed.
        {Kmers(1) + "# conditional . 0x1.0000000000001p-2 0x1p-2 0x1p-2 0x1.ffffffffffffep-3\n",
         "order 0: 0.25 0.25 0.25 0.25"},
        {pairs +
             "# conditional . 0x1.999999999999ap-2 0x1.999999999999ap-3 0x1.999999999999ap-3 0x1.999999999999ap-3\n",
         "background file F has conditional lines for some contexts of orders 0 to 1 but not for all"},
        {Kmers(1) + "# conditional . 0.4 0.2 0.2 0.2\n",
         "background file F: the conditional lines disagree with the k-mer frequencies"},
        {Kmers(1) + "# conditional N 0.25 0.25 0.25 0.25\n",
         "F line 5: 'N' is not a context of A, C, G and T of at most 5 bases"},
        {Kmers(1) + "# conditional . 0.25 0.25\n",
         "F line 5: expected \"# conditional CONTEXT\" and four probabilities"},
    };
    TempDir dir("bgfile");
    const std::string F = dir.File("b.freq");
    const int aa[2] = {0, 0};
    for (const auto& c : cases) {
        WriteFile(F, c.text);
        CMarkovBackground bg;
        std::string err, want = c.result;
        if (want.find('F') != std::string::npos) want.replace(want.find('F'), 1, F);
        std::ostringstream got;
        if (ReadBackgroundFile(F.c_str(), bg, err)) got << "order " << bg.Order() << ":";
        for (int b = 0; b < 4 && !bg.Empty(); ++b) got << ' ' << std::exp(bg.Log(bg.ContextOffset(aa, 1))[b]);
        EXPECT_EQ(got.str() + err, want);
    }
}

// A background written by FormatBackgroundFile reads back to the estimated tables bit for bit
// (orders 0 to 5; undetermined bases cut contexts): what -g FILE of serevan-prep background needs.
TEST(OrderBackground, WrittenModelReadsBackBitForBit)
{
    SeedRandom(3);
    std::vector<std::vector<int>> seqs;
    std::vector<const int*> ptrs;
    std::vector<int> lens;
    for (int i = 0; i < 5; ++i) seqs.push_back(support::RandomSeq(300 + 50 * i, 0.02));
    for (const std::vector<int>& x : seqs) ptrs.push_back(x.data()), lens.push_back(static_cast<int>(x.size()));
    TempDir dir("bgwrite");
    for (int order = 0; order <= CMarkovBackground::kMaxOrder; ++order) {
        CMarkovBackground estimated, read;
        estimated.Estimate(order, ptrs.data(), lens.data(), 5);
        WriteFile(dir.File("b.freq"), FormatBackgroundFile(estimated, "test"));
        std::string err;
        ASSERT_TRUE(ReadBackgroundFile(dir.File("b.freq").c_str(), read, err)) << err;
        EXPECT_EQ(read.Order(), order);
        EXPECT_EQ(read.Table(), estimated.Table()) << "order " << order;
    }
}

// The stream is the C library's rand(): the same values for the same seed, so runs and their
// golden files stay as they were (0 seeds as 1; seeds above 2^31 wrap as in the library). The
// stream values each draw consumes (so that a run replays from its seed): one for a uniform
// value or a discrete draw, two for the normal approximation of shape 1000 and above, one per
// exponential below. Degenerate parameters. Discrete works from exp(w - max w) and must draw
// the index of the cumulative-LogSum definition from the same stream state.
TEST(Random, StreamValuesConsumedDegenerateDrawsAndLinearDiscrete)
{
    for (unsigned seed : {0u, 1u, 7u, 12345u, 2147483647u, 2147483648u, 4294967295u, 1765000000u}) {
        std::srand(seed);
        SeedRandom(seed);
        for (int i = 0; i < 2000; ++i) ASSERT_EQ(RandomInt(), std::rand()) << "seed " << seed << " value " << i;
    }
    CStochasticDistribution d(TestStream());
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
    const std::vector<double> got({d.Gamma(0), d.Gamma(-2), d.Beta(5, 0), d.Beta(0, 5), 1.0 * d.Bin(17, 1.0),
                                   1.0 * d.Bin(-3, 0.5), 1.0 * d.Discrete(one, 1), 1.0 * d.Discrete(zeros, 3), x[0],
                                   x[1], x[2], untouched[0]});
    EXPECT_EQ(got, (std::vector<double>{0, 0, 1, 0, 17, 0, 0, 0, 0, 0, 1, 42}));
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-60.0, 60.0);
    std::vector<std::vector<double>> cases = {{-1e100, -1e100, -1e100}, {-2e100, -1e100, -2e100}, {5.0},
                                              {-800.0, 0.0, -800.0},    {1.0, NAN, 2.0},          {-1e100, 3.0}};
    for (int c = 0; c < 300; ++c) {
        std::vector<double>& w = cases.emplace_back(1 + c % 8);
        for (double& v : w) v = c % 5 == 0 && rng() % 3 == 0 ? -1e100 : u(rng) * (c % 2 ? 1.0 : 10.0);
    }
    for (size_t c = 0; c < cases.size(); ++c)
        for (unsigned seed = 1; seed <= 20; ++seed) {
            std::vector<double> a = cases[c], b = cases[c];
            SeedRandom(seed);
            const int drawn = d.Discrete(a.data(), static_cast<int>(a.size()));
            const int next = RandomInt();
            SeedRandom(seed);
            ASSERT_EQ(drawn, d.DiscreteLogSpace(b.data(), static_cast<int>(b.size()))) << "case " << c;
            ASSERT_EQ(next, RandomInt()) << "one value per draw";
        }
}

TEST(RandomStat, EveryDrawFitsItsExactDistribution)
{
    support::TestSeed seed(20261206);
    // Bin of a continuous draw among ten of equal probability, from its distribution function.
    auto Decile = [](double cdf) { return cdf < 0 || cdf > 1 ? -1 : std::min(9, static_cast<int>(cdf * 10)); };
    const std::vector<double> deciles(10, 0.1);
    std::vector<double> binomial;
    for (int j = 0; j <= 5; ++j) binomial.push_back(BinomialPmf(5, j, 0.3));
    const Fit fits[] = {
        {"Uniform(-2, 3)", deciles, [&](auto& d) { return Decile((d.Uniform(-2.0, 3.0) + 2.0) / 5.0); }},
        {"Discrete(0.1, 0, 0.2, 0.3, 0.4) from unnormalised logs",
         {0.1, 0, 0.2, 0.3, 0.4},
         [](auto& d) {
             double w[5] = {std::log(0.1) + 7, -1e100, std::log(0.2) + 7, std::log(0.3) + 7, std::log(0.4) + 7};
             return d.Discrete(w, 5);
         }},
        {"Bin(5, 0.3)", binomial, [](auto& d) { return d.Bin(5, 0.3); }},
        {"Beta(2, 5)", deciles, [&](auto& d) { return Decile(BetaCdf(d.Beta(2, 5), 2, 5)); }},
        {"Gamma(3)", deciles,  // distribution function 1 - e^-x (1 + x + x^2 / 2)
         [&](auto& d) {
             const double x = d.Gamma(3);
             return Decile(1 - std::exp(-x) * (1 + x + x * x / 2));
         }},
        // Shape 1000 and above: the normal approximation, of mean and variance 1000.
        {"Gamma(1000)", deciles,
         [&](auto& d) { return Decile(0.5 * std::erfc((1000 - d.Gamma(1000)) / std::sqrt(2000.0))); }},
        // Coordinate k of Dirichlet(1, 2, 3) is Beta(alpha_k, 6 - alpha_k); the draws bin each in turn.
        {"Dirichlet(1, 2, 3)", deciles,
         [&, k = 0](auto& d) mutable {
             int alpha[3] = {1, 2, 3};
             double x[3];
             d.Dirichlet(alpha, 3, x);
             k = (k + 1) % 3;
             return std::abs(x[0] + x[1] + x[2] - 1) > 1e-12 ? -1 : Decile(BetaCdf(x[k], alpha[k], 6 - alpha[k]));
         }},
    };
    const int n = 20000;
    for (const auto& [name, p, draw] : fits) {
        std::vector<int> count(p.size(), 0);
        CStochasticDistribution d(TestStream());
        for (int i = 0; i < n; ++i) {
            const int bin = draw(d);
            ASSERT_TRUE(bin >= 0 && bin < static_cast<int>(count.size())) << name << " drew outside its range";
            ++count[bin];
        }
        // Pearson's chi-square against its 0.999 quantile (Wilson-Hilferty approximation,
        // z = 3.09); a bin of probability 0 must stay empty.
        double x2 = 0, df = -1;
        for (size_t b = 0; b < count.size(); ++b) {
            EXPECT_TRUE(p[b] > 0 || count[b] == 0) << name << " drew an impossible value";
            if (p[b] == 0) continue;
            x2 += (count[b] - n * p[b]) * (count[b] - n * p[b]) / (n * p[b]);
            ++df;
        }
        const double h = 2 / (9 * df);
        EXPECT_LT(x2, df * std::pow(1 - h + 3.09 * std::sqrt(h), 3)) << name;
    }
}
