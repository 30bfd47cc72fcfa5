// The simulator's evolution model (statistically), truth and files; the evaluator's motif
// comparison, matching and scores. Their refusals are in the tools' table (test_prep_export.cpp).
#include <map>

#include "common/Evaluator.h"
#include "common/Simulator.h"
#include "support/Support.h"

using namespace sertools;
using support::RunCommand;
using support::TempDir;

// In test_prep_export.cpp.
std::vector<std::string> FastaRecords(const std::string& file);
std::string ReverseComplement(const std::string& bases);

namespace {

// The bases of seq from start on, read on the given strand.
std::string Letters(const std::vector<signed char>& seq, size_t start, size_t length, int strand)
{
    std::string s;
    for (size_t i = start; i < start + length; ++i) s += "ACGT"[seq.at(i)];
    return strand > 0 ? s : ::ReverseComplement(s);
}

// Column j certain of consensus[j] with probability hit, the rest shared.
Motif Consensus(const std::string& consensus, double hit)
{
    Motif m;
    m.p = support::Consensus(consensus, hit, false);
    return m;
}

}  // namespace

// One site of width 8 in each of 3000 ancestors of 40 bases: ancestral and species-0 site bases
// read on the site's strand have the column frequencies, a site base changes with probability
// rate * sum_a q_a (1 - q_a), a background base with the substitution probability, 3/5 of changes
// are transitions, ancestral base pairs follow the chain. Every bound is 5 sd of a binomial share.
TEST(SimModelStat, EvolutionMatchesTheModel)
{
    support::TestSeed seed(11);
    SimOptions o;
    o.seed = seed.value(), o.groups = 3000, o.length = 40, o.moduleLength = 30, o.motifs = 1, o.sites = {1};
    o.moduleFraction = 1, o.minWidth = o.maxWidth = 8, o.minInfo = 0.3, o.siteRate = 0.5, o.subRate = 0.2;
    o.indelRate = 0;
    SimData d;
    std::string err;
    ASSERT_TRUE(Simulate(o, d, err)) << err;
    const std::vector<double>& q = d.motifs[0].p;
    std::vector<double> ancestral(32, 0.0), species0(32, 0.0);
    double changed = 0, expected = 0, steps[16] = {}, from[4] = {}, changes = 0, transitions = 0, trials = 0;
    for (const SimGroup& g : d.groups) {
        const PlantedSite& s = g.sites.at(0);
        for (int i = 0; i < 40; ++i) {
            const int j = i - s.start, col = s.strand > 0 ? j : 7 - j, a = g.ancestor[i];  // the site's column j
            const bool site = j >= 0 && j < 8;
            if (site) ancestral[4 * col + (s.strand > 0 ? a : 3 - a)] += 1.0 / 3000;
            if (!site && i < 39 && i + 1 != s.start) steps[4 * a + g.ancestor[i + 1]] += 1, from[a] += 1;
            for (const Descendant& x : g.species) {
                const int b = x.seq[x.fromAncestor[i]];
                if (!site) {  // a background base
                    trials += 1, changes += a != b, transitions += a != b && b == (a ^ 2);
                    continue;
                }
                if (&x == &g.species[0]) species0[4 * col + (s.strand > 0 ? b : 3 - b)] += 1.0 / 3000;
                changed += (a != b) / 72000.0;
                for (int c = 0; c < 4; ++c) expected += 0.5 * q[4 * col + c] * (1 - q[4 * col + c]) / 72000;
            }
        }
    }
    // Two counts of slack: for a frequency near 0 the normal bound is narrower than one count,
    // while three counts at an expectation of 0.005 have a chance of about 2e-8.
    for (int i = 0; i < 32; ++i) {
        const double tol = 5 * std::sqrt(q[i] * (1 - q[i]) / 3000.0) + 2.0 / 3000;
        EXPECT_NEAR(ancestral[i], q[i], tol) << "ancestral " << i;
        EXPECT_NEAR(species0[i], q[i], tol) << "species 0 " << i;
    }
    EXPECT_NEAR(changed, expected, 5 * std::sqrt(0.25 / 72000));
    EXPECT_NEAR(changes / trials, 0.2, 5 * std::sqrt(0.2 * 0.8 / trials));
    EXPECT_NEAR(transitions / changes, 0.6, 5 * std::sqrt(0.6 * 0.4 / changes));
    for (int k = 0; k < 16; ++k) {
        const double p = d.transition[k];
        EXPECT_NEAR(steps[k] / from[k / 4], p, 5 * std::sqrt(p * (1 - p) / from[k / 4])) << "step " << k;
    }
}

