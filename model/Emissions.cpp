// Emission model: single-species position scores, the emission vector of a node's moving
// block (background, module background, last column of a motif site), aligned motif sites
// through a summed-out ancestral site, and the background likelihood of a whole path.
//
// Sections: small helpers; position score table; linear-space kernels used by the forward
// and backward passes; background likelihood. The direct log-space versions are in Direct.cpp.
// Layouts and the admissibility rule are described in model/module_states.md.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"

using serevan::IsBase;
using serevan::kLogQuarter;
using serevan::kLogZero;
using serevan::kNoBaseBgLog;
using serevan::kStrandMeanLog;

namespace {

constexpr double kLinTiny = 1e-280;     // a linear column sum below this goes to the log-space version
constexpr double kNotCached = 1e300;    // "the cache cannot give this emission"
constexpr double kLinRescale = 1e-200;  // running products below this are folded into a log

// Product of a site's column sums, held as prod * e^logAcc: folded into the log whenever it
// gets small, so that long sites of small columns do not underflow.
struct ColumnProduct {
    double prod = 1.0, logAcc = 0.0;
    void Times(double col)
    {
        prod *= col;
        if (prod < kLinRescale) {
            logAcc += std::log(prod);
            prod = 1.0;
        }
    }
    double Log() const { return logAcc + std::log(prod); }
};

}  // namespace

// ---------------------------------------------------------------- helpers

int CSerevan::MaxMotifWidth() const
{
    int w = 1;
    for (int k = 0; k < m_nMotifNum; ++k) w = std::max(w, m_par.m_pMotifWidth[k]);
    return w;
}

// True when the w positions ending at pos[i] of every block species lie inside the sequence
// and hold bases (a site over anything else has probability 0).
bool CSerevan::SiteWindowsAreBases(int w, int n, const int* species, const int* pos, int g) const
{
    for (int i = 0; i < n; ++i) {
        const int start = pos[i] - w + 1;
        if (start < 0) return false;
        const int* x = m_pSeq[species[i]][g];
        for (int j = 0; j < w; ++j)
            if (!IsBase(x[start + j])) return false;
    }
    return true;
}

// Number of nodes t-1, t-2, ... before node t that are not change points, at most limit.
// A site of width w may end at node t when w - 1 <= this run (node 0 is a change point).
int CSerevan::NonChangeRun(const ALIGNNODE* path, int t, int limit) const
{
    int run = 0;
    while (run < limit && t - 1 - run >= 0 && !path[t - 1 - run].CP) ++run;
    return run;
}

// ---------------------------------------------------------------- position score table

void CSerevan::CalLogPrPos(double** table, int g)
{
    const int stride = 2 * m_nMotifNum + 1;
    for (int s = 0; s < m_nSpeciesNum; ++s)
        for (int p = 0; p < m_pSeqLen[s][g]; ++p) ScorePosition(table[s] + static_cast<size_t>(stride) * p, s, g, p);
}

// Only the positions that single-species nodes of the given paths read (the aligned nodes
// never read the table): the cells of these positions equal CalLogPrPos's, the rest are left.
void CSerevan::CalLogPrPosOnPaths(double** table, int g, const ALIGNNODE* const* paths, int nPath)
{
    const int stride = 2 * m_nMotifNum + 1;
    if (static_cast<int>(m_work.posMark.size()) < m_nSpeciesNum) m_work.posMark.resize(m_nSpeciesNum);
    if (++m_work.posGen == 0) {  // wrapped: clear the marks so none looks current
        for (std::vector<unsigned>& m : m_work.posMark) std::fill(m.begin(), m.end(), 0u);
        m_work.posGen = 1;
    }
    for (int s = 0; s < m_nSpeciesNum; ++s)
        if (m_work.posMark[s].size() < static_cast<size_t>(m_pSeqLen[s][g]))
            m_work.posMark[s].resize(m_pSeqLen[s][g], 0u);
    for (int i = 0; i < nPath; ++i) {
        const ALIGNNODE* path = paths[i];
        const int nNode = PathNodeNum(path);
        for (int t = 1; t < nNode; ++t) {
            const ALIGNNODE& node = path[t];
            const std::vector<int>& B = node.block[node.movingBlock];
            if (B.size() != 1) continue;
            const int s = B[0], p = node.pos[s] - 1;
            unsigned& mark = m_work.posMark[s][p];
            if (mark == m_work.posGen) continue;
            mark = m_work.posGen;
            ScorePosition(table[s] + static_cast<size_t>(stride) * p, s, g, p);
        }
    }
}

