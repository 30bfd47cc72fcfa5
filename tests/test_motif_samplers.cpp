// Starting motifs and single-species motif samplers: the forward-backward starting-motif
// sampler (forward totals against brute-force enumeration, sampled segmentations against
// exact posteriors, updates by hand, a planted motif), the site sampler and scanner for module
// members, the conserved-word seeds (scores worked by hand on a tiny planted set) and the
// choice of the starting motifs among their matrices by the likelihood.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/MotifMatrix.h"
#include "model/WordSeeds.h"
#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"
#include "support/Model.h"
#include "support/Support.h"

namespace {

using Matrix = std::vector<std::vector<double>>;
using support::Codes;
using support::Consensus;

// A tiny single-species motif model: random log matrices (4j + b), motif-type log
// probabilities (K + 1, last = background) and a random background table.
struct Kfb {
    int K;
    std::vector<int> width;
    bool both;
    Matrix pwm;
    std::vector<double> logPr;
    double bg[20];
    Kfb(std::mt19937& rng, const std::vector<int>& w, bool bothStrands)
        : K(static_cast<int>(w.size())), width(w), both(bothStrands)
    {
        std::uniform_real_distribution<double> u(0.05, 1.0);
        for (int k = 0; k < K; ++k) {
            pwm.emplace_back(4 * width[k]);
            for (int j = 0; j < width[k]; ++j) {
                double p[4], s = 0;
                for (double& x : p) s += (x = u(rng));
                for (int b = 0; b < 4; ++b) pwm[k][4 * j + b] = std::log(p[b] / s);
            }
        }
        double s = 0;
        for (int k = 0; k <= K; ++k) s += logPr.emplace_back(u(rng));
        for (double& x : logPr) x = std::log(x / s);
        for (double& x : bg) x = std::log(u(rng));  // the oracles need no normalised table
    }
};

// Background value of position i, written from the definition.
double BgAt(const std::vector<int>& seq, int i, const double* bg)
{
    if (i == 0) return serevan::IsBase(seq[0]) ? bg[seq[0]] : -1.386;
    if (!serevan::IsBase(seq[i - 1]) || !serevan::IsBase(seq[i])) return -1.386;
    return bg[4 + 4 * seq[i - 1] + seq[i]];
}

// Every segmentation of seq[pos..] with its probability, keyed by its sites ("motif@start+"
// or "-" for the reverse strand), each strand enumerated on its own.
void Enumerate(const std::vector<int>& seq, const Kfb& m, int pos, double logp, const std::string& key,
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
        if (!std::all_of(win.begin(), win.end(), serevan::IsBase)) continue;
        const std::string site = key + std::to_string(k) + "@" + std::to_string(pos);
        const double pr = logp + m.logPr[k] + (m.both ? -0.6931 : 0.0);
        const double* mat = m.pwm[k].data();
        Enumerate(seq, m, pos + w, pr + CalLogMotifPr(win.data(), mat, w), site + "+ ", out);
        if (m.both) Enumerate(seq, m, pos + w, pr + CalLogMotifPr(Reverse(win.data(), w), mat, w), site + "- ", out);
    }
}

double Sum(const std::map<std::string, double>& m)
{
    double s = 0;
    for (const auto& kv : m) s += kv.second;
    return s;
}

// What a backward pass drew: base and segment counts, the site lists of every motif, and
// the sites as one key in the form of Enumerate, by position.
struct Draws {
    std::vector<std::vector<int>> count;
    std::vector<int> siteNum;
    std::vector<SITELIST> sites;
    explicit Draws(const Kfb& m) : count(m.K), siteNum(m.K + 1), sites(m.K)
    {
        for (int k = 0; k < m.K; ++k) count[k].assign(4 * m.width[k], 0);
    }
    std::string Key() const
    {
        std::map<int, std::string> byPos;
        for (size_t k = 0; k < sites.size(); ++k)
            for (const SITEPOS& s : sites[k])
                byPos[s.pos] = std::to_string(k) + "@" + std::to_string(s.pos) + (s.forward ? "+ " : "- ");
        std::string key;
        for (const auto& [pos, text] : byPos) key += text;
        return key;
    }
};

}  // namespace

