// The report reader of the companion tools: every run of the file, and the last run alone;
// site posteriors in [0, 1] and letters as wide as their motif; side files written from the
// runs match them, and one stray line in them is refused.
#include <algorithm>
#include <cstdio>

#include "FuzzSupport.h"
#include "common/RunReport.h"
#include "common/ToolText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::ScratchFile(data, size);
    std::vector<sertools::RunReport> runs;
    std::string err;
    if (!sertools::ReadAllReports(path, runs, err)) {
        fuzz::RequireOneLine(err);
        return 0;
    }
    fuzz::Require(!runs.empty());
    size_t motifs = 0;
    for (const sertools::RunReport& run : runs) {
        fuzz::Require(run.reportCount == static_cast<int>(runs.size()) && run.firstLine >= 1);
        for (const sertools::ReportMotif& m : run.motifs) {
            if (!m.matrix.p.empty()) fuzz::RequireRowsSumToOne(m.matrix.p, m.matrix.Width(), false);
            for (const sertools::ReportSite& s : m.sites)
                fuzz::Require(s.maxFreq >= 0 && s.maxFreq <= 1 && s.alignFreq >= 0 && s.alignFreq <= 1 &&
                              static_cast<int>(s.letters.size()) == m.matrix.Width());
        }
        motifs = std::max(motifs, run.motifs.size());
    }
    sertools::RunReport last;
    fuzz::Require(sertools::ReadLastReport(path, last, err));
    fuzz::Require(last.firstLine == runs.back().firstLine && last.motifs.size() == runs.back().motifs.size() &&
                  last.modules.size() == runs.back().modules.size());
    if (motifs > 20) return 0;
    // Side files as the program writes them: one block per run, in order.
    std::vector<std::string> side(motifs + 1);  // motif1.txt ... and module.txt last
    for (const sertools::RunReport& run : runs) {
        for (size_t k = 0; k < run.motifs.size(); ++k)
            for (const sertools::ReportSite& s : run.motifs[k].sites)
                side[k] += sertools::Format("%d\t%d\t%d\t%d\t%.17g\t%.17g\n", s.species, s.group, s.position, s.strand,
                                            s.maxFreq, s.alignFreq);
        for (const sertools::ReportModule& m : run.modules)
            side[motifs] += sertools::Format("%d\t%d\t%d\t%d\n", m.species, m.group, m.start, m.end);
    }
    std::vector<std::string> names;
    for (size_t k = 0; k <= motifs; ++k) {
        names.push_back(path + (k < motifs ? sertools::Format("motif%zu.txt", k + 1) : "module.txt"));
        fuzz::ScratchFile(side[k].data(), side[k].size(), names.back().substr(path.size()));
    }
    fuzz::Require(sertools::CheckSideFiles(path, runs, false, 0, err) && sertools::ReadLastReport(path, last, err));
    const std::string stray = "0\t0\t0\t1\t1.000\t1.000\n";
    fuzz::ScratchFile((side[0] + stray).data(), side[0].size() + stray.size(), names[0].substr(path.size()));
    fuzz::Require(!sertools::CheckSideFiles(path, runs, false, 0, err));
    fuzz::RequireOneLine(err);
    for (const std::string& name : names) std::remove(name.c_str());
    return 0;
}
