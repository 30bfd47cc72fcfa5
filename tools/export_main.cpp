// serevan-export: a run's results for the tools users have.
//   serevan-export motifs RESULT.txt --format meme|jaspar|transfac [-o FILE]
//   serevan-export sites RESULT.txt -i INPUT.fa [--groups PREFIX.groups.tsv] [--species NAME]
//                  [--motifs FILE] --format bed|gff3|tsv [-o FILE]
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/InputMatch.h"
#include "common/MafGroups.h"
#include "common/MotifCounts.h"
#include "common/RunReport.h"
#include "common/ToolOptions.h"
#include "common/ToolText.h"
#include "motif/MotifFormats.h"

using namespace sertools;

static const char kHelp[] =
    "Usage: serevan-export motifs RESULT.txt --format meme|jaspar|transfac [-o FILE]\n"
    "       serevan-export sites RESULT.txt -i INPUT.fa --format bed|gff3|tsv [-o FILE]\n"
    "                      [--groups PREFIX.groups.tsv [--species NAME]] [--motifs FILE] [--run N]\n"
    "\n"
    "motifs: the found motifs of every run in the report, named serevan_motif_k (with several\n"
    "  runs serevan_run<r>_motif_k). JASPAR and TRANSFAC get whole counts of the called sites:\n"
    "  frequency x sites, rounded so that every column sums to the number of sites (the report's\n"
    "  matrix is those sites' letter counts over their number, written with three decimals, so\n"
    "  this gives the counts back); MEME gets the frequencies and nsites=.\n"
    "sites: every called site and module of one run (--run, 1-based; default the last), one\n"
    "  line each. BED6: name = motif (or 'module'), score = round(1000 x maxFreq), strand.\n"
    "  GFF3: types TF_binding_site and regulatory_region with maxFreq and alignFreq.\n"
    "  tsv: sequence, species, group, start, end, strand, motif, letters, maxFreq, alignFreq.\n"
    "  Coordinates are those of the input records (0-based, half-open in BED and tsv), named\n"
    "  by the records' names; with --groups (from serevan-prep maf) they are genome\n"
    "  coordinates of one species (--species, default the first), chromosome named as in its\n"
    "  assembly, on the genome's strand. --motifs names motif k by matrix k of that file.\n"
    "\n"
    "  -o, --out FILE     output file (standard output without it)\n"
    "  --help, --version\n"
    "Exit status 0 on success; 1 with one line on standard error for bad options or input.\n";

static int Fail(const std::string& message)
{
    std::fprintf(stderr, "serevan-export: error: %s\n", message.c_str());
    return 1;
}

static int ExportMotifs(const OptionSet& opt, const std::vector<std::string>& files)
{
    if (files.size() != 1) return Fail("motifs takes one report file (see --help)");
    const motifio::MotifFormat format = motifio::FormatFromName(opt.Text("format", ""));
    if (format == motifio::MotifFormat::Unknown || format == motifio::MotifFormat::Program)
        return Fail("--format must be meme, jaspar or transfac");
    std::vector<RunReport> runs;
    std::string err;
    if (!ReadAllReports(files[0], runs, err)) return Fail(err);
    std::vector<motifio::Motif> out;
    for (std::size_t r = 0; r < runs.size(); ++r)
        for (const ReportMotif& m : runs[r].motifs) {
            if (!m.found) continue;
            motifio::Motif x;
            x.id = runs.size() == 1 ? Format("serevan_motif_%d", m.index)
                                    : Format("serevan_run%zu_motif_%d", r + 1, m.index);
            x.name = x.id;
            x.p = m.matrix.p;
            x.sites = static_cast<double>(m.sites.size());
            if (format != motifio::MotifFormat::Meme) RoundToSiteCounts(x);
            out.push_back(x);
        }
    if (out.empty()) return Fail(files[0] + ": no motif was found in any run");
    if (!WriteOutput(opt.Text("out", ""), motifio::FormatMotifs(out, format), err)) return Fail(err);
    return 0;
}

