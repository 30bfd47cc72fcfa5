// The drivers of the known-motif modes: aligned scanning (-P), unaligned scanning (-F) and
// motif selection (-B). Each checks all of its input files before any alignment or sampling
// and refuses bad input with a one-line message on standard output (status 1).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "align/PairAlign.h"
#include "app/Drivers.h"
#include "app/MotifFile.h"
#include "app/SeqFile.h"
#include "app/Shards.h"
#include "base/Format.h"
#include "base/OutputFile.h"
#include "model/Serevan.h"

namespace {

std::string FileName(const CString& s)
{
    return s.c_str();
}

}  // namespace

int RunModuleScan(INPUTPARAMETER* param, const OutputNames& out, CRandomStream& rng)
{
    const int N = param->nSpeciesNum, K = param->nMotifNum;
    std::string err;

    std::vector<int> rowLen;
    std::vector<CString> names;
    std::vector<std::vector<int>> rows;
    if (!ReadinAlignment(param->strSeqFile, N, rowLen, names, rows, err, param->bSoftMask)) return Refuse(err);
    for (int s = 1; s < N; ++s)
        if (rowLen[s] != rowLen[0])
            return Refuse("error in input alignment file: length not equal! (row " + std::to_string(s + 1) + ", " +
                          names[s].c_str() + ", has " + std::to_string(rowLen[s]) + " columns; row 1 has " +
                          std::to_string(rowLen[0]) + ")");

    // Every column becomes a path node with 2^N state flags, and the forward table holds 2^N
    // doubles per node: refuse what cannot fit before building anything.
    const double bytes = (static_cast<double>(rowLen[0]) + 2.0) * std::ldexp(1.0, N) * (1.0 + 8.0 + 8.0);
    if (bytes > kPairTableLimitBytes) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "error in input alignment file: %d species x %d columns need about %.2f GiB (2^N states per "
                      "column), more than the limit of %.0f GiB",
                      N, rowLen[0], bytes / 1073741824.0, kPairTableLimitBytes / 1073741824.0);
        return Refuse(text);
    }

    ModelStart start;
    start.given = true;
    double subRate[2] = {0.0, 0.0};
    if (!ReadParamFile(param->strParamFile, &start.enterPr, start.motifPr, start.width, start.pwm, subRate, K, err))
        return Refuse(err);
    start.bgSubRate = subRate[0];
    start.motifSubRate = subRate[1];

    ModelGroups d;
    d.N = N;
    d.G = 1;
    d.A = 1;
    d.alignPath.resize(1);
    std::vector<int> seqLen;
    if (!AlignmentToPath(rows, N, d.alignPath[0], seqLen, d.seq))
        return Refuse("error in input alignment file: length not equal!");
    if (PathNodeNum(d.alignPath[0]) < 2)
        return Refuse("error in input alignment file: " + FileName(param->strSeqFile) + " holds no residue");
    d.names = names;
    if (!RunBackground(*param, d.seq, d.bg)) return 1;

    CSerevan model(*param, d, start, rng);
    const RunResults results = model.Scanning(param->bScanDetail);
    std::string failed;
    if (!results.status.Ok()) return Stopped(results.status, out, failed);
    if (param->bScanDetail && !WriteRun(out, RunKind::AlignedScan, results, failed))
        return RefuseUnwritten(out, failed);

    // The score line: the first row's name as read, then the score.
    if (!AppendToFile(out.report, names[0].c_str() + Format("\t%.3lf\n", results.avgLik), failed))
        return RefuseUnwritten(out);
    return 0;
}

int UnalignedScanStart(INPUTPARAMETER& param, ModelStart& start)
{
    const int K = param.nMotifNum;
    if (!param.bKnownMotif)
        return Refuse("-F needs -A, the file of known motif matrices with their expected site numbers");
    std::string err;
    start.given = true;
    const int M = ReadKnownPWM(param.strKnownMotifFile, start.pwm, start.width, start.motifPr, err);
    if (M < 0) return Refuse(err);
    if (M != K)
        return Refuse("motif file " + FileName(param.strKnownMotifFile) + " holds " + std::to_string(M) +
                      " matrices; -F needs exactly the " + std::to_string(K) + " motifs of -K");

    // The file gives expected sites per module of length -L; the model takes them per
    // module position, the rest being module background.
    if (!CSerevan::ScanSitePr(start.motifPr, param.nModuleLen))
        return Refuse("the expected site numbers of " + FileName(param.strKnownMotifFile) +
                      " must sum to less than -L (" + std::to_string(param.nModuleLen) +
                      ") so that the module background keeps a positive probability");
    param.nKnownMotifNum = M;
    start.enterPr = param.dModuleStartPr;
    start.bgSubRate = param.dBgMutationRate;
    start.motifSubRate = param.dMotifMutationRate;
    return 0;
}

