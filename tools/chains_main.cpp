// serevan-chains: do several chains (runs with different seeds) on one input agree?
//   serevan-chains REPORT... [--out FILE] [--json] [--consensus FILE] [--best FILE] [--kept TABLE]
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/Chains.h"
#include "common/ToolOptions.h"
#include "common/ToolText.h"

using namespace sertools;

static const char kHelp[] =
    "Usage: serevan-chains REPORT... [--out FILE] [--json] [--consensus FILE] [--best FILE] [--kept TABLE]\n"
    "       [options]\n"
    "Compares chains of the program on one input: several report files (one run each, e.g.\n"
    "seeds 1..C), or one file holding several -m runs; every run of every file is a chain.\n"
    "At least two chains of one input and one model: every option of their command lines\n"
    "but -S, -o and -m must match (an absent option counts as its default), else the tool\n"
    "names the option and refuses. Files of -i, -A, -g, -P and -B match when they have the\n"
    "same name, or the same content where both can be read from the working directory. A\n"
    "chain that repeats an earlier one (the same report apart from the command line: one\n"
    "report given twice, or a rerun of the same seed, as an interrupted -m run leaves) is\n"
    "counted once, with a note on standard error.\n"
    "\n"
    "The best chain is the one with the highest 'Average likelihood' (with --kept: the one the\n"
    "program kept). For every motif it found, each chain's best-matching motif is looked up:\n"
    "the Pearson correlation of the four frequencies of aligned columns, summed over the\n"
    "overlap and divided by the smaller width, maximised over every offset and both strands\n"
    "(as in serevan-eval). A chain finds the motif when that correlation is at least\n"
    "--min-corr. For each site of the best chain, the share of chains (the best one included)\n"
    "calling an overlapping site of their matching motif; for each module, the share of chains\n"
    "calling an overlapping module. Two calls overlap when they share at least --min-overlap of\n"
    "the shorter one's length.\n"
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
    "  --consensus FILE   the best chain's report with only the sites that at least --agree\n"
    "                     of the chains call and the modules they call, each module with only\n"
    "                     its kept sites (drawn around them; none left: no module); a motif's\n"
    "                     matrix holds its kept sites' letter frequencies, a motif without a\n"
    "                     kept site is 'not found'; command line, likelihood and scores stay\n"
    "                     the best chain's. Side files as the program names them: the site\n"
    "                     files (FILEmotif1.txt, ...), FILEmodule.txt and the best chain's\n"
    "                     module posterior (FILE_Pm.txt, or FILEmargmodule.txt for -F).\n"
    "                     serevan-report, -export and -eval read it as any report\n"
    "  --best FILE        the best chain's run as it is, with the same side files (the\n"
    "                     chosen chain as one report, also out of a file of several runs)\n"
    "  --kept TABLE       the program's chains table (<-o>chains.tsv of -C): the chain it kept\n"
    "                     takes the best chain's place (give <-o>chains.txt as the reports), so\n"
    "                     the summary, --consensus and --best follow the program's choice\n"
    "  --min-corr R       correlation for a chain to find a motif, (0, 1] [0.8]\n"
    "  --share S          share of chains a motif must be found by to count, (0, 1] [0.75]\n"
    "  --agree A          share of chains a consensus site or module needs, (0, 1] [0.75]\n"
    "  --min-overlap F    share of the shorter call two calls must share, (0, 1] [0.5]\n"
    "  --help, --version\n"
    "Exit status 0 on success (whatever the verdict); 1 with one line on standard error for\n"
    "bad options, unreadable or malformed reports, or reports of different inputs.\n";

// Side files of an earlier consensus under this name that this one does not have (a module
// posterior, or the site files of more motifs) would be read as its own: they are removed.
static void RemoveStaleSideFiles(const std::string& name,
                                 const std::vector<std::pair<std::string, std::string>>& written)
{
    auto wrote = [&](const std::string& path) {
        for (const auto& w : written)
            if (w.first == path) return true;
        return false;
    };
    for (const char* suffix : {"_Pm.txt", "margmodule.txt", "module.txt"})
        if (!wrote(name + suffix)) std::remove((name + suffix).c_str());
    for (int k = 1; std::filesystem::exists(Format("%smotif%d.txt", name.c_str(), k)); ++k)
        if (!wrote(Format("%smotif%d.txt", name.c_str(), k)))
            std::remove(Format("%smotif%d.txt", name.c_str(), k).c_str());
}

static int Fail(const std::string& message)
{
    std::fprintf(stderr, "serevan-chains: error: %s\n", message.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    const std::vector<OptionSpec> specs = {
        {"out", true},   {"json", false}, {"consensus", true},   {"best", true}, {"min-corr", true},
        {"share", true}, {"agree", true}, {"min-overlap", true}, {"kept", true}, {"help", false}};
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
    if (!ReadChains(files, chains, err) || !CheckChainsComparable(chains, err)) return Fail(err);
    for (const std::string& note : DropRepeatedChains(chains))
        std::fprintf(stderr, "serevan-chains: note: %s\n", note.c_str());
    if (opt.Has("kept") && !KeptChainIndex(chains, opt.Text("kept", ""), settings.reference, err)) return Fail(err);
    // The chains of one -C run: their table beside them names the chain the program kept.
    for (const std::string& f : files) {
        const std::string table = f.ends_with("chains.txt") ? f.substr(0, f.size() - 4) + ".tsv" : "";
        if (!opt.Has("kept") && !table.empty() && std::filesystem::exists(table))
            std::fprintf(stderr,
                         "serevan-chains: note: %s names the chain the program kept; --kept %s compares "
                         "against it\n",
                         table.c_str(), table.c_str());
    }
    if (!CompareChains(chains, settings, summary, err)) return Fail(err);

    // Every file is written beside its name first and renamed when all are written, so a
    // failure leaves none of them new.
    std::vector<std::pair<std::string, std::string>> outputs;
    const std::string summaryText = FormatChains(chains, summary, settings, opt.Has("json"));
    for (const char* kind : {"consensus", "best"}) {
        if (!opt.Has(kind)) continue;
        const std::string name = opt.Text(kind, "");
        const ConsensusFiles files =
            kind[0] == 'c' ? ConsensusReport(chains, summary, settings) : BestChainReport(chains, summary);
        for (const std::string& note : files.notes) std::fprintf(stderr, "serevan-chains: note: %s\n", note.c_str());
        for (const auto& [suffix, text] : files.files) outputs.emplace_back(name + suffix, text);
    }
    if (!opt.Text("out", "").empty()) outputs.emplace_back(opt.Text("out", ""), summaryText);
    if (!WriteOutputs(outputs, err)) return Fail(err);
    for (const char* kind : {"consensus", "best"})
        if (opt.Has(kind)) RemoveStaleSideFiles(opt.Text(kind, ""), outputs);
    if (opt.Text("out", "").empty() && !WriteOutput("", summaryText, err)) return Fail(err);
    return 0;
}
