// Readers of the motif matrix file (-A, -B) and of the model parameter file (-P).
//
// Motif matrix file, in order:
//   line 1   M, the number of matrices
//   line 2   the M widths, tab-separated
//   line 3   (site-number overload only) M reals: expected sites of each motif per module
//   then per matrix: one header line (its name), then one row line per position.
// A file whose first line starts with '>' (JASPAR) or "MEME version" (MEME) is read in that
// format (motif/MotifFormats.h), each column smoothed as a row above; it has no site
// numbers, so the reader with sitePr refuses it and names serevan-prep motifs --sites.
// Parameter file for K motifs, in order:
//   line 1   probability of entering a module
//   line 2   K site probabilities per module position, tab-separated
//   line 3   K widths, tab-separated
//   line 4   background and motif-site substitution probabilities, tab-separated
//   then per motif: one header line (ignored), then one row line per position.
//
// Both formats are read by motif/MatrixFile.h: a list line of n values holds n-1 tabs; the
// last value runs to the end of the line. Each value must be a whole number (integers in
// base 10) apart from surrounding white space. A row holds four non-negative counts or
// frequencies A, C, G, T with a positive sum s; it is stored as ln((x_b + 0.03 s) / (1.12 s))
// at 4j + b, row j of the matrix.
//
// Every reader refuses a file it cannot open or whose content does not fit the format with
// a one-line message in err naming the file and the line ("m.txt line 7: ..."); on failure
// its outputs are left as they were. Refused besides missing lines or values: M below 1,
// widths below 1, a negative row entry, a row summing to zero or to more than 1e300 (a
// JASPAR or MEME column too), negative site numbers or site probabilities, site
// probabilities summing to 1 or more, an entry probability or a substitution probability
// outside (0, 1).
#pragma once

#include <string>
#include <vector>

#include "base/MyString.h"

// Reads the matrices and widths of a motif matrix file. Returns M (at least 1), or -1.
int ReadKnownPWM(const CString& file, std::vector<std::vector<double>>& pwm, std::vector<int>& width, std::string& err);

// As above, for a file with line 3: sitePr receives the M expected site numbers.
int ReadKnownPWM(const CString& file, std::vector<std::vector<double>>& pwm, std::vector<int>& width,
                 std::vector<double>& sitePr, std::string& err);

// As the first, and names receives each matrix's header line without its final line feed.
int ReadKnownPWM(const CString& file, std::vector<std::vector<double>>& pwm, std::vector<int>& width,
                 std::vector<CString>& names, std::string& err);

// Reads a parameter file for K motifs: *enterPr, motifPr (K+1 entries, the last being
// 1 minus the sum of the others), width and pwm (K each), subRate[0] background and
// subRate[1] motif-site substitution probability. Returns false with a message in err.
bool ReadParamFile(const CString& file, double* enterPr, std::vector<double>& motifPr, std::vector<int>& width,
                   std::vector<std::vector<double>>& pwm, double* subRate, int K, std::string& err);
