// Readers of the motif matrix file and of the model parameter file.
//
// The program's own format is read by motif/MatrixFile.h; here its rows are smoothed.
#include "app/MotifFile.h"

#include <cmath>

#include "app/TextLines.h"
#include "motif/MatrixFile.h"
#include "motif/MotifFormats.h"

namespace {

// Every line of a file without its line feed (a carriage return before it stays); false when
// the file cannot be opened.
bool ReadLines(const CString& file, std::vector<std::string>& lines)
{
    InputFile f = OpenInput(file.c_str());
    if (!f) return false;
    for (std::string line; ReadTextLine(f.get(), line);) lines.push_back(StripLineFeed(line));
    return true;
}

// Rows as written, stored smoothed at 4j + b.
std::vector<double> Smoothed(const std::vector<double>& rows)
{
    std::vector<double> matrix;
    for (size_t j = 0; j < rows.size(); j += 4) {
        const double* row = &rows[j];
        double s = 0.0;
        for (int b = 0; b < 4; ++b) s += row[b];
        // 3 % of the row sum as pseudocount per base; 1.12 = 1 + 4 * 0.03.
        for (int b = 0; b < 4; ++b) matrix.push_back(std::log((row[b] + 0.03 * s) / (1.12 * s)));
    }
    return matrix;
}

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
    std::vector<std::string> lines;
    if (!ReadLines(file, lines)) {
        err = std::string("cannot open motif matrix file ") + file.c_str();
        return -1;
    }
    const std::string first = lines.empty() ? "" : lines[0];
    const size_t lead = first.find_first_not_of(" \t");
    if (lead != std::string::npos && (first[lead] == '>' || first.compare(lead, 12, "MEME version") == 0))
        return ReadStandardFile(file, first[lead] == '>', pwm, width, sitePr, names, err);
    motifio::MatrixFile m;
    const motifio::SiteLine sites = sitePr ? motifio::SiteLine::Present : motifio::SiteLine::Absent;
    if (!motifio::ParseMatrixFile(lines, file.c_str(), true, sites, m, err)) return -1;
    pwm.clear();
    for (const std::vector<double>& rows : m.rows) pwm.push_back(Smoothed(rows));
    width = std::move(m.widths);
    if (sitePr) *sitePr = std::move(m.siteNumbers);
    if (names) {
        names->clear();
        for (const std::string& h : m.headers) names->push_back(h.c_str());
    }
    return static_cast<int>(pwm.size());
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
    std::vector<std::string> lines;
    if (!ReadLines(file, lines)) {
        err = std::string("cannot open parameter file ") + file.c_str();
        return false;
    }
    motifio::LineCursor src(lines, file.c_str(), true);

    std::vector<double> enter;
    if (!src.Reals(1, "the probability of entering a module", enter, err)) return false;
    if (!(enter[0] > 0.0 && enter[0] < 1.0)) {
        err = src.Where() + "the probability of entering a module must lie between 0 and 1";
        return false;
    }

    std::vector<double> pr;
    if (!src.Reals(K, "the site probabilities", pr, err)) return false;
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
    if (!src.Widths(K, "the motif widths", w, err)) return false;

    std::vector<double> sub;
    if (!src.Reals(2, "the two substitution probabilities", sub, err)) return false;
    if (!(sub[0] > 0.0 && sub[0] < 1.0 && sub[1] > 0.0 && sub[1] < 1.0)) {
        err = src.Where() + "substitution probabilities must lie between 0 and 1";
        return false;
    }

    std::vector<std::vector<double>> matrices(K);
    std::string header;
    for (int k = 0; k < K; ++k) {
        if (!src.Matrix(k, w[k], header, matrices[k], err)) return false;
        matrices[k] = Smoothed(matrices[k]);
    }

    *enterPr = enter[0];
    motifPr = std::move(pr);
    width = std::move(w);
    pwm = std::move(matrices);
    subRate[0] = sub[0];
    subRate[1] = sub[1];
    return true;
}
