// The motif matrix file (-A, -B): the three ReadKnownPWM overloads on the same bytes. An
// accepted file is written back in the program's format and read again: every row comes
// back smoothed once more, (p + 0.03) / 1.12.
#include "FuzzSupport.h"
#include "app/MotifFile.h"
#include "motif/MotifFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::ScratchFile(data, size);
    std::vector<std::vector<double>> pwm;
    std::vector<int> width;
    std::vector<double> sites;
    std::vector<CString> names;
    int count[3];  // with sites, with names, matrices only
    for (int call = 0; call < 3; ++call) {
        pwm.clear();
        width.clear();
        std::string err;
        const int m = call == 0   ? ReadKnownPWM(path.c_str(), pwm, width, sites, err)
                      : call == 1 ? ReadKnownPWM(path.c_str(), pwm, width, names, err)
                                  : ReadKnownPWM(path.c_str(), pwm, width, err);
        count[call] = m;
        if (m < 0) {
            fuzz::RequireOneLine(err);
            continue;
        }
        fuzz::Require(m >= 1 && pwm.size() == static_cast<size_t>(m) && width.size() == pwm.size());
        for (int i = 0; i < m; ++i) fuzz::RequireRowsSumToOne(pwm[i], width[i], true);
    }
    if (count[0] > 0) fuzz::Require(sites.size() == static_cast<size_t>(count[0]));
    for (double s : sites) fuzz::Require(count[0] < 1 || (s >= 0 && std::isfinite(s)));
    if (count[1] > 0) fuzz::Require(names.size() == static_cast<size_t>(count[1]));
    const int m = count[2];
    fuzz::Require(m == count[1]);
    if (m < 1) return 0;

    std::vector<motifio::Motif> motifs(m);
    for (int i = 0; i < m; ++i) {
        motifs[i].id = "m" + std::to_string(i + 1);
        for (double x : pwm[i]) motifs[i].p.push_back(std::exp(x));
    }
    const std::string text = motifio::FormatMotifs(motifs, motifio::MotifFormat::Program);
    std::vector<std::vector<double>> pwm2;
    std::vector<int> width2;
    std::string err;
    fuzz::Require(ReadKnownPWM(fuzz::ScratchFile(text.data(), text.size(), ".rt").c_str(), pwm2, width2, err) == m &&
                  width2 == width);
    for (int i = 0; i < m; ++i)
        for (size_t k = 0; k < pwm[i].size(); ++k)
            fuzz::Require(std::fabs(std::exp(pwm2[i][k]) - (std::exp(pwm[i][k]) + 0.03) / 1.12) < 1e-3);
    return 0;
}
