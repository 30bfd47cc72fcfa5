// Pair hidden Markov model: log-space reference fill, fast forward table, stochastic traceback.
// Design note: align/paths.md.
#include "align/PairAlign.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>

#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"
#include "numeric/VectorKernel.h"

using serevan::IsBase;
using serevan::kLogZero;

const double QMATRIX[9] = {-0.002,  -6.9078, -6.9078,   // from state 0
                           -1e100,  -0.001,  -6.9078,   // from state 1: never straight to state 0
                           -3.6889, -3.6889, -0.0513};  // from state 2

namespace {

// Score of a match: phi[4a + b] for two bases, phi[3] (A against T) when either is not a base.
inline double MatchScore(const double* phi, int a, int b)
{
    return IsBase(a) && IsBase(b) ? phi[4 * a + b] : phi[3];
}

inline std::size_t CellIndex(int i, int j, int cols, int k)
{
    return (static_cast<std::size_t>(i) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(j)) * 3 +
           static_cast<std::size_t>(k);
}

void SetError(std::string* err, const std::string& text)
{
    if (err) *err = text;
}

// ---------------------------------------------------------------------------------------
// Fast number format (align/paths.md): a value v > 0 is m * 2^e with m in [1, 2) and an int
// exponent e per cell state, so no state can underflow however far it lies below its
// neighbours; zero has m = 0 and the exponent kAbsentD. Terms of one sum are brought to the
// largest exponent by exact powers of two; a term more than 1022 binary orders below is
// dropped (LogSum drops it already 300 nats below).

// Exponents are held as integer-valued doubles so that every step is a plain vector
// operation; integers up to 2^53 are exact.
constexpr double kAbsentD = -536870912.0;  // exponent of zero (-2^29)
constexpr std::uint64_t kFrac = (std::uint64_t{1} << 52) - 1;
constexpr std::uint64_t kOneBits = std::uint64_t{0x3FF} << 52;    // bits of 1.0
constexpr std::uint64_t kTwo52Bits = std::uint64_t{0x433} << 52;  // bits of 2^52
constexpr double kTwo52 = 4503599627370496.0;                     // 2^52

// The helpers below avoid floating-point comparisons (which the compiler will not turn
// into vector selects while FP traps are honoured): maxima of integer-valued doubles by
// (a + b + |a - b|) / 2, which is exact below 2^52, and zero tests on the bit patterns.

inline double Max(double a, double b)
{
    return (a + b + std::fabs(a - b)) * 0.5;
}

// 2^d for an integer-valued d <= 0; 0 below the normal range. d + 1023 + 2^52 holds
// d + 1023 in its low bits; shifting them into the exponent field gives 2^d.
inline double Pow2(double d)
{
    d = Max(d, -1023.0);
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(d + (kTwo52 + 1023.0)) << 52);
}

// Splits v * 2^E (v zero or a normal double) into a mantissa in [1, 2) and an exponent.
inline void Normalise(double v, double E, double& m, double& e)
{
    const std::uint64_t b = std::bit_cast<std::uint64_t>(v);
    const std::uint64_t keep = b == 0 ? 0 : ~std::uint64_t{0};
    const double ex = std::bit_cast<double>((b >> 52) | kTwo52Bits) - (kTwo52 + 1023.0);
    m = std::bit_cast<double>(((b & kFrac) | kOneBits) & keep);
    e = std::bit_cast<double>((std::bit_cast<std::uint64_t>(E + ex) & keep) |
                              (std::bit_cast<std::uint64_t>(kAbsentD) & ~keep));
}

// Packed cell: 20-bit biased exponent over a 44-bit fraction rounded to nearest; 0 is zero.
constexpr std::uint64_t kPackBias = std::uint64_t{1} << 19;
constexpr std::uint64_t kPackFrac = (std::uint64_t{1} << 44) - 1;
constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 32 significant bits: e * kLn2Hi is exact
constexpr double kLn2Lo = 1.90821492927058770002e-10;

