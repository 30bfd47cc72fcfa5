// Random draws. Every random number of a run comes from one stream object, the GNU C
// library's rand() generator (additive feedback, kept in the program: no library call, no
// lock, no hidden state). Whoever runs a chain owns its stream and passes it down; two
// streams seeded alike give the same values.
//
// Two ways turn one value r into a number between 0 and 1, each in fixed places:
//   closed-open  r * 4.656612873077393e-10      in [0, 1)  (Uniform, Bin)
//   open         (r + 1) / 2147483649            in (0, 1)  (Discrete, every log in the gamma draws)
#pragma once

#include <cstdint>

// The generator: rand()'s additive feedback of degree 31 and separation 3, seeded as srand
// seeds it (same seeds, same values).
class CRandomStream {
public:
    // Seed 1 is the C library's state before any seed.
    explicit CRandomStream(unsigned seed = 1) { Seed(seed); }
    void Seed(unsigned seed);
    // One value of the stream, 0 .. 2147483647.
    int Next()
    {
        const std::uint32_t v =
            static_cast<std::uint32_t>(m_state[m_front]) + static_cast<std::uint32_t>(m_state[m_rear]);
        m_state[m_front] = static_cast<std::int32_t>(v);
        if (++m_front >= kDegree) {
            m_front = 0;
            ++m_rear;
        } else if (++m_rear >= kDegree) {
            m_rear = 0;
        }
        return static_cast<int>(v >> 1);
    }

private:
    static constexpr int kDegree = 31, kSeparation = 3;
    std::int32_t m_state[kDegree];
    int m_front = kSeparation, m_rear = 0;
};

// The seed of an independent stream derived from a run's seed and two labels (for example a
// group and a stage), so that what one part of a run draws does not depend on the others:
// the SplitMix64 finaliser of the three values, folded to 32 bits.
unsigned DeriveSeed(unsigned seed, unsigned a, unsigned b);

// Draws from one stream; two instances on the same stream draw from the same values.
class CStochasticDistribution {
public:
    explicit CStochasticDistribution(CRandomStream& stream) : m_stream(stream) {}
    // (b - a) * r * 2^-31 + a: one value of the stream.
    double Uniform(double a, double b);
    // Ga / (Ga + Gb) with integer-shape gamma draws, Ga first.
    double Beta(int a, int b);
    // out[k] = G(alpha[k]) for k in order, then normalised; nothing for K <= 0.
    void Dirichlet(const int* alpha, int K, double* out);
    // Index drawn in proportion to exp(logWeights): the first k whose cumulative share
    // exceeds one open value u (a share above 0.9999999999 counting as 1). The array is
    // used as scratch. Computed from exp(w - max w); the log-space definition (cumulative
    // LogSum) below is the reference, used as such when every weight is log zero.
    int Discrete(double* logWeights, int K);
    // The same draw from non-negative linear weights, left as they are; all zero gives index 0.
    int DiscreteLinear(const double* weights, int K);
    // Cumulative LogSum, normalised by the last entry: the reference for Discrete. The array
    // is overwritten with the cumulative distribution (entries above 0.9999999999 and the
    // last set to 1.01).
    int DiscreteLogSpace(double* logWeights, int K);
    // Number of n trials with p > r * 2^-31.
    int Bin(int n, double p);
    // Gamma draw of integer shape k (mean k): sum of k unit exponentials for k <= 999,
    // normal approximation above, 0 for k <= 0.
    double Gamma(int k);

private:
    double OpenUnit() { return (static_cast<double>(m_stream.Next()) + 1.0) / 2147483649.0; }
    CRandomStream& m_stream;
};
