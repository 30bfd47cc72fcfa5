// Module-state transitions along an alignment path and the forward summation over the
// subset codes of the species' background/module chains.
//
// Sections: per-call transition tables and the fast transition sum; forward summation (the
// fast version the sampler runs, in named steps). The direct versions are in Direct.cpp.
// The layout of codes, rows and the fast kernel are described in model/module_states.md.
#include <algorithm>
#include <cmath>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

using serevan::kImpossible;
using serevan::kLogZero;

// ---------------------------------------------------------------- transition tables

// For every moving-block mask and every predecessor pattern x inside it, the mean over
// the block's species of their transition into curBit, summed in species order exactly
// as CalTransition does. Rebuilt only when m_dTranPr or the subset count changed.
void CSerevan::PrepareTransitionTables(int nStates)
{
    bool same = m_work.tranStates == nStates;
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) same = same && m_work.tranKey[a][b] == m_par.m_dTranPr[a][b];
    if (same) return;
    double ex[2][2];
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) {
            ex[a][b] = m_par.m_dTranPr[a][b] < -300.0 ? 0.0 : std::exp(m_par.m_dTranPr[a][b]);
            m_work.tranKey[a][b] = m_par.m_dTranPr[a][b];
        }
    const size_t size = static_cast<size_t>(nStates) * nStates * 2;
    m_work.tranLin.assign(size, 0.0);
    m_work.tranLog.assign(size, kLogZero);
    for (int mask = 1; mask < nStates; ++mask) {
        int n = 0;
        for (int s = 0; (1 << s) <= mask; ++s) n += (mask >> s) & 1;
        for (int x = 0;; x = (x - mask) & mask) {
            for (int cur = 0; cur < 2; ++cur) {
                double S = 0.0;
                for (int s = 0; (1 << s) <= mask; ++s)
                    if ((mask >> s) & 1) S += ex[(x >> s) & 1][cur];
                const size_t at = (static_cast<size_t>(mask) * nStates + x) * 2 + cur;
                m_work.tranLin[at] = S / static_cast<double>(n);
                m_work.tranLog[at] = std::log(S / static_cast<double>(n));
            }
            if (x == mask) break;
        }
    }
    m_work.tranStates = nStates;
}

// CalTransition from the tables: the compatible predecessors of c are base | x for the
// patterns x of the moving block, visited in increasing code order, so the LogSum chain
// and its terms are those of CalTransition.
double CSerevan::FastTransition(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit, int nStates)
{
    const int mask = MovingMask(path[t]);
    const int base = c & ~mask;
    const unsigned char* legit = path[u].legitimate.data();
    const double* row = fwd + static_cast<size_t>(u) * nStates;
    const double* tl = m_work.tranLog.data() + static_cast<size_t>(mask) * nStates * 2 + curBit;
    double result = kLogZero;
    for (int x = 0;; x = (x - mask) & mask) {
        const int cp = base | x;
        if (legit[cp]) result = LogSum(result, row[cp] + tl[2 * x]);
        if (x == mask) break;
    }
    return result;
}

// ---------------------------------------------------------------- forward summation

// End row from the last node: every block closes with a move to background (to module in
// motif mode); returns the log-likelihood, summed over codes in increasing order.
double CSerevan::ForwardEndRow(double* fwd, const ALIGNNODE* path, int nNode, int nStates)
{
    const ALIGNNODE& last = path[nNode - 1];
    const double* prev = fwd + static_cast<size_t>(nNode - 1) * nStates;
    double* end = fwd + static_cast<size_t>(nNode) * nStates;
    const int close = m_set.bMotifMode ? 1 : 0;
    for (int c = 0; c < nStates; ++c) {
        if (!last.legitimate[c]) {
            end[c] = kLogZero;
            continue;
        }
        double v = prev[c];
        for (int b = 0; b < last.blockNum; ++b) v += m_par.m_dTranPr[(c >> last.block[b][0]) & 1][close];
        end[c] = v;
    }
    double total = end[0];
    for (int c = 1; c < nStates; ++c) total = LogSum(total, end[c]);
    return total;
}

