// The generative model of serevan-sim (see tools/README.md for the model in words).
//   1. settings check      2. background and motifs      3. ancestors and modules
//   4. evolution of a branch      5. truth      6. writers
#include "common/Simulator.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "common/SimRandom.h"
#include "common/ToolText.h"
#include "numeric/SeqMotifBasic.h"

namespace sertools {

namespace {

constexpr char kLetters[] = "ACGTN";    // base codes 0..4, 4 undetermined
constexpr int kUndetermined = 4;        // code of a base that is not A, C, G or T
constexpr int kLineWidth = 60;          // letters per sequence line of the written files
constexpr int kMaxColumnTries = 1000;   // Dirichlet draws per random column before the fallback
constexpr int kMaxWindowDraws = 1000;   // window draws per group before a background FASTA is refused
constexpr int kSpreadCandidates = 200;  // windows weighed per group against its G+C target (--gc-spread)

std::string Check(bool ok, const char* message)
{
    return ok ? std::string() : message;
}

}  // namespace

// ---- 1. settings check ------------------------------------------------------------------

bool CheckSimOptions(const SimOptions& o, std::string& err)
{
    std::string e;
    auto need = [&](bool ok, const char* message) {
        if (e.empty()) e = Check(ok, message);
    };
    need(o.species >= 2 && o.species <= 16, "--species must be from 2 to 16");
    need(o.groups >= 1 && o.groups <= 1000000, "--groups must be from 1 to 1000000");
    need(o.length >= 1 && o.length <= 10000000, "--length must be from 1 to 10000000");
    need(o.motifs >= 0 && o.motifs <= 100, "--motifs must be from 1 to 100");
    need(o.moduleFraction >= 0 && o.moduleFraction <= 1, "--module-fraction must be from 0 to 1");
    need(static_cast<long long>(o.groups) * o.length <= 200000000LL,
         "--groups times --length must stay within 200000000 ancestral bases");
    need(o.moduleLength >= 1 && o.moduleLength <= o.length, "--module-length must be from 1 to --length");
    need(!o.sites.empty(), "--sites needs at least one value");
    for (long long n : o.sites) need(n >= 0 && n <= 1000, "--sites values must be from 0 to 1000");
    need(o.minWidth >= 1 && o.minWidth <= 100, "--min-width must be from 1 to 100");
    need(o.maxWidth >= o.minWidth && o.maxWidth <= 100, "--max-width must be from --min-width to 100");
    need(o.minInfo >= 0 && o.minInfo <= 1.5, "--min-info must be from 0 to 1.5 bits");
    need(o.gc >= 0.01 && o.gc <= 0.99, "--gc must be from 0.01 to 0.99");
    need(o.cpg >= 0 && o.cpg <= 1, "--cpg must be from 0 to 1");
    need(o.subRate >= 0 && o.subRate <= 1, "--sub-rate must be from 0 to 1");
    need(o.siteRate >= 0 && o.siteRate <= 1, "--site-rate must be from 0 to 1");
    need(o.indelRate >= 0 && o.indelRate <= 0.5, "--indel-rate must be from 0 to 0.5");
    need(o.indelMean >= 1 && o.indelMean <= 100, "--indel-mean must be from 1 to 100");
    need(o.indelMax >= 1 && o.indelMax <= 1000, "--indel-max must be from 1 to 1000");
    need(o.loss.size() == 1 || o.loss.size() == static_cast<std::size_t>(o.species),
         "--loss needs one value or one value per species");
    for (double p : o.loss) need(p >= 0 && p <= 1, "--loss values must be from 0 to 1");
    need(o.reverseFraction >= 0 && o.reverseFraction <= 1, "--reverse must be from 0 to 1");
    need(o.alignGroup >= 0 && o.alignGroup < o.groups, "--align-group must be from 0 to --groups minus 1");
    need(o.maxUndetermined >= 0 && o.maxUndetermined <= 1, "--max-undetermined must be from 0 to 1");
    need(!o.keepCase || !o.backgroundFile.empty(), "--keep-case needs --background");
    need(!o.allowOverlap || !o.backgroundFile.empty(), "--allow-overlap needs --background");
    need(o.gcSpread >= 0 && o.gcSpread <= 0.5, "--gc-spread must be from 0 to 0.5");
    need(o.gcSpread == 0 || !o.backgroundFile.empty(), "--gc-spread needs --background");
    if (!e.empty()) {
        err = e;
        return false;
    }
    return true;
}

// ---- 2. background and motifs -----------------------------------------------------------

static void BuildBackground(const SimOptions& o, std::vector<double>& pi, std::vector<double>& tr)
{
    pi = {(1 - o.gc) / 2, o.gc / 2, o.gc / 2, (1 - o.gc) / 2};
    tr.assign(16, 0.0);
    for (int a = 0; a < 4; ++a) {
        double sum = 0;
        for (int b = 0; b < 4; ++b) {
            tr[4 * a + b] = pi[b] * ((a == 1 && b == 2) ? o.cpg : 1.0);
            sum += tr[4 * a + b];
        }
        for (int b = 0; b < 4; ++b) tr[4 * a + b] /= sum;
    }
}

// Ancestors cut from real DNA: the records of a FASTA file as read (letters, case kept) and
// the windows of the ancestral length they offer, one per start position.
struct BackgroundSource {
    std::string file;
    std::vector<std::string> records;
    std::vector<long long> windowsBefore;  // per record: windows of the records before it
    long long windows = 0;
};

static bool ReadBackgroundSource(const SimOptions& o, BackgroundSource& src, std::vector<double>& composition,
                                 std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(o.backgroundFile, lines, err)) return false;
    src.file = o.backgroundFile;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (!line.empty() && line[0] == '>') {
            src.records.emplace_back();
            continue;
        }
        for (char c : line) {
            if (std::isspace(static_cast<unsigned char>(c))) continue;
            if (!std::isalpha(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '*') {
                err = Format("%s line %zu: '%c' is not a sequence letter", src.file.c_str(), n + 1, c);
                return false;
            }
            if (src.records.empty()) {
                err = Format("%s line %zu: sequence before the first '>' header (not FASTA)", src.file.c_str(), n + 1);
                return false;
            }
            src.records.back() += c;
        }
    }
    double count[4] = {0, 0, 0, 0};
    std::size_t longest = 0;
    for (const std::string& r : src.records) {
        longest = std::max(longest, r.size());
        for (char c : r)
            if (int b = serevan::BaseCodeAnyCase(c); b >= 0) count[b] += 1;
        src.windowsBefore.push_back(src.windows);
        if (r.size() >= static_cast<std::size_t>(o.length))
            src.windows += static_cast<long long>(r.size()) - o.length + 1;
    }
    const double total = count[0] + count[1] + count[2] + count[3];
    if (total == 0) {
        err = src.file + " holds no A, C, G or T (an empty or non-DNA FASTA file)";
        return false;
    }
    if (src.windows == 0) {
        err = Format("no record of %s holds --length %d bases (the longest has %zu)", src.file.c_str(), o.length,
                     longest);
        return false;
    }
    // Both strands: a window is read on either with equal probability.
    const double at = (count[0] + count[3]) / (2 * total), cg = (count[1] + count[2]) / (2 * total);
    composition = {at, cg, cg, at};
    return true;
}

