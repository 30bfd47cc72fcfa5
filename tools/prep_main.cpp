// serevan-prep: turns the data users have into the program's input files.
//   serevan-prep motifs FILE [--format F] [--select ID,...] [--sites n,...] -o MOTIFS.txt
//   serevan-prep maf ALIGNMENT.maf --species a,b,c -o PREFIX [--min-length N] [--offset S=N]
//   serevan-prep groups FILE... --species a,b,c -o PREFIX [--separator SEP]
//   serevan-prep mask FILE.fa -o OUT.fa [--threshold X] [--window N] [--min-length N]
//   serevan-prep background INPUT... -k K [-l] -o BG.freq
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/BackgroundFile.h"
#include "app/SeqFile.h"
#include "common/LowComplexity.h"
#include "common/MafGroups.h"
#include "common/ToolOptions.h"
#include "common/ToolText.h"
#include "motif/MotifFormats.h"

using namespace sertools;

static const char kHelp[] =
    "Usage: serevan-prep motifs FILE [--format jaspar|meme|transfac] [--select ID,...]\n"
    "                           [--sites n,...] -o MOTIFS.txt\n"
    "       serevan-prep maf ALIGNMENT.maf --species a,b,c -o PREFIX [--min-length N]\n"
    "                        [--offset SPECIES=N] [--regions REGIONS.bed]\n"
    "       serevan-prep groups FILE... --species a,b,c -o PREFIX [--separator SEP]\n"
    "       serevan-prep mask FILE.fa -o OUT.fa [--threshold X] [--window N] [--min-length N]\n"
    "       serevan-prep background INPUT... -k K [-l] -o BG.freq\n"
    "\n"
    "motifs: matrices in JASPAR, MEME (minimal text) or TRANSFAC (guessed from the content\n"
    "  when --format is not given) into the program's matrix file for -A and -B. Counts,\n"
    "  frequencies and percentages are accepted; every column is normalised. --select keeps\n"
    "  the matrices of these IDs or names, in this order; --sites adds the line of expected\n"
    "  sites per module that -F needs (one number for all matrices, or one each). Matrix\n"
    "  names are kept in the header lines.\n"
    "\n"
    "maf: one orthologous group per alignment block that holds every listed species (given\n"
    "  as the assembly part of the MAF source names, hg17 for hg17.chr22), each row with its\n"
    "  gaps removed, in the listed order. Writes PREFIX.fa (the program's layout: all groups\n"
    "  of the first species, then of the second, ...) and PREFIX.groups.tsv: per record its\n"
    "  group, species, offset, length, source name, start and end in the species' assembly\n"
    "  (0-based, half-open, forward strand) and strand. Blocks shorter than --min-length\n"
    "  (100) in the first species, or missing a species, are skipped and counted.\n"
    "  --offset SPECIES=N adds N to that species' coordinates (for a MAF projected onto a\n"
    "  region); repeat it for several species. --regions: one group per region of the\n"
    "  first species (BED: chrom start end, in its coordinates after --offset), joining the\n"
    "  blocks that cover it; the table then holds one row per contiguous segment.\n"
    "\n"
    "groups: one FASTA file per orthologous group; a record belongs to a species when its\n"
    "  name starts with the species name or, with --separator, when one of the name's fields\n"
    "  between separators equals it. Each file needs exactly one record per species. Writes\n"
    "  the same two files as maf (the table's source is the record name, from 0).\n"
    "\n"
    "mask: soft-masks low-complexity stretches (runs of one or two bases, simple repeats\n"
    "  such as (CTTT)n) by writing them in lower case, for the program's -l. In every window\n"
    "  of --window (64, at most 1000) bases the stretch of overlapping triplets with the\n"
    "  highest score sum c(c-1)/2 / (l-1) (c: a triplet's count, l: the number of triplets)\n"
    "  is masked"
    " when the score exceeds --threshold (1.5) and the stretch spans at least\n"
    "  --min-length (20) bases. Random sequence scores about 0.5, a run of one base l/2,\n"
    "  a tetranucleotide repeat l/8. Lower case already in the file stays lower case;\n"
    "  headers and line breaks are kept. Prints the number of bases masked.\n"
    "\n"
    "background: the background of order K (0 to 5) that the program's -g K estimates from\n"
    "  these input files (-i files of the program; with -l, as -g K -l reads them: lower case\n"
    "  undetermined), in the k-mer frequency layout -g FILE reads. The file also holds the\n"
    "  model's conditional probabilities exactly, so -g BG.freq gives the very tables of -g K:\n"
    "  compute it once for a genome-wide scan split into shards (-F -G -J).\n"
    "\n"
    "  -o, --out FILE     output file (motifs, mask, background) or prefix (maf, groups)\n"
    "  --help, --version\n"
    "Exit status 0 on success; 1 with one line on standard error for bad options or input\n"
    "(naming the file and line), and then no output file is written.\n";

static int Fail(const std::string& message)
{
    std::fprintf(stderr, "serevan-prep: error: %s\n", message.c_str());
    return 1;
}

