// INPUTPARAMETER: the run settings filled from the command line, read by the mode drivers
// and copied into the model.
#pragma once

#include "base/MyString.h"

struct INPUTPARAMETER {
    CString strParamLine;              // banner plus every argument, each followed by a blank
    bool bBothStrands = true;          // -r: sites on the reverse strand as well
    bool bMotifMode = false;           // -s: every position is a module position
    bool bMaskLowComplexity = false;   // -M: low-complexity windows get no site probability
    CString strSeqFile;                // -i: sequence file (aligned file with -P)
    CString strOutputFile;             // -o: report file; side files are named from it
    CString strKnownMotifFile;         // -A: given motif matrices
    CString strCandidateMotifFile;     // -B: candidate matrices of the motif selection
    bool bKnownMotif = false;          // set by -A
    int nKnownMotifNum = 0;            // matrices read from the -A file (written by the drivers)
    int nCandidateMotifNum = 0;        // -T: number of candidate matrices
    bool bCandidateNumGiven = false;   // -T was given
    bool bMotifPr = false;             // -q given: motif site probabilities fixed
    double dMotifPr = 0.0;             // -q: site probability of each motif per module position
    double dModuleStartPr = 0.001;     // -R: module entry probability (unaligned scan)
    double dBgMutationRate = 0.1;      // -b: background substitution probability
    double dMotifMutationRate = 0.02;  // -f: motif-site substitution probability
    CString strParamFile;              // -P: model parameter file of the aligned scan
    bool bScanUnaligned = false;       // -F
    bool bScanAligned = false;         // -P
    bool bMotifSelection = false;      // -B
    bool bScanDetail = true;           // -x clears it: the aligned scan only scores
    int nSpeciesNum = -1;              // -N
    int nMotifNum = 3;                 // -K
    int nMinMotifWidth = 10;           // -w
    int nMaxMotifWidth = 14;           // -W
    int nModuleLen = 200;              // -L
    int nMaxIterNum = 2000;            // -n
    int nRepeatNum = 1;                // -m
    double dAlignUpdatePr = 0.1;       // -u
    bool bCollapsed = false;           // -c
    double dPostCutoff = 0.5;          // -p
    int nBgOrder = -1;                 // -g k: background of order k (-1: the default model)
    CString strBgFile;                 // -g FILE: background read from a file instead
    bool bSoftMask = false;            // -l: lower-case bases are undetermined
    bool bSeedGiven = false;           // -S given
    unsigned nSeed = 0;                // -S: seed of the random stream
};
