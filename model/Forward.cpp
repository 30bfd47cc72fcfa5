// Module-state transitions along an alignment path and the forward summation over the
// subset codes of the species' background/module chains.
//
// Sections: compatibility and the direct transition sum; per-call transition tables;
// forward summation (direct reference, then the fast version the sampler runs).
// The layout of codes, rows and the fast kernel are described in model/module_states.md.
#include <algorithm>
#include <cmath>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

using serevan::kLogZero;

namespace {

constexpr double kImpossible = -1e20;  // emissions and weights at or below this are log zero

// Subset code of the species in the moving block of a node.
int MovingMask(const ALIGNNODE& node)
{
    int mask = 0;
    for (int s : node.block[node.movingBlock]) mask |= 1 << s;
    return mask;
}

}  // namespace

// ---------------------------------------------------------------- direct versions

bool CSerevan::Compatible(const ALIGNNODE* path, int t, int c, int cPrev)
{
    const ALIGNNODE& node = path[t];
    if (static_cast<int>(node.block[node.movingBlock].size()) == m_nSpeciesNum || c == cPrev) return true;
    // Species that do not advance at node t keep their state.
    return ((c ^ cPrev) & ~MovingMask(node)) == 0;
}

// ln(S / |B|): the mean, over the species s of the moving block B, of each species' own
// transition from its bit in cp to curBit; terms whose log is below -300 are left out, and
// S = 0 gives -inf.
double CSerevan::MeanTransitionLog(const std::vector<int>& B, int cp, int curBit) const
{
    double S = 0.0;
    for (int s : B) {
        const double lv = m_dTranPr[(cp >> s) & 1][curBit];
        if (lv < -300.0) continue;
        S += std::exp(lv);
    }
    return std::log(S / static_cast<double>(B.size()));
}

double CSerevan::CalTransition(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit,
                               int nStates)
{
    const ALIGNNODE& node = path[t];
    const std::vector<int>& B = node.block[node.movingBlock];
    const unsigned char* legit = path[u].legitimate.data();
    const double* row = fwd + static_cast<size_t>(u) * nStates;
    double result = kLogZero;
    for (int cp = 0; cp < nStates; ++cp) {
        if (!legit[cp] || !Compatible(path, t, c, cp)) continue;
        result = LogSum(result, row[cp] + MeanTransitionLog(B, cp, curBit));
    }
    return result;
}

// ---------------------------------------------------------------- transition tables

// For every moving-block mask and every predecessor pattern x inside it, the mean over
// the block's species of their transition into curBit, summed in species order exactly
// as CalTransition does. Rebuilt only when m_dTranPr or the subset count changed.
void CSerevan::PrepareTransitionTables(int nStates)
{
    bool same = m_nTranStates == nStates;
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) same = same && m_dTranKey[a][b] == m_dTranPr[a][b];
    if (same) return;
    double ex[2][2];
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) {
            ex[a][b] = m_dTranPr[a][b] < -300.0 ? 0.0 : std::exp(m_dTranPr[a][b]);
            m_dTranKey[a][b] = m_dTranPr[a][b];
        }
    const size_t size = static_cast<size_t>(nStates) * nStates * 2;
    m_pTranLin.assign(size, 0.0);
    m_pTranLog.assign(size, kLogZero);
    for (int mask = 1; mask < nStates; ++mask) {
        int n = 0;
        for (int s = 0; (1 << s) <= mask; ++s) n += (mask >> s) & 1;
        for (int x = 0;; x = (x - mask) & mask) {
            for (int cur = 0; cur < 2; ++cur) {
                double S = 0.0;
                for (int s = 0; (1 << s) <= mask; ++s)
                    if ((mask >> s) & 1) S += ex[(x >> s) & 1][cur];
                const size_t at = (static_cast<size_t>(mask) * nStates + x) * 2 + cur;
                m_pTranLin[at] = S / static_cast<double>(n);
                m_pTranLog[at] = std::log(S / static_cast<double>(n));
            }
            if (x == mask) break;
        }
    }
    m_nTranStates = nStates;
}

