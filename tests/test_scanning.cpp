// Known-motif scanning on the model: conserved columns, the site calls of known motifs, the
// module detail file, the aligned scan's report on the example alignment, and the
// unaligned scan's choice of alignment, side files and progress lines.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "app/MotifFile.h"
#include "app/SeqFile.h"
#include "model/Serevan.h"
#include "model_fixture.h"
#include "numeric/StochasticDistribution.h"

namespace {

using testutil::ReadFile;
using testutil::TempDir;

// Runs the enclosed code in another working directory ("debuginfo.txt" is written there).
class InDirectory {
public:
    explicit InDirectory(const std::filesystem::path& dir) : old_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~InDirectory() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

using testutil::Fields;
using testutil::Lines;

std::string RandomDna(std::mt19937& rng, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) s += "ACGT"[rng() % 4];
    return s;
}

// A model over G groups given as aligned rows ([g][s]); every group holds A copies of its
// one alignment. Built the way the scanning drivers build theirs; the arrays outlive it.
struct ScanModel {
    std::vector<std::vector<int>> seq;  // slot s*G + g
    std::vector<int*> ptr;
    std::vector<int> len;
    std::vector<CString> names;
    std::vector<ALIGNPATH> paths;  // g*A + j
    std::vector<double> scores;    // g*A + j (empty: none)
    CSerevan m;
};

struct ScanSetup {
    int K = 1;
    std::vector<int> widths{4};
    std::vector<double> motifPr{0.01, 0.99};  // K + 1 plain probabilities
    int A = 1;
    int iterations = 5;
    std::string outFile = "unused";
    std::vector<double> scores;  // per stored alignment of a group (A values) or empty
};

std::unique_ptr<ScanModel> BuildScanModel(const std::vector<std::vector<std::string>>& groups, const ScanSetup& set)
{
    auto b = std::make_unique<ScanModel>();
    const int G = static_cast<int>(groups.size()), N = static_cast<int>(groups[0].size());
    b->seq.resize(static_cast<size_t>(N) * G);
    b->len.resize(static_cast<size_t>(N) * G);
    for (int g = 0; g < G; ++g) {
        std::vector<std::vector<int>> aligned(N);
        for (int s = 0; s < N; ++s)
            for (char c : groups[g][s]) aligned[s].push_back(modeltest::Code(c));
        ALIGNPATH path;
        std::vector<int> seqLen;
        std::vector<std::vector<int>> seq;
        EXPECT_TRUE(AlignmentToPath(aligned, N, path, seqLen, seq));
        for (int s = 0; s < N; ++s) {
            b->seq[s * G + g] = seq[s];
            b->len[s * G + g] = seqLen[s];
        }
        for (int j = 0; j < set.A; ++j) {
            b->paths.push_back(path);
            if (!set.scores.empty()) b->scores.push_back(set.scores[j]);
        }
    }
    for (int i = 0; i < N * G; ++i) {
        b->ptr.push_back(b->seq[i].data());
        b->names.emplace_back((">s" + std::to_string(i / G) + "g" + std::to_string(i % G)).c_str());
    }
    INPUTPARAMETER param;
    param.nSpeciesNum = N;
    param.nMotifNum = set.K;
    param.nMaxIterNum = set.iterations;
    param.strOutputFile = set.outFile.c_str();
    param.strParamLine = "scan test ";
    b->m.SetProgramParam(&param);
    b->m.InitialSeq(N, G, b->ptr.data(), b->len.data(), b->names.data(), nullptr, nullptr);
    b->m.Initialize(set.widths.data());
    b->m.InitialParameter(0.01, set.motifPr.data(), nullptr, 0.1, 0.02);
    b->m.GetAlignPath(b->paths.data(), b->scores.empty() ? nullptr : b->scores.data(), nullptr, set.A);
    return b;
}

std::vector<std::vector<char>> Marks(modeltest::TestModel& t)
{
    std::vector<std::vector<char>> marks(1, std::vector<char>(99, 1));  // stale content, wrong shape
    t.m.ConservePos(0, 0, marks);
    return marks;
}

std::vector<char> V(std::initializer_list<int> v) { return std::vector<char>(v.begin(), v.end()); }

}  // namespace

// ---------------------------------------------------------------- conserved columns

