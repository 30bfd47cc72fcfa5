// INPUTPARAMETER: the run settings filled from the command line. The model's own settings
// (model/Settings.h) are its base, so an option the model reads is written there directly;
// the fields below are read only by main and the mode drivers.
#pragma once

#include <string>
#include <vector>

#include "base/MyString.h"
#include "model/Settings.h"

struct INPUTPARAMETER : ModelSettings {
    CString strSeqFile;                  // -i: sequence file (aligned file with -P)
    CString strOutputFile;               // -o: report file; side files are named from it
    CString strKnownMotifFile;           // -A: given motif matrices
    CString strCandidateMotifFile;       // -B: candidate matrices of the motif selection
    bool bKnownMotif = false;            // set by -A
    int nCandidateMotifNum = 0;          // -T: number of candidate matrices
    bool bCandidateNumGiven = false;     // -T was given
    double dModuleStartPr = 0.001;       // -R: module entry probability (unaligned scan)
    double dBgMutationRate = 0.1;        // -b: background substitution probability
    double dMotifMutationRate = 0.02;    // -f: motif-site substitution probability
    CString strParamFile;                // -P: model parameter file of the aligned scan
    bool bScanUnaligned = false;         // -F
    bool bScanAligned = false;           // -P
    bool bMotifSelection = false;        // -B
    bool bScanDetail = true;             // -x clears it: the aligned scan only scores
    int nRepeatNum = 1;                  // -m
    int nBgOrder = -1;                   // -g k: background of order k (-1: the default model)
    CString strBgFile;                   // -g FILE: background read from a file instead
    bool bSoftMask = false;              // -l: lower-case bases are undetermined
    bool bWordSeeds = false;             // -D: starting motifs from conserved, over-represented words
    bool bConsensusChain = false;        // -E: one more chain, the motifs most chains found held fixed
    bool bShard = false;                 // -J A-B: scan only groups A..B and write their counts
    int nShardFirst = -1;                // -J: A (-1: the value is not a range)
    int nShardLast = -1;                 // -J: B
    std::vector<int> chainMinWidth;      // -a: smallest motif width of chain c at c mod size (empty: -w)
    bool bChainWidthBad = false;         // -a: the value is not a list of widths
    std::vector<std::string> arguments;  // the command line after the program's name, as given

    // The smallest motif width chain c samples with.
    int MinWidthOf(int chain) const
    {
        return chainMinWidth.empty() ? nMinMotifWidth : chainMinWidth[chain % chainMinWidth.size()];
    }
};
