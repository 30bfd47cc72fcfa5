// Gathers the files of a run for serevan-report.
#include "common/ReportData.h"

#include <algorithm>
#include <fstream>

#include "common/InputMatch.h"
#include "common/ToolText.h"

namespace sertools {

const char* ModeName(RunMode mode)
{
    switch (mode) {
    case RunMode::DeNovo: return "de novo";
    case RunMode::MotifMode: return "de novo, motif mode (-s)";
    case RunMode::Scan: return "scan with given motifs (-F)";
    case RunMode::AlignedScan: return "aligned scan (-P)";
    }
    return "";
}

RunMode ModeOf(const std::string& commandLine)
{
    if (CommandHas(commandLine, 'P')) return RunMode::AlignedScan;
    if (CommandHas(commandLine, 'F')) return RunMode::Scan;
    if (CommandHas(commandLine, 's')) return RunMode::MotifMode;
    return RunMode::DeNovo;
}

namespace {

bool Exists(const std::string& path)
{
    std::ifstream in(path);
    return static_cast<bool>(in);
}

// Reads a table of per-position counts (one line per species and group, blocks of
// species x groups lines, one block per run that wrote it) into the lanes of the runs
// given; the last blocks of the file belong to those runs, in order.
bool ReadPosteriors(const std::string& path, const std::vector<RunData*>& runs, const ReportData& data,
                    std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    const std::size_t perBlock = static_cast<std::size_t>(runs[0]->species) * runs[0]->groups;
    if (perBlock == 0 || lines.size() % perBlock != 0) {
        err = Format("%s: %zu lines do not fit %d species x %d groups", path.c_str(), lines.size(), runs[0]->species,
                     runs[0]->groups);
        return false;
    }
    const std::size_t blocks = lines.size() / perBlock;
    const std::size_t first = blocks >= runs.size() ? blocks - runs.size() : 0;
    for (std::size_t b = first; b < blocks; ++b) {
        RunData& run = *runs[runs.size() - (blocks - b)];
        const long long T = std::max(1, run.report.postBurnIn);
        run.posteriorFile = path;
        for (std::size_t l = 0; l < perBlock; ++l) {
            const std::size_t lineNo = b * perBlock + l;
            const std::vector<std::string> f = SplitBlank(lines[lineNo]);
            const long long length = data.lengths[l];
            if (static_cast<long long>(f.size()) < length) {
                err = Format("%s line %zu: %zu values for a sequence of %lld bases", path.c_str(), lineNo + 1, f.size(),
                             length);
                return false;
            }
            std::vector<float>& post = run.lanes[l].posterior;
            post.resize(static_cast<std::size_t>(length));
            for (long long i = 0; i < length; ++i) {
                long long count = 0;
                if (!ParseInt(f[static_cast<std::size_t>(i)], count) || count < 0 || count > T) {
                    err = Format("%s line %zu: '%s' is not a count from 0 to %lld", path.c_str(), lineNo + 1,
                                 f[static_cast<std::size_t>(i)].c_str(), T);
                    return false;
                }
                post[static_cast<std::size_t>(i)] = static_cast<float>(static_cast<double>(count) / T);
            }
        }
    }
    return true;
}

// Reads the conservation lines of dmd.txt (four lines per called module: name, start, end
// and sites; the module's bases; site marks; '*' under columns where all species agree).
// The last entries of the file belong to the modules of the given runs, in order.
bool ReadConservation(const std::string& path, const std::vector<RunData*>& runs, ReportData& data, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (lines.size() % 4 != 0) {
        err = Format("%s: %zu lines are not blocks of four lines per module", path.c_str(), lines.size());
        return false;
    }
    std::size_t wanted = 0;
    for (const RunData* r : runs) wanted += r->report.modules.size();
    const std::size_t entries = lines.size() / 4;
    if (entries < wanted) {
        data.notes.push_back(Format("%s holds %zu modules, fewer than the %zu reported; conservation not drawn",
                                    path.c_str(), entries, wanted));
        return true;
    }
    std::size_t e = entries - wanted;
    for (RunData* r : runs)
        for (const ReportModule& m : r->report.modules) {
            const std::size_t at = 4 * e++;
            const std::vector<std::string> head = SplitTabs(lines[at]);
            long long start = 0, end = 0;
            if (head.size() < 3 || head[0].empty() || head[0][0] != '>' || !ParseInt(head[1], start) ||
                !ParseInt(head[2], end)) {
                err = Format("%s line %zu: not a module line ('>name<TAB>start<TAB>end<TAB>sites')", path.c_str(),
                             at + 1);
                return false;
            }
            if (start != m.start || end != m.end) {
                data.notes.push_back(
                    Format("%s does not match the report's modules; conservation not drawn", path.c_str()));
                for (LaneTrack& t : r->lanes) t.conserved.clear();
                return true;
            }
            LaneTrack& t = r->lanes[static_cast<std::size_t>(m.species * r->groups + m.group)];
            t.conserved.resize(static_cast<std::size_t>(data.lengths[m.species * r->groups + m.group]), 0);
            const std::string& stars = lines[at + 3];
            for (std::size_t i = 0; i < stars.size(); ++i)
                if (stars[i] == '*' && start + static_cast<long long>(i) < static_cast<long long>(t.conserved.size()))
                    t.conserved[static_cast<std::size_t>(start) + i] = 1;
        }
    return true;
}

}  // namespace

bool LoadReportData(const ReportSources& sources, ReportData& data, std::string& err)
{
    data = ReportData{};
    data.sources = sources;
    InputRecords input;
    if (!ReadInputRecords(sources.inputPath, input, err)) return false;
    data.names = input.names;
    for (const std::string& letters : input.letters) {
        data.lengths.push_back(static_cast<long long>(letters.size()));
        data.longest = std::max(data.longest, data.lengths.back());
    }
    std::vector<RunReport> reports;
    if (!ReadAllReports(sources.reportPath, reports, err)) return false;
    // Every call inside the input, every site's letters the input's; a posterior line per record.
    // With a groups table, the table must describe the input as well (the one shared check).
    GroupTable table;
    table.path = sources.groupsPath;
    if (!table.path.empty() && !ReadGroupTable(table.path, table.segments, table.species, err)) return false;
    std::vector<int> groups(reports.size());
    for (std::size_t r = 0; r < reports.size(); ++r)
        if (!CheckAgainstInput(sources.reportPath, reports[r], input, table.path.empty() ? nullptr : &table, groups[r],
                               err))
            return false;
    if (!CheckSideFiles(sources.reportPath, reports, false, data.names.size(), err)) return false;

    for (RunReport& rep : reports) {
        RunData run;
        run.mode = ModeOf(rep.commandLine);
        run.species = SpeciesCountOf(rep.commandLine);
        run.groups = groups[data.runs.size()];
        std::string text;
        run.iterations = 2000;
        if (CommandValue(rep.commandLine, 'n', text)) ParseInt(text, run.iterations);
        long long k = 3;
        if (CommandValue(rep.commandLine, 'K', text)) ParseInt(text, k);
        run.motifsAsked = static_cast<int>(k);
        run.report = std::move(rep);
        run.lanes.resize(data.names.size());
        data.runs.push_back(std::move(run));
    }

    // Side files: one block per run that wrote them.
    struct Side {
        RunMode mode;
        const char* suffix;
    };
    for (const Side& side : {Side{RunMode::DeNovo, "_Pm.txt"}, Side{RunMode::Scan, "margmodule.txt"},
                             Side{RunMode::AlignedScan, "dmd.txt"}}) {
        std::vector<RunData*> runs;
        for (RunData& r : data.runs)
            if (r.mode == side.mode) runs.push_back(&r);
        if (runs.empty()) continue;
        for (const RunData* r : runs)
            if (r->species != runs[0]->species) {
                data.notes.push_back(Format("runs of %s differ in -N; %s%s not drawn", ModeName(side.mode),
                                            sources.reportPath.c_str(), side.suffix));
                runs.clear();
                break;
            }
        if (runs.empty()) continue;
        const std::string path = sources.reportPath + side.suffix;
        if (!Exists(path)) {
            data.notes.push_back(path + " is missing; " +
                                 (side.mode == RunMode::AlignedScan ? "conservation" : "module posterior") +
                                 " not drawn");
            continue;
        }
        const bool ok = side.mode == RunMode::AlignedScan ? ReadConservation(path, runs, data, err)
                                                          : ReadPosteriors(path, runs, data, err);
        if (!ok) return false;
    }

    if (!sources.truthPath.empty()) {
        if (!ReadTruth(sources.truthPath, data.truth, err)) return false;
        const RunData& last = data.runs.back();
        TruthTable& t = data.truth;
        if (sources.scanGroup >= 0) {
            // An aligned scan holds one group: keep that group of the truth as group 0.
            for (std::vector<Interval>* v : {&t.sequences, &t.modules, &t.sites}) {
                std::erase_if(*v, [&](const Interval& x) { return x.group != sources.scanGroup; });
                for (Interval& x : *v) x.group = 0;
            }
        }
        for (const std::vector<Interval>* v : {&t.sequences, &t.modules, &t.sites})
            for (const Interval& x : *v)
                if (x.species >= last.species || x.group >= last.groups ||
                    x.end >= data.lengths[x.species * last.groups + x.group]) {
                    err =
                        Format("%s: species %d group %d, %d-%d, lies outside the input %s%s", sources.truthPath.c_str(),
                               x.species, x.group, x.start, x.end, sources.inputPath.c_str(),
                               sources.scanGroup < 0 && last.groups == 1 ? " (an aligned scan? see --scan-group)" : "");
                    return false;
                }
        data.hasTruth = true;
    }
    if (!sources.dbPath.empty()) {
        if (!motifio::ReadMotifs(sources.dbPath, motifio::MotifFormat::Unknown, data.known, nullptr, err)) return false;
        if (data.known.empty()) {
            err = sources.dbPath + ": no motif";
            return false;
        }
    }
    return true;
}

}  // namespace sertools
