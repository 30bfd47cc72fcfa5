// Motif matrices in the common exchange formats.
//
// Sections: text helpers; columns to frequencies; the four readers; guessing; writers.
// The program's own file is read by motif/MatrixFile.h.
#include "motif/MotifFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fstream>

#include "base/Numbers.h"
#include "motif/MatrixFile.h"
#include "numeric/SeqMotifBasic.h"

namespace motifio {

namespace {

// ---- text helpers ----

std::string Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* fmt, ...)
{
    // Sized by a first pass: a count of 1e300 written with %.3f takes over 300 characters.
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out(n > 0 ? n : 0, '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, again);
    va_end(again);
    return out;
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string Trim(const std::string& s)
{
    const char* blank = " \t\r\n";
    size_t b = s.find_first_not_of(blank);
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(blank) - b + 1);
}

// A row or column label: one base letter in either case, U for T.
int BaseIndex(const std::string& label)
{
    if (label.size() != 1) return -1;
    return label[0] == 'U' || label[0] == 'u' ? 3 : serevan::BaseCodeAnyCase(label[0]);
}

// Splits "ID NAME..." into id and name (the name is the id when there is no second word).
void SplitHeader(const std::string& header, Motif& m)
{
    std::string h = Trim(header);
    size_t gap = h.find_first_of(" \t");
    m.id = h.substr(0, gap);
    m.name = gap == std::string::npos ? m.id : Trim(h.substr(gap));
}

class Where {
public:
    explicit Where(const std::string& file) : m_file(file) {}
    std::string operator()(size_t index) const { return m_file + " line " + std::to_string(index + 1) + ": "; }

private:
    std::string m_file;
};

// ---- columns to frequencies ----

// raw holds 4 numbers per column; every column is scaled to sum 1. The column sums say
// whether they were counts (their largest sum becomes the site count), frequencies or
// percentages. Returns an empty string or the reason the matrix is refused.
std::string SetColumns(const std::vector<double>& raw, Motif& m)
{
    if (raw.empty()) return "matrix " + m.id + " has no columns";
    m.p.assign(raw.size(), 0.0);
    bool unit = true, percent = true, whole = true;
    double largest = 0;
    for (size_t j = 0; j < raw.size() / 4; ++j) {
        double s = 0;
        for (int b = 0; b < 4; ++b) {
            double x = raw[4 * j + b];
            if (x < 0) return "negative entry in column " + std::to_string(j + 1) + " of matrix " + m.id;
            whole = whole && std::fabs(x - std::round(x)) < 1e-6;
            s += x;
        }
        if (!(s > 0)) return "column " + std::to_string(j + 1) + " of matrix " + m.id + " sums to zero";
        if (s > kLargestRowSum)
            return "column " + std::to_string(j + 1) + " of matrix " + m.id + " sums to more than 1e300";
        for (int b = 0; b < 4; ++b) m.p[4 * j + b] = raw[4 * j + b] / s;
        unit = unit && std::fabs(s - 1) < 0.02;
        percent = percent && std::fabs(s - 100) < 1;
        largest = std::max(largest, s);
    }
    if (!unit && !(percent && !whole)) m.sites = largest;
    return "";
}

// ---- readers ----

// The program's own file (motif/MatrixFile.h), its list lines separated by tabs or blanks; a
// file with the line of expected sites (for -F) is told by its length when the caller does
// not ask for that line.
bool ReadProgram(const std::vector<std::string>& lines, const std::string& fileName, std::vector<Motif>& out,
                 std::vector<double>* siteNumbers, std::string& err)
{
    MatrixFile file;
    if (!ParseMatrixFile(lines, fileName, false, siteNumbers ? SiteLine::Present : SiteLine::Guess, file, err))
        return false;
    for (size_t m = 0; m < file.rows.size(); ++m) {
        Motif motif;
        SplitHeader(file.headers[m], motif);
        if (motif.id.empty()) motif.id = motif.name = "Motif" + std::to_string(m + 1);
        SetColumns(file.rows[m], motif);  // the rows were checked as they were read
        out.push_back(motif);
    }
    if (siteNumbers) *siteNumbers = std::move(file.siteNumbers);
    return true;
}

bool ReadJaspar(const std::vector<std::string>& lines, const Where& at, std::vector<Motif>& out, std::string& err)
{
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty()) ++i;
    while (i < lines.size()) {
        if (!StartsWith(lines[i], ">")) {
            err = at(i) + "expected a header line '>ID NAME'";
            return false;
        }
        const size_t head = i;
        Motif m;
        SplitHeader(lines[i].substr(1), m);
        if (m.id.empty()) {
            err = at(i) + "header line without an ID";
            return false;
        }
        std::vector<std::vector<double>> rows(4);
        std::vector<bool> seen(4, false);
        int unlabelled = 0, labelled = 0;
        for (++i; i < lines.size() && !StartsWith(lines[i], ">"); ++i) {
            std::vector<std::string> f = Tokens(lines[i], true);
            if (f.empty()) continue;
            int base = BaseIndex(f[0]);
            size_t first = 1;
            if (base < 0) {
                base = unlabelled++;
                first = 0;
            } else {
                ++labelled;
            }
            if (base > 3 || seen[base] || (labelled && unlabelled)) {
                err = at(i) + "matrix " + m.id + " needs exactly four rows, A C G T";
                return false;
            }
            seen[base] = true;
            for (size_t k = first; k < f.size(); ++k) {
                double v = 0;
                if (!serevan::ParseReal(f[k], v)) {
                    err = at(i) + "'" + f[k] + "' is not a number (matrix " + m.id + ")";
                    return false;
                }
                rows[base].push_back(v);
            }
            if (rows[base].size() != rows[0].size() && seen[0]) {
                err = at(i) + "rows of matrix " + m.id + " have unequal lengths";
                return false;
            }
        }
        for (int b = 0; b < 4; ++b)
            if (!seen[b] || rows[b].size() != rows[0].size()) {
                err = at(head) + "matrix " + m.id +
                      (seen[b] ? " has rows of unequal lengths" : " lacks a row of its four");
                return false;
            }
        std::vector<double> raw;
        for (size_t j = 0; j < rows[0].size(); ++j)
            for (int b = 0; b < 4; ++b) raw.push_back(rows[b][j]);
        if (std::string why = SetColumns(raw, m); !why.empty()) {
            err = at(head) + why;
            return false;
        }
        out.push_back(m);
    }
    return true;
}

// The value after "key=" in a MEME matrix line ("w= 6"), or -1.
double KeyValue(const std::vector<std::string>& f, const std::string& key)
{
    for (size_t k = 0; k < f.size(); ++k) {
        std::string v;
        if (f[k] == key + "=" && k + 1 < f.size())
            v = f[k + 1];
        else if (StartsWith(f[k], (key + "=").c_str()))
            v = f[k].substr(key.size() + 1);
        else
            continue;
        double x = 0;
        return serevan::ParseReal(v, x) ? x : -1;
    }
    return -1;
}

bool ReadMeme(const std::vector<std::string>& lines, const Where& at, std::vector<Motif>& out, std::string& err)
{
    bool version = false;
    Motif m;
    bool open = false;  // a MOTIF line waits for its matrix
    size_t motifLine = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = Trim(lines[i]);
        if (StartsWith(line, "MEME version")) {
            version = true;
        } else if (StartsWith(line, "ALPHABET=")) {
            std::string a = Trim(line.substr(9));
            if (a != "ACGT" && a != "ACGU") {
                err = at(i) + "only the DNA alphabet ACGT is read (got '" + a + "')";
                return false;
            }
        } else if (StartsWith(line, "MOTIF")) {
            if (open) {
                err = at(motifLine) + "motif " + m.id + " has no letter-probability matrix";
                return false;
            }
            m = Motif{};
            SplitHeader(line.substr(5), m);
            if (m.id.empty()) {
                err = at(i) + "MOTIF line without an ID";
                return false;
            }
            open = true;
            motifLine = i;
        } else if (StartsWith(line, "letter-probability matrix")) {
            if (!open) {
                err = at(i) + "letter-probability matrix without a MOTIF line";
                return false;
            }
            std::vector<std::string> f =
                Tokens(line.substr(line.find(':') == std::string::npos ? line.size() : line.find(':') + 1));
            const double w = KeyValue(f, "w"), alength = KeyValue(f, "alength"), nsites = KeyValue(f, "nsites");
            if (alength >= 0 && alength != 4) {
                err = at(i) + "alength must be 4 (DNA)";
                return false;
            }
            if (w >= 0 && (w < 1 || w != std::floor(w))) {
                err = at(i) + "w= must be a whole number of at least 1";
                return false;
            }
            // Rows read so far, compared with w as reals: w may be far larger than any file.
            std::vector<double> raw;
            auto rows = [&raw] { return static_cast<double>(raw.size() / 4); };
            size_t j = i + 1;
            for (; j < lines.size(); ++j) {
                std::vector<std::string> r = Tokens(lines[j]);
                if (r.empty() && raw.empty()) continue;
                double v[4];
                bool ok = r.size() == 4;
                for (int b = 0; ok && b < 4; ++b) ok = serevan::ParseReal(r[b], v[b]);
                if (!ok) {
                    if (w < 0 && !raw.empty()) break;
                    if (w >= 0 && rows() >= w) break;
                    err = at(j) + "expected a row of four probabilities (motif " + m.id + ")";
                    return false;
                }
                raw.insert(raw.end(), v, v + 4);
                if (w >= 0 && rows() == w) {
                    ++j;
                    break;
                }
            }
            if (w >= 0 && rows() != w) {
                err = at(j == lines.size() ? j - 1 : j) + "motif " + m.id + " has fewer than w rows";
                return false;
            }
            if (std::string why = SetColumns(raw, m); !why.empty()) {
                err = at(i) + why;
                return false;
            }
            if (nsites > 0) m.sites = nsites;
            out.push_back(m);
            open = false;
            i = j - 1;
        }
    }
    if (!version) {
        err = at(0) + "not a MEME file (no 'MEME version' line)";
        return false;
    }
    if (open) {
        err = at(motifLine) + "motif " + m.id + " has no letter-probability matrix";
        return false;
    }
    return true;
}

