// Command line: the usage text, the option scan and its quirks, the mode choice, and every
// refusal of the program (option checks, input files, drivers) with its one-line message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/PathModuleU.h"
#include "support/Support.h"

namespace {

using support::kBin;
using support::RunCommand;
using support::RunResult;
using support::TempDir;
using support::WriteFile;

// Parses a command line (argv[0] included, words split at blanks) into a fresh record.
struct Parsed {
    INPUTPARAMETER p;
    int status = 0;
};
Parsed Parse(const std::string& line)
{
    std::vector<std::string> args;
    std::istringstream words(line);
    for (std::string w; words >> w;) args.push_back(w);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Parsed r;
    SetDefaultParam(&r.p);
    testing::internal::CaptureStdout();
    r.status = ParseInputParam(&r.p, static_cast<int>(argv.size()), argv.data());
    testing::internal::GetCapturedStdout();
    return r;
}

// The settings a run depends on, as one line.
std::string Dump(const INPUTPARAMETER& p)
{
    char text[400];
    std::snprintf(text, sizeof text,
                  "i=%s o=%s N=%d K=%d n=%d w=%d W=%d L=%d m=%d u=%g p=%g R=%g b=%g f=%g q=%d:%g r=%d c=%d s=%d "
                  "M=%d x=%d S=%d:%u",
                  p.strSeqFile.c_str(), p.strOutputFile.c_str(), p.nSpeciesNum, p.nMotifNum, p.nMaxIterNum,
                  p.nMinMotifWidth, p.nMaxMotifWidth, p.nModuleLen, p.nRepeatNum, p.dAlignUpdatePr, p.dPostCutoff,
                  p.dModuleStartPr, p.dBgMutationRate, p.dMotifMutationRate, p.bMotifPr, p.dMotifPr, p.bBothStrands,
                  p.bCollapsed, p.bMotifMode, p.bMaskLowComplexity, p.bScanDetail, p.bSeedGiven, p.nSeed);
    return text;
}

const char* kUsage =
    "\nUsage: ./Serevan -i Seqfile (options)\n"
    "See Readme.pdf for the format of input sequences\n\n"
    "Options:\n"
    "\t-o\tOutput file (default output.txt)\n"
    "\t-n\tMaximum number of iterations (default 1000)\n"
    "\t-p\tCutoff for posterior probabilities (default 0.5)\n"
    "\t-N\tNumber of species\n"
    "\t-K\tNumber of motifs\n"
    "\t-L\tExpected module length (default: 200)\n"
    "\t-w\tMinimal motif width (default: 8)\n"
    "\t-W\tMaximal motif width (default: 15)\n"
    "\t-u\tProbability of updating alignments at each iteration (default: 0.2)\n"
    "\t-c\tRun in the collapsed sampler mode (recommended)\n"
    "\t-s\tRun in the motif mode\n";

}  // namespace

// The usage text byte for byte; the help lists exactly the options the scan knows: every
// other letter draws a note.
TEST(CommandLine, HelpAndScanKnowTheSameOptions)
{
    const RunResult usage = RunCommand(kBin), help = RunCommand(kBin + " --help");
    EXPECT_EQ(usage.output, std::string(kUsage) +
                                "Run Serevan --help for every option, its default, each mode's "
                                "files and an example of each mode.\n");
    EXPECT_EQ(std::make_pair(usage.status, help.status), std::make_pair(0, 0));
    EXPECT_NE(help.output.find("  -h, --help"), std::string::npos);
    EXPECT_EQ(RunCommand(kBin + " -N 3 -h").output, help.output);
    EXPECT_EQ(RunCommand(kBin + " --version").output, std::string("Serevan ") + kSerevanVersion + "\n");
    for (char c = 'A'; c <= 'z'; ++c) {
        if (!std::isalpha(static_cast<unsigned char>(c)) || c == 'h') continue;
        testing::internal::CaptureStderr();
        Parse(std::string("S -N 2 -") + c + " 1");
        const bool unknown = testing::internal::GetCapturedStderr().find("ignoring unknown") != std::string::npos;
        const bool listed = help.output.find(std::string("\n  -") + c + " ") != std::string::npos;
        EXPECT_EQ(unknown, !listed) << "-" << c;
    }
}

