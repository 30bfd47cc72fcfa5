// The known-motif modes end to end through the program: aligned scanning (-P), unaligned
// scanning (-F) and motif selection (-B) on small simulated sets, and their input errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace {

using testutil::ReadFile;
using testutil::RunCommand;
using testutil::RunResult;
using testutil::TempDir;
using testutil::WriteFile;

const std::string kBin = SEREVAN_BIN;
const std::string kSim = SEREVAN_SIM_BIN;

using testutil::Fields;
using testutil::Lines;

// Names of the files in a directory, sorted.
std::vector<std::string> Listing(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One row of the simulator's truth table.
struct TruthRow {
    std::string type;
    int species, group, start, end;
};

std::vector<TruthRow> ReadTruth(const std::string& file)
{
    std::vector<TruthRow> rows;
    std::vector<std::string> lines = Lines(ReadFile(file));
    for (size_t i = 1; i < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        TruthRow r;
        in >> r.type >> r.species >> r.group >> r.start >> r.end;
        rows.push_back(r);
    }
    return rows;
}

// The matrix blocks of a motif file in the -A format (header line plus rows), in order.
std::vector<std::vector<std::string>> MatrixBlocks(const std::string& file, bool siteLine)
{
    std::vector<std::string> lines = Lines(ReadFile(file));
    const int M = std::stoi(lines[0]);
    std::vector<std::string> widths = Fields(lines[1]);
    size_t at = siteLine ? 3 : 2;
    std::vector<std::vector<std::string>> blocks;
    for (int m = 0; m < M; ++m) {
        const int w = std::stoi(widths[m]);
        blocks.emplace_back(lines.begin() + at, lines.begin() + at + 1 + w);
        at += 1 + w;
    }
    return blocks;
}

// A motif file in the -A format from named blocks (the header line is replaced by name).
std::string MotifFile(const std::vector<std::pair<std::string, std::vector<std::string>>>& blocks)
{
    std::string text = std::to_string(blocks.size()) + "\n";
    for (size_t m = 0; m < blocks.size(); ++m) {
        if (m) text += '\t';
        text += std::to_string(blocks[m].second.size());
    }
    text += "\n";
    for (const auto& [name, rows] : blocks) {
        text += name + "\n";
        for (const std::string& r : rows) text += r + "\n";
    }
    return text;
}

// Simulated set shared by the suite: 3 species, 4 groups of 300 bases, modules of 2 sites
// of each of 3 motifs in half of the groups, written once with the true alignment of a
// group with a module ("m_aln.fa") and once of a group without ("b_aln.fa").
class ScanModes : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        data_ = std::make_unique<TempDir>("scanmodes");
        const std::string common = " --seed 11 --groups 4 --length 300 --module-fraction 0.5 --module-length 150 --quiet";
        ASSERT_EQ(RunCommand(kSim + " --out " + Data("m") + common).status, 0);
        moduleGroup_ = backgroundGroup_ = -1;
        std::vector<bool> hasModule(4, false);
        for (const TruthRow& r : ReadTruth(Data("m_truth.tsv")))
            if (r.type == "module") hasModule[r.group] = true;
        for (int g = 0; g < 4; ++g) (hasModule[g] ? moduleGroup_ : backgroundGroup_) = g;
        ASSERT_GE(moduleGroup_, 0);
        ASSERT_GE(backgroundGroup_, 0);
        ASSERT_EQ(RunCommand(kSim + " --out " + Data("m") + common + " --align-group " + std::to_string(moduleGroup_))
                      .status,
                  0);
        ASSERT_EQ(RunCommand(kSim + " --out " + Data("b") + common + " --align-group " +
                             std::to_string(backgroundGroup_))
                      .status,
                  0);
    }
    static void TearDownTestSuite() { data_.reset(); }
    static std::string Data(const std::string& name) { return data_->File(name); }

    // Runs the program in the test's own directory.
    RunResult Run(const std::string& args) { return RunCommand(kBin + " " + args, run.Path().string()); }

    // The run is refused with exactly this one line, exit status 1, and leaves no file.
    void ExpectRefused(const std::string& args, const std::string& message)
    {
        TempDir fresh("refused");
        RunResult r = RunCommand(kBin + " " + args, fresh.Path().string());
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.output, message + "\n") << args;
        EXPECT_TRUE(std::filesystem::is_empty(fresh.Path())) << args;
    }

    static std::unique_ptr<TempDir> data_;
    static int moduleGroup_, backgroundGroup_;
    TempDir run{"scanrun"};
};

