// Forward summation and backward sampling of module states: brute-force enumeration of every
// segmentation of tiny paths, sampled coverage and ancestral draws against exact posteriors,
// the fast kernels against the direct formulas, sufficient statistics on forced paths, and the
// low-complexity mask of the position scores.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/Model.h"
#include "support/Probe.h"

using support::Model;
using support::ModelSetup;

namespace {

using P = CSerevanProbe;

// The sufficient statistics of the passes so far: the counts and the log ancestral
// probability, then the background counts and the edge records (non-zero entries only; tstv0
// and tstv1 count transitions and transversions), then the position counters per slot.
std::string Dump(const CSerevan& m)
{
    std::ostringstream o;
    o << std::setprecision(10);
    auto list = [&o](const char* tag, const auto& v) {
        o << tag;
        for (const auto& x : v) o << ' ' << x;
    };
    auto sparse = [&o](const std::string& tag, const auto& v) {
        for (size_t i = 0; i < std::size(v); ++i)
            if (v[i]) o << ' ' << tag << i << '=' << v[i];
    };
    list("types", P::Sweep(m).m_pMotifCount);
    for (const auto& c : P::Sweep(m).m_pSiteCount) list(" sites", c);
    for (const auto& row : P::Sweep(m).m_dTranCount) list(" tran", row);
    for (const auto& row : P::Sweep(m).m_dAlignTranCount) list(" align", row);
    list(" motifSub", P::Sweep(m).m_nMotifSubCount);
    o << " logAnc " << P::Sweep(m).m_dLogAncPr << "\nbg";
    sparse("anc", P::Sweep(m).m_nBgAncCount);
    for (int a = 0; a < 4; ++a) sparse("sub" + std::to_string(a), P::Sweep(m).m_nBgSubCount[a]);
    for (size_t e = 0; e < P::Sweep(m).m_pEdgeStat.size(); ++e) {
        const SITECOL& R = P::Sweep(m).m_pEdgeStat[e];
        const std::string E = std::to_string(e);
        sparse(E + "sp", R.speciesCount);
        sparse(E + "anc", R.ancCount);
        sparse(E + "same", R.sameCount);
        sparse(E + "sub", R.subCount);
        sparse(E + "tstv", std::vector<int>{R.transitionNum, R.transversionNum});
    }
    o << '\n';
    for (size_t s = 0; s < P::Post(m).m_pAlignFreq.size(); ++s) {
        list("align", P::Post(m).m_pAlignFreq[s]);
        list(" module", P::Post(m).m_pModuleFreq[s]);
        for (const auto& k : P::Post(m).m_pSiteFreq) list(" site", k[s]);
        o << '\n';
    }
    list("ref", P::Post(m).m_pRefAlignFreq[0]);
    return o.str();
}

// Every way of cutting nodes 1 .. T of the path into background positions, module-background
// positions and motif sites, each with the subset code of its last node, weighted by the
// model written out in linear space from the parameters alone. Z is the total weight,
// module[s][p] / Z and site[k][s][p] / Z the posterior probabilities of each position's state.
struct Brute {
    Model& tm;
    const CSerevan& m;
    int N, K, T;
    double Z = 0;
    std::vector<std::vector<double>> module;
    std::vector<std::vector<std::vector<double>>> site;
    std::vector<std::array<int, 3>> segs;  // last node, width, type
    // Paths holding a site of motif 0: their weight, their weight times that motif's site
    // count, and their module positions.
    double Zhas = 0, sitesHas = 0;
    std::vector<std::vector<double>> moduleHas;
    // With an order-k background: the (o+1)-mer frequencies it was set from.
    const std::vector<std::vector<double>>* joint = nullptr;

    explicit Brute(Model& model, const std::vector<std::vector<double>>* orderJoint = nullptr)
        : tm(model), m(model.m), N(model.N), K(model.K), T(model.NodeNum() - 1), joint(orderJoint)
    {
        for (int s = 0; s < N; ++s) module.emplace_back(tm.Len(s * tm.G), 0.0);
        site.assign(K, module);
        moduleHas = module;
        Dfs(0, 0, 1.0);
    }
    static bool Base(int b) { return b >= 0 && b <= 3; }
    double P(int a, int b) const { return std::exp(P::Par(m).m_dTranPr[a][b]); }
    double Theta(int k, int j, int b) const { return std::exp(P::Par(m).m_pPWM[k][4 * j + b]); }
    int X(int s, int p) const { return tm.groups.seq[static_cast<size_t>(s) * tm.G][p]; }

