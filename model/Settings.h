// What a model is built from: the run settings it takes from the command line, the groups it
// runs on, and its starting parameters. CSerevan's one constructor takes these three.
#pragma once

#include <vector>

#include "align/AlignPath.h"
#include "base/MyString.h"
#include "numeric/MarkovBackground.h"

// The run settings of a model. The program's parameter record extends this struct, so the
// command-line options write these fields directly and the model reads them as they are.
struct ModelSettings {
    CString strParamLine;             // banner plus every argument, each followed by a blank
    int nSpeciesNum = -1;             // -N
    int nMotifNum = 3;                // -K
    int nKnownMotifNum = 0;           // leading motifs whose matrices were given (-A); never re-drawn
    int nMinMotifWidth = 10;          // -w: lower bound of width moves
    int nMaxMotifWidth = 14;          // -W: upper bound of width moves
    int nModuleLen = 200;             // -L: expected module length, 1 / (0.8 L) the module exit
    int nMaxIterNum = 2000;           // -n: iterations (-F: samples per group)
    bool bBothStrands = true;         // -r: sites on the reverse strand as well
    bool bMaskLowComplexity = false;  // -M: low-complexity windows get no site probability
    bool bMotifMode = false;          // -s: every position is a module position
    bool bMotifPr = false;            // -q given: site probabilities fixed at dMotifPr
    double dMotifPr = 0.0;            // -q: site probability of each motif per module position
    double dAlignUpdatePr = 0.1;      // -u: probability of an alignment move per iteration
    bool bCollapsed = false;          // -c: collapsed parameter update
    double dPostCutoff = 0.5;         // -p: posterior cutoff of the calls
    bool bSeedGiven = false;          // -S given
    unsigned nSeed = 0;               // -S: seed of the random stream
    bool bGroupStreams = false;       // -G: every group of a scan draws from streams of its own (needs -S)
    int nChains = 1;                  // -C: chains of a de novo run (each with a stream of its own)
    int nThreads = 1;                 // -t: threads the chains run in
    double dLocalBg = 0.0;            // -e: each group's own -g background, shrunk towards the pooled one with
                                      // this weight in bases (0: one background for all groups)
    double dSpreadPrior = 0.0;        // -y: log prior gain per group a motif's sites reach, up to a quarter of
                                      // the groups (0: no such prior)
    int nWordChoice = 0;              // -j: the start's motifs are chosen among the matrices of this many
                                      // words by the likelihood (0: taken in the words' order)
    double dLatePseudo = 1.0;         // -d: pseudo-counts per base of a learned matrix column after burn-in
                                      // (collapsed update; 1: the same as during burn-in)
    bool bProgress = true;            // the loops show a progress line on a terminal (off: chains but the first)
};

// The orthologous groups a model runs on. The driver that reads and aligns them owns them and
// keeps them alive while a model uses them; a model's alignment moves rewrite the stored
// alignments of its groups, so two models never share one ModelGroups.
struct ModelGroups {
    int N = 0, G = 0, A = 0;              // species, groups, stored alignments per group
    std::vector<std::vector<int>> seq;    // codes of species s in group g at slot s*G + g
    std::vector<CString> names;           // record names, same slots
    std::vector<std::vector<int>> templ;  // conserved template per group (empty: none, as in the aligned scan)
    std::vector<ALIGNPATH> alignPath;     // stored alignment j of group g at g*A + j
    std::vector<double> alignScore;       // their log-odds scores (empty: none, as in the aligned scan)
    std::vector<int> alignInfo;           // 3 per alignment: transitions, transversions, identities
    CMarkovBackground bg;                 // -g background (empty: the tables built from the sequences)
    int firstGroup = 0;                   // index of group 0 in the whole input (-J: the shard's first group)

    int Len(int s, int g) const { return static_cast<int>(seq[static_cast<size_t>(s) * G + g].size()); }
};

// The labels of the streams derived from the seed with -G (DeriveSeed): each group's
// alignments and its samples, and the calls of the run.
enum StreamLabel : unsigned { kAlignmentStream = 1, kSamplingStream = 2, kCallStream = 3, kChainStream = 4 };

// Starting parameters. A de novo run gives matrices and widths (or neither: uniform matrices
// of width (-w + -W) / 2); the runs with given parameters give the module entry, the segment
// probabilities and the two substitution rates as well.
struct ModelStart {
    std::vector<std::vector<double>> pwm;  // K log matrices, base b of column j at 4j + b; empty: log 0.25
    std::vector<int> width;                // K widths; empty: (-w + -W) / 2
    bool given = false;                    // the four values below are used
    double enterPr = 0.0;                  // probability of entering a module
    std::vector<double> motifPr;           // K+1 plain segment probabilities, the last the module background
    double bgSubRate = 0.0;                // background substitution probability
    double motifSubRate = 0.0;             // motif-site substitution probability (lambda)
    // -j: the word matrices the start's learned motifs are chosen from, best words first, with
    // the word each came from (base codes), and which of the single best the chain takes first.
    std::vector<std::vector<double>> wordPwm;  // log matrices, base b of column j at 4j + b
    std::vector<int> wordWidth;
    std::vector<std::vector<int>> word;
    int wordFirst = 0;
};
