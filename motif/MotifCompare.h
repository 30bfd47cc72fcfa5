// Motif comparison: reverse complements, and the column-correlation similarity that matches
// learned motifs to planted ones (serevan-eval) and the chains of one run to each other.
#pragma once

#include <string>

#include "motif/MotifFormats.h"

namespace motifio {

// The matrix of the opposite strand: columns reversed, bases complemented.
Motif ReverseComplement(const Motif& m);

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
MotifMatch CompareMotifs(const Motif& planted, const Motif& learned);

// The most frequent base of each column, in lower case where it holds less than half of it.
std::string Consensus(const Motif& m);

}  // namespace motifio
