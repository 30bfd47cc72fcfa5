// Reader of a background file (-g FILE): k-mer frequencies in the layout motif suites use,
//   # comment lines, blank lines
//   A 0.3          one k-mer and its frequency per line, white space between them
//   AC 0.09        ... every 1-mer, then every 2-mer, and so on
// The (o+1)-mers give the order-o model: p(b | c) = f(c b) / sum over b' of f(c b'). Orders
// must run from 0 without a gap, each complete (all 4^(o+1) k-mers) and summing to 1
// (within 0.001); the highest order present, up to 5, is used. Longer k-mers are checked
// for their layout only.
#pragma once

#include <string>

#include "base/MyString.h"
#include "numeric/MarkovBackground.h"

// Fills model from the file; false with a one-line message naming the file (and the line).
bool ReadBackgroundFile(const CString& file, CMarkovBackground& model, std::string& err);
