// Random draws. Every random number of the program comes from one process-wide stream,
// the GNU C library's rand() generator (kept in the program, so no library call and no lock):
// SeedRandom sets it, RandomInt reads one value (0 .. 2^31-1).
//
// Two ways turn one value r into a number between 0 and 1, each in fixed places:
//   closed-open  r * 4.656612873077393e-10      in [0, 1)  (Uniform, Bin)
//   open         (r + 1) / 2147483649            in (0, 1)  (Discrete, every log in the gamma draws)
#pragma once

// Seeds the one stream of the process.
void SeedRandom(unsigned seed);

// One value of the stream, 0 .. 2147483647.
int RandomInt();

// Stateless front end to the stream; two instances draw from the same stream.
class CStochasticDistribution {
public:
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
};
