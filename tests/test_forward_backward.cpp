// Forward summation and backward sampling of module states: brute-force enumeration of
// every segmentation of tiny paths, sampled coverage against exact posteriors, the fast
// kernels against the direct formulas, and sufficient statistics on forced paths.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model_fixture.h"
#include "support/Probe.h"
#include "numeric/StochasticDistribution.h"

using modeltest::Options;
using modeltest::RandomRows;
using modeltest::TestModel;

namespace {

// ------------------------------------------------------------------ brute force
// Every way of cutting nodes 1 .. T of a path into background positions, module-background
// positions and motif sites, each with the subset code of its last node, weighted by the
// model written out in linear space from the parameters alone.
class Enumerator {
public:
    explicit Enumerator(TestModel& tm) : tm_(tm), m_(tm.m), N_(tm.N), K_(tm.K), T_(tm.nNode - 1)
    {
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b) P_[a][b] = std::exp(m_.m_dTranPr[a][b]);
        for (int k = 0; k <= K_; ++k) pr_.push_back(std::exp(m_.m_pMotifPr[k]));
        lambda_ = m_.m_dMotifSubRate;
        module_.assign(N_, std::vector<double>());
        site_.assign(K_, std::vector<std::vector<double>>(N_));
        for (int s = 0; s < N_; ++s) {
            module_[s].assign(tm.len[s], 0.0);
            for (int k = 0; k < K_; ++k) site_[k][s].assign(tm.len[s], 0.0);
        }
    }

    void Run()
    {
        Z_ = 0;
        Dfs(0, 0, 1.0);
        for (auto& v : module_)
            for (double& x : v) x /= Z_;
        for (auto& vs : site_)
            for (auto& v : vs)
                for (double& x : v) x /= Z_;
    }

    double LogZ() const { return std::log(Z_); }
    double Module(int s, int p) const { return module_[s][p]; }
    double Site(int k, int s, int p) const { return site_[k][s][p]; }

private:
    struct Segment {
        int t, w, type;
    };

    double Theta(int k, int j, int b) const { return std::exp(m_.m_pPWM[k][4 * j + b]); }
    double Phi(int k, int j, int a, int b) const { return lambda_ * Theta(k, j, b) + (1 - lambda_) * (a == b); }
    static bool Base(int b) { return b >= 0 && b <= 3; }

    // Emission of the moving block of node t: type < K the last column of a motif site,
    // type K background.
    double Emission(int t, int type) const
    {
        const ALIGNNODE& node = tm_.path[t];
        const std::vector<int>& B = node.block[node.movingBlock];
        const int n = static_cast<int>(B.size());
        if (type == K_) {
            if (n == 1) {
                const int s = B[0], p = node.pos[s] - 1;
                const std::vector<int>& x = tm_.seq[s];
                const auto& bg = m_.m_pSpeciesBg[s];
                if (p == 0) return Base(x[0]) ? std::exp(bg[x[0]]) : std::exp(-1.386);
                return Base(x[p - 1]) && Base(x[p]) ? std::exp(bg[4 + 4 * x[p - 1] + x[p]]) : std::exp(-1.386);
            }
            double sum = 0;
            for (int a = 0; a < 4; ++a) {
                double v = std::exp(m_.m_pBg[a]);
                for (int s : B) {
                    const int b = tm_.seq[s][node.pos[s] - 1];
                    v *= Base(b) ? std::exp(m_.m_dBgSubst[a][b]) : 0.25;
                }
                sum += v;
            }
            return sum;
        }
        const int w = m_.m_pMotifWidth[type];
        double F = 1, R = 1;
        if (n == 1) {
            const int s = B[0], p = node.pos[s] - 1;
            const std::vector<int>& x = tm_.seq[s];
            if (p < w - 1) return 0;
            for (int j = 0; j < w; ++j) {
                if (!Base(x[p - w + 1 + j])) return 0;
                F *= Theta(type, j, x[p - w + 1 + j]);
                R *= Theta(type, j, 3 - x[p - j]);
            }
        } else {
            for (int s : B)
                for (int j = 0; j < w; ++j)
                    if (node.pos[s] - w + j < 0 || !Base(tm_.seq[s][node.pos[s] - w + j])) return 0;
            for (int j = 0; j < w; ++j) {
                double f = 0, r = 0;
                for (int a = 0; a < 4; ++a) {
                    double vf = Theta(type, j, a), vr = Theta(type, j, a);
                    for (int s : B) {
                        const std::vector<int>& x = tm_.seq[s];
                        const int p = node.pos[s] - 1;
                        vf *= Phi(type, j, a, x[p - w + 1 + j]);
                        vr *= Phi(type, j, a, 3 - x[p - j]);
                    }
                    f += vf;
                    r += vr;
                }
                F *= f;
                R *= r;
            }
        }
        return m_.m_bBothStrand ? (F + R) * std::exp(-0.6931) : F;
    }

