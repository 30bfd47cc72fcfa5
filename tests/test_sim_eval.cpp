// The companion tools: the simulator's evolution model (statistically), its truth and files,
// and the evaluator's matching, its scores and its refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/Evaluator.h"
#include "common/MotifMatrix.h"
#include "common/RunReport.h"
#include "common/Simulator.h"
#include "common/ToolText.h"
#include "common/TruthTable.h"
#include "support/Support.h"

using namespace sertools;

namespace {

using support::ReadFile;
using support::RunCommand;
using support::TempDir;

SimData MustSimulate(const SimOptions& o)
{
    SimData d;
    std::string err;
    EXPECT_TRUE(Simulate(o, d, err)) << err << " (seed " << o.seed << ")";
    return d;
}

std::string Letters(const std::vector<signed char>& seq, int start, int length, int strand)
{
    std::string s;
    for (int i = start; i < start + length; ++i) s += "ACGT"[seq[static_cast<size_t>(i)]];
    if (strand > 0) return s;
    std::reverse(s.begin(), s.end());
    for (char& c : s) c = "TGCA"[support::Codes(std::string(1, c))[0]];
    return s;
}

// Column j certain of consensus[j] with probability hit, the rest shared.
MotifMatrix Consensus(const std::string& consensus, double hit)
{
    MotifMatrix m;
    m.p = support::Consensus(consensus, hit, false);
    return m;
}

}  // namespace

// ---- the evolution model ------------------------------------------------------------------