// ---------------------------------------------------------------- forward-backward sampler

// The log-space forward total against the enumeration of every segmentation (96 short
// cases), and the scaled linear passes that KFBSampler runs against the log-space ones: the
// same log-likelihood to 1e-12 (relative) and the same segmentation drawn from the same
// stream, also on random sequences with undetermined bases, up to 6,000 bases (totals far
// below 2^-1074).
TEST(KfbForward, TotalEqualsBruteForceEnumerationAndTheLinearPassesDrawAlike)
{
    std::mt19937 rng(5);
    std::vector<std::pair<Kfb, std::vector<int>>> cases;
    // Undetermined bases, a sequence of them only (the stand-in template) and the empty one.
    for (bool both : {false, true})
        for (const std::vector<int>& w : {std::vector{1}, {2}, {3}, {1, 2}, {3, 2}, {2, 2}})
            for (const char* text : {"ACGTAGC", "GATNCAT", "NACGTN", "TTT", "A", "CCGGAT", "NNNNN", ""})
                cases.emplace_back(Kfb(rng, w, both), Codes(text));
    const int nShort = static_cast<int>(cases.size());
    rng.seed(23);
    for (int c = 0; c < 60; ++c) {
        std::vector<int> w(1 + c % 3);
        for (int& x : w) x = 1 + static_cast<int>(rng() % 14);
        // Width 100 against a background of e^-10 a base: with columns of 2e-3 the totals fall
        // by about 2^900 over a site; with 1e-4 a window's probability (1e-400) leaves the
        // range of a double, which the scores report so that the log-space passes serve.
        if (c == 2 || c == 3) w = {100};
        Kfb m(rng, w, c % 2 == 0);
        if (c == 2 || c == 3) {
            for (double& x : m.pwm[0]) x = std::log(c == 2 ? 1e-4 : 2e-3);
            for (double& x : m.bg) x = -10.0;
        }
        const int len = c == 0 ? 0 : c == 1 ? 6000 : c <= 3 ? 300 : static_cast<int>(rng() % 400);
        std::vector<int> seq(len);
        for (int& b : seq) b = rng() % 50 == 0 && (c < 2 || c > 3) ? 4 : static_cast<int>(rng() % 4);
        cases.emplace_back(m, seq);
    }
    for (int c = 0; c < static_cast<int>(cases.size()); ++c) {
        const auto& [m, seq] = cases[c];
        const int len = static_cast<int>(seq.size());
        std::vector<double> P(len * (2 * m.K + 1) + 1), F(len * (m.K + 2) + 1), PL(len * 2 * m.K + 1),
            G(len * (m.K + 2) + 1), bgLin(len + 1), pr(m.K + 1);
        std::vector<int> E(len + 1);
        CalLogPrPos(P.data(), seq.data(), len, m.pwm, 0, m.width.data(), m.K, m.bg, m.both);
        const double ref = ForwardSummation(F.data(), P.data(), m.logPr.data(), len, m.width.data(), m.K, m.both);
        if (c < nShort) {
            std::map<std::string, double> seg;
            Enumerate(seq, m, 0, 0.0, "", seg);
            EXPECT_NEAR(ref, std::log(Sum(seg)), 1e-9) << "case " << c;
        }
        Matrix lin = m.pwm;
        for (auto& row : lin)
            for (double& x : row) x = std::exp(x);
        for (int k = 0; k <= m.K; ++k) pr[k] = std::exp(m.logPr[k]);
        KfbLinearBackground(bgLin.data(), seq.data(), len, m.bg);
        std::vector<int> code(len + 1);
        KfbLinearCodes(code.data(), seq.data(), len);
        const bool exact = KfbLinearScores(PL.data(), seq.data(), code.data(), len, lin, m.width.data(), m.K, m.both);
        ASSERT_EQ(exact, c != nShort + 2) << "case " << c;
        if (!exact) continue;
        const double got =
            KfbLinearForward(G.data(), E.data(), PL.data(), bgLin.data(), pr.data(), len, m.width.data(), m.K, m.both);
        ASSERT_NEAR(got, ref, 1e-12 * std::max(1.0, std::abs(ref))) << "case " << c;
        Draws d[2] = {Draws(m), Draws(m)};
        SeedRandom(c + 1);
        BackwardSampling(TestStream(), F.data(), P.data(), seq.data(), len, 3, m.width.data(), m.K, d[0].count,
                         d[0].siteNum.data(), d[0].sites);
        SeedRandom(c + 1);
        KfbLinearBackward(TestStream(), G.data(), PL.data(), seq.data(), len, 3, m.width.data(), m.K, d[1].count,
                          d[1].siteNum.data(), d[1].sites);
        EXPECT_EQ(d[0].count, d[1].count) << "case " << c;
        EXPECT_EQ(d[0].siteNum, d[1].siteNum) << "case " << c;
        EXPECT_EQ(d[0].Key(), d[1].Key()) << "case " << c;
    }
}

