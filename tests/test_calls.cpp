// Site and module calls: thresholds, stretches and their widening, the site list built from
// given placements, the end-to-end site definition, and module calls on hand-made marks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "built_model.h"
#include "model/Serevan.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

namespace {

int Code(char c) { return serevan::BaseCode(c); }

using testmodel::Built;

// texts in slot order s*G + g; widths empty for the default width.
std::unique_ptr<Built> BuildModel(int N, int G, const std::vector<std::string>& texts, int K,
                                  const std::vector<int>& widths, double cutoff = 0.5)
{
    INPUTPARAMETER param;
    param.dPostCutoff = cutoff;
    param.strOutputFile = "unused";
    return testmodel::Build(N, G, texts, K, widths, param);
}

std::string Repeat(const std::string& unit, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i) s += unit;
    return s;
}

}  // namespace

// ---------------------------------------------------------------- thresholds and stretches

TEST(CallThreshold, IntegerPartOfTimesCutoffPlusOne)
{
    EXPECT_EQ(CSerevan::CallThreshold(1, 0.5), 1);  // T = 1: a position counted once qualifies
    EXPECT_EQ(CSerevan::CallThreshold(1000, 0.5), 501);
    EXPECT_EQ(CSerevan::CallThreshold(100, 0.5), 51);
    EXPECT_EQ(CSerevan::CallThreshold(7, 0.9), 7);   // int(6.3) + 1
    EXPECT_EQ(CSerevan::CallThreshold(5, 0.0), 1);
    EXPECT_EQ(CSerevan::CallThreshold(0, 0.5), INT_MAX);  // no samples: nothing qualifies
}

TEST(FindStretches, RunsGiveStartAndOnePastTheirLastPosition)
{
    //                        0  1  2  3  4  5  6  7  8  9
    const std::vector<int> c{0, 2, 2, 0, 0, 3, 1, 0, 0, 5};
    std::vector<SEQREGION> out;
    CSerevan::FindStretches(c, 2, 1, 4, out);
    ASSERT_EQ(out.size(), 2u);  // the run at the last position gives none
    EXPECT_EQ(out[0].species, 1);
    EXPECT_EQ(out[0].group, 4);
    EXPECT_EQ(out[0].start, 1);
    EXPECT_EQ(out[0].end, 3);
    EXPECT_EQ(out[1].start, 5);
    EXPECT_EQ(out[1].end, 6);
}

TEST(FindStretches, RunReachingTheEndClosesAtTheLastPosition)
{
    std::vector<SEQREGION> out;
    CSerevan::FindStretches({0, 0, 0, 4, 4}, 4, 0, 0, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].start, 3);
    EXPECT_EQ(out[0].end, 4);

    out.clear();
    CSerevan::FindStretches({9, 9, 9}, 1, 0, 0, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].start, 0);
    EXPECT_EQ(out[0].end, 2);

    out.clear();
    CSerevan::FindStretches({9}, 1, 0, 0, out);  // one position: it is the last one
    CSerevan::FindStretches({}, 1, 0, 0, out);
    EXPECT_TRUE(out.empty());
}

TEST(WidenStretch, ShortStretchIsWidenedSymmetrically)
{
    SEQREGION r;
    r.start = 100;
    r.end = 102;
    ASSERT_TRUE(CSerevan::WidenStretch(r, 12, 500));  // 97..105 has 9 < 12: h = 1
    EXPECT_EQ(r.start, 95);
    EXPECT_EQ(r.end, 107);

    r.start = 50;
    r.end = 70;
    ASSERT_TRUE(CSerevan::WidenStretch(r, 12, 500));  // long enough after +-3
    EXPECT_EQ(r.start, 47);
    EXPECT_EQ(r.end, 73);

    r.start = 100;
    r.end = 104;  // 97..107 has 11 < 12: h = 0, one more on each side
    ASSERT_TRUE(CSerevan::WidenStretch(r, 12, 500));
    EXPECT_EQ(r.start, 96);
    EXPECT_EQ(r.end, 108);
}

