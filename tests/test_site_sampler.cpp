// Site scanner and site sampler for module members.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "motif/GMSampler.h"
#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

namespace {

int Code(char c) { return serevan::BaseCode(c); }

std::string ReverseComplement(const std::string& s)
{
    std::string r(s.rbegin(), s.rend());
    for (char& c : r) c = c == 'A' ? 'T' : c == 'C' ? 'G' : c == 'G' ? 'C' : c == 'T' ? 'A' : 'N';
    return r;
}

// Sequences as codes with the pointer and length arrays the samplers take.
struct SeqSet {
    std::vector<std::vector<int>> codes;
    std::vector<int*> ptr;
    std::vector<int> len;
    explicit SeqSet(const std::vector<std::string>& texts)
    {
        for (const std::string& t : texts) {
            std::vector<int> x;
            for (char c : t) x.push_back(Code(c));
            codes.push_back(x);
        }
        for (std::vector<int>& x : codes) {
            ptr.push_back(x.data());
            len.push_back(static_cast<int>(x.size()));
        }
    }
    int size() const { return static_cast<int>(codes.size()); }
};

// Log matrix giving the consensus letter hi and every other base lo; 'N' columns uniform.
std::vector<double> Consensus(const std::string& motif, double hi = 0.97, double lo = 0.01)
{
    std::vector<double> m;
    for (char c : motif)
        for (int b = 0; b < 4; ++b) m.push_back(Code(c) < 0 ? std::log(0.25) : std::log(Code(c) == b ? hi : lo));
    return m;
}

std::array<double, 20> UniformBackground()
{
    std::array<double, 20> bg;
    bg.fill(std::log(0.25));
    return bg;
}

// Random bases drawn from the program's stream (seeded by the caller).
std::string RandomBases(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) s += "ACGT"[RandomInt() % 4];
    return s;
}

struct Sites {
    std::vector<int> pos;
    std::unique_ptr<bool[]> strand;
    explicit Sites(int n) : pos(n, -7), strand(std::make_unique<bool[]>(n)) {}
};

}  // namespace

// ---------------------------------------------------------------- scanner

TEST(SimpleScanner, FindsTheConsensusOnEitherStrand)
{
    const std::string motif = "GATTACA";
    SeqSet seqs({"TTTTGATTACATTT", "CCC" + ReverseComplement(motif) + "CCCC"});
    const std::vector<double> mat = Consensus(motif);
    const auto bg = UniformBackground();
    Sites out(2);
    SimpleScanner(seqs.ptr.data(), seqs.len.data(), 2, mat.data(), bg.data(), 7, true, out.pos.data(),
                  out.strand.get());
    EXPECT_EQ(out.pos[0], 4);
    EXPECT_TRUE(out.strand[0]);
    EXPECT_EQ(out.pos[1], 3);
    EXPECT_FALSE(out.strand[1]);

    // Given strand only: every flag is true.
    SimpleScanner(seqs.ptr.data(), seqs.len.data(), 2, mat.data(), bg.data(), 7, false, out.pos.data(),
                  out.strand.get());
    EXPECT_EQ(out.pos[0], 4);
    EXPECT_TRUE(out.strand[0]);
    EXPECT_TRUE(out.strand[1]);
}

TEST(SimpleScanner, TiesGoToTheEarlierStartAndTheGivenStrand)
{
    const auto bg = UniformBackground();
    Sites out(3);
    {
        // Two equal windows AC at 1 and 4.
        SeqSet seqs({"GACTAC"});
        const std::vector<double> mat = Consensus("AC");
        SimpleScanner(seqs.ptr.data(), seqs.len.data(), 1, mat.data(), bg.data(), 2, true, out.pos.data(),
                      out.strand.get());
        EXPECT_EQ(out.pos[0], 1);
        EXPECT_TRUE(out.strand[0]);
    }
    {
        // ACGT is its own reverse complement: both strands score the same, the given one wins.
        SeqSet seqs({"TTACGTTT"});
        const std::vector<double> mat = Consensus("ACGT");
        SimpleScanner(seqs.ptr.data(), seqs.len.data(), 1, mat.data(), bg.data(), 4, true, out.pos.data(),
                      out.strand.get());
        EXPECT_EQ(out.pos[0], 2);
        EXPECT_TRUE(out.strand[0]);
    }
    {
        // Uniform matrix against a uniform background: every window scores 0.
        SeqSet seqs({"TTGCAGT"});
        const std::vector<double> mat = Consensus("NNN");
        SimpleScanner(seqs.ptr.data(), seqs.len.data(), 1, mat.data(), bg.data(), 3, true, out.pos.data(),
                      out.strand.get());
        EXPECT_EQ(out.pos[0], 0);
        EXPECT_TRUE(out.strand[0]);
    }
}

TEST(SimpleScanner, UndeterminedAndShortSequences)
{
    const std::string motif = "GATTACA";
    // All N; exactly w long with the site on the reverse strand; shorter than w.
    SeqSet seqs({"NNNNNNNNNN", ReverseComplement(motif), "GATT"});
    const std::vector<double> mat = Consensus(motif);
    const auto bg = UniformBackground();
    Sites out(3);
    SimpleScanner(seqs.ptr.data(), seqs.len.data(), 3, mat.data(), bg.data(), 7, true, out.pos.data(),
                  out.strand.get());
    EXPECT_EQ(out.pos[0], 0);
    EXPECT_TRUE(out.strand[0]);
    EXPECT_EQ(out.pos[1], 0);
    EXPECT_FALSE(out.strand[1]);
    EXPECT_EQ(out.pos[2], 0);
    EXPECT_TRUE(out.strand[2]);
}

