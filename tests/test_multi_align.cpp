// Template-based multiple alignment: templates, refinement passes, merged alignments with
// their scores and substitution counts, the substitution updates, and the memory limit.
#include <gtest/gtest.h>

#include "random_seqs.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "align/MultiAlign.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

namespace {

constexpr unsigned kSeed = 4242;

using testseq::Mutate;
using testseq::RandomSeq;

struct Group {
    std::vector<std::vector<int>> seq;
    std::vector<int*> ptr;
    std::vector<int> len;
    void Load(CMultiAlignment& ma)
    {
        ptr.clear();
        len.clear();
        for (auto& s : seq) {
            ptr.push_back(s.data());
            len.push_back(static_cast<int>(s.size()));
        }
        ma.InputSequences(ptr.data(), len.data(), static_cast<int>(seq.size()));
    }
};

int SubstClass(int a, int b) { return a == b ? 2 : std::abs(a - b) == 2 ? 0 : 1; }

}  // namespace

TEST(MultiAlign, ConstructorTables)
{
    CMultiAlignment ma;
    for (int t = 0; t < 9; ++t) EXPECT_EQ(ma.m_dQ[t], QMATRIX[t]);
    EXPECT_NEAR(ma.m_dPhi[2][0], -0.1054 + std::log(4.0), 1e-12);   // A:A
    EXPECT_NEAR(ma.m_dPhi[2][2], -2.8134 + std::log(4.0), 1e-12);   // A:G transition
    EXPECT_NEAR(ma.m_dPhi[2][1], -3.912 + std::log(4.0), 1e-12);    // A:C transversion
    EXPECT_NEAR(ma.m_dPhi[4][13], -2.1203 + std::log(4.0), 1e-12);  // T:C transition
    for (int t = 0; t < 16; ++t) EXPECT_EQ(PAM1[t], PHI[t]);
    EXPECT_EQ(ma.m_nSeqNum, 0);
    EXPECT_EQ(ma.m_nTemplateNum, 0);
}

TEST(MultiAlign, IdenticalSequencesGiveTheWholeReferenceAndTwoSpeciesMatches)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::srand(kSeed);
    SeedRandom(kSeed);
    Group g;
    g.seq.push_back(RandomSeq(80));
    g.seq.push_back(g.seq[0]);
    CMultiAlignment ma;
    g.Load(ma);
    ASSERT_TRUE(ma.GenerateTemplates(0));
    EXPECT_EQ(ma.m_pTemplate[0], g.seq[0]);
    ASSERT_TRUE(ma.ProduceAlignments(0, 2, 0, nullptr));
    std::vector<ALIGNPATH> paths(10);
    std::vector<double> score(10);
    std::vector<int> subst(30);
    ASSERT_TRUE(ma.ProduceIndAlign(0, ma.m_dPhi[2], 10, paths.data(), score.data(), subst.data()));
    int pairs = 0, nodes = 0;
    for (const ALIGNPATH& p : paths) {
        for (size_t i = 1; i < p.size(); ++i) {
            ++nodes;
            pairs += p[i].block[p[i].movingBlock] == std::vector<int>{0, 1} && p[i].pos[0] == p[i].pos[1];
        }
    }
    EXPECT_GT(pairs, 0.95 * nodes);
    EXPECT_GT(pairs, 0.95 * 80 * 10);
}

TEST(MultiAlign, EmptyTemplateGivesInsertionsInSpeciesOrder)
{
    SeedRandom(kSeed);
    std::srand(kSeed);
    Group g;
    g.seq = {RandomSeq(4), RandomSeq(0), RandomSeq(3)};
    CMultiAlignment ma;
    g.Load(ma);
    ma.SetTemplate(nullptr, 0);
    std::vector<ALIGNPATH> paths(3);
    std::vector<double> score(3, 9.0);
    std::vector<int> subst(9, 9);
    ASSERT_TRUE(ma.ProduceIndAlign(0, ma.m_dPhi[2], 3, paths.data(), score.data(), subst.data()));
    const std::vector<std::vector<int>> pos = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0},
                                               {4, 0, 1}, {4, 0, 2}, {4, 0, 3}};
    for (int r = 0; r < 3; ++r) {
        ASSERT_EQ(paths[r].size(), pos.size());
        for (size_t i = 0; i < pos.size(); ++i) EXPECT_EQ(paths[r][i].pos, pos[i]);
        EXPECT_EQ(score[r], 0.0);
    }
    EXPECT_EQ(subst, std::vector<int>(9, 0));
}

