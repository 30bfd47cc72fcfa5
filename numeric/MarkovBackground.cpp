// Background Markov model of order k: estimation, joint-frequency tables and lookups.
#include "numeric/MarkovBackground.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "numeric/SeqMotifBasic.h"

using serevan::IsBase;

namespace {

constexpr double kSmoothing = 4.0;  // weight of the lower order in an estimated context

// Counts every (o+1)-mer of one strand whose bases are all determined, for o = 0..order.
void CountStrand(const std::vector<int>& x, int order, std::vector<std::vector<double>>& count)
{
    const int L = static_cast<int>(x.size());
    for (int p = 0; p < L; ++p) {
        if (!IsBase(x[p])) continue;
        int ctx = 0;
        for (int o = 0; o <= order; ++o) {
            count[o][4 * ctx + x[p]] += 1.0;
            const int q = p - o - 1;  // the next farther base of the context
            if (o == order || q < 0 || !IsBase(x[q])) break;
            ctx += x[q] << (2 * o);
        }
    }
}

}  // namespace

void CMarkovBackground::Estimate(int order, const int* const* seqs, const int* lens, int nSeq)
{
    order = std::clamp(order, 0, kMaxOrder);
    std::vector<std::vector<double>> count(order + 1);
    for (int o = 0; o <= order; ++o) count[o].assign(size_t{4} << (2 * o), 0.0);
    std::vector<int> x;
    for (int i = 0; i < nSeq; ++i) {
        x.assign(seqs[i], seqs[i] + lens[i]);
        CountStrand(x, order, count);
        std::reverse(x.begin(), x.end());
        for (int& c : x) c = IsBase(c) ? 3 - c : -1;
        CountStrand(x, order, count);
    }
    m_order = order;
    m_lin.assign(OrderBase(order + 1), 0.0);
    for (int o = 0; o <= order; ++o) {
        for (int ctx = 0; ctx < (1 << (2 * o)); ++ctx) {
            const double* n = &count[o][4 * ctx];
            const double total = n[0] + n[1] + n[2] + n[3];
            double* out = &m_lin[OrderBase(o) + 4 * ctx];
            if (o == 0) {
                for (int b = 0; b < 4; ++b) out[b] = (n[b] + 1.0) / (total + 4.0);
                continue;
            }
            const double* lower = &m_lin[OrderBase(o - 1) + 4 * (ctx & ((1 << (2 * (o - 1))) - 1))];
            for (int b = 0; b < 4; ++b) out[b] = (n[b] + kSmoothing * lower[b]) / (total + kSmoothing);
        }
    }
    Finish();
}

void CMarkovBackground::SetFromJoint(const std::vector<std::vector<double>>& joint)
{
    const int order = std::min(static_cast<int>(joint.size()) - 1, kMaxOrder);
    m_order = order;
    if (order < 0) return;
    m_lin.assign(OrderBase(order + 1), 0.0);
    for (int o = 0; o <= order; ++o) {
        for (int ctx = 0; ctx < (1 << (2 * o)); ++ctx) {
            const double* f = &joint[o][4 * ctx];
            const double total = f[0] + f[1] + f[2] + f[3];
            double* out = &m_lin[OrderBase(o) + 4 * ctx];
            if (total > 0) {
                for (int b = 0; b < 4; ++b) out[b] = f[b] / total;
            } else {
                const double* lower =
                    o == 0 ? nullptr : &m_lin[OrderBase(o - 1) + 4 * (ctx & ((1 << (2 * (o - 1))) - 1))];
                for (int b = 0; b < 4; ++b) out[b] = lower ? lower[b] : 0.25;
            }
        }
    }
    Finish();
}

void CMarkovBackground::SetTable(int order, std::vector<double> lin)
{
    m_order = order;
    m_lin = std::move(lin);
    Finish();
}

CMarkovBackground CMarkovBackground::Tilted(const double weight[4]) const
{
    CMarkovBackground t;
    t.m_order = m_order;
    t.m_lin = m_lin;
    for (size_t at = 0; at + 3 < t.m_lin.size(); at += 4) {
        double z = 0.0;
        for (int b = 0; b < 4; ++b) z += (t.m_lin[at + b] *= weight[b]);
        for (int b = 0; b < 4; ++b) t.m_lin[at + b] = z > 0 ? t.m_lin[at + b] / z : 0.25;
    }
    t.Finish();
    return t;
}

std::vector<CMarkovBackground> CMarkovBackground::TiltedToGroups(
    const std::vector<std::vector<std::pair<const int*, int>>>& groups, double weight) const
{
    const size_t G = groups.size();
    std::vector<double> gc(G, 0.0), bases(G, 0.0);
    double gcAll = 0.0, basesAll = 0.0;
    for (size_t g = 0; g < G; ++g) {
        for (const auto& [seq, len] : groups[g])
            for (int p = 0; p < len; ++p) {
                if (!IsBase(seq[p])) continue;
                bases[g] += 1.0;
                gc[g] += seq[p] == 1 || seq[p] == 2 ? 1.0 : 0.0;
            }
        gcAll += gc[g];
        basesAll += bases[g];
    }
    const double share = basesAll > 0 ? gcAll / basesAll : 0.5;
    std::vector<CMarkovBackground> out;
    for (size_t g = 0; g < G; ++g) {
        const double local = (gc[g] + weight * share) / (bases[g] + weight);
        const double at = (1.0 - local) / (1.0 - share), cg = local / share;
        const double w[4] = {at, cg, cg, at};
        out.push_back(Tilted(w));
    }
    return out;
}

void CMarkovBackground::Finish()
{
    m_log.resize(m_lin.size());
    for (size_t i = 0; i < m_lin.size(); ++i) m_log[i] = m_lin[i] > 0 ? std::log(m_lin[i]) : serevan::kLogZero;
}

int CMarkovBackground::ContextOffset(const int* seq, int p) const
{
    int ctx = 0, o = 0;
    while (o < m_order && p - o - 1 >= 0 && IsBase(seq[p - o - 1])) {
        ctx += seq[p - o - 1] << (2 * o);
        ++o;
    }
    return OrderBase(o) + 4 * ctx;
}

double CMarkovBackground::PosLog(const int* seq, int p, double fallback) const
{
    return IsBase(seq[p]) ? m_log[ContextOffset(seq, p) + seq[p]] : fallback;
}

void CMarkovBackground::PosLogs(const int* seq, int len, double fallback, std::vector<double>& out) const
{
    out.resize(std::max(len, 0));
    for (int p = 0; p < len; ++p) out[p] = PosLog(seq, p, fallback);
}
