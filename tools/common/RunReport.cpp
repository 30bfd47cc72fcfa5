// Reader of the program's report file.
#include "common/RunReport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "base/Numbers.h"
#include "common/ToolText.h"

namespace sertools {

const char* const kReportBanner = "Serevan (beta 1, Nov 2007)";

namespace {

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Module site codes: a run of "+k(pos)" or "-k(pos)".
bool ParseModuleCodes(const std::string& text, std::vector<std::pair<int, int>>& out)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '+' && text[i] != '-') return false;
        std::size_t open = text.find('(', i), close = text.find(')', i);
        if (open == std::string::npos || close == std::string::npos || close < open) return false;
        int code = 0, pos = 0;
        if (!ParseInt(text.substr(i, open - i), code) || code == 0 ||
            !ParseInt(text.substr(open + 1, close - open - 1), pos) || pos < 0)
            return false;
        out.emplace_back(code, pos);
        i = close + 1;
    }
    return !out.empty();
}

bool IsLetters(const std::string& s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < 'A' || c > 'Z') return false;
    return true;
}

// Fields of a tab-separated line without the empty field a final tab leaves.
std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> f = SplitTabs(line);
    if (f.size() > 1 && f.back().empty()) f.pop_back();
    return f;
}

// The number of motifs a run was asked for: the -K value, 3 when there is none; 0 when the
// value is not a number (no check is then possible).
int MotifCountOf(const std::string& commandLine)
{
    const std::string value = CommandLineValue(commandLine, 'K');
    long long v = 0;
    if (value.empty()) return 3;
    return ParseInt(value, v) && v > 0 && v < 100000 ? static_cast<int>(v) : 0;
}

}  // namespace

std::string CommandLineValue(const std::string& commandLine, char letter)
{
    std::vector<std::string> args = SplitBlank(commandLine);
    std::string value;
    for (std::size_t a = 0; a + 1 < args.size(); ++a)
        if (args[a].size() >= 2 && args[a][0] == '-' && args[a][1] == letter) value = args[a + 1];
    return value;
}

