// Tests of the companion tools: the simulator's generative model and files (through the
// library and the serevan-sim binary) and the evaluator's matching and report reading.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/Evaluator.h"
#include "common/MotifMatrix.h"
#include "common/RunReport.h"
#include "common/Simulator.h"
#include "common/ToolText.h"
#include "common/TruthTable.h"

namespace fs = std::filesystem;
using namespace sertools;

namespace {

// A scratch directory per test, removed at the end.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = fs::temp_directory_path() /
                 ("serevan_sim_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~ScratchDir() { fs::remove_all(m_path); }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct RunResult {
    int status;       // exit status
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs a tool with arguments (quoted for the shell) and captures both streams.
RunResult RunTool(const std::string& bin, const std::vector<std::string>& args, const ScratchDir& dir) {
    std::string cmd = "'" + bin + "'";
    for (const std::string& a : args) cmd += " '" + a + "'";
    cmd += " >'" + (dir / "stdout.txt") + "' 2>'" + (dir / "stderr.txt") + "'";
    int raw = std::system(cmd.c_str());
    return RunResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(dir / "stdout.txt"),
                     Slurp(dir / "stderr.txt")};
}

// Records of a sequence file: (name, letters).
std::vector<std::pair<std::string, std::string>> ReadRecords(const std::string& path) {
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<std::string> lines;
    std::string err;
    EXPECT_TRUE(ReadLines(path, lines, err)) << err;
    for (const std::string& l : lines) {
        if (!l.empty() && l[0] == '>') out.emplace_back(l, "");
        else if (!out.empty()) out.back().second += l;
    }
    return out;
}

std::string ReverseComplement(const std::string& s) {
    std::string r(s.rbegin(), s.rend());
    for (char& c : r) c = c == 'A' ? 'T' : c == 'C' ? 'G' : c == 'G' ? 'C' : 'A';
    return r;
}

// A one-hot matrix file: column j is certain of consensus[j].
std::string OneHotMotifFile(const std::vector<std::string>& consensus) {
    std::vector<MotifMatrix> ms;
    for (const std::string& c : consensus) {
        MotifMatrix m;
        for (char x : c)
            for (char b : std::string("ACGT")) m.p.push_back(x == b ? 1.0 : 0.0);
        ms.push_back(m);
    }
    return FormatMotifFile(ms, nullptr);
}

// A report in the program's layout that calls exactly the true sites and modules, with
// the given matrices as the learned ones (sites of motif k under learned motif k).
std::string ReportFromTruth(const TruthTable& t, const std::vector<MotifMatrix>& matrices,
                            const std::map<std::pair<int, int>, std::string>& seqs) {
    std::string r = std::string(kReportBanner) + Format("\n./Serevan -i x -N 3 -K %zu \n", matrices.size()) +
                    "Average likelihood=-1.5000\n"
                    "Post burn-in iterations=10\n\nPredicted modules:\n";
    for (const Interval& m : t.modules) {
        r += Format("%d\t%d\t%d\t%d\t", m.species, m.group, m.start, m.end + 1);
        for (const Interval& s : t.sites)
            if (s.species == m.species && s.group == m.group)
                r += Format(s.strand > 0 ? "+%d(%d)" : "-%d(%d)", s.motif, s.start);
        r += "\n";
    }
    r += "\n\n";
    for (std::size_t k = 0; k < matrices.size(); ++k) {
        r += Format("\nMotif%zu:%.4f\nA\tC\tG\tT\n", k + 1, 12.5);
        for (int j = 0; j < matrices[k].Width(); ++j)
            r += Format("%.3f\t%.3f\t%.3f\t%.3f\t\n", matrices[k].p[4 * j], matrices[k].p[4 * j + 1],
                        matrices[k].p[4 * j + 2], matrices[k].p[4 * j + 3]);
        r += "\nSites:\n";
        for (const Interval& s : t.sites) {
            if (s.motif != static_cast<int>(k + 1)) continue;
            std::string letters = seqs.at({s.species, s.group}).substr(static_cast<std::size_t>(s.start),
                                                                      static_cast<std::size_t>(s.Length()));
            if (s.strand < 0) letters = ReverseComplement(letters);
            r += Format(">%d\t%d\t%d\t%d\t%.3f\t%.3f\n", s.species, s.group, s.start, s.strand, 0.9, 0.8);
            r += letters + "\n";
        }
    }
    return r;
}

SimData MustSimulate(const SimOptions& o) {
    SimData d;
    std::string err;
    EXPECT_TRUE(Simulate(o, d, err)) << err << " (seed " << o.seed << ")";
    return d;
}

}  // namespace

// ---- the generative model -------------------------------------------------------------------

