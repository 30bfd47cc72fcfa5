// Ancestral bases of aligned columns: one base per aligned background column, and for an
// aligned motif site its strand, its ancestral site and whether each descendant base was
// redrawn from the motif column or kept from the ancestor.
#include <algorithm>
#include <cmath>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

using serevan::IsBase;
using serevan::kLogZero;

void CSerevan::SampleBgAncestor(const ALIGNNODE* path, int t, int g, ANCSEQMOTIF* anc)
{
    const ALIGNNODE& node = path[t];
    const std::vector<int>& B = node.block[node.movingBlock];
    const int G = m_nGroupNum;
    if (m_work.postLog) {
        LogAlignRuns(B, node, g, 1);
    } else {
        for (int s : B) {
            const int p = node.pos[s] - 1;
            if (s == 0) ++m_post.m_pRefAlignFreq[g][p];
            if (m_post.m_bSampling) ++m_post.m_pAlignFreq[s * G + g][p];
        }
    }
    // Linear weights prior(a) prod_s subst(a, b_s); the log-space sum only when every one
    // is zero, where the log-zero arithmetic decides.
    RefreshAncestorTables();
    const int p0 = node.pos[B[0]] - 1;
    const double* priorLin = AncestralBgLin(B[0], p0, g, m_work.ancBgLin);
    double weight[4] = {priorLin[0], priorLin[1], priorLin[2], priorLin[3]};
    for (int s : B) {
        const int b = m_pSeq[s][g][node.pos[s] - 1];
        if (!IsBase(b)) continue;  // a residue that is not a base adds the same to every a
        for (int a = 0; a < 4; ++a) weight[a] *= m_work.ancSubLin[a][b];
    }
    CStochasticDistribution draw(*m_stream);
    int a;
    if (weight[0] + weight[1] + weight[2] + weight[3] > 0.0) {
        a = draw.DiscreteLinear(weight, 4);
    } else {
        const double* prior = AncestralBgLog(B[0], p0, g);
        for (int x = 0; x < 4; ++x) {
            weight[x] = prior[x];
            for (int s : B) {
                const int b = m_pSeq[s][g][node.pos[s] - 1];
                if (IsBase(b)) weight[x] += m_par.m_dBgSubst[x][b];
            }
        }
        a = draw.Discrete(weight, 4);
    }
    anc[t].ancBase = a;
    ++m_sweep.m_nBgAncCount[a];
    for (int s : B) {
        const int b = m_pSeq[s][g][node.pos[s] - 1];
        if (IsBase(b)) ++m_sweep.m_nBgSubCount[a][b];
    }
}

// exp of the ancestral base distribution and of the background substitution matrix,
// recomputed only when either changed since the last call.
void CSerevan::RefreshAncestorTables()
{
    bool same = m_work.ancKeyValid;
    for (int a = 0; a < 4 && same; ++a) {
        same = m_work.ancBgKey[a] == m_par.m_pBg[a];
        for (int b = 0; b < 4 && same; ++b) same = m_work.ancSubKey[a][b] == m_par.m_dBgSubst[a][b];
    }
    if (same) return;
    for (int a = 0; a < 4; ++a) {
        m_work.ancBgKey[a] = m_par.m_pBg[a];
        m_work.ancBgLin[a] = std::exp(m_par.m_pBg[a]);
        for (int b = 0; b < 4; ++b) {
            m_work.ancSubKey[a][b] = m_par.m_dBgSubst[a][b];
            m_work.ancSubLin[a][b] = std::exp(m_par.m_dBgSubst[a][b]);
        }
    }
    m_work.ancKeyValid = true;
}

