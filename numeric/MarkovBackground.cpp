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

// Counts one sequence on both strands (a promoter set has no preferred strand); x is scratch.
void CountBothStrands(const int* seq, int len, int order, std::vector<std::vector<double>>& count, std::vector<int>& x)
{
    x.assign(seq, seq + len);
    CountStrand(x, order, count);
    std::reverse(x.begin(), x.end());
    for (int& c : x) c = IsBase(c) ? 3 - c : -1;
    CountStrand(x, order, count);
}

}  // namespace

void CMarkovBackground::Estimate(int order, const int* const* seqs, const int* lens, int nSeq)
{
    order = std::clamp(order, 0, kMaxOrder);
    std::vector<std::vector<double>> count(order + 1);
    for (int o = 0; o <= order; ++o) count[o].assign(size_t{4} << (2 * o), 0.0);
    std::vector<int> x;
    for (int i = 0; i < nSeq; ++i) CountBothStrands(seqs[i], lens[i], order, count, x);
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

std::vector<CMarkovBackground> CMarkovBackground::LocalToGroups(
    const std::vector<std::vector<std::pair<const int*, int>>>& groups, double weight) const
{
    std::vector<CMarkovBackground> out;
    std::vector<int> x;
    for (const auto& members : groups) {
        std::vector<std::vector<double>> count(m_order + 1);
        for (int o = 0; o <= m_order; ++o) count[o].assign(size_t{4} << (2 * o), 0.0);
        for (const auto& [seq, len] : members) CountBothStrands(seq, len, m_order, count, x);
        CMarkovBackground local;
        local.m_order = m_order;
        local.m_lin = m_lin;
        for (int o = 0; o <= m_order; ++o)
            for (int ctx = 0; ctx < (1 << (2 * o)); ++ctx) {
                const double* n = &count[o][4 * ctx];
                const double total = n[0] + n[1] + n[2] + n[3];
                double* p = &local.m_lin[OrderBase(o) + 4 * ctx];
                for (int b = 0; b < 4; ++b) p[b] = (n[b] + weight * p[b]) / (total + weight);
            }
        local.Finish();
        out.push_back(std::move(local));
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
