// Forward-backward initial motif sampler: starting motifs found in the conserved templates.
//
// Sections: position scores (CalLogPrPos); forward summation; backward sampling;
// parameter update; width choice (FBAdjustMotifWidth); the driver (KFBSampler).
// The model and its tables are described in KFBSampler.md.
#include "motif/GMSampler.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "base/Progress.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"
#include "numeric/VectorKernel.h"

using serevan::IsBase;
using serevan::kLogZero;
using serevan::kNoBaseBgLog;
using serevan::kStrandMeanLog;

namespace {

constexpr int kRestarts = 10;     // independent starts from uniform matrices
constexpr int kIterations = 100;  // sampling/update rounds per start

// Sum of the matrix entries of the window seq[start .. start+w-1] read on the forward strand.
// Adds in column order from 0.0, exactly as CalLogMotifPr does.
double ForwardWindowScore(const int* seq, int start, const double* m, int w)
{
    double r = 0.0;
    for (int j = 0; j < w; ++j) r += m[4 * j + seq[start + j]];
    return r;
}

// The same for the reverse complement of the window: column j holds the complement of the
// base at start + w - 1 - j. Adds in column order, so the value equals CalLogMotifPr of the
// window after Reverse.
double ReverseWindowScore(const int* seq, int start, const double* m, int w)
{
    double r = 0.0;
    const int* last = seq + start + w - 1;
    for (int j = 0; j < w; ++j) r += m[4 * j + 3 - last[-j]];
    return r;
}

// Background value of position i: first-order, conditioned on the previous base even inside a
// site (zero-order at the first position), or the order model's value given the bases before.
double PositionBgLog(const int* seq, int i, const double* bg, const CMarkovBackground* order)
{
    if (order && !order->Empty()) return order->PosLog(seq, i, kNoBaseBgLog);
    if (i == 0) return IsBase(seq[0]) ? bg[seq[0]] : kNoBaseBgLog;
    return IsBase(seq[i - 1]) && IsBase(seq[i]) ? bg[4 + 4 * seq[i - 1] + seq[i]] : kNoBaseBgLog;
}

// The backward walk of both samplers: pick(i) draws the segment type ending at i (K for
// background), isForward(i, t) the strand of a site of motif t ending there. Each site is
// pushed at the front of its list and its bases counted in its own orientation.
template <class Pick, class Strand>
void WalkBack(const int* seq, int len, int seqIndex, const int* width, int K, std::vector<std::vector<int>>& count,
              int* siteNum, std::vector<SITELIST>& siteList, Pick pick, Strand isForward)
{
    int i = len - 1;
    while (i >= 0) {
        const int t = pick(i);
        const int w = t < K ? width[t] : 0;
        // A site that cannot end here has weight zero and is only returned when every weight
        // is zero, which a finite background never allows; take it as background.
        if (t == K || w < 1 || w - 1 > i) {
            siteNum[K] += 1;
            i -= 1;
            continue;
        }
        const int start = i - w + 1;
        const bool forward = isForward(i, t);
        siteList[t].push_front(SITEPOS{seqIndex, start, forward});
        siteNum[t] += 1;
        int* c = count[t].data();
        for (int j = 0; j < w; ++j) {
            // Column j of the site as read on its strand.
            const int b = forward ? seq[start + j] : (IsBase(seq[i - j]) ? 3 - seq[i - j] : -1);
            if (IsBase(b)) c[4 * j + b] += 1;
        }
        i -= w;
    }
}

// 2^n for the exponents the scaled tables use, exact; ldexp outside the normal range.
inline double Pow2(int n)
{
    if (n < -1022 || n > 1023) return std::ldexp(1.0, n);
    return std::bit_cast<double>(static_cast<std::uint64_t>(n + 1023) << 52);
}

}  // namespace

// ---- position scores ----

void CalLogPrPos(double* P, const int* seq, int len, const std::vector<std::vector<double>>& pwm, int /*seqIndex*/,
                 const int* width, int K, const double* bg, bool bothStrands, const CMarkovBackground* order)
{
    const int stride = 2 * K + 1;
    int lastNoBase = -1;  // latest position before or at i that holds no base
    for (int i = 0; i < len; ++i) {
        double* row = P + static_cast<size_t>(i) * stride;
        if (!IsBase(seq[i])) lastNoBase = i;
        for (int k = 0; k < K; ++k) {
            const int w = width[k];
            const int start = i - w + 1;
            // A window starting before the sequence, or holding no base, has no score.
            if (w < 1 || start < 0 || lastNoBase >= start) {
                row[2 * k] = kLogZero;
                row[2 * k + 1] = kLogZero;
                continue;
            }
            const double* m = pwm[k].data();
            row[2 * k] = ForwardWindowScore(seq, start, m, w);
            row[2 * k + 1] = bothStrands ? ReverseWindowScore(seq, start, m, w) : kLogZero;
        }
        row[2 * K] = PositionBgLog(seq, i, bg, order);
    }
}