// Packs m * 2^e; sets bad when the exponent does not fit the field. Branch-free, so that
// a diagonal is packed with vector operations.
inline std::uint64_t Pack(double m, double e, std::uint64_t& bad)
{
    const std::uint64_t mb = std::bit_cast<std::uint64_t>(m);
    const std::uint64_t keep = mb == 0 ? 0 : ~std::uint64_t{0};
    // e + bias + 2^52 holds e + bias in its low 52 bits while 0 <= e + bias < 2^52.
    const std::uint64_t eb = std::bit_cast<std::uint64_t>(e + (kTwo52 + kPackBias));
    const std::uint64_t field = eb & kFrac;
    const std::uint64_t outside = (eb >> 52) != 0x433 || field > 2 * kPackBias - 2 ? ~std::uint64_t{0} : 0;
    bad |= outside & keep;
    // A fraction that rounds up to 2^44 carries into the exponent field: 2.0 * 2^e = 1.0 * 2^(e+1).
    return ((field << 44) + (((mb & kFrac) + 0x80) >> 8)) & keep;
}

inline double UnpackLog(std::uint64_t p)
{
    if (p == 0) return kLogZero;
    const int e = static_cast<int>(p >> 44) - static_cast<int>(kPackBias);
    const double m = std::bit_cast<double>(kOneBits | ((p & kPackFrac) << 8));
    return e * kLn2Hi + (std::log(m) + e * kLn2Lo);
}

// A log-space parameter the fast format can carry: log zero or a value within +-300.
inline bool FastParam(double x)
{
    return x <= -1e99 || (x >= -300.0 && x <= 300.0);
}

// Transitions in probability space: factor q and exponent offset o (kAbsentD for log zero).
struct FastParams {
    double q[9];
    double o[9];
};

// The kernels are plain loops over exact operations, built per vector width
// (numeric/VectorKernel.h).

// Sum of two terms m_t * f_t * 2^e_t, normalised into (m, e).
inline void Sum2(double m0, double e0, double f0, double m1, double e1, double f1, double& m, double& e)
{
    const double E = Max(e0, e1);
    Normalise(m0 * f0 * Pow2(e0 - E) + m1 * f1 * Pow2(e1 - E), E, m, e);
}

// Interior cells i = lo .. hi (j = d - i >= 1) of anti-diagonal d. Arrays are indexed by i:
// a* is diagonal d-1, b* diagonal d-2, c* diagonal d. State 0 comes from (i-1, j) = a[i-1],
// state 1 from (i, j-1) = a[i], state 2 from (i-1, j-1) = b[i-1] times the match factor
// em25[5 * code1[i] + code2[off + i]].
SEREVAN_VECTOR_KERNEL
void DiagonalCells(int lo, int hi, const double* __restrict am0, const double* __restrict am1,
                   const double* __restrict am2, const double* __restrict ae0, const double* __restrict ae1,
                   const double* __restrict ae2, const double* __restrict bm0, const double* __restrict bm1,
                   const double* __restrict bm2, const double* __restrict be0, const double* __restrict be1,
                   const double* __restrict be2, double* __restrict cm0, double* __restrict cm1, double* __restrict cm2,
                   double* __restrict ce0, double* __restrict ce1, double* __restrict ce2, const int* __restrict code1,
                   const int* __restrict code2, int off, const double* __restrict em25, const FastParams& P)
{
    const double q00 = P.q[0], q20 = P.q[6], q01 = P.q[1], q11 = P.q[4], q21 = P.q[7];
    const double q02 = P.q[2], q12 = P.q[5], q22 = P.q[8];
    const double o00 = P.o[0], o20 = P.o[6], o01 = P.o[1], o11 = P.o[4], o21 = P.o[7];
    const double o02 = P.o[2], o12 = P.o[5], o22 = P.o[8];
    for (int i = lo; i <= hi; ++i) {
        Sum2(am0[i - 1], ae0[i - 1] + o00, q00, am2[i - 1], ae2[i - 1] + o20, q20, cm0[i], ce0[i]);

        const double x0 = ae0[i] + o01, x1 = ae1[i] + o11, x2 = ae2[i] + o21;
        const double X = Max(Max(x0, x1), x2);
        Normalise(am0[i] * q01 * Pow2(x0 - X) + am1[i] * q11 * Pow2(x1 - X) + am2[i] * q21 * Pow2(x2 - X), X, cm1[i],
                  ce1[i]);

        const double y0 = be0[i - 1] + o02, y1 = be1[i - 1] + o12, y2 = be2[i - 1] + o22;
        const double Y = Max(Max(y0, y1), y2);
        const double match = em25[5 * code1[i] + code2[off + i]];
        Normalise(
            (bm0[i - 1] * q02 * Pow2(y0 - Y) + bm1[i - 1] * q12 * Pow2(y1 - Y) + bm2[i - 1] * q22 * Pow2(y2 - Y)) *
                match,
            Y, cm2[i], ce2[i]);
    }
}

