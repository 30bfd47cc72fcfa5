// Small module models over hand-written alignments, shared by the model tests: one group,
// the path built from aligned rows, the model initialised through its lifecycle calls,
// and the position score and forward tables of the group.
#pragma once

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "app/InputParameter.h"
#include "app/SeqFile.h"
#include "model/Serevan.h"

namespace modeltest {

// A, C, G, T -> 0..3, '-' -> 4 (gap), anything else -> -1 (undetermined base).
inline int Code(char ch) { return NucleotideCode(ch); }

struct Options {
    int K = 1;
    std::vector<int> widths{1};  // K widths
    bool bothStrands = false;
    bool motifMode = false;
    bool mask = false;
    int minWidth = 10, maxWidth = 14;
};

class TestModel {
public:
    CSerevan m;
    int N = 0, K = 0, nStates = 0, nNode = 0;
    ALIGNPATH path;
    std::vector<int> len;
    std::vector<std::vector<int>> seq;
    std::vector<int*> seqPtr;
    std::vector<CString> names;
    std::vector<std::vector<double>> tableStore;
    std::vector<double*> table;
    std::vector<double> fwd;

    TestModel(const std::vector<std::string>& rows, const Options& opt)
    {
        N = static_cast<int>(rows.size());
        K = opt.K;
        nStates = 1 << N;
        std::vector<std::vector<int>> aligned(N);
        for (int s = 0; s < N; ++s)
            for (char ch : rows[s]) aligned[s].push_back(Code(ch));
        AlignmentToPath(aligned, N, path, len, seq);
        nNode = PathNodeNum(path);
        for (int s = 0; s < N; ++s) {
            seqPtr.push_back(seq[s].data());
            names.emplace_back("seq");
        }
        INPUTPARAMETER p;
        p.nSpeciesNum = N;
        p.nMotifNum = K;
        p.bBothStrands = opt.bothStrands;
        p.bMotifMode = opt.motifMode;
        p.bMaskLowComplexity = opt.mask;
        p.nMinMotifWidth = opt.minWidth;
        p.nMaxMotifWidth = opt.maxWidth;
        m.SetProgramParam(&p);
        m.InitialSeq(N, 1, seqPtr.data(), len.data(), names.data(), nullptr, nullptr);
        m.Initialize(opt.widths.data());
        m.InitialParameter(nullptr, nullptr);
        m.MSBuildBackground();
        m.GetAlignPath(&path, nullptr, nullptr, 1);
        tableStore.resize(N);
        table.resize(N);
        fwd.assign(static_cast<size_t>(nNode + 1) * nStates, 0.0);
    }

    // Column j of motif k from plain probabilities (0 becomes log zero).
    void SetColumn(int k, int j, double a, double c, double g, double t)
    {
        const double v[4] = {a, c, g, t};
        for (int b = 0; b < 4; ++b) m.m_pPWM[k][4 * j + b] = v[b] > 0 ? std::log(v[b]) : -1e100;
    }

    // Module-state probabilities (K + 1 plain values, 0 becomes log zero).
    void SetMotifPr(const std::vector<double>& pr)
    {
        for (int k = 0; k <= K; ++k) m.m_pMotifPr[k] = pr[k] > 0 ? std::log(pr[k]) : -1e100;
    }

    // Plain transition probabilities [from][to] (0 becomes log zero).
    void SetTran(double bb, double bm, double mb, double mm)
    {
        const double v[4] = {bb, bm, mb, mm};
        for (int i = 0; i < 4; ++i) m.m_dTranPr[i / 2][i % 2] = v[i] > 0 ? std::log(v[i]) : -1e100;
    }

    // Recomputes the motif substitution matrices and the position score table.
    void Refresh()
    {
        m.CalMotifPhi();
        for (int s = 0; s < N; ++s) {
            tableStore[s].assign(static_cast<size_t>(2 * K + 1) * (len[s] > 0 ? len[s] : 1), 0.0);
            table[s] = tableStore[s].data();
        }
        m.CalLogPrPos(table.data(), 0);
    }

    double Forward()
    {
        return m.PathForwardSummation(fwd.data(), table.data(), path.data(), 0, nNode + 1, nStates);
    }

    void Backward() { m.PathBackwardSample(fwd.data(), table.data(), path.data(), 0, nStates); }

    // Random parameters: matrices, module-state and transition probabilities, lambda, the
    // ancestral base distribution and the background substitution matrix.
    void Randomise(std::mt19937& rng)
    {
        std::uniform_real_distribution<double> U(0.05, 1.0);
        for (int k = 0; k < K; ++k)
            for (int j = 0; j < m.m_pMotifWidth[k]; ++j) {
                double v[4], sum = 0;  // skewed columns, so that sites stand out
                for (double& x : v) sum += (x = std::pow(U(rng), 3.0));
                SetColumn(k, j, v[0] / sum, v[1] / sum, v[2] / sum, v[3] / sum);
            }
        std::vector<double> pr(K + 1);
        double sum = 0;
        for (int k = 0; k < K; ++k) sum += (pr[k] = (0.1 + 0.7 * U(rng)) / (K + 1));
        pr[K] = 1.0 - sum;
        SetMotifPr(pr);
        if (!m.m_bMotifMode) {
            const double enter = 0.1 + 0.4 * U(rng), exit = 0.1 + 0.4 * U(rng);
            SetTran(1 - enter, enter, exit, 1 - exit);
        }
        m.m_dMotifSubRate = 0.05 + 0.5 * U(rng);
        double bg[4], bs = 0;
        for (double& x : bg) bs += (x = U(rng));
        for (int a = 0; a < 4; ++a) m.m_pBg[a] = std::log(bg[a] / bs);
        for (int a = 0; a < 4; ++a) {
            double r[4], rs = 0;
            for (int b = 0; b < 4; ++b) rs += (r[b] = U(rng) + (a == b ? 2.0 : 0.0));
            for (int b = 0; b < 4; ++b) m.m_dBgSubst[a][b] = std::log(r[b] / rs);
        }
        Refresh();
    }
};

// N aligned rows of about nCol columns, written in runs of equal gap patterns so that
// sites can span several nodes; undetermined bases with probability pN.
inline std::vector<std::string> RandomRows(std::mt19937& rng, int N, int nCol, double pGap, double pN)
{
    std::uniform_real_distribution<double> U(0.0, 1.0);
    const char* bases = "ACGT";
    std::vector<std::string> rows(N);
    while (static_cast<int>(rows[0].size()) < nCol) {
        std::vector<bool> adv(N);
        bool any = false;
        for (int s = 0; s < N; ++s) {
            adv[s] = U(rng) >= pGap;
            any = any || adv[s];
        }
        if (!any) adv[rng() % N] = true;
        const int runLen = 1 + static_cast<int>(rng() % 3);
        for (int r = 0; r < runLen && static_cast<int>(rows[0].size()) < nCol; ++r)
            for (int s = 0; s < N; ++s) rows[s] += adv[s] ? (U(rng) < pN ? 'N' : bases[rng() % 4]) : '-';
    }
    for (int s = 0; s < N; ++s)  // every species keeps at least one residue
        if (rows[s].find_first_not_of('-') == std::string::npos) rows[s][0] = bases[rng() % 4];
    return rows;
}

}  // namespace modeltest