double CSerevan::PathForwardSummation(double* fwd, double** table, const ALIGNNODE* path, int g, int nRow, int nStates)
{
    const int nNode = PathNodeNum(path);
    // The table must have one row per node plus the end row, and one column per code.
    if (nNode < 1 || nRow != nNode + 1 || nStates != (1 << m_nSpeciesNum)) return kLogZero;
    if (m_work.directKernels) return PathForwardDirect(fwd, table, path, g, nNode, nStates);
    return PathForwardFast(fwd, table, path, g, nNode, nStates);
}

// The fast recursion: the log rows the backward pass reads, computed from a ring of linear
// rows (see model/module_states.md). Each node: emissions, the module terms grouped by the
// earlier node they come from, the row itself, then its linear copy.
double CSerevan::PathForwardFast(double* fwd, double** table, const ALIGNNODE* path, int g, int nNode, int nStates)
{
    const int K = m_nMotifNum;
    PrepareEmissionTables();
    PrepareNodeCodes(path, g);
    PrepareTransitionTables(nStates);
    const int ring = MaxMotifWidth() + 1;  // rows t-1 .. t-maxWidth are read at node t
    m_work.fwdLin.resize(static_cast<size_t>(ring) * nStates);
    m_work.fwdScale.resize(ring);
    m_work.fwdSum.resize(nStates);
    m_work.fwdTermNode.resize(K + 1);
    m_work.fwdTermLog.resize(K + 1);
    m_work.fwdTermCoef.resize(K + 1);
    StartForwardRows(fwd, nStates);
    // Every node's emissions are kept for the backward pass over the same path.
    m_work.storedEmisPath = nullptr;
    m_work.storedEmis.resize(static_cast<size_t>(nNode) * (K + 1));

    int run = 0;
    for (int t = 1; t < nNode; ++t) {
        const ALIGNNODE& node = path[t];
        run = path[t - 1].CP ? 0 : run + 1;
        double* e = m_work.storedEmis.data() + static_cast<size_t>(t) * (K + 1);
        NodeEmissions(e, table, path, t, g, 2, run);
        double aMax;
        const int nU = GatherModuleTerms(t, e, ring, aMax);
        // Background codes: Z_{t-1} + e[K] + ln(lin-row dot transitions).
        const double a0 = m_work.fwdScale[(t - 1) % ring] + e[K];
        const bool bgOpen = e[K] > kImpossible && a0 > kImpossible;
        double* row = fwd + static_cast<size_t>(t) * nStates;
        FillForwardRow(row, node, nStates, t, ring, nU, aMax, a0, bgOpen);
        ScaleForwardRow(row, node, nStates, t, ring, nU, aMax, a0, bgOpen);
    }
    m_work.storedEmisPath = path;
    m_work.storedEmisGroup = g;
    return ForwardEndRow(fwd, path, nNode, nStates);
}

// Row 0: every species starts in background.
void CSerevan::StartForwardRows(double* fwd, int nStates)
{
    std::fill(fwd, fwd + nStates, kLogZero);
    fwd[0] = 0.0;
    std::fill(m_work.fwdLin.begin(), m_work.fwdLin.begin() + nStates, 0.0);
    m_work.fwdLin[0] = 1.0;
    m_work.fwdScale[0] = 0.0;
}

// Module-state terms a_k = Z_{u_k} + e[k] + pr[k] (Z_u the log scale of row u = t - w_k),
// grouped by the earlier node u: motifs of equal width share one dot product per code. Fills
// the distinct nodes and their summed weights exp(a_k - aMax); returns their number.
int CSerevan::GatherModuleTerms(int t, const double* e, int ring, double& aMax)
{
    const int K = m_nMotifNum;
    int* uNode = m_work.fwdTermNode.data();
    double* uCoef = m_work.fwdTermCoef.data();
    double* aTerm = m_work.fwdTermLog.data();
    aMax = -HUGE_VAL;
    for (int k = 0; k <= K; ++k) {
        aTerm[k] = -HUGE_VAL;
        if (e[k] < kImpossible) continue;
        const double a = m_work.fwdScale[(t - m_par.m_pMotifWidth[k]) % ring] + e[k] + m_par.m_pMotifPr[k];
        if (!(a > kImpossible)) continue;
        aTerm[k] = a;
        aMax = std::max(aMax, a);
    }
    int nU = 0;
    for (int k = 0; k <= K; ++k) {
        if (aTerm[k] == -HUGE_VAL) continue;
        const int u = t - m_par.m_pMotifWidth[k];
        int i = 0;
        while (i < nU && uNode[i] != u) ++i;
        if (i == nU) {
            uNode[nU] = u;
            uCoef[nU] = 0.0;
            ++nU;
        }
        uCoef[i] += std::exp(aTerm[k] - aMax);
    }
    return nU;
}

