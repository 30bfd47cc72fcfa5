// The truth table of the simulator.
#include "common/TruthTable.h"

#include <algorithm>
#include <tuple>

#include "common/ToolText.h"

namespace sertools {

const char* const kTruthHeader = "type\tspecies\tgroup\tstart\tend\tmotif\tstrand";

static std::string Row(const char* type, const Interval& x)
{
    return Format("%s\t%d\t%d\t%d\t%d\t%d\t%d\n", type, x.species, x.group, x.start, x.end, x.motif, x.strand);
}

std::string FormatTruth(const TruthTable& truth)
{
    auto key = [](const Interval& x) { return std::make_tuple(x.species, x.group, x.start, x.end); };
    auto byKey = [&](const Interval& a, const Interval& b) { return key(a) < key(b); };
    std::vector<Interval> seqs = truth.sequences, mods = truth.modules, sites = truth.sites;
    std::sort(seqs.begin(), seqs.end(), byKey);
    std::sort(mods.begin(), mods.end(), byKey);
    std::sort(sites.begin(), sites.end(), byKey);
    std::string text = std::string(kTruthHeader) + "\n";
    std::size_t m = 0, s = 0;
    for (const Interval& q : seqs) {
        text += Row("sequence", q);
        for (; m < mods.size() && std::tie(mods[m].species, mods[m].group) <= std::tie(q.species, q.group); ++m)
            text += Row("module", mods[m]);
        for (; s < sites.size() && std::tie(sites[s].species, sites[s].group) <= std::tie(q.species, q.group); ++s)
            text += Row("site", sites[s]);
    }
    for (; m < mods.size(); ++m) text += Row("module", mods[m]);
    for (; s < sites.size(); ++s) text += Row("site", sites[s]);
    return text;
}

bool ReadTruth(const std::string& path, TruthTable& truth, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    if (lines.empty() || lines[0] != kTruthHeader) {
        err = path + ":1: not a truth table (expected the header '" + std::string(kTruthHeader) + "' with tabs)";
        return false;
    }
    TruthTable out;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        std::vector<std::string> f = SplitTabs(lines[i]);
        long long v[6] = {0, 0, 0, 0, 0, 0};
        bool ok = f.size() == 7;
        for (int k = 0; ok && k < 6; ++k) ok = ParseInt(f[k + 1], v[k]) && v[k] >= -1 && v[k] < (1LL << 31);
        Interval x{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                   static_cast<int>(v[3]), static_cast<int>(v[4]), static_cast<int>(v[5])};
        // A sequence may be empty (end = start - 1); modules and sites hold at least one base.
        bool empty = ok && f[0] == "sequence" && x.end == x.start - 1;
        ok = ok && x.species >= 0 && x.group >= 0 && x.start >= 0 && (x.end >= x.start || empty);
        std::vector<Interval>* target = nullptr;
        if (ok && f[0] == "site") {
            ok = x.motif >= 1 && (x.strand == 1 || x.strand == -1);
            target = &out.sites;
        } else if (ok && f[0] == "module") {
            target = &out.modules;
        } else if (ok && f[0] == "sequence") {
            target = &out.sequences;
        } else {
            ok = false;
        }
        if (!ok) {
            err = Format(
                "%s:%zu: malformed row (expected type, species, group, start, end, motif, "
                "strand with start <= end; sites need motif >= 1 and strand 1 or -1)",
                path.c_str(), i + 1);
            return false;
        }
        target->push_back(x);
    }
    truth = std::move(out);
    return true;
}

}  // namespace sertools
