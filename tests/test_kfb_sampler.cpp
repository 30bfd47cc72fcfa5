// Tests of the forward-backward initial motif sampler: forward totals against brute-force
// enumeration, sampled segmentations against exact posteriors, parameter updates by hand,
// the width choice on planted cores, and recovery of a planted motif.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

namespace {

using Matrix = std::vector<std::vector<double>>;

// Seed for the sampler's stream: the fallback, or SEREVAN_TEST_SEED when set.
unsigned TestSeed(unsigned fallback)
{
    const char* s = std::getenv("SEREVAN_TEST_SEED");
    return s ? static_cast<unsigned>(std::strtoul(s, nullptr, 10)) : fallback;
}

// A tiny single-species motif model for the oracles.
struct Model {
    int K = 1;
    std::vector<int> width;
    Matrix pwm;                 // log matrices, 4j + b
    std::vector<double> logPr;  // K+1 entries
    double bg[20];
    bool both = true;
};

// Random log matrices, motif-type probabilities and a background table from data.
Model MakeModel(std::mt19937& rng, std::vector<int> width, bool both)
{
    Model m;
    m.K = static_cast<int>(width.size());
    m.width = width;
    m.both = both;
    std::uniform_real_distribution<double> u(0.05, 1.0);
    for (int k = 0; k < m.K; ++k) {
        std::vector<double> mat(4 * width[k]);
        for (int j = 0; j < width[k]; ++j) {
            double p[4], s = 0;
            for (double& x : p) s += (x = u(rng));
            for (int b = 0; b < 4; ++b) mat[4 * j + b] = std::log(p[b] / s);
        }
        m.pwm.push_back(mat);
    }
    double s = 0;
    for (int k = 0; k <= m.K; ++k) s += (m.logPr.emplace_back(u(rng)));
    for (double& x : m.logPr) x = std::log(x / s);
    std::vector<int> data(40);
    for (int& x : data) x = static_cast<int>(rng() % 4);
    int* seqs[1] = {data.data()};
    int lens[1] = {40};
    BuildBackground(seqs, lens, 1, m.bg);
    return m;
}

// Background value of position i, written from the definition.
double BgAt(const std::vector<int>& seq, int i, const double* bg)
{
    if (i == 0) return serevan::IsBase(seq[0]) ? bg[seq[0]] : -1.386;
    if (!serevan::IsBase(seq[i - 1]) || !serevan::IsBase(seq[i])) return -1.386;
    return bg[4 + 4 * seq[i - 1] + seq[i]];
}

// Every segmentation of seq[pos..] with its probability, keyed by its sites
// ("motif@start+" or "-" for the reverse strand), each strand enumerated on its own.
void Enumerate(const std::vector<int>& seq, const Model& m, int pos, double logp, const std::string& key,
               std::map<std::string, double>& out)
{
    const int len = static_cast<int>(seq.size());
    if (pos == len) {
        out[key] += std::exp(logp);
        return;
    }
    Enumerate(seq, m, pos + 1, logp + m.logPr[m.K] + BgAt(seq, pos, m.bg), key, out);
    for (int k = 0; k < m.K; ++k) {
        const int w = m.width[k];
        if (pos + w > len) continue;
        std::vector<int> win(seq.begin() + pos, seq.begin() + pos + w);
        bool bases = true;
        for (int b : win) bases = bases && serevan::IsBase(b);
        if (!bases) continue;
        const std::string site = key + std::to_string(k) + "@" + std::to_string(pos);
        const double strandPr = m.both ? -0.6931 : 0.0;
        Enumerate(seq, m, pos + w, logp + m.logPr[k] + strandPr + CalLogMotifPr(win.data(), m.pwm[k].data(), w),
                  site + "+ ", out);
        if (m.both) {
            Reverse(win.data(), w);
            Enumerate(seq, m, pos + w, logp + m.logPr[k] + strandPr + CalLogMotifPr(win.data(), m.pwm[k].data(), w),
                      site + "- ", out);
        }
    }
}

// Key of a sampled segmentation (sites in position order), as Enumerate writes it.
std::string KeyOf(const std::vector<SITELIST>& sites)
{
    std::map<int, std::string> byPos;
    for (size_t k = 0; k < sites.size(); ++k)
        for (const SITEPOS& s : sites[k])
            byPos[s.pos] = std::to_string(k) + "@" + std::to_string(s.pos) + (s.forward ? "+ " : "- ");
    std::string key;
    for (const auto& [pos, text] : byPos) key += text;
    return key;
}

std::vector<int> Codes(const std::string& text)
{
    std::vector<int> r;
    for (char c : text) r.push_back(c == 'A' ? 0 : c == 'C' ? 1 : c == 'G' ? 2 : c == 'T' ? 3 : -1);
    return r;
}

double SumOf(const std::map<std::string, double>& m)
{
    double s = 0;
    for (const auto& kv : m) s += kv.second;
    return s;
}

}  // namespace