// One simulation per row; each check compares an observed share with its expected value.
TEST(SimModelStat, EvolutionMatchesTheModel)
{
    support::TestSeed seed(11);
    struct Check {
        std::string what;
        double observed, expected, tolerance;
    };
    struct Case {
        const char* name;
        std::function<void(SimOptions&)> set;
        std::function<std::vector<Check>(const SimData&)> measure;
    } cases[] = {
        // Ancestral site bases are drawn from the motif in the site's orientation, and site
        // bases evolve by redrawing from the motif column with the site rate: ancestral and
        // species-0 bases read on the site's strand have the column frequencies (5 sd of a
        // binomial share, n = 3000: at most 0.0092; the wrong orientation would mix in the
        // complementary column), and a base differs from its ancestor with probability
        // rate * sum_a q_a (1 - q_a) per column (72000 trials: 5 sd <= 0.0093).
        {"site bases",
         [](SimOptions& o) {
             o.groups = 3000, o.length = 40, o.moduleLength = 30, o.motifs = 1, o.sites = {1};
             o.moduleFraction = 1, o.minWidth = o.maxWidth = 8, o.minInfo = 0.3, o.siteRate = 0.5, o.indelRate = 0;
         },
         [](const SimData& d) {
             const std::vector<double>& q = d.motifs[0].p;
             std::vector<double> ancestral(32, 0.0), species0(32, 0.0);
             double changed = 0, expected = 0, trials = 0;
             for (const SimGroup& g : d.groups) {
                 const PlantedSite& s = g.sites.at(0);
                 for (int j = 0; j < 8; ++j) {
                     const int col = s.strand > 0 ? j : 7 - j;  // motif column of forward offset j
                     const int a = g.ancestor[static_cast<size_t>(s.start + j)];
                     ancestral[4 * col + (s.strand > 0 ? a : 3 - a)] += 1.0 / 3000;
                     for (size_t sp = 0; sp < g.species.size(); ++sp) {
                         const Descendant& x = g.species[sp];
                         const int b = x.seq[static_cast<size_t>(x.fromAncestor[static_cast<size_t>(s.start + j)])];
                         if (sp == 0) species0[4 * col + (s.strand > 0 ? b : 3 - b)] += 1.0 / 3000;
                         changed += a != b;
                         trials += 1;
                         for (int c = 0; c < 4; ++c) expected += 0.5 * q[4 * col + c] * (1 - q[4 * col + c]);
                     }
                 }
             }
             std::vector<Check> out;
             for (int i = 0; i < 32; ++i) {
                 const double sd = std::sqrt(q[i] * (1 - q[i]) / 3000.0);
                 out.push_back({"ancestral " + std::to_string(i), ancestral[i], q[i], 5 * sd + 1e-9});
                 out.push_back({"species 0 " + std::to_string(i), species0[i], q[i], 5 * sd + 1e-9});
             }
             out.push_back({"site changes", changed / trials, expected / trials, 0.0093});
             return out;
         }},
        // Background: per branch a base differs from its ancestor with the substitution
        // probability, transitions are 3 of the 5 weight units of a change, and the ancestral
        // G+C share and C->G steps follow the first-order chain. 3 species x 60 groups x 2000
        // bases = 360000 trials: 5 sd of p = 0.2 is 0.0033; about 72000 changes: 5 sd of 0.6
        // is 0.0092; 120000 ancestral bases: 5 sd of a share is about 0.007, loosened to 0.01
        // as neighbouring bases are dependent.
        {"background",
         [](SimOptions& o) { o.groups = 60, o.length = 2000, o.moduleFraction = 0, o.subRate = 0.2, o.indelRate = 0; },
         [](const SimData& d) {
             std::vector<double> pi = {0.25, 0.25, 0.25, 0.25};  // stationary, by power iteration
             for (int it = 0; it < 200; ++it) {
                 std::vector<double> next(4, 0.0);
                 for (int a = 0; a < 4; ++a)
                     for (int b = 0; b < 4; ++b) next[b] += pi[a] * d.transition[4 * a + b];
                 pi = next;
             }
             double trials = 0, changes = 0, transitions = 0, gc = 0, n = 0, c = 0, cg = 0;
             for (const SimGroup& g : d.groups) {
                 for (size_t i = 0; i < g.ancestor.size(); ++i) {
                     const int a = g.ancestor[i];
                     gc += a == 1 || a == 2;
                     n += 1;
                     if (a == 1 && i + 1 < g.ancestor.size()) c += 1, cg += g.ancestor[i + 1] == 2;
                     for (const Descendant& x : g.species) {
                         const int b = x.seq[static_cast<size_t>(x.fromAncestor[i])];
                         trials += 1;
                         changes += a != b;
                         transitions += a != b && b == (a ^ 2);
                     }
                 }
             }
             return std::vector<Check>{{"change rate", changes / trials, 0.2, 0.0033},
                                       {"transition share", transitions / changes, 0.6, 0.0092},
                                       {"G+C share", gc / n, pi[1] + pi[2], 0.01},
                                       {"C->G after C", cg / c, d.transition[4 * 1 + 2], 0.01},
                                       {"chain G+C below 0.4 (CpG)", std::min(pi[1] + pi[2], 0.4), pi[1] + pi[2], 0}};
         }},
    };
    unsigned offset = 0;
    for (const Case& c : cases) {
        SimOptions o;
        o.seed = seed.value() + offset++;
        c.set(o);
        for (const Check& k : c.measure(MustSimulate(o)))
            EXPECT_NEAR(k.observed, k.expected, k.tolerance) << c.name << ": " << k.what;
    }
}