// Log row t: module codes aMax + ln sum_i coef_i (lin row u_i . transitions into module),
// background codes a0 + ln(lin row t-1 . transitions into background), over the compatible
// predecessors base | x of each code. The linear sums stay in fwdSum for the scaling step.
void CSerevan::FillForwardRow(double* row, const ALIGNNODE& node, int nStates, int t, int ring, int nU, double aMax,
                              double a0, bool bgOpen)
{
    const int mask = MovingMask(node);
    const int s0 = node.block[node.movingBlock][0];
    const int* uNode = m_work.fwdTermNode.data();
    const double* uCoef = m_work.fwdTermCoef.data();
    double* sum = m_work.fwdSum.data();
    const double* tranBase = m_work.tranLin.data() + static_cast<size_t>(mask) * nStates * 2;
    for (int c = 0; c < nStates; ++c) {
        sum[c] = 0.0;
        row[c] = kLogZero;
        if (!node.legitimate[c]) continue;
        const int base = c & ~mask;
        const int cur = (c >> s0) & 1;
        double v = 0.0, logBase;
        if (cur) {
            for (int i = 0; i < nU; ++i) {
                const double* lin = m_work.fwdLin.data() + static_cast<size_t>(uNode[i] % ring) * nStates;
                double dot = 0.0;
                for (int x = 0;; x = (x - mask) & mask) {
                    dot += lin[base | x] * tranBase[2 * x + 1];
                    if (x == mask) break;
                }
                v += uCoef[i] * dot;
            }
            logBase = aMax;
        } else {
            if (bgOpen) {
                const double* lin = m_work.fwdLin.data() + static_cast<size_t>((t - 1) % ring) * nStates;
                for (int x = 0;; x = (x - mask) & mask) {
                    v += lin[base | x] * tranBase[2 * x];
                    if (x == mask) break;
                }
            }
            logBase = a0;
        }
        if (v > 0.0) {
            sum[c] = v;
            row[c] = logBase + std::log(v);
        }
    }
}

// Linear row t relative to its best entry, into the ring slot that held row t - ring (no
// longer read); a row with no possible code keeps scale -inf.
void CSerevan::ScaleForwardRow(const double* row, const ALIGNNODE& node, int nStates, int t, int ring, int nU,
                               double aMax, double a0, bool bgOpen)
{
    const int s0 = node.block[node.movingBlock][0];
    const double* sum = m_work.fwdSum.data();
    double rowMax = -HUGE_VAL;
    for (int c = 0; c < nStates; ++c)
        if (sum[c] > 0.0) rowMax = std::max(rowMax, row[c]);
    double* lin = m_work.fwdLin.data() + static_cast<size_t>(t % ring) * nStates;
    if (rowMax == -HUGE_VAL) {
        std::fill(lin, lin + nStates, 0.0);
        m_work.fwdScale[t % ring] = -HUGE_VAL;
        return;
    }
    m_work.fwdScale[t % ring] = rowMax;
    const double x1 = aMax - rowMax, x0 = a0 - rowMax;
    if (x1 < 700.0 && x0 < 700.0) {
        const double f1 = nU > 0 ? std::exp(x1) : 0.0, f0 = bgOpen ? std::exp(x0) : 0.0;
        for (int c = 0; c < nStates; ++c) lin[c] = sum[c] * (((c >> s0) & 1) ? f1 : f0);
    } else {
        for (int c = 0; c < nStates; ++c) lin[c] = sum[c] > 0.0 ? std::exp(row[c] - rowMax) : 0.0;
    }
}
