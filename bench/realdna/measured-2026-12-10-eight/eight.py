#!/usr/bin/env python3
"""Eight separate chains of `-c -g 3` against one chain and the recommended command.

    python3 eight.py RESULTS.jsonl...

RESULTS: realdna_bench.py rows of the config `g3x8` (eight chains, the row `g3x8` the chain
serevan-chains names best, `g3x8.c0` the one chain of the set's seed). The command's rows on
the same sets are read from the folders that hold them: `E` in ../measured-2026-12-10-decompose/
(`atrich`), `d01` in ../measured-2026-12-10-latepseudo/ (`sparse`, `atlong`)."""
import json, math, os, statistics, sys

here = os.path.dirname(os.path.abspath(__file__))


def rows(path):
    return [json.loads(line) for line in open(path)]


def f1(r):
    v = r.get("site_base_f1")
    return 0.0 if v in (None, "n/a") else float(v)


command = {}
for r in rows(os.path.join(here, "../measured-2026-12-10-decompose/results.jsonl")):
    command[("atrich", r["seed"])] = r
for r in rows(os.path.join(here, "../measured-2026-12-10-latepseudo/results.jsonl")):
    if r["config"] == "d01":
        command[(r["setting"], r["seed"])] = r

runs = {}
for path in sys.argv[1:]:
    for r in rows(path):
        runs[(r["setting"], r["seed"], r["config"])] = r


def mean(x):
    return sum(x) / len(x)


for fam in ("sparse", "atlong", "atrich"):
    seeds = sorted(s for f, s, c in runs if f == fam and c == "g3x8")
    if not seeds:
        continue
    one = [f1(runs[(fam, s, "g3x8.c0")]) for s in seeds]
    pick = [f1(runs[(fam, s, "g3x8")]) for s in seeds]
    best = [float(runs[(fam, s, "g3x8")].get("best_chain_f1") or 0) for s in seeds]
    corr = [float(runs[(fam, s, "g3x8")].get("motif_corr") or 0) for s in seeds]
    cpu = [float(runs[(fam, s, "g3x8")]["cpu_s"]) for s in seeds]
    cpu_one = [float(runs[(fam, s, "g3x8.c0")]["cpu_s"]) for s in seeds]
    converged = sum(str(runs[(fam, s, "g3x8")].get("verdict", "")).startswith("converged") for s in seeds)
    cmd = [f1(command[(fam, s)]) for s in seeds]
    diff = [c - p for c, p in zip(cmd, pick)]
    print("%s, %d sets: one chain %.3f (sd %.2f); eight chains, serevan-chains pick %.3f (sd %.2f), "
          "best of eight %.3f, motif correlation %.2f, \"converged\" on %d; CPU %.0f s (one chain %.0f)"
          % (fam, len(seeds), mean(one), statistics.stdev(one), mean(pick), statistics.stdev(pick),
             mean(best), mean(corr), converged, mean(cpu), mean(cpu_one)))
    print("    the command %.3f; minus eight chains %+.3f (se %.3f)"
          % (mean(cmd), mean(diff), statistics.stdev(diff) / math.sqrt(len(diff))))
    print("    per set, eight chains: " + " ".join("%.2f" % x for x in pick))
    print("    per set, the command:  " + " ".join("%.2f" % x for x in cmd))
