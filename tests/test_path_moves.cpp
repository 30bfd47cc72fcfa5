// Path moves: module states on the current alignment, the Metropolis-Hastings switch
// between stored alignments, the best stored alignment and fresh proposals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "align/AlignPath.h"
#include "align/MultiAlign.h"
#include "app/InputParameter.h"
#include "app/SeqFile.h"
#include "model/Serevan.h"
#include "numeric/StochasticDistribution.h"

namespace {

// One group of two species whose A stored alignments are given as aligned row pairs (every
// pair must spell the same two sequences).
class MoveModel {
public:
    CSerevan m;
    std::vector<ALIGNPATH> paths;
    std::vector<double> scores;
    std::vector<int> info;
    std::vector<std::vector<int>> seq;
    std::vector<int> len;
    std::vector<int*> seqPtr;
    std::vector<CString> names{CString("a"), CString("b")};
    std::vector<int> templ;
    int* templPtr = nullptr;
    int templLen = 0;

    explicit MoveModel(const std::vector<std::pair<std::string, std::string>>& alignments)
    {
        const int A = static_cast<int>(alignments.size());
        paths.resize(A);
        scores.assign(A, 0.0);
        info.assign(3 * A, 0);
        for (int j = 0; j < A; ++j) {
            std::vector<std::vector<int>> rows(2);
            for (char c : alignments[j].first) rows[0].push_back(NucleotideCode(c));
            for (char c : alignments[j].second) rows[1].push_back(NucleotideCode(c));
            std::vector<std::vector<int>> s;
            std::vector<int> l;
            EXPECT_TRUE(AlignmentToPath(rows, 2, paths[j], l, s));
            if (j == 0) {
                seq = s;
                len = l;
            } else {
                EXPECT_EQ(s, seq) << "alignment " << j << " spells other sequences";
            }
        }
        for (auto& x : seq) seqPtr.push_back(x.data());
        templ = seq[0];
        templPtr = templ.data();
        templLen = static_cast<int>(templ.size());
        INPUTPARAMETER p;
        p.nSpeciesNum = 2;
        p.nMotifNum = 1;
        m.SetProgramParam(&p);
        m.InitialSeq(2, 1, seqPtr.data(), len.data(), names.data(), &templPtr, &templLen);
        int width = 2;
        m.Initialize(&width);
        m.InitialParameter(nullptr, nullptr);
        m.MSBuildBackground();
        m.GetAlignPath(paths.data(), scores.data(), info.data(), A);
    }

    // Forward log-likelihood of stored alignment j (no draw).
    double Forward(int j)
    {
        const int keep = m.m_pCurAlign[0];
        m.m_pCurAlign[0] = j;
        const double F = m.SampleSeqGivenPath(0, 0);
        m.m_pCurAlign[0] = keep;
        return F;
    }
};

const std::vector<std::pair<std::string, std::string>> kTwoAlignments = {
    {"ACGTAC-", "AC-TACG"},
    {"ACGTAC", "ACTACG"},
};

}  // namespace

TEST(PathMoves, ForwardOnlyDrawsNothingAndRepeatsDrawMore)
{
    MoveModel mm(kTwoAlignments);
    SeedRandom(11);
    const double F = mm.Forward(0);
    const int next = RandomInt();
    SeedRandom(11);
    EXPECT_EQ(RandomInt(), next) << "a forward-only call must not draw";
    EXPECT_LT(F, 0.0);
    EXPECT_DOUBLE_EQ(mm.m.CalFSGivenPath(0, 0), F);

    // Each backward sample sees every species position once, as a motif site, a module
    // background position or a background position: the counts grow by sample.
    SeedRandom(12);
    mm.m.ClearSuffStat();
    EXPECT_DOUBLE_EQ(mm.m.SampleSeqGivenPath(0, 5), F);
    double closing = mm.m.m_dTranCount[0][0] + mm.m.m_dTranCount[1][0];
    EXPECT_GE(closing, 5.0) << "every backward pass adds one closing transition";
}

TEST(PathMoves, FindOptPathTakesTheBestCorrectedLikelihoodAndTheFirstOfTies)
{
    MoveModel mm({kTwoAlignments[0], kTwoAlignments[1], kTwoAlignments[0]});
    const double F0 = mm.Forward(0), F1 = mm.Forward(1);
    ASSERT_NE(F0, F1);
    // Scores that make every corrected likelihood equal: the first wins.
    mm.scores = {F0, F1, F0};
    EXPECT_EQ(mm.m.FindOptPath(0), 0);
    // Raise alignment 2 by a hair: it wins; the current alignment is left alone.
    mm.scores[2] = F0 - 1e-6;
    mm.m.m_pCurAlign[0] = 1;
    EXPECT_EQ(mm.m.FindOptPath(0), 2);
    EXPECT_EQ(mm.m.m_pCurAlign[0], 1);
}

