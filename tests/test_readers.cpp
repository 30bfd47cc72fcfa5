// The text class, and the readers of sequence (plain, soft-masked), aligned, motif matrix and
// parameter files: one table of malformed files with their messages and accepted ones.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/MotifFile.h"
#include "app/SeqFile.h"
#include "base/MyString.h"
#include "support/Support.h"

namespace {

using namespace std::string_literals;

enum Reader { kSeq, kMasked, kAln, kPlain, kSites, kNames, kParam };

// Everything a reader can fill, preset so that a failed read can be seen to leave it alone.
struct Out {
    std::vector<std::vector<double>> pwm = {{0.0}};
    std::vector<int> width = {5}, len = {5};
    std::vector<double> sitePr = {5}, motifPr = {5};
    std::vector<CString> names = {CString("preset")};
    std::vector<std::vector<int>> seq = {{0}};
    double enter = 5, sub[2] = {5, 5};
    int count = 5;  // CountSequences
};

template <class T>
std::string Join(const std::vector<T>& v, const char* sep = " ")
{
    std::ostringstream s;
    for (size_t i = 0; i < v.size(); ++i) s << (i ? sep : "") << v[i];
    return s.str();
}

// The fields a reader fills, as text. Names keep their stored length and show a carriage
// return as \r; a matrix row shows exp(entry) * 112, which is 100 x_b / s + 3 for the row
// x_0..x_3 of sum s, so every smoothing fault shows.
std::string Dump(Reader reader, const Out& o)
{
    std::ostringstream s;
    std::vector<std::string> names;
    for (const CString& n : o.names) {
        std::string t(n.c_str(), static_cast<size_t>(n.GetLength()));
        for (size_t p; (p = t.find('\r')) != std::string::npos;) t.replace(p, 1, "\\r");
        names.push_back(t);
    }
    if (reader < kPlain) {
        s << "records " << o.count << "; len " << Join(o.len) << ";";
        for (size_t i = 0; i < o.seq.size(); ++i) {
            s << " " << names[i] << "=";
            for (int c : o.seq[i]) s << (c >= 0 && c <= 4 ? "ACGT-"[c] : 'N');
        }
        return s.str();
    }
    if (reader == kSites) s << "sites " << Join(o.sitePr) << "; ";
    if (reader == kNames) s << "names [" << Join(names, "] [") << "]; ";
    if (reader == kParam)
        s << "enter " << o.enter << "; pr " << Join(o.motifPr) << "; sub " << o.sub[0] << " " << o.sub[1] << "; ";
    s << "width " << Join(o.width) << "; pwm";
    for (size_t m = 0; m < o.pwm.size(); ++m)
        for (size_t j = 0; j < o.pwm[m].size(); ++j)
            s << (j == 0 ? (m ? " | " : " ") : j % 4 == 0 ? " / " : " ") << std::exp(o.pwm[m][j]) * 112;
    return s.str();
}

// Writes text to a scratch file (none without a text) and reads it; n is the number of
// records for the sequence readers and K for the parameter reader. Gives the Dump of an
// accepted file; else the message, the file's path written as F, followed by the matrix
// outputs should a refusal have changed them.
std::string ReadText(Reader reader, int n, const std::optional<std::string>& text)
{
    support::TempDir dir("readers");
    const std::string path = dir.File("in.txt");
    if (text) support::WriteFile(path, *text);
    const CString file(path.c_str());
    Out o;
    std::string err;
    bool ok = false;
    if (reader < kPlain) o.count = CountSequences(path.c_str());
    if (reader == kSeq || reader == kMasked) ok = ReadinSeq(file, n, o.len, o.names, o.seq, err, reader == kMasked);
    if (reader == kAln) ok = ReadinAlignment(file, n, o.len, o.names, o.seq, err);
    if (reader == kPlain) ok = ReadKnownPWM(file, o.pwm, o.width, err) > 0;
    if (reader == kSites) ok = ReadKnownPWM(file, o.pwm, o.width, o.sitePr, err) > 0;
    if (reader == kNames) ok = ReadKnownPWM(file, o.pwm, o.width, o.names, err) > 0;
    if (reader == kParam) ok = ReadParamFile(file, &o.enter, o.motifPr, o.width, o.pwm, o.sub, n, err);
    if (ok) return Dump(reader, o);
    for (size_t at; (at = err.find(path)) != std::string::npos;)
        err = err.substr(0, at) + "F" + err.substr(at + path.size());
    return reader < kPlain || Dump(reader, o) == Dump(reader, Out{}) ? err
                                                                     : err + " [changed: " + Dump(reader, o) + "]";
}

const char* const kParamText =
    "0.001\n0.01\t0.02\t0.03\n1\t2\t1\n0.1\t0.02\n"
    ">m1\n8\t0\t2\t0\n>m2\n1\t1\t1\t1\n0\t0\t5\t0\n>m3\n0.8\t0\t0.2\t0\n";

// Arnt in JASPAR and MEME: 20 sites, frequencies 0.2 0.8 0 0 / 0.95 0 0.05 0 / C / G / T / G.
const char* const kJaspar =
    ">MA0004.1 Arnt\nA  [ 4 19  0  0  0  0 ]\nC  [16  0 20  0  0  0 ]\n"
    "G  [ 0  1  0 20  0 20 ]\nT  [ 0  0  0  0 20  0 ]\n";
const char* const kMeme =
    "MEME version 4\n\nMOTIF MA0004.1 Arnt\nletter-probability matrix: w= 6\n"
    "0.2 0.8 0 0\n0.95 0 0.05 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n0 0 1 0\n";
const std::string kNoSites =
    " file without expected site numbers; add them with: serevan-prep motifs F --sites n,... -o MOTIFS.txt";
const std::string kArnt =
    "names [MA0004.1 Arnt]; width 6; pwm 23 83 3 3 / 98 3 8 3 / 3 103 3 3 / 3 3 103 3 / 3 3 3 103 / 3 3 103 3";

}  // namespace