// With one-hot motifs and no site substitutions every truth site reads its motif's consensus
// on its strand in every species, after indels; module rows span their sites; modules go to
// an exact share of the groups, and species 2, which loses every site, has none; the rows
// of the true alignment spell the sequences.
TEST(SimModel, TruthSitesReadTheirMotifOnTheirStrand)
{
    TempDir dir("simtruth");
    const std::vector<std::string> consensus = {"AACGTTTGCA", "GGGATCCAAT", "TTTACGCGGA"};
    support::WriteFile(dir.File("onehot.txt"), FormatMotifFile({Consensus(consensus[0], 1), Consensus(consensus[1], 1),
                                                               Consensus(consensus[2], 1)}, nullptr));
    SimOptions o;
    o.motifFile = dir.File("onehot.txt"), o.groups = 30, o.siteRate = 0, o.subRate = 0.3, o.indelRate = 0.1;
    o.seed = 7, o.moduleFraction = 0.5, o.loss = {0, 0, 1};
    const SimData d = MustSimulate(o);
    const TruthTable t = BuildTruth(d);
    int strands[2] = {0, 0};
    for (const Interval& s : t.sites) {
        const std::vector<signed char>& seq = d.groups[s.group].species[s.species].seq;
        ASSERT_LT(s.end, static_cast<int>(seq.size()));
        EXPECT_EQ(Letters(seq, s.start, s.Length(), s.strand), consensus[s.motif - 1]) << s.species << " " << s.group;
        strands[s.strand > 0]++;
    }
    EXPECT_EQ(t.sites.size(), 2u * 15u * 3u * 2u);  // 2 species x 15 groups x 3 motifs x 2 sites
    EXPECT_EQ(t.modules.size(), 2u * 15u);
    EXPECT_GT(std::min(strands[0], strands[1]), 50);
    for (const Interval& q : t.sequences)
        EXPECT_EQ(static_cast<size_t>(q.Length()), d.groups[q.group].species[q.species].seq.size());
    for (int g = 0; g < o.groups; ++g) {  // the true alignment's rows without gaps are the sequences
        const std::vector<std::string> rows = AlignmentRows(d, g);
        for (size_t s = 0; s < rows.size(); ++s) {
            std::string ungapped = rows[s];
            std::erase(ungapped, '-');
            const std::vector<signed char>& seq = d.groups[g].species[s].seq;
            EXPECT_EQ(ungapped, Letters(seq, 0, static_cast<int>(seq.size()), 1)) << g << " " << s;
            EXPECT_EQ(rows[s].size(), rows[0].size());
        }
    }
    for (const Interval& m : t.modules) {
        int lo = 1 << 30, hi = -1;
        for (const Interval& s : t.sites)
            if (s.species == m.species && s.group == m.group) lo = std::min(lo, s.start), hi = std::max(hi, s.end);
        EXPECT_EQ(m.start, lo);
        EXPECT_EQ(m.end, hi);
    }
}

// The files of the binary: the same seed gives the same bytes; the parameter file's values.
// (Record order, matrices and layouts are read by the program in the scan-mode runs.)
TEST(SimFiles, LayoutAndSameSeedSameBytes)
{
    TempDir dir("simfiles");
    for (const char* run : {"a --seed 42", "b --seed 42", "c --seed 43"})
        ASSERT_EQ(RunCommand(support::kSim + " --species 2 --groups 3 --loss 0.2 --quiet --out " + run,
                             dir.Path().string()).status, 0);
    for (const char* s : {".fa", "_truth.tsv", "_motifs.txt", "_motifs_sites.txt", "_aln.fa", "_param.txt"}) {
        EXPECT_FALSE(ReadFile(dir.File(std::string("a") + s)).empty()) << s;
        EXPECT_EQ(ReadFile(dir.File(std::string("a") + s)), ReadFile(dir.File(std::string("b") + s))) << s;
    }
    EXPECT_NE(ReadFile(dir.File("a.fa")), ReadFile(dir.File("c.fa")));
    std::vector<MotifMatrix> a;
    std::string err;
    ASSERT_TRUE(ReadMotifFile(dir.File("a_motifs.txt"), false, a, nullptr, err)) << err;
    ASSERT_EQ(a.size(), 3u);
    const std::vector<std::string> param = support::Lines(ReadFile(dir.File("a_param.txt")));
    ASSERT_GE(param.size(), 4u);
    EXPECT_EQ(param[0], Format("%.6g", 2 / 1500.0));  // 2 modules (0.8 x 3 groups) over 3 x 500 ancestral bases
    EXPECT_EQ(param[1], "0.01\t0.01\t0.01");          // 2 sites in a module window of 200
    EXPECT_EQ(param[2], Format("%d\t%d\t%d", a[0].Width(), a[1].Width(), a[2].Width()));
    EXPECT_EQ(param[3], "0.1\t0.02");
}