    // The order-k background's distribution of the base at p of species s given up to k
    // determined bases before it; with -e, group 0's own: its (o+1)-mers counted on both
    // strands of every species, each context shrunk towards the joint's with the weight of -e.
    std::array<double, 4> OrderBg(int s, int p) const
    {
        int o = 0, ctx = 0;
        while (o + 1 < static_cast<int>(joint->size()) && p - o - 1 >= 0 && Base(X(s, p - o - 1))) ++o;
        for (int i = p - o; i < p; ++i) ctx = 4 * ctx + X(s, i);
        const double* f = &(*joint)[o][4 * ctx];
        const double sum = f[0] + f[1] + f[2] + f[3], alpha = P::Settings(m).dLocalBg;
        std::array<double, 4> out{f[0] / sum, f[1] / sum, f[2] / sum, f[3] / sum};
        if (alpha <= 0) return out;
        double n[4] = {0, 0, 0, 0};
        for (int r = 0; r < N; ++r)
            for (int strand = 0; strand < 2; ++strand) {
                std::vector<int> x = tm.groups.seq[static_cast<size_t>(r) * tm.G];
                if (strand) {
                    std::reverse(x.begin(), x.end());
                    for (int& b : x) b = Base(b) ? 3 - b : -1;
                }
                for (int q = o; q < static_cast<int>(x.size()); ++q) {
                    int c = 0;
                    bool all = Base(x[q]);
                    for (int i = q - o; i < q && all; ++i) all = Base(x[i]), c = 4 * c + x[i];
                    if (all && c == ctx) n[x[q]] += 1;
                }
            }
        const double total = n[0] + n[1] + n[2] + n[3];
        for (int b = 0; b < 4; ++b) out[b] = (n[b] + alpha * out[b]) / (total + alpha);
        return out;
    }

    // Emission of the moving block of node t: type < K the last column of a site, K background.
    double Emission(int t, int type) const
    {
        const ALIGNNODE& node = tm.Path()[t];
        const std::vector<int>& B = node.block[node.movingBlock];
        if (type == K && B.size() == 1) {  // one species: its own background, -1.386 for an N
            const int s = B[0], p = node.pos[s] - 1, x = X(s, p);
            const auto& bg = P::Par(m).m_pSpeciesBg[s];
            if (!Base(x)) return std::exp(-1.386);
            if (joint) return OrderBg(s, p)[x];
            return std::exp(p == 0 ? bg[x] : Base(X(s, p - 1)) ? bg[4 + 4 * X(s, p - 1) + x] : -1.386);
        }
        if (type == K) {
            double sum = 0;
            const std::array<double, 4> prior = joint ? OrderBg(B[0], node.pos[B[0]] - 1) : std::array<double, 4>{};
            for (int a = 0; a < 4; ++a) {
                double v = joint ? prior[a] : std::exp(P::Par(m).m_pBg[a]);
                for (int s : B) {
                    const int b = X(s, node.pos[s] - 1);
                    v *= Base(b) ? std::exp(P::Par(m).m_dBgSubst[a][b]) : 0.25;
                }
                sum += v;
            }
            return sum;
        }
        const int w = P::Par(m).m_pMotifWidth[type];
        for (int s : B)
            for (int j = 0; j < w; ++j)
                if (node.pos[s] - w + j < 0 || !Base(X(s, node.pos[s] - w + j))) return 0;
        // Descendant b of ancestral a; one species alone is the column itself (lambda 0).
        const double lambda = B.size() == 1 ? 0.0 : P::Par(m).m_dMotifSubRate;
        double strand[2] = {1, 1};  // forward, reverse
        for (int r = 0; r < 2; ++r)
            for (int j = 0; j < w; ++j) {
                double col = 0;
                for (int a = 0; a < 4; ++a) {
                    double v = Theta(type, j, a);
                    for (int s : B) {
                        const int b = r ? 3 - X(s, node.pos[s] - 1 - j) : X(s, node.pos[s] - w + j);
                        v *= lambda * Theta(type, j, b) + (1 - lambda) * (a == b);
                    }
                    col += v;
                }
                strand[r] *= col;
            }
        return P::Settings(m).bBothStrands ? (strand[0] + strand[1]) * std::exp(-0.6931) : strand[0];
    }