TEST(WidenStretch, ClampsAtBothEndsOfTheSequence)
{
    SEQREGION r;
    r.start = 1;
    r.end = 10;  // -2..13 clamped to 0..13, still at least W long
    ASSERT_TRUE(CSerevan::WidenStretch(r, 12, 100));
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.end, 13);

    r.start = 90;
    r.end = 99;  // 87..102 clamped to 87..99
    ASSERT_TRUE(CSerevan::WidenStretch(r, 12, 100));
    EXPECT_EQ(r.start, 87);
    EXPECT_EQ(r.end, 99);
}

TEST(WidenStretch, ClampedSegmentShorterThanTheMotifTakesTheOtherSide)
{
    // 0..2 widens to -5..7 and clamps to 0..7 (8 < 12 positions): extended to 0..11.
    SEQREGION r;
    r.start = 0;
    r.end = 2;
    ASSERT_TRUE(CSerevan::WidenStretch(r, 12, 100));
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.end, 11);

    // 97..99 widens to 92..104 and clamps to 92..99: extended to 88..99.
    r.start = 97;
    r.end = 99;
    ASSERT_TRUE(CSerevan::WidenStretch(r, 12, 100));
    EXPECT_EQ(r.start, 88);
    EXPECT_EQ(r.end, 99);

    // A sequence shorter than the motif cannot hold a site.
    r.start = 2;
    r.end = 4;
    EXPECT_FALSE(CSerevan::WidenStretch(r, 12, 8));
    EXPECT_EQ(r.start, 2);
    EXPECT_EQ(r.end, 4);
    EXPECT_TRUE(CSerevan::WidenStretch(r, 8, 8));
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.end, 7);
}

// ---------------------------------------------------------------- site list from placements

class ConstructSiteLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // N = 2, G = 2, K = 1 of width 4; slots s*G + g.
        b = BuildModel(2, 2, {"ACGTACGTAA", "TTGCANNACG", "GGGGACGTCC", "CATGCATGCA"}, 1, {4});
        CSerevan& m = b->m;
        m.m_pSiteFreq[0][0] = {0, 0, 0, 1, 4, 2, 0, 0, 0, 0};
        m.m_pAlignFreq[0] = {0, 0, 0, 4, 4, 2, 2, 0, 0, 0};
        m.m_pSiteFreq[0][2] = {0, 0, 0, 2, 3, 1, 0, 0, 0, 0};
        m.m_pAlignFreq[2] = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
        m.m_pSiteFreq[0][3] = {4, 4, 4, 4, 0, 0, 0, 0, 0, 0};
        m.m_pAlignFreq[3] = {4, 4, 4, 4, 0, 0, 0, 0, 0, 0};
    }
    static SEQREGION Region(int s, int g, int start, int end)
    {
        SEQREGION r;
        r.species = s;
        r.group = g;
        r.start = start;
        r.end = end;
        return r;
    }
    std::unique_ptr<Built> b;
};

