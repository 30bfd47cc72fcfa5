// Result report: site summaries, the end-of-run motif score, the golden report with its site
// files and console line, and the side-file writers.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "built_model.h"
#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

namespace {


using testmodel::Built;

std::unique_ptr<Built> BuildModel(int N, int G, const std::vector<std::string>& texts, int K,
                                  const std::vector<int>& widths, const std::string& outFile = "unused",
                                  const std::string& commandLine = "")
{
    INPUTPARAMETER param;
    param.strOutputFile = outFile.c_str();
    param.strParamLine = commandLine.c_str();
    return testmodel::Build(N, G, texts, K, widths, param);
}

OUTPUTSITE Site(int s, int g, int pos, bool strand, double maxFreq, double alignFreq, const std::string& text)
{
    OUTPUTSITE site;
    site.species = s;
    site.group = g;
    site.position = pos;
    site.strand = strand;
    site.maxFreq = maxFreq;
    site.alignFreq = alignFreq;
    site.text = text;
    site.width = static_cast<int>(text.size());
    return site;
}

MODULEREGION Module(int g, int start, int end, const std::vector<int>& sites)
{
    MODULEREGION m;
    m.group = g;
    m.start = start;
    m.end = end;
    m.site = sites;
    m.siteNum = static_cast<int>(sites.size() / 2);
    return m;
}

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A fresh directory under the test temp dir, removed afterwards.
class ReportFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (std::filesystem::path(testing::TempDir()) / "serevan_report_XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
};

}  // namespace

// ---------------------------------------------------------------- summaries and scores

