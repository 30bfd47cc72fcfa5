// Accuracy of a run's calls against a simulator's truth table.
#include "common/Evaluator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

#include "common/ToolText.h"

namespace sertools {

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

using Key = std::pair<int, int>;  // (species, group)

std::map<Key, std::vector<Interval>> BySequence(const std::vector<Interval>& xs)
{
    std::map<Key, std::vector<Interval>> out;
    for (const Interval& x : xs) out[{x.species, x.group}].push_back(x);
    return out;
}

// Union of stretches as sorted, disjoint [start, end] pairs.
std::vector<std::pair<int, int>> Union(std::vector<Interval> xs)
{
    std::sort(xs.begin(), xs.end(), [](const Interval& a, const Interval& b) { return a.start < b.start; });
    std::vector<std::pair<int, int>> out;
    for (const Interval& x : xs) {
        if (!out.empty() && x.start <= out.back().second + 1)
            out.back().second = std::max(out.back().second, x.end);
        else
            out.emplace_back(x.start, x.end);
    }
    return out;
}

long long Covered(const std::vector<std::pair<int, int>>& u)
{
    long long n = 0;
    for (const auto& [a, b] : u) n += b - a + 1;
    return n;
}

long long Shared(const std::vector<std::pair<int, int>>& u, const std::vector<std::pair<int, int>>& v)
{
    long long n = 0;
    std::size_t i = 0, j = 0;
    while (i < u.size() && j < v.size()) {
        int lo = std::max(u[i].first, v[j].first), hi = std::min(u[i].second, v[j].second);
        if (lo <= hi) n += hi - lo + 1;
        if (u[i].second < v[j].second)
            ++i;
        else
            ++j;
    }
    return n;
}

// Bases covered by truth and prediction, and their overlap, over every sequence.
Rates BaseRates(const std::vector<Interval>& truth, const std::vector<Interval>& pred)
{
    Rates r;
    auto t = BySequence(truth), p = BySequence(pred);
    for (const auto& [key, xs] : t) {
        auto ut = Union(xs);
        r.trueCount += Covered(ut);
        if (auto it = p.find(key); it != p.end()) r.trueMatched += Shared(ut, Union(it->second));
    }
    for (const auto& [key, xs] : p) r.predCount += Covered(Union(xs));
    r.predMatched = r.trueMatched;
    return r;
}

// Element-level matching: each element counts once, matched or not.
Rates ElementRates(const std::vector<Interval>& truth, const std::vector<Interval>& pred, double minOverlap)
{
    Rates r;
    r.trueCount = static_cast<long long>(truth.size());
    r.predCount = static_cast<long long>(pred.size());
    auto t = BySequence(truth), p = BySequence(pred);
    for (const auto& [key, xs] : t) {
        auto it = p.find(key);
        if (it == p.end()) continue;
        for (const Interval& a : xs)
            for (const Interval& b : it->second)
                if (Matches(a, b, minOverlap)) {
                    ++r.trueMatched;
                    break;
                }
        for (const Interval& b : it->second)
            for (const Interval& a : xs)
                if (Matches(a, b, minOverlap)) {
                    ++r.predMatched;
                    break;
                }
    }
    return r;
}

int OverlapLength(const Interval& a, const Interval& b)
{
    return std::min(a.end, b.end) - std::max(a.start, b.start) + 1;
}

}  // namespace

double Rates::Sensitivity() const
{
    return trueCount > 0 ? static_cast<double>(trueMatched) / static_cast<double>(trueCount) : kNaN;
}
double Rates::Ppv() const
{
    return predCount > 0 ? static_cast<double>(predMatched) / static_cast<double>(predCount) : kNaN;
}
double Rates::F1() const
{
    double s = Sensitivity(), p = Ppv();
    if (std::isnan(s) || std::isnan(p)) return kNaN;
    return s + p > 0 ? 2 * s * p / (s + p) : 0.0;
}

