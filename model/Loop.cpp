// The Gibbs sampler main loop of the de novo run: burn-in, the choice between an alignment
// move and plain re-sampling, width moves from the first fifth on, parameter updates, the
// ".info" iteration lines, accumulation, and at the end the calls on the posterior sums.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/Progress.h"
#include "model/Serevan.h"
#include "model/WordSeeds.h"

RunResults CSerevan::GibbsSampler(const InfoLog& info)
{
    const int K = m_nMotifNum, G = m_nGroupNum;
    MSBuildBackground();
    if (!m_choice.pwm.empty()) {
        ChooseStartWords();
        std::string line = "Start words:";
        for (int c : m_choice.chosen) {
            line += ' ';
            line += c < 0 ? std::string("-") : WordText(m_choice.word[c]);
        }
        char gain[64];
        std::snprintf(gain, sizeof gain, " (log-likelihood %+.1f over the words' order)\n", m_choice.gain);
        line += gain;
        if (!info(line)) {
            RunResults stopped;
            stopped.status.exitStatus = 1;
            return stopped;
        }
    }
    std::fill(m_post.m_pWidthSum.begin(), m_post.m_pWidthSum.end(), 0.0);
    m_post.m_dLogLikSum = 0.0;
    m_post.m_dLogPostSum = 0.0;
    m_post.m_bSampling = false;

    int proposal = 1;  // stored alignment proposed at the next alignment move
    const bool spread = m_set.dSpreadPrior > 0.0;
    m_spread = SpreadState{};
    m_post.m_nBurnIn = m_set.nMaxIterNum / 2;
    CProgress progress("iteration", m_set.nMaxIterNum, m_set.bProgress);

    for (int i = 0; i < m_set.nMaxIterNum; ++i) {
        if (i >= m_post.m_nBurnIn) m_post.m_bSampling = true;
        m_sweep.m_dLogLik = m_sweep.m_dLogAncPr = m_sweep.m_dLogPost = 0.0;
        ClearSuffStat();

        const double u = m_stream->Next() / 2147483647.0;
        if (m_set.dAlignUpdatePr > u && m_nAlignNum > 1) {
            if (proposal == 0) {
                for (int g = 0; g < G; ++g) {
                    RunStatus realigned = GenAlignGivenPhi(g);
                    if (!realigned.Ok()) {
                        RunResults failed;
                        failed.status = std::move(realigned);
                        return failed;
                    }
                }
                proposal = 1;
            }
            for (int g = 0; g < G; ++g)
                m_sweep.m_dLogLik += spread ? SampleGroupSpread(g, proposal) : SampleSeqPathMH(g, proposal);
            proposal = (proposal + 1) % m_nAlignNum;
        } else {
            for (int g = 0; g < G; ++g) m_sweep.m_dLogLik += spread ? SampleGroupSpread(g, -1) : SampleSeqGivenPath(g);
        }

        if (i >= m_set.nMaxIterNum / 5) UpdateWidth();
        const double r = m_set.bCollapsed ? CollapseParameter(i) : UpdateParameter(i);
        m_sweep.m_dLogPost = r + m_sweep.m_dLogAncPr + (spread ? SpreadLogPrior() : 0.0);

        // A progress line that cannot be written ends the run at once rather than hours later.
        if (i % 10 == 0 && !info("Iteration " + std::to_string(i + 1) + "\n")) {
            RunResults stopped;
            stopped.status.exitStatus = 1;
            return stopped;
        }
        if (m_post.m_bSampling) {
            for (int k = 0; k < K; ++k) m_post.m_pWidthSum[k] += m_par.m_pMotifWidth[k];
            m_post.m_dLogLikSum += m_sweep.m_dLogLik;
            m_post.m_dLogPostSum += m_sweep.m_dLogPost;
        }
        progress.Show(i + 1);
    }

    if (spread)
        info("Spread prior: " + std::to_string(m_spread.proposed) + " paths judged, " +
             std::to_string(m_spread.rejected) + " rejected, " + std::to_string(m_spread.stale) +
             " taken after a width change\n");
    const int T = m_set.nMaxIterNum - m_post.m_nBurnIn;
    return CallAndReport(std::move(m_post), CallPlan{T, T, false});
}
