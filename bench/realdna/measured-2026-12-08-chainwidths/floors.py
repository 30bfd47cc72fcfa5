#!/usr/bin/env python3
"""Which chains should take the wider floor? Chain c of a run with -a gives exactly what chain
c of a run with that -w gives (tests/test_denovo.cpp, ChainWidthsGiveEachChainTheRunOfItsWidth),
so a mixed run can be read off two -C 4 runs of the same -S: take chains from the run with
floor A and the others from the run with floor B, keep the one the program would keep (most
motifs in a quarter of the groups, at least three; then the highest average log-posterior) and
score it with serevan-eval.

    python3 floors.py BENCH_OUT SETTING CONFIG_A CONFIG_B [SEREVAN_EVAL]

One line per seed with each split's site F1 (nucleotides), then the means.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile

GROUPS = {"atrich": 30, "sparse": 30, "atlong": 20, "row1": 20}
# chains taken from A, chains taken from B
SPLITS = {"A,B (-a A,B)": ([0, 2], [1, 3]), "B,A": ([1, 3], [0, 2]), "A,A,B,B": ([0, 1], [2, 3]),
          "A,A,A,B": ([0, 1, 2], [3]), "A,B,B,B": ([0], [1, 2, 3]), "A only": ([0, 1, 2, 3], []),
          "B only": ([], [0, 1, 2, 3])}


def reports(path):
    lines = open(path).read().split("\n")
    starts = [i for i, line in enumerate(lines) if line.startswith("Serevan (")]
    return ["\n".join(lines[:end]) for end in starts[1:] + [len(lines)]]


def main():
    out, setting, a, b = sys.argv[1:5]
    ev = sys.argv[5] if len(sys.argv) > 5 else "build/tools/serevan-eval"
    need = max(3, (GROUPS[setting] + 3) // 4)
    tmp = tempfile.mkdtemp()
    means = {name: [] for name in SPLITS}
    for seed in range(1, 100):
        d = os.path.join(out, setting, f"seed{seed}")
        if not all(os.path.exists(f"{d}/{c}.txtchains.tsv") for c in (a, b)):
            continue
        chain = {}
        for config in (a, b):
            table = [l.split("\t") for l in open(f"{d}/{config}.txtchains.tsv").read().split("\n")[1:] if l]
            for c, text in enumerate(reports(f"{d}/{config}.txtchains.txt")):
                f = os.path.join(tmp, "chain.txt")
                open(f, "w").write(text + "\n")
                r = subprocess.run([ev, "--sim", f"{d}/data", "--report", f, "--json"], capture_output=True, text=True)
                f1 = (json.loads(r.stdout).get("site_bases", {}).get("f1") if r.returncode == 0 else None) or 0.0
                spread = sum(int(n) >= need for n in table[c][8].split(",") if n.isdigit())
                chain[(config, c)] = (spread, float(table[c][3]), f1)
        cells = [str(seed)]
        for name, (from_a, from_b) in SPLITS.items():
            kept = max([chain[(a, c)] for c in from_a] + [chain[(b, c)] for c in from_b])
            means[name].append(kept[2])
            cells.append(f"{kept[2]:.2f}")
        print("\t".join(cells), flush=True)
    print("seed\t" + "\t".join(SPLITS))
    print("mean\t" + "\t".join(f"{statistics.mean(v):.3f}" for v in means.values()))


if __name__ == "__main__":
    main()
