// Motif selection: which of M candidate matrices, put in the slot of the last model motif,
// raises the likelihood of all groups most over the model without that motif.
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

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

RunResults CSerevan::MotifSelection(const std::vector<std::vector<double>>& matrices, const std::vector<int>& widths,
                                    const InfoLog& info)
{
    const int K = m_nMotifNum, slot = K - 1, M = static_cast<int>(matrices.size());
    MSBuildBackground();

    // The candidate slot takes motif 0's probability as it is before the base model sets
    // the slot to log zero (with K = 1 the slot is motif 0 itself).
    const double slotPr = m_par.m_pMotifPr[0];

    // Base model: no site of the last motif.
    m_par.m_pMotifPr[slot] = kLogZero;
    m_par.m_pMotifPr[K] = LogRemainder(m_par.m_pMotifPr, K - 1);
    m_sweep.m_dLogLik = 0.0;
    for (int g = 0; g < m_nGroupNum; ++g) {
        m_pCurAlign[g] = FindOptPath(g);
        m_sweep.m_dLogLik += SampleSeqGivenPath(g, -1);
    }
    const double L0 = m_sweep.m_dLogLik;

    m_par.m_pMotifPr[slot] = slotPr;
    m_par.m_pMotifPr[K] = LogRemainder(m_par.m_pMotifPr, K);

    std::vector<double> llr(M > 0 ? M : 0, 0.0);
    double best = 0.0;
    int bestIndex = -1;
    CProgress progress("candidate", M);
    for (int i = 0; i < M; ++i) {
        const int oldWidth = m_par.m_pMotifWidth[slot];
        m_par.m_pMotifWidth[slot] = widths[i];
        RenewWdParameters(slot, oldWidth);
        m_sweep.m_pSiteCount[slot].assign(4 * static_cast<size_t>(widths[i]), 0);
        for (int e = 0; e < 4 * widths[i]; ++e) m_par.m_pPWM[slot][e] = matrices[i][e];
        CalMotifPhi();

        llr[i] = SelectionLogLik() - L0;
        if (llr[i] > best) {  // ties keep the earlier candidate
            best = llr[i];
            bestIndex = i;
        }
        if ((i + 1) % 10 == 0 && !info("Iteration " + std::to_string(i + 2) + "\n")) {
            RunResults stopped;
            stopped.status.exitStatus = 1;
            return stopped;
        }
        progress.Show(i + 1);
    }

    RunResults results;
    results.llr = std::move(llr);
    results.bestCandidate = bestIndex;
    return results;
}