// Cuts a group's ancestor: a uniform window among all windows of the source, on a random
// strand, redrawn while it holds more than the allowed share of undetermined bases. With a
// G+C spread the group first draws a target share around the source's, and of the first
// kSpreadCandidates acceptable windows the one whose share lies closest to it is cut: real
// promoter sets differ more in composition than uniform windows of one chromosome do.
static bool CutAncestor(const BackgroundSource& src, const SimOptions& o, double sourceGc, SimGroup& g, SimRandom& rng,
                        std::vector<std::pair<std::size_t, std::size_t>>& taken, std::string& err)
{
    const auto L = static_cast<std::size_t>(o.length);
    const auto allowed = static_cast<std::size_t>(std::floor(o.maxUndetermined * static_cast<double>(L) + 1e-9));
    const double target = o.gcSpread > 0 ? sourceGc + o.gcSpread * rng.Normal() : 0;
    struct Window {
        std::size_t record = 0, start = 0;
        bool reverse = false;
        double distance = 0;  // from the G+C target
    } best;
    int candidates = 0;
    for (int draw = 0; draw < kMaxWindowDraws && (candidates == 0 || candidates < kSpreadCandidates); ++draw) {
        const auto w = static_cast<long long>(rng.Below(static_cast<std::uint64_t>(src.windows)));
        const bool reverse = rng.Uniform() < 0.5;
        const std::size_t r = static_cast<std::size_t>(
            std::upper_bound(src.windowsBefore.begin(), src.windowsBefore.end(), w) - src.windowsBefore.begin() - 1);
        // Records too short for a window offer none; the last record with this offset holds it.
        const std::string& rec = src.records[r];
        const auto start = static_cast<std::size_t>(w - src.windowsBefore[r]);
        // Distinct groups are distinct loci: copies of one stretch in two groups would be
        // conserved signal that nothing planted.
        bool overlaps = false;
        if (!o.allowOverlap)
            for (const auto& [tr, ts] : taken) overlaps = overlaps || (tr == r && ts < start + L && start < ts + L);
        if (overlaps) continue;
        std::size_t undetermined = 0, gc = 0;
        for (std::size_t i = start; i < start + L; ++i) {
            const int code = serevan::BaseCodeAnyCase(rec[i]);
            undetermined += code < 0 ? 1 : 0;
            gc += code == 1 || code == 2 ? 1 : 0;
        }
        if (undetermined > allowed) continue;
        const double distance =
            undetermined < L ? std::fabs(static_cast<double>(gc) / static_cast<double>(L - undetermined) - target) : 1;
        if (candidates++ == 0 || distance < best.distance) best = Window{r, start, reverse, distance};
        if (o.gcSpread == 0) break;
    }
    if (candidates == 0) {
        err = Format(
            "no window of %d bases of %s with at most %g%% undetermined (non-ACGT) bases%s in %d draws for "
            "group %zu (try a smaller --length or --groups, a larger --max-undetermined%s)",
            o.length, src.file.c_str(), 100 * o.maxUndetermined,
            o.allowOverlap ? "" : " and apart from the earlier groups' windows", kMaxWindowDraws, taken.size(),
            o.allowOverlap ? "" : " or --allow-overlap");
        return false;
    }
    const std::string& rec = src.records[best.record];
    g.ancestor.resize(L);
    if (o.keepCase) g.ancestorLower.resize(L);
    for (std::size_t i = 0; i < L; ++i) {
        const char c = rec[best.reverse ? best.start + L - 1 - i : best.start + i];
        const int code = serevan::BaseCodeAnyCase(c);
        const int b = code < 0 ? kUndetermined : best.reverse ? 3 - code : code;
        g.ancestor[i] = static_cast<signed char>(b);
        if (o.keepCase) g.ancestorLower[i] = std::islower(static_cast<unsigned char>(c)) != 0;
    }
    taken.emplace_back(best.record, best.start);
    return true;
}

