// Direct (reference) versions of the kernels: node emissions, aligned-site and aligned
// background emissions in log space, the transition sum, the forward recursion and the
// predecessor weights, each written as the plain formula. The sampler runs the fast kernels
// of Emissions.cpp, Forward.cpp and Backward.cpp; tests run both and compare them, and the
// kernel set of a pass is chosen once, when the pass starts.
#include <algorithm>
#include <cmath>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

using serevan::IsBase;
using serevan::kImpossible;
using serevan::kLogQuarter;
using serevan::kLogZero;
using serevan::kStrandMeanLog;

// ---------------------------------------------------------------- kernel sets

const CSerevan::Kernels CSerevan::kDirectKernels = {&CSerevan::DirectNodeEmissions, &CSerevan::CalTransition,
                                                    &CSerevan::CalCondStatePr};
const CSerevan::Kernels CSerevan::kFastKernels = {&CSerevan::StoredNodeEmissions, &CSerevan::FastTransition,
                                                  &CSerevan::FastCondStatePr};

const CSerevan::Kernels& CSerevan::PassKernels(const ALIGNNODE* path, int g, int nStates)
{
    if (m_work.directKernels) return kDirectKernels;
    PrepareEmissionTables();
    // The forward pass that precedes every backward pass made the codes of its path.
    if (path != m_work.codePath || g != m_work.codeGroup) PrepareNodeCodes(path, g);
    PrepareTransitionTables(nStates);
    return kFastKernels;
}

// ---------------------------------------------------------------- emissions

double CSerevan::AlignedBgEmission(int n, const int* species, const int* pos, int g)
{
    double acc = kLogZero;
    const double* prior = AncestralBgLog(species[0], pos[0], g);
    for (int a = 0; a < 4; ++a) {
        double v = prior[a];
        for (int i = 0; i < n; ++i) {
            const int b = m_pSeq[species[i]][g][pos[i]];
            v += IsBase(b) ? m_par.m_dBgSubst[a][b] : kLogQuarter;
        }
        acc = LogSum(acc, v);
    }
    return acc;
}

double CSerevan::CalMotifEmission(int k, int n, const int* species, const int* pos, int g)
{
    const int w = m_par.m_pMotifWidth[k];
    const double* pwm = m_par.m_pPWM[k].data();
    const std::vector<std::array<double, 16>>& phi = m_par.m_pMotifPhi[k];
    if (!SiteWindowsAreBases(w, n, species, pos, g)) return kLogZero;
    double F = 0.0;
    for (int j = 0; j < w; ++j) {
        double col = kLogZero;
        for (int a = 0; a < 4; ++a) {
            double v = pwm[4 * j + a];
            for (int i = 0; i < n; ++i) v += phi[j][4 * a + m_pSeq[species[i]][g][pos[i] - w + 1 + j]];
            col = LogSum(col, v);
        }
        F += col;
    }
    if (!m_set.bBothStrands) return F;
    double R = 0.0;
    for (int j = 0; j < w; ++j) {
        double col = kLogZero;
        for (int a = 0; a < 4; ++a) {
            double v = pwm[4 * j + a];
            for (int i = 0; i < n; ++i) v += phi[j][4 * a + 3 - m_pSeq[species[i]][g][pos[i] - j]];
            col = LogSum(col, v);
        }
        R += col;
    }
    return LogSum(F, R) + kStrandMeanLog;
}

void CSerevan::CalculateEmissions(double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode)
{
    // The admissibility flags (entry d open while nodes t-1 .. t-d are free of change
    // points) are the run of such nodes, counted up to the widest motif in use.
    const int run = NonChangeRun(path, t, MaxMotifWidth() - 1);
    const int K = m_nMotifNum, stride = 2 * K + 1;
    const ALIGNNODE& node = path[t];
    const std::vector<int>& B = node.block[node.movingBlock];
    const int n = static_cast<int>(B.size());
    m_work.emisPos.resize(std::max<size_t>(m_work.emisPos.size(), B.size()));
    for (int i = 0; i < n; ++i) m_work.emisPos[i] = node.pos[B[i]] - 1;
    const int* pos = m_work.emisPos.data();

    if (mode != 1) {
        emis[K] =
            n == 1 ? table[B[0]][static_cast<size_t>(stride) * pos[0] + 2 * K] : AlignedBgEmission(n, B.data(), pos, g);
    }
    if (mode == 0) return;
    for (int k = 0; k < K; ++k) {
        if (m_par.m_pMotifWidth[k] - 1 > run) {
            emis[k] = kLogZero;
        } else if (n == 1) {
            const double* cell = table[B[0]] + static_cast<size_t>(stride) * pos[0];
            emis[k] = m_set.bBothStrands ? LogSum(cell[2 * k], cell[2 * k + 1]) + kStrandMeanLog : cell[2 * k];
        } else {
            emis[k] = CalMotifEmission(k, n, B.data(), pos, g);
        }
    }
}

// CalculateEmissions with the signature of the fast NodeEmissions (the run is recounted).
void CSerevan::DirectNodeEmissions(double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode, int)
{
    CalculateEmissions(emis, table, path, t, g, mode);
}

// ---------------------------------------------------------------- transitions

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
        const double lv = m_par.m_dTranPr[(cp >> s) & 1][curBit];
        if (lv < -300.0) continue;
        S += std::exp(lv);
    }
    return std::log(S / static_cast<double>(B.size()));
}

double CSerevan::CalTransition(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit, int nStates)
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

// ---------------------------------------------------------------- forward and predecessors

// The recursion exactly as written with CalculateEmissions and CalTransition: the
// reference the fast version is tested against (used when m_work.directKernels is set).
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
                    row[c] = LogSum(row[c], CalTransition(path, fwd, t, t - m_par.m_pMotifWidth[k], c, 1, nStates) +
                                                e[k] + m_par.m_pMotifPr[k]);
                }
            } else {
                row[c] = e[K] + CalTransition(path, fwd, t, t - 1, c, 0, nStates);
            }
        }
    }
    return ForwardEndRow(fwd, path, nNode, nStates);
}

int CSerevan::CalCondStatePr(const ALIGNNODE* path, const double* fwd, int t, int u, int c, int curBit, double* out,
                             int nStates)
{
    const ALIGNNODE& node = path[t];
    const std::vector<int>& B = node.block[node.movingBlock];
    const unsigned char* legit = path[u].legitimate.data();
    const double* row = fwd + static_cast<size_t>(u) * nStates;
    for (int cp = 0; cp < nStates; ++cp) {
        out[cp] = kLogZero;
        if (!legit[cp] || !Compatible(path, t, c, cp)) continue;
        out[cp] = row[cp] + MeanTransitionLog(B, cp, curBit);
    }
    return static_cast<int>(B.size());
}
