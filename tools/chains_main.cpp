// serevan-chains: do several chains (runs with different seeds) on one input agree?
//   serevan-chains REPORT... [--out FILE] [--json] [--consensus FILE]
#include <cstdio>
#include <string>
#include <vector>

#include "common/Chains.h"
#include "common/ToolOptions.h"
#include "common/ToolText.h"

using namespace sertools;

static const char kHelp[] =
    "Usage: serevan-chains REPORT... [--out FILE] [--json] [--consensus FILE] [options]\n"
    "Compares chains of the program on one input: several report files (one run each, e.g.\n"
    "seeds 1..C), or one file holding several -m runs; every run of every file is a chain.\n"
    "At least two chains, all with the same -N and input file name.\n"
    "\n"
    "The best chain is the one with the highest 'Average likelihood'. For every motif it\n"
    "found, each chain's best-matching motif is looked up: the Pearson correlation of the four\n"
    "frequencies of aligned columns, summed over the overlap and divided by the smaller width,\n"
    "maximised over every offset and both strands (as in serevan-eval). A chain finds the\n"
    "motif when that correlation is at least --min-corr. For each site of the best chain, the\n"
    "share of chains (the best one included) calling an overlapping site of their matching\n"
    "motif; for each module, the share of chains calling an overlapping module. Two calls\n"
    "overlap when they share at least --min-overlap of the shorter one's length.\n"
    "\n"
    "Verdict (the last line):\n"
    "  converged: a of b motifs found by >= S % of chains      every motif of the best chain\n"
    "                                                          is found by at least --share S\n"
    "  not converged: a of b motifs found by >= S % of chains  some is not\n"
    "  not converged: the best chain found no motif, ...       others found some\n"
    "  nothing found: ...                                      no chain found a motif\n"
    "\n"
    "Options:\n"
    "  -o, --out FILE     the summary (standard output without it)\n"
    "  --json             the summary as one JSON object\n"
    "  --consensus FILE   the best chain's report (command line, likelihood, matrices and\n"
    "                     scores) with only the sites and modules that at least --agree of the\n"
    "                     chains call; serevan-export and serevan-eval read it as any report\n"
    "  --min-corr R       correlation for a chain to find a motif, (0, 1] [0.8]\n"
    "  --share S          share of chains a motif must be found by to count, (0, 1] [0.75]\n"
    "  --agree A          share of chains a consensus site or module needs, (0, 1] [0.75]\n"
    "  --min-overlap F    share of the shorter call two calls must share, (0, 1] [0.5]\n"
    "  --help, --version\n"
    "Exit status 0 on success (whatever the verdict); 1 with one line on standard error for\n"
    "bad options, unreadable or malformed reports, or reports of different inputs.\n";

static int Fail(const std::string& message)
{
    std::fprintf(stderr, "serevan-chains: error: %s\n", message.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    const std::vector<OptionSpec> specs = {{"out", true},   {"json", false}, {"consensus", true},   {"min-corr", true},
                                           {"share", true}, {"agree", true}, {"min-overlap", true}, {"help", false}};
    OptionSet opt;
    std::vector<std::string> files;
    std::string err;
    if (!opt.ParseWithFiles(argc, argv, 1, specs, files, err)) return Fail(err);
    if (AnswerHelpOrVersion(opt, "serevan-chains", kHelp)) return 0;
    ChainSettings settings;
    const std::pair<const char*, double*> shares[] = {{"min-corr", &settings.minCorrelation},
                                                      {"share", &settings.share},
                                                      {"agree", &settings.agree},
                                                      {"min-overlap", &settings.minOverlap}};
    for (const auto& [name, value] : shares) {
        if (!opt.Real(name, -1e300, 1e300, *value, err)) return Fail(err);
        if (!(*value > 0 && *value <= 1)) return Fail(Format("--%s must be above 0 and at most 1", name));
    }
    if (files.empty()) return Fail("give the chains' report files (see --help)");

    std::vector<Chain> chains;
    ChainsSummary summary;
    if (!ReadChains(files, chains, err) || !CompareChains(chains, settings, summary, err)) return Fail(err);
    // The consensus and the summary are written together or not at all.
    std::vector<std::pair<std::string, std::string>> outputs;
    if (opt.Has("consensus"))
        outputs.emplace_back(opt.Text("consensus", ""), ConsensusReport(chains, summary, settings));
    outputs.emplace_back(opt.Text("out", ""), FormatChains(chains, summary, settings, opt.Has("json")));
    if (!WriteOutputs(outputs, err)) return Fail(err);
    return 0;
}
