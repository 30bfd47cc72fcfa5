// Site and module calls: thresholds, stretches and their widening, the site list built from
// given placements, the end-to-end site definition, and module calls on hand-made marks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/Model.h"

namespace {

std::unique_ptr<support::Model> Build(int N, int G, const std::vector<std::string>& texts, int K,
                                      const std::vector<int>& widths)
{
    support::ModelSetup setup;
    setup.K = K;
    setup.widths = widths;
    return support::TextModel(N, G, texts, setup);
}

std::string Num(double x)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", x);
    return buf;
}

// "species/group:start-end" per stretch.
std::string Dump(const std::vector<SEQREGION>& rs)
{
    std::string s;
    for (const SEQREGION& r : rs)
        s += std::to_string(r.species) + "/" + std::to_string(r.group) + ":" + std::to_string(r.start) + "-" +
             std::to_string(r.end) + " ";
    return s;
}

// "species/group@position strand text maxFreq alignFreq" per site.
std::string Dump(const std::vector<OUTPUTSITE>& sites)
{
    std::string s;
    for (const OUTPUTSITE& x : sites)
        s += std::to_string(x.species) + "/" + std::to_string(x.group) + "@" + std::to_string(x.position) +
             (x.strand ? "+ " : "- ") + x.text + " " + Num(x.maxFreq) + " " + Num(x.alignFreq) + "; ";
    return s;
}

// "group:start-end[codes and positions]" per module.
std::string Dump(const std::vector<MODULEREGION>& ms)
{
    std::string s;
    for (const MODULEREGION& m : ms) {
        s += std::to_string(m.group) + ":" + std::to_string(m.start) + "-" + std::to_string(m.end) + "[";
        for (int v : m.site) s += " " + std::to_string(v);
        s += " ]" + std::to_string(m.siteNum) + " ";
    }
    return s;
}

// Matrix rows of four values, separated by '|'.
std::string Dump(const std::vector<double>& mat)
{
    std::string s;
    for (size_t i = 0; i < mat.size(); ++i) s += Num(mat[i]) + (i % 4 == 3 ? "|" : " ");
    return s;
}

}  // namespace

// ---------------------------------------------------------------- thresholds and stretches

TEST(CallThreshold, IntegerPartOfTimesCutoffPlusOne)
{
    EXPECT_EQ(CSerevan::CallThreshold(1, 0.5), 1);  // T = 1: a position counted once qualifies
    EXPECT_EQ(CSerevan::CallThreshold(1000, 0.5), 501);
    EXPECT_EQ(CSerevan::CallThreshold(7, 0.9), 7);  // int(6.3) + 1
    EXPECT_EQ(CSerevan::CallThreshold(5, 0.0), 1);
    EXPECT_EQ(CSerevan::CallThreshold(0, 0.5), INT_MAX);  // no samples: nothing qualifies
}

TEST(FindStretches, RunsGiveStartAndOnePastTheirLastPositionOrTheLastPosition)
{
    struct Case {
        std::vector<int> counts;
        int t;
        std::string stretches;
    };
    const Case cases[] = {
        {{0, 2, 2, 0, 0, 3, 1, 0, 0, 5}, 2, "1/4:1-3 1/4:5-6 "},  // a run begun at the last position gives none
        {{0, 0, 0, 4, 4}, 4, "1/4:3-4 "},                         // reaching the end: closes at L - 1
        {{9, 9, 9}, 1, "1/4:0-2 "},
        {{9}, 1, ""},
        {{}, 1, ""},
    };
    for (const Case& c : cases) {
        std::vector<SEQREGION> out;
        CSerevan::FindStretches(c.counts, c.t, 1, 4, out);
        EXPECT_EQ(Dump(out), c.stretches) << c.counts.size();
    }
}

TEST(WidenStretch, WidensSymmetricallyClampsAndTakesTheOtherSide)
{
    struct Case {
        int start, end, W, L;
        bool ok;
        std::string widened;
    };
    const Case cases[] = {
        {100, 102, 12, 500, true, "95-107"},  // 97..105 has 9 < 12: h = 1
        {50, 70, 12, 500, true, "47-73"},     // long enough after +-3
        {100, 104, 12, 500, true, "96-108"},  // 97..107 has 11 < 12: h = 0, one more each side
        {1, 10, 12, 100, true, "0-13"},       // -2..13 clamped, still W long
        {90, 99, 12, 100, true, "87-99"},     // 87..102 clamped
        {0, 2, 12, 100, true, "0-11"},        // clamps to 0..7 (8 < 12): extended to the right
        {97, 99, 12, 100, true, "88-99"},     // clamps to 92..99: extended to the left
        {2, 4, 12, 8, false, "2-4"},          // sequence shorter than the motif: unchanged
        {2, 4, 8, 8, true, "0-7"},
    };
    for (const Case& c : cases) {
        SEQREGION r;
        r.start = c.start;
        r.end = c.end;
        EXPECT_EQ(CSerevan::WidenStretch(r, c.W, c.L), c.ok) << c.start << " " << c.end;
        EXPECT_EQ(std::to_string(r.start) + "-" + std::to_string(r.end), c.widened) << c.start << " " << c.end;
    }
}

