// Pair HMM: brute-force sums over every path, sampled path frequencies against the exact
// posterior, the fast table against the log-space definition, and the border cases.
#include <gtest/gtest.h>

#include "random_seqs.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "align/PairAlign.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

namespace {

constexpr unsigned kSeed = 20240611;

// Substitution log-odds of the 10% level: diagonal, transition, transversion minus ln 0.25.
std::vector<double> LevelPhi(double diag, double ts, double tv)
{
    std::vector<double> phi(16);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
            phi[4 * a + b] = (a == b ? diag : std::abs(a - b) == 2 ? ts : tv) - std::log(0.25);
    return phi;
}
const std::vector<double> kPhi10 = LevelPhi(-0.1054, -2.8134, -3.912);

using testseq::Mutate;
using testseq::RandomSeq;

// Every alignment path of the model: start in state 0, weight Q[prev][k] per step, match
// scores, the ban of state 1 followed by state 0, and the closing weight Q[last][1].
struct Enumerator {
    const std::vector<int>& s1;
    const std::vector<int>& s2;
    const double* Q;
    const double* phi;
    std::map<std::string, double> logWeight;  // path as a string of states -> log weight

    void Walk(int i, int j, int prev, double lw, std::string& path)
    {
        const int n1 = static_cast<int>(s1.size()), n2 = static_cast<int>(s2.size());
        if (i == n1 && j == n2) {
            logWeight[path] = lw + Q[3 * prev + 1];
            return;
        }
        for (int k = 0; k < 3; ++k) {
            if (prev == 1 && k == 0) continue;
            int ni = i + (k != 1), nj = j + (k != 0);
            if (ni > n1 || nj > n2) continue;
            double e = 0.0;
            if (k == 2) {
                int a = s1[static_cast<size_t>(i)], b = s2[static_cast<size_t>(j)];
                e = serevan::IsBase(a) && serevan::IsBase(b) ? phi[4 * a + b] : phi[3];
            }
            path.push_back(static_cast<char>('0' + k));
            Walk(ni, nj, k, lw + Q[3 * prev + k] + e, path);
            path.pop_back();
        }
    }
};

double ForwardTotal(const CPairForward& F, int len1, int len2, const double* Q)
{
    double t = serevan::kLogZero;
    for (int k = 0; k < 3; ++k) t = LogSum(t, F.LogF(len1, len2, k) + Q[3 * k + 1]);
    return t;
}

std::string PathString(const std::vector<int>& p)
{
    std::string s;
    for (int k = 1; k <= p[0]; ++k) s.push_back(static_cast<char>('0' + p[static_cast<size_t>(k)]));
    return s;
}

}  // namespace

TEST(PairAlign, ForwardTotalEqualsSumOverAllPathsOnTinySequences)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::srand(kSeed);
    CPairForward F;
    for (int len1 = 0; len1 <= 4; ++len1) {
        for (int len2 = 0; len2 <= 4; ++len2) {
            for (int rep = 0; rep < 3; ++rep) {
                std::vector<int> s1 = RandomSeq(len1, 0.2), s2 = RandomSeq(len2, 0.2);
                std::vector<double> phi(16);
                for (double& x : phi) x = -5.0 + 7.0 * (std::rand() % 1000) / 1000.0;
                Enumerator en{s1, s2, QMATRIX, phi.data(), {}};
                std::string path;
                en.Walk(0, 0, 0, 0.0, path);
                double brute = serevan::kLogZero;
                for (auto& [p, w] : en.logWeight) brute = LogSum(brute, w);

                std::vector<double> ref(static_cast<size_t>(3 * (len1 + 1) * (len2 + 1)));
                QPhiSummation(s1.data(), s2.data(), len1 + 1, len2 + 1, QMATRIX, phi.data(), ref.data());
                double refTotal = serevan::kLogZero;
                for (int k = 0; k < 3; ++k)
                    refTotal = LogSum(refTotal, ref[static_cast<size_t>(3 * ((len1 + 1) * (len2 + 1) - 1) + k)] +
                                                    QMATRIX[3 * k + 1]);
                ASSERT_TRUE(F.Fill(s1.data(), s2.data(), len1, len2, QMATRIX, phi.data()));
                EXPECT_TRUE(F.Fast());
                EXPECT_NEAR(refTotal, brute, 1e-9) << len1 << "x" << len2;
                EXPECT_NEAR(ForwardTotal(F, len1, len2, QMATRIX), brute, 1e-9) << len1 << "x" << len2;
            }
        }
    }
}