// With one-hot motifs and no site substitutions, every truth site must read its motif's
// consensus on its strand in every species of the written file: this checks the planted
// orientation and that the truth coordinates point at the right bases after indels.
TEST(SimModel, TruthSitesReadTheirMotifOnTheirStrandInEverySpecies) {
    ScratchDir dir;
    const std::vector<std::string> consensus = {"AACGTTTGCA", "GGGATCCAAT", "TTTACGCGGA"};
    std::string err;
    ASSERT_TRUE(WriteFile(dir / "onehot.txt", OneHotMotifFile(consensus), err)) << err;
    RunResult r = RunTool(SEREVAN_SIM_BIN,
                          {"--out", dir / "s", "--motif-file", dir / "onehot.txt", "--groups", "30",
                           "--site-rate", "0", "--sub-rate", "0.3", "--indel-rate", "0.1", "--seed", "7",
                           "--module-fraction", "1", "--quiet"},
                          dir);
    ASSERT_EQ(r.status, 0) << r.err;
    auto records = ReadRecords(dir / "s.fa");
    TruthTable t;
    ASSERT_TRUE(ReadTruth(dir / "s_truth.tsv", t, err)) << err;
    ASSERT_EQ(records.size(), 90u);
    int reverse = 0, forward = 0;
    for (const Interval& s : t.sites) {
        const std::string& seq = records[static_cast<std::size_t>(s.species * 30 + s.group)].second;
        ASSERT_LE(s.end, static_cast<int>(seq.size()) - 1);
        std::string letters = seq.substr(static_cast<std::size_t>(s.start), static_cast<std::size_t>(s.Length()));
        if (s.strand < 0) letters = ReverseComplement(letters);
        EXPECT_EQ(letters, consensus[static_cast<std::size_t>(s.motif - 1)])
            << "species " << s.species << " group " << s.group << " start " << s.start;
        (s.strand < 0 ? reverse : forward)++;
    }
    EXPECT_EQ(t.sites.size(), 3u * 30u * 3u * 2u);  // 3 species x 30 groups x 3 motifs x 2 sites
    EXPECT_GT(reverse, 100);
    EXPECT_GT(forward, 100);
    // Sequence rows give the written lengths; module rows span their sites.
    for (const Interval& q : t.sequences)
        EXPECT_EQ(q.end + 1, static_cast<int>(records[static_cast<std::size_t>(q.species * 30 + q.group)].second.size()));
    for (const Interval& m : t.modules) {
        int lo = 1 << 30, hi = -1;
        for (const Interval& s : t.sites)
            if (s.species == m.species && s.group == m.group) lo = std::min(lo, s.start), hi = std::max(hi, s.end);
        EXPECT_EQ(m.start, lo);
        EXPECT_EQ(m.end, hi);
    }
}

// Ancestral site bases are drawn from the motif in its orientation: over 3000 one-site
// modules, the bases read on each site's strand must have the motif's column frequencies.
// Tolerance: 5 sd of a binomial share with n = 3000 (sd <= 0.0092). A site written in the
// wrong orientation on the reverse strand would mix in the complementary column.
TEST(SimModel, SiteBaseFrequenciesFollowTheMotifColumns) {
    SimOptions o;
    o.seed = 11;
    o.groups = 3000;
    o.length = 40;
    o.moduleLength = 30;
    o.motifs = 1;
    o.sites = {1};
    o.moduleFraction = 1;
    o.minWidth = o.maxWidth = 8;
    o.minInfo = 0.3;
    o.siteRate = 0;
    o.indelRate = 0;
    SimData d = MustSimulate(o);
    const MotifMatrix& m = d.motifs[0];
    std::vector<double> count(4 * 8, 0.0);
    for (const SimGroup& g : d.groups) {
        ASSERT_EQ(g.sites.size(), 1u);
        const PlantedSite& s = g.sites[0];
        for (int j = 0; j < 8; ++j) {
            int b = s.strand > 0 ? g.ancestor[static_cast<std::size_t>(s.start + j)]
                                 : 3 - g.ancestor[static_cast<std::size_t>(s.start + 7 - j)];
            count[static_cast<std::size_t>(4 * j + b)] += 1;
            // No site substitutions: every species keeps the ancestral site.
            for (const Descendant& x : g.species)
                ASSERT_EQ(x.seq[static_cast<std::size_t>(x.fromAncestor[static_cast<std::size_t>(s.start + j)])],
                          g.ancestor[static_cast<std::size_t>(s.start + j)]);
        }
    }
    for (int i = 0; i < 32; ++i) {
        double p = m.p[static_cast<std::size_t>(i)];
        double sd = std::sqrt(p * (1 - p) / 3000.0);
        EXPECT_NEAR(count[static_cast<std::size_t>(i)] / 3000.0, p, 5 * sd + 1e-9) << "column " << i / 4;
    }
}

// Site bases evolve by redrawing from the motif column with the site rate: each species'
// site bases keep the column frequencies (5 sd of a binomial share, n = 3000), and a base
// differs from its ancestor with probability rate * sum_a q_a (1 - q_a) per column
// (72000 trials: 5 sd <= 0.0093).
TEST(SimModel, SiteSubstitutionsKeepTheMotifAsStationaryDistribution) {
    SimOptions o;
    o.seed = 12;
    o.groups = 3000;
    o.length = 40;
    o.moduleLength = 30;
    o.motifs = 1;
    o.sites = {1};
    o.moduleFraction = 1;
    o.minWidth = o.maxWidth = 8;
    o.minInfo = 0.3;
    o.siteRate = 0.5;
    o.indelRate = 0;
    SimData d = MustSimulate(o);
    const MotifMatrix& m = d.motifs[0];
    std::vector<double> count(32, 0.0);
    double changed = 0, expected = 0, trials = 0;
    for (const SimGroup& g : d.groups) {
        const PlantedSite& s = g.sites[0];
        for (int j = 0; j < 8; ++j) {
            int col = s.strand > 0 ? j : 7 - j;  // motif column of forward offset j
            auto at = static_cast<std::size_t>(s.start + j);
            for (std::size_t sp = 0; sp < g.species.size(); ++sp) {
                const Descendant& x = g.species[sp];
                int b = x.seq[static_cast<std::size_t>(x.fromAncestor[at])];
                int a = g.ancestor[at];
                if (sp == 0) count[static_cast<std::size_t>(4 * col + (s.strand > 0 ? b : 3 - b))] += 1;
                changed += a != b ? 1 : 0;
                trials += 1;
                for (int c = 0; c < 4; ++c) expected += 0.5 * m.p[static_cast<std::size_t>(4 * col + c)] *
                                                        (1 - m.p[static_cast<std::size_t>(4 * col + c)]);
            }
        }
    }
    for (int i = 0; i < 32; ++i) {
        double p = m.p[static_cast<std::size_t>(i)];
        EXPECT_NEAR(count[static_cast<std::size_t>(i)] / 3000.0, p, 5 * std::sqrt(p * (1 - p) / 3000.0) + 1e-9);
    }
    EXPECT_NEAR(changed / trials, expected / trials, 0.0093);
}

