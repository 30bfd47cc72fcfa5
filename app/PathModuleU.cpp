// Program entry: usage text, command-line scan, option checks and mode dispatch.
#include "app/PathModuleU.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "app/Drivers.h"
#include "app/OutputFile.h"
#include "app/SeqFile.h"
#include "numeric/StochasticDistribution.h"

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

namespace {

// Letters whose option reads the next argument as its value.
bool TakesValue(char letter)
{
    switch (letter) {
    case 'i': case 'o': case 'n': case 'p': case 'N': case 'm': case 'r': case 'K': case 'L':
    case 'w': case 'W': case 'u': case 'A': case 'B': case 'T': case 'q': case 'R': case 'b':
    case 'f': case 'P': case 'S':
        return true;
    default:
        return false;
    }
}

int Integer(const char* v) { return static_cast<int>(std::strtol(v, nullptr, 10)); }
double Real(const char* v) { return std::strtod(v, nullptr); }

}  // namespace

int ParseInputParam(INPUTPARAMETER* p, int argc, char** argv)
{
    p->strParamLine = "Serevan (beta 1, Nov 2007)\n";
    for (int i = 0; i < argc; ++i) {
        p->strParamLine = p->strParamLine + argv[i];
        p->strParamLine = p->strParamLine + " ";
    }
    // Every argument is examined in turn; an option's value is examined again as an
    // argument of its own, so a value beginning with '-' also acts as an option.
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] != '-') continue;
        char letter = a[1];
        if (TakesValue(letter) && i + 1 >= argc) {
            std::printf("Option -%c needs a value\n", letter);
            return 1;
        }
        const char* v = TakesValue(letter) ? argv[i + 1] : "";
        switch (letter) {
        case 'i': p->strSeqFile = v; break;
        case 'o': p->strOutputFile = v; break;
        case 'n': p->nMaxIterNum = Integer(v); break;
        case 'p': p->dPostCutoff = Real(v); break;
        case 'N': p->nSpeciesNum = Integer(v); break;
        case 'm': p->nRepeatNum = Integer(v); break;
        case 'r': p->bBothStrands = v[0] != '0'; break;
        case 'M': p->bMaskLowComplexity = true; break;
        case 'K': p->nMotifNum = Integer(v); break;
        case 'L': p->nModuleLen = Integer(v); break;
        case 'w': p->nMinMotifWidth = Integer(v); break;
        case 'W': p->nMaxMotifWidth = Integer(v); break;
        case 's': p->bMotifMode = true; break;
        case 'u': p->dAlignUpdatePr = Real(v); break;
        case 'A': p->bKnownMotif = true; p->strKnownMotifFile = v; break;
        case 'B': p->bMotifSelection = true; p->strCandidateMotifFile = v; break;
        case 'T': p->nCandidateMotifNum = Integer(v); p->bCandidateNumGiven = true; break;
        case 'q': p->bMotifPr = true; p->dMotifPr = Real(v); break;
        case 'R': p->dModuleStartPr = Real(v); break;
        case 'b': p->dBgMutationRate = Real(v); break;
        case 'f': p->dMotifMutationRate = Real(v); break;
        case 'F': p->bScanUnaligned = true; break;
        case 'P': p->strParamFile = v; p->bScanAligned = true; break;
        case 'x': p->bScanDetail = false; break;
        case 'c': p->bCollapsed = true; break;
        case 'S': p->nSeed = static_cast<unsigned>(std::strtoul(v, nullptr, 10)); p->bSeedGiven = true; break;
        default: break;  // unknown letters and a lone '-' are ignored
        }
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
    if (p.nSpeciesNum > kMaxSpecies)
        return "-N must be at most " + std::to_string(kMaxSpecies) + " (2^N states per alignment node)";
    if (p.nMaxIterNum < 1) return "-n must be at least 1";
    if (p.nMotifNum < 1) return "-K must be at least 1";
    if (p.nMinMotifWidth < 1) return "-w must be at least 1";
    if (p.nMinMotifWidth > p.nMaxMotifWidth) return "-w must not exceed -W";
    if (p.nModuleLen < 2) return "-L must be at least 2";
    if (!(p.dPostCutoff >= 0.0 && p.dPostCutoff <= 1.0)) return "-p must be within 0 and 1";
    if (!(p.dAlignUpdatePr >= 0.0 && p.dAlignUpdatePr <= 1.0)) return "-u must be within 0 and 1";
    if (p.bMotifPr && !(p.dMotifPr > 0.0 && p.dMotifPr < 1.0)) return "-q must be within 0 and 1 (exclusive)";
    const bool denovo = ChooseMode(p) == RunMode::DeNovo;
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
    const RunMode mode = ChooseMode(p);
    if (mode == RunMode::ScanUnaligned || mode == RunMode::MotifSelection) {
        if (!(p.dBgMutationRate > 0.0 && p.dBgMutationRate < 1.0)) return "-b must be within 0 and 1 (exclusive)";
        if (!(p.dMotifMutationRate > 0.0 && p.dMotifMutationRate < 1.0))
            return "-f must be within 0 and 1 (exclusive)";
    }
    if (mode == RunMode::ScanUnaligned && !(p.dModuleStartPr > 0.0 && p.dModuleStartPr < 1.0))
        return "-R must be within 0 and 1 (exclusive)";
    if (mode == RunMode::MotifSelection) {
        if (!p.bCandidateNumGiven || p.nCandidateMotifNum < 1)
            return "-B needs -T, the number of candidate matrices (at least 1)";
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

int SerevanMain(int argc, char** argv)
{
    if (argc == 1) {
        PrintReadme();
        return 0;
    }
    INPUTPARAMETER param;
    SetDefaultParam(&param);
    int status = ParseInputParam(&param, argc, argv);
    if (status != 0) return status;
    SeedRandom(param.bSeedGiven ? param.nSeed : static_cast<unsigned>(std::time(nullptr)));

    const RunMode mode = ChooseMode(param);
    // The report is appended at the end of a possibly long run: make sure it can be.
    if (!OutputWritable(param.strOutputFile.c_str())) {
        std::printf("cannot open output file %s for appending\n", param.strOutputFile.c_str());
        return 1;
    }
    if (mode == RunMode::ScanAligned) return RunModuleScan(&param) == -1 ? 1 : 0;

    int nSeq = CountSequences(param.strSeqFile.c_str());
    if (nSeq < 1) {
        std::puts("Input sequence number < 1!");
        return 1;
    }
    if (nSeq % param.nSpeciesNum != 0) {
        std::puts("All species must have the same number of sequences!");
        return 1;
    }
    if (mode == RunMode::ScanUnaligned) return RunModuleScanUnalign(&param, nSeq) == -1 ? 1 : 0;
    if (mode == RunMode::MotifSelection) return RunMotifSelection(&param, nSeq) == -1 ? 1 : 0;

    const std::string info = (param.strOutputFile + ".info").c_str();
    std::string failed;
    if (!AppendToFile(info, std::string(param.strParamLine.c_str()) + "\n\nInitial alignment\n", failed)) {
        std::printf("cannot write %s\n", info.c_str());
        return 1;
    }
    for (int r = 0; r < param.nRepeatNum; ++r)
        if (RunModuleSample(&param, nSeq) == -1) return 1;
    return 0;
}
