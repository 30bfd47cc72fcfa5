// Everything serevan-report draws, gathered from a run's files: every report of the -o file,
// the posterior side files (_Pm.txt of the de novo mode, margmodule.txt of -F), the
// conservation lines of dmd.txt (-P), the input records, and optionally a truth table and a
// motif database.
#pragma once

#include <string>
#include <vector>

#include "common/RunReport.h"
#include "common/TruthTable.h"
#include "motif/MotifFormats.h"

namespace sertools {

enum class RunMode { DeNovo, MotifMode, Scan, AlignedScan };

// Human-readable name of a mode ("de novo", "scan with given motifs (-F)", ...).
const char* ModeName(RunMode mode);
// The mode of an echoed command line.
RunMode ModeOf(const std::string& commandLine);

// What is drawn along one sequence (one species of one group) besides the calls.
struct LaneTrack {
    std::vector<float> posterior;  // per base: share of samples in a module; empty when unknown
    std::vector<char> conserved;   // per base: 1 where all species carry the same base in a
                                   // called module (-P); empty when unknown
};

// One run of the report file with its side information.
struct RunData {
    RunReport report;
    RunMode mode = RunMode::DeNovo;
    int species = 0;               // -N
    int groups = 0;                // input records / species
    long long iterations = 0;      // -n (2000 when not given)
    int motifsAsked = 0;           // -K (3 when not given)
    std::string posteriorFile;     // side file the posterior came from; empty when none
    std::vector<LaneTrack> lanes;  // species-major: species s of group g at s * groups + g
};

// Inputs of the page.
struct ReportSources {
    std::string reportPath;  // the -o file of the run
    std::string inputPath;   // the run's -i file
    std::string truthPath;   // optional truth table (serevan-sim)
    int scanGroup = -1;      // with truth and -P: the truth group the alignment was cut from
    std::string dbPath;      // optional JASPAR / MEME file of known motifs
    std::string groupsPath;  // optional groups table of serevan-prep: checked against the input
};

struct ReportData {
    ReportSources sources;
    std::vector<std::string> names;  // input record names
    std::vector<long long> lengths;  // their lengths (gaps not counted)
    long long longest = 0;           // the longest record
    std::vector<RunData> runs;
    bool hasTruth = false;
    TruthTable truth;                   // groups renumbered for an aligned scan
    std::vector<motifio::Motif> known;  // the database (empty without one)
    std::vector<std::string> notes;     // things the page should say (a side file missing, ...)
};

// Reads everything; false with a one-line message (file and line) for unreadable or
// malformed input or calls that do not fit the input. A missing side file is a note.
bool LoadReportData(const ReportSources& sources, ReportData& data, std::string& err);

}  // namespace sertools