    // A site of width w ending at t needs nodes t-1 .. t-w+1 to be free of change points.
    bool Admissible(int t, int w) const
    {
        for (int d = 1; d < w; ++d)
            if (t - d < 1 || tm_.path[t - d].CP) return false;
        return true;
    }

    void Dfs(int u, int cPrev, double weight)
    {
        if (u == T_) {
            const ALIGNNODE& last = tm_.path[T_];
            for (int b = 0; b < last.blockNum; ++b)
                weight *= P_[(cPrev >> last.block[b][0]) & 1][m_.m_bMotifMode ? 1 : 0];
            if (weight == 0) return;
            Z_ += weight;
            for (const Segment& sg : segs_) {
                if (sg.type > K_) continue;
                const ALIGNNODE& node = tm_.path[sg.t];
                for (int s : node.block[node.movingBlock])
                    for (int j = 0; j < sg.w; ++j) {
                        const int p = node.pos[s] - 1 - j;
                        module_[s][p] += weight;
                        if (sg.type < K_) site_[sg.type][s][p] += weight;
                    }
            }
            return;
        }
        for (int type = 0; type <= K_ + 1; ++type) {  // K_ + 1: background
            const bool module = type <= K_;
            const int w = type < K_ ? m_.m_pMotifWidth[type] : 1;
            const int t = u + w;
            if (t > T_ || (type < K_ && !Admissible(t, w))) continue;
            const double em = Emission(t, type == K_ + 1 ? K_ : type);
            if (em == 0) continue;
            const ALIGNNODE& node = tm_.path[t];
            const std::vector<int>& B = node.block[node.movingBlock];
            int mask = 0;
            for (int s : B) mask |= 1 << s;
            for (int c = 0; c < tm_.nStates; ++c) {
                if (!node.legitimate[c] || ((c >> B[0]) & 1) != (module ? 1 : 0)) continue;
                if (static_cast<int>(B.size()) != N_ && ((c ^ cPrev) & ~mask) != 0) continue;
                double tr = 0;
                for (int s : B) tr += P_[(cPrev >> s) & 1][module ? 1 : 0];
                tr /= static_cast<double>(B.size());
                const double f = tr * em * (module ? pr_[type] : 1.0);
                if (f == 0) continue;
                segs_.push_back({t, w, type});
                Dfs(t, c, weight * f);
                segs_.pop_back();
            }
        }
    }

    TestModel& tm_;
    CSerevan& m_;
    int N_, K_, T_;
    double P_[2][2];
    std::vector<double> pr_;
    double lambda_ = 0;
    double Z_ = 0;
    std::vector<Segment> segs_;
    std::vector<std::vector<double>> module_;
    std::vector<std::vector<std::vector<double>>> site_;
};

struct Case {
    int N, K, nCol;
    std::vector<int> widths;
    bool both, motifMode;
    unsigned seed;
};

std::vector<Case> TinyCases()
{
    return {
        {2, 1, 6, {2}, false, false, 11},   {2, 1, 7, {3}, true, false, 12},    {2, 2, 8, {1, 2}, true, false, 13},
        {3, 1, 6, {2}, false, false, 14},   {3, 2, 7, {2, 3}, true, false, 15}, {3, 2, 8, {1, 3}, false, false, 16},
        {2, 2, 7, {2, 3}, true, true, 17},  {3, 1, 7, {2}, true, true, 18},     {3, 2, 6, {3, 3}, true, false, 19},
        {2, 1, 8, {1}, false, true, 20},
    };
}

// The model borrows the fixture's sequences and path, so fixtures stay where they are built.
std::unique_ptr<TestModel> MakeCase(const Case& cs, std::mt19937& rng)
{
    Options opt;
    opt.K = cs.K;
    opt.widths = cs.widths;
    opt.bothStrands = cs.both;
    opt.motifMode = cs.motifMode;
    auto tm = std::make_unique<TestModel>(RandomRows(rng, cs.N, cs.nCol, 0.35, 0.08), opt);
    tm->Randomise(rng);
    return tm;
}

double RelErr(double a, double b) { return std::fabs(a - b) / std::max(1.0, std::fabs(b)); }

}  // namespace

// ------------------------------------------------------------------ forward oracles

TEST(ForwardBruteForce, MatchesEnumerationOfAllSegmentations)
{
    for (const Case& cs : TinyCases()) {
        std::mt19937 rng(cs.seed);
        auto holder = MakeCase(cs, rng);
        TestModel& tm = *holder;
        Enumerator brute(tm);
        brute.Run();
        const double f = tm.Forward();
        EXPECT_NEAR(f, brute.LogZ(), 1e-9) << "case seed " << cs.seed << " N=" << cs.N << " K=" << cs.K;
        CSerevanProbe::UseDirectKernels(tm.m, true);
        EXPECT_NEAR(tm.Forward(), brute.LogZ(), 1e-9) << "direct, case seed " << cs.seed;
    }
}