// Packs cells 0 .. n-1 of the arrays into out (states interleaved); bad collects exponent overflow.
SEREVAN_VECTOR_KERNEL
void PackCells(const double* __restrict m0, const double* __restrict m1, const double* __restrict m2,
               const double* __restrict e0, const double* __restrict e1, const double* __restrict e2, int n,
               std::uint64_t* __restrict out, std::uint64_t& bad)
{
    std::uint64_t b = 0;
    for (int j = 0; j < n; ++j) {
        out[3 * j] = Pack(m0[j], e0[j], b);
        out[3 * j + 1] = Pack(m1[j], e1[j], b);
        out[3 * j + 2] = Pack(m2[j], e2[j], b);
    }
    bad |= b;
}

// Step weights of the traceback in log space: F(i, j, k) + Q[k][next].
struct LogTable {
    const double* F;
    int cols;
    const double* Q;
    void Weights(int i, int j, int next, double* w) const
    {
        for (int k = 0; k < 3; ++k) w[k] = F[CellIndex(i, j, cols, k)] + Q[3 * k + next];
    }
    static int Draw(CStochasticDistribution& rnd, double* w) { return rnd.Discrete(w, 3); }
    static bool Impossible(double w) { return w <= -1e99; }
};

// The same weights from a fast table, linear: the draw needs no logarithm or exponential.
struct LinearTable {
    const CPairForward& F;
    double q[9];  // exp(Q)
    void Weights(int i, int j, int next, double* w) const
    {
        F.LinearWeights(i, j, q[next], q[3 + next], q[6 + next], w);
    }
    static int Draw(CStochasticDistribution& rnd, double* w) { return rnd.DiscreteLinear(w, 3); }
    static bool Impossible(double w) { return !(w > 0.0); }
};

// The same weights from the checkpoints of a fast fill, the cells recomputed band by band.
struct CheckpointTable {
    CPairForward& F;
    double q[9];  // exp(Q)
    void Weights(int i, int j, int next, double* w) const
    {
        F.CheckpointWeights(i, j, q[next], q[3 + next], q[6 + next], w);
    }
    static int Draw(CStochasticDistribution& rnd, double* w) { return rnd.DiscreteLinear(w, 3); }
    static bool Impossible(double w) { return !(w > 0.0); }
};

// One stochastic traceback (the model's definition); see QPhiSampling.
template <class Table>
bool TraceBack(CRandomStream& rng, const Table& F, int len1, int len2, int* count1, int* count2, int* buffer,
               std::string* err)
{
    CStochasticDistribution rnd(rng);
    const int end = len1 + len2;
    int i = len1, j = len2, next = 1, c = 0;
    double w[3], keep[3];
    while (i > 0 || j > 0) {
        F.Weights(i, j, next, w);
        std::copy(w, w + 3, keep);
        const int k = Table::Draw(rnd, w);
        if (Table::Impossible(keep[k]) || (i == 0 && k != 1) || (j == 0 && k != 0)) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "internal error: pair traceback stepped into impossible state %d at i=%d, j=%d", k, i, j);
            SetError(err, text);
            return false;
        }
        if (k == 0) {
            --i;
        } else if (k == 1) {
            --j;
        } else {
            --i;
            --j;
            if (count1) ++count1[i];
            if (count2) ++count2[j];
        }
        buffer[end - c] = k;
        ++c;
        next = k;
    }
    buffer[end - c] = c;
    return true;
}

}  // namespace