bool ReadTransfac(const std::vector<std::string>& lines, const Where& at, std::vector<Motif>& out, std::string& err)
{
    Motif m;
    std::vector<double> raw;
    int order[4] = {0, 1, 2, 3};
    bool inMatrix = false, any = false, named = false;
    size_t start = 0;
    auto finish = [&](size_t i) {
        if (!any) return true;
        if (m.id.empty()) m.id = m.name;
        if (m.id.empty()) m.id = m.name = "motif" + std::to_string(out.size() + 1);
        if (std::string why = SetColumns(raw, m); !why.empty()) {
            err = at(raw.empty() ? start : i) + why;
            return false;
        }
        out.push_back(m);
        m = Motif{};
        raw.clear();
        inMatrix = any = named = false;
        return true;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = lines[i];
        std::vector<std::string> f = Tokens(line);
        if (f.empty()) continue;
        const std::string key = f[0];
        if (key == "//") {
            if (!finish(i)) return false;
            continue;
        }
        if (!any) start = i;
        any = true;
        const std::string rest = f.size() > 1 ? Trim(Trim(line).substr(key.size())) : "";
        if (key == "AC") {
            m.id = rest;
            inMatrix = false;
        } else if (key == "ID" || (key == "NA" && !named)) {
            m.name = rest;
            named = key == "ID" || named;
            inMatrix = false;
        } else if (key == "P0" || key == "PO") {
            if (f.size() < 5) {
                err = at(i) + "the P0 line must name the four bases";
                return false;
            }
            int seen = 0;  // bit per base: each of the four must be named once
            for (int b = 0; b < 4; ++b) {
                order[b] = BaseIndex(f[b + 1]);
                if (order[b] >= 0 && !((seen >> order[b]) & 1))
                    seen |= 1 << order[b];
                else
                    order[b] = -1;
                if (order[b] < 0) {
                    err = at(i) + "the P0 line must name the bases A C G T";
                    return false;
                }
            }
            inMatrix = true;
        } else if (inMatrix && std::isdigit(static_cast<unsigned char>(key[0]))) {
            double v[4];
            bool ok = f.size() >= 5;
            for (int b = 0; ok && b < 4; ++b) ok = serevan::ParseReal(f[b + 1], v[b]);
            if (!ok) {
                err = at(i) + "a matrix row must hold its position and four numbers";
                return false;
            }
            double col[4];
            for (int b = 0; b < 4; ++b) col[order[b]] = v[b];
            raw.insert(raw.end(), col, col + 4);
        } else {
            inMatrix = false;
        }
    }
    if (!finish(lines.empty() ? 0 : lines.size() - 1)) return false;
    if (out.empty()) {
        err = at(0) + "no TRANSFAC matrix found";
        return false;
    }
    return true;
}