TEST(Summary, CountsSitesAndColumnLetters)
{
    auto b = BuildModel(2, 1, {std::string(30, 'A'), std::string(30, 'C')}, 2, {4, 3});
    CSerevan& m = b->m;
    m.m_pOutputSite = {{Site(0, 0, 1, true, 0, 0, "ACGT"), Site(1, 0, 2, false, 0, 0, "ACNT"),
                        Site(0, 0, 9, true, 0, 0, "TCGT")},
                       {Site(1, 0, 4, true, 0, 0, "GGA")}};
    m.m_bSitesDefined = true;
    m.Summary();
    ASSERT_EQ(m.m_pSpeciesSummary.size(), 2u);
    EXPECT_EQ(m.m_pSpeciesSummary[0].siteCount, (std::vector<int>{2, 0, 0}));
    EXPECT_EQ(m.m_pSpeciesSummary[1].siteCount, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(m.m_pSpeciesSummary[0].baseCount[0],
              (std::vector<int>{1, 0, 0, 1, /**/ 0, 2, 0, 0, /**/ 0, 0, 2, 0, /**/ 0, 0, 0, 2}));
    // The N letter of ACNT adds nothing to column 2.
    EXPECT_EQ(m.m_pSpeciesSummary[1].baseCount[0],
              (std::vector<int>{1, 0, 0, 0, /**/ 0, 1, 0, 0, /**/ 0, 0, 0, 0, /**/ 0, 0, 0, 1}));
    EXPECT_EQ(m.m_pSpeciesSummary[1].baseCount[1], (std::vector<int>{0, 0, 1, 0, /**/ 0, 0, 1, 0, /**/ 1, 0, 0, 0}));
}

namespace {

// n log 0.002 - 1.5 w log(n + 3) + n H for one species, H over the given column counts.
double SpeciesTerm(int n, int w, const std::vector<std::vector<int>>& columns, const std::array<double, 20>& bg)
{
    double H = 0.0;
    for (const std::vector<int>& col : columns)
        for (int b = 0; b < 4; ++b)
            if (col[b] > 0) {
                const double f = static_cast<double>(col[b]) / n;
                H += f * (std::log(f) - bg[b]);
            }
    return n * std::log(0.002) - 1.5 * w * std::log(n + 3.0) + n * H;
}

}  // namespace

TEST(CalMotifBayesScore, OneSpeciesOneMotifClosedForm)
{
    // K = 1, N = 1, G = 2: n = 3 sites of width 4.
    auto b = BuildModel(1, 2, {"ACGTTGCAACGGTTAA", "CCGTAGGATTACAGAT"}, 1, {4});
    CSerevan& m = b->m;
    m.m_pOutputSite = {{Site(0, 0, 0, true, 0, 0, "ACGT"), Site(0, 1, 2, true, 0, 0, "ACGA"),
                        Site(0, 1, 5, false, 0, 0, "TCGT")}};
    m.m_bSitesDefined = true;
    m.Summary();
    double score = 0.0;
    m.CalMotifBayesScore(&score);
    // Columns: A2 T1 | C3 | G3 | A1 T2.
    const std::vector<std::vector<int>> cols{{2, 0, 0, 1}, {0, 3, 0, 0}, {0, 0, 3, 0}, {1, 0, 0, 2}};
    const std::array<double, 20>& bg = m.m_pSpeciesBg[0];
    const double H = (2.0 / 3) * (std::log(2.0 / 3) - bg[0]) + (1.0 / 3) * (std::log(1.0 / 3) - bg[3]) - bg[1] -
                     bg[2] + (1.0 / 3) * (std::log(1.0 / 3) - bg[0]) + (2.0 / 3) * (std::log(2.0 / 3) - bg[3]);
    const double expected = 3 * std::log(0.002) - 1.5 * 4 * std::log(6.0) + 3 * H + 12 * std::log(5.0);
    EXPECT_NEAR(score, expected, 1e-12);
    EXPECT_NEAR(SpeciesTerm(3, 4, cols, bg) + 12 * std::log(5.0), expected, 1e-12);
}

TEST(CalMotifBayesScore, SpeciesWithoutSitesContributesTheWidthPenalty)
{
    // N = 2, G = 1, K = 2: motif 0 has sites only in species 0, motif 1 none at all.
    auto b = BuildModel(2, 1, {"ACGTTGCAACGGTTAA", "CCGTAGGATTACAGAT"}, 2, {4, 5});
    CSerevan& m = b->m;
    m.m_pOutputSite = {{Site(0, 0, 0, true, 0, 0, "ACGT"), Site(0, 0, 8, true, 0, 0, "ACGG")}, {}};
    m.m_bSitesDefined = true;
    m.Summary();
    double scores[2];
    m.CalMotifBayesScore(scores);
    const double s0 = SpeciesTerm(2, 4, {{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 1, 1}}, m.m_pSpeciesBg[0]);
    const double empty4 = -1.5 * 4 * std::log(3.0);
    const double expected0 = std::log(std::exp(s0) + std::exp(empty4)) + 12 * std::log(4.0);
    EXPECT_NEAR(scores[0], expected0, 1e-12);
    const double empty5 = -1.5 * 5 * std::log(3.0);
    EXPECT_NEAR(scores[1], empty5 + std::log(2.0) + 12 * std::log(4.0), 1e-12);
}

// ---------------------------------------------------------------- report

namespace {

const char* const kCommandLine = "Serevan version 1 -i in%s.txt -o 100%d -p 0.5 ";

// Two species, one group, motif 1 of width 4 with two sites, motif 2 (width 3) without any.
std::unique_ptr<Built> ReportModel(const std::string& outFile)
{
    auto b = BuildModel(2, 1, {std::string(200, 'A'), std::string(200, 'C')}, 2, {4, 3}, outFile, kCommandLine);
    CSerevan& m = b->m;
    m.m_nIterNum = 10;
    m.m_nBurnIn = 5;
    m.m_dLogLikSum = -61.72835;
    m.m_dLogPostSum = 7.5;
    m.m_pOutputSite = {{Site(0, 0, 120, true, 0.8, 0.25, "ACGT"), Site(1, 0, 7, false, 1.0, 0.0, "TTGA")}, {}};
    m.m_bSitesDefined = true;
    m.m_pSiteMatrix[0] = {0.5, 0.25, 0.25, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.125, 0.875, 1.0 / 3, 2.0 / 3, 0, 0};
    m.m_pModuleList = {{Module(0, 118, 146, {2, 120, -1, 140})}, {Module(0, 5, 11, {-1, 7})}};
    return b;
}

const std::string kHeader = std::string(kCommandLine) +
                            "\nAverage likelihood=-12.3457\n"
                            "Post burn-in iterations=5\n\n";
const std::string kModules =
    "Predicted modules:\n"
    "0\t0\t118\t146\t+2(120)-1(140)\n"
    "1\t0\t5\t11\t-1(7)\n";
const std::string kMotifs =
    "\n\n"
    "\nMotif1:-3.1416\nA\tC\tG\tT\n"
    "0.500\t0.250\t0.250\t0.000\t\n"
    "1.000\t0.000\t0.000\t0.000\t\n"
    "0.000\t0.000\t0.125\t0.875\t\n"
    "0.333\t0.667\t0.000\t0.000\t\n"
    "\nSites:\n"
    ">0\t0\t120\t1\t0.800\t0.250\nACGT\n"
    ">1\t0\t7\t-1\t1.000\t0.000\nTTGA\n"
    "\nMotif2 not found\n";
const std::string kSiteFile1 = "0\t0\t120\t1\t0.800\t0.250\n1\t0\t7\t-1\t1.000\t0.000\n";

}  // namespace

TEST_F(ReportFiles, GoldenReportSiteFilesAndConsoleLine)
{
    const std::string out = dir + "/run%d%s.txt";
    auto b = ReportModel(out);
    const double scores[] = {-3.14159, 99.0};
    testing::internal::CaptureStdout();
    EXPECT_TRUE(b->m.OutputMotifSites(scores));
    const std::string console = testing::internal::GetCapturedStdout();

    EXPECT_EQ(ReadFile(out), kHeader + kModules + kMotifs);
    EXPECT_EQ(ReadFile(out + "motif1.txt"), kSiteFile1);
    EXPECT_TRUE(std::filesystem::exists(out + "motif2.txt"));
    EXPECT_EQ(ReadFile(out + "motif2.txt"), "");
    EXPECT_EQ(console, out + "\t-12.3457\t1.5000\n");

    // Field by field: the site lines of the report carry six tab-separated fields.
    std::istringstream lines(ReadFile(out));
    std::string line;
    int siteLines = 0;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] == '>') {
            ++siteLines;
            int fields = 1;
            for (char c : line) fields += c == '\t';
            EXPECT_EQ(fields, 6) << line;
        }
    EXPECT_EQ(siteLines, 2);
}

