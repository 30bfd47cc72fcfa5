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

// Optional lines "# conditional CONTEXT p(A) p(C) p(G) p(T)" ("." for the empty context, the
// values in any strtod form, hexadecimal for exactness) give p(b | CONTEXT) directly: when
// present they must cover every context of the orders used and agree with the frequencies
// (within 1e-6), and they replace what the frequencies give, bit for bit. Other readers of
// this layout skip them as comments.

// Fills model from the file; false with a one-line message naming the file (and the line).
bool ReadBackgroundFile(const CString& file, CMarkovBackground& model, std::string& err);

// The file of a model, with origin on its first comment line: the joint k-mer frequencies
// its conditional probabilities imply, then those probabilities exactly. Read back, it gives
// the same model tables bit for bit.
std::string FormatBackgroundFile(const CMarkovBackground& model, const std::string& origin);
