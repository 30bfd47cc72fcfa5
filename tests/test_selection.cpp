// Motif selection: the planted motif against decoys, the result lines, ties, progress lines,
// the state left in the slot, and the log-likelihood ratios against models built directly
// (K = 1, where the slot is motif 0 itself, and K = 2 with unequal probabilities).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "model/Serevan.h"
#include "model_fixture.h"
#include "numeric/SeqMotifBasic.h"

namespace {

using testutil::ReadFile;
using testutil::TempDir;

constexpr char kPlanted[] = "TGCATTAG";  // consensus of the planted motif (not a palindrome)

// Log matrix with probability hit on the consensus base of every column, the rest shared.
std::vector<double> ConsensusMatrix(const std::string& consensus, double hit)
{
    std::vector<double> m;
    for (char c : consensus)
        for (int b = 0; b < 4; ++b) m.push_back(std::log(b == modeltest::Code(c) ? hit : (1.0 - hit) / 3.0));
    return m;
}

std::vector<double> RandomMatrix(std::mt19937& rng, int w)
{
    std::uniform_real_distribution<double> U(0.05, 1.0);
    std::vector<double> m;
    for (int j = 0; j < w; ++j) {
        double v[4], sum = 0;
        for (double& x : v) sum += (x = U(rng));
        for (double x : v) m.push_back(std::log(x / sum));
    }
    return m;
}

// G groups of two identical species of length 120 over the given letters, with the planted
// consensus at 40 and 80 when planted; one stored alignment per group (all columns aligned).
struct Data {
    std::vector<std::vector<int>> seq;  // slot s*G + g
    std::vector<int*> ptr;
    std::vector<int> len;
    std::vector<CString> names;
    std::vector<ALIGNPATH> paths;
    int G = 0;
};

std::unique_ptr<Data> MakeData(int G, bool planted, const std::string& letters, unsigned seed)
{
    auto d = std::make_unique<Data>();
    d->G = G;
    std::mt19937 rng(seed);
    d->seq.resize(2 * G);
    for (int g = 0; g < G; ++g) {
        std::string x;
        for (int i = 0; i < 120; ++i) x += letters[rng() % letters.size()];
        if (planted) x.replace(40, 8, kPlanted), x.replace(80, 8, kPlanted);
        std::vector<std::vector<int>> aligned(2);
        for (char c : x) aligned[0].push_back(modeltest::Code(c));
        aligned[1] = aligned[0];
        ALIGNPATH path;
        std::vector<int> seqLen;
        std::vector<std::vector<int>> seq;
        EXPECT_TRUE(AlignmentToPath(aligned, 2, path, seqLen, seq));
        d->seq[g] = seq[0];
        d->seq[G + g] = seq[1];
        d->paths.push_back(path);
    }
    for (std::vector<int>& x : d->seq) {
        d->ptr.push_back(x.data());
        d->len.push_back(static_cast<int>(x.size()));
        d->names.emplace_back("seq");
    }
    return d;
}

// A model over the data as the selection driver builds it: module entry 0.0005, the given
// plain motif probabilities (K + 1), uniform matrices of width 8 unless pwm is given.
void Prepare(CSerevan& m, Data& d, const std::vector<double>& motifPr, const std::string& outFile,
             std::vector<std::vector<double>> pwm = {})
{
    const int K = static_cast<int>(motifPr.size()) - 1;
    std::vector<int> width;
    for (int k = 0; k < K; ++k) {
        if (static_cast<int>(pwm.size()) <= k) pwm.emplace_back(32, std::log(0.25));
        width.push_back(static_cast<int>(pwm[k].size() / 4));
    }
    std::vector<double*> views;
    for (std::vector<double>& x : pwm) views.push_back(x.data());
    INPUTPARAMETER p;
    p.nSpeciesNum = 2;
    p.nMotifNum = K;
    p.strOutputFile = outFile.c_str();
    m.SetProgramParam(&p);
    m.InitialSeq(2, d.G, d.ptr.data(), d.len.data(), d.names.data(), nullptr, nullptr);
    m.Initialize(width.data());
    m.InitialParameter(0.0005, motifPr.data(), views.data(), 0.1, 0.02);
    m.GetAlignPath(d.paths.data(), nullptr, nullptr, 1);
}

// Forward log-likelihood of all groups on a model, nothing drawn.
double LogLik(CSerevan& m)
{
    m.MSBuildBackground();
    double total = 0;
    for (int g = 0; g < m.m_nGroupNum; ++g) total += m.SampleSeqGivenPath(g, -1);
    return total;
}

struct Candidates {
    std::vector<std::vector<double>> pwm;
    std::vector<int> width;
    std::vector<CString> names;
    void Add(const std::string& name, const std::vector<double>& m)
    {
        pwm.push_back(m);
        width.push_back(static_cast<int>(m.size() / 4));
        names.emplace_back(name.c_str());
    }
    bool Run(CSerevan& model)
    {
        std::vector<double*> views;
        for (std::vector<double>& x : pwm) views.push_back(x.data());
        return model.MotifSelection(views.data(), width.data(), static_cast<int>(pwm.size()), names.data());
    }
};

// The result lines: "\n\nMax LLR motif = b name", then "\ni\tLLR\twidth\tname" per candidate.
struct Result {
    std::string head;  // the first result line, without the two leading line feeds
    std::vector<double> llr;
    std::vector<int> width;
    std::vector<std::string> names;
};

Result Parse(const std::string& text)
{
    Result r;
    EXPECT_EQ(text.substr(0, 2), "\n\n");
    std::istringstream in(text.substr(2));
    std::getline(in, r.head);
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        int index = 0, w = 0;
        double v = 0;
        std::string name;
        f >> index >> v >> w;
        f.get();  // the tab before the name
        std::getline(f, name);
        EXPECT_EQ(index, static_cast<int>(r.llr.size()) + 1);
        r.llr.push_back(v);
        r.width.push_back(w);
        r.names.push_back(name);
    }
    return r;
}