// ---- forward summation ----

double ForwardSummation(double* F, const double* P, const double* logPr, int len, const int* width, int K,
                        bool bothStrands)
{
    if (len <= 0) return 0.0;  // the empty sequence has one (empty) segmentation
    const int fs = K + 2;
    const int ps = 2 * K + 1;
    for (int i = 0; i < len; ++i) {
        double* f = F + static_cast<size_t>(i) * fs;
        const double* p = P + static_cast<size_t>(i) * ps;
        double total = kLogZero;
        for (int k = 0; k < K; ++k) {
            const int w = width[k];
            if (w < 1 || w - 1 > i) {
                f[k] = kLogZero;
            } else {
                double site =
                    bothStrands ? logPr[k] + kStrandMeanLog + LogSum(p[2 * k], p[2 * k + 1]) : logPr[k] + p[2 * k];
                if (i > w - 1) site += F[static_cast<size_t>(i - w) * fs + K + 1];
                f[k] = site;
            }
            total = LogSum(total, f[k]);
        }
        f[K] = p[2 * K] + logPr[K];
        if (i > 0) f[K] += F[static_cast<size_t>(i - 1) * fs + K + 1];
        f[K + 1] = LogSum(total, f[K]);
    }
    return F[static_cast<size_t>(len - 1) * fs + K + 1];
}

// ---- backward sampling ----

void BackwardSampling(CRandomStream& rng, double* F, const double* P, const int* seq, int len, int seqIndex,
                      const int* width, int K, std::vector<std::vector<int>>& count, int* siteNum,
                      std::vector<SITELIST>& siteList)
{
    CStochasticDistribution draw(rng);
    const int fs = K + 2;
    const int ps = 2 * K + 1;
    WalkBack(
        seq, len, seqIndex, width, K, count, siteNum, siteList,
        [&](int i) { return draw.Discrete(F + static_cast<size_t>(i) * fs, K + 1); },
        [&](int i, int t) {
            const double* p = P + static_cast<size_t>(i) * ps;
            double strand[2] = {p[2 * t], p[2 * t + 1]};
            return draw.Discrete(strand, 2) != 1;
        });
}

// ---- the same passes in scaled linear space ----

void KfbLinearBackground(double* bgLin, const int* seq, int len, const double* bg, const CMarkovBackground* order)
{
    for (int i = 0; i < len; ++i) bgLin[i] = std::exp(PositionBgLog(seq, i, bg, order));
}

namespace {

// out[t] = product over columns j of the window starting at t, read forward (column j holds
// code[t + j]) or as the reverse complement (column j holds 3 - code[t + w - 1 - j]); the
// factors are multiplied in column order from 1, as a scalar loop would. code holds bases
// only (0..3). Vectorised over t: a column's factor is chosen by comparisons, not loads.
SEREVAN_VECTOR_KERNEL
void WindowProducts(const int* __restrict code, int n, const double* __restrict m, int w, bool reverse,
                    double* __restrict out)
{
    for (int t = 0; t < n; ++t) out[t] = 1.0;
    for (int j = 0; j < w; ++j) {
        const double* c = m + 4 * j;
        const double d0 = reverse ? c[3] : c[0], d1 = reverse ? c[2] : c[1], d2 = reverse ? c[1] : c[2],
                     d3 = reverse ? c[0] : c[3];
        const int* x = code + (reverse ? w - 1 - j : j);
        for (int t = 0; t < n; ++t) {
            const int b = x[t];
            out[t] *= b == 0 ? d0 : b == 1 ? d1 : b == 2 ? d2 : d3;
        }
    }
}

}  // namespace

void KfbLinearCodes(int* code, const int* seq, int len)
{
    for (int i = 0; i < len; ++i) code[i] = IsBase(seq[i]) ? seq[i] : 0;
}