TEST(MultiAlign, UpdatePhiWithOneCountPerClass)
{
    CMultiAlignment ma;
    const int counts[3] = {1, 1, 1};
    ma.UpdatePhi(1, counts);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            const double expect = SubstClass(a, b) == 1 ? std::log(2.0 / 3.0) : std::log(4.0 / 3.0);
            EXPECT_NEAR(ma.m_dPhi[1][4 * a + b], expect, 1e-12) << a << b;
        }
    EXPECT_NEAR(ma.m_dPhi[0][0], -0.0101 + std::log(4.0), 1e-12);  // other levels untouched
}

TEST(MultiAlign, UpdateTemplateDrawsFromColumnCounts)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    SeedRandom(kSeed);
    CMultiAlignment ma;
    const int n = 4000;
    std::vector<int> tmpl(2, -1);
    ma.SetTemplate(tmpl.data(), 2);
    // Column 0: three species show G. Column 1: nothing aligned, four equal weights.
    const int colCount[8] = {0, 0, 3, 0, 0, 0, 0, 0};
    int g = 0;
    int seen[4] = {0, 0, 0, 0};
    for (int r = 0; r < n; ++r) {
        ma.UpdateTemplate(colCount, 0);
        g += ma.m_pTemplate[0][0] == 2;
        ++seen[ma.m_pTemplate[0][1]];
    }
    // P(not G) = (e^{3(-5.116)} + 2 e^{3(-6.2146)}) / (...) is about 2e-7.
    EXPECT_EQ(g, n);
    // Each base: binomial(4000, 1/4), sd 27.4; allow 5 sd.
    for (int b = 0; b < 4; ++b) EXPECT_NEAR(seen[b], n / 4.0, 137.0) << b;

    // The weights are exactly sum_b count[b] * PAM1[a][b]: the same stream gives the same draws.
    const int col[4] = {2, 1, 0, 1};
    ma.SetTemplate(tmpl.data(), 1);
    SeedRandom(kSeed);
    ma.UpdateTemplate(col, 0);
    const int drawn = ma.m_pTemplate[0][0];
    SeedRandom(kSeed);
    double w[4];
    for (int a = 0; a < 4; ++a) w[a] = 2 * PAM1[4 * a] + PAM1[4 * a + 1] + PAM1[4 * a + 3];
    CStochasticDistribution rnd;
    EXPECT_EQ(drawn, rnd.Discrete(w, 4));
}

