// Motif selection: which of M candidate matrices, put in the slot of the last model motif,
// raises the likelihood of all groups most over the model without that motif.
#include <cmath>
#include <cstdio>
#include <string>

#include "base/OutputFile.h"
#include "base/Progress.h"
#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

using serevan::kLogZero;

namespace {

// log(1 - sum of exp(pr[k]) over k < n): the module background left by n motif types.
double LogRemainder(const std::vector<double>& pr, int n)
{
    double sum = 0.0;
    for (int k = 0; k < n; ++k) sum += std::exp(pr[k]);
    return std::log(1.0 - sum);
}

}  // namespace

double CSerevan::SelectionLogLik()
{
    double total = 0.0;
    for (int g = 0; g < m_nGroupNum; ++g) total += SampleSeqGivenPath(g, -1);
    return total;
}

bool CSerevan::MotifSelection(double* const* matrices, const int* widths, int M, const CString* names)
{
    const int K = m_nMotifNum, slot = K - 1;
    MSBuildBackground();

    // The candidate slot takes motif 0's probability as it is before the base model sets
    // the slot to log zero (with K = 1 the slot is motif 0 itself).
    const double slotPr = m_pMotifPr[0];

    // Base model: no site of the last motif.
    m_pMotifPr[slot] = kLogZero;
    m_pMotifPr[K] = LogRemainder(m_pMotifPr, K - 1);
    m_dLogLik = 0.0;
    for (int g = 0; g < m_nGroupNum; ++g) {
        m_pCurAlign[g] = FindOptPath(g);
        m_dLogLik += SampleSeqGivenPath(g, -1);
    }
    const double L0 = m_dLogLik;

    m_pMotifPr[slot] = slotPr;
    m_pMotifPr[K] = LogRemainder(m_pMotifPr, K);

    std::vector<double> llr(M > 0 ? M : 0, 0.0);
    double best = 0.0;
    int bestIndex = -1;
    const std::string infoFile = (m_sOutFile + ".info").c_str();
    CProgress progress("candidate", M);
    for (int i = 0; i < M; ++i) {
        const int oldWidth = m_pMotifWidth[slot];
        m_pMotifWidth[slot] = widths[i];
        RenewWdParameters(slot, oldWidth);
        m_pSiteCount[slot].assign(4 * static_cast<size_t>(widths[i]), 0);
        for (int e = 0; e < 4 * widths[i]; ++e) m_pPWM[slot][e] = matrices[i][e];
        CalMotifPhi();

        llr[i] = SelectionLogLik() - L0;
        if (llr[i] > best) {  // ties keep the earlier candidate
            best = llr[i];
            bestIndex = i;
        }
        if ((i + 1) % 10 == 0 && !AppendToFile(infoFile, "Iteration " + std::to_string(i + 2) + "\n", m_sOutputError))
            return false;
        progress.Show(i + 1);
    }

    COutputFile f(m_sOutFile.c_str());
    f.Print("\n\nMax LLR motif = %d ", bestIndex + 1);
    if (bestIndex >= 0) f.Write(names[bestIndex].c_str());
    for (int i = 0; i < M; ++i) {
        f.Print("\n%d\t%f\t%d\t", i + 1, llr[i], widths[i]);
        f.Write(names[i].c_str());
    }
    return f.Close(m_sOutputError);
}
