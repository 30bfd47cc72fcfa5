// The motif matrix file (-A, -B): the three ReadKnownPWM overloads on the same bytes. An
// accepted file is written back in the program's format and read again: every row comes
// back smoothed once more, (p + 0.03) / 1.12.
#include "FuzzSupport.h"
#include "app/MotifFile.h"
#include "motif/MotifFormats.h"

namespace {

void CheckMatrices(int m, const std::vector<std::vector<double>>& pwm, const std::vector<int>& width,
                   const std::string& err)
{
    if (m < 0) {
        fuzz::RequireOneLine(err);
        return;
    }
    fuzz::Require(m >= 1 && pwm.size() == static_cast<size_t>(m) && width.size() == pwm.size());
    for (int i = 0; i < m; ++i) fuzz::RequireRowsSumToOne(pwm[i], width[i], true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::ScratchFile(data, size);
    std::vector<std::vector<double>> pwm;
    std::vector<int> width;
    std::vector<double> sites;
    std::vector<CString> names;
    std::string err;
    const int withSites = ReadKnownPWM(path.c_str(), pwm, width, sites, err);
    CheckMatrices(withSites, pwm, width, err);
    if (withSites > 0) {
        fuzz::Require(sites.size() == static_cast<size_t>(withSites));
        for (double s : sites) fuzz::Require(s >= 0 && std::isfinite(s));
    }
    pwm.clear(), width.clear(), err.clear();
    const int named = ReadKnownPWM(path.c_str(), pwm, width, names, err);
    CheckMatrices(named, pwm, width, err);
    if (named > 0) fuzz::Require(names.size() == static_cast<size_t>(named));
    pwm.clear(), width.clear(), err.clear();
    const int m = ReadKnownPWM(path.c_str(), pwm, width, err);
    CheckMatrices(m, pwm, width, err);
    fuzz::Require(m == named);
    if (m < 1) return 0;

    std::vector<motifio::Motif> motifs(m);
    for (int i = 0; i < m; ++i) {
        motifs[i].id = "m" + std::to_string(i + 1);
        for (double x : pwm[i]) motifs[i].p.push_back(std::exp(x));
    }
    const std::string again = fuzz::ScratchFile(motifio::FormatMotifs(motifs, motifio::MotifFormat::Program), ".rt");
    std::vector<std::vector<double>> pwm2;
    std::vector<int> width2;
    err.clear();
    fuzz::Require(ReadKnownPWM(again.c_str(), pwm2, width2, err) == m && width2 == width);
    for (int i = 0; i < m; ++i)
        for (size_t k = 0; k < pwm[i].size(); ++k)
            fuzz::Require(std::fabs(std::exp(pwm2[i][k]) - (std::exp(pwm[i][k]) + 0.03) / 1.12) < 1e-3);
    return 0;
}
