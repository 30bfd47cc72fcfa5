// The simulator's own seeded random stream.
#include "common/SimRandom.h"

#include <cmath>

namespace sertools {

std::uint64_t SimRandom::Below(std::uint64_t n)
{
    // Reject the top sliver of the 64-bit range that would favour small values.
    std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
    std::uint64_t x;
    do {
        x = m_gen();
    } while (x >= limit);
    return x % n;
}

int SimRandom::Pick(const double* weights, int n)
{
    double total = 0;
    for (int i = 0; i < n; ++i) total += weights[i];
    double u = Uniform() * total;
    for (int i = 0; i < n; ++i) {
        if (u < weights[i]) return i;
        u -= weights[i];
    }
    for (int i = n - 1; i >= 0; --i)
        if (weights[i] > 0) return i;
    return n - 1;
}

double SimRandom::Normal()
{
    double u1 = 1.0 - Uniform();  // (0, 1]: the logarithm stays finite
    double u2 = Uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

double SimRandom::Gamma(double shape)
{
    if (shape < 1.0) {
        double u = 1.0 - Uniform();
        return Gamma(shape + 1.0) * std::pow(u, 1.0 / shape);
    }
    double d = shape - 1.0 / 3.0, c = 1.0 / std::sqrt(9.0 * d);
    for (;;) {
        double x = Normal();
        double v = 1.0 + c * x;
        if (v <= 0) continue;
        v = v * v * v;
        double u = 1.0 - Uniform();
        if (std::log(u) < 0.5 * x * x + d - d * v + d * std::log(v)) return d * v;
    }
}

int SimRandom::Geometric(double mean, int maxValue)
{
    // P(k) = (1 - q) q^(k-1), mean 1 / (1 - q).
    double q = mean <= 1.0 ? 0.0 : 1.0 - 1.0 / mean;
    int k = 1;
    while (k < maxValue && Uniform() < q) ++k;
    return k;
}

}  // namespace sertools
