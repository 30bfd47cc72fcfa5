// Agreement of several chains on one input.
#include "common/Chains.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <utility>

#include "common/Evaluator.h"
#include "common/ToolText.h"

namespace sertools {

namespace {

using Key = std::pair<int, int>;  // (species, group)

Interval SiteSpan(const ReportSite& s)
{
    Interval x;
    x.species = s.species;
    x.group = s.group;
    x.start = s.position;
    x.end = s.position + static_cast<int>(s.letters.size()) - 1;
    return x;
}

Interval ModuleSpan(const ReportModule& m)
{
    Interval x;
    x.species = m.species;
    x.group = m.group;
    x.start = m.start;
    x.end = m.end - 1;  // the report's end is one past the last base
    return x;
}

// Stretches of one chain's calls by sequence.
using Calls = std::map<Key, std::vector<Interval>>;

bool Overlaps(const Calls& calls, const Interval& x, double minOverlap)
{
    auto it = calls.find({x.species, x.group});
    if (it == calls.end()) return false;
    for (const Interval& y : it->second)
        if (Matches(x, y, minOverlap)) return true;
    return false;
}

// A likelihood for ranking chains: a run without one ranks last.
double RankOf(const RunReport& r)
{
    return std::isnan(r.averageLikelihood) ? -HUGE_VAL : r.averageLikelihood;
}

std::string Percent(double share)
{
    return Format("%g %%", 100.0 * share);
}

std::string JsonText(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            out += Format("\\u%04x", c);
        else
            out += c;
    }
    return out + "\"";
}

std::string JsonNumber(double v)
{
    return std::isfinite(v) ? Format("%.6g", v) : "null";
}

double Mean(const std::vector<double>& xs)
{
    double sum = 0;
    for (double x : xs) sum += x;
    return xs.empty() ? std::numeric_limits<double>::quiet_NaN() : sum / static_cast<double>(xs.size());
}

std::size_t CountAtLeast(const std::vector<double>& xs, double threshold)
{
    std::size_t n = 0;
    for (double x : xs) n += x >= threshold - 1e-12 ? 1 : 0;
    return n;
}

bool FoundAny(const RunReport& r)
{
    for (const ReportMotif& m : r.motifs)
        if (m.found) return true;
    return false;
}

}  // namespace

bool ReadChains(const std::vector<std::string>& paths, std::vector<Chain>& chains, std::string& err)
{
    std::vector<Chain> out;
    for (const std::string& path : paths) {
        std::vector<std::string> lines;
        std::vector<RunReport> runs;
        if (!ReadLines(path, lines, err) || !ParseAllReports(lines, path, runs, err) ||
            !CheckSideFiles(path, runs, false, 0, err))
            return false;
        for (std::size_t r = 0; r < runs.size(); ++r) {
            Chain c;
            c.label = runs.size() == 1 ? path : Format("%s[%zu]", path.c_str(), r + 1);
            c.lines.assign(lines.begin() + (runs[r].firstLine - 1), lines.begin() + runs[r].endLine);
            c.report = std::move(runs[r]);
            out.push_back(std::move(c));
        }
    }
    chains = std::move(out);
    return true;
}

