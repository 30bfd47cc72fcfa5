// The prior on how many groups a motif's sites reach (-y y): log prior
// y * sum_k min(R_k, cap), with R_k the groups whose path holds a site of motif k and cap a
// quarter of the groups (at least 3). A motif whose sites sit in one or two groups is a
// group's composition or one conserved stretch rather than a regulator; the prior asks a
// motif to reach a quarter of the groups before it stops paying.
//
// The factor couples the groups, so it cannot enter the forward sum of one group. Each group
// is re-sampled as before (the plain draw, or the alignment move and its draw, which leave the
// target without the prior invariant and are reversible) and the draw is a proposal under
// the target with the prior: accepted with probability min(1, prior ratio), otherwise the
// group keeps its last path, its counts and its posterior increments. A width move changes
// what a kept path with sites of that motif means, so such a group takes the draw.
#include <algorithm>
#include <cmath>
#include <utility>

#include "model/Serevan.h"
#include "numeric/StochasticDistribution.h"

namespace {

// Adds what one group's path counted to the sweep's sums (same widths on both sides).
void AddCounts(SweepCounts& to, const SweepCounts& from)
{
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) {
            to.m_dTranCount[a][b] += from.m_dTranCount[a][b];
            to.m_dAlignTranCount[a][b] += from.m_dAlignTranCount[a][b];
        }
    for (size_t k = 0; k < to.m_pMotifCount.size(); ++k) to.m_pMotifCount[k] += from.m_pMotifCount[k];
    for (size_t k = 0; k < to.m_pSiteCount.size(); ++k)
        for (size_t i = 0; i < to.m_pSiteCount[k].size(); ++i) to.m_pSiteCount[k][i] += from.m_pSiteCount[k][i];
    for (size_t e = 0; e < to.m_pEdgeStat.size(); ++e) {
        SITECOL& t = to.m_pEdgeStat[e];
        const SITECOL& f = from.m_pEdgeStat[e];
        for (size_t i = 0; i < t.speciesCount.size(); ++i) t.speciesCount[i] += f.speciesCount[i];
        for (int b = 0; b < 4; ++b) {
            t.ancCount[b] += f.ancCount[b];
            t.subCount[b] += f.subCount[b];
            t.sameCount[b] += f.sameCount[b];
        }
        t.transitionNum += f.transitionNum;
        t.transversionNum += f.transversionNum;
    }
    for (int a = 0; a < 4; ++a) {
        to.m_nBgAncCount[a] += from.m_nBgAncCount[a];
        for (int b = 0; b < 4; ++b) to.m_nBgSubCount[a][b] += from.m_nBgSubCount[a][b];
    }
    to.m_nMotifSubCount[0] += from.m_nMotifSubCount[0];
    to.m_nMotifSubCount[1] += from.m_nMotifSubCount[1];
    to.m_dLogAncPr += from.m_dLogAncPr;
}

}  // namespace

int CSerevan::SpreadReachCap() const
{
    return std::max(3, (m_nGroupNum + 3) / 4);
}

double CSerevan::SpreadLogPrior() const
{
    double sum = 0.0;
    for (int r : m_spread.reach) sum += std::min(r, SpreadReachCap());
    return m_set.dSpreadPrior * sum;
}

void CSerevan::LogAlignRuns(const std::vector<int>& B, const ALIGNNODE& node, int g, int w)
{
    for (int s : B) {
        const int first = node.pos[s] - w;
        if (s == 0) m_work.postLog->push_back(POSTRUN{0, 0, g, first, w});
        m_work.postLog->push_back(POSTRUN{1, 0, s * m_nGroupNum + g, first, w});
    }
}

void CSerevan::ApplyPostRuns(const std::vector<POSTRUN>& runs)
{
    for (const POSTRUN& r : runs) {
        if (r.kind != 0 && !m_post.m_bSampling) continue;  // only the reference counts include burn-in
        int* at = nullptr;
        switch (r.kind) {
        case 0: at = m_post.m_pRefAlignFreq[r.index].data(); break;
        case 1: at = m_post.m_pAlignFreq[r.index].data(); break;
        case 2: at = m_post.m_pModuleFreq[r.index].data(); break;
        default: at = m_post.m_pSiteFreq[r.motif][r.index].data(); break;
        }
        for (int j = 0; j < r.len; ++j) ++at[r.pos + j];
    }
}

double CSerevan::SampleGroupSpread(int g, int proposal)
{
    const int K = m_nMotifNum, cap = SpreadReachCap();
    SpreadState& st = m_spread;
    if (st.group.size() != static_cast<size_t>(m_nGroupNum)) {
        st.group.assign(m_nGroupNum, GroupSample{});
        st.reach.assign(K, 0);
    }

    // The draw counts into an empty sweep; the sums of the groups before wait in st.total.
    std::swap(m_sweep, st.total);
    ClearSweepCounts(m_sweep, m_par.m_pMotifWidth, K, m_nSpeciesNum);
    m_sweep.m_dLogLik = m_sweep.m_dLogAncPr = m_sweep.m_dLogPost = 0.0;
    st.fresh.clear();
    m_work.postLog = &st.fresh;
    const int current = m_pCurAlign[g];
    double F = proposal < 0 ? SampleSeqGivenPath(g) : SampleSeqPathMH(g, proposal);
    m_work.postLog = nullptr;

    // A width change leaves a kept path that holds no site of that motif as it was: only its
    // empty counts of the motif take the new width.
    GroupSample& kept = st.group[g];
    bool upToDate = kept.valid;
    for (int k = 0; k < K && kept.valid; ++k) {
        if (kept.widths[k] == m_par.m_pMotifWidth[k]) continue;
        if (kept.has[k]) {
            upToDate = false;
        } else {
            kept.counts.m_pSiteCount[k].assign(4 * static_cast<size_t>(m_par.m_pMotifWidth[k]), 0);
            kept.widths[k] = m_par.m_pMotifWidth[k];
        }
    }
    bool accept = true;
    if (upToDate) {
        double delta = 0.0;
        for (int k = 0; k < K; ++k) {
            const int others = st.reach[k] - kept.has[k], now = m_sweep.m_pMotifCount[k] > 0 ? 1 : 0;
            delta += std::min(others + now, cap) - std::min(others + kept.has[k], cap);
        }
        delta *= m_set.dSpreadPrior;
        ++st.proposed;
        if (delta < 0.0) {
            CStochasticDistribution draw(*m_stream);
            accept = std::exp(delta) > draw.Uniform(0.0, 1.0);
        }
        if (!accept) ++st.rejected;
    } else if (kept.valid) {
        ++st.stale;
    }

    if (accept) {
        kept.has.resize(K, 0);
        for (int k = 0; k < K; ++k) {
            const char now = m_sweep.m_pMotifCount[k] > 0 ? 1 : 0;
            st.reach[k] += now - kept.has[k];
            kept.has[k] = now;
        }
        std::swap(kept.counts, m_sweep);
        std::swap(kept.post, st.fresh);
        kept.widths = m_par.m_pMotifWidth;
        kept.valid = true;
    } else {
        m_pCurAlign[g] = current;
        if (proposal >= 0) F = m_work.mhCurrentF;
    }
    std::swap(m_sweep, st.total);
    AddCounts(m_sweep, kept.counts);
    ApplyPostRuns(kept.post);
    return F;
}
