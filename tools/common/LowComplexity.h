// Soft-masking of low-complexity stretches in FASTA files (serevan-prep mask); the stretch
// rule itself is numeric/LowComplexStretches.h.
#pragma once

#include <string>

#include "numeric/LowComplexStretches.h"

namespace sertools {

using serevan::FindLowComplexity;
using serevan::LowComplexitySettings;

// FASTA text with the low-complexity stretches of every record in lower case; header lines,
// line breaks and every other character are kept. masked counts the bases lower-cased.
std::string MaskFastaText(const std::string& text, const LowComplexitySettings& settings, long long& masked);

}  // namespace sertools
