// Accuracy of a run's calls against a simulator's truth table: nucleotide- and
// element-level sensitivity, positive predictive value and F1 for sites and modules,
// and the best learned match of every planted motif with per-motif site figures.
// The matching rules are documented in tools/README.md and in serevan-eval --help.
#pragma once

#include <string>
#include <vector>

#include "common/MotifMatrix.h"
#include "common/RunReport.h"
#include "common/TruthTable.h"

namespace sertools {

// Counts behind one sensitivity / PPV pair.
struct Rates {
    long long trueCount = 0;     // true elements (or bases)
    long long predCount = 0;     // predicted elements (or bases)
    long long trueMatched = 0;   // true elements matched by a prediction (bases: shared bases)
    long long predMatched = 0;   // predictions matching a true element (bases: shared bases)
    double Sensitivity() const;  // trueMatched / trueCount; NaN when there is nothing true
    double Ppv() const;          // predMatched / predCount; NaN when nothing was predicted
    double F1() const;           // harmonic mean; 0 when both are 0, NaN when either is NaN
};

// The best learned match of one planted motif.
struct MotifResult {
    int planted = 0;            // 1-based planted motif
    int width = 0;              // its width
    int learned = 0;            // 1-based learned motif, 0 when no learned motif was found
    MotifMatch match;           // correlation score, offset and strand of that match
    Rates sites;                // planted motif's true sites against the learned motif's sites
    long long strandAgree = 0;  // matched true sites whose best-overlapping call reads in the
                                // orientation the matrix match implies
};

// Settings of an evaluation.
struct EvalSettings {
    double minOverlap = 0.5;  // shared bases needed, as a share of the shorter element
    int scanGroup = -1;       // >= 0: the report is of one aligned group (its group 0) that is
                              // this group of the truth
};

// Everything an evaluation finds.
struct Evaluation {
    Rates siteBases, sites, moduleBases, modules;
    bool moduleCalls = false;         // the report had a module block
    bool motifsCompared = false;      // planted matrices were given
    std::vector<MotifResult> motifs;  // per planted motif
    double meanCorrelation = 0;       // mean of the best scores (0 for unmatched motifs)
};

// Compares. planted may be null (no per-motif figures). Fails with a message when the
// report does not fit the truth (a call outside the truth's sequences).
bool Evaluate(const TruthTable& truth, const RunReport& report, const std::vector<Motif>* planted,
              const EvalSettings& settings, Evaluation& result, std::string& err);

// True when two stretches share at least minOverlap of the shorter one's length.
bool Matches(const Interval& a, const Interval& b, double minOverlap);

// Human-readable table with a final one-line summary, or one JSON object.
std::string FormatEvaluation(const Evaluation& e, const RunReport& report, const std::string& reportName,
                             const EvalSettings& settings, bool json);

}  // namespace sertools
