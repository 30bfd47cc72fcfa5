// Program entry: usage text, command-line scan, option checks and mode dispatch.
#include "app/PathModuleU.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "app/Drivers.h"
#include "app/SeqFile.h"
#include "base/Numbers.h"
#include "base/OutputFile.h"
#include "numeric/StochasticDistribution.h"

// The usage text is the program's historical one, printed as it always was: its defaults
// (1000 iterations, widths 8 to 15, -u 0.2, "output.txt") are those of an early version and
// not the values the program uses (2000, 10 to 14, 0.1, "Output.txt"). Changing the text
// would break whatever reads it; the option table below and --help give the real defaults.
void PrintReadme()
{
    std::puts("\nUsage: ./Serevan -i Seqfile (options)");
    std::puts("See Readme.pdf for the format of input sequences\n");
    std::puts("Options:");
    std::puts("\t-o\tOutput file (default output.txt)");
    std::puts("\t-n\tMaximum number of iterations (default 1000)");
    std::puts("\t-p\tCutoff for posterior probabilities (default 0.5)");
    std::puts("\t-N\tNumber of species");
    std::puts("\t-K\tNumber of motifs");
    std::puts("\t-L\tExpected module length (default: 200)");
    std::puts("\t-w\tMinimal motif width (default: 8)");
    std::puts("\t-W\tMaximal motif width (default: 15)");
    std::puts("\t-u\tProbability of updating alignments at each iteration (default: 0.2)");
    std::puts("\t-c\tRun in the collapsed sampler mode (recommended)");
    std::puts("\t-s\tRun in the motif mode");
}

void SetDefaultParam(INPUTPARAMETER* param)
{
    *param = INPUTPARAMETER();
    param->strOutputFile = "Output.txt";
}