// The true alignment never opens a gap inside a site: every present site occupies
// consecutive columns of its row, the same columns in every species, and the rows
// without gaps are the written sequences.
TEST(SimModel, GapsNeverFallInsideSites) {
    SimOptions o;
    o.seed = 5;
    o.groups = 40;
    o.indelRate = 0.3;
    o.indelMean = 3;
    o.moduleFraction = 1;
    o.sites = {3};
    o.moduleLength = 250;
    SimData d = MustSimulate(o);
    TruthTable t = BuildTruth(d);
    long long gapCount = 0;
    for (int g = 0; g < o.groups; ++g) {
        std::vector<std::string> rows = AlignmentRows(d, g);
        std::vector<std::vector<int>> column(rows.size());  // per species: column of each base
        for (std::size_t s = 0; s < rows.size(); ++s) {
            ASSERT_EQ(rows[s].size(), rows[0].size());
            std::string ungapped;
            for (std::size_t c = 0; c < rows[s].size(); ++c)
                if (rows[s][c] != '-') {
                    column[s].push_back(static_cast<int>(c));
                    ungapped += rows[s][c];
                } else {
                    ++gapCount;
                }
            const Descendant& x = d.groups[static_cast<std::size_t>(g)].species[s];
            ASSERT_EQ(ungapped.size(), x.seq.size());
            for (std::size_t i = 0; i < x.seq.size(); ++i) ASSERT_EQ(ungapped[i], "ACGT"[x.seq[i]]);
        }
        std::map<int, int> firstColumn;  // planted site start column, by motif and order
        for (const Interval& s : t.sites) {
            if (s.group != g) continue;
            const std::vector<int>& col = column[static_cast<std::size_t>(s.species)];
            for (int p = s.start; p < s.end; ++p)
                ASSERT_EQ(col[static_cast<std::size_t>(p + 1)], col[static_cast<std::size_t>(p)] + 1)
                    << "gap inside a site of species " << s.species << " group " << g;
            int key = col[static_cast<std::size_t>(s.start)];
            firstColumn[key]++;
        }
        // Every site start column is shared by all three species (no loss here).
        for (const auto& [c, n] : firstColumn) EXPECT_EQ(n, 3) << "group " << g << " column " << c;
    }
    EXPECT_GT(gapCount, 1000);  // the indel rate was high enough to matter
}

// Background substitutions: per branch a base differs from its ancestor with the
// substitution probability, and transitions are 3 of the 5 weight units of a change.
// 3 species x 60 groups x 2000 bases = 360000 trials: 5 sd of p = 0.2 is 0.0033; about
// 72000 changes: 5 sd of 0.6 is 0.0092.
TEST(SimModel, BackgroundSubstitutionsHaveTheRateAndTransitionBias) {
    SimOptions o;
    o.seed = 3;
    o.groups = 60;
    o.length = 2000;
    o.moduleLength = 100;
    o.moduleFraction = 0;
    o.subRate = 0.2;
    o.indelRate = 0;
    SimData d = MustSimulate(o);
    double trials = 0, changes = 0, transitions = 0;
    for (const SimGroup& g : d.groups)
        for (const Descendant& x : g.species)
            for (std::size_t i = 0; i < g.ancestor.size(); ++i) {
                int a = g.ancestor[i], b = x.seq[static_cast<std::size_t>(x.fromAncestor[i])];
                trials += 1;
                if (a != b) {
                    changes += 1;
                    transitions += (b == (a ^ 2)) ? 1 : 0;
                }
            }
    EXPECT_NEAR(changes / trials, 0.2, 0.0033);
    EXPECT_NEAR(transitions / changes, 0.6, 0.0092);
}