TEST(PairAlign, SampledPathFrequenciesMatchExactPosterior)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    SeedRandom(kSeed);
    const std::vector<int> s1 = {0, 1, -1}, s2 = {0, 2, 1};
    const std::vector<double> phi = LevelPhi(-0.2231, -2.1203, -3.2189);
    Enumerator en{s1, s2, QMATRIX, phi.data(), {}};
    std::string p;
    en.Walk(0, 0, 0, 0.0, p);
    double total = serevan::kLogZero;
    for (auto& [path, w] : en.logWeight) total = LogSum(total, w);

    const int n = 20000;
    std::vector<std::vector<int>> paths(n);
    std::vector<int> c1(3), c2(3);
    ASSERT_TRUE(QPhiAlign(s1.data(), s2.data(), 3, 3, QMATRIX, phi.data(), n, c1.data(), c2.data(), n,
                          paths.data()));
    std::map<std::string, int> seen;
    std::vector<int> m1(3, 0), m2(3, 0);
    for (const auto& path : paths) {
        ASSERT_EQ(path.size(), 7u);
        ++seen[PathString(path)];
        int x = 0, y = 0;
        for (int k = 1; k <= path[0]; ++k) {
            int st = path[static_cast<size_t>(k)];
            if (st == 2) {
                ++m1[static_cast<size_t>(x)];
                ++m2[static_cast<size_t>(y)];
            }
            x += st != 1;
            y += st != 0;
        }
        EXPECT_EQ(x, 3);
        EXPECT_EQ(y, 3);
        for (size_t k = static_cast<size_t>(path[0]) + 1; k < path.size(); ++k) EXPECT_EQ(path[k], -1);
    }
    EXPECT_EQ(c1, m1);
    EXPECT_EQ(c2, m2);
    // Each path count is binomial(n, p): allow 5 sd plus one draw of rounding.
    for (auto& [path, count] : seen) ASSERT_TRUE(en.logWeight.count(path)) << "impossible path " << path;
    for (auto& [path, w] : en.logWeight) {
        double pr = std::exp(w - total);
        double sd = std::sqrt(n * pr * (1 - pr));
        EXPECT_NEAR(seen[path], n * pr, 5 * sd + 1) << path;
    }
}

