// Single-species motif samplers: the forward-backward sampler that finds starting motifs
// in the conserved templates (GMSampler.cpp), and the site sampler and scanner that place
// one site per module member at the end of a run (SiteSampler.cpp).
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "numeric/MarkovBackground.h"
#include "numeric/StochasticDistribution.h"

// One sampled site of the initial sampler.
struct SITEPOS {
    int seq = 0;          // index of the sequence
    int pos = 0;          // first base, 0-based
    bool forward = true;  // false: read on the reverse complement
};

// Sites of one motif, most recently sampled first (new sites go to the front).
using SITELIST = std::deque<SITEPOS>;

// ---- forward-backward initial motif sampler ----
// Tables of one sequence (see motif/KFBSampler.md): P holds 2K+1 log values per position
// i at i*(2K+1): 2k forward and 2k+1 reverse score of the window of motif k ending at i,
// 2K the background value. F holds K+2 per position at i*(K+2): k the summed segmentations
// of 0..i ending with a site of motif k, K those ending with background, K+1 their total.

// Finds K starting matrices in nSeq sequences: 10 restarts of 100 sampling/update rounds,
// then the width choice on the sites of the best round. On entry width[k] holds the
// starting widths (raised to 1 if below); on return pwm[k] (resized to 4*width[k]) and
// width hold the chosen matrices and widths and siteNumOut[k] the number of sites of motif
// k in the best round. Sequences of length 0 are skipped; K <= 0 does nothing.
void KFBSampler(CRandomStream& rng, const int* const* seqs, const int* lens, int nSeq,
                std::vector<std::vector<double>>& pwm, const double* bg, int K, int* width, bool bothStrands,
                int minWidth, int maxWidth, int* siteNumOut, const CMarkovBackground* order = nullptr);

// Fills P for one sequence from the log matrices pwm. Windows that start before the
// sequence or hold no base score -1e100; so does every reverse entry when bothStrands is
// false. The background is first-order, -1.386 next to no base, or with a non-empty order
// model its value given the bases before. seqIndex is unused.
void CalLogPrPos(double* P, const int* seq, int len, const std::vector<std::vector<double>>& pwm, int seqIndex,
                 const int* width, int K, const double* bg, bool bothStrands, const CMarkovBackground* order = nullptr);

// Fills F from P and the motif-type log probabilities logPr (K+1, last = background) and
// returns the log-likelihood of the sequence (0 for an empty one).
double ForwardSummation(double* F, const double* P, const double* logPr, int len, const int* width, int K,
                        bool bothStrands);

// Samples one segmentation backward from F (whose entries 0..K are overwritten) and P.
// Each site is pushed at the front of siteList[motif] with sequence index seqIndex, its
// bases counted in count[motif] (4j + b, in the site's own orientation) and siteNum[motif]
// raised; each background position raises siteNum[K].
void BackwardSampling(CRandomStream& rng, double* F, const double* P, const int* seq, int len, int seqIndex,
                      const int* width, int K, std::vector<std::vector<int>>& count, int* siteNum,
                      std::vector<SITELIST>& siteList);

// The same three passes in scaled linear space, which KFBSampler runs: no logarithm or
// exponential per position. bgLin[i] is exp of P[i][2K] (it does not depend on the matrices,
// so it is filled once per sequence); PL holds 2K rows of len linear window probabilities
// from linPwm = exp(pwm), row 2k forward and 2k+1 reverse of the windows ending at each
// position, and code the sequence with every residue that is not a base read as 0
// (KfbLinearCodes, once per sequence); pr = exp(logPr). The forward row i holds the weights of its K+1
// segment types, all relative to one power of two, and at K+1 the total up to i, a mantissa
// in [0.5, 1) times 2^E[i]: scaling by powers of two is exact. The forward pass returns the same
// log-likelihood as ForwardSummation, and the backward pass makes the same draws from the
// stream as BackwardSampling, up to rounding.
void KfbLinearBackground(double* bgLin, const int* seq, int len, const double* bg,
                         const CMarkovBackground* order = nullptr);
void KfbLinearCodes(int* code, const int* seq, int len);
// Returns false when some window of bases has probability 0 (underflow below 1e-308, or a
// zero matrix entry): then the log-space passes must serve for this sequence.
bool KfbLinearScores(double* PL, const int* seq, const int* code, int len,
                     const std::vector<std::vector<double>>& linPwm, const int* width, int K, bool bothStrands);
double KfbLinearForward(double* F, int* E, const double* PL, const double* bgLin, const double* pr, int len,
                        const int* width, int K, bool bothStrands);
void KfbLinearBackward(CRandomStream& rng, double* F, const double* PL, const int* seq, int len, int seqIndex,
                       const int* width, int K, std::vector<std::vector<int>>& count, int* siteNum,
                       std::vector<SITELIST>& siteList);

// Sets logPr[k] = ln(siteNum[k] + 0.5) - ln(T + 2), T the sum of siteNum[0..K], and every
// matrix row to ln(count + 0.5) - ln(row total + 2).
void UpdateParameter(double* logPr, std::vector<std::vector<double>>& pwm, const int* siteNum,
                     const std::vector<std::vector<int>>& count, int K, const int* width);

// Chooses each motif's width within [minWidth, maxWidth] from column scores over an
// extended window of maxWidth columns around its sites, and rebuilds the matrices from
// that window's counts. Bounds that admit no width are raised: minWidth to 1, maxWidth
// to minWidth. A column's background cost is its counts times the zero-order bg, or with
// an order model the sum of its bases' values given the bases before them.
void FBAdjustMotifWidth(const int* const* seqs, const int* lens, int nSeq, const double* bg, int K,
                        const std::vector<SITELIST>& siteList, std::vector<std::vector<double>>& pwm, int* width,
                        int minWidth, int maxWidth, bool bothStrands, const CMarkovBackground* order = nullptr);

// ---- site sampler and scanner for module members ----

// Refines a motif on nSeq sequences by ten passes of one site per sequence; matrix (4w) is
// the starting motif and working storage. Returns the best site set met. With a non-empty
// order model, every background cost is the bases' values given the bases before them
// (within the sequence given) instead of the zero-order background.
void SimpleSampler(CRandomStream& rng, const int* const* seq, const int* len, int nSeq, double* matrix,
                   const double* background, int w, bool bothStrands, int* sitePos, bool* siteStrand,
                   const CMarkovBackground* order = nullptr);

// The highest-scoring window of every sequence under the fixed matrix.
void SimpleScanner(const int* const* seq, const int* len, int nSeq, const double* matrix, const double* background,
                   int w, bool bothStrands, int* sitePos, bool* siteStrand, const CMarkovBackground* order = nullptr);