    void Dfs(int u, int cPrev, double weight)
    {
        if (u == T) {
            const ALIGNNODE& last = tm.Path()[T];
            for (int b = 0; b < last.blockNum; ++b)
                weight *= P((cPrev >> last.block[b][0]) & 1, P::Settings(m).bMotifMode ? 1 : 0);
            Z += weight;
            const int n0 = static_cast<int>(std::count_if(segs.begin(), segs.end(), [](auto& x) { return x[2] == 0; }));
            if (n0 > 0) Zhas += weight, sitesHas += n0 * weight;
            for (const auto& [t, w, type] : segs) {
                const ALIGNNODE& node = tm.Path()[t];
                for (int s : node.block[node.movingBlock])
                    for (int j = 0; j < w && type <= K; ++j) {
                        module[s][node.pos[s] - 1 - j] += weight;
                        if (n0 > 0) moduleHas[s][node.pos[s] - 1 - j] += weight;
                        if (type < K) site[type][s][node.pos[s] - 1 - j] += weight;
                    }
            }
            return;
        }
        for (int type = 0; type <= K + 1; ++type) {  // K + 1: background
            const bool isModule = type <= K;
            const int w = type < K ? P::Par(m).m_pMotifWidth[type] : 1, t = u + w;
            // A site of width w ending at t needs nodes t-1 .. t-w+1 free of change points.
            bool admissible = t <= T;
            for (int d = 1; d < w && admissible; ++d) admissible = t - d >= 1 && !tm.Path()[t - d].CP;
            if (!admissible) continue;
            const double em = Emission(t, std::min(type, K)) * (isModule ? std::exp(P::Par(m).m_pMotifPr[type]) : 1.0);
            const ALIGNNODE& node = tm.Path()[t];
            const std::vector<int>& B = node.block[node.movingBlock];
            int mask = 0;
            for (int s : B) mask |= 1 << s;
            for (int c = 0; c < tm.nStates && em > 0; ++c) {
                if (!node.legitimate[c] || ((c >> B[0]) & 1) != (isModule ? 1 : 0)) continue;
                if (static_cast<int>(B.size()) != N && ((c ^ cPrev) & ~mask) != 0) continue;
                double tr = 0;
                for (int s : B) tr += P((cPrev >> s) & 1, isModule ? 1 : 0);
                segs.push_back({t, w, type});
                Dfs(t, c, weight * em * tr / static_cast<double>(B.size()));
                segs.pop_back();
            }
        }
    }
};

struct Case {
    int N, K, nCol;
    std::vector<int> widths;
    bool both, motifMode;
    unsigned seed;
    int order = -1;      // background order; -1: the default background
    double local = 0.0;  // -e (with a second group of other composition)
};

const std::vector<Case> kTiny = {
    {2, 1, 6, {2}, false, false, 11},          {2, 1, 7, {3}, true, false, 12},
    {2, 2, 8, {1, 2}, true, false, 13},        {3, 1, 6, {2}, false, false, 14},
    {3, 2, 7, {2, 3}, true, false, 15},        {3, 2, 8, {1, 3}, false, false, 16},
    {2, 2, 7, {2, 3}, true, true, 17},         {3, 1, 7, {2}, true, true, 18},
    {3, 2, 6, {3, 3}, true, false, 19},        {2, 1, 8, {1}, false, true, 20},
    {2, 1, 7, {2}, true, false, 21, 0},        {3, 2, 7, {2, 3}, true, false, 22, 1},
    {2, 2, 8, {1, 2}, true, false, 23, 2},     {3, 1, 8, {2}, false, false, 24, 3},
    {3, 2, 7, {1, 3}, true, false, 25, 5},     {2, 1, 7, {2}, true, false, 26, 1, 40},
    {3, 2, 7, {2, 3}, true, false, 27, 2, 15},
};

// Random (o+1)-mer frequencies for orders 0..order; the model takes them as its background.
std::vector<std::vector<double>> RandomOrderBackground(Model& tm, int order, std::mt19937& rng)
{
    std::uniform_real_distribution<double> U(0.05, 1.0);
    std::vector<std::vector<double>> joint(order + 1);
    for (int o = 0; o <= order; ++o) {
        joint[o].resize(size_t{4} << (2 * o));
        double sum = 0;
        for (double& x : joint[o]) sum += (x = U(rng));
        for (double& x : joint[o]) x /= sum;
    }
    P::Par(tm.m).m_bgModel.SetFromJoint(joint);
    P::MSBuildBackground(tm.m);
    tm.Refresh(0);
    return joint;
}

// Random rows and parameters; width bounds of 1 so that the look-back must follow the
// matrices' own widths.
std::unique_ptr<Model> MakeCase(const Case& cs, std::mt19937& rng, double pGap, double pN)
{
    ModelSetup setup;
    setup.K = cs.K;
    setup.widths = cs.widths;
    setup.param.bBothStrands = cs.both;
    setup.param.bMotifMode = cs.motifMode;
    setup.param.nMinMotifWidth = setup.param.nMaxMotifWidth = 1;
    setup.param.dLocalBg = cs.local;
    std::vector<std::vector<std::vector<std::string>>> groups{{support::RandomRows(rng, cs.N, cs.nCol, pGap, pN)}};
    if (cs.local > 0) {  // a second group, rich in C and G
        std::vector<std::string> rich = support::RandomRows(rng, cs.N, 3 * cs.nCol, pGap, pN);
        for (std::string& row : rich)
            for (char& c : row) c = (c == 'A' || c == 'T') && rng() % 10 < 7 ? "CG"[rng() % 2] : c;
        groups.push_back({rich});
    }
    auto tm = support::GroupsModel(groups, setup);
    tm->Randomise(rng);
    return tm;
}

}  // namespace