// CalTransition from the tables: the compatible predecessors of c are base | x for the
// patterns x of the moving block, visited in increasing code order, so the LogSum chain
// and its terms are those of CalTransition.
double CSerevan::FastTransition(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit,
                                int nStates)
{
    if (m_bDirectKernels) return CalTransition(path, fwd, t, u, c, curBit, nStates);
    const int mask = MovingMask(path[t]);
    const int base = c & ~mask;
    const unsigned char* legit = path[u].legitimate.data();
    const double* row = fwd + static_cast<size_t>(u) * nStates;
    const double* tl = m_pTranLog.data() + static_cast<size_t>(mask) * nStates * 2 + curBit;
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
    const int close = m_bMotifMode ? 1 : 0;
    for (int c = 0; c < nStates; ++c) {
        if (!last.legitimate[c]) {
            end[c] = kLogZero;
            continue;
        }
        double v = prev[c];
        for (int b = 0; b < last.blockNum; ++b) v += m_dTranPr[(c >> last.block[b][0]) & 1][close];
        end[c] = v;
    }
    double total = end[0];
    for (int c = 1; c < nStates; ++c) total = LogSum(total, end[c]);
    return total;
}

// The recursion exactly as written with CalculateEmissions and CalTransition: the
// reference the fast version is tested against (used when m_bDirectKernels is set).
double CSerevan::PathForwardDirect(double* fwd, double** table, const ALIGNNODE* path, int g, int nNode, int nStates)
{
    const int K = m_nMotifNum;
    std::vector<double> e(K + 1);
    std::fill(fwd, fwd + nStates, kLogZero);
    fwd[0] = 0.0;
    for (int t = 1; t < nNode; ++t) {
        const ALIGNNODE& node = path[t];
        CalculateEmissions(e.data(), table, path, t, g, 2);
        const int s0 = node.block[node.movingBlock][0];
        double* row = fwd + static_cast<size_t>(t) * nStates;
        for (int c = 0; c < nStates; ++c) {
            if (!node.legitimate[c]) {
                row[c] = kLogZero;
            } else if ((c >> s0) & 1) {
                row[c] = kLogZero;
                for (int k = 0; k <= K; ++k) {
                    if (e[k] < kImpossible) continue;
                    row[c] = LogSum(row[c], CalTransition(path, fwd, t, t - m_pMotifWidth[k], c, 1, nStates) + e[k] +
                                                m_pMotifPr[k]);
                }
            } else {
                row[c] = e[K] + CalTransition(path, fwd, t, t - 1, c, 0, nStates);
            }
        }
    }
    return ForwardEndRow(fwd, path, nNode, nStates);
}