// Information content in bits of one column against the uniform background.
static double ColumnInfo(const double* p)
{
    double h = 2.0;
    for (int b = 0; b < 4; ++b)
        if (p[b] > 0) h += p[b] * std::log2(p[b]);
    return h;
}

static Motif RandomMotif(const SimOptions& o, int index, SimRandom& rng)
{
    Motif m;
    m.id = m.name = Format("Motif%d", index + 1);
    int w = o.minWidth + static_cast<int>(rng.Below(static_cast<std::uint64_t>(o.maxWidth - o.minWidth + 1)));
    m.p.resize(4 * static_cast<std::size_t>(w));
    for (int j = 0; j < w; ++j) {
        double* col = &m.p[4 * j];
        bool done = false;
        // Dirichlet(1/2) columns are mostly peaked; keep the first one informative enough.
        for (int t = 0; t < kMaxColumnTries && !done; ++t) {
            double sum = 0;
            for (int b = 0; b < 4; ++b) sum += (col[b] = rng.Gamma(0.5));
            if (!(sum > 0)) continue;
            for (int b = 0; b < 4; ++b) col[b] /= sum;
            done = ColumnInfo(col) >= o.minInfo;
        }
        if (!done) {
            int d = static_cast<int>(rng.Below(4));
            for (int b = 0; b < 4; ++b) col[b] = b == d ? 0.97 : 0.01;
        }
    }
    return m;
}

