// Log-space arithmetic, the first-order background table of DNA and small sequence helpers
// (the order-k background model is numeric/MarkovBackground.h).
//
// Sections: base codes; log-space sums and gamma terms; background table; motif windows;
// small helpers (reverse complement, window copy, arg-max, low complexity).
//
// Nucleotide codes: A, C, G, T = 0..3. Any other code (-1 for an undetermined base,
// 4 for an alignment gap) is "no base": it never indexes a table. Tests for a base use
// an unsigned comparison so that negative codes and 4 both fail it.
#pragma once

#include "numeric/Constants.h"

namespace serevan {

// True for the four base codes 0..3.
inline bool IsBase(int code)
{
    return static_cast<unsigned>(code) < 4u;
}

// Code of an upper-case letter: A, C, G, T = 0..3; any other character (lower case too) -1.
inline int BaseCode(char c)
{
    switch (c) {
    case 'A': return 0;
    case 'C': return 1;
    case 'G': return 2;
    case 'T': return 3;
    default: return -1;
    }
}

// As BaseCode, with lower-case letters read as their upper case (a, c, g, t = 0..3).
inline int BaseCodeAnyCase(char c)
{
    return BaseCode(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
}

}  // namespace serevan

// ln(e^a + e^b) with a cut-off:
//   d = min - max;  d > -300 -> max + log1p(exp(d));  otherwise (d <= -300, or NaN as for
//   two infinities of the same sign) -> max unchanged, without calling exp or log.
// Log zero (-1e100) is an ordinary, very small number here: LogSum(x, -1e100) == x and
// LogSum(-1e100, -1e100) == -1e100.
double LogSum(double a, double b);

// ln((n-1)!) for integer n; 0 for n <= 2. Values are cached, so the call is O(1) amortised.
double logGamma(int n);

// Dirichlet-multinomial log marginal of nRow rows of nCol counts (row-major) with the
// integer pseudocount alpha, without the constant terms lnG(K alpha) and K lnG(alpha).
double logDir(const int* counts, int nRow, int nCol, int alpha);

// Background table of 20 log values built from nSeq sequences: entries 0..3 zero-order
// base probabilities, entry 4 + 4a + b the first-order value of b after a, divided by the
// zero-order count of a (with its pseudocount 4), so a first-order row need not sum to 1.
void BuildBackground(const int* const* seqs, const int* lens, int nSeq, double* bg);

// Sum of logMatrix[4k + site[k]]; -1e100 as soon as a code is not a base.
double CalLogMotifPr(const int* site, const double* logMatrix, int width);

// Reverse-complements seq in place (A<->T, C<->G; any other code becomes -1); returns seq.
int* Reverse(int* seq, int len);

// dst[k] = src[start + k] for k < len; the caller guarantees the window lies in src.
void Middle(const int* src, int* dst, int start, int len);

// Index of the largest value, ties to the earliest; 0 for n <= 1.
int Maximum(const double* values, int n);

// freq receives the four base frequencies over len positions (all positions count);
// true when the most frequent base, or C+G together, exceeds 0.8.
bool LowComplexity(const int* seq, int len, double* freq);
