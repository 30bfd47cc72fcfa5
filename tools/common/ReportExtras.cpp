// The input's letters, genome coordinates and chain agreement for serevan-report.
#include "common/ReportExtras.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "common/JsonValue.h"
#include "common/ToolText.h"
#include "numeric/SeqMotifBasic.h"

namespace sertools {

namespace {

// Every record's letters; blanks, tabs and gaps ('-') left out, as ReadFastaRecords counts them.
bool ReadSequences(const std::string& path, std::vector<std::string>& sequences, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    sequences.clear();
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '>') {
            sequences.emplace_back();
        } else if (!sequences.empty()) {
            for (char c : line)
                if (c != ' ' && c != '\t' && c != '-') sequences.back() += c;
        }
    }
    return true;
}

// The genome map of the input's records (LoadReportData has checked that the table describes
// the input: CheckAgainstInput).
bool ReadGenomeMap(const ReportData& data, const std::string& path, GenomeMap& map, std::string& err)
{
    std::vector<GroupSegment> segments;
    if (!ReadGroupTable(path, segments, map.species, err)) return false;
    const std::size_t records = data.names.size(), N = map.species.size();
    const int G = N > 0 ? static_cast<int>(records / N) : 0;
    map.segments.assign(records, {});
    for (const GroupSegment& s : segments) map.segments[static_cast<std::size_t>(s.species) * G + s.group].push_back(s);
    return true;
}

// A whole number in [lo, hi] from a JSON member.
bool WholeMember(const JsonValue& object, const char* key, long long lo, long long hi, long long& value)
{
    const JsonValue* v = object.Member(key);
    if (!v || v->kind != JsonValue::Kind::Number || v->number != static_cast<double>(static_cast<long long>(v->number)))
        return false;
    value = static_cast<long long>(v->number);
    return value >= lo && value <= hi;
}

// Reads the verdict, the chain count and, per motif of the best chain, the chains that found
// it; the motifs must be found motifs of the report's run that is the best chain.
bool ReadChainVotes(const ReportData& data, const std::string& path, ChainVotes& votes, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    JsonValue root;
    if (!ParseJson(text, path, root, err)) return false;
    const JsonValue *verdict = root.Member("verdict"), *chains = root.Member("chains"), *motifs = root.Member("motifs");
    if (!verdict || verdict->kind != JsonValue::Kind::String || !chains || chains->kind != JsonValue::Kind::Array ||
        chains->items.empty() || !motifs || motifs->kind != JsonValue::Kind::Array) {
        err = path + ": not the output of serevan-chains --json (a verdict, chains and motifs expected)";
        return false;
    }
    votes.verdict = verdict->text;
    votes.chains = static_cast<int>(chains->items.size());
    // The best chain is one run of a report file ("file[r]") or a whole file of one run; the
    // report's run must be it (or the consensus, which keeps its likelihood).
    const std::string& report = data.sources.reportPath;
    const JsonValue* best = root.Member("best");
    const std::string label = best && best->kind == JsonValue::Kind::String ? best->text : "";
    const JsonValue* likelihood = nullptr;
    for (const JsonValue& c : chains->items) {
        const JsonValue* name = c.Member("report");
        if (name && name->kind == JsonValue::Kind::String && name->text == label)
            likelihood = c.Member("average_likelihood");
    }
    if (!likelihood || likelihood->kind != JsonValue::Kind::Number) {
        err = path + ": not the output of serevan-chains --json (no average likelihood of the best chain)";
        return false;
    }
    votes.run = 0;
    if (data.runs.size() > 1) {
        const std::size_t open = label.rfind('[');
        long long r = 0;
        if (open == std::string::npos || label.back() != ']' ||
            !ParseInt(label.substr(open + 1, label.size() - open - 2), r) || r < 1 ||
            r > static_cast<long long>(data.runs.size())) {
            err = Format("%s: its best chain '%s' is not one of the %zu runs of %s", path.c_str(), label.c_str(),
                         data.runs.size(), report.c_str());
            return false;
        }
        votes.run = static_cast<std::size_t>(r - 1);
    }
    const RunReport& run = data.runs[votes.run].report;
    // The summary writes six significant digits.
    if (std::fabs(likelihood->number - run.averageLikelihood) > 1e-5 * std::fabs(run.averageLikelihood) + 1e-9) {
        err = Format(
            "%s: its best chain %s has average likelihood %g, %s%s %.4f: give the chosen chain's report or "
            "the consensus",
            path.c_str(), label.c_str(), likelihood->number, report.c_str(),
            data.runs.size() > 1 ? Format(" run %zu", votes.run + 1).c_str() : "", run.averageLikelihood);
        return false;
    }
    for (const JsonValue& m : motifs->items) {
        long long k = 0, found = 0;
        if (!WholeMember(m, "motif", 1, 1000000, k) || !WholeMember(m, "chains_found", 0, votes.chains, found)) {
            err = path + ": a motif entry needs a motif number and chains_found from 0 to the number of chains";
            return false;
        }
        if (k > static_cast<long long>(run.motifs.size()) || !run.motifs[static_cast<std::size_t>(k - 1)].found) {
            err = Format("%s: motif %lld of the best chain is not a found motif of %s%s (the chains of another run?)",
                         path.c_str(), k, report.c_str(),
                         data.runs.size() > 1 ? Format(" run %zu", votes.run + 1).c_str() : "");
            return false;
        }
        votes.foundBy[static_cast<int>(k)] = static_cast<int>(found);
    }
    return true;
}

}  // namespace