TEST(MultiAlign, IndependentAlignmentsMatchTheirPairDrawsScoresAndCounts)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::srand(kSeed);
    Group g;
    std::vector<int> anc = RandomSeq(70);
    for (int s = 0; s < 3; ++s) {
        g.seq.push_back(Mutate(anc, 0.2));
        for (int& c : g.seq.back())
            if (std::rand() % 20 == 0) c = -1;  // undetermined residues
    }
    std::vector<int> tmpl = anc;
    tmpl[5] = -1;  // an undetermined template residue scores nothing
    CMultiAlignment ma;
    g.Load(ma);
    ma.SetTemplate(tmpl.data(), static_cast<int>(tmpl.size()));
    const int A = 6, N = 3, L = static_cast<int>(tmpl.size());
    std::vector<double> phi(16);
    for (int t = 0; t < 16; ++t) phi[t] = ma.m_dPhi[1][t] + 0.01 * t;  // distinct entries

    SeedRandom(kSeed);
    std::vector<ALIGNPATH> paths(A);
    std::vector<double> score(A);
    std::vector<int> subst(3 * A);
    ASSERT_TRUE(ma.ProduceIndAlign(0, phi.data(), A, paths.data(), score.data(), subst.data()));

    // Replay: the same stream gives the same pair draws, species by species.
    SeedRandom(kSeed);
    std::vector<std::vector<std::vector<int>>> pair(N, std::vector<std::vector<int>>(A));
    for (int s = 0; s < N; ++s)
        ASSERT_TRUE(QPhiAlign(tmpl.data(), g.seq[s].data(), L, g.len[s], QMATRIX, phi.data(), A, nullptr, nullptr,
                              A, pair[s].data()));
    for (int r = 0; r < A; ++r) {
        // Matches of each template column, from the pair draws.
        std::vector<std::vector<int>> at(static_cast<size_t>(L) + 1, std::vector<int>(N, -1));
        double expectScore = 0.0;
        int expectCount[3] = {0, 0, 0};
        for (int s = 0; s < N; ++s) {
            const std::vector<int>& p = pair[s][r];
            int x = 0, y = 0;
            for (int k = 1; k <= p[0]; ++k) {
                x += p[k] != 1;
                y += p[k] != 0;
                if (p[k] != 2) continue;
                at[x][s] = y;
                const int a = tmpl[x - 1], b = g.seq[s][y - 1];
                if (a < 0 || b < 0) continue;
                expectScore += phi[4 * a + b];
                ++expectCount[SubstClass(a, b)];
            }
        }
        EXPECT_NEAR(score[r], expectScore, 1e-9) << r;
        EXPECT_EQ(subst[3 * r], expectCount[0]) << r;
        EXPECT_EQ(subst[3 * r + 1], expectCount[1]) << r;
        EXPECT_EQ(subst[3 * r + 2], expectCount[2]) << r;

        // The path's multi-species nodes are exactly the columns matched by two or more.
        std::vector<std::vector<int>> strong;
        for (int x = 1; x <= L; ++x) {
            int m = 0;
            for (int s = 0; s < N; ++s) m += at[x][s] >= 0;
            if (m >= 2) strong.push_back(at[x]);
        }
        std::vector<std::vector<int>> got;
        const ALIGNPATH& path = paths[r];
        int residues = 0;
        for (size_t i = 1; i < path.size(); ++i) {
            const std::vector<int>& mv = path[i].block[path[i].movingBlock];
            residues += static_cast<int>(mv.size());
            if (mv.size() < 2) continue;
            std::vector<int> row(N, -1);
            for (int s : mv) row[s] = path[i].pos[s];
            got.push_back(row);
        }
        EXPECT_EQ(got, strong) << r;
        EXPECT_EQ(residues, g.len[0] + g.len[1] + g.len[2]);
    }
}

