// Command line: usage text, option scan, checks, mode choice and exit statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/PathModuleU.h"
#include "TestUtil.h"

using testutil::RunCommand;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

const std::string kBin = SEREVAN_BIN;

// Parses args (argv[0] included) into a fresh record.
struct Parsed {
    INPUTPARAMETER p;
    int status = 0;
};
Parsed Parse(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Parsed r;
    SetDefaultParam(&r.p);
    testing::internal::CaptureStdout();
    r.status = ParseInputParam(&r.p, static_cast<int>(argv.size()), argv.data());
    testing::internal::GetCapturedStdout();
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

TEST(CommandLine, UsageTextByteForByte)
{
    testutil::RunResult r = RunCommand(kBin);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, kUsage);
}

TEST(CommandLine, DefaultsAndParamLine)
{
    Parsed r = Parse({"Serevan", "-i", "in.fa", "-N", "3", "-", "-Z", "-S", "42"});
    ASSERT_EQ(r.status, 0);
    EXPECT_STREQ(r.p.strParamLine.c_str(), "Serevan (beta 1, Nov 2007)\nSerevan -i in.fa -N 3 - -Z -S 42 ");
    EXPECT_STREQ(r.p.strOutputFile.c_str(), "Output.txt");
    EXPECT_EQ(r.p.nMaxIterNum, 2000);
    EXPECT_EQ(r.p.nMinMotifWidth, 10);
    EXPECT_EQ(r.p.nMaxMotifWidth, 14);
    EXPECT_EQ(r.p.nMotifNum, 3);
    EXPECT_EQ(r.p.nModuleLen, 200);
    EXPECT_DOUBLE_EQ(r.p.dAlignUpdatePr, 0.1);
    EXPECT_DOUBLE_EQ(r.p.dPostCutoff, 0.5);
    EXPECT_DOUBLE_EQ(r.p.dModuleStartPr, 0.001);
    EXPECT_DOUBLE_EQ(r.p.dBgMutationRate, 0.1);
    EXPECT_DOUBLE_EQ(r.p.dMotifMutationRate, 0.02);
    EXPECT_TRUE(r.p.bBothStrands);
    EXPECT_TRUE(r.p.bScanDetail);
    EXPECT_TRUE(r.p.bSeedGiven);
    EXPECT_EQ(r.p.nSeed, 42u);
    EXPECT_EQ(r.p.nSpeciesNum, 3);
}

TEST(CommandLine, ScanQuirks)
{
    // Only the second character counts: -input acts as -i, -Kx as -K.
    Parsed a = Parse({"Serevan", "-input", "f.fa", "-N", "2", "-Kx", "5", "-c", "-M", "-s", "-x"});
    ASSERT_EQ(a.status, 0);
    EXPECT_STREQ(a.p.strSeqFile.c_str(), "f.fa");
    EXPECT_EQ(a.p.nMotifNum, 5);
    EXPECT_TRUE(a.p.bCollapsed && a.p.bMaskLowComplexity && a.p.bMotifMode && !a.p.bScanDetail);
    // A value is examined again as an argument: "-c" as the value of -o also sets -c.
    Parsed b = Parse({"Serevan", "-N", "2", "-o", "-c"});
    EXPECT_STREQ(b.p.strOutputFile.c_str(), "-c");
    EXPECT_TRUE(b.p.bCollapsed);
    // -r: off only when the value begins with '0'.
    EXPECT_FALSE(Parse({"S", "-N", "2", "-r", "0"}).p.bBothStrands);
    EXPECT_TRUE(Parse({"S", "-N", "2", "-r", "no"}).p.bBothStrands);
    EXPECT_TRUE(Parse({"S", "-N", "2", "-r", "1"}).p.bBothStrands);
    // Non-numeric values read as 0 and are then refused by the checks.
    EXPECT_EQ(Parse({"S", "-N", "two"}).status, 1);
}

TEST(CommandLine, ModePrecedence)
{
    EXPECT_EQ(ChooseMode(Parse({"S", "-N", "2", "-B", "c", "-T", "2", "-q", "0.01", "-F", "-P", "p"}).p),
              RunMode::ScanAligned);
    EXPECT_EQ(ChooseMode(Parse({"S", "-N", "2", "-B", "c", "-T", "2", "-q", "0.01", "-F"}).p), RunMode::ScanUnaligned);
    EXPECT_EQ(ChooseMode(Parse({"S", "-N", "2", "-B", "c", "-T", "2", "-q", "0.01"}).p), RunMode::MotifSelection);
    EXPECT_EQ(ChooseMode(Parse({"S", "-N", "2"}).p), RunMode::DeNovo);
}

TEST(CommandLine, ValueChecks)
{
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"S", "-i", "f"}, "Input number of species < 2!"},
        {{"S", "-N", "1"}, "Input number of species < 2!"},
        {{"S", "-N", "17"}, "-N must be at most 16"},
        {{"S", "-N", "2", "-n", "0"}, "-n must be at least 1"},
        {{"S", "-N", "2", "-K", "0"}, "-K must be at least 1"},
        {{"S", "-N", "2", "-w", "0"}, "-w must be at least 1"},
        {{"S", "-N", "2", "-w", "9", "-W", "8"}, "-w must not exceed -W"},
        {{"S", "-N", "2", "-L", "1"}, "-L must be at least 2"},
        {{"S", "-N", "2", "-p", "1.5"}, "-p must be within 0 and 1"},
        {{"S", "-N", "2", "-u", "-0.1"}, "-u must be within 0 and 1"},
        {{"S", "-N", "2", "-K", "3", "-L", "3"}, "-K must be below 0.8 times -L"},
        {{"S", "-N", "2", "-K", "3", "-q", "0.4"}, "-K times -q must be below 1"},
        {{"S", "-N", "2", "-B", "c.txt", "-q", "0.01"}, "-B needs -T"},
        {{"S", "-N", "2", "-B", "c.txt", "-T", "3"}, "-B needs -q"},
        {{"S", "-N", "2", "-F", "-R", "0"}, "-R must be within 0 and 1"},
        {{"S", "-N", "2", "-o"}, "Option -o needs a value"},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        std::vector<std::string> args = c.args;
        for (std::string& a : args) argv.push_back(a.data());
        INPUTPARAMETER p;
        SetDefaultParam(&p);
        testing::internal::CaptureStdout();
        int status = ParseInputParam(&p, static_cast<int>(argv.size()), argv.data());
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 1) << c.message;
        EXPECT_EQ(out.find(c.message), 0u) << out;
        EXPECT_EQ(out.back(), '\n');
        EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line: " << out;
    }
}

TEST(CommandLine, ExitStatusesOfTheProgram)
{
    TempDir dir("cli");
    std::string three = dir.File("three.fa");
    WriteFile(three, ">a\nACGT\n>b\nACGT\n>c\nACGT\n");
    testutil::RunResult r = RunCommand(kBin + " -i three.fa -N 2", dir.Path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "All species must have the same number of sequences!\n");
    r = RunCommand(kBin + " -i missing.fa -N 2", dir.Path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Input sequence number < 1!\n");
    r = RunCommand(kBin + " -i three.fa", dir.Path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Input number of species < 2!\n");
    r = RunCommand(kBin + " -i three.fa -N 2 -n", dir.Path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Option -n needs a value\n");
}