const std::vector<OptionInfo>& KnownOptions()
{
    using K = OptionKind;
    using P = INPUTPARAMETER&;
    using V = const OptionValue&;
    static const std::vector<OptionInfo> options = {
        {'i', K::Text, "file", "input sequences (with -P: the aligned file)", "required",
         [](P p, V v) { p.strSeqFile = v.text; }},
        {'N', K::Integer, "n", "number of species, 2 to 16", "required",
         [](P p, V v) { p.nSpeciesNum = static_cast<int>(v.whole); }},
        {'K', K::Integer, "n", "number of motifs", "3", [](P p, V v) { p.nMotifNum = static_cast<int>(v.whole); }},
        {'o', K::Text, "file", "report file; side files are named by appending to it", "Output.txt",
         [](P p, V v) { p.strOutputFile = v.text; }},
        {'n', K::Integer, "n", "number of iterations, half of them burn-in (-F: samples per group)", "2000",
         [](P p, V v) { p.nMaxIterNum = static_cast<int>(v.whole); }},
        {'w', K::Integer, "n", "smallest motif width", "10",
         [](P p, V v) { p.nMinMotifWidth = static_cast<int>(v.whole); }},
        {'a', K::Text, "a,b,..", "-C: smallest motif width of each chain in turn, instead of -w (README)", "-w",
         [](P p, V v) {
             // Widths separated by commas; anything else is kept as a bad value for the check.
             p.chainMinWidth.clear();
             p.bChainWidthBad = false;
             const char* at = v.text;
             for (;;) {
                 int width = 0, used = 0;
                 if (!std::isdigit(static_cast<unsigned char>(*at)) || std::sscanf(at, "%4d%n", &width, &used) != 1) {
                     p.bChainWidthBad = true;
                     return;
                 }
                 p.chainMinWidth.push_back(width);
                 at += used;
                 if (*at == '\0') return;
                 if (*at++ != ',') {
                     p.bChainWidthBad = true;
                     return;
                 }
             }
         }},
        {'W', K::Integer, "n", "largest motif width", "14",
         [](P p, V v) { p.nMaxMotifWidth = static_cast<int>(v.whole); }},
        {'L', K::Integer, "n", "expected module length", "200",
         [](P p, V v) { p.nModuleLen = static_cast<int>(v.whole); }},
        {'p', K::Real, "x", "posterior cutoff for calling sites and modules", "0.5",
         [](P p, V v) { p.dPostCutoff = v.real; }},
        {'u', K::Real, "x", "probability of an alignment move per iteration", "0.1",
         [](P p, V v) { p.dAlignUpdatePr = v.real; }},
        {'c', K::Flag, "", "collapsed sampler (recommended)", "off", [](P p, V) { p.bCollapsed = true; }},
        {'s', K::Flag, "", "motif mode: every position is a module position", "off",
         [](P p, V) { p.bMotifMode = true; }},
        {'r', K::Text, "v", "0: given strand only; any other value: both strands", "both strands",
         [](P p, V v) { p.bBothStrands = v.text[0] != '0'; }},
        {'M', K::Flag, "", "give low-complexity windows no site probability", "off",
         [](P p, V) { p.bMaskLowComplexity = true; }},
        {'m', K::Integer, "n", "repeat the de novo run n times, appending to the same files", "1",
         [](P p, V v) { p.nRepeatNum = static_cast<int>(v.whole); }},
        {'g', K::Text, "k|file", "background of order k (0-5) for every background term, or read from a file",
         "default model",
         [](P p, V v) {
             // A value of digits only is an order; anything else names a file.
             if (std::strspn(v.text, "0123456789") == std::strlen(v.text) && v.text[0] != '\0') {
                 p.nBgOrder = std::strlen(v.text) > 2 ? 99 : std::atoi(v.text);
                 p.strBgFile = "";
             } else {
                 p.nBgOrder = -1;
                 p.strBgFile = v.text;
             }
         }},
        {'l', K::Flag, "", "read lower-case (soft-masked) bases as undetermined", "off",
         [](P p, V) { p.bSoftMask = true; }},
        {'S', K::Seed, "n", "seed of the random stream (same seed and input, same files)", "the time",
         [](P p, V v) {
             p.nSeed = static_cast<unsigned>(v.whole);
             p.bSeedGiven = true;
         }},
        {'A', K::Text, "file", "given motif matrices (kept fixed; -F: with expected site numbers)", "none",
         [](P p, V v) {
             p.bKnownMotif = true;
             p.strKnownMotifFile = v.text;
         }},
        {'q', K::Real, "x", "fixed site probability of each motif per module position", "estimated",
         [](P p, V v) {
             p.bMotifPr = true;
             p.dMotifPr = v.real;
         }},
        {'P', K::Text, "file", "aligned scan: complete parameter file for the -i alignment", "none",
         [](P p, V v) {
             p.strParamFile = v.text;
             p.bScanAligned = true;
         }},
        {'x', K::Flag, "", "aligned scan: write only the score line", "off", [](P p, V) { p.bScanDetail = false; }},
        {'F', K::Flag, "", "scan the orthologous groups with the -A motifs", "off",
         [](P p, V) { p.bScanUnaligned = true; }},
        {'C', K::Integer, "n", "de novo: run n chains (streams derived from the seed); keep the best (README)", "1",
         [](P p, V v) { p.nChains = static_cast<int>(v.whole); }},
        {'t', K::Integer, "n", "-C: threads the chains run in (the result does not depend on it)", "1",
         [](P p, V v) { p.nThreads = static_cast<int>(v.whole); }},
        {'D', K::Flag, "",
         "de novo: starting motifs from conserved, over-represented words (chain c from the "
         "c-th word on)",
         "off", [](P p, V) { p.bWordSeeds = true; }},
        {'E', K::Flag, "", "-C: then one more chain with the motifs most chains found, held fixed (README)", "off",
         [](P p, V) { p.bConsensusChain = true; }},
        {'e', K::Real, "x", "with -g: each group's own background, shrunk to the pooled one (weight x bases)", "0",
         [](P p, V v) { p.dLocalBg = v.real; }},
        {'y', K::Real, "x",
         "de novo: prior gain x (log) per group a motif's sites reach, up to a quarter of the groups", "0",
         [](P p, V v) { p.dSpreadPrior = v.real; }},
        {'j', K::Integer, "n",
         "with -D: choose the starting motifs among the first n words' matrices by the likelihood (README)", "0",
         [](P p, V v) { p.nWordChoice = static_cast<int>(v.whole); }},
        {'d', K::Real, "x", "de novo, -c: after burn-in, learned matrices take x pseudo-counts per base (README)", "1",
         [](P p, V v) { p.dLatePseudo = v.real; }},
        {'G', K::Flag, "", "-F: every group draws from streams of its own (needs -S), as shards do", "off",
         [](P p, V) { p.bGroupStreams = true; }},
        {'J', K::Text, "A-B", "-F -G: scan only groups A..B (0-based) and write their counts for serevan-merge",
         "all groups",
         [](P p, V v) {
             p.bShard = true;
             int a = -1, b = -1, used = 0;
             if (std::sscanf(v.text, "%9d-%9d%n", &a, &b, &used) == 2 && v.text[used] == '\0' &&
                 std::isdigit(v.text[0]) && a <= b) {
                 p.nShardFirst = a;
                 p.nShardLast = b;
             }
         }},
        {'R', K::Real, "x", "-F: probability of entering a module", "0.001",
         [](P p, V v) { p.dModuleStartPr = v.real; }},
        {'b', K::Real, "x", "-F, -B: background substitution probability", "0.1",
         [](P p, V v) { p.dBgMutationRate = v.real; }},
        {'f', K::Real, "x", "-F, -B: motif-site substitution probability", "0.02",
         [](P p, V v) { p.dMotifMutationRate = v.real; }},
        {'B', K::Text, "file", "choose among the candidate matrices of this file", "none",
         [](P p, V v) {
             p.bMotifSelection = true;
             p.strCandidateMotifFile = v.text;
         }},
        {'T', K::Integer, "n", "-B: number of candidate matrices in the file", "required with -B",
         [](P p, V v) {
             p.nCandidateMotifNum = static_cast<int>(v.whole);
             p.bCandidateNumGiven = true;
         }},
    };
    return options;
}

