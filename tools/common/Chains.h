// Agreement of several chains (independent runs on one input): the motifs of the best chain
// matched in every chain by column correlation, their site and module calls compared, a
// verdict on convergence, and a consensus report in the program's own report layout.
#pragma once

#include <string>
#include <vector>

#include "common/MotifMatrix.h"
#include "common/RunReport.h"

namespace sertools {

// One chain: one run of a report file.
struct Chain {
    std::string label;               // the file, or file[r] when the file holds several runs
    RunReport report;                // its run
    std::vector<std::string> lines;  // the run's lines (banner to the next banner or the end)
};

// Reads every run of every file as one chain each.
bool ReadChains(const std::vector<std::string>& paths, std::vector<Chain>& chains, std::string& err);

// Thresholds of a comparison.
struct ChainSettings {
    double minCorrelation = 0.8;  // a chain finds a motif when one of its motifs correlates this well
    double share = 0.75;          // verdict: a motif counts when at least this share of chains finds it
    double agree = 0.75;          // consensus: sites and modules called by at least this share of chains
    double minOverlap = 0.5;      // two calls overlap when they share this much of the shorter one
};

// A chain's best match to one motif of the best chain.
struct ChainMatch {
    int motif = 0;       // 1-based motif of that chain; 0 when it found no motif
    MotifMatch match;    // correlation, offset and strand
    bool found = false;  // correlation at least the threshold
};

// One found motif of the best chain across the chains.
struct MotifAgreement {
    int motif = 0;  // 1-based, in the best chain
    int width = 0;
    double score = 0;                 // its score in the best chain
    std::vector<ChainMatch> matches;  // per chain, the best chain included
    int chainsFound = 0;              // chains whose match is found
    double meanCorrelation = 0;       // mean best correlation over the other chains
    std::vector<double> siteShare;    // per site: share of chains calling an overlapping site
                                      // of their matched motif
};

// The comparison.
struct ChainsSummary {
    int best = 0;                        // index of the chain with the highest average likelihood
    std::vector<MotifAgreement> motifs;  // every found motif of the best chain
    std::vector<double> moduleShare;     // per module of the best chain: share of chains calling
                                         // an overlapping module
    int motifsConverged = 0;             // motifs found by at least the share of chains
    int chainsWithMotifs = 0;            // chains that found any motif
    bool converged = false;
    std::string verdict;  // "converged: ...", "not converged: ..." or "nothing found: ..."
};

// Compares at least two chains of one input (same -N and input file name).
bool CompareChains(const std::vector<Chain>& chains, const ChainSettings& settings, ChainsSummary& summary,
                   std::string& err);

// The summary as a table ending in the verdict line, or one JSON object.
std::string FormatChains(const std::vector<Chain>& chains, const ChainsSummary& summary, const ChainSettings& settings,
                         bool json);

// The best chain's report with only the sites and modules that at least the agreeing share of
// chains call; everything else (command line, likelihood, matrices, scores) as it was.
std::string ConsensusReport(const std::vector<Chain>& chains, const ChainsSummary& summary,
                            const ChainSettings& settings);

}  // namespace sertools
