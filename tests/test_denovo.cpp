// The de novo run end to end: planted modules are recovered, a set without modules yields
// (almost) no calls, the output files have their layouts, repeated runs append, a fixed
// seed reproduces every file, and bad input is refused before any work.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"

using testutil::Exists;
using testutil::Lines;
using testutil::ReadFile;
using testutil::RunCommand;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

const std::string kBin = SEREVAN_BIN;
const std::string kSim = SEREVAN_SIM_BIN;
const std::string kEval = SEREVAN_EVAL_BIN;


int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Simulates a small set: 3 species, 6 groups of 250 bases, 2 motifs.
void Simulate(const TempDir& dir, const std::string& prefix, int seed, const std::string& extra = "")
{
    auto r = RunCommand(kSim + " --out " + prefix + " --seed " + std::to_string(seed) +
                            " --groups 6 --length 250 --motifs 2 --module-length 120 --quiet " + extra,
                        dir.Path().string());
    ASSERT_EQ(r.status, 0) << r.output;
}

}  // namespace

// Thresholds from ten seeds of this set with -n 300: site F1 0.89 to 1.00 (mean 0.97) and
// every planted motif matched with a column correlation of 0.97 to 0.99. A sampler that
// places sites at random reaches neither (F1 near 0, correlation near 0.5).
TEST(DeNovoRun, RecoversPlantedMotifsAndSites)
{
    TempDir dir("denovo");
    for (int seed : {1, 3}) {
        const std::string set = std::string("s").append(std::to_string(seed));
        const std::string out = set + "_run.txt";
        Simulate(dir, set, seed);
        auto run = RunCommand(kBin + " -i " + set + ".fa -N 3 -K 2 -n 300 -S " + std::to_string(seed) + " -o " + out,
                              dir.Path().string());
        ASSERT_EQ(run.status, 0) << run.output;
        auto eval = RunCommand(kEval + " --sim " + set + " --report " + out + " --json", dir.Path().string());
        ASSERT_EQ(eval.status, 0) << eval.output;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(eval.output, m, std::regex("\"sites\": \\{[^}]*\"f1\": ([0-9.]+)")));
        EXPECT_GE(std::stod(m[1]), 0.8) << "seed " << seed << "\n" << eval.output;
        const std::regex corr("\"correlation\": ([0-9.]+)");
        int motifs = 0;
        for (auto it = std::sregex_iterator(eval.output.begin(), eval.output.end(), corr);
             it != std::sregex_iterator(); ++it, ++motifs)
            EXPECT_GE(std::stod((*it)[1]), 0.9) << "seed " << seed << "\n" << eval.output;
        EXPECT_EQ(motifs, 2);
    }
}

