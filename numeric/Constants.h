// Constants shared by the model and the samplers, in one place so that each value has one name.
#pragma once

namespace serevan {

// The logarithm of zero throughout the program.
inline constexpr double kLogZero = -1e100;
// Log weights and emissions at or below this are treated as log zero (impossible).
inline constexpr double kImpossible = -1e20;
// Background term of a single-species position whose residue, or the one before it, is not a base.
inline constexpr double kNoBaseBgLog = -1.386;
// Log of the mean over the two strands of a site (each strand with probability one half).
inline constexpr double kStrandMeanLog = -0.6931;
// ln 0.25: an aligned residue that is not a base, under any ancestral base.
inline constexpr double kLogQuarter = -1.3862943611198906;

}  // namespace serevan
