// The known-motif modes end to end through the program on a small simulated set: aligned
// scanning (-P), unaligned scanning (-F) and motif selection (-B).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "common/MotifMatrix.h"
#include "common/TruthTable.h"
#include "support/Support.h"

namespace {

using support::Fields;
using support::Lines;
using support::ReadFile;
using support::RunCommand;
using support::RunResult;
using support::TempDir;

// Simulated set shared by the suite: 3 species, 4 groups of 300 bases, modules of 2 sites
// of each of 3 motifs in half of the groups, written once with the true alignment of a
// group with a module ("m_aln.fa") and once of a group without ("b_aln.fa").
class ScanModes : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        data_ = std::make_unique<TempDir>("scanmodes");
        const std::string common =
            " --seed 11 --groups 4 --length 300 --module-fraction 0.5 --module-length 150 --quiet";
        ASSERT_EQ(RunCommand(support::kSim + " --out " + Data("m") + common).status, 0);
        std::string err;
        ASSERT_TRUE(sertools::ReadTruth(Data("m_truth.tsv"), truth_, err)) << err;
        std::vector<bool> hasModule(4, false);
        for (const sertools::Interval& m : truth_.modules) hasModule[m.group] = true;
        for (int g = 0; g < 4; ++g) (hasModule[g] ? moduleGroup_ : backgroundGroup_) = g;
        for (const auto& [prefix, g] : {std::pair{"m", moduleGroup_}, std::pair{"b", backgroundGroup_}})
            ASSERT_EQ(
                RunCommand(support::kSim + " --out " + Data(prefix) + common + " --align-group " + std::to_string(g))
                    .status,
                0);
    }
    static void TearDownTestSuite() { data_.reset(); }
    static std::string Data(const std::string& name) { return data_->File(name); }

    // Runs the program in the test's own directory.
    RunResult Run(const std::string& args) { return RunCommand(support::kBin + " " + args, run.Path().string()); }

    static inline std::unique_ptr<TempDir> data_;
    static inline sertools::TruthTable truth_;
    static inline int moduleGroup_ = -1, backgroundGroup_ = -1;
    TempDir run{"scanrun"};
};

// The runs whose verdict depends on the sampler's draws.
class ScanModesStat : public ScanModes {};

// Score of a score line ">name\tS" with three decimals.
double ScoreOf(const std::string& line, const std::string& name)
{
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, std::regex("(>[^\t]*)\t(-?[0-9]+\\.[0-9]{3})"))) << line;
    EXPECT_EQ(m[1].str(), name);
    return std::stod(m[2].str());
}

}  // namespace

TEST_F(ScanModes, AlignedScoreOnlyRanksTheModuleGroupClearlyHigher)
{
    // The module group twice, then the background group: each run appends its line, and says so.
    std::string note;
    for (const std::string p : {"m", "m", "b"}) {
        const RunResult r =
            Run("-N 3 -K 3 -x -S 1 -i " + Data(p + "_aln.fa") + " -P " + Data(p + "_param.txt") + " -o s.txt");
        EXPECT_EQ(std::make_pair(r.status, r.error), std::make_pair(0, note));
        note = "appending to the existing report s.txt (and to its side files)\n";
    }
    const std::vector<std::string> s = Lines(ReadFile(run.File("s.txt")));
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], s[1]);  // the score needs no sampling
    EXPECT_GT(ScoreOf(s[0], ">g" + std::to_string(moduleGroup_) + "_sp0"), 20.0);
    EXPECT_LT(ScoreOf(s[2], ">g" + std::to_string(backgroundGroup_) + "_sp0"), 5.0);
}