void PrintHelp()
{
    std::printf("Serevan %s: finds cis-regulatory modules and their motifs in orthologous DNA sequences.\n\n",
                kSerevanVersion);
    std::puts("Input (-i): one record per sequence, species-major: all groups of species 1 in group order,");
    std::puts("then all groups of species 2 in the same order, and so on (record s*G + g is species s of");
    std::puts("group g). Sequence lines hold letters only: A C G T, any other letter is an undetermined base.\n");
    std::puts("Modes and the files each needs:");
    std::puts("  de novo (default)   -i sequences -N n              learns motifs and modules");
    std::puts("  aligned scan        -i alignment -N n -K k -P params  scores one given alignment");
    std::puts("  unaligned scan      -i sequences -N n -K k -F -A motifs-with-site-numbers");
    std::puts("  motif selection     -i sequences -N n -K k -B candidates -T t -q x [-A motifs]\n");
    std::puts("Options (each a single letter; value; default):");
    for (const OptionInfo& o : KnownOptions())
        std::printf("  -%c %-5s %s (default: %s)\n", o.letter, o.value, o.meaning, o.deflt);
    std::puts("  -h, --help      this help;  --version   the version\n");
    std::puts("Examples (from the repository root, outputs are appended to):");
    std::puts("  Serevan -i examples/demo.fa -N 3 -K 3 -c -S 1 -o out.txt");
    std::puts("  Serevan -i examples/demo_aln.fa -N 3 -K 3 -P examples/demo_param.txt -S 1 -o ascan.txt");
    std::puts("  Serevan -i examples/demo.fa -N 3 -K 3 -F -A examples/demo_motifs_sites.txt -n 200 -S 1 -o fscan.txt");
    std::puts(
        "  Serevan -i examples/demo.fa -N 3 -K 3 -A examples/demo_motifs.txt -B examples/demo_candidates.txt"
        " -T 8 -q 0.01 -S 1 -o select.txt");
}

namespace {

const OptionInfo* FindOption(char letter)
{
    for (const OptionInfo& o : KnownOptions())
        if (o.letter == letter) return &o;
    return nullptr;
}

// A whole decimal number in [lo, hi], the whole text and nothing else; else a message
// naming the option and the value.
std::string ParseWhole(char letter, const char* v, long long lo, long long hi, long long& out)
{
    const std::string head = std::string("-") + letter + ": '" + v + "' ";
    long long x = 0;
    const serevan::NumberRead r = serevan::ReadInteger(v, x);
    if (r == serevan::NumberRead::NotANumber) return head + "is not a whole number";
    if (r == serevan::NumberRead::OutOfRange || x > hi)
        return head + "is too large (at most " + std::to_string(hi) + ")";
    if (x < lo) return head + "is too small (at least " + std::to_string(lo) + ")";
    out = x;
    return "";
}

// A finite decimal number, the whole text and nothing else.
std::string ParseReal(char letter, const char* v, double& out)
{
    if (serevan::ReadReal(v, out) != serevan::NumberRead::Ok)
        return std::string("-") + letter + ": '" + v + "' is not a number";
    return "";
}

}  // namespace

