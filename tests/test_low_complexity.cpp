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
    const std::pair<std::string, bool> rows[] = {
        {std::string(30, 'A'), true},
        {"TTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTC", true},  // (TTTC)10
        {"ATATATATATATATATATATATAT", true},
        {std::string(15, 'T'), false},                               // shorter than the minimum span
        {std::string(12, 'G') + "N" + std::string(12, 'G'), false},  // N ends a stretch
        {"", false},
    };
    for (const auto& [middle, masked] : rows) {
        // Separators that share no triplet with the repeat, so the mask ends where it ends.
        const std::string seq = left + "CG" + middle + "CG" + right;
        std::string want = seq;
        for (std::size_t i = 0; masked && i < middle.size(); ++i)
            want[302 + i] = static_cast<char>(tolower(want[302 + i]));
        long long count = -1;
        EXPECT_EQ(sertools::MaskFastaText(">r x\n" + seq + "\n", {}, count), ">r x\n" + want + "\n") << middle;
        EXPECT_EQ(count, masked ? static_cast<long long>(middle.size()) : 0) << middle;
    }
    // Line breaks, headers and lower case already present are kept; a record ends a stretch.
    long long count = 0;
    EXPECT_EQ(sertools::MaskFastaText(">a\nccAAAAAAAAAA\nAAAAAAAAAAAAgg\n>b\nAAAAAAAAAAAAAAA\n", {}, count),
              ">a\nccaaaaaaaaaa\naaaaaaaaaaaagg\n>b\nAAAAAAAAAAAAAAA\n");
    EXPECT_EQ(count, 22);
}

// The masked file, to a file and to a pipe: a pipe is written into, not replaced by a renamed
// file (writing to /dev/null once replaced the device). The refusal of a file that is not
// FASTA is a row of the tools' table (test_prep_export.cpp).
TEST(LowComplexity, ToolWritesTheMaskedFileOrRefuses)
{
    TempDir dir("mask");
    WriteFile(dir.File("in.fa"), ">s\nCG" + std::string(40, 'T') + "CG\n");
    const std::string prep = std::string(SEREVAN_PREP_BIN) + " mask ";
    const RunResult ok = RunCommand("mkfifo p && { timeout 20 cat p > got & } && " + prep + "in.fa -o p && " + prep +
                                        "in.fa -o out.fa; wait; test -p p",
                                    dir.Path());
    EXPECT_EQ(ok.status, 0) << ok.error;
    EXPECT_EQ(ok.error, "serevan-prep: masked 40 of 44 bases (90.9 %)\nserevan-prep: masked 40 of 44 bases (90.9 %)\n");
    for (const char* out : {"got", "out.fa"})
        EXPECT_EQ(ReadFile(dir.File(out)), ">s\nCG" + std::string(40, 't') + "CG\n");
}
