// Pair hidden Markov model that samples alignments of two DNA sequences from their posterior:
// one forward summation, then any number of stochastic tracebacks.
//
// Sections: model constants and the memory limit; the log-space reference (QPhiSummation,
// QPhiSampling); the fast forward table (CPairForward); the entry point QPhiAlign.
// States, border cells and the fast table's number format: align/paths.md.
//
// Pairwise path layout (a std::vector<int> of len1 + len2 + 1 ints): element 0 holds the
// number of steps K, elements 1..K the states from the start of the alignment to its end
// (0: residue of the first sequence against a gap, 1: residue of the second against a gap,
// 2: match), and every element after the last step is -1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "numeric/StochasticDistribution.h"

// Transition log-probabilities, 3 x 3 row-major, row = state before, column = state after.
// State 1 is never followed directly by state 0.
extern const double QMATRIX[9];

// Largest forward table the aligner builds: 8 GiB. The machine has 24 GiB and no swap; a
// de novo run holds one table at a time beside the sequences and every group's candidate
// paths, and the machine is shared with builds and test runs, so a third of it is the most
// one table may take. It admits two sequences of about 18,900 residues.
inline constexpr double kPairTableLimitBytes = 8.0 * 1024.0 * 1024.0 * 1024.0;

// Up to this many tracebacks QPhiAlign keeps checkpoints instead of the whole table.
inline constexpr int kCheckpointDraws = 2;

// Bytes the forward table of a len1 x len2 alignment takes (24 per cell plus work arrays).
double PairTableBytes(int len1, int len2);

// Forward summation in log space, exactly as the model defines it; F holds rows * cols * 3
// doubles, F(i, j, k) at ((i * cols) + j) * 3 + k, rows = len1 + 1, cols = len2 + 1.
// This is the reference against which the fast table is checked.
void QPhiSummation(const int* seq1, const int* seq2, int rows, int cols, const double* Q, const double* phi, double* F);

// One stochastic traceback over a log-space table filled by QPhiSummation. Adds its matches
// to count1/count2 (either may be null) and writes the path into the end of buffer
// (rows + cols - 1 ints): the step count at buffer[len1 + len2 - K], the states after it.
// Returns false, with a message in err (may be null), if it is asked to step into a cell of
// weight log zero, which a table filled from finite scores never does.
bool QPhiSampling(CRandomStream& rng, int rows, int cols, const double* Q, const double* F, int* count1, int* count2,
                  int* buffer, std::string* err = nullptr);

// The forward table of one alignment, filled fast and read back as log values. It is a
// workspace: the buffer grows to the largest alignment seen and is reused, so a caller that
// aligns many pairs allocates once. The fill runs by anti-diagonals in probability space,
// each cell state a binary mantissa with its own exponent, so nothing underflows and the
// values agree with QPhiSummation on every cell (to about 1e-11 at 900 x 900); scores or
// transitions beyond +-300 nats fall back to the log-space fill. See align/paths.md.
class CPairForward {
public:
    // Fills the table for seq1 (len1) against seq2 (len2). Returns false, with a message,
    // when the table would exceed kPairTableLimitBytes or cannot be allocated.
    bool Fill(const int* seq1, const int* seq2, int len1, int len2, const double* Q, const double* phi,
              std::string* err = nullptr);

    // Log forward value F(i, j, k) of the last Fill; -1e100 for log zero.
    double LogF(int i, int j, int k) const;

    // True when the last Fill used the fast number format (false: log-space fallback).
    bool Fast() const { return m_bFast; }

    // Fast format only: the weights F(i, j, k) * q_k of the three states, linear and scaled
    // together by a power of two (states more than 2^1000 below the largest give 0).
    void LinearWeights(int i, int j, double q0, double q1, double q2, double* w) const;

    // Log-space format only: the cells, row-major (i * cols + j) * 3 + k.
    const double* LogCells() const { return reinterpret_cast<const double*>(m_pCell.get()); }