// Notes on standard error never stop a run; progress lines appear on a terminal only.
TEST(CommandLine, NotesAndProgressLines)
{
    TempDir dir("notes");
    WriteFile(dir.File("seqs.fa"), support::ReadFile(support::kSourceDir + "/examples/demo.fa"));
    const std::string run = kBin + " -i seqs.fa -N 3 -K 1 -n 20 -w 4 -W 5 -S 1 -o out.txt";
    RunResult r = RunCommand(run + " --seed 5 -seed", dir.Path().string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.error,
              "ignoring unknown option --seed (options are single letters, e.g. -S)\n"
              "reading -seed as -s (motif mode: every position is a module position)\n");
    r = RunCommand(run, dir.Path().string());
    EXPECT_EQ(r.error, "appending to the existing report out.txt (and to its side files)\n");
    if (RunCommand("command -v script").status != 0) GTEST_SKIP() << "no script(1) for a pseudo-terminal";
    r = RunCommand("script -qec '" + run + " -o tty.txt' /dev/null", dir.Path().string());
    for (const char* stage : {"aligning group", "starting-motif round", "iteration 20 of 20"})
        EXPECT_NE(r.output.find(stage), std::string::npos) << stage;
}

TEST(CommandLine, DefaultsQuirksModesAndParamLine)
{
    const std::pair<const char*, const char*> cases[] = {
        // The defaults differ from the usage text (Output.txt, 2000 iterations, widths 10 to 14).
        {"S -N 3 - -Z -S 42",
         "i= o=Output.txt N=3 K=3 n=2000 w=10 W=14 L=200 m=1 u=0.1 p=0.5 R=0.001 b=0.1 f=0.02 "
         "q=0:0 r=1 c=0 s=0 M=0 x=1 S=1:42"},
        // Only the second character counts: -input acts as -i, -Kx as -K.
        {"S -input f.fa -N 2 -Kx 5 -c -M -s -x",
         "i=f.fa o=Output.txt N=2 K=5 n=2000 w=10 W=14 L=200 m=1 u=0.1 p=0.5 "
         "R=0.001 b=0.1 f=0.02 q=0:0 r=1 c=1 s=1 M=1 x=0 S=0:0"},
        // A value is examined again as an argument: "-c" as the value of -o also sets -c.
        {"S -N 2 -o -c -q 0.25 -m 2",
         "i= o=-c N=2 K=3 n=2000 w=10 W=14 L=200 m=2 u=0.1 p=0.5 R=0.001 b=0.1 f=0.02 "
         "q=1:0.25 r=1 c=1 s=0 M=0 x=1 S=0:0"},
    };
    for (const auto& [args, settings] : cases) {
        Parsed r = Parse(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(Dump(r.p), settings);
    }
    // -P before -F before -B before de novo; options a mode never reads are not checked in it.
    const std::string b = "S -N 2 -B c -T 2 -q 0.01 ";
    for (const auto& [args, mode] :
         std::vector<std::pair<std::string, RunMode>>{{b + "-F -P p -x -w 15 -u 2 -n 0", RunMode::ScanAligned},
                                                      {b + "-F", RunMode::ScanUnaligned},
                                                      {b + "-W 1000 -p 7", RunMode::MotifSelection},
                                                      {"S -N 2", RunMode::DeNovo}}) {
        const Parsed r = Parse(args);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_EQ(ChooseMode(r.p), mode) << args;
    }
    EXPECT_STREQ(Parse("Serevan -i in.fa -N 3 -").p.strParamLine.c_str(),
                 "Serevan (beta 1, Nov 2007)\nSerevan -i in.fa -N 3 - ");
    // -r: off only when the value begins with '0'.
    for (const auto& [value, both] :
         std::vector<std::pair<std::string, bool>>{{"0", false}, {"00", false}, {"no", true}, {"1", true}})
        EXPECT_EQ(Parse("S -N 2 -r " + value).p.bBothStrands, both) << value;
}

// Every refusal: exit status 1, exactly the one line on standard output, and no file left
// behind. Each row runs in a fresh directory holding the example set (seqs.fa 3 species x
// 10 groups, aln.fa and param.txt with 3 motifs, motifs.txt, sites.txt, cand.txt with 8
// matrices) and a few broken files. Reader messages themselves are fixed by the reader tests;
// here one row per driver shows that it passes them on.
TEST(CommandLine, RefusalsLeaveNothingBehind)
{
    struct Case {
        std::string args;
        std::string message;
    } cases[] = {
        // Option checks.
        {"-i seqs.fa", "Input number of species < 2!"},
        {"-N 1", "Input number of species < 2!"},
        {"-N two", "-N: 'two' is not a whole number"},
        {"-N 3x", "-N: '3x' is not a whole number"},
        {"-N 3 -n 99999999999999", "-n: '99999999999999' is too large (at most 2147483647)"},
        {"-N 3 -S -1", "-S: '-1' is too small (at least 0)"},
        {"-N 3 -p 0.5x", "-p: '0.5x' is not a number"},
        {"-N 17", "-N must be at most 16 (2^N states per alignment node)"},
        {"-N 2 -n 0", "-n must be at least 1"},
        {"-N 2 -K 0", "-K must be at least 1"},
        {"-N 2 -w 0", "-w must be at least 1"},
        {"-N 2 -w 9 -W 8", "-w must not exceed -W"},
        {"-N 2 -W 2000000000", "-W must be at most 100"},
        {"-N 2 -K 101", "-K must be at most 100"},
        {"-N 2 -B c.txt -T 100001 -q 0.001", "-T must be at most 100000"},
        {"-N 2 -L 1", "-L must be at least 2"},
        {"-N 2 -p 1.5", "-p must be within 0 and 1"},
        {"-N 2 -u -0.1", "-u must be within 0 and 1"},
        {"-N 2 -q 1", "-q must be within 0 and 1 (exclusive)"},
        {"-N 2 -K 3 -L 3", "-K must be below 0.8 times -L (the module background needs a positive probability)"},
        {"-N 2 -K 3 -q 0.4", "-K times -q must be below 1 (the module background needs a positive probability)"},
        {"-N 2 -s -K 3 -q 0.4", "-K times -q must be below 1 (the module background needs a positive probability)"},
        {"-N 2 -B c.txt -q 0.01", "-B needs -T, the number of candidate matrices (at least 1)"},
        {"-N 2 -B c.txt -T 3", "-B needs -q, the site probability of each motif"},
        {"-N 2 -B c.txt -T 3 -q 0.01 -b 0", "-b must be within 0 and 1 (exclusive)"},
        {"-N 2 -F -f 1", "-f must be within 0 and 1 (exclusive)"},
        {"-N 2 -F -R 0", "-R must be within 0 and 1 (exclusive)"},
        {"-N 2 -g 6", "-g must be an order from 0 to 5 or a file"},
        {"-N 2 -o", "Option -o needs a value"},
        // Input checks of the program.
        {"-i seqs.fa -N 3 -o no/such/dir/out.txt", "cannot open output file no/such/dir/out.txt for appending"},
        {"-i missing.fa -N 2", "cannot open sequence file missing.fa"},
        {"-i seqs.fa -N 3 -g missing.freq", "cannot open background file missing.freq"},
        {"-i aln.fa -N 3 -P param.txt -g missing.freq", "cannot open background file missing.freq"},
        {"-i seqs.fa -N 4",
         "All species must have the same number of sequences! (30 records are not a multiple of -N 4)"},
        // The de novo driver (its log, written before the input is read, is removed again).
        {"-i seqs.fa -N 3 -A missing.txt", "cannot open motif matrix file missing.txt"},
        {"-i seqs.fa -N 3 -K 2 -A motifs.txt", "motif file motifs.txt holds 3 matrices, more than the 2 motifs of -K"},
        {"-i empty.fa -N 3", "the sequences of empty.fa are all empty: there is nothing to sample"},
        {"-i short.fa -N 3 -s -K 3",
         "-K must be below the mean sequence length (3) in motif mode (the module background needs a positive "
         "probability)"},
        {"-i gapped.fa -N 3",
         "sequence file gapped.fa line 2 (record >a): letters follow '-' at column 3 and would "
         "be lost; sequence lines may hold only letters (remove gaps, '*', '.', digits and blanks)"},
        // The aligned scan (-P).
        {"-i missing.fa -N 3 -P param.txt", "cannot open aligned sequence file missing.fa"},
        {"-i ragged.fa -N 3 -P param.txt",
         "error in input alignment file: length not equal! (row 3, >c, has 4 columns; row 1 has 5)"},
        {"-i gaps.fa -N 3 -P param.txt", "error in input alignment file: gaps.fa holds no residue"},
        {"-i wide.fa -N 16 -P param.txt",
         "error in input alignment file: 16 species x 8000 columns need about 8.30 "
         "GiB (2^N states per column), more than the limit of 8 GiB"},
        {"-i aln.fa -N 3 -P missing.txt", "cannot open parameter file missing.txt"},
        // The unaligned scan (-F).
        {"-i seqs.fa -N 3 -F", "-F needs -A, the file of known motif matrices with their expected site numbers"},
        {"-i seqs.fa -N 3 -F -K 2 -A sites.txt",
         "motif file sites.txt holds 3 matrices; -F needs exactly the 2 motifs of -K"},
        {"-i seqs.fa -N 3 -F -A motifs.txt",
         "motifs.txt line 3: expected 3 tab-separated numbers (the expected site "
         "numbers)"},
        // 2 + 2 + 2 sites in a module of 6 positions leave no module background.
        {"-i seqs.fa -N 3 -F -L 6 -A sites.txt",
         "the expected site numbers of sites.txt must sum to less than -L (6) so that the module background keeps a "
         "positive probability"},
        // Motif selection (-B).
        {"-i seqs.fa -N 3 -q 0.01 -T 5 -B cand.txt", "candidate file cand.txt holds 8 matrices, not the 5 of -T"},
        {"-i seqs.fa -N 3 -q 0.01 -T 8 -B cand.txt -K 2 -A motifs.txt",
         "motif file motifs.txt holds 3 matrices, more than the 2 motifs of -K"},
        {"-i seqs.fa -N 3 -q 0.01 -T 8 -B missing.txt", "cannot open motif matrix file missing.txt"},
    };
    const std::string ex = support::kSourceDir + "/examples/demo";
    std::string wide;
    for (int sp = 0; sp < 16; ++sp) wide += ">s\n" + std::string(8000, 'A') + "\n";
    const std::pair<std::string, std::string> files[] = {{"seqs.fa", support::ReadFile(ex + ".fa")},
                                                         {"aln.fa", support::ReadFile(ex + "_aln.fa")},
                                                         {"param.txt", support::ReadFile(ex + "_param.txt")},
                                                         {"motifs.txt", support::ReadFile(ex + "_motifs.txt")},
                                                         {"sites.txt", support::ReadFile(ex + "_motifs_sites.txt")},
                                                         {"empty.fa", ">a\n\n>b\n>c\n"},
                                                         {"cand.txt", support::ReadFile(ex + "_candidates.txt")},
                                                         {"short.fa", ">a\nACG\n>b\nACG\n>c\nACG\n"},
                                                         {"ragged.fa", ">a\nACGTA\n>b\nACGTA\n>c\nACGT\n"},
                                                         {"gaps.fa", ">a\n--\n>b\n--\n>c\n--\n"},
                                                         {"gapped.fa", ">a\nAC-GT\n>b\nACGT\n>c\nACGT\n"},
                                                         {"wide.fa", wide}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        TempDir dir("refused");
        for (const auto& [name, text] : files) WriteFile(dir.File(name), text);
        const std::vector<std::string> before = support::Listing(dir.Path());
        RunResult r = RunCommand(kBin + " -o out.txt " + c.args, dir.Path().string());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.output, c.message + "\n");
        EXPECT_EQ(support::Listing(dir.Path()), before);
    }
}
