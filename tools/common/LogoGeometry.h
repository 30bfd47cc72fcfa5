// Sequence-logo geometry: the information content of each motif column in bits and the
// stack of letter heights drawn for it (frequency x information content), smallest first.
#pragma once

#include <string>
#include <vector>

#include "common/MotifMatrix.h"

namespace sertools {

// One letter of a logo column.
struct LogoLetter {
    int base = 0;       // 0..3 for A C G T
    double height = 0;  // bits: the base's frequency times the column's information content
};

// One column: its information content and its letters from the bottom of the stack up.
struct LogoColumn {
    double information = 0;           // 2 - entropy, in bits (0 for a uniform column, 2 for a pure one)
    std::vector<LogoLetter> letters;  // all four, ascending height (ties: base order), so the
                                      // most frequent base sits on top
};

// Information content in bits of four base frequencies (normalised here; 0 log 0 = 0).
double ColumnInformation(const double* p);

// The stack of one column of four frequencies.
LogoColumn LayoutColumn(const double* p);

// Every column of a matrix.
std::vector<LogoColumn> LayoutLogo(const Motif& m);

}  // namespace sertools
