// The files of a run, written from the model's results: names, report, site files, module
// list, count tables, module detail, selection lines, progress log; and the count tables
// read back.
//
// Text from outside (command line, record names, site letters) is written as it is, never
// used as a format.
#include "app/RunOutput.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/TextLines.h"
#include "base/Format.h"
#include "base/OutputFile.h"

OutputNames::OutputNames(const std::string& reportName)
    : report(reportName),
      info(reportName + ".info"),
      moduleFreq(reportName + "_Pm.txt"),
      moduleList(reportName + "module.txt"),
      detail(reportName + "dmd.txt"),
      debug("debuginfo.txt"),
      margCons(reportName + "margcons.txt"),
      margModule(reportName + "margmodule.txt"),
      margAlign(reportName + "margAlign.txt")
{
}

std::string OutputNames::Motif(int k) const
{
    return report + "motif" + std::to_string(k + 1) + ".txt";
}

std::string OutputNames::MargMotif(int k) const
{
    return report + "margmotif" + std::to_string(k + 1) + ".txt";
}

namespace {

// ---------------------------------------------------------------- texts

std::string SiteFileText(const std::vector<OUTPUTSITE>& sites)
{
    std::string text;
    for (const OUTPUTSITE& site : sites)
        AppendFormat(text, "%d\t%d\t%d\t%d\t%.3lf\t%.3lf\n", site.species, site.group, site.position,
                     site.strand ? 1 : -1, site.maxFreq, site.alignFreq);
    return text;
}

std::string ModuleListText(const RunResults& r)
{
    std::string text;
    for (size_t s = 0; s < r.m_pModuleList.size(); ++s)
        for (const MODULEREGION& module : r.m_pModuleList[s])
            AppendFormat(text, "%d\t%d\t%d\t%d\n", static_cast<int>(s), module.group, module.start, module.end);
    return text;
}

std::string RefAlignText(const std::vector<std::vector<int>>& counts)
{
    std::string line;
    char num[16];
    for (const std::vector<int>& group : counts)
        for (int c : group) {
            line.append(num, std::to_chars(num, num + sizeof num, c).ptr);
            line.push_back('\t');
        }
    line.push_back('\n');
    return line;
}

std::string ReportText(const RunResults& r)
{
    static const std::vector<OUTPUTSITE> kNoSites;
    const int K = static_cast<int>(r.width.size());
    std::string text = r.commandLine.c_str();
    AppendFormat(text, "\nAverage likelihood=%.4lf\n", r.avgLik);
    AppendFormat(text, "Post burn-in iterations=%d\n\n", r.T);
    if (r.modules) {
        text += "Predicted modules:\n";
        for (size_t s = 0; s < r.m_pModuleList.size(); ++s)
            for (const MODULEREGION& module : r.m_pModuleList[s]) {
                AppendFormat(text, "%d\t%d\t%d\t%d\t", static_cast<int>(s), module.group, module.start, module.end);
                for (int i = 0; i < module.siteNum; ++i) {
                    const int code = module.site[2 * i], pos = module.site[2 * i + 1];
                    AppendFormat(text, code > 0 ? "+%d(%d)" : "%d(%d)", code, pos);
                }
                text += '\n';
            }
    }
    text += "\n\n";
    for (int k = 0; k < K; ++k) {
        const std::vector<OUTPUTSITE>& sites =
            k < static_cast<int>(r.m_pOutputSite.size()) ? r.m_pOutputSite[k] : kNoSites;
        if (sites.empty()) {
            AppendFormat(text, "\nMotif%d not found\n", k + 1);
            continue;
        }
        AppendFormat(text, "\nMotif%d:%.4lf\nA\tC\tG\tT\n", k + 1,
                     k < static_cast<int>(r.scores.size()) ? r.scores[k] : 0.0);
        const std::vector<double>& mat = r.m_pSiteMatrix[k];
        for (int j = 0; j < r.width[k]; ++j) {
            for (int b = 0; b < 4; ++b) AppendFormat(text, "%.3lf\t", mat[4 * j + b]);
            text += '\n';
        }
        text += "\nSites:\n";
        for (const OUTPUTSITE& site : sites) {
            AppendFormat(text, ">%d\t%d\t%d\t%d\t%.3lf\t%.3lf\n", site.species, site.group, site.position,
                         site.strand ? 1 : -1, site.maxFreq, site.alignFreq);
            text += site.text;
            text += '\n';
        }
    }
    return text;
}

// ---------------------------------------------------------------- writing

// Appends text to file in one write; false, with failed naming the file, when that failed.
bool Append(const std::string& file, const std::string& text, std::string& failed)
{
    return AppendToFile(file, text, failed);
}

// A report cut short by a killed run ends inside a line; the next run must not continue it.
// Returns the text to put before the run: a line feed when the file ends without one.
std::string FreshLine(const std::string& report)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(report, ec)) return "";
    std::ifstream in(report, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    if (size <= 0) return "";
    in.seekg(size - 1);
    char last = '\n';
    in.get(last);
    if (last == '\n') return "";
    std::fprintf(stderr,
                 "warning: %s does not end with a line feed (an earlier run was cut short?); this run starts on a "
                 "new line\n",
                 report.c_str());
    return "\n";
}

