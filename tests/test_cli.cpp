// Command line: the usage text, the option scan and its quirks, the mode choice, and every
// refusal of the program (option checks, input files, drivers) with its one-line message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/PathModuleU.h"
#include "support/Support.h"

namespace {

using support::kBin;
using support::ReadFile;
using support::RunCommand;
using support::RunResult;
using support::TempDir;
using support::WriteFile;

// A command line (argv[0] included, words split at blanks) parsed into a fresh record: the
// scan's status, its notes on standard error, and the settings a run depends on as one line
// of words "key=value"; the mode is named by the option that picks it (P, F, B; D: de novo).
struct Parsed {
    INPUTPARAMETER p;
    int status = 0;
    std::string notes, settings;
};
Parsed Parse(const std::string& line)
{
    std::istringstream words(line);
    std::vector<std::string> args(std::istream_iterator<std::string>(words), {});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Parsed r;
    INPUTPARAMETER& p = r.p;
    SetDefaultParam(&p);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.status = ParseInputParam(&p, static_cast<int>(argv.size()), argv.data());
    testing::internal::GetCapturedStdout();
    r.notes = testing::internal::GetCapturedStderr();
    char text[400];
    std::snprintf(text, sizeof text,
                  "i=%s o=%s N=%d K=%d n=%d w=%d W=%d L=%d m=%d u=%g p=%g R=%g b=%g f=%g q=%d:%g r=%d c=%d s=%d "
                  "M=%d x=%d S=%d:%u mode=%c",
                  p.strSeqFile.c_str(), p.strOutputFile.c_str(), p.nSpeciesNum, p.nMotifNum, p.nMaxIterNum,
                  p.nMinMotifWidth, p.nMaxMotifWidth, p.nModuleLen, p.nRepeatNum, p.dAlignUpdatePr, p.dPostCutoff,
                  p.dModuleStartPr, p.dBgMutationRate, p.dMotifMutationRate, p.bMotifPr, p.dMotifPr, p.bBothStrands,
                  p.bCollapsed, p.bMotifMode, p.bMaskLowComplexity, p.bScanDetail, p.bSeedGiven, p.nSeed,
                  "PFBD"[static_cast<int>(ChooseMode(p))]);
    r.settings = text;
    return r;
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
// other letter draws a note. Then the defaults, the scan's quirks, the mode choice, notes and
// the parameter line of the report.
TEST(CommandLine, UsageHelpDefaultsQuirksModesAndParamLine)
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
        const bool unknown =
            Parse(std::string("S -N 2 -") + c + " 1").notes.find("ignoring unknown") != std::string::npos;
        EXPECT_EQ(unknown, help.output.find(std::string("\n  -") + c + " ") == std::string::npos) << "-" << c;
    }
    // Each row: a command line and the words its settings line holds (the first row all of them).
    const std::string b = "S -N 2 -B c -T 2 -q 0.01 ";
    const std::pair<std::string, std::string> cases[] = {
        // The defaults differ from the usage text (Output.txt, 2000 iterations, widths 10 to 14).
        {"S -N 3 - -Z -S 42",
         "i= o=Output.txt N=3 K=3 n=2000 w=10 W=14 L=200 m=1 u=0.1 p=0.5 R=0.001 b=0.1 f=0.02 q=0:0 r=1 c=0 s=0 "
         "M=0 x=1 S=1:42 mode=D"},
        // Only the second character counts: -input acts as -i, -Kx as -K. -r is off only when its
        // value begins with '0'.
        {"S -input f.fa -N 2 -Kx 5 -c -M -s -x -r 00", "i=f.fa N=2 K=5 c=1 s=1 M=1 x=0 S=0:0 r=0"},
        // A value is examined again as an argument: "-c" as the value of -o also sets -c.
        {"S -N 2 -o -c -q 0.25 -m 2 -r no", "o=-c m=2 q=1:0.25 c=1 r=1"},
        // -P before -F before -B before de novo; options a mode never reads are not checked in it.
        {b + "-F -P p -x -w 15 -u 2 -n 0 -r 0", "mode=P r=0"},
        {b + "-F -r 1", "mode=F r=1"},
        {b + "-W 1000 -p 7", "mode=B"},
        // Notes on standard error (below) never stop a run.
        {"S -N 2 --seed 5 -seed", "s=1"},
    };
    for (const auto& [args, settings] : cases) {
        const Parsed r = Parse(args);
        EXPECT_EQ(r.status, 0) << args;
        std::istringstream words(settings);
        for (std::string w; words >> w;)
            EXPECT_NE((" " + r.settings + " ").find(" " + w + " "), std::string::npos) << args << ": " << r.settings;
    }
    EXPECT_EQ(Parse("S -N 2 --seed 5 -seed").notes,
              "ignoring unknown option --seed (options are single letters, e.g. -S)\n"
              "reading -seed as -s (motif mode: every position is a module position)\n");
    EXPECT_STREQ(Parse("Serevan -i in.fa -N 3 -").p.strParamLine.c_str(),
                 "Serevan (beta 1, Nov 2007)\nSerevan -i in.fa -N 3 - ");
}