// ---- 3. ancestors and modules -------------------------------------------------------------

// Probability of the forward-strand base b at offset o of a site (planted orientation).
static double SiteBaseProb(const Motif& m, const PlantedSite& s, int o, int b)
{
    int w = m.Width();
    return s.strand == 1 ? m.p[4 * o + b] : m.p[4 * (w - 1 - o) + (3 - b)];
}

static void PlantModule(const SimData& d, SimGroup& g, SimRandom& rng)
{
    const SimOptions& o = d.options;
    g.hasModule = true;
    g.moduleLength = o.moduleLength;
    g.moduleStart = static_cast<int>(rng.Below(static_cast<std::uint64_t>(o.length - o.moduleLength + 1)));
    std::vector<int> order;  // motif of each site, shuffled into a random order along the module
    int totalWidth = 0;
    for (std::size_t k = 0; k < d.motifs.size(); ++k)
        for (long long n = 0; n < o.sites[k]; ++n) {
            order.push_back(static_cast<int>(k));
            totalWidth += d.motifs[k].Width();
        }
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[rng.Below(i)]);
    // Uniform non-overlapping placement: sorted free-space offsets before each site.
    int free = o.moduleLength - totalWidth;
    std::vector<int> gaps(order.size());
    for (int& x : gaps) x = static_cast<int>(rng.Below(static_cast<std::uint64_t>(free + 1)));
    std::sort(gaps.begin(), gaps.end());
    int used = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        PlantedSite s;
        s.motif = order[i];
        s.start = g.moduleStart + gaps[i] + used;
        s.strand = rng.Uniform() < o.reverseFraction ? -1 : 1;
        const Motif& m = d.motifs[static_cast<std::size_t>(s.motif)];
        for (int j = 0; j < m.Width(); ++j) {
            double q[4];
            for (int b = 0; b < 4; ++b) q[b] = SiteBaseProb(m, s, j, b);
            g.ancestor[static_cast<std::size_t>(s.start + j)] = static_cast<signed char>(rng.Pick(q, 4));
            if (!g.ancestorLower.empty()) g.ancestorLower[static_cast<std::size_t>(s.start + j)] = false;
        }
        used += m.Width();
        g.sites.push_back(s);
    }
}

// ---- 4. evolution of a branch ---------------------------------------------------------------

