// Known-motif scanning and selection on the model: site calls, the module detail file, the
// unaligned scan's alignment choice, side files and progress, the selection's ratios.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "app/RunOutput.h"
#include "numeric/SeqMotifBasic.h"
#include "support/Model.h"

using P = CSerevanProbe;

namespace {

using support::Consensus;
using support::Fields;
using support::Lines;
using support::ReadFile;
using support::TempDir;

// A model as the scanning and selection drivers build theirs: groups of aligned rows, module
// entry 0.0005, plain motif probabilities (K + 1) and the given log matrices (uniform of
// width 8 where none is given).
std::unique_ptr<support::Model> KnownModel(const std::vector<std::vector<std::vector<std::string>>>& groups,
                                           const std::vector<double>& motifPr, std::vector<std::vector<double>> pwm,
                                           std::vector<double> scores = {})
{
    support::ModelSetup setup;
    setup.K = static_cast<int>(motifPr.size()) - 1;
    pwm.resize(setup.K, std::vector<double>(32, std::log(0.25)));
    for (const std::vector<double>& m : pwm) setup.widths.push_back(static_cast<int>(m.size() / 4));
    setup.param.nMaxIterNum = 6;
    setup.scores = scores;
    setup.start = ModelStart{pwm, {}, true, 0.0005, motifPr, 0.1, 0.02, {}, {}, {}};
    return support::GroupsModel(groups, setup);
}

// Three groups of two identical species of 120 random bases, the planted consensus at 40 and 80.
constexpr char kPlanted[] = "TGCATTAG";  // not a palindrome
std::vector<std::vector<std::vector<std::string>>> SelectionGroups()
{
    std::mt19937 rng(8);
    std::vector<std::vector<std::vector<std::string>>> groups;
    for (int g = 0; g < 3; ++g) {
        const std::string x = support::RandomDna(rng, 120).replace(40, 8, kPlanted).replace(80, 8, kPlanted);
        groups.push_back({{x, x}});
    }
    return groups;
}

// Runs the selection over named candidates; returns the result lines (after "\n\n").
std::vector<std::string> Select(CSerevan& m, const std::vector<std::vector<double>>& cand, const std::string& out)
{
    std::vector<int> widths;
    std::vector<CString> names;
    for (const std::vector<double>& x : cand) {
        widths.push_back(static_cast<int>(x.size() / 4));
        names.emplace_back(std::string("c").append(std::to_string(names.size() + 1)).c_str());
    }
    std::string failed;
    const RunResults r = m.MotifSelection(cand, widths, [](const std::string&) { return true; });
    EXPECT_TRUE(r.status.Ok() && WriteSelection(OutputNames(out), r, widths, names, failed));
    const std::string text = ReadFile(out);
    EXPECT_EQ(text.substr(0, 2), "\n\n");
    return Lines(text.substr(2));
}

}  // namespace

// The known-motif calls: a cutoff of one half whatever -p says (501 of 1000 is enough, 500
// is not), the matrix never refined, a site on the reverse strand read on its strand.
TEST(DefineScanMotifSites, HalfCutoffFixedMatrixAndStrand)
{
    for (const char* text : {"GGGGGAAGTGGGGG", "GGGGGACTTGGGGG"}) {  // ACTT: AAGT reverse-complemented
        auto t = KnownModel({{{text, text}}}, {0.01, 0.01, 0.98}, {Consensus("AAGT", 0.91), {}});
        const std::vector<double> before = P::Par(t->m).m_pPWM[0];
        P::Settings(t->m).dPostCutoff = 0.9;
        for (int j = 5; j <= 8; ++j) P::Post(t->m).m_pSiteFreq[0][0][j] = 600, P::Post(t->m).m_pSiteFreq[0][1][j] = 501;
        for (int j = 0; j <= 2; ++j) P::Post(t->m).m_pSiteFreq[0][1][j] = 500;
        P::DefineScanMotifSites(t->m, 1000);
        std::string dump;
        for (const std::vector<OUTPUTSITE>& k : P::Res(t->m).m_pOutputSite)
            for (const OUTPUTSITE& s : k)
                dump += std::to_string(s.species) + (s.strand ? "+" : "-") + std::to_string(s.position) + s.text + " " +
                        std::to_string(s.width) + " " + std::to_string(s.maxFreq).substr(0, 5) + "|";
        EXPECT_EQ(dump, text[5] == 'A' && text[6] == 'A' ? "0+5AAGT 4 0.600|1+5AAGT 4 0.501|"
                                                         : "0-5AAGT 4 0.600|1-5AAGT 4 0.501|");
        EXPECT_EQ(P::Par(t->m).m_pMotifWidth[0], 4);
        EXPECT_EQ(P::Par(t->m).m_pPWM[0], before);
        // One counting pass per motif, the linking step only where there are stretches.
        EXPECT_EQ(P::Res(t->m).debugLines, "finish counting\nfinish modifying link\nfinish counting\n");
    }
}

