// The model's own state, grouped: its current parameters and the sufficient statistics of
// one sweep. CSerevan keeps one of each as a private member; tests reach them through
// tests/support/Probe.h.
#pragma once

#include <array>
#include <vector>

#include "model/Records.h"
#include "numeric/MarkovBackground.h"

// The current parameters. Motif matrices hold base b of column j at 4j + b; log zero is -1e100.
struct ModelParameters {
    std::vector<int> m_pMotifWidth;                                // K+1; element K is 1
    std::vector<std::vector<double>> m_pPWM;                       // [k] 4*w_k log probabilities
    std::vector<double> m_pMotifPr;                                // K+1 log segment-type probabilities
    double m_dTranPr[2][2] = {{0, 0}, {0, 0}};                     // log [from][to], 0 bg, 1 module
    double m_dBgSubst[4][4] = {};                                  // log background substitution a -> b
    double m_dMotifSubRate = 0.01;                                 // lambda (plain)
    std::vector<std::vector<std::array<double, 16>>> m_pMotifPhi;  // [k][j] log a -> b at 4a + b
    std::vector<std::array<double, 20>> m_pSpeciesBg;              // [s] background table
    std::array<double, 20> m_pBg{};                                // pooled background table
    // -g: background of order k for every background term (empty: the tables above, first
    // order for single species and zero order for ancestral bases; design note model/background.md).
    CMarkovBackground m_bgModel;
    std::vector<std::vector<std::vector<int>>> m_bgContext;  // [s][g][p] context offset into m_bgModel
    std::vector<CMarkovBackground> m_groupBg;  // -e: per group, its own model shrunk to m_bgModel (same contexts)
    // Priors, never changed.
    int m_nTranPrior[4] = {1, 1, 1, 1};  // [from][to] flattened
    std::vector<int> m_pMotifPrior;      // K+1 ones
    int m_nPWMPrior[4] = {1, 1, 1, 1};
    int m_nWidthPrior = 10;  // mean of the Poisson prior on motif width
};

// The sufficient statistics of one sweep, emptied at the start of every iteration, and the
// sweep's log-likelihood terms.
struct SweepCounts {
    double m_dTranCount[2][2] = {{0, 0}, {0, 0}};       // single-species moving blocks + closing transitions
    double m_dAlignTranCount[2][2] = {{0, 0}, {0, 0}};  // moving blocks of two or more species
    std::vector<int> m_pMotifCount;                     // K+1 sampled segment types
    std::vector<std::vector<int>> m_pSiteCount;         // [k] 4*w_k column base counts
    std::vector<SITECOL> m_pEdgeStat;                   // 4*K edge records
    int m_nBgAncCount[4] = {0, 0, 0, 0};
    int m_nBgSubCount[4][4] = {};
    int m_nMotifSubCount[2] = {0, 0};                       // [0] redrawn, [1] kept
    double m_dLogLik = 0, m_dLogAncPr = 0, m_dLogPost = 0;  // this iteration's terms
};

// Empties a sweep's counts (the log terms stay), shaped for the given motif widths.
void ClearSweepCounts(SweepCounts& c, const std::vector<int>& widths, int K, int N);

// -y: the last accepted path of one group, kept as what it added to a sweep, so that a
// rejected proposal leaves the group in that state.
struct GroupSample {
    bool valid = false;         // a path was accepted since the run started
    SweepCounts counts;         // its sufficient statistics (m_dLogAncPr included)
    std::vector<POSTRUN> post;  // its posterior-count increments
    std::vector<int> widths;    // motif widths it was drawn with
    std::vector<char> has;      // [k] the path holds a site of motif k
};

// -y: the state of the prior on how many groups each motif's sites reach.
struct SpreadState {
    std::vector<GroupSample> group;                   // [g]
    std::vector<int> reach;                           // [k] groups whose kept path holds a site of motif k
    SweepCounts total;                                // the sweep's sums over the groups before the current one
    std::vector<POSTRUN> fresh;                       // increments of the proposal being judged
    long long proposed = 0, rejected = 0, stale = 0;  // stale: accepted since widths changed
};

// -j: the word matrices the start's learned motifs are chosen from (ModelStart's), and the choice.
struct WordChoice {
    std::vector<std::vector<double>> pwm;  // candidate log matrices, best words first
    std::vector<int> width;
    std::vector<std::vector<int>> word;  // the word each candidate came from
    int first = 0;                       // the chain takes the first-th best single matrix first
    std::vector<int> chosen;             // candidate of each learned motif (-1: kept its start)
    double gain = 0.0;                   // log-likelihood of the chosen start over the words' order
};