std::vector<double> Shuffled(const std::vector<double>& m, const std::vector<int>& order)
{
    std::vector<double> out;
    for (int j : order) out.insert(out.end(), m.begin() + 4 * j, m.begin() + 4 * j + 4);
    return out;
}

}  // namespace

TEST(MotifSelection, PlantedMotifBeatsDecoys)
{
    TempDir dir("select");
    auto d = MakeData(4, true, "ACGT", 1);
    CSerevan m;
    Prepare(m, *d, {0.01, 0.01, 0.98}, dir.File("s.txt"));
    std::mt19937 rng(2);
    const std::vector<double> planted = ConsensusMatrix(kPlanted, 0.85);
    Candidates c;
    c.Add("shuffled", Shuffled(planted, {3, 0, 6, 1, 7, 2, 5, 4}));
    c.Add("random", RandomMatrix(rng, 8));
    c.Add("planted motif", planted);
    c.Add("random wide", RandomMatrix(rng, 12));
    ASSERT_TRUE(c.Run(m));

    const std::string text = ReadFile(dir.File("s.txt"));
    EXPECT_NE(text.back(), '\n');  // no line feed after the last name
    const Result r = Parse(text);
    EXPECT_EQ(r.head, "Max LLR motif = 3 planted motif");
    ASSERT_EQ(r.llr.size(), 4u);
    EXPECT_EQ(r.width, (std::vector<int>{8, 8, 8, 12}));
    EXPECT_EQ(r.names[2], "planted motif");
    EXPECT_GT(r.llr[2], 20.0);  // eight planted sites
    for (int i : {0, 1, 3}) EXPECT_LT(r.llr[i], r.llr[2] - 15.0) << r.names[i];
}

TEST(MotifSelection, NoPositiveRatioReportsZero)
{
    // Sequences of A and T only, candidates of C and G (so on both strands): every
    // candidate costs likelihood.
    TempDir dir("select");
    auto d = MakeData(3, false, "AT", 3);
    CSerevan m;
    Prepare(m, *d, {0.01, 0.01, 0.98}, dir.File("s.txt"));
    Candidates c;
    c.Add("gc", ConsensusMatrix("GCGGCC", 0.97));
    c.Add("cg", ConsensusMatrix("CCGG", 0.97));
    ASSERT_TRUE(c.Run(m));
    const std::string text = ReadFile(dir.File("s.txt"));
    EXPECT_EQ(text.rfind("\n\nMax LLR motif = 0 \n1\t", 0), 0u) << text;
    const Result r = Parse(text);
    for (double v : r.llr) EXPECT_LT(v, 0.0);
}

