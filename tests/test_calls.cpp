// Site calls (thresholds, stretches and their widening, the site list built from given
// placements, the end-to-end site definition) and the golden result report and site files.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/RunOutput.h"
#include "support/Model.h"

using P = CSerevanProbe;

namespace {

using support::Consensus;
using support::ReadFile;

// texts in slot order s*G + g; one width per motif.
auto Build(int N, int G, const std::vector<std::string>& texts, const std::vector<int>& widths)
{
    support::ModelSetup setup;
    setup.K = static_cast<int>(widths.size());
    setup.widths = widths;
    return support::TextModel(N, G, texts, setup);
}

// "species/group@position strand text maxFreq alignFreq; " per site; matrix rows of four
// values, each row ending in '|'.
std::string Dump(const std::vector<OUTPUTSITE>& sites)
{
    std::ostringstream s;
    s.precision(4);
    for (const OUTPUTSITE& x : sites)
        s << x.species << "/" << x.group << "@" << x.position << (x.strand ? "+ " : "- ") << x.text << " " << x.maxFreq
          << " " << x.alignFreq << "; ";
    return s.str();
}

std::string Dump(const std::vector<double>& mat)
{
    std::ostringstream s;
    s.precision(4);
    for (size_t i = 0; i < mat.size(); ++i) s << mat[i] << (i % 4 == 3 ? "|" : " ");
    return s.str();
}

}  // namespace

// Runs of counts at or above int(T * cutoff) + 1; a run begun at the last position gives
// none, one reaching the end closes at L - 1. A stretch then widens symmetrically to the
// motif width W, clamped to the sequence and extended on the other side; never past L.
TEST(FindStretches, RunsAtTheCallThresholdAndTheirWidening)
{
    const std::tuple<std::vector<int>, int, double, std::string> cases[] = {
        {{0, 2, 2, 0, 0, 3, 1, 0, 0, 5}, 2, 0.5, "1/4:1-3 1/4:5-6 "},
        {{0, 0, 0, 4, 4}, 7, 0.5, "1/4:3-4 "},
        {{500, 501, 501, 0}, 1000, 0.5, "1/4:1-3 "},
        {{6, 7, 7, 0}, 7, 0.9, "1/4:1-3 "},  // int(6.3) + 1
        {{9, 9, 9}, 1, 0.5, "1/4:0-2 "},     // T = 1: a position counted once qualifies
        {{9, 9, 9}, 0, 0.5, ""},             // no samples: nothing qualifies
        {{}, 1, 0.5, ""},
    };
    for (const auto& [counts, T, cutoff, stretches] : cases) {
        std::vector<SEQREGION> out;
        CSerevan::FindStretches(counts, CSerevan::CallThreshold(T, cutoff), 1, 4, out);
        std::ostringstream got;  // "species/group:start-end" per stretch
        for (const SEQREGION& r : out) got << r.species << "/" << r.group << ":" << r.start << "-" << r.end << " ";
        EXPECT_EQ(got.str(), stretches) << counts.size() << " counts, T = " << T;
    }
    const std::tuple<int, int, int, int, std::string> widen[] = {
        {100, 102, 12, 500, "95-107"},  // 97..105 has 9 < 12: h = 1
        {0, 2, 12, 100, "0-11"},        // clamps to 0..7 (8 < 12): extended to the right
        {97, 99, 12, 100, "88-99"},     // clamps to 92..99: extended to the left
        {2, 4, 12, 8, "2-4 refused"},   // sequence shorter than the motif: unchanged
    };
    for (const auto& [start, end, W, L, widened] : widen) {
        SEQREGION r{0, 0, start, end};
        const bool ok = CSerevan::WidenStretch(r, W, L);
        EXPECT_EQ(std::to_string(r.start) + "-" + std::to_string(r.end) + (ok ? "" : " refused"), widened);
    }
}

