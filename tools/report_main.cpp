// serevan-report: one self-contained HTML page of a run's results (motif logos, module map,
// site table), read from the report file, its side files and the input sequences.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "common/HtmlReport.h"
#include "common/ReportData.h"
#include "common/ReportExtras.h"
#include "common/ToolOptions.h"
#include "common/ToolText.h"

using namespace sertools;

static const char kHelp[] =
    "Usage: serevan-report RESULT.txt -i INPUT.fa [-o RESULT.html] [--truth TRUTH.tsv [--scan-group G]]\n"
    "                      [--groups PREFIX.groups.tsv] [--chains CHAINS.json] [--db MOTIFS | --no-db]\n"
    "                      [--panels N]\n"
    "\n"
    "Writes one self-contained HTML page (inline SVG, CSS and script; it fetches nothing, so it\n"
    "opens offline and can be mailed) of every run in the report file RESULT.txt (the -o file\n"
    "of the program; -m runs append to it):\n"
    "  run summary    command line, mode, species, groups, iterations, average log-likelihood,\n"
    "                 one row per run; with --chains the chains' verdict\n"
    "  motif cards    sequence logo (letter height = frequency x information content in bits),\n"
    "                 its reverse complement, width, consensus, score, sites per species, the\n"
    "                 most similar known motifs, warnings (most sites from one group, sites in\n"
    "                 tandem repeats), with --chains how many chains found it, and downloads in\n"
    "                 the program's matrix format, JASPAR and MEME\n"
    "  module map     one panel per group with calls, strongest module first (the groups with\n"
    "                 nothing called folded into one line), one lane per species, drawn to\n"
    "                 scale: the module posterior as an area (RESULT.txt_Pm.txt / T, or the -F\n"
    "                 file RESULT.txtmargmodule.txt), called modules as boxes, sites as arrows in\n"
    "                 their motif's colour, paler when rarely aligned (alignFreq); for -P the\n"
    "                 columns where all species agree (RESULT.txtdmd.txt)\n"
    "  site table     every called site, sortable and filterable, with a TSV download; letters\n"
    "                 in the input's case (soft-masked bases in lower case), sites in a tandem\n"
    "                 repeat flagged (the rule of serevan-prep mask)\n"
    "Side files are found by appending their suffix to RESULT.txt; a missing one is noted on\n"
    "the page. Record names and lengths come from the run's input (-i; for -P the alignment).\n"
    "\n"
    "Options:\n"
    "  -i, --i FILE       the run's input sequences (required)\n"
    "  -o, --out FILE     the HTML page (standard output without it)\n"
    "  --truth FILE       truth table of serevan-sim: the planted modules and sites get a lane\n"
    "                     under each species, each planted motif in the colour of the called\n"
    "                     motif most like it (its matrix counted from the planted sites' letters)\n"
    "  --scan-group G     with --truth and a -P report: the truth group the alignment was cut from\n"
    "  --groups FILE      the groups table of serevan-prep (PREFIX.groups.tsv) of the input: sites\n"
    "                     and lanes show genome positions (chr:start-end, 1-based as a genome\n"
    "                     browser reads them) and strands, with one BED download of sites and\n"
    "                     modules per species (as serevan-export sites --groups --format bed)\n"
    "  --chains FILE      serevan-chains --json of chains that include this report's run (or whose\n"
    "                     consensus it is): the verdict, and per motif how many chains found it\n"
    "  --db FILE          JASPAR or MEME file of known motifs: each card lists the three most\n"
    "                     similar by column correlation over offsets and both strands (as\n"
    "                     serevan-eval), with the columns that overlap. Without it the 205 JASPAR\n"
    "                     CORE vertebrate matrices built into the tool are used\n"
    "  --no-db            no known motifs\n"
    "  --panels N         module-map panels drawn per run, the N groups with the strongest calls\n"
    "                     [200]; the other groups with calls are listed, their sites stay in the\n"
    "                     table\n"
    "  --help, --version\n"
    "Exit status 0 on success; 1 with one line on standard error for bad options or input.\n";

// The known-motif database compiled in (tools/data/jaspar_vertebrates.jaspar).
extern const char kBuiltInMotifs[];
extern const std::size_t kBuiltInMotifsSize;

static const char kBuiltInName[] = "built in: JASPAR CORE vertebrates";

// The built-in database's matrices.
static bool ReadBuiltInMotifs(std::vector<motifio::Motif>& motifs, std::string& err)
{
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < kBuiltInMotifsSize; ++i) {
        const char c = kBuiltInMotifs[i];
        if (c == '\n')
            lines.emplace_back();
        else if (c != '\r')
            lines.back() += c;
    }
    return motifio::ParseMotifs(lines, kBuiltInName, motifio::MotifFormat::Jaspar, motifs, nullptr, err);
}

static int Fail(const std::string& message)
{
    std::fprintf(stderr, "serevan-report: error: %s\n", message.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    const std::vector<OptionSpec> specs = {{"out", true},        {"i", true},      {"truth", true},
                                           {"scan-group", true}, {"db", true},     {"no-db", false},
                                           {"panels", true},     {"groups", true}, {"chains", true}};
    // "-i FILE" is the program's own spelling of the input; accept it beside --i.
    std::vector<char*> args(argv, argv + argc);
    static char longI[] = "--i";
    for (char*& a : args)
        if (std::string(a) == "-i") a = longI;
    OptionSet opt;
    std::vector<std::string> files;
    std::string err;
    if (!opt.ParseWithFiles(argc, args.data(), 1, specs, files, err)) return Fail(err);
    if (AnswerHelpOrVersion(opt, "serevan-report", kHelp)) return 0;
    if (files.size() != 1) return Fail("give one report file (the program's -o file; see --help)");
    if (!opt.Has("i")) return Fail("give the run's input sequences with -i INPUT.fa");
    long long scanGroup = -1, panels = 200;
    if (!opt.Int("scan-group", 0, 100000000, scanGroup, err) || !opt.Int("panels", 1, 100000000, panels, err))
        return Fail(err);
    if (opt.Has("scan-group") && !opt.Has("truth")) return Fail("--scan-group needs --truth");
    if (opt.Has("db") && opt.Has("no-db")) return Fail("give --db FILE or --no-db, not both");

    ReportSources sources;
    sources.reportPath = files[0];
    sources.inputPath = opt.Text("i", "");
    sources.truthPath = opt.Text("truth", "");
    sources.scanGroup = static_cast<int>(scanGroup);
    sources.dbPath = opt.Text("db", "");
    sources.groupsPath = opt.Text("groups", "");
    ReportData data;
    if (!LoadReportData(sources, data, err)) return Fail(err);
    if (!opt.Has("db") && !opt.Has("no-db")) {
        if (!ReadBuiltInMotifs(data.known, err)) return Fail("internal error: the built-in database: " + err);
        data.sources.dbPath = Format("%s (tools/data/jaspar_vertebrates.jaspar)", kBuiltInName);
    }
    ReportExtras extras;
    if (!LoadReportExtras(data, opt.Text("groups", ""), opt.Text("chains", ""), extras, err)) return Fail(err);
    HtmlSettings settings;
    settings.maxPanels = static_cast<int>(panels);
    if (!WriteOutput(opt.Text("out", ""), RenderHtml(data, extras, settings), err)) return Fail(err);
    // Notes after the page is written: a refusal stays one line.
    for (const std::string& note : data.notes) std::fprintf(stderr, "serevan-report: note: %s\n", note.c_str());
    return 0;
}
