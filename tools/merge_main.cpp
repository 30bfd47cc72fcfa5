// serevan-merge: the shards of a genome-wide scan (-F -G -J) merged into one run's files.
//   serevan-merge SHARD... -o REPORT
#include <cstdio>
#include <string>
#include <vector>

#include "app/Shards.h"
#include "common/ToolOptions.h"

using namespace sertools;

static const char kHelp[] =
    "Usage: serevan-merge SHARD... -o REPORT\n"
    "Merges the shards of an unaligned scan (-F) into the files one run over all groups\n"
    "writes. Each SHARD is the -o name of a run with -F -G -S s -g FILE -J A-B; it holds that\n"
    "run's manifest (input, files read and their checksums, range of groups, arguments), and\n"
    "its count tables lie beside it (SHARDmargmodule.txt, SHARDmargAlign.txt,\n"
    "SHARDmargmotif<k>.txt, SHARDmargcons.txt).\n"
    "\n"
    "The merge checks that every shard scanned the same input with the same -A and -g files\n"
    "and options (all but -o and -J), that the files still are what the shards read, and that\n"
    "the ranges cover every group once. It then reads the input and the -A and -g files,\n"
    "pools the counts and runs the program's own site and module calls and report once:\n"
    "REPORT and its side files are byte for byte those of one run with -F -G -S s -g FILE\n"
    "(the program's name in the report's command line and the progress log aside; the merge\n"
    "writes no .info). The report's command line is that run's: 'Serevan' and the shards'\n"
    "arguments without -J, with -o REPORT, so every reader of reports sees the options of\n"
    "the scan (-N, -K, -F, ...), and the line reruns it in one process. Like every run, it\n"
    "appends to existing files.\n"
    "\n"
    "Memory: the merge holds the count tables of all groups, (K + 2) numbers per position of\n"
    "every sequence (4 bytes each) plus the sequences themselves.\n"
    "\n"
    "Options:\n"
    "  -o, --out REPORT   the merged report (required)\n"
    "  --help, --version\n"
    "Exit status 0 on success; 1 with one line on standard output naming the shard or the\n"
    "option at fault, or the file that could not be written.\n";

int main(int argc, char** argv)
{
    OptionSet opt;
    std::vector<std::string> shards;
    std::string err;
    if (!opt.ParseWithFiles(argc, argv, 1, {{"out", true}, {"help", false}}, shards, err)) {
        std::printf("serevan-merge: %s\n", err.c_str());
        return 1;
    }
    if (AnswerHelpOrVersion(opt, "serevan-merge", kHelp)) return 0;
    if (!opt.Has("out")) {
        std::puts("serevan-merge: give the merged report's name with -o (see --help)");
        return 1;
    }
    // The command line of the one run the merge stands for: the first shard's arguments
    // without its range, writing to REPORT. (The merge refuses shards whose arguments differ
    // in anything but -o and -J.)
    std::string commandLine = "Serevan";
    ShardManifest first;
    if (!shards.empty() && ReadManifest(shards[0], first, err)) {
        const std::vector<std::string>& a = first.arguments;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const bool range = a[i].size() >= 2 && a[i][0] == '-' && a[i][1] == 'J';
            const bool out = a[i].size() >= 2 && a[i][0] == '-' && a[i][1] == 'o';
            if ((range || out) && i + 1 < a.size()) {
                ++i;
                if (range) continue;
            }
            commandLine += ' ' + (out ? a[i - 1] + ' ' + opt.Text("out", "") : a[i]);
        }
    }
    return MergeShards(shards, opt.Text("out", ""), commandLine);
}
