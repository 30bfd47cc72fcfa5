// The de novo run end to end: planted modules are recovered, a set without modules yields
// (almost) no calls, repeated runs append, and a fixed seed reproduces every file byte for
// byte, the log included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/MultiChain.h"
#include "support/Support.h"

namespace {

using support::kBin;
using support::Listing;
using support::ReadFile;
using support::RunCommand;
using support::TempDir;

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Simulates a small set: 3 species, 6 groups of 250 bases, 2 motifs.
void Simulate(const TempDir& dir, const std::string& prefix, unsigned seed, const std::string& extra = "")
{
    auto r = RunCommand(support::kSim + " --out " + prefix + " --seed " + std::to_string(seed) +
                            " --groups 6 --length 250 --motifs 2 --module-length 120 --quiet " + extra,
                        dir.Path().string());
    ASSERT_EQ(r.status, 0) << r.error;
}

}  // namespace

// Thresholds from ten seeds of this set with -n 300: site F1 0.89 to 1.00 (mean 0.97) and
// every planted motif matched with a column correlation of 0.97 to 0.99. A sampler that
// places sites at random reaches neither (F1 near 0, correlation near 0.5). The negative
// control, a set without modules (seed + 1), called no site at all in five seeds.
TEST(DeNovoRunStat, RecoversPlantedMotifsAndSitesAndFewInANegativeControl)
{
    support::TestSeed seed(1);
    TempDir dir("denovo");
    for (unsigned s : {seed.value(), seed.value() + 1, seed.value() + 2}) {
        const bool control = s == seed.value() + 1;
        const std::string set = std::string("s").append(std::to_string(s)), out = set + "_run.txt";
        Simulate(dir, set, s, control ? "--module-fraction 0" : "");
        auto run = RunCommand(kBin + " -i " + set + ".fa -N 3 -K 2 -n 300 -S " + std::to_string(s) + " -o " + out,
                              dir.Path().string());
        ASSERT_EQ(run.status, 0) << run.output;
        if (control) {
            EXPECT_LE(Count(ReadFile(dir.File(out)), "\n>"), 3) << ReadFile(dir.File(out));
            continue;
        }
        auto eval = RunCommand(support::kEval + " --sim " + set + " --report " + out + " --json", dir.Path().string());
        ASSERT_EQ(eval.status, 0) << eval.error;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(eval.output, m, std::regex("\"sites\": \\{[^}]*\"f1\": ([0-9.]+)")));
        EXPECT_GE(std::stod(m[1]), 0.8) << "seed " << s << "\n" << eval.output;
        const std::regex corr("\"correlation\": ([0-9.]+)");
        int motifs = 0;
        for (auto it = std::sregex_iterator(eval.output.begin(), eval.output.end(), corr); it != std::sregex_iterator();
             ++it, ++motifs)
            EXPECT_GE(std::stod((*it)[1]), 0.9) << "seed " << s << "\n" << eval.output;
        EXPECT_EQ(motifs, 2);
    }
}