// Sampled segmentations of tiny sequences against exact posteriors from the enumeration.
// With n draws each frequency may stray 5 binomial sd, 5 sqrt(p(1-p)/n), from its p
// (n = 20000, p = 0.5: 5 sd = 0.018).
TEST(KfbBackwardStat, FrequenciesMatchExactPosteriors)
{
    support::TestSeed seed(20240607);
    std::mt19937 rng(17);
    const int n = 20000;
    for (const auto& [width, both, text] : {std::tuple{std::vector{2}, true, "ACGTTG"},
                                            {{1, 3}, false, "GANCTT"},
                                            {{2, 3}, true, "TGCAT"},
                                            {{1, 2}, true, "NNN"}}) {
        Kfb m(rng, width, both);
        m.logPr.assign(m.K, std::log(0.3 / m.K));  // sites likely enough that many segmentations carry weight
        m.logPr.push_back(std::log(0.7));
        std::vector<int> seq = Codes(text);
        const int len = static_cast<int>(seq.size());
        std::vector<double> P(len * (2 * m.K + 1)), F(len * (m.K + 2));
        CalLogPrPos(P.data(), seq.data(), len, m.pwm, 0, m.width.data(), m.K, m.bg, both);
        std::map<std::string, double> exact;
        Enumerate(seq, m, 0, 0.0, "", exact);
        std::map<std::string, int> seen;
        for (int d = 0; d < n; ++d) {
            ForwardSummation(F.data(), P.data(), m.logPr.data(), len, m.width.data(), m.K, both);
            Draws got(m), expect(m);
            BackwardSampling(TestStream(), F.data(), P.data(), seq.data(), len, 4, m.width.data(), m.K, got.count,
                             got.siteNum.data(), got.sites);
            // Every position once, as background or inside one site; each site counted on its strand.
            int covered = got.siteNum[m.K];
            for (int k = 0; k < m.K; ++k) {
                // The sequence is walked backward and sites pushed at the front: positions rise.
                EXPECT_TRUE(std::is_sorted(got.sites[k].begin(), got.sites[k].end(),
                                           [](const SITEPOS& a, const SITEPOS& b) { return a.pos < b.pos; }));
                covered += m.width[k] * got.siteNum[k];
                for (const SITEPOS& s : got.sites[k]) {
                    EXPECT_EQ(s.seq, 4);
                    std::vector<int> win(seq.begin() + s.pos, seq.begin() + s.pos + m.width[k]);
                    if (!s.forward) Reverse(win.data(), m.width[k]);
                    for (int j = 0; j < m.width[k]; ++j) ++expect.count[k][4 * j + win[j]];
                }
            }
            ASSERT_EQ(covered, len);
            ASSERT_EQ(got.count, expect.count);
            ++seen[got.Key()];
        }
        for (const auto& [key, cnt] : seen) EXPECT_TRUE(exact.count(key)) << "impossible segmentation " << key;
        for (const auto& [key, w] : exact) {
            const double p = w / Sum(exact);
            const double f = static_cast<double>(seen[key]) / n;
            EXPECT_NEAR(f, p, 5 * std::sqrt(p * (1 - p) / n) + 1e-12) << text << " [" << key << "]";
        }
    }
}

