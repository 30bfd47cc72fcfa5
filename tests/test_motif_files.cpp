// Tests of the motif matrix and parameter file readers: the row smoothing, the list-line
// rules, names, the parameter file, and one named case per malformed input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/MotifFile.h"

namespace {

using Matrix = std::vector<std::vector<double>>;

// Writes text to a file in the test directory and returns its path.
std::string WriteFile(const std::string& name, const std::string& text)
{
    const std::string path = testing::TempDir() + "serevan_motif_" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    return path;
}

// Reads a motif matrix file with the plain overload; returns M and the message.
int ReadPlain(const std::string& name, const std::string& text, std::string& err, std::string& path)
{
    path = WriteFile(name, text);
    Matrix pwm;
    std::vector<int> width;
    return ReadKnownPWM(CString(path.c_str()), pwm, width, err);
}

// The message of a plain read expected to fail, without the leading path.
std::string PlainError(const std::string& name, const std::string& text)
{
    std::string err, path;
    EXPECT_EQ(ReadPlain(name, text, err, path), -1);
    std::remove(path.c_str());
    if (err.compare(0, path.size(), path) != 0) return "(message does not start with the path) " + err;
    return err.substr(path.size());
}

// The message of a parameter file read (K motifs) expected to fail, without the path.
std::string ParamError(const std::string& name, const std::string& text, int K)
{
    const std::string path = WriteFile(name, text);
    double enter = -7, sub[2] = {-7, -7};
    std::vector<double> motifPr;
    std::vector<int> width;
    Matrix pwm;
    std::string err;
    EXPECT_FALSE(ReadParamFile(CString(path.c_str()), &enter, motifPr, width, pwm, sub, K, err));
    std::remove(path.c_str());
    // Nothing is written on failure.
    EXPECT_EQ(enter, -7);
    EXPECT_EQ(sub[0], -7);
    EXPECT_TRUE(motifPr.empty() && width.empty() && pwm.empty());
    if (err.compare(0, path.size(), path) != 0) return "(message does not start with the path) " + err;
    return err.substr(path.size());
}

// ln((x_b + 0.03 s) / (1.12 s)) by hand for the row 8 0 2 0 (s = 10).
const double kSmoothed[4] = {std::log(8.3 / 11.2), std::log(0.3 / 11.2), std::log(2.3 / 11.2),
                             std::log(0.3 / 11.2)};

const std::string kParamText =
    "0.001\n"
    "0.01\t0.02\t0.03\n"
    "1\t2\t1\n"
    "0.1\t0.02\n"
    ">m1\n8\t0\t2\t0\n"
    ">m2\n1\t1\t1\t1\n0\t0\t5\t0\n"
    ">m3\n0.8\t0\t0.2\t0\n";

}  // namespace

// ---- well-formed files ----

TEST(MotifFileRead, CountsAndFrequenciesSmoothAlike)
{
    const std::string path = WriteFile("smooth.txt", "2\n1\t1\nfirst\n8\t0\t2\t0\nsecond\n0.8\t0\t0.2\t0\n");
    Matrix pwm;
    std::vector<int> width;
    std::string err;
    ASSERT_EQ(ReadKnownPWM(CString(path.c_str()), pwm, width, err), 2) << err;
    EXPECT_EQ(width, (std::vector<int>{1, 1}));
    ASSERT_EQ(pwm.size(), 2u);
    for (int m = 0; m < 2; ++m) {
        ASSERT_EQ(pwm[m].size(), 4u);
        for (int b = 0; b < 4; ++b) EXPECT_DOUBLE_EQ(pwm[m][b], kSmoothed[b]) << "matrix " << m << " base " << b;
    }
}

TEST(MotifFileRead, SingleMatrixTakesItsWidthFromTheWholeLine)
{
    // Windows line ends and a last row without a line feed read the same.
    const std::string path = WriteFile("single.txt", "1\r\n3\r\nname\r\n1\t0\t0\t0\r\n0\t1\t0\t0\n0\t0\t0\t2");
    Matrix pwm;
    std::vector<int> width;
    std::string err;
    ASSERT_EQ(ReadKnownPWM(CString(path.c_str()), pwm, width, err), 1) << err;
    ASSERT_EQ(width, (std::vector<int>{3}));
    ASSERT_EQ(pwm[0].size(), 12u);
    EXPECT_DOUBLE_EQ(pwm[0][0], std::log(1.03 / 1.12));
    EXPECT_DOUBLE_EQ(pwm[0][5], std::log(1.03 / 1.12));
    EXPECT_DOUBLE_EQ(pwm[0][4 * 2 + 3], std::log(2.06 / 2.24));
    EXPECT_DOUBLE_EQ(pwm[0][4 * 2 + 0], std::log(0.06 / 2.24));
}