static Descendant Evolve(const SimData& d, const SimGroup& g, const std::vector<int>& siteAt, double lossPr,
                         SimRandom& rng)
{
    const SimOptions& o = d.options;
    const int L = static_cast<int>(g.ancestor.size());
    Descendant x;
    x.fromAncestor.assign(static_cast<std::size_t>(L), -1);
    x.inserts.resize(static_cast<std::size_t>(L) + 1);
    x.lost.resize(g.sites.size());
    for (std::size_t j = 0; j < g.sites.size(); ++j) x.lost[j] = rng.Uniform() < lossPr;
    x.seq.reserve(static_cast<std::size_t>(L) + 16);
    const double half = o.indelRate / 2;
    int deleting = 0;  // ancestral bases still to delete
    for (int i = 0; i <= L; ++i) {
        // Insertions go between two ancestral bases unless both belong to the same site.
        bool canInsert = i == 0 || i == L || siteAt[i - 1] < 0 || siteAt[i - 1] != siteAt[i];
        if (canInsert && half > 0 && rng.Uniform() < half) {
            int n = rng.Geometric(o.indelMean, o.indelMax);
            for (int t = 0; t < n; ++t) {
                auto b = static_cast<signed char>(rng.Pick(d.background.data(), 4));
                x.inserts[static_cast<std::size_t>(i)].push_back(b);
                x.seq.push_back(b);
                if (!g.ancestorLower.empty()) x.lower.push_back(false);
            }
        }
        if (i == L) break;
        if (deleting > 0) {
            --deleting;
            continue;
        }
        const int site = siteAt[i];
        if (site < 0 && half > 0 && rng.Uniform() < half) {
            // A deletion that would reach into a site is not made.
            int n = rng.Geometric(o.indelMean, o.indelMax);
            bool clear = true;
            for (int t = i; t < std::min(L, i + n) && clear; ++t) clear = siteAt[t] < 0;
            if (clear) {
                deleting = n - 1;
                continue;
            }
        }
        int base = g.ancestor[static_cast<std::size_t>(i)];
        if (site >= 0) {
            const PlantedSite& s = g.sites[static_cast<std::size_t>(site)];
            if (x.lost[static_cast<std::size_t>(site)]) {
                base = rng.Pick(d.background.data(), 4);
            } else if (rng.Uniform() < o.siteRate) {
                // The base is redrawn from its motif column (possibly the same base), so the
                // motif stays the stationary distribution of the site's columns.
                double q[4];
                for (int b = 0; b < 4; ++b)
                    q[b] = SiteBaseProb(d.motifs[static_cast<std::size_t>(s.motif)], s, i - s.start, b);
                base = rng.Pick(q, 4);
            }
        } else if (rng.Uniform() < o.subRate && base < 4) {
            // An undetermined base stays undetermined. Transition (A<->G, C<->T) three times as likely as each
            // transversion.
            double q[4];
            for (int b = 0; b < 4; ++b) q[b] = b == base ? 0.0 : (b == (base ^ 2) ? 3.0 : 1.0);
            base = rng.Pick(q, 4);
        }
        x.fromAncestor[static_cast<std::size_t>(i)] = static_cast<int>(x.seq.size());
        x.seq.push_back(static_cast<signed char>(base));
        // A substituted base keeps the case of the base it replaced.
        if (!g.ancestorLower.empty()) x.lower.push_back(g.ancestorLower[static_cast<std::size_t>(i)]);
    }
    return x;
}

bool Simulate(const SimOptions& options, SimData& data, std::string& err)
{
    if (!CheckSimOptions(options, err)) return false;
    SimData d;
    d.options = options;
    SimOptions& o = d.options;
    SimRandom rng(o.seed);

    if (!o.motifFile.empty()) {
        std::vector<Motif> fromFile;
        if (!motifio::ReadMotifs(o.motifFile, motifio::MotifFormat::Program, fromFile, nullptr, err)) return false;
        if (o.motifs > static_cast<int>(fromFile.size())) {
            err = Format("--motifs %d asks for more matrices than %s holds (%zu)", o.motifs, o.motifFile.c_str(),
                         fromFile.size());
            return false;
        }
        if (o.motifs > 0) fromFile.resize(static_cast<std::size_t>(o.motifs));
        d.motifs = fromFile;
        // Renamed by number, and written as the frequencies they are planted with.
        for (std::size_t k = 0; k < d.motifs.size(); ++k) {
            d.motifs[k].id = d.motifs[k].name = Format("Motif%zu", k + 1);
            d.motifs[k].sites = 0;
        }
    } else {
        if (o.motifs == 0) o.motifs = 3;
        for (int k = 0; k < o.motifs; ++k) d.motifs.push_back(RandomMotif(o, k, rng));
    }
    o.motifs = static_cast<int>(d.motifs.size());
    const std::size_t K = d.motifs.size();
    if (o.sites.size() != 1 && o.sites.size() != K) {
        err = Format("--sites needs one value or one value per motif (%zu)", K);
        return false;
    }
    o.sites.resize(K, o.sites[0]);
    o.loss.resize(static_cast<std::size_t>(o.species), o.loss[0]);
    long long totalWidth = 0;
    for (std::size_t k = 0; k < K; ++k) totalWidth += o.sites[k] * d.motifs[k].Width();
    if (o.moduleFraction > 0 && totalWidth > o.moduleLength) {
        err = Format("--module-length %d cannot hold the sites of a module (total width %lld)", o.moduleLength,
                     totalWidth);
        return false;
    }
    BuildBackground(o, d.background, d.transition);
    BackgroundSource source;
    std::vector<std::pair<std::size_t, std::size_t>> taken;  // (record, start) of the windows cut so far
    if (!o.backgroundFile.empty() && !ReadBackgroundSource(o, source, d.background, err)) return false;

    // Which groups carry a module: an exact count, chosen uniformly.
    const int moduleCount = static_cast<int>(std::llround(o.moduleFraction * o.groups));
    std::vector<int> pick(static_cast<std::size_t>(o.groups));
    for (int g = 0; g < o.groups; ++g) pick[static_cast<std::size_t>(g)] = g;
    std::vector<bool> withModule(static_cast<std::size_t>(o.groups), false);
    for (int i = 0; i < moduleCount; ++i) {
        std::size_t j = static_cast<std::size_t>(i) + rng.Below(static_cast<std::uint64_t>(o.groups - i));
        std::swap(pick[static_cast<std::size_t>(i)], pick[j]);
        withModule[static_cast<std::size_t>(pick[static_cast<std::size_t>(i)])] = true;
    }

    d.groups.resize(static_cast<std::size_t>(o.groups));
    std::vector<int> siteAt;
    for (int gi = 0; gi < o.groups; ++gi) {
        SimGroup& g = d.groups[static_cast<std::size_t>(gi)];
        if (!o.backgroundFile.empty()) {
            if (!CutAncestor(source, o, 2 * d.background[1], g, rng, taken, err)) return false;
        } else {
            g.ancestor.resize(static_cast<std::size_t>(o.length));
            int prev = rng.Pick(d.background.data(), 4);
            g.ancestor[0] = static_cast<signed char>(prev);
            for (int i = 1; i < o.length; ++i) {
                prev = rng.Pick(&d.transition[4 * static_cast<std::size_t>(prev)], 4);
                g.ancestor[static_cast<std::size_t>(i)] = static_cast<signed char>(prev);
            }
        }
        if (withModule[static_cast<std::size_t>(gi)]) PlantModule(d, g, rng);
        siteAt.assign(static_cast<std::size_t>(o.length), -1);
        for (std::size_t j = 0; j < g.sites.size(); ++j)
            for (int t = 0; t < d.motifs[static_cast<std::size_t>(g.sites[j].motif)].Width(); ++t)
                siteAt[static_cast<std::size_t>(g.sites[j].start + t)] = static_cast<int>(j);
        for (int s = 0; s < o.species; ++s)
            g.species.push_back(Evolve(d, g, siteAt, o.loss[static_cast<std::size_t>(s)], rng));
    }
    data = std::move(d);
    return true;
}

