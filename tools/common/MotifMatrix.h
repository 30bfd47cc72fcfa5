// Motif matrices of the companion tools: reading and writing the matrix file formats
// of the program (-A, and -F with its site-number line), reverse complements, and the
// column-correlation similarity used to match learned motifs to planted ones.
#pragma once

#include <string>
#include <vector>

namespace sertools {

// A motif as base probabilities per column.
struct MotifMatrix {
    std::string name;       // header line of the matrix block
    std::vector<double> p;  // 4 * width probabilities, column j base b at 4j + b; rows sum to 1
    int Width() const { return static_cast<int>(p.size() / 4); }
};

// Reads a matrix file: count M, the M widths, (with siteNumbers) a line of M expected
// site numbers, then per matrix a header line and one row of four non-negative numbers
// (A C G T, counts or frequencies) per column. Rows are normalised to sum 1.
// Fields may be separated by tabs or blanks. Returns false with a one-line message
// naming the file and line on any malformed or missing content.
bool ReadMotifFile(const std::string& path, bool withSiteNumbers, std::vector<MotifMatrix>& motifs,
                   std::vector<double>* siteNumbers, std::string& err);

// The text of a matrix file in the program's format (tab-separated, four decimals);
// with siteNumbers the expected-site line is written as the third line.
std::string FormatMotifFile(const std::vector<MotifMatrix>& motifs, const std::vector<double>* siteNumbers);

// One matrix block: the header line (the name, or "Motif<index>" when it has none) and
// one row of four frequencies per column.
std::string FormatMatrixBlock(const MotifMatrix& motif, int index);

// The matrix of the opposite strand: columns reversed, bases complemented.
MotifMatrix ReverseComplement(const MotifMatrix& m);

// Pearson correlation of two four-base columns; 0 when either column is constant.
double ColumnCorrelation(const double* a, const double* b);

// Best placement of one matrix against another.
struct MotifMatch {
    double score = 0;  // sum of column correlations over the overlap / the smaller width
    int offset = 0;    // planted column aligned with the learned matrix's first column
    int strand = 1;    // +1: learned as given; -1: learned reverse-complemented
    int overlap = 0;   // columns of the two matrices that face each other at that offset
};

// Tries every offset with at least one overlapping column, on both strands of the
// learned matrix, and keeps the best score (ties: forward strand, smaller offset).
// Dividing by the smaller width makes partial overlaps count their missing columns as 0,
// so the score is 1 only for matrices that agree column by column over the shorter one.
MotifMatch CompareMotifs(const MotifMatrix& planted, const MotifMatrix& learned);

}  // namespace sertools