// ---------------------------------------------------------------- site list from placements

TEST(ConstructSiteLink, SitesFrequenciesMatrixAndDroppedSites)
{
    struct Place {
        int s, g, start, end, offset;
        bool strand;
    };
    struct Case {
        std::vector<Place> places;
        std::string sites, matrix;
        std::vector<std::string> warnings;
    };
    // Sites over ANNA of TTGCANNACG (slot 1) or past a sequence's end are dropped with a warning.
    const Case cases[] = {
        {{{0, 0, 1, 8, 2, true}, {1, 0, 2, 8, 1, false}, {1, 1, 0, 6, 0, true}},
         "0/0@3+ TACG 1 0.75; 1/0@3- CGTC 0.75 0.0625; 1/1@0+ CATG 1 1; ",  // CGTC: GACG on the reverse strand
         "0 0.6667 0 0.3333|0.6667 0 0.3333 0|0 0.3333 0 0.6667|0 0.3333 0.6667 0|", {}},
        {{{0, 0, 1, 8, 2, true}, {0, 1, 3, 9, 1, true}, {1, 1, 5, 9, 3, true}, {1, 1, 0, 6, 0, true}},
         "0/0@3+ TACG 1 0.75; 1/1@0+ CATG 1 1; ", "0 0.5 0 0.5|1 0 0 0|0 0.5 0 0.5|0 0 1 0|",
         {"motif sites contains N!", "Motif1, species 0, group 1, position 4", "species 1, group 1, position 8"}},
        {{{0, 1, 3, 9, 1, false}}, "", "0 0 0 0|0 0 0 0|0 0 0 0|0 0 0 0|", {"motif sites contains N!"}},
    };
    for (const Case& c : cases) {
        // N = 2, G = 2, K = 1 of width 4; slots s*G + g.
        auto b = Build(2, 2, {"ACGTACGTAA", "TTGCANNACG", "GGGGACGTCC", "CATGCATGCA"}, 1, {4});
        CSerevan& m = b->m;
        m.m_pSiteFreq[0][0] = {0, 0, 0, 1, 4, 2, 0, 0, 0, 0};
        m.m_pAlignFreq[0] = {0, 0, 0, 4, 4, 2, 2, 0, 0, 0};
        m.m_pSiteFreq[0][2] = {0, 0, 0, 2, 3, 1, 0, 0, 0, 0};
        m.m_pAlignFreq[2] = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
        m.m_pSiteFreq[0][3] = {4, 4, 4, 4, 0, 0, 0, 0, 0, 0};
        m.m_pAlignFreq[3] = {4, 4, 4, 4, 0, 0, 0, 0, 0, 0};
        std::vector<SEQREGION> stretches;
        std::vector<int> offsets;
        bool strands[4];
        for (const Place& p : c.places) {
            strands[stretches.size()] = p.strand;
            stretches.push_back({p.s, p.g, p.start, p.end});
            offsets.push_back(p.offset);
        }
        testing::internal::CaptureStderr();
        m.ConstructSiteLink(0, stretches, static_cast<int>(stretches.size()), offsets.data(), strands, 4);
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(m.m_pOutputSite.size(), 1u);
        EXPECT_EQ(Dump(m.m_pOutputSite[0]), c.sites);
        EXPECT_EQ(Dump(m.m_pSiteMatrix[0]), c.matrix);
        for (const std::string& w : c.warnings) EXPECT_NE(err.find(w), std::string::npos) << err;
    }
}

// ---------------------------------------------------------------- site definition end to end