TEST(PairAlign, FastTableEqualsLogSpaceDefinitionOnEveryCell)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::srand(kSeed);
    CPairForward F;
    struct Case {
        int len1, len2;
        bool related;
        double phiLow, phiHigh;
        bool expectFast;
    };
    // Related sequences of several hundred residues span well over 708 nats in a row, beyond
    // what per-row scaling of plain doubles could hold.
    const Case cases[] = {{0, 7, false, -5, 2, true},      {9, 0, false, -5, 2, true},
                          {40, 55, false, -6, 3, true},    {150, 120, false, -20, 20, true},
                          {900, 900, true, 0, 0, true},    {60, 70, false, -400, 400, false}};
    for (const Case& c : cases) {
        std::vector<int> s1 = RandomSeq(c.len1, 0.05), s2;
        if (c.related) {
            s2 = Mutate(s1, 0.02);
            s2.resize(static_cast<size_t>(c.len2), 1);
        } else {
            s2 = RandomSeq(c.len2, 0.05);
        }
        std::vector<double> phi = LevelPhi(-0.0101, -5.116, -6.2146);
        if (!c.related)
            for (double& x : phi) x = c.phiLow + (c.phiHigh - c.phiLow) * (std::rand() % 1000) / 1000.0;
        std::vector<double> ref(static_cast<size_t>(3 * (c.len1 + 1) * (c.len2 + 1)));
        QPhiSummation(s1.data(), s2.data(), c.len1 + 1, c.len2 + 1, QMATRIX, phi.data(), ref.data());
        ASSERT_TRUE(F.Fill(s1.data(), s2.data(), c.len1, c.len2, QMATRIX, phi.data()));
        EXPECT_EQ(F.Fast(), c.expectFast);
        double worst = 0.0, spread = 0.0;
        for (int i = 0; i <= c.len1; ++i) {
            double low = 1e300, high = -1e300;
            for (int j = 0; j <= c.len2; ++j)
                for (int k = 0; k < 3; ++k) {
                    double r = ref[static_cast<size_t>(3 * (i * (c.len2 + 1) + j) + k)];
                    double f = F.LogF(i, j, k);
                    if (r <= -1e99) {
                        ASSERT_LE(f, -1e99) << i << "," << j << "," << k;
                        continue;
                    }
                    worst = std::max(worst, std::abs(f - r));
                    low = std::min(low, r);
                    high = std::max(high, r);
                }
            spread = std::max(spread, high - low);
        }
        // Observed: up to 2e-11 at 900 x 900 (values near 1,200), mostly rounding of the
        // log-space recurrence itself.
        EXPECT_LT(worst, 1e-9) << c.len1 << "x" << c.len2;
        // Beyond the 745 nats that even subnormal doubles span.
        if (c.related) {
            EXPECT_GT(spread, 800.0);
        }
    }
}

TEST(PairAlign, ValuesBeyondThePackedExponentFallBackToLogSpace)
{
    // 1300 matches at +299 nats reach 388,700 nats, beyond the 2^19 ln 2 = 363,408 that the
    // packed exponent holds: the fill must notice and redo the table in log space.
    const int n = 1300;
    std::vector<int> s(n, 2);
    std::vector<double> phi(16, 299.0);
    CPairForward F;
    ASSERT_TRUE(F.Fill(s.data(), s.data(), n, n, QMATRIX, phi.data()));
    EXPECT_FALSE(F.Fast());
    std::vector<double> ref(static_cast<size_t>(3 * (n + 1) * (n + 1)));
    QPhiSummation(s.data(), s.data(), n + 1, n + 1, QMATRIX, phi.data(), ref.data());
    for (int i = 0; i <= n; i += 13)
        for (int j = 0; j <= n; j += 7)
            for (int k = 0; k < 3; ++k) ASSERT_EQ(F.LogF(i, j, k), ref[static_cast<size_t>(3 * (i * (n + 1) + j) + k)]);
    EXPECT_GT(F.LogF(n, n, 2), 363408.0);
}

TEST(PairAlign, LogZeroTransitionsAreCarriedByTheFastTable)
{
    std::srand(kSeed + 1);
    double Q[9];
    std::copy(QMATRIX, QMATRIX + 9, Q);
    Q[5] = -1e100;  // no match straight after a gap in the first sequence
    std::vector<int> s1 = RandomSeq(30, 0.1), s2 = RandomSeq(25, 0.1);
    std::vector<double> ref(3 * 31 * 26);
    QPhiSummation(s1.data(), s2.data(), 31, 26, Q, kPhi10.data(), ref.data());
    CPairForward F;
    ASSERT_TRUE(F.Fill(s1.data(), s2.data(), 30, 25, Q, kPhi10.data()));
    EXPECT_TRUE(F.Fast());
    for (int i = 0; i <= 30; ++i)
        for (int j = 0; j <= 25; ++j)
            for (int k = 0; k < 3; ++k) {
                double r = ref[static_cast<size_t>(3 * (i * 26 + j) + k)];
                if (r <= -1e99) {
                    EXPECT_LE(F.LogF(i, j, k), -1e99);
                } else {
                    EXPECT_NEAR(F.LogF(i, j, k), r, 1e-9);
                }
            }
}

