// Sequence-logo geometry.
#include "common/LogoGeometry.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace sertools {

double ColumnInformation(const double* p)
{
    const double sum = p[0] + p[1] + p[2] + p[3];
    if (!(sum > 0)) return 0;
    double entropy = 0;
    for (int b = 0; b < 4; ++b) {
        const double q = p[b] / sum;
        if (q > 0) entropy -= q * std::log2(q);
    }
    // Rounding can leave a uniform column a hair above 0 bits or below it.
    return std::clamp(2.0 - entropy, 0.0, 2.0);
}

LogoColumn LayoutColumn(const double* p)
{
    LogoColumn c;
    c.information = ColumnInformation(p);
    const double sum = p[0] + p[1] + p[2] + p[3];
    for (int b = 0; b < 4; ++b) c.letters.push_back({b, sum > 0 ? p[b] / sum * c.information : 0});
    std::stable_sort(c.letters.begin(), c.letters.end(),
                     [](const LogoLetter& x, const LogoLetter& y) { return x.height < y.height; });
    return c;
}

std::vector<LogoColumn> LayoutLogo(const Motif& m)
{
    std::vector<LogoColumn> columns;
    for (int j = 0; j < m.Width(); ++j) columns.push_back(LayoutColumn(&m.p[4 * j]));
    return columns;
}

}  // namespace sertools