// Five seeds of this set without modules called no site at all.
TEST(DeNovoRun, NegativeControlCallsFewSites)
{
    TempDir dir("negative");
    Simulate(dir, "n", 2, "--module-fraction 0");
    auto run = RunCommand(kBin + " -i n.fa -N 3 -K 2 -n 300 -S 2 -o n_run.txt", dir.Path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string report = ReadFile(dir.File("n_run.txt"));
    EXPECT_LE(Count(report, "\n>"), 3) << report;
}

TEST(DeNovoRun, OutputLayouts)
{
    TempDir dir("layout");
    Simulate(dir, "f", 4);
    auto run = RunCommand(kBin + " -i f.fa -N 3 -K 2 -n 40 -S 9 -o out.txt 2> err.txt", dir.Path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadFile(dir.File("err.txt")), "") << "no progress line when standard error is not a terminal";

    // Console: the output name, then two numbers with four decimals.
    EXPECT_TRUE(std::regex_match(run.output, std::regex("out\\.txt\t-?[0-9]+\\.[0-9]{4}\t-?[0-9]+\\.[0-9]{4}\n")))
        << run.output;

    const std::vector<std::string> report = Lines(ReadFile(dir.File("out.txt")));
    ASSERT_GE(report.size(), 8u);
    EXPECT_EQ(report[0], "Serevan (beta 1, Nov 2007)");
    EXPECT_EQ(report[1].rfind(kBin + " -i f.fa", 0), 0u) << report[1];
    EXPECT_TRUE(std::regex_match(report[2], std::regex("Average likelihood=-?[0-9]+\\.[0-9]{4}")));
    EXPECT_EQ(report[3], "Post burn-in iterations=20");
    EXPECT_EQ(report[4], "");
    EXPECT_EQ(report[5], "Predicted modules:");

    // Module lines: four numbers and the site codes; module.txt holds the same four numbers.
    size_t i = 6;
    std::vector<std::string> modules;
    const std::regex moduleLine("([0-9]+\t[0-9]+\t[0-9]+\t[0-9]+)\t(([+-][0-9]+\\([0-9]+\\))+)");
    for (; i < report.size() && !report[i].empty(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(report[i], m, moduleLine)) << report[i];
        modules.push_back(m[1]);
    }
    const std::vector<std::string> moduleFile = Lines(ReadFile(dir.File("out.txtmodule.txt")));
    EXPECT_EQ(moduleFile, modules);
    // "\n\n" after the module list, then each motif section opens with an empty line.
    ASSERT_LT(i + 2, report.size());
    EXPECT_EQ(report[i], "");
    EXPECT_EQ(report[i + 1], "");
    i += 2;

    // Motif sections: "not found", or score, header, one line per column, sites.
    const std::regex column("([01]\\.[0-9]{3}\t){4}");
    const std::regex siteLine(">([0-9]+\t[0-9]+\t[0-9]+\t-?1\t[01]\\.[0-9]{3}\t[01]\\.[0-9]{3})");
    for (int k = 1; k <= 2; ++k) {
        const std::string motif = "Motif" + std::to_string(k);
        const std::string siteFile = ReadFile(dir.File("out.txtmotif" + std::to_string(k) + ".txt"));
        ASSERT_LT(i + 1, report.size());
        EXPECT_EQ(report[i++], "");
        if (report[i] == motif + " not found") {
            ++i;
            EXPECT_EQ(siteFile, "");
            continue;
        }
        ASSERT_TRUE(std::regex_match(report[i], std::regex(motif + ":-?[0-9]+\\.[0-9]{4}"))) << report[i];
        EXPECT_EQ(report[++i], "A\tC\tG\tT");
        int width = 0;
        while (++i < report.size() && std::regex_match(report[i], column)) ++width;
        EXPECT_GE(width, 1);
        ASSERT_LT(i + 1, report.size());
        EXPECT_EQ(report[i++], "");
        EXPECT_EQ(report[i++], "Sites:");
        std::vector<std::string> sites;
        for (; i + 1 < report.size() && report[i][0] == '>'; i += 2) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(report[i], m, siteLine)) << report[i];
            sites.push_back(m[1]);
            EXPECT_TRUE(std::regex_match(report[i + 1], std::regex("[ACGT]+")));
            EXPECT_EQ(static_cast<int>(report[i + 1].size()), width);
        }
        EXPECT_EQ(Lines(siteFile), sites);
    }
    EXPECT_EQ(i, report.size()) << "nothing after the last motif section";

    // _Pm.txt: one line per species and group, species-major, padded to the longest
    // sequence with "0\t"; every count lies between 0 and T.
    const std::vector<std::string> pm = Lines(ReadFile(dir.File("out.txt_Pm.txt")));
    ASSERT_EQ(pm.size(), 18u);
    size_t width = 0;
    for (const std::string& line : pm) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\t');
        std::vector<std::string> f = testutil::Fields(line);
        f.pop_back();  // every field, the last included, is followed by a tab
        if (width == 0) width = f.size();
        EXPECT_EQ(f.size(), width);
        for (const std::string& v : f) {
            int x = std::stoi(v);
            EXPECT_GE(x, 0);
            EXPECT_LE(x, 20);
        }
    }
    // The .info log: the command line, "Initial alignment", then iterations 1, 11, 21, 31.
    const std::string info = ReadFile(dir.File("out.txt.info"));
    EXPECT_EQ(Count(info, "Initial alignment\n"), 1);
    EXPECT_NE(info.find("\n\nInitial alignment\nIteration 1\nIteration 11\nIteration 21\nIteration 31\n"),
              std::string::npos)
        << info;
}