bool KfbLinearScores(double* PL, const int* seq, const int* code, int len,
                     const std::vector<std::vector<double>>& linPwm, const int* width, int K, bool bothStrands)
{
    bool exact = true;
    for (int k = 0; k < K; ++k) {
        double* f = PL + static_cast<size_t>(2 * k) * len;
        double* r = f + len;
        const int w = width[k];
        std::fill(f, f + len, 0.0);
        std::fill(r, r + len, 0.0);
        if (w < 1 || w > len) continue;
        // Window starting at t ends at i = t + w - 1.
        WindowProducts(code, len - w + 1, linPwm[k].data(), w, false, f + w - 1);
        if (bothStrands) WindowProducts(code, len - w + 1, linPwm[k].data(), w, true, r + w - 1);
        // Windows holding a residue that is not a base have probability 0; a window of bases
        // whose product came out 0 has underflowed (or meets a zero matrix entry).
        int lastNoBase = -1;
        for (int i = 0; i < len; ++i) {
            if (!IsBase(seq[i])) lastNoBase = i;
            if (i < w - 1) continue;
            if (lastNoBase >= i - w + 1)
                f[i] = r[i] = 0.0;
            else
                exact = exact && f[i] > 0.0 && (!bothStrands || r[i] > 0.0);
        }
    }
    return exact;
}

double KfbLinearForward(double* F, int* E, const double* PL, const double* bgLin, const double* pr, int len,
                        const int* width, int K, bool bothStrands)
{
    if (len <= 0) return 0.0;
    const int fs = K + 2;
    const double strandMean = std::exp(kStrandMeanLog);
    for (int i = 0; i < len; ++i) {
        double* f = F + static_cast<size_t>(i) * fs;
        // The total up to i-w is a mantissa times 2^E[i-w] (1 for the empty prefix). Row i
        // is kept relative to 2^(E[i-1] + top), top the largest exponent step among its
        // terms, so that no term exceeds the range of a double however small the totals
        // between i-w and i-1 became.
        const int base = i > 0 ? E[i - 1] : 0;
        auto step = [&](int w) { return i > w - 1 ? E[i - w] - base : -base; };
        // Site weights first (held in f), then the largest step among the possible sites.
        int top = 0;
        for (int k = 0; k < K; ++k) {
            const int w = width[k];
            f[k] = 0.0;
            if (w < 1 || w - 1 > i) continue;
            const double fw = PL[static_cast<size_t>(2 * k) * len + i],
                         rv = PL[static_cast<size_t>(2 * k + 1) * len + i];
            f[k] = bothStrands ? pr[k] * strandMean * (fw + rv) : pr[k] * fw;
            if (f[k] > 0.0) top = std::max(top, step(w));
        }
        double total = 0.0;
        for (int k = 0; k < K; ++k) {
            const int w = width[k];
            if (f[k] > 0.0)
                f[k] *= (i > w - 1 ? F[static_cast<size_t>(i - w) * fs + K + 1] : 1.0) * Pow2(step(w) - top);
            total += f[k];
        }
        f[K] = pr[K] * bgLin[i] * (i > 0 ? F[static_cast<size_t>(i - 1) * fs + K + 1] : 1.0) * Pow2(-top);
        total += f[K];
        int e = 0;
        f[K + 1] = std::frexp(total, &e);
        E[i] = base + top + e;
    }
    return std::log(F[static_cast<size_t>(len - 1) * fs + K + 1]) + E[len - 1] * std::log(2.0);
}

void KfbLinearBackward(CRandomStream& rng, double* F, const double* PL, const int* seq, int len, int seqIndex,
                       const int* width, int K, std::vector<std::vector<int>>& count, int* siteNum,
                       std::vector<SITELIST>& siteList)
{
    CStochasticDistribution draw(rng);
    const int fs = K + 2;
    WalkBack(
        seq, len, seqIndex, width, K, count, siteNum, siteList,
        [&](int i) { return draw.DiscreteLinear(F + static_cast<size_t>(i) * fs, K + 1); },
        [&](int i, int t) {
            const double strand[2] = {PL[static_cast<size_t>(2 * t) * len + i],
                                      PL[static_cast<size_t>(2 * t + 1) * len + i]};
            return draw.DiscreteLinear(strand, 2) != 1;
        });
}

// ---- parameter update ----