// The detail file: four lines per module, the conserved columns (one determined base in
// every species; not an N, not a mismatch) starred.
TEST(OutputDetailMod, FourLinesPerModuleConservedColumnsStarred)
{
    support::ModelSetup setup;
    setup.widths = {10};
    setup.param.bBothStrands = false;
    //                                0123456789012345678
    auto t = support::AlignedModel({"GGGGACNTACGTAAGGGG", "GGGGACGTTCGTAAGGGG"}, setup);
    t->groups.names[0] = ">first species";
    t->groups.names[1] = ">second";
    std::vector<std::vector<char>> marks;
    P::ConservePos(t->m, 0, 0, marks);  // every column but 6 and 8
    RunResults r;
    r.width = {10};
    r.m_pOutputSite = {{OUTPUTSITE{0, 0, true, 4, 0.973, 0, "", 10}, OUTPUTSITE{1, 0, false, 8, 0.5, 0, "", 10}}};
    // A single site of width 10: the module ends one past it; in species 1 it ends at the
    // sequence's last base, and the end lies past it.
    r.m_pModuleList = {{MODULEREGION{0, 4, 14, {1, 4}, 1}}, {MODULEREGION{0, 8, 18, {-1, 8}, 1}}};
    EXPECT_EQ(P::OutputDetailMod(t->m, r, marks),
              ">first species\t4\t14\t+1(4,0.97,0.80)\n"
              "ACNTACGTAAG\n"
              "---------- \n"
              "** * ******\n"
              ">second\t8\t18\t-1(8,0.50,0.90)\n"
              "TCGTAAGGGG\n"
              "----------\n"
              " *********\n");
}

TEST(ScanSitePr, ExpectedSitesPerModuleBecomePerPositionProbabilities)
{
    std::vector<double> pr{2, 2, 2}, full{100, 100}, over{150, 100};  // full: the module background would be 0
    ASSERT_TRUE(CSerevan::ScanSitePr(pr, 200));
    ASSERT_EQ(pr.size(), 4u);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(pr[k], k < 3 ? 0.01 : 0.97, 1e-15);
    EXPECT_FALSE(CSerevan::ScanSitePr(full, 200) || CSerevan::ScanSitePr(over, 200));
    EXPECT_EQ(full, (std::vector<double>{100, 100}));
}

// G groups of two species, species 1 shorter by one base (its last column a gap), each
// stored three times with the given proposal scores: the best-scored alignment is used,
// the count tables are padded with 0 past a sequence's end, and a progress line follows
// every tenth group. The calls and the report, run again by a fresh model on the count
// tables read back from the files, give the same files.
TEST(UnalignedScan, BestAlignmentSideFilesProgressAndCallsOnLoadedCounts)
{
    TempDir dir("uscan");
    std::mt19937 rng(7);
    auto groups = [&](int G) {
        std::vector<std::vector<std::vector<std::string>>> out;
        for (int g = 0; g < G; ++g) {
            const std::string x = support::RandomDna(rng, 20 + g), y = x.substr(0, 19 + g) + "-";
            out.push_back({{x, y}, {x, y}, {x, y}});
        }
        return out;
    };
    // Alignment 1 of each group scores 5 above the others; motif 0 is planted's matrix.
    const auto three = groups(3);
    const std::vector<std::vector<double>> pwm{Consensus("TGCA", 0.7), {}};
    const std::vector<double> scores{0, -5, 0, 0, -5, 0, 0, -5, 0};
    auto t = KnownModel(three, {0.05, 0.01, 0.94}, pwm, scores);
    const OutputNames names(dir.File("u.txt")), again(dir.File("again.txt"));
    std::string failed;
    CRandomStream calls(99), callsAgain(99);
    SeedRandom(12);
    t->m.SetCallStream(calls);
    testing::internal::CaptureStdout();
    const RunResults r = t->m.GibbsScanUnalign(InfoWriter(names, failed));
    ASSERT_TRUE(r.status.Ok() && WriteRun(names, RunKind::UnalignedScan, r, failed));
    EXPECT_EQ(P::CurAlign(t->m), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(P::Par(t->m).m_pMotifWidth[0], 4);            // the widths never move
    EXPECT_FALSE(support::Exists(dir.File("u.txt.info")));  // fewer than ten groups
    // margcons: one field per species-0 position of every group (20 + 21 + 22), each a
    // count of samples in which it was aligned: all 6, but the last base of each group.
    std::string cons;
    for (int i = 0; i < 63; ++i) cons.append(i == 19 || i == 40 || i == 62 ? "0\t" : "6\t");
    EXPECT_EQ(ReadFile(dir.File("u.txtmargcons.txt")), cons + "\n");
    // The count tables: species-major, 22 fields (the longest sequence), 0 past the end.
    for (const char* name : {"margmodule", "margAlign", "margmotif1", "margmotif2"}) {
        const std::vector<std::string> rows = Lines(ReadFile(dir.File(std::string("u.txt") + name + ".txt")));
        ASSERT_EQ(rows.size(), 6u) << name;
        for (int row = 0; row < 6; ++row) {
            const std::vector<std::string> f = Fields(rows[row]);
            ASSERT_EQ(f.size(), 23u) << name << ", row " << row;
            for (int j = t->Len(row); j < 22; ++j) EXPECT_EQ(f[j], "0") << name << ", row " << row << ", field " << j;
        }
    }
    EXPECT_EQ(Fields(Lines(ReadFile(dir.File("u.txtmargAlign.txt")))[3])[0], "6");
    EXPECT_NE(ReadFile(dir.File("u.txt")).find("\nAverage likelihood=0.0000\nPost burn-in iterations=6\n"),
              std::string::npos);
    // The calls again, by a model that never sampled, on the tables read back.
    auto fresh = KnownModel(three, {0.05, 0.01, 0.94}, pwm, scores);
    PosteriorSums loaded = ScanSums(fresh->groups, {4, 8}, 6);
    std::string err;
    ASSERT_TRUE(ReadScanTables(names, fresh->groups, 0, 3, loaded, err)) << err;
    fresh->m.SetCallStream(callsAgain);
    const RunResults replay = fresh->m.CallAndReport(std::move(loaded), CallPlan{6, 6, false});
    ASSERT_TRUE(WriteRun(again, RunKind::UnalignedScan, replay, failed));
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(r.m_pOutputSite[0].empty());  // the comparison below covers called sites
    for (const std::string suffix : {"", "margcons.txt", "margmodule.txt", "margAlign.txt", "margmotif1.txt",
                                     "margmotif2.txt", "module.txt", "motif1.txt", "motif2.txt"})
        EXPECT_EQ(ReadFile(names.report + suffix), ReadFile(again.report + suffix)) << suffix;
    auto ten = KnownModel(groups(10), {0.01, 0.99}, {});
    const OutputNames tenNames(dir.File("ten.txt"));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ten->m.GibbsScanUnalign(InfoWriter(tenNames, failed)).status.Ok());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadFile(dir.File("ten.txt.info")), "Iteration 11\n");
}