TEST(KfbUpdate, ValuesByHand)
{
    const std::vector<int> width = {1, 2};
    const int siteNum[3] = {3, 1, 20};  // T = 24, denominator T + 2 = 26
    const std::vector<std::vector<int>> count = {{3, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}};
    Matrix cur = {std::vector<double>(4), std::vector<double>(8)};
    double logPr[3];
    UpdateParameter(logPr, cur, siteNum, count, 2, width.data());
    const double got[] = {logPr[0], logPr[2], cur[0][0], cur[0][1], cur[1][0], cur[1][5]};
    const double expect[] = {3.5 / 26, 20.5 / 26, 3.5 / 5, 0.5 / 5, 1.5 / 3, 0.5 / 2};  // pseudocounts 0.5
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(got[i], std::log(expect[i])) << i;
}

TEST(KfbSamplerStat, RecoversAPlantedMotif)
{
    support::TestSeed seed(4242);
    // 20 sequences of 60 random bases, each with one site of an 8-column motif (each base
    // its consensus with probability 0.9) on a random strand.
    const std::vector<int> consensus = Codes("TTGCAGGA");
    std::mt19937 rng(seed);
    std::vector<std::vector<int>> seqs(20, std::vector<int>(60));
    std::vector<int*> ptrs;
    for (auto& s : seqs) {
        for (int& x : s) x = static_cast<int>(rng() % 4);
        std::vector<int> site(8);
        for (int j = 0; j < 8; ++j) site[j] = rng() % 10 < 9 ? consensus[j] : static_cast<int>(rng() % 4);
        if (rng() % 2) Reverse(site.data(), 8);
        std::copy(site.begin(), site.end(), s.begin() + rng() % 50);
        ptrs.push_back(s.data());
    }
    const std::vector<int> lens(20, 60);
    double bg[20];
    BuildBackground(ptrs.data(), lens.data(), 20, bg);
    Matrix pwm(1);
    int width[1] = {8};
    int siteNum[1] = {0};
    KFBSampler(TestStream(), ptrs.data(), lens.data(), 20, pwm, bg, 1, width, true, 6, 10, siteNum);
    ASSERT_TRUE(width[0] >= 6 && width[0] <= 10) << width[0];
    ASSERT_EQ(pwm[0].size(), 4u * width[0]);
    EXPECT_TRUE(siteNum[0] >= 10 && siteNum[0] <= 40) << siteNum[0];
    // The found matrix, on either strand, correlates with the planted one column by column.
    sertools::Motif planted, found;
    planted.p = Consensus("TTGCAGGA", 0.9, false);
    for (double x : pwm[0]) found.p.push_back(std::exp(x));
    EXPECT_GE(sertools::CompareMotifs(planted, found).score, 0.8);
}

// ---------------------------------------------------------------- site sampler and scanner

namespace {

// The chosen site of every sequence by the sampler or the scanner, as "position+" or "position-".
std::string Place(bool sample, const std::vector<std::string>& texts, std::vector<double>& mat, bool both)
{
    std::vector<std::vector<int>> codes;
    std::vector<int*> ptr;
    std::vector<int> len, pos(texts.size());
    for (const std::string& t : texts) codes.push_back(Codes(t)), len.push_back(static_cast<int>(t.size()));
    for (auto& c : codes) ptr.push_back(c.data());
    auto strand = std::make_unique<bool[]>(texts.size());
    const std::vector<double> bg(20, std::log(0.25));
    const int n = static_cast<int>(texts.size()), w = static_cast<int>(mat.size() / 4);
    if (sample)
        SimpleSampler(TestStream(), ptr.data(), len.data(), n, mat.data(), bg.data(), w, both, pos.data(),
                      strand.get());
    else
        SimpleScanner(ptr.data(), len.data(), n, mat.data(), bg.data(), w, both, pos.data(), strand.get());
    std::string s;
    for (size_t i = 0; i < texts.size(); ++i) s += std::to_string(pos[i]) + (strand[i] ? "+ " : "- ");
    return s;
}

}  // namespace

