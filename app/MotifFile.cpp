// Readers of the motif matrix file and of the model parameter file.
//
// Sections: line source and list fields; number conversion; matrix blocks; the readers.
#include "app/MotifFile.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/TextLines.h"
#include "motif/MotifFormats.h"

namespace {

// ---- line source and list fields ----

// Lines of one file with their numbers, and the messages that name them.
class LineSource {
public:
    LineSource(std::FILE* f, const CString& name) : m_pFile(f), m_sName(name.c_str()) {}

    // Reads the next line; false (with a message saying what is missing) at the end.
    bool Next(std::string& line, const std::string& what, std::string& err)
    {
        ++m_nLine;
        if (ReadTextLine(m_pFile, line)) return true;
        err = Where() + "file ends before " + what;
        return false;
    }

    // "name line n: " for the line read last.
    std::string Where() const { return m_sName + " line " + std::to_string(m_nLine) + ": "; }

private:
    std::FILE* m_pFile;   // borrowed open file
    std::string m_sName;  // file name as given, for messages
    int m_nLine = 0;      // number of the line read last (1-based)
};

// Splits a list line of n values: the first n-1 end at the next tab, the last is the rest
// of the line. False when the line holds fewer than n-1 tabs.
bool SplitList(const std::string& line, int n, std::vector<std::string>& fields)
{
    fields.clear();
    size_t pos = 0;
    for (int v = 0; v + 1 < n; ++v) {
        size_t tab = line.find('\t', pos);
        if (tab == std::string::npos) return false;
        fields.push_back(line.substr(pos, tab - pos));
        pos = tab + 1;
    }
    fields.push_back(line.substr(pos));
    return true;
}

// ---- number conversion ----

bool OnlySpaceFrom(const char* p)
{
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    return *p == '\0';
}

// A finite real filling the whole field (white space around it allowed). A zero byte would
// end the text early for the C conversions, so a field holding one is refused.
bool ParseReal(const std::string& field, double& value)
{
    if (field.find('\0') != std::string::npos) return false;
    const char* s = field.c_str();
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || !OnlySpaceFrom(end) || !std::isfinite(v)) return false;
    value = v;
    return true;
}

