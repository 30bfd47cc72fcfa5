#!/usr/bin/env python3
"""Emulates pilot screening from two runs of the same chains: PILOT (-C 8 at a short -n) and
FULL (-C 8 at -n 1000, same -S). Chain c of both starts from the same stream and words, so
"run every chain for a pilot, keep the best KEEP by the program's kept-chain rule, run those to
the end and keep one by the same rule" can be read off: the kept chain is the FULL chain, among
the KEEP best pilots, that the rule prefers. Prints per set the chain kept by the rule among
the first four chains (the command), among the screened ones, among all eight, and the best.

    python3 pilot.py BENCH_OUT SETTING FULL PILOT KEEP [GROUPS] [SEREVAN_EVAL]
"""
import os
import re
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def table(out, setting, seed, cfg, need):
    path = f"{out}/{setting}/seed{seed}/{cfg}.txtchains.tsv"
    if not os.path.exists(path):
        return None
    rows = [l.split("\t") for l in open(path).read().split("\n")[1:] if l]
    # (motifs spread over a quarter of the groups, average log-posterior): the program's order
    return [(sum(int(x) >= need for x in r[8].split(",") if x), float(r[3])) for r in rows]


def main():
    out, setting, full, pilot, keep = sys.argv[1:6]
    keep = int(keep)
    groups = int(sys.argv[6]) if len(sys.argv) > 6 else 30
    ev = sys.argv[7] if len(sys.argv) > 7 else "build/tools/serevan-eval"
    need = max(3, (groups + 3) // 4)
    per = subprocess.run(["python3", os.path.join(HERE, "..", "measured-2026-12-08-average", "perchain.py"),
                          out, setting, full, ev], capture_output=True, text=True, check=True).stdout
    f1 = {}
    for line in per.splitlines():
        parts = line.split()
        f1[int(parts[2])] = [float(re.match(r"[0-9.]+", c).group()) for c in parts[3:]]
    cols = {"first four": [], "screened": [], "all": [], "best": []}
    for seed in sorted(f1):
        p, f = table(out, setting, seed, pilot, need), table(out, setting, seed, full, need)
        if p is None:
            continue
        rule = lambda cs: max(cs, key=lambda c: f[c])
        screened = sorted(range(len(p)), key=lambda c: (-p[c][0], -p[c][1]))[:keep]
        vals = [f1[seed][rule(range(4))], f1[seed][rule(screened)], f1[seed][rule(range(len(f)))], max(f1[seed])]
        for k, v in zip(cols, vals):
            cols[k].append(v)
        print(seed, " ".join(f"{k} {v:.2f}" for k, v in zip(cols, vals)), "screened", screened)
    print("mean", " ".join(f"{k} {statistics.mean(v):.3f}" for k, v in cols.items()))


if __name__ == "__main__":
    main()