// Ancestors cut from real DNA. Without evolution every sequence is a window of the source on one
// strand, in its case with --keep-case and upper case without; with substitutions every species
// keeps the ancestor's case pattern position by position, and planted sites are upper case.
TEST(SimFiles, BackgroundWindowsKeepTheSourceAndItsCase)
{
    TempDir dir("simbg");
    auto records = [](const std::string& file) {
        std::vector<std::string> out;
        for (const std::string& l : support::Lines(ReadFile(file))) l[0] == '>' ? out.emplace_back() : out.back() += l;
        return out;
    };
    const std::string src = support::kSourceDir + "/tests/data/realdna_softmasked.fa", fwd = records(src)[0];
    std::string rev(fwd.rbegin(), fwd.rend());  // record 1 is shorter than a window
    for (char& c : rev) c = "TGCAtgca"[std::string("ACGTacgt").find(c)];
    const std::string run = support::kSim + " --background " + src + " --groups 5 --length 250 --quiet --seed 3 -o a ";
    for (const bool keep : {false, true}) {
        std::string text = fwd + "|" + rev;
        if (!keep) std::transform(text.begin(), text.end(), text.begin(), ::toupper);
        ASSERT_EQ(RunCommand(run + "--sub-rate 0 --indel-rate 0 --module-fraction 0" + (keep ? " --keep-case" : ""),
                             dir.Path().string()).status, 0);
        long lower = 0;
        for (const std::string& seq : records(dir.File("a.fa"))) {
            EXPECT_TRUE(seq.size() == 250 && text.find(seq) != std::string::npos) << keep << " " << seq;
            lower += std::count_if(seq.begin(), seq.end(), ::islower);
        }
        EXPECT_EQ(lower > 500, keep) << lower;
    }
    ASSERT_EQ(RunCommand(run + "--sub-rate 0.3 --indel-rate 0 --module-fraction 1 --keep-case --allow-overlap",
                         dir.Path().string()).status, 0);
    const std::vector<std::string> seqs = records(dir.File("a.fa"));
    std::vector<std::string> masks(seqs.size());  // 'l' where lower case
    for (size_t i = 0; i < seqs.size(); ++i)
        for (char c : seqs[i]) masks[i] += std::islower(c) ? 'l' : 'U';
    TruthTable t;
    std::string err;
    ASSERT_TRUE(ReadTruth(dir.File("a_truth.tsv"), t, err)) << err;
    for (const Interval& x : t.sites)
        EXPECT_EQ(masks[x.species * 5 + x.group].substr(x.start, x.Length()), std::string(x.Length(), 'U'));
    for (size_t i = 0; i < seqs.size(); ++i) EXPECT_EQ(masks[i], masks[i % 5]) << i;
    EXPECT_NE(masks[0] + masks[1], std::string(500, 'U'));
}