// A base-10 integer in int range filling the whole field.
bool ParseInt(const std::string& field, int& value)
{
    if (field.find('\0') != std::string::npos) return false;
    const char* s = field.c_str();
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (end == s || !OnlySpaceFrom(end) || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

std::string Plural(int n, const char* one, const char* many)
{
    return n == 1 ? std::string("one ") + one : std::to_string(n) + " tab-separated " + many;
}

// Reads one list line of n reals.
bool ReadReals(LineSource& src, int n, const std::string& what, std::vector<double>& values, std::string& err)
{
    std::string line;
    if (!src.Next(line, what, err)) return false;
    std::vector<std::string> fields;
    // Sized only after the split, so an absurd announced count allocates nothing.
    bool ok = SplitList(line, n, fields);
    if (ok) values.assign(n, 0.0);
    for (int v = 0; ok && v < n; ++v) ok = ParseReal(fields[v], values[v]);
    if (!ok) err = src.Where() + "expected " + Plural(n, "number", "numbers") + " (" + what + ")";
    return ok;
}

// Reads one list line of n integers.
bool ReadInts(LineSource& src, int n, const std::string& what, std::vector<int>& values, std::string& err)
{
    std::string line;
    if (!src.Next(line, what, err)) return false;
    std::vector<std::string> fields;
    bool ok = SplitList(line, n, fields);
    if (ok) values.assign(n, 0);
    for (int v = 0; ok && v < n; ++v) ok = ParseInt(fields[v], values[v]);
    if (!ok) err = src.Where() + "expected " + Plural(n, "integer", "integers") + " (" + what + ")";
    return ok;
}

// ---- matrix blocks ----

// Reads one header line and width rows; the rows are stored smoothed, 4j + b.
bool ReadMatrix(LineSource& src, int index, int width, std::vector<double>& matrix, std::string& header,
                std::string& err)
{
    const std::string motif = "matrix " + std::to_string(index + 1);
    std::string line;
    if (!src.Next(line, "the header line of " + motif, err)) return false;
    header = StripLineFeed(line);
    matrix.clear();
    std::vector<double> row;
    for (int j = 0; j < width; ++j) {
        const std::string what = "row " + std::to_string(j + 1) + " of " + motif;
        if (!ReadReals(src, 4, what, row, err)) return false;
        double s = 0.0;
        for (int b = 0; b < 4; ++b) {
            if (row[b] < 0.0) {
                err = src.Where() + "negative entry in " + what;
                return false;
            }
            s += row[b];
        }
        if (!(s > 0.0)) {
            err = src.Where() + what + " sums to zero";
            return false;
        }
        // 3 % of the row sum as pseudocount per base; 1.12 = 1 + 4 * 0.03.
        for (int b = 0; b < 4; ++b) matrix.push_back(std::log((row[b] + 0.03 * s) / (1.12 * s)));
    }
    return true;
}

// Widths of line n: every one at least 1.
bool CheckWidths(const LineSource& src, const std::vector<int>& width, std::string& err)
{
    for (size_t k = 0; k < width.size(); ++k)
        if (width[k] < 1) {
            err = src.Where() + "width of matrix " + std::to_string(k + 1) + " must be at least 1";
            return false;
        }
    return true;
}

// ---- the readers ----

// A JASPAR or MEME file, smoothed as the program's own rows. It holds no expected site
// numbers, so the site-number reading (-F) is refused with the way to add them.
int ReadStandardFile(const CString& file, bool jaspar, std::vector<std::vector<double>>& pwm, std::vector<int>& width,
                     std::vector<double>* sitePr, std::vector<CString>* names, std::string& err)
{
    const char* kind = jaspar ? "JASPAR" : "MEME";
    if (sitePr) {
        err = std::string(file.c_str()) + " is a " + kind +
              " file without expected site numbers; add them with: serevan-prep motifs " + file.c_str() +
              " --sites n,... -o MOTIFS.txt";
        return -1;
    }
    std::vector<motifio::Motif> motifs;
    if (!motifio::ReadMotifs(file.c_str(), jaspar ? motifio::MotifFormat::Jaspar : motifio::MotifFormat::Meme, motifs,
                             nullptr, err))
        return -1;
    std::vector<std::vector<double>> matrices;
    std::vector<int> w;
    std::vector<CString> headers;
    for (const motifio::Motif& m : motifs) {
        std::vector<double> matrix;
        // Frequencies sum to 1 per column, so the 3 % pseudocount is 0.03 per base.
        for (double x : m.p) matrix.push_back(std::log((x + 0.03) / 1.12));
        matrices.push_back(std::move(matrix));
        w.push_back(m.Width());
        headers.push_back((m.name == m.id ? m.id : m.id + " " + m.name).c_str());
    }
    pwm = std::move(matrices);
    width = std::move(w);
    if (names) *names = std::move(headers);
    return static_cast<int>(pwm.size());
}

// Shared body of the three ReadKnownPWM overloads; sitePr and names may be null.
int ReadMotifFile(const CString& file, std::vector<std::vector<double>>& pwm, std::vector<int>& width,
                  std::vector<double>* sitePr, std::vector<CString>* names, std::string& err)
{
    InputFile f = OpenInput(file.c_str());
    if (!f) {
        err = std::string("cannot open motif matrix file ") + file.c_str();
        return -1;
    }
    std::string first;
    ReadTextLine(f.get(), first);
    const size_t lead = first.find_first_not_of(" \t");
    if (lead != std::string::npos && (first[lead] == '>' || first.compare(lead, 12, "MEME version") == 0))
        return ReadStandardFile(file, first[lead] == '>', pwm, width, sitePr, names, err);
    std::rewind(f.get());
    LineSource src(f.get(), file);
    std::vector<int> count;
    if (!ReadInts(src, 1, "the number of matrices", count, err)) return -1;
    const int M = count[0];
    if (M < 1) {
        err = src.Where() + "the number of matrices must be at least 1";
        return -1;
    }
    std::vector<int> w;
    if (!ReadInts(src, M, "the matrix widths", w, err) || !CheckWidths(src, w, err)) return -1;
    std::vector<double> pr;
    if (sitePr) {
        if (!ReadReals(src, M, "the expected site numbers", pr, err)) return -1;
        for (int m = 0; m < M; ++m)
            if (!(pr[m] >= 0.0)) {  // 0 switches a motif off
                err = src.Where() + "site number of matrix " + std::to_string(m + 1) + " must not be negative";
                return -1;
            }
    }
    std::vector<std::vector<double>> matrices(M);
    std::vector<CString> headers(M);
    std::string header;
    for (int m = 0; m < M; ++m) {
        if (!ReadMatrix(src, m, w[m], matrices[m], header, err)) return -1;
        headers[m] = header.c_str();
    }

    pwm = std::move(matrices);
    width = std::move(w);
    if (sitePr) *sitePr = std::move(pr);
    if (names) *names = std::move(headers);
    return M;
}

}  // namespace

int ReadKnownPWM(const CString& file, std::vector<std::vector<double>>& pwm, std::vector<int>& width, std::string& err)
{
    return ReadMotifFile(file, pwm, width, nullptr, nullptr, err);
}

int ReadKnownPWM(const CString& file, std::vector<std::vector<double>>& pwm, std::vector<int>& width,
                 std::vector<double>& sitePr, std::string& err)
{
    return ReadMotifFile(file, pwm, width, &sitePr, nullptr, err);
}

int ReadKnownPWM(const CString& file, std::vector<std::vector<double>>& pwm, std::vector<int>& width,
                 std::vector<CString>& names, std::string& err)
{
    return ReadMotifFile(file, pwm, width, nullptr, &names, err);
}

bool ReadParamFile(const CString& file, double* enterPr, std::vector<double>& motifPr, std::vector<int>& width,
                   std::vector<std::vector<double>>& pwm, double* subRate, int K, std::string& err)
{
    if (K < 1) {
        err = std::string("parameter file ") + file.c_str() + ": the number of motifs must be at least 1";
        return false;
    }
    InputFile f = OpenInput(file.c_str());
    if (!f) {
        err = std::string("cannot open parameter file ") + file.c_str();
        return false;
    }
    LineSource src(f.get(), file);

    std::vector<double> enter;
    if (!ReadReals(src, 1, "the probability of entering a module", enter, err)) return false;
    if (!(enter[0] > 0.0 && enter[0] < 1.0)) {
        err = src.Where() + "the probability of entering a module must lie between 0 and 1";
        return false;
    }

    std::vector<double> pr;
    if (!ReadReals(src, K, "the site probabilities", pr, err)) return false;
    double sum = 0.0;
    for (int k = 0; k < K; ++k) {
        if (!(pr[k] >= 0.0)) {  // 0 switches a motif off
            err = src.Where() + "site probability of motif " + std::to_string(k + 1) + " must not be negative";
            return false;
        }
        sum += pr[k];
    }
    const double background = 1.0 - sum;
    if (!(background > 0.0)) {
        err = src.Where() + "the site probabilities sum to 1 or more, leaving no module background";
        return false;
    }
    pr.push_back(background);

    std::vector<int> w;
    if (!ReadInts(src, K, "the motif widths", w, err) || !CheckWidths(src, w, err)) return false;

    std::vector<double> sub;
    if (!ReadReals(src, 2, "the two substitution probabilities", sub, err)) return false;
    if (!(sub[0] > 0.0 && sub[0] < 1.0 && sub[1] > 0.0 && sub[1] < 1.0)) {
        err = src.Where() + "substitution probabilities must lie between 0 and 1";
        return false;
    }

    std::vector<std::vector<double>> matrices(K);
    std::string header;
    for (int k = 0; k < K; ++k)
        if (!ReadMatrix(src, k, w[k], matrices[k], header, err)) return false;

    *enterPr = enter[0];
    motifPr = std::move(pr);
    width = std::move(w);
    pwm = std::move(matrices);
    subRate[0] = sub[0];
    subRate[1] = sub[1];
    return true;
}
