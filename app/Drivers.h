// The four mode drivers and the group preparation they share. Each driver returns 1 when
// done and -1 after an input error (reported by a one-line message on standard output).
#pragma once

#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "base/InputParameter.h"
#include "base/MyString.h"
#include "numeric/MarkovBackground.h"
#include "numeric/StochasticDistribution.h"

int RunModuleSample(INPUTPARAMETER* param, int nSeq, CRandomStream& rng);
int RunModuleScan(INPUTPARAMETER* param, CRandomStream& rng);
int RunModuleScanUnalign(INPUTPARAMETER* param, int nSeq, CRandomStream& rng);
int RunMotifSelection(INPUTPARAMETER* param, int nSeq, CRandomStream& rng);

// Sequences of all groups, their candidate alignments and conserved templates, owned by a
// driver and lent to the model (slot s*G + g for sequences, g*A + j for alignments).
struct GroupData {
    int N = 0, G = 0, A = 0;
    std::vector<int> seqLen;
    std::vector<CString> names;
    std::vector<std::vector<int>> seq;
    std::vector<int*> seqPtr;             // views of seq for the model
    std::vector<ALIGNPATH> alignPath;     // A per group
    std::vector<double> alignScore;       // A per group
    std::vector<int> alignInfo;           // 3 per alignment: transitions, transversions, identities
    std::vector<std::vector<int>> templ;  // conserved template per group
    std::vector<int> templLen;
    std::vector<int*> templPtr;  // views of templ for the model
    CMarkovBackground bg;        // -g background (empty without -g)
};

// The -g background of a run over these sequences: read from its file, or estimated from
// the sequences (pooled over species, both strands); left empty without -g. False after
// refusing an unreadable or malformed background file.
bool RunBackground(const INPUTPARAMETER& param, int* const* seqs, const int* lens, int nSeq, CMarkovBackground& bg);

// Reads the nSeq sequences of the -i file into d (G = nSeq / N), builds the -g background
// and checks that every group can be aligned within the memory limit. False after printing
// a one-line message.
bool ReadGroups(const INPUTPARAMETER& param, int nSeq, GroupData& d);

// Aligns every group: conserved template from species 0, five refinement passes, then A
// sampled alignments. A group without conserved residues gets ten undetermined bases as its
// template ("no conserved template found!"). False after printing a one-line message.
bool AlignGroups(GroupData& d, int A, CRandomStream& rng);

// Pointer views of a list of matrices, for the model's borrowed-array interface.
std::vector<double*> MatrixViews(std::vector<std::vector<double>>& pwm);

// Prints a one-line input error on standard output and returns the drivers' failure value.
int Refuse(const std::string& message);

// Refuses a run whose output file `failed` could not be written ("cannot write the report
// to X" for the report itself or an unnamed failure, "cannot write X" for any other file).
int RefuseUnwritten(const INPUTPARAMETER& param, const std::string& failed = "");

// Reads the -A file (plain format) into pwm and width and records the count in the
// parameter record. Returns the number of matrices, or -1 after refusing an unreadable or
// malformed file or one that holds more matrices than -K.
int ReadGivenMatrices(INPUTPARAMETER& param, std::vector<std::vector<double>>& pwm, std::vector<int>& width);

class CSerevan;

// Settings, sequences, templates and array shapes of a model over the groups of d; the
// caller then sets its parameters and hands it the alignments.
void AttachGroups(CSerevan& model, const INPUTPARAMETER& param, GroupData& d, const std::vector<int>& width);
