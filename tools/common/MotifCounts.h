// Whole-number counts for the count formats (JASPAR, TRANSFAC, the program's matrix file).
//
// A learned motif's matrix in the report is the letter count of its called sites divided by
// their number, written with three decimals, so frequency x sites gives the counts back only
// up to that rounding (17.984 for 18). Rounding each column to whole numbers that keep its sum
// (the number of sites) recovers them.
#pragma once

#include "motif/MotifFormats.h"

namespace sertools {

// Replaces the frequencies of a matrix with known sites by whole counts over round(sites) per
// column (largest remainders round up; ties to the earlier base), divided by that number; a
// matrix without sites is left as it is.
void RoundToSiteCounts(motifio::Motif& motif);

}  // namespace sertools