bool WriteReport(const OutputNames& names, const RunResults& r, std::string& failed, bool console)
{
    if (!Append(names.report, FreshLine(names.report) + ReportText(r), failed)) return false;
    if (!console) return true;
    std::fputs(names.report.c_str(), stdout);
    std::printf("\t%.4lf\t%.4lf\n", r.avgLik, r.avgPost);
    return true;
}

}  // namespace

std::string CountTableText(const std::vector<std::vector<int>>& counts)
{
    size_t L = 0;
    for (const std::vector<int>& c : counts) L = std::max(L, c.size());
    std::string text;
    char num[16];
    for (const std::vector<int>& c : counts) {
        for (size_t j = 0; j < L; ++j) {
            if (j < c.size()) {
                text.append(num, std::to_chars(num, num + sizeof num, c[j]).ptr);
                text.push_back('\t');
            } else {
                text.append("0\t");
            }
        }
        text.push_back('\n');
    }
    return text;
}

bool WriteScanTables(const OutputNames& names, const RunResults& r, std::string& failed)
{
    const PosteriorSums& sums = r.sums;
    if (!Append(names.margCons, RefAlignText(sums.m_pRefAlignFreq), failed) ||
        !Append(names.margModule, CountTableText(sums.m_pModuleFreq), failed) ||
        !Append(names.margAlign, CountTableText(sums.m_pAlignFreq), failed))
        return false;
    for (size_t k = 0; k < sums.m_pSiteFreq.size(); ++k)
        if (!Append(names.MargMotif(static_cast<int>(k)), CountTableText(sums.m_pSiteFreq[k]), failed)) return false;
    return true;
}

bool WriteRun(const OutputNames& names, RunKind kind, const RunResults& r, std::string& failed, bool console)
{
    const int K = static_cast<int>(r.width.size());
    const PosteriorSums& sums = r.sums;
    if (kind == RunKind::UnalignedScan && !WriteScanTables(names, r, failed)) return false;
    if (kind == RunKind::DeNovo && r.modules && !Append(names.moduleFreq, CountTableText(sums.m_pModuleFreq), failed))
        return false;
    if (kind == RunKind::AlignedScan && !r.debugLines.empty() && !Append(names.debug, r.debugLines, failed))
        return false;
    if (r.modules && !Append(names.moduleList, ModuleListText(r), failed)) return false;
    if (kind == RunKind::AlignedScan && r.modules && !Append(names.detail, r.detailText, failed)) return false;
    static const std::vector<OUTPUTSITE> kNoSites;
    for (int k = 0; k < K; ++k)
        if (!Append(names.Motif(k),
                    SiteFileText(k < static_cast<int>(r.m_pOutputSite.size()) ? r.m_pOutputSite[k] : kNoSites), failed))
            return false;
    return WriteReport(names, r, failed, console);
}

bool WriteSelection(const OutputNames& names, const RunResults& r, const std::vector<int>& widths,
                    const std::vector<CString>& candidates, std::string& failed)
{
    std::string text = Format("\n\nMax LLR motif = %d ", r.bestCandidate + 1);
    if (r.bestCandidate >= 0) text += candidates[r.bestCandidate].c_str();
    for (size_t i = 0; i < r.llr.size(); ++i) {
        AppendFormat(text, "\n%d\t%f\t%d\t", static_cast<int>(i) + 1, r.llr[i], widths[i]);
        text += candidates[i].c_str();
    }
    return Append(names.report, text, failed);
}

InfoLog InfoWriter(const OutputNames& names, std::string& failed)
{
    return [&names, &failed](const std::string& line) { return AppendToFile(names.info, line, failed); };
}

// ---------------------------------------------------------------- reading the count tables back