// The AT-rich default background: G+C share near 0.4 lowered a little by the CpG factor.
// Exact stationary share computed from the chain; 120000 bases, 5 sd of a share ~0.007
// (neighbouring bases are dependent, so the bound is loose on purpose: 0.01).
TEST(SimModel, BackgroundCompositionFollowsTheChain) {
    SimOptions o;
    o.seed = 9;
    o.groups = 40;
    o.length = 3000;
    o.moduleFraction = 0;
    SimData d = MustSimulate(o);
    // Stationary distribution by power iteration.
    std::vector<double> pi = {0.25, 0.25, 0.25, 0.25};
    for (int it = 0; it < 200; ++it) {
        std::vector<double> next(4, 0.0);
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) next[static_cast<std::size_t>(b)] += pi[static_cast<std::size_t>(a)] * d.transition[static_cast<std::size_t>(4 * a + b)];
        pi = next;
    }
    double gc = 0, n = 0, cg = 0, c = 0;
    for (const SimGroup& g : d.groups)
        for (std::size_t i = 0; i < g.ancestor.size(); ++i) {
            gc += (g.ancestor[i] == 1 || g.ancestor[i] == 2) ? 1 : 0;
            n += 1;
            if (i + 1 < g.ancestor.size() && g.ancestor[i] == 1) {
                c += 1;
                cg += g.ancestor[i + 1] == 2 ? 1 : 0;
            }
        }
    EXPECT_NEAR(gc / n, pi[1] + pi[2], 0.01);
    EXPECT_LT(pi[1] + pi[2], 0.4);
    EXPECT_NEAR(cg / c, d.transition[4 * 1 + 2], 0.01);  // C->G is depleted
}

// A species with loss probability 1 keeps none of its sites and so has no module;
// the others keep all of them. Modules go to an exact share of the groups.
TEST(SimModel, SiteLossIsPerSpeciesAndModuleShareIsExact) {
    SimOptions o;
    o.seed = 21;
    o.groups = 10;
    o.moduleFraction = 0.5;
    o.loss = {0, 1, 0};
    SimData d = MustSimulate(o);
    int withModule = 0;
    for (const SimGroup& g : d.groups) withModule += g.hasModule ? 1 : 0;
    EXPECT_EQ(withModule, 5);
    TruthTable t = BuildTruth(d);
    std::map<int, int> sitesOf, modulesOf;
    for (const Interval& s : t.sites) sitesOf[s.species]++;
    for (const Interval& m : t.modules) modulesOf[m.species]++;
    EXPECT_EQ(sitesOf[0], 5 * 3 * 2);
    EXPECT_EQ(sitesOf[1], 0);
    EXPECT_EQ(sitesOf[2], 5 * 3 * 2);
    EXPECT_EQ(modulesOf[1], 0);
    EXPECT_EQ(modulesOf[0], 5);
    // Planted sites lie inside the module window and do not overlap.
    for (const SimGroup& g : d.groups)
        for (std::size_t j = 0; j < g.sites.size(); ++j) {
            int w = d.motifs[static_cast<std::size_t>(g.sites[j].motif)].Width();
            EXPECT_GE(g.sites[j].start, g.moduleStart);
            EXPECT_LE(g.sites[j].start + w, g.moduleStart + g.moduleLength);
            if (j + 1 < g.sites.size()) {
                EXPECT_LE(g.sites[j].start + w, g.sites[j + 1].start);
            }
        }
}

// The matrix files read back as the planted motifs (four decimals), with the site-number
// line in the -F file, and the parameter file holds the -P layout.
TEST(SimModel, MotifAndParameterFilesRoundTrip) {
    ScratchDir dir;
    SimOptions o;
    o.seed = 4;
    o.sites = {1, 2, 3};
    o.moduleLength = 150;
    SimData d = MustSimulate(o);
    std::string err;
    ASSERT_TRUE(WriteSimFiles(d, dir / "p", err)) << err;
    std::vector<MotifMatrix> a, f;
    std::vector<double> siteNumbers;
    ASSERT_TRUE(ReadMotifFile(dir / "p_motifs.txt", false, a, nullptr, err)) << err;
    ASSERT_TRUE(ReadMotifFile(dir / "p_motifs_sites.txt", true, f, &siteNumbers, err)) << err;
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(siteNumbers, (std::vector<double>{1, 2, 3}));
    for (std::size_t k = 0; k < 3; ++k) {
        ASSERT_EQ(a[k].Width(), d.motifs[k].Width());
        for (std::size_t i = 0; i < a[k].p.size(); ++i) {
            EXPECT_NEAR(a[k].p[i], d.motifs[k].p[i], 3e-4);
            EXPECT_EQ(a[k].p[i], f[k].p[i]);
        }
    }
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadLines(dir / "p_param.txt", lines, err)) << err;
    ASSERT_GE(lines.size(), 5u);
    double entry = 0;
    ASSERT_TRUE(ParseDouble(lines[0], entry));
    EXPECT_NEAR(entry, 8.0 / 5000.0, 1e-12);  // 8 modules over 10 x 500 ancestral bases
    EXPECT_EQ(lines[1], Format("%.6g\t%.6g\t%.6g", 1 / 150.0, 2 / 150.0, 3 / 150.0));
    EXPECT_EQ(lines[2], Format("%d\t%d\t%d", d.motifs[0].Width(), d.motifs[1].Width(), d.motifs[2].Width()));
    EXPECT_EQ(lines[3], "0.1\t0.02");
    EXPECT_EQ(lines.size(), 4u + 3u + static_cast<std::size_t>(d.motifs[0].Width() + d.motifs[1].Width() + d.motifs[2].Width()));
}