// Every refusal: exit status 1, exactly the one line on standard output, and no file left
// behind, in a directory of the example set (demo.fa: 3 species x 10 groups; 3 motifs, 8
// candidates) and a few broken files. One row per driver shows it passes a reader's message on.
TEST(CommandLine, RefusalsLeaveNothingBehind)
{
    const std::pair<std::string, std::string> cases[] = {
        // Option checks.
        {"-i demo.fa", "Input number of species < 2!"},
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
        {"-N 2 -y -1", "-y must be at least 0"},
        {"-N 2 -F -y 2", "-y is an option of the de novo run"},
        {"-N 2 -j 12", "-j needs -D: the matrices it chooses among come from the words"},
        {"-N 2 -D -j 201", "-j must be from 0 to 200"},
        {"-N 2 -F -j 12", "-j is an option of the de novo run"},
        {"-N 2 -D -E", "-E needs -C 2 or more: it takes the motifs of the chains"},
        {"-N 2 -a 10,15", "-a must be widths from 1 to -W, separated by commas"},
        {"-N 2 -a 10,,12", "-a must be widths from 1 to -W, separated by commas"},
        {"-N 2 -a 10,x", "-a must be widths from 1 to -W, separated by commas"},
        {"-N 2 -a 0", "-a must be widths from 1 to -W, separated by commas"},
        {"-N 2 -a 12,", "-a must be widths from 1 to -W, separated by commas"},
        {"-N 2 -F -a 12", "-a is an option of the de novo run"},
        {"-N 2 -d 0.1", "-d needs -c: it sets the collapsed matrix update"},
        {"-N 2 -c -d 0", "-d must be above 0 and at most 100"},
        {"-N 2 -F -d 0.5", "-d is an option of the de novo run"},
        {"-N 2 -o", "Option -o needs a value"},
        // Input checks of the program.
        {"-i demo.fa -N 3 -o no/such/dir/out.txt", "cannot open output file no/such/dir/out.txt for appending"},
        {"-i missing.fa -N 2", "cannot open sequence file missing.fa"},
        {"-i demo.fa -N 3 -g missing.freq", "cannot open background file missing.freq"},
        {"-i demo_aln.fa -N 3 -P demo_param.txt -g missing.freq", "cannot open background file missing.freq"},
        {"-i demo.fa -N 4",
         "All species must have the same number of sequences! (30 records are not a multiple of -N 4)"},
        // The de novo driver (its log, written before the input is read, is removed again).
        {"-i demo.fa -N 3 -A missing.txt", "cannot open motif matrix file missing.txt"},
        {"-i demo.fa -N 3 -K 2 -A demo_motifs.txt",
         "motif file demo_motifs.txt holds 3 matrices, more than the 2 motifs of -K"},
        {"-i empty.fa -N 3", "the sequences of empty.fa are all empty: there is nothing to sample"},
        {"-i short.fa -N 3 -s -K 3",
         "-K must be below the mean sequence length (3) in motif mode (the module background needs a positive "
         "probability)"},
        {"-i gapped.fa -N 3",
         "sequence file gapped.fa line 2 (record >a): letters follow '-' at column 3 and would "
         "be lost; sequence lines may hold only letters (remove gaps, '*', '.', digits and blanks)"},
        // The aligned scan (-P).
        {"-i missing.fa -N 3 -P demo_param.txt", "cannot open aligned sequence file missing.fa"},
        {"-i ragged.fa -N 3 -P demo_param.txt",
         "error in input alignment file: length not equal! (row 3, >c, has 4 columns; row 1 has 5)"},
        {"-i gaps.fa -N 3 -P demo_param.txt", "error in input alignment file: gaps.fa holds no residue"},
        {"-i wide.fa -N 16 -P demo_param.txt",
         "error in input alignment file: 16 species x 8000 columns need about 8.30 "
         "GiB (2^N states per column), more than the limit of 8 GiB"},
        {"-i demo_aln.fa -N 3 -P missing.txt", "cannot open parameter file missing.txt"},
        // The unaligned scan (-F).
        {"-i demo.fa -N 3 -F", "-F needs -A, the file of known motif matrices with their expected site numbers"},
        {"-i demo.fa -N 3 -F -K 2 -A demo_motifs_sites.txt",
         "motif file demo_motifs_sites.txt holds 3 matrices; -F needs exactly the 2 motifs of -K"},
        {"-i demo.fa -N 3 -F -A demo_motifs.txt",
         "demo_motifs.txt line 3: expected 3 tab-separated numbers (the expected site numbers)"},
        // 2 + 2 + 2 sites in a module of 6 positions leave no module background.
        {"-i demo.fa -N 3 -F -L 6 -A demo_motifs_sites.txt",
         "the expected site numbers of demo_motifs_sites.txt must sum to less than -L (6) so that the module "
         "background keeps a positive probability"},
        // Motif selection (-B).
        {"-i demo.fa -N 3 -q 0.01 -T 5 -B demo_candidates.txt",
         "candidate file demo_candidates.txt holds 8 matrices, not the 5 of -T"},
        {"-i demo.fa -N 3 -q 0.01 -T 8 -B demo_candidates.txt -K 2 -A demo_motifs.txt",
         "motif file demo_motifs.txt holds 3 matrices, more than the 2 motifs of -K"},
        {"-i demo.fa -N 3 -q 0.01 -T 8 -B missing.txt", "cannot open motif matrix file missing.txt"},
    };
    TempDir dir("refused");
    const std::string ex = support::kSourceDir + "/examples/demo";
    for (const char* f : {".fa", "_aln.fa", "_param.txt", "_motifs.txt", "_motifs_sites.txt", "_candidates.txt"})
        std::filesystem::copy_file(ex + f, dir.File(std::string("demo") + f));
    WriteFile(dir.File("empty.fa"), ">a\n\n>b\n>c\n");
    WriteFile(dir.File("short.fa"), ">a\nACG\n>b\nACG\n>c\nACG\n");
    WriteFile(dir.File("ragged.fa"), ">a\nACGTA\n>b\nACGTA\n>c\nACGT\n");
    WriteFile(dir.File("gaps.fa"), ">a\n--\n>b\n--\n>c\n--\n");
    WriteFile(dir.File("gapped.fa"), ">a\nAC-GT\n>b\nACGT\n>c\nACGT\n");
    std::string wide;
    for (int sp = 0; sp < 16; ++sp) wide += ">s\n" + std::string(8000, 'A') + "\n";
    WriteFile(dir.File("wide.fa"), wide);
    const std::vector<std::string> before = support::Listing(dir.Path());
    for (const auto& [args, message] : cases) {
        const RunResult r = RunCommand(kBin + " -o out.txt " + args, dir.Path().string());
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.output, message + "\n");
        EXPECT_EQ(support::Listing(dir.Path()), before) << args;
    }
}