TEST(ForwardBruteForce, SingleNodePathAddsEveryClosingTransition)
{
    Options opt;
    TestModel tm({"A", "-"}, opt);
    tm.Refresh();
    // Species 1 never advances: two blocks close with bg -> bg; node 1 is background or module.
    Enumerator brute(tm);
    brute.Run();
    EXPECT_NEAR(tm.Forward(), brute.LogZ(), 1e-12);
    // Two species advancing together: only codes 0 and 3 are states.
    TestModel both({"AC", "AC"}, opt);
    both.Refresh();
    both.Forward();
    for (int t = 1; t < both.nNode; ++t) {
        EXPECT_EQ(both.fwd[t * 4 + 1], -1e100);
        EXPECT_EQ(both.fwd[t * 4 + 2], -1e100);
    }
}

TEST(ForwardFastKernels, EqualDirectFormulasOnRandomPaths)
{
    std::mt19937 rng(2024);
    for (int rep = 0; rep < 12; ++rep) {
        const int N = 2 + rep % 3, K = 1 + rep % 3;
        Options opt;
        opt.K = K;
        opt.widths.clear();
        for (int k = 0; k < K; ++k) opt.widths.push_back(1 + static_cast<int>(rng() % 7));
        opt.bothStrands = rep % 2 == 0;
        opt.motifMode = rep % 5 == 4;
        TestModel tm(RandomRows(rng, N, 70, 0.15, 0.03), opt);
        tm.Randomise(rng);
        if (rep == 3) tm.SetColumn(0, 0, 0.5, 0.5, 0, 0);  // log-zero entries
        const double fast = tm.Forward();
        const std::vector<double> fastRow = tm.fwd;
        CSerevanProbe::UseDirectKernels(tm.m, true);
        const double direct = tm.Forward();
        EXPECT_LE(RelErr(fast, direct), 1e-12) << "rep " << rep;
        for (size_t i = 0; i < fastRow.size(); ++i) {
            if (fastRow[i] < -1e20 && tm.fwd[i] < -1e20) continue;
            ASSERT_LE(RelErr(fastRow[i], tm.fwd[i]), 1e-12) << "rep " << rep << " entry " << i;
        }
        // Transition sums and predecessor weights from the tables are the direct terms exactly.
        CSerevanProbe::UseDirectKernels(tm.m, false);
        CSerevanProbe::PrepareTransitionTables(tm.m, tm.nStates);
        std::vector<double> a(tm.nStates), b(tm.nStates);
        for (int t = 1; t < tm.nNode; ++t)
            for (int w = 1; w <= 3 && t - w >= 0; ++w)
                for (int c = 0; c < tm.nStates; ++c) {
                    if (!tm.path[t].legitimate[c]) continue;
                    for (int cur = 0; cur < 2; ++cur) {
                        const int u = t - w;
                        ASSERT_EQ(CSerevanProbe::FastTransition(tm.m, tm.path.data(), tm.fwd.data(), t, u, c, cur, tm.nStates),
                                  tm.m.CalTransition(tm.path.data(), tm.fwd.data(), t, u, c, cur, tm.nStates));
                        const int n1 = CSerevanProbe::FastCondStatePr(tm.m, tm.path.data(), tm.fwd.data(), t, u, c, cur, a.data(),
                                                            tm.nStates);
                        const int n2 =
                            tm.m.CalCondStatePr(tm.path.data(), tm.fwd.data(), t, u, c, cur, b.data(), tm.nStates);
                        ASSERT_EQ(n1, n2);
                        ASSERT_EQ(a, b) << "t " << t << " u " << u << " c " << c;
                    }
                }
    }
}

// ------------------------------------------------------------------ backward oracles

TEST(BackwardSampling, CoverageMatchesExactPosteriors)
{
    const unsigned seed = 7001;
    SeedRandom(seed);
    const int nSample = 20000;
    // Tolerance: 5 sd of a binomial proportion with n = 20000 (at most 0.0177) plus a
    // small margin for the floating sum of the enumeration.
    const double tol = 5.0 * std::sqrt(0.25 / nSample) + 1e-6;
    const std::vector<Case> cases = TinyCases();
    for (size_t ci : {2, 3, 6, 7, 9}) {
        const Case& cs = cases[ci];
        std::mt19937 rng(cs.seed);
        auto holder = MakeCase(cs, rng);
        TestModel& tm = *holder;
        Enumerator brute(tm);
        brute.Run();
        tm.Forward();
        tm.m.m_bSampling = true;
        for (int i = 0; i < nSample; ++i) tm.Backward();
        for (int s = 0; s < tm.N; ++s)
            for (int p = 0; p < tm.len[s]; ++p) {
                EXPECT_NEAR(tm.m.m_pModuleFreq[s][p] / double(nSample), brute.Module(s, p), tol)
                    << "seed " << seed << " case " << cs.seed << " species " << s << " pos " << p;
                for (int k = 0; k < tm.K; ++k)
                    EXPECT_NEAR(tm.m.m_pSiteFreq[k][s][p] / double(nSample), brute.Site(k, s, p), tol)
                        << "seed " << seed << " case " << cs.seed << " motif " << k << " species " << s << " pos "
                        << p;
            }
    }
}