std::unique_ptr<TempDir> ScanModes::data_;
int ScanModes::moduleGroup_ = -1;
int ScanModes::backgroundGroup_ = -1;

// Score of a score line ">name\tS" with three decimals.
double ScoreOf(const std::string& line, const std::string& name)
{
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, std::regex("(>[^\t]*)\t(-?[0-9]+\\.[0-9]{3})"))) << line;
    EXPECT_EQ(m[1].str(), name);
    return std::stod(m[2].str());
}

}  // namespace

// ---------------------------------------------------------------- aligned scan (-P)

TEST_F(ScanModes, AlignedScoreOnlyRanksTheModuleGroupClearlyHigher)
{
    const std::string module = " -N 3 -K 3 -x -i " + Data("m_aln.fa") + " -P " + Data("m_param.txt");
    const std::string background = " -N 3 -K 3 -x -i " + Data("b_aln.fa") + " -P " + Data("b_param.txt");
    ASSERT_EQ(Run(module + " -o m.txt").status, 0);
    ASSERT_EQ(Run(module + " -o m.txt").status, 0);  // a second run appends a second line
    ASSERT_EQ(Run(background + " -o b.txt").status, 0);
    // -x: the score line is all that is written.
    EXPECT_EQ(Listing(run.Path()), (std::vector<std::string>{"b.txt", "m.txt"}));

    const std::vector<std::string> m = Lines(ReadFile(run.File("m.txt")));
    const std::vector<std::string> b = Lines(ReadFile(run.File("b.txt")));
    ASSERT_EQ(m.size(), 2u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(m[0], m[1]);  // the score needs no sampling
    const double withModule = ScoreOf(m[0], ">g" + std::to_string(moduleGroup_) + "_sp0");
    const double without = ScoreOf(b[0], ">g" + std::to_string(backgroundGroup_) + "_sp0");
    EXPECT_GT(withModule, 20.0);
    EXPECT_LT(without, 5.0);
}

TEST_F(ScanModes, AlignedDetailedRunReportsSitesModulesAndDetails)
{
    RunResult r = Run("-N 3 -K 3 -S 5 -i " + Data("m_aln.fa") + " -P " + Data("m_param.txt") + " -o d.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Listing(run.Path()), (std::vector<std::string>{"d.txt", "d.txtdmd.txt", "d.txtmodule.txt",
                                                             "d.txtmotif1.txt", "d.txtmotif2.txt",
                                                             "d.txtmotif3.txt", "debuginfo.txt"}));
    const std::string report = ReadFile(run.File("d.txt"));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(report, m, std::regex("\nAverage likelihood=(-?[0-9.]+)\nPost burn-in iterations=1\n")));
    const double average = std::stod(m[1].str());
    const std::vector<std::string> lines = Lines(report);
    const double score = ScoreOf(lines.back(), ">g" + std::to_string(moduleGroup_) + "_sp0");
    EXPECT_NEAR(average, score, 0.00051);  // the same value with four and three decimals

    // Every species keeps its module: three modules, four detail lines each.
    const std::vector<std::string> modules = Lines(ReadFile(run.File("d.txtmodule.txt")));
    ASSERT_EQ(modules.size(), 3u);
    const std::vector<std::string> dmd = Lines(ReadFile(run.File("d.txtdmd.txt")));
    ASSERT_EQ(dmd.size(), 12u);
    for (int s = 0; s < 3; ++s) {
        const std::vector<std::string> f = Fields(modules[s]);
        EXPECT_EQ(dmd[4 * s].rfind(">g" + std::to_string(moduleGroup_) + "_sp" + std::to_string(s) + "\t" + f[2] +
                                       "\t" + f[3] + "\t",
                                   0),
                  0u)
            << dmd[4 * s];
    }
    int counted = 0;
    for (const std::string& l : Lines(ReadFile(run.File("debuginfo.txt")))) counted += l == "finish counting";
    EXPECT_EQ(counted, 3);
}