// ---- 5. truth ---------------------------------------------------------------------------------

TruthTable BuildTruth(const SimData& d)
{
    TruthTable t;
    for (int s = 0; s < d.options.species; ++s) {
        for (int gi = 0; gi < d.options.groups; ++gi) {
            const SimGroup& g = d.groups[static_cast<std::size_t>(gi)];
            const Descendant& x = g.species[static_cast<std::size_t>(s)];
            t.sequences.push_back(Interval{s, gi, 0, static_cast<int>(x.seq.size()) - 1, 0, 0});
            Interval module{s, gi, -1, -1, 0, 0};
            for (std::size_t j = 0; j < g.sites.size(); ++j) {
                if (x.lost[j]) continue;
                const PlantedSite& p = g.sites[j];
                int start = x.fromAncestor[static_cast<std::size_t>(p.start)];
                int w = d.motifs[static_cast<std::size_t>(p.motif)].Width();
                t.sites.push_back(Interval{s, gi, start, start + w - 1, p.motif + 1, p.strand});
                module.start = module.start < 0 ? start : std::min(module.start, start);
                module.end = std::max(module.end, start + w - 1);
            }
            if (module.start >= 0) t.modules.push_back(module);
        }
    }
    return t;
}

// ---- 6. writers ---------------------------------------------------------------------------------

static std::string RecordName(int group, int species)
{
    return Format(">g%d_sp%d", group, species);
}

// Letter of base i of a descendant, in its case.
static char LetterAt(const Descendant& x, std::size_t i)
{
    const char c = kLetters[x.seq[i]];
    return !x.lower.empty() && x.lower[i] ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : c;
}

static void AppendWrapped(std::string& text, const std::string& letters)
{
    for (std::size_t i = 0; i < letters.size(); i += kLineWidth) text += letters.substr(i, kLineWidth) + "\n";
}