double PairTableBytes(int len1, int len2)
{
    const double rows = static_cast<double>(std::max(len1, 0)) + 1.0;
    const double cols = static_cast<double>(std::max(len2, 0)) + 1.0;
    // Table, three work diagonals of six arrays, residue classes and diagonal starts.
    return rows * cols * 3.0 * sizeof(std::uint64_t) + 18.0 * rows * sizeof(double) +
           (rows + cols) * (sizeof(int) + sizeof(std::size_t));
}

// ---------------------------------------------------------------------------------------
// Log-space reference

void QPhiSummation(const int* seq1, const int* seq2, int rows, int cols, const double* Q, const double* phi, double* F)
{
    auto at = [&](int i, int j, int k) -> double& { return F[CellIndex(i, j, cols, k)]; };
    at(0, 0, 0) = 0.0;
    at(0, 0, 1) = kLogZero;
    at(0, 0, 2) = kLogZero;
    for (int i = 1; i < rows; ++i) {
        at(i, 0, 0) = at(i - 1, 0, 0) + Q[0];
        at(i, 0, 1) = kLogZero;
        at(i, 0, 2) = kLogZero;
    }
    for (int j = 1; j < cols; ++j) {
        at(0, j, 1) = j == 1 ? Q[1] : at(0, j - 1, 1) + Q[4];
        at(0, j, 0) = kLogZero;
        at(0, j, 2) = kLogZero;
    }
    for (int i = 1; i < rows; ++i) {
        for (int j = 1; j < cols; ++j) {
            at(i, j, 0) = LogSum(at(i - 1, j, 0) + Q[0], at(i - 1, j, 2) + Q[6]);
            at(i, j, 1) = LogSum(LogSum(at(i, j - 1, 0) + Q[1], at(i, j - 1, 1) + Q[4]), at(i, j - 1, 2) + Q[7]);
            at(i, j, 2) =
                LogSum(LogSum(at(i - 1, j - 1, 0) + Q[2], at(i - 1, j - 1, 1) + Q[5]), at(i - 1, j - 1, 2) + Q[8]) +
                MatchScore(phi, seq1[i - 1], seq2[j - 1]);
        }
    }
}

bool QPhiSampling(CRandomStream& rng, int rows, int cols, const double* Q, const double* F, int* count1, int* count2,
                  int* buffer, std::string* err)
{
    return TraceBack(rng, LogTable{F, cols, Q}, rows - 1, cols - 1, count1, count2, buffer, err);
}

// ---------------------------------------------------------------------------------------
// Fast forward table

std::size_t CPairForward::HeldBytes() const
{
    return m_nCellCap * sizeof(std::uint64_t) +
           (m_pWork.capacity() + m_pCheck.capacity() + m_pBand.capacity()) * sizeof(double) +
           m_pCode.capacity() * sizeof(int) + m_pDiagStart.capacity() * sizeof(std::size_t);
}

void CPairForward::Release()
{
    m_pCell.reset();
    m_nCellCap = 0;
    std::vector<double>().swap(m_pWork);
    std::vector<double>().swap(m_pCheck);
    std::vector<double>().swap(m_pBand);
    std::vector<int>().swap(m_pCode);
    std::vector<std::size_t>().swap(m_pDiagStart);
    m_nRows = m_nCols = 0;
}

bool CPairForward::Reserve(int rows, int cols, std::string* err)
{
    const double bytes = PairTableBytes(rows - 1, cols - 1);
    if (bytes > kPairTableLimitBytes) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "alignment of %d and %d residues needs %.2f GiB, more than the limit of %.0f GiB", rows - 1,
                      cols - 1, bytes / 1073741824.0, kPairTableLimitBytes / 1073741824.0);
        SetError(err, text);
        return false;
    }
    const std::size_t cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols) * 3;
    try {
        if (cells > m_nCellCap) {
            m_pCell.reset();  // free the old table before taking the larger one
            m_nCellCap = 0;
            // Every cell is written by the fill before it is read: no zeroing needed.
            m_pCell = std::make_unique_for_overwrite<std::uint64_t[]>(cells);
            m_nCellCap = cells;
        }
        const std::size_t r = static_cast<std::size_t>(rows), c = static_cast<std::size_t>(cols);
        if (m_pWork.size() < 18 * r) m_pWork.resize(18 * r);
        if (m_pCode.size() < r + c) m_pCode.resize(r + c);
        if (m_pDiagStart.size() < r + c) m_pDiagStart.resize(r + c);
    } catch (const std::bad_alloc&) {
        Release();
        char text[160];
        std::snprintf(text, sizeof text, "cannot allocate %.2f GiB for the alignment of %d and %d residues",
                      bytes / 1073741824.0, rows - 1, cols - 1);
        SetError(err, text);
        return false;
    }
    return true;
}