TEST_F(ScanModes, AlignedInputErrorsAreRefusedBeforeAnyOutput)
{
    WriteFile(run.File("ragged.fa"), ">a\n" + std::string(120, 'A') + "\n>b\n" + std::string(120, 'C') + "\n>c\n" +
                                         std::string(119, 'G') + "\n");
    WriteFile(run.File("two.fa"), ">a\nACGT\n>b\nACGT\n");
    WriteFile(run.File("empty.fa"), ">a\n--\n>b\n--\n>c\n--\n");
    const std::string param = " -P " + Data("m_param.txt");
    ExpectRefused("-N 3 -K 3 -i " + run.File("ragged.fa") + param,
                  "error in input alignment file: length not equal!");
    ExpectRefused("-N 3 -K 3 -i " + run.File("two.fa") + param,
                  "aligned sequence file " + run.File("two.fa") + " holds 2 records, expected one per species (3)");
    ExpectRefused("-N 3 -K 3 -i " + run.File("missing.fa") + param,
                  "cannot open aligned sequence file " + run.File("missing.fa"));
    ExpectRefused("-N 3 -K 3 -i " + run.File("empty.fa") + param,
                  "error in input alignment file: " + run.File("empty.fa") + " holds no residue");
    ExpectRefused("-N 3 -K 3 -i " + Data("m_aln.fa") + " -P " + run.File("missing.txt"),
                  "cannot open parameter file " + run.File("missing.txt"));
    // The file holds three motifs; -K 4 reads line 2 as four probabilities.
    ExpectRefused("-N 3 -K 4 -i " + Data("m_aln.fa") + param,
                  Data("m_param.txt") + " line 2: expected 4 tab-separated numbers (the site probabilities)");
}

// ---------------------------------------------------------------- unaligned scan (-F)

