// Backward sampling of module states: one joint draw of the segments (background,
// module background, motif sites with strand and ancestral site) from the end of a path
// to its start, filling the sufficient statistics of the sweep and, in the sampling
// phase, the coverage counters; then the edge columns of the aligned sites.
//
// Sections: conditional predecessor weights from the tables; segment draws; the backward
// pass; edge columns. The direct predecessor weights are in Direct.cpp.
#include <algorithm>
#include <cmath>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

using serevan::IsBase;
using serevan::kImpossible;
using serevan::kLogZero;
using serevan::kNoBaseBgLog;

// ---------------------------------------------------------------- predecessor weights

// CalCondStatePr from the transition tables: the same terms, written only for the
// compatible predecessors base | x.
int CSerevan::FastCondStatePr(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit, double* out,
                              int nStates)
{
    const ALIGNNODE& node = path[t];
    const int mask = MovingMask(node);
    const int base = c & ~mask;
    const unsigned char* legit = path[u].legitimate.data();
    const double* row = fwd + static_cast<size_t>(u) * nStates;
    const double* tl = m_work.tranLog.data() + static_cast<size_t>(mask) * nStates * 2 + curBit;
    std::fill(out, out + nStates, kLogZero);
    for (int x = 0;; x = (x - mask) & mask) {
        const int cp = base | x;
        if (legit[cp]) out[cp] = row[cp] + tl[2 * x];
        if (x == mask) break;
    }
    return static_cast<int>(node.block[node.movingBlock].size());
}

// ---------------------------------------------------------------- segment draws

// A background or module-background position of the moving block at node t: an
// ancestral base for an aligned column, the zero-order background term for one species.
void CSerevan::DrawBackgroundSegment(const ALIGNNODE* path, int t, int g, ANCSEQMOTIF* anc)
{
    const ALIGNNODE& node = path[t];
    const std::vector<int>& B = node.block[node.movingBlock];
    if (B.size() >= 2) {
        SampleBgAncestor(path, t, g, anc);
        return;
    }
    m_sweep.m_dLogAncPr += SpeciesBaseBgLog(B[0], g, node.pos[B[0]] - 1);
}

int CSerevan::SampleModuleState(const ALIGNNODE* path, int t, int c, const double* fwd, double** table, int nStates,
                                int g, ANCSEQMOTIF* anc)
{
    return DrawModuleSegment(PassKernels(path, g, nStates), path, t, c, fwd, table, nStates, g, anc);
}

// SampleModuleState with the kernels of the pass, their tables already prepared.
int CSerevan::DrawModuleSegment(const Kernels& kern, const ALIGNNODE* path, int t, int c, const double* fwd,
                                double** table, int nStates, int g, ANCSEQMOTIF* anc)
{
    const int K = m_nMotifNum, G = m_nGroupNum, stride = 2 * K + 1;
    const ALIGNNODE& node = path[t];
    const std::vector<int>& B = node.block[node.movingBlock];
    const int n = static_cast<int>(B.size());
    const double* pr = m_par.m_pMotifPr.data();
    m_work.backEmis.resize(K + 1);
    double* e = m_work.backEmis.data();
    const int run = NonChangeRun(path, t, MaxMotifWidth() - 1);
    CStochasticDistribution draw(*m_stream);

    // Log posterior probability that the segment is one module-background position.
    (this->*kern.emissions)(e, table, path, t, g, 0, run);
    const double d = (this->*kern.transition)(path, fwd, t, t - 1, c, 1, nStates) + e[K] + pr[K] -
                     fwd[static_cast<size_t>(t) * nStates + c];
    bool motif = d < -300.0 || draw.Uniform(0.0, 1.0) > std::exp(d);

    int type = K, width = 1;
    if (motif && K > 0) {
        (this->*kern.emissions)(e, table, path, t, g, 1, run);
        m_work.backMotifW.resize(2 * static_cast<size_t>(K));
        double* weight = m_work.backMotifW.data();
        double* kept = weight + K;
        for (int k = 0; k < K; ++k) {
            weight[k] =
                e[k] < kImpossible
                    ? kLogZero
                    : e[k] + pr[k] + (this->*kern.transition)(path, fwd, t, t - m_par.m_pMotifWidth[k], c, 1, nStates);
            kept[k] = weight[k];
        }
        const int k = draw.Discrete(weight, K);
        // Only a path of zero probability can draw an impossible site; it stays module background.
        if (kept[k] > kImpossible) {
            type = k;
            width = m_par.m_pMotifWidth[k];
        }
    }

    if (type < K) {
        const int k = type, w = width;
        m_work.siteWork.resize(std::max<size_t>(m_work.siteWork.size(), static_cast<size_t>(w)));
        int* site = m_work.siteWork.data();
        if (n >= 2) {
            SampleMotifAncestor(site, path, t, g, k, anc);
        } else {
            const int s = B[0];
            const int* x = m_pSeq[s][g];
            const int L = m_pSeqLen[s][g];
            const int q = node.pos[s] - w;
            if (s == 0 && m_work.postLog)
                m_work.postLog->push_back(POSTRUN{0, 0, g, q, w});
            else if (s == 0)
                for (int j = 0; j < w; ++j) ++m_post.m_pRefAlignFreq[g][q + j];
            for (int j = 0; j < w; ++j) site[j] = x[q + j];
            int strand = 0;
            if (m_set.bBothStrands) {
                const double* cell = table[s] + static_cast<size_t>(stride) * (q + w - 1);
                double sw[2] = {cell[2 * k], cell[2 * k + 1]};
                strand = draw.Discrete(sw, 2);
            }
            if (strand == 1) Reverse(site, w);
            int f[4] = {q >= 1 ? x[q - 1] : -1, x[q], x[q + w - 1], q + w < L ? x[q + w] : -1};
            if (strand == 1) Reverse(f, 4);
            for (int edge = 0; edge < 4; ++edge)
                if (IsBase(f[edge])) ++m_sweep.m_pEdgeStat[4 * k + edge].speciesCount[4 * s + f[edge]];
        }
        for (int j = 0; j < w; ++j)
            if (IsBase(site[j])) ++m_sweep.m_pSiteCount[k][4 * j + site[j]];
    } else {
        DrawBackgroundSegment(path, t, g, anc);
    }
    ++m_sweep.m_pMotifCount[type];

    if (m_work.postLog) {
        for (int s : B) {
            const int first = node.pos[s] - width, slot = s * G + g;
            m_work.postLog->push_back(POSTRUN{2, 0, slot, first, width});
            if (type < K) m_work.postLog->push_back(POSTRUN{3, type, slot, first, width});
        }
    } else if (m_post.m_bSampling) {
        for (int s : B) {
            const int p = node.pos[s] - 1, slot = s * G + g;
            for (int j = 0; j < width; ++j) {
                ++m_post.m_pModuleFreq[slot][p - j];
                if (type < K) ++m_post.m_pSiteFreq[type][slot][p - j];
            }
        }
    }
    return width;
}

