// Reader of the program's report file (the -o file): a file that runs append to holds one
// report per run (-m n, or runs into one name); reads every run's modules, motif matrices
// and called sites, or only the last run's.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/MotifMatrix.h"

namespace sertools {

// The banner line that opens every report (first line of the command-line echo).
extern const char* const kReportBanner;

// One called site as reported.
struct ReportSite {
    int species = 0;     // 0-based
    int group = 0;       // 0-based
    int position = 0;    // first base on the given strand, 0-based
    int strand = 1;      // +1 given strand, -1 reverse complement
    double maxFreq = 0;  // posterior figures as reported
    double alignFreq = 0;
    std::string letters;  // the site's bases read on its strand
    int line = 0;         // 0-based line of its '>' line in the file (the letters follow)
};

// One reported motif.
struct ReportMotif {
    int index = 0;                  // 1-based, as in "Motif<index>"
    bool found = false;             // false: "Motif<index> not found"
    double score = 0;               // the motif's score
    Motif matrix;                   // the frequency matrix (rows normalised)
    std::vector<ReportSite> sites;  // called sites
};

// One predicted module as reported.
struct ReportModule {
    int species = 0;
    int group = 0;
    int start = 0;                           // first base
    int end = 0;                             // one past the last base of its rightmost site
    std::vector<std::pair<int, int>> sites;  // (signed motif code, position)
    int line = 0;                            // 0-based line in the file
};

// One run's report of a report file.
struct RunReport {
    int reportCount = 0;      // reports in the file
    int firstLine = 0;        // 1-based line of this report's banner
    int endLine = 0;          // 0-based line one past its last line (the next banner or the end)
    std::string commandLine;  // the echoed arguments
    double averageLikelihood = 0;
    int postBurnIn = 0;
    bool hasModules = false;  // a "Predicted modules:" block was present
    std::vector<ReportModule> modules;
    std::vector<ReportMotif> motifs;
};

// The value after the last argument of an echoed command line whose second character is
// letter (the program reads an option by that character alone); empty when there is none.
std::string CommandLineValue(const std::string& commandLine, char letter);

// Reads the last report from lines of text; name is used in messages.
bool ParseLastReport(const std::vector<std::string>& lines, const std::string& name, RunReport& report,
                     std::string& err);
// Reads the last report of a file; its side files must end with its blocks.
bool ReadLastReport(const std::string& path, RunReport& report, std::string& err);

// Every report of the file in order, each run read up to the next banner.
bool ParseAllReports(const std::vector<std::string>& lines, const std::string& name, std::vector<RunReport>& runs,
                     std::string& err);
// Reads every report of a file and checks its site and module files.
bool ReadAllReports(const std::string& path, std::vector<RunReport>& runs, std::string& err);

// Checks the side files the program writes beside a report against its runs. Every run appends
// one block to each: motif<k>.txt one line per site of motif k, module.txt (runs with modules)
// one per module, and one line per input record _Pm.txt (de novo runs) and margmodule.txt (-F),
// these two checked only when records, the input's record count, is given. The blocks must be
// the runs' own, in order (lastOnly: each file must end with the last run's block). A missing
// file is not checked. False with a message naming the file that holds a block of no run (left
// by an interrupted run) or lacks a run's block (a cut file, or a report cut short).
bool CheckSideFiles(const std::string& reportPath, const std::vector<RunReport>& runs, bool lastOnly,
                    std::size_t records, std::string& err);

// Options of an echoed command line. The program reads an option by its first letter, so
// "-Fx" counts as -F. CommandValue gives the word after the option (false when absent).
bool CommandHas(const std::string& commandLine, char letter);
bool CommandValue(const std::string& commandLine, char letter, std::string& value);
// The -N value of the echoed command line; 0 when absent or not a sensible number.
int SpeciesCountOf(const std::string& commandLine);

}  // namespace sertools