double CSerevan::PathForwardSummation(double* fwd, double** table, const ALIGNNODE* path, int g, int nRow,
                                      int nStates)
{
    const int nNode = PathNodeNum(path);
    // The table must have one row per node plus the end row, and one column per code.
    if (nNode < 1 || nRow != nNode + 1 || nStates != (1 << m_nSpeciesNum)) return kLogZero;
    if (m_bDirectKernels) return PathForwardDirect(fwd, table, path, g, nNode, nStates);

    const int K = m_nMotifNum;
    PrepareEmissionTables();
    PrepareNodeCodes(path, g);
    PrepareTransitionTables(nStates);
    const int ring = MaxMotifWidth() + 1;  // rows t-1 .. t-maxWidth are read at node t
    m_pFwdLin.resize(static_cast<size_t>(ring) * nStates);
    m_pFwdScale.resize(ring);
    m_pFwdSum.resize(nStates);
    m_pFwdEmis.resize(K + 1);
    double* e = m_pFwdEmis.data();
    double* sum = m_pFwdSum.data();

    // Row 0: every species starts in background.
    std::fill(fwd, fwd + nStates, kLogZero);
    fwd[0] = 0.0;
    std::fill(m_pFwdLin.begin(), m_pFwdLin.begin() + nStates, 0.0);
    m_pFwdLin[0] = 1.0;
    m_pFwdScale[0] = 0.0;

    // Module-state terms grouped by the earlier node u = t - w they come from (motifs of
    // equal width share one dot product per code).
    m_pFwdTermNode.resize(K + 1);
    m_pFwdTermLog.resize(K + 1);
    m_pFwdTermCoef.resize(K + 1);
    int* uNode = m_pFwdTermNode.data();
    double* uCoef = m_pFwdTermCoef.data();
    double* aTerm = m_pFwdTermLog.data();
    int run = 0;
    for (int t = 1; t < nNode; ++t) {
        const ALIGNNODE& node = path[t];
        const int mask = MovingMask(node);
        const int s0 = node.block[node.movingBlock][0];
        run = path[t - 1].CP ? 0 : run + 1;
        NodeEmissions(e, table, path, t, g, 2, run);

        // Module codes: aMax + ln sum_k exp(a_k - aMax) (lin row u_k . transitions), with
        // a_k = Z_{u_k} + e[k] + pr[k] and Z_u the log scale of row u.
        double aMax = -HUGE_VAL;
        for (int k = 0; k <= K; ++k) {
            aTerm[k] = -HUGE_VAL;
            if (e[k] < kImpossible) continue;
            const double a = m_pFwdScale[(t - m_pMotifWidth[k]) % ring] + e[k] + m_pMotifPr[k];
            if (!(a > kImpossible)) continue;
            aTerm[k] = a;
            aMax = std::max(aMax, a);
        }
        int nU = 0;
        for (int k = 0; k <= K; ++k) {
            if (aTerm[k] == -HUGE_VAL) continue;
            const int u = t - m_pMotifWidth[k];
            int i = 0;
            while (i < nU && uNode[i] != u) ++i;
            if (i == nU) {
                uNode[nU] = u;
                uCoef[nU] = 0.0;
                ++nU;
            }
            uCoef[i] += std::exp(aTerm[k] - aMax);
        }
        // Background codes: Z_{t-1} + e[K] + ln(lin-row dot transitions).
        const double a0 = m_pFwdScale[(t - 1) % ring] + e[K];
        const bool bgOpen = e[K] > kImpossible && a0 > kImpossible;

        double* row = fwd + static_cast<size_t>(t) * nStates;
        const double* tranBase = m_pTranLin.data() + static_cast<size_t>(mask) * nStates * 2;
        double rowMax = -HUGE_VAL;
        for (int c = 0; c < nStates; ++c) {
            sum[c] = 0.0;
            row[c] = kLogZero;
            if (!node.legitimate[c]) continue;
            const int base = c & ~mask;
            const int cur = (c >> s0) & 1;
            double v = 0.0, logBase;
            if (cur) {
                for (int i = 0; i < nU; ++i) {
                    const double* lin = m_pFwdLin.data() + static_cast<size_t>(uNode[i] % ring) * nStates;
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
                    const double* lin = m_pFwdLin.data() + static_cast<size_t>((t - 1) % ring) * nStates;
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
                rowMax = std::max(rowMax, row[c]);
            }
        }

        // Linear row t relative to its best entry (its slot held row t - ring, no longer read).
        double* lin = m_pFwdLin.data() + static_cast<size_t>(t % ring) * nStates;
        if (rowMax == -HUGE_VAL) {  // no code is possible at node t
            std::fill(lin, lin + nStates, 0.0);
            m_pFwdScale[t % ring] = -HUGE_VAL;
            continue;
        }
        m_pFwdScale[t % ring] = rowMax;
        const double x1 = aMax - rowMax, x0 = a0 - rowMax;
        if (x1 < 700.0 && x0 < 700.0) {
            const double f1 = nU > 0 ? std::exp(x1) : 0.0, f0 = bgOpen ? std::exp(x0) : 0.0;
            for (int c = 0; c < nStates; ++c) lin[c] = sum[c] * (((c >> s0) & 1) ? f1 : f0);
        } else {
            for (int c = 0; c < nStates; ++c) lin[c] = sum[c] > 0.0 ? std::exp(row[c] - rowMax) : 0.0;
        }
    }
    return ForwardEndRow(fwd, path, nNode, nStates);
}
