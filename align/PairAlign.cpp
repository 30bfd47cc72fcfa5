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
// neighbours; zero has m = 0 and the exponent kAbsent. Terms of one sum are brought to the
// largest exponent by exact powers of two; a term more than 1022 binary orders below is
// dropped (LogSum drops it already 300 nats below).

constexpr int kAbsent = -(1 << 29);                     // exponent of zero
constexpr std::uint64_t kFrac = (std::uint64_t{1} << 52) - 1;
constexpr std::uint64_t kOneBits = std::uint64_t{0x3FF} << 52;  // bits of 1.0

// 2^d for d <= 0; 0 below the normal range.
inline double Pow2(int d)
{
    d = d < -1023 ? -1023 : d;
    return std::bit_cast<double>(static_cast<std::uint64_t>(d + 1023) << 52);
}

// Splits v * 2^E (v zero or a normal double) into a mantissa in [1, 2) and an exponent.
inline void Normalise(double v, int E, double& m, int& e)
{
    const std::uint64_t b = std::bit_cast<std::uint64_t>(v);
    const int ex = static_cast<int>(b >> 52) - 1023;
    const double mm = std::bit_cast<double>((b & kFrac) | kOneBits);
    const bool zero = v == 0.0;
    m = zero ? 0.0 : mm;
    e = zero ? kAbsent : E + ex;
}

// Packed cell: 20-bit biased exponent over a 44-bit fraction rounded to nearest; 0 is zero.
constexpr int kPackBias = 1 << 19;
constexpr int kPackMaxExp = (1 << 19) - 2;  // |e| bound that leaves room for a rounding carry
constexpr std::uint64_t kPackFrac = (std::uint64_t{1} << 44) - 1;
constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 32 significant bits: e * kLn2Hi is exact
constexpr double kLn2Lo = 1.90821492927058770002e-10;

inline std::uint64_t Pack(double m, int e)
{
    if (m == 0.0) return 0;
    const std::uint64_t frac = std::bit_cast<std::uint64_t>(m) & kFrac;
    // A fraction that rounds up to 2^44 carries into the exponent field: 2.0 * 2^e = 1.0 * 2^(e+1).
    return (static_cast<std::uint64_t>(e + kPackBias) << 44) + ((frac + 0x80) >> 8);
}

inline double UnpackLog(std::uint64_t p)
{
    if (p == 0) return kLogZero;
    const int e = static_cast<int>(p >> 44) - kPackBias;
    const double m = std::bit_cast<double>(kOneBits | ((p & kPackFrac) << 8));
    return e * kLn2Hi + (std::log(m) + e * kLn2Lo);
}

// A log-space parameter the fast format can carry: log zero or a value within +-300.
inline bool FastParam(double x) { return x <= -1e99 || (x >= -300.0 && x <= 300.0); }

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
    return rows * cols * 3.0 * sizeof(std::uint64_t) + 2.0 * cols * 3.0 * (sizeof(double) + sizeof(int));
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
    return m_nCellCap * sizeof(std::uint64_t) + m_pRowM.capacity() * sizeof(double) +
           m_pRowE.capacity() * sizeof(int);
}