TEST(PairAlign, FastTableDrawsTheSamePathsAsTheLogSpaceTraceback)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::srand(kSeed);
    std::vector<int> s1 = RandomSeq(120, 0.03);
    std::vector<int> s2 = Mutate(s1, 0.15);
    const int len1 = 120, len2 = static_cast<int>(s2.size()), n = 50;

    SeedRandom(kSeed);
    std::vector<std::vector<int>> fast(n);
    std::vector<int> f1(len1), f2(static_cast<size_t>(len2));
    ASSERT_TRUE(QPhiAlign(s1.data(), s2.data(), len1, len2, QMATRIX, kPhi10.data(), n, f1.data(), f2.data(), n,
                          fast.data()));

    SeedRandom(kSeed);
    std::vector<double> ref(static_cast<size_t>(3 * (len1 + 1) * (len2 + 1)));
    QPhiSummation(s1.data(), s2.data(), len1 + 1, len2 + 1, QMATRIX, kPhi10.data(), ref.data());
    std::vector<int> r1(len1, 0), r2(static_cast<size_t>(len2), 0);
    std::vector<int> buffer(static_cast<size_t>(len1 + len2 + 1));
    for (int r = 0; r < n; ++r) {
        std::fill(buffer.begin(), buffer.end(), -1);
        ASSERT_TRUE(QPhiSampling(len1 + 1, len2 + 1, QMATRIX, ref.data(), r1.data(), r2.data(), buffer.data()));
        size_t first = 0;
        while (buffer[first] < 0) ++first;
        std::vector<int> expect(buffer.size(), -1);
        std::copy(buffer.begin() + static_cast<long>(first), buffer.end(), expect.begin());
        ASSERT_EQ(fast[static_cast<size_t>(r)], expect) << "draw " << r;
    }
    EXPECT_EQ(f1, r1);
    EXPECT_EQ(f2, r2);
}

TEST(PairAlign, EmptySequences)
{
    SeedRandom(kSeed);
    std::vector<std::vector<int>> paths(4);
    int dummy = 0;
    ASSERT_TRUE(QPhiAlign(&dummy, &dummy, 0, 0, QMATRIX, kPhi10.data(), 4, nullptr, nullptr, 4, paths.data()));
    for (const auto& p : paths) EXPECT_EQ(p, std::vector<int>{0});

    std::vector<int> s = {0, 1, 2};
    std::vector<int> c(3, 7);
    ASSERT_TRUE(QPhiAlign(&dummy, s.data(), 0, 3, QMATRIX, kPhi10.data(), 4, nullptr, c.data(), 4, paths.data()));
    for (const auto& p : paths) EXPECT_EQ(p, (std::vector<int>{3, 1, 1, 1}));
    EXPECT_EQ(c, (std::vector<int>{0, 0, 0}));
    ASSERT_TRUE(QPhiAlign(s.data(), &dummy, 3, 0, QMATRIX, kPhi10.data(), 4, c.data(), nullptr, 4, paths.data()));
    for (const auto& p : paths) EXPECT_EQ(p, (std::vector<int>{3, 0, 0, 0}));
}

TEST(PairAlign, IdenticalRunsOfAMatchAlmostAlways)
{
    SeedRandom(kSeed);
    std::vector<int> a(10, 0);
    std::vector<double> phi(16, -3.0);
    for (int b = 0; b < 4; ++b) phi[5 * b] = 3.0;
    const int n = 1000;
    std::vector<std::vector<int>> paths(n);
    std::vector<int> c1(10), c2(10);
    ASSERT_TRUE(QPhiAlign(a.data(), a.data(), 10, 10, QMATRIX, phi.data(), n, c1.data(), c2.data(), n, paths.data()));
    int allMatch = 0;
    for (const auto& p : paths) allMatch += p[0] == 10 && PathString(p) == std::string(10, '2');
    EXPECT_GT(allMatch, 0.9 * n);
    for (int k = 0; k < 10; ++k) {
        EXPECT_GT(c1[static_cast<size_t>(k)], 0.9 * n);
        EXPECT_GT(c2[static_cast<size_t>(k)], 0.9 * n);
    }
}