// Sites over ANNA of TTGCANNACG (slot 1) or past a sequence's end are dropped with a warning.
TEST(ConstructSiteLink, SitesFrequenciesMatrixAndDroppedSites)
{
    // Stretches (species, group, start, end), offsets, strands, sites, matrix, warnings.
    const std::tuple<std::vector<SEQREGION>, std::vector<int>, std::string, std::string, std::string,
                     std::vector<std::string>>
        cases[] = {
            {{{0, 0, 1, 8}, {1, 0, 2, 8}, {1, 1, 0, 6}},
             {2, 1, 0},
             "+-+",
             "0/0@3+ TACG 1 0.75; 1/0@3- CGTC 0.75 0.0625; 1/1@0+ CATG 1 1; ",  // CGTC: GACG on the reverse strand
             "0 0.6667 0 0.3333|0.6667 0 0.3333 0|0 0.3333 0 0.6667|0 0.3333 0.6667 0|",
             {}},
            {{{0, 0, 1, 8}, {0, 1, 3, 9}, {1, 1, 5, 9}, {1, 1, 0, 6}},
             {2, 1, 3, 0},
             "++++",
             "0/0@3+ TACG 1 0.75; 1/1@0+ CATG 1 1; ",
             "0 0.5 0 0.5|1 0 0 0|0 0.5 0 0.5|0 0 1 0|",
             {"motif sites contains N!", "Motif1, species 0, group 1, position 4", "species 1, group 1, position 8"}},
            {{{0, 1, 3, 9}}, {1}, "-", "", "0 0 0 0|0 0 0 0|0 0 0 0|0 0 0 0|", {"motif sites contains N!"}},
        };
    for (const auto& [stretches, offsets, strands, sites, matrix, warnings] : cases) {
        // N = 2, G = 2, K = 1 of width 4; slots s*G + g.
        auto b = Build(2, 2, {"ACGTACGTAA", "TTGCANNACG", "GGGGACGTCC", "CATGCATGCA"}, {4});
        CSerevan& m = b->m;
        P::Post(m).m_pSiteFreq[0][0] = {0, 0, 0, 1, 4, 2, 0, 0, 0, 0};
        P::Post(m).m_pAlignFreq[0] = {0, 0, 0, 4, 4, 2, 2, 0, 0, 0};
        P::Post(m).m_pSiteFreq[0][2] = {0, 0, 0, 2, 3, 1, 0, 0, 0, 0};
        P::Post(m).m_pAlignFreq[2] = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
        P::Post(m).m_pSiteFreq[0][3] = {4, 4, 4, 4, 0, 0, 0, 0, 0, 0};
        P::Post(m).m_pAlignFreq[3] = {4, 4, 4, 4, 0, 0, 0, 0, 0, 0};
        bool given[4];
        for (size_t i = 0; i < strands.size(); ++i) given[i] = strands[i] == '+';
        testing::internal::CaptureStderr();
        P::ConstructSiteLink(m, 0, stretches, static_cast<int>(stretches.size()), offsets.data(), given, 4);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Dump(P::Res(m).m_pOutputSite.at(0)), sites);
        EXPECT_EQ(Dump(P::Res(m).m_pSiteMatrix[0]), matrix);
        for (const std::string& w : warnings) EXPECT_NE(err.find(w), std::string::npos) << err;
    }
}

// N = 2, G = 2, K = 2. Motif 0 sits at 20 in slots 0, 1, 3 and at 0 in slot 2 (clamped
// stretch); flanks differ so that the planted window is the only conserved site set. Motif 1
// has two stretches (a run below int(10 * 0.5) + 1 follows the second): too few to place a
// motif, it keeps its width. Without samples (T = 0) nothing is called and the sums stay.
TEST(DefineMotifSitesStat, PlantedSitesAreCalledAtTheMeanWidth)
{
    support::TestSeed seed(20240611);
    const std::string motif = "GATCCTGAAC", tg = "TGTGTGTGTGTGTGTGTGTG";
    const std::vector<std::string> texts{std::string(20, 'A') + motif + std::string(30, 'A'),
                                         std::string(20, 'C') + motif + std::string(30, 'C'),
                                         motif + std::string(50, 'T'), tg + motif + tg + tg.substr(10)};
    for (int T : {10, 0}) {
        auto b = Build(2, 2, texts, {12, 12});
        CSerevan& m = b->m;
        P::Post(m).m_pWidthSum = {104.0, 110.0};              // mean widths 10.4 (W = 10) and 11
        P::Par(m).m_pPWM[0] = Consensus(motif + "NN", 0.97);  // the motif in the first 10 of its 12 columns
        const int plantedAt[] = {20, 20, 0, 20};
        for (int slot = 0; slot < 4; ++slot)
            for (int j = 0; j < 10; ++j) P::Post(m).m_pSiteFreq[0][slot][plantedAt[slot] + j] = 6 + (j % 3);
        for (int j = 5; j < 12; ++j) P::Post(m).m_pSiteFreq[1][0][j] = 6;
        for (int j = 20; j < 40; ++j) P::Post(m).m_pSiteFreq[1][3][j] = j < 30 ? 7 : 5;
        P::DefineMotifSites(m, T);
        EXPECT_TRUE(P::SitesDefined(m));
        std::ostringstream shape;  // widths, sizes of motif 0's matrix and substitutions, width sums
        shape << P::Par(m).m_pMotifWidth[0] << " " << P::Par(m).m_pMotifWidth[1] << " " << P::Par(m).m_pPWM[0].size()
              << " " << P::Par(m).m_pMotifPhi[0].size() << " " << P::Post(m).m_pWidthSum[0] << " "
              << P::Post(m).m_pWidthSum[1];
        EXPECT_EQ(shape.str(), T > 0 ? "10 12 40 10 10.4 11" : "12 12 48 12 104 110");
        std::string sites;
        for (const char* at : {"0/0@20", "0/1@20", "1/0@0", "1/1@20"}) sites += at + ("+ " + motif) + " 0.8 0; ";
        EXPECT_EQ(Dump(P::Res(m).m_pOutputSite[0]) + Dump(P::Res(m).m_pOutputSite[1]), T == 0 ? "" : sites);
        EXPECT_EQ(Dump(P::Res(m).m_pSiteMatrix[0]),
                  Dump(T == 0 ? std::vector<double>(48) : Consensus(motif, 1.0, false)));
    }
}

