// The parameter file (-P), for as many motifs as its second line lists.
#include <algorithm>

#include "FuzzSupport.h"
#include "app/MotifFile.h"
#include "common/ToolText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::ScratchFile(data, size);
    std::vector<std::string> lines;
    std::string err;
    fuzz::Require(sertools::ReadLines(path, lines, err));
    const int tabs = lines.size() > 1 ? static_cast<int>(std::count(lines[1].begin(), lines[1].end(), '\t')) : 0;
    const int K = std::min(tabs + 1, 100);
    double enter = -1, sub[2] = {-1, -1};
    std::vector<double> motifPr;
    std::vector<int> width;
    std::vector<std::vector<double>> pwm;
    if (!ReadParamFile(path.c_str(), &enter, motifPr, width, pwm, sub, K, err)) {
        fuzz::RequireOneLine(err);
        return 0;
    }
    fuzz::Require(enter > 0 && enter < 1 && sub[0] > 0 && sub[0] < 1 && sub[1] > 0 && sub[1] < 1);
    fuzz::Require(motifPr.size() == static_cast<size_t>(K) + 1 && width.size() == static_cast<size_t>(K));
    fuzz::Require(pwm.size() == static_cast<size_t>(K));
    double sum = 0;
    for (double p : motifPr) {
        fuzz::Require(p >= 0 && p <= 1);
        sum += p;
    }
    fuzz::Require(std::fabs(sum - 1) < 1e-9 && motifPr.back() > 0);
    for (int k = 0; k < K; ++k) fuzz::RequireRowsSumToOne(pwm[k], width[k], true);
    return 0;
}