TEST(BackwardSampling, FastPassDrawsExactlyWhatTheDirectPassDraws)
{
    std::mt19937 rng(99);
    for (int rep = 0; rep < 6; ++rep) {
        const int N = 2 + rep % 3;
        Options opt;
        opt.K = 2;
        opt.widths = {2 + rep % 3, 3};
        opt.bothStrands = rep % 2 == 1;
        opt.motifMode = rep == 4;
        const std::vector<std::string> rows = RandomRows(rng, N, 60, 0.15, 0.03);
        const unsigned paramSeed = static_cast<unsigned>(rng());
        TestModel fast(rows, opt), direct(rows, opt);
        std::mt19937 r1(paramSeed), r2(paramSeed);
        fast.Randomise(r1);
        direct.Randomise(r2);
        CSerevanProbe::UseDirectKernels(direct.m, true);
        fast.Forward();
        direct.Forward();
        fast.m.m_bSampling = direct.m.m_bSampling = true;
        const unsigned seed = 500 + rep;
        SeedRandom(seed);
        for (int i = 0; i < 40; ++i) fast.Backward();
        const int nextFast = RandomInt();
        SeedRandom(seed);
        for (int i = 0; i < 40; ++i) direct.Backward();
        const int nextDirect = RandomInt();
        // The same number of draws leaves the stream at the same place.
        EXPECT_EQ(nextFast, nextDirect) << "seed " << seed;
        const CSerevan &a = fast.m, &b = direct.m;
        for (int i = 0; i < 4; ++i) {
            EXPECT_DOUBLE_EQ(a.m_dTranCount[i / 2][i % 2], b.m_dTranCount[i / 2][i % 2]);
            EXPECT_DOUBLE_EQ(a.m_dAlignTranCount[i / 2][i % 2], b.m_dAlignTranCount[i / 2][i % 2]);
        }
        EXPECT_EQ(a.m_pMotifCount, b.m_pMotifCount);
        EXPECT_EQ(a.m_pSiteCount, b.m_pSiteCount);
        EXPECT_EQ(a.m_pModuleFreq, b.m_pModuleFreq);
        EXPECT_EQ(a.m_pSiteFreq, b.m_pSiteFreq);
        EXPECT_EQ(a.m_pAlignFreq, b.m_pAlignFreq);
        EXPECT_EQ(a.m_nMotifSubCount[0], b.m_nMotifSubCount[0]);
        EXPECT_EQ(a.m_nMotifSubCount[1], b.m_nMotifSubCount[1]);
        EXPECT_NEAR(a.m_dLogAncPr, b.m_dLogAncPr, 1e-9);
    }
}

TEST(BackwardSampling, RepeatedPassesLeaveTheTablesUnchanged)
{
    std::mt19937 rng(5);
    auto holder = MakeCase(TinyCases()[4], rng);
    TestModel& tm = *holder;
    tm.Forward();
    const std::vector<double> before = tm.fwd;
    const std::vector<double> table0 = tm.tableStore[0];
    for (int i = 0; i < 50; ++i) tm.Backward();
    EXPECT_EQ(tm.fwd, before);
    EXPECT_EQ(tm.tableStore[0], table0);
}

// ------------------------------------------------------------------ forced paths