namespace {

const char* const kCommandLine = "Serevan version 1 -i in%s.txt -o 100%d -p 0.5 ";

// Two species, one group, motif 1 of width 4 with two sites, motif 2 (width 3) without any.
RunResults ReportResults()
{
    RunResults r;
    r.commandLine = kCommandLine;
    r.T = 5;
    r.avgLik = -61.72835 / 5;
    r.avgPost = 7.5 / 5;
    r.width = {4, 3};
    r.scores = {-3.14159, 99.0};
    r.m_pOutputSite = {{{0, 0, true, 120, 0.8, 0.25, "ACGT", 4}, {1, 0, false, 7, 1.0, 0.0, "TTGA", 4}}, {}};
    r.m_pSiteMatrix = {{0.5, 0.25, 0.25, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.125, 0.875, 1.0 / 3, 2.0 / 3, 0, 0}, {}};
    r.m_pModuleList = {{{0, 118, 146, {2, 120, -1, 140}, 2}}, {{0, 5, 11, {-1, 7}, 1}}};
    r.sums.m_pModuleFreq = {{3, 0, 5}, {7}};  // padded to the longest slot
    return r;
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

// Each case calls the writer twice: every call appends one complete report, site files,
// module list and count table, and prints one console line. A report cut short by a killed
// run (no final line feed) is noticed once, and the next run starts on a new line.
TEST(Report, GoldenReportSiteFilesAndConsoleLine)
{
    const std::string modules = "0\t0\t118\t146\n1\t0\t5\t11\n", counts = "3\t0\t5\t\n7\t0\t0\t\n";
    using Case =
        std::tuple<const char*, std::function<void(RunResults&)>, std::string, std::string, std::string, std::string>;
    const Case cases[] = {
        {"plain", nullptr, kHeader + kModules + kMotifs, kSiteFile1, modules, ""},
        {"motif mode: no module block", [](RunResults& r) { r.modules = false; }, kHeader + kMotifs, kSiteFile1, "",
         ""},
        {"every site dropped",
         [](RunResults& r) {
             r.m_pOutputSite[0].clear();
             r.m_pModuleList = {{}, {}};
         },
         kHeader + "Predicted modules:\n\n\n\nMotif1 not found\n\nMotif2 not found\n", "", "", ""},
        {"after a cut report", nullptr, kHeader + kModules + kMotifs, kSiteFile1, modules, ">0\t0\t7\t-1\t1.0\nTTG"},
    };
    for (const auto& [what, change, report, siteFile1, moduleList, before] : cases) {
        SCOPED_TRACE(what);
        support::TempDir dir("report");
        const OutputNames names(dir.File("run%d%s.txt"));
        if (!before.empty()) std::ofstream(names.report) << before;
        RunResults r = ReportResults();
        if (change) change(r);
        std::string failed;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_TRUE(WriteRun(names, RunKind::DeNovo, r, failed));
        EXPECT_TRUE(WriteRun(names, RunKind::DeNovo, r, failed));
        const std::string console = names.report + "\t-12.3457\t1.5000\n";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), console + console);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  before.empty() ? ""
                                 : "warning: " + names.report +
                                       " does not end with a line feed (an earlier "
                                       "run was cut short?); this run starts on a new line\n");
        EXPECT_EQ(ReadFile(names.report), (before.empty() ? "" : before + "\n") + report + report);
        EXPECT_EQ(ReadFile(names.Motif(0)), siteFile1 + siteFile1);
        EXPECT_TRUE(support::Exists(names.Motif(1)));
        EXPECT_EQ(ReadFile(names.Motif(1)), "");
        EXPECT_EQ(support::Exists(names.moduleList), r.modules);
        EXPECT_EQ(support::Exists(names.moduleFreq), r.modules);
        if (r.modules) {
            EXPECT_EQ(ReadFile(names.moduleList), moduleList + moduleList);
            EXPECT_EQ(ReadFile(names.moduleFreq), counts + counts);
        }
    }
}
