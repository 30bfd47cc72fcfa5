// The program's own matrix file, read one way by the program (-A, -B, -F, -P) and the tools.
//
// In order: the number of matrices M; a list line of M widths; when present, a list line of
// M expected site numbers; then per matrix one header line and one row of four numbers
// A C G T per column (counts or frequencies). The program writes list lines tab-separated
// (n values: n-1 tabs, the last value running to the end of the line) and reads them so; the
// tools also take values separated by runs of blanks. A value is the whole field apart from
// white space around it (base/Numbers.h). Widths are at least 1, site numbers not negative
// (0 switches a motif off), and a row holds four non-negative numbers whose sum is above 0 and
// at most kLargestRowSum, so that no arithmetic on a row (normalising, smoothing, counts
// times sites) can overflow.
//
// Every message names the file and line ("m.txt line 7: ..."); a missing line is named by
// the number it would have had.
#pragma once

#include <string>
#include <vector>

namespace motifio {

// The largest sum of a matrix row or column any reader accepts.
constexpr double kLargestRowSum = 1e300;

// Fields separated by blanks, tabs and carriage returns; brackets count as blanks when asked
// (JASPAR rows).
std::vector<std::string> Tokens(const std::string& line, bool bracketsAreBlank = false);

// The lines of one file, taken in turn, with the messages that name them.
class LineCursor {
public:
    // tabs: list lines are tab-separated (the program); else blank-separated (the tools).
    LineCursor(const std::vector<std::string>& lines, std::string fileName, bool tabs);

    // The next line; false at the end, with "file ends before <what>".
    bool Take(const std::string& what, std::string& line, std::string& err);
    // "name line n: " for the line taken last.
    std::string Where() const;

    // One list line of n values; else "expected n tab-separated numbers (<what>)".
    bool Integers(int n, const std::string& what, std::vector<int>& values, std::string& err);
    bool Reals(int n, const std::string& what, std::vector<double>& values, std::string& err);
    // As Integers, each value being the width of a matrix, at least 1.
    bool Widths(int n, const std::string& what, std::vector<int>& values, std::string& err);
    // The header line and the width rows of matrix index (from 0); rows receives the rows as
    // written, row j base b at 4j + b.
    bool Matrix(int index, int width, std::string& header, std::vector<double>& rows, std::string& err);

private:
    bool Split(const std::string& line, int n, std::vector<std::string>& fields) const;
    std::string Expected(int n, const std::string& what, const char* one, const char* many) const;

    const std::vector<std::string>& m_lines;  // borrowed
    std::string m_name;                       // file name for messages
    bool m_tabs;                              // list lines are tab-separated
    size_t m_next = 0;                        // index of the next line
};

// Whether the line of expected site numbers is there: Guess takes it when the file's length,
// without blank lines at its end, fits the matrices with it.
enum class SiteLine { Absent, Present, Guess };

// The content of a matrix file.
struct MatrixFile {
    std::vector<int> widths;                // the M widths
    std::vector<double> siteNumbers;        // the M expected site numbers; empty without the line
    std::vector<std::string> headers;       // header lines as read
    std::vector<std::vector<double>> rows;  // per matrix its rows as written, row j base b at 4j + b
};

// Reads a matrix file from its lines (without line feeds); fileName is used in messages.
bool ParseMatrixFile(const std::vector<std::string>& lines, const std::string& fileName, bool tabs, SiteLine siteLine,
                     MatrixFile& file, std::string& err);

}  // namespace motifio
