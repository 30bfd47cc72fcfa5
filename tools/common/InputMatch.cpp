// Does a report, and a groups table, belong to an input file?
#include "common/InputMatch.h"

#include <algorithm>

#include "common/ToolText.h"

namespace sertools {

bool ReadInputRecords(const std::string& path, InputRecords& input, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    InputRecords in;
    in.path = path;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '>') {
            const std::vector<std::string> f = SplitBlank(line.substr(1));
            in.names.push_back(f.empty() ? "" : f[0]);
            in.headers.push_back(line.substr(1));
            in.letters.emplace_back();
        } else if (!in.letters.empty()) {
            for (char c : line)
                if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) in.letters.back() += static_cast<char>(c & ~0x20);
        }
    }
    if (in.names.empty()) {
        err = path + ": no FASTA record";
        return false;
    }
    input = std::move(in);
    return true;
}

namespace {

std::string ReverseComplement(const std::string& s)
{
    std::string r(s.rbegin(), s.rend());
    for (char& c : r) c = c == 'A' ? 'T' : c == 'C' ? 'G' : c == 'G' ? 'C' : c == 'T' ? 'A' : c;
    return r;
}

// The table against the input: species, groups, and each record's segments and name.
bool CheckTable(const GroupTable& table, const InputRecords& input, int N, int G, std::string& err)
{
    const char* t = table.path.c_str();
    const char* i = input.path.c_str();
    if (static_cast<int>(table.species.size()) != N) {
        err = Format("%s lists %zu species but %s holds %d (the run's -N): the table is not of this input", t,
                     table.species.size(), i, N);
        return false;
    }
    std::vector<std::vector<const GroupSegment*>> of(input.names.size());
    for (const GroupSegment& s : table.segments) {
        if (s.group >= G) {
            err = Format("%s has group %d but %s holds %d groups: the table is not of this input", t, s.group, i, G);
            return false;
        }
        of[static_cast<std::size_t>(s.species) * G + s.group].push_back(&s);
    }
    for (int sp = 0; sp < N; ++sp)
        for (int g = 0; g < G; ++g) {
            const std::size_t r = static_cast<std::size_t>(sp) * G + g;
            std::vector<const GroupSegment*>& segs = of[r];
            std::sort(segs.begin(), segs.end(),
                      [](const GroupSegment* a, const GroupSegment* b) { return a->recordOffset < b->recordOffset; });
            const std::string& species = table.species[static_cast<std::size_t>(sp)];
            const std::string& name = input.names[r];
            // The segments must tile the record: each starts where the last ended.
            long long covered = 0;
            for (const GroupSegment* s : segs) covered = s->recordOffset == covered ? covered + s->length : -1;
            if (segs.empty() || covered != static_cast<long long>(input.letters[r].size())) {
                err = Format(
                    "%s: the segments of group %d, %s, do not cover the %zu bases of record %s of %s: the "
                    "table is not of this input",
                    t, g, species.c_str(), input.letters[r].size(), name.c_str(), i);
                return false;
            }
            const GroupSegment& first = *segs[0];
            if (name != Format("g%d_%s", g, species.c_str()) && name != first.source) {
                err = Format(
                    "%s: group %d, %s, is record %s in %s (expected g%d_%s or %s): the table is not of this "
                    "input",
                    t, g, species.c_str(), name.c_str(), i, g, species.c_str(), first.source.c_str());
                return false;
            }
            // A header "g0_hg17 hg17.chr22:100-300(+)" of prep maf names the segment's coordinates.
            const std::vector<std::string> words = SplitBlank(input.headers[r]);
            const std::string place =
                Format("%s:%lld-%lld(%c)", first.source.c_str(), first.start, first.end, first.strand);
            if (segs.size() == 1 && words.size() == 2 && words[1].back() == ')' && words[1] != place) {
                err = Format("%s: group %d, %s, lies at %s but record %s of %s at %s: the table is not of this input",
                             t, g, species.c_str(), place.c_str(), name.c_str(), i, words[1].c_str());
                return false;
            }
        }
    return true;
}

}  // namespace

bool CheckAgainstInput(const std::string& reportPath, const RunReport& run, const InputRecords& input,
                       const GroupTable* table, int& groups, std::string& err)
{
    const char* report = reportPath.c_str();
    const char* in = input.path.c_str();
    const int N = SpeciesCountOf(run.commandLine);
    if (N == 0 || input.names.size() % static_cast<std::size_t>(N) != 0) {
        err = Format("%s: %zu records do not fit the run's -N %d (the run at %s:%d)", in, input.names.size(), N, report,
                     run.firstLine);
        return false;
    }
    const int G = static_cast<int>(input.names.size() / static_cast<std::size_t>(N));
    auto record = [&](int s, int g, long long end) -> const std::string* {
        if (s >= N || g >= G) return nullptr;
        const std::string& r = input.letters[static_cast<std::size_t>(s) * G + g];
        return end <= static_cast<long long>(r.size()) ? &r : nullptr;
    };
    for (const ReportModule& m : run.modules)
        if (!record(m.species, m.group, m.end)) {
            err = Format("%s:%d: a module at species %d group %d, %d-%d, lies outside the input %s", report, m.line + 1,
                         m.species, m.group, m.start, m.end, in);
            return false;
        }
    for (const ReportMotif& k : run.motifs)
        for (const ReportSite& s : k.sites) {
            const std::string* r = record(s.species, s.group, s.position + static_cast<long long>(s.letters.size()));
            if (!r) {
                err = Format("%s:%d: a site at species %d group %d position %d lies outside the input %s", report,
                             s.line + 1, s.species, s.group, s.position, in);
                return false;
            }
            std::string there = r->substr(static_cast<std::size_t>(s.position), s.letters.size());
            if (s.strand < 0) there = ReverseComplement(there);
            if (there != s.letters) {
                err = Format(
                    "%s:%d: the site's letters %s are not those of the input %s (%s at species %d group %d "
                    "position %d, strand %d): the report is not of this input",
                    report, s.line + 2, s.letters.c_str(), in, there.c_str(), s.species, s.group, s.position, s.strand);
                return false;
            }
        }
    if (table && !CheckTable(*table, input, N, G, err)) return false;
    groups = G;
    return true;
}

}  // namespace sertools