TEST_F(ScanModes, UnalignedScanMarginalsAreHighInsidePlantedModules)
{
    const int n = 50;
    RunResult r = Run("-N 3 -K 3 -F -S 3 -L 150 -n " + std::to_string(n) + " -i " + Data("m.fa") + " -A " +
                      Data("m_motifs_sites.txt") + " -o u.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string report = ReadFile(run.File("u.txt"));
    EXPECT_NE(report.find("\nAverage likelihood=0.0000\nPost burn-in iterations=50\n"), std::string::npos);
    EXPECT_FALSE(testutil::Exists(run.File("u.txt.info")));  // four groups: no progress line

    std::map<std::pair<int, int>, std::pair<int, int>> module;  // (species, group) -> [start, end]
    std::map<std::pair<int, int>, int> length;
    for (const TruthRow& t : ReadTruth(Data("m_truth.tsv"))) {
        if (t.type == "module") module[{t.species, t.group}] = {t.start, t.end};
        if (t.type == "sequence") length[{t.species, t.group}] = t.end + 1;
    }
    const std::vector<std::string> rows = Lines(ReadFile(run.File("u.txtmargmodule.txt")));
    ASSERT_EQ(rows.size(), 12u);
    double inside = 0, outside = 0;
    int nInside = 0, nOutside = 0;
    for (int s = 0; s < 3; ++s)
        for (int g = 0; g < 4; ++g) {
            const std::vector<std::string> f = Fields(rows[s * 4 + g]);
            const int L = length[{s, g}];
            ASSERT_GE(static_cast<int>(f.size()), L);
            auto it = module.find({s, g});
            for (int j = 0; j < L; ++j) {
                const int c = std::stoi(f[j]);
                if (it != module.end() && j >= it->second.first && j <= it->second.second)
                    inside += c, ++nInside;
                else
                    outside += c, ++nOutside;
            }
        }
    ASSERT_GT(nInside, 0);
    EXPECT_GT(inside / nInside, 0.9 * n);
    EXPECT_LT(outside / nOutside, 0.15 * n);

    // margcons: one line, a field for every position of species 0 in every group.
    const std::vector<std::string> cons = Lines(ReadFile(run.File("u.txtmargcons.txt")));
    ASSERT_EQ(cons.size(), 1u);
    int positions = 0;
    for (int g = 0; g < 4; ++g) positions += length[{0, g}];
    EXPECT_EQ(Fields(cons[0]).size(), static_cast<size_t>(positions) + 1);  // each field ends with a tab
}

TEST_F(ScanModes, UnalignedInputErrorsAreRefusedBeforeAnyOutput)
{
    const std::string base = "-N 3 -F -L 150 -n 5 -i " + Data("m.fa");
    const std::string sites = Data("m_motifs_sites.txt");
    ExpectRefused(base + " -K 3", "-F needs -A, the file of known motif matrices with their expected site numbers");
    ExpectRefused(base + " -K 2 -A " + sites,
                  "motif file " + sites + " holds 3 matrices; -F needs exactly the 2 motifs of -K");
    ExpectRefused(base + " -K 4 -A " + sites,
                  "motif file " + sites + " holds 3 matrices; -F needs exactly the 4 motifs of -K");
    ExpectRefused(base + " -K 3 -A " + run.File("missing.txt"), "cannot open motif matrix file " + run.File("missing.txt"));
    // A file without the line of site numbers.
    ExpectRefused(base + " -K 3 -A " + Data("m_motifs.txt"),
                  Data("m_motifs.txt") + " line 3: expected 3 tab-separated numbers (the expected site numbers)");
    // 2 + 2 + 2 sites in a module of 6 positions leave no module background.
    ExpectRefused("-N 3 -F -L 6 -K 3 -i " + Data("m.fa") + " -A " + sites,
                  "the expected site numbers of " + sites +
                      " must sum to less than -L (6) so that the module background keeps a positive probability");
}

// ---------------------------------------------------------------- motif selection (-B)

class SelectionMode : public ScanModes {
protected:
    // The model knows planted motifs 1 and 2; the candidates are decoys, planted motif 3
    // and a second copy of planted motif 1.
    void SetUp() override
    {
        const std::vector<std::vector<std::string>> planted = MatrixBlocks(Data("m_motifs.txt"), false);
        ASSERT_EQ(planted.size(), 3u);
        auto rows = [](const std::vector<std::string>& block) {
            return std::vector<std::string>(block.begin() + 1, block.end());
        };
        WriteFile(run.File("known.txt"), MotifFile({{"known1", rows(planted[0])}, {"known2", rows(planted[1])}}));
        std::vector<std::string> shuffled = rows(planted[2]);
        std::rotate(shuffled.begin(), shuffled.begin() + 5, shuffled.end());
        std::reverse(shuffled.begin() + 3, shuffled.end());
        const std::vector<std::string> random = {"0.1\t0.4\t0.3\t0.2", "0.7\t0.1\t0.1\t0.1", "0.2\t0.2\t0.5\t0.1",
                                                 "0.1\t0.1\t0.1\t0.7", "0.3\t0.3\t0.2\t0.2", "0.05\t0.05\t0.8\t0.1",
                                                 "0.25\t0.25\t0.25\t0.25", "0.6\t0.2\t0.1\t0.1", "0.1\t0.6\t0.2\t0.1",
                                                 "0.2\t0.1\t0.1\t0.6"};
        WriteFile(run.File("cand.txt"), MotifFile({{"shuffled 3", shuffled},
                                                   {"random", random},
                                                   {"planted 3", rows(planted[2])},
                                                   {"planted 1 again", rows(planted[0])}}));
    }
};

TEST_F(SelectionMode, PlantedMotifIsReported)
{
    RunResult r = Run("-N 3 -K 3 -S 1 -q 0.01 -T 4 -i " + Data("m.fa") + " -A known.txt -B cand.txt -o s.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string text = ReadFile(run.File("s.txt"));
    ASSERT_EQ(text.rfind("\n\nMax LLR motif = 3 planted 3\n", 0), 0u) << text;
    const std::vector<std::string> lines = Lines(text.substr(2));
    ASSERT_EQ(lines.size(), 5u);
    std::vector<double> llr;
    for (int i = 1; i <= 4; ++i) {
        const std::vector<std::string> f = Fields(lines[i]);
        ASSERT_EQ(f.size(), 4u);
        EXPECT_EQ(f[0], std::to_string(i));
        llr.push_back(std::stod(f[1]));
    }
    EXPECT_EQ(Fields(lines[3])[3], "planted 3");
    for (int i : {0, 1, 3}) EXPECT_LT(llr[i], llr[2] - 10.0) << i;
}

TEST_F(SelectionMode, InputErrorsAreRefusedBeforeAnyOutput)
{
    const std::string base = "-N 3 -q 0.01 -i " + Data("m.fa");
    const std::string known = run.File("known.txt"), cand = run.File("cand.txt");
    ExpectRefused(base + " -K 3 -T 5 -A " + known + " -B " + cand,
                  "candidate file " + cand + " holds 4 matrices, not the 5 of -T");
    ExpectRefused(base + " -K 3 -T 3 -B " + cand, "candidate file " + cand + " holds 4 matrices, not the 3 of -T");
    ExpectRefused(base + " -K 1 -T 4 -A " + known + " -B " + cand,
                  "motif file " + known + " holds 2 matrices, more than the 1 motifs of -K");
    ExpectRefused(base + " -K 3 -T 4 -B " + run.File("none.txt"), "cannot open motif matrix file " + run.File("none.txt"));
    WriteFile(run.File("bad.txt"), "1\n2\nbad\n0.1\t0.2\t0.3\t0.4\n0.1\tx\t0.3\t0.4\n");
    ExpectRefused(base + " -K 3 -T 1 -B " + run.File("bad.txt"),
                  run.File("bad.txt") + " line 5: expected 4 tab-separated numbers (row 2 of matrix 1)");
}
