// Motif matrices of the companion tools: the program's motif type and its comparison
// (motif/MotifFormats.h, motif/MotifCompare.h), under the tools' namespace.
#pragma once

#include "motif/MotifCompare.h"
#include "motif/MotifFormats.h"

namespace sertools {

// Frequencies p, column j base b at 4j + b; matrix files are read and written by
// motifio::ReadMotifs and FormatMotifs.
using motifio::ColumnCorrelation;
using motifio::CompareMotifs;
using motifio::Consensus;
using motifio::Motif;
using motifio::MotifMatch;
using motifio::ReverseComplement;

}  // namespace sertools