// A run seeded from the clock prints its seed; the same input rerun with that seed in
// another directory gives byte-identical files, the command-line echo aside. -m 2 with two
// given matrices and K = 3 appends two complete reports with three motifs each, one console
// line and one position line per sequence per run; the log holds the command line and
// "Initial alignment" once, then iterations 1, 11, 21, 31 of each run.
TEST(DeNovoRun, SeedReproducesEveryFileAndTheLog)
{
    TempDir a("seed_a"), b("seed_b");
    std::string args = " -i r.fa -N 3 -K 3 -A r_motifs.txt -n 40 -m 2 -o run.txt";
    std::vector<std::string> echo;
    for (const TempDir* dir : {&a, &b}) {
        Simulate(*dir, "r", 6);
        const auto run = RunCommand(kBin + args, dir->Path().string());
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(Count(run.output, "run.txt\t"), 2);
        echo.push_back(kBin + args + " ");
        // Off a terminal: a line at the start and end of every stage (aligning, iterations; twice
        // with -m 2), no note.
        const std::string stages =
            std::regex_replace(run.error, std::regex("stage: [a-z -]+ 1 to [0-9]+ (started|done in [0-9.]+ s)\n"), "");
        EXPECT_EQ(Count(run.error, "\n") - Count(stages, "\n"), 8) << run.error;
        if (dir == &b) {
            EXPECT_EQ(stages, "");
            break;
        }
        std::smatch m;  // the first run's seed came from the clock
        ASSERT_TRUE(std::regex_match(stages, m, std::regex("seed ([0-9]+) \\(rerun with -S \\1\\)\n"))) << run.error;
        args += " -S " + m[1].str();
    }
    const std::vector<std::string> files = Listing(a.Path());
    ASSERT_EQ(files, Listing(b.Path()));
    ASSERT_EQ(files.size(), 13u);
    auto unechoed = [](std::string text, const std::string& line) {
        for (size_t at; (at = text.find(line)) != std::string::npos;) text.replace(at, line.size(), "ECHO");
        return text;
    };
    for (const std::string& f : files)
        EXPECT_EQ(unechoed(ReadFile(a.File(f)), echo[0]), unechoed(ReadFile(b.File(f)), echo[1])) << f;
    EXPECT_EQ(support::Lines(ReadFile(a.File("run.txt_Pm.txt"))).size(), 36u);  // 3 species x 6 groups, per run
    const std::string report = ReadFile(a.File("run.txt"));
    for (const char* once : {"Serevan (beta 1, Nov 2007)\n", "Post burn-in iterations=20\n", "\nMotif3"})
        EXPECT_EQ(Count(report, once), 2) << once;
    const std::string iterations = "Iteration 1\nIteration 11\nIteration 21\nIteration 31\n";
    EXPECT_EQ(ReadFile(b.File("run.txt.info")),
              "Serevan (beta 1, Nov 2007)\n" + echo[1] + "\n\nInitial alignment\n" + iterations + iterations);
}

// The kept chain, on hand-made results: the most motifs whose called sites sit in a quarter of
// the groups (at least three; a group counted once whatever its species), then the highest
// log-posterior; chains whose motifs sit in one or two groups, or that found nothing, lose
// even with the higher posterior.
TEST(DeNovoRun, KeptChainHasTheMostSpreadMotifsThenTheHighestPosterior)
{
    auto chain = [](double post, const std::vector<std::vector<int>>& groupsOfMotif) {
        RunResults r;
        r.avgPost = post;
        for (const std::vector<int>& groups : groupsOfMotif) {
            r.width.push_back(2);
            r.m_pSiteMatrix.emplace_back(8, 0.25);
            r.m_pOutputSite.emplace_back();
            for (int g : groups)
                for (int species = 0; species < 3; ++species) {
                    OUTPUTSITE site;
                    site.species = species;
                    site.group = g;
                    r.m_pOutputSite.back().push_back(site);
                }
        }
        return r;
    };
    const std::vector<int> five{0, 1, 2, 3, 4}, four{5, 6, 7, 8}, two{0, 9};
    struct Case {
        int groups;
        std::vector<RunResults> runs;
        int kept;
    };
    const std::vector<Case> cases = {
        // 20 groups: five count, four do not.
        {20, {chain(-100, {two, {3}}), chain(-200, {five, {}}), chain(-300, {five, five}), chain(-50, {{}, {}})}, 2},
        {20, {chain(-300, {five, five}), chain(-250, {five, five}), chain(-100, {four, four})}, 1},
        // 16 groups: four count; 4 groups: at least three are needed, not one.
        {16, {chain(-300, {four, two}), chain(-100, {two, two})}, 0},
        {4, {chain(-300, {{0, 1, 2}, {}}), chain(-100, {{0, 1}, {3}})}, 0},
        // None spread: the posterior decides.
        {20, {chain(-300, {two, {}}), chain(-100, {{}, {}})}, 1},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<double> support;
        EXPECT_EQ(KeptChain(cases[i].runs, cases[i].groups, support), cases[i].kept) << "case " << i;
        EXPECT_EQ(support.size(), cases[i].runs.size());
    }
}