void CSerevan::SampleMotifAncestor(int* site, const ALIGNNODE* path, int t, int g, int k, ANCSEQMOTIF* anc)
{
    const ALIGNNODE& node = path[t];
    const std::vector<int>& B = node.block[node.movingBlock];
    const int G = m_nGroupNum, w = m_par.m_pMotifWidth[k];
    const double* pwm = m_par.m_pPWM[k].data();
    const std::vector<std::array<double, 16>>& phi = m_par.m_pMotifPhi[k];
    if (m_work.postLog) {
        LogAlignRuns(B, node, g, w);
    } else {
        for (int s : B) {
            const int q = node.pos[s] - w;
            for (int j = 0; j < w; ++j) {
                if (s == 0) ++m_post.m_pRefAlignFreq[g][q + j];
                if (m_post.m_bSampling) ++m_post.m_pAlignFreq[s * G + g][q + j];
            }
        }
    }

    // Column weights per strand, in sequence orientation: P_r[j][a] at 4(w r + j) + a.
    // Sites reach here only with every residue a base; others would add nothing.
    m_work.ancColW.resize(std::max<size_t>(m_work.ancColW.size(), 8 * static_cast<size_t>(w)));
    double* P0 = m_work.ancColW.data();
    double* P1 = P0 + 4 * w;
    const int strands = m_set.bBothStrands ? 2 : 1;
    for (int j = 0; j < w; ++j)
        for (int a = 0; a < 4; ++a) {
            double v = pwm[4 * j + a];
            for (int s : B) {
                const int b = m_pSeq[s][g][node.pos[s] - w + j];
                if (IsBase(b)) v += phi[j][4 * a + b];
            }
            P0[4 * j + a] = v;
            if (strands == 1) continue;
            // Sequence column j with base a is motif column w-1-j with the complement.
            const int jr = w - 1 - j;
            double r = pwm[4 * jr + 3 - a];
            for (int s : B) {
                const int b = m_pSeq[s][g][node.pos[s] - w + j];
                if (IsBase(b)) r += phi[jr][4 * (3 - a) + 3 - b];
            }
            P1[4 * j + a] = r;
        }

    CStochasticDistribution draw(*m_stream);
    int strand = 0;
    if (m_set.bBothStrands) {
        double L[2] = {0.0, 0.0};
        for (int r = 0; r < 2; ++r) {
            const double* P = r == 0 ? P0 : P1;
            for (int j = 0; j < w; ++j) {
                double col = P[4 * j];
                for (int a = 1; a < 4; ++a) col = LogSum(col, P[4 * j + a]);
                L[r] += col;
            }
        }
        strand = draw.Discrete(L, 2);
    }
    const double* P = strand == 0 ? P0 : P1;
    for (int j = 0; j < w; ++j) {
        double col[4] = {P[4 * j], P[4 * j + 1], P[4 * j + 2], P[4 * j + 3]};
        site[j] = draw.Discrete(col, 4);
    }

    const int first = t - w + 1;
    for (int j = 0; j < w; ++j) anc[first + j].ancBase = site[j];
    anc[first].motifIndex = k;
    if (strand == 1) {
        anc[first].forward = false;
        Reverse(site, w);  // now site[j] is the ancestral base of motif column j
    }

    // Each descendant base either was redrawn from the motif column (probability lambda
    // times the column's base probability) or kept the ancestral base.
    const double logLambda = std::log(m_par.m_dMotifSubRate), logKeep = std::log(1.0 - m_par.m_dMotifSubRate);
    for (int j = 0; j < w; ++j)
        for (int s : B) {
            const int* x = m_pSeq[s][g];
            const int q = node.pos[s] - w;
            const int d = strand == 0 ? x[q + j] : (IsBase(x[q + w - 1 - j]) ? 3 - x[q + w - 1 - j] : -1);
            if (!IsBase(d)) continue;
            bool redrawn = d != site[j];
            if (!redrawn) {
                double choice[2] = {logLambda + pwm[4 * j + d], logKeep};
                redrawn = draw.Discrete(choice, 2) == 0;
            }
            if (redrawn) {
                ++m_sweep.m_nMotifSubCount[0];
                ++m_sweep.m_pSiteCount[k][4 * j + d];
            } else {
                ++m_sweep.m_nMotifSubCount[1];
            }
        }
}
