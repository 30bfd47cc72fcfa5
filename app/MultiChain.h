// Several chains of one de novo run (-C), in threads (-t). The chains share the alignment
// stage (the groups and their stored alignments, which each chain copies, since alignment
// moves rewrite them); chain c draws from its own stream DeriveSeed(seed, c, kChainStream),
// so the result does not depend on the number of threads. The run keeps the chain with the
// most motifs whose called sites spread over a quarter of the groups, then the highest
// average log-posterior, and writes it as a run's usual files; every chain goes to
// <report>chains.txt with its side files (as -m writes runs), and one line per chain to
// <report>chains.tsv. Only chain 0 writes progress lines to the log. With -E one more chain
// follows the others, with the motifs most of them found held fixed (ConsensusStart).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/InputParameter.h"
#include "app/RunOutput.h"
#include "model/Results.h"
#include "model/Settings.h"
#include "numeric/StochasticDistribution.h"

// The starting parameters of chain c, drawn from its stream.
using ChainStart = std::function<ModelStart(CRandomStream& stream, int chain)>;

// The chain a run keeps: the most motifs whose called sites sit in at least a quarter of the
// `groups` groups (and three), then the highest average log-posterior. support receives each
// chain's support (the sum of the other chains' agreement with it; README).
int KeptChain(const std::vector<RunResults>& runs, int groups, std::vector<double>& support);

// The start of the chain -E adds after the others: the K - known learned motifs most chains
// found. Every found motif (one with called sites, the given ones aside) scores its support,
// the sum over the other chains of the best column correlation of their found motifs with it;
// walking down by support (ties: more groups reached), a motif as alike to one taken as 0.6
// is passed over. Their site frequencies, smoothed, become log matrices (base b of column j at
// 4j + b), trimmed or padded with uniform columns on both sides to [minWidth, maxWidth]; pwm
// may hold fewer than K - known. held receives how many of them (the first) reach a support
// of half the other chains, which the chain holds fixed; line the .info line that names them.
ModelStart ConsensusStart(const std::vector<RunResults>& runs, int known, int K, int minWidth, int maxWidth,
                          int& held, std::string& line);

// Runs param.nChains chains over groups in param.nThreads threads and writes their files.
// Returns the exit status (0, or 1 after a one-line refusal).
int RunChains(const INPUTPARAMETER& param, const ModelGroups& groups, const ChainStart& startOf,
              const OutputNames& names, unsigned seed);