// -E starts its chain from the motifs most chains found: on hand-made chains, the motif three
// chains hold (once shifted and reverse-complemented) first and held fixed, the one two hold
// next, then one of the chance motifs, both learned; copies of a motif taken are passed
// over, the given motif (known = 1) is never a candidate, and each matrix is fitted to the
// width bounds with uniform columns.
TEST(DeNovoRun, ConsensusStartTakesTheMotifsMostChainsFound)
{
    const auto matrix = [](const std::string& word) {
        std::vector<double> p;
        for (char c : word)
            for (char b : std::string("ACGT")) p.push_back(c == b ? 0.97 : 0.01);
        return p;
    };
    const auto chain = [&](const std::vector<std::string>& words) {
        RunResults r;
        for (size_t k = 0; k < words.size(); ++k) {
            r.width.push_back(static_cast<int>(std::max<size_t>(words[k].size(), 1)));
            r.m_pSiteMatrix.push_back(matrix(words[k]));
            r.m_pOutputSite.emplace_back();
            for (int g = 0; g < (words[k].empty() ? 0 : 3); ++g) {
                OUTPUTSITE site;
                site.group = g + static_cast<int>(k);
                r.m_pOutputSite.back().push_back(site);
            }
        }
        return r;
    };
    // GTTTACATAC is TGTAAACA shifted, on the other strand; the given motif (index 0) is the
    // same in every chain.
    const std::string given = "CCCCGGGGAA";
    const std::vector<RunResults> runs = {chain({given, "ATGTAAACAA", "CAATTAATTG", "GCGCATCCTA"}),
                                          chain({given, "CAATTAATTG", "ATGTAAACAA", ""}),
                                          chain({given, "GTTTACATAC", "TCAGGACTGC", ""}), chain({given, "", "", ""})};
    std::string line;
    int held = -1;
    const ModelStart s = ConsensusStart(runs, 1, 4, 10, 14, held, line);
    const auto consensus = [](const std::vector<double>& pwm) {
        std::string text;
        for (size_t j = 0; j < pwm.size() / 4; ++j) {
            const auto best = std::max_element(pwm.begin() + 4 * j, pwm.begin() + 4 * j + 4);
            text += std::count(pwm.begin() + 4 * j, pwm.begin() + 4 * j + 4, *best) == 4 ? 'N' : "ACGT"[best - pwm.begin() - 4 * j];
        }
        return text;
    };
    ASSERT_EQ(s.pwm.size(), 3u) << line;
    EXPECT_EQ(held, 1) << line;  // 1.8 of 3 other chains reaches half; 1.2 does not
    EXPECT_EQ(consensus(s.pwm[0]), "ATGTAAACAA");
    EXPECT_EQ(consensus(s.pwm[1]), "CAATTAATTG");
    EXPECT_TRUE(consensus(s.pwm[2]) == "GCGCATCCTA" || consensus(s.pwm[2]) == "TCAGGACTGC") << line;
    // Support of the first: 1 from chain 1's copy, 0.8 from chain 2's (8 of 10 columns face
    // identical ones), 0 from chain 3.
    EXPECT_EQ(line.rfind("Chain 4 starts from the motifs the chains found: ATGTAAACAA (support 1.8, 3 groups, held) "
                         "CAATTAATTG (support 1.",
                         0),
              0u)
        << line;
    for (const std::vector<double>& pwm : s.pwm)
        for (double x : pwm) EXPECT_TRUE(std::isfinite(x));
    // Bounds: padded to 12 columns (one uniform each side), trimmed to 8 (the middle).
    EXPECT_EQ(consensus(ConsensusStart(runs, 1, 4, 12, 14, held, line).pwm[0]), "NATGTAAACAAN");
    EXPECT_EQ(consensus(ConsensusStart(runs, 1, 4, 6, 8, held, line).pwm[1]), "AATTAATT");
    EXPECT_EQ(ConsensusStart({chain({""}), chain({""})}, 0, 1, 10, 14, held, line).pwm.size(), 0u);
    EXPECT_EQ(line, "Chain 2 starts from the motifs the chains found: none\n");
    EXPECT_EQ(held, 0);
}

