// The program's own matrix file.
#include "motif/MatrixFile.h"

#include "base/Numbers.h"

namespace motifio {

namespace {

// A list line of n values: the first n-1 end at the next tab, the last is the rest of the
// line. False when the line holds fewer than n-1 tabs.
bool SplitTabs(const std::string& line, int n, std::vector<std::string>& fields)
{
    size_t pos = 0;
    for (int v = 0; v + 1 < n; ++v) {
        const size_t tab = line.find('\t', pos);
        if (tab == std::string::npos) return false;
        fields.push_back(line.substr(pos, tab - pos));
        pos = tab + 1;
    }
    fields.push_back(line.substr(pos));
    return true;
}

}  // namespace

std::vector<std::string> Tokens(const std::string& line, bool bracketsAreBlank)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : line) {
        bool sep = c == ' ' || c == '\t' || c == '\r' || (bracketsAreBlank && (c == '[' || c == ']'));
        if (!sep) {
            cur += c;
        } else if (!cur.empty()) {
            out.push_back(cur);
            cur.clear();
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

LineCursor::LineCursor(const std::vector<std::string>& lines, std::string fileName, bool tabs)
    : m_lines(lines), m_name(std::move(fileName)), m_tabs(tabs)
{
}

bool LineCursor::Take(const std::string& what, std::string& line, std::string& err)
{
    ++m_next;
    if (m_next <= m_lines.size()) {
        line = m_lines[m_next - 1];
        return true;
    }
    m_next = m_lines.size() + 1;  // a missing line is named by the number it would have had
    err = Where() + "file ends before " + what;
    return false;
}

std::string LineCursor::Where() const
{
    return m_name + " line " + std::to_string(m_next) + ": ";
}

bool LineCursor::Split(const std::string& line, int n, std::vector<std::string>& fields) const
{
    fields.clear();
    if (m_tabs) return SplitTabs(line, n, fields);
    fields = Tokens(line);
    return fields.size() == static_cast<size_t>(n);
}

std::string LineCursor::Expected(int n, const std::string& what, const char* one, const char* many) const
{
    const std::string count =
        n == 1 ? std::string("one ") + one : std::to_string(n) + (m_tabs ? " tab-separated " : " ") + many;
    return Where() + "expected " + count + " (" + what + ")";
}

bool LineCursor::Integers(int n, const std::string& what, std::vector<int>& values, std::string& err)
{
    std::string line;
    if (!Take(what, line, err)) return false;
    std::vector<std::string> fields;
    // Sized only after the split, so an absurd announced count allocates nothing.
    bool ok = Split(line, n, fields);
    if (ok) values.assign(n, 0);
    for (int v = 0; ok && v < n; ++v) ok = serevan::ParseInt(fields[v], values[v]);
    if (!ok) err = Expected(n, what, "integer", "integers");
    return ok;
}

bool LineCursor::Reals(int n, const std::string& what, std::vector<double>& values, std::string& err)
{
    std::string line;
    if (!Take(what, line, err)) return false;
    std::vector<std::string> fields;
    bool ok = Split(line, n, fields);
    if (ok) values.assign(n, 0.0);
    for (int v = 0; ok && v < n; ++v) ok = serevan::ParseReal(fields[v], values[v]);
    if (!ok) err = Expected(n, what, "number", "numbers");
    return ok;
}

bool LineCursor::Widths(int n, const std::string& what, std::vector<int>& values, std::string& err)
{
    if (!Integers(n, what, values, err)) return false;
    for (int k = 0; k < n; ++k)
        if (values[k] < 1) {
            err = Where() + "width of matrix " + std::to_string(k + 1) + " must be at least 1";
            return false;
        }
    return true;
}

bool LineCursor::Matrix(int index, int width, std::string& header, std::vector<double>& rows, std::string& err)
{
    const std::string motif = "matrix " + std::to_string(index + 1);
    if (!Take("the header line of " + motif, header, err)) return false;
    rows.clear();
    std::vector<double> row;
    for (int j = 0; j < width; ++j) {
        const std::string what = "row " + std::to_string(j + 1) + " of " + motif;
        if (!Reals(4, what, row, err)) return false;
        double s = 0.0;
        for (int b = 0; b < 4; ++b) {
            if (row[b] < 0.0) {
                err = Where() + "negative entry in " + what;
                return false;
            }
            s += row[b];
        }
        if (!(s > 0.0)) {
            err = Where() + what + " sums to zero";
            return false;
        }
        if (s > kLargestRowSum) {
            err = Where() + what + " sums to more than 1e300";
            return false;
        }
        rows.insert(rows.end(), row.begin(), row.end());
    }
    return true;
}

bool ParseMatrixFile(const std::vector<std::string>& lines, const std::string& fileName, bool tabs, SiteLine siteLine,
                     MatrixFile& file, std::string& err)
{
    LineCursor src(lines, fileName, tabs);
    std::vector<int> count;
    if (!src.Integers(1, "the number of matrices", count, err)) return false;
    const int M = count[0];
    if (M < 1) {
        err = src.Where() + "the number of matrices must be at least 1";
        return false;
    }
    MatrixFile f;
    if (!src.Widths(M, "the matrix widths", f.widths, err)) return false;
    if (siteLine == SiteLine::Guess) {
        size_t used = lines.size(), rows = 0;
        while (used > 0 && Tokens(lines[used - 1]).empty()) --used;
        for (int w : f.widths) rows += static_cast<size_t>(w);
        siteLine = used == 3 + M + rows ? SiteLine::Present : SiteLine::Absent;
    }
    if (siteLine == SiteLine::Present) {
        if (!src.Reals(M, "the expected site numbers", f.siteNumbers, err)) return false;
        for (int m = 0; m < M; ++m)
            if (!(f.siteNumbers[m] >= 0.0)) {  // 0 switches a motif off
                err = src.Where() + "site number of matrix " + std::to_string(m + 1) + " must not be negative";
                return false;
            }
    }
    f.headers.resize(M);
    f.rows.resize(M);
    for (int m = 0; m < M; ++m)
        if (!src.Matrix(m, f.widths[m], f.headers[m], f.rows[m], err)) return false;
    file = std::move(f);
    return true;
}

}  // namespace motifio