bool Matches(const Interval& a, const Interval& b, double minOverlap)
{
    int shared = OverlapLength(a, b);
    int shorter = std::min(a.Length(), b.Length());
    return shared >= 1 && shared >= minOverlap * shorter - 1e-9;
}

bool Evaluate(const TruthTable& truthIn, const RunReport& report, const std::vector<Motif>* planted,
              const EvalSettings& settings, Evaluation& result, std::string& err)
{
    // The truth, restricted to one group for a report of one aligned group.
    TruthTable truth;
    auto keep = [&](const Interval& x) { return settings.scanGroup < 0 || x.group == settings.scanGroup; };
    for (const Interval& x : truthIn.sequences)
        if (keep(x)) truth.sequences.push_back(x);
    for (const Interval& x : truthIn.modules)
        if (keep(x)) truth.modules.push_back(x);
    for (const Interval& x : truthIn.sites)
        if (keep(x)) truth.sites.push_back(x);
    if (settings.scanGroup >= 0 && truth.sequences.empty()) {
        err = Format("the truth table has no group %d", settings.scanGroup);
        return false;
    }
    std::map<Key, int> lastBase;  // per sequence: last position
    for (const Interval& x : truth.sequences) lastBase[{x.species, x.group}] = x.end;

    // Every call must lie in a sequence of the truth: otherwise the files do not belong together.
    auto place = [&](Interval& x, const char* what) {
        if (settings.scanGroup >= 0) {
            if (x.group != 0) {
                err = Format("the report of one aligned group has a %s in group %d", what, x.group);
                return false;
            }
            x.group = settings.scanGroup;
        }
        if (lastBase.empty()) return true;
        auto it = lastBase.find({x.species, x.group});
        if (it == lastBase.end() || x.end > it->second) {
            err = Format(
                "the report does not fit the truth: a %s at species %d, group %d, bases "
                "%d..%d lies outside the simulated sequences (was the run made on this "
                "data set?)",
                what, x.species, x.group, x.start, x.end);
            return false;
        }
        return true;
    };

    std::vector<Interval> predSites;
    std::vector<std::vector<Interval>> predByMotif(report.motifs.size());
    for (std::size_t m = 0; m < report.motifs.size(); ++m)
        for (const ReportSite& s : report.motifs[m].sites) {
            Interval x{s.species,
                       s.group,
                       s.position,
                       s.position + static_cast<int>(s.letters.size()) - 1,
                       report.motifs[m].index,
                       s.strand};
            if (!place(x, "site")) return false;
            predSites.push_back(x);
            predByMotif[m].push_back(x);
        }
    std::vector<Interval> predModules;
    for (const ReportModule& mod : report.modules) {
        Interval x{mod.species, mod.group, mod.start, mod.end - 1, 0, 0};  // reported end is exclusive
        if (!place(x, "module")) return false;
        predModules.push_back(x);
    }

    Evaluation e;
    e.siteBases = BaseRates(truth.sites, predSites);
    e.sites = ElementRates(truth.sites, predSites, settings.minOverlap);
    e.moduleBases = BaseRates(truth.modules, predModules);
    e.modules = ElementRates(truth.modules, predModules, settings.minOverlap);
    e.moduleCalls = report.hasModules;

    if (planted != nullptr) {
        e.motifsCompared = true;
        double sum = 0;
        for (std::size_t k = 0; k < planted->size(); ++k) {
            MotifResult mr;
            mr.planted = static_cast<int>(k + 1);
            mr.width = (*planted)[k].Width();
            int bestIndex = -1;
            for (std::size_t m = 0; m < report.motifs.size(); ++m) {
                if (!report.motifs[m].found) continue;
                MotifMatch c = CompareMotifs((*planted)[k], report.motifs[m].matrix);
                if (bestIndex < 0 || c.score > mr.match.score + 1e-12) {
                    bestIndex = static_cast<int>(m);
                    mr.match = c;
                }
            }
            std::vector<Interval> trueK;
            for (const Interval& x : truth.sites)
                if (x.motif == mr.planted) trueK.push_back(x);
            if (bestIndex >= 0) {
                mr.learned = report.motifs[static_cast<std::size_t>(bestIndex)].index;
                const std::vector<Interval>& predK = predByMotif[static_cast<std::size_t>(bestIndex)];
                mr.sites = ElementRates(trueK, predK, settings.minOverlap);
                for (const Interval& t : trueK) {
                    const Interval* best = nullptr;
                    for (const Interval& p : predK)
                        if (p.species == t.species && p.group == t.group && Matches(t, p, settings.minOverlap) &&
                            (best == nullptr || OverlapLength(t, p) > OverlapLength(t, *best)))
                            best = &p;
                    if (best != nullptr && best->strand == t.strand * mr.match.strand) ++mr.strandAgree;
                }
                sum += mr.match.score;
            } else {
                mr.sites.trueCount = static_cast<long long>(trueK.size());
            }
            e.motifs.push_back(mr);
        }
        e.meanCorrelation = planted->empty() ? 0.0 : sum / static_cast<double>(planted->size());
    }
    result = std::move(e);
    return true;
}

