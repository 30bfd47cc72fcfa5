// The simulator's own seeded random stream. Every draw is built from the raw 64-bit
// output of std::mt19937_64 (whose sequence the language fixes), never from the
// library's distribution classes (whose algorithms differ between libraries), so one
// seed gives the same data set with every compiler and standard library.
#pragma once

#include <cstdint>
#include <random>

namespace sertools {

class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : m_gen(seed) {}

    // Uniform in [0, 1) with 53 random bits.
    double Uniform() { return static_cast<double>(m_gen() >> 11) * 0x1.0p-53; }
    // Uniform integer in [0, n), n >= 1, without modulo bias.
    std::uint64_t Below(std::uint64_t n);
    // Index drawn in proportion to the n non-negative weights (the last index when
    // rounding leaves the draw past the end). The weights must not all be 0.
    int Pick(const double* weights, int n);
    // Standard normal (Box-Muller, one value per call).
    double Normal();
    // Gamma of the given shape and scale 1 (Marsaglia-Tsang; shape < 1 by boosting).
    double Gamma(double shape);
    // Geometric on 1, 2, ... with the given mean (>= 1), capped at maxValue.
    int Geometric(double mean, int maxValue);

private:
    std::mt19937_64 m_gen;  // the stream
};

}  // namespace sertools