namespace {

// One exported feature in record coordinates.
struct Feature {
    int species = 0, group = 0;
    long long start = 0, end = 0;  // half-open
    int strand = 0;                // +1, -1, 0 (module)
    std::string motif, letters;
    double maxFreq = -1, alignFreq = -1;  // -1: none (modules)
};

}  // namespace

static int ExportSites(const OptionSet& opt, const std::vector<std::string>& files)
{
    if (files.size() != 1) return Fail("sites takes one report file (see --help)");
    const std::string format = opt.Text("format", "");
    if (format != "bed" && format != "gff3" && format != "tsv") return Fail("--format must be bed, gff3 or tsv");
    if (!opt.Has("i")) return Fail("give the run's input sequences with -i INPUT.fa");
    std::string err;
    InputRecords input;
    if (!ReadInputRecords(opt.Text("i", ""), input, err)) return Fail(err);
    const std::vector<std::string>& names = input.names;
    std::vector<RunReport> runs;
    if (!ReadAllReports(files[0], runs, err)) return Fail(err);
    long long runIndex = static_cast<long long>(runs.size());
    if (!opt.Int("run", 1, runIndex, runIndex, err)) return Fail(err);
    const RunReport& run = runs[runIndex - 1];

    // Genome coordinates of one species through the groups table.
    GroupTable table;
    int chosen = -1;
    if (opt.Has("groups")) {
        table.path = opt.Text("groups", "");
        if (!ReadGroupTable(table.path, table.segments, table.species, err)) return Fail(err);
        const std::string want = opt.Text("species", table.species.empty() ? "" : table.species[0]);
        for (std::size_t s = 0; s < table.species.size(); ++s)
            if (table.species[s] == want) chosen = static_cast<int>(s);
        if (chosen < 0) return Fail(table.path + " has no species '" + want + "'");
    } else if (opt.Has("species")) {
        return Fail("--species needs --groups");
    }
    // The run's calls and the table must be of this input.
    int G = 0;
    if (!CheckAgainstInput(files[0], run, input, chosen >= 0 ? &table : nullptr, G, err) ||
        !CheckSideFiles(files[0], runs, false, names.size(), err))
        return Fail(err);
    const std::vector<GroupSegment>& segments = table.segments;
    const std::vector<std::string>& speciesNames = table.species;
    std::vector<std::string> motifNames;
    if (opt.Has("motifs")) {
        std::vector<motifio::Motif> m;
        if (!motifio::ReadMotifs(opt.Text("motifs", ""), motifio::MotifFormat::Unknown, m, nullptr, err))
            return Fail(err);
        for (const motifio::Motif& x : m) motifNames.push_back(x.name);
    }

    std::vector<Feature> features;
    for (const ReportModule& m : run.modules)
        features.push_back({m.species, m.group, m.start, m.end, 0, "module", "", -1, -1});
    for (const ReportMotif& m : run.motifs)
        for (const ReportSite& s : m.sites) {
            const int k = m.index;
            Feature f{s.species,  s.group,
                      s.position, s.position + static_cast<long long>(s.letters.size()),
                      s.strand,   k <= static_cast<int>(motifNames.size()) ? motifNames[k - 1] : Format("motif%d", k),
                      s.letters,  s.maxFreq,
                      s.alignFreq};
            features.push_back(f);
        }

    std::string text = format == "gff3" ? "##gff-version 3\n" : "";
    if (format == "tsv") text = "sequence\tspecies\tgroup\tstart\tend\tstrand\tmotif\tletters\tmaxFreq\talignFreq\n";
    long long skipped = 0, id = 0;
    for (const Feature& f : features) {
        std::string chrom = names[f.species * G + f.group];
        long long start = f.start, end = f.end;
        int strand = f.strand;
        if (chosen >= 0) {
            if (f.species != chosen) continue;
            const GroupSegment* seg = nullptr;
            for (const GroupSegment& s : segments)
                if (s.species == chosen && s.group == f.group && s.recordOffset <= f.start &&
                    f.end <= s.recordOffset + s.length)
                    seg = &s;
            if (!seg) {
                ++skipped;
                continue;
            }
            chrom = seg->source.substr(seg->source.find('.') == std::string::npos ? 0 : seg->source.find('.') + 1);
            if (seg->strand == '+') {
                start = seg->start + (f.start - seg->recordOffset);
                end = seg->start + (f.end - seg->recordOffset);
            } else {
                // A reverse-strand row reads the genome backwards: positions and strand flip.
                start = seg->end - (f.end - seg->recordOffset);
                end = seg->end - (f.start - seg->recordOffset);
                strand = -strand;
            }
        }
        const char* st = strand > 0 ? "+" : strand < 0 ? "-" : ".";
        const std::string speciesName =
            chosen >= 0 ? speciesNames[chosen]
                        : (f.species < static_cast<int>(speciesNames.size()) ? speciesNames[f.species]
                                                                             : std::to_string(f.species));
        ++id;
        if (format == "bed") {
            const long long score = f.maxFreq < 0 ? 0 : std::llround(1000 * f.maxFreq);
            text += Format("%s\t%lld\t%lld\t%s\t%lld\t%s\n", chrom.c_str(), start, end, f.motif.c_str(), score, st);
        } else if (format == "gff3") {
            const bool site = f.maxFreq >= 0;
            text += Format("%s\tserevan\t%s\t%lld\t%lld\t%s\t%s\t.\tID=%s%lld;Name=%s", chrom.c_str(),
                           site ? "TF_binding_site" : "regulatory_region", start + 1, end,
                           site ? Format("%.3f", f.maxFreq).c_str() : ".", st, site ? "site" : "module", id,
                           f.motif.c_str());
            if (site) text += Format(";maxFreq=%g;alignFreq=%g", f.maxFreq, f.alignFreq);
            text += "\n";
        } else {
            text += Format("%s\t%s\t%d\t%lld\t%lld\t%s\t%s\t%s\t", chrom.c_str(), speciesName.c_str(), f.group, start,
                           end, st, f.motif.c_str(), f.letters.empty() ? "." : f.letters.c_str());
            text += f.maxFreq < 0 ? ".\t.\n" : Format("%g\t%g\n", f.maxFreq, f.alignFreq);
        }
    }
    if (skipped > 0)
        std::fprintf(stderr, "serevan-export: %lld calls span more than one genome segment and are left out\n",
                     skipped);
    if (!WriteOutput(opt.Text("out", ""), text, err)) return Fail(err);
    return 0;
}

int main(int argc, char** argv)
{
    const std::vector<OptionSpec> specs = {{"out", true},     {"format", true}, {"i", true},  {"groups", true},
                                           {"species", true}, {"motifs", true}, {"run", true}};
    // "-i FILE" is the program's own spelling of the input; accept it beside --i.
    std::vector<char*> args(argv, argv + argc);
    static char longI[] = "--i";
    for (char*& a : args)
        if (std::string(a) == "-i") a = longI;
    OptionSet opt;
    std::vector<std::string> files;
    std::string err;
    const std::string command = argc > 1 ? argv[1] : "";
    const bool known = command == "motifs" || command == "sites";
    if (!opt.ParseWithFiles(argc, args.data(), known ? 2 : 1, specs, files, err)) return Fail(err);
    if (AnswerHelpOrVersion(opt, "serevan-export", kHelp)) return 0;
    if (command == "motifs") return ExportMotifs(opt, files);
    if (command == "sites") return ExportSites(opt, files);
    return Fail(command.empty() ? "give a subcommand: motifs or sites (see --help)"
                                : "unknown subcommand '" + command + "' (motifs or sites; see --help)");
}