// The 2K+1 cells of position p of species s: window scores of the sites of every motif
// ending at p (both strands), then the background value.
void CSerevan::ScorePosition(double* cell, int s, int g, int p)
{
    const int K = m_nMotifNum;
    const int* x = m_pSeq[s][g];
    for (int k = 0; k < K; ++k) {
        const int w = m_par.m_pMotifWidth[k];
        const double* pwm = m_par.m_pPWM[k].data();
        cell[2 * k] = cell[2 * k + 1] = kLogZero;
        if (p < w - 1) continue;  // the site would start before the sequence
        const int* win = x + p - w + 1;
        bool bases = true;
        for (int j = 0; j < w && bases; ++j) bases = IsBase(win[j]);
        if (!bases) continue;
        double freq[4];
        if (m_set.bMaskLowComplexity && LowComplexity(win, w, freq)) continue;
        cell[2 * k] = CalLogMotifPr(win, pwm, w);
        if (m_set.bBothStrands) {
            // Reverse complement of the window, column j reads 3 - x[p - j].
            double r = 0.0;
            for (int j = 0; j < w; ++j) r += pwm[4 * j + 3 - x[p - j]];
            cell[2 * k + 1] = r;
        }
    }
    cell[2 * K] = PositionBgLog(s, g, p);
}

// ---------------------------------------------------------------- linear-space kernels

void CSerevan::PrepareEmissionTables()
{
    const int K = m_nMotifNum;
    // Nothing to do while the parameters are those of the last call: the tables and the
    // cached column sums stay valid across groups and from the forward to the backward pass.
    std::vector<double>& key = m_work.emisKeyNext;
    key.clear();
    key.push_back(m_nSpeciesNum);
    for (int k = 0; k < K; ++k) {
        key.push_back(m_par.m_pMotifWidth[k]);
        key.insert(key.end(), m_par.m_pPWM[k].begin(), m_par.m_pPWM[k].begin() + 4 * m_par.m_pMotifWidth[k]);
        for (int j = 0; j < m_par.m_pMotifWidth[k]; ++j)
            key.insert(key.end(), m_par.m_pMotifPhi[k][j].begin(), m_par.m_pMotifPhi[k][j].end());
    }
    key.insert(key.end(), m_par.m_pBg.begin(), m_par.m_pBg.begin() + 4);
    key.insert(key.end(), &m_par.m_dBgSubst[0][0], &m_par.m_dBgSubst[0][0] + 16);
    // Compared bit for bit (a NaN parameter never matches itself, and -0.0 differs from 0.0).
    if (m_work.emisGen != 0 && key.size() == m_work.emisKey.size() &&
        std::memcmp(key.data(), m_work.emisKey.data(), key.size() * sizeof(double)) == 0)
        return;
    m_work.emisKey.swap(key);
    m_work.emisOffset.resize(K);
    int cols = 0;
    for (int k = 0; k < K; ++k) {
        m_work.emisOffset[k] = cols;
        cols += m_par.m_pMotifWidth[k];
    }
    m_work.emisTheta.resize(4 * static_cast<size_t>(cols));
    m_work.emisPhiT.resize(16 * static_cast<size_t>(cols));
    for (int k = 0; k < K; ++k)
        for (int j = 0; j < m_par.m_pMotifWidth[k]; ++j) {
            const size_t c = static_cast<size_t>(m_work.emisOffset[k] + j);
            for (int a = 0; a < 4; ++a) m_work.emisTheta[4 * c + a] = std::exp(m_par.m_pPWM[k][4 * j + a]);
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b)
                    m_work.emisPhiT[16 * c + 4 * b + a] = std::exp(m_par.m_pMotifPhi[k][j][4 * a + b]);
        }
    for (int a = 0; a < 4; ++a) {
        m_work.emisBg[a] = std::exp(m_par.m_pBg[a]);
        for (int b = 0; b < 4; ++b) m_work.emisSubT[b][a] = std::exp(m_par.m_dBgSubst[a][b]);
        m_work.emisSubT[4][a] = 0.25;
    }
    m_work.emisPos.resize(std::max<size_t>(m_work.emisPos.size(), static_cast<size_t>(m_nSpeciesNum)));

    // A new generation invalidates every cached column sum at once.
    const int maxBlock = std::min(m_nSpeciesNum, static_cast<int>(kColCacheMaxBlock));
    size_t stride = 0;
    for (int n = 2; n <= maxBlock; ++n) stride += size_t{1} << (2 * n);
    m_work.colCacheStride = stride;
    const size_t need = stride * static_cast<size_t>(cols);
    if (m_work.colCache.size() < need) {
        m_work.colCache.assign(need, 0.0);
        m_work.colStamp.assign(need, 0);
        m_work.emisGen = 0;
    }
    if (++m_work.emisGen == 0) {  // wrapped: clear the stamps so no entry looks current
        std::fill(m_work.colStamp.begin(), m_work.colStamp.end(), 0);
        m_work.emisGen = 1;
    }
}

