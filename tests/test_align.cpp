// Pair HMM and template-based multiple alignment: brute-force sums over every path, sampled
// path frequencies against the exact posterior, the fast table against the log-space
// definition, the template and independent alignments replayed from their pair draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "align/MultiAlign.h"
#include "align/PairAlign.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"
#include "support/Support.h"

using support::Mutate;
using support::RandomSeq;

namespace {

constexpr unsigned kSeed = 20240611;

const CMultiAlignment kLevels;  // m_dPhi[0..4]: log-odds of the 1, 5, 10, 15 and 20% levels
const double* const kPhi10 = kLevels.m_dPhi[2];

int SubstClass(int a, int b)
{
    return a == b ? 2 : std::abs(a - b) == 2 ? 0 : 1;
}

// Log weight of every alignment path, keyed by its states, and their log total: start in
// state 0, Q[prev][k] per step, match scores (phi[3] when a residue is not a base), no state 0
// straight after state 1, and the closing weight Q[last][1].
void Enumerate(const std::vector<int>& s1, const std::vector<int>& s2, const double* phi,
               std::map<std::string, double>& out, double& total, int i = 0, int j = 0, int prev = 0, double lw = 0.0,
               const std::string& path = "")
{
    const int n1 = static_cast<int>(s1.size()), n2 = static_cast<int>(s2.size());
    if (i == n1 && j == n2) total = LogSum(total, out[path] = lw + QMATRIX[3 * prev + 1]);
    for (int k = 0; k < 3; ++k) {
        const int ni = i + (k != 1), nj = j + (k != 0);
        if ((prev == 1 && k == 0) || ni > n1 || nj > n2) continue;
        const bool bases = k == 2 && serevan::IsBase(s1[i]) && serevan::IsBase(s2[j]);
        const double e = k < 2 ? 0 : bases ? phi[4 * s1[i] + s2[j]] : phi[3];
        Enumerate(s1, s2, phi, out, total, ni, nj, k, lw + QMATRIX[3 * prev + k] + e, path + char('0' + k));
    }
}

// The log-space table of QPhiSummation, read as F(i, j, k).
struct LogTable {
    int cols;
    std::vector<double> F;
    LogTable(const std::vector<int>& s1, const std::vector<int>& s2, const double* Q, const double* phi)
        : cols(static_cast<int>(s2.size()) + 1), F(3 * (s1.size() + 1) * cols)
    {
        QPhiSummation(s1.data(), s2.data(), static_cast<int>(s1.size()) + 1, cols, Q, phi, F.data());
    }
    double operator()(int i, int j, int k) const { return F[3 * (static_cast<size_t>(i) * cols + j) + k]; }
};

// Loads the sequences and, when len >= 0, the template.
void Load(CMultiAlignment& ma, const std::vector<std::vector<int>>& seq, const int* tmpl = nullptr, int len = -1)
{
    std::vector<const int*> ptr;
    std::vector<int> lens;
    for (const std::vector<int>& s : seq) {
        ptr.push_back(s.data());
        lens.push_back(static_cast<int>(s.size()));
    }
    ma.InputSequences(ptr.data(), lens.data(), static_cast<int>(seq.size()));
    if (len >= 0) ma.SetTemplate(tmpl, len);
}

}  // namespace