// -C 3: three chains, each from a stream derived from -S, run in one or two threads: the
// files are the same byte for byte (the command-line echo aside). The table has one line per
// chain with the kept one ranked first (spread motifs, then log-posterior), chains.txt holds every
// chain's report, and the run's own report is the kept chain's. (Also run under
// ThreadSanitizer: make test-tsan.)
TEST(DeNovoRun, ChainsGiveTheSameFilesInAnyNumberOfThreads)
{
    TempDir one("chains_t1"), two("chains_t2");
    // The chains with the prior on the groups a motif reaches and the starting motifs chosen
    // among word matrices as well (spread.txt).
    const std::string args = " -i r.fa -N 3 -K 2 -n 30 -C 3 -S 5 -t ";
    for (const TempDir* dir : {&one, &two}) {
        Simulate(*dir, "r", 6);
        for (const char* out : {" -o run.txt", " -y 2 -D -j 6 -E -o spread.txt"}) {
            const auto run = RunCommand(kBin + args + (dir == &one ? "1" : "2") + out, dir->Path().string());
            ASSERT_EQ(run.status, 0) << run.output;
            EXPECT_EQ(Count(run.output, ".txt\t"), 1);
        }
    }
    const std::vector<std::string> files = Listing(one.Path());
    ASSERT_EQ(files, Listing(two.Path()));
    for (const std::string& f : files) {
        const std::string a = ReadFile(one.File(f)), b = ReadFile(two.File(f));
        EXPECT_EQ(std::regex_replace(a, std::regex(" -t 1 "), " -t 2 "), b) << f;
    }
    const std::vector<std::string> table = support::Lines(ReadFile(one.File("run.txtchains.tsv")));
    ASSERT_EQ(table.size(), 4u);
    // Kept: the most motifs with sites in at least three groups (a quarter of six is less),
    // then the highest log-posterior.
    std::pair<int, double> best{-1, 0.0}, kept{-1, 0.0};
    for (size_t c = 1; c < table.size(); ++c) {
        const std::vector<std::string> f = support::Fields(table[c]);
        ASSERT_EQ(f.size(), 9u) << table[c];
        // Per motif: its consensus is "-" exactly when no group holds a site of it.
        std::istringstream motifs(f[5]), groups(f[8]);
        int spread = 0;
        for (std::string m, n; std::getline(motifs, m, ',') && std::getline(groups, n, ',');) {
            EXPECT_EQ(m == "-", n == "0") << table[c];
            spread += std::stoi(n) >= 3;
        }
        const std::pair<int, double> rank{spread, std::stod(f[3])};
        best = std::max(best, rank);
        if (f[4] == "yes") kept = rank;
    }
    EXPECT_EQ(kept, best);
    // The log (chain 0's) names the words chain 0 starts from, and -E the motifs its added
    // fourth chain holds; the table and chains.txt hold that chain too.
    const std::string info = ReadFile(one.File("spread.txt.info"));
    EXPECT_EQ(Count(info, "Start words: "), 1);
    EXPECT_EQ(Count(info, "Chain 3 starts from the motifs the chains found: "), 1);
    EXPECT_EQ(support::Lines(ReadFile(one.File("spread.txtchains.tsv"))).size(), 5u);
    EXPECT_EQ(Count(ReadFile(one.File("spread.txtchains.txt")), "Serevan (beta 1, Nov 2007)\n"), 4);
    const std::string report = ReadFile(one.File("run.txt")), all = ReadFile(one.File("run.txtchains.txt"));
    EXPECT_EQ(Count(all, "Serevan (beta 1, Nov 2007)\n"), 3);
    EXPECT_NE(all.find(report), std::string::npos);
}