TEST_F(ConstructSiteLinkTest, SitesTextsFrequenciesAndMatrix)
{
    CSerevan& m = b->m;
    const std::vector<SEQREGION> stretches{Region(0, 0, 1, 8), Region(1, 0, 2, 8), Region(1, 1, 0, 6)};
    const int offsets[] = {2, 1, 0};
    const bool strands[] = {true, false, true};
    m.ConstructSiteLink(0, stretches, 3, offsets, strands, 4);

    ASSERT_EQ(m.m_pOutputSite.size(), 1u);
    const std::vector<OUTPUTSITE>& sites = m.m_pOutputSite[0];
    ASSERT_EQ(sites.size(), 3u);
    EXPECT_EQ(sites[0].species, 0);
    EXPECT_EQ(sites[0].group, 0);
    EXPECT_EQ(sites[0].position, 3);
    EXPECT_TRUE(sites[0].strand);
    EXPECT_EQ(sites[0].text, "TACG");
    EXPECT_EQ(sites[0].width, 4);
    EXPECT_DOUBLE_EQ(sites[0].maxFreq, 1.0);     // max(1, 4, 2, 0) / 4
    EXPECT_DOUBLE_EQ(sites[0].alignFreq, 0.75);  // (4 + 4 + 2 + 2) / (4 * 4)

    // GACG at 3..6 read on the reverse strand; frequencies on the given strand's positions.
    EXPECT_EQ(sites[1].species, 1);
    EXPECT_EQ(sites[1].group, 0);
    EXPECT_EQ(sites[1].position, 3);
    EXPECT_FALSE(sites[1].strand);
    EXPECT_EQ(sites[1].text, "CGTC");
    EXPECT_DOUBLE_EQ(sites[1].maxFreq, 0.75);
    EXPECT_DOUBLE_EQ(sites[1].alignFreq, 1.0 / 16.0);

    EXPECT_EQ(sites[2].position, 0);
    EXPECT_EQ(sites[2].text, "CATG");
    EXPECT_DOUBLE_EQ(sites[2].maxFreq, 1.0);
    EXPECT_DOUBLE_EQ(sites[2].alignFreq, 1.0);

    // Columns of TACG, CGTC, CATG.
    const double third = 1.0 / 3.0, twoThirds = 2.0 / 3.0;
    const std::vector<double> expected{0,         twoThirds, 0,     third,      //
                                       twoThirds, 0,         third, 0,          //
                                       0,         third,     0,     twoThirds,  //
                                       0,         third,     twoThirds, 0};
    ASSERT_EQ(m.m_pSiteMatrix[0].size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(m.m_pSiteMatrix[0][i], expected[i], 1e-15) << i;
}

TEST_F(ConstructSiteLinkTest, SiteOverAnUndeterminedBaseIsDroppedWithAWarning)
{
    CSerevan& m = b->m;
    // The second placement covers ANNA of TTGCANNACG; the third lies past the sequence's end.
    const std::vector<SEQREGION> stretches{Region(0, 0, 1, 8), Region(0, 1, 3, 9), Region(1, 1, 5, 9),
                                           Region(1, 1, 0, 6)};
    const int offsets[] = {2, 1, 3, 0};
    const bool strands[] = {true, true, true, true};
    testing::internal::CaptureStderr();
    m.ConstructSiteLink(0, stretches, 4, offsets, strands, 4);
    const std::string err = testing::internal::GetCapturedStderr();

    const std::vector<OUTPUTSITE>& sites = m.m_pOutputSite[0];
    ASSERT_EQ(sites.size(), 2u);
    EXPECT_EQ(sites[0].text, "TACG");
    EXPECT_EQ(sites[1].text, "CATG");
    EXPECT_NE(err.find("motif sites contains N!"), std::string::npos) << err;
    EXPECT_NE(err.find("Motif1, species 0, group 1, position 4"), std::string::npos) << err;
    EXPECT_NE(err.find("species 1, group 1, position 8"), std::string::npos) << err;
    // The dropped sites add nothing: every column has two counts.
    EXPECT_DOUBLE_EQ(m.m_pSiteMatrix[0][4 * 0 + 1], 0.5);  // C of CATG
    EXPECT_DOUBLE_EQ(m.m_pSiteMatrix[0][4 * 0 + 3], 0.5);  // T of TACG
    EXPECT_DOUBLE_EQ(m.m_pSiteMatrix[0][4 * 1 + 0], 1.0);  // A, A
}

TEST_F(ConstructSiteLinkTest, EverySiteDroppedLeavesAnEmptyListAndZeroMatrix)
{
    CSerevan& m = b->m;
    const std::vector<SEQREGION> stretches{Region(0, 1, 3, 9)};
    const int offsets[] = {1};
    const bool strands[] = {false};
    testing::internal::CaptureStderr();
    m.ConstructSiteLink(0, stretches, 1, offsets, strands, 4);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(m.m_pOutputSite[0].empty());
    for (double v : m.m_pSiteMatrix[0]) EXPECT_EQ(v, 0.0);
}

// ---------------------------------------------------------------- site definition end to end

namespace {

// Three or more sequences with a planted 10-mer; flanks differ from sequence to sequence so
// that the planted window is the only fully conserved site set.
const std::string kMotif = "GATCCTGAAC";

}  // namespace

TEST(DefineMotifSites, PlantedSitesAreCalledAtTheMeanWidth)
{
    const unsigned seed = 20240611;
    SeedRandom(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    // N = 2, G = 2; the motif sits at 20 in slots 0, 1, 3 and at 0 in slot 2 (clamped stretch).
    const std::vector<std::string> texts{
        Repeat("A", 20) + kMotif + Repeat("A", 30),  //
        Repeat("C", 20) + kMotif + Repeat("C", 30),  //
        kMotif + Repeat("T", 50),                    //
        Repeat("TG", 10) + kMotif + Repeat("TG", 15)};
    auto b = BuildModel(2, 2, texts, 1, {12});
    CSerevan& m = b->m;
    const int T = 10;
    m.m_pWidthSum[0] = 10.4 * T;  // mean width 10.4 -> W = 10
    // Starting matrix: the motif in the first 10 of its 12 columns.
    for (int j = 0; j < 12; ++j)
        for (int x = 0; x < 4; ++x)
            m.m_pPWM[0][4 * j + x] = j < 10 ? std::log(Code(kMotif[j]) == x ? 0.97 : 0.01) : std::log(0.25);
    const int plantedAt[] = {20, 20, 0, 20};
    for (int slot = 0; slot < 4; ++slot) {
        std::vector<int>& c = m.m_pSiteFreq[0][slot];
        for (int j = 0; j < 10; ++j) c[plantedAt[slot] + j] = 6 + (j % 3);  // >= int(10 * 0.5) + 1
    }

    m.DefineMotifSites(T);

    EXPECT_DOUBLE_EQ(m.m_pWidthSum[0], 10.4);
    EXPECT_EQ(m.m_pMotifWidth[0], 10);
    EXPECT_EQ(m.m_pPWM[0].size(), 40u);
    EXPECT_EQ(m.m_pMotifPhi[0].size(), 10u);
    ASSERT_EQ(m.m_pOutputSite[0].size(), 4u);
    const int species[] = {0, 0, 1, 1}, groups[] = {0, 1, 0, 1};
    for (int i = 0; i < 4; ++i) {
        const OUTPUTSITE& site = m.m_pOutputSite[0][i];
        EXPECT_EQ(site.species, species[i]) << i;
        EXPECT_EQ(site.group, groups[i]) << i;
        EXPECT_EQ(site.position, plantedAt[i]) << i;
        EXPECT_TRUE(site.strand) << i;
        EXPECT_EQ(site.text, kMotif) << i;
        EXPECT_DOUBLE_EQ(site.maxFreq, 0.8) << i;
    }
    for (int j = 0; j < 10; ++j) EXPECT_DOUBLE_EQ(m.m_pSiteMatrix[0][4 * j + Code(kMotif[j])], 1.0) << j;
}

TEST(DefineMotifSites, OneOrTwoStretchesKeepTheWidthAndCallNothing)
{
    auto b = BuildModel(2, 1, {Repeat("ACGT", 10), Repeat("TTGCA", 8)}, 2, {});
    CSerevan& m = b->m;
    const int T = 4;
    m.m_pWidthSum[0] = 9.0 * T;
    m.m_pWidthSum[1] = 11.0 * T;
    for (int j = 5; j < 12; ++j) m.m_pSiteFreq[0][0][j] = 3;  // one stretch of motif 0
    for (int j = 2; j < 8; ++j) m.m_pSiteFreq[1][0][j] = 3;   // two of motif 1
    for (int j = 20; j < 30; ++j) m.m_pSiteFreq[1][1][j] = 4;
    for (int j = 30; j < 40; ++j) m.m_pSiteFreq[1][1][j] = 2;  // below int(4 * 0.5) + 1

    m.DefineMotifSites(T);
    EXPECT_EQ(m.m_pMotifWidth[0], 12);
    EXPECT_EQ(m.m_pMotifWidth[1], 12);
    EXPECT_DOUBLE_EQ(m.m_pWidthSum[0], 9.0);
    EXPECT_DOUBLE_EQ(m.m_pWidthSum[1], 11.0);
    ASSERT_EQ(m.m_pOutputSite.size(), 2u);
    EXPECT_TRUE(m.m_pOutputSite[0].empty());
    EXPECT_TRUE(m.m_pOutputSite[1].empty());
    EXPECT_TRUE(m.m_bSitesDefined);
}

TEST(DefineMotifSitesDeathTest, SecondCallIsAnInternalError)
{
    auto b = BuildModel(2, 1, {"ACGTACGTAC", "ACGTACGTAC"}, 1, {});
    b->m.DefineMotifSites(1);
    // The message goes to standard output; route it to standard error for the matcher.
    EXPECT_EXIT(
        {
            dup2(2, 1);
            b->m.DefineMotifSites(1);
        },
        testing::ExitedWithCode(255), "m_pOutputSite wrong!");
}

TEST(DefineMotifSites, NoSamplesCallsNothing)
{
    auto b = BuildModel(2, 1, {"ACGTACGTAC", "ACGTACGTAC"}, 1, {});
    b->m.m_pWidthSum[0] = 7.0;
    b->m.DefineMotifSites(0);
    EXPECT_TRUE(b->m.m_pOutputSite[0].empty());
    EXPECT_DOUBLE_EQ(b->m.m_pWidthSum[0], 7.0);
    b->m.DetermineModule(0);
    ASSERT_EQ(b->m.m_pModuleList.size(), 2u);
    EXPECT_TRUE(b->m.m_pModuleList[0].empty());
}

// ---------------------------------------------------------------- modules

namespace {

OUTPUTSITE Site(int s, int g, int pos, bool strand)
{
    OUTPUTSITE site;
    site.species = s;
    site.group = g;
    site.position = pos;
    site.strand = strand;
    return site;
}

}  // namespace

TEST(DetermineModule, ModulesFromHandMadeMarks)
{
    // N = 2, G = 1, K = 2 of widths 4 and 6; T = 2, p = 0.5: threshold 2.
    auto b = BuildModel(2, 1, {Repeat("ACGT", 20), Repeat("GTCA", 20)}, 2, {4, 6});
    CSerevan& m = b->m;
    m.m_pOutputSite.assign(2, {});
    m.m_bSitesDefined = true;
    m.m_pOutputSite[0] = {Site(0, 0, 12, true), Site(0, 0, 28, true), Site(0, 0, 40, true), Site(1, 0, 60, true)};
    m.m_pOutputSite[1] = {Site(0, 0, 20, false), Site(0, 0, 40, true)};
    std::vector<int>& f0 = m.m_pModuleFreq[0];
    for (int j = 10; j < 30; ++j) f0[j] = 2;  // stretch 10..30
    for (int j = 38; j < 44; ++j) f0[j] = 3;  // stretch 38..44
    for (int j = 50; j < 56; ++j) f0[j] = 2;  // stretch 50..56, no site start inside
    std::vector<int>& f1 = m.m_pModuleFreq[1];
    for (int j = 61; j < 70; ++j) f1[j] = 2;  // the site at 60 starts before the stretch

    m.DetermineModule(2);
    ASSERT_EQ(m.m_pModuleList.size(), 2u);
    ASSERT_EQ(m.m_pModuleList[0].size(), 2u);
    EXPECT_TRUE(m.m_pModuleList[1].empty());

    const MODULEREGION& first = m.m_pModuleList[0][0];
    EXPECT_EQ(first.group, 0);
    EXPECT_EQ(first.start, 12);
    EXPECT_EQ(first.end, 32);  // the site at 28 of width 4 ends last
    EXPECT_EQ(first.siteNum, 3);
    EXPECT_EQ(first.site, (std::vector<int>{1, 12, -2, 20, 1, 28}));

    const MODULEREGION& second = m.m_pModuleList[0][1];
    EXPECT_EQ(second.start, 40);
    EXPECT_EQ(second.end, 46);  // motif 2 (width 6) overwrote motif 1 at 40
    EXPECT_EQ(second.siteNum, 1);
    EXPECT_EQ(second.site, (std::vector<int>{2, 40}));
}
