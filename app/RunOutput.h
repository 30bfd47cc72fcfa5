// The files of a run: their names, built once from the -o name, and the writers that turn a
// model's results into them. Every file is appended to (repeated runs into one name
// accumulate), each in one piece built in memory; the side files come first and the report
// last, so a report holds a run only when all of that run's side files do.
#pragma once

#include <string>
#include <vector>

#include "base/MyString.h"
#include "model/Results.h"
#include "model/Serevan.h"

// Every output name of a run. Side files append their suffix directly to the whole -o name.
struct OutputNames {
    explicit OutputNames(const std::string& reportName);
    std::string report;                  // the -o name
    std::string info;                    // progress log: report + ".info"
    std::string moduleFreq;              // module-membership counts: report + "_Pm.txt"
    std::string moduleList;              // called modules: report + "module.txt"
    std::string detail;                  // aligned scan, module detail: report + "dmd.txt"
    std::string debug;                   // aligned scan, call passes: "debuginfo.txt" in the working folder
    std::string margCons;                // unaligned scan, species-0 alignment counts: report + "margcons.txt"
    std::string margModule;              // unaligned scan, module counts: report + "margmodule.txt"
    std::string margAlign;               // unaligned scan, alignment counts: report + "margAlign.txt"
    std::string Motif(int k) const;      // called sites of motif k: report + "motif<k+1>.txt"
    std::string MargMotif(int k) const;  // unaligned scan, site counts of motif k: report + "margmotif<k+1>.txt"
};

// The files each kind of run writes.
enum class RunKind { DeNovo, AlignedScan, UnalignedScan };

// Writes the files of a run from its results, then the console line ("<report>\t<average
// log-likelihood>\t<average log-posterior>") unless console is false. False at the first
// file that could not be written, named in failed; nothing after it is written.
bool WriteRun(const OutputNames& names, RunKind kind, const RunResults& results, std::string& failed,
              bool console = true);

// The count tables of an unaligned scan (margcons, margmodule, margAlign, margmotif<k>), from
// the posterior sums of its results.
bool WriteScanTables(const OutputNames& names, const RunResults& results, std::string& failed);

// Appends the motif selection's lines to the report: the best candidate, then one line per
// candidate (number, log-likelihood ratio, width, name).
bool WriteSelection(const OutputNames& names, const RunResults& results, const std::vector<int>& widths,
                    const std::vector<CString>& candidates, std::string& failed);

// The progress log of a run: each line appended to names.info; a line that cannot be written
// names the file in failed and stops the loop.
InfoLog InfoWriter(const OutputNames& names, std::string& failed);

// The text of a per-slot count table: one line per slot (species-major), every count as
// "%d\t", padded with "0\t" to the longest slot, then "\n".
std::string CountTableText(const std::vector<std::vector<int>>& counts);

// Posterior sums of an unaligned scan over these groups, all counts zero: the widths summed
// over `samples` iterations at their given values, the sampling flag set.
PosteriorSums ScanSums(const ModelGroups& groups, const std::vector<int>& widths, int samples);

// Reads the count tables of an unaligned scan (margmodule, margAlign, margmotif<k>, margcons)
// that hold groups first .. first+count-1 of these groups into their slots of sums (shaped
// by ScanSums), unpadded to the groups' lengths. False with a one-line message naming the
// file and line when a table is missing or does not fit the groups.
bool ReadScanTables(const OutputNames& names, const ModelGroups& groups, int first, int count, PosteriorSums& sums,
                    std::string& err);
