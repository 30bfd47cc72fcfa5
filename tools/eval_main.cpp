// serevan-eval: scores the last report of a run against a serevan-sim truth table.
#include <cstdio>
#include <string>
#include <vector>

#include "common/Evaluator.h"
#include "common/MotifMatrix.h"
#include "common/RunReport.h"
#include "common/ToolOptions.h"
#include "common/TruthTable.h"

using namespace sertools;

static const char kHelp[] =
    "Usage: serevan-eval --truth PREFIX_truth.tsv --report OUT [--motifs PREFIX_motifs.txt] [options]\n"
    "       serevan-eval --sim PREFIX --report OUT [options]\n"
    "Scores the calls of the last report in the -o file OUT (runs append to it) against\n"
    "the truth table of serevan-sim.\n"
    "\n"
    "Options:\n"
    "  --sim PREFIX       take PREFIX_truth.tsv and PREFIX_motifs.txt\n"
    "  --truth FILE       truth table\n"
    "  --motifs FILE      planted matrices (-A format) for the per-motif figures\n"
    "  --report FILE      the run's report (the -o file)\n"
    "  --min-overlap F    share of the shorter element two elements must share, (0, 1] [0.5]\n"
    "  --scan-group G     the report is of the aligned scan (-P) of truth group G\n"
    "  --json             one JSON object instead of the table\n"
    "  --help             this text (--version: the version)\n"
    "\n"
    "Matching:\n"
    "  A predicted site matches a true site when both lie in the same species and group\n"
    "  and share at least F (0.5) of the length of the shorter of the two; motif and strand\n"
    "  are ignored. Positions are 0-based on the given strand; a reverse-strand site is\n"
    "  reported at its leftmost base, as in the truth. Predicted modules are matched to\n"
    "  true modules (the span of a species' present sites) by the same rule; a reported\n"
    "  module end is one past its last base. Sensitivity = true elements matched / true\n"
    "  elements; PPV = predictions matching a true element / predictions; F1 = their\n"
    "  harmonic mean. The base-level figures count bases covered by any true and any\n"
    "  predicted element of a kind.\n"
    "  Per planted motif: the learned matrix with the best average column correlation\n"
    "  (Pearson correlation of the four frequencies, summed over the overlapping columns of\n"
    "  the best offset and strand, divided by the smaller width); its sites are then scored\n"
    "  against the planted motif's sites, and 'strand' is the share of matched sites whose\n"
    "  call reads in the orientation that the matrix match implies.\n"
    "\n"
    "The last line of the table is a one-line summary. Exit status 0 on success, 1 on\n"
    "bad options or unreadable or malformed input (one-line message on standard error).\n";

static int Fail(const std::string& message)
{
    std::fprintf(stderr, "serevan-eval: error: %s\n", message.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    const std::vector<OptionSpec> specs = {{"sim", true},         {"truth", true},     {"motifs", true},
                                           {"report", true},      {"json", false},     {"help", false},
                                           {"min-overlap", true}, {"scan-group", true}};
    OptionSet opt;
    std::string err;
    if (!opt.Parse(argc, argv, specs, err)) return Fail(err);
    if (AnswerHelpOrVersion(opt, "serevan-eval", kHelp)) return 0;
    EvalSettings settings;
    long long scanGroup = -1;
    if (!opt.Real("min-overlap", -1e300, 1e300, settings.minOverlap, err) ||
        !opt.Int("scan-group", 0, 1000000, scanGroup, err))
        return Fail(err);
    if (!(settings.minOverlap > 0 && settings.minOverlap <= 1))
        return Fail("--min-overlap must be above 0 and at most 1");
    settings.scanGroup = static_cast<int>(scanGroup);

    const std::string sim = opt.Text("sim", "");
    const std::string truthPath = opt.Text("truth", sim.empty() ? "" : sim + "_truth.tsv");
    const std::string motifPath = opt.Text("motifs", sim.empty() ? "" : sim + "_motifs.txt");
    const std::string reportPath = opt.Text("report", "");
    if (truthPath.empty()) return Fail("give the truth table with --truth FILE or --sim PREFIX (see --help)");
    if (reportPath.empty()) return Fail("give the run's report with --report FILE (see --help)");

    TruthTable truth;
    if (!ReadTruth(truthPath, truth, err)) return Fail(err);
    std::vector<Motif> planted;
    if (!motifPath.empty() && !motifio::ReadMotifs(motifPath, motifio::MotifFormat::Program, planted, nullptr, err))
        return Fail(err);
    RunReport report;
    if (!ReadLastReport(reportPath, report, err)) return Fail(err);

    Evaluation result;
    if (!Evaluate(truth, report, motifPath.empty() ? nullptr : &planted, settings, result, err)) return Fail(err);
    std::fputs(FormatEvaluation(result, report, reportPath, settings, opt.Has("json")).c_str(), stdout);
    return 0;
}