void UpdateParameter(double* logPr, std::vector<std::vector<double>>& pwm, const int* siteNum,
                     const std::vector<std::vector<int>>& count, int K, const int* width)
{
    double total = 0.0;
    for (int k = 0; k <= K; ++k) total += siteNum[k];
    const double logDenominator = std::log(total + 2.0);
    for (int k = 0; k <= K; ++k) logPr[k] = std::log(siteNum[k] + 0.5) - logDenominator;
    for (int k = 0; k < K; ++k) {
        const int* c = count[k].data();
        double* m = pwm[k].data();
        for (int j = 0; j < width[k]; ++j) {
            const int n = c[4 * j] + c[4 * j + 1] + c[4 * j + 2] + c[4 * j + 3];
            const double logRow = std::log(n + 2.0);
            for (int b = 0; b < 4; ++b) m[4 * j + b] = std::log(c[4 * j + b] + 0.5) - logRow;
        }
    }
}

// ---- width choice ----

void FBAdjustMotifWidth(const int* const* seqs, const int* lens, int nSeq, const double* bg, int K,
                        const std::vector<SITELIST>& siteList, std::vector<std::vector<double>>& pwm, int* width,
                        int minWidth, int maxWidth, bool bothStrands, const CMarkovBackground* order)
{
    if (order && order->Empty()) order = nullptr;
    // Bounds that admit at least one window: widths are at least 1 and W at least w_min.
    const int wMin = std::max(1, minWidth);
    const int W = std::max(maxWidth, wMin);
    if (static_cast<int>(pwm.size()) < K) pwm.resize(K);

    std::vector<int> ext(4 * static_cast<size_t>(W));
    std::vector<double> extBg(order ? W : 0);  // background cost of each column's bases
    std::vector<double> score(W);
    std::vector<int> window(W);
    for (int k = 0; k < K; ++k) {
        std::fill(ext.begin(), ext.end(), 0);
        std::fill(extBg.begin(), extBg.end(), 0.0);
        for (const SITEPOS& site : siteList[k]) {
            if (site.seq < 0 || site.seq >= nSeq) continue;
            const int L = lens[site.seq];
            const int pad = (W - width[k]) / 2;
            const int e = site.pos - pad;  // first column of the extended window
            const int from = std::max(e, 0);
            const int to = std::min(L - 1, e + W - 1);
            const int n = to - from + 1;
            if (n <= 0) continue;
            Middle(seqs[site.seq], window.data(), from, n);
            const bool reverse = bothStrands && !site.forward;
            int offset;
            if (reverse) {
                Reverse(window.data(), n);
                offset = std::max(0, e + W - L);
            } else {
                offset = std::max(0, -e);
            }
            for (int j = 0; j < n; ++j)
                if (IsBase(window[j])) {
                    ext[4 * (offset + j) + window[j]] += 1;
                    if (order) extBg[offset + j] += order->PosLog(seqs[site.seq], reverse ? to - j : from + j, 0.0);
                }
        }

        for (int r = 0; r < W; ++r) {
            const int* c = &ext[4 * r];
            const int n = c[0] + c[1] + c[2] + c[3];
            double s = -logGamma(n + 4);
            for (int b = 0; b < 4; ++b) s += logGamma(c[b] + 1);
            if (order)
                s -= extBg[r];
            else
                for (int b = 0; b < 4; ++b) s -= c[b] * bg[b];
            score[r] = s;
        }

        // Best window: strictly greater sums only, so ties keep the smallest start, then width.
        double best = kLogZero;
        int bestStart = 0;
        int bestWidth = wMin;
        for (int a = 0; a + wMin <= W; ++a) {
            double sum = 0.0;
            for (int r = a; r < a + wMin - 1; ++r) sum += score[r];
            for (int w = wMin; w <= W - a; ++w) {
                sum += score[a + w - 1];
                if (sum > best) {
                    best = sum;
                    bestStart = a;
                    bestWidth = w;
                }
            }
        }

        width[k] = bestWidth;
        pwm[k].assign(4 * static_cast<size_t>(bestWidth), 0.0);
        for (int j = 0; j < bestWidth; ++j) {
            const int* c = &ext[4 * (bestStart + j)];
            const double logRow = std::log(c[0] + c[1] + c[2] + c[3] + 2.0);
            for (int b = 0; b < 4; ++b) pwm[k][4 * j + b] = std::log(c[b] + 0.5) - logRow;
        }
    }
}

// ---- driver ----