TEST(DefineMotifSitesStat, PlantedSitesAreCalledAtTheMeanWidth)
{
    support::TestSeed seed(20240611);
    // N = 2, G = 2; the motif sits at 20 in slots 0, 1, 3 and at 0 in slot 2 (clamped stretch);
    // flanks differ so that the planted window is the only conserved site set.
    const std::string motif = "GATCCTGAAC";
    const std::string tg = "TGTGTGTGTGTGTGTGTGTG";
    auto b = Build(2, 2,
                   {std::string(20, 'A') + motif + std::string(30, 'A'), std::string(20, 'C') + motif + std::string(30, 'C'),
                    motif + std::string(50, 'T'), tg + motif + tg + tg.substr(10)},
                   1, {12});
    CSerevan& m = b->m;
    const int T = 10;
    m.m_pWidthSum[0] = 10.4 * T;  // mean width 10.4 -> W = 10
    for (int j = 0; j < 12; ++j)  // starting matrix: the motif in the first 10 of its 12 columns
        for (int x = 0; x < 4; ++x)
            m.m_pPWM[0][4 * j + x] = j < 10 ? std::log(NucleotideCode(motif[j]) == x ? 0.97 : 0.01) : std::log(0.25);
    const int plantedAt[] = {20, 20, 0, 20};
    for (int slot = 0; slot < 4; ++slot)
        for (int j = 0; j < 10; ++j) m.m_pSiteFreq[0][slot][plantedAt[slot] + j] = 6 + (j % 3);  // >= int(10 * 0.5) + 1

    m.DefineMotifSites(T);
    EXPECT_DOUBLE_EQ(m.m_pWidthSum[0], 10.4);
    EXPECT_EQ(m.m_pMotifWidth[0], 10);
    EXPECT_EQ(m.m_pPWM[0].size(), 40u);
    EXPECT_EQ(m.m_pMotifPhi[0].size(), 10u);
    EXPECT_EQ(Dump(m.m_pOutputSite[0]), "0/0@20+ " + motif + " 0.8 0; 0/1@20+ " + motif + " 0.8 0; 1/0@0+ " + motif +
                                            " 0.8 0; 1/1@20+ " + motif + " 0.8 0; ");
    for (int j = 0; j < 10; ++j) EXPECT_DOUBLE_EQ(m.m_pSiteMatrix[0][4 * j + NucleotideCode(motif[j])], 1.0) << j;
}

TEST(DefineMotifSites, OneOrTwoStretchesKeepTheWidthAndCallNothing)
{
    auto b = Build(2, 1, {std::string(40, 'A'), std::string(40, 'C')}, 2, {});
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
    EXPECT_EQ(Dump(m.m_pOutputSite[0]) + Dump(m.m_pOutputSite[1]), "");
    EXPECT_TRUE(m.m_bSitesDefined);
}

TEST(DefineMotifSites, NoSamplesCallsNothing)
{
    auto b = Build(2, 1, {"ACGTACGTAC", "ACGTACGTAC"}, 1, {});
    b->m.m_pWidthSum[0] = 7.0;
    b->m.DefineMotifSites(0);
    EXPECT_TRUE(b->m.m_pOutputSite[0].empty());
    EXPECT_DOUBLE_EQ(b->m.m_pWidthSum[0], 7.0);
    b->m.DetermineModule(0);
    ASSERT_EQ(b->m.m_pModuleList.size(), 2u);
    EXPECT_TRUE(b->m.m_pModuleList[0].empty());
    // A second call is an internal error; its message goes to standard output, routed to
    // standard error for the matcher.
    EXPECT_EXIT((dup2(2, 1), b->m.DefineMotifSites(1)), testing::ExitedWithCode(255), "m_pOutputSite wrong!");
}

// ---------------------------------------------------------------- modules

TEST(DetermineModule, ModulesFromHandMadeMarks)
{
    // N = 2, G = 1, K = 2 of widths 4 and 6; T = 2, p = 0.5: threshold 2.
    auto b = Build(2, 1, {std::string(80, 'A'), std::string(80, 'C')}, 2, {4, 6});
    CSerevan& m = b->m;
    auto site = [](int s, int pos, bool strand) { return OUTPUTSITE{s, 0, strand, pos, 0, 0, "", 0}; };
    m.m_pOutputSite = {{site(0, 12, true), site(0, 28, true), site(0, 40, true), site(1, 60, true)},
                       {site(0, 20, false), site(0, 40, true)}};
    m.m_bSitesDefined = true;
    for (int j = 10; j < 30; ++j) m.m_pModuleFreq[0][j] = 2;  // stretch 10..30
    for (int j = 38; j < 44; ++j) m.m_pModuleFreq[0][j] = 3;  // stretch 38..44
    for (int j = 50; j < 56; ++j) m.m_pModuleFreq[0][j] = 2;  // stretch 50..56, no site start inside
    for (int j = 61; j < 70; ++j) m.m_pModuleFreq[1][j] = 2;  // the site at 60 starts before the stretch

    m.DetermineModule(2);
    ASSERT_EQ(m.m_pModuleList.size(), 2u);
    // The first module ends with the site at 28 of width 4; in the second, motif 2 (width 6)
    // overwrote motif 1 at 40.
    EXPECT_EQ(Dump(m.m_pModuleList[0]), "0:12-32[ 1 12 -2 20 1 28 ]3 0:40-46[ 2 40 ]1 ");
    EXPECT_EQ(Dump(m.m_pModuleList[1]), "");
}