bool CPairForward::Fill(const int* seq1, const int* seq2, int len1, int len2, const double* Q, const double* phi,
                        std::string* err)
{
    if (len1 < 0 || len2 < 0) {
        SetError(err, "negative sequence length given to the pair alignment");
        return false;
    }
    const int rows = len1 + 1, cols = len2 + 1;
    std::vector<double>().swap(m_pCheck);  // checkpoints are not needed beside the whole table
    std::vector<double>().swap(m_pBand);
    if (!Reserve(rows, cols, err)) return false;
    m_nRows = rows;
    m_nCols = cols;

    // The fast format needs every used transition and score within +-300 (or log zero).
    bool fast = true;
    for (int t : {0, 1, 2, 4, 5, 6, 7, 8}) fast = fast && FastParam(Q[t]);
    for (int t = 0; t < 16; ++t) fast = fast && phi[t] >= -300.0 && phi[t] <= 300.0;
    if (fast && FillFast(seq1, seq2, Q, phi)) {
        m_bFast = true;
        return true;
    }
    // Log-space fill into the same cells (a double per cell state).
    m_bFast = false;
    QPhiSummation(seq1, seq2, rows, cols, Q, phi, reinterpret_cast<double*>(m_pCell.get()));
    return true;
}

double CPairForward::LogF(int i, int j, int k) const
{
    if (!m_bFast) return std::bit_cast<double>(m_pCell[CellIndex(i, j, m_nCols, k)]);
    // Anti-diagonal layout: diagonal d = i + j starts at cell m_pDiagStart[d], indexed by i
    // from its first row max(0, d - len2).
    const int d = i + j;
    const std::size_t at =
        m_pDiagStart[static_cast<std::size_t>(d)] + static_cast<std::size_t>(i - std::max(0, d - (m_nCols - 1)));
    return UnpackLog(m_pCell[3 * at + static_cast<std::size_t>(k)]);
}

void CPairForward::LinearWeights(int i, int j, double q0, double q1, double q2, double* w) const
{
    const int d = i + j;
    const std::size_t at =
        m_pDiagStart[static_cast<std::size_t>(d)] + static_cast<std::size_t>(i - std::max(0, d - (m_nCols - 1)));
    const std::uint64_t* p = &m_pCell[3 * at];
    const double q[3] = {q0, q1, q2};
    int e[3];
    int top = INT_MIN;
    for (int k = 0; k < 3; ++k) {
        e[k] = p[k] == 0 ? INT_MIN : static_cast<int>(p[k] >> 44) - static_cast<int>(kPackBias);
        top = std::max(top, e[k]);
    }
    for (int k = 0; k < 3; ++k) {
        if (p[k] == 0 || e[k] - top < -1000) {  // zero, or negligible beside the largest
            w[k] = 0.0;
            continue;
        }
        const double m = std::bit_cast<double>(kOneBits | ((p[k] & kPackFrac) << 8));
        w[k] = m * std::ldexp(q[k], e[k] - top);
    }
}