TEST(SiteScannerAndSampler, BestWindowEarliestOnTiesGivenStrandFirstAndSmoothedMatrix)
{
    struct Case {
        bool sample;
        std::vector<std::string> texts;
        std::string motif;
        bool both;
        std::string sites;
        double hi = 0, lo = 0;  // matrix after the sampler: hi for column k's base k, lo otherwise
    };
    // TGTAATC is the reverse complement of GATTACA, ACGT its own one. The sampler's sequences
    // hold one window and no flank, so no shift is tried; an undetermined one adds nothing.
    const Case cases[] = {
        {false, {"TTTTGATTACATTT", "CCCTGTAATCCCCC"}, "GATTACA", true, "4+ 3- "},
        {false, {"TTTTGATTACATTT", "CCCTGTAATCCCCC"}, "GATTACA", false, "4+ 6+ "},
        {false, {"NNNNNNNNNN", "TGTAATC", "GATT"}, "GATTACA", true, "0+ 0- 0+ "},  // no base; w long; too short
        {false, {"GACTAC"}, "AC", true, "1+ "},
        {false, {"TTACGTTT"}, "ACGT", true, "2+ "},
        {false, {"TTGCAGT"}, "NNN", true, "0+ "},  // every window scores 0
        {true, {"ACGT", "ACGT", "ACGT"}, "NNNN", false, "0+ 0+ 0+ ", 1.01 / 1.04, 0.01 / 1.04},
        {true, {"ACGT", "NNNNNN"}, "ACGT", false, "0+ 0+ ", 1.02 / 2.08, 0.02 / 2.08},
        {true, {"TGTAATC", "GATTACA"}, "GATTACA", true, "0- 0+ "},
    };
    for (const Case& c : cases) {
        SeedRandom(7);
        std::vector<double> mat = Consensus(c.motif, 0.97);
        EXPECT_EQ(Place(c.sample, c.texts, mat, c.both), c.sites) << c.motif << " " << c.both;
        for (int k = 0; c.hi > 0 && k < 4; ++k)
            for (int b = 0; b < 4; ++b) EXPECT_NEAR(mat[4 * k + b], std::log(b == k ? c.hi : c.lo), 1e-14) << k << b;
    }
}

// The starting matrix matches columns 1..7 of the planted 8-mer and is uniform in column 7,
// so the first pass draws every site one base to the right; the left shift onto the conserved
// flank is then accepted and the planted windows, scoring strictly higher, are returned (a
// sampler judging the set after its shift would keep the first positions).
TEST(SimpleSamplerStat, ShiftMoveFindsAPlantedMotifOneColumnOff)
{
    support::TestSeed seed(4242);
    std::mt19937 rng(seed);
    for (int rep = 0; rep < 5; ++rep) {
        std::vector<std::string> texts;
        for (int i = 0; i < 20; ++i)
            texts.push_back(support::RandomDna(rng, 6 + i % 5) + "CAGGTCTA" + support::RandomDna(rng, 24 - i % 5));
        std::vector<double> mat = Consensus("AGGTCTAN", 0.97);
        std::istringstream placed(Place(true, texts, mat, false));
        for (const std::string& t : texts) {  // the planted window, or a chance copy of the motif
            int pos;
            char strand;
            placed >> pos >> strand;
            EXPECT_EQ(t.substr(pos, 8) + strand, "CAGGTCTA+") << rep << " " << pos;
        }
        for (int k = 0; k < 8; ++k)  // the planted motif: seen base (20 + 0.2) / 20.8
            EXPECT_NEAR(mat[4 * k + NucleotideCode("CAGGTCTA"[k])], std::log(20.2 / 20.8), 1e-12) << k;
    }
}

// ---------------------------------------------------------------- conserved-word seeds

