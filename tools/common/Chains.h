// Agreement of several chains (independent runs on one input): the motifs of the best chain
// matched in every chain by column correlation, their site and module calls compared, a
// verdict on convergence, and a consensus report in the program's own report layout.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/MotifMatrix.h"
#include "common/RunReport.h"

namespace sertools {

// One chain: one run of a report file.
struct Chain {
    std::string label;               // the file, or file[r] when the file holds several runs
    std::string path;                // the file
    int run = 0;                     // 0-based run of the file
    int runsInFile = 1;              // runs the file holds
    RunReport report;                // its run
    std::vector<std::string> lines;  // the run's lines (banner to the next banner or the end)
};

// Reads every run of every file as one chain each.
bool ReadChains(const std::vector<std::string>& paths, std::vector<Chain>& chains, std::string& err);

// Chains whose likelihoods can be compared ran on one input with one model: every option of
// their command lines but -S, -o and -m must match (an absent option counts as its default).
// Files named by an option (-i, -A, -g, -P, -B) match when their names are the same or, where
// both can be read from here, when their contents are; names that differ are compared by
// content where both can be read, by file name otherwise. False with a message naming the
// option and both chains.
bool CheckChainsComparable(const std::vector<Chain>& chains, std::string& err);

// Removes every chain that repeats an earlier one (the same report apart from the command
// line: the same run given twice, or a run repeated with the same seed) and returns one note
// per chain removed.
std::vector<std::string> DropRepeatedChains(std::vector<Chain>& chains);

// Thresholds of a comparison.
struct ChainSettings {
    double minCorrelation = 0.8;  // a chain finds a motif when one of its motifs correlates this well
    double share = 0.75;          // verdict: a motif counts when at least this share of chains finds it
    double agree = 0.75;          // consensus: sites and modules called by at least this share of chains
    double minOverlap = 0.5;      // two calls overlap when they share this much of the shorter one
    int reference = -1;           // the chain the others are compared with; -1: the highest average likelihood
};

// The chain that the program's multi-chain run kept, named in its chains table (-C writes
// <-o>chains.tsv): the index of the given chain with the kept row's average likelihood.
bool KeptChainIndex(const std::vector<Chain>& chains, const std::string& tablePath, int& index, std::string& err);

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
                                         // (or ChainSettings::reference)
    bool bestIsKept = false;             // best is the reference given, not the likelihood's choice
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

// A consensus: the report and its side files, each by the suffix appended to the report's name
// ("" for the report itself), and notes on side files that could not be made.
struct ConsensusFiles {
    std::vector<std::pair<std::string, std::string>> files;  // (suffix, text)
    std::vector<std::string> notes;
};

// The best chain's report with only the sites that at least the agreeing share of chains call,
// and the modules that share calls, each keeping only its agreed sites (start and end drawn
// around them; a module left without a site is dropped). A motif keeps the frequencies of its
// kept sites, and is "not found" when none is kept; the command line, likelihood and motif
// scores stay the best chain's. Side files: the site file of every motif and module.txt, as
// the program writes them for these calls, and the best chain's module posterior (_Pm.txt,
// margmodule.txt for -F) copied when its file holds exactly one block per run.
ConsensusFiles ConsensusReport(const std::vector<Chain>& chains, const ChainsSummary& summary,
                               const ChainSettings& settings);

// The best chain's run as it is, with the same side files: the chosen chain as one report, also
// when it is one run of a file of several.
ConsensusFiles BestChainReport(const std::vector<Chain>& chains, const ChainsSummary& summary);

}  // namespace sertools