TEST(ConservePos, ColumnsOfOneBaseInEverySpecies)
{
    modeltest::TestModel t({"ACGTA", "ACGTA", "ACGAA"}, modeltest::Options());
    std::vector<std::vector<char>> marks = Marks(t);
    ASSERT_EQ(marks.size(), 3u);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(marks[s], V({1, 1, 1, 0, 1})) << "species " << s;
}

TEST(ConservePos, ColumnWithOneSpeciesUnalignedIsNotConserved)
{
    // Column 1: C in species 0 and 1 while species 2 has a gap there; its own C comes in a
    // column of its own. Every species carries C, but never all at one node.
    modeltest::TestModel t({"AC-", "AC-", "A-C"}, modeltest::Options());
    std::vector<std::vector<char>> marks = Marks(t);
    EXPECT_EQ(marks[0], V({1, 0}));
    EXPECT_EQ(marks[1], V({1, 0}));
    EXPECT_EQ(marks[2], V({1, 0}));
}

TEST(ConservePos, IdenticalUndeterminedBasesAreNotConserved)
{
    modeltest::TestModel t({"NAN", "NAN"}, modeltest::Options());
    std::vector<std::vector<char>> marks = Marks(t);
    EXPECT_EQ(marks[0], V({0, 1, 0}));
    EXPECT_EQ(marks[1], V({0, 1, 0}));
}

// ---------------------------------------------------------------- site calls of known motifs

TEST(DefineScanMotifSites, HalfCutoffFixedMatrixAndWidthOneStretchSuffices)
{
    TempDir dir("scansites");
    InDirectory here(dir.Path());
    modeltest::Options opt;
    opt.K = 2;
    opt.widths = {4, 4};
    opt.bothStrands = true;
    modeltest::TestModel t({"GGGGGAAGTGGGGG", "GGGGGAAGTGGGGG"}, opt);
    for (int j = 0; j < 4; ++j) {  // motif 1 reads AAGT
        const int b = modeltest::Code("AAGT"[j]);
        for (int x = 0; x < 4; ++x) t.m.m_pPWM[0][4 * j + x] = std::log(x == b ? 0.91 : 0.03);
    }
    const std::vector<double> before = t.m.m_pPWM[0];
    t.m.m_dPostCutoff = 0.9;  // ignored by the known-motif calls: the cutoff is one half
    // Species 0: 600 of 1000 at the site; species 1: exactly the threshold 501 there, and
    // 500 (one short) at the start.
    for (int j = 5; j <= 8; ++j) t.m.m_pSiteFreq[0][0][j] = 600, t.m.m_pSiteFreq[0][1][j] = 501;
    for (int j = 0; j <= 2; ++j) t.m.m_pSiteFreq[0][1][j] = 500;

    t.m.DefineScanMotifSites(1000);

    ASSERT_EQ(t.m.m_pOutputSite.size(), 2u);
    ASSERT_EQ(t.m.m_pOutputSite[0].size(), 2u);
    for (int s = 0; s < 2; ++s) {
        const OUTPUTSITE& site = t.m.m_pOutputSite[0][s];
        EXPECT_EQ(site.species, s);
        EXPECT_EQ(site.position, 5);
        EXPECT_TRUE(site.strand);
        EXPECT_EQ(site.text, "AAGT");
        EXPECT_EQ(site.width, 4);
    }
    EXPECT_DOUBLE_EQ(t.m.m_pOutputSite[0][0].maxFreq, 0.6);
    EXPECT_DOUBLE_EQ(t.m.m_pOutputSite[0][1].maxFreq, 0.501);
    EXPECT_TRUE(t.m.m_pOutputSite[1].empty());
    EXPECT_EQ(t.m.m_pMotifWidth[0], 4);
    EXPECT_EQ(t.m.m_pPWM[0], before);  // the known matrix is never refined
    EXPECT_EQ(ReadFile("debuginfo.txt"), "finish counting\nfinish modifying link\nfinish counting\n");
}

