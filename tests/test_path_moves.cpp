// Path moves: module states on the current alignment, the Metropolis-Hastings switch between
// stored alignments, the best stored alignment and fresh proposals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/Model.h"

using P = CSerevanProbe;

namespace {

using Rows = std::vector<std::string>;
const Rows kA = {"ACGTAC-", "AC-TACG"}, kB = {"ACGTAC", "ACTACG"};  // the same two sequences

// One group of two species with the given stored alignments, zero scores, species 0 lent as
// the template, one motif of width 2.
std::unique_ptr<support::Model> Moves(const std::vector<Rows>& alignments)
{
    support::ModelSetup setup;
    setup.widths = {2};
    setup.templates = true;
    setup.scores.assign(alignments.size(), 0.0);
    return support::GroupsModel({alignments}, setup);
}

// The next value of the stream after f() from seed.
const auto NextAfter = [](unsigned seed, auto f) {
    SeedRandom(seed);
    f();
    return RandomInt();
};

}  // namespace

// A forward-only call draws nothing; five backward passes close five times at least.
// Corrected likelihoods F_j - score_j: equal alignments (and equal values) give the first; a
// hair above wins; the current alignment is left alone. Fresh proposals keep the current
// alignment in slot 0, re-scored with one value per class (identities L[0][0], transversions
// L[0][1], transitions L[0][2], L = m_dBgSubst - ln 0.25), and realign the same sequences.
TEST(PathMoves, ForwardOnlyBestAlignmentFreshProposalsAndSureSwitches)
{
    auto mm = Moves({kA, kB, kA});
    mm->Refresh();
    const double F0 = mm->Forward(0), F1 = mm->Forward(1);
    ASSERT_NE(F0, F1);
    EXPECT_EQ(NextAfter(11, [&] { EXPECT_DOUBLE_EQ(P::SampleSeqGivenPath(mm->m, 0, 0), F0); }), NextAfter(11, [] {}));
    P::ClearSuffStat(mm->m);
    EXPECT_DOUBLE_EQ(P::SampleSeqGivenPath(mm->m, 0, 5), F0);
    EXPECT_GE(P::Sweep(mm->m).m_dTranCount[0][0] + P::Sweep(mm->m).m_dTranCount[1][0], 5.0);
    mm->groups.alignScore = {0, F1 - F0 + 1, 0};
    EXPECT_EQ(P::FindOptPath(mm->m, 0), 0) << "alignments 0 and 2 equal, 1 below them";
    mm->groups.alignScore = {F0, F1, F0};
    EXPECT_EQ(P::FindOptPath(mm->m, 0), 0);
    mm->groups.alignScore[2] = F0 - 1e-6;
    P::CurAlign(mm->m)[0] = 1;
    EXPECT_EQ(P::FindOptPath(mm->m, 0), 2);
    EXPECT_EQ(P::CurAlign(mm->m)[0], 1);

    mm->groups.alignInfo = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const int nodes1 = PathNodeNum(mm->groups.alignPath[1]);
    SeedRandom(77);
    P::GenAlignGivenPhi(mm->m, 0);
    EXPECT_EQ(P::CurAlign(mm->m)[0], 0);
    EXPECT_EQ(PathNodeNum(mm->groups.alignPath[0]), nodes1) << "the current path moved to slot 0";
    const auto& S = P::Par(mm->m).m_dBgSubst;
    const double l = std::log(0.25);
    EXPECT_NEAR(mm->groups.alignScore[0], 6 * (S[0][0] - l) + 5 * (S[0][1] - l) + 4 * (S[0][2] - l), 1e-12);
    for (const ALIGNPATH& path : mm->groups.alignPath)
        EXPECT_EQ(path.back().pos, (std::vector<int>{mm->Len(0), mm->Len(1)}));

    // delta = 5 > 0 is taken without a uniform, delta <= -300 refused without one: the stream
    // moves as for the backward pass on the alignment kept.
    for (const auto& [shift, kept] : {std::pair{-5.0, 1}, std::pair{300.0, 0}}) {
        auto sw = Moves({kA, kB}), ref = Moves({kA, kB});
        for (auto* x : {sw.get(), ref.get()}) x->SetTran(0.5, 0.5, 0.3, 0.7);  // modules likely
        sw->Refresh();
        sw->groups.alignScore = {sw->Forward(0), sw->Forward(1) + shift};
        P::CurAlign(ref->m)[0] = kept;
        const int expect = NextAfter(5, [&] { P::SampleSeqGivenPath(ref->m, 0); });
        EXPECT_EQ(NextAfter(5, [&] { P::SampleSeqPathMH(sw->m, 0, 1); }), expect);
        EXPECT_EQ(P::CurAlign(sw->m)[0], kept);
        // The states are drawn from the forward table of the alignment kept.
        EXPECT_EQ(P::Sweep(sw->m).m_pMotifCount, P::Sweep(ref->m).m_pMotifCount);
        EXPECT_EQ(P::Sweep(sw->m).m_pSiteCount, P::Sweep(ref->m).m_pSiteCount);
        EXPECT_EQ(P::Post(sw->m).m_pModuleFreq, P::Post(ref->m).m_pModuleFreq);
    }
}

// Corrected likelihoods that differ by delta = 1: the chain that always proposes the other
// alignment accepts 0 -> 1 always and 1 -> 0 with e^-1, so it spends e/(1+e) = 0.731 of its
// time on alignment 1. Two-state chain with switching probabilities a = 1, b = e^-1: variance
// of the time average pi0 pi1 (1+l)/(1-l)/n with l = 1-a-b, i.e. sd 0.0021 for n = 20000;
// 5 sd = 0.011.
TEST(PathMovesStat, MetropolisHastingsStationaryRatio)
{
    support::TestSeed seed(2026);
    auto mm = Moves({kA, kB});
    mm->Refresh();
    const double F0 = mm->Forward(0), F1 = mm->Forward(1);
    mm->groups.alignScore = {F0, F1 - 1.0};
    const int n = 20000;
    int onOne = 0;
    for (int i = 0; i < n; ++i) {
        P::ClearSuffStat(mm->m);
        const double Fk = P::SampleSeqPathMH(mm->m, 0, 1 - P::CurAlign(mm->m)[0]);
        onOne += P::CurAlign(mm->m)[0];
        ASSERT_DOUBLE_EQ(Fk, P::CurAlign(mm->m)[0] == 0 ? F0 : F1) << "the kept alignment's own likelihood";
    }
    EXPECT_NEAR(static_cast<double>(onOne) / n, std::exp(1.0) / (1 + std::exp(1.0)), 0.011);
}
