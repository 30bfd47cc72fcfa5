// The background file (-g FILE): a refused file says why in one line; an accepted one gives
// conditional distributions that sum to 1 for every context of every order.
#include <cmath>

#include "FuzzSupport.h"
#include "app/BackgroundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::ScratchFile(data, size);
    CMarkovBackground bg;
    std::string err;
    if (!ReadBackgroundFile(path.c_str(), bg, err)) {
        fuzz::RequireOneLine(err);
        fuzz::Require(bg.Empty());
        return 0;
    }
    fuzz::Require(bg.Order() >= 0 && bg.Order() <= CMarkovBackground::kMaxOrder);
    // Every context of the highest order, read through a sequence that ends in it.
    std::vector<int> seq(bg.Order() + 1, 0);
    for (int ctx = 0; ctx < (1 << (2 * bg.Order())); ++ctx) {
        for (int i = 0; i < bg.Order(); ++i) seq[i] = (ctx >> (2 * (bg.Order() - 1 - i))) & 3;
        const double* p = bg.Lin(bg.ContextOffset(seq.data(), bg.Order()));
        fuzz::Require(std::fabs(p[0] + p[1] + p[2] + p[3] - 1) < 1e-9);
    }
    return 0;
}
