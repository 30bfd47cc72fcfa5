// Site sampler and scanner for module members: one site per sequence, either sampled while
// the motif is refined (SimpleSampler) or the best window under a fixed matrix (SimpleScanner).
//
// Candidate index d of a sequence with n = len - w + 1 window starts: d < n is the window at
// d on the given strand; with both strands, n + p is the reverse complement of the window at
// p. A sequence shorter than w has no candidate: it gets start 0 on the given strand and adds
// nothing to the counts (the callers cut sequences of at least w residues).
#include <algorithm>
#include <cmath>
#include <vector>

#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

using serevan::IsBase;
using serevan::kLogZero;

namespace {

constexpr int kSamplerPasses = 10;

// Complement of a code; every non-base stays a non-base (-1), as with Reverse.
inline int Complement(int c)
{
    return c >= 0 ? 3 - c : -1;
}

// logOdds[4k + b] = matrix[4k + b] - background[b], so a window's score is the plain sum of
// one entry per column, in column order.
void FillLogOdds(const double* matrix, const double* background, int w, std::vector<double>& logOdds)
{
    logOdds.resize(4 * static_cast<size_t>(w));
    for (int k = 0; k < w; ++k)
        for (int b = 0; b < 4; ++b) logOdds[4 * k + b] = matrix[4 * k + b] - background[b];
}

// Scores every candidate index of one sequence into scores[0 .. count-1]; returns count
// (0 when the sequence is shorter than w).
int ScoreCandidates(const int* seq, int len, const double* logOdds, int w, bool bothStrands, double* scores)
{
    const int n = len - w + 1;
    if (n <= 0) return 0;
    for (int p = 0; p < n; ++p) {
        const int* x = seq + p;
        double f = 0.0;
        for (int k = 0; k < w; ++k) {
            if (!IsBase(x[k])) {
                f = kLogZero;
                break;
            }
            f += logOdds[4 * k + x[k]];
        }
        scores[p] = f;
        if (!bothStrands) continue;
        // Reverse complement: column k reads the complement of x[w-1-k].
        double r = 0.0;
        for (int k = 0; k < w; ++k) {
            const int c = x[w - 1 - k];
            if (!IsBase(c)) {
                r = kLogZero;
                break;
            }
            r += logOdds[4 * k + 3 - c];
        }
        scores[n + p] = r;
    }
    return bothStrands ? 2 * n : n;
}

int LongestSequence(const int* len, int nSeq)
{
    int m = 0;
    for (int i = 0; i < nSeq; ++i) m = std::max(m, len[i]);
    return m;
}

// Dirichlet marginal of one column of counts with all pseudocounts 1, constants left out.
double ColumnMarginal(const int* m)
{
    return logGamma(m[0] + 1) + logGamma(m[1] + 1) + logGamma(m[2] + 1) + logGamma(m[3] + 1) -
           logGamma(m[0] + m[1] + m[2] + m[3] + 4);
}

// Column score of the shift move: marginal minus the background cost of its bases.
double ShiftColumnScore(const int* m, const double* background)
{
    double s = ColumnMarginal(m);
    for (int b = 0; b < 4; ++b) s -= m[b] * background[b];
    return s;
}

// Metropolis acceptance of a shift whose log ratio is delta; no draw below -300.
bool AcceptShift(double delta, CStochasticDistribution& dist)
{
    if (delta > 0) return true;
    if (delta <= -300) return false;
    return std::exp(delta) > dist.Uniform(0.0, 1.0);
}

// With an order model: the background of each sequence's positions (a window's cost is the
// sum over its positions, the same on both strands); the window scores then take the plain
// matrix and subtract that sum.
struct OrderCosts {
    const CMarkovBackground* order = nullptr;
    std::vector<std::vector<double>> pos;  // [sequence][position]
    OrderCosts(const CMarkovBackground* m, const int* const* seq, const int* len, int nSeq)
        : order(m && !m->Empty() ? m : nullptr)
    {
        if (!order) return;
        pos.resize(nSeq);
        for (int i = 0; i < nSeq; ++i) order->PosLogs(seq[i], len[i], 0.0, pos[i]);
    }
    explicit operator bool() const { return order != nullptr; }
    double Window(int i, int start, int w) const
    {
        double c = 0.0;
        for (int k = 0; k < w; ++k) c += pos[i][start + k];
        return c;
    }
    // Subtracts each candidate window's cost from the count candidate scores of sequence i.
    void Apply(int i, int len, int w, int count, double* scores) const
    {
        const int n = len - w + 1;
        for (int d = 0; d < count; ++d)
            if (scores[d] > kLogZero) scores[d] -= Window(i, d % n, w);
    }
};

const double kZeroBackground[4] = {0.0, 0.0, 0.0, 0.0};

}  // namespace