void CPairForward::Release()
{
    m_pCell.reset();
    m_nCellCap = 0;
    std::vector<double>().swap(m_pRowM);
    std::vector<int>().swap(m_pRowE);
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
        const std::size_t work = 2 * 3 * static_cast<std::size_t>(cols);
        if (m_pRowM.size() < work) {
            m_pRowM.resize(work);
            m_pRowE.resize(work);
        }
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
    // Transitions in probability space: factor q and exponent offset o (kAbsent for log zero).
    double q[9];
    int o[9];
    for (int t = 0; t < 9; ++t) {
        const bool zero = Q[t] <= -1e99;
        q[t] = zero ? 0.0 : std::exp(Q[t]);
        o[t] = zero ? kAbsent : 0;
    }
    // Match factors: row a (0..3, 4 = not a base) by column b (0..3, 4 = not a base).
    double em[5][5];
    for (int a = 0; a < 5; ++a)
        for (int b = 0; b < 5; ++b) em[a][b] = std::exp(a < 4 && b < 4 ? phi[4 * a + b] : phi[3]);

    double* prevM = m_pRowM.data();
    double* curM = prevM + 3 * static_cast<std::size_t>(cols);
    int* prevE = m_pRowE.data();
    int* curE = prevE + 3 * static_cast<std::size_t>(cols);
    std::uint64_t* cell = m_pCell.get();
    int lowE = 0, highE = 0;

    auto storeRow = [&](const double* m, const int* e, int i) {
        std::uint64_t* out = cell + CellIndex(i, 0, cols, 0);
        for (int t = 0; t < 3 * cols; ++t) {
            const int ee = m[t] == 0.0 ? 0 : e[t];
            lowE = std::min(lowE, ee);
            highE = std::max(highE, ee);
            out[t] = Pack(m[t], e[t]);
        }
    };

    // Row 0: F(0,0) = (0, zero, zero); then only state 1 along the first row.
    curM[0] = 1.0;
    curE[0] = 0;
    curM[1] = curM[2] = 0.0;
    curE[1] = curE[2] = kAbsent;
    for (int j = 1; j < cols; ++j) {
        double* c = curM + 3 * j;
        int* ce = curE + 3 * j;
        const int from = j == 1 ? 0 : 1;  // F(0,1,1) = Q[0][1]; later Q[1][1]
        Normalise(curM[3 * (j - 1) + from] * q[3 * from + 1], curE[3 * (j - 1) + from] + o[3 * from + 1], c[1],
                  ce[1]);
        c[0] = c[2] = 0.0;
        ce[0] = ce[2] = kAbsent;
    }
    storeRow(curM, curE, 0);

    for (int i = 1; i < rows; ++i) {
        std::swap(prevM, curM);
        std::swap(prevE, curE);
        const double* rowEm = em[IsBase(seq1[i - 1]) ? seq1[i - 1] : 4];
        // Column 0: only state 0.
        Normalise(prevM[0] * q[0], prevE[0] + o[0], curM[0], curE[0]);
        curM[1] = curM[2] = 0.0;
        curE[1] = curE[2] = kAbsent;
        for (int j = 1; j < cols; ++j) {
            const double* up = prevM + 3 * j;       // (i-1, j)
            const int* upE = prevE + 3 * j;
            const double* diag = prevM + 3 * (j - 1);  // (i-1, j-1)
            const int* diagE = prevE + 3 * (j - 1);
            const double* left = curM + 3 * (j - 1);   // (i, j-1)
            const int* leftE = curE + 3 * (j - 1);
            double* c = curM + 3 * j;
            int* ce = curE + 3 * j;

            // State 0 from (i-1, j) states 0 and 2; state 1 never leads to state 0.
            {
                const int e0 = upE[0] + o[0], e2 = upE[2] + o[6];
                const int E = std::max(e0, e2);
                const double v = up[0] * q[0] * Pow2(e0 - E) + up[2] * q[6] * Pow2(e2 - E);
                Normalise(v, E, c[0], ce[0]);
            }
            // State 2 from (i-1, j-1), times the match factor.
            {
                const int e0 = diagE[0] + o[2], e1 = diagE[1] + o[5], e2 = diagE[2] + o[8];
                const int E = std::max(std::max(e0, e1), e2);
                const double v =
                    (diag[0] * q[2] * Pow2(e0 - E) + diag[1] * q[5] * Pow2(e1 - E) + diag[2] * q[8] * Pow2(e2 - E)) *
                    rowEm[IsBase(seq2[j - 1]) ? seq2[j - 1] : 4];
                Normalise(v, E, c[2], ce[2]);
            }
            // State 1 from (i, j-1).
            {
                const int e0 = leftE[0] + o[1], e1 = leftE[1] + o[4], e2 = leftE[2] + o[7];
                const int E = std::max(std::max(e0, e1), e2);
                const double v =
                    left[0] * q[1] * Pow2(e0 - E) + left[1] * q[4] * Pow2(e1 - E) + left[2] * q[7] * Pow2(e2 - E);
                Normalise(v, E, c[1], ce[1]);
            }
        }
        storeRow(curM, curE, i);
    }
    return lowE >= -kPackMaxExp && highE <= kPackMaxExp;
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