bool CompareChains(const std::vector<Chain>& chains, const ChainSettings& settings, ChainsSummary& summary,
                   std::string& err)
{
    if (chains.size() < 2) {
        err = "give the reports of at least two chains (several files, or one file of several -m runs)";
        return false;
    }
    // Chains of one input: the same species count and input file name.
    auto inputOf = [](const Chain& c) {
        return std::filesystem::path(CommandLineValue(c.report.commandLine, 'i')).filename().string();
    };
    for (const Chain& c : chains)
        for (char letter : {'N', 'i'}) {
            const std::string a = CommandLineValue(chains[0].report.commandLine, letter);
            const std::string b = CommandLineValue(c.report.commandLine, letter);
            if (letter == 'N' ? a != b : inputOf(chains[0]) != inputOf(c)) {
                err = Format("%s was run with -%c %s but %s with -%c %s: not chains of one input", c.label.c_str(),
                             letter, b.c_str(), chains[0].label.c_str(), letter, a.c_str());
                return false;
            }
        }

    ChainsSummary s;
    const int n = static_cast<int>(chains.size());
    for (int c = 1; c < n; ++c)
        if (RankOf(chains[c].report) > RankOf(chains[s.best].report)) s.best = c;
    for (const Chain& c : chains) s.chainsWithMotifs += FoundAny(c.report) ? 1 : 0;
    const RunReport& best = chains[s.best].report;

    for (const ReportMotif& bm : best.motifs) {
        if (!bm.found) continue;
        MotifAgreement a;
        a.motif = bm.index;
        a.width = bm.matrix.Width();
        a.score = bm.score;
        double corrSum = 0;
        std::vector<Calls> calls(n);  // each chain's sites of its matched motif
        for (int c = 0; c < n; ++c) {
            ChainMatch cm;
            for (const ReportMotif& m : chains[c].report.motifs) {
                // The best chain's motif is its own match (not a look-alike of the same chain).
                if (!m.found || (c == s.best && &m != &bm)) continue;
                MotifMatch x = CompareMotifs(bm.matrix, m.matrix);
                if (cm.motif == 0 || x.score > cm.match.score + 1e-12) {
                    cm.motif = m.index;
                    cm.match = x;
                }
            }
            cm.found = cm.motif != 0 && cm.match.score >= settings.minCorrelation - 1e-12;
            if (cm.found)
                for (const ReportSite& site : chains[c].report.motifs[cm.motif - 1].sites)
                    calls[c][{site.species, site.group}].push_back(SiteSpan(site));
            a.chainsFound += cm.found ? 1 : 0;
            corrSum += c == s.best ? 0.0 : cm.match.score;
            a.matches.push_back(cm);
        }
        a.meanCorrelation = corrSum / (n - 1);
        for (const ReportSite& site : bm.sites) {
            int agree = 0;
            for (int c = 0; c < n; ++c) agree += Overlaps(calls[c], SiteSpan(site), settings.minOverlap) ? 1 : 0;
            a.siteShare.push_back(static_cast<double>(agree) / n);
        }
        if (a.chainsFound >= settings.share * n - 1e-9) ++s.motifsConverged;
        s.motifs.push_back(std::move(a));
    }

    if (best.hasModules) {
        std::vector<Calls> modules(n);
        for (int c = 0; c < n; ++c)
            for (const ReportModule& m : chains[c].report.modules)
                modules[c][{m.species, m.group}].push_back(ModuleSpan(m));
        for (const ReportModule& m : best.modules) {
            int agree = 0;
            for (int c = 0; c < n; ++c) agree += Overlaps(modules[c], ModuleSpan(m), settings.minOverlap) ? 1 : 0;
            s.moduleShare.push_back(static_cast<double>(agree) / n);
        }
    }

    const int found = static_cast<int>(s.motifs.size());
    const std::string tail =
        Format("%d of %d motifs found by >= %s of chains", s.motifsConverged, found, Percent(settings.share).c_str());
    if (s.chainsWithMotifs == 0) {
        s.verdict = Format("nothing found: none of the %d chains found a motif", n);
    } else if (found == 0) {
        s.verdict =
            Format("not converged: the best chain found no motif, %d of %d chains found some", s.chainsWithMotifs, n);
    } else {
        s.converged = s.motifsConverged == found;
        s.verdict = (s.converged ? "converged: " : "not converged: ") + tail;
    }
    summary = std::move(s);
    return true;
}