TEST_F(ReportFiles, TwoCallsAppendTwoCompleteReports)
{
    const std::string out = dir + "/Output.txt";
    auto b = ReportModel(out);
    const double scores[] = {-3.14159, 0.0};
    testing::internal::CaptureStdout();
    EXPECT_TRUE(b->m.OutputMotifSites(scores));
    EXPECT_TRUE(b->m.OutputMotifSites(scores));
    const std::string console = out + "\t-12.3457\t1.5000\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), console + console);
    const std::string one = kHeader + kModules + kMotifs;
    EXPECT_EQ(ReadFile(out), one + one);
    EXPECT_EQ(ReadFile(out + "motif1.txt"), kSiteFile1 + kSiteFile1);
}

TEST_F(ReportFiles, MotifModeHasNoModuleBlock)
{
    const std::string out = dir + "/motifmode.txt";
    auto b = ReportModel(out);
    b->m.m_bMotifMode = true;
    const double scores[] = {-3.14159, 0.0};
    testing::internal::CaptureStdout();
    EXPECT_TRUE(b->m.OutputMotifSites(scores));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadFile(out), kHeader + kMotifs);
}

TEST_F(ReportFiles, EverySiteDroppedReportsTheMotifAsNotFound)
{
    const std::string out = dir + "/none.txt";
    auto b = ReportModel(out);
    b->m.m_pOutputSite[0].clear();
    b->m.m_pModuleList = {{}, {}};
    const double scores[] = {1.0, 2.0};
    testing::internal::CaptureStdout();
    EXPECT_TRUE(b->m.OutputMotifSites(scores));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadFile(out), kHeader + "Predicted modules:\n\n\n\nMotif1 not found\n\nMotif2 not found\n");
}

TEST_F(ReportFiles, ReportThatCannotBeWrittenIsAFailureButTheConsoleLineStays)
{
    const std::string out = dir + "/no/such/dir/out.txt";
    auto b = ReportModel(out);
    const double scores[] = {0.0, 0.0};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(b->m.OutputMotifSites(scores));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), out + "\t-12.3457\t1.5000\n");

    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    auto full = ReportModel("/dev/full");  // opens, every write fails
    testing::internal::CaptureStdout();
    EXPECT_FALSE(full->m.OutputMotifSites(scores));
    testing::internal::GetCapturedStdout();
}

TEST(Report, NoPostBurnInSamplePrintsZeroAverages)
{
    auto b = ReportModel("/nonexistent-dir/out.txt");
    b->m.m_nIterNum = 0;
    b->m.m_nBurnIn = 0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(b->m.OutputMotifSites(nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "/nonexistent-dir/out.txt\t0.0000\t0.0000\n");
}

// ---------------------------------------------------------------- side files

TEST_F(ReportFiles, CountTableIsSpeciesMajorAndPaddedWithZeros)
{
    // N = 2, G = 2, lengths 3, 5, 2, 4 in slot order: L = 5.
    auto b = BuildModel(2, 2, {"ACG", "ACGTA", "AC", "ACGT"}, 1, {});
    const std::vector<std::vector<int>> counts{{1, 2, 3}, {4, 5, 6, 7, 8}, {9, 10}, {11, 12, 13, 14}};
    const std::string name = dir + "/t.txt_Pm.txt";
    EXPECT_TRUE(b->m.WriteCountTable(name.c_str(), counts));
    const std::string table = "1\t2\t3\t0\t0\t\n4\t5\t6\t7\t8\t\n9\t10\t0\t0\t0\t\n11\t12\t13\t14\t0\t\n";
    EXPECT_EQ(ReadFile(name), table);
    EXPECT_TRUE(b->m.WriteCountTable(name.c_str(), counts));
    EXPECT_EQ(ReadFile(name), table + table);
    EXPECT_FALSE(b->m.WriteCountTable((dir + "/missing/x").c_str(), counts));
}

TEST_F(ReportFiles, ModuleListOneLinePerModule)
{
    auto b = ReportModel("unused");
    b->m.m_pModuleList[1].push_back(Module(0, 30, 52, {3, 30}));
    const std::string name = dir + "/outmodule.txt";
    EXPECT_TRUE(b->m.WriteModuleList(name.c_str()));
    EXPECT_EQ(ReadFile(name), "0\t0\t118\t146\n1\t0\t5\t11\n1\t0\t30\t52\n");
    EXPECT_FALSE(b->m.WriteModuleList((dir + "/missing/x").c_str()));
}