TEST(SimModel, MotifFileReaderNamesTheFaultyLine) {
    ScratchDir dir;
    std::string err;
    std::vector<MotifMatrix> m;
    struct Case {
        const char* text;
        const char* expect;
    } cases[] = {
        {"", "ends before the matrix count"},
        {"x\n", ":1: the first line"},
        {"2\n3\n", ":2: expected 2 widths"},
        {"1\n2\nM\n1\t0\t0\t0\n", "ends before row 2 of matrix 1"},
        {"1\n2\nM\n1\t0\t0\t0\n1\t0\tz\t0\n", ":5: row 2 of matrix 1"},
        {"1\n1\nM\n0\t0\t0\t0\n", ":4: row 1 of matrix 1"},
        {"1\n1\nM\n1\t-1\t0\t0\n", ":4: row 1 of matrix 1"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFile(dir / "m.txt", c.text, err));
        EXPECT_FALSE(ReadMotifFile(dir / "m.txt", false, m, nullptr, err)) << c.text;
        EXPECT_NE(err.find(c.expect), std::string::npos) << err;
    }
    EXPECT_FALSE(ReadMotifFile(dir / "missing.txt", false, m, nullptr, err));
    EXPECT_NE(err.find("cannot open"), std::string::npos) << err;
}

// ---- the simulator's command line -------------------------------------------------------------

TEST(SimCli, InputFileListsAllGroupsOfOneSpeciesBeforeTheNext) {
    ScratchDir dir;
    RunResult r = RunTool(SEREVAN_SIM_BIN, {"--out", dir / "x", "--species", "2", "--groups", "3"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("2 species x 3 groups"), std::string::npos);
    auto records = ReadRecords(dir / "x.fa");
    std::vector<std::string> names;
    for (const auto& [name, seq] : records) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{">g0_sp0", ">g1_sp0", ">g2_sp0", ">g0_sp1", ">g1_sp1", ">g2_sp1"}));
    // The aligned file holds group 0 in species order, rows of one length.
    auto rows = ReadRecords(dir / "x_aln.fa");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].first, ">g0_sp0");
    EXPECT_EQ(rows[1].first, ">g0_sp1");
    EXPECT_EQ(rows[0].second.size(), rows[1].second.size());
}

TEST(SimCli, SameSeedGivesTheSameBytes) {
    ScratchDir dir;
    const char* suffixes[] = {".fa", "_truth.tsv", "_motifs.txt", "_motifs_sites.txt", "_aln.fa", "_param.txt"};
    ASSERT_EQ(RunTool(SEREVAN_SIM_BIN, {"--out", dir / "a", "--seed", "42", "--loss", "0.2"}, dir).status, 0);
    ASSERT_EQ(RunTool(SEREVAN_SIM_BIN, {"--out", dir / "b", "--seed", "42", "--loss", "0.2"}, dir).status, 0);
    ASSERT_EQ(RunTool(SEREVAN_SIM_BIN, {"--out", dir / "c", "--seed", "43", "--loss", "0.2"}, dir).status, 0);
    for (const char* s : suffixes) {
        EXPECT_FALSE(Slurp(dir / (std::string("a") + s)).empty()) << s;
        EXPECT_EQ(Slurp(dir / (std::string("a") + s)), Slurp(dir / (std::string("b") + s))) << s;
    }
    EXPECT_NE(Slurp(dir / "a.fa"), Slurp(dir / "c.fa"));
}