// Motif mode, one motif of width 1 and no module background: every node is a site.
// lambda = 0, so an aligned site's ancestor is its (shared) base and every descendant is kept.
TEST(ForcedPaths, AlignedAndSingleSpeciesSitesOfWidthOne)
{
    Options opt;
    opt.motifMode = true;
    TestModel tm({"ACG-", "A-GT"}, opt);
    tm.SetColumn(0, 0, 0.25, 0.25, 0.25, 0.25);
    tm.SetMotifPr({1.0, 0.0});
    tm.m.m_dMotifSubRate = 0.0;
    tm.Refresh();
    EXPECT_NEAR(tm.Forward(), 4 * std::log(0.25), 1e-12);

    tm.m.m_bSampling = false;  // burn-in: only the reference alignment counter grows
    tm.m.ClearSuffStat();
    tm.Backward();
    const CSerevan& m = tm.m;
    EXPECT_EQ(m.m_pMotifCount, (std::vector<int>{4, 0}));
    EXPECT_EQ(m.m_pSiteCount[0], (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(m.m_nMotifSubCount[0], 0);
    EXPECT_EQ(m.m_nMotifSubCount[1], 4);
    EXPECT_DOUBLE_EQ(m.m_dTranCount[1][0], 1.0);  // closing transition
    EXPECT_DOUBLE_EQ(m.m_dTranCount[1][1], 2.0);  // into nodes 2 and 4 (one species each)
    EXPECT_DOUBLE_EQ(m.m_dAlignTranCount[1][1], 1.0);  // into node 3: two species, 1/2 each
    EXPECT_DOUBLE_EQ(m.m_dTranCount[0][0] + m.m_dTranCount[0][1] + m.m_dAlignTranCount[0][1], 0.0);
    // Single-species sites: species 0 "C" at position 1 of ACG, species 1 "T" at the end of AGT.
    const SITECOL* R = &m.m_pEdgeStat[0];
    EXPECT_EQ(R[0].speciesCount, (std::vector<int>{1, 0, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(R[1].speciesCount, (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(R[2].speciesCount, (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(R[3].speciesCount, (std::vector<int>{0, 0, 1, 0, 0, 0, 0, 0}));
    // Aligned sites A (node 1) and G (node 3): the neighbouring nodes drew no ancestor.
    for (int e : {1, 2}) {
        EXPECT_EQ(R[e].ancCount[0], 1);
        EXPECT_EQ(R[e].ancCount[2], 1);
        EXPECT_EQ(R[e].sameCount[0], 2);
        EXPECT_EQ(R[e].sameCount[2], 2);
        EXPECT_EQ(R[e].subCount[0] + R[e].subCount[1] + R[e].subCount[2] + R[e].subCount[3], 0);
    }
    for (int e : {0, 3}) EXPECT_EQ(R[e].ancCount[0] + R[e].ancCount[1] + R[e].ancCount[2] + R[e].ancCount[3], 0);
    EXPECT_EQ(m.m_pRefAlignFreq[0], (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(m.m_pAlignFreq[0], (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(m.m_pModuleFreq[0], (std::vector<int>{0, 0, 0}));

    tm.m.m_bSampling = true;
    tm.Backward();
    EXPECT_EQ(m.m_pRefAlignFreq[0], (std::vector<int>{2, 2, 2}));
    EXPECT_EQ(m.m_pAlignFreq[0], (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(m.m_pAlignFreq[1], (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(m.m_pModuleFreq[1], (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(m.m_pSiteFreq[0][0], (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(m.m_dLogAncPr, 0.0);
}

// Module entry impossible and background substitution only to the same base: every node is
// background and every aligned column's ancestor is forced.
TEST(ForcedPaths, AllBackgroundWithForcedAncestors)
{
    Options opt;
    TestModel tm({"ACGT-N", "ACN-T-"}, opt);
    tm.SetTran(1.0, 0.0, 0.5, 0.5);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) tm.m.m_dBgSubst[a][b] = a == b ? 0.0 : -1e100;
    tm.Refresh();
    const auto& bg0 = tm.m.m_pSpeciesBg[0];
    const auto& bg1 = tm.m.m_pSpeciesBg[1];
    const double expected = tm.m.m_pBg[0] + tm.m.m_pBg[1] + tm.m.m_pBg[2] + std::log(0.25) +
                            bg0[4 + 4 * 2 + 3] - 1.386 - 1.386;
    EXPECT_NEAR(tm.Forward(), expected, 1e-12);

    tm.m.m_bSampling = true;
    tm.m.ClearSuffStat();
    tm.Backward();
    const CSerevan& m = tm.m;
    EXPECT_DOUBLE_EQ(m.m_dTranCount[0][0], 4.0);       // closing + three single-species change points
    EXPECT_DOUBLE_EQ(m.m_dAlignTranCount[0][0], 2.0);  // nodes 2 and 3 inside the aligned run
    EXPECT_EQ(m.m_nBgAncCount[0], 1);
    EXPECT_EQ(m.m_nBgAncCount[1], 1);
    EXPECT_EQ(m.m_nBgAncCount[2], 1);
    EXPECT_EQ(m.m_nBgAncCount[3], 0);
    EXPECT_EQ(m.m_nBgSubCount[0][0], 2);
    EXPECT_EQ(m.m_nBgSubCount[1][1], 2);
    EXPECT_EQ(m.m_nBgSubCount[2][2], 1);  // the N adds no substitution
    EXPECT_NEAR(m.m_dLogAncPr, bg0[3] + bg1[3] - 1.386, 1e-12);
    EXPECT_EQ(m.m_pMotifCount, (std::vector<int>{0, 0}));
    EXPECT_EQ(m.m_pAlignFreq[0], (std::vector<int>{1, 1, 1, 0, 0}));
    EXPECT_EQ(m.m_pAlignFreq[1], (std::vector<int>{1, 1, 1, 0}));
    EXPECT_EQ(m.m_pRefAlignFreq[0], (std::vector<int>{1, 1, 1, 0, 0}));
    EXPECT_EQ(m.m_pModuleFreq[0], (std::vector<int>{0, 0, 0, 0, 0}));
}

// Motif mode, one motif of width 2 whose reverse strand is impossible for these windows and
// no module background: the sites tile each species' run; the draw count is fixed.
TEST(ForcedPaths, SingleSpeciesSitesWithForcedStrandAndDrawCount)
{
    Options opt;
    opt.motifMode = true;
    opt.bothStrands = true;
    opt.widths = {2};
    TestModel tm({"AACA--", "----AC"}, opt);
    tm.SetColumn(0, 0, 0.5, 0.5, 0, 0);
    tm.SetColumn(0, 1, 0.5, 0.5, 0, 0);
    tm.SetMotifPr({1.0, 0.0});
    tm.Refresh();
    EXPECT_NEAR(tm.Forward(), 3 * (std::log(0.25) - 0.6931), 1e-12);

    const unsigned seed = 4242;
    SeedRandom(seed);
    tm.m.m_bSampling = true;
    tm.m.ClearSuffStat();
    tm.Backward();
    // End row 1, two predecessor draws, and per site one motif and one strand draw: no
    // uniform draw, since the module background is impossible.
    const int next = RandomInt();
    SeedRandom(seed);
    for (int i = 0; i < 9; ++i) RandomInt();
    EXPECT_EQ(next, RandomInt()) << "seed " << seed;

    const CSerevan& m = tm.m;
    EXPECT_EQ(m.m_pMotifCount, (std::vector<int>{3, 0}));
    EXPECT_EQ(m.m_pSiteCount[0], (std::vector<int>{2, 1, 0, 0, 2, 1, 0, 0}));
    const SITECOL* R = &m.m_pEdgeStat[0];
    EXPECT_EQ(R[0].speciesCount, (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(R[1].speciesCount, (std::vector<int>{1, 1, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(R[2].speciesCount, (std::vector<int>{2, 0, 0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(R[3].speciesCount, (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(m.m_dTranCount[1][0], 1.0);
    EXPECT_DOUBLE_EQ(m.m_dTranCount[0][1], 1.0);  // species 1 enters at node 5
    EXPECT_DOUBLE_EQ(m.m_dTranCount[1][1], 1.0);  // between species 0's two sites
    EXPECT_EQ(m.m_pRefAlignFreq[0], (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(m.m_pSiteFreq[0][1], (std::vector<int>{1, 1}));
}

// An aligned site after an aligned module-background column: strand and ancestors forced,
// edges with a transition and a transversion against the drawn ancestral base.
TEST(ForcedPaths, AlignedSiteEdgesAgainstAncestralBases)
{
    Options opt;
    opt.motifMode = true;
    opt.bothStrands = true;
    opt.widths = {2};
    TestModel tm({"GAC", "CAC"}, opt);
    tm.SetColumn(0, 0, 1, 0, 0, 0);
    tm.SetColumn(0, 1, 0, 1, 0, 0);
    tm.SetMotifPr({0.5, 0.5});
    tm.m.m_dMotifSubRate = 0.0;
    for (int a = 0; a < 4; ++a) tm.m.m_pBg[a] = a == 3 ? 0.0 : -1e100;
    for (int b = 0; b < 4; ++b) tm.m.m_dBgSubst[3][b] = (b == 1 || b == 2) ? std::log(0.5) : -1e100;
    tm.Refresh();
    EXPECT_NEAR(tm.Forward(), std::log(1.0 / 16) - 0.6931, 1e-12);

    tm.m.m_bSampling = true;
    tm.m.ClearSuffStat();
    tm.Backward();
    const CSerevan& m = tm.m;
    EXPECT_EQ(m.m_pMotifCount, (std::vector<int>{1, 1}));
    EXPECT_EQ(m.m_pSiteCount[0], (std::vector<int>{1, 0, 0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(m.m_nMotifSubCount[1], 4);
    EXPECT_EQ(m.m_nMotifSubCount[0], 0);
    EXPECT_EQ(m.m_nBgAncCount[3], 1);
    EXPECT_EQ(m.m_nBgSubCount[3][1], 1);
    EXPECT_EQ(m.m_nBgSubCount[3][2], 1);
    EXPECT_DOUBLE_EQ(m.m_dTranCount[1][0], 1.0);
    EXPECT_DOUBLE_EQ(m.m_dAlignTranCount[1][1], 1.0);
    const SITECOL* R = &m.m_pEdgeStat[0];
    EXPECT_EQ(R[0].ancCount[3], 1);
    EXPECT_EQ(R[0].subCount[1], 1);
    EXPECT_EQ(R[0].subCount[2], 1);
    EXPECT_EQ(R[0].transitionNum, 1);    // C against T
    EXPECT_EQ(R[0].transversionNum, 1);  // G against T
    EXPECT_EQ(R[1].ancCount[0], 1);
    EXPECT_EQ(R[1].sameCount[0], 2);
    EXPECT_EQ(R[2].ancCount[1], 1);
    EXPECT_EQ(R[2].sameCount[1], 2);
    EXPECT_EQ(R[3].ancCount[0] + R[3].ancCount[1] + R[3].ancCount[2] + R[3].ancCount[3], 0);
    EXPECT_EQ(m.m_pAlignFreq[0], (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(m.m_pSiteFreq[0][1], (std::vector<int>{0, 1, 1}));
}

// ------------------------------------------------------------------ ancestral draws

// One aligned site of width 2 in two species on both strands: the drawn (strand, ancestral
// site) pairs and the share of descendant bases counted as redrawn, against their exact
// posteriors enumerated over the 2 x 16 outcomes.
TEST(AncestralDraws, MotifSiteStrandAndAncestorsFollowTheirPosterior)
{
    Options opt;
    opt.widths = {2};
    opt.bothStrands = true;
    TestModel tm({"ACG", "ATG"}, opt);
    tm.SetColumn(0, 0, 0.1, 0.5, 0.3, 0.1);
    tm.SetColumn(0, 1, 0.2, 0.2, 0.4, 0.2);
    const double lambda = 0.3;
    tm.m.m_dMotifSubRate = lambda;
    tm.Refresh();
    auto theta = [&](int j, int b) { return std::exp(tm.m.m_pPWM[0][4 * j + b]); };
    auto phi = [&](int j, int a, int b) { return lambda * theta(j, b) + (1 - lambda) * (a == b); };
    const int x[2][2] = {{1, 2}, {3, 2}};  // the site's bases (C G and T G), sequence orientation
    double exact[2][4][4], Z = 0, redrawExpect = 0;
    for (int r = 0; r < 2; ++r)
        for (int a0 = 0; a0 < 4; ++a0)
            for (int a1 = 0; a1 < 4; ++a1) {
                const int a[2] = {a0, a1};
                double w = 1, redraw = 0;
                for (int j = 0; j < 2; ++j) {  // sequence column j
                    const int mj = r == 0 ? j : 1 - j, ma = r == 0 ? a[j] : 3 - a[j];
                    w *= theta(mj, ma);
                    for (int i = 0; i < 2; ++i) {
                        const int d = r == 0 ? x[i][j] : 3 - x[i][j];
                        w *= phi(mj, ma, d);
                        redraw += d != ma ? 1.0 : lambda * theta(mj, d) / (lambda * theta(mj, d) + 1 - lambda);
                    }
                }
                exact[r][a0][a1] = w;
                Z += w;
                redrawExpect += w * redraw;
            }
    redrawExpect /= Z;

    const unsigned seed = 3131;
    SeedRandom(seed);
    const int n = 20000;
    int count[2][4][4] = {};
    std::vector<ANCSEQMOTIF> anc(tm.nNode + 1);
    int site[2];
    tm.m.ClearSuffStat();
    for (int i = 0; i < n; ++i) {
        std::fill(anc.begin(), anc.end(), ANCSEQMOTIF());
        tm.m.SampleMotifAncestor(site, tm.path.data(), 3, 0, 0, anc.data());
        ASSERT_EQ(anc[2].motifIndex, 0);
        ++count[anc[2].forward ? 0 : 1][anc[2].ancBase][anc[3].ancBase];
    }
    // 5 sd of a binomial proportion with n = 20000.
    const double tol = 5.0 * std::sqrt(0.25 / n);
    for (int r = 0; r < 2; ++r)
        for (int a0 = 0; a0 < 4; ++a0)
            for (int a1 = 0; a1 < 4; ++a1)
                EXPECT_NEAR(count[r][a0][a1] / double(n), exact[r][a0][a1] / Z, tol)
                    << "seed " << seed << " strand " << r << " site " << a0 << a1;
    // Four descendant decisions per draw, each 0 or 1: 5 sd of a mean of n values in [0, 4].
    EXPECT_NEAR(tm.m.m_nMotifSubCount[0] / double(n), redrawExpect, 5.0 * 2.0 / std::sqrt(n)) << "seed " << seed;
    EXPECT_EQ(tm.m.m_nMotifSubCount[0] + tm.m.m_nMotifSubCount[1], 4 * n);
    EXPECT_EQ(tm.m.m_pRefAlignFreq[0], (std::vector<int>{0, n, n}));
}

// An aligned background column A, G, N: the ancestral base follows bg(a) S(a, A) S(a, G);
// the N adds nothing.
TEST(AncestralDraws, BackgroundAncestorFollowsItsPosterior)
{
    Options opt;
    TestModel tm({"A", "G", "N"}, opt);
    tm.Refresh();
    double exact[4], Z = 0;
    for (int a = 0; a < 4; ++a) {
        exact[a] = std::exp(tm.m.m_pBg[a] + tm.m.m_dBgSubst[a][0] + tm.m.m_dBgSubst[a][2]);
        Z += exact[a];
    }
    const unsigned seed = 77;
    SeedRandom(seed);
    const int n = 20000;
    std::vector<ANCSEQMOTIF> anc(tm.nNode + 1);
    tm.m.ClearSuffStat();
    for (int i = 0; i < n; ++i) tm.m.SampleBgAncestor(tm.path.data(), 1, 0, anc.data());
    for (int a = 0; a < 4; ++a) {
        EXPECT_NEAR(tm.m.m_nBgAncCount[a] / double(n), exact[a] / Z, 5.0 * std::sqrt(0.25 / n)) << "seed " << seed;
        EXPECT_EQ(tm.m.m_nBgSubCount[a][0], tm.m.m_nBgAncCount[a]);
        EXPECT_EQ(tm.m.m_nBgSubCount[a][2], tm.m.m_nBgAncCount[a]);
        EXPECT_EQ(tm.m.m_nBgSubCount[a][1] + tm.m.m_nBgSubCount[a][3], 0);
    }
}

// Background, module, background inside one aligned run of three columns: the module is
// entered and left between nodes that are not change points. Background never emits T,
// the motif (width 1) emits only T with lambda = 0, the module background is impossible
// and every ancestral background base is A.
TEST(ForcedPaths, ModuleEnteredAndLeftInsideAnAlignedRun)
{
    Options opt;
    TestModel tm({"ATC", "ATC"}, opt);
    tm.SetColumn(0, 0, 0, 0, 0, 1);
    tm.SetMotifPr({1.0, 0.0});
    tm.m.m_dMotifSubRate = 0.0;
    for (int a = 0; a < 4; ++a) {
        tm.m.m_pBg[a] = a == 0 ? 0.0 : -1e100;
        for (int b = 0; b < 4; ++b) tm.m.m_dBgSubst[a][b] = b == 3 ? -1e100 : std::log(1.0 / 3);
    }
    tm.Refresh();
    const double expected =
        2 * std::log(1.0 / 9) + 2 * std::log(0.9995) + std::log(0.0005) + std::log(0.00625);
    EXPECT_NEAR(tm.Forward(), expected, 1e-12);

    tm.m.m_bSampling = true;
    tm.m.ClearSuffStat();
    tm.Backward();
    const CSerevan& m = tm.m;
    EXPECT_DOUBLE_EQ(m.m_dTranCount[0][0], 1.0);       // closing
    EXPECT_DOUBLE_EQ(m.m_dAlignTranCount[0][1], 1.0);  // background at node 1 -> module at node 2
    EXPECT_DOUBLE_EQ(m.m_dAlignTranCount[1][0], 1.0);  // module at node 2 -> background at node 3
    EXPECT_DOUBLE_EQ(m.m_dAlignTranCount[0][0] + m.m_dAlignTranCount[1][1] + m.m_dTranCount[0][1] +
                         m.m_dTranCount[1][0] + m.m_dTranCount[1][1],
                     0.0);
    EXPECT_EQ(m.m_nBgAncCount[0], 2);
    EXPECT_EQ(m.m_nBgSubCount[0][0], 2);
    EXPECT_EQ(m.m_nBgSubCount[0][1], 2);
    EXPECT_EQ(m.m_pMotifCount, (std::vector<int>{1, 0}));
    EXPECT_EQ(m.m_pSiteCount[0], (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(m.m_nMotifSubCount[1], 2);
    const SITECOL* R = &m.m_pEdgeStat[0];
    EXPECT_EQ(R[0].ancCount[0], 1);
    EXPECT_EQ(R[0].sameCount[0], 2);
    EXPECT_EQ(R[1].ancCount[3], 1);
    EXPECT_EQ(R[1].sameCount[3], 2);
    EXPECT_EQ(R[2].sameCount[3], 2);
    EXPECT_EQ(R[3].ancCount[0], 1);
    EXPECT_EQ(R[3].subCount[1], 2);
    EXPECT_EQ(R[3].transversionNum, 2);  // C against A
    EXPECT_EQ(R[3].transitionNum, 0);
    EXPECT_EQ(m.m_pModuleFreq[0], (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(m.m_pSiteFreq[0][1], (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(m.m_pAlignFreq[1], (std::vector<int>{1, 1, 1}));

    // The same run cut after the site: the module is entered and closed at the end.
    TestModel end({"AT", "AT"}, opt);
    end.SetColumn(0, 0, 0, 0, 0, 1);
    end.SetMotifPr({1.0, 0.0});
    end.m.m_dMotifSubRate = 0.0;
    for (int a = 0; a < 4; ++a) {
        end.m.m_pBg[a] = tm.m.m_pBg[a];
        for (int b = 0; b < 4; ++b) end.m.m_dBgSubst[a][b] = tm.m.m_dBgSubst[a][b];
    }
    end.Refresh();
    end.Forward();
    end.m.ClearSuffStat();
    end.Backward();
    EXPECT_DOUBLE_EQ(end.m.m_dAlignTranCount[0][1], 1.0);
    EXPECT_DOUBLE_EQ(end.m.m_dAlignTranCount[1][0], 0.0);
    EXPECT_DOUBLE_EQ(end.m.m_dTranCount[1][0], 1.0);
}