// One-hot motifs without site substitutions: every truth site reads its consensus on its strand;
// modules span their sites, none in species 2 (it loses every site); alignment rows; parameters.
TEST(SimModel, TruthSitesReadTheirMotifOnTheirStrand)
{
    TempDir dir("simtruth");
    const std::vector<std::string> consensus = {"AACGTTTGCA", "GGGATCCAAT", "TTTACGCGGA"};
    std::vector<Motif> onehot;
    for (const std::string& c : consensus) onehot.push_back(Consensus(c, 1));
    support::WriteFile(dir.File("onehot.txt"), motifio::FormatMotifs(onehot, motifio::MotifFormat::Program));
    SimOptions o;
    o.motifFile = dir.File("onehot.txt"), o.groups = 30, o.siteRate = 0, o.subRate = 0.3, o.indelRate = 0.1;
    o.seed = 7, o.moduleFraction = 0.5, o.loss = {0, 0, 1};
    SimData d;
    std::string err;
    ASSERT_TRUE(Simulate(o, d, err)) << err;
    const TruthTable t = BuildTruth(d);
    int strands[2] = {0, 0};
    std::map<std::pair<int, int>, std::pair<int, int>> spans;  // species and group: first and last site base
    for (const Interval& s : t.sites) {
        const std::vector<signed char>& seq = d.groups[s.group].species[s.species].seq;
        EXPECT_EQ(Letters(seq, s.start, s.Length(), s.strand), consensus[s.motif - 1]) << s.species << " " << s.group;
        strands[s.strand > 0]++;
        auto& [lo, hi] = spans.try_emplace({s.species, s.group}, s.start, s.end).first->second;
        lo = std::min(lo, s.start), hi = std::max(hi, s.end);
    }
    EXPECT_GT(std::min(strands[0], strands[1]), 50);
    EXPECT_EQ(t.sites.size(), 2u * 15u * 3u * 2u);  // 2 species x 15 groups x 3 motifs x 2 sites
    EXPECT_EQ(t.modules.size(), 2u * 15u);
    for (const Interval& m : t.modules) EXPECT_EQ(spans.at({m.species, m.group}), std::pair(m.start, m.end));
    // 15 modules over 30 x 500 bases, 2 sites in a window of 200, the widths and rates.
    const std::string param = FormatParamFile(d);
    EXPECT_EQ(param.substr(0, param.find("Motif1")), "0.001\n0.01\t0.01\t0.01\n10\t10\t10\n0.3\t0\n");
    for (const Interval& q : t.sequences) {  // the true alignment's rows without gaps are the sequences
        const std::vector<std::string> rows = AlignmentRows(d, q.group);
        const std::vector<signed char>& seq = d.groups[q.group].species[q.species].seq;
        std::string row = rows.at(q.species);
        EXPECT_EQ(row.size(), rows[0].size());
        std::erase(row, '-');
        EXPECT_EQ(row + " " + std::to_string(q.Length()),
                  Letters(seq, 0, seq.size(), 1) + " " + std::to_string(seq.size()));
    }
}