namespace {

// Two species per group, written as species 0 with its conserved pieces in upper case: species
// 1 has the same bases there and another base (A->C->G->T->A) everywhere else, so the
// conserved windows are exactly those inside the pieces. Three stored alignments: two without
// gaps and, outvoted, one that pairs every base with the next one of species 1.
ModelGroups TwoSpecies(const std::vector<std::string>& groups)
{
    ModelGroups d;
    d.N = 2, d.G = static_cast<int>(groups.size()), d.A = 3;
    d.seq.resize(2 * groups.size());
    for (int g = 0; g < d.G; ++g) {
        std::string self, other;
        for (char c : groups[g]) {
            self += static_cast<char>(std::toupper(c));
            other += std::isupper(c) ? c : "CGTA"[NucleotideCode(self.back())];
        }
        for (const auto& rows : {std::vector<std::string>{self, other}, {self, other}, {"-" + self, other + "-"}}) {
            std::vector<std::vector<int>> codes{Codes(rows[0]), Codes(rows[1])}, seq;
            std::vector<int> len;
            EXPECT_TRUE(AlignmentToPath(codes, 2, d.alignPath.emplace_back(), len, seq));
            d.seq[g] = seq[0], d.seq[d.G + g] = seq[1];
        }
    }
    return d;
}

// P(at least k of the groups hold the word) by enumerating every subset of the groups.
double TailBySubsets(const std::vector<double>& pr, int k)
{
    double tail = 0;
    for (unsigned m = 0; m < 1u << pr.size(); ++m) {
        double p = std::popcount(m) >= k;
        for (size_t g = 0; g < pr.size(); ++g) p *= (m >> g & 1) ? pr[g] : 1 - pr[g];
        tail += p;
    }
    return tail;
}

}  // namespace

// X = ACGTTG is planted conserved in groups 0, 1 (twice) and (as its reverse complement CAACGT) 2,
// Y = GATCCA conserved in groups 0 and 3, and a conserved run of ten T in every group. Under
// a uniform background a 6-mer or its reverse complement fills a window with p = 2 / 4^6;
// group g, holding n_g conserved windows (the run holds five), holds it with 1 - (1 - p)^n_g,
// and the score is -ln P(at least the observed groups). The run ranks nowhere (TTTTTT is
// low-complexity); X unconserved in groups 1 and 2 ranks below Y; one strand splits X.
TEST(ConservedWords, PlantedWordScoresWorkedByHand)
{
    const std::vector<std::string> planted = {"ccaACGTTGcaGATCCAcgTTTTTTTTTTgc", "gaACGTTGtACGTTGtcTTTTTTTTTTag",
                                              "tCAACGTcgaTTTTTTTTTTcc", "aGATCCAgTTTTTTTTTTcg"};
    std::vector<std::string> unconserved = planted;
    unconserved[1] = "gaacgttgtacgttgtcTTTTTTTTTTag", unconserved[2] = "tcaacgtcgaTTTTTTTTTTcc";
    struct Case {
        std::vector<std::string> groups;
        bool both;
        std::vector<int> windows;                       // n_g
        std::vector<std::pair<std::string, int>> want;  // ranked words and their groups
    };
    const Case cases[] = {
        {planted, true, {7, 7, 6, 6}, {{"ACGTTG", 3}, {"GATCCA", 2}}},
        {unconserved, true, {7, 5, 5, 6}, {{"GATCCA", 2}, {"ACGTTG", 1}}},
        {planted, false, {7, 7, 6, 6}, {{"ACGTTG", 2}, {"GATCCA", 2}, {"CAACGT", 1}}},
    };
    CMarkovBackground uniform;
    uniform.SetFromJoint({{1, 1, 1, 1}});
    WordSeedSettings set;
    set.minWord = set.maxWord = 6, set.minGroups = 1;
    for (const Case& c : cases) {
        set.bothStrands = c.both;
        const std::vector<ConservedWord> got = ConservedWords(TwoSpecies(c.groups), uniform, set);
        ASSERT_EQ(got.size(), c.want.size()) << c.both;
        std::vector<double> pr;
        for (int n : c.windows) pr.push_back(1 - std::pow(1 - (c.both ? 2.0 : 1.0) / 4096, n));
        for (size_t r = 0; r < got.size(); ++r) {
            EXPECT_EQ(got[r].Text(), c.want[r].first) << r;
            EXPECT_EQ(got[r].groups, c.want[r].second) << r;
            EXPECT_NEAR(got[r].expected, pr[0] + pr[1] + pr[2] + pr[3], 1e-15) << r;
            EXPECT_NEAR(got[r].score, -std::log(TailBySubsets(pr, c.want[r].second)), 1e-9) << r;
        }
    }
    // Nor do pieces of a dinucleotide repeat conserved in every group.
    set.bothStrands = true;
    EXPECT_TRUE(
        ConservedWords(TwoSpecies({"tACACACACg", "cACACACACt", "gACACACACa", "aACACACACc"}), uniform, set).empty());
    // Every species' window of every conserved occurrence, read on its strand.
    const ModelGroups d = TwoSpecies(planted);
    const std::vector<ConservedWord> ranked = ConservedWords(d, uniform, set);
    std::string sites;
    for (const WordSite& s : ranked[0].sites)
        sites += std::to_string(s.slot) + "@" + std::to_string(s.pos) + (s.forward ? "+ " : "- ");
    EXPECT_EQ(sites, "0@3+ 4@3+ 1@2+ 5@2+ 1@9+ 5@9+ 2@1- 6@1- ");

    // Matrices: X's, then Y's, then uniform ones; `first` skips from the top.
    for (int first : {0, 1}) {
        std::vector<std::vector<double>> pwm;
        std::vector<int> width, used;
        EXPECT_EQ(SeedMatrices(d, uniform, ranked, set, 3, first, 6, 8, pwm, width, &used), 2 - first);
        EXPECT_EQ(used, first ? std::vector<int>({1, -1, -1}) : std::vector<int>({0, 1, -1}));
        ASSERT_EQ(pwm.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(width[k] >= 6 && width[k] <= 8) << width[k];
            ASSERT_EQ(pwm[k].size(), 4u * width[k]);
            std::string consensus;
            for (int j = 0; j < width[k]; ++j) consensus += "ACGT"[Maximum(&pwm[k][4 * j], 4)];
            for (double x : pwm[k]) EXPECT_TRUE(std::isfinite(x) && x < 0) << k;
            const std::string word = used[k] < 0 ? "" : ranked[used[k]].Text();
            EXPECT_NE(consensus.find(word), std::string::npos) << consensus;
        }
        EXPECT_EQ(pwm[2], std::vector<double>(28, std::log(0.25)));
    }
}