namespace {

// The aligned scan's score line that follows its report: ">name<TAB>score", the score printed
// with decimals or not finite; a name with tabs must not read as a site's species number (a
// site line cut short, ">0<TAB>1" or ">0<TAB>0<TAB>14<TAB>1<TAB>0.9", is not a score line).
bool IsScoreLine(const std::vector<std::string>& f)
{
    double x = 0;
    int n = 0;
    if (f.size() < 2 || !serevan::ParseAnyReal(f.back(), x) ||
        (f.back().find('.') == std::string::npos && std::isfinite(x)))
        return false;
    return f.size() == 2 || !ParseInt(f[0], n);
}

// Reads the run whose banner is lines[banner]; the run ends before lines[end] (the next
// banner or the end of the file).
bool ParseRun(const std::vector<std::string>& all, std::size_t banner, std::size_t end, const std::string& name,
              RunReport& r, std::string& err)
{
    // Only the run's own lines are looked at: the run ends where the next one begins.
    struct Window {
        const std::vector<std::string>& all;
        std::size_t n;
        std::size_t size() const { return n; }
        const std::string& operator[](std::size_t k) const { return all[k]; }
    } lines{all, end};
    r.firstLine = static_cast<int>(banner) + 1;
    r.endLine = static_cast<int>(end);
    std::size_t i = banner + 1;
    auto where = [&](std::size_t at) { return Format("%s:%zu", name.c_str(), at + 1); };
    auto fail = [&](std::size_t at, const std::string& what) {
        err = where(at) + ": malformed report: " + what;
        return false;
    };
    auto skipBlank = [&]() {
        while (i < lines.size() && lines[i].empty()) ++i;
    };

    for (; i < lines.size() && !StartsWith(lines[i], "Average likelihood="); ++i)
        r.commandLine += (r.commandLine.empty() ? "" : "\n") + lines[i];
    if (i >= lines.size()) return fail(i - 1, "ends before 'Average likelihood='");
    if (!serevan::ParseAnyReal(lines[i].substr(19), r.averageLikelihood))
        return fail(i, "'Average likelihood=' is not followed by a number");
    ++i;
    if (i >= lines.size() || !StartsWith(lines[i], "Post burn-in iterations=") ||
        !ParseInt(lines[i].substr(24), r.postBurnIn))
        return fail(i < lines.size() ? i : i - 1, "expected 'Post burn-in iterations=<number>'");
    ++i;
    skipBlank();

    if (i < lines.size() && lines[i] == "Predicted modules:") {
        r.hasModules = true;
        for (++i; i < lines.size() && !lines[i].empty(); ++i) {
            std::vector<std::string> f = Fields(lines[i]);
            ReportModule m;
            m.line = static_cast<int>(i);
            if (f.size() != 5 || !ParseInt(f[0], m.species) || !ParseInt(f[1], m.group) || !ParseInt(f[2], m.start) ||
                !ParseInt(f[3], m.end) || m.species < 0 || m.group < 0 || m.start < 0 || m.end <= m.start ||
                !ParseModuleCodes(f[4], m.sites))
                return fail(i,
                            "a module line must read species, group, start, end (> start) and "
                            "site codes like +2(120)-1(140), separated by tabs");
            r.modules.push_back(m);
        }
        skipBlank();
    }

    int expected = 1;
    while (i < lines.size() && StartsWith(lines[i], "Motif")) {
        ReportMotif m;
        const std::string& head = lines[i];
        std::string rest = head.substr(5);
        std::size_t colon = rest.find(':');
        if (rest.size() > 10 && rest.compare(rest.size() - 10, 10, " not found") == 0) {
            if (!ParseInt(rest.substr(0, rest.size() - 10), m.index))
                return fail(i, "expected 'Motif<number> not found'");
        } else if (colon == std::string::npos || !ParseInt(rest.substr(0, colon), m.index) ||
                   !serevan::ParseAnyReal(rest.substr(colon + 1), m.score)) {
            return fail(i, "expected 'Motif<number>:<score>' or 'Motif<number> not found'");
        } else {
            m.found = true;
        }
        if (m.index != expected) return fail(i, Format("expected motif %d here", expected));
        ++expected;
        std::size_t headLine = i++;
        if (m.found) {
            if (i >= lines.size() || lines[i] != "A\tC\tG\tT")
                return fail(i < lines.size() ? i : headLine, "expected the header 'A<tab>C<tab>G<tab>T'");
            for (++i; i < lines.size() && !lines[i].empty(); ++i) {
                std::vector<std::string> f = Fields(lines[i]);
                double row[4];
                double sum = 0;
                bool ok = f.size() == 4;
                for (int b = 0; ok && b < 4; ++b) {
                    ok = ParseReal(f[b], row[b]) && row[b] >= 0;
                    sum += ok ? row[b] : 0;
                }
                if (!ok || !(sum > 0))
                    return fail(i,
                                "a matrix row must hold four non-negative frequencies with a "
                                "positive sum");
                for (int b = 0; b < 4; ++b) m.matrix.p.push_back(row[b] / sum);
            }
            if (m.matrix.p.empty()) return fail(headLine, "motif without matrix rows");
            m.matrix.id = m.matrix.name = Format("Motif%d", m.index);
            skipBlank();
            if (i >= lines.size() || lines[i] != "Sites:")
                return fail(i < lines.size() ? i : lines.size() - 1, "expected 'Sites:'");
            const std::size_t width = m.matrix.p.size() / 4;
            for (++i; i < lines.size() && StartsWith(lines[i], ">"); i += 2) {
                std::vector<std::string> f = Fields(lines[i].substr(1));
                ReportSite s;
                // The aligned scan's score line ends the list (and the run).
                if (IsScoreLine(f)) break;
                if (f.size() != 6 || !ParseInt(f[0], s.species) || !ParseInt(f[1], s.group) ||
                    !ParseInt(f[2], s.position) || !ParseInt(f[3], s.strand) || s.species < 0 || s.group < 0 ||
                    s.position < 0 || (s.strand != 1 && s.strand != -1))
                    return fail(i,
                                "a site line must read >species, group, position, strand (1 or "
                                "-1), maxFreq, alignFreq");
                // Posteriors are shares of samples: a value outside [0, 1] is damage, not a call.
                if (!ParseReal(f[4], s.maxFreq) || !ParseReal(f[5], s.alignFreq) || s.maxFreq < 0 || s.maxFreq > 1 ||
                    s.alignFreq < 0 || s.alignFreq > 1)
                    return fail(i, "maxFreq and alignFreq must be numbers from 0 to 1");
                if (i + 1 >= lines.size() || !IsLetters(lines[i + 1]))
                    return fail(i + 1 < lines.size() ? i + 1 : i, "a site line must be followed by the site's letters");
                if (lines[i + 1].size() != width)
                    return fail(i + 1, Format("the site's %zu letters do not fill the motif's width %zu (cut short?)",
                                              lines[i + 1].size(), width));
                s.letters = lines[i + 1];
                s.line = static_cast<int>(i);
                m.sites.push_back(s);
            }
        }
        r.motifs.push_back(m);
        skipBlank();
    }
    if (r.motifs.empty()) return fail(i < lines.size() ? i : lines.size() - 1, "no 'Motif' section after the header");
    // Nothing but the aligned scan's score line may follow the last motif.
    if (i < lines.size() && StartsWith(lines[i], ">") && IsScoreLine(Fields(lines[i].substr(1)))) ++i;
    skipBlank();
    if (i < lines.size()) return fail(i, "unexpected line after the last motif");
    int K = MotifCountOf(r.commandLine);
    if (K > 0 && static_cast<int>(r.motifs.size()) != K)
        return fail(
            i < lines.size() ? i : lines.size() - 1,
            Format("the command line asks for %d motifs but the report has %zu (truncated?)", K, r.motifs.size()));
    return true;
}

// Indices of the banner lines.
std::vector<std::size_t> Banners(const std::vector<std::string>& lines)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == kReportBanner) at.push_back(i);
    return at;
}

}  // namespace