TEST(DeNovoRun, RepeatedRunsAppendAndSeedsReproduce)
{
    TempDir dir("repeat");
    Simulate(dir, "m", 5);
    auto twice = RunCommand(kBin + " -i m.fa -N 3 -K 2 -n 20 -m 2 -S 3 -o two.txt", dir.Path().string());
    ASSERT_EQ(twice.status, 0);
    EXPECT_EQ(Count(twice.output, "two.txt\t"), 2) << "one console line per run";
    const std::string report = ReadFile(dir.File("two.txt"));
    EXPECT_EQ(Count(report, "Serevan (beta 1, Nov 2007)\n"), 2);
    EXPECT_EQ(Count(report, "Post burn-in iterations=10\n"), 2);
    const std::string info = ReadFile(dir.File("two.txt.info"));
    EXPECT_EQ(Count(info, "Initial alignment"), 1) << "the header is written once";
    EXPECT_EQ(Count(info, "Iteration 1\n"), 2);

    // The same seed and input give identical files.
    for (const char* name : {"a.txt", "b.txt"})
        ASSERT_EQ(RunCommand(kBin + " -i m.fa -N 3 -K 2 -n 30 -S 11 -o " + name, dir.Path().string()).status, 0);
    for (const char* suffix : {"_Pm.txt", "module.txt", "motif1.txt", "motif2.txt"})
        EXPECT_EQ(ReadFile(dir.File(std::string("a.txt") + suffix)), ReadFile(dir.File(std::string("b.txt") + suffix)))
            << suffix;
    std::string ra = ReadFile(dir.File("a.txt")), rb = ReadFile(dir.File("b.txt"));
    ra = ra.substr(ra.find("Average"));
    rb = rb.substr(rb.find("Average"));
    EXPECT_EQ(ra, rb);
}

TEST(DeNovoRun, GivenMatricesAndRefusals)
{
    TempDir dir("given");
    Simulate(dir, "g", 6);
    // Two given matrices and K = 3: the run completes and reports three motifs.
    auto run = RunCommand(kBin + " -i g.fa -N 3 -K 3 -n 20 -S 1 -A g_motifs.txt -o given.txt", dir.Path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string report = ReadFile(dir.File("given.txt"));
    EXPECT_NE(report.find("Motif3"), std::string::npos);

    struct Case {
        std::string args, message;
    } cases[] = {
        {"-K 1 -A g_motifs.txt", "motif file g_motifs.txt holds 2 matrices, more than the 1 motifs of -K"},
        {"-A missing.txt", "cannot open motif matrix file missing.txt"},
        {"-o no/such/dir/out.txt", "cannot open output file no/such/dir/out.txt for appending"},
        {"-i empty.fa", "the sequences of empty.fa are all empty: there is nothing to sample"},
    };
    WriteFile(dir.File("empty.fa"), ">a\n\n>b\n>c\n");
    for (const Case& c : cases) {
        auto bad = RunCommand(kBin + " -i g.fa -N 3 -n 20 -S 1 -o bad.txt " + c.args, dir.Path().string());
        EXPECT_EQ(bad.status, 1) << c.args;
        EXPECT_EQ(bad.output, c.message + "\n");
        EXPECT_FALSE(Exists(dir.File("bad.txt"))) << "nothing written for a refused run";
    }
}