TEST(MultiAlign, RefinementRunsExactlyFivePassesWithoutPaths)
{
    SCOPED_TRACE("seed " + std::to_string(kSeed));
    std::srand(kSeed);
    Group g;
    std::vector<int> anc = RandomSeq(50);
    for (int s = 0; s < 3; ++s) g.seq.push_back(Mutate(anc, 0.1));
    std::vector<int> start = anc;
    start.resize(45);

    CMultiAlignment ma;
    g.Load(ma);
    ma.SetTemplate(start.data(), 45);
    SeedRandom(kSeed);
    ASSERT_TRUE(ma.ProduceAlignments(0, 2, 0, nullptr));
    const int after = RandomInt();

    // The same five passes written out: one draw per species, counts, UpdatePhi, UpdateTemplate.
    CMultiAlignment ref;
    g.Load(ref);
    ref.SetTemplate(start.data(), 45);
    SeedRandom(kSeed);
    for (int pass = 0; pass < 5; ++pass) {
        std::vector<int> col(4 * 45, 0);
        int subst[3] = {1, 1, 1};
        for (int s = 0; s < 3; ++s) {
            std::vector<int> p;
            ASSERT_TRUE(QPhiAlign(ref.m_pTemplate[0].data(), g.seq[s].data(), 45, g.len[s], ref.m_dQ, ref.m_dPhi[2], 1,
                                  nullptr, nullptr, 1, &p));
            int x = 0, y = 0;
            for (int k = 1; k <= p[0]; ++k) {
                x += p[k] != 1;
                y += p[k] != 0;
                if (p[k] != 2) continue;
                const int a = ref.m_pTemplate[0][x - 1], b = g.seq[s][y - 1];
                if (b < 0) continue;
                ++col[4 * (x - 1) + b];
                if (a >= 0) ++subst[SubstClass(a, b)];
            }
        }
        ref.UpdatePhi(2, subst);
        ref.UpdateTemplate(col.data(), 0);
    }
    EXPECT_EQ(ma.m_pTemplate[0], ref.m_pTemplate[0]);
    for (int t = 0; t < 16; ++t) EXPECT_EQ(ma.m_dPhi[2][t], ref.m_dPhi[2][t]);
    EXPECT_EQ(after, RandomInt());  // both consumed the same stretch of the stream

    // With two alignments requested: seven passes, two paths over all residues.
    std::vector<ALIGNPATH> paths(2);
    ASSERT_TRUE(ma.ProduceAlignments(0, 2, 2, paths.data()));
    for (const ALIGNPATH& p : paths) EXPECT_EQ(p.back().pos, g.len);
}

TEST(MultiAlign, RefusesWorkBeyondTheMemoryLimit)
{
    Group g;
    g.seq = {std::vector<int>(30000, 1), std::vector<int>(200, 2), std::vector<int>(30000, 3)};
    CMultiAlignment ma;
    g.Load(ma);
    std::string msg;
    EXPECT_FALSE(ma.CheckMemory(0, msg));
    EXPECT_NE(msg.find("needs 20.12 GiB"), std::string::npos) << msg;
    EXPECT_NE(msg.find("limit of 8 GiB"), std::string::npos) << msg;
    EXPECT_FALSE(ma.GenerateTemplates(0));
    EXPECT_EQ(ma.ErrorText(), msg);
    EXPECT_TRUE(ma.CheckMemory(1, msg));  // reference of 200: tables of 200 x 30000

    std::vector<int> tmpl(25000, 0);
    ma.SetTemplate(tmpl.data(), 25000);
    std::vector<ALIGNPATH> paths(1);
    double score;
    int subst[3];
    EXPECT_FALSE(ma.ProduceIndAlign(0, ma.m_dPhi[2], 1, paths.data(), &score, subst));
    EXPECT_NE(ma.ErrorText().find("more than the limit"), std::string::npos);
    EXPECT_FALSE(ma.ProduceAlignments(0, 2, 0, nullptr));
}

TEST(MultiAlign, ReportsMisuse)
{
    CMultiAlignment ma;
    int seq[3] = {0, 1, 2};
    int* ptr[2] = {seq, seq};
    int len[2] = {3, 3};
    ma.InputSequences(ptr, len, 2);
    std::vector<ALIGNPATH> paths(1);
    double score;
    int subst[3];
    EXPECT_FALSE(ma.ProduceIndAlign(0, ma.m_dPhi[2], 1, paths.data(), &score, subst));
    EXPECT_NE(ma.ErrorText().find("no template"), std::string::npos);
    EXPECT_FALSE(ma.GenerateTemplates(2));
    EXPECT_TRUE(ma.GenerateTemplates(1));
    EXPECT_FALSE(ma.ProduceAlignments(0, 5, 0, nullptr));
    EXPECT_FALSE(ma.ProduceAlignments(0, 2, 1, nullptr));
    EXPECT_TRUE(ma.ProduceIndAlign(0, ma.m_dPhi[2], 0, nullptr, nullptr, nullptr));
}