TEST_F(ScanModesStat, AlignedDetailedRunReportsSitesModulesAndDetails)
{
    support::TestSeed seed(5);
    RunResult r = Run("-N 3 -K 3 -S " + std::to_string(seed) + " -i " + Data("m_aln.fa") + " -P " +
                      Data("m_param.txt") + " -o d.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string report = ReadFile(run.File("d.txt"));
    std::smatch m;
    const std::regex average("\nAverage likelihood=(-?[0-9.]+)\nPost burn-in iterations=1\n");
    ASSERT_TRUE(std::regex_search(report, m, average));
    const double score = ScoreOf(Lines(report).back(), ">g" + std::to_string(moduleGroup_) + "_sp0");
    EXPECT_NEAR(std::stod(m[1].str()), score, 0.00051);  // the same value with four and three decimals
    // Every species keeps its module (the detail file's layout is fixed by its own test).
    EXPECT_EQ(Lines(ReadFile(run.File("d.txtmodule.txt"))).size(), 3u);
    // The evaluator reads the report as one of the truth's groups: the planted sites are found.
    r = RunCommand(
        support::kEval + " --sim " + Data("m") + " --report d.txt --scan-group " + std::to_string(moduleGroup_),
        run.Path().string());
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_NE(r.output.find("Summary: sites F1 1.000 (bases 1.000), modules F1 1.000"), std::string::npos) << r.output;
    std::string passes;  // one counting pass per motif, each followed by the linking step
    for (int k = 0; k < 3; ++k) passes += "finish counting\nfinish modifying link\n";
    EXPECT_EQ(ReadFile(run.File("debuginfo.txt")), passes);
}

TEST_F(ScanModesStat, UnalignedScanMarginalsAreHighInsidePlantedModules)
{
    support::TestSeed seed(3);
    const int n = 50;
    RunResult r = Run("-N 3 -K 3 -F -S " + std::to_string(seed) + " -L 150 -n " + std::to_string(n) + " -i " +
                      Data("m.fa") + " -A " + Data("m_motifs_sites.txt") + " -o u.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> rows = Lines(ReadFile(run.File("u.txtmargmodule.txt")));
    ASSERT_EQ(rows.size(), 12u);
    double sum[2] = {0, 0}, count[2] = {0, 0};  // outside, inside a planted module
    for (const sertools::Interval& q : truth_.sequences) {
        const std::vector<std::string> f = Fields(rows[q.species * 4 + q.group]);
        ASSERT_GT(static_cast<int>(f.size()), q.end);
        std::vector<int> in(q.end + 1, 0);
        for (const sertools::Interval& m : truth_.modules)
            if (m.species == q.species && m.group == q.group)
                std::fill(in.begin() + m.start, in.begin() + m.end + 1, 1);
        for (int j = 0; j <= q.end; ++j) sum[in[j]] += std::stoi(f[j]), count[in[j]] += 1;
    }
    ASSERT_GT(count[1], 0);
    EXPECT_GT(sum[1] / count[1], 0.9 * n);
    EXPECT_LT(sum[0] / count[0], 0.15 * n);
}

// The model knows planted motifs 1 and 2; the candidates are a decoy (planted motif 3 with
// its columns rotated), planted motif 3 and a second copy of planted motif 1 (which the model
// explains already).
TEST_F(ScanModes, SelectionReportsThePlantedMotif)
{
    std::vector<sertools::Motif> planted;
    std::string err;
    ASSERT_TRUE(motifio::ReadMotifs(Data("m_motifs.txt"), motifio::MotifFormat::Program, planted, nullptr, err)) << err;
    ASSERT_EQ(planted.size(), 3u);
    sertools::Motif shuffled = planted[2];
    std::rotate(shuffled.p.begin(), shuffled.p.begin() + 20, shuffled.p.end());
    shuffled.id = "shuffled", shuffled.name = "3";
    planted[0].id = "planted", planted[0].name = "1 again", planted[2].id = "planted", planted[2].name = "3";
    const auto file = [](const std::vector<sertools::Motif>& m) {
        return motifio::FormatMotifs(m, motifio::MotifFormat::Program);
    };
    support::WriteFile(run.File("known.txt"), file({planted[0], planted[1]}));
    support::WriteFile(run.File("cand.txt"), file({shuffled, planted[2], planted[0]}));
    RunResult r = Run("-N 3 -K 3 -S 1 -q 0.01 -T 3 -i " + Data("m.fa") + " -A known.txt -B cand.txt -o s.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    // The report with its LLRs taken out (number, LLR, width, name; no line feed at the end).
    const std::string text = ReadFile(run.File("s.txt"));
    const std::regex llrField("\n([1-3])\t(-?[0-9.]+)\t");
    const std::string w3 = "\t" + std::to_string(planted[2].Width()) + "\t";
    EXPECT_EQ(std::regex_replace(text, llrField, "\n$1\tLLR\t"),
              "\n\nMax LLR motif = 2 planted 3\n1\tLLR" + w3 + "shuffled 3\n2\tLLR" + w3 + "planted 3\n3\tLLR\t" +
                  std::to_string(planted[0].Width()) + "\tplanted 1 again");
    std::vector<double> llr;
    for (std::sregex_iterator i(text.begin(), text.end(), llrField), end; i != end; ++i)
        llr.push_back(std::stod((*i)[2]));
    ASSERT_EQ(llr.size(), 3u);
    for (int i : {0, 2}) EXPECT_LT(llr[i], llr[1] - 10.0) << i;
}

// A genome-wide scan split into shards: the background computed once (serevan-prep
// background, which gives the tables -g 2 estimates), shards of 3 and of 7 (one-group shards,
// an uneven last one) merged by serevan-merge give the files of one -F -G run byte for byte,
// the report's command line aside: every group's counts are the same whichever groups share
// its run. Then the refusals: each one line naming the option or the shard, exit status 1.
TEST(GenomeScan, ShardsMergeToTheFilesOfOneRunAndRefuseWhatDoesNotFit)
{
    TempDir dir("shards");
    auto run = [&](const std::string& command) { return RunCommand(command, dir.Path().string()); };
    const std::string ex = support::kSourceDir + "/examples/", prep = SEREVAN_PREP_BIN, merge = SEREVAN_MERGE_BIN;
    ASSERT_EQ(run(prep + " background " + ex + "demo.fa -k 2 -o bg.freq").status, 0);
    ASSERT_EQ(run(prep + " background " + ex + "demo.fa -k 1 -o bg1.freq").status, 0);
    const std::string scan =
        support::kBin + " -i " + ex + "demo.fa -N 3 -K 3 -F -A " + ex + "demo_motifs_sites.txt -n 40 -S 7";
    const std::vector<std::string> files{"",
                                         "margcons.txt",
                                         "margmodule.txt",
                                         "margAlign.txt",
                                         "margmotif1.txt",
                                         "margmotif2.txt",
                                         "margmotif3.txt",
                                         "module.txt",
                                         "motif1.txt",
                                         "motif2.txt",
                                         "motif3.txt"};
    auto same = [&](const std::string& a, const std::string& b) {
        for (const std::string& f : files) {
            std::string x = ReadFile(dir.File(a + f)), y = ReadFile(dir.File(b + f));
            if (f.empty()) x.erase(0, x.find("\nAverage")), y.erase(0, y.find("\nAverage"));
            EXPECT_EQ(x, y) << a << " and " << b << ": " << f;
        }
    };
    ASSERT_EQ(run(scan + " -g 2 -o est.txt").status, 0);
    ASSERT_EQ(run(scan + " -g bg.freq -o read.txt").status, 0);
    same("est.txt", "read.txt");
    const std::string shard = scan + " -G -g bg.freq";
    ASSERT_EQ(run(shard + " -o one.txt").status, 0);
    for (const std::vector<std::string>& ranges :
         {std::vector<std::string>{"0-3", "4-6", "7-9"}, {"0-1", "2-2", "3-3", "4-5", "6-6", "7-7", "8-9"}}) {
        std::string shards;
        for (const std::string& r : ranges) {
            ASSERT_EQ(run(shard + " -J " + r + " -o s" + r + ".txt").status, 0) << r;
            shards += " s" + r + ".txt";
        }
        const std::string merged = "m" + std::to_string(ranges.size()) + ".txt";
        const RunResult r = run(merge + shards + " -o " + merged);
        ASSERT_EQ(r.status, 0) << r.output;
        same("one.txt", merged);
    }
    std::string other = ReadFile(ex + "demo.fa");
    other[other.find('\n') + 1] = other[other.find('\n') + 1] == 'A' ? 'C' : 'A';
    support::WriteFile(dir.File("other.fa"), other);
    for (const char* odd : {" -n 20 -J 4-6 -o n4-6.txt", " -J 4-6 -g bg1.freq -o g4-6.txt", " -J 3-9 -o s3-9.txt"})
        ASSERT_EQ(run(shard + odd).status, 0) << odd;
    ASSERT_EQ(run(support::kBin + " -i other.fa -N 3 -K 3 -F -A " + ex +
                  "demo_motifs_sites.txt -n 40 -S 7 -G -g bg.freq -J 4-6 -o i4-6.txt")
                  .status,
              0);
    const std::pair<std::string, std::string> refusals[] = {
        {scan + " -J 0-3 -g bg.freq -o x.txt", "-J needs -G: a shard's groups must draw as they would in one run"},
        {scan + " -G -J 0-3 -g 2 -o x.txt",
         "-J needs a background file (-g FILE, see serevan-prep background): a "
         "shard cannot estimate the background of the whole input"},
        {support::kBin + " -i " + ex + "demo.fa -N 3 -K 3 -F -A " + ex + "demo_motifs_sites.txt -G -o x.txt",
         "-G needs -S: the streams of the groups are derived from the seed"},
        {shard + " -J 5-2 -o x.txt", "-J must be a range of groups A-B (0-based, A not above B)"},
        {shard + " -J 8-10 -o x.txt", "-J 8-10: the input holds 10 groups (0 to 9)"},
        {shard + " -J 0-3 -o s0-3.txt",
         "-J: s0-3.txt exists already; a shard writes its manifest and count tables to "
         "new files (remove them or choose another -o)"},
        {merge + " s0-3.txt s3-9.txt -o x.txt", "shard s3-9.txt (groups 3-9) overlaps shard s0-3.txt (groups 0-3)"},
        {merge + " s0-3.txt s7-9.txt -o x.txt", "groups 4-6 are in no shard"},
        {merge + " s0-3.txt s4-6.txt -o x.txt", "groups 7-9 are in no shard"},
        {merge + " s0-3.txt n4-6.txt s7-9.txt -o x.txt",
         "shards s0-3.txt and n4-6.txt were run with different options"},
        {merge + " s0-3.txt g4-6.txt s7-9.txt -o x.txt",
         "shards s0-3.txt and g4-6.txt read different background files"},
        {merge + " s0-3.txt i4-6.txt s7-9.txt -o x.txt", "shards s0-3.txt and i4-6.txt scanned different inputs"},
        {merge + " s0-3.txt one.txt -o x.txt", "one.txt is not a shard manifest of this program (written by -F -G -J)"},
    };
    for (const auto& [command, message] : refusals) {
        const RunResult r = run(command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(Lines(r.output).size(), 1u) << r.output;
        EXPECT_EQ(r.output.substr(0, message.size()), message) << command;
        EXPECT_FALSE(support::Exists(dir.File("x.txt"))) << command;
    }
}