void KFBSampler(CRandomStream& rng, const int* const* seqs, const int* lens, int nSeq,
                std::vector<std::vector<double>>& pwm, const double* bg, int K, int* width, bool bothStrands,
                int minWidth, int maxWidth, int* siteNumOut, const CMarkovBackground* order)
{
    if (K <= 0) return;
    if (static_cast<int>(pwm.size()) < K) pwm.resize(K);
    for (int k = 0; k < K; ++k) {
        if (width[k] < 1) width[k] = 1;  // a motif has at least one column
        pwm[k].assign(4 * static_cast<size_t>(width[k]), std::log(0.25));
        siteNumOut[k] = 0;
    }

    int maxLen = 0;
    for (int s = 0; s < nSeq; ++s) maxLen = std::max(maxLen, lens[s]);
    // Position tables of one sequence, sized once for the longest and reused.
    // Scaled linear tables of one sequence, sized once for the longest and reused; the
    // background of every sequence once, since it does not change.
    std::vector<double> PL(static_cast<size_t>(maxLen) * 2 * K), P;  // P: log-space scores, when needed
    std::vector<double> F(static_cast<size_t>(maxLen) * (K + 2));
    std::vector<int> E(static_cast<size_t>(maxLen));
    std::vector<std::vector<double>> bgLin(nSeq);
    std::vector<std::vector<int>> codes(nSeq);
    for (int s = 0; s < nSeq; ++s) {
        bgLin[s].resize(std::max(lens[s], 0));
        KfbLinearBackground(bgLin[s].data(), seqs[s], lens[s], bg, order);
        codes[s].resize(std::max(lens[s], 0));
        KfbLinearCodes(codes[s].data(), seqs[s], lens[s]);
    }

    std::vector<double> logPr(K + 1), pr(K + 1);
    std::vector<std::vector<double>> lin(K);
    std::vector<int> siteNum(K + 1);
    std::vector<std::vector<int>> count(K);
    std::vector<std::vector<double>> cur(K);
    for (int k = 0; k < K; ++k) {
        count[k].assign(4 * static_cast<size_t>(width[k]), 0);
        cur[k].resize(4 * static_cast<size_t>(width[k]));
    }
    std::vector<SITELIST> sites(K);
    std::vector<SITELIST> bestSites(K);
    double best = kLogZero;

    CProgress progress("starting-motif round", kRestarts * kIterations);
    for (int restart = 0; restart < kRestarts; ++restart) {
        for (int k = 0; k < K; ++k) {
            std::fill(count[k].begin(), count[k].end(), 0);
            std::fill(cur[k].begin(), cur[k].end(), std::log(0.25));
            logPr[k] = std::log(0.02 / K);
            siteNum[k] = 0;
        }
        logPr[K] = std::log(0.98);
        siteNum[K] = 0;

        for (int iter = 0; iter < kIterations; ++iter) {
            for (int k = 0; k <= K; ++k) pr[k] = std::exp(logPr[k]);
            for (int k = 0; k < K; ++k) {
                lin[k].resize(cur[k].size());
                for (size_t j = 0; j < cur[k].size(); ++j) lin[k][j] = std::exp(cur[k][j]);
            }
            double total = 0.0;
            for (int s = 0; s < nSeq; ++s) {
                const int len = lens[s];
                if (len <= 0) continue;  // nothing to segment
                if (KfbLinearScores(PL.data(), seqs[s], codes[s].data(), len, lin, width, K, bothStrands)) {
                    total += KfbLinearForward(F.data(), E.data(), PL.data(), bgLin[s].data(), pr.data(), len, width, K,
                                              bothStrands);
                    KfbLinearBackward(rng, F.data(), PL.data(), seqs[s], len, s, width, K, count, siteNum.data(),
                                      sites);
                } else {
                    // A window probability below the range of a double: the log-space passes.
                    P.resize(static_cast<size_t>(maxLen) * (2 * K + 1));
                    CalLogPrPos(P.data(), seqs[s], len, cur, s, width, K, bg, bothStrands, order);
                    total += ForwardSummation(F.data(), P.data(), logPr.data(), len, width, K, bothStrands);
                    BackwardSampling(rng, F.data(), P.data(), seqs[s], len, s, width, K, count, siteNum.data(), sites);
                }
            }
            if (total > best) {
                best = total;
                for (int k = 0; k < K; ++k) {
                    pwm[k] = cur[k];
                    siteNumOut[k] = siteNum[k];
                    bestSites[k] = sites[k];
                }
            }
            UpdateParameter(logPr.data(), cur, siteNum.data(), count, K, width);
            std::fill(siteNum.begin(), siteNum.end(), 0);
            for (int k = 0; k < K; ++k) {
                std::fill(count[k].begin(), count[k].end(), 0);
                sites[k].clear();
            }
            progress.Show(restart * kIterations + iter + 1);
        }
    }

    FBAdjustMotifWidth(seqs, lens, nSeq, bg, K, bestSites, pwm, width, minWidth, maxWidth, bothStrands, order);
}