TEST(ForwardBruteForce, FastAndDirectMatchEnumerationOfAllSegmentations)
{
    for (const Case& cs : kTiny) {
        std::mt19937 rng(cs.seed);
        auto tm = MakeCase(cs, rng, 0.35, 0.08);
        std::vector<std::vector<double>> joint;
        if (cs.order >= 0) joint = RandomOrderBackground(*tm, cs.order, rng);
        const Brute brute(*tm, cs.order >= 0 ? &joint : nullptr);
        EXPECT_NEAR(tm->Forward(), std::log(brute.Z), 1e-9) << "case seed " << cs.seed;
        P::UseDirectKernels(tm->m, true);
        EXPECT_NEAR(tm->Forward(), std::log(brute.Z), 1e-9) << "direct, case seed " << cs.seed;
        // The background likelihood of the path: aligned columns as in the enumeration, one
        // species alone by its zero-order background (or by the order-k model).
        double bgLik = 0;
        for (int t = 1; t <= brute.T; ++t) {
            const ALIGNNODE& node = tm->Path()[t];
            const int s = node.block[node.movingBlock][0],
                      x = tm->groups.seq[static_cast<size_t>(s) * tm->G][node.pos[s] - 1];
            const bool alone = node.block[node.movingBlock].size() == 1 && cs.order < 0;
            bgLik += alone ? (Brute::Base(x) ? P::Par(tm->m).m_pSpeciesBg[s][x] : -1.386)
                           : std::log(brute.Emission(t, cs.K));
        }
        EXPECT_NEAR(P::CalBgLikelihood(tm->m, 0, tm->Path().data()), bgLik, 1e-9) << "case seed " << cs.seed;
    }
}

TEST(BackwardSamplingStat, CoverageMatchesExactPosteriors)
{
    support::TestSeed seed(7001);
    const int nSample = 20000;
    // 5 sd of a binomial proportion with n = 20000 (at most 0.0177), plus a small margin for
    // the floating sum of the enumeration.
    const double tol = 5.0 * std::sqrt(0.25 / nSample) + 1e-6;
    for (size_t ci : {2, 3, 6, 7, 9}) {
        std::mt19937 rng(kTiny[ci].seed);
        auto tm = MakeCase(kTiny[ci], rng, 0.35, 0.08);
        const Brute brute(*tm);
        tm->Forward();
        P::Post(tm->m).m_bSampling = true;
        for (int i = 0; i < nSample; ++i) tm->Backward();
        for (int s = 0; s < tm->N; ++s)
            for (int p = 0; p < tm->Len(s); ++p) {
                SCOPED_TRACE(::testing::Message() << "case " << ci << " species " << s << " pos " << p);
                EXPECT_NEAR(P::Post(tm->m).m_pModuleFreq[s][p] / double(nSample), brute.module[s][p] / brute.Z, tol);
                for (int k = 0; k < tm->K; ++k)
                    EXPECT_NEAR(P::Post(tm->m).m_pSiteFreq[k][s][p] / double(nSample), brute.site[k][s][p] / brute.Z,
                                tol)
                        << "k " << k;
            }
    }
}