    // A fill for a few tracebacks: the fast recurrence, but only every kCheckpointStride-th
    // pair of anti-diagonals is kept, at full precision, instead of the whole table. Returns
    // false (nothing filled) when the parameters need the log-space fill; then use Fill.
    bool FillCheckpoints(const int* seq1, const int* seq2, int len1, int len2, const double* Q, const double* phi);
    // After FillCheckpoints: the weights of LinearWeights for a traceback, which visits cells
    // of ever lower anti-diagonals and never a higher row i. On entering a band of
    // anti-diagonals it recomputes, from the band's checkpoint, the cells it can still reach.
    void CheckpointWeights(int i, int j, double q0, double q1, double q2, double* w);
    // Starts a new traceback (the band must be recomputed).
    void ResetBand() { m_nBandBase = -1; }
    static constexpr int kCheckpointStride = 64;

    // Bytes currently held by the workspace.
    std::size_t HeldBytes() const;

    // Frees the buffers.
    void Release();

private:
    bool Reserve(int rows, int cols, std::string* err);
    bool FillFast(const int* seq1, const int* seq2, const double* Q, const double* phi);
    // Parameters and residue classes of a fast fill.
    void PrepareFast(const int* seq1, const int* seq2, const double* Q, const double* phi);
    // Cells i in [from, to] of anti-diagonal d into c (6 arrays indexed by i) from d-1 (a) and d-2 (b).
    void Step(int d, int from, int to, double* const* a, double* const* b, double* const* c) const;
    // The 6 arrays of checkpoint anti-diagonal x (x mod kCheckpointStride is 0 or 1).
    void CheckpointDiagonal(int x, double** out);

    std::unique_ptr<std::uint64_t[]> m_pCell;  // rows*cols*3 cells: packed by anti-diagonal, or log doubles row-major
    std::size_t m_nCellCap = 0;                // cells allocated in m_pCell
    std::vector<double> m_pWork;               // three work diagonals: 6 arrays of rows doubles each
    std::vector<int> m_pCode;                  // residue classes of seq1, then of seq2 reversed
    std::vector<std::size_t> m_pDiagStart;     // first cell of each anti-diagonal in m_pCell
    int m_nRows = 0;                           // len1 + 1 of the last Fill
    int m_nCols = 0;                           // len2 + 1 of the last Fill
    bool m_bFast = true;                       // format of the cells of the last Fill
    double m_q[9] = {}, m_o[9] = {};           // fast transitions: factor and exponent offset
    double m_em25[25] = {};                    // match factors by residue classes
    std::vector<double> m_pCheck;  // checkpoint c: anti-diagonals c*S and c*S+1, 6 arrays of rows doubles each
    std::vector<double> m_pBand;  // the reachable cells of the band's anti-diagonals: per diagonal 6 arrays of S+1 rows
    int m_nBandBase = -1;         // first anti-diagonal of the band (a multiple of S), -1: none
    int m_nBandTop = 0;           // row and anti-diagonal where the traceback entered the band
    int m_nBandEnter = 0;
};

// Aligns seq1 (len1, the reference or template) with seq2 (len2): one forward table, then
// nSample tracebacks. count1 (len1 ints) and count2 (len2 ints) receive how many draws
// matched each residue (either may be null). The first nKeep draws are copied into
// paths[0 .. nKeep-1] in the pairwise path layout above (each vector is resized to
// len1 + len2 + 1); paths may be null when nKeep is 0. table is an optional workspace to
// reuse (null: a local one for this call). Returns false, with a message in err, when the
// table is refused for its size or an internal traceback error occurs.
bool QPhiAlign(CRandomStream& rng, const int* seq1, const int* seq2, int len1, int len2, const double* Q,
               const double* phi, int nSample, int* count1, int* count2, int nKeep, std::vector<int>* paths,
               std::string* err = nullptr, CPairForward* table = nullptr);