TEST(MotifSelection, TieReportsTheEarlierCandidate)
{
    TempDir dir("select");
    auto d = MakeData(3, true, "ACGT", 4);
    CSerevan m;
    Prepare(m, *d, {0.01, 0.01, 0.98}, dir.File("s.txt"));
    std::mt19937 rng(5);
    Candidates c;
    c.Add("decoy", RandomMatrix(rng, 8));
    c.Add("first", ConsensusMatrix(kPlanted, 0.85));
    c.Add("second", ConsensusMatrix(kPlanted, 0.85));
    ASSERT_TRUE(c.Run(m));
    const Result r = Parse(ReadFile(dir.File("s.txt")));
    EXPECT_EQ(r.head, "Max LLR motif = 2 first");
    EXPECT_EQ(r.llr[1], r.llr[2]);
    EXPECT_GT(r.llr[1], 0.0);
}

TEST(MotifSelection, ProgressLinesAndTheSlotLeftWithTheLastCandidate)
{
    TempDir dir("select");
    auto d = MakeData(2, false, "ACGT", 6);
    CSerevan m;
    Prepare(m, *d, {0.01, 0.01, 0.98}, dir.File("s.txt"));
    std::mt19937 rng(7);
    Candidates c;
    for (int i = 0; i < 25; ++i) c.Add(std::to_string(i + 1) + "th", RandomMatrix(rng, 5 + i % 4));
    ASSERT_TRUE(c.Run(m));
    EXPECT_EQ(ReadFile(dir.File("s.txt.info")), "Iteration 11\nIteration 21\n");
    EXPECT_EQ(Parse(ReadFile(dir.File("s.txt"))).llr.size(), 25u);

    const int w = c.width.back();
    EXPECT_EQ(m.m_pMotifWidth[1], w);
    EXPECT_EQ(m.m_pPWM[1], c.pwm.back());
    EXPECT_EQ(m.m_pMotifPhi[1].size(), static_cast<size_t>(w));
    EXPECT_EQ(m.m_pSiteCount[1].size(), static_cast<size_t>(4 * w));
    EXPECT_EQ(m.m_pSiteMatrix[1].size(), static_cast<size_t>(4 * w));
}

// With K = 1 the slot is motif 0, which the base model has just set to log zero; the slot
// must get the probability motif 0 had before. The ratio is checked against two models
// built directly: the candidate at that probability, and no motif at all.
TEST(MotifSelection, SingleMotifSlotKeepsItsProbability)
{
    TempDir dir("select");
    auto d = MakeData(3, true, "ACGT", 8);
    const std::vector<double> planted = ConsensusMatrix(kPlanted, 0.85);
    CSerevan m;
    Prepare(m, *d, {0.01, 0.99}, dir.File("s.txt"));
    Candidates c;
    c.Add("planted", planted);
    ASSERT_TRUE(c.Run(m));
    const Result r = Parse(ReadFile(dir.File("s.txt")));

    CSerevan with, without;
    Prepare(with, *d, {0.01, 0.99}, "unused", {planted});
    Prepare(without, *d, {0.01, 0.99}, "unused", {planted});
    without.m_pMotifPr[0] = serevan::kLogZero;
    without.m_pMotifPr[1] = 0.0;
    const double expected = LogLik(with) - LogLik(without);
    EXPECT_GT(expected, 10.0);  // six planted sites
    EXPECT_NEAR(r.llr[0], expected, 1e-6 + 1e-9 * std::fabs(expected));  // "%f" keeps six decimals
    EXPECT_EQ(r.head, "Max LLR motif = 1 planted");
}

// With K = 2 the slot takes motif 0's probability (0.02), not its own (0.01).
TEST(MotifSelection, SlotTakesMotifZerosProbability)
{
    TempDir dir("select");
    auto d = MakeData(3, true, "ACGT", 9);
    const std::vector<double> uniform(32, std::log(0.25)), planted = ConsensusMatrix(kPlanted, 0.85);
    CSerevan m;
    Prepare(m, *d, {0.02, 0.01, 0.97}, dir.File("s.txt"));
    Candidates c;
    c.Add("planted", planted);
    ASSERT_TRUE(c.Run(m));
    const Result r = Parse(ReadFile(dir.File("s.txt")));

    CSerevan with, without;
    Prepare(with, *d, {0.02, 0.02, 0.96}, "unused", {uniform, planted});
    Prepare(without, *d, {0.02, 0.01, 0.97}, "unused", {uniform, uniform});
    without.m_pMotifPr[1] = serevan::kLogZero;
    without.m_pMotifPr[2] = std::log(0.98);
    const double expected = LogLik(with) - LogLik(without);
    EXPECT_NEAR(r.llr[0], expected, 1e-6 + 1e-9 * std::fabs(expected));
}