// The prior on the groups a motif reaches (-y): four copies of one tiny group, one motif held
// by a path of the plain posterior with probability q = Zhas / Z. Under the prior the number
// S of groups whose path holds it has P(S = s) ~ C(4, s) q^s (1 - q)^(4 - s) exp(y min(s, 3)),
// and given that a group holds it, its path follows the plain posterior of the paths that do.
// The Metropolis-Hastings sweeps must reproduce both: S, the posterior counts of every
// position (a rejected draw counts the kept path again) and the sweep's site count.
TEST(SpreadPriorStat, GroupsReachedAndCountsFollowTheTiltedPosterior)
{
    support::TestSeed seed(7301);
    const int nSweep = 20000, G = 4, cap = 3;
    // 5 sd of a proportion over a quarter of the sweeps (the sweeps are correlated).
    const double tol = 5.0 * std::sqrt(0.25 / (nSweep / 4.0));
    for (size_t ci : {0, 1, 3}) {
        const Case& cs = kTiny[ci];
        SCOPED_TRACE(::testing::Message() << "case " << ci);
        std::mt19937 rng(cs.seed);
        ModelSetup setup;
        setup.K = cs.K;
        setup.widths = cs.widths;
        setup.param.bBothStrands = cs.both;
        setup.param.nMinMotifWidth = setup.param.nMaxMotifWidth = 1;
        setup.param.dSpreadPrior = 1.5;
        // Rows and parameters drawn until the motif is neither rare nor certain.
        std::unique_ptr<Model> tm;
        std::unique_ptr<Brute> pBrute;
        double q = 0;
        for (int tries = 0; tries < 200 && !(q > 0.15 && q < 0.85); ++tries) {
            const std::vector<std::string> rows = support::RandomRows(rng, cs.N, cs.nCol, 0.2, 0.0);
            pBrute.reset();
            tm = support::GroupsModel(std::vector<std::vector<std::vector<std::string>>>(G, {rows}), setup);
            tm->Randomise(rng);
            pBrute = std::make_unique<Brute>(*tm);
            q = pBrute->Zhas / pBrute->Z;
        }
        ASSERT_TRUE(q > 0.15 && q < 0.85) << q;
        const Brute& brute = *pBrute;
        double pS[G + 1], norm = 0, meanS = 0;
        for (int s = 0; s <= G; ++s) {
            const double binom = s == 0 || s == G ? 1 : s == 2 ? 6 : 4;
            norm += pS[s] = binom * std::pow(q, s) * std::pow(1 - q, G - s) * std::exp(1.5 * std::min(s, cap));
        }
        for (int s = 0; s <= G; ++s) meanS += s * (pS[s] /= norm);

        std::vector<double> freqS(G + 1, 0.0);
        double siteSum = 0, siteSq = 0;
        for (int i = 0; i < 200 + nSweep; ++i) {
            P::Post(tm->m).m_bSampling = i >= 200;
            P::ClearSuffStat(tm->m);
            for (int g = 0; g < G; ++g) P::SampleGroupSpread(tm->m, g, -1);
            if (i < 200) continue;
            freqS[P::Spread(tm->m).reach[0]] += 1.0 / nSweep;
            const double n = P::Sweep(tm->m).m_pMotifCount[0];
            siteSum += n;
            siteSq += n * n;
        }
        for (int s = 0; s <= G; ++s) EXPECT_NEAR(freqS[s], pS[s], tol) << "S = " << s;
        // Sites per sweep: mean S times the plain posterior's mean count given the motif.
        const double mean = siteSum / nSweep, sd = std::sqrt(siteSq / nSweep - mean * mean);
        EXPECT_NEAR(mean, meanS * brute.sitesHas / brute.Zhas, 5.0 * sd / std::sqrt(nSweep / 4.0));
        const double held = meanS / G;
        for (int g = 0; g < G; ++g)
            for (int s = 0; s < tm->N; ++s)
                for (int p = 0; p < tm->Len(s * G + g); ++p) {
                    SCOPED_TRACE(::testing::Message() << "group " << g << " species " << s << " pos " << p);
                    const double site = held * brute.site[0][s][p] / brute.Zhas,
                                 module =
                                     held * brute.moduleHas[s][p] / brute.Zhas +
                                     (1 - held) * (brute.module[s][p] - brute.moduleHas[s][p]) / (brute.Z - brute.Zhas);
                    EXPECT_NEAR(P::Post(tm->m).m_pSiteFreq[0][s * G + g][p] / double(nSweep), site, tol);
                    EXPECT_NEAR(P::Post(tm->m).m_pModuleFreq[s * G + g][p] / double(nSweep), module, tol);
                }
    }
}

// Two models with the same rows and parameters, one on the direct kernels: the forward value
// and table (so every emission and transition term it sums), and 40 backward passes from the
// same seed (same draws, same statistics, the stream left at the same place). Reps 16 to 19: 5
// to 8 species on short paths, so blocks of more than six species (summed without the column
// cache) are compared too.
TEST(FastKernels, EqualTheDirectFormulasAndDrawTheSame)
{
    std::mt19937 rng(2024);
    auto close = [](double a, double b) {  // relative error at most 1e-12, log zeros alike
        a = std::max(a, -1e20);
        b = std::max(b, -1e20);
        return std::fabs(a - b) <= 1e-12 * std::max(1.0, std::fabs(b));
    };
    for (int rep = 0; rep < 20; ++rep) {
        SCOPED_TRACE(::testing::Message() << "rep " << rep);
        const bool many = rep >= 16;
        const int N = many ? rep - 11 : 2 + rep % 4, K = 1 + rep % 3;
        Case cs{N, K, many ? 24 : 70, {}, rep % 2 == 0, rep % 5 == 4, 0};
        for (int k = 0; k < K; ++k) cs.widths.push_back(1 + static_cast<int>(rng() % (many ? 4 : 12)));
        const unsigned caseSeed = static_cast<unsigned>(rng());
        std::unique_ptr<Model> tm[2];
        double value[2];
        int next[2];
        for (int d = 0; d < 2; ++d) {
            std::mt19937 r(caseSeed);
            tm[d] = MakeCase(cs, r, many ? 0.02 : 0.15, many ? 0.0 : 0.03);
            if (rep % 4 == 1) tm[d]->SetColumn(0, 0, 0.0, 0.5, 0.5, 0.0);  // log-zero entries
            if (rep % 4 == 3) P::Par(tm[d]->m).m_dMotifSubRate = 0.0;      // phi with ln 0 off the diagonal
            tm[d]->Refresh();
            P::UseDirectKernels(tm[d]->m, d == 1);
            value[d] = tm[d]->Forward();
            P::Post(tm[d]->m).m_bSampling = true;
            SeedRandom(500 + rep);
            for (int i = 0; i < 40; ++i) tm[d]->Backward();
            next[d] = RandomInt();
        }
        Model &fast = *tm[0], &direct = *tm[1];
        EXPECT_TRUE(close(value[0], value[1]));
        for (size_t i = 0; i < fast.fwd.size(); ++i) ASSERT_TRUE(close(fast.fwd[i], direct.fwd[i])) << "entry " << i;
        // Scores of only the positions single-species nodes read, NaN elsewhere: the same
        // forward table bit for bit, so no other cell is read.
        const ALIGNNODE* path = fast.Path().data();
        std::vector<std::vector<double>> part(N);
        std::vector<double*> view(N);
        for (int s = 0; s < N; ++s) view[s] = (part[s] = std::vector<double>(fast.tableStore[s].size(), NAN)).data();
        P::CalLogPrPosOnPaths(fast.m, view.data(), 0, &path, 1);
        std::vector<double> fwd(fast.fwd.size());
        EXPECT_EQ(P::PathForwardSummation(fast.m, fwd.data(), view.data(), path, 0, fast.NodeNum() + 1, fast.nStates),
                  value[0]);
        EXPECT_EQ(fwd, fast.fwd);
        EXPECT_EQ(next[0], next[1]);
        EXPECT_EQ(Dump(fast.m), Dump(direct.m));
    }
}

