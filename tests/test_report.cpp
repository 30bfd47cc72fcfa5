// Result report: site summaries, the end-of-run motif score, the golden report with its site
// files and console line, and the side-file writers.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/Model.h"

namespace {

using support::ReadFile;

std::unique_ptr<support::Model> Build(int N, int G, const std::vector<std::string>& texts,
                                      const std::vector<int>& widths, const std::string& outFile = "",
                                      const std::string& commandLine = "")
{
    support::ModelSetup setup;
    setup.K = static_cast<int>(widths.size());
    setup.widths = widths;
    setup.param.strOutputFile = outFile.c_str();
    setup.param.strParamLine = commandLine.c_str();
    return support::TextModel(N, G, texts, setup);
}

OUTPUTSITE Site(int s, int g, int pos, bool strand, const std::string& text, double maxFreq = 0, double alignFreq = 0)
{
    return OUTPUTSITE{s, g, strand, pos, maxFreq, alignFreq, text, static_cast<int>(text.size())};
}

MODULEREGION Module(int g, int start, int end, const std::vector<int>& sites)
{
    return MODULEREGION{g, start, end, sites, static_cast<int>(sites.size() / 2)};
}

// n log 0.002 - 1.5 w log(n + 3) + n H for one species, H over the given column counts.
double SpeciesTerm(int n, int w, const std::vector<std::vector<int>>& columns, const std::array<double, 20>& bg)
{
    double H = 0.0;
    for (const std::vector<int>& col : columns)
        for (int b = 0; b < 4; ++b)
            if (col[b] > 0) H += static_cast<double>(col[b]) / n * (std::log(static_cast<double>(col[b]) / n) - bg[b]);
    return n * std::log(0.002) - 1.5 * w * std::log(n + 3.0) + n * H;
}

}  // namespace

// ---------------------------------------------------------------- summaries and scores