TEST(PathMoves, MetropolisHastingsStationaryRatio)
{
    // Two stored alignments whose corrected likelihoods differ by delta = 1: the chain that
    // always proposes the other alignment accepts 0 -> 1 always and 1 -> 0 with e^-1, so it
    // spends e/(1+e) = 0.731 of its time on alignment 1. Two-state chain with switching
    // probabilities a = 1, b = e^-1: variance of the time average pi0 pi1 (1+l)/(1-l)/n with
    // l = 1-a-b, i.e. sd 0.0021 for n = 20000; 5 sd = 0.011.
    MoveModel mm(kTwoAlignments);
    const double delta = 1.0;
    const double F0 = mm.Forward(0), F1 = mm.Forward(1);
    mm.scores = {F0, F1 - delta};
    SeedRandom(2026);
    const int n = 20000;
    int onOne = 0, accepted = 0;
    for (int i = 0; i < n; ++i) {
        mm.m.ClearSuffStat();
        const int before = mm.m.m_pCurAlign[0];
        const double F = mm.m.SampleSeqPathMH(0, 1 - before);
        const int after = mm.m.m_pCurAlign[0];
        EXPECT_DOUBLE_EQ(F, after == 0 ? F0 : F1) << "returns the kept alignment's uncorrected likelihood";
        accepted += after != before;
        onOne += after;
    }
    EXPECT_NEAR(static_cast<double>(onOne) / n, std::exp(delta) / (1 + std::exp(delta)), 0.011) << "seed 2026";
    EXPECT_GT(accepted, 0);
}

TEST(PathMoves, ProposalAboveTheCurrentIsTakenWithoutADraw)
{
    MoveModel mm(kTwoAlignments);
    const double F0 = mm.Forward(0), F1 = mm.Forward(1);
    mm.scores = {F0, F1 - 5.0};  // delta = 5 > 0
    SeedRandom(5);
    mm.m.ClearSuffStat();
    // Reference: the same backward pass on alignment 1 with the same stream.
    MoveModel ref(kTwoAlignments);
    ref.m.m_pCurAlign[0] = 1;
    SeedRandom(5);
    ref.m.ClearSuffStat();
    ref.m.SampleSeqGivenPath(0);
    const int refNext = RandomInt();
    SeedRandom(5);
    mm.m.SampleSeqPathMH(0, 1);
    EXPECT_EQ(mm.m.m_pCurAlign[0], 1);
    EXPECT_EQ(RandomInt(), refNext) << "an accepted uphill move draws no uniform";
    // At -300 or below the proposal is refused without a draw.
    mm.m.m_pCurAlign[0] = 0;
    mm.scores = {F0, F1 + 300.0};
    SeedRandom(5);
    MoveModel ref0(kTwoAlignments);
    SeedRandom(5);
    ref0.m.SampleSeqGivenPath(0);
    const int refNext0 = RandomInt();
    SeedRandom(5);
    mm.m.SampleSeqPathMH(0, 1);
    EXPECT_EQ(mm.m.m_pCurAlign[0], 0);
    EXPECT_EQ(RandomInt(), refNext0);
}

TEST(PathMoves, GenAlignGivenPhiKeepsTheCurrentInSlotZeroAndRedrawsTheRest)
{
    MoveModel mm({kTwoAlignments[0], kTwoAlignments[1], kTwoAlignments[0], kTwoAlignments[1]});
    mm.info = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    mm.m.m_pCurAlign[0] = 3;
    const std::vector<int> lastPos = mm.paths[3].back().pos;
    const int nodes3 = PathNodeNum(mm.paths[3]);
    SeedRandom(77);
    mm.m.GenAlignGivenPhi(0);
    EXPECT_EQ(mm.m.m_pCurAlign[0], 0);
    EXPECT_EQ(PathNodeNum(mm.paths[0]), nodes3) << "the current path moved to slot 0";
    EXPECT_EQ(mm.paths[0].back().pos, lastPos);
    EXPECT_EQ(std::vector<int>(mm.info.begin(), mm.info.begin() + 3), (std::vector<int>{10, 11, 12}));
    // Re-scored with one value per class: identities L[0][0], transversions L[0][1],
    // transitions L[0][2], L = m_dBgSubst - ln 0.25.
    const double l = std::log(0.25);
    const double expect =
        12 * (mm.m.m_dBgSubst[0][0] - l) + 11 * (mm.m.m_dBgSubst[0][1] - l) + 10 * (mm.m.m_dBgSubst[0][2] - l);
    EXPECT_NEAR(mm.scores[0], expect, 1e-12);
    // Slots 1..3 are fresh alignments of the same sequences with their own counts.
    for (int j = 1; j < 4; ++j) {
        ASSERT_GE(PathNodeNum(mm.paths[j]), 2);
        EXPECT_EQ(mm.paths[j].back().pos, (std::vector<int>{mm.len[0], mm.len[1]}));
        const int* c = &mm.info[3 * j];
        EXPECT_GE(c[0] + c[1] + c[2], 1);
        EXPECT_LE(c[0] + c[1] + c[2], mm.len[1]);
        EXPECT_TRUE(std::isfinite(mm.scores[j]));
    }
}