TEST(DefineScanMotifSites, SingleStretchOnTheReverseStrand)
{
    TempDir dir("scansites");
    InDirectory here(dir.Path());
    modeltest::Options opt;
    opt.widths = {4};
    opt.bothStrands = true;
    // ACTT is the reverse complement of AAGT.
    modeltest::TestModel t({"GGGGGACTTGGGGG", "GGGGGACTTGGGGG"}, opt);
    for (int j = 0; j < 4; ++j) {
        const int b = modeltest::Code("AAGT"[j]);
        for (int x = 0; x < 4; ++x) t.m.m_pPWM[0][4 * j + x] = std::log(x == b ? 0.91 : 0.03);
    }
    for (int j = 5; j <= 8; ++j) t.m.m_pSiteFreq[0][0][j] = 1000;
    t.m.DefineScanMotifSites(1000);
    ASSERT_EQ(t.m.m_pOutputSite[0].size(), 1u);
    EXPECT_EQ(t.m.m_pOutputSite[0][0].position, 5);
    EXPECT_FALSE(t.m.m_pOutputSite[0][0].strand);
    EXPECT_EQ(t.m.m_pOutputSite[0][0].text, "AAGT");
}

// ---------------------------------------------------------------- module detail file

TEST(OutputDetailMod, FourLinesPerModule)
{
    TempDir dir("dmd");
    modeltest::Options opt;
    opt.widths = {10};
    //                          0123456789012345678
    modeltest::TestModel t({"GGGGACGTACGTAAGGGG", "GGGGACGTTCGTAAGGGG"}, opt);
    t.names[0] = ">first species";
    t.names[1] = ">second";
    t.m.m_sOutFile = dir.File("d.txt").c_str();
    std::vector<std::vector<char>> marks;
    t.m.ConservePos(0, 0, marks);  // every column but 8

    OUTPUTSITE a;
    a.species = 0, a.position = 4, a.strand = true, a.maxFreq = 0.973, a.width = 10;
    OUTPUTSITE b;
    b.species = 1, b.position = 8, b.strand = false, b.maxFreq = 0.5, b.width = 10;
    t.m.m_pOutputSite = {{a, b}};
    MODULEREGION one;  // a single site of width 10: the module ends one past it
    one.start = 4, one.end = 14, one.site = {1, 4}, one.siteNum = 1;
    MODULEREGION last;  // a site ending at the sequence's last base: the end lies past it
    last.start = 8, last.end = 18, last.site = {-1, 8}, last.siteNum = 1;
    t.m.m_pModuleList = {{one}, {last}};

    t.m.OutputDetailMod(marks);
    EXPECT_EQ(ReadFile(dir.File("d.txtdmd.txt")),
              ">first species\t4\t14\t+1(4,0.97,0.90)\n"
              "ACGTACGTAAG\n"
              "---------- \n"
              "**** ******\n"
              ">second\t8\t18\t-1(8,0.50,0.90)\n"
              "TCGTAAGGGG\n"
              "----------\n"
              " *********\n");
}

// ---------------------------------------------------------------- aligned scan

class ExampleScan : public ::testing::Test {
protected:
    // The example's true alignment and parameters, read as the -P driver reads them.
    void SetUp() override
    {
        const std::string ex = std::string(SEREVAN_SOURCE_DIR) + "/examples/";
        std::string err;
        std::vector<int> rowLen;
        std::vector<std::vector<int>> rows;
        ASSERT_TRUE(ReadinAlignment((ex + "demo_aln.fa").c_str(), 3, rowLen, names, rows, err)) << err;
        ASSERT_TRUE(AlignmentToPath(rows, 3, path, seqLen, seq));
        ASSERT_TRUE(ReadParamFile((ex + "demo_param.txt").c_str(), &enterPr, motifPr, width, pwm, sub, 3, err))
            << err;
        for (std::vector<int>& x : seq) ptr.push_back(x.data());
        Prepare(m);
    }

    // The driver's lifecycle calls on a model.
    void Prepare(CSerevan& model)
    {
        INPUTPARAMETER p;
        p.nSpeciesNum = 3;
        p.nMotifNum = 3;
        p.strOutputFile = dir.File("scan.txt").c_str();
        p.strParamLine = "example scan ";
        std::vector<double*> views;
        for (std::vector<double>& x : pwm) views.push_back(x.data());
        model.SetProgramParam(&p);
        model.InitialSeq(3, 1, ptr.data(), seqLen.data(), names.data(), nullptr, nullptr);
        model.Initialize(width.data());
        model.InitialParameter(enterPr, motifPr.data(), views.data(), sub[0], sub[1]);
        model.GetAlignPath(&path, nullptr, nullptr, 1);
    }

