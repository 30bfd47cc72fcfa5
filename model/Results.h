// What a model hands back: the posterior sums of its sampling phase and, after the calls, the
// results every output file is written from. The program's writers (app/RunOutput.h) name
// and write the files; the model writes none.
#pragma once

#include <string>
#include <vector>

#include "base/MyString.h"
#include "model/Records.h"

// How a model operation ended: ok, or the exit status and the one line main prints.
struct RunStatus {
    int exitStatus = 0;   // 0: ok
    std::string message;  // printed on standard output ("" when the caller knows what to say)
    bool Ok() const { return exitStatus == 0; }
};

// Posterior counts of the sampling phase. Slot s*G + g holds one count per position of the
// sequence of species s in group g. The calls read them; the side tables print them.
struct PosteriorSums {
    int m_nBurnIn = 0;                                       // iterations before the counts begin
    bool m_bSampling = false;                                // the burn-in is over: samples are counted
    std::vector<double> m_pWidthSum;                         // [k] summed widths (after the calls: their mean)
    std::vector<std::vector<std::vector<int>>> m_pSiteFreq;  // [k][slot][pos] samples in a site of motif k
    std::vector<std::vector<int>> m_pModuleFreq;             // [slot][pos] samples in a module
    std::vector<std::vector<int>> m_pAlignFreq;              // [slot][pos] samples emitted with another species
    std::vector<std::vector<int>> m_pRefAlignFreq;           // [g][pos of species 0], burn-in included
    double m_dLogLikSum = 0, m_dLogPostSum = 0;              // summed over the counted iterations
};

// How the calls read the sums.
struct CallPlan {
    int samples = 0;           // samples behind the counts: the thresholds and frequencies divide by it
    int reportedT = 0;         // the report's post-burn-in iterations, divisor of its two averages
    bool givenWidths = false;  // sites of the given matrices at their own widths (aligned scan), at a
                               // cutoff of one half; otherwise by sampled site at the mean width
};

// Everything a run's files are written from.
struct RunResults {
    RunStatus status;
    CString commandLine;                                   // the report's first lines
    int T = 0;                                             // post-burn-in iterations, as the report states them
    double avgLik = 0.0;                                   // average log-likelihood over those iterations
    double avgPost = 0.0;                                  // average log-posterior
    bool modules = true;                                   // false in motif mode: no module block, no module files
    std::vector<int> width;                                // [k] motif widths at the end of the run
    std::vector<double> scores;                            // [k] end-of-run motif scores
    std::vector<std::vector<double>> m_pSiteMatrix;        // [k] base frequencies of the called sites
    std::vector<std::vector<OUTPUTSITE>> m_pOutputSite;    // [k] called sites
    std::vector<std::vector<MODULEREGION>> m_pModuleList;  // [s] called modules
    std::vector<SPECIESSUMMARY> m_pSpeciesSummary;         // [s] called-site summaries
    PosteriorSums sums;                                    // the counts the calls read
    std::string debugLines;                                // aligned scan: the call passes, for "debuginfo.txt"
    std::string detailText;                                // aligned scan: the module detail file
    // Motif selection: the log-likelihood ratio of every candidate and the best (-1: none above 0).
    std::vector<double> llr;
    int bestCandidate = -1;
};