// Ancestors cut from real DNA with --keep-case: without evolution windows of the source on one
// strand, in its case; with substitutions the species keep the ancestor's case, sites upper;
// undetermined bases stay N.
TEST(SimFiles, BackgroundWindowsKeepTheSourceAndItsCase)
{
    TempDir dir("simbg");
    const std::string src = support::kSourceDir + "/tests/data/realdna_softmasked.fa", fwd = FastaRecords(src)[0];
    const std::string text = fwd + "|" + ::ReverseComplement(fwd);  // record 1 is shorter than a window
    const std::string sim =
        support::kSim + " --background " + src + " --groups 5 --length 250 --seed 3 --indel-rate 0 --keep-case -o a ";
    ASSERT_EQ(RunCommand(sim + "--sub-rate 0 --module-fraction 0", dir.Path()).status, 0);
    long lower = 0;
    for (const std::string& seq : FastaRecords(dir.File("a.fa"))) {
        EXPECT_TRUE(seq.size() == 250 && text.find(seq) != std::string::npos) << seq;
        lower += std::count_if(seq.begin(), seq.end(), ::islower);
    }
    EXPECT_GT(lower, 500);
    ASSERT_EQ(RunCommand(sim + "--sub-rate 0.3 --module-fraction 1 --allow-overlap", dir.Path()).status, 0);
    TruthTable t;
    std::string err;
    ASSERT_TRUE(ReadTruth(dir.File("a_truth.tsv"), t, err)) << err;
    std::vector<std::string> masks = FastaRecords(dir.File("a.fa"));  // 'l' where lower case
    for (std::string& m : masks)
        std::transform(m.begin(), m.end(), m.begin(), [](char c) { return std::islower(c) ? 'l' : 'U'; });
    for (const Interval& x : t.sites)
        EXPECT_EQ(masks[x.species * 5 + x.group].substr(x.start, x.Length()), std::string(x.Length(), 'U'));
    for (size_t i = 0; i < masks.size(); ++i) EXPECT_EQ(masks[i], masks[i % 5]) << i;
    EXPECT_NE(masks[0] + masks[1], std::string(500, 'U'));
    // Undetermined bases (N, n) stay N on either strand (seed 3 cuts the window forward, 1 reversed).
    support::WriteFile(dir.File("n.fa"), ">n\nACGTNacgtnGGCCNNTTAA\n");
    std::string got;
    for (const char* seed : {"3", "1"}) {
        const std::string args =
            " --background n.fa --groups 1 --length 20 --module-length 20 --max-undetermined 1 "
            "--indel-rate 0 --sub-rate 0 --module-fraction 0 -o b --seed ";
        ASSERT_EQ(RunCommand(support::kSim + args + seed, dir.Path()).status, 0);
        got += FastaRecords(dir.File("b.fa"))[2] + " ";
    }
    EXPECT_EQ(got, "ACGTNACGTNGGCCNNTTAA TTAANNGGCCNACGTNACGT ");
}

// --gc-spread: four records whose every window of 30 bases holds exactly 0, 10, 20 or 30 G+C (the
// source's share 1/2). A group's target is 1/2 + 0.3 z and of 200 candidates the window closest to
// it is cut: shares 0 and 1 with probability Phi(-10/9) = 0.13326 each, 1/3 and 2/3 with 0.36674;
// without a spread every record is drawn alike (1/4). 2000 groups; bounds of 5 sd of a binomial share.
TEST(SimModelStat, GcSpreadCutsTheWindowClosestToEachGroupsTarget)
{
    support::TestSeed seed(5);
    TempDir dir("simgc");
    std::string fasta;
    for (const std::string unit : {"AT", "AAC", "ACG", "CG"}) {
        fasta += ">r\n";
        for (int i = 0; i < 600 / static_cast<int>(unit.size()); ++i) fasta += unit;
        fasta += "\n";
    }
    support::WriteFile(dir.File("levels.fa"), fasta);
    for (const double spread : {0.0, 0.3}) {
        SimOptions o;
        o.seed = seed.value(), o.groups = 2000, o.length = o.moduleLength = 30, o.moduleFraction = 0;
        o.backgroundFile = dir.File("levels.fa"), o.allowOverlap = true, o.gcSpread = spread;
        SimData d;
        std::string err;
        ASSERT_TRUE(Simulate(o, d, err)) << err;
        double level[4] = {0, 0, 0, 0};
        for (const SimGroup& g : d.groups) {
            const long gc = std::count_if(g.ancestor.begin(), g.ancestor.end(), [](int b) { return b == 1 || b == 2; });
            ASSERT_EQ(gc % 10, 0) << "not a window of the source";
            level[gc / 10] += 1.0 / 2000;
        }
        const double tail = spread > 0 ? 0.13326 : 0.25, p[4] = {tail, 0.5 - tail, 0.5 - tail, tail};
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(level[k], p[k], 5 * std::sqrt(p[k] * (1 - p[k]) / 2000))
                << "spread " << spread << " level " << k;
    }
}