// ---------------------------------------------------------------- backward pass

void CSerevan::PathBackwardSample(const double* fwd, double** table, const ALIGNNODE* path, int g, int nStates)
{
    const int nNode = PathNodeNum(path);
    if (nNode < 2 || nStates != (1 << m_nSpeciesNum)) return;  // no residue to sample
    const Kernels& kern = PassKernels(path, g, nStates);
    m_work.ancWork.assign(static_cast<size_t>(nNode) + 1, ANCSEQMOTIF());
    ANCSEQMOTIF* anc = m_work.ancWork.data();
    m_work.backWeight.resize(nStates);
    double* weight = m_work.backWeight.data();
    CStochasticDistribution draw(*m_stream);

    // Last node: state from the end row (a copy, so the table can serve further passes).
    std::copy(fwd + static_cast<size_t>(nNode) * nStates, fwd + static_cast<size_t>(nNode + 1) * nStates, weight);
    int c = draw.Discrete(weight, nStates);
    int t = nNode - 1;
    int b = (c >> path[t].block[path[t].movingBlock][0]) & 1;
    int u;
    if (b == 1) {
        u = t - DrawModuleSegment(kern, path, t, c, fwd, table, nStates, g, anc);
    } else {
        DrawBackgroundSegment(path, t, g, anc);
        u = t - 1;
    }
    m_sweep.m_dTranCount[b][0] += 1.0;  // closing transition, once per pass

    while (u >= 1) {
        const int n = (this->*kern.condStatePr)(path, fwd, u + 1, u, c, b, weight, nStates);
        const int cp = draw.Discrete(weight, nStates);
        const ALIGNNODE& node = path[u];
        const int bp = (cp >> node.block[node.movingBlock][0]) & 1;
        int wp = 1;
        if (bp == 1)
            wp = DrawModuleSegment(kern, path, u, cp, fwd, table, nStates, g, anc);
        else
            DrawBackgroundSegment(path, u, g, anc);

        // Transition between the segment ending at u and the later one starting at u + 1.
        if (node.CP) {
            const std::vector<int>& B = path[u + 1].block[path[u + 1].movingBlock];
            const double share = 1.0 / static_cast<double>(B.size());
            for (int s : B) {
                const int from = (cp >> s) & 1, to = (c >> s) & 1;
                if (B.size() >= 2)
                    m_sweep.m_dAlignTranCount[from][to] += share;
                else
                    m_sweep.m_dTranCount[from][to] += 1.0;
            }
        } else if (n >= 2) {
            m_sweep.m_dAlignTranCount[bp][b] += 1.0;
        } else {
            m_sweep.m_dTranCount[bp][b] += 1.0;
        }
        c = cp;
        b = bp;
        u -= wp;
    }
    CollectSiteCol(anc, path, nNode, g);
}

// ---------------------------------------------------------------- edge columns

void CSerevan::CollectSiteCol(const ANCSEQMOTIF* anc, const ALIGNNODE* path, int nNode, int g)
{
    for (int m = 1; m < nNode; ++m) {
        const int k = anc[m].motifIndex;
        if (k < 0) continue;
        const int w = m_par.m_pMotifWidth[k];
        const ALIGNNODE& node = path[m];
        const std::vector<int>& B = node.block[node.movingBlock];
        int A[4] = {anc[m - 1].ancBase, anc[m].ancBase, anc[m + w - 1].ancBase, anc[m + w].ancBase};
        if (!anc[m].forward) Reverse(A, 4);
        for (int s : B) {
            const int* x = m_pSeq[s][g];
            const int L = m_pSeqLen[s][g];
            const int p = node.pos[s] - 1;
            int D[4] = {p >= 1 ? x[p - 1] : -1, x[p], x[p + w - 1], p + w < L ? x[p + w] : -1};
            if (!anc[m].forward) Reverse(D, 4);
            for (int e = 0; e < 4; ++e) {
                if (!IsBase(A[e])) continue;
                SITECOL& R = m_sweep.m_pEdgeStat[4 * k + e];
                const int d = D[e];
                if (d == A[e])
                    ++R.sameCount[d];
                else if (IsBase(d)) {
                    ++R.subCount[d];
                    if (std::abs(d - A[e]) == 2)
                        ++R.transitionNum;
                    else
                        ++R.transversionNum;
                }
            }
        }
        for (int e = 0; e < 4; ++e)
            if (IsBase(A[e])) ++m_sweep.m_pEdgeStat[4 * k + e].ancCount[A[e]];
    }
}