// ---- writers ----

// A count as a whole number when it is one, else with up to three decimals; a count below
// 0.1 with three significant digits, so a matrix of tiny counts is not written as zeros.
std::string Count(double x)
{
    if (x > 0 && x < 0.1) return Printf("%.3g", x);
    if (std::fabs(x - std::round(x)) < 5e-4) return Printf("%.0f", std::round(x));
    std::string s = Printf("%.3f", x);
    while (s.back() == '0') s.pop_back();
    return s;
}

// Column j base b as written: a count when the matrix knows its sites, else a frequency.
std::string Entry(const Motif& m, int j, int b)
{
    return m.sites > 0 ? Count(m.p[4 * j + b] * m.sites) : Printf("%.4f", m.p[4 * j + b]);
}

std::string Header(const Motif& m)
{
    return m.name.empty() || m.name == m.id ? m.id : m.id + " " + m.name;
}

}  // namespace

MotifFormat FormatFromName(const std::string& name)
{
    if (name == "jaspar") return MotifFormat::Jaspar;
    if (name == "meme") return MotifFormat::Meme;
    if (name == "transfac") return MotifFormat::Transfac;
    if (name == "program") return MotifFormat::Program;
    return MotifFormat::Unknown;
}

const char* FormatName(MotifFormat format)
{
    switch (format) {
    case MotifFormat::Jaspar: return "jaspar";
    case MotifFormat::Meme: return "meme";
    case MotifFormat::Transfac: return "transfac";
    case MotifFormat::Program: return "program";
    default: return "unknown";
    }
}

