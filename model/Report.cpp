// The end of every loop: per-species site summaries, end-of-run motif scores, and the one
// sequence that turns posterior sums into the results (calls, summaries, scores). The files
// are written from the results by the program (app/RunOutput.h).
#include <algorithm>
#include <cmath>
#include <utility>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

// ---------------------------------------------------------------- summaries and scores

void CSerevan::Summary()
{
    const int K = m_nMotifNum, N = m_nSpeciesNum;
    m_res.m_pSpeciesSummary.assign(N, SPECIESSUMMARY());
    for (SPECIESSUMMARY& sum : m_res.m_pSpeciesSummary) {
        sum.siteCount.assign(K + 1, 0);
        sum.baseCount.resize(K);
        for (int k = 0; k < K; ++k) sum.baseCount[k].assign(4 * static_cast<size_t>(m_par.m_pMotifWidth[k]), 0);
    }
    for (int k = 0; k < K && k < static_cast<int>(m_res.m_pOutputSite.size()); ++k) {
        const int w = m_par.m_pMotifWidth[k];
        for (const OUTPUTSITE& site : m_res.m_pOutputSite[k]) {
            if (site.species < 0 || site.species >= N) continue;
            SPECIESSUMMARY& sum = m_res.m_pSpeciesSummary[site.species];
            ++sum.siteCount[k];
            const int cols = std::min(w, static_cast<int>(site.text.size()));
            for (int j = 0; j < cols; ++j) {
                const int b = serevan::BaseCode(site.text[j]);
                if (b >= 0) ++sum.baseCount[k][4 * j + b];
            }
        }
    }
}

void CSerevan::CalMotifBayesScore(double* scores)
{
    const int K = m_nMotifNum, N = m_nSpeciesNum;
    if (static_cast<int>(m_res.m_pSpeciesSummary.size()) != N) Summary();
    if (static_cast<int>(m_par.m_pSpeciesBg.size()) != N) MSBuildBackground();
    const double logPrior = std::log(0.002);
    for (int k = 0; k < K; ++k) {
        const int w = m_par.m_pMotifWidth[k];
        double score = 0.0;
        for (int s = 0; s < N; ++s) {
            const int n = m_res.m_pSpeciesSummary[s].siteCount[k];
            const std::vector<int>& c = m_res.m_pSpeciesSummary[s].baseCount[k];
            double entropy = 0.0;  // relative entropy of the site matrix against the species background
            for (int j = 0; j < w && n > 0; ++j)
                for (int b = 0; b < 4; ++b) {
                    if (c[4 * j + b] <= 0) continue;
                    const double f = static_cast<double>(c[4 * j + b]) / n;
                    entropy += f * (std::log(f) - m_par.m_pSpeciesBg[s][b]);
                }
            const double S = n * logPrior - 1.5 * w * std::log(n + 3.0) + n * entropy;
            score = s == 0 ? S : LogSum(score, S);
        }
        scores[k] = score + 12.0 * std::log(m_nGroupNum + 3.0);
    }
}

// ---------------------------------------------------------------- the end of every loop

RunResults CSerevan::CallAndReport(PosteriorSums sums, const CallPlan& plan)
{
    if (m_bSitesDefined) {
        RunResults refused;
        refused.status = SitesAlreadyDefined();
        return refused;
    }
    const int K = m_nMotifNum;
    m_post = std::move(sums);
    if (static_cast<int>(m_par.m_pSpeciesBg.size()) != m_nSpeciesNum) MSBuildBackground();
    if (plan.givenWidths)
        DefineScanMotifSites(plan.samples);
    else
        DefineMotifSites(plan.samples);
    if (!m_set.bMotifMode) DetermineModule(plan.samples);
    Summary();
    m_res.scores.assign(K, 0.0);
    CalMotifBayesScore(m_res.scores.data());

    m_res.commandLine = m_set.strParamLine;
    m_res.T = plan.reportedT;
    m_res.avgLik = plan.reportedT > 0 ? m_post.m_dLogLikSum / plan.reportedT : 0.0;
    m_res.avgPost = plan.reportedT > 0 ? m_post.m_dLogPostSum / plan.reportedT : 0.0;
    m_res.modules = !m_set.bMotifMode;
    m_res.width.assign(m_par.m_pMotifWidth.begin(), m_par.m_pMotifWidth.begin() + K);
    m_res.sums = std::move(m_post);
    return std::move(m_res);
}

PosteriorSums CSerevan::EmptySums() const
{
    const int K = m_nMotifNum, N = m_nSpeciesNum, G = m_nGroupNum;
    PosteriorSums e;
    e.m_pWidthSum.assign(K, 0.0);
    e.m_pSiteFreq.assign(K, std::vector<std::vector<int>>(static_cast<size_t>(N) * G));
    e.m_pModuleFreq.assign(static_cast<size_t>(N) * G, std::vector<int>());
    e.m_pAlignFreq.assign(static_cast<size_t>(N) * G, std::vector<int>());
    for (int s = 0; s < N; ++s)
        for (int g = 0; g < G; ++g) {
            const int slot = s * G + g, L = m_pSeqLen[s][g];
            for (int k = 0; k < K; ++k) e.m_pSiteFreq[k][slot].assign(L, 0);
            e.m_pModuleFreq[slot].assign(L, 0);
            e.m_pAlignFreq[slot].assign(L, 0);
        }
    e.m_pRefAlignFreq.assign(G, std::vector<int>());
    for (int g = 0; g < G; ++g) e.m_pRefAlignFreq[g].assign(N > 0 ? m_pSeqLen[0][g] : 0, 0);
    return e;
}