void CPairForward::PrepareFast(const int* seq1, const int* seq2, const double* Q, const double* phi)
{
    const int rows = m_nRows, len2 = m_nCols - 1;
    for (int t = 0; t < 9; ++t) {
        const bool zero = Q[t] <= -1e99;
        m_q[t] = zero ? 0.0 : std::exp(Q[t]);
        m_o[t] = zero ? kAbsentD : 0.0;
    }
    // Match factors by residue class (0..3 bases, 4 anything else) of both sequences.
    for (int a = 0; a < 5; ++a)
        for (int b = 0; b < 5; ++b) m_em25[5 * a + b] = std::exp(a < 4 && b < 4 ? phi[4 * a + b] : phi[3]);
    // code1[i] = class of seq1[i-1]; code2[t] = class of seq2[len2-1-t], so that column
    // j = d - i reads code2[len2 - d + i], ascending in i.
    int* code1 = m_pCode.data();
    int* code2 = code1 + rows;
    code1[0] = 4;
    for (int i = 1; i < rows; ++i) code1[i] = IsBase(seq1[i - 1]) ? seq1[i - 1] : 4;
    for (int t = 0; t < len2; ++t) code2[t] = IsBase(seq2[len2 - 1 - t]) ? seq2[len2 - 1 - t] : 4;
}

void CPairForward::Step(int d, int from, int to, double* const* a, double* const* b, double* const* c) const
{
    const int rows = m_nRows, len2 = m_nCols - 1;
    const int lo = std::max({0, d - len2, from}), hi = std::min({d, rows - 1, to});
    FastParams P;
    std::copy(m_q, m_q + 9, P.q);
    std::copy(m_o, m_o + 9, P.o);
    // Column 0, cell (d, 0): only state 0; (0, 0) starts in state 0 with weight 1.
    if (d < rows && d >= lo && d <= hi) {
        if (d == 0) {
            c[0][0] = 1.0;
            c[3][0] = 0.0;
        } else {
            Normalise(a[0][d - 1] * P.q[0], a[3][d - 1] + P.o[0], c[0][d], c[3][d]);
        }
        c[1][d] = c[2][d] = 0.0;
        c[4][d] = c[5][d] = kAbsentD;
    }
    // Row 0, cell (0, d): only state 1; F(0,1,1) = Q[0][1], then Q[1][1] per step.
    if (d >= 1 && d <= len2 && lo == 0) {
        const int f = d == 1 ? 0 : 1;
        Normalise(a[f][0] * P.q[3 * f + 1], a[3 + f][0] + P.o[3 * f + 1], c[1][0], c[4][0]);
        c[0][0] = c[2][0] = 0.0;
        c[3][0] = c[5][0] = kAbsentD;
    }
    const int ilo = std::max(1, lo), ihi = std::min(d - 1, hi);
    const int* code1 = m_pCode.data();
    if (ilo <= ihi)
        DiagonalCells(ilo, ihi, a[0], a[1], a[2], a[3], a[4], a[5], b[0], b[1], b[2], b[3], b[4], b[5], c[0], c[1],
                      c[2], c[3], c[4], c[5], code1, code1 + rows, len2 - d, m_em25, P);
}

// Fills the packed table anti-diagonal by anti-diagonal: the cells of one diagonal depend
// only on the two diagonals before it, so all three states of a diagonal are computed with
// vector operations. Three work diagonals keep full precision; the packed cells are only
// read by the traceback, so their rounding never feeds back into the recurrence. Returns
// false if an exponent leaves the packed range.
bool CPairForward::FillFast(const int* seq1, const int* seq2, const double* Q, const double* phi)
{
    const int rows = m_nRows, cols = m_nCols, len2 = cols - 1;
    const std::size_t n = static_cast<std::size_t>(rows);
    PrepareFast(seq1, seq2, Q, phi);
    // Three work diagonals of (m0, m1, m2, e0, e1, e2), indexed by i.
    double* diag[3][6];
    for (int w = 0; w < 3; ++w)
        for (int a = 0; a < 6; ++a) diag[w][a] = m_pWork.data() + (6 * w + a) * n;

    std::uint64_t bad = 0;
    std::uint64_t* cell = m_pCell.get();
    std::size_t* start = m_pDiagStart.data();
    std::size_t next = 0;
    const int nDiag = rows + cols - 1;
    for (int d = 0; d < nDiag; ++d) {
        double* const* c = diag[d % 3];
        Step(d, 0, rows - 1, diag[(d + 2) % 3], diag[(d + 1) % 3], c);
        const int lo = std::max(0, d - len2), hi = std::min(d, rows - 1);
        start[d] = next;
        PackCells(c[0] + lo, c[1] + lo, c[2] + lo, c[3] + lo, c[4] + lo, c[5] + lo, hi - lo + 1, cell + 3 * next, bad);
        next += static_cast<std::size_t>(hi - lo + 1);
    }
    return bad == 0;
}