MotifFormat GuessFormat(const std::vector<std::string>& lines)
{
    for (const std::string& raw : lines) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '>') return MotifFormat::Jaspar;
        if (StartsWith(line, "MEME version")) return MotifFormat::Meme;
        const std::string key = Tokens(line)[0];
        for (const char* k : {"AC", "ID", "NA", "P0", "PO", "XX", "DE", "VV", "//"})
            if (key == k) return MotifFormat::Transfac;
        double v = 0;
        if (Tokens(line).size() == 1 && serevan::ParseReal(key, v)) return MotifFormat::Program;
        return MotifFormat::Unknown;
    }
    return MotifFormat::Unknown;
}

bool ParseMotifs(const std::vector<std::string>& lines, const std::string& fileName, MotifFormat format,
                 std::vector<Motif>& motifs, std::vector<double>* siteNumbers, std::string& err)
{
    if (format == MotifFormat::Unknown) format = GuessFormat(lines);
    const Where at(fileName);
    std::vector<Motif> out;
    bool ok = false;
    switch (format) {
    case MotifFormat::Program: ok = ReadProgram(lines, fileName, out, siteNumbers, err); break;
    case MotifFormat::Jaspar: ok = ReadJaspar(lines, at, out, err); break;
    case MotifFormat::Meme: ok = ReadMeme(lines, at, out, err); break;
    case MotifFormat::Transfac: ok = ReadTransfac(lines, at, out, err); break;
    default:
        err = at(0) +
              "unknown motif file format (expected JASPAR '>ID NAME', 'MEME version', TRANSFAC keys or the "
              "number of matrices)";
        return false;
    }
    if (ok && out.empty()) {
        err = at(0) + "no matrix found";
        ok = false;
    }
    if (ok) motifs = std::move(out);
    return ok;
}

