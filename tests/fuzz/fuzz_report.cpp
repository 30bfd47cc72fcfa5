// The report reader of the companion tools: every run of the file, and the last run alone.
#include "FuzzSupport.h"
#include "common/RunReport.h"

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
    for (const sertools::RunReport& run : runs) {
        fuzz::Require(run.reportCount == static_cast<int>(runs.size()) && run.firstLine >= 1);
        for (const sertools::ReportMotif& m : run.motifs)
            if (!m.matrix.p.empty()) fuzz::RequireRowsSumToOne(m.matrix.p, m.matrix.Width(), false);
    }
    sertools::RunReport last;
    fuzz::Require(sertools::ReadLastReport(path, last, err));
    fuzz::Require(last.firstLine == runs.back().firstLine && last.motifs.size() == runs.back().motifs.size() &&
                  last.modules.size() == runs.back().modules.size());
    return 0;
}