std::string FormatChains(const std::vector<Chain>& chains, const ChainsSummary& s, const ChainSettings& settings,
                         bool json)
{
    const int n = static_cast<int>(chains.size());
    std::string t;
    if (json) {
        t = "{\n  \"chains\": [";
        for (int c = 0; c < n; ++c) {
            int found = 0;
            for (const ReportMotif& m : chains[c].report.motifs) found += m.found ? 1 : 0;
            t += Format("%s\n    {\"report\": %s, \"average_likelihood\": %s, \"motifs_found\": %d}", c ? "," : "",
                        JsonText(chains[c].label).c_str(), JsonNumber(chains[c].report.averageLikelihood).c_str(),
                        found);
        }
        t += Format("\n  ],\n  \"best\": %s,\n  \"min_correlation\": %s,\n  \"share\": %s,\n  \"agree\": %s,\n",
                    JsonText(chains[s.best].label).c_str(), JsonNumber(settings.minCorrelation).c_str(),
                    JsonNumber(settings.share).c_str(), JsonNumber(settings.agree).c_str());
        t += "  \"motifs\": [";
        for (std::size_t k = 0; k < s.motifs.size(); ++k) {
            const MotifAgreement& a = s.motifs[k];
            t += Format(
                "%s\n    {\"motif\": %d, \"width\": %d, \"score\": %s, \"chains_found\": %d, "
                "\"found_share\": %s, \"mean_correlation\": %s, \"sites\": %zu, \"site_agreement\": %s, "
                "\"sites_kept\": %zu, \"matches\": [",
                k ? "," : "", a.motif, a.width, JsonNumber(a.score).c_str(), a.chainsFound,
                JsonNumber(static_cast<double>(a.chainsFound) / n).c_str(), JsonNumber(a.meanCorrelation).c_str(),
                a.siteShare.size(), JsonNumber(Mean(a.siteShare)).c_str(), CountAtLeast(a.siteShare, settings.agree));
            for (int c = 0; c < n; ++c) {
                const ChainMatch& m = a.matches[c];
                t += Format("%s{\"motif\": %d, \"correlation\": %s, \"strand\": %d, \"offset\": %d, \"found\": %s}",
                            c ? ", " : "", m.motif, JsonNumber(m.match.score).c_str(), m.match.strand, m.match.offset,
                            m.found ? "true" : "false");
            }
            t += "]}";
        }
        t += Format("\n  ],\n  \"modules\": %zu,\n  \"module_agreement\": %s,\n  \"modules_kept\": %zu,\n",
                    s.moduleShare.size(), JsonNumber(Mean(s.moduleShare)).c_str(),
                    CountAtLeast(s.moduleShare, settings.agree));
        t += Format("  \"motifs_converged\": %d,\n  \"converged\": %s,\n  \"verdict\": %s\n}\n", s.motifsConverged,
                    s.converged ? "true" : "false", JsonText(s.verdict).c_str());
        return t;
    }

    t = Format("Chains: %d; the best (highest average likelihood) is %s\n", n, chains[s.best].label.c_str());
    t += "chain\taverage_likelihood\tmotifs_found\n";
    for (int c = 0; c < n; ++c) {
        int found = 0;
        for (const ReportMotif& m : chains[c].report.motifs) found += m.found ? 1 : 0;
        t += Format("%s\t%.4f\t%d%s\n", chains[c].label.c_str(), chains[c].report.averageLikelihood, found,
                    c == s.best ? "\t(best)" : "");
    }
    t += Format(
        "\nMotifs of the best chain; a chain finds one when a motif of its own correlates >= %.2f.\n"
        "Sites: share of chains calling an overlapping site of their matching motif; kept: sites "
        "called by >= %s of chains.\n",
        settings.minCorrelation, Percent(settings.agree).c_str());
    t += "motif\twidth\tscore\tfound_by\tmean_corr\tsites\tsite_agreement\tsites_kept\tmatches (chain:motif strand "
         "correlation)\n";
    for (const MotifAgreement& a : s.motifs) {
        std::string matches;
        for (int c = 0; c < n; ++c) {
            const ChainMatch& m = a.matches[c];
            matches += Format("%s%d:", c ? " " : "", c + 1);
            matches += m.motif ? Format("%d%c%.3f%s", m.motif, m.match.strand > 0 ? '+' : '-', m.match.score,
                                        m.found ? "" : "(no)")
                               : "none";
        }
        const double meanSite = Mean(a.siteShare);
        t += Format("%d\t%d\t%.4f\t%d/%d\t%.3f\t%zu\t%s\t%zu\t%s\n", a.motif, a.width, a.score, a.chainsFound, n,
                    a.meanCorrelation, a.siteShare.size(),
                    std::isnan(meanSite) ? "n/a" : Format("%.3f", meanSite).c_str(),
                    CountAtLeast(a.siteShare, settings.agree), matches.c_str());
    }
    if (s.motifs.empty()) t += "(none found)\n";
    if (chains[s.best].report.hasModules)
        t += Format("\nModules: %zu in the best chain, mean agreement %.3f, %zu called by >= %s of chains\n",
                    s.moduleShare.size(), s.moduleShare.empty() ? 0.0 : Mean(s.moduleShare),
                    CountAtLeast(s.moduleShare, settings.agree), Percent(settings.agree).c_str());
    else
        t += "\nModules: none called (motif mode)\n";
    t += "\n" + s.verdict + "\n";
    return t;
}

std::string ConsensusReport(const std::vector<Chain>& chains, const ChainsSummary& s, const ChainSettings& settings)
{
    const Chain& best = chains[s.best];
    const int first = best.report.firstLine - 1;  // file line of best.lines[0]
    std::vector<bool> keep(best.lines.size(), true);
    for (const MotifAgreement& a : s.motifs) {
        const ReportMotif& m = best.report.motifs[a.motif - 1];
        for (std::size_t i = 0; i < m.sites.size(); ++i)
            if (a.siteShare[i] < settings.agree - 1e-12)
                keep[m.sites[i].line - first] = keep[m.sites[i].line - first + 1] = false;
    }
    for (std::size_t i = 0; i < s.moduleShare.size(); ++i)
        if (s.moduleShare[i] < settings.agree - 1e-12) keep[best.report.modules[i].line - first] = false;
    std::string text;
    for (std::size_t i = 0; i < best.lines.size(); ++i)
        if (keep[i]) text += best.lines[i] + "\n";
    return text;
}

}  // namespace sertools
