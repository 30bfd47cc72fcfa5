// Agreement of several chains on one input.
#include "common/Chains.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "app/PathModuleU.h"
#include "base/Checksum.h"
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

// The options a run's echoed command line gives, as the program reads them: every argument
// that starts with '-' and a known letter sets that option (the next argument is its value
// unless it is a switch), the last one wins, unknown letters are ignored.
std::map<char, std::string> OptionsOf(const std::string& commandLine)
{
    std::map<char, std::string> out;
    const std::vector<std::string> args = SplitBlank(commandLine);
    for (std::size_t a = 1; a < args.size(); ++a) {
        if (args[a].size() < 2 || args[a][0] != '-') continue;
        for (const OptionInfo& o : KnownOptions())
            if (o.letter == args[a][1])
                out[o.letter] = o.kind == OptionKind::Flag ? "" : a + 1 < args.size() ? args[a + 1] : "";
    }
    return out;
}

// True when an option's value names a file (-g names one unless it is an order: digits only).
bool NamesFile(char letter, const std::string& value)
{
    if (letter == 'g') return value.empty() || value.find_first_not_of("0123456789") != std::string::npos;
    return std::strchr("iAPB", letter) != nullptr;
}

// True when a file option's two values name files of the same content (see the header).
bool SameFile(const std::string& a, const std::string& b)
{
    if (a == b) return true;
    FileSum x, y;
    if (SumFile(a, x) && SumFile(b, y)) return x == y;
    return std::filesystem::path(a).filename() == std::filesystem::path(b).filename();
}

// Whether option o has the same value in two runs (absent: its default).
bool SameOption(const OptionInfo& o, const std::map<char, std::string>& x, const std::map<char, std::string>& y)
{
    const auto ix = x.find(o.letter), iy = y.find(o.letter);
    const bool hx = ix != x.end(), hy = iy != y.end();
    if (o.kind == OptionKind::Flag) return hx == hy;
    const std::string a = hx ? ix->second : o.deflt, b = hy ? iy->second : o.deflt;
    if (o.kind == OptionKind::Integer || o.kind == OptionKind::Seed) {
        long long u = 0, v = 0;
        return ParseInt(a, u) && ParseInt(b, v) ? u == v : a == b;
    }
    if (o.kind == OptionKind::Real) {
        double u = 0, v = 0;
        return ParseReal(a, u) && ParseReal(b, v) ? u == v : a == b;
    }
    if (o.letter == 'r') return (a[0] == '0') == (b[0] == '0');  // 0: one strand; anything else: both
    if (hx != hy) return false;
    return NamesFile(o.letter, a) && NamesFile(o.letter, b) ? SameFile(a, b) : a == b;
}

// "with -K 4", "with -c" or "without -K" for an option of a run's command line.
std::string Given(const OptionInfo& o, const std::map<char, std::string>& x)
{
    const auto it = x.find(o.letter);
    if (it == x.end()) return Format("without -%c", o.letter);
    return o.kind == OptionKind::Flag ? Format("with -%c", o.letter)
                                      : Format("with -%c %s", o.letter, it->second.c_str());
}

// A run's lines without its command line (the lines between the banner and the likelihood).
std::vector<std::string> WithoutCommandLine(const Chain& c)
{
    std::vector<std::string> out;
    bool inCommand = false;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        if (i == 1) inCommand = true;
        if (inCommand && c.lines[i].starts_with("Average likelihood=")) inCommand = false;
        if (!inCommand) out.push_back(c.lines[i]);
    }
    return out;
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
            c.path = path;
            c.run = static_cast<int>(r);
            c.runsInFile = static_cast<int>(runs.size());
            c.lines.assign(lines.begin() + (runs[r].firstLine - 1), lines.begin() + runs[r].endLine);
            c.report = std::move(runs[r]);
            out.push_back(std::move(c));
        }
    }
    chains = std::move(out);
    return true;
}

bool CheckChainsComparable(const std::vector<Chain>& chains, std::string& err)
{
    if (chains.empty()) return true;
    const std::map<char, std::string> first = OptionsOf(chains[0].report.commandLine);
    for (const Chain& c : chains) {
        const std::map<char, std::string> mine = OptionsOf(c.report.commandLine);
        for (const OptionInfo& o : KnownOptions()) {
            if (o.letter == 'S' || o.letter == 'o' || o.letter == 'm' || SameOption(o, first, mine)) continue;
            std::string why;
            if (first.count(o.letter) && mine.count(o.letter) && NamesFile(o.letter, first.at(o.letter)) &&
                NamesFile(o.letter, mine.at(o.letter))) {
                FileSum x, y;
                why = SumFile(first.at(o.letter), x) && SumFile(mine.at(o.letter), y) ? " (the files differ)"
                                                                                      : " (other file names)";
            }
            err = Format("%s was run %s but %s %s%s: not chains of one input", c.label.c_str(), Given(o, mine).c_str(),
                         chains[0].label.c_str(), Given(o, first).c_str(), why.c_str());
            return false;
        }
    }
    return true;
}