int ParseInputParam(INPUTPARAMETER* p, int argc, char** argv)
{
    p->strParamLine = "Serevan (beta 1, Nov 2007)\n";
    p->arguments.assign(argv + std::min(argc, 1), argv + argc);
    for (int i = 0; i < argc; ++i) {
        p->strParamLine = p->strParamLine + argv[i];
        p->strParamLine = p->strParamLine + " ";
    }
    // Every argument is examined in turn; an option's value is examined again as an
    // argument of its own, so a value beginning with '-' also acts as an option.
    bool isValue = false;  // argv[i] is the value of the option before it
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        const bool wasValue = isValue;
        isValue = false;
        if (a[0] != '-') continue;
        const char letter = a[1];
        const OptionInfo* opt = letter != '\0' ? FindOption(letter) : nullptr;
        if (!opt) {
            // Unknown letters are ignored, but never silently (a value is data, not a typo).
            if (!wasValue)
                std::fprintf(stderr, "ignoring unknown option %s (options are single letters, e.g. -S)\n", a);
            continue;
        }
        if (a[2] != '\0' && !wasValue) std::fprintf(stderr, "reading %s as -%c (%s)\n", a, letter, opt->meaning);
        const bool takesValue = opt->kind != OptionKind::Flag;
        if (takesValue && i + 1 >= argc) {
            std::printf("Option -%c needs a value\n", letter);
            return 1;
        }
        const char* v = takesValue ? argv[i + 1] : "";
        isValue = takesValue;
        long long whole = 0;
        double real = 0.0;
        std::string bad;
        if (opt->kind == OptionKind::Integer) bad = ParseWhole(letter, v, INT_MIN, INT_MAX, whole);
        if (opt->kind == OptionKind::Seed) bad = ParseWhole(letter, v, 0, UINT_MAX, whole);
        if (opt->kind == OptionKind::Real) bad = ParseReal(letter, v, real);
        if (!bad.empty()) {
            std::puts(bad.c_str());
            return 1;
        }
        opt->apply(*p, OptionValue{v, whole, real});
    }
    if (p->nSpeciesNum < 2) {
        std::puts("Input number of species < 2!");
        return 1;
    }
    std::string bad = CheckParamValues(*p);
    if (!bad.empty()) {
        std::puts(bad.c_str());
        return 1;
    }
    return 0;
}