// The ratio against two models built directly, the candidate in the slot and no motif there;
// the candidate follows a decoy and precedes its own copy (ties go to the earlier candidate).
// With K = 1 the slot is motif 0, which the base model has just set to log zero: it must
// get the probability motif 0 had before. With K = 2 it takes motif 0's probability (0.02),
// not its own (0.01).
TEST(MotifSelection, RatioMatchesModelsBuiltDirectly)
{
    TempDir dir("select");
    const std::vector<double> uniform(32, std::log(0.25)), planted = Consensus(kPlanted, 0.85);
    // Probabilities of the model, of the model with the candidate, of the one without; their matrices.
    using Matrices = std::vector<std::vector<double>>;
    const std::tuple<std::vector<double>, std::vector<double>, std::vector<double>, Matrices, Matrices> cases[] = {
        {{0.01, 0.99}, {0.01, 0.99}, {0.0, 1.0}, {planted}, {planted}},
        {{0.02, 0.01, 0.97}, {0.02, 0.02, 0.96}, {0.02, 0.0, 0.98}, {uniform, planted}, {uniform, uniform}},
    };
    for (const auto& [pr, withPr, withoutPr, withPwm, withoutPwm] : cases) {
        const auto groups = SelectionGroups();
        auto m = KnownModel(groups, pr, {});
        const std::vector<std::string> r =
            Select(m->m, {Consensus("ACGTTGCA", 0.85), planted, planted}, dir.File("s.txt"));
        std::remove(dir.File("s.txt").c_str());
        auto with = KnownModel(groups, withPr, withPwm);
        auto without = KnownModel(groups, pr, withoutPwm);
        without->SetMotifPr(withoutPr);
        double expected = 0;  // the forward log-likelihoods of all groups, nothing drawn
        P::MSBuildBackground(with->m);
        P::MSBuildBackground(without->m);
        for (int g = 0; g < 3; ++g)
            expected += P::SampleSeqGivenPath(with->m, g, -1) - P::SampleSeqGivenPath(without->m, g, -1);
        EXPECT_GT(expected, 10.0);                                                             // six planted sites
        EXPECT_NEAR(std::stod(Fields(r[2])[1]), expected, 1e-6 + 1e-9 * std::fabs(expected));  // "%f": six decimals
        EXPECT_EQ(Fields(r[3])[1], Fields(r[2])[1]);
        EXPECT_EQ(r[0], "Max LLR motif = 2 c2");
    }
}