// ---- position scores and forward summation ----

TEST(KfbForward, PositionScoresMatchTheirDefinition)
{
    std::mt19937 rng(11);
    for (bool both : {false, true}) {
        Model m = MakeModel(rng, {1, 3}, both);
        std::vector<int> seq = Codes("ACNGTTAC");
        const int len = static_cast<int>(seq.size()), ps = 2 * m.K + 1;
        std::vector<double> P(len * ps);
        CalLogPrPos(P.data(), seq.data(), len, m.pwm, 0, m.width.data(), m.K, m.bg, both);
        for (int i = 0; i < len; ++i) {
            for (int k = 0; k < m.K; ++k) {
                const int w = m.width[k], start = i - w + 1;
                double fwd = serevan::kLogZero, rev = serevan::kLogZero;
                if (start >= 0) {
                    std::vector<int> win(seq.begin() + start, seq.begin() + i + 1);
                    fwd = CalLogMotifPr(win.data(), m.pwm[k].data(), w);
                    if (both && fwd > serevan::kLogZero)
                        rev = CalLogMotifPr(Reverse(win.data(), w), m.pwm[k].data(), w);
                }
                EXPECT_EQ(P[i * ps + 2 * k], fwd) << "i=" << i << " k=" << k;
                EXPECT_EQ(P[i * ps + 2 * k + 1], rev) << "i=" << i << " k=" << k;
            }
            EXPECT_EQ(P[i * ps + 2 * m.K], BgAt(seq, i, m.bg)) << "i=" << i;
        }
    }
}

TEST(KfbForward, TotalEqualsBruteForceEnumeration)
{
    std::mt19937 rng(5);
    const std::vector<std::vector<int>> widths = {{1}, {2}, {3}, {1, 2}, {3, 2}, {2, 2}};
    const std::vector<std::string> texts = {"ACGTAGC", "GATNCAT", "NACGTN", "TTT", "A", "CCGGAT"};
    for (bool both : {false, true})
        for (const auto& w : widths)
            for (const auto& text : texts) {
                Model m = MakeModel(rng, w, both);
                std::vector<int> seq = Codes(text);
                const int len = static_cast<int>(seq.size());
                std::vector<double> P(len * (2 * m.K + 1)), F(len * (m.K + 2));
                CalLogPrPos(P.data(), seq.data(), len, m.pwm, 0, m.width.data(), m.K, m.bg, both);
                double total = ForwardSummation(F.data(), P.data(), m.logPr.data(), len, m.width.data(), m.K, both);
                std::map<std::string, double> seg;
                Enumerate(seq, m, 0, 0.0, "", seg);
                SCOPED_TRACE(text + " K=" + std::to_string(m.K) + " both=" + std::to_string(both));
                EXPECT_NEAR(total, std::log(SumOf(seg)), 1e-9);
            }
}