double CSerevan::FastAlignedBgEmission(int n, const int* species, const int* pos, int g)
{
    const double* prior = AncestralBgLin(species[0], pos[0], g, m_work.emisBg);
    double v[4] = {prior[0], prior[1], prior[2], prior[3]};
    for (int i = 0; i < n; ++i) {
        const int b = m_pSeq[species[i]][g][pos[i]];
        const double* sub = m_work.emisSubT[IsBase(b) ? b : 4];
        for (int a = 0; a < 4; ++a) v[a] *= sub[a];
    }
    const double sum = v[0] + v[1] + v[2] + v[3];
    if (!(sum > kLinTiny)) return AlignedBgEmission(n, species, pos, g);
    return std::log(sum);
}

// The aligned site probability as a product over columns of sum_a theta_j(a) prod_i phi_j(a, x_i),
// the same quantity CalMotifEmission sums in log space; a column too small for linear
// arithmetic hands the whole site to CalMotifEmission.
double CSerevan::FastMotifEmission(int k, int n, const int* species, const int* pos, int g)
{
    const int w = m_par.m_pMotifWidth[k];
    if (!SiteWindowsAreBases(w, n, species, pos, g)) return kLogZero;
    const size_t off = static_cast<size_t>(m_work.emisOffset[k]);
    const double* theta = m_work.emisTheta.data() + 4 * off;
    const double* phiT = m_work.emisPhiT.data() + 16 * off;
    double strand[2];
    for (int r = 0; r < (m_set.bBothStrands ? 2 : 1); ++r) {
        ColumnProduct product;
        for (int j = 0; j < w; ++j) {
            double v0 = theta[4 * j], v1 = theta[4 * j + 1], v2 = theta[4 * j + 2], v3 = theta[4 * j + 3];
            for (int i = 0; i < n; ++i) {
                const int* x = m_pSeq[species[i]][g];
                const int b = r == 0 ? x[pos[i] - w + 1 + j] : 3 - x[pos[i] - j];
                const double* P = phiT + 16 * j + 4 * b;
                v0 *= P[0];
                v1 *= P[1];
                v2 *= P[2];
                v3 *= P[3];
            }
            const double col = v0 + v1 + v2 + v3;
            if (!(col > kLinTiny)) return CalMotifEmission(k, n, species, pos, g);
            product.Times(col);
        }
        strand[r] = product.Log();
    }
    return m_set.bBothStrands ? LogSum(strand[0], strand[1]) + kStrandMeanLog : strand[0];
}

void CSerevan::PrepareNodeCodes(const ALIGNNODE* path, int g)
{
    const int nNode = PathNodeNum(path);
    m_work.nodeCode.resize(nNode);
    m_work.nodeRevCode.resize(nNode);
    m_work.nodeBaseRun.resize(nNode);
    m_work.codePath = path;
    m_work.codeGroup = g;
    if (nNode > 0) m_work.nodeCode[0] = m_work.nodeRevCode[0] = m_work.nodeBaseRun[0] = 0;
    for (int t = 1; t < nNode; ++t) {
        const ALIGNNODE& node = path[t];
        const std::vector<int>& B = node.block[node.movingBlock];
        const int n = static_cast<int>(B.size());
        int code = 0, rev = 0;
        bool bases = true;
        if (n <= kColCacheMaxBlock) {
            for (int i = n - 1; i >= 0; --i) {
                const int b = m_pSeq[B[i]][g][node.pos[B[i]] - 1];
                bases = bases && IsBase(b);
                code = 4 * code + (b & 3);
                rev = 4 * rev + (3 - (b & 3));
            }
        }
        // As slots of a column of the cache: tuples of n bases follow those of 2 .. n-1.
        const int before = n >= 2 && n <= kColCacheMaxBlock ? ((1 << (2 * n)) - 16) / 3 : 0;
        m_work.nodeCode[t] = before + code;
        m_work.nodeRevCode[t] = before + rev;
        m_work.nodeBaseRun[t] = bases ? m_work.nodeBaseRun[t - 1] + 1 : 0;
    }
}