void SimpleScanner(const int* const* seq, const int* len, int nSeq, const double* matrix, const double* background,
                   int w, bool bothStrands, int* sitePos, bool* siteStrand, const CMarkovBackground* order)
{
    if (nSeq <= 0) return;
    const OrderCosts costs(order, seq, len, nSeq);
    std::vector<double> logOdds;
    FillLogOdds(matrix, costs ? kZeroBackground : background, std::max(w, 0), logOdds);
    std::vector<double> scores(2 * static_cast<size_t>(std::max(LongestSequence(len, nSeq), 1)));
    for (int i = 0; i < nSeq; ++i) {
        sitePos[i] = 0;
        siteStrand[i] = true;
        if (w <= 0) continue;
        const int count = ScoreCandidates(seq[i], len[i], logOdds.data(), w, bothStrands, scores.data());
        if (count == 0) continue;
        if (costs) costs.Apply(i, len[i], w, count, scores.data());
        const int n = len[i] - w + 1;
        const int d = Maximum(scores.data(), count);  // ties: earlier start, then given strand
        sitePos[i] = d % n;
        siteStrand[i] = d < n;
    }
}

void SimpleSampler(CRandomStream& rng, const int* const* seq, const int* len, int nSeq, double* matrix,
                   const double* background, int w, bool bothStrands, int* sitePos, bool* siteStrand,
                   const CMarkovBackground* order)
{
    if (nSeq <= 0) return;
    for (int i = 0; i < nSeq; ++i) sitePos[i] = 0, siteStrand[i] = true;
    if (w <= 0) return;

    CStochasticDistribution dist(rng);
    std::vector<double> logOdds;
    std::vector<double> scores(2 * static_cast<size_t>(std::max(LongestSequence(len, nSeq), 1)));
    std::vector<int> count(4 * static_cast<size_t>(w));
    std::vector<int> window(w);
    std::vector<int> curPos(nSeq, 0);
    std::vector<char> curStrand(nSeq, 1);
    int leftCount[4], rightCount[4];
    double bestScore = kLogZero;
    const OrderCosts costs(order, seq, len, nSeq);
    // With an order model: background costs of the drawn windows, of their first and last
    // columns and of the flanks beyond them, each summed over the sequences.
    double windowCost = 0, firstCost = 0, lastCost = 0, leftCost = 0, rightCost = 0;

    for (int pass = 0; pass < kSamplerPasses; ++pass) {
        std::fill(count.begin(), count.end(), 0);
        std::fill(leftCount, leftCount + 4, 0);
        std::fill(rightCount, rightCount + 4, 0);
        windowCost = firstCost = lastCost = leftCost = rightCost = 0;
        FillLogOdds(matrix, costs ? kZeroBackground : background, w, logOdds);

        // One site per sequence, drawn in proportion to its window likelihood ratio.
        for (int i = 0; i < nSeq; ++i) {
            const int* x = seq[i];
            const int L = len[i];
            const int n = L - w + 1;
            const int nCand = ScoreCandidates(x, L, logOdds.data(), w, bothStrands, scores.data());
            if (nCand == 0) {
                curPos[i] = 0;
                curStrand[i] = 1;
                continue;
            }
            if (costs) costs.Apply(i, L, w, nCand, scores.data());
            const int d = dist.Discrete(scores.data(), nCand);
            const int p = d % n;
            const bool forward = d < n;
            curPos[i] = p;
            curStrand[i] = forward ? 1 : 0;

            int left = p > 0 ? x[p - 1] : -1;
            int right = p + w < L ? x[p + w] : -1;
            if (forward) {
                for (int k = 0; k < w; ++k) window[k] = x[p + k];
            } else {
                for (int k = 0; k < w; ++k) window[k] = Complement(x[p + w - 1 - k]);
                const int oldLeft = left;
                left = Complement(right);
                right = Complement(oldLeft);
            }
            for (int k = 0; k < w; ++k)
                if (IsBase(window[k])) ++count[4 * k + window[k]];
            if (IsBase(left)) ++leftCount[left];
            if (IsBase(right)) ++rightCount[right];
            if (costs) {
                // Positions in the sequence of the site's first and last column and of the
                // flanks before its first and after its last column, in site orientation.
                const int first = forward ? p : p + w - 1, last = forward ? p + w - 1 : p;
                const int before = forward ? p - 1 : p + w, after = forward ? p + w : p - 1;
                const std::vector<double>& c = costs.pos[i];
                windowCost += costs.Window(i, p, w);
                firstCost += c[first];
                lastCost += c[last];
                if (before >= 0 && before < L) leftCost += c[before];
                if (after >= 0 && after < L) rightCost += c[after];
            }
        }

        // Judge the drawn set before the shift move changes the counts.
        double score = 0.0;
        int baseTotal[4] = {0, 0, 0, 0};
        for (int k = 0; k < w; ++k) {
            score += ColumnMarginal(&count[4 * k]);
            for (int b = 0; b < 4; ++b) baseTotal[b] += count[4 * k + b];
        }
        if (costs)
            score -= windowCost;
        else
            for (int b = 0; b < 4; ++b) score -= baseTotal[b] * background[b];
        if (score > bestScore) {
            bestScore = score;
            for (int i = 0; i < nSeq; ++i) sitePos[i] = curPos[i], siteStrand[i] = curStrand[i] != 0;
        }

        // Shift move: replace the column at one end by the flank on the other side.
        const int r = rng.Next();
        const int rightSum = rightCount[0] + rightCount[1] + rightCount[2] + rightCount[3];
        const int leftSum = leftCount[0] + leftCount[1] + leftCount[2] + leftCount[3];
        if (rightSum == nSeq && r % 2 == 0) {
            const double delta =
                costs ? ColumnMarginal(rightCount) - rightCost - (ColumnMarginal(&count[0]) - firstCost)
                      : ShiftColumnScore(rightCount, background) - ShiftColumnScore(&count[0], background);
            if (AcceptShift(delta, dist)) {
                std::copy(count.begin() + 4, count.end(), count.begin());
                std::copy(rightCount, rightCount + 4, count.end() - 4);
            }
        } else if (leftSum == nSeq) {
            const double delta =
                costs ? ColumnMarginal(leftCount) - leftCost - (ColumnMarginal(&count[4 * (w - 1)]) - lastCost)
                      : ShiftColumnScore(leftCount, background) - ShiftColumnScore(&count[4 * (w - 1)], background);
            if (AcceptShift(delta, dist)) {
                std::copy_backward(count.begin(), count.end() - 4, count.end());
                std::copy(leftCount, leftCount + 4, count.begin());
            }
        }

        // Re-estimate: pseudocount 0.01 * nSeq per base.
        const double pseudo = 0.01 * nSeq, total = 1.04 * nSeq;
        for (int j = 0; j < 4 * w; ++j) matrix[j] = std::log((count[j] + pseudo) / total);
    }
}