TEST(PairAlignStat, SampledPathFrequenciesMatchExactPosterior)
{
    support::TestSeed seed(kSeed);
    const std::vector<int> s1 = {0, 1, -1}, s2 = {0, 2, 1};
    const std::vector<double> phi(kLevels.m_dPhi[4], kLevels.m_dPhi[4] + 16);
    std::map<std::string, double> all;
    double total = serevan::kLogZero;
    Enumerate(s1, s2, phi.data(), all, total);
    const int n = 20000;
    std::vector<std::vector<int>> paths(n);
    std::vector<int> c1(3), c2(3), m1(3, 0), m2(3, 0);
    ASSERT_TRUE(QPhiAlign(TestStream(), s1.data(), s2.data(), 3, 3, QMATRIX, phi.data(), n, c1.data(), c2.data(), n,
                          paths.data()));
    std::map<std::string, int> seen;
    for (const std::vector<int>& path : paths) {
        ASSERT_EQ(path.size(), 7u);
        std::string states;
        int x = 0, y = 0;
        for (int k = 1; k <= path[0]; ++k) {
            states.push_back(static_cast<char>('0' + path[k]));
            if (path[k] == 2) {  // a match of residues x and y
                ++m1[x];
                ++m2[y];
            }
            x += path[k] != 1;
            y += path[k] != 0;
        }
        ++seen[states];
    }
    EXPECT_EQ(c1, m1);
    EXPECT_EQ(c2, m2);
    for (auto& [path, count] : seen) ASSERT_TRUE(all.count(path)) << "impossible path " << path;
    // Each path count is binomial(n, p): allow 5 sd plus one draw of rounding.
    for (auto& [path, w] : all) {
        const double pr = std::exp(w - total);
        EXPECT_NEAR(seen[path], n * pr, 5 * std::sqrt(n * pr * (1 - pr)) + 1) << path;
    }
    // Keeping no path changes no draw.
    std::vector<int> d1(3), d2(3);
    SeedRandom(seed);
    ASSERT_TRUE(
        QPhiAlign(TestStream(), s1.data(), s2.data(), 3, 3, QMATRIX, phi.data(), n, d1.data(), d2.data(), 0, nullptr));
    EXPECT_EQ(d1, c1);
    EXPECT_EQ(d2, c2);
}

// Every cell of the fast table against the log-space definition; on sequences of up to four
// residues (every pair of lengths, three times) also the total against the sum over all paths.
TEST(PairAlign, FastTableEqualsLogSpaceDefinitionOnEveryCell)
{
    SeedRandom(kSeed);
    CPairForward F;
    struct Case {
        int len1, len2;
        bool related;  // the second a mutated copy of the first, scored by the 1% level
        double phiLow, phiHigh;
        bool noMatchAfterGap, fast;  // Q[1][2] log zero; the fill keeps the fast table
    };
    std::vector<Case> cases = {
        {0, 7, false, -5, 2, false, true},
        {9, 0, false, -5, 2, false, true},
        {40, 55, false, -6, 3, false, true},
        {30, 25, false, -6, 3, true, true},
        {150, 120, false, -20, 20, false, true},
        // Related sequences of several hundred residues span well over 800 nats in a row,
        // beyond the 745 that even subnormal doubles span.
        {900, 900, true, 0, 0, false, true},
        {60, 70, false, -400, 400, false, false},  // scores beyond 300 nats: log space
        // 1300 matches at +299 nats reach 388,700 nats, beyond the 2^19 ln 2 = 363,408 that the
        // packed exponent holds: the fill notices and redoes the table in log space.
        {1300, 1300, false, 299, 299, false, false},
    };
    for (int n = 0; n < 75; ++n) cases.push_back({n / 15, n / 3 % 5, false, -5, 2, false, true});
    for (const Case& c : cases) {
        const bool tiny = c.len1 <= 4 && c.len2 <= 4;
        std::vector<int> s1 = RandomSeq(c.len1, tiny ? 0.2 : 0.05);
        std::vector<int> s2 = c.related ? Mutate(s1, 0.02) : RandomSeq(c.len2, tiny ? 0.2 : 0.05);
        s2.resize(static_cast<size_t>(c.len2), 1);
        std::vector<double> phi(kLevels.m_dPhi[0], kLevels.m_dPhi[0] + 16);
        if (!c.related)
            for (double& x : phi) x = c.phiLow + (c.phiHigh - c.phiLow) * (RandomInt() % 1000) / 1000.0;
        double Q[9];
        std::copy(QMATRIX, QMATRIX + 9, Q);
        if (c.noMatchAfterGap) Q[5] = -1e100;
        const LogTable T(s1, s2, Q, phi.data());
        ASSERT_TRUE(F.Fill(s1.data(), s2.data(), c.len1, c.len2, Q, phi.data()));
        EXPECT_EQ(F.Fast(), c.fast) << c.len1 << "x" << c.len2;
        double worst = 0.0;
        for (int i = 0; i <= c.len1; ++i)
            for (int j = 0; j <= c.len2; ++j)
                for (int k = 0; k < 3; ++k) {
                    const double r = T(i, j, k), f = F.LogF(i, j, k);
                    ASSERT_TRUE(r > -1e99 || f <= -1e99) << "log zero at " << i << "," << j << "," << k;
                    if (r > -1e99) worst = std::max(worst, std::abs(f - r));
                }
        // Observed: up to 2e-11 at 900 x 900 (values near 1,200), mostly rounding of the
        // log-space recurrence itself; the log-space fallback gives the same bits.
        EXPECT_LE(worst, c.fast ? 1e-9 : 0.0) << c.len1 << "x" << c.len2;
        if (!tiny || c.noMatchAfterGap) continue;
        std::map<std::string, double> all;
        double brute = serevan::kLogZero, ref = brute;
        Enumerate(s1, s2, phi.data(), all, brute);
        for (int k = 0; k < 3; ++k) ref = LogSum(ref, T(c.len1, c.len2, k) + QMATRIX[3 * k + 1]);
        EXPECT_NEAR(ref, brute, 1e-9) << c.len1 << "x" << c.len2;
    }
}