bool CPairForward::FillCheckpoints(const int* seq1, const int* seq2, int len1, int len2, const double* Q,
                                   const double* phi)
{
    if (len1 < 0 || len2 < 0) return false;
    bool fast = true;
    for (int t : {0, 1, 2, 4, 5, 6, 7, 8}) fast = fast && FastParam(Q[t]);
    for (int t = 0; t < 16; ++t) fast = fast && phi[t] >= -300.0 && phi[t] <= 300.0;
    if (!fast) return false;
    const int rows = len1 + 1, cols = len2 + 1, nDiag = rows + cols - 1;
    const std::size_t n = static_cast<std::size_t>(rows);
    const int nCheck = (nDiag - 1) / kCheckpointStride + 1;
    try {
        if (m_pWork.size() < 18 * n) m_pWork.resize(18 * n);
        if (m_pCode.size() < n + cols) m_pCode.resize(n + cols);
        m_pCheck.resize(static_cast<std::size_t>(nCheck) * 12 * n);
    } catch (const std::bad_alloc&) {
        return false;  // the caller's full fill reports the failure
    }
    m_nRows = rows;
    m_nCols = cols;
    m_bFast = true;
    m_nBandBase = -1;
    PrepareFast(seq1, seq2, Q, phi);
    double* diag[3][6];
    for (int w = 0; w < 3; ++w)
        for (int a = 0; a < 6; ++a) diag[w][a] = m_pWork.data() + (6 * w + a) * n;
    for (int d = 0; d < nDiag; ++d) {
        double* const* c = diag[d % 3];
        Step(d, 0, rows - 1, diag[(d + 2) % 3], diag[(d + 1) % 3], c);
        const int r = d % kCheckpointStride;
        if (r > 1) continue;
        const int lo = std::max(0, d - len2), hi = std::min(d, rows - 1);
        double* keep = m_pCheck.data() + (static_cast<std::size_t>(d / kCheckpointStride) * 12 + 6 * r) * n;
        for (int a = 0; a < 6; ++a) std::copy(c[a] + lo, c[a] + hi + 1, keep + a * n + lo);
    }
    return true;
}

void CPairForward::CheckpointDiagonal(int x, double** out)
{
    const std::size_t n = static_cast<std::size_t>(m_nRows);
    double* base =
        m_pCheck.data() + (static_cast<std::size_t>(x / kCheckpointStride) * 12 + 6 * (x % kCheckpointStride)) * n;
    for (int a = 0; a < 6; ++a) out[a] = base + a * n;
}