std::vector<std::string> DropRepeatedChains(std::vector<Chain>& chains)
{
    std::vector<std::string> notes;
    std::map<std::vector<std::string>, std::string> seen;  // a run's text -> the chain that had it first
    std::vector<Chain> kept;
    for (Chain& c : chains) {
        auto [at, isNew] = seen.emplace(WithoutCommandLine(c), c.label);
        if (isNew)
            kept.push_back(std::move(c));
        else
            notes.push_back(Format("%s repeats %s (the same report apart from the command line); counted once",
                                   c.label.c_str(), at->second.c_str()));
    }
    chains = std::move(kept);
    return notes;
}

bool CompareChains(const std::vector<Chain>& chains, const ChainSettings& settings, ChainsSummary& summary,
                   std::string& err)
{
    if (chains.size() < 2) {
        err = "give the reports of at least two chains (several files, or one file of several -m runs)";
        return false;
    }
    if (!CheckChainsComparable(chains, err)) return false;

    ChainsSummary s;
    const int n = static_cast<int>(chains.size());
    for (int c = 1; c < n; ++c)
        if (RankOf(chains[c].report) > RankOf(chains[s.best].report)) s.best = c;
    if (settings.reference >= 0 && settings.reference < n) {
        s.best = settings.reference;
        s.bestIsKept = true;
    }
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

bool KeptChainIndex(const std::vector<Chain>& chains, const std::string& tablePath, int& index, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(tablePath, lines, err)) return false;
    const std::vector<std::string> head = lines.empty() ? std::vector<std::string>{} : SplitTabs(lines[0]);
    if (head.size() < 5 || head[0] != "chain" || head[2] != "average_loglik" || head[4] != "kept") {
        err = tablePath + ": not a chains table of the program (-C writes <-o>chains.tsv)";
        return false;
    }
    std::string kept;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        const std::vector<std::string> f = SplitTabs(lines[l]);
        if (f.size() >= 5 && f[4] == "yes") {
            if (!kept.empty()) {
                err = tablePath + ": more than one chain marked kept";
                return false;
            }
            kept = f[2];
        }
    }
    if (kept.empty()) {
        err = tablePath + ": no chain marked kept";
        return false;
    }
    // The table and the reports write the average likelihood with four decimals.
    index = -1;
    for (std::size_t c = 0; c < chains.size(); ++c)
        if (Format("%.4f", chains[c].report.averageLikelihood) == kept) {
            if (index >= 0) {
                err = Format("%s: the kept chain's average likelihood %s belongs to more than one given chain",
                             tablePath.c_str(), kept.c_str());
                return false;
            }
            index = static_cast<int>(c);
        }
    if (index < 0) {
        err = Format("%s: its kept chain (average likelihood %s) is none of the given chains", tablePath.c_str(),
                     kept.c_str());
        return false;
    }
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

    t = Format(s.bestIsKept ? "Chains: %d; the best (the one the program kept) is %s\n"
                            : "Chains: %d; the best (highest average likelihood) is %s\n",
               n, chains[s.best].label.c_str());
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

