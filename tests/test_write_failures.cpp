// Every output of every mode on a full disk: each file a clean run writes becomes, in turn, a
// link to /dev/full; the run must end with status 1 and one line naming that file. One CTest
// entry per mode, so that the slow modes run in parallel.
#include <filesystem>
#include <string>

#include "support/Support.h"

// One entry per mode, named by the mode.
const char* const kModes[][2] = {
    {"DeNovo", "-i EX/demo.fa -N 3 -K 2 -n 10 -S 1"},
    {"Repeat", "-i EX/demo.fa -N 3 -K 2 -n 10 -m 2 -S 1"},
    {"AlignedScan", "-i EX/demo_aln.fa -N 3 -K 3 -P EX/demo_param.txt -S 1"},
    {"AlignedScore", "-i EX/demo_aln.fa -N 3 -K 3 -P EX/demo_param.txt -x -S 1"},
    {"UnalignedScan", "-i EX/demo.fa -N 3 -K 3 -F -A EX/demo_motifs_sites.txt -L 200 -n 10 -S 1"},
    {"Selection", "-i EX/demo.fa -N 3 -K 3 -A EX/demo_motifs.txt -B EX/demo_candidates.txt -T 8 -q 0.01 -S 1"},
};

class WriteFailures : public ::testing::TestWithParam<int> {};

TEST_P(WriteFailures, EveryOutputOnAFullDiskEndsTheRunWithItsName)
{
    std::string args = kModes[GetParam()][1];
    for (size_t at; (at = args.find("EX/")) != std::string::npos;)
        args.replace(at, 3, support::kSourceDir + "/examples/");
    const std::string command = "'" + support::kBin + "' " + args + " -o out.txt";
    support::TempDir clean("writes");
    ASSERT_EQ(support::RunCommand(command, clean.Path().string()).status, 0) << args;
    for (const std::string& out : support::Listing(clean.Path())) {
        support::TempDir dir("full");
        std::filesystem::create_symlink("/dev/full", dir.File(out));
        const support::RunResult r = support::RunCommand(command, dir.Path().string());
        const std::string message = out == "out.txt" ? "cannot write the report to out.txt" : "cannot write " + out;
        // Status and standard output: the report comes last and the result line only after it,
        // so a failed write leaves the message alone on standard output.
        EXPECT_EQ(std::to_string(r.status) + " " + r.output, "1 " + message + "\n") << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, WriteFailures, ::testing::Range(0, 6),
                         [](const auto& info) { return std::string(kModes[info.param][0]); });