void CPairForward::CheckpointWeights(int i, int j, double q0, double q1, double q2, double* w)
{
    const int d = i + j;
    const std::size_t n = static_cast<std::size_t>(m_nRows);
    const int len2 = m_nCols - 1;
    constexpr int kWidth = kCheckpointStride + 1;  // rows a band diagonal can need
    if (m_nBandBase < 0 || d < m_nBandBase) {
        // Entering a band at (i, d): from here the traceback can reach, on anti-diagonal x,
        // only rows i - (d - x) .. i, and those cells need no others (the recurrence reads
        // rows i-1 and i). They are computed from the band's two checkpoint diagonals through
        // the three work diagonals and kept in the band, row r at r - (i - (d - x)).
        m_nBandBase = d - d % kCheckpointStride;
        m_nBandTop = i;
        m_nBandEnter = d;
        m_pBand.resize(static_cast<std::size_t>(kCheckpointStride) * 6 * kWidth);
        double* work[3][6];
        for (int v = 0; v < 3; ++v)
            for (int a = 0; a < 6; ++a) work[v][a] = m_pWork.data() + (6 * v + a) * n;
        double* check[2][6];
        CheckpointDiagonal(m_nBandBase, check[0]);
        if (m_nBandBase + 1 < m_nRows + m_nCols - 1) CheckpointDiagonal(m_nBandBase + 1, check[1]);
        for (int x = m_nBandBase; x <= d; ++x) {
            const int r = x - m_nBandBase;
            double* const* c = r < 2 ? check[r] : work[x % 3];
            if (r >= 2)
                Step(x, i - (d - x), i, r == 2 ? check[1] : work[(x - 1) % 3],
                     r <= 3 ? check[r - 2] : work[(x - 2) % 3], c);
            const int from = std::max({0, x - len2, i - (d - x)}), to = std::min(x, i);
            double* keep = m_pBand.data() + static_cast<std::size_t>(r) * 6 * kWidth;
            for (int a = 0; a < 6; ++a)
                for (int row = from; row <= to; ++row) keep[a * kWidth + (row - (i - (d - x)))] = c[a][row];
        }
    }
    const int r = d - m_nBandBase;
    const double* keep = m_pBand.data() + static_cast<std::size_t>(r) * 6 * kWidth;
    const int at = i - (m_nBandTop - (m_nBandEnter - d));
    const double q[3] = {q0, q1, q2};
    double top = kAbsentD;
    for (int k = 0; k < 3; ++k)
        if (keep[k * kWidth + at] != 0.0) top = std::max(top, keep[(3 + k) * kWidth + at]);
    for (int k = 0; k < 3; ++k) {
        const double m = keep[k * kWidth + at], e = keep[(3 + k) * kWidth + at] - top;
        w[k] = m == 0.0 || e < -1000.0 ? 0.0 : m * std::ldexp(q[k], static_cast<int>(e));
    }
}

// ---------------------------------------------------------------------------------------
// Entry point

bool QPhiAlign(CRandomStream& rng, const int* seq1, const int* seq2, int len1, int len2, const double* Q,
               const double* phi, int nSample, int* count1, int* count2, int nKeep, std::vector<int>* paths,
               std::string* err, CPairForward* table)
{
    if (count1) std::fill(count1, count1 + std::max(len1, 0), 0);
    if (count2) std::fill(count2, count2 + std::max(len2, 0), 0);
    CPairForward local;
    CPairForward& F = table ? *table : local;
    // One or two tracebacks recompute the few cells they reach more cheaply than the whole
    // table can be stored; more read a stored table.
    if (len1 >= 0 && len2 >= 0 && PairTableBytes(len1, len2) > kPairTableLimitBytes) {
        if (!F.Fill(seq1, seq2, len1, len2, Q, phi, err)) return false;  // refused with its message
    }
    const bool checkpoints = nSample <= kCheckpointDraws && F.FillCheckpoints(seq1, seq2, len1, len2, Q, phi);
    if (!checkpoints && !F.Fill(seq1, seq2, len1, len2, Q, phi, err)) return false;

    const int end = len1 + len2;
    std::vector<int> buffer(static_cast<std::size_t>(end) + 1);
    LinearTable linear{F, {}};
    for (int t = 0; t < 9; ++t) linear.q[t] = Q[t] <= -1e99 ? 0.0 : std::exp(Q[t]);
    CheckpointTable banded{F, {}};
    std::copy(linear.q, linear.q + 9, banded.q);
    for (int r = 0; r < nSample; ++r) {
        std::fill(buffer.begin(), buffer.end(), -1);
        F.ResetBand();
        const bool ok = checkpoints ? TraceBack(rng, banded, len1, len2, count1, count2, buffer.data(), err)
                        : F.Fast()  ? TraceBack(rng, linear, len1, len2, count1, count2, buffer.data(), err)
                                    : TraceBack(rng, LogTable{F.LogCells(), len2 + 1, Q}, len1, len2, count1, count2,
                                                buffer.data(), err);
        if (!ok) return false;
        if (r < nKeep && paths) {
            std::vector<int>& out = paths[r];
            out.assign(buffer.size(), -1);
            std::size_t first = 0;  // the step count is the first element written
            while (buffer[first] < 0) ++first;
            std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(first), buffer.end(), out.begin());
        }
    }
    return true;
}
