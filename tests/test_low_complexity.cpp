// Soft-masking of low-complexity stretches: which stretches are masked, exactly, in random
// flanks, and what serevan-prep mask writes or refuses.
#include <gtest/gtest.h>

#include <random>

#include "common/LowComplexity.h"
#include "support/Support.h"

using namespace support;

TEST(LowComplexity, MasksRepeatsExactlyAndLeavesRandomSequence)
{
    std::mt19937 rng(13);
    const std::string left = RandomDna(rng, 300), right = RandomDna(rng, 300);
    struct Row {
        std::string middle;
        bool masked;
    };
    const std::vector<Row> rows = {
        {std::string(30, 'A'), true},
        {"TTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTC", true},  // (TTTC)10
        {"ATATATATATATATATATATATAT", true},
        {std::string(15, 'T'), false},                      // shorter than the minimum span
        {std::string(12, 'G') + "N" + std::string(12, 'G'), false},  // N ends a stretch
        {"", false},
    };
    for (const Row& row : rows) {
        // Separators that share no triplet with the repeat, so the mask ends where it ends.
        const std::string seq = left + "CG" + row.middle + "CG" + right;
        long long masked = -1;
        const std::string out = sertools::MaskFastaText(">r x\n" + seq + "\n", {}, masked);
        std::string want = seq;
        if (row.masked)
            for (std::size_t i = 0; i < row.middle.size(); ++i) want[302 + i] = static_cast<char>(tolower(want[302 + i]));
        EXPECT_EQ(out, ">r x\n" + want + "\n") << row.middle;
        EXPECT_EQ(masked, row.masked ? static_cast<long long>(row.middle.size()) : 0) << row.middle;
    }
    // Line breaks, headers and lower case already present are kept; a record ends a stretch.
    long long masked = 0;
    EXPECT_EQ(sertools::MaskFastaText(">a\nccAAAAAAAAAA\nAAAAAAAAAAAAgg\n>b\nAAAAAAAAAAAAAAA\n", {}, masked),
              ">a\nccaaaaaaaaaa\naaaaaaaaaaaagg\n>b\nAAAAAAAAAAAAAAA\n");
    EXPECT_EQ(masked, 22);
}

TEST(LowComplexity, ToolWritesTheMaskedFileOrRefuses)
{
    TempDir dir("mask");
    WriteFile(dir.File("in.fa"), ">s\nCG" + std::string(40, 'T') + "CG\n");
    const std::string prep = std::string(SEREVAN_PREP_BIN) + " mask ";
    RunResult ok = RunCommand(prep + "in.fa -o out.fa", dir.Path());
    EXPECT_EQ(ok.status, 0) << ok.error;
    EXPECT_EQ(ReadFile(dir.File("out.fa")), ">s\nCG" + std::string(40, 't') + "CG\n");
    EXPECT_EQ(ok.error, "serevan-prep: masked 40 of 44 bases (90.9 %)\n");
    // A pipe is written into, not replaced by a renamed file (as /dev/null would be).
    RunResult fifo = RunCommand("mkfifo p && { timeout 20 cat p > got & } && " + prep + "in.fa -o p; wait; test -p p",
                                dir.Path());
    EXPECT_EQ(fifo.status, 0) << fifo.error;
    EXPECT_EQ(ReadFile(dir.File("got")), ReadFile(dir.File("out.fa")));
    WriteFile(dir.File("bad.fa"), "ACGT\n>s\nACGT\n");
    RunResult bad = RunCommand(prep + "bad.fa -o bad_out.fa", dir.Path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.error, "serevan-prep: error: bad.fa: not a FASTA file (line 1 does not start with '>')\n");
    EXPECT_FALSE(Exists(dir.File("bad_out.fa")));
}