bool ParseLastReport(const std::vector<std::string>& lines, const std::string& name, RunReport& report,
                     std::string& err)
{
    const std::vector<std::size_t> banners = Banners(lines);
    if (banners.empty()) {
        err = name + ": no report found (no line '" + kReportBanner + "')";
        return false;
    }
    RunReport r;
    r.reportCount = static_cast<int>(banners.size());
    if (!ParseRun(lines, banners.back(), lines.size(), name, r, err)) return false;
    report = std::move(r);
    return true;
}

bool ParseAllReports(const std::vector<std::string>& lines, const std::string& name, std::vector<RunReport>& runs,
                     std::string& err)
{
    const std::vector<std::size_t> banners = Banners(lines);
    if (banners.empty()) {
        err = name + ": no report found (no line '" + kReportBanner + "')";
        return false;
    }
    std::vector<RunReport> out;
    for (std::size_t k = 0; k < banners.size(); ++k) {
        // Each run ends where the next one's banner begins.
        RunReport r;
        r.reportCount = static_cast<int>(banners.size());
        if (!ParseRun(lines, banners[k], k + 1 < banners.size() ? banners[k + 1] : lines.size(), name, r, err))
            return false;
        out.push_back(std::move(r));
    }
    runs = std::move(out);
    return true;
}

bool ReadAllReports(const std::string& path, std::vector<RunReport>& runs, std::string& err)
{
    std::vector<std::string> lines;
    return ReadLines(path, lines, err) && ParseAllReports(lines, path, runs, err) &&
           CheckSideFiles(path, runs, false, 0, err);
}

bool ReadLastReport(const std::string& path, RunReport& report, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    // When every run reads, the side files are matched against all of them; else (an earlier
    // run is damaged) each must end with the last run's block.
    std::vector<RunReport> runs;
    std::string ignored;
    if (ParseAllReports(lines, path, runs, ignored)) {
        if (!CheckSideFiles(path, runs, false, 0, err)) return false;
        report = std::move(runs.back());
        return true;
    }
    return ParseLastReport(lines, path, report, err) && CheckSideFiles(path, {report}, true, 0, err);
}

