// Log-space arithmetic, the background Markov model of DNA and small sequence helpers.
#include "numeric/SeqMotifBasic.h"

#include <cmath>
#include <vector>

using serevan::IsBase;
using serevan::kLogZero;

double LogSum(double a, double b)
{
    double m = a, o = b;
    if (b > a) {
        m = b;
        o = a;
    }
    double d = o - m;
    // Below e^-50 the correction is under half an ulp of any |m| >= 1e-5: m is the exact result.
    if (d < -50.0 && std::fabs(m) >= 1e-5) return m;
    if (d > -300.0) return m + std::log1p(std::exp(d));
    return m;  // the smaller term is negligible (or d is NaN)
}

double logGamma(int n)
{
    // cache[n] = ln((n-1)!) = sum of ln x for x = 2 .. n-1; one cache per thread (chains run
    // in threads), every one growing by the same recurrence, so the values are the same.
    thread_local std::vector<double> cache{0.0, 0.0, 0.0};
    if (n <= 2) return 0.0;
    if (static_cast<size_t>(n) >= cache.size()) {
        size_t old = cache.size();
        size_t grow = static_cast<size_t>(n) + 1;
        if (grow < 2 * old) grow = 2 * old;
        cache.resize(grow);
        for (size_t k = old; k < grow; ++k) cache[k] = cache[k - 1] + std::log(static_cast<double>(k - 1));
    }
    return cache[static_cast<size_t>(n)];
}

double logDir(const int* counts, int nRow, int nCol, int alpha)
{
    double r = 0.0;
    for (int i = 0; i < nRow; ++i) {
        int sum = 0;
        for (int j = 0; j < nCol; ++j) {
            int c = counts[i * nCol + j];
            r += logGamma(c + alpha);
            sum += c;
        }
        r -= logGamma(sum + nCol * alpha);
    }
    return r;
}

void BuildBackground(const int* const* seqs, const int* lens, int nSeq, double* bg)
{
    for (int a = 0; a < 4; ++a) bg[a] = 4.0;
    for (int i = 4; i < 20; ++i) bg[i] = 1.0;
    for (int s = 0; s < nSeq; ++s) {
        const int* x = seqs[s];
        int len = lens[s];
        for (int i = 0; i < len; ++i) {
            if (!IsBase(x[i])) continue;
            bg[x[i]] += 1.0;
            if (i + 1 < len && IsBase(x[i + 1])) bg[4 + 4 * x[i] + x[i + 1]] += 1.0;
        }
    }
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) bg[4 + 4 * a + b] /= bg[a];
    double sum = bg[0] + bg[1] + bg[2] + bg[3];
    for (int a = 0; a < 4; ++a) bg[a] /= sum;
    for (int i = 0; i < 20; ++i) bg[i] = std::log(bg[i]);
}

double CalLogMotifPr(const int* site, const double* logMatrix, int width)
{
    double r = 0.0;
    for (int k = 0; k < width; ++k) {
        if (!IsBase(site[k])) return kLogZero;
        r += logMatrix[4 * k + site[k]];
    }
    return r;
}

int* Reverse(int* seq, int len)
{
    for (int i = 0, j = len - 1; i <= j; ++i, --j) {
        int a = seq[i], b = seq[j];
        seq[i] = b >= 0 ? 3 - b : -1;
        seq[j] = a >= 0 ? 3 - a : -1;
    }
    return seq;
}

void Middle(const int* src, int* dst, int start, int len)
{
    for (int k = 0; k < len; ++k) dst[k] = src[start + k];
}

int Maximum(const double* values, int n)
{
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (values[i] > values[best]) best = i;
    return best;
}

bool LowComplexity(const int* seq, int len, double* freq)
{
    int count[4] = {0, 0, 0, 0};
    for (int i = 0; i < len; ++i)
        if (IsBase(seq[i])) ++count[seq[i]];
    for (int b = 0; b < 4; ++b) freq[b] = len > 0 ? static_cast<double>(count[b]) / len : 0.0;
    int top = Maximum(freq, 4);
    return freq[top] > 0.8 || freq[1] + freq[2] > 0.8;
}