TEST(KfbForward, UndeterminedTemplateHoldsOnlyBackground)
{
    // The stand-in template of a group without one: ten undetermined bases.
    std::mt19937 rng(3);
    Model m = MakeModel(rng, {1, 4}, true);
    std::vector<int> seq(10, -1);
    const int ps = 2 * m.K + 1;
    std::vector<double> P(10 * ps), F(10 * (m.K + 2));
    CalLogPrPos(P.data(), seq.data(), 10, m.pwm, 0, m.width.data(), m.K, m.bg, true);
    for (int i = 0; i < 10; ++i) {
        for (int e = 0; e < 2 * m.K; ++e) EXPECT_EQ(P[i * ps + e], serevan::kLogZero);
        EXPECT_EQ(P[i * ps + 2 * m.K], -1.386);
    }
    double total = ForwardSummation(F.data(), P.data(), m.logPr.data(), 10, m.width.data(), m.K, true);
    EXPECT_NEAR(total, 10 * (-1.386 + m.logPr[m.K]), 1e-9);
    SeedRandom(TestSeed(1));
    std::vector<std::vector<int>> count = {std::vector<int>(4), std::vector<int>(16)};
    std::vector<int> siteNum(m.K + 1);
    std::vector<SITELIST> sites(m.K);
    BackwardSampling(F.data(), P.data(), seq.data(), 10, 0, m.width.data(), m.K, count, siteNum.data(), sites);
    EXPECT_EQ(siteNum, (std::vector<int>{0, 0, 10}));
    EXPECT_TRUE(sites[0].empty() && sites[1].empty());
}

TEST(KfbForward, EmptySequenceHasTotalZero)
{
    std::vector<int> width = {2};
    double logPr[2] = {std::log(0.1), std::log(0.9)};
    EXPECT_EQ(ForwardSummation(nullptr, nullptr, logPr, 0, width.data(), 1, true), 0.0);
}

// ---- backward sampling ----