// -a 8,11 with three chains: chains 0 and 2 sample with a smallest width of 8, chain 1 with 11,
// from their starting matrices on, so each chain's report is the one that chain gives in a run
// with that width as -w (the command-line echo aside), and differs from the other width's.
TEST(DeNovoRun, ChainWidthsGiveEachChainTheRunOfItsWidth)
{
    TempDir dir("chain_widths");
    Simulate(dir, "r", 7);
    const std::string args = " -i r.fa -N 3 -K 2 -n 30 -C 3 -S 5 -D -j 6 -W 12 -o ";
    for (const char* run : {"mixed.txt -a 8,11", "w8.txt -w 8", "w11.txt -w 11"})
        ASSERT_EQ(RunCommand(kBin + args + run, dir.Path().string()).status, 0) << run;
    auto chains = [&](const std::string& out) {
        std::vector<std::string> reports;
        for (const std::string& line : support::Lines(ReadFile(dir.File(out + "chains.txt")))) {
            if (line == "Serevan (beta 1, Nov 2007)") reports.emplace_back();
            if (line.find(" -o ") == std::string::npos) reports.back() += line + "\n";
        }
        return reports;
    };
    const std::vector<std::string> mixed = chains("mixed.txt"), w8 = chains("w8.txt"), w11 = chains("w11.txt");
    ASSERT_EQ(mixed.size(), 3u);
    ASSERT_EQ(w8.size(), 3u);
    ASSERT_EQ(w11.size(), 3u);
    EXPECT_EQ(mixed[0], w8[0]);
    EXPECT_EQ(mixed[1], w11[1]);
    EXPECT_EQ(mixed[2], w8[2]);
    EXPECT_NE(mixed[1], w8[1]);
    EXPECT_NE(mixed[0], w11[0]);
}

// -y: after a group's first path, every draw is judged by the prior, or taken as drawn when the
// group's kept path holds a motif whose width has changed since; the log says how many of each.
// -y 0 is the run without the prior, byte for byte.
TEST(DeNovoRun, SpreadPriorJudgesEveryLaterPathAndZeroIsOff)
{
    TempDir dir("spread");
    Simulate(dir, "r", 6);
    const std::string args = " -i r.fa -N 3 -K 2 -n 40 -S 3 -o ";
    for (const char* run : {"y.txt -y 2", "off.txt", "zero.txt -y 0"})
        ASSERT_EQ(RunCommand(kBin + args + run, dir.Path().string()).status, 0) << run;
    std::smatch m;
    const std::string info = ReadFile(dir.File("y.txt.info"));
    ASSERT_TRUE(std::regex_search(
        info, m,
        std::regex("\\nSpread prior: ([0-9]+) paths judged, ([0-9]+) rejected, ([0-9]+) taken after a width "
                   "change\\n")))
        << info;
    EXPECT_EQ(std::stoi(m[1]) + std::stoi(m[3]), 39 * 6);
    EXPECT_LE(std::stoi(m[2]), std::stoi(m[1]));
    for (const char* side : {"", "_Pm.txt", "module.txt", "motif1.txt", "motif2.txt"}) {
        const std::string off = ReadFile(dir.File(std::string("off.txt") + side)),
                          zero = ReadFile(dir.File(std::string("zero.txt") + side));
        EXPECT_EQ(std::regex_replace(off, std::regex("off\\.txt "), "zero.txt -y 0 "), zero) << side;
    }
}