TEST(CString, ValueSemanticsAndEmbeddedZero)
{
    auto Text = [](const CString& s) { return std::string(s.c_str()) + "#" + std::to_string(s.GetLength()); };
    CString empty, a("ACGT");
    EXPECT_EQ(empty.m_pString, nullptr);
    EXPECT_EQ(Text(empty) + Text(CString(empty)), "#0#0");
    CString b(a);
    b.m_pString[0] = 'T';
    const CString& alias = a;
    a = alias;  // self-assignment changes nothing
    EXPECT_EQ(Text(a) + Text(b), "ACGT#4TCGT#4") << "copies are deep";
    EXPECT_EQ(a[4], '\0');
    EXPECT_EQ(Text(empty + "abc" + empty) + Text(CString("ab") + CString('c')), "abc#3abc#3");
    CString s("ABCDEF"), copy;
    s.m_pString[2] = '\0';  // copies stop at an embedded zero but keep the stored length
    copy = s;
    EXPECT_EQ(Text(copy) + Text(s + "xy"), "AB#6ABxy#8");
}

// Malformed files give their exact message and leave every output alone; accepted files give
// their values. (A missing file of each reader is refused by the program's own table.)
TEST(Readers, FilesGiveTheirValuesOrTheirLine)
{
    // Reader, records or K, the file's text (none: no file), and the message or the values read.
    const std::tuple<Reader, int, std::optional<std::string>, std::string> cases[] = {
        {kSeq, 2, ">a\nACGT\n", "sequence file F holds 1 records, expected 2"},
        // Letters after a gap, blank, '*', '.', digit or '>' would be lost: the line is refused.
        {kSeq, 1, ">a\nACG-T\n",
         "sequence file F line 2 (record >a): letters follow '-' at column 4 and would be "
         "lost; sequence lines may hold only letters (remove gaps, '*', '.', digits and blanks)"},
        // A gap at the end of a line would be dropped and shift every later position.
        {kSeq, 1, ">a\nACGT-\r\n",
         "sequence file F line 2 (record >a): '-' at column 5 is a gap, which would be dropped and shift every "
         "later position; sequence lines may hold only letters (remove gaps, '*', '.', digits and blanks)"},
        {kAln, 1, ">a\nAC-GT *.\n",
         "sequence file F line 2 (record >a): '.' at column 8 is a gap, which would be dropped and shift every "
         "later position; sequence lines may hold only letters and '-' (remove '*', '.', digits and blanks)"},
        {kAln, 1, ">a\nAC*GT\n",
         "sequence file F line 2 (record >a): letters follow '*' at column 3 and would be lost; sequence lines may "
         "hold only letters and '-' (remove '*', '.', digits and blanks)"},
        // A zero byte inside a line neither ends the line nor joins the next one to it.
        {kSeq, 2, ">a\nACGT\0GG\n>b\nTTTT\n"s,
         "sequence file F line 2 (record >a): letters follow byte 0 at column 5 and would be lost; "
         "sequence lines may hold only letters (remove gaps, '*', '.', digits and blanks)"},
        {kAln, 2, ">a\nAC\n>b\nAC\n>c\nAC\n", "aligned sequence file F holds 3 records, expected one per species (2)"},
        {kPlain, 0, std::nullopt, "cannot open motif matrix file F"},
        {kPlain, 0, "", "F line 1: file ends before the number of matrices"},
        {kPlain, 0, "two\n1\t1\n", "F line 1: expected one integer (the number of matrices)"},
        {kPlain, 0, "0\n\n", "F line 1: the number of matrices must be at least 1"},
        {kPlain, 0, "3\n4\t5\n", "F line 2: expected 3 tab-separated integers (the matrix widths)"},
        {kPlain, 0, "1\n4.5\n", "F line 2: expected one integer (the matrix widths)"},
        {kPlain, 0, "1\n2\0x\n>m\n1\t0\t0\t0\n0\t1\t0\t0\n"s, "F line 2: expected one integer (the matrix widths)"},
        {kPlain, 0, "2\n3\t0\n", "F line 2: width of matrix 2 must be at least 1"},
        // Refused from the line itself, without reserving room for the announced count.
        {kPlain, 0, "2000000000\n4\t4\n", "F line 2: expected 2000000000 tab-separated integers (the matrix widths)"},
        {kPlain, 0, "1\n2\n", "F line 3: file ends before the header line of matrix 1"},
        {kPlain, 0, "2\n1\t2\na\n1\t2\t3\t4\nb\n1\t1\t1\t1\n", "F line 7: file ends before row 2 of matrix 2"},
        {kPlain, 0, "1\n1000000000\na\n1\t2\t3\t4\n", "F line 5: file ends before row 2 of matrix 1"},
        {kPlain, 0, "1\n1\na\n1\t2\t3\n", "F line 4: expected 4 tab-separated numbers (row 1 of matrix 1)"},
        {kPlain, 0, "1\n1\na\n1\t2\t3\t4\t5\n", "F line 4: expected 4 tab-separated numbers (row 1 of matrix 1)"},
        {kPlain, 0, "1\n1\na\n1\t\t3\t4\n", "F line 4: expected 4 tab-separated numbers (row 1 of matrix 1)"},
        {kPlain, 0, "1\n1\na\n1\tnan\t3\t4\n", "F line 4: expected 4 tab-separated numbers (row 1 of matrix 1)"},
        {kPlain, 0, "1\n2\na\n1\t2\t3\t4\n0\t0\t0\t0\n", "F line 5: row 2 of matrix 1 sums to zero"},
        {kPlain, 0, "1\n1\na\n5\t-1\t3\t4\n", "F line 4: negative entry in row 1 of matrix 1"},
        // A row whose sum overflows would give NaN log-frequencies; so would a JASPAR column.
        {kPlain, 0, "1\n1\na\n1e308\t1e308\t0\t0\n", "F line 4: row 1 of matrix 1 sums to more than 1e300"},
        {kSites, 0, "1\n1\n2\na\n1.7e308\t0\t0\t0\n", "F line 5: row 1 of matrix 1 sums to more than 1e300"},
        {kNames, 0, ">X\nA [1e308]\nC [1e308]\nG [0]\nT [0]\n",
         "F line 1: column 1 of matrix X sums to more than 1e300"},
        {kSites, 0, "2\n1\t1\n3\na\n1\t0\t0\t0\nb\n1\t0\t0\t0\n",
         "F line 3: expected 2 tab-separated numbers (the expected site numbers)"},
        {kSites, 0, "2\n1\t1\n3\t-1\na\n1\t0\t0\t0\nb\n1\t0\t0\t0\n",
         "F line 3: site number of matrix 2 must not be negative"},
        {kParam, 0, "", "parameter file F: the number of motifs must be at least 1"},
        {kParam, 1, "often\n", "F line 1: expected one number (the probability of entering a module)"},
        {kParam, 1, "1\n", "F line 1: the probability of entering a module must lie between 0 and 1"},
        {kParam, 3, "0.001\n0.01\t0.02\n", "F line 2: expected 3 tab-separated numbers (the site probabilities)"},
        // 0.5 + 0.25 + 0.25 is exactly 1 in binary: the module background would be 0.
        {kParam, 3, "0.001\n0.5\t0.25\t0.25\n",
         "F line 2: the site probabilities sum to 1 or more, leaving no module background"},
        {kParam, 2, "0.001\n0.01\t-0.5\n", "F line 2: site probability of motif 2 must not be negative"},
        {kParam, 2, "0.001\n0.01\t0.02\n8\n", "F line 3: expected 2 tab-separated integers (the motif widths)"},
        {kParam, 1, "0.001\n0.01\n1\n0.1 0.02\n",
         "F line 4: expected 2 tab-separated numbers (the two substitution probabilities)"},
        {kParam, 1, "0.001\n0.01\n1\n0\t0.02\n", "F line 4: substitution probabilities must lie between 0 and 1"},
        {kParam, 1, "0.001\n0.01\n1\n0.1\t1\n", "F line 4: substitution probabilities must lie between 0 and 1"},
        {kParam, 3, "0.001\n0.01\t0.02\t0.03\n1\t2\t1\n0.1\t0.02\n>m1\n8\t0\t2\t0\n>m2\n1\t1\t1\t1\n",
         "F line 9: file ends before row 2 of matrix 2"},
        {kParam, 1, "0.001\n0.01\n1\n0.1\t0.02\nm\n0\t0\t0\t0\n", "F line 6: row 1 of matrix 1 sums to zero"},
        {kParam, 1, "0.001\n0.01\n1\n0.1\t0.02\nm\n1e308\t1e308\t0\t0\n",
         "F line 6: row 1 of matrix 1 sums to more than 1e300"},
        // JASPAR and MEME hold no site numbers: refused where they are read, with the way to add them.
        {kSites, 0, kJaspar, "F is a JASPAR" + kNoSites},
        {kSites, 0, kMeme, "F is a MEME" + kNoSites},
        // Accepted. Sequences: upper-cased, cut at the first non-letter, text before any header ignored;
        // a header keeps a carriage return, and a last line without line feed is read whole.
        // Trailing blanks, carriage returns and non-letters without letters after them are fine.
        // Soft-masked: lower-case letters read as undetermined.
        {kMasked, 2, ">a\nACgtN\n>b\nacGT\n", "records 2; len 5 4; >a=ACNNN >b=NNGT"},
        {kSeq, 2, ">a\nACGT\0\n>b\nTTTT\n"s, "records 2; len 4 4; >a=ACGT >b=TTTT"},
        {kSeq, 3, "stray\n>first record\nacgtn\nGGTT\n>second\r\nACGT  \r\n\nACG*\n12\n>third",
         "records 3; len 9 7 0; >first record=ACGTNGGTT >second\\r=ACGTACG >third="},
        // Long lines are read whole.
        {kSeq, 2, ">" + std::string(12000, 'x') + "ACGT\nCC" + std::string(9999, 'A') + "\n>b\nG\n",
         "records 2; len 10001 1; >" + std::string(12000, 'x') + "ACGT=CC" + std::string(9999, 'A') + " >b=G"},
        {kAln, 3, ">s0\nacg-t\n>s1\nAC--T\n>s2\nACG-\n", "records 3; len 5 5 4; >s0=ACG-T >s1=AC--T >s2=ACG-"},
        // Counts and frequencies smooth alike.
        {kPlain, 0, "2\n1\t1\nfirst\n8\t0\t2\t0\nsecond\n0.8\t0\t0.2\t0\n", "width 1 1; pwm 83 3 23 3 | 83 3 23 3"},
        // Windows line ends and a last row without a line feed read the same.
        {kPlain, 0, "1\r\n3\r\nname\r\n1\t0\t0\t0\r\n0\t1\t0\t0\n0\t0\t0\t2",
         "width 3; pwm 103 3 3 3 / 3 103 3 3 / 3 3 3 103"},
        {kNames, 0, "3\n1\t1\t1\n>MA0001 GATA-1 (human)\n1\t2\t3\t4\ncr\r\n1\t1\t1\t1\n\n4\t3\t2\t1\n",
         "names [>MA0001 GATA-1 (human)] [cr\\r] []; width 1 1 1; pwm 13 23 33 43 | 28 28 28 28 | 43 33 23 13"},
        {kSites, 0, "2\n1\t2\n2\t0.5\na\n1\t0\t0\t0\nb\n0\t1\t0\t0\n0\t0\t1\t0\n",
         "sites 2 0.5; width 1 2; pwm 103 3 3 3 | 3 103 3 3 / 3 3 103 3"},
        // JASPAR and MEME smooth as the program's own rows.
        {kNames, 0, kJaspar, kArnt},
        {kNames, 0, kMeme, kArnt},
        // A site number of 0 switches a motif off.
        {kSites, 0, "1\n1\n0\na\n1\t0\t0\t0\n", "sites 0; width 1; pwm 103 3 3 3"},
        {kParam, 3, kParamText,
         "enter 0.001; pr 0.01 0.02 0.03 0.94; sub 0.1 0.02; width 1 2 1; "
         "pwm 83 3 23 3 | 28 28 28 28 / 3 3 103 3 | 83 3 23 3"},
    };
    for (const auto& [reader, n, text, expected] : cases) EXPECT_EQ(ReadText(reader, n, text), expected);
}