// Shifted or slightly different copies of one motif, on either strand, are one word.
TEST(ConservedWords, SimilarWordsOverlapWithAtMostOneMismatch)
{
    const std::tuple<std::string, std::string, bool, bool> rows[] = {
        {"ACGTTG", "ACCTTG", true, true},      // one mismatch in full overlap
        {"ACGTTG", "CGTTGA", true, true},      // shifted by one
        {"ACGTTGCA", "TTGCA", true, true},     // contained
        {"ACGTTG", "AGCTTG", true, false},     // two mismatches
        {"ACGTTGCA", "GCAACGTA", true, true},  // the reverse complement shifted
        {"ACGTTGCA", "GCAACGTA", false, false}, {"ACGTTG", "TGCCAA", true, false},
    };
    for (const auto& [a, b, both, similar] : rows) {
        EXPECT_EQ(WordsSimilar(Codes(a), Codes(b), both), similar) << a << " " << b << " " << both;
        EXPECT_EQ(WordsSimilar(Codes(b), Codes(a), both), similar) << b << " " << a << " " << both;
    }
}

// The starting motifs chosen among word matrices by the likelihood: on groups where two
// planted words share modules, the chain's first motif is its first-th best single matrix and
// the second the one that, beside it, gives the highest forward likelihood (both recomputed
// here with the parameters set by hand), whatever the starting matrices; a candidate is taken
// once; the planted pair wins from the best single on; the segment probabilities end as they
// started; the gain is over the starting matrices.
TEST(WordChoice, FirstTheChainsSingleThenTheBestBesideIt)
{
    std::mt19937 rng(7);
    std::vector<std::vector<std::vector<std::string>>> alignments;
    for (int g = 0; g < 8; ++g) {
        std::string s = support::RandomDna(rng, 120);
        if (g < 6) s.replace(30, 8, "GATTACAG"), s.replace(50, 8, "CCGGTAAC");
        alignments.push_back({{s, s}});
    }
    const std::vector<std::string> words = {"ACTGGACT", "GATTACAG", "TCAAGCGT", "CCGGTAAC"};
    const int K = 2;
    struct Case {
        int first, M;  // the chain's first pick; candidates: the first M words
        int start;     // word whose matrix motif 2 starts from (-1: uniform)
    };
    for (const Case& t :
         {Case{0, 4, -1}, Case{1, 4, -1}, Case{5, 4, -1}, Case{0, 4, 1}, Case{0, 4, 3}, Case{0, 2, -1}}) {
        SCOPED_TRACE(::testing::Message() << "first " << t.first << ", M " << t.M << ", start " << t.start);
        support::ModelSetup setup;
        setup.K = K;
        setup.start.width = {10, t.start < 0 ? 10 : 8};
        setup.start.pwm = {std::vector<double>(40, std::log(0.25)),
                           t.start < 0 ? std::vector<double>(40, std::log(0.25)) : Consensus(words[t.start], 0.85)};
        for (int c = 0; c < t.M; ++c) {
            setup.start.wordPwm.push_back(Consensus(words[c], 0.85));
            setup.start.wordWidth.push_back(8);
            setup.start.word.push_back(Codes(words[c]));
        }
        setup.start.wordFirst = t.first;
        std::unique_ptr<support::Model> x = support::GroupsModel(alignments, setup);
        CSerevan& m = x->m;
        using P = support::P;
        ModelParameters& par = P::Par(m);
        const std::vector<double> startPr = par.m_pMotifPr;
        const std::vector<std::vector<double>> startPwm = par.m_pPWM;
        const std::vector<int> startWidth = par.m_pMotifWidth;
        // Log-likelihood with the given candidates in the first slots, the others without sites
        // (no candidate: the starting matrices and probabilities).
        const auto logLik = [&](const std::vector<int>& slots) {
            double used = 0;
            for (int k = 0; k < K; ++k) {
                const bool placed = k < static_cast<int>(slots.size());
                par.m_pMotifWidth[k] = placed ? 8 : startWidth[k];
                P::RenewWdParameters(m, k, 0);
                par.m_pPWM[k] = placed ? Consensus(words[slots[k]], 0.85) : startPwm[k];
                par.m_pMotifPr[k] = slots.empty() || placed ? startPr[k] : -1e100;
                used += slots.empty() || placed ? std::exp(startPr[k]) : 0;
            }
            par.m_pMotifPr[K] = std::log(1 - used);
            P::CalMotifPhi(m);
            return P::SelectionLogLik(m);
        };
        const double before = logLik({});
        std::vector<std::pair<double, int>> single;
        for (int c = 0; c < t.M; ++c) single.emplace_back(logLik({c}), c);
        std::stable_sort(single.begin(), single.end(), [](auto& a, auto& b) { return a.first > b.first; });
        const int one = single[t.first % t.M].second;
        int two = -1;
        double best = -1e300;
        for (int c = 0; c < t.M; ++c)
            if (c != one && logLik({one, c}) > best) best = logLik({one, c}), two = c;
        const double after = logLik({one, two});
        if (t.first == 0 && t.M == 4) {  // the planted pair, whichever of the two alone is better
            EXPECT_TRUE((one == 1 && two == 3) || (one == 3 && two == 1)) << one << " " << two;
            EXPECT_GT(after, before + 10);
        }
        // A second copy of the planted word would explain more than the decoy left.
        if (t.M == 2) {
            EXPECT_GT(logLik({1, 1}), after);
        }

        logLik({});
        par.m_pMotifPr = startPr;
        P::ChooseStartWords(m);
        EXPECT_EQ(P::Choice(m).chosen, std::vector<int>({one, two}));
        EXPECT_EQ(par.m_pMotifPr, startPr);
        for (int k = 0; k < K; ++k) {
            EXPECT_EQ(par.m_pMotifWidth[k], 8);
            EXPECT_EQ(par.m_pPWM[k], Consensus(words[k == 0 ? one : two], 0.85));
        }
        EXPECT_NEAR(P::Choice(m).gain, after - before, 1e-6 * std::fabs(before));
    }
}
