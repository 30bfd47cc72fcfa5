#!/usr/bin/env python3
"""Expected site F1 of the best of k chains, picked by average likelihood, over every subset
of k of the given chains of each seed (a steadier figure than one fixed subset), then the mean
over seeds and its share of the -F ceiling (mean 0.852 on these data sets).

    python3 best_of_k.py chains.tsv c0,c1,c2,c3,c4,c5,c6,c7
    python3 best_of_k.py chains.tsv m0,m1,m2,m3,m4

chains.tsv: seed, config, nucleotide-level site F1, average likelihood (tab-separated, header).
"""
import itertools
import sys

CEILING = 0.852
rows = {}
with open(sys.argv[1]) as f:
    next(f)
    for line in f:
        seed, config, f1, lik = line.split("\t")
        rows[(int(seed), config)] = (float(f1), float(lik))
chains = sys.argv[2].split(",")
seeds = sorted({s for s, c in rows if all((s, x) in rows for x in chains)})
for k in range(1, len(chains) + 1):
    per_seed = []
    for s in seeds:
        picks = [max(sub, key=lambda c: rows[(s, c)][1]) for sub in itertools.combinations(chains, k)]
        per_seed.append(sum(rows[(s, c)][0] for c in picks) / len(picks))
    mean = sum(per_seed) / len(per_seed)
    print("best of %d: %.3f (%.2f of the ceiling) over %d seeds; per seed %s" % (
        k, mean, mean / CEILING, len(seeds), " ".join("%.2f" % x for x in per_seed)))
