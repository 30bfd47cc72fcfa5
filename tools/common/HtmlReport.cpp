// The HTML page of serevan-report.
//   page parts: style and script, letter shapes, run summary, motif cards (logos,
//   downloads, known motifs), module map (panels, lanes, glyphs), site table.
#include "common/HtmlReport.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "common/LogoGeometry.h"
#include "common/LowComplexity.h"
#include "common/MotifCounts.h"
#include "common/MotifMatrix.h"
#include "common/ToolText.h"

namespace sertools {

namespace {

const char kStyle[] = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:0 auto;max-width:1120px;padding:0 16px 40px;color:#222}
h1{margin:18px 0 2px}h2{border-bottom:1px solid #ccc;margin-top:28px}
code{background:#f4f4f4;padding:1px 4px;word-break:break-all}
table{border-collapse:collapse}td,th{padding:2px 8px;text-align:left;border-bottom:1px solid #eee}
th{background:#f4f4f4}table.sites th{cursor:pointer}th[data-dir=asc]::after{content:" \25B2"}
th[data-dir=desc]::after{content:" \25BC"}
.cards{display:flex;flex-wrap:wrap;gap:12px}.card{border:1px solid #ccc;border-radius:6px;padding:8px 12px;min-width:300px}
.card h3{margin:4px 0}.card.notfound{color:#777}.card dl{display:grid;grid-template-columns:auto 1fr;gap:0 10px;margin:6px 0}
.card dt{color:#666}.card dd{margin:0}.known td,.known th{font-size:12px}
.notes{color:#a33}.panel{margin:4px 0;border:1px solid #e3e3e3;border-radius:4px;padding:2px 6px}
.panel>summary{cursor:pointer;color:#333}.panel:not([open])>summary{color:#888}
.post{fill:#9ecae1}.cons{fill:#555}.mod{fill:none;stroke:#333;stroke-width:1.2}.tmod{fill:#ddd}
.tsite{stroke:#333}.axis{stroke:#999}.lab{font-size:11px;fill:#333}.tlab{font-size:10px;fill:#777}
.legend span{display:inline-block;margin-right:14px}.sw{display:inline-block;width:12px;height:12px;vertical-align:middle;margin-right:4px;border:1px solid #555}
.panel{content-visibility:auto;contain-intrinsic-size:auto 180px}
#sites{content-visibility:auto;contain-intrinsic-size:auto 3000px}
#ready{color:#999;font-size:11px;margin-top:20px}
.warn{color:#a33;margin:4px 0}.folded{margin:6px 0;color:#666}.folded>summary{cursor:pointer}
.chains strong{color:#333}button.copy{font-size:11px;padding:0 4px}.legend.planted>span{display:block}
)";

const char kErrorScript[] =
    "window.addEventListener('error',function(e){var r=document.getElementById('ready');"
    "if(r){r.setAttribute('data-state','error');r.textContent='script error: '+e.message;}});";

const char kScript[] = R"(
(function () {
  function all(sel, root) { return Array.prototype.slice.call((root || document).querySelectorAll(sel)); }
  all('button.flip').forEach(function (b) {
    b.addEventListener('click', function () {
      var card = b.closest('.card'), fwd = card.querySelector('.logo'), rc = card.querySelector('.logo-rc');
      var showRc = rc.hidden;
      rc.hidden = !showRc; fwd.hidden = showRc;
      b.textContent = showRc ? 'Show the given strand' : 'Show the reverse complement';
    });
  });
  var runSel = document.getElementById('run-select');
  function showRun() { all('.run-map').forEach(function (m) { m.hidden = m.getAttribute('data-run') !== runSel.value; }); }
  if (runSel) { runSel.addEventListener('change', showRun); showRun(); }
  var sortSel = document.getElementById('sort-groups');
  if (sortSel) sortSel.addEventListener('change', function () {
    var byScore = sortSel.value === 'score';
    all('.panels').forEach(function (box) {
      var ps = all('.panel', box);
      ps.sort(function (a, b) {
        var key = byScore ? 'data-rank' : 'data-group';
        return parseInt(a.getAttribute(key), 10) - parseInt(b.getAttribute(key), 10);
      });
      ps.forEach(function (p) { box.appendChild(p); });
    });
  });
  all('button.copy').forEach(function (b) {
    b.addEventListener('click', function () {
      var href = b.previousElementSibling.getAttribute('href'), text = decodeURIComponent(href.slice(href.indexOf(',') + 1));
      var box = document.createElement('textarea');
      box.value = text; document.body.appendChild(box); box.select();
      var done = document.execCommand('copy');
      document.body.removeChild(box);
      b.textContent = done ? 'copied' : 'copy failed';
    });
  });
  var table = document.getElementById('site-table');
  if (table) {
    var body = table.tBodies[0], rows = Array.prototype.slice.call(body.rows);
    var heads = all('th', table);
    heads.forEach(function (th, col) {
      th.addEventListener('click', function () {
        var num = th.hasAttribute('data-num'), dir = th.getAttribute('data-dir') === 'asc' ? -1 : 1;
        heads.forEach(function (h) { h.removeAttribute('data-dir'); });
        th.setAttribute('data-dir', dir > 0 ? 'asc' : 'desc');
        rows.sort(function (a, b) {
          var x = a.cells[col].textContent, y = b.cells[col].textContent;
          return dir * (num ? parseFloat(x) - parseFloat(y) : (x < y ? -1 : x > y ? 1 : 0));
        });
        var frag = document.createDocumentFragment();
        rows.forEach(function (r) { frag.appendChild(r); });
        body.appendChild(frag);
      });
    });
    var filter = document.getElementById('site-filter'), shown = document.getElementById('site-shown');
    filter.addEventListener('input', function () {
      var q = filter.value.toLowerCase(), n = 0;
      rows.forEach(function (r) { var hit = !q || r.textContent.toLowerCase().indexOf(q) >= 0; r.hidden = !hit; n += hit ? 1 : 0; });
      shown.textContent = n + ' of ' + rows.length + ' sites shown';
    });
  }
  var ready = document.getElementById('ready');
  void document.body.offsetHeight;
  ready.setAttribute('data-ms', performance.now().toFixed(0));
  ready.textContent = 'Page ready: ' + all('.logo').length + ' logos, ' + all('.lane').length + ' lanes, ' +
    all('.sg').length + ' site glyphs.';
  if (ready.getAttribute('data-state') === 'pending') ready.setAttribute('data-state', 'ready');
})();
)";

// Letter shapes in a 100 x 100 box, drawn once and used by every logo.
const char kLetterDefs[] =
    "<svg width=\"0\" height=\"0\" style=\"position:absolute\" aria-hidden=\"true\"><defs>"
    "<path id=\"lA\" fill-rule=\"evenodd\" d=\"M0 100L38 0H62L100 100H77L68 75H32L23 100ZM39 57H61L50 26Z\"/>"
    "<path id=\"lC\" d=\"M88.3 17.9A50 50 0 1 0 88.3 82.1L73 69.3A30 30 0 1 1 73 30.7Z\"/>"
    "<path id=\"lG\" d=\"M88.3 17.9A50 50 0 1 0 100 50H54V63H76.5A30 30 0 1 1 73 30.7Z\"/>"
    "<path id=\"lT\" d=\"M0 0H100V18H60V100H40V18H0Z\"/>"
    "</defs></svg>\n";

const char* const kBaseColour[4] = {"#109648", "#255c99", "#f7a51c", "#d62839"};
const char* const kMotifColour[10] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                      "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};

const char* MotifColour(int k)
{
    return kMotifColour[(std::max(k, 1) - 1) % 10];
}

std::string F1(double v)
{
    return Format("%.1f", v);
}

// Text cut to about n bytes, never inside a UTF-8 sequence.
std::string Cut(const std::string& s, std::size_t n)
{
    if (s.size() <= n) return s;
    std::size_t end = n;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end) + "\xE2\x80\xA6";
}

// ---- logos ----

constexpr double kColW = 20, kBitH = 40, kAxisW = 30, kLogoTop = 6, kLogoBottom = 18;

std::string RenderLogo(const Motif& m, const char* cls, bool hidden)
{
    const std::vector<LogoColumn> cols = LayoutLogo(m);
    const double w = kAxisW + kColW * static_cast<double>(cols.size()) + 4, h = kLogoTop + 2 * kBitH + kLogoBottom;
    const double base = kLogoTop + 2 * kBitH;
    std::string s = Format("<div class=\"%s\"%s><svg width=\"%s\" height=\"%s\" role=\"img\">", cls,
                           hidden ? " hidden=\"hidden\"" : "", F1(w).c_str(), F1(h).c_str());
    s += Format("<line class=\"axis\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\"/>", F1(kAxisW - 4).c_str(),
                F1(kLogoTop).c_str(), F1(kAxisW - 4).c_str(), F1(base).c_str());
    for (int bit = 0; bit <= 2; ++bit)
        s += Format("<text class=\"tlab\" x=\"%s\" y=\"%s\" text-anchor=\"end\">%d</text>", F1(kAxisW - 7).c_str(),
                    F1(base - bit * kBitH + 3).c_str(), bit);
    s += Format("<text class=\"tlab\" transform=\"translate(8 %s) rotate(-90)\" text-anchor=\"middle\">bits</text>",
                F1(base - kBitH).c_str());
    for (std::size_t j = 0; j < cols.size(); ++j) {
        const double x = kAxisW + kColW * static_cast<double>(j);
        double y = base;
        for (const LogoLetter& l : cols[j].letters) {
            const double hp = l.height * kBitH;
            y -= hp;
            if (hp < 0.05) continue;
            s += Format("<use href=\"#l%c\" fill=\"%s\" transform=\"translate(%s %s) scale(%.3f %.4f)\"/>",
                        "ACGT"[l.base], kBaseColour[l.base], F1(x + 0.5).c_str(), Format("%.2f", y).c_str(),
                        (kColW - 1) / 100, hp / 100);
        }
        if (cols.size() <= 30 || (j + 1) % 5 == 0)
            s += Format("<text class=\"tlab\" x=\"%s\" y=\"%s\" text-anchor=\"middle\">%zu</text>",
                        F1(x + kColW / 2).c_str(), F1(base + 13).c_str(), j + 1);
    }
    return s + "</svg></div>";
}

std::string RunLabel(const ReportData& d, std::size_t r)
{
    return d.runs.size() > 1 ? Format("run %zu ", r + 1) : std::string();
}

// ---- what the page adds to the calls ----

// What the parts of the page share: the data, the extras, and the records' tandem-repeat
// masks, found when first needed.
struct Page {
    Page(const ReportData& data, const ReportExtras& extras, const HtmlSettings& s)
        : d(data), x(extras), settings(s), masks(extras.sequences.size()), masked(extras.sequences.size(), 0)
    {
    }

    const ReportData& d;
    const ReportExtras& x;
    const HtmlSettings& settings;
    std::vector<std::vector<bool>> masks;  // per record: bases in a low-complexity stretch
    std::vector<char> masked;              // per record: its mask was found

    static std::size_t Record(const RunData& run, int species, int group)
    {
        return static_cast<std::size_t>(species) * static_cast<std::size_t>(run.groups) +
               static_cast<std::size_t>(group);
    }

    // A site's letters in the input's case (soft-masked bases in lower case); the report's
    // letters where the input does not hold them.
    std::string Letters(const RunData& run, const ReportSite& s) const
    {
        const std::size_t rec = Record(run, s.species, s.group);
        if (rec >= x.sequences.size()) return s.letters;
        const std::string in = StrandLetters(x.sequences[rec], s.position, s.letters.size(), s.strand);
        if (in.size() != s.letters.size()) return s.letters;
        for (std::size_t i = 0; i < in.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(in[i])) !=
                std::toupper(static_cast<unsigned char>(s.letters[i])))
                return s.letters;
        return in;
    }

    // True when more than half of a site's bases lie in a tandem repeat: a low-complexity
    // stretch by the rule (and default settings) of serevan-prep mask.
    bool InRepeat(const RunData& run, const ReportSite& s)
    {
        const std::size_t rec = Record(run, s.species, s.group);
        if (rec >= x.sequences.size() || s.letters.empty()) return false;
        if (!masked[rec]) {
            FindLowComplexity(x.sequences[rec], LowComplexitySettings{}, masks[rec]);
            masked[rec] = 1;
        }
        const std::vector<bool>& m = masks[rec];
        long long in = 0;
        const long long end = s.position + static_cast<long long>(s.letters.size());
        for (long long i = std::max(0, s.position); i < end && i < static_cast<long long>(m.size()); ++i)
            in += m[static_cast<std::size_t>(i)] ? 1 : 0;
        return 2 * in > end - s.position;
    }

    // The genome stretch of a call; false without a groups table or when it spans two blocks.
    bool Genome(const RunData& run, int species, int group, long long start, long long end, int strand,
                GenomeSpan& out) const
    {
        return !x.groupsPath.empty() && x.genome.Map(Record(run, species, group), start, end, strand, out);
    }
};

// A genome position as a genome browser's position box reads it: 1-based, both ends included.
std::string GenomeText(const GenomeSpan& g)
{
    return Format("%s:%lld-%lld", g.chrom.c_str(), g.start + 1, g.end);
}

const char* StrandText(int strand)
{
    return strand > 0 ? "+" : strand < 0 ? "-" : ".";
}

// Where a record lies in its genome: "chr22:1195-3500 +", with "(15 pieces)" when it joins
// several segments of one sequence and strand, else the sequences it joins.
std::string RecordPlace(const std::vector<GroupSegment>& segments)
{
    if (segments.empty()) return "";
    const GroupSegment& first = segments.front();
    std::vector<std::string> chroms;
    bool one = true;
    GenomeSpan span{"", first.start, first.end, first.strand == '+' ? 1 : -1};
    for (const GroupSegment& s : segments) {
        one = one && s.source == first.source && s.strand == first.strand;
        span.start = std::min(span.start, s.start);
        span.end = std::max(span.end, s.end);
        const std::size_t dot = s.source.find('.');
        const std::string chrom = dot == std::string::npos ? s.source : s.source.substr(dot + 1);
        if (std::find(chroms.begin(), chroms.end(), chrom) == chroms.end()) chroms.push_back(chrom);
    }
    if (!one) {
        std::string s = Format("%zu pieces:", segments.size());
        for (std::size_t i = 0; i < chroms.size(); ++i) s += (i ? ", " : " ") + chroms[i];
        return s;
    }
    span.chrom = chroms[0];
    return GenomeText(span) + " " + StrandText(span.strand) +
           (segments.size() > 1 ? Format(" (%zu pieces)", segments.size()) : std::string());
}

// Group numbers as ranges: "0, 2, 5-9".
std::string GroupRanges(const std::vector<int>& groups)
{
    std::string s;
    for (std::size_t i = 0; i < groups.size();) {
        std::size_t j = i;
        while (j + 1 < groups.size() && groups[j + 1] == groups[j] + 1) ++j;
        s += (s.empty() ? "" : ", ") + (j == i ? std::to_string(groups[i]) : Format("%d-%d", groups[i], groups[j]));
        i = j + 1;
    }
    return s;
}

// ---- run summary ----

std::string RenderSummary(const Page& p)
{
    const ReportData& d = p.d;
    std::string s = "<section id=\"summary\"><h2>Run summary</h2>\n<table class=\"runs\"><thead><tr>";
    for (const char* h : {"run", "mode", "species", "groups", "iterations (-n)", "post-burn-in T",
                          "average log-likelihood", "motifs found", "modules", "sites"})
        s += Format("<th>%s</th>", h);
    s += "</tr></thead><tbody>\n";
    for (std::size_t r = 0; r < d.runs.size(); ++r) {
        const RunData& run = d.runs[r];
        int found = 0;
        std::size_t sites = 0;
        for (const ReportMotif& m : run.report.motifs) {
            found += m.found ? 1 : 0;
            sites += m.sites.size();
        }
        s += Format(
            "<tr><td>%zu</td><td>%s</td><td>%d</td><td>%d</td><td>%s</td><td>%d</td><td>%.4f</td>"
            "<td>%d of %zu</td><td>%s</td><td>%zu</td></tr>\n",
            r + 1, ModeName(run.mode), run.species, run.groups,
            run.mode == RunMode::AlignedScan ? "-" : std::to_string(run.iterations).c_str(), run.report.postBurnIn,
            run.report.averageLikelihood, found, run.report.motifs.size(),
            run.report.hasModules ? std::to_string(run.report.modules.size()).c_str() : "none called", sites);
    }
    s += "</tbody></table>\n<p>Command line";
    s += d.runs.size() > 1 ? "s:</p><ol>" : ":</p><ol style=\"list-style:none;padding:0\">";
    for (const RunData& run : d.runs) s += "<li><code>" + HtmlEscape(run.report.commandLine) + "</code></li>";
    s += "</ol>\n<p>Report <code>" + HtmlEscape(d.sources.reportPath) + "</code>, input <code>" +
         HtmlEscape(d.sources.inputPath) + Format("</code> (%zu records)", d.names.size());
    if (d.hasTruth) s += ", truth <code>" + HtmlEscape(d.sources.truthPath) + "</code>";
    if (!d.known.empty())
        s += ", known motifs <code>" + HtmlEscape(d.sources.dbPath) + Format("</code> (%zu)", d.known.size());
    if (!p.x.groupsPath.empty()) {
        std::string species;
        for (const std::string& a : p.x.genome.species) species += (species.empty() ? "" : ", ") + a;
        s += ", groups table <code>" + HtmlEscape(p.x.groupsPath) + "</code> (genome positions in " +
             HtmlEscape(species) + ")";
    }
    s += ".</p>\n";
    if (!p.x.chainsPath.empty())
        s += "<p class=\"chains\">Chains <code>" + HtmlEscape(p.x.chainsPath) +
             Format("</code> (%d chains%s): <strong>", p.x.chains.chains,
                    d.runs.size() > 1 ? Format("; the best is run %zu", p.x.chains.run + 1).c_str() : "") +
             HtmlEscape(p.x.chains.verdict) + "</strong></p>\n";
    if (!d.notes.empty()) {
        s += "<ul class=\"notes\">";
        for (const std::string& n : d.notes) s += "<li>" + HtmlEscape(n) + "</li>";
        s += "</ul>\n";
    }
    return s + "</section>\n";
}

// ---- motif cards ----

std::string Download(const std::string& text, const std::string& file, const std::string& label)
{
    return "<a download=\"" + HtmlEscape(file) + "\" href=\"" + TextDataUrl(text) + "\">" + label + "</a>";
}

std::string RenderKnown(const ReportData& d, const Motif& learned, const HtmlSettings& settings)
{
    std::vector<std::pair<MotifMatch, std::size_t>> hits;
    for (std::size_t i = 0; i < d.known.size(); ++i) hits.emplace_back(CompareMotifs(d.known[i], learned), i);
    const std::size_t n = std::min(hits.size(), static_cast<std::size_t>(settings.knownShown));
    std::partial_sort(
        hits.begin(), hits.begin() + static_cast<std::ptrdiff_t>(n), hits.end(), [](const auto& a, const auto& b) {
            return a.first.score > b.first.score || (a.first.score == b.first.score && a.second < b.second);
        });
    std::string s =
        "<table class=\"known\"><thead><tr><th>most similar known</th><th>correlation</th>"
        "<th>overlap</th><th>strand</th></tr></thead><tbody>";
    for (std::size_t i = 0; i < n; ++i) {
        const motifio::Motif& k = d.known[hits[i].second];
        const MotifMatch& m = hits[i].first;
        const std::string name = k.name == k.id ? k.id : k.id + " " + k.name;
        s += "<tr><td>" + HtmlEscape(name) +
             Format("</td><td>%.3f</td><td>%d of %d columns</td><td>%s</td></tr>", m.score, m.overlap,
                    std::min(k.Width(), learned.Width()), m.strand > 0 ? "same" : "reverse complement");
    }
    return s + "</tbody></table>";
}

std::string RenderMotifs(Page& p)
{
    const ReportData& d = p.d;
    std::string s = "<section id=\"motifs\"><h2>Motifs</h2>\n";
    for (std::size_t r = 0; r < d.runs.size(); ++r) {
        const RunData& run = d.runs[r];
        if (d.runs.size() > 1) s += Format("<h3>Run %zu</h3>\n", r + 1);
        s += "<div class=\"cards\">\n";
        for (const ReportMotif& m : run.report.motifs) {
            const std::string id = Format("run%zu-motif%d", r + 1, m.index);
            if (!m.found) {
                s += Format(
                    "<div class=\"card notfound\" id=\"%s\"><h3>%sMotif %d</h3><p>not found: fewer than "
                    "three stretches of sequence passed the cutoff.</p></div>\n",
                    id.c_str(), RunLabel(d, r).c_str(), m.index);
                continue;
            }
            s += Format(
                "<div class=\"card\" id=\"%s\"><h3><span class=\"sw\" style=\"background:%s\"></span>%s"
                "Motif %d</h3>",
                id.c_str(), MotifColour(m.index), RunLabel(d, r).c_str(), m.index);
            s += RenderLogo(m.matrix, "logo", false) + RenderLogo(ReverseComplement(m.matrix), "logo-rc", true);
            s += "<button type=\"button\" class=\"flip\">Show the reverse complement</button>";
            std::vector<int> perSpecies(static_cast<std::size_t>(run.species), 0);
            std::map<int, int> perGroup;
            int inRepeats = 0;
            for (const ReportSite& site : m.sites) {
                if (site.species >= 0 && site.species < run.species)
                    ++perSpecies[static_cast<std::size_t>(site.species)];
                ++perGroup[site.group];
                inRepeats += p.InRepeat(run, site) ? 1 : 0;
            }
            std::string counts;
            for (int sp = 0; sp < run.species; ++sp)
                counts += Format("%ssp%d: %d", sp ? ", " : "", sp, perSpecies[static_cast<std::size_t>(sp)]);
            s += Format(
                "<dl><dt>width</dt><dd>%d</dd><dt>consensus</dt><dd><code>%s</code></dd><dt>score</dt>"
                "<dd>%.4f</dd><dt>sites</dt><dd>%zu (%s)</dd>",
                m.matrix.Width(), Consensus(m.matrix).c_str(), m.score, m.sites.size(), counts.c_str());
            const auto votes = p.x.chains.foundBy.find(m.index);
            if (!p.x.chainsPath.empty() && r == p.x.chains.run && votes != p.x.chains.foundBy.end())
                s += Format("<dt>chains</dt><dd class=\"found-by\">found by %d of %d</dd>", votes->second,
                            p.x.chains.chains);
            s += "</dl>";
            // What the advice on real DNA says to distrust: a motif of one group, sites in repeats.
            const auto top = std::max_element(perGroup.begin(), perGroup.end(),
                                              [](const auto& a, const auto& b) { return a.second < b.second; });
            if (run.groups > 1 && m.sites.size() >= 2 && 2 * static_cast<std::size_t>(top->second) > m.sites.size())
                s += Format("<p class=\"warn one-group\">Most sites come from one group: %d of %zu in group %d.</p>",
                            top->second, m.sites.size(), top->first);
            if (inRepeats > 0)
                s += Format("<p class=\"warn repeats\">%d of %zu sites lie in tandem repeats.</p>", inRepeats,
                            m.sites.size());
            motifio::Motif x;
            x.id = d.runs.size() == 1 ? Format("serevan_motif_%d", m.index)
                                      : Format("serevan_run%zu_motif_%d", r + 1, m.index);
            x.name = x.id;
            x.p = m.matrix.p;
            x.sites = static_cast<double>(m.sites.size());
            const std::vector<motifio::Motif> one{x};
            RoundToSiteCounts(x);  // whole counts for the count formats, as serevan-export writes them
            const std::vector<motifio::Motif> counted{x};
            s += "<p>Download: " +
                 Download(motifio::FormatMotifs(counted, motifio::MotifFormat::Program), x.id + ".txt",
                          "program format") +
                 " &#183; " +
                 Download(motifio::FormatMotifs(counted, motifio::MotifFormat::Jaspar), x.id + ".jaspar", "JASPAR") +
                 " &#183; " + Download(motifio::FormatMotifs(one, motifio::MotifFormat::Meme), x.id + ".meme", "MEME") +
                 "</p>";
            if (!d.known.empty()) s += RenderKnown(d, m.matrix, p.settings);
            s += "</div>\n";
        }
        s += "</div>\n";
    }
    return s + "</section>\n";
}

// ---- module map ----

constexpr double kLabelW = 160, kTrackW = 900, kLaneH = 38, kTruthH = 18, kBaseY = 28, kPostH = 24;

struct MapScale {
    double perBase;  // pixels per base
    double X(double pos) const { return kLabelW + pos * perBase; }
};

// An arrow-shaped glyph from x1 to x2 pointing along the strand.
std::string Glyph(double x1, double x2, double yc, double half, int strand)
{
    if (x2 - x1 < 5) {
        const double mid = (x1 + x2) / 2;
        x1 = mid - 2.5;
        x2 = mid + 2.5;
    }
    const double tip = std::min(4.0, (x2 - x1) / 2);
    if (strand >= 0)
        return Format("%s,%s %s,%s %s,%s %s,%s %s,%s", F1(x1).c_str(), F1(yc - half).c_str(), F1(x2 - tip).c_str(),
                      F1(yc - half).c_str(), F1(x2).c_str(), F1(yc).c_str(), F1(x2 - tip).c_str(),
                      F1(yc + half).c_str(), F1(x1).c_str(), F1(yc + half).c_str());
    return Format("%s,%s %s,%s %s,%s %s,%s %s,%s", F1(x1).c_str(), F1(yc).c_str(), F1(x1 + tip).c_str(),
                  F1(yc - half).c_str(), F1(x2).c_str(), F1(yc - half).c_str(), F1(x2).c_str(), F1(yc + half).c_str(),
                  F1(x1 + tip).c_str(), F1(yc + half).c_str());
}

// The module posterior as a step area, at most one step per pixel.
std::string PosteriorPath(const std::vector<float>& post, const MapScale& sc, double yb)
{
    const std::size_t L = post.size();
    if (L == 0) return "";
    const std::size_t bins =
        std::max<std::size_t>(1, std::min<std::size_t>(L, static_cast<std::size_t>(std::ceil(L * sc.perBase))));
    std::string d = Format("M%.1f %.1f", sc.X(0), yb);
    int last = 0;
    bool any = false;
    for (std::size_t b = 0; b < bins; ++b) {
        const std::size_t from = b * L / bins, to = std::max(from + 1, (b + 1) * L / bins);
        const float v = *std::max_element(post.begin() + static_cast<std::ptrdiff_t>(from),
                                          post.begin() + static_cast<std::ptrdiff_t>(to));
        const int h = static_cast<int>(std::lround(v * kPostH));
        if (h != last) {
            d += Format("H%.1fV%.1f", sc.X(static_cast<double>(from)), yb - h);
            last = h;
        }
        any = any || h > 0;
    }
    if (!any) return "";
    return "<path class=\"post\" d=\"" + d + Format("H%.1fV%.1fZ\"/>", sc.X(static_cast<double>(L)), yb);
}

// Conserved bases of called modules (-P) as short bars under the axis.
std::string ConservedPath(const std::vector<char>& cons, const MapScale& sc, double yb)
{
    std::string d;
    for (std::size_t i = 0; i < cons.size();) {
        if (!cons[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < cons.size() && cons[j]) ++j;
        d += Format("M%.1f %.1fH%.1fV%.1fH%.1fZ", sc.X(static_cast<double>(i)), yb + 7, sc.X(static_cast<double>(j)),
                    yb + 10, sc.X(static_cast<double>(i)));
        i = j;
    }
    return d.empty() ? ""
                     : "<path class=\"cons\" d=\"" + d + "\"><title>columns where all species agree</title></path>";
}

struct SiteRef {
    int motif;
    const ReportSite* site;
};

// What one group holds in one run.
struct GroupCalls {
    int group = 0;
    int modules = 0, sites = 0;
    double strongest = 0;  // mean posterior of its strongest module, or without a posterior the
                           // best maxFreq of the sites inside it; 0 without a module
    double bestSite = 0;   // best maxFreq of its sites
};

// Every group's calls, and the order the map draws them in: groups with calls first,
// strongest module first, then best site, then group number.
std::vector<GroupCalls> SummariseGroups(const RunData& run,
                                        const std::map<std::pair<int, int>, std::vector<SiteRef>>& sitesAt)
{
    std::vector<GroupCalls> calls(static_cast<std::size_t>(run.groups));
    for (int g = 0; g < run.groups; ++g) calls[static_cast<std::size_t>(g)].group = g;
    for (const ReportModule& m : run.report.modules) {
        if (m.group < 0 || m.group >= run.groups) continue;
        GroupCalls& c = calls[static_cast<std::size_t>(m.group)];
        ++c.modules;
        const LaneTrack& t = run.lanes[Page::Record(run, m.species, m.group)];
        double v = 0;
        if (!t.posterior.empty() && m.end > m.start) {
            for (int i = m.start; i < m.end; ++i) v += t.posterior[static_cast<std::size_t>(i)];
            v /= m.end - m.start;
        } else {
            auto it = sitesAt.find({m.species, m.group});
            if (it != sitesAt.end())
                for (const SiteRef& s : it->second)
                    if (s.site->position >= m.start && s.site->position < m.end) v = std::max(v, s.site->maxFreq);
        }
        c.strongest = std::max(c.strongest, v);
    }
    for (const auto& [at, refs] : sitesAt) {
        if (at.second < 0 || at.second >= run.groups) continue;
        GroupCalls& c = calls[static_cast<std::size_t>(at.second)];
        c.sites += static_cast<int>(refs.size());
        for (const SiteRef& s : refs) c.bestSite = std::max(c.bestSite, s.site->maxFreq);
    }
    std::stable_sort(calls.begin(), calls.end(), [](const GroupCalls& a, const GroupCalls& b) {
        const bool ca = a.modules + a.sites > 0, cb = b.modules + b.sites > 0;
        if (ca != cb) return ca;
        if (a.strongest != b.strongest) return a.strongest > b.strongest;
        return a.bestSite > b.bestSite;
    });
    return calls;
}

// The called motif a planted motif looks most like.
struct PlantedLook {
    int learned = 0;  // 1-based called motif; 0: none correlates at least kPlantedMatch
    MotifMatch match;
};
constexpr double kPlantedMatch = 0.5;

std::map<int, PlantedLook> LookUpPlanted(const Page& p, const RunData& run)
{
    std::map<int, PlantedLook> looks;
    if (!p.d.hasTruth) return looks;
    for (const Interval& x : p.d.truth.sites) looks[x.motif];
    for (auto& [motif, look] : looks) {
        const Motif planted = PlantedMatrix(p.d.truth, motif, run.groups, p.x.sequences);
        if (planted.p.empty()) continue;
        for (const ReportMotif& m : run.report.motifs) {
            if (!m.found) continue;
            const MotifMatch match = CompareMotifs(planted, m.matrix);
            if (match.score >= kPlantedMatch && (look.learned == 0 || match.score > look.match.score)) {
                look.learned = m.index;
                look.match = match;
            }
        }
    }
    return looks;
}

std::string RenderPanel(Page& p, const RunData& run, const GroupCalls& c, std::size_t rank,
                        const std::map<std::pair<int, int>, std::vector<SiteRef>>& sitesAt, const MapScale& sc,
                        const std::map<int, PlantedLook>& planted)
{
    const ReportData& d = p.d;
    const int g = c.group;
    const double laneStep = kLaneH + (d.hasTruth ? kTruthH : 0);
    const double height = laneStep * run.species + 4;
    std::string s = Format(
        "<details class=\"panel\" data-group=\"%d\" data-score=\"%.4f\" data-rank=\"%zu\" open=\"open\"><summary>"
        "group %d",
        g, c.strongest, rank, g);
    s += Format(" &#183; %d module%s &#183; %d site%s", c.modules, c.modules == 1 ? "" : "s", c.sites,
                c.sites == 1 ? "" : "s");
    if (c.modules > 0) s += Format(" &#183; strongest module %.2f", c.strongest);
    s += Format("</summary><svg class=\"map\" width=\"%s\" height=\"%s\">", F1(kLabelW + kTrackW + 10).c_str(),
                F1(height).c_str());
    for (int sp = 0; sp < run.species; ++sp) {
        const std::size_t rec = Page::Record(run, sp, g);
        const double y0 = laneStep * sp, yb = y0 + kBaseY;
        const double len = static_cast<double>(d.lengths[rec]);
        const LaneTrack& t = run.lanes[rec];
        s += Format("<g class=\"lane\" data-species=\"%d\"><text class=\"lab\" x=\"2\" y=\"%s\">sp%d ", sp,
                    F1(yb - 4).c_str(), sp) +
             HtmlEscape(Cut(d.names[rec], 20)) + "<title>" + HtmlEscape(d.names[rec]) +
             Format(" (%lld bases)</title></text>", d.lengths[rec]);
        GenomeSpan span;
        if (!p.x.groupsPath.empty())
            s += Format("<text class=\"tlab genome\" x=\"2\" y=\"%s\">", F1(yb + 9).c_str()) +
                 HtmlEscape(Cut(RecordPlace(p.x.genome.segments[rec]), 28)) + "<title>" +
                 HtmlEscape(RecordPlace(p.x.genome.segments[rec])) + "</title></text>";
        s += PosteriorPath(t.posterior, sc, yb);
        s += Format("<line class=\"axis\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\"/>", F1(sc.X(0)).c_str(),
                    F1(yb).c_str(), F1(sc.X(len)).c_str(), F1(yb).c_str());
        s += ConservedPath(t.conserved, sc, yb);
        for (const ReportModule& m : run.report.modules)
            if (m.group == g && m.species == sp) {
                std::string where = Format("module %d-%d", m.start, m.end);
                if (p.Genome(run, sp, g, m.start, m.end, 0, span)) where += " " + GenomeText(span);
                s += Format(
                    "<rect class=\"mod\" x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\" rx=\"3\"><title>%s</title>"
                    "</rect>",
                    F1(sc.X(m.start)).c_str(), F1(y0 + 3).c_str(),
                    F1(std::max(1.0, (m.end - m.start) * sc.perBase)).c_str(), F1(kBaseY + 4).c_str(),
                    HtmlEscape(where).c_str());
            }
        auto it = sitesAt.find({sp, g});
        if (it != sitesAt.end())
            for (const SiteRef& r : it->second) {
                const ReportSite& site = *r.site;
                const long long end = site.position + static_cast<long long>(site.letters.size());
                const double x1 = sc.X(site.position), x2 = sc.X(static_cast<double>(end));
                std::string where;
                if (p.Genome(run, sp, g, site.position, end, site.strand, span))
                    where = " " + GenomeText(span) + " " + StrandText(span.strand);
                s += Format(
                    "<polygon class=\"sg\" fill=\"%s\" fill-opacity=\"%.2f\" stroke=\"%s\" points=\"%s\">"
                    "<title>motif %d %s%d %s maxFreq %.3f alignFreq %.3f%s</title></polygon>",
                    MotifColour(r.motif), 0.25 + 0.75 * std::clamp(site.alignFreq, 0.0, 1.0), MotifColour(r.motif),
                    Glyph(x1, x2, yb, 6, site.strand).c_str(), r.motif, site.strand > 0 ? "+" : "-", site.position,
                    HtmlEscape(p.Letters(run, site)).c_str(), site.maxFreq, site.alignFreq, HtmlEscape(where).c_str());
            }
        s += "</g>";
        if (d.hasTruth) {
            const double ty = y0 + kLaneH + kTruthH / 2;
            s += Format("<g class=\"truth-lane\"><text class=\"tlab\" x=\"14\" y=\"%s\">planted</text>",
                        F1(ty + 3).c_str());
            for (const Interval& m : d.truth.modules)
                if (m.species == sp && m.group == g)
                    s += Format("<rect class=\"tmod\" x=\"%s\" y=\"%s\" width=\"%s\" height=\"4\"/>",
                                F1(sc.X(m.start)).c_str(), F1(ty - 2).c_str(), F1(m.Length() * sc.perBase).c_str());
            for (const Interval& x : d.truth.sites)
                if (x.species == sp && x.group == g) {
                    const auto look = planted.find(x.motif);
                    const int learned = look == planted.end() ? 0 : look->second.learned;
                    s += Format(
                        "<polygon class=\"tsite\" fill=\"%s\" points=\"%s\"><title>planted motif %d %s%d%s</title>"
                        "</polygon>",
                        learned ? MotifColour(learned) : "#fff",
                        Glyph(sc.X(x.start), sc.X(x.end + 1), ty, 5, x.strand).c_str(), x.motif,
                        x.strand > 0 ? "+" : "-", x.start,
                        learned ? Format(" (like motif %d%s)", learned,
                                         look->second.match.strand < 0 ? ", reverse complement" : "")
                                      .c_str()
                                : "");
                }
            s += "</g>";
        }
    }
    return s + "</svg></details>\n";
}

// The planted motifs' colours: each takes the colour of the called motif it looks most like.
std::string PlantedLegend(const std::map<int, PlantedLook>& planted)
{
    std::string s = "<p class=\"legend planted\">Planted sites (under each species): ";
    for (const auto& [motif, look] : planted) {
        s += Format("<span><span class=\"sw\" style=\"background:%s\"></span>planted motif %d ",
                    look.learned ? MotifColour(look.learned) : "#fff", motif);
        s += look.learned
                 ? Format("like motif %d (%s, correlation %.2f)", look.learned,
                          look.match.strand > 0 ? "same strand" : "reverse complement: its arrows point the other way",
                          look.match.score)
                 : Format("like no called motif (correlation below %.1f)", kPlantedMatch);
        s += "</span>";
    }
    return s + "</p>";
}

std::string RenderMap(Page& p)
{
    const ReportData& d = p.d;
    std::string s = "<section id=\"modules\"><h2>Module map</h2>\n<p>";
    if (d.runs.size() > 1) {
        s += "<label>Run <select id=\"run-select\">";
        for (std::size_t r = 0; r < d.runs.size(); ++r)
            s += Format("<option value=\"%zu\"%s>%zu</option>", r + 1,
                        r + 1 == d.runs.size() ? " selected=\"selected\"" : "", r + 1);
        s += "</select></label> ";
    }
    s += "<label>Groups <select id=\"sort-groups\"><option value=\"score\">strongest module first</option>"
         "<option value=\"group\">in group order</option></select></label></p>\n<p class=\"legend\">";
    int maxK = 0;
    for (const RunData& run : d.runs) maxK = std::max(maxK, static_cast<int>(run.report.motifs.size()));
    for (int k = 1; k <= maxK; ++k)
        s += Format("<span><span class=\"sw\" style=\"background:%s\"></span>motif %d</span>", MotifColour(k), k);
    s += "<span><span class=\"sw\" style=\"background:#9ecae1\"></span>module posterior</span>"
         "<span><span class=\"sw\" style=\"background:#fff\"></span>called module (box)</span>";
    if (d.hasTruth) s += "<span><span class=\"sw\" style=\"background:#ddd\"></span>planted module</span>";
    if (std::any_of(d.runs.begin(), d.runs.end(), [](const RunData& r) { return r.mode == RunMode::AlignedScan; }))
        s += "<span><span class=\"sw\" style=\"background:#555\"></span>columns where all species agree "
             "(under the axis)</span>";
    s += "</p>\n<p>Groups with calls come first, strongest module first; the groups with nothing called are "
         "folded into one line. Sites point along their strand; the paler a site, the less often it was aligned "
         "to another species (alignFreq). One line per species, drawn to scale (longest sequence " +
         Format("%lld bases).", d.longest);
    if (!p.x.groupsPath.empty())
        s += " Under each name: the record's place in its genome (1-based, as a genome browser reads it).";
    s += "</p>\n";
    const MapScale sc{kTrackW / static_cast<double>(std::max(1LL, d.longest))};
    for (std::size_t r = 0; r < d.runs.size(); ++r) {
        const RunData& run = d.runs[r];
        std::map<std::pair<int, int>, std::vector<SiteRef>> sitesAt;
        for (const ReportMotif& m : run.report.motifs)
            for (const ReportSite& site : m.sites) sitesAt[{site.species, site.group}].push_back({m.index, &site});
        const std::vector<GroupCalls> calls = SummariseGroups(run, sitesAt);
        const std::map<int, PlantedLook> planted = LookUpPlanted(p, run);
        s += Format("<div class=\"run-map\" data-run=\"%zu\"%s>", r + 1,
                    r + 1 == d.runs.size() ? "" : " hidden=\"hidden\"");
        if (d.runs.size() > 1) s += Format("<h3>Run %zu</h3>", r + 1);
        if (run.posteriorFile.empty() && run.mode != RunMode::AlignedScan)
            s += "<p>No module posterior for this run.</p>";
        if (!planted.empty()) s += PlantedLegend(planted);
        s += "<div class=\"panels\">\n";
        std::vector<int> undrawn, empty;
        std::size_t drawn = 0;
        for (const GroupCalls& c : calls) {
            if (c.modules + c.sites == 0)
                empty.push_back(c.group);
            else if (drawn < static_cast<std::size_t>(p.settings.maxPanels))
                s += RenderPanel(p, run, c, drawn++, sitesAt, sc, planted);
            else
                undrawn.push_back(c.group);
        }
        s += "</div>";
        std::sort(undrawn.begin(), undrawn.end());
        std::sort(empty.begin(), empty.end());
        if (!undrawn.empty())
            s += Format(
                     "<p class=\"notes undrawn\" data-count=\"%zu\">%zu more group%s with calls %s not drawn (the "
                     "%zu strongest are; --panels): ",
                     undrawn.size(), undrawn.size(), undrawn.size() == 1 ? "" : "s", undrawn.size() == 1 ? "is" : "are",
                     drawn) +
                 GroupRanges(undrawn) + ". Their sites are in the table below.</p>";
        if (!empty.empty())
            s += Format(
                     "<details class=\"folded\" data-count=\"%zu\"><summary>%zu group%s with nothing called"
                     "</summary><p>",
                     empty.size(), empty.size(), empty.size() == 1 ? "" : "s") +
                 GroupRanges(empty) + "</p></details>";
        s += "</div>\n";
    }
    return s + "</section>\n";
}

// ---- site table ----

// The sites and modules of one run in one species' genome, as serevan-export sites --groups
// --format bed writes them (modules first, then the sites of each motif); calls that span two
// alignment blocks are left out.
std::string GenomeBed(const Page& p, const RunData& run, int species)
{
    std::string bed;
    GenomeSpan g;
    for (const ReportModule& m : run.report.modules)
        if (m.species == species && p.Genome(run, m.species, m.group, m.start, m.end, 0, g))
            bed += Format("%s\t%lld\t%lld\tmodule\t0\t.\n", g.chrom.c_str(), g.start, g.end);
    for (const ReportMotif& m : run.report.motifs)
        for (const ReportSite& s : m.sites)
            if (s.species == species && p.Genome(run, s.species, s.group, s.position,
                                                 s.position + static_cast<long long>(s.letters.size()), s.strand, g))
                bed += Format("%s\t%lld\t%lld\tmotif%d\t%lld\t%s\n", g.chrom.c_str(), g.start, g.end, m.index,
                              std::llround(1000 * s.maxFreq), StrandText(g.strand));
    return bed;
}

std::string RenderSites(Page& p)
{
    const ReportData& d = p.d;
    const bool several = d.runs.size() > 1, genome = !p.x.groupsPath.empty();
    std::string tsv = several ? "run\t" : "";
    tsv += "species\tgroup\tsequence\tposition\tstrand\t";
    tsv += genome ? "genome_position\tgenome_strand\t" : "";
    tsv += "motif\tletters\tmaxFreq\talignFreq\tflags\n";
    std::string rows;
    std::size_t count = 0;
    for (std::size_t r = 0; r < d.runs.size(); ++r) {
        const RunData& run = d.runs[r];
        for (const ReportMotif& m : run.report.motifs)
            for (const ReportSite& s : m.sites) {
                const std::string& name = d.names[Page::Record(run, s.species, s.group)];
                const std::string strand = s.strand > 0 ? "+" : "-";
                const std::string letters = p.Letters(run, s);
                const std::string flags = p.InRepeat(run, s) ? "tandem repeat" : "";
                std::string where, whereStrand;
                GenomeSpan g;
                if (genome) {
                    const bool mapped = p.Genome(run, s.species, s.group, s.position,
                                                 s.position + static_cast<long long>(s.letters.size()), s.strand, g);
                    where = mapped ? GenomeText(g) : "spans two blocks";
                    whereStrand = mapped ? StrandText(g.strand) : "";
                }
                ++count;
                rows += "<tr>";
                if (several) rows += Format("<td>%zu</td>", r + 1);
                rows += Format("<td>%d</td><td>%d</td><td>", s.species, s.group) + HtmlEscape(name) +
                        Format("</td><td>%d</td><td>%s</td>", s.position, strand.c_str());
                if (genome) rows += "<td class=\"genome\">" + HtmlEscape(where) + "</td><td>" + whereStrand + "</td>";
                rows += Format("<td>%d</td><td><code>%s</code></td><td>%.3f</td><td>%.3f</td><td>%s</td></tr>\n",
                               m.index, HtmlEscape(letters).c_str(), s.maxFreq, s.alignFreq, flags.c_str());
                if (several) tsv += Format("%zu\t", r + 1);
                tsv += Format("%d\t%d\t", s.species, s.group) + name + Format("\t%d\t%s\t", s.position, strand.c_str());
                if (genome) tsv += where + "\t" + whereStrand + "\t";
                tsv +=
                    Format("%d\t%s\t%.3f\t%.3f\t%s\n", m.index, letters.c_str(), s.maxFreq, s.alignFreq, flags.c_str());
            }
    }
    std::string s =
        "<section id=\"sites\"><h2>Called sites</h2>\n<p><label>Filter <input id=\"site-filter\" "
        "type=\"search\" placeholder=\"any text, e.g. a sequence name\"/></label> <span id=\"site-shown\">" +
        Format("%zu sites</span> &#183; ", count) + Download(tsv, "sites.tsv", "download as TSV") +
        " &#183; click a column title to sort</p>\n";
    s += "<p>Letters are read from the input, soft-masked bases in lower case; a site flagged "
         "<em>tandem repeat</em> has most of its bases in a low-complexity stretch (the rule of serevan-prep "
         "mask).</p>\n";
    if (genome) {
        s += "<p class=\"bed\">Sites and modules in genome coordinates (BED, as serevan-export writes it): ";
        bool first = true;
        for (std::size_t r = 0; r < d.runs.size(); ++r)
            for (int sp = 0; sp < d.runs[r].species; ++sp) {
                const std::string& assembly = p.x.genome.species[static_cast<std::size_t>(sp)];
                const std::string label = (several ? Format("run %zu ", r + 1) : std::string()) + assembly;
                const std::string file = (several ? Format("run%zu_", r + 1) : std::string()) + assembly + ".bed";
                s += (first ? "" : " &#183; ") + Download(GenomeBed(p, d.runs[r], sp), file, HtmlEscape(label)) +
                     " <button type=\"button\" class=\"copy\">copy</button>";
                first = false;
            }
        s += "</p>\n";
    }
    s += "<table class=\"sites\" id=\"site-table\"><thead><tr>";
    if (several) s += "<th data-num=\"1\">run</th>";
    s += "<th data-num=\"1\">species</th><th data-num=\"1\">group</th><th>sequence</th><th "
         "data-num=\"1\">position</th><th>strand</th>";
    if (genome)
        s += "<th title=\"1-based, both ends included, as a genome browser reads it; the BED downloads are "
             "0-based, half-open\">genome position</th><th>genome strand</th>";
    s += "<th data-num=\"1\">motif</th><th>letters</th><th data-num=\"1\">maxFreq</th><th "
         "data-num=\"1\">alignFreq</th><th>flags</th></tr></thead>"
         "<tbody>\n";
    return s + rows + "</tbody></table></section>\n";
}

}  // namespace

std::string HtmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string TextDataUrl(const std::string& text)
{
    std::string out = "data:text/plain;charset=utf-8,";
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~')
            out += static_cast<char>(c);
        else
            out += Format("%%%02X", c);
    }
    return out;
}

std::string RenderHtml(const ReportData& d, const ReportExtras& x, const HtmlSettings& settings)
{
    Page p(d, x, settings);
    std::string s = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>\n<title>Serevan report: " +
                    HtmlEscape(d.sources.reportPath) + "</title>\n<style>" + kStyle +
                    "</style>\n<script>//<![CDATA[\n" + kErrorScript + "\n//]]></script>\n</head><body>\n";
    s += kLetterDefs;
    s += "<h1>Serevan report</h1>\n<p><code>" + HtmlEscape(d.sources.reportPath) +
         "</code> &#183; <a href=\"#summary\">summary</a> &#183; <a href=\"#motifs\">motifs</a> &#183; "
         "<a href=\"#modules\">module map</a> &#183; <a href=\"#sites\">sites</a></p>\n";
    s += RenderSummary(p) + RenderMotifs(p) + RenderMap(p) + RenderSites(p);
    s += "<div id=\"ready\" data-state=\"pending\">The page script has not run.</div>\n<script>//<![CDATA[";
    s += kScript;
    return s + "//]]></script>\n</body></html>\n";
}

}  // namespace sertools