TEST(SimCli, BadOptionsGiveOneLineErrorAndFailure) {
    ScratchDir dir;
    const std::vector<std::vector<std::string>> bad = {
        {"--species", "1"},       {"--gc", "2"},           {"--bogus"},
        {"--seed"},               {"--groups", "abc"},     {"--motif-file", dir / "none.txt"},
        {"--sites", "1,2"},       {"--module-length", "20"}, {"stray"},
        {"--loss", "0.1,0.2"},    {"--quiet=1"},           {"--align-group", "10"},
        {"--max-width", "5"},     {"--out", dir / "no/such/dir/x"}};
    for (const auto& args : bad) {
        RunResult r = RunTool(SEREVAN_SIM_BIN, args, dir);
        std::string shown = args[0] + (args.size() > 1 ? " " + args[1] : "");
        EXPECT_NE(r.status, 0) << shown;
        EXPECT_TRUE(r.out.empty()) << shown;
        EXPECT_EQ(r.err.rfind("serevan-sim: error: ", 0), 0u) << shown << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << ": " << r.err;
    }
    RunResult help = RunTool(SEREVAN_SIM_BIN, {"--help"}, dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--seed"), std::string::npos);
}

// ---- matching and evaluation --------------------------------------------------------------------

TEST(Eval, MotifCorrelationFindsOffsetAndStrand) {
    MotifMatrix planted;
    for (char x : std::string("ACGGTCATTG"))
        for (char b : std::string("ACGT")) planted.p.push_back(x == b ? 0.85 : 0.05);
    MotifMatch same = CompareMotifs(planted, planted);
    EXPECT_NEAR(same.score, 1.0, 1e-12);
    EXPECT_EQ(same.offset, 0);
    EXPECT_EQ(same.strand, 1);
    MotifMatch rc = CompareMotifs(planted, ReverseComplement(planted));
    EXPECT_NEAR(rc.score, 1.0, 1e-12);
    EXPECT_EQ(rc.strand, -1);
    MotifMatrix inner;  // columns 3..8 of the planted motif
    inner.p.assign(planted.p.begin() + 12, planted.p.begin() + 36);
    MotifMatch sub = CompareMotifs(planted, inner);
    EXPECT_NEAR(sub.score, 1.0, 1e-12);
    EXPECT_EQ(sub.offset, 3);
    // One-hot columns of different bases correlate at -1/3: ACGT against CATG never agree
    // at any offset on either strand except where single columns coincide.
    MotifMatrix a, b;
    for (char x : std::string("AAAA"))
        for (char y : std::string("ACGT")) a.p.push_back(x == y ? 1.0 : 0.0);
    for (char x : std::string("CCCC"))
        for (char y : std::string("ACGT")) b.p.push_back(x == y ? 1.0 : 0.0);
    EXPECT_NEAR(ColumnCorrelation(&a.p[0], &b.p[0]), -1.0 / 3.0, 1e-12);
    EXPECT_LT(CompareMotifs(a, b).score, 0.0);  // AAAA vs CCCC and its complement GGGG
    double flat[4] = {0.25, 0.25, 0.25, 0.25};
    EXPECT_EQ(ColumnCorrelation(flat, &a.p[0]), 0.0);
}

namespace {

// One sequence of length 100 with one true site [20, 29] of motif 1 and its module.
TruthTable OneSiteTruth(int strand) {
    TruthTable t;
    t.sequences.push_back(Interval{0, 0, 0, 99, 0, 0});
    t.sites.push_back(Interval{0, 0, 20, 29, 1, strand});
    t.modules.push_back(Interval{0, 0, 20, 29, 0, 0});
    return t;
}

RunReport OneSiteReport(int position, int strand, const MotifMatrix& learned) {
    RunReport r;
    r.hasModules = true;
    ReportMotif m;
    m.index = 1;
    m.found = true;
    m.matrix = learned;
    m.sites.push_back(ReportSite{0, 0, position, strand, 1.0, 1.0, std::string(10, 'A')});
    r.motifs.push_back(m);
    r.modules.push_back(ReportModule{0, 0, position, position + 10, {{strand, position}}});
    return r;
}

MotifMatrix Planted() {
    MotifMatrix m;
    for (char x : std::string("ACGGTCATTG"))
        for (char b : std::string("ACGT")) m.p.push_back(x == b ? 0.85 : 0.05);
    return m;
}

}  // namespace

// Shifting a width-10 site by 5 keeps half of it: the site still matches (5 >= 0.5 x 10),
// and 5 of its 10 bases are shared. By 6 it no longer matches and 4 bases are shared.
TEST(Eval, HalfSiteShiftGivesPartialBaseScoresAndStillMatches) {
    std::vector<MotifMatrix> planted = {Planted()};
    Evaluation e;
    std::string err;
    for (int shift : {5, -5}) {
        ASSERT_TRUE(Evaluate(OneSiteTruth(1), OneSiteReport(20 + shift, 1, Planted()), &planted, {}, e, err)) << err;
        EXPECT_EQ(e.siteBases.trueCount, 10);
        EXPECT_EQ(e.siteBases.predCount, 10);
        EXPECT_EQ(e.siteBases.trueMatched, 5);
        EXPECT_DOUBLE_EQ(e.siteBases.Sensitivity(), 0.5);
        EXPECT_DOUBLE_EQ(e.siteBases.Ppv(), 0.5);
        EXPECT_DOUBLE_EQ(e.siteBases.F1(), 0.5);
        EXPECT_DOUBLE_EQ(e.sites.F1(), 1.0);
        EXPECT_DOUBLE_EQ(e.modules.F1(), 1.0);
        EXPECT_DOUBLE_EQ(e.moduleBases.F1(), 0.5);
        EXPECT_EQ(e.motifs[0].sites.trueMatched, 1);
    }
    ASSERT_TRUE(Evaluate(OneSiteTruth(1), OneSiteReport(26, 1, Planted()), &planted, {}, e, err)) << err;
    EXPECT_DOUBLE_EQ(e.siteBases.F1(), 0.4);
    EXPECT_EQ(e.sites.trueMatched, 0);
    EXPECT_EQ(e.sites.predMatched, 0);
    EXPECT_DOUBLE_EQ(e.sites.F1(), 0.0);
    EXPECT_DOUBLE_EQ(e.modules.Sensitivity(), 0.0);
    // A stricter rule rejects the half overlap.
    EvalSettings strict;
    strict.minOverlap = 0.6;
    ASSERT_TRUE(Evaluate(OneSiteTruth(1), OneSiteReport(25, 1, Planted()), &planted, strict, e, err));
    EXPECT_EQ(e.sites.trueMatched, 0);
}

// A reverse-strand site is reported at its leftmost base like the truth; its strand
// agrees when it matches the orientation of the learned matrix against the planted one.
TEST(Eval, ReverseStrandPredictionIsMatched) {
    std::vector<MotifMatrix> planted = {Planted()};
    Evaluation e;
    std::string err;
    // Learned in the planted orientation: the call must read on the reverse strand.
    ASSERT_TRUE(Evaluate(OneSiteTruth(-1), OneSiteReport(20, -1, Planted()), &planted, {}, e, err)) << err;
    EXPECT_DOUBLE_EQ(e.sites.F1(), 1.0);
    EXPECT_DOUBLE_EQ(e.siteBases.F1(), 1.0);
    EXPECT_EQ(e.motifs[0].match.strand, 1);
    EXPECT_EQ(e.motifs[0].strandAgree, 1);
    // Learned as the reverse complement: the same site reads on the given strand of it.
    ASSERT_TRUE(Evaluate(OneSiteTruth(-1), OneSiteReport(20, 1, ReverseComplement(Planted())), &planted, {}, e, err));
    EXPECT_EQ(e.motifs[0].match.strand, -1);
    EXPECT_EQ(e.motifs[0].strandAgree, 1);
    EXPECT_DOUBLE_EQ(e.motifs[0].sites.F1(), 1.0);
    // A call in the wrong orientation still matches by position, but not by strand.
    ASSERT_TRUE(Evaluate(OneSiteTruth(-1), OneSiteReport(20, 1, Planted()), &planted, {}, e, err));
    EXPECT_DOUBLE_EQ(e.sites.F1(), 1.0);
    EXPECT_EQ(e.motifs[0].strandAgree, 0);
}

TEST(Eval, CallsOutsideTheTruthAreRejected) {
    std::string err;
    Evaluation e;
    RunReport r = OneSiteReport(95, 1, Planted());  // runs past base 99
    EXPECT_FALSE(Evaluate(OneSiteTruth(1), r, nullptr, {}, e, err));
    EXPECT_NE(err.find("does not fit the truth"), std::string::npos) << err;
    // The aligned scan of truth group 3: the report's group 0 is group 3.
    TruthTable t = OneSiteTruth(1);
    for (auto* v : {&t.sequences, &t.sites, &t.modules})
        for (Interval& x : *v) x.group = 3;
    EvalSettings scan;
    scan.scanGroup = 3;
    ASSERT_TRUE(Evaluate(t, OneSiteReport(20, 1, Planted()), nullptr, scan, e, err)) << err;
    EXPECT_DOUBLE_EQ(e.sites.F1(), 1.0);
    EXPECT_FALSE(e.motifsCompared);
}

// End to end: the simulated truth written as a report in the program's layout scores
// perfectly, through the library and through the serevan-eval binary.
TEST(Eval, TruthAsPredictionScoresPerfectly) {
    ScratchDir dir;
    RunResult sim = RunTool(SEREVAN_SIM_BIN, {"--out", dir / "t", "--seed", "8", "--loss", "0.3", "--quiet"}, dir);
    ASSERT_EQ(sim.status, 0) << sim.err;
    TruthTable t;
    std::vector<MotifMatrix> planted;
    std::string err;
    ASSERT_TRUE(ReadTruth(dir / "t_truth.tsv", t, err)) << err;
    ASSERT_TRUE(ReadMotifFile(dir / "t_motifs.txt", false, planted, nullptr, err)) << err;
    std::map<std::pair<int, int>, std::string> seqs;
    auto records = ReadRecords(dir / "t.fa");
    for (std::size_t i = 0; i < records.size(); ++i)
        seqs[{static_cast<int>(i / 10), static_cast<int>(i % 10)}] = records[i].second;
    // An earlier, different run in the same file must be ignored.
    std::string earlier = ReportFromTruth(TruthTable{t.sequences, {}, {}}, planted, seqs);
    ASSERT_TRUE(WriteFile(dir / "Output.txt", earlier + ReportFromTruth(t, planted, seqs), err));

    RunReport report;
    ASSERT_TRUE(ReadLastReport(dir / "Output.txt", report, err)) << err;
    EXPECT_EQ(report.reportCount, 2);
    Evaluation e;
    ASSERT_TRUE(Evaluate(t, report, &planted, {}, e, err)) << err;
    for (const Rates* r : {&e.siteBases, &e.sites, &e.moduleBases, &e.modules}) {
        EXPECT_GT(r->trueCount, 0);
        EXPECT_DOUBLE_EQ(r->F1(), 1.0);
    }
    for (const MotifResult& m : e.motifs) {
        EXPECT_EQ(m.learned, m.planted);
        EXPECT_NEAR(m.match.score, 1.0, 1e-3);  // three decimals in the report
        EXPECT_DOUBLE_EQ(m.sites.F1(), 1.0);
        EXPECT_EQ(m.strandAgree, m.sites.trueCount);
    }
    RunResult r = RunTool(SEREVAN_EVAL_BIN, {"--sim", dir / "t", "--report", dir / "Output.txt"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Summary: sites F1 1.000 (bases 1.000), modules F1 1.000 (bases 1.000), "
                         "mean motif correlation 1.000\n"),
              std::string::npos)
        << r.out;
    RunResult j = RunTool(SEREVAN_EVAL_BIN, {"--sim", dir / "t", "--report", dir / "Output.txt", "--json"}, dir);
    ASSERT_EQ(j.status, 0) << j.err;
    EXPECT_EQ(j.out.front(), '{');
    EXPECT_NE(j.out.find("\"sites\": {\"true\": " + std::to_string(t.sites.size())), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"reports_in_file\": 2"), std::string::npos);
}