// FastMotifEmission for the site of motif k ending at node t of the path whose codes were
// prepared, for a moving block of 2..kColCacheMaxBlock species whose w nodes are free of
// change points: column j of the given strand is read at node t-w+1+j, column j of the
// reverse strand at node t-j, complemented. Same arithmetic, same value.
double CSerevan::CachedMotifEmission(int k, int t)
{
    const int w = m_par.m_pMotifWidth[k];
    if (m_work.nodeBaseRun[t] < w) return kLogZero;
    const size_t stride = m_work.colCacheStride;
    const size_t first = static_cast<size_t>(m_work.emisOffset[k]) * stride;
    const double* cache = m_work.colCache.data();
    const unsigned* stamp = m_work.colStamp.data();
    const unsigned gen = m_work.emisGen;
    const int* code = m_work.nodeCode.data() + (t - w + 1);
    const int* rev = m_work.nodeRevCode.data() + t;
    auto column = [&](size_t at) { return stamp[at] == gen ? cache[at] : ColumnSum(at, m_work.emisBlock); };
    if (m_set.bBothStrands) {
        // The two strands' products side by side (independent chains of multiplications).
        double p0 = 1.0, p1 = 1.0;
        bool small = false;
        for (int j = 0; j < w; ++j) {
            const size_t at = first + j * stride;
            const double c0 = column(at + static_cast<size_t>(code[j]));
            const double c1 = column(at + static_cast<size_t>(rev[-j]));
            if (!(c0 > kLinTiny) || !(c1 > kLinTiny)) return kNotCached;
            p0 *= c0;
            p1 *= c1;
            small = small || p0 < kLinRescale || p1 < kLinRescale;
        }
        // Both strands still linear: one logarithm of their sum.
        if (!small) return std::log(p0 + p1) + kStrandMeanLog;
    }
    ColumnProduct product[2];
    for (int r = 0; r < (m_set.bBothStrands ? 2 : 1); ++r)
        for (int j = 0; j < w; ++j) {
            const double col = column(first + j * stride + static_cast<size_t>(r == 0 ? code[j] : rev[-j]));
            if (!(col > kLinTiny)) return kNotCached;
            product[r].Times(col);
        }
    if (!m_set.bBothStrands) return product[0].Log();
    if (product[0].logAcc == 0.0 && product[1].logAcc == 0.0)
        return std::log(product[0].prod + product[1].prod) + kStrandMeanLog;
    return LogSum(product[0].Log(), product[1].Log()) + kStrandMeanLog;
}

// One column sum of an aligned site of n species, computed and stored at slot `at` of the
// cache; the arithmetic (products in block order, then the four terms added) is that of
// FastMotifEmission.
double CSerevan::ColumnSum(size_t at, int n)
{
    const size_t column = at / m_work.colCacheStride;
    const int code = static_cast<int>(at % m_work.colCacheStride) - ((1 << (2 * n)) - 16) / 3;
    const double* theta = m_work.emisTheta.data() + 4 * column;
    const double* phiT = m_work.emisPhiT.data() + 16 * column;
    double v0 = theta[0], v1 = theta[1], v2 = theta[2], v3 = theta[3];
    for (int i = 0; i < n; ++i) {
        const double* P = phiT + 4 * ((code >> (2 * i)) & 3);
        v0 *= P[0];
        v1 *= P[1];
        v2 *= P[2];
        v3 *= P[3];
    }
    const double col = v0 + v1 + v2 + v3;
    m_work.colCache[at] = col;
    m_work.colStamp[at] = m_work.emisGen;
    return col;
}