namespace {

// Parameters that leave a single segmentation with non-zero weight (and, with lambda 0,
// forced ancestors): the forward value against the enumeration, the stream values one pass
// draws, and the statistics of a burn-in pass (only the reference alignment counter among the
// position counters) followed by a sampling pass, so every sweep count is twice that of one pass.
struct Forced {
    std::vector<std::string> rows;
    int width;
    bool both, motifMode;
    std::string stats;
    std::function<void(Model&)> set;
};

const Forced kForced[] = {
    // Motif mode, width 1, no module background: every node is a site; aligned ancestors are
    // the shared bases and every descendant is kept.
    Forced({"ACG-", "A-GT"}, 1, false, true,
           "draws 14 types 8 0 sites 2 2 2 2 tran 0 0 tran 2 4 align 0 0 align 0 2 motifSub 0 8 logAnc 0\n"
           "bg 0sp0=2 0sp6=2 1sp1=2 1sp7=2 1anc0=2 1anc2=2 1same0=4 1same2=4 2sp1=2 2sp7=2 2anc0=2 2anc2=2 2same0=4 "
           "2same2=4 3sp2=2\n"
           "align 1 0 1 module 1 1 1 site 1 1 1\nalign 1 1 0 module 1 1 1 site 1 1 1\nref 2 2 2",
           [](Model& tm) {
               tm.SetColumn(0, 0, 0.25, 0.25, 0.25, 0.25);
               tm.SetMotifPr({1.0, 0.0});
               P::Par(tm.m).m_dMotifSubRate = 0.0;
           }),
    // Module entry impossible, background substitution only to the same base: all background,
    // every aligned ancestor forced; the N adds no substitution. The log ancestral probability
    // is that of the lone bases, bg0(T) + bg1(T) - 1.386 (the N), per pass.
    Forced({"ACGT-N", "ACN-T-"}, 1, false, false,
           "draws 9 types 0 0 sites 0 0 0 0 tran 8 0 tran 0 0 align 4 0 align 0 0 motifSub 0 0 logAnc -8.214590856\n"
           "bg anc0=2 anc1=2 anc2=2 sub00=4 sub11=4 sub22=2\n"
           "align 1 1 1 0 0 module 0 0 0 0 0 site 0 0 0 0 0\nalign 1 1 1 0 module 0 0 0 0 site 0 0 0 0\nref 2 2 2 0 0",
           [](Model& tm) {
               tm.SetTran(1.0, 0.0, 0.5, 0.5);
               for (int a = 0; a < 4; ++a)
                   for (int b = 0; b < 4; ++b) P::Par(tm.m).m_dBgSubst[a][b] = a == b ? 0.0 : -1e100;
           }),
    // Motif mode, width 2, the reverse strand impossible for these windows: the sites tile each
    // species' run. End row 1, two predecessor draws, and per site one motif and one strand
    // draw: no uniform draw, since the module background is impossible.
    Forced({"AACA--", "----AC"}, 2, true, true,
           "draws 9 types 6 0 sites 4 2 0 0 4 2 0 0 tran 0 2 tran 2 2 align 0 0 align 0 0 motifSub 0 0 logAnc 0\n"
           "bg 0sp0=2 1sp0=2 1sp1=2 1sp4=2 2sp0=4 2sp5=2 3sp1=2\n"
           "align 0 0 0 0 module 1 1 1 1 site 1 1 1 1\nalign 0 0 module 1 1 site 1 1\nref 2 2 2 2",
           [](Model& tm) {
               tm.SetColumn(0, 0, 0.5, 0.5, 0, 0);
               tm.SetColumn(0, 1, 0.5, 0.5, 0, 0);
               tm.SetMotifPr({1.0, 0.0});
           }),
    // An aligned site after an aligned module-background column: strand and ancestors forced,
    // edges with a transition (C) and a transversion (G) against the ancestral T.
    Forced({"GAC", "CAC"}, 2, true, true,
           "draws 12 types 2 2 sites 2 0 0 0 0 2 0 0 tran 0 0 tran 2 0 align 0 0 align 0 2 motifSub 0 8 logAnc 0\n"
           "bg anc3=2 sub31=2 sub32=2 0anc3=2 0sub1=2 0sub2=2 0tstv0=2 0tstv1=2 1anc0=2 1same0=4 2anc1=2 2same1=4\n"
           "align 1 1 1 module 1 1 1 site 0 1 1\nalign 1 1 1 module 1 1 1 site 0 1 1\nref 2 2 2",
           [](Model& tm) {
               tm.SetColumn(0, 0, 1, 0, 0, 0);
               tm.SetColumn(0, 1, 0, 1, 0, 0);
               tm.SetMotifPr({0.5, 0.5});
               P::Par(tm.m).m_dMotifSubRate = 0.0;
               for (int a = 0; a < 4; ++a) P::Par(tm.m).m_pBg[a] = a == 3 ? 0.0 : -1e100;
               for (int b = 0; b < 4; ++b) P::Par(tm.m).m_dBgSubst[3][b] = (b == 1 || b == 2) ? std::log(0.5) : -1e100;
           }),
    // Background, module, background inside one aligned run: the module is entered and left
    // between nodes that are not change points. A width-1 motif that emits only T with lambda
    // 0, no module background, a background without T whose ancestral base is always A.
    Forced({"ATC", "ATC"}, 1, false, false,
           "draws 9 types 2 0 sites 0 0 0 2 tran 2 0 tran 0 0 align 0 2 align 2 0 motifSub 0 4 logAnc 0\n"
           "bg anc0=4 sub00=4 sub01=4 0anc0=2 0same0=4 1anc3=2 1same3=4 2anc3=2 2same3=4 3anc0=2 3sub1=4 3tstv1=4\n"
           "align 1 1 1 module 0 1 0 site 0 1 0\nalign 1 1 1 module 0 1 0 site 0 1 0\nref 2 2 2",
           [](Model& tm) {
               tm.SetColumn(0, 0, 0, 0, 0, 1);
               tm.SetMotifPr({1.0, 0.0});
               P::Par(tm.m).m_dMotifSubRate = 0.0;
               for (int a = 0; a < 4; ++a) {
                   P::Par(tm.m).m_pBg[a] = a == 0 ? 0.0 : -1e100;
                   for (int b = 0; b < 4; ++b) P::Par(tm.m).m_dBgSubst[a][b] = b == 3 ? -1e100 : std::log(1.0 / 3);
               }
           }),
};

}  // namespace

