// Pair hidden Markov model: log-space reference fill, fast forward table, stochastic traceback.
// Design note: align/paths.md.
#include "align/PairAlign.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <new>

#include "numeric/SeqMotifBasic.h"
#include "numeric/StochasticDistribution.h"

using serevan::IsBase;
using serevan::kLogZero;

const double QMATRIX[9] = {
    -0.002,  -6.9078, -6.9078,   // from state 0
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

inline double Max(double a, double b) { return (a + b + std::fabs(a - b)) * 0.5; }

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
// a row is packed with vector operations.
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
inline bool FastParam(double x) { return x <= -1e99 || (x >= -300.0 && x <= 300.0); }

// Transitions in probability space: factor q and exponent offset o (kAbsentD for log zero).
struct FastParams {
    double q[9];
    double o[9];
};

// One work row: mantissas m[k][j] and exponents e[k][j] of the three states.
struct RowArrays {
    double* m[3];
    double* e[3];
};

// The row kernels are plain loops over exact operations (products, sums, bit
// manipulations), so the AVX2 clone and the baseline give the same bits.
#define SEREVAN_VECTOR_KERNEL __attribute__((target_clones("avx2", "default")))

// States 0 and 2 of row i, j = 1 .. cols-1, from row i-1 (state 0 from (i-1, j), state 2
// from (i-1, j-1) times the match factor of column j).
SEREVAN_VECTOR_KERNEL
void RowFromAbove(const double* __restrict pm0, const double* __restrict pm1, const double* __restrict pm2,
                  const double* __restrict pe0, const double* __restrict pe1, const double* __restrict pe2,
                  double* __restrict cm0, double* __restrict ce0, double* __restrict cm2, double* __restrict ce2,
                  const double* __restrict emRow, const FastParams& P, int cols)
{
    const double q00 = P.q[0], q20 = P.q[6], q02 = P.q[2], q12 = P.q[5], q22 = P.q[8];
    const double o00 = P.o[0], o20 = P.o[6], o02 = P.o[2], o12 = P.o[5], o22 = P.o[8];
    for (int j = 1; j < cols; ++j) {
        const double a0 = pe0[j] + o00, a2 = pe2[j] + o20;
        const double E0 = Max(a0, a2);
        const double v0 = pm0[j] * q00 * Pow2(a0 - E0) + pm2[j] * q20 * Pow2(a2 - E0);
        Normalise(v0, E0, cm0[j], ce0[j]);

        const double b0 = pe0[j - 1] + o02, b1 = pe1[j - 1] + o12, b2 = pe2[j - 1] + o22;
        const double E2 = Max(Max(b0, b1), b2);
        const double v2 = (pm0[j - 1] * q02 * Pow2(b0 - E2) + pm1[j - 1] * q12 * Pow2(b1 - E2) +
                           pm2[j - 1] * q22 * Pow2(b2 - E2)) *
                          emRow[j];
        Normalise(v2, E2, cm2[j], ce2[j]);
    }
}

// Inflow of state 1 at (i, j) from states 0 and 2 of (i, j-1), as an unnormalised value
// gv[j] with exponent gE[j].
SEREVAN_VECTOR_KERNEL
void RowInflow(const double* __restrict cm0, const double* __restrict cm2, const double* __restrict ce0,
               const double* __restrict ce2, const FastParams& P, int cols, double* __restrict gv,
               double* __restrict gE)
{
    const double q01 = P.q[1], q21 = P.q[7], o01 = P.o[1], o21 = P.o[7];
    for (int j = 1; j < cols; ++j) {
        const double a0 = ce0[j - 1] + o01, a2 = ce2[j - 1] + o21;
        const double E = Max(a0, a2);
        gv[j] = cm0[j - 1] * q01 * Pow2(a0 - E) + cm2[j - 1] * q21 * Pow2(a2 - E);
        gE[j] = E;
    }
}

// State 1 along the row: x(j) = x(j-1) q11 + inflow(j), a running value x with exponent R
// that is renormalised only when it leaves [2^-500, 2^500] or an inflow lies far above it.
void RowAlongSecond(const RowArrays& cur, const FastParams& P, int cols, const double* gv, const double* gE)
{
    double* cm1 = cur.m[1];
    double* ce1 = cur.e[1];
    const double q11 = P.q[4];
    double x = 0.0, R = kAbsentD;
    for (int j = 1; j < cols; ++j) {
        double d = gE[j] - R;
        if (d > 500.0 || x == 0.0) {
            x *= Pow2(R - gE[j]);
            R = gE[j];
            d = 0.0;
        }
        x = x * q11 + gv[j] * Pow2(d);
        if (x > 0x1p500 || (x < 0x1p-500 && x != 0.0)) {
            double m, e;
            Normalise(x, R, m, e);
            x = m;
            R = e;
        }
        Normalise(x, R, cm1[j], ce1[j]);
    }
}

// Packs one row into the table (cells (j, k) interleaved); bad collects exponent overflow.
SEREVAN_VECTOR_KERNEL
void PackRow(const double* __restrict m0, const double* __restrict m1, const double* __restrict m2,
             const double* __restrict e0, const double* __restrict e1, const double* __restrict e2, int cols,
             std::uint64_t* __restrict out, std::uint64_t& bad)
{
    std::uint64_t b = 0;
    for (int j = 0; j < cols; ++j) {
        out[3 * j] = Pack(m0[j], e0[j], b);
        out[3 * j + 1] = Pack(m1[j], e1[j], b);
        out[3 * j + 2] = Pack(m2[j], e2[j], b);
    }
    bad |= b;
}

// Read access to a log-space table, for the shared traceback.
struct LogTable {
    const double* F;
    int cols;
    double LogF(int i, int j, int k) const { return F[CellIndex(i, j, cols, k)]; }
};

// One stochastic traceback (the model's definition); see QPhiSampling.
template <class Table>
bool TraceBack(const Table& F, int len1, int len2, const double* Q, int* count1, int* count2,
               int* buffer, std::string* err)
{
    CStochasticDistribution rnd;
    const int end = len1 + len2;
    int i = len1, j = len2, next = 1, c = 0;
    double w[3], keep[3];
    while (i > 0 || j > 0) {
        for (int k = 0; k < 3; ++k) keep[k] = w[k] = F.LogF(i, j, k) + Q[3 * k + next];
        const int k = rnd.Discrete(w, 3);
        if (keep[k] <= -1e99 || (i == 0 && k != 1) || (j == 0 && k != 0)) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "internal error: pair traceback stepped into impossible state %d at i=%d, j=%d", k, i,
                          j);
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
    return rows * cols * 3.0 * sizeof(std::uint64_t) + cols * CPairForward::kWorkArrays * sizeof(double);
}

// ---------------------------------------------------------------------------------------
// Log-space reference

void QPhiSummation(const int* seq1, const int* seq2, int rows, int cols, const double* Q,
                   const double* phi, double* F)
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

bool QPhiSampling(int rows, int cols, const double* Q, const double* F, int* count1, int* count2,
                  int* buffer, std::string* err)
{
    return TraceBack(LogTable{F, cols}, rows - 1, cols - 1, Q, count1, count2, buffer, err);
}

// ---------------------------------------------------------------------------------------
// Fast forward table

std::size_t CPairForward::HeldBytes() const
{
    return m_nCellCap * sizeof(std::uint64_t) + m_pWork.capacity() * sizeof(double);
}

void CPairForward::Release()
{
    m_pCell.reset();
    m_nCellCap = 0;
    std::vector<double>().swap(m_pWork);
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
        const std::size_t work = kWorkArrays * static_cast<std::size_t>(cols);
        if (m_pWork.size() < work) m_pWork.resize(work);
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

bool CPairForward::Fill(const int* seq1, const int* seq2, int len1, int len2, const double* Q,
                        const double* phi, std::string* err)
{
    if (len1 < 0 || len2 < 0) {
        SetError(err, "negative sequence length given to the pair alignment");
        return false;
    }
    const int rows = len1 + 1, cols = len2 + 1;
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
    const std::uint64_t cell = m_pCell[CellIndex(i, j, m_nCols, k)];
    return m_bFast ? UnpackLog(cell) : std::bit_cast<double>(cell);
}

// Fills the packed table from two work rows kept in full precision (the packed cells are
// only read by the traceback, so their rounding never feeds back into the recurrence).
// Returns false if an exponent leaves the packed range.
bool CPairForward::FillFast(const int* seq1, const int* seq2, const double* Q, const double* phi)
{
    const int rows = m_nRows, cols = m_nCols;
    const std::size_t n = static_cast<std::size_t>(cols);
    FastParams P;
    for (int t = 0; t < 9; ++t) {
        const bool zero = Q[t] <= -1e99;
        P.q[t] = zero ? 0.0 : std::exp(Q[t]);
        P.o[t] = zero ? kAbsentD : 0.0;
    }
    // Work arrays: two rows of (m0, m1, m2, e0, e1, e2), the state-1 inflow (value and
    // exponent), and the match factor of every column for each residue class of seq1.
    double* work = m_pWork.data();
    RowArrays row[2];
    for (int r = 0; r < 2; ++r) {
        for (int k = 0; k < 3; ++k) {
            row[r].m[k] = work + (6 * r + k) * n;
            row[r].e[k] = work + (6 * r + 3 + k) * n;
        }
    }
    double* gv = work + 12 * n;
    double* gE = work + 13 * n;
    double* em[5];
    for (int a = 0; a < 5; ++a) {
        em[a] = work + (14 + a) * n;
        em[a][0] = 0.0;
        for (int j = 1; j < cols; ++j) {
            const int b = IsBase(seq2[j - 1]) ? seq2[j - 1] : 4;
            em[a][j] = std::exp(a < 4 && b < 4 ? phi[4 * a + b] : phi[3]);
        }
    }

    std::uint64_t bad = 0;
    std::uint64_t* cell = m_pCell.get();

    // Row 0: F(0,0) = (0, zero, zero); then only state 1 along the first row.
    RowArrays* cur = &row[0];
    RowArrays* prev = &row[1];
    cur->m[0][0] = 1.0;
    cur->e[0][0] = 0.0;
    for (int k = 1; k < 3; ++k) {
        cur->m[k][0] = 0.0;
        cur->e[k][0] = kAbsentD;
    }
    for (int j = 1; j < cols; ++j) {
        const int from = j == 1 ? 0 : 1;  // F(0,1,1) = Q[0][1]; later Q[1][1]
        Normalise(cur->m[from][j - 1] * P.q[3 * from + 1], cur->e[from][j - 1] + P.o[3 * from + 1], cur->m[1][j],
                  cur->e[1][j]);
        cur->m[0][j] = cur->m[2][j] = 0.0;
        cur->e[0][j] = cur->e[2][j] = kAbsentD;
    }
    PackRow(cur->m[0], cur->m[1], cur->m[2], cur->e[0], cur->e[1], cur->e[2], cols, cell, bad);

    for (int i = 1; i < rows; ++i) {
        std::swap(cur, prev);
        // Column 0: only state 0.
        Normalise(prev->m[0][0] * P.q[0], prev->e[0][0] + P.o[0], cur->m[0][0], cur->e[0][0]);
        for (int k = 1; k < 3; ++k) {
            cur->m[k][0] = 0.0;
            cur->e[k][0] = kAbsentD;
        }
        RowFromAbove(prev->m[0], prev->m[1], prev->m[2], prev->e[0], prev->e[1], prev->e[2], cur->m[0], cur->e[0],
                     cur->m[2], cur->e[2], em[IsBase(seq1[i - 1]) ? seq1[i - 1] : 4], P, cols);
        RowInflow(cur->m[0], cur->m[2], cur->e[0], cur->e[2], P, cols, gv, gE);
        RowAlongSecond(*cur, P, cols, gv, gE);
        PackRow(cur->m[0], cur->m[1], cur->m[2], cur->e[0], cur->e[1], cur->e[2], cols,
                cell + CellIndex(i, 0, cols, 0), bad);
    }
    return bad == 0;
}

// ---------------------------------------------------------------------------------------
// Entry point

bool QPhiAlign(const int* seq1, const int* seq2, int len1, int len2, const double* Q,
               const double* phi, int nSample, int* count1, int* count2, int nKeep,
               std::vector<int>* paths, std::string* err, CPairForward* table)
{
    if (count1) std::fill(count1, count1 + std::max(len1, 0), 0);
    if (count2) std::fill(count2, count2 + std::max(len2, 0), 0);
    CPairForward local;
    CPairForward& F = table ? *table : local;
    if (!F.Fill(seq1, seq2, len1, len2, Q, phi, err)) return false;

    const int end = len1 + len2;
    std::vector<int> buffer(static_cast<std::size_t>(end) + 1);
    for (int r = 0; r < nSample; ++r) {
        std::fill(buffer.begin(), buffer.end(), -1);
        if (!TraceBack(F, len1, len2, Q, count1, count2, buffer.data(), err)) return false;
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
