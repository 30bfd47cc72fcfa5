// serevan-sim: simulates orthologous groups with planted modules, and writes the input
// file, the truth table, the motif files and one aligned group with its parameter file.
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "common/Simulator.h"
#include "common/ToolOptions.h"
#include "common/ToolText.h"

using namespace sertools;

static const char kHelp[] =
    "Usage: serevan-sim [options]\n"
    "Simulates N species' orthologous sequences evolved on a star tree from ancestral\n"
    "sequences with planted cis-regulatory modules (model: tools/README.md).\n"
    "\n"
    "Output (under --out PREFIX):\n"
    "  PREFIX.fa               sequences for -i: all groups of species 0, then species 1, ...\n"
    "                          (records >g<group>_sp<species>, both 0-based)\n"
    "  PREFIX_truth.tsv        truth table: type species group start end motif strand\n"
    "                          (0-based, end inclusive; rows 'sequence', 'module', 'site')\n"
    "  PREFIX_motifs.txt       planted matrices in the -A format\n"
    "  PREFIX_motifs_sites.txt the same with the expected-site line, for -F (use -L M)\n"
    "  PREFIX_aln.fa           true alignment of group --align-group, for -P (-i)\n"
    "  PREFIX_param.txt        matching model parameter file for -P\n"
    "\n"
    "Options (defaults in brackets):\n"
    "  --out PREFIX          output prefix [sim]\n"
    "  --seed S              seed of the simulator's own generator, 0..2^63-1 [1]\n"
    "  --species N           species, 2..16 [3]\n"
    "  --groups G            orthologous groups [10]\n"
    "  --length L            ancestral sequence length [500]\n"
    "  --motifs K            motifs [3, or all matrices of --motif-file]\n"
    "  --motif-file FILE     planted matrices in the -A format [random motifs]\n"
    "  --min-width W         random motif width, lower bound [10]\n"
    "  --max-width W         random motif width, upper bound [14]\n"
    "  --min-info BITS       least information content of a random column, 0..1.5 [1]\n"
    "  --module-fraction F   share of groups with one module [0.8]\n"
    "  --module-length M     ancestral window holding a module's sites [200]\n"
    "  --sites N[,N...]      sites of each motif per module: one value or K values [2]\n"
    "  --reverse F           probability that a site is on the reverse strand [0.5]\n"
    "  --background FASTA    cut each ancestor from real DNA: a random window of --length\n"
    "                        bases of a record of FASTA, on a random strand [Markov chain]\n"
    "  --max-undetermined F  largest share of non-ACGT bases in a cut window; windows with\n"
    "                        more are redrawn (up to 1000 times per group) [0.1]\n"
    "  --allow-overlap       windows of different groups may overlap [they do not]\n"
    "  --gc-spread SD        spread the groups' G+C shares: each group draws a target share\n"
    "                        from a normal distribution around the FASTA's share with this\n"
    "                        sd and cuts, of 200 acceptable windows, the one closest to it\n"
    "                        [0: the first acceptable window]\n"
    "  --keep-case           keep the FASTA's lower case (soft-masked repeats) through\n"
    "                        evolution; without it lower case reads as upper case\n"
    "  --gc F                G+C share of the background [0.4]\n"
    "  --cpg F               factor on C->G steps of the first-order background [0.25]\n"
    "  --sub-rate P          per-branch substitution probability, background [0.1]\n"
    "  --site-rate P         per-branch probability of redrawing a site base from its\n"
    "                        motif column [0.02]\n"
    "  --indel-rate P        per-branch indel events per base outside sites [0.01]\n"
    "  --indel-mean X        mean indel length (geometric) [2]\n"
    "  --indel-max X         longest indel [10]\n"
    "  --loss P[,P...]       probability that a species loses a site: one value or N [0]\n"
    "  --align-group G       group written as the true alignment (0-based) [0]\n"
    "  --quiet               no summary line\n"
    "  --help                this text (--version: the version)\n"
    "\n"
    "The same seed and options give byte-identical files.\n";