// A wrong -N that divides the record count pairs species 0 with unrelated records: the run
// completes and says which species look unrelated (with -N 6 the example's 30 records make
// species 2 and 4 the orthologues of species 0, and 1, 3, 5 other groups); the right -N and
// a real genome alignment (human, mouse, rat) say nothing.
TEST(CommandLine, WrongSpeciesCountIsNamedButTheRunCompletes)
{
    TempDir dir("wrongn");
    const std::string ex = support::kSourceDir + "/examples/";
    ASSERT_EQ(RunCommand(std::string(SEREVAN_PREP_BIN) + " maf " + ex + "chr22_piece.maf --species hg17,mm5,rn3 -o maf",
                         dir.Path().string())
                  .status,
              0);
    for (const auto& [input, N, said] : {std::tuple{ex + "demo.fa", 6, true}, std::tuple{ex + "demo.fa", 3, false},
                                         std::tuple{std::string("maf.fa"), 3, false}}) {
        const RunResult r = RunCommand(kBin + " -i " + input + " -N " + std::to_string(N) + " -K 2 -n 2 -S 1 -o o.txt",
                                       dir.Path().string());
        EXPECT_EQ(r.status, 0) << r.output;
        const std::string warning = "warning: in most groups species 1, 3, 5 look unrelated to species 0";
        EXPECT_EQ(r.error.find(said ? warning : "unrelated") != std::string::npos, said) << input << " " << r.error;
    }
}