// Tracebacks from the stored fast table (many draws a fill) and from checkpoints (one or two
// draws a fill, the cells recomputed band by band) against the log-space traceback: the same
// paths and counts from the same stream. Cases: related sequences, a 300-residue insertion
// (the path leaves the main diagonal for many bands), a gap-to-match transition of log zero.
TEST(PairAlign, FastAndCheckpointedTablesDrawTheSamePathsAsTheLogSpaceTraceback)
{
    SeedRandom(kSeed);
    std::vector<int> related = RandomSeq(120, 0.03), inserted = RandomSeq(500);
    std::vector<int> longer = Mutate(inserted, 0.1);
    const std::vector<int> extra = RandomSeq(300);
    longer.insert(longer.begin() + 200, extra.begin(), extra.end());
    double noGapToMatch[9];
    std::copy(QMATRIX, QMATRIX + 9, noGapToMatch);
    noGapToMatch[5] = -1e100;
    const struct {
        std::vector<int> s1, s2;
        const double* Q;
        int perFill;  // tracebacks per QPhiAlign call
    } cases[] = {
        {related, Mutate(related, 0.15), QMATRIX, 50},
        {related, Mutate(related, 0.15), QMATRIX, 1},
        {inserted, longer, QMATRIX, 2},
        {longer, inserted, QMATRIX, 1},
        {related, Mutate(related, 0.3), noGapToMatch, 1},
    };
    for (const auto& c : cases) {
        const int len1 = static_cast<int>(c.s1.size()), len2 = static_cast<int>(c.s2.size()), n = 50;
        std::vector<std::vector<int>> fast(n);
        std::vector<int> f1(len1, 0), f2(len2, 0), r1(len1, 0), r2(len2, 0), buffer(len1 + len2 + 1);
        std::vector<int> c1(len1), c2(len2);
        CPairForward table;
        SeedRandom(kSeed);
        for (int r = 0; r < n; r += c.perFill) {
            ASSERT_TRUE(QPhiAlign(TestStream(), c.s1.data(), c.s2.data(), len1, len2, c.Q, kPhi10, c.perFill, c1.data(),
                                  c2.data(), c.perFill, &fast[r], nullptr, &table));
            for (int i = 0; i < len1; ++i) f1[i] += c1[i];
            for (int j = 0; j < len2; ++j) f2[j] += c2[j];
        }
        SeedRandom(kSeed);
        const LogTable T(c.s1, c.s2, c.Q, kPhi10);
        for (int r = 0; r < n; ++r) {
            std::fill(buffer.begin(), buffer.end(), -1);
            ASSERT_TRUE(
                QPhiSampling(TestStream(), len1 + 1, len2 + 1, c.Q, T.F.data(), r1.data(), r2.data(), buffer.data()));
            std::vector<int> expect(buffer.size(), -1);  // the path moved to the front
            const auto first = std::find_if(buffer.begin(), buffer.end(), [](int v) { return v >= 0; });
            std::copy(first, buffer.end(), expect.begin());
            ASSERT_EQ(fast[r], expect) << len1 << "x" << len2 << " per fill " << c.perFill << " draw " << r;
        }
        EXPECT_EQ(f1, r1);
        EXPECT_EQ(f2, r2);
    }
}