    TempDir dir{"ascan"};
    std::vector<CString> names;
    ALIGNPATH path;
    std::vector<int> seqLen;
    std::vector<std::vector<int>> seq;
    std::vector<int*> ptr;
    double enterPr = 0, sub[2] = {0, 0};
    std::vector<double> motifPr;
    std::vector<int> width;
    std::vector<std::vector<double>> pwm;
    CSerevan m;
};

TEST_F(ExampleScan, ScoreOnlyWritesNothing)
{
    InDirectory here(dir.Path());
    const double S = m.Scanning(false);
    EXPECT_GT(S, 20.0);  // the alignment holds a module of six sites per species
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(ExampleScan, DetailedReportShowsOneIterationWithTheScore)
{
    InDirectory here(dir.Path());
    SeedRandom(2007);
    const double S = m.Scanning(true);
    const std::string report = ReadFile(dir.File("scan.txt"));
    char expected[96];
    std::snprintf(expected, sizeof expected, "\nAverage likelihood=%.4lf\nPost burn-in iterations=1\n", S);
    EXPECT_NE(report.find(expected), std::string::npos) << report.substr(0, 200);
    EXPECT_EQ(ReadFile("debuginfo.txt"), "finish counting\nfinish modifying link\n"
                                         "finish counting\nfinish modifying link\n"
                                         "finish counting\nfinish modifying link\n");
    // One module per species, so the detail file holds 4 lines for each of the three.
    ASSERT_EQ(m.m_pModuleList.size(), 3u);
    for (const std::vector<MODULEREGION>& list : m.m_pModuleList) ASSERT_EQ(list.size(), 1u);
    const std::vector<std::string> dmd = Lines(ReadFile(dir.File("scan.txtdmd.txt")));
    ASSERT_EQ(dmd.size(), 12u);
    for (int s = 0; s < 3; ++s) {
        const MODULEREGION& mod = m.m_pModuleList[s][0];
        const std::string head = std::string(names[s].c_str()) + "\t" + std::to_string(mod.start) + "\t";
        EXPECT_EQ(dmd[4 * s].rfind(head, 0), 0u) << dmd[4 * s];
        for (int l = 1; l < 4; ++l) EXPECT_EQ(static_cast<int>(dmd[4 * s + l].size()), mod.end - mod.start + 1);
    }

    // The score needs no sampling: a fresh model's score-only scan gives the same value.
    CSerevan again;
    Prepare(again);
    EXPECT_DOUBLE_EQ(again.Scanning(false), S);
}

// ---------------------------------------------------------------- unaligned scan

TEST(ScanSitePr, ExpectedSitesPerModuleBecomePerPositionProbabilities)
{
    std::vector<double> pr{2, 2, 2};
    ASSERT_TRUE(CSerevan::ScanSitePr(pr, 200));
    ASSERT_EQ(pr.size(), 4u);
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(pr[k], 0.01);
    EXPECT_NEAR(pr[3], 0.97, 1e-15);

    std::vector<double> full{100, 100};  // the module background would be 0
    EXPECT_FALSE(CSerevan::ScanSitePr(full, 200));
    EXPECT_EQ(full, (std::vector<double>{100, 100}));
    std::vector<double> over{150, 100};
    EXPECT_FALSE(CSerevan::ScanSitePr(over, 200));
}

TEST(FindOptPath, EqualAlignmentsGiveTheFirst)
{
    std::mt19937 rng(5);
    const std::string x = RandomDna(rng, 40);
    ScanSetup set;
    set.A = 3;
    auto b = BuildScanModel({{x, x}}, set);
    b->m.MSBuildBackground();
    EXPECT_EQ(b->m.FindOptPath(0), 0);
}

class UnalignedScan : public ::testing::Test {
protected:
    // G groups of two species, species 1 shorter than species 0 by one base (its last
    // column is a gap), so the count tables need padding.
    std::unique_ptr<ScanModel> Build(int G, ScanSetup set)
    {
        std::mt19937 rng(7 + G);
        std::vector<std::vector<std::string>> groups;
        for (int g = 0; g < G; ++g) {
            std::string x = RandomDna(rng, 20 + g);
            std::string y = x;
            y.back() = '-';
            groups.push_back({x, y});
        }
        set.outFile = dir.File("u.txt");
        return BuildScanModel(groups, set);
    }

    TempDir dir{"uscan"};
};

TEST_F(UnalignedScan, BestStoredAlignmentIsUsed)
{
    ScanSetup set;
    set.A = 3;
    set.scores = {0.0, -5.0, 0.0};  // alignment 1's corrected likelihood is 5 above the others
    auto b = Build(2, set);
    SeedRandom(11);
    ASSERT_TRUE(b->m.GibbsScanUnalign());
    EXPECT_EQ(b->m.m_pCurAlign, (std::vector<int>{1, 1}));
}

TEST_F(UnalignedScan, SideFilesAndReport)
{
    ScanSetup set;
    set.K = 2;
    set.widths = {4, 3};
    set.motifPr = {0.01, 0.01, 0.98};
    set.iterations = 6;
    auto b = Build(3, set);
    SeedRandom(12);
    ASSERT_TRUE(b->m.GibbsScanUnalign());

    // margcons: one line, one field per species-0 position of every group (20 + 21 + 22),
    // each a count of samples in which the position was aligned: all of them here.
    const std::vector<std::string> cons = Lines(ReadFile(dir.File("u.txtmargcons.txt")));
    ASSERT_EQ(cons.size(), 1u);
    std::vector<std::string> f = Fields(cons[0]);
    ASSERT_EQ(f.size(), 63u + 1);  // every field is followed by a tab
    EXPECT_EQ(f.back(), "");
    // Species 0's last base of each group has no partner (a gap in species 1).
    const std::vector<int> groupEnd = {19, 40, 62};
    for (int i = 0; i < 63; ++i) {
        const bool alone = std::find(groupEnd.begin(), groupEnd.end(), i) != groupEnd.end();
        if (!alone) {
            EXPECT_EQ(f[i], "6") << i;
        }
        const int c = std::stoi(f[i]);
        EXPECT_TRUE(c >= 0 && c <= 6) << i;
    }

    // The count tables: one line per species and group, species-major, 22 fields each
    // (the longest sequence), padded with 0 past a sequence's end.
    const std::vector<std::string> tables = {"margmodule", "margAlign", "margmotif1", "margmotif2"};
    for (const std::string& name : tables) {
        const std::vector<std::string> rows = Lines(ReadFile(dir.File("u.txt" + name + ".txt")));
        ASSERT_EQ(rows.size(), 6u) << name;
        for (int r = 0; r < 6; ++r) {
            f = Fields(rows[r]);
            ASSERT_EQ(f.size(), 23u) << name << " row " << r;
            const int len = b->len[r];
            for (int j = 0; j < 22; ++j) {
                const int c = std::stoi(f[j]);
                EXPECT_TRUE(c >= 0 && c <= 6) << name;
                if (j >= len) {
                    EXPECT_EQ(c, 0) << name << " row " << r << " field " << j;
                }
            }
        }
    }
    EXPECT_FALSE(testutil::Exists(dir.File("u.txtmargmotif3.txt")));
    // Every aligned position of species 1 is aligned in every sample.
    const std::vector<std::string> align = Lines(ReadFile(dir.File("u.txtmargAlign.txt")));
    EXPECT_EQ(Fields(align[3])[0], "6");

    const std::string report = ReadFile(dir.File("u.txt"));
    EXPECT_NE(report.find("\nAverage likelihood=0.0000\nPost burn-in iterations=6\n"), std::string::npos);
    EXPECT_EQ(b->m.m_pMotifWidth[0], 4);  // the widths never move
    EXPECT_EQ(b->m.m_pMotifWidth[1], 3);
}

TEST_F(UnalignedScan, IterationLineAfterEveryTenthGroup)
{
    ScanSetup set;
    set.iterations = 2;
    SeedRandom(13);
    auto nine = Build(9, set);
    ASSERT_TRUE(nine->m.GibbsScanUnalign());
    EXPECT_FALSE(testutil::Exists(dir.File("u.txt.info")));
    nine.reset();

    auto ten = Build(10, set);
    ASSERT_TRUE(ten->m.GibbsScanUnalign());
    EXPECT_EQ(ReadFile(dir.File("u.txt.info")), "Iteration 11\n");
}