TEST(Summary, CountsSitesAndColumnLetters)
{
    auto b = Build(2, 1, {std::string(30, 'A'), std::string(30, 'C')}, {4, 3});
    CSerevan& m = b->m;
    m.m_pOutputSite = {{Site(0, 0, 1, true, "ACGT"), Site(1, 0, 2, false, "ACNT"), Site(0, 0, 9, true, "TCGT")},
                       {Site(1, 0, 4, true, "GGA")}};
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

TEST(CalMotifBayesScore, SpeciesTermsAndTheWidthPenaltyOfSpeciesWithoutSites)
{
    // K = 1, N = 1, G = 2: n = 3 sites of width 4, columns A2 T1 | C3 | G3 | A1 T2.
    auto one = Build(1, 2, {"ACGTTGCAACGGTTAA", "CCGTAGGATTACAGAT"}, {4});
    one->m.m_pOutputSite = {{Site(0, 0, 0, true, "ACGT"), Site(0, 1, 2, true, "ACGA"), Site(0, 1, 5, false, "TCGT")}};
    one->m.m_bSitesDefined = true;
    one->m.Summary();
    double score = 0.0;
    one->m.CalMotifBayesScore(&score);
    const std::vector<std::vector<int>> cols{{2, 0, 0, 1}, {0, 3, 0, 0}, {0, 0, 3, 0}, {1, 0, 0, 2}};
    EXPECT_NEAR(score, SpeciesTerm(3, 4, cols, one->m.m_pSpeciesBg[0]) + 12 * std::log(5.0), 1e-12);

    // N = 2, G = 1, K = 2: motif 0 has sites only in species 0, motif 1 none at all.
    auto two = Build(2, 1, {"ACGTTGCAACGGTTAA", "CCGTAGGATTACAGAT"}, {4, 5});
    two->m.m_pOutputSite = {{Site(0, 0, 0, true, "ACGT"), Site(0, 0, 8, true, "ACGG")}, {}};
    two->m.m_bSitesDefined = true;
    two->m.Summary();
    double scores[2];
    two->m.CalMotifBayesScore(scores);
    const double s0 = SpeciesTerm(2, 4, {{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 1, 1}}, two->m.m_pSpeciesBg[0]);
    const double empty4 = -1.5 * 4 * std::log(3.0), empty5 = -1.5 * 5 * std::log(3.0);
    EXPECT_NEAR(scores[0], std::log(std::exp(s0) + std::exp(empty4)) + 12 * std::log(4.0), 1e-12);
    EXPECT_NEAR(scores[1], empty5 + std::log(2.0) + 12 * std::log(4.0), 1e-12);
}

// ---------------------------------------------------------------- report

namespace {

const char* const kCommandLine = "Serevan version 1 -i in%s.txt -o 100%d -p 0.5 ";

// Two species, one group, motif 1 of width 4 with two sites, motif 2 (width 3) without any.
std::unique_ptr<support::Model> ReportModel(const std::string& outFile)
{
    auto b = Build(2, 1, {std::string(200, 'A'), std::string(200, 'C')}, {4, 3}, outFile, kCommandLine);
    CSerevan& m = b->m;
    m.m_nIterNum = 10;
    m.m_nBurnIn = 5;
    m.m_dLogLikSum = -61.72835;
    m.m_dLogPostSum = 7.5;
    m.m_pOutputSite = {{Site(0, 0, 120, true, "ACGT", 0.8, 0.25), Site(1, 0, 7, false, "TTGA", 1.0, 0.0)}, {}};
    m.m_bSitesDefined = true;
    m.m_pSiteMatrix[0] = {0.5, 0.25, 0.25, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.125, 0.875, 1.0 / 3, 2.0 / 3, 0, 0};
    m.m_pModuleList = {{Module(0, 118, 146, {2, 120, -1, 140})}, {Module(0, 5, 11, {-1, 7})}};
    return b;
}

const std::string kHeader = std::string(kCommandLine) + "\nAverage likelihood=-12.3457\nPost burn-in iterations=5\n\n";
const std::string kModules = "Predicted modules:\n0\t0\t118\t146\t+2(120)-1(140)\n1\t0\t5\t11\t-1(7)\n";
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

TEST(Report, GoldenReportSiteFilesAndConsoleLine)
{
    struct Case {
        const char* what;
        std::function<void(CSerevan&)> change;
        int calls;  // each call appends one complete report
        std::string report, siteFile1;
    };
    const Case cases[] = {
        {"plain", nullptr, 1, kHeader + kModules + kMotifs, kSiteFile1},
        {"appended", nullptr, 2, kHeader + kModules + kMotifs, kSiteFile1},
        {"motif mode: no module block", [](CSerevan& m) { m.m_bMotifMode = true; }, 1, kHeader + kMotifs, kSiteFile1},
        {"every site dropped",
         [](CSerevan& m) {
             m.m_pOutputSite[0].clear();
             m.m_pModuleList = {{}, {}};
         },
         1, kHeader + "Predicted modules:\n\n\n\nMotif1 not found\n\nMotif2 not found\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        support::TempDir dir("report");
        const std::string out = dir.File("run%d%s.txt");
        auto b = ReportModel(out);
        if (c.change) c.change(b->m);
        const double scores[] = {-3.14159, 99.0};
        std::string console, report, siteFile1;
        testing::internal::CaptureStdout();
        for (int i = 0; i < c.calls; ++i) {
            EXPECT_TRUE(b->m.OutputMotifSites(scores));
            console += out + "\t-12.3457\t1.5000\n";
            report += c.report;
            siteFile1 += c.siteFile1;
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), console);
        EXPECT_EQ(ReadFile(out), report);
        EXPECT_EQ(ReadFile(out + "motif1.txt"), siteFile1);
        EXPECT_TRUE(support::Exists(out + "motif2.txt"));
        EXPECT_EQ(ReadFile(out + "motif2.txt"), "");
    }
}

TEST(Report, ReportThatCannotBeWrittenIsAFailureButTheConsoleLineStays)
{
    const double scores[] = {0.0, 0.0};
    auto b = ReportModel("/nonexistent-dir/out.txt");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(b->m.OutputMotifSites(scores));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "/nonexistent-dir/out.txt\t-12.3457\t1.5000\n");

    b->m.m_nIterNum = 0;  // no post burn-in sample: zero averages
    b->m.m_nBurnIn = 0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(b->m.OutputMotifSites(nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "/nonexistent-dir/out.txt\t0.0000\t0.0000\n");

    if (!support::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    auto full = ReportModel("/dev/full");  // opens, every write fails
    testing::internal::CaptureStdout();
    EXPECT_FALSE(full->m.OutputMotifSites(scores));
    testing::internal::GetCapturedStdout();
}

// ---------------------------------------------------------------- side files

TEST(SideFiles, CountTableIsSpeciesMajorAndPaddedAndModuleListHasOneLinePerModule)
{
    support::TempDir dir("side");
    // N = 2, G = 2, lengths 3, 5, 2, 4 in slot order: L = 5.
    auto b = Build(2, 2, {"ACG", "ACGTA", "AC", "ACGT"}, {4});
    const std::vector<std::vector<int>> counts{{1, 2, 3}, {4, 5, 6, 7, 8}, {9, 10}, {11, 12, 13, 14}};
    const std::string name = dir.File("t.txt_Pm.txt");
    EXPECT_TRUE(b->m.WriteCountTable(name.c_str(), counts));
    const std::string table = "1\t2\t3\t0\t0\t\n4\t5\t6\t7\t8\t\n9\t10\t0\t0\t0\t\n11\t12\t13\t14\t0\t\n";
    EXPECT_EQ(ReadFile(name), table);
    EXPECT_TRUE(b->m.WriteCountTable(name.c_str(), counts));
    EXPECT_EQ(ReadFile(name), table + table);
    EXPECT_FALSE(b->m.WriteCountTable(dir.File("missing/x").c_str(), counts));

    auto r = ReportModel("");
    r->m.m_pModuleList[1].push_back(Module(0, 30, 52, {3, 30}));
    EXPECT_TRUE(r->m.WriteModuleList(dir.File("outmodule.txt").c_str()));
    EXPECT_EQ(ReadFile(dir.File("outmodule.txt")), "0\t0\t118\t146\n1\t0\t5\t11\n1\t0\t30\t52\n");
    EXPECT_FALSE(r->m.WriteModuleList(dir.File("missing/x").c_str()));
}