// The best placement of a learned matrix: offset, strand, facing columns and the score (their
// correlations over the smaller width); one-hot columns of two bases correlate at -1/3.
TEST(Eval, MotifComparisonFindsOffsetStrandAndOverlap)
{
    // inner: planted's columns 3..8; past: near's columns 4, 5 and two flat ones.
    const Motif planted = Consensus("ACGGTCATTG", 0.85), inner = Consensus("GTCATT", 0.85);
    const Motif near = Consensus("ACGTGA", 0.9), past = Consensus("GANN", 0.9), a = Consensus("AAAA", 1);
    const struct {
        Motif planted, learned;
        const char* match;  // score, offset, strand, overlap
    } cases[] = {
        {planted, planted, "1.000000 0 1 10"},
        {planted, ReverseComplement(planted), "1.000000 0 -1 10"},
        {planted, inner, "1.000000 3 1 6"},
        {near, past, "0.500000 4 1 2"},                 // runs two columns past the end: 2 of 4 columns face
        {a, Consensus("CCCC", 1), "-0.083333 -3 1 1"},  // best: one column facing at -1/3, over 4
    };
    for (const auto& c : cases) {
        const MotifMatch m = CompareMotifs(c.planted, c.learned);
        EXPECT_EQ(Format("%.6f %d %d %d", m.score, m.offset, m.strand, m.overlap), c.match);
    }
    EXPECT_EQ(ColumnCorrelation(&Consensus("N", 1).p[0], &a.p[0]), 0.0);  // a flat column with anything
}

// A true site at 20 and a call of width 10: shifted by 5 it matches, by 6 or at a stricter overlap
// not; a strand agrees when it fits the orientation of the learned matrix against the planted.
TEST(Eval, ShiftedAndReverseStrandSites)
{
    const std::vector<Motif> planted = {Consensus("ACGGTCATTG", 0.85)};
    const struct {
        int truthStrand, position, callStrand;
        bool learnedReversed;
        double minOverlap;
        const char* f1;  // site bases, sites, module bases, modules, motif 1's sites; match strand, agreeing
    } cases[] = {
        {1, 20, 1, false, 0.5, "1.00 1.00 1.00 1.00 1.00; 1 1"},
        {1, 25, 1, false, 0.5, "0.50 1.00 0.50 1.00 1.00; 1 1"},
        {1, 26, 1, false, 0.5, "0.40 0.00 0.40 0.00 0.00; 1 0"},
        {1, 25, 1, false, 0.6, "0.50 0.00 0.50 0.00 0.00; 1 0"},
        {-1, 20, -1, false, 0.5, "1.00 1.00 1.00 1.00 1.00; 1 1"},
        {-1, 20, 1, true, 0.5, "1.00 1.00 1.00 1.00 1.00; -1 1"},
        {-1, 20, 1, false, 0.5, "1.00 1.00 1.00 1.00 1.00; 1 0"},
    };
    for (const auto& c : cases) {
        const TruthTable truth{{{0, 0, 0, 99, 0, 0}}, {{0, 0, 20, 29, 0, 0}}, {{0, 0, 20, 29, 1, c.truthStrand}}};
        const Motif learned = c.learnedReversed ? ReverseComplement(planted[0]) : planted[0];
        RunReport report;  // its module spans its one site
        report.hasModules = true, report.modules = {{0, 0, c.position, c.position + 10, {}}};
        report.motifs = {{1, true, 1, learned, {{0, 0, c.position, c.callStrand, 1, 1, "AAAAAAAAAA"}}}};
        const EvalSettings settings{.minOverlap = c.minOverlap};
        Evaluation e;
        std::string err;
        ASSERT_TRUE(Evaluate(truth, report, &planted, settings, e, err)) << err;
        EXPECT_EQ(Format("%.2f %.2f %.2f %.2f %.2f; %d %lld", e.siteBases.F1(), e.sites.F1(), e.moduleBases.F1(),
                         e.modules.F1(), e.motifs[0].sites.F1(), e.motifs[0].match.strand, e.motifs[0].strandAgree),
                  c.f1)
            << c.truthStrand << " " << c.position << " " << c.callStrand << " " << c.minOverlap;
    }
}