std::string CheckParamValues(const INPUTPARAMETER& p)
{
    // Each option is checked only in the modes that read it.
    const RunMode mode = ChooseMode(p);
    const bool denovo = mode == RunMode::DeNovo;
    if (p.nSpeciesNum > kMaxSpecies)
        return "-N must be at most " + std::to_string(kMaxSpecies) + " (2^N states per alignment node)";
    if ((denovo || mode == RunMode::ScanUnaligned) && p.nMaxIterNum < 1) return "-n must be at least 1";
    if (p.nMotifNum < 1) return "-K must be at least 1";
    if (p.nMotifNum > kMaxMotifs) return "-K must be at most " + std::to_string(kMaxMotifs);
    if (denovo) {
        if (p.nMinMotifWidth < 1) return "-w must be at least 1";
        if (p.nMaxMotifWidth > kMaxMotifWidth) return "-W must be at most " + std::to_string(kMaxMotifWidth);
        if (p.nMinMotifWidth > p.nMaxMotifWidth) return "-w must not exceed -W";
    }
    if (p.nModuleLen < 2) return "-L must be at least 2";
    if (p.nBgOrder > kMaxBgOrder) return "-g must be an order from 0 to " + std::to_string(kMaxBgOrder) + " or a file";
    if (mode != RunMode::MotifSelection && !(p.dPostCutoff >= 0.0 && p.dPostCutoff <= 1.0))
        return "-p must be within 0 and 1";
    if (denovo && !(p.dAlignUpdatePr >= 0.0 && p.dAlignUpdatePr <= 1.0)) return "-u must be within 0 and 1";
    if ((denovo || mode == RunMode::MotifSelection) && p.bMotifPr && !(p.dMotifPr > 0.0 && p.dMotifPr < 1.0))
        return "-q must be within 0 and 1 (exclusive)";
    if (denovo && !p.bMotifMode) {
        // Each motif starts with probability q (or the module exit probability 1/(0.8 L)); the
        // module background keeps 1 - K q, which must stay positive.
        double each = p.bMotifPr ? p.dMotifPr : 1.0 / (0.8 * p.nModuleLen);
        if (p.nMotifNum * each >= 1.0)
            return p.bMotifPr ? "-K times -q must be below 1 (the module background needs a positive probability)"
                              : "-K must be below 0.8 times -L (the module background needs a positive probability)";
    }
    if (denovo && p.bMotifMode && p.bMotifPr && p.nMotifNum * p.dMotifPr >= 1.0)
        return "-K times -q must be below 1 (the module background needs a positive probability)";
    if (mode == RunMode::ScanUnaligned || mode == RunMode::MotifSelection) {
        if (!(p.dBgMutationRate > 0.0 && p.dBgMutationRate < 1.0)) return "-b must be within 0 and 1 (exclusive)";
        if (!(p.dMotifMutationRate > 0.0 && p.dMotifMutationRate < 1.0)) return "-f must be within 0 and 1 (exclusive)";
    }
    if (mode == RunMode::ScanUnaligned && !(p.dModuleStartPr > 0.0 && p.dModuleStartPr < 1.0))
        return "-R must be within 0 and 1 (exclusive)";
    if (!(p.nChains >= 1 && p.nChains <= kMaxChains)) return "-C must be from 1 to " + std::to_string(kMaxChains);
    if (!(p.nThreads >= 1 && p.nThreads <= kMaxThreads)) return "-t must be from 1 to " + std::to_string(kMaxThreads);
    if (p.nChains > 1 && !denovo) return "-C is an option of the de novo run";
    if (p.dLocalBg != 0.0 && !denovo) return "-e is an option of the de novo run";
    if (p.bWordSeeds && !denovo) return "-D is an option of the de novo run";
    if (p.bConsensusChain && p.nChains < 2) return "-E needs -C 2 or more: it takes the motifs of the chains";
    if (!(p.dLocalBg >= 0.0)) return "-e must be at least 0";
    if (p.dSpreadPrior != 0.0 && !denovo) return "-y is an option of the de novo run";
    if (!(p.dSpreadPrior >= 0.0)) return "-y must be at least 0";
    if (p.nWordChoice != 0 && !denovo) return "-j is an option of the de novo run";
    if (p.dLatePseudo != 1.0) {
        if (!denovo) return "-d is an option of the de novo run";
        if (!p.bCollapsed) return "-d needs -c: it sets the collapsed matrix update";
        if (!(p.dLatePseudo > 0.0 && p.dLatePseudo <= 100.0)) return "-d must be above 0 and at most 100";
    }
    if (p.bChainWidthBad || !p.chainMinWidth.empty()) {
        if (!denovo) return "-a is an option of the de novo run";
        bool bad = p.bChainWidthBad;
        for (int w : p.chainMinWidth) bad = bad || w < 1 || w > p.nMaxMotifWidth;
        if (bad) return "-a must be widths from 1 to -W, separated by commas";
    }
    if (!(p.nWordChoice >= 0 && p.nWordChoice <= kMaxWordChoice))
        return "-j must be from 0 to " + std::to_string(kMaxWordChoice);
    if (p.nWordChoice > 0 && !p.bWordSeeds) return "-j needs -D: the matrices it chooses among come from the words";
    if (p.dLocalBg > 0.0 && p.nBgOrder < 0 && p.strBgFile.GetLength() == 0)
        return "-e needs -g (it estimates the order-k background of each group)";
    if (p.bGroupStreams && mode != RunMode::ScanUnaligned) return "-G is an option of the unaligned scan (-F)";
    if (p.bGroupStreams && !p.bSeedGiven) return "-G needs -S: the streams of the groups are derived from the seed";
    if (p.bShard) {
        if (mode != RunMode::ScanUnaligned) return "-J is an option of the unaligned scan (-F)";
        if (p.nShardFirst < 0) return "-J must be a range of groups A-B (0-based, A not above B)";
        if (!p.bGroupStreams) return "-J needs -G: a shard's groups must draw as they would in one run";
        if (p.strBgFile.GetLength() == 0)
            return "-J needs a background file (-g FILE, see serevan-prep background): a shard cannot estimate the "
                   "background of the whole input";
    }
    if (mode == RunMode::MotifSelection) {
        if (!p.bCandidateNumGiven || p.nCandidateMotifNum < 1)
            return "-B needs -T, the number of candidate matrices (at least 1)";
        if (p.nCandidateMotifNum > kMaxCandidates) return "-T must be at most " + std::to_string(kMaxCandidates);
        if (!p.bMotifPr) return "-B needs -q, the site probability of each motif";
        if (p.nMotifNum * p.dMotifPr >= 1.0)
            return "-K times -q must be below 1 (the module background needs a positive probability)";
    }
    return "";
}

