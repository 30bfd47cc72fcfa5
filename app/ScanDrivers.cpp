// The drivers of the known-motif modes: aligned scanning (-P), unaligned scanning (-F) and
// motif selection (-B). Each checks all of its input files before any alignment or sampling
// and refuses bad input with a one-line message on standard output (result -1).
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "align/PairAlign.h"
#include "app/Drivers.h"
#include "app/MotifFile.h"
#include "app/SeqFile.h"
#include "base/OutputFile.h"
#include "model/Serevan.h"

namespace {

std::string FileName(const CString& s)
{
    return s.c_str();
}

}  // namespace

int RunModuleScan(INPUTPARAMETER* param, CRandomStream& rng)
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

    double enterPr = 0.0, subRate[2] = {0.0, 0.0};
    std::vector<double> motifPr;
    std::vector<int> width;
    std::vector<std::vector<double>> pwm;
    if (!ReadParamFile(param->strParamFile, &enterPr, motifPr, width, pwm, subRate, K, err)) return Refuse(err);

    ALIGNPATH path;
    std::vector<int> seqLen;
    std::vector<std::vector<int>> seq;
    if (!AlignmentToPath(rows, N, path, seqLen, seq)) return Refuse("error in input alignment file: length not equal!");
    if (PathNodeNum(path) < 2)
        return Refuse("error in input alignment file: " + FileName(param->strSeqFile) + " holds no residue");
    std::vector<int*> seqPtr;
    for (std::vector<int>& x : seq) seqPtr.push_back(x.data());
    CMarkovBackground bg;
    if (!RunBackground(*param, seqPtr.data(), seqLen.data(), N, bg)) return -1;

    CSerevan model(rng);
    model.SetProgramParam(param);
    model.InitialSeq(N, 1, seqPtr.data(), seqLen.data(), names.data(), nullptr, nullptr);
    model.Initialize(width.data());
    std::vector<double*> pwmViews = MatrixViews(pwm);
    model.InitialParameter(enterPr, motifPr.data(), pwmViews.data(), subRate[0], subRate[1]);
    model.GetAlignPath(&path, nullptr, nullptr, 1);
    model.m_bgModel = bg;
    const double score = model.Scanning(param->bScanDetail);
    if (!model.m_sOutputError.empty()) return RefuseUnwritten(*param, model.m_sOutputError);

    // The score line: the first row's name as read, then the score.
    COutputFile f(param->strOutputFile.c_str());
    f.Write(names[0].c_str());
    f.Print("\t%.3lf\n", score);
    if (!f.Close()) return RefuseUnwritten(*param);
    return 1;
}

int RunModuleScanUnalign(INPUTPARAMETER* param, int nSeq, CRandomStream& rng)
{
    const int K = param->nMotifNum;
    if (!param->bKnownMotif)
        return Refuse("-F needs -A, the file of known motif matrices with their expected site numbers");
    std::string err;
    std::vector<std::vector<double>> pwm;
    std::vector<int> width;
    std::vector<double> sitePr;
    const int M = ReadKnownPWM(param->strKnownMotifFile, pwm, width, sitePr, err);
    if (M < 0) return Refuse(err);
    if (M != K)
        return Refuse("motif file " + FileName(param->strKnownMotifFile) + " holds " + std::to_string(M) +
                      " matrices; -F needs exactly the " + std::to_string(K) + " motifs of -K");

    // The file gives expected sites per module of length -L; the model takes them per
    // module position, the rest being module background.
    if (!CSerevan::ScanSitePr(sitePr, param->nModuleLen))
        return Refuse("the expected site numbers of " + FileName(param->strKnownMotifFile) +
                      " must sum to less than -L (" + std::to_string(param->nModuleLen) +
                      ") so that the module background keeps a positive probability");
    param->nKnownMotifNum = M;

    GroupData d;
    if (!ReadGroups(*param, nSeq, d)) return -1;
    if (!AlignGroups(d, 3, rng)) return -1;

    CSerevan model(rng);
    AttachGroups(model, *param, d, width);
    std::vector<double*> pwmViews = MatrixViews(pwm);
    model.InitialParameter(param->dModuleStartPr, sitePr.data(), pwmViews.data(), param->dBgMutationRate,
                           param->dMotifMutationRate);
    model.GetAlignPath(d.alignPath.data(), d.alignScore.data(), d.alignInfo.data(), 3);
    if (!model.GibbsScanUnalign()) return RefuseUnwritten(*param, model.m_sOutputError);
    return 1;
}

int RunMotifSelection(INPUTPARAMETER* param, int nSeq, CRandomStream& rng)
{
    const int K = param->nMotifNum, T = param->nCandidateMotifNum;
    constexpr int kUniformWidth = 8;  // width of the model motifs not given by -A
    std::string err;

    std::vector<std::vector<double>> pwm;
    std::vector<int> width;
    if (param->bKnownMotif && ReadGivenMatrices(*param, pwm, width) < 0) return -1;
    for (int k = param->nKnownMotifNum; k < K; ++k) {
        width.push_back(kUniformWidth);
        pwm.emplace_back(4 * kUniformWidth, std::log(0.25));
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
    std::vector<double> motifPr(K, param->dMotifPr);
    motifPr.push_back(1.0 - K * param->dMotifPr);

    GroupData d;
    if (!ReadGroups(*param, nSeq, d)) return -1;
    if (!AlignGroups(d, 20, rng)) return -1;

    CSerevan model(rng);
    AttachGroups(model, *param, d, width);
    std::vector<double*> pwmViews = MatrixViews(pwm);
    model.InitialParameter(0.0005, motifPr.data(), pwmViews.data(), param->dBgMutationRate, param->dMotifMutationRate);
    model.GetAlignPath(d.alignPath.data(), d.alignScore.data(), d.alignInfo.data(), 20);
    std::vector<double*> candViews = MatrixViews(candPwm);
    if (!model.MotifSelection(candViews.data(), candWidth.data(), T, candName.data()))
        return RefuseUnwritten(*param, model.m_sOutputError);
    return 1;
}