// CalculateEmissions with the admissibility run given and the linear-space kernels.
void CSerevan::NodeEmissions(double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode, int run)
{
    const int K = m_nMotifNum, stride = 2 * K + 1;
    const ALIGNNODE& node = path[t];
    const std::vector<int>& B = node.block[node.movingBlock];
    const int n = static_cast<int>(B.size());
    int* pos = m_work.emisPos.data();
    for (int i = 0; i < n; ++i) pos[i] = node.pos[B[i]] - 1;

    if (n == 1) {
        const double* cell = table[B[0]] + static_cast<size_t>(stride) * pos[0];
        if (mode != 1) emis[K] = cell[2 * K];
        if (mode == 0) return;
        for (int k = 0; k < K; ++k) {
            if (m_par.m_pMotifWidth[k] - 1 > run)
                emis[k] = kLogZero;
            else
                emis[k] = m_set.bBothStrands ? LogSum(cell[2 * k], cell[2 * k + 1]) + kStrandMeanLog : cell[2 * k];
        }
        return;
    }
    if (mode != 1) emis[K] = FastAlignedBgEmission(n, B.data(), pos, g);
    if (mode == 0) return;
    const bool cached = n <= kColCacheMaxBlock && path == m_work.codePath && g == m_work.codeGroup;
    m_work.emisBlock = n;
    for (int k = 0; k < K; ++k) {
        if (m_par.m_pMotifWidth[k] - 1 > run) {
            emis[k] = kLogZero;
            continue;
        }
        double v = cached ? CachedMotifEmission(k, t) : kNotCached;
        // A column too small for linear arithmetic (or no cached codes): the direct sum.
        if (v == kNotCached) v = FastMotifEmission(k, n, B.data(), pos, g);
        emis[k] = v;
    }
}

// NodeEmissions of the backward pass: the values the forward pass over the same path and
// group just computed, or computed afresh.
void CSerevan::StoredNodeEmissions(double* emis, double** table, const ALIGNNODE* path, int t, int g, int mode, int run)
{
    const int K = m_nMotifNum;
    if (path != m_work.storedEmisPath || g != m_work.storedEmisGroup) {
        NodeEmissions(emis, table, path, t, g, mode, run);
        return;
    }
    const double* e = m_work.storedEmis.data() + static_cast<size_t>(t) * (K + 1);
    if (mode != 1) emis[K] = e[K];
    if (mode != 0) std::copy(e, e + K, emis);
}

// ---------------------------------------------------------------- background terms and likelihood

const CMarkovBackground* CSerevan::OrderBackground() const
{
    return m_par.m_bgModel.Empty() ? nullptr : &m_par.m_bgModel;
}

const CMarkovBackground* CSerevan::GroupBackground(int g) const
{
    if (!m_par.m_groupBg.empty()) return &m_par.m_groupBg[g];
    return OrderBackground();
}

const double* CSerevan::AncestralBgLog(int species, int pos, int g) const
{
    const CMarkovBackground* order = GroupBackground(g);
    return order ? order->Log(m_par.m_bgContext[species][g][pos]) : m_par.m_pBg.data();
}

const double* CSerevan::AncestralBgLin(int species, int pos, int g, const double* linTable) const
{
    const CMarkovBackground* order = GroupBackground(g);
    return order ? order->Lin(m_par.m_bgContext[species][g][pos]) : linTable;
}

double CSerevan::SpeciesBaseBgLog(int s, int g, int pos) const
{
    const int b = m_pSeq[s][g][pos];
    if (!IsBase(b)) return kNoBaseBgLog;
    const CMarkovBackground* order = GroupBackground(g);
    return order ? order->Log(m_par.m_bgContext[s][g][pos])[b] : m_par.m_pSpeciesBg[s][b];
}

double CSerevan::PositionBgLog(int s, int g, int p) const
{
    const int* x = m_pSeq[s][g];
    if (!IsBase(x[p])) return kNoBaseBgLog;
    if (const CMarkovBackground* order = GroupBackground(g)) return order->Log(m_par.m_bgContext[s][g][p])[x[p]];
    if (p == 0) return m_par.m_pSpeciesBg[s][x[0]];
    return IsBase(x[p - 1]) ? m_par.m_pSpeciesBg[s][4 + 4 * x[p - 1] + x[p]] : kNoBaseBgLog;
}

double CSerevan::CalBgLikelihood(int g, const ALIGNNODE* path)
{
    const int nNode = PathNodeNum(path);
    double total = 0.0;
    m_work.emisPos.resize(std::max<size_t>(m_work.emisPos.size(), static_cast<size_t>(m_nSpeciesNum)));
    for (int t = 1; t < nNode; ++t) {
        const ALIGNNODE& node = path[t];
        const std::vector<int>& B = node.block[node.movingBlock];
        const int n = static_cast<int>(B.size());
        for (int i = 0; i < n; ++i) m_work.emisPos[i] = node.pos[B[i]] - 1;
        if (n >= 2) {
            total += AlignedBgEmission(n, B.data(), m_work.emisPos.data(), g);
        } else {
            total += SpeciesBaseBgLog(B[0], g, m_work.emisPos[0]);
        }
    }
    return total;
}
