// Module states on a group's path and the alignment moves: re-sampling on the current
// alignment, the independence Metropolis-Hastings switch between stored alignments, the
// best stored alignment, and fresh proposals under the current substitution matrix.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/Serevan.h"
#include "numeric/StochasticDistribution.h"

void CSerevan::ScoreGroup(int g, const int* aligns, int nAlign)
{
    const int N = m_nSpeciesNum, width = 2 * m_nMotifNum + 1;
    if (static_cast<int>(m_work.posTable.size()) < N) m_work.posTable.resize(N);
    m_work.posTablePtr.resize(N);
    for (int s = 0; s < N; ++s) {
        size_t need = static_cast<size_t>(width) * static_cast<size_t>(m_pSeqLen[s][g]);
        if (m_work.posTable[s].size() < need) m_work.posTable[s].resize(need);
        m_work.posTablePtr[s] = m_work.posTable[s].data();
    }
    std::vector<const ALIGNNODE*>& paths = m_work.scorePaths;
    paths.clear();
    for (int i = 0; i < nAlign; ++i) paths.push_back(m_pAlignPath[g * m_nAlignNum + aligns[i]].data());
    CalLogPrPosOnPaths(m_work.posTablePtr.data(), g, paths.data(), nAlign);
}

double CSerevan::ForwardOnPath(int g, int j, std::vector<double>& fwd)
{
    const ALIGNNODE* path = m_pAlignPath[g * m_nAlignNum + j].data();
    const int nRow = PathNodeNum(path) + 1, nStates = 1 << m_nSpeciesNum;
    size_t need = static_cast<size_t>(nRow) * static_cast<size_t>(nStates);
    if (fwd.size() < need) fwd.resize(need);
    return PathForwardSummation(fwd.data(), m_work.posTablePtr.data(), path, g, nRow, nStates);
}

double CSerevan::AlignScore(int g, int j) const
{
    return m_pAlignScore ? m_pAlignScore[g * m_nAlignNum + j] : 0.0;
}

double CSerevan::SampleSeqGivenPath(int group)
{
    return SampleSeqGivenPath(group, 1);
}

double CSerevan::SampleSeqGivenPath(int group, int repeats)
{
    const int j = m_pCurAlign[group];
    ScoreGroup(group, &j, 1);
    const double F = ForwardOnPath(group, j, m_work.fwdTable[0]);
    const ALIGNNODE* path = m_pAlignPath[group * m_nAlignNum + j].data();
    for (int r = 0; r < repeats; ++r)
        PathBackwardSample(m_work.fwdTable[0].data(), m_work.posTablePtr.data(), path, group, 1 << m_nSpeciesNum);
    return F;
}

double CSerevan::CalFSGivenPath(int group, int repeats)
{
    return SampleSeqGivenPath(group, repeats);
}

double CSerevan::SampleSeqPathMH(int group, int proposal)
{
    const int current = m_pCurAlign[group];
    const int both[2] = {current, proposal};
    ScoreGroup(group, both, 2);
    const double Fc = ForwardOnPath(group, current, m_work.fwdTable[0]);
    const double Fp = ForwardOnPath(group, proposal, m_work.fwdTable[1]);
    m_work.mhCurrentF = Fc;
    // Each likelihood is corrected by the proposal score of its own alignment.
    const double delta = (Fp - AlignScore(group, proposal)) - (Fc - AlignScore(group, current));
    bool accept = delta > 0.0;
    if (!accept && delta > -300.0) {
        CStochasticDistribution draw(*m_stream);
        accept = std::exp(delta) > draw.Uniform(0.0, 1.0);
    }
    if (accept) m_pCurAlign[group] = proposal;
    const int kept = accept ? 1 : 0;
    const ALIGNNODE* path = m_pAlignPath[group * m_nAlignNum + m_pCurAlign[group]].data();
    PathBackwardSample(m_work.fwdTable[kept].data(), m_work.posTablePtr.data(), path, group, 1 << m_nSpeciesNum);
    return accept ? Fp : Fc;
}

int CSerevan::FindOptPath(int group)
{
    std::vector<int>& all = m_work.scoreAligns;
    all.resize(m_nAlignNum);
    for (int j = 0; j < m_nAlignNum; ++j) all[j] = j;
    ScoreGroup(group, all.data(), m_nAlignNum);
    int best = 0;
    double bestR = 0.0;
    for (int j = 0; j < m_nAlignNum; ++j) {
        const double R = ForwardOnPath(group, j, m_work.fwdTable[0]) - AlignScore(group, j);
        if (j == 0 || R > bestR) {
            best = j;
            bestR = R;
        }
    }
    return best;
}

RunStatus CSerevan::GenAlignGivenPhi(int group)
{
    const int N = m_nSpeciesNum, A = m_nAlignNum, base = group * A;
    std::vector<const int*> seqs(N);
    std::vector<int> lens(N);
    for (int s = 0; s < N; ++s) {
        seqs[s] = m_pSeq[s][group];
        lens[s] = m_pSeqLen[s][group];
    }
    m_work.realign.InputSequences(seqs.data(), lens.data(), N);
    m_work.realign.SetTemplate(m_pTemplate[group], m_pTemplateLen[group]);

    double logOdds[16];
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) logOdds[4 * a + b] = m_par.m_dBgSubst[a][b] - std::log(0.25);

    // The current alignment moves to slot 0 with its counts.
    const int c = m_pCurAlign[group];
    std::swap(m_pAlignPath[base], m_pAlignPath[base + c]);
    for (int i = 0; i < 3; ++i) m_pAlignInfo[3 * base + i] = m_pAlignInfo[3 * (base + c) + i];
    m_pCurAlign[group] = 0;
    // Re-scored under the current matrix: one value per substitution class.
    const int* info = m_pAlignInfo + 3 * base;
    m_pAlignScore[base] = info[2] * logOdds[0] + info[1] * logOdds[1] + info[0] * logOdds[2];

    for (int j = 1; j < A; ++j) DeletePath(m_pAlignPath[base + j]);
    if (!m_work.realign.ProduceIndAlign(*m_stream, 0, logOdds, A - 1, m_pAlignPath + base + 1, m_pAlignScore + base + 1,
                                        m_pAlignInfo + 3 * (base + 1))) {
        // The driver checked every group's memory need before the run; this cannot happen.
        return RunStatus{1, "internal error: re-alignment of group " + std::to_string(group) +
                                " failed: " + m_work.realign.ErrorText()};
    }
    return RunStatus{};
}