// ---- the report reader ----------------------------------------------------------------------------

namespace {

const char* const kReport =
    "Serevan (beta 1, Nov 2007)\n./Serevan -i s.fa -N 2 \nAverage likelihood=-10.0000\n"
    "Post burn-in iterations=5\n\nMotif1 not found\n"
    "Serevan (beta 1, Nov 2007)\n./Serevan -i s.fa -N 2 -P p.txt -K 2 \nAverage likelihood=-3.2500\n"
    "Post burn-in iterations=1\n\nPredicted modules:\n0\t0\t120\t152\t+2(120)-1(140)\n\n\n"
    "\nMotif1:4.5000\nA\tC\tG\tT\n0.500\t0.500\t0.000\t0.000\t\n1.000\t0.000\t0.000\t0.000\t\n"
    "\nSites:\n>0\t0\t140\t-1\t0.900\t0.800\nAC\n"
    "\nMotif2 not found\n>g0_sp0\t-3.250\n";

}  // namespace

TEST(ReportReader, ReadsTheLastRunAndStopsAtTheScoreLine) {
    std::vector<std::string> lines;
    std::istringstream in(kReport);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    RunReport r;
    std::string err;
    ASSERT_TRUE(ParseLastReport(lines, "rep", r, err)) << err;
    EXPECT_EQ(r.reportCount, 2);
    EXPECT_EQ(r.firstLine, 7);
    EXPECT_EQ(r.commandLine, "./Serevan -i s.fa -N 2 -P p.txt -K 2 ");
    EXPECT_DOUBLE_EQ(r.averageLikelihood, -3.25);
    EXPECT_EQ(r.postBurnIn, 1);
    ASSERT_EQ(r.modules.size(), 1u);
    EXPECT_EQ(r.modules[0].end, 152);
    EXPECT_EQ(r.modules[0].sites, (std::vector<std::pair<int, int>>{{2, 120}, {-1, 140}}));
    ASSERT_EQ(r.motifs.size(), 2u);
    EXPECT_TRUE(r.motifs[0].found);
    EXPECT_DOUBLE_EQ(r.motifs[0].score, 4.5);
    EXPECT_EQ(r.motifs[0].matrix.p, (std::vector<double>{0.5, 0.5, 0, 0, 1, 0, 0, 0}));
    ASSERT_EQ(r.motifs[0].sites.size(), 1u);
    EXPECT_EQ(r.motifs[0].sites[0].strand, -1);
    EXPECT_EQ(r.motifs[0].sites[0].letters, "AC");
    EXPECT_FALSE(r.motifs[1].found);
}

