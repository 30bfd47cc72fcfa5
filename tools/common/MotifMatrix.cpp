// Motif matrices of the companion tools.
#include "common/MotifMatrix.h"

#include <algorithm>
#include <cmath>

#include "common/ToolText.h"

namespace sertools {

namespace {

// Cursor over the lines of a file that names the file and line in its messages.
struct LineCursor {
    const std::string& path;
    const std::vector<std::string>& lines;
    std::size_t next = 0;

    bool Take(const std::string& what, std::string& line, std::string& err)
    {
        if (next >= lines.size()) {
            err = Format("%s: ends before %s", path.c_str(), what.c_str());
            return false;
        }
        line = lines[next++];
        return true;
    }
    std::string Where() const { return Format("%s:%zu", path.c_str(), next); }
};

}  // namespace

bool ReadMotifFile(const std::string& path, bool withSiteNumbers, std::vector<MotifMatrix>& motifs,
                   std::vector<double>* siteNumbers, std::string& err)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, err)) return false;
    LineCursor cur{path, lines};
    std::string line;

    if (!cur.Take("the matrix count", line, err)) return false;
    long long count = 0;
    if (!ParseInt(line, count) || count < 1 || count > 10000) {
        err = cur.Where() + ": the first line must be the number of matrices (a positive integer)";
        return false;
    }
    if (!cur.Take("the line of widths", line, err)) return false;
    std::vector<std::string> fields = SplitBlank(line);
    std::vector<int> widths;
    for (const std::string& f : fields) {
        long long w = 0;
        if (!ParseInt(f, w) || w < 1 || w > 1000) {
            err = cur.Where() + ": widths must be integers from 1 to 1000";
            return false;
        }
        widths.push_back(static_cast<int>(w));
    }
    if (widths.size() != static_cast<std::size_t>(count)) {
        err = Format("%s: expected %lld widths, found %zu", cur.Where().c_str(), count, widths.size());
        return false;
    }
    std::vector<double> sites;
    if (withSiteNumbers) {
        if (!cur.Take("the line of expected site numbers", line, err)) return false;
        for (const std::string& f : SplitBlank(line)) {
            double v = 0;
            if (!ParseDouble(f, v) || v < 0) {
                err = cur.Where() + ": expected site numbers must be non-negative numbers";
                return false;
            }
            sites.push_back(v);
        }
        if (sites.size() != static_cast<std::size_t>(count)) {
            err = Format("%s: expected %lld site numbers, found %zu", cur.Where().c_str(), count, sites.size());
            return false;
        }
    }
    std::vector<MotifMatrix> out(static_cast<std::size_t>(count));
    for (std::size_t m = 0; m < out.size(); ++m) {
        if (!cur.Take(Format("the header of matrix %zu", m + 1), line, err)) return false;
        out[m].name = line;
        out[m].p.resize(4 * static_cast<std::size_t>(widths[m]));
        for (int j = 0; j < widths[m]; ++j) {
            if (!cur.Take(Format("row %d of matrix %zu", j + 1, m + 1), line, err)) return false;
            fields = SplitBlank(line);
            double row[4];
            double sum = 0;
            bool ok = fields.size() == 4;
            for (int b = 0; ok && b < 4; ++b) {
                ok = ParseDouble(fields[b], row[b]) && row[b] >= 0;
                sum += ok ? row[b] : 0;
            }
            if (!ok || !(sum > 0)) {
                err = Format(
                    "%s: row %d of matrix %zu must hold four non-negative numbers (A C G "
                    "T) with a positive sum",
                    cur.Where().c_str(), j + 1, m + 1);
                return false;
            }
            for (int b = 0; b < 4; ++b) out[m].p[4 * j + b] = row[b] / sum;
        }
    }
    motifs = std::move(out);
    if (siteNumbers != nullptr) *siteNumbers = sites;
    return true;
}

std::string FormatMotifFile(const std::vector<MotifMatrix>& motifs, const std::vector<double>* siteNumbers)
{
    std::string text = Format("%zu\n", motifs.size());
    for (std::size_t m = 0; m < motifs.size(); ++m)
        text += Format(m + 1 < motifs.size() ? "%d\t" : "%d\n", motifs[m].Width());
    if (siteNumbers != nullptr)
        for (std::size_t m = 0; m < siteNumbers->size(); ++m)
            text += Format(m + 1 < siteNumbers->size() ? "%g\t" : "%g\n", (*siteNumbers)[m]);
    for (std::size_t m = 0; m < motifs.size(); ++m) text += FormatMatrixBlock(motifs[m], static_cast<int>(m + 1));
    return text;
}

std::string FormatMatrixBlock(const MotifMatrix& motif, int index)
{
    std::string text = motif.name.empty() ? Format("Motif%d", index) : motif.name;
    text += "\n";
    for (int j = 0; j < motif.Width(); ++j) {
        const double* r = &motif.p[4 * j];
        text += Format("%.4f\t%.4f\t%.4f\t%.4f\n", r[0], r[1], r[2], r[3]);
    }
    return text;
}

MotifMatrix ReverseComplement(const MotifMatrix& m)
{
    MotifMatrix r;
    r.name = m.name;
    int w = m.Width();
    r.p.resize(m.p.size());
    for (int j = 0; j < w; ++j)
        for (int b = 0; b < 4; ++b) r.p[4 * j + b] = m.p[4 * (w - 1 - j) + (3 - b)];
    return r;
}

double ColumnCorrelation(const double* a, const double* b)
{
    double ma = (a[0] + a[1] + a[2] + a[3]) / 4, mb = (b[0] + b[1] + b[2] + b[3]) / 4;
    double sab = 0, saa = 0, sbb = 0;
    for (int i = 0; i < 4; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    if (saa < 1e-15 || sbb < 1e-15) return 0;
    return sab / std::sqrt(saa * sbb);
}

MotifMatch CompareMotifs(const MotifMatrix& planted, const MotifMatrix& learned)
{
    MotifMatch best;
    best.score = -2;
    int wp = planted.Width(), wl = learned.Width();
    if (wp == 0 || wl == 0) return MotifMatch{};
    for (int strand : {1, -1}) {
        MotifMatrix q = strand == 1 ? learned : ReverseComplement(learned);
        for (int offset = -(wl - 1); offset <= wp - 1; ++offset) {
            double sum = 0;
            for (int j = 0; j < wl; ++j) {
                int i = offset + j;
                if (i >= 0 && i < wp) sum += ColumnCorrelation(&planted.p[4 * i], &q.p[4 * j]);
            }
            double score = sum / std::min(wp, wl);
            if (score > best.score + 1e-12)
                best = MotifMatch{score, offset, strand, std::min(wp, offset + wl) - std::max(0, offset)};
        }
    }
    return best;
}

}  // namespace sertools
