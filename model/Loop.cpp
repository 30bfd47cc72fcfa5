// The Gibbs sampler main loop of the de novo run: burn-in, the choice between an alignment
// move and plain re-sampling, width moves from the first fifth on, parameter updates, the
// ".info" iteration lines, accumulation, and the end-of-run calls and side files.
#include <algorithm>
#include <cstdio>

#include "base/OutputFile.h"
#include "base/Progress.h"
#include "model/Serevan.h"
#include "numeric/StochasticDistribution.h"

bool CSerevan::GibbsSampler()
{
    const int K = m_nMotifNum, G = m_nGroupNum;
    MSBuildBackground();
    std::fill(m_pWidthSum.begin(), m_pWidthSum.end(), 0.0);
    m_dLogLikSum = 0.0;
    m_dLogPostSum = 0.0;
    m_bSampling = false;

    int proposal = 1;  // stored alignment proposed at the next alignment move
    m_nBurnIn = m_nIterNum / 2;
    const std::string infoFile = (m_sOutFile + ".info").c_str();
    CProgress progress("iteration", m_nIterNum);

    for (int i = 0; i < m_nIterNum; ++i) {
        if (i >= m_nBurnIn) m_bSampling = true;
        m_dLogLik = m_dLogAncPr = m_dLogPost = 0.0;
        ClearSuffStat();

        const double u = m_rng.Next() / 2147483647.0;
        if (m_dAlignUpdatePr > u && m_nAlignNum > 1) {
            if (proposal == 0) {
                for (int g = 0; g < G; ++g) GenAlignGivenPhi(g);
                proposal = 1;
            }
            for (int g = 0; g < G; ++g) m_dLogLik += SampleSeqPathMH(g, proposal);
            proposal = (proposal + 1) % m_nAlignNum;
        } else {
            for (int g = 0; g < G; ++g) m_dLogLik += SampleSeqGivenPath(g);
        }

        if (i >= m_nIterNum / 5) UpdateWidth();
        const double r = m_bCollapse ? CollapseParameter(i) : UpdateParameter(i);
        m_dLogPost = r + m_dLogAncPr;

        // A progress line that cannot be written ends the run at once rather than hours later.
        if (i % 10 == 0 && !AppendToFile(infoFile, "Iteration " + std::to_string(i + 1) + "\n", m_sOutputError))
            return false;
        if (m_bSampling) {
            for (int k = 0; k < K; ++k) m_pWidthSum[k] += m_pMotifWidth[k];
            m_dLogLikSum += m_dLogLik;
            m_dLogPostSum += m_dLogPost;
        }
        progress.Show(i + 1);
    }

    const int T = m_nIterNum - m_nBurnIn;
    if (!m_bMotifMode) NoteOutput(WriteCountTable(m_sOutFile + "_Pm.txt", m_pModuleFreq), m_sOutFile + "_Pm.txt");
    DefineMotifSites(T);
    if (!m_bMotifMode) DetermineModule(T);
    Summary();
    std::vector<double> scores(K, 0.0);
    CalMotifBayesScore(scores.data());
    if (!m_bMotifMode) NoteOutput(WriteModuleList(m_sOutFile + "module.txt"), m_sOutFile + "module.txt");
    return OutputMotifSites(scores.data()) && m_sOutputError.empty();
}