TEST(PairAlign, NoGapInTheFirstSequenceIsFollowedByAGapInTheSecond)
{
    SeedRandom(kSeed);
    std::srand(kSeed);
    std::vector<int> s1 = RandomSeq(60, 0.0), s2 = RandomSeq(45, 0.0);
    const int n = 200;
    std::vector<std::vector<int>> paths(n);
    ASSERT_TRUE(QPhiAlign(s1.data(), s2.data(), 60, 45, QMATRIX, kPhi10.data(), n, nullptr, nullptr, n,
                          paths.data()));
    for (const auto& p : paths) EXPECT_EQ(PathString(p).find("10"), std::string::npos);
}

TEST(PairAlign, UndeterminedBaseScoresAAgainstT)
{
    std::vector<double> phi(16);
    for (int t = 0; t < 16; ++t) phi[t] = -0.1 * t;
    CPairForward F;
    const int pairs[][2] = {{-1, 2}, {1, -1}, {-1, -1}};
    for (auto& pr : pairs) {
        ASSERT_TRUE(F.Fill(&pr[0], &pr[1], 1, 1, QMATRIX, phi.data()));
        EXPECT_NEAR(F.LogF(1, 1, 2), QMATRIX[2] + phi[3], 1e-12);
    }
    int a = 1, b = 2;
    ASSERT_TRUE(F.Fill(&a, &b, 1, 1, QMATRIX, phi.data()));
    EXPECT_NEAR(F.LogF(1, 1, 2), QMATRIX[2] + phi[6], 1e-12);
}

TEST(PairAlign, KeepsNoneOrEveryDraw)
{
    std::srand(kSeed);
    std::vector<int> s1 = RandomSeq(12, 0.0), s2 = RandomSeq(9, 0.0);
    std::vector<int> c1(12), c2(9);
    SeedRandom(kSeed);
    ASSERT_TRUE(QPhiAlign(s1.data(), s2.data(), 12, 9, QMATRIX, kPhi10.data(), 30, c1.data(), c2.data(), 0, nullptr));
    std::vector<std::vector<int>> paths(30);
    std::vector<int> d1(12), d2(9);
    SeedRandom(kSeed);
    ASSERT_TRUE(QPhiAlign(s1.data(), s2.data(), 12, 9, QMATRIX, kPhi10.data(), 30, d1.data(), d2.data(), 30,
                          paths.data()));
    EXPECT_EQ(c1, d1);  // keeping paths does not change the draws
    EXPECT_EQ(c2, d2);
    int matches = 0;
    for (const auto& p : paths) {
        ASSERT_EQ(p.size(), 22u);
        for (int k = 1; k <= p[0]; ++k) matches += p[static_cast<size_t>(k)] == 2;
    }
    int counted = 0;
    for (int x : d1) counted += x;
    EXPECT_EQ(matches, counted);
}

TEST(PairAlign, RefusesATableBeyondTheMemoryLimit)
{
    EXPECT_NEAR(PairTableBytes(2000, 2000), 24.0 * 2001 * 2001, 1e6);  // about 96 MB
    EXPECT_GT(PairTableBytes(30000, 30000), kPairTableLimitBytes);
    std::vector<int> s(30000, 1);
    std::string err;
    CPairForward F;
    EXPECT_FALSE(QPhiAlign(s.data(), s.data(), 30000, 30000, QMATRIX, kPhi10.data(), 1, nullptr, nullptr, 0,
                           nullptr, &err, &F));
    EXPECT_NE(err.find("30000 and 30000 residues needs 20.12 GiB"), std::string::npos) << err;
    EXPECT_EQ(F.HeldBytes(), 0u);  // nothing was allocated
}