TEST(SimFiles, BadOptionsGiveOneLineError)
{
    TempDir dir("simbad");
    const std::string src = " --background " + support::kSourceDir + "/tests/data/realdna_softmasked.fa";
    for (const std::string& args : std::vector<std::string>{"--species 1", "--gc 2", "--bogus", "--seed", "--groups abc",
             "--motif-file none.txt", "--sites 1,2", "--module-length 20", "stray", "--loss 0.1,0.2", "--quiet=1",
             "--align-group 10", "--max-width 5", "--out no/such/dir/x", "--keep-case", "--background none.fa",
             "--background /dev/null", src + " --length 3000", src + " --groups 9 --length 300",
             src + " --max-undetermined 2", "--background " + support::kSourceDir + "/tests/data/jaspar_sample.jaspar"}) {
        auto r = RunCommand(support::kSim + " " + args, dir.Path().string());
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.output, "") << args;
        EXPECT_EQ(r.error.rfind("serevan-sim: error: ", 0), 0u) << args << ": " << r.error;
        EXPECT_EQ(std::count(r.error.begin(), r.error.end(), '\n'), 1) << args << ": " << r.error;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// ---- matching and scoring -----------------------------------------------------------------

TEST(Eval, MotifComparisonFindsOffsetAndStrand)
{
    const MotifMatrix planted = Consensus("ACGGTCATTG", 0.85);
    MotifMatrix inner;  // columns 3..8
    inner.p.assign(planted.p.begin() + 12, planted.p.begin() + 36);
    const std::tuple<MotifMatrix, int, int> cases[] = {
        {planted, 0, 1}, {ReverseComplement(planted), 0, -1}, {inner, 3, 1}};
    for (const auto& [learned, offset, strand] : cases) {
        const MotifMatch m = CompareMotifs(planted, learned);
        EXPECT_NEAR(m.score, 1.0, 1e-12);
        EXPECT_EQ(m.offset, offset);
        EXPECT_EQ(m.strand, strand);
    }
    // One-hot columns of different bases correlate at -1/3; a flat column at 0.
    const MotifMatrix a = Consensus("AAAA", 1), c = Consensus("CCCC", 1);
    EXPECT_NEAR(ColumnCorrelation(&a.p[0], &c.p[0]), -1.0 / 3.0, 1e-12);
    EXPECT_LT(CompareMotifs(a, c).score, 0.0);  // AAAA against CCCC and its complement GGGG
    const double flat[4] = {0.25, 0.25, 0.25, 0.25};
    EXPECT_EQ(ColumnCorrelation(flat, &a.p[0]), 0.0);
}

namespace {

// One sequence of length 100 with one true site [20, 29] of motif 1 on the given strand.
TruthTable OneSiteTruth(int strand)
{
    TruthTable t;
    t.sequences.push_back(Interval{0, 0, 0, 99, 0, 0});
    t.sites.push_back(Interval{0, 0, 20, 29, 1, strand});
    t.modules.push_back(Interval{0, 0, 20, 29, 0, 0});
    return t;
}

// One called site (and module) at position on strand under the learned matrix.
RunReport OneSiteReport(int position, int strand, const MotifMatrix& learned)
{
    RunReport r;
    r.hasModules = true;
    ReportMotif m;
    m.index = 1, m.found = true, m.matrix = learned;
    m.sites.push_back(ReportSite{0, 0, position, strand, 1.0, 1.0, std::string(10, 'A')});
    r.motifs.push_back(m);
    r.modules.push_back(ReportModule{0, 0, position, position + 10, {{strand, position}}});
    return r;
}

}  // namespace

// A width-10 site shifted by 5 keeps half of it: it still matches (5 >= 0.5 x 10) and shares
// 5 of its bases; by 6 it no longer matches; a stricter overlap rejects the half. A
// reverse-strand site is reported at its leftmost base like the truth; its strand agrees when
// it matches the orientation of the learned matrix against the planted one.
TEST(Eval, ShiftedAndReverseStrandSites)
{
    const std::vector<MotifMatrix> planted = {Consensus("ACGGTCATTG", 0.85)};
    struct Case {
        int truthStrand, position, callStrand;
        bool learnedReversed;
        double minOverlap;
        const char* f1;  // site bases, sites, module bases, modules, motif 1's sites; match strand, agreeing
    } cases[] = {
        {1, 20, 1, false, 0.5, "1.00 1.00 1.00 1.00 1.00; 1 1"},
        {1, 25, 1, false, 0.5, "0.50 1.00 0.50 1.00 1.00; 1 1"},
        {1, 15, 1, false, 0.5, "0.50 1.00 0.50 1.00 1.00; 1 1"},
        {1, 26, 1, false, 0.5, "0.40 0.00 0.40 0.00 0.00; 1 0"},
        {1, 25, 1, false, 0.6, "0.50 0.00 0.50 0.00 0.00; 1 0"},
        {-1, 20, -1, false, 0.5, "1.00 1.00 1.00 1.00 1.00; 1 1"},
        {-1, 20, 1, true, 0.5, "1.00 1.00 1.00 1.00 1.00; -1 1"},
        {-1, 20, 1, false, 0.5, "1.00 1.00 1.00 1.00 1.00; 1 0"},
    };
    for (const Case& c : cases) {
        EvalSettings settings;
        settings.minOverlap = c.minOverlap;
        const MotifMatrix learned = c.learnedReversed ? ReverseComplement(planted[0]) : planted[0];
        Evaluation e;
        std::string err;
        ASSERT_TRUE(Evaluate(OneSiteTruth(c.truthStrand), OneSiteReport(c.position, c.callStrand, learned), &planted,
                             settings, e, err))
            << err;
        EXPECT_EQ(Format("%.2f %.2f %.2f %.2f %.2f; %d %lld", e.siteBases.F1(), e.sites.F1(), e.moduleBases.F1(),
                         e.modules.F1(), e.motifs[0].sites.F1(), e.motifs[0].match.strand, e.motifs[0].strandAgree),
                  c.f1)
            << c.truthStrand << " " << c.position << " " << c.callStrand << " " << c.minOverlap;
    }
}

namespace {

// A report in the program's layout that calls exactly the true sites and modules, with the
// planted matrices as the learned ones.
std::string ReportFromTruth(const TruthTable& t, const SimData& d)
{
    std::string r = std::string(kReportBanner) + Format("\n./Serevan -i x -N 3 -K %zu \n", d.motifs.size()) +
                    "Average likelihood=-1.5000\nPost burn-in iterations=10\n\nPredicted modules:\n";
    for (const Interval& m : t.modules) {
        r += Format("%d\t%d\t%d\t%d\t", m.species, m.group, m.start, m.end + 1);
        for (const Interval& s : t.sites)
            if (s.species == m.species && s.group == m.group)
                r += Format(s.strand > 0 ? "+%d(%d)" : "-%d(%d)", s.motif, s.start);
        r += "\n";
    }
    r += "\n\n";
    for (size_t k = 0; k < d.motifs.size(); ++k) {
        r += Format("\nMotif%zu:12.5000\nA\tC\tG\tT\n", k + 1);
        const std::vector<double>& p = d.motifs[k].p;
        for (size_t j = 0; j < p.size(); j += 4)
            r += Format("%.3f\t%.3f\t%.3f\t%.3f\t\n", p[j], p[j + 1], p[j + 2], p[j + 3]);
        r += "\nSites:\n";
        for (const Interval& s : t.sites)
            if (s.motif == static_cast<int>(k + 1))
                r += Format(">%d\t%d\t%d\t%d\t0.900\t0.800\n", s.species, s.group, s.start, s.strand) +
                     Letters(d.groups[s.group].species[s.species].seq, s.start, s.Length(), s.strand) + "\n";
    }
    return r;
}

}  // namespace

// The simulated truth written as a report scores perfectly, through the library and through
// the binary; an earlier, different report in the same file is ignored.
TEST(Eval, TruthAsPredictionScoresPerfectly)
{
    TempDir dir("evalperfect");
    SimOptions o;
    o.seed = 8, o.loss = {0.3};
    const SimData d = MustSimulate(o);
    std::string err;
    ASSERT_TRUE(WriteSimFiles(d, dir.File("t"), err)) << err;
    const TruthTable t = BuildTruth(d);
    const std::string earlier = ReportFromTruth(TruthTable{t.sequences, {}, {}}, d);
    support::WriteFile(dir.File("out.txt"), earlier + ReportFromTruth(t, d));

    RunReport report;
    ASSERT_TRUE(ReadLastReport(dir.File("out.txt"), report, err)) << err;
    const long firstLine = std::count(earlier.begin(), earlier.end(), '\n') + 1;
    EXPECT_EQ(Format("%d %d %g %d", report.reportCount, report.firstLine, report.averageLikelihood, report.postBurnIn),
              Format("2 %ld -1.5 10", firstLine));
    Evaluation e;
    ASSERT_TRUE(Evaluate(t, report, &d.motifs, {}, e, err)) << err;
    for (const Rates* r : {&e.siteBases, &e.sites, &e.moduleBases, &e.modules}) EXPECT_DOUBLE_EQ(r->F1(), 1.0);
    for (const MotifResult& m : e.motifs) {
        EXPECT_EQ(m.learned, m.planted);
        EXPECT_DOUBLE_EQ(m.sites.F1(), 1.0);
        EXPECT_EQ(m.strandAgree, m.sites.trueCount);
    }
    auto r = RunCommand(support::kEval + " --sim t --report out.txt", dir.Path().string());
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_NE(r.output.find("Summary: sites F1 1.000 (bases 1.000), modules F1 1.000 (bases 1.000), "
                            "mean motif correlation 1.000\n"),
              std::string::npos)
        << r.output;
    r = RunCommand(support::kEval + " --sim t --report out.txt --json", dir.Path().string());
    EXPECT_NE(r.output.find("\"sites\": {\"true\": " + std::to_string(t.sites.size())), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\"reports_in_file\": 2"), std::string::npos);
}

