// Readers of the multi-species sequence file and of the aligned file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/SeqFile.h"
#include "TestUtil.h"

using testutil::TempDir;
using testutil::WriteFile;

namespace {
struct Read {
    bool ok = false;
    std::vector<int> len;
    std::vector<CString> names;
    std::vector<std::vector<int>> seq;
    std::string err;
};

Read ReadSeq(const std::string& file, int n)
{
    Read r;
    r.ok = ReadinSeq(CString(file.c_str()), n, r.len, r.names, r.seq, r.err);
    return r;
}
Read ReadAln(const std::string& file, int n)
{
    Read r;
    r.ok = ReadinAlignment(CString(file.c_str()), n, r.len, r.names, r.seq, r.err);
    return r;
}
}  // namespace

TEST(ReadinSeq, CodesCutsAndNames)
{
    TempDir dir("seq");
    std::string f = dir.File("in.fa");
    WriteFile(f,
              "stray text before any header\n"
              ">first record\n"
              "acgtn\n"
              "GGTT\n"
              ">second\r\n"
              "ACGT ACGT\n"
              "\n"
              "7ACG\n"
              "ACG-T\r\n"
              ">third");
    Read r = ReadSeq(f, 3);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.len, (std::vector<int>{9, 7, 0}));
    EXPECT_EQ(r.seq[0], (std::vector<int>{0, 1, 2, 3, -1, 2, 2, 3, 3}));
    EXPECT_EQ(r.seq[1], (std::vector<int>{0, 1, 2, 3, 0, 1, 2}));
    EXPECT_STREQ(r.names[0].c_str(), ">first record");
    EXPECT_STREQ(r.names[1].c_str(), ">second\r") << "a DOS header keeps its carriage return";
    EXPECT_STREQ(r.names[2].c_str(), ">third") << "a last line without line feed keeps its name whole";
}

TEST(ReadinSeq, LongLinesAreReadWhole)
{
    TempDir dir("seqlong");
    std::string f = dir.File("in.fa");
    std::string longName = ">" + std::string(12000, 'x') + "ACGT";
    std::string longSeq(25000, 'A');
    longSeq[9999] = '>';  // a '>' inside a long line is not a header
    WriteFile(f, longName + "\n" + "CC" + longSeq + "\n>b\nG\n");
    EXPECT_EQ(CountSequences(f.c_str()), 2);
    Read r = ReadSeq(f, 2);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.names[0].GetLength(), 12005);
    EXPECT_EQ(r.len[0], 2 + 9999) << "the sequence line stops at the '>'";
    EXPECT_EQ(r.len[1], 1);
}

TEST(ReadinSeq, FailuresAreReported)
{
    TempDir dir("seqbad");
    Read missing = ReadSeq(dir.File("nope.fa"), 1);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
    EXPECT_EQ(CountSequences(dir.File("nope.fa").c_str()), -1);
    std::string f = dir.File("short.fa");
    WriteFile(f, ">a\nACGT\n");
    Read few = ReadSeq(f, 2);
    EXPECT_FALSE(few.ok);
    EXPECT_NE(few.err.find("expected 2"), std::string::npos);
}

TEST(ReadinAlignment, GapsAndRecordCount)
{
    TempDir dir("aln");
    std::string f = dir.File("aln.fa");
    WriteFile(f, ">s0\nacg-t\n>s1\nAC--T\n>s2\nACG.T\n");
    Read r = ReadAln(f, 3);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.seq[0], (std::vector<int>{0, 1, 2, 4, 3}));
    EXPECT_EQ(r.seq[1], (std::vector<int>{0, 1, 4, 4, 3}));
    EXPECT_EQ(r.seq[2], (std::vector<int>{0, 1, 2})) << "'.' is not a gap character";
    EXPECT_EQ(r.len, (std::vector<int>{5, 5, 3}));
    Read wrong = ReadAln(f, 2);
    EXPECT_FALSE(wrong.ok);
    EXPECT_NE(wrong.err.find("3 records"), std::string::npos);
    Read missing = ReadAln(dir.File("none"), 2);
    EXPECT_FALSE(missing.ok);
}
