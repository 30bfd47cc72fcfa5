// Program entry: usage text, command-line scan, option checks and mode dispatch.
#pragma once

#include <string>
#include <vector>

#include "app/InputParameter.h"

// Largest species count accepted: every path node carries a table of 2^N flags and the
// forward table of a group holds 2^N doubles per node (see README, "Limits").
inline constexpr int kMaxSpecies = 16;
// Largest motif width (-W) and motif count (-K): tables are allocated per motif column.
inline constexpr int kMaxMotifWidth = 100;
inline constexpr int kMaxBgOrder = 5;  // -g: highest background order
inline constexpr int kMaxMotifs = 100;
// Largest number of chains (-C) and threads (-t).
inline constexpr int kMaxChains = 64;
inline constexpr int kMaxWordChoice = 200;  // -j: word matrices the start may choose among
inline constexpr int kMaxThreads = 64;
// Largest number of candidate matrices (-T).
inline constexpr int kMaxCandidates = 100000;

// Version of the program, printed by --version.
inline constexpr const char* kSerevanVersion = "1.1.0";

// One command-line option: its letter, the kind of value it reads, what it does (for the
// help and the notes on misspelt options), the default the program uses, and what it writes
// into the record. A new option is one row here (and, for the model, one field of its
// settings, which the record extends).
enum class OptionKind { Flag, Integer, Real, Text, Seed };
struct OptionValue {
    const char* text;  // the value as given ("" for a flag)
    long long whole;   // Integer and Seed: the checked number
    double real;       // Real: the checked number
};
struct OptionInfo {
    char letter;
    OptionKind kind;
    const char* value;    // name of the value in the help ("" for a flag)
    const char* meaning;  // short description
    const char* deflt;    // default as the program uses it ("" when none)
    void (*apply)(INPUTPARAMETER& p, const OptionValue& v);
};
// Every option the scan knows, in help order.
const std::vector<OptionInfo>& KnownOptions();

// Prints the usage text.
void PrintReadme();

// Prints the full help: every option with its default, each mode's files, an example per mode.
void PrintHelp();

// Writes the defaults into the record.
void SetDefaultParam(INPUTPARAMETER* param);

// Scans the command line into the record. Returns 0 when the run may go on; otherwise the
// exit status, after printing a one-line message on standard output.
int ParseInputParam(INPUTPARAMETER* param, int argc, char** argv);

// Checks the option values the later stages need; returns an empty string when they are
// usable, else a one-line message naming the option and its range.
std::string CheckParamValues(const INPUTPARAMETER& param);

// The run mode chosen by the options: -P wins over -F, -F over -B, otherwise de novo.
enum class RunMode { ScanAligned, ScanUnaligned, MotifSelection, DeNovo };
RunMode ChooseMode(const INPUTPARAMETER& param);

// True when file can be opened for appending; a file that did not exist is removed again.
bool OutputWritable(const char* file);

// The whole program: returns the process exit status.
int SerevanMain(int argc, char** argv);