TEST(MultiAlign, TemplateKeepsTheResiduesMatchedInMoreThan33Of100Draws)
{
    SeedRandom(kSeed);
    std::vector<std::vector<int>> seq(3);
    for (int p = 0; p < 40; ++p) seq[1].push_back(p % 4);  // repeats: matches spread over several places
    seq[0].assign(seq[1].begin(), seq[1].begin() + 30);
    seq[2] = Mutate(seq[1], 0.2);
    CMultiAlignment ma;
    Load(ma, seq);
    SeedRandom(kSeed);
    ASSERT_TRUE(ma.GenerateTemplates(TestStream(), 1));
    // The same draws written out: 100 alignments of species 1 with each other species, at
    // the 15% level; a residue stays when some species matched it more than 33 times.
    SeedRandom(kSeed);
    const int L = static_cast<int>(seq[1].size());
    std::vector<int> most(L, 0), count(L), expect;
    for (int j : {0, 2}) {
        ASSERT_TRUE(QPhiAlign(TestStream(), seq[1].data(), seq[j].data(), L, static_cast<int>(seq[j].size()), QMATRIX,
                              kLevels.m_dPhi[3], 100, count.data(), nullptr, 0, nullptr));
        for (int p = 0; p < L; ++p) most[p] = std::max(most[p], count[p]);
    }
    for (int p = 0; p < L; ++p)
        if (most[p] > 33) expect.push_back(seq[1][p]);
    EXPECT_EQ(ma.m_pTemplate[0], expect);
    EXPECT_GT(std::count(most.begin(), most.end(), 33), 0) << "some residue sits at the threshold";
}

// Independent alignments replayed from their pair draws: the same stream gives the same
// draws, and each alignment's score and substitution counts follow from them.
TEST(MultiAlign, IndependentAlignmentsFollowTheirPairDraws)
{
    SeedRandom(kSeed);
    const std::vector<int> anc = RandomSeq(70);
    std::vector<std::vector<int>> seq;
    for (int s = 0; s < 3; ++s) {
        seq.push_back(Mutate(anc, 0.2));
        for (int& c : seq.back()) c = RandomInt() % 20 == 0 ? -1 : c;  // undetermined residues
    }
    std::vector<int> tmpl = anc;
    tmpl[5] = -1;  // an undetermined template residue scores nothing
    CMultiAlignment ma;
    Load(ma, seq, tmpl.data(), 70);
    const int A = 6;
    std::vector<double> phi(16);
    for (int t = 0; t < 16; ++t) phi[t] = ma.m_dPhi[1][t] + 0.01 * t;  // distinct entries
    std::vector<ALIGNPATH> paths(A);
    std::vector<double> score(A), expectScore(A, 0.0);
    std::vector<int> subst(3 * A), expectSubst(3 * A, 0);
    SeedRandom(kSeed);
    ASSERT_TRUE(ma.ProduceIndAlign(TestStream(), 0, phi.data(), A, paths.data(), score.data(), subst.data()));
    SeedRandom(kSeed);  // species by species: score and classes of the matched pairs of bases
    for (int s = 0; s < 3; ++s) {
        std::vector<std::vector<int>> pair(A);
        ASSERT_TRUE(QPhiAlign(TestStream(), tmpl.data(), seq[s].data(), 70, static_cast<int>(seq[s].size()), QMATRIX,
                              phi.data(), A, nullptr, nullptr, A, pair.data()));
        for (int r = 0; r < A; ++r) {
            for (int k = 1, i = 0, j = 0; k <= pair[r][0]; ++k) {
                i += pair[r][k] != 1;
                j += pair[r][k] != 0;
                const int a = pair[r][k] == 2 ? tmpl[i - 1] : -1, b = pair[r][k] == 2 ? seq[s][j - 1] : -1;
                if (a < 0 || b < 0) continue;
                expectScore[r] += phi[4 * a + b];
                ++expectSubst[3 * r + SubstClass(a, b)];
            }
            EXPECT_EQ(paths[r].back().pos[s], static_cast<int>(seq[s].size())) << r;
        }
    }
    for (int r = 0; r < A; ++r) EXPECT_NEAR(score[r], expectScore[r], 1e-9) << r;
    EXPECT_EQ(subst, expectSubst);
}
