// Whole-number counts of a frequency matrix.
#include "common/MotifCounts.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sertools {

void RoundToSiteCounts(motifio::Motif& motif)
{
    const double n = std::round(motif.sites);
    if (n < 1) return;
    for (std::size_t j = 0; j + 4 <= motif.p.size(); j += 4) {
        std::array<double, 4> count{}, rest{};
        double whole = 0, sum = 0;
        for (int b = 0; b < 4; ++b) sum += std::max(0.0, motif.p[j + b]);
        for (int b = 0; b < 4; ++b) {
            const double exact = sum > 0 ? std::max(0.0, motif.p[j + b]) / sum * n : n / 4;
            count[b] = std::floor(exact);
            rest[b] = exact - count[b];
            whole += count[b];
        }
        std::array<int, 4> order{0, 1, 2, 3};
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return rest[a] > rest[b]; });
        for (int k = 0; whole < n && k < 4; ++k, whole += 1) count[order[k]] += 1;
        for (int b = 0; b < 4; ++b) motif.p[j + b] = count[b] / n;
    }
    motif.sites = n;
}

}  // namespace sertools
