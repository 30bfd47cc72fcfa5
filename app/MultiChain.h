// Several chains of one de novo run (-C), in threads (-t). The chains share the alignment
// stage (the groups and their stored alignments, which each chain copies, since alignment
// moves rewrite them); chain c draws from its own stream DeriveSeed(seed, c, kChainStream),
// so the result does not depend on the number of threads. The run keeps the chain with the
// most motifs whose called sites spread over a quarter of the groups, then the highest
// average log-posterior, and writes it as a run's usual files; every chain goes to
// <report>chains.txt with its side files (as -m writes runs), and one line per chain to
// <report>chains.tsv. Only chain 0 writes progress lines to the log.
#pragma once

#include <functional>
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

// Runs param.nChains chains over groups in param.nThreads threads and writes their files.
// Returns the exit status (0, or 1 after a one-line refusal).
int RunChains(const INPUTPARAMETER& param, const ModelGroups& groups, const ChainStart& startOf,
              const OutputNames& names, unsigned seed);