TEST(ForcedPaths, ForwardValueDrawsAndStatisticsOfTwoPasses)
{
    for (const Forced& c : kForced) {
        SCOPED_TRACE(c.rows[0] + " / " + c.rows[1]);
        ModelSetup setup;
        setup.widths = {c.width};
        setup.param.bBothStrands = c.both;
        setup.param.bMotifMode = c.motifMode;
        auto tm = support::AlignedModel(c.rows, setup);
        c.set(*tm);
        tm->Refresh();
        EXPECT_NEAR(tm->Forward(), std::log(Brute(*tm).Z), 1e-12);
        P::ClearSuffStat(tm->m);
        SeedRandom(4242);
        tm->Backward();
        const int next = RandomInt();
        int draws = 0;
        for (SeedRandom(4242); RandomInt() != next && draws < 1000;) ++draws;
        P::Post(tm->m).m_bSampling = true;
        tm->Backward();
        EXPECT_EQ("draws " + std::to_string(draws) + " " + Dump(tm->m), c.stats);
    }
}

// One aligned site of width 2 in two species on both strands: the drawn (strand, ancestral
// site) pairs and the share of descendant bases counted as redrawn, against their exact
// posteriors enumerated over the 2 x 16 outcomes; then the ancestor of a background column.
TEST(AncestralDrawsStat, MotifSiteAndBackgroundAncestorsFollowTheirPosterior)
{
    support::TestSeed seed(3131);
    ModelSetup setup;
    setup.widths = {2};
    auto tm = support::AlignedModel({"ACG", "ATG"}, setup);
    tm->SetColumn(0, 0, 0.1, 0.5, 0.3, 0.1);
    tm->SetColumn(0, 1, 0.2, 0.2, 0.4, 0.2);
    const double lambda = 0.3;
    P::Par(tm->m).m_dMotifSubRate = lambda;
    tm->Refresh();
    auto theta = [&](int j, int b) { return std::exp(P::Par(tm->m).m_pPWM[0][4 * j + b]); };
    auto phi = [&](int j, int a, int b) { return lambda * theta(j, b) + (1 - lambda) * (a == b); };
    const int x[2][2] = {{1, 2}, {3, 2}};       // the site's bases (C G and T G), sequence orientation
    double exact[32], Z = 0, redrawExpect = 0;  // outcome 16 r + 4 a0 + a1: strand r, ancestral a0 a1
    for (int o = 0; o < 32; ++o) {
        const int r = o / 16, a[2] = {o / 4 % 4, o % 4};
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
        Z += (exact[o] = w);
        redrawExpect += w * redraw;
    }
    const int n = 20000;
    int count[32] = {};
    std::vector<ANCSEQMOTIF> anc(tm->NodeNum() + 1);
    int site[2];
    P::ClearSuffStat(tm->m);
    for (int i = 0; i < n; ++i) {
        std::fill(anc.begin(), anc.end(), ANCSEQMOTIF());
        P::SampleMotifAncestor(tm->m, site, tm->Path().data(), 3, 0, 0, anc.data());
        ASSERT_EQ(anc[2].motifIndex, 0);
        ++count[16 * (anc[2].forward ? 0 : 1) + 4 * anc[2].ancBase + anc[3].ancBase];
    }
    // 5 sd of a binomial proportion with n = 20000: 0.0177.
    const double tol = 5.0 * std::sqrt(0.25 / n);
    for (int o = 0; o < 32; ++o) EXPECT_NEAR(count[o] / double(n), exact[o] / Z, tol) << "outcome " << o;
    // Four descendant decisions per draw, each 0 or 1: 5 sd of a mean of n values in [0, 4].
    EXPECT_NEAR(P::Sweep(tm->m).m_nMotifSubCount[0] / double(n), redrawExpect / Z, 5.0 * 2.0 / std::sqrt(n));

    // The ancestor of an aligned background column A, G, N: drawn from linear weights, the
    // same index as the log-space definition bg(a) S(a, A) S(a, G) (the N adds nothing) from
    // the same stream state, also after the parameters change and with every weight log zero.
    auto bg = support::AlignedModel({"A", "G", "N"});
    bg->Refresh();
    CSerevan& m = bg->m;
    for (unsigned v = 1; v <= 600; ++v) {  // 200 seeds each: as set, after a change, every weight log zero
        if (v == 201) P::Par(m).m_dBgSubst[1][0] = -50.0;
        if (v == 401) std::fill(P::Par(m).m_pBg.begin(), P::Par(m).m_pBg.end(), -1e100);
        double w[4];
        for (int a = 0; a < 4; ++a) w[a] = P::Par(m).m_pBg[a] + P::Par(m).m_dBgSubst[a][0] + P::Par(m).m_dBgSubst[a][2];
        SeedRandom(v);
        const int expect = CStochasticDistribution(TestStream()).DiscreteLogSpace(w, 4);
        SeedRandom(v);
        P::SampleBgAncestor(m, bg->Path().data(), 1, 0, anc.data());
        ASSERT_EQ(anc[1].ancBase, expect) << "seed " << v;
    }
}

// The low-complexity mask (-l) of the position scores: a window of width 5 is masked when one
// base or C+G makes more than 0.8 of it, rendered per window end ('m' masked, '.' the uniform
// matrix's score); an aligned site over the same bases is not masked.
TEST(EmissionTable, LowComplexityMaskOnlyTouchesSingleSpeciesWindows)
{
    ModelSetup setup;
    setup.widths = {5};
    setup.param.bMaskLowComplexity = true;
    const std::string text = "AAAAACGCGCAT";
    auto tm = support::AlignedModel({text, text}, setup);
    tm->Refresh();
    std::string mask;
    for (int p = 4; p < 12; ++p) {
        const double v = tm->table[0][3 * p];
        mask += v == -1e100 ? 'm' : std::fabs(v - 5 * std::log(0.25)) < 1e-12 ? '.' : '?';
        const int species[2] = {0, 1}, pos[2] = {p, p};
        EXPECT_GT(P::CalMotifEmission(tm->m, 0, 2, species, pos, 0), -1e20) << "aligned site ending at " << p;
    }
    EXPECT_EQ(mask, "m....m..");  // AAAAA masked, AAAAC (A 0.8) and ACGCG (C+G 0.8) not, CGCGC masked
}