std::string FormatSequenceFile(const SimData& d)
{
    std::string text;
    for (int s = 0; s < d.options.species; ++s)
        for (int gi = 0; gi < d.options.groups; ++gi) {
            const Descendant& x = d.groups[static_cast<std::size_t>(gi)].species[static_cast<std::size_t>(s)];
            std::string letters(x.seq.size(), 'N');
            for (std::size_t i = 0; i < x.seq.size(); ++i) letters[i] = LetterAt(x, i);
            text += RecordName(gi, s) + "\n";
            AppendWrapped(text, letters);
        }
    return text;
}

std::vector<std::string> AlignmentRows(const SimData& d, int group)
{
    const SimGroup& g = d.groups[static_cast<std::size_t>(group)];
    const std::size_t N = g.species.size();
    const std::size_t L = g.ancestor.size();
    std::vector<std::string> rows(N);
    for (std::size_t i = 0; i <= L; ++i) {
        // Inserted bases are unique to their species: each gets columns of its own.
        for (std::size_t s = 0; s < N; ++s) {
            const auto& ins = g.species[s].inserts[i];
            for (std::size_t r = 0; r < N; ++r)
                for (signed char b : ins) rows[r] += r == s ? kLetters[b] : '-';
        }
        if (i == L) break;
        bool anyKept = false;
        for (std::size_t s = 0; s < N; ++s) anyKept = anyKept || g.species[s].fromAncestor[i] >= 0;
        if (!anyKept) continue;
        for (std::size_t s = 0; s < N; ++s) {
            int at = g.species[s].fromAncestor[i];
            rows[s] += at >= 0 ? LetterAt(g.species[s], static_cast<std::size_t>(at)) : '-';
        }
    }
    return rows;
}

std::string FormatAlignmentFile(const SimData& d, int group)
{
    std::vector<std::string> rows = AlignmentRows(d, group);
    std::string text;
    for (std::size_t s = 0; s < rows.size(); ++s) {
        text += RecordName(group, static_cast<int>(s)) + "\n";
        AppendWrapped(text, rows[s]);
    }
    return text;
}

std::string FormatParamFile(const SimData& d)
{
    const SimOptions& o = d.options;
    int modules = 0;
    for (const SimGroup& g : d.groups) modules += g.hasModule ? 1 : 0;
    // Module entries per ancestral base, and sites of each motif per module base.
    std::string text = Format("%.6g\n", static_cast<double>(modules) / (static_cast<double>(o.groups) * o.length));
    const std::size_t K = d.motifs.size();
    for (std::size_t k = 0; k < K; ++k)
        text += Format(k + 1 < K ? "%.6g\t" : "%.6g\n", static_cast<double>(o.sites[k]) / o.moduleLength);
    for (std::size_t k = 0; k < K; ++k) text += Format(k + 1 < K ? "%d\t" : "%d\n", d.motifs[k].Width());
    text += Format("%g\t%g\n", o.subRate, o.siteRate);
    for (std::size_t k = 0; k < K; ++k) text += motifio::FormatMatrixBlock(d.motifs[k], static_cast<int>(k + 1));
    return text;
}

SimFileNames SimFilesFor(const std::string& prefix)
{
    return SimFileNames{prefix + ".fa",     prefix + "_truth.tsv", prefix + "_motifs.txt", prefix + "_motifs_sites.txt",
                        prefix + "_aln.fa", prefix + "_param.txt"};
}

bool WriteSimFiles(const SimData& d, const std::string& prefix, std::string& err)
{
    SimFileNames f = SimFilesFor(prefix);
    std::vector<double> siteNumbers(d.options.sites.begin(), d.options.sites.end());
    return WriteOutputs(
        {{f.sequences, FormatSequenceFile(d)},
         {f.truth, FormatTruth(BuildTruth(d))},
         {f.motifs, motifio::FormatMotifs(d.motifs, motifio::MotifFormat::Program)},
         {f.motifsWithSites, motifio::FormatMotifs(d.motifs, motifio::MotifFormat::Program, &siteNumbers)},
         {f.alignment, FormatAlignmentFile(d, d.options.alignGroup)},
         {f.params, FormatParamFile(d)}},
        err);
}

}  // namespace sertools