namespace {

// One line of "%d\t" fields; the first `keep` go to out, the rest must be the padding zeros.
bool ReadCountLine(const std::string& line, size_t keep, std::vector<int>& out)
{
    out.clear();
    size_t at = 0;
    while (at < line.size() && line[at] != '\n') {
        const size_t tab = line.find('\t', at);
        if (tab == std::string::npos) return false;
        int v = 0;
        const std::from_chars_result r = std::from_chars(line.data() + at, line.data() + tab, v);
        if (r.ec != std::errc() || r.ptr != line.data() + tab || v < 0) return false;
        if (out.size() < keep)
            out.push_back(v);
        else if (v != 0)
            return false;
        at = tab + 1;
    }
    return out.size() == keep;
}

bool ReadCountTable(const std::string& file, const std::vector<size_t>& lengths, std::vector<std::vector<int>>& out,
                    std::string& err)
{
    InputFile f = OpenInput(file.c_str());
    if (!f) {
        err = "cannot open " + file;
        return false;
    }
    out.assign(lengths.size(), std::vector<int>());
    std::string line;
    for (size_t i = 0; i < lengths.size(); ++i)
        if (!ReadTextLine(f.get(), line) || !ReadCountLine(line, lengths[i], out[i])) {
            err = file + " line " + std::to_string(i + 1) + ": not a count line of the input's sequence " +
                  std::to_string(i);
            return false;
        }
    if (ReadTextLine(f.get(), line)) {
        err = file + " line " + std::to_string(lengths.size() + 1) + ": more lines than the input has sequences";
        return false;
    }
    return true;
}

}  // namespace

PosteriorSums ScanSums(const ModelGroups& groups, const std::vector<int>& widths, int samples)
{
    const int N = groups.N, G = groups.G, K = static_cast<int>(widths.size());
    PosteriorSums sums;
    sums.m_bSampling = true;
    for (int k = 0; k < K; ++k) sums.m_pWidthSum.push_back(static_cast<double>(widths[k]) * samples);
    sums.m_pSiteFreq.assign(K, std::vector<std::vector<int>>(groups.seq.size()));
    sums.m_pModuleFreq.assign(groups.seq.size(), std::vector<int>());
    sums.m_pAlignFreq.assign(groups.seq.size(), std::vector<int>());
    for (size_t slot = 0; slot < groups.seq.size(); ++slot) {
        for (int k = 0; k < K; ++k) sums.m_pSiteFreq[k][slot].assign(groups.seq[slot].size(), 0);
        sums.m_pModuleFreq[slot].assign(groups.seq[slot].size(), 0);
        sums.m_pAlignFreq[slot].assign(groups.seq[slot].size(), 0);
    }
    sums.m_pRefAlignFreq.assign(G, std::vector<int>());
    for (int g = 0; g < G && N > 0; ++g) sums.m_pRefAlignFreq[g].assign(groups.seq[g].size(), 0);
    return sums;
}

bool ReadScanTables(const OutputNames& names, const ModelGroups& groups, int first, int count, PosteriorSums& sums,
                    std::string& err)
{
    const int N = groups.N, G = groups.G, K = static_cast<int>(sums.m_pSiteFreq.size());
    std::vector<size_t> lengths;  // the range's slots, species-major
    for (int s = 0; s < N; ++s)
        for (int g = first; g < first + count; ++g)
            lengths.push_back(groups.seq[static_cast<size_t>(s) * G + g].size());
    // Each table's lines go to the range's slots of the whole input.
    auto place = [&](std::vector<std::vector<int>>& rows, std::vector<std::vector<int>>& into) {
        for (int s = 0; s < N; ++s)
            for (int g = 0; g < count; ++g)
                into[static_cast<size_t>(s) * G + first + g] = std::move(rows[static_cast<size_t>(s) * count + g]);
    };
    std::vector<std::vector<int>> rows;
    if (!ReadCountTable(names.margModule, lengths, rows, err)) return false;
    place(rows, sums.m_pModuleFreq);
    if (!ReadCountTable(names.margAlign, lengths, rows, err)) return false;
    place(rows, sums.m_pAlignFreq);
    for (int k = 0; k < K; ++k) {
        if (!ReadCountTable(names.MargMotif(k), lengths, rows, err)) return false;
        place(rows, sums.m_pSiteFreq[k]);
    }
    // margcons: the range's species-0 counts on one line.
    std::vector<size_t> all{0};
    for (int g = 0; g < count; ++g) all[0] += lengths[g];
    if (!ReadCountTable(names.margCons, all, rows, err)) return false;
    size_t at = 0;
    for (int g = 0; g < count; ++g) {
        sums.m_pRefAlignFreq[first + g].assign(rows[0].begin() + at, rows[0].begin() + at + lengths[g]);
        at += lengths[g];
    }
    return true;
}
