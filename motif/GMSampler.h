// Single-species motif samplers: the forward-backward sampler that finds starting motifs
// in the conserved templates (GMSampler.cpp), and the site sampler and scanner that place
// one site per module member at the end of a run (SiteSampler.cpp).
#pragma once

#include <memory>
#include <vector>

// One sampled site of the initial sampler.
struct SITEPOS {
    int seq = 0;          // index of the sequence
    int pos = 0;          // first base, 0-based
    bool forward = true;  // false: read on the reverse complement
};

// Sites of one motif, most recently sampled first.
using SITELIST = std::vector<SITEPOS>;

// ---- forward-backward initial motif sampler ----

// Finds K starting matrices in nSeq sequences. On entry width[k] holds the starting widths;
// on return pwm[k] (resized to 4*width[k]) and width hold the chosen matrices and widths and
// siteNumOut[k] the number of sites of motif k in the best iteration.
void KFBSampler(int* const* seqs, const int* lens, int nSeq, std::vector<std::vector<double>>& pwm,
                const double* bg, int K, int* width, bool bothStrands, int minWidth, int maxWidth,
                int* siteNumOut);

// Fills P ((2K+1) per position) for one sequence: forward and reverse window scores of
// every motif ending at each position, and the first-order background value.
void CalLogPrPos(double* P, const int* seq, int len, const std::vector<std::vector<double>>& pwm, int seqIndex,
                 const int* width, int K, const double* bg, bool bothStrands);

// Fills F ((K+2) per position) and returns the log-likelihood of the sequence.
double ForwardSummation(double* F, const double* P, const double* logPr, int len, const int* width, int K,
                        bool bothStrands);

// Samples one segmentation backward and adds it to count, siteNum and the site lists.
void BackwardSampling(double* F, const double* P, const int* seq, int len, int seqIndex, const int* width, int K,
                      std::vector<std::vector<int>>& count, int* siteNum, std::vector<SITELIST>& siteList);

// Sets logPr and the working matrices to smoothed frequencies of the sampled sites.
void UpdateParameter(double* logPr, std::vector<std::vector<double>>& pwm, const int* siteNum,
                     const std::vector<std::vector<int>>& count, int K, const int* width);

// Chooses each motif's width within [minWidth, maxWidth] from column scores over an
// extended window around its sites, and rebuilds the matrices.
void FBAdjustMotifWidth(int* const* seqs, const int* lens, int nSeq, const double* bg, int K,
                        const std::vector<SITELIST>& siteList, std::vector<std::vector<double>>& pwm, int* width,
                        int minWidth, int maxWidth, bool bothStrands);

// ---- site sampler and scanner for module members ----

// Refines a motif on nSeq sequences by ten passes of one site per sequence; matrix (4w) is
// the starting motif and working storage. Returns the best site set met.
void SimpleSampler(int* const* seq, const int* len, int nSeq, double* matrix, const double* background, int w,
                   bool bothStrands, int* sitePos, bool* siteStrand);

// The highest-scoring window of every sequence under the fixed matrix.
void SimpleScanner(int* const* seq, const int* len, int nSeq, const double* matrix, const double* background,
                   int w, bool bothStrands, int* sitePos, bool* siteStrand);