TEST(MotifFileRead, NamesAreTheHeaderLinesWithoutTheirLineFeed)
{
    const std::string path =
        WriteFile("names.txt", "3\n1\t1\t1\n>MA0001 GATA-1 (human)\n1\t2\t3\t4\ncr\r\n1\t1\t1\t1\n\n4\t3\t2\t1\n");
    Matrix pwm;
    std::vector<int> width;
    std::vector<CString> names;
    std::string err;
    ASSERT_EQ(ReadKnownPWM(CString(path.c_str()), pwm, width, names, err), 3) << err;
    ASSERT_EQ(names.size(), 3u);
    EXPECT_STREQ(names[0].c_str(), ">MA0001 GATA-1 (human)");
    EXPECT_STREQ(names[1].c_str(), "cr\r");  // only the line feed goes
    EXPECT_STREQ(names[2].c_str(), "");
    EXPECT_EQ(names[0].GetLength(), 22);
}

TEST(MotifFileRead, SiteNumbersComeFromLineThree)
{
    const std::string path = WriteFile("sites.txt", "2\n1\t2\n2\t0.5\na\n1\t0\t0\t0\nb\n0\t1\t0\t0\n0\t0\t1\t0\n");
    Matrix pwm;
    std::vector<int> width;
    std::vector<double> sitePr;
    std::string err;
    ASSERT_EQ(ReadKnownPWM(CString(path.c_str()), pwm, width, sitePr, err), 2) << err;
    EXPECT_EQ(sitePr, (std::vector<double>{2.0, 0.5}));
    EXPECT_EQ(width, (std::vector<int>{1, 2}));
    EXPECT_DOUBLE_EQ(pwm[1][4 + 2], std::log(1.03 / 1.12));
}