bool OutputWritable(const char* file)
{
    const bool existed = std::filesystem::exists(file);
    std::FILE* f = std::fopen(file, "a+");
    if (!f) return false;
    std::fclose(f);
    if (!existed) std::remove(file);  // leave no empty report behind
    return true;
}

RunMode ChooseMode(const INPUTPARAMETER& p)
{
    if (p.bScanAligned) return RunMode::ScanAligned;
    if (p.bScanUnaligned) return RunMode::ScanUnaligned;
    if (p.bMotifSelection) return RunMode::MotifSelection;
    return RunMode::DeNovo;
}

namespace {

int RunProgram(int argc, char** argv)
{
    if (argc == 1) {
        PrintReadme();
        std::puts("Run Serevan --help for every option, its default, each mode's files and an example of each mode.");
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            PrintHelp();
            return 0;
        }
        if (a == "--version") {
            std::printf("Serevan %s\n", kSerevanVersion);
            return 0;
        }
    }
    INPUTPARAMETER param;
    SetDefaultParam(&param);
    int status = ParseInputParam(&param, argc, argv);
    if (status != 0) return status;
    // One stream for the whole process: the -m runs continue it. A seed taken from the clock
    // is printed, so that every run can be repeated.
    const unsigned seed = param.bSeedGiven ? param.nSeed : static_cast<unsigned>(std::time(nullptr));
    if (!param.bSeedGiven) std::fprintf(stderr, "seed %u (rerun with -S %u)\n", seed, seed);
    param.nSeed = seed;  // the streams derived from it (-C) see the seed actually used
    CRandomStream rng(seed);

    const RunMode mode = ChooseMode(param);
    const OutputNames names(param.strOutputFile.c_str());
    // The report is appended at the end of a possibly long run: make sure it can be.
    const bool reportExists = std::filesystem::exists(param.strOutputFile.c_str());
    if (!OutputWritable(param.strOutputFile.c_str())) {
        std::printf("cannot open output file %s for appending\n", param.strOutputFile.c_str());
        return 1;
    }
    // Every output is appended to; a second run into the same name should not go unnoticed.
    auto noteAppending = [&] {
        if (reportExists)
            std::fprintf(stderr, "appending to the existing report %s (and to its side files)\n",
                         param.strOutputFile.c_str());
    };
    if (mode == RunMode::ScanAligned) {
        noteAppending();
        return RunModuleScan(&param, names, rng);
    }

    int nSeq = CountSequences(param.strSeqFile.c_str());
    if (nSeq < 0) {
        std::printf("cannot open sequence file %s\n", param.strSeqFile.c_str());
        return 1;
    }
    if (nSeq < 1) {
        std::puts("Input sequence number < 1!");
        return 1;
    }
    if (nSeq % param.nSpeciesNum != 0) {
        std::printf("All species must have the same number of sequences! (%d records are not a multiple of -N %d)\n",
                    nSeq, param.nSpeciesNum);
        return 1;
    }
    noteAppending();
    if (mode == RunMode::ScanUnaligned) return RunModuleScanUnalign(&param, nSeq, names, rng);
    if (mode == RunMode::MotifSelection) return RunMotifSelection(&param, nSeq, names, rng);

    const std::string& info = names.info;
    // A run refused for its input leaves the log as it found it.
    std::error_code ec;
    const bool infoExisted = std::filesystem::exists(info, ec);
    const std::uintmax_t infoSize = infoExisted ? std::filesystem::file_size(info, ec) : 0;
    std::string failed;
    if (!AppendToFile(info, std::string(param.strParamLine.c_str()) + "\n\nInitial alignment\n", failed)) {
        std::printf("cannot write %s\n", info.c_str());
        return 1;
    }
    for (int r = 0; r < param.nRepeatNum; ++r)
        if (const int status = RunModuleSample(&param, nSeq, names, rng); status != 0) {
            if (r == 0 && !infoExisted) std::filesystem::remove(info, ec);
            if (r == 0 && infoExisted) std::filesystem::resize_file(info, infoSize, ec);
            return status;
        }
    return 0;
}

}  // namespace

int SerevanMain(int argc, char** argv)
{
    const int status = RunProgram(argc, argv);
    RepeatLayoutWarnings();
    return status;
}