// ---- output ------------------------------------------------------------------------------

static std::string Fixed(double v)
{
    return std::isnan(v) ? "n/a" : Format("%.3f", v);
}
static std::string Json(double v)
{
    return std::isnan(v) ? "null" : Format("%.10g", v);
}

static std::string JsonString(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else if (static_cast<unsigned char>(c) < 0x20)
            out += Format("\\u%04x", c);
        else
            out += c;
    }
    return out + "\"";
}

static std::string JsonRates(const Rates& r)
{
    return Format(
        "{\"true\": %lld, \"predicted\": %lld, \"true_matched\": %lld, "
        "\"predicted_matched\": %lld, \"sensitivity\": %s, \"ppv\": %s, \"f1\": %s}",
        r.trueCount, r.predCount, r.trueMatched, r.predMatched, Json(r.Sensitivity()).c_str(), Json(r.Ppv()).c_str(),
        Json(r.F1()).c_str());
}

static std::string TextRates(const char* label, const Rates& r)
{
    return Format("%-14s %8lld %8lld %8lld %8lld %7s %7s %7s\n", label, r.trueCount, r.predCount, r.trueMatched,
                  r.predMatched, Fixed(r.Sensitivity()).c_str(), Fixed(r.Ppv()).c_str(), Fixed(r.F1()).c_str());
}