static int PrepMotifs(const OptionSet& opt, const std::vector<std::string>& files)
{
    if (files.size() != 1) return Fail("motifs takes one motif file (see --help)");
    if (!opt.Has("out")) return Fail("give the output file with -o MOTIFS.txt");
    std::string err;
    motifio::MotifFormat format = motifio::MotifFormat::Unknown;
    if (opt.Has("format")) {
        format = motifio::FormatFromName(opt.Text("format", ""));
        if (format == motifio::MotifFormat::Unknown || format == motifio::MotifFormat::Program)
            return Fail("--format must be jaspar, meme or transfac (got '" + opt.Text("format", "") + "')");
    }
    std::vector<motifio::Motif> motifs;
    if (!motifio::ReadMotifs(files[0], format, motifs, nullptr, err)) return Fail(err);
    if (opt.Has("select")) {
        std::vector<motifio::Motif> chosen;
        for (const std::string& key : SplitCommas(opt.Text("select", ""))) {
            bool found = false;
            for (const motifio::Motif& m : motifs)
                if (!found && (m.id == key || m.name == key)) {
                    chosen.push_back(m);
                    found = true;
                }
            if (!found) return Fail(files[0] + " has no matrix with the ID or name '" + key + "'");
        }
        motifs = chosen;
    }
    std::vector<double> sites;
    if (!opt.RealList("sites", 1e-9, 1e9, sites, err)) return Fail(err);
    if (sites.size() == 1) sites.assign(motifs.size(), sites[0]);
    if (opt.Has("sites") && sites.size() != motifs.size())
        return Fail(Format("--sites gives %zu numbers for %zu matrices", sites.size(), motifs.size()));
    const std::string text =
        motifio::FormatMotifs(motifs, motifio::MotifFormat::Program, opt.Has("sites") ? &sites : nullptr);
    if (!WriteOutput(opt.Text("out", ""), text, err)) return Fail(err);
    return 0;
}

// The two files of a set of groups, both or neither.
static int WriteGroups(const OptionSet& opt, const MafGroups& groups)
{
    std::string err;
    const std::string prefix = opt.Text("out", "");
    if (!WriteOutputs({{prefix + ".fa", FormatGroupFasta(groups)}, {prefix + ".groups.tsv", FormatGroupTable(groups)}},
                      err))
        return Fail(err);
    std::fprintf(stderr, "serevan-prep: %s\n", groups.summary.c_str());
    return 0;
}

// --species as a list of at least two different names; empty with a message otherwise.
static std::vector<std::string> SpeciesList(const OptionSet& opt, std::string& err)
{
    std::vector<std::string> species = SplitCommas(opt.Text("species", ""));
    std::set<std::string> distinct(species.begin(), species.end());
    if (!opt.Has("species")) {
        err = "give the species with --species a,b,c";
        return {};
    }
    if (species.size() < 2 || distinct.size() != species.size() || distinct.count("")) {
        err = "--species needs at least two different names";
        return {};
    }
    return species;
}

static int PrepMaf(const OptionSet& opt, const std::vector<std::string>& files)
{
    if (files.size() != 1) return Fail("maf takes one alignment file (see --help)");
    if (!opt.Has("out")) return Fail("give the output prefix with -o PREFIX");
    MafSettings settings;
    std::string err;
    settings.species = SpeciesList(opt, err);
    if (settings.species.empty()) return Fail(err);
    const std::set<std::string> distinct(settings.species.begin(), settings.species.end());
    long long minLength = 100;
    if (!opt.Int("min-length", 1, 1LL << 40, minLength, err)) return Fail(err);
    settings.minLength = minLength;
    settings.regions = opt.Text("regions", "");
    for (const std::string& item : opt.All("offset")) {
        std::size_t eq = item.find('=');
        long long n = 0;
        if (eq == std::string::npos || !ParseInt(item.substr(eq + 1), n) || n < -kMaxCoordinate || n > kMaxCoordinate)
            return Fail(Format("--offset must read SPECIES=N with N from %lld to %lld (got '%s')", -kMaxCoordinate,
                               kMaxCoordinate, item.c_str()));
        const std::string name = item.substr(0, eq);
        if (!distinct.count(name)) return Fail("--offset names " + name + ", which is not in --species");
        settings.offset[name] = n;
    }
    MafGroups groups;
    if (!ReadMafGroups(files[0], settings, groups, err)) return Fail(err);
    if (groups.records.empty() && settings.regions.empty())
        return Fail(files[0] + ": no block holds every listed species");
    if (groups.records.empty()) {
        // Name the regions and why each gave no group (the first few).
        std::string list;
        for (std::size_t r = 0; r < groups.skipped.size() && r < 5; ++r) list += (r ? "; " : "") + groups.skipped[r];
        if (list.empty()) list = "it holds no region";
        return Fail(Format("%s: no region of %s gives a group (%s%s; --min-length %lld)", files[0].c_str(),
                           settings.regions.c_str(), list.c_str(), groups.skipped.size() > 5 ? "; ..." : "",
                           settings.minLength));
    }
    return WriteGroups(opt, groups);
}