// ---------------------------------------------------------------- sampler

TEST(SimpleSampler, MatrixAfterAPassHoldsSmoothedFrequencies)
{
    // Sequences exactly w long: one window each and no flank, so no shift move is ever tried.
    SeqSet seqs({"ACGT", "ACGT", "ACGT"});
    std::vector<double> mat = Consensus("NNNN");
    const auto bg = UniformBackground();
    Sites out(3);
    SeedRandom(7);
    SimpleSampler(seqs.ptr.data(), seqs.len.data(), 3, mat.data(), bg.data(), 4, false, out.pos.data(),
                  out.strand.get());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out.pos[i], 0);
        EXPECT_TRUE(out.strand[i]);
    }
    for (int k = 0; k < 4; ++k)
        for (int b = 0; b < 4; ++b)
            EXPECT_NEAR(mat[4 * k + b], std::log(b == k ? 1.01 / 1.04 : 0.01 / 1.04), 1e-14) << k << b;
}

TEST(SimpleSampler, UndeterminedSequenceYieldsIndexZeroAndAddsNothing)
{
    SeqSet seqs({"ACGT", "NNNNNN"});
    std::vector<double> mat = Consensus("ACGT");
    const auto bg = UniformBackground();
    Sites out(2);
    SeedRandom(11);
    SimpleSampler(seqs.ptr.data(), seqs.len.data(), 2, mat.data(), bg.data(), 4, true, out.pos.data(),
                  out.strand.get());
    EXPECT_EQ(out.pos[1], 0);
    EXPECT_TRUE(out.strand[1]);
    // Only the first sequence counts: column k saw base k once (or its complement on the
    // reverse strand, which for the palindrome ACGT is the same letter).
    for (int k = 0; k < 4; ++k)
        for (int b = 0; b < 4; ++b)
            EXPECT_NEAR(mat[4 * k + b], std::log(b == k ? 1.02 / 2.08 : 0.02 / 2.08), 1e-14) << k << b;
}

TEST(SimpleSampler, StrandFlagsFollowTheSearchedStrands)
{
    const std::string motif = "GGATTACAG";
    const unsigned seed = 4242;
    SeedRandom(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::vector<std::string> texts;
    for (int i = 0; i < 8; ++i) texts.push_back(RandomBases(6 + i) + ReverseComplement(motif) + RandomBases(12 - i));
    SeqSet seqs(texts);
    const auto bg = UniformBackground();
    Sites out(8);

    std::vector<double> mat = Consensus(motif);
    SimpleSampler(seqs.ptr.data(), seqs.len.data(), 8, mat.data(), bg.data(), 9, false, out.pos.data(),
                  out.strand.get());
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(out.strand[i]) << i;

    mat = Consensus(motif);
    SimpleSampler(seqs.ptr.data(), seqs.len.data(), 8, mat.data(), bg.data(), 9, true, out.pos.data(),
                  out.strand.get());
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(out.strand[i]) << i;
        EXPECT_EQ(out.pos[i], 6 + i) << i;
    }
}

TEST(SimpleSampler, ShiftMoveRecoversAMotifPlantedOneColumnOff)
{
    // The starting matrix matches columns 1..7 of the planted 8-mer in its columns 0..6 and
    // is uniform in column 7, so the first pass draws every site one base to the right. The
    // left flank of those sites is the planted column 0, fully conserved, against a random
    // last column: the left shift is accepted in the first pass whose parity draw is odd, and
    // later passes draw the planted windows. Those score strictly above the first pass's set
    // (eight conserved columns instead of seven), so they are returned; a sampler that judged
    // the set after its shift would keep the first pass's positions (equal score, no update).
    const std::string motif = "CAGGTCTA";
    std::string start = motif.substr(1) + "N";
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        SeedRandom(seed);
        const int nSeq = 20;
        std::vector<std::string> texts;
        std::vector<int> planted;
        for (int i = 0; i < nSeq; ++i) {
            const int p = 6 + (i % 5);
            planted.push_back(p);
            texts.push_back(RandomBases(p) + motif + RandomBases(30 - p));
        }
        SeqSet seqs(texts);
        std::vector<double> mat = Consensus(start);
        const auto bg = UniformBackground();
        Sites out(nSeq);
        SimpleSampler(seqs.ptr.data(), seqs.len.data(), nSeq, mat.data(), bg.data(), 8, false, out.pos.data(),
                      out.strand.get());
        for (int i = 0; i < nSeq; ++i) {
            EXPECT_EQ(out.pos[i], planted[i]) << i;
            EXPECT_TRUE(out.strand[i]) << i;
        }
        // The final matrix is the planted motif: seen base (20 + 0.2) / 20.8.
        for (int k = 0; k < 8; ++k) EXPECT_NEAR(mat[4 * k + Code(motif[k])], std::log(20.2 / 20.8), 1e-12) << k;
    }
}