static int Fail(const std::string& message)
{
    std::fprintf(stderr, "serevan-sim: error: %s\n", message.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    const std::vector<OptionSpec> specs = {{"out", true},
                                           {"seed", true},
                                           {"species", true},
                                           {"groups", true},
                                           {"length", true},
                                           {"motifs", true},
                                           {"motif-file", true},
                                           {"min-width", true},
                                           {"max-width", true},
                                           {"min-info", true},
                                           {"module-fraction", true},
                                           {"module-length", true},
                                           {"sites", true},
                                           {"reverse", true},
                                           {"gc", true},
                                           {"cpg", true},
                                           {"sub-rate", true},
                                           {"site-rate", true},
                                           {"indel-rate", true},
                                           {"indel-mean", true},
                                           {"indel-max", true},
                                           {"loss", true},
                                           {"align-group", true},
                                           {"background", true},
                                           {"max-undetermined", true},
                                           {"gc-spread", true},
                                           {"keep-case", false},
                                           {"allow-overlap", false},
                                           {"quiet", false},
                                           {"help", false}};
    OptionSet opt;
    std::string err;
    if (!opt.Parse(argc, argv, specs, err)) return Fail(err);
    if (AnswerHelpOrVersion(opt, "serevan-sim", kHelp)) return 0;
    SimOptions o;
    const long long big = 1LL << 40;
    long long seed = 1, species = o.species, groups = o.groups, length = o.length, motifs = o.motifs, minW = o.minWidth,
              maxW = o.maxWidth, modLen = o.moduleLength, indelMax = o.indelMax, alignGroup = o.alignGroup;
    // Types are checked here; ranges in one place, CheckSimOptions.
    bool ok = opt.Int("seed", 0, LLONG_MAX, seed, err) && opt.Int("species", -big, big, species, err) &&
              opt.Int("groups", -big, big, groups, err) && opt.Int("length", -big, big, length, err) &&
              opt.Int("motifs", -big, big, motifs, err) && opt.Int("min-width", -big, big, minW, err) &&
              opt.Int("max-width", -big, big, maxW, err) && opt.Int("module-length", -big, big, modLen, err) &&
              opt.Int("indel-max", -big, big, indelMax, err) && opt.Int("align-group", -big, big, alignGroup, err) &&
              opt.Real("min-info", -1e300, 1e300, o.minInfo, err) &&
              opt.Real("module-fraction", -1e300, 1e300, o.moduleFraction, err) &&
              opt.Real("reverse", -1e300, 1e300, o.reverseFraction, err) && opt.Real("gc", -1e300, 1e300, o.gc, err) &&
              opt.Real("cpg", -1e300, 1e300, o.cpg, err) && opt.Real("sub-rate", -1e300, 1e300, o.subRate, err) &&
              opt.Real("site-rate", -1e300, 1e300, o.siteRate, err) &&
              opt.Real("indel-rate", -1e300, 1e300, o.indelRate, err) &&
              opt.Real("indel-mean", -1e300, 1e300, o.indelMean, err) &&
              opt.Real("max-undetermined", -1e300, 1e300, o.maxUndetermined, err) &&
              opt.Real("gc-spread", -1e300, 1e300, o.gcSpread, err) && opt.IntList("sites", -big, big, o.sites, err) &&
              opt.RealList("loss", -1e300, 1e300, o.loss, err);
    if (!ok) return Fail(err);
    auto clampInt = [](long long v) {
        return static_cast<int>(v < -(1LL << 30) ? -(1LL << 30) : (v > (1LL << 30) ? (1LL << 30) : v));
    };
    o.seed = static_cast<std::uint64_t>(seed);
    o.species = clampInt(species);
    o.groups = clampInt(groups);
    o.length = clampInt(length);
    o.motifs = clampInt(motifs);
    o.minWidth = clampInt(minW);
    o.maxWidth = clampInt(maxW);
    o.moduleLength = clampInt(modLen);
    o.indelMax = clampInt(indelMax);
    o.alignGroup = clampInt(alignGroup);
    o.motifFile = opt.Text("motif-file", "");
    o.backgroundFile = opt.Text("background", "");
    o.keepCase = opt.Has("keep-case");
    o.allowOverlap = opt.Has("allow-overlap");
    if (opt.Has("background") && o.backgroundFile.empty()) return Fail("--background needs a FASTA file name");
    if (opt.Has("motifs") && o.motifs < 1) return Fail("--motifs must be from 1 to 100");
    const std::string prefix = opt.Text("out", "sim");
    if (prefix.empty()) return Fail("--out needs a non-empty prefix");

    SimData data;
    if (!Simulate(o, data, err)) return Fail(err);
    if (!WriteSimFiles(data, prefix, err)) return Fail(err);
    if (!opt.Has("quiet")) {
        int modules = 0;
        for (const SimGroup& g : data.groups) modules += g.hasModule ? 1 : 0;
        SimFileNames f = SimFilesFor(prefix);
        std::printf(
            "serevan-sim: %d species x %d groups (%d with a module), %d motifs, seed %llu: "
            "wrote %s %s %s %s %s %s\n",
            data.options.species, data.options.groups, modules, data.options.motifs,
            static_cast<unsigned long long>(data.options.seed), f.sequences.c_str(), f.truth.c_str(), f.motifs.c_str(),
            f.motifsWithSites.c_str(), f.alignment.c_str(), f.params.c_str());
    }
    return 0;
}
