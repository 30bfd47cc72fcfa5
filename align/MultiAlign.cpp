// Template-based multiple alignment: merge columns, path building, CMultiAlignment.
#include "align/MultiAlign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

using serevan::IsBase;
using serevan::kLogQuarter;
using serevan::kLogZero;

// Each level: diagonal 1 - mu, transitions (A<->G, C<->T) 0.6 mu, transversions 0.2 mu, as logs.
#define SEREVAN_SUBST(d, ts, tv) d, tv, ts, tv, tv, d, tv, ts, ts, tv, d, tv, tv, ts, tv, d
const double PHI[80] = {
    SEREVAN_SUBST(-0.0101, -5.116, -6.2146),   // mu = 0.01
    SEREVAN_SUBST(-0.0513, -3.5066, -4.6052),  // mu = 0.05
    SEREVAN_SUBST(-0.1054, -2.8134, -3.912),   // mu = 0.10
    SEREVAN_SUBST(-0.1625, -2.4079, -3.5066),  // mu = 0.15
    SEREVAN_SUBST(-0.2231, -2.1203, -3.2189),  // mu = 0.20
};
const double PAM1[16] = {SEREVAN_SUBST(-0.0101, -5.116, -6.2146)};
#undef SEREVAN_SUBST

namespace {

constexpr int kTemplateDraws = 100;  // pair alignments per species for the template
constexpr int kConservedMin = 33;    // a residue is conserved above this many matches
constexpr int kTemplateLevel = 3;    // log-odds level used to find the template
constexpr int kBurnPasses = 5;       // refinement passes before paths are kept

// Substitution class of template base a against species base b: 0 transition, 1
// transversion, 2 identity (the order of the three counts).
inline int SubstClass(int a, int b)
{
    return a == b ? 2 : (a - b == 2 || b - a == 2) ? 0 : 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Merge columns and path building

void ClearHMMState(std::vector<HMMALIGNSTATE>& column, int L, int N)
{
    column.resize(static_cast<size_t>(L) + 1);
    for (HMMALIGNSTATE& c : column) {
        c.pos.assign(static_cast<size_t>(N), -1);
        c.matchNum = 0;
        c.insert.resize(static_cast<size_t>(N));
        for (std::vector<int>& list : c.insert) list.clear();
    }
}

bool AddPairPath(const std::vector<int>& pairPath, int s, HMMALIGNSTATE* column, int L)
{
    // Walking forward and appending gives each list the ascending order that front
    // insertion during a backward walk gives.
    int x = 0, y = 0;
    const int steps = pairPath.empty() ? 0 : pairPath[0];
    for (int k = 1; k <= steps; ++k) {
        const int state = pairPath[static_cast<size_t>(k)];
        if (state == 0) {
            ++x;
        } else if (state == 1) {
            ++y;
            column[x].insert[static_cast<size_t>(s)].push_back(y);
        } else {
            ++x;
            ++y;
            if (x > L) return false;
            column[x].pos[static_cast<size_t>(s)] = y;
            ++column[x].matchNum;
        }
        if (x > L) return false;
    }
    return true;
}

void SimplifyHMMState(HMMALIGNSTATE* column, int L, int N)
{
    // One ascending pass: a weak column's single match and its insertions go, in that order,
    // to the end of the lists of the nearest preceding strong column (or column 0). This is
    // the result of folding weak columns into their predecessor from the last one backward.
    int target = 0;
    for (int x = 1; x <= L; ++x) {
        HMMALIGNSTATE& c = column[x];
        if (c.matchNum >= 2) {
            target = x;
            continue;
        }
        HMMALIGNSTATE& to = column[target];
        for (int s = 0; s < N; ++s) {
            std::vector<int>& list = to.insert[static_cast<size_t>(s)];
            std::vector<int>& mine = c.insert[static_cast<size_t>(s)];
            if (c.pos[static_cast<size_t>(s)] >= 0) list.push_back(c.pos[static_cast<size_t>(s)]);
            list.insert(list.end(), mine.begin(), mine.end());
            mine.clear();
            c.pos[static_cast<size_t>(s)] = -1;
        }
        c.matchNum = 0;
    }
}

int CountPathNodes(const HMMALIGNSTATE* column, int L, int N)
{
    int n = 1;
    for (int x = 0; x <= L; ++x) {
        n += column[x].matchNum > 0;
        for (int s = 0; s < N; ++s) n += static_cast<int>(column[x].insert[static_cast<size_t>(s)].size());
    }
    return n;
}

bool HMMTransToPath(const HMMALIGNSTATE* column, int L, int N, ALIGNNODE* path, int nNode)
{
    InitStartNode(path[0], N, nNode);
    auto advance = std::make_unique<bool[]>(static_cast<size_t>(N));
    int i = 1;
    for (int x = 0; x <= L; ++x) {
        const HMMALIGNSTATE& c = column[x];
        if (c.matchNum > 0) {
            if (i >= nNode) return false;
            path[i].pos = path[i - 1].pos;
            int nAdvance = 0;
            for (int s = 0; s < N; ++s) {
                advance[s] = c.pos[static_cast<size_t>(s)] >= 0;
                if (advance[s]) {
                    path[i].pos[static_cast<size_t>(s)] = c.pos[static_cast<size_t>(s)];
                    ++nAdvance;
                }
            }
            if (!SetPathBlock(path, i, advance.get(), nAdvance, N)) return false;
            ++i;
        }
        for (int s = 0; s < N; ++s) {
            for (int p : c.insert[static_cast<size_t>(s)]) {
                if (i >= nNode) return false;
                path[i].pos = path[i - 1].pos;
                path[i].pos[static_cast<size_t>(s)] = p;
                std::fill(advance.get(), advance.get() + N, false);
                advance[s] = true;
                if (!SetPathBlock(path, i, advance.get(), 1, N)) return false;
                ++i;
            }
        }
    }
    return i == nNode;
}

bool BuildPathFromColumns(HMMALIGNSTATE* column, int L, int N, ALIGNPATH& path)
{
    SimplifyHMMState(column, L, N);
    const int nNode = CountPathNodes(column, L, N);
    path.assign(static_cast<size_t>(nNode), ALIGNNODE());
    if (!HMMTransToPath(column, L, N, path.data(), nNode)) return false;
    SetChangePoints(path.data(), nNode, N);
    SetLegitimateState(path.data(), nNode, N);
    return true;
}

// ---------------------------------------------------------------------------------------
// CMultiAlignment

CMultiAlignment::CMultiAlignment()
{
    std::copy(QMATRIX, QMATRIX + 9, m_dQ);
    for (int k = 0; k < 5; ++k)
        for (int t = 0; t < 16; ++t) m_dPhi[k][t] = PHI[16 * k + t] - kLogQuarter;
}

bool CMultiAlignment::Fail(const std::string& text)
{
    m_sError = text;
    return false;
}

void CMultiAlignment::InputSequences(const int* const* seq, const int* len, int N)
{
    m_nSeqNum = std::max(N, 0);
    m_pSeq.assign(static_cast<size_t>(m_nSeqNum), std::vector<int>());
    m_pSeqLen.assign(static_cast<size_t>(m_nSeqNum), 0);
    for (int s = 0; s < m_nSeqNum; ++s) {
        const int n = std::max(len[s], 0);
        m_pSeqLen[static_cast<size_t>(s)] = n;
        m_pSeq[static_cast<size_t>(s)].assign(seq[s], seq[s] + n);
    }
}

void CMultiAlignment::SetTemplate(const int* tmpl, int len)
{
    const int n = std::max(len, 0);
    m_nTemplateNum = 1;
    m_pTemplate.assign(1, std::vector<int>(tmpl, tmpl + n));
    m_pTemplateLen.assign(1, n);
}

double CMultiAlignment::TemplateBuildBytes(int ref) const
{
    if (ref < 0 || ref >= m_nSeqNum) return 0.0;
    double most = 0.0;
    for (int s = 0; s < m_nSeqNum; ++s)  // s = ref too: the template against the reference itself
        most = std::max(most, PairTableBytes(m_pSeqLen[static_cast<size_t>(ref)], m_pSeqLen[static_cast<size_t>(s)]));
    return most;
}

double CMultiAlignment::TemplateAlignBytes(int t) const
{
    if (t < 0 || t >= m_nTemplateNum) return 0.0;
    double most = 0.0;
    for (int s = 0; s < m_nSeqNum; ++s)
        most =
            std::max(most, PairTableBytes(m_pTemplateLen[static_cast<size_t>(t)], m_pSeqLen[static_cast<size_t>(s)]));
    return most;
}

int CMultiAlignment::LongestSeq() const
{
    int longest = 0;
    for (int s = 0; s < m_nSeqNum; ++s) longest = std::max(longest, m_pSeqLen[static_cast<size_t>(s)]);
    return longest;
}

bool CMultiAlignment::CheckMemory(int ref, std::string& msg) const
{
    const double bytes = TemplateBuildBytes(ref);
    if (bytes <= kPairTableLimitBytes) return true;
    const int longest = LongestSeq();
    char text[200];
    std::snprintf(text, sizeof text,
                  "alignment needs %.2f GiB for sequences of up to %d residues, more than the limit of %.0f GiB",
                  bytes / 1073741824.0, longest, kPairTableLimitBytes / 1073741824.0);
    msg = text;
    return false;
}

bool CMultiAlignment::CheckTableBytes(double bytes, int len1, int len2)
{
    if (bytes <= kPairTableLimitBytes) return true;
    char text[200];
    std::snprintf(text, sizeof text, "alignment of %d and %d residues needs %.2f GiB, more than the limit of %.0f GiB",
                  len1, len2, bytes / 1073741824.0, kPairTableLimitBytes / 1073741824.0);
    return Fail(text);
}

bool CMultiAlignment::ValidTemplate(int t)
{
    if (t >= 0 && t < m_nTemplateNum) return true;
    return Fail("no template " + std::to_string(t) + " to align against");
}

bool CMultiAlignment::GenerateTemplates(CRandomStream& rng, int ref)
{
    if (ref < 0 || ref >= m_nSeqNum) return Fail("reference species " + std::to_string(ref) + " out of range");
    const int refLen = m_pSeqLen[static_cast<size_t>(ref)];
    // Refuse before any work if some pair (or a later alignment to the template) is too large.
    std::string msg;
    if (!CheckMemory(ref, msg)) return Fail(msg);

    std::vector<int> most(static_cast<size_t>(refLen), 0), count(static_cast<size_t>(refLen));
    for (int j = 0; j < m_nSeqNum; ++j) {
        if (j == ref) continue;
        if (!QPhiAlign(rng, m_pSeq[static_cast<size_t>(ref)].data(), m_pSeq[static_cast<size_t>(j)].data(), refLen,
                       m_pSeqLen[static_cast<size_t>(j)], m_dQ, m_dPhi[kTemplateLevel], kTemplateDraws, count.data(),
                       nullptr, 0, nullptr, &m_sError, &m_table))
            return false;
        for (int p = 0; p < refLen; ++p)
            most[static_cast<size_t>(p)] = std::max(most[static_cast<size_t>(p)], count[static_cast<size_t>(p)]);
    }
    std::vector<int> tmpl;
    for (int p = 0; p < refLen; ++p)
        if (most[static_cast<size_t>(p)] > kConservedMin)
            tmpl.push_back(m_pSeq[static_cast<size_t>(ref)][static_cast<size_t>(p)]);
    m_nTemplateNum = 1;
    m_pTemplateLen.assign(1, static_cast<int>(tmpl.size()));
    m_pTemplate.assign(1, std::move(tmpl));
    return true;
}

void CMultiAlignment::UpdatePhi(int level, const int* subst)
{
    const double total = static_cast<double>(subst[0]) + subst[1] + subst[2];
    if (level < 0 || level > 4 || !(total > 0.0)) return;
    // A class never seen gets log zero rather than -inf.
    auto logOdds = [&](double p) { return p > 0.0 ? std::log(p) - kLogQuarter : kLogZero; };
    const double ts = logOdds(subst[0] / total);
    const double tv = logOdds(subst[1] * 0.5 / total);
    const double id = logOdds(subst[2] / total);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            const int cls = SubstClass(a, b);
            m_dPhi[level][4 * a + b] = cls == 2 ? id : cls == 0 ? ts : tv;
        }
}

void CMultiAlignment::UpdateTemplate(CRandomStream& rng, const int* colCount, int t)
{
    if (t < 0 || t >= m_nTemplateNum) return;
    CStochasticDistribution rnd(rng);
    std::vector<int>& tmpl = m_pTemplate[static_cast<size_t>(t)];
    double w[4];
    for (size_t p = 0; p < tmpl.size(); ++p) {
        for (int a = 0; a < 4; ++a) {
            w[a] = 0.0;
            for (int b = 0; b < 4; ++b) w[a] += colCount[4 * p + static_cast<size_t>(b)] * PAM1[4 * a + b];
        }
        tmpl[p] = rnd.Discrete(w, 4);
    }
}

bool CMultiAlignment::ProduceAlignments(CRandomStream& rng, int t, int level, int nAlign, ALIGNPATH* paths)
{
    if (!ValidTemplate(t)) return false;
    if (level < 0 || level > 4) return Fail("substitution level " + std::to_string(level) + " out of range");
    if (nAlign < 0 || (nAlign > 0 && !paths)) return Fail("no room for the requested alignments");
    const int L = m_pTemplateLen[static_cast<size_t>(t)];
    const int N = m_nSeqNum;
    if (!CheckTableBytes(TemplateAlignBytes(t), L, LongestSeq())) return false;

    std::vector<int> colCount(4 * static_cast<size_t>(L));
    std::vector<HMMALIGNSTATE> column;
    std::vector<int> pairPath;
    for (int r = 0; r < nAlign + kBurnPasses; ++r) {
        const bool keep = r >= kBurnPasses;
        std::fill(colCount.begin(), colCount.end(), 0);
        int subst[3] = {1, 1, 1};  // pseudocount of one per class
        if (keep) ClearHMMState(column, L, N);
        for (int s = 0; s < N; ++s) {
            const std::vector<int>& tmpl = m_pTemplate[static_cast<size_t>(t)];
            const std::vector<int>& seq = m_pSeq[static_cast<size_t>(s)];
            if (!QPhiAlign(rng, tmpl.data(), seq.data(), L, m_pSeqLen[static_cast<size_t>(s)], m_dQ, m_dPhi[level], 1,
                           nullptr, nullptr, 1, &pairPath, &m_sError, &m_table))
                return false;
            int x = 0, y = 0;
            for (int k = 1; k <= pairPath[0]; ++k) {
                const int state = pairPath[static_cast<size_t>(k)];
                x += state != 1;
                y += state != 0;
                if (state != 2) continue;
                if (x > L) return Fail("internal error: UpdateAlignCount error!");
                const int a = tmpl[static_cast<size_t>(x) - 1], b = seq[static_cast<size_t>(y) - 1];
                if (!IsBase(b)) continue;
                ++colCount[4 * (static_cast<size_t>(x) - 1) + static_cast<size_t>(b)];
                if (IsBase(a)) ++subst[SubstClass(a, b)];
            }
            if (keep && !AddPairPath(pairPath, s, column.data(), L))
                return Fail("internal error: UpdateAlignCount error!");
        }
        UpdatePhi(level, subst);
        UpdateTemplate(rng, colCount.data(), t);
        if (keep && !BuildPathFromColumns(column.data(), L, N, paths[r - kBurnPasses]))
            return Fail("internal error: merged columns do not form a path");
    }
    return true;
}

bool CMultiAlignment::ProduceIndAlign(CRandomStream& rng, int t, const double* phi, int nAlign, ALIGNPATH* paths,
                                      double* score, int* subst)
{
    if (!ValidTemplate(t)) return false;
    if (nAlign < 0 || (nAlign > 0 && (!paths || !score || !subst || !phi)))
        return Fail("no room for the requested alignments");
    if (nAlign == 0) return true;
    const int L = m_pTemplateLen[static_cast<size_t>(t)];
    const int N = m_nSeqNum;
    if (!CheckTableBytes(TemplateAlignBytes(t), L, LongestSeq())) return false;
    const std::vector<int>& tmpl = m_pTemplate[static_cast<size_t>(t)];

    // All draws of species 0 come from one forward table, then those of species 1, and so on;
    // the r-th draws of all species form alignment r.
    std::vector<std::vector<std::vector<int>>> pairPath(static_cast<size_t>(N),
                                                        std::vector<std::vector<int>>(static_cast<size_t>(nAlign)));
    for (int s = 0; s < N; ++s)
        if (!QPhiAlign(rng, tmpl.data(), m_pSeq[static_cast<size_t>(s)].data(), L, m_pSeqLen[static_cast<size_t>(s)],
                       m_dQ, phi, nAlign, nullptr, nullptr, nAlign, pairPath[static_cast<size_t>(s)].data(), &m_sError,
                       &m_table))
            return false;

    std::vector<HMMALIGNSTATE> column;
    for (int r = 0; r < nAlign; ++r) {
        ClearHMMState(column, L, N);
        for (int s = 0; s < N; ++s)
            if (!AddPairPath(pairPath[static_cast<size_t>(s)][static_cast<size_t>(r)], s, column.data(), L))
                return Fail("internal error: pair alignment step beyond the template");
        // Score and counts before weak columns are folded. A species residue that is not a
        // base adds nothing: no count, no score term.
        int* cnt = subst + 3 * r;
        cnt[0] = cnt[1] = cnt[2] = 0;
        double sum = 0.0;
        for (int x = 1; x <= L; ++x) {
            const int a = tmpl[static_cast<size_t>(x) - 1];
            if (!IsBase(a)) continue;
            for (int s = 0; s < N; ++s) {
                const int y = column[static_cast<size_t>(x)].pos[static_cast<size_t>(s)];
                if (y < 0) continue;
                const int b = m_pSeq[static_cast<size_t>(s)][static_cast<size_t>(y) - 1];
                if (!IsBase(b)) continue;
                sum += phi[4 * a + b];
                ++cnt[SubstClass(a, b)];
            }
        }
        score[r] = sum;
        if (!BuildPathFromColumns(column.data(), L, N, paths[r]))
            return Fail("internal error: merged columns do not form a path");
    }
    return true;
}