TEST(MotifFileRead, ParameterFileWithThreeMotifs)
{
    const std::string path = WriteFile("param.txt", kParamText);
    double enter = 0, sub[2] = {0, 0};
    std::vector<double> motifPr;
    std::vector<int> width;
    Matrix pwm;
    std::string err;
    ASSERT_TRUE(ReadParamFile(CString(path.c_str()), &enter, motifPr, width, pwm, sub, 3, err)) << err;
    EXPECT_EQ(enter, 0.001);
    ASSERT_EQ(motifPr.size(), 4u);
    EXPECT_EQ(motifPr[0], 0.01);
    EXPECT_EQ(motifPr[2], 0.03);
    EXPECT_NEAR(motifPr[3], 0.94, 1e-15);
    EXPECT_EQ(width, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(sub[0], 0.1);
    EXPECT_EQ(sub[1], 0.02);
    ASSERT_EQ(pwm.size(), 3u);
    for (int b = 0; b < 4; ++b) {
        EXPECT_DOUBLE_EQ(pwm[0][b], kSmoothed[b]);
        EXPECT_DOUBLE_EQ(pwm[2][b], kSmoothed[b]);
        EXPECT_DOUBLE_EQ(pwm[1][b], std::log(0.25));
    }
    EXPECT_NEAR(pwm[1][4 + 2], std::log(5.15 / 5.6), 1e-14);
}

// ---- malformed motif matrix files: one case each ----

TEST(MotifFileMalformed, MissingFile)
{
    Matrix pwm;
    std::vector<int> width = {5};
    std::string err;
    const std::string path = testing::TempDir() + "serevan_motif_no_such_file.txt";
    std::remove(path.c_str());
    EXPECT_EQ(ReadKnownPWM(CString(path.c_str()), pwm, width, err), -1);
    EXPECT_EQ(err, "cannot open motif matrix file " + path);
    EXPECT_EQ(width, (std::vector<int>{5}));  // untouched
}

TEST(MotifFileMalformed, EmptyFile)
{
    EXPECT_EQ(PlainError("empty.txt", ""), " line 1: file ends before the number of matrices");
}

TEST(MotifFileMalformed, NonNumericCount)
{
    EXPECT_EQ(PlainError("count_text.txt", "two\n1\t1\n"), " line 1: expected one integer (the number of matrices)");
}

TEST(MotifFileMalformed, ZeroMatrices)
{
    EXPECT_EQ(PlainError("m0.txt", "0\n\n"), " line 1: the number of matrices must be at least 1");
}

TEST(MotifFileMalformed, NegativeMatrixCount)
{
    EXPECT_EQ(PlainError("mneg.txt", "-2\n1\t1\n"), " line 1: the number of matrices must be at least 1");
}

TEST(MotifFileMalformed, FewerWidthsThanMatrices)
{
    EXPECT_EQ(PlainError("fewwidths.txt", "3\n4\t5\n"), " line 2: expected 3 tab-separated integers (the matrix widths)");
}

TEST(MotifFileMalformed, MoreWidthsThanMatrices)
{
    EXPECT_EQ(PlainError("morewidths.txt", "1\n4\t5\n"), " line 2: expected one integer (the matrix widths)");
}

TEST(MotifFileMalformed, FractionalWidth)
{
    EXPECT_EQ(PlainError("fracwidth.txt", "1\n4.5\n"), " line 2: expected one integer (the matrix widths)");
}

TEST(MotifFileMalformed, WidthZero)
{
    EXPECT_EQ(PlainError("width0.txt", "2\n3\t0\n"), " line 2: width of matrix 2 must be at least 1");
}

TEST(MotifFileMalformed, HugeCountWithShortWidthLine)
{
    // Refused from the line itself, without reserving room for the announced count.
    EXPECT_EQ(PlainError("hugecount.txt", "2000000000\n4\t4\n"),
              " line 2: expected 2000000000 tab-separated integers (the matrix widths)");
}

TEST(MotifFileMalformed, MissingHeader)
{
    EXPECT_EQ(PlainError("noheader.txt", "1\n2\n"), " line 3: file ends before the header line of matrix 1");
}

TEST(MotifFileMalformed, ShortFile)
{
    EXPECT_EQ(PlainError("short.txt", "2\n1\t2\na\n1\t2\t3\t4\nb\n1\t1\t1\t1\n"),
              " line 7: file ends before row 2 of matrix 2");
}

TEST(MotifFileMalformed, HugeWidthWithFewRows)
{
    EXPECT_EQ(PlainError("hugewidth.txt", "1\n1000000000\na\n1\t2\t3\t4\n"),
              " line 5: file ends before row 2 of matrix 1");
}

TEST(MotifFileMalformed, ShortRow)
{
    EXPECT_EQ(PlainError("shortrow.txt", "1\n1\na\n1\t2\t3\n"),
              " line 4: expected 4 tab-separated numbers (row 1 of matrix 1)");
}

TEST(MotifFileMalformed, RowWithFiveValues)
{
    EXPECT_EQ(PlainError("longrow.txt", "1\n1\na\n1\t2\t3\t4\t5\n"),
              " line 4: expected 4 tab-separated numbers (row 1 of matrix 1)");
}

TEST(MotifFileMalformed, RowSeparatedBySpaces)
{
    EXPECT_EQ(PlainError("spacerow.txt", "1\n1\na\n1 2 3 4\n"),
              " line 4: expected 4 tab-separated numbers (row 1 of matrix 1)");
}

TEST(MotifFileMalformed, NonNumericEntry)
{
    EXPECT_EQ(PlainError("textrow.txt", "1\n2\na\n1\t2\t3\t4\n1\tx\t3\t4\n"),
              " line 5: expected 4 tab-separated numbers (row 2 of matrix 1)");
}

TEST(MotifFileMalformed, EmptyEntry)
{
    EXPECT_EQ(PlainError("emptyentry.txt", "1\n1\na\n1\t\t3\t4\n"),
              " line 4: expected 4 tab-separated numbers (row 1 of matrix 1)");
}

TEST(MotifFileMalformed, NotANumberEntry)
{
    EXPECT_EQ(PlainError("nanrow.txt", "1\n1\na\n1\tnan\t3\t4\n"),
              " line 4: expected 4 tab-separated numbers (row 1 of matrix 1)");
}

TEST(MotifFileMalformed, ZeroRow)
{
    EXPECT_EQ(PlainError("zerorow.txt", "1\n2\na\n1\t2\t3\t4\n0\t0\t0\t0\n"), " line 5: row 2 of matrix 1 sums to zero");
}

TEST(MotifFileMalformed, NegativeEntry)
{
    EXPECT_EQ(PlainError("negrow.txt", "1\n1\na\n5\t-1\t3\t4\n"), " line 4: negative entry in row 1 of matrix 1");
}

TEST(MotifFileMalformed, MissingSiteNumbers)
{
    const std::string path = WriteFile("nosites.txt", "2\n1\t1\n3\na\n1\t0\t0\t0\nb\n1\t0\t0\t0\n");
    Matrix pwm;
    std::vector<int> width;
    std::vector<double> sitePr;
    std::string err;
    EXPECT_EQ(ReadKnownPWM(CString(path.c_str()), pwm, width, sitePr, err), -1);
    EXPECT_EQ(err, path + " line 3: expected 2 tab-separated numbers (the expected site numbers)");
}

TEST(MotifFileMalformed, SiteNumberNotPositive)
{
    const std::string path = WriteFile("negsites.txt", "2\n1\t1\n3\t0\na\n1\t0\t0\t0\nb\n1\t0\t0\t0\n");
    Matrix pwm;
    std::vector<int> width;
    std::vector<double> sitePr;
    std::string err;
    EXPECT_EQ(ReadKnownPWM(CString(path.c_str()), pwm, width, sitePr, err), -1);
    EXPECT_EQ(err, path + " line 3: site number of matrix 2 must be greater than 0");
}

// ---- malformed parameter files: one case each ----

TEST(ParamFileMalformed, MissingFile)
{
    const std::string path = testing::TempDir() + "serevan_param_no_such_file.txt";
    std::remove(path.c_str());
    double enter = 0, sub[2];
    std::vector<double> motifPr;
    std::vector<int> width;
    Matrix pwm;
    std::string err;
    EXPECT_FALSE(ReadParamFile(CString(path.c_str()), &enter, motifPr, width, pwm, sub, 3, err));
    EXPECT_EQ(err, "cannot open parameter file " + path);
}

TEST(ParamFileMalformed, EntryProbabilityNotANumber)
{
    EXPECT_EQ(ParamError("p_enter_text.txt", "often\n", 1),
              " line 1: expected one number (the probability of entering a module)");
}

TEST(ParamFileMalformed, EntryProbabilityOutOfRange)
{
    EXPECT_EQ(ParamError("p_enter_one.txt", "1\n", 1),
              " line 1: the probability of entering a module must lie between 0 and 1");
}

TEST(ParamFileMalformed, TooFewSiteProbabilities)
{
    EXPECT_EQ(ParamError("p_few_pr.txt", "0.001\n0.01\t0.02\n", 3),
              " line 2: expected 3 tab-separated numbers (the site probabilities)");
}

TEST(ParamFileMalformed, SiteProbabilitiesLeaveNoBackground)
{
    // 0.5 + 0.25 + 0.25 is exactly 1 in binary: the module background would be 0.
    EXPECT_EQ(ParamError("p_sum_one.txt", "0.001\n0.5\t0.25\t0.25\n", 3),
              " line 2: the site probabilities sum to 1 or more, leaving no module background");
    EXPECT_EQ(ParamError("p_sum_more.txt", "0.001\n0.6\t0.5\t0.1\n", 3),
              " line 2: the site probabilities sum to 1 or more, leaving no module background");
}

TEST(ParamFileMalformed, ZeroSiteProbability)
{
    EXPECT_EQ(ParamError("p_zero_pr.txt", "0.001\n0.01\t0\n", 2),
              " line 2: site probability of motif 2 must be greater than 0");
}

TEST(ParamFileMalformed, WidthMissing)
{
    EXPECT_EQ(ParamError("p_widths.txt", "0.001\n0.01\t0.02\n8\n", 2),
              " line 3: expected 2 tab-separated integers (the motif widths)");
}

TEST(ParamFileMalformed, SubstitutionLineWithoutTab)
{
    EXPECT_EQ(ParamError("p_sub_tab.txt", "0.001\n0.01\n1\n0.1 0.02\n", 1),
              " line 4: expected 2 tab-separated numbers (the two substitution probabilities)");
}

TEST(ParamFileMalformed, SubstitutionProbabilityOutOfRange)
{
    EXPECT_EQ(ParamError("p_sub_zero.txt", "0.001\n0.01\n1\n0\t0.02\n", 1),
              " line 4: substitution probabilities must lie between 0 and 1");
    EXPECT_EQ(ParamError("p_sub_one.txt", "0.001\n0.01\n1\n0.1\t1\n", 1),
              " line 4: substitution probabilities must lie between 0 and 1");
}

TEST(ParamFileMalformed, ShortMatrix)
{
    // The three-motif file cut after the first row of motif 2.
    const std::string cut = kParamText.substr(0, kParamText.find("0\t0\t5\t0"));
    EXPECT_EQ(ParamError("p_short.txt", cut, 3), " line 9: file ends before row 2 of matrix 2");
}

TEST(ParamFileMalformed, ZeroRowInMatrix)
{
    EXPECT_EQ(ParamError("p_zero_row.txt", "0.001\n0.01\n1\n0.1\t0.02\nm\n0\t0\t0\t0\n", 1),
              " line 6: row 1 of matrix 1 sums to zero");
}

TEST(ParamFileMalformed, NoMotifs)
{
    double enter = 0, sub[2];
    std::vector<double> motifPr;
    std::vector<int> width;
    Matrix pwm;
    std::string err;
    EXPECT_FALSE(ReadParamFile(CString("any.txt"), &enter, motifPr, width, pwm, sub, 0, err));
    EXPECT_EQ(err, "parameter file any.txt: the number of motifs must be at least 1");
}
