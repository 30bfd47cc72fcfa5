// CString: value semantics and the Left/Right/Mid/Find rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/MyString.h"

namespace {
std::string Text(const CString& s) { return s.c_str(); }
}  // namespace

TEST(CString, ConstructionCopyAndAssignment)
{
    CString empty;
    EXPECT_EQ(empty.GetLength(), 0);
    EXPECT_EQ(empty.m_pString, nullptr);
    EXPECT_STREQ(empty.c_str(), "");

    CString c('x');
    EXPECT_EQ(Text(c), "x");
    EXPECT_EQ(c.GetLength(), 1);

    CString a;
    a = "ACGT";
    CString b(a);
    b.SetAt(0, 'T');
    EXPECT_EQ(Text(a), "ACGT") << "copies are deep";
    EXPECT_EQ(Text(b), "TCGT");
    const CString& alias = a;
    a = alias;  // self-assignment changes nothing
    EXPECT_EQ(Text(a), "ACGT");
    CString copyOfEmpty(empty);
    EXPECT_EQ(copyOfEmpty.GetLength(), 0);
    EXPECT_STREQ(copyOfEmpty.c_str(), "");
    EXPECT_EQ(a[4], '\0');  // index m_nLength is the terminating zero
}

TEST(CString, Concatenation)
{
    CString empty;
    CString r = empty + "abc";
    EXPECT_EQ(Text(r), "abc");
    EXPECT_EQ(r.GetLength(), 3);
    CString s("Output.txt");
    EXPECT_EQ(Text(s + "motif1.txt"), "Output.txtmotif1.txt");
    CString t = s + empty;
    EXPECT_EQ(Text(t), "Output.txt");
    EXPECT_EQ((empty + empty).GetLength(), 0);
    CString u = CString("ab") + CString("cd");
    EXPECT_EQ(u.GetLength(), 4);
    EXPECT_EQ(Text(u), "abcd");
}

TEST(CString, EmbeddedZeroKeepsStoredLength)
{
    CString s("ABCDEF");
    s.SetAt(2, '\0');
    EXPECT_EQ(s.GetLength(), 6);
    CString copy;
    copy = s;
    EXPECT_EQ(copy.GetLength(), 6);
    EXPECT_STREQ(copy.c_str(), "AB");
    CString joined = s + "xy";
    EXPECT_EQ(joined.GetLength(), 8);
    EXPECT_STREQ(joined.c_str(), "ABxy");
}

TEST(CString, SetAtIgnoresOutOfRange)
{
    CString s("ACGTACGT");
    s.SetAt(8, 'N');
    s.SetAt(-1, 'N');
    EXPECT_EQ(Text(s), "ACGTACGT");
    s.SetAt(7, 'N');
    EXPECT_EQ(Text(s), "ACGTACGN");
}

TEST(CString, LeftRightMid)
{
    CString s("ACGTACGT");
    EXPECT_EQ(Text(s.Left(0)), "");
    EXPECT_EQ(Text(s.Right(0)), "");
    EXPECT_EQ(Text(s.Left(3)), "ACG");
    EXPECT_EQ(Text(s.Right(3)), "CGT");
    EXPECT_EQ(Text(s.Left(20)), "ACGTACGT");
    EXPECT_EQ(Text(s.Right(20)), "ACGTACGT");
    EXPECT_EQ(Text(s.Mid(3, 10)), "ACGTACGT") << "a count past the end copies the whole string";
    EXPECT_EQ(Text(s.Mid(-2, 3)), "ACG");
    EXPECT_EQ(Text(s.Mid(7, 1)), "T");
    EXPECT_EQ(Text(s.Mid(12, 1)), "T") << "a start past the end is lowered to the last index";
    EXPECT_EQ(Text(s.Mid(2, 0)), "");
    EXPECT_EQ(s.Mid(3, 10).GetLength(), 8);
}

TEST(CString, Find)
{
    CString s("ACGTACGT");
    CString gt("GT");
    EXPECT_EQ(s.Find(gt, 0), 2);
    EXPECT_EQ(s.Find(gt, 3), 6);
    EXPECT_EQ(s.Find(gt, 7), -1);
    EXPECT_EQ(s.Find(CString("TT"), 0), -1);
    EXPECT_EQ(s.Find(CString(""), 5), 5);
    EXPECT_EQ(s.Find(CString("ACGTACGTA"), 0), -1);
    EXPECT_EQ(CString("a\tb\tc").Find(CString('\t'), 2), 3);
}