static int PrepGroups(const OptionSet& opt, const std::vector<std::string>& files)
{
    if (files.empty()) return Fail("groups takes one FASTA file per orthologous group (see --help)");
    if (!opt.Has("out")) return Fail("give the output prefix with -o PREFIX");
    std::string err;
    const std::vector<std::string> species = SpeciesList(opt, err);
    if (species.empty()) return Fail(err);
    MafGroups groups;
    if (!ReadFastaGroups(files, species, opt.Text("separator", ""), groups, err)) return Fail(err);
    return WriteGroups(opt, groups);
}

static int PrepMask(const OptionSet& opt, const std::vector<std::string>& files)
{
    if (files.size() != 1) return Fail("mask takes one FASTA file (see --help)");
    if (!opt.Has("out")) return Fail("give the output file with -o OUT.fa");
    LowComplexitySettings settings;
    std::string err;
    long long window = settings.window, minLength = settings.minLength;
    if (!opt.Int("window", 4, 1000, window, err) || !opt.Int("min-length", 3, 100000, minLength, err) ||
        !opt.Real("threshold", 0.0, 1e9, settings.threshold, err))
        return Fail(err);
    settings.window = static_cast<int>(window);
    settings.minLength = static_cast<int>(minLength);
    std::vector<std::string> lines;
    if (!ReadLines(files[0], lines, err)) return Fail(err);
    std::string text;
    long long bases = 0;
    for (const std::string& line : lines) {
        if (text.empty() && line.empty()) continue;
        if (text.empty() && line[0] != '>')
            return Fail(files[0] + ": not a FASTA file (line 1 does not start with '>')");
        if (line[0] != '>') bases += static_cast<long long>(line.size());
        text += line;
        text += '\n';
    }
    if (text.empty()) return Fail(files[0] + ": no FASTA record");
    long long masked = 0;
    const std::string out = MaskFastaText(text, settings, masked);
    if (!WriteOutput(opt.Text("out", ""), out, err)) return Fail(err);
    std::fprintf(stderr, "serevan-prep: masked %lld of %lld bases (%.1f %%)\n", masked, bases,
                 bases ? 100.0 * static_cast<double>(masked) / static_cast<double>(bases) : 0.0);
    return 0;
}

static int PrepBackground(const OptionSet& opt, const std::vector<std::string>& files)
{
    if (files.empty()) return Fail("background takes the input files the program reads (see --help)");
    if (!opt.Has("out")) return Fail("give the output file with -o BG.freq");
    if (!opt.Has("k")) return Fail("give the order with -k K (0 to 5)");
    long long order = 0;
    std::string err;
    if (!opt.Int("k", 0, CMarkovBackground::kMaxOrder, order, err)) return Fail(err);
    std::vector<std::vector<int>> seqs;
    for (const std::string& file : files) {
        const int n = CountSequences(file.c_str());
        if (n < 0) return Fail("cannot open sequence file " + file);
        std::vector<int> lengths;
        std::vector<CString> names;
        std::vector<std::vector<int>> read;
        if (!ReadinSeq(file.c_str(), n, lengths, names, read, err, opt.Has("l"))) return Fail(err);
        for (std::vector<int>& x : read) seqs.push_back(std::move(x));
    }
    std::vector<const int*> ptrs;
    std::vector<int> lens;
    for (const std::vector<int>& x : seqs) {
        ptrs.push_back(x.data());
        lens.push_back(static_cast<int>(x.size()));
    }
    CMarkovBackground model;
    model.Estimate(static_cast<int>(order), ptrs.data(), lens.data(), static_cast<int>(seqs.size()));
    std::string origin = "serevan-prep background -k " + std::to_string(order) + (opt.Has("l") ? " -l" : "");
    for (const std::string& file : files) origin += " " + file;
    if (!WriteOutput(opt.Text("out", ""), FormatBackgroundFile(model, origin), err)) return Fail(err);
    return 0;
}

int main(int argc, char** argv)
{
    const std::vector<OptionSpec> specs = {
        {"out", true},        {"format", true}, {"select", true},    {"sites", true},   {"species", true},
        {"min-length", true}, {"offset", true}, {"separator", true}, {"regions", true}, {"window", true},
        {"threshold", true},  {"k", true},      {"l", false}};
    OptionSet opt;
    std::vector<std::string> files;
    std::string err;
    const std::string command = argc > 1 ? argv[1] : "";
    const bool known =
        command == "motifs" || command == "maf" || command == "groups" || command == "mask" || command == "background";
    if (!opt.ParseWithFiles(argc, argv, known ? 2 : 1, specs, files, err)) return Fail(err);
    if (AnswerHelpOrVersion(opt, "serevan-prep", kHelp)) return 0;
    if (command == "motifs") return PrepMotifs(opt, files);
    if (command == "maf") return PrepMaf(opt, files);
    if (command == "groups") return PrepGroups(opt, files);
    if (command == "mask") return PrepMask(opt, files);
    if (command == "background") return PrepBackground(opt, files);
    return Fail(command.empty()
                    ? "give a subcommand: motifs, maf, groups, mask or background (see --help)"
                    : "unknown subcommand '" + command + "' (motifs, maf, groups, mask or background; see --help)");
}