// Every refusal of the evaluator: status 1, nothing on standard output, one line naming the
// fault on standard error. Report rows edit a small two-report file (the reader reads the
// last report, which ends at an aligned scan's score line).
TEST(Eval, RefusalsNameTheFault)
{
    const std::string report =
        "Serevan (beta 1, Nov 2007)\n./Serevan -i s.fa -N 2 \nAverage likelihood=-10.0000\n"
        "Post burn-in iterations=5\n\nMotif1 not found\n"
        "Serevan (beta 1, Nov 2007)\n./Serevan -i s.fa -N 2 -P p.txt -K 2 \nAverage likelihood=-3.2500\n"
        "Post burn-in iterations=1\n\nPredicted modules:\n0\t0\t120\t152\t+2(120)-1(140)\n\n\n"
        "\nMotif1:4.5000\nA\tC\tG\tT\n0.500\t0.500\t0.000\t0.000\t\n1.000\t0.000\t0.000\t0.000\t\n"
        "\nSites:\n>0\t0\t140\t-1\t0.900\t0.800\nAC\n"
        "\nMotif2 not found\n>g0_sp0\t-3.250\n";
    struct Case {
        std::string from, to;  // an edit of the report
        std::string args, message;
    } cases[] = {
        {"", "", "--truth t_truth.tsv --report r.txt", ""},  // the report as it is scores
        {"Serevan (beta 1, Nov 2007)", "Serevan beta", "", "no report found"},
        {"Average likelihood=-3.2500", "Average likelihood=abc", "", "r.txt:9: malformed report: 'Average"},
        {"+2(120)-1(140)", "+2(120)-1(", "", "r.txt:13:"},
        {"1.000\t0.000\t0.000\t0.000\t\n", "1.000\t0.000\t0.000\n", "", "r.txt:20: malformed report: a matrix row"},
        {"\nSites:\n", "\nSite:\n", "", "expected 'Sites:'"},
        {"140\t-1\t0.900", "140\t0\t0.900", "", "strand (1 or -1)"},
        {"0.800\nAC\n", "0.800\n\n", "", "followed by the site's letters"},
        {"Motif2 not found", "Motif3 not found", "", "expected motif 2 here"},
        {"\nMotif1:4.5000", "\nMotif1=4.5000", "", "expected 'Motif<number>:<score>'"},
        {"Motif2 not found\n", "\n", "", "asks for 2 motifs but the report has 1"},
        {">0\t0\t140", ">0\t0\t9990", "", "does not fit the truth"},
        {"", "", "--sim t --report missing.txt", "missing.txt"},
        {"", "", "--sim t", "--report"},
        {"", "", "--sim t --report r.txt --min-overlap 0", "--min-overlap"},
        {"", "", "--sim nothing --report r.txt", "nothing_truth.tsv"},
        {"", "", "--frobnicate", "--frobnicate"},
    };
    TempDir dir("evalbad");
    ASSERT_EQ(RunCommand(support::kSim + " --out t --quiet", dir.Path().string()).status, 0);
    for (const Case& c : cases) {
        std::string text = report;
        if (!c.from.empty()) text.replace(text.find(c.from), c.from.size(), c.to);
        if (c.from == "Serevan (beta 1, Nov 2007)") text.replace(text.find(c.from), c.from.size(), c.to);
        support::WriteFile(dir.File("r.txt"), text);
        auto r = RunCommand(support::kEval + " " + (c.args.empty() ? "--truth t_truth.tsv --report r.txt" : c.args),
                            dir.Path().string());
        if (c.message.empty()) {
            EXPECT_EQ(r.status, 0) << r.error;
            continue;
        }
        EXPECT_EQ(r.status, 1) << c.to << c.args;
        EXPECT_EQ(r.output, "") << c.to << c.args;
        EXPECT_EQ(r.error.rfind("serevan-eval: error: ", 0), 0u) << r.error;
        EXPECT_NE(r.error.find(c.message), std::string::npos) << c.to << c.args << " -> " << r.error;
        EXPECT_EQ(std::count(r.error.begin(), r.error.end(), '\n'), 1) << r.error;
    }
}