namespace {

// One line a side file must hold: its numbers and the report line it repeats (0-based).
struct SideLine {
    std::vector<double> values;
    int reportLine = 0;
};

// Compares one side file with the runs' blocks (blocks[r]: run r's lines, in order).
bool MatchSideFile(const std::string& reportPath, const std::string& path, const std::vector<RunReport>& runs,
                   const std::vector<std::vector<SideLine>>& blocks, bool lastOnly, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    std::size_t wanted = 0;
    for (const std::vector<SideLine>& b : blocks) wanted += b.size();
    if (lastOnly && lines.size() < wanted) {
        err = Format("%s holds %zu lines, fewer than the %zu of the last run of %s (line %d): is %s cut?", path.c_str(),
                     lines.size(), wanted, reportPath.c_str(), runs.back().firstLine, path.c_str());
        return false;
    }
    std::size_t at = lastOnly ? lines.size() - wanted : 0;
    for (std::size_t r = 0; r < blocks.size(); ++r)
        for (const SideLine& want : blocks[r]) {
            if (at >= lines.size()) {
                err = Format(
                    "%s ends at line %zu without %s:%d (of the run at line %d): is %s cut, or %s from "
                    "another run?",
                    path.c_str(), lines.size(), reportPath.c_str(), want.reportLine + 1, runs[r].firstLine,
                    path.c_str(), reportPath.c_str());
                return false;
            }
            const std::vector<std::string> f = Fields(lines[at]);
            bool same = f.size() == want.values.size();
            for (std::size_t v = 0; same && v < f.size(); ++v) {
                double x = 0;
                same = ParseReal(f[v], x) && std::fabs(x - want.values[v]) < 5e-4;
            }
            if (!same) {
                err = Format(
                    "%s:%zu: not the line of %s:%d (the run at line %d): %s holds a block of a run that "
                    "is not in the report (interrupted?), or %s was cut",
                    path.c_str(), at + 1, reportPath.c_str(), want.reportLine + 1, runs[r].firstLine, path.c_str(),
                    reportPath.c_str());
                return false;
            }
            ++at;
        }
    if (at < lines.size()) {
        err = Format(
            "%s:%zu: lines %zu-%zu belong to no run of %s (the last begins at line %d): a block of an "
            "interrupted run, or %s was cut",
            path.c_str(), at + 1, at + 1, lines.size(), reportPath.c_str(), runs.back().firstLine, reportPath.c_str());
        return false;
    }
    return true;
}

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

bool CheckSideFiles(const std::string& reportPath, const std::vector<RunReport>& runs, bool lastOnly,
                    std::size_t records, std::string& err)
{
    // Site files: one per motif of the run with the most, and any further one left behind.
    std::size_t most = 0;
    for (const RunReport& r : runs) most = std::max(most, r.motifs.size());
    for (std::size_t k = 0;; ++k) {
        const std::string path = reportPath + Format("motif%zu.txt", k + 1);
        if (!FileExists(path)) {
            if (k >= most) break;
            continue;
        }
        std::vector<std::vector<SideLine>> blocks(runs.size());
        for (std::size_t r = 0; r < runs.size(); ++r)
            if (k < runs[r].motifs.size())
                for (const ReportSite& s : runs[r].motifs[k].sites)
                    blocks[r].push_back(
                        {{static_cast<double>(s.species), static_cast<double>(s.group), static_cast<double>(s.position),
                          static_cast<double>(s.strand), s.maxFreq, s.alignFreq},
                         s.line});
        if (!MatchSideFile(reportPath, path, runs, blocks, lastOnly, err)) return false;
    }
    const std::string modulePath = reportPath + "module.txt";
    if (FileExists(modulePath)) {
        std::vector<std::vector<SideLine>> blocks(runs.size());
        for (std::size_t r = 0; r < runs.size(); ++r)
            for (const ReportModule& m : runs[r].modules)
                blocks[r].push_back({{static_cast<double>(m.species), static_cast<double>(m.group),
                                      static_cast<double>(m.start), static_cast<double>(m.end)},
                                     m.line});
        if (!MatchSideFile(reportPath, modulePath, runs, blocks, lastOnly, err)) return false;
    }
    if (records == 0) return true;
    // Posterior tables: one line per record per run of the mode that writes them.
    for (const char* suffix : {"_Pm.txt", "margmodule.txt"}) {
        const std::string path = reportPath + suffix;
        if (!FileExists(path)) continue;
        const bool scan = suffix[0] == 'm';
        std::size_t wanted = 0, writers = 0;
        for (const RunReport& r : runs)
            if (!CommandHas(r.commandLine, 'P') && CommandHas(r.commandLine, 'F') == scan &&
                (scan || !CommandHas(r.commandLine, 's'))) {
                wanted += records;
                ++writers;
            }
        std::vector<std::string> lines;
        if (!ReadLines(path, lines, err)) return false;
        if (lines.size() != wanted) {
            err = Format(
                "%s: %zu lines do not fit the %zu runs of %s that write it (one line per record of the "
                "input each, %zu in all): %s",
                path.c_str(), lines.size(), writers, reportPath.c_str(), wanted,
                lines.size() > wanted ? "a block of an interrupted run?" : "is it cut?");
            return false;
        }
    }
    return true;
}

bool CommandHas(const std::string& commandLine, char letter)
{
    for (const std::string& a : SplitBlank(commandLine))
        if (a.size() >= 2 && a[0] == '-' && a[1] == letter) return true;
    return false;
}

bool CommandValue(const std::string& commandLine, char letter, std::string& value)
{
    const std::vector<std::string> args = SplitBlank(commandLine);
    for (std::size_t a = 0; a + 1 < args.size(); ++a)
        if (args[a].size() >= 2 && args[a][0] == '-' && args[a][1] == letter) {
            value = args[a + 1];
            return true;
        }
    return false;
}

int SpeciesCountOf(const std::string& commandLine)
{
    std::string text;
    long long n = 0;
    if (!CommandValue(commandLine, 'N', text) || !ParseInt(text, n)) return 0;
    return n > 0 && n < 1000 ? static_cast<int>(n) : 0;
}

}  // namespace sertools