// Sampled segmentations of tiny sequences against exact posteriors from the enumeration.
// With n draws each frequency may stray 5 binomial sd, 5 sqrt(p(1-p)/n), from its p.
TEST(KfbBackward, FrequenciesMatchExactPosteriors)
{
    const unsigned seed = TestSeed(20240607);
    SeedRandom(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(17);
    struct Case {
        std::vector<int> width;
        bool both;
        std::string text;
    };
    const std::vector<Case> cases = {{{2}, true, "ACGTTG"}, {{1, 3}, false, "GANCTT"}, {{2, 3}, true, "TGCAT"}};
    const int n = 20000;
    for (const Case& c : cases) {
        Model m = MakeModel(rng, c.width, c.both);
        // Sites likely enough that many segmentations carry weight.
        m.logPr.assign(m.K, std::log(0.3 / m.K));
        m.logPr.push_back(std::log(0.7));
        std::vector<int> seq = Codes(c.text);
        const int len = static_cast<int>(seq.size());
        std::vector<double> P(len * (2 * m.K + 1)), F(len * (m.K + 2));
        CalLogPrPos(P.data(), seq.data(), len, m.pwm, 0, m.width.data(), m.K, m.bg, c.both);

        std::map<std::string, double> exact;
        Enumerate(seq, m, 0, 0.0, "", exact);
        const double z = SumOf(exact);

        std::vector<std::vector<int>> count(m.K), expectCount(m.K);
        for (int k = 0; k < m.K; ++k) count[k].assign(4 * m.width[k], 0), expectCount[k].assign(4 * m.width[k], 0);
        std::vector<int> siteNum(m.K + 1, 0);
        std::map<std::string, int> seen;
        for (int d = 0; d < n; ++d) {
            ForwardSummation(F.data(), P.data(), m.logPr.data(), len, m.width.data(), m.K, c.both);
            std::vector<SITELIST> sites(m.K);
            std::vector<int> before = siteNum;
            BackwardSampling(F.data(), P.data(), seq.data(), len, 4, m.width.data(), m.K, count, siteNum.data(), sites);
            ++seen[KeyOf(sites)];
            // Every position once: as background or inside exactly one site.
            int covered = siteNum[m.K] - before[m.K];
            for (int k = 0; k < m.K; ++k) {
                EXPECT_EQ(siteNum[k] - before[k], static_cast<int>(sites[k].size()));
                covered += m.width[k] * static_cast<int>(sites[k].size());
                for (const SITEPOS& s : sites[k]) {
                    EXPECT_EQ(s.seq, 4);
                    std::vector<int> win(seq.begin() + s.pos, seq.begin() + s.pos + m.width[k]);
                    if (!s.forward) Reverse(win.data(), m.width[k]);
                    for (int j = 0; j < m.width[k]; ++j) ++expectCount[k][4 * j + win[j]];
                }
            }
            ASSERT_EQ(covered, len);
        }
        EXPECT_EQ(count, expectCount);
        for (const auto& [key, cnt] : seen) EXPECT_TRUE(exact.count(key)) << "impossible segmentation " << key;
        for (const auto& [key, w] : exact) {
            const double p = w / z;
            const double f = seen.count(key) ? static_cast<double>(seen[key]) / n : 0.0;
            EXPECT_NEAR(f, p, 5 * std::sqrt(p * (1 - p) / n) + 1e-12) << c.text << " [" << key << "]";
        }
    }
}

TEST(KfbBackward, SingleStrandKeepsEverySiteForwardAndPushesAtTheFront)
{
    SeedRandom(TestSeed(99));
    std::mt19937 rng(2);
    Model m = MakeModel(rng, {2}, false);
    m.logPr = {std::log(0.5), std::log(0.5)};
    std::vector<int> seq = Codes("ACGTACGTACGTAAC");
    const int len = static_cast<int>(seq.size());
    std::vector<double> P(len * 3), F(len * 3);
    CalLogPrPos(P.data(), seq.data(), len, m.pwm, 0, m.width.data(), 1, m.bg, false);
    for (int i = 0; i < len; ++i) EXPECT_EQ(P[i * 3 + 1], serevan::kLogZero);
    std::vector<std::vector<int>> count = {std::vector<int>(8)};
    int siteNum[2] = {0, 0};
    std::vector<SITELIST> sites(1);
    for (int d = 0; d < 200; ++d) {
        ForwardSummation(F.data(), P.data(), m.logPr.data(), len, m.width.data(), 1, false);
        BackwardSampling(F.data(), P.data(), seq.data(), len, d, m.width.data(), 1, count, siteNum, sites);
    }
    ASSERT_GT(sites[0].size(), 10u);
    // Most recent first: later draws (higher seq index) come first; within one draw the
    // sequence is walked backward, so positions rise along the list.
    for (size_t i = 0; i + 1 < sites[0].size(); ++i) {
        const SITEPOS& a = sites[0][i];
        const SITEPOS& b = sites[0][i + 1];
        EXPECT_TRUE(a.forward);
        EXPECT_TRUE(a.seq > b.seq || (a.seq == b.seq && a.pos < b.pos));
    }
}

// ---- parameter update ----

TEST(KfbUpdate, ValuesByHand)
{
    const int K = 2;
    std::vector<int> width = {1, 2};
    int siteNum[3] = {3, 1, 20};  // T = 24, denominator T + 2 = 26
    std::vector<std::vector<int>> count = {{3, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}};
    Matrix cur = {std::vector<double>(4), std::vector<double>(8)};
    double logPr[3];
    UpdateParameter(logPr, cur, siteNum, count, K, width.data());
    EXPECT_DOUBLE_EQ(logPr[0], std::log(3.5) - std::log(26.0));
    EXPECT_DOUBLE_EQ(logPr[1], std::log(1.5) - std::log(26.0));
    EXPECT_DOUBLE_EQ(logPr[2], std::log(20.5) - std::log(26.0));
    EXPECT_DOUBLE_EQ(cur[0][0], std::log(3.5 / 5));
    EXPECT_DOUBLE_EQ(cur[0][1], std::log(0.5 / 5));
    EXPECT_DOUBLE_EQ(cur[1][0], std::log(1.5 / 3));
    EXPECT_DOUBLE_EQ(cur[1][3], std::log(0.5 / 3));
    for (int b = 0; b < 4; ++b) EXPECT_DOUBLE_EQ(cur[1][4 + b], std::log(0.25));  // empty row: ln(0.5/2)
}

// ---- width choice ----

namespace {

// Sequences each holding one extended pattern of W columns (in site orientation) at a
// known place; the site list points at its middle w columns, half on the reverse strand.
struct Planted {
    std::vector<std::vector<int>> seqs;
    std::vector<int*> ptrs;
    std::vector<int> lens;
    std::vector<SITELIST> sites{1};
};

Planted PlantCore(int nSites, int W, int w, int coreStart, int coreWidth)
{
    Planted p;
    const int pad = (W - w) / 2;
    for (int s = 0; s < nSites; ++s) {
        std::vector<int> pattern(W);
        for (int r = 0; r < W; ++r)  // flanks balanced: every base equally often per column
            pattern[r] = (r >= coreStart && r < coreStart + coreWidth) ? (r % 4) : (s + r) % 4;
        const bool forward = s % 2 == 0;
        std::vector<int> seq(W + 6, 0);
        for (int i = 0; i < W + 6; ++i) seq[i] = (i * 7 + s) % 4;
        const int e = 3;  // extended window at 3 .. 3+W-1
        for (int r = 0; r < W; ++r) {
            if (forward)
                seq[e + r] = pattern[r];
            else
                seq[e + W - 1 - r] = 3 - pattern[r];
        }
        p.seqs.push_back(seq);
        p.sites[0].push_front(SITEPOS{s, e + pad, forward});
    }
    for (auto& s : p.seqs) p.ptrs.push_back(s.data()), p.lens.push_back(static_cast<int>(s.size()));
    return p;
}

}  // namespace

TEST(KfbWidth, PicksThePlantedCore)
{
    // 40 sites, W = 12, current width 8 (pad 2); the core fills extended columns 4..8.
    Planted p = PlantCore(40, 12, 8, 4, 5);
    double bg[20];
    for (double& x : bg) x = std::log(0.25);
    Matrix pwm = {std::vector<double>(32)};
    int width[1] = {8};
    FBAdjustMotifWidth(p.ptrs.data(), p.lens.data(), 40, bg, 1, p.sites, pwm, width, 3, 12, true);
    ASSERT_EQ(width[0], 5);
    ASSERT_EQ(pwm[0].size(), 20u);
    for (int j = 0; j < 5; ++j)
        for (int b = 0; b < 4; ++b)
            EXPECT_DOUBLE_EQ(pwm[0][4 * j + b], std::log(b == (4 + j) % 4 ? 40.5 : 0.5) - std::log(42.0));
}

TEST(KfbWidth, TiesGoToTheSmallestStart)
{
    // Eight forward sites of width 7 = W: column 1 all A and column 5 all C score the same
    // (ln 8! - ln 11! + 8 ln 4); the balanced columns between them (2 of each base) keep
    // any window over both below a single column. The earlier start wins the tie.
    std::vector<std::vector<int>> seqs;
    for (int s = 0; s < 8; ++s) seqs.push_back({s % 4, 0, (s + 1) % 4, (s + 2) % 4, (s + 3) % 4, 1, s % 4});
    std::vector<int*> ptrs;
    std::vector<int> lens;
    std::vector<SITELIST> sites(1);
    for (int s = 0; s < 8; ++s) {
        ptrs.push_back(seqs[s].data());
        lens.push_back(7);
        sites[0].push_front(SITEPOS{s, 0, true});
    }
    double bg[20];
    for (double& x : bg) x = std::log(0.25);
    Matrix pwm = {std::vector<double>(28)};
    int width[1] = {7};
    FBAdjustMotifWidth(ptrs.data(), lens.data(), 8, bg, 1, sites, pwm, width, 1, 7, true);
    ASSERT_EQ(width[0], 1);
    EXPECT_DOUBLE_EQ(pwm[0][0], std::log(8.5) - std::log(10.0));  // the A column, not the C one
}

TEST(KfbWidth, SingleStrandReadsEverySiteForward)
{
    // The same sequences with both strands off: the reverse-planted half no longer agrees,
    // so each core column holds 20 of one base and 20 of its complement.
    Planted p = PlantCore(40, 12, 8, 4, 5);
    double bg[20];
    for (double& x : bg) x = std::log(0.25);
    Matrix pwm = {std::vector<double>(32)};
    int width[1] = {8};
    FBAdjustMotifWidth(p.ptrs.data(), p.lens.data(), 40, bg, 1, p.sites, pwm, width, 12, 12, false);
    ASSERT_EQ(width[0], 12);
    // Extended column 4 in forward reading: base 0 from forward sites; reverse sites put
    // 3 - pattern[7] = 0 there (column 7 holds base 3), so 40 A.
    EXPECT_DOUBLE_EQ(pwm[0][4 * 4 + 0], std::log(40.5) - std::log(42.0));
    // Column 5: forward sites base 1, reverse sites 3 - pattern[6] = 1: 40 C.
    EXPECT_DOUBLE_EQ(pwm[0][4 * 5 + 1], std::log(40.5) - std::log(42.0));
    // Column 8: forward sites base 0; reverse sites hold 3 - pattern[3], which is T or C
    // for the odd-numbered (reverse) sites: 20 A.
    EXPECT_DOUBLE_EQ(pwm[0][4 * 8 + 0], std::log(20.5) - std::log(42.0));
}

TEST(KfbWidth, WindowsCutAtTheSequenceEnds)
{
    // W = 5, width 3 (pad 1). A forward site at 0 leaves extended row 0 unfilled; a reverse
    // site ending at the last base leaves row 0 of its own orientation unfilled.
    std::vector<int> seq = Codes("ACGTTG");
    int* seqs[1] = {seq.data()};
    int lens[1] = {6};
    double bg[20];
    for (double& x : bg) x = std::log(0.25);
    auto rows = [&](bool forward, int pos, bool both) {
        std::vector<SITELIST> sites(1);
        sites[0].push_front(SITEPOS{0, pos, forward});
        Matrix pwm = {std::vector<double>(12)};
        int width[1] = {3};
        FBAdjustMotifWidth(seqs, lens, 1, bg, 1, sites, pwm, width, 5, 5, both);
        EXPECT_EQ(width[0], 5);
        std::vector<int> base(5, -1);  // the counted base of each row, -1 for an empty row
        for (int r = 0; r < 5; ++r)
            for (int b = 0; b < 4; ++b)
                if (pwm[0][4 * r + b] == std::log(1.5) - std::log(3.0)) base[r] = b;
        for (int r = 0; r < 5; ++r) {
            if (base[r] < 0) {
                for (int b = 0; b < 4; ++b) EXPECT_DOUBLE_EQ(pwm[0][4 * r + b], std::log(0.25));
            }
        }
        return base;
    };
    EXPECT_EQ(rows(true, 0, true), (std::vector<int>{-1, 0, 1, 2, 3}));       // A C G T
    EXPECT_EQ(rows(false, 3, true), (std::vector<int>{-1, 1, 0, 0, 1}));      // rc of G T T G: C A A C
    EXPECT_EQ(rows(false, 3, false), (std::vector<int>{2, 3, 3, 2, -1}));     // read forward: G T T G
}

TEST(KfbWidth, DegenerateBoundsStayInRange)
{
    // No sites: every column scores -ln 6, so the narrowest window at start 0 wins.
    std::vector<SITELIST> sites(2);
    double bg[20];
    for (double& x : bg) x = std::log(0.25);
    Matrix pwm(2);
    int width[2] = {4, 9};
    FBAdjustMotifWidth(nullptr, nullptr, 0, bg, 2, sites, pwm, width, 6, 10, true);
    EXPECT_EQ(width[0], 6);
    EXPECT_EQ(width[1], 6);
    // Minimum above maximum, and a minimum below 1: still one admissible width.
    FBAdjustMotifWidth(nullptr, nullptr, 0, bg, 2, sites, pwm, width, 9, 4, true);
    EXPECT_EQ(width[0], 9);
    FBAdjustMotifWidth(nullptr, nullptr, 0, bg, 2, sites, pwm, width, -3, 2, true);
    EXPECT_EQ(width[0], 1);
    EXPECT_EQ(pwm[0].size(), 4u);
}

// ---- the whole sampler ----

namespace {

// Largest average column correlation of two probability matrices over offsets (at least
// minOverlap shared columns) and both orientations of the second.
double BestCorrelation(const std::vector<double>& a, int wa, const std::vector<double>& b, int wb, int minOverlap)
{
    auto corr = [](const double* x, const double* y) {
        double mx = 0.25, my = 0.25, sxy = 0, sxx = 0, syy = 0;
        for (int i = 0; i < 4; ++i) {
            sxy += (x[i] - mx) * (y[i] - my);
            sxx += (x[i] - mx) * (x[i] - mx);
            syy += (y[i] - my) * (y[i] - my);
        }
        return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0.0;
    };
    std::vector<double> rc(b.size());
    for (int j = 0; j < wb; ++j)
        for (int c = 0; c < 4; ++c) rc[4 * j + c] = b[4 * (wb - 1 - j) + 3 - c];
    double best = -1;
    for (const std::vector<double>* m : {&b, static_cast<const std::vector<double>*>(&rc)})
        for (int d = -(wb - 1); d < wa; ++d) {
            double s = 0;
            int n = 0;
            for (int j = 0; j < wa; ++j)
                if (j - d >= 0 && j - d < wb) s += corr(&a[4 * j], &(*m)[4 * (j - d)]), ++n;
            if (n >= minOverlap) best = std::max(best, s / n);
        }
    return best;
}

}  // namespace

TEST(KfbSampler, RecoversAPlantedMotif)
{
    const unsigned seed = TestSeed(4242);
    SeedRandom(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    // 20 sequences of 60 random bases, each with one site of an 8-column motif (each base
    // its consensus with probability 0.9) on a random strand.
    const std::vector<int> consensus = Codes("TTGCAGGA");
    std::mt19937 rng(7);
    std::vector<std::vector<int>> seqs(20, std::vector<int>(60));
    for (auto& s : seqs) {
        for (int& x : s) x = static_cast<int>(rng() % 4);
        std::vector<int> site(8);
        for (int j = 0; j < 8; ++j) site[j] = rng() % 10 < 9 ? consensus[j] : static_cast<int>(rng() % 4);
        if (rng() % 2) Reverse(site.data(), 8);
        const int at = static_cast<int>(rng() % 50);
        for (int j = 0; j < 8; ++j) s[at + j] = site[j];
    }
    std::vector<double> planted(32);
    for (int j = 0; j < 8; ++j)
        for (int b = 0; b < 4; ++b) planted[4 * j + b] = (b == consensus[j] ? 0.9 : 0.0) + 0.025;

    std::vector<int*> ptrs;
    std::vector<int> lens;
    for (auto& s : seqs) ptrs.push_back(s.data()), lens.push_back(60);
    double bg[20];
    BuildBackground(ptrs.data(), lens.data(), 20, bg);
    Matrix pwm(1);
    int width[1] = {8};
    int siteNum[1] = {0};
    KFBSampler(ptrs.data(), lens.data(), 20, pwm, bg, 1, width, true, 6, 10, siteNum);

    ASSERT_GE(width[0], 6);
    ASSERT_LE(width[0], 10);
    ASSERT_EQ(pwm[0].size(), 4u * width[0]);
    std::vector<double> found(pwm[0].size());
    for (size_t i = 0; i < found.size(); ++i) found[i] = std::exp(pwm[0][i]);
    // Seeds 1 to 6 and the default give 0.98 to 0.99.
    EXPECT_GT(BestCorrelation(planted, 8, found, width[0], 6), 0.9);
    EXPECT_GE(siteNum[0], 10);
    EXPECT_LE(siteNum[0], 40);
}

TEST(KfbSampler, FixedWidthBoundsAndDegenerateInput)
{
    SeedRandom(TestSeed(8));
    // Min = max = W: every motif ends with width W, whatever it started with; an empty
    // sequence among the templates is skipped.
    std::vector<int> a = Codes("ACGTTGCANNACGTTGCA"), empty;
    std::vector<int> ten(10, -1);
    int* seqs[3] = {a.data(), empty.data(), ten.data()};
    int lens[3] = {18, 0, 10};
    double bg[20];
    BuildBackground(seqs, lens, 3, bg);
    Matrix pwm(2);
    int width[2] = {4, 9};
    int siteNum[2] = {-1, -1};
    KFBSampler(seqs, lens, 3, pwm, bg, 2, width, true, 5, 5, siteNum);
    EXPECT_EQ(width[0], 5);
    EXPECT_EQ(width[1], 5);
    EXPECT_EQ(pwm[0].size(), 20u);
    EXPECT_EQ(pwm[1].size(), 20u);
    EXPECT_GE(siteNum[0], 0);
    EXPECT_GE(siteNum[1], 0);
    for (double x : pwm[0]) EXPECT_TRUE(std::isfinite(x));

    // No sequences at all: uniform matrices of the minimum width.
    Matrix none(1);
    int w1[1] = {7};
    int n1[1] = {-1};
    KFBSampler(nullptr, nullptr, 0, none, bg, 1, w1, false, 4, 8, n1);
    EXPECT_EQ(w1[0], 4);
    EXPECT_EQ(n1[0], 0);
    for (double x : none[0]) EXPECT_DOUBLE_EQ(x, std::log(0.25));
}
