// The four mode drivers and the group preparation they share. Each driver reads and checks
// its inputs, builds one model, runs its loop and writes the files from the results. It
// returns the exit status of the run: 0 when done, 1 after an input error or an output that
// could not be written (reported by a one-line message on standard output), or the status
// the model returned.
#pragma once

#include <string>
#include <vector>

#include "app/InputParameter.h"
#include "app/RunOutput.h"
#include "model/Results.h"
#include "model/Settings.h"
#include "numeric/MarkovBackground.h"
#include "numeric/StochasticDistribution.h"

int RunModuleSample(INPUTPARAMETER* param, int nSeq, const OutputNames& names, CRandomStream& rng);
int RunModuleScan(INPUTPARAMETER* param, const OutputNames& names, CRandomStream& rng);
int RunModuleScanUnalign(INPUTPARAMETER* param, int nSeq, const OutputNames& names, CRandomStream& rng);
int RunMotifSelection(INPUTPARAMETER* param, int nSeq, const OutputNames& names, CRandomStream& rng);

// The -g background of a run over these sequences: read from its file, or estimated from
// the sequences (pooled over species, both strands); left empty without -g. False after
// refusing an unreadable or malformed background file.
bool RunBackground(const INPUTPARAMETER& param, const std::vector<std::vector<int>>& seqs, CMarkovBackground& bg);

// Reads the nSeq sequences of the -i file into d (G = nSeq / N), builds the -g background
// and checks that every group can be aligned within the memory limit. False after printing
// a one-line message.
// Only groups first .. first+count-1 are read with count >= 0 (-J): d.G = count, d.firstGroup = first.
bool ReadGroups(const INPUTPARAMETER& param, int nSeq, ModelGroups& d, int first = 0, int count = -1);

// Aligns every group: conserved template from species 0, five refinement passes, then A
// sampled alignments. A group without conserved residues gets ten undetermined bases as its
// template ("no conserved template found!"). With groupSeed (-G), group g draws from the
// stream DeriveSeed(*groupSeed, its index in the whole input, kAlignmentStream) instead of
// rng. False after printing a one-line message.
bool AlignGroups(ModelGroups& d, int A, CRandomStream& rng, const unsigned* groupSeed = nullptr);

// The starting parameters of the unaligned scan: the -A matrices, their expected sites as
// per-position probabilities, -R, -b and -f. Returns 0, or 1 after a one-line refusal.
int UnalignedScanStart(INPUTPARAMETER& param, ModelStart& start);

// Prints again, at the end of a run where a user looks, every warning that the input looks
// mis-ordered or -N wrong (each was printed when found).
void RepeatLayoutWarnings();

// Prints a one-line input error on standard output and returns the failure status (1).
int Refuse(const std::string& message);

// Refuses a run whose output file `failed` could not be written ("cannot write the report
// to X" for the report itself or an unnamed failure, "cannot write X" for any other file).
int RefuseUnwritten(const OutputNames& names, const std::string& failed = "");

// The exit status of a loop that stopped with status: its message printed, or, when the
// model gave none, the output named in failed refused (the progress log could not be written).
int Stopped(const RunStatus& status, const OutputNames& names, const std::string& failed);

// Reads the -A file (plain format) into pwm and width and records the count in the
// parameter record. Returns the number of matrices, or -1 after refusing an unreadable or
// malformed file or one that holds more matrices than -K.
int ReadGivenMatrices(INPUTPARAMETER& param, std::vector<std::vector<double>>& pwm, std::vector<int>& width);