ConsensusFiles ConsensusReport(const std::vector<Chain>& chains, const ChainsSummary& s, const ChainSettings& settings)
{
    const Chain& best = chains[s.best];
    const RunReport& r = best.report;
    const int first = r.firstLine - 1;  // file line of best.lines[0]
    // The kept sites of every motif, and the same as (motif, species, group, position, strand).
    std::vector<std::vector<const ReportSite*>> kept(r.motifs.size());
    std::set<std::tuple<int, int, int, int, int>> keptKeys;
    for (const MotifAgreement& a : s.motifs) {
        const ReportMotif& m = r.motifs[a.motif - 1];
        for (std::size_t i = 0; i < m.sites.size(); ++i)
            if (a.siteShare[i] >= settings.agree - 1e-12) {
                const ReportSite& x = m.sites[i];
                kept[a.motif - 1].push_back(&x);
                keptKeys.insert({a.motif, x.species, x.group, x.position, x.strand});
            }
    }

    // Command line, likelihood and iterations as they were; the report's own layout after them.
    std::string text;
    std::size_t i = 0;
    for (; i < best.lines.size() && !best.lines[i].starts_with("Post burn-in iterations="); ++i)
        text += best.lines[i] + "\n";
    text += (i < best.lines.size() ? best.lines[i] : std::string()) + "\n\n";
    std::string modules;
    if (r.hasModules) {
        text += "Predicted modules:\n";
        for (std::size_t k = 0; k < r.modules.size(); ++k) {
            const ReportModule& m = r.modules[k];
            if (k < s.moduleShare.size() && s.moduleShare[k] < settings.agree - 1e-12) continue;
            std::string codes;
            int start = 0, end = 0;
            for (const auto& [code, pos] : m.sites) {
                const int motif = std::abs(code);
                if (motif < 1 || motif > static_cast<int>(r.motifs.size()) ||
                    !keptKeys.count({motif, m.species, m.group, pos, code > 0 ? 1 : -1}))
                    continue;
                const int stop = pos + r.motifs[motif - 1].matrix.Width();
                start = codes.empty() ? pos : std::min(start, pos);
                end = codes.empty() ? stop : std::max(end, stop);
                codes += Format("%s%d(%d)", code > 0 ? "+" : "", code, pos);
            }
            if (codes.empty()) continue;  // no agreed site left: no module
            text += Format("%d\t%d\t%d\t%d\t%s\n", m.species, m.group, start, end, codes.c_str());
            modules += Format("%d\t%d\t%d\t%d\n", m.species, m.group, start, end);
        }
    }
    text += "\n\n";
    ConsensusFiles out;
    for (std::size_t k = 0; k < r.motifs.size(); ++k) {
        const ReportMotif& m = r.motifs[k];
        std::string sideFile;
        if (kept[k].empty()) {
            text += Format("\nMotif%d not found\n", m.index);
        } else {
            // The matrix is the letter frequencies of the kept sites, as the program makes it
            // from its called sites.
            const int width = m.matrix.Width();
            std::vector<double> counts(4 * static_cast<std::size_t>(width), 0.0);
            for (const ReportSite* x : kept[k])
                for (int j = 0; j < width && j < static_cast<int>(x->letters.size()); ++j) {
                    const char* at = std::strchr("ACGT", x->letters[j]);
                    if (at != nullptr && *at != '\0') counts[4 * j + (at - "ACGT")] += 1;
                }
            // The header line with its score as the best chain wrote it.
            const std::string head = Format("Motif%d:", m.index);
            std::size_t h = 0;
            while (h < best.lines.size() && !best.lines[h].starts_with(head)) ++h;
            text += "\n" + (h < best.lines.size() ? best.lines[h] : head) + "\nA\tC\tG\tT\n";
            for (int j = 0; j < width; ++j) {
                const double sum = counts[4 * j] + counts[4 * j + 1] + counts[4 * j + 2] + counts[4 * j + 3];
                for (int b = 0; b < 4; ++b) text += Format("%.3f\t", sum > 0 ? counts[4 * j + b] / sum : 0.0);
                text += "\n";
            }
            text += "\nSites:\n";
            for (const ReportSite* x : kept[k]) {
                const std::string& line = best.lines[x->line - first];
                text += line + "\n" + x->letters + "\n";
                sideFile += line.substr(1) + "\n";
            }
        }
        out.files.emplace_back(Format("motif%d.txt", m.index), sideFile);
    }
    out.files.insert(out.files.begin(), {"", text});
    if (r.hasModules) out.files.emplace_back("module.txt", modules);

    // The module posterior: the best chain's block of its side file.
    const bool fscan = CommandHas(r.commandLine, 'F'), aligned = CommandHas(r.commandLine, 'P');
    const std::string suffix = aligned || !r.hasModules ? "" : fscan ? "margmodule.txt" : "_Pm.txt";
    if (!suffix.empty()) {
        std::vector<std::string> lines;
        std::string err;
        const std::string path = best.path + suffix;
        if (!std::filesystem::exists(path) || !ReadLines(path, lines, err)) {
            out.notes.push_back(Format("%s cannot be read; the consensus has no %s", path.c_str(), suffix.c_str()));
        } else if (lines.size() % static_cast<std::size_t>(best.runsInFile) != 0) {
            out.notes.push_back(Format("%s holds %zu lines, not one block per run of %s; the consensus has no %s",
                                       path.c_str(), lines.size(), best.path.c_str(), suffix.c_str()));
        } else {
            const std::size_t per = lines.size() / static_cast<std::size_t>(best.runsInFile);
            std::string block;
            for (std::size_t l = per * static_cast<std::size_t>(best.run); l < per * (best.run + 1); ++l)
                block += lines[l] + "\n";
            out.files.emplace_back(suffix, block);
        }
    }
    return out;
}

ConsensusFiles BestChainReport(const std::vector<Chain>& chains, const ChainsSummary& summary)
{
    ChainSettings all;
    all.agree = 0;  // every call of the best chain is kept
    ConsensusFiles out = ConsensusReport(chains, summary, all);
    std::string text;
    for (const std::string& line : chains[summary.best].lines) text += line + "\n";
    out.files[0].second = text;
    return out;
}

}  // namespace sertools
