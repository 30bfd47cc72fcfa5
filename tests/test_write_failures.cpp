// Every output of every mode on a full disk: the output's name in a scratch directory is a
// link to /dev/full, one output at a time. The run must end with status 1 and the one-line
// message naming that file (as the last line of standard output).
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/Support.h"

namespace {

struct WriteMode {
    const char* name;
    const char* args;                  // after the program, run in the scratch directory
    std::vector<std::string> outputs;  // every file a clean run writes there, sorted
};

// Names the mode in test listings instead of dumping its bytes.
void PrintTo(const WriteMode& mode, std::ostream* os) { *os << mode.name; }

const std::string kEx = support::kSourceDir + "/examples/";

std::vector<WriteMode> Modes()
{
    const std::vector<std::string> denovo{"out.txt",       "out.txt.info",       "out.txt_Pm.txt",
                                          "out.txtmodule.txt", "out.txtmotif1.txt", "out.txtmotif2.txt"};
    return {
        {"DeNovo", "-i EX/demo.fa -N 3 -K 2 -n 10 -S 1", denovo},
        {"Repeat", "-i EX/demo.fa -N 3 -K 2 -n 10 -m 2 -S 1", denovo},
        {"AlignedScan", "-i EX/demo_aln.fa -N 3 -K 3 -P EX/demo_param.txt -S 1",
         {"debuginfo.txt", "out.txt", "out.txtdmd.txt", "out.txtmodule.txt", "out.txtmotif1.txt",
          "out.txtmotif2.txt", "out.txtmotif3.txt"}},
        {"AlignedScore", "-i EX/demo_aln.fa -N 3 -K 3 -P EX/demo_param.txt -x -S 1", {"out.txt"}},
        {"UnalignedScan", "-i EX/demo.fa -N 3 -K 3 -F -A EX/demo_motifs_sites.txt -L 200 -n 10 -S 1",
         {"out.txt", "out.txt.info", "out.txtmargAlign.txt", "out.txtmargcons.txt", "out.txtmargmodule.txt",
          "out.txtmargmotif1.txt", "out.txtmargmotif2.txt", "out.txtmargmotif3.txt", "out.txtmodule.txt",
          "out.txtmotif1.txt", "out.txtmotif2.txt", "out.txtmotif3.txt"}},
        {"Selection", "-i EX/demo.fa -N 3 -K 3 -A EX/demo_motifs.txt -B EX/demo_candidates.txt -T 8 -q 0.01 -S 1",
         {"out.txt"}},
    };
}

class WriteFailures : public ::testing::TestWithParam<WriteMode> {};

TEST_P(WriteFailures, EveryOutputOnAFullDiskEndsTheRunWithItsName)
{
    const WriteMode& mode = GetParam();
    std::string args = mode.args;
    for (size_t at; (at = args.find("EX/")) != std::string::npos;) args.replace(at, 3, kEx);
    const std::string command = "'" + support::kBin + "' " + args + " -o out.txt";

    // The clean run writes exactly the listed files.
    support::TempDir clean("writes_" + std::string(mode.name));
    ASSERT_EQ(support::RunCommand(command, clean.Path().string()).status, 0);
    EXPECT_EQ(support::Listing(clean.Path()), mode.outputs);

    for (const std::string& out : mode.outputs) {
        support::TempDir dir("full_" + std::string(mode.name));
        std::filesystem::create_symlink("/dev/full", dir.File(out));
        const support::RunResult r = support::RunCommand(command, dir.Path().string());
        const std::string message = out == "out.txt" ? "cannot write the report to out.txt" : "cannot write " + out;
        // Status and last line of standard output (a result line may come first).
        EXPECT_EQ(std::to_string(r.status) + " " + support::Lines("\n" + r.output).back(), "1 " + message) << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, WriteFailures, ::testing::ValuesIn(Modes()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