int RunModuleScanUnalign(INPUTPARAMETER* param, int nSeq, const OutputNames& names, CRandomStream& rng)
{
    ModelStart start;
    if (const int status = UnalignedScanStart(*param, start)) return status;

    // A shard scans groups A..B and writes their counts and its manifest to new files only.
    const int G = nSeq / param->nSpeciesNum;
    const int first = param->bShard ? param->nShardFirst : 0, count = param->bShard ? param->nShardLast - first + 1 : G;
    if (param->bShard) {
        if (param->nShardLast >= G)
            return Refuse("-J " + std::to_string(first) + "-" + std::to_string(param->nShardLast) +
                          ": the input holds " + std::to_string(G) + " groups (0 to " + std::to_string(G - 1) + ")");
        std::error_code ec;
        if (std::filesystem::exists(names.report, ec))
            return Refuse("-J: " + names.report +
                          " exists already; a shard writes its manifest and count tables to new files (remove them or "
                          "choose another -o)");
    }

    ModelGroups d;
    if (!ReadGroups(*param, nSeq, d, first, count)) return 1;
    if (!AlignGroups(d, 3, rng, param->bGroupStreams ? &param->nSeed : nullptr)) return 1;

    CSerevan model(*param, d, start, rng);
    CRandomStream calls(DeriveSeed(param->nSeed, 0, kCallStream));
    if (param->bGroupStreams) model.SetCallStream(calls);
    std::string failed;
    const RunResults results = model.GibbsScanUnalign(InfoWriter(names, failed), !param->bShard);
    if (!results.status.Ok()) return Stopped(results.status, names, failed);
    if (param->bShard) {
        ShardManifest manifest;
        std::string err;
        if (!MakeManifest(*param, G, manifest, err)) return Refuse(err);
        if (!WriteScanTables(names, results, failed) || !AppendToFile(names.report, ManifestText(manifest), failed))
            return RefuseUnwritten(names, failed);
        return 0;
    }
    if (!WriteRun(names, RunKind::UnalignedScan, results, failed)) return RefuseUnwritten(names, failed);
    return 0;
}

int RunMotifSelection(INPUTPARAMETER* param, int nSeq, const OutputNames& names, CRandomStream& rng)
{
    const int K = param->nMotifNum, T = param->nCandidateMotifNum;
    constexpr int kUniformWidth = 8;  // width of the model motifs not given by -A
    std::string err;

    ModelStart start;
    if (param->bKnownMotif && ReadGivenMatrices(*param, start.pwm, start.width) < 0) return 1;
    for (int k = param->nKnownMotifNum; k < K; ++k) {
        start.width.push_back(kUniformWidth);
        start.pwm.emplace_back(4 * kUniformWidth, std::log(0.25));
    }

    std::vector<std::vector<double>> candPwm;
    std::vector<int> candWidth;
    std::vector<CString> candName;
    const int M = ReadKnownPWM(param->strCandidateMotifFile, candPwm, candWidth, candName, err);
    if (M < 0) return Refuse(err);
    if (M != T)
        return Refuse("candidate file " + FileName(param->strCandidateMotifFile) + " holds " + std::to_string(M) +
                      " matrices, not the " + std::to_string(T) + " of -T");

    // Every model motif has probability -q per module position (-K times -q below 1 is
    // checked with the options).
    start.given = true;
    start.enterPr = 0.0005;
    start.motifPr.assign(K, param->dMotifPr);
    start.motifPr.push_back(1.0 - K * param->dMotifPr);
    start.bgSubRate = param->dBgMutationRate;
    start.motifSubRate = param->dMotifMutationRate;

    ModelGroups d;
    if (!ReadGroups(*param, nSeq, d)) return 1;
    if (!AlignGroups(d, 20, rng)) return 1;

    CSerevan model(*param, d, start, rng);
    std::string failed;
    const RunResults results = model.MotifSelection(candPwm, candWidth, InfoWriter(names, failed));
    if (!results.status.Ok()) return Stopped(results.status, names, failed);
    if (!WriteSelection(names, results, candWidth, candName, failed)) return RefuseUnwritten(names, failed);
    return 0;
}
