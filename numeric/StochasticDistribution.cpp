// Random draws from a stream object.
#include "numeric/StochasticDistribution.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "numeric/SeqMotifBasic.h"

namespace {
constexpr double kClosedOpen = 4.656612873077393e-10;  // 2^-31
}  // namespace

void CRandomStream::Seed(unsigned seed)
{
    if (seed == 0) seed = 1;
    std::int32_t word = static_cast<std::int32_t>(seed);
    m_state[0] = word;
    for (int i = 1; i < kDegree; ++i) {
        // 16807 * word mod (2^31 - 1) without overflow (Schrage).
        const long hi = word / 127773, lo = word % 127773;
        word = static_cast<std::int32_t>(16807 * lo - 2836 * hi);
        if (word < 0) word += 2147483647;
        m_state[i] = word;
    }
    m_front = kSeparation;
    m_rear = 0;
    for (int i = 0; i < 10 * kDegree; ++i) Next();
}

unsigned DeriveSeed(unsigned seed, unsigned a, unsigned b)
{
    std::uint64_t z =
        (static_cast<std::uint64_t>(seed) << 32 | a) ^ (static_cast<std::uint64_t>(b) * 0x9e3779b97f4a7c15ULL);
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return static_cast<unsigned>(z ^ (z >> 32));
}

double CStochasticDistribution::Uniform(double a, double b)
{
    return (b - a) * static_cast<double>(m_stream.Next()) * kClosedOpen + a;
}

double CStochasticDistribution::Gamma(int k)
{
    if (k <= 0) return 0.0;
    if (k > 999) {
        double u1 = OpenUnit();
        double u2 = OpenUnit();
        double z = std::cos(6.2831853 * u1) * std::sqrt(-2.0 * std::log(u2));
        double g = k * (1.0 + z * std::sqrt(1.0 / k));
        return g < 1e-20 ? 1e-20 : g;
    }
    double g = 0.0;
    for (int i = 0; i < k; ++i) g -= std::log(OpenUnit());
    return g;
}

double CStochasticDistribution::Beta(int a, int b)
{
    double ga = Gamma(a);
    double gb = Gamma(b);
    return ga / (ga + gb);
}

void CStochasticDistribution::Dirichlet(const int* alpha, int K, double* out)
{
    if (K <= 0) return;
    double sum = 0.0;
    for (int k = 0; k < K; ++k) {
        out[k] = Gamma(alpha[k]);
        sum += out[k];
    }
    for (int k = 0; k < K; ++k) out[k] /= sum;
}

int CStochasticDistribution::Discrete(double* w, int K)
{
    double m = w[0];
    for (int k = 1; k < K; ++k)
        if (w[k] > m) m = w[k];
    if (!(m > -1e99)) return DiscreteLogSpace(w, K);  // every weight log zero, or the first NaN
    // Relative to the largest weight the exponentials cannot overflow; NaN weights add nothing.
    for (int k = 0; k < K; ++k) {
        const double x = w[k] - m;
        w[k] = x > -745.0 ? std::exp(x) : 0.0;
    }
    return DiscreteLinear(w, K);
}

int CStochasticDistribution::DiscreteLinear(const double* w, int K)
{
    double total = 0.0;
    for (int k = 0; k < K; ++k) total += w[k];
    const double u = OpenUnit();
    if (!(total > 0.0)) return 0;  // nothing to choose from: the first, as Discrete gives for all log zero
    // The first k whose cumulative share exceeds u, a share above 0.9999999999 counting as
    // certain: compared as cumulative weights against the threshold times the total.
    const double threshold = std::min(u, 0.9999999999) * total;
    double cum = 0.0;
    for (int k = 0; k + 1 < K; ++k) {
        cum += w[k];
        if (cum > threshold) return k;
    }
    return K - 1;
}

int CStochasticDistribution::DiscreteLogSpace(double* w, int K)
{
    for (int k = 1; k < K; ++k) w[k] = LogSum(w[k - 1], w[k]);
    double total = w[K - 1];
    for (int k = 0; k < K; ++k) {
        double x = w[k] - total;
        w[k] = x > -300.0 ? std::exp(x) : 0.0;
        if (w[k] > 0.9999999999) w[k] = 1.01;
    }
    w[K - 1] = 1.01;
    double u = OpenUnit();
    for (int k = 0; k < K; ++k)
        if (w[k] > u) return k;
    return K - 1;  // not reached: the last entry is 1.01
}

int CStochasticDistribution::Bin(int n, double p)
{
    int count = 0;
    for (int i = 0; i < n; ++i)
        if (p > static_cast<double>(m_stream.Next()) * kClosedOpen) ++count;
    return count;
}