bool GenomeMap::Map(std::size_t record, long long start, long long end, int strand, GenomeSpan& out) const
{
    if (record >= segments.size()) return false;
    for (const GroupSegment& s : segments[record]) {
        if (start < s.recordOffset || end > s.recordOffset + s.length) continue;
        const std::size_t dot = s.source.find('.');
        out.chrom = dot == std::string::npos ? s.source : s.source.substr(dot + 1);
        if (s.strand == '+') {
            out.start = s.start + (start - s.recordOffset);
            out.end = s.start + (end - s.recordOffset);
            out.strand = strand;
        } else {
            // A reverse-strand row reads the genome backwards: positions and strand flip.
            out.start = s.end - (end - s.recordOffset);
            out.end = s.end - (start - s.recordOffset);
            out.strand = -strand;
        }
        return true;
    }
    return false;
}

std::string StrandLetters(const std::string& seq, long long position, std::size_t width, int strand)
{
    if (position < 0 || position + static_cast<long long>(width) > static_cast<long long>(seq.size())) return "";
    std::string s = seq.substr(static_cast<std::size_t>(position), width);
    if (strand < 0) {
        std::reverse(s.begin(), s.end());
        for (char& c : s) {
            const int b = serevan::BaseCodeAnyCase(c);
            if (b >= 0) {
                const char rc = "TGCA"[b];
                c = std::islower(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(rc)) : rc;
            }
        }
    }
    return s;
}

Motif PlantedMatrix(const TruthTable& truth, int motif, int groups, const std::vector<std::string>& sequences)
{
    std::map<int, int> widths;
    for (const Interval& x : truth.sites)
        if (x.motif == motif) ++widths[x.Length()];
    Motif m;
    if (widths.empty()) return m;
    const int width =
        std::max_element(widths.begin(), widths.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    std::vector<double> counts(4 * static_cast<std::size_t>(width), 0);
    bool any = false;
    for (const Interval& x : truth.sites) {
        const std::size_t rec = static_cast<std::size_t>(x.species) * groups + x.group;
        if (x.motif != motif || x.Length() != width || rec >= sequences.size()) continue;
        const std::string letters = StrandLetters(sequences[rec], x.start, static_cast<std::size_t>(width), x.strand);
        for (std::size_t j = 0; j < letters.size(); ++j)
            if (const int b = serevan::BaseCodeAnyCase(letters[j]); b >= 0) {
                counts[4 * j + static_cast<std::size_t>(b)] += 1;
                any = true;
            }
    }
    if (!any) return m;
    for (int j = 0; j < width; ++j) {
        double* c = &counts[4 * static_cast<std::size_t>(j)];
        const double sum = c[0] + c[1] + c[2] + c[3];
        for (int b = 0; b < 4; ++b) c[b] = sum > 0 ? c[b] / sum : 0.25;
    }
    m.name = Format("planted motif %d", motif);
    m.p = std::move(counts);
    return m;
}

bool LoadReportExtras(const ReportData& data, const std::string& groupsPath, const std::string& chainsPath,
                      ReportExtras& extras, std::string& err)
{
    extras = ReportExtras{};
    if (!ReadSequences(data.sources.inputPath, extras.sequences, err)) return false;
    if (extras.sequences.size() != data.names.size()) {
        err = data.sources.inputPath + ": changed while it was read";
        return false;
    }
    extras.groupsPath = groupsPath;
    if (!groupsPath.empty() && !ReadGenomeMap(data, groupsPath, extras.genome, err)) return false;
    extras.chainsPath = chainsPath;
    if (!chainsPath.empty() && !ReadChainVotes(data, chainsPath, extras.chains, err)) return false;
    return true;
}

}  // namespace sertools