TEST(ReportReader, MalformedReportsNameTheLine) {
    struct Case {
        std::string from, to;  // replace in the sample report
        const char* expect;
    } cases[] = {
        {"Serevan (beta 1, Nov 2007)", "Serevan beta", "no report found"},
        {"Average likelihood=-3.2500", "Average likelihood=abc", "rep:9: malformed report: 'Average"},
        {"Post burn-in iterations=1", "Post burn-in iterations=x", "rep:10:"},
        {"+2(120)-1(140)", "+2(120)-1(", "rep:13:"},
        {"1.000\t0.000\t0.000\t0.000\t\n", "1.000\t0.000\t0.000\n", "rep:20: malformed report: a matrix row"},
        {"\nSites:\n", "\nSite:\n", "expected 'Sites:'"},
        {">0\t0\t140\t-1\t0.900\t0.800\nAC\n", ">0\t0\t140\t0\t0.900\t0.800\nAC\n", "strand (1 or -1)"},
        {">0\t0\t140\t-1\t0.900\t0.800\nAC\n", ">0\t0\t140\t-1\t0.900\t0.800\n\n", "followed by the site's letters"},
        {"Motif2 not found", "Motif3 not found", "expected motif 2 here"},
        {"\nMotif1:4.5000", "\nMotif1=4.5000", "expected 'Motif<number>:<score>'"},
        {"Motif2 not found\n", "\n", "asks for 2 motifs but the report has 1"},
        {"-K 2", "-K3", "asks for 3 motifs but the report has 2"},
    };
    for (const Case& c : cases) {
        std::string text = kReport;
        std::size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        for (; at != std::string::npos; at = text.find(c.from, at + c.to.size()))
            text.replace(at, c.from.size(), c.to);
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        RunReport r;
        std::string err;
        EXPECT_FALSE(ParseLastReport(lines, "rep", r, err)) << c.to;
        EXPECT_NE(err.find(c.expect), std::string::npos) << c.to << " -> " << err;
    }
}

TEST(EvalCli, BadInputGivesOneLineErrorAndFailure) {
    ScratchDir dir;
    ASSERT_EQ(RunTool(SEREVAN_SIM_BIN, {"--out", dir / "t", "--quiet"}, dir).status, 0);
    std::string err;
    ASSERT_TRUE(WriteFile(dir / "bad.txt", "Serevan (beta 1, Nov 2007)\nx\n", err));
    const std::vector<std::vector<std::string>> bad = {
        {"--sim", dir / "t", "--report", dir / "bad.txt"},
        {"--sim", dir / "t", "--report", dir / "missing.txt"},
        {"--truth", dir / "t_motifs.txt", "--report", dir / "bad.txt"},
        {"--sim", dir / "t"},
        {"--report", dir / "bad.txt"},
        {"--sim", dir / "t", "--report", dir / "bad.txt", "--min-overlap", "0"},
        {"--sim", dir / "nothing", "--report", dir / "bad.txt"},
        {"--frobnicate"}};
    for (const auto& args : bad) {
        RunResult r = RunTool(SEREVAN_EVAL_BIN, args, dir);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_TRUE(r.out.empty()) << args[0];
        EXPECT_EQ(r.err.rfind("serevan-eval: error: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}
