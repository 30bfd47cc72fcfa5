// The order-k background: an estimate worked by hand and the k-mer file reader (accepted and
// refused files). The forward oracle with k > 0 is in test_forward_backward.cpp, the refusals
// of -g in the command-line table, soft-masked input in the readers' table.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/BackgroundFile.h"
#include "numeric/MarkovBackground.h"
#include "support/Support.h"

using support::TempDir;
using support::WriteFile;

namespace {

double Pr(const CMarkovBackground& bg, const std::vector<int>& seq, int p, int b)
{
    return std::exp(bg.Log(bg.ContextOffset(seq.data(), p))[b]);
}

// Every k-mer of length len at frequency 4^-len, one a line.
std::string Kmers(int len)
{
    std::string text;
    for (int i = 0; i < (1 << (2 * len)); ++i) {
        std::string kmer;
        for (int j = len - 1; j >= 0; --j) kmer += "ACGT"[(i >> (2 * j)) & 3];
        text += kmer + "\t" + std::to_string(1.0 / (1 << (2 * len))) + "\n";
    }
    return text;
}

}  // namespace

TEST(OrderBackground, EstimateWorkedByHand)
{
    // ACGT is its own reverse complement, so both strands add the same counts: every base
    // twice (order 0: 3/12 each), A->C, C->G, G->T twice each, nothing after T.
    const std::vector<int> seq = {0, 1, 2, 3};
    const int* ptr = seq.data();
    const int len = 4;
    CMarkovBackground bg;
    bg.Estimate(1, &ptr, &len, 1);
    EXPECT_NEAR(Pr(bg, seq, 0, 0), 0.25, 1e-12);           // no context: order 0
    EXPECT_NEAR(Pr(bg, seq, 1, 1), (2 + 1.0) / 6, 1e-12);  // C after A: (2 + 4 * 0.25) / (2 + 4)
    EXPECT_NEAR(Pr(bg, seq, 1, 0), 1.0 / 6, 1e-12);        // A after A: (0 + 1) / 6
    const std::vector<int> afterT = {3, 0};
    EXPECT_NEAR(Pr(bg, afterT, 1, 0), 0.25, 1e-12);  // an unseen context takes the order below
    // An undetermined base cuts the context; PosLog falls back for a non-base.
    const std::vector<int> cut = {0, -1, 1};
    EXPECT_NEAR(Pr(bg, cut, 2, 1), 0.25, 1e-12);
    EXPECT_EQ(bg.PosLog(cut.data(), 1, -7.0), -7.0);
}

TEST(OrderBackground, FileGivesConditionalsOfItsHighestOrder)
{
    TempDir dir("bgfile");
    // Order 1 from 2-mers: p(b | a) = f(ab) / sum_b' f(ab').
    std::string text = Kmers(1) + "\n# pairs\nAA 0.1\nAC 0.05\nag 0.05\nAT 0.05\n";
    for (const char* a : {"C", "G", "T"})
        for (const char* b : {"A", "C", "G", "T"}) text += std::string(a) + b + " 0.0625\n";
    WriteFile(dir.File("b.freq"), text);
    CMarkovBackground bg;
    std::string err;
    ASSERT_TRUE(ReadBackgroundFile(dir.File("b.freq").c_str(), bg, err)) << err;
    const std::vector<int> seq = {0, 0, 1, 1};
    EXPECT_NEAR(Pr(bg, seq, 1, 0), 0.4, 1e-12);
    EXPECT_NEAR(Pr(bg, seq, 1, 2), 0.2, 1e-12);
    EXPECT_NEAR(Pr(bg, seq, 3, 0), 0.25, 1e-12);
    // 7-mers are checked for layout but the model stops at order 5; so are k-mers far too long
    // for an index (a fuzz finding: the index overflowed).
    std::string uniform = "# uniform\n";
    for (int len = 1; len <= 7; ++len) uniform += Kmers(len);
    WriteFile(dir.File("u.freq"), uniform + std::string(40, 'A') + " 0.5\n");
    ASSERT_TRUE(ReadBackgroundFile(dir.File("u.freq").c_str(), bg, err)) << err;
    EXPECT_EQ(bg.Order(), 5);
}

TEST(OrderBackground, MalformedFilesAreRefused)
{
    const struct {
        std::string text, message;
    } cases[] = {
        {"# nothing\n", "background file F holds no frequencies of single bases (order 0)"},
        {"A 0.25\nC 0.25\nG 0.5\n", "background file F holds 3 of the 4 1-mers"},
        {"A 0.3\nC 0.25\nG 0.25\nT 0.25\n", "background file F: the 1-mer frequencies sum to 1.05, not 1"},
        {Kmers(1) + Kmers(3), "background file F has 3-mers but no 2-mers (order 1 is missing)"},
        {"A 0.25\nC x\n", "F line 2: frequency 'x' is not a non-negative number"},
        {"A 0.25\nC -0.1\n", "F line 2: frequency '-0.1' is not a non-negative number"},
        {"A 0.25\nN 0.25\n", "F line 2: 'N' is not a k-mer of A, C, G and T"},
        {"A 0.25\nA 0.25\n", "F line 2: 'A' appears twice"},
        {"A\n", "F line 1: expected a k-mer and its frequency"},
        {"A 0.25 0.3\n", "F line 1: expected a k-mer and its frequency, found more fields"},
        {std::string("A 0.25\nC 0.2\0 5\n", 16), "F line 2: holds a zero byte"},
    };
    TempDir dir("bgbad");
    const std::string F = dir.File("bad.freq");
    for (const auto& c : cases) {
        WriteFile(F, c.text);
        CMarkovBackground bg;
        std::string err, want = c.message;
        want.replace(want.find('F'), 1, F);
        EXPECT_FALSE(ReadBackgroundFile(F.c_str(), bg, err));
        EXPECT_EQ(err, want);
        EXPECT_TRUE(bg.Empty());
    }
}