std::string FormatEvaluation(const Evaluation& e, const RunReport& report, const std::string& reportName,
                             const EvalSettings& settings, bool json)
{
    if (json) {
        std::string t = "{\n";
        t += Format(
            "  \"report\": {\"file\": %s, \"line\": %d, \"reports_in_file\": %d, "
            "\"post_burn_in\": %d, \"average_likelihood\": %s},\n",
            JsonString(reportName).c_str(), report.firstLine, report.reportCount, report.postBurnIn,
            Json(report.averageLikelihood).c_str());
        t += Format("  \"min_overlap\": %g,\n", settings.minOverlap);
        if (settings.scanGroup >= 0) t += Format("  \"scan_group\": %d,\n", settings.scanGroup);
        t += "  \"site_bases\": " + JsonRates(e.siteBases) + ",\n";
        t += "  \"sites\": " + JsonRates(e.sites) + ",\n";
        t += "  \"module_bases\": " + JsonRates(e.moduleBases) + ",\n";
        t += "  \"modules\": " + JsonRates(e.modules) + ",\n";
        t += Format("  \"module_calls\": %s,\n", e.moduleCalls ? "true" : "false");
        t += "  \"motifs\": [";
        for (std::size_t k = 0; k < e.motifs.size(); ++k) {
            const MotifResult& m = e.motifs[k];
            t += k ? ",\n    " : "\n    ";
            if (m.learned > 0)
                t += Format(
                    "{\"planted\": %d, \"width\": %d, \"learned\": %d, \"correlation\": %s, "
                    "\"strand\": %d, \"offset\": %d, \"sites\": %s, \"strand_agreement\": %s}",
                    m.planted, m.width, m.learned, Json(m.match.score).c_str(), m.match.strand, m.match.offset,
                    JsonRates(m.sites).c_str(),
                    Json(m.sites.trueMatched > 0
                             ? static_cast<double>(m.strandAgree) / static_cast<double>(m.sites.trueMatched)
                             : kNaN)
                        .c_str());
            else
                t += Format(
                    "{\"planted\": %d, \"width\": %d, \"learned\": null, \"correlation\": 0, "
                    "\"sites\": %s}",
                    m.planted, m.width, JsonRates(m.sites).c_str());
        }
        t += e.motifs.empty() ? "],\n" : "\n  ],\n";
        t += e.motifsCompared ? Format("  \"mean_motif_correlation\": %s\n", Json(e.meanCorrelation).c_str())
                              : "  \"mean_motif_correlation\": null\n";
        return t + "}\n";
    }
    std::string t = Format(
        "Report: %s, the last of %d report(s) (line %d), %d post burn-in iterations, "
        "average likelihood %.4f\n",
        reportName.c_str(), report.reportCount, report.firstLine, report.postBurnIn, report.averageLikelihood);
    if (settings.scanGroup >= 0)
        t += Format("Aligned scan: the report's group 0 is group %d of the truth\n", settings.scanGroup);
    t += Format(
        "Match rule: same species and group, shared bases >= %g of the shorter element "
        "(sites: any motif, either strand)\n\n",
        settings.minOverlap);
    t += Format("%-14s %8s %8s %8s %8s %7s %7s %7s\n", "level", "true", "pred", "true_hit", "pred_hit", "sens", "PPV",
                "F1");
    t += TextRates("site bases", e.siteBases);
    t += TextRates("sites", e.sites);
    t += TextRates("module bases", e.moduleBases);
    t += TextRates("modules", e.modules);
    if (!e.moduleCalls) t += "(the report has no module block: motif-mode run)\n";
    if (e.motifsCompared) {
        t += "\nPlanted motifs and their best learned match (column correlation over the shorter width):\n";
        t += Format("%-7s %5s %7s %6s %6s %6s %6s %6s %7s %7s %7s %7s\n", "planted", "width", "learned", "corr",
                    "strand", "offset", "true", "pred", "sens", "PPV", "F1", "strand");
        for (const MotifResult& m : e.motifs) {
            if (m.learned == 0) {
                t += Format("%-7d %5d %7s %6s %6s %6s %6lld %6s %7s %7s %7s %7s\n", m.planted, m.width, "none", "-",
                            "-", "-", m.sites.trueCount, "-", "-", "-", "-", "-");
                continue;
            }
            double agree = m.sites.trueMatched > 0
                               ? static_cast<double>(m.strandAgree) / static_cast<double>(m.sites.trueMatched)
                               : kNaN;
            t += Format("%-7d %5d %7d %6.3f %6s %6d %6lld %6lld %7s %7s %7s %7s\n", m.planted, m.width, m.learned,
                        m.match.score, m.match.strand > 0 ? "+" : "-", m.match.offset, m.sites.trueCount,
                        m.sites.predCount, Fixed(m.sites.Sensitivity()).c_str(), Fixed(m.sites.Ppv()).c_str(),
                        Fixed(m.sites.F1()).c_str(), Fixed(agree).c_str());
        }
    } else {
        t += "\n(no planted matrices given: per-motif figures need --motifs or --sim)\n";
    }
    t += Format("\nSummary: sites F1 %s (bases %s), modules F1 %s (bases %s), mean motif correlation %s\n",
                Fixed(e.sites.F1()).c_str(), Fixed(e.siteBases.F1()).c_str(), Fixed(e.modules.F1()).c_str(),
                Fixed(e.moduleBases.F1()).c_str(), e.motifsCompared ? Fixed(e.meanCorrelation).c_str() : "n/a");
    return t;
}

}  // namespace sertools