bool ReadMotifsAs(const std::string& path, MotifFormat& format, std::vector<Motif>& motifs,
                  std::vector<double>* siteNumbers, std::string& err)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err = "cannot open motif file " + path;
        return false;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (in.bad()) {
        err = "cannot read motif file " + path;
        return false;
    }
    if (format == MotifFormat::Unknown) format = GuessFormat(lines);
    return ParseMotifs(lines, path, format, motifs, siteNumbers, err);
}

bool ReadMotifs(const std::string& path, MotifFormat format, std::vector<Motif>& motifs,
                std::vector<double>* siteNumbers, std::string& err)
{
    return ReadMotifsAs(path, format, motifs, siteNumbers, err);
}

std::string FormatMatrixBlock(const Motif& m, int index)
{
    std::string text = (m.id.empty() ? "Motif" + std::to_string(index) : Header(m)) + "\n";
    for (int j = 0; j < m.Width(); ++j)
        text += Entry(m, j, 0) + "\t" + Entry(m, j, 1) + "\t" + Entry(m, j, 2) + "\t" + Entry(m, j, 3) + "\n";
    return text;
}

std::string FormatMotifs(const std::vector<Motif>& motifs, MotifFormat format, const std::vector<double>* siteNumbers)
{
    std::string text;
    switch (format) {
    case MotifFormat::Program:
        text = std::to_string(motifs.size()) + "\n";
        for (size_t m = 0; m < motifs.size(); ++m)
            text += std::to_string(motifs[m].Width()) + (m + 1 < motifs.size() ? "\t" : "\n");
        if (siteNumbers)
            for (size_t m = 0; m < siteNumbers->size(); ++m)
                text += Printf("%g", (*siteNumbers)[m]) + (m + 1 < siteNumbers->size() ? "\t" : "\n");
        for (size_t m = 0; m < motifs.size(); ++m) text += FormatMatrixBlock(motifs[m], static_cast<int>(m + 1));
        break;
    case MotifFormat::Jaspar:
        for (const Motif& m : motifs) {
            text += ">" + m.id + " " + (m.name.empty() ? m.id : m.name) + "\n";
            for (int b = 0; b < 4; ++b) {
                text += std::string(1, "ACGT"[b]) + "  [";
                for (int j = 0; j < m.Width(); ++j) text.append(" ").append(Entry(m, j, b));
                text += " ]\n";
            }
        }
        break;
    case MotifFormat::Meme:
        text =
            "MEME version 4\n\nALPHABET= ACGT\n\nstrands: + -\n\nBackground letter frequencies\n"
            "A 0.25 C 0.25 G 0.25 T 0.25\n\n";
        for (const Motif& m : motifs) {
            text += "MOTIF " + Header(m) + "\n";
            text += Printf("letter-probability matrix: alength= 4 w= %d nsites= %.0f E= 0\n", m.Width(),
                           m.sites > 0 ? std::round(m.sites) : 20.0);
            for (int j = 0; j < m.Width(); ++j) {
                const double* r = &m.p[4 * j];
                text += Printf(" %.6f %.6f %.6f %.6f\n", r[0], r[1], r[2], r[3]);
            }
            text += "\n";
        }
        break;
    case MotifFormat::Transfac:
        for (const Motif& m : motifs) {
            text.append("AC  ").append(m.id).append("\nXX\nID  ");
            text.append(m.name.empty() ? m.id : m.name).append("\nXX\n");
            text += "P0      A      C      G      T\n";
            // A key, then values in columns of 7 (TRANSFAC wants two blanks after the key).
            for (int j = 0; j < m.Width(); ++j) {
                text += Printf("%02d ", j + 1);
                for (int b = 0; b < 4; ++b) text += Printf(" %6s", Entry(m, j, b).c_str());
                text += "\n";
            }
            text += "XX\n//\n";
        }
        break;
    default: break;
    }
    return text;
}

}  // namespace motifio
