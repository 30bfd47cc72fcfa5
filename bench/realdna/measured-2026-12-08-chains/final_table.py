#!/usr/bin/env python3
"""The one-process command against one chain and the -F ceiling, per family, with the chain
the program keeps (the most motifs whose called sites sit in a quarter of the groups, then the
highest average log-posterior) scored from every run's chains.txt, so runs made by builds that
kept another chain (the chains themselves are the same) count as the program runs them now.

    python3 final_table.py EVAL_BINARY --results A.jsonl B.jsonl ... --chains OUT/*/seed*/new.txtchains.tsv ...

--results: benchmark rows (realdna_bench.py's results.jsonl; later files win) for the one
chain (config g3x8.c0), the ceiling (ceiling or ceil) and the CPU time of the command (new).
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "measured-2026-12-07-atrich"))
import pick_rules  # noqa: E402


def kept_chain(tsv):
    """Index and report text of the chain the program keeps."""
    rows, runs, need = pick_rules.read_chains(tsv)
    rank = [(sum(1 for n in pick_rules.site_groups(run) if n >= need), float(r[3])) for run, r in zip(runs, rows)]
    c = max(range(len(rows)), key=lambda i: rank[i])
    return c, "Serevan (beta" + runs[c]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("eval")
    ap.add_argument("--results", nargs="+", default=[])
    ap.add_argument("--chains", nargs="+", default=[])
    args = ap.parse_args()
    rows = {}
    for path in args.results:
        for line in open(path):
            r = json.loads(line)
            if r.get("status", 0) == 0:
                rows[(r["setting"], r["seed"], r["config"])] = r
    new = {}
    with tempfile.TemporaryDirectory() as tmp:
        for tsv in args.chains:
            m = re.search(r"([a-z0-9]+)/seed(\d+)/new\.txtchains\.tsv$", tsv)
            setting, seed = m.group(1), int(m.group(2))
            c, report = kept_chain(tsv)
            path = os.path.join(tmp, "kept.txt")
            open(path, "w").write(report)
            out = subprocess.run([args.eval, "--sim", os.path.join(os.path.dirname(tsv), "data"), "--report", path,
                                  "--json"], capture_output=True, text=True).stdout
            try:
                j = json.loads(out)
                f1, corr = j["site_bases"]["f1"] or 0.0, j["mean_motif_correlation"]
            except (ValueError, KeyError):
                f1, corr = 0.0, None
            new[(setting, seed)] = (f1, corr, c)
    print("%-7s %5s %-9s %-13s %-13s %-15s %-8s %-6s %-9s %s" % (
        "setting", "seeds", "ceiling", "one chain", "-C 4 -D", "paired diff", "of ceil", "corr", "CPU x one", "seeds"))
    for setting in sorted({s for s, _ in new}):
        seeds = sorted(seed for s, seed in new if s == setting)
        one = [(rows.get((setting, s, "g3x8.c0")) or {}).get("site_base_f1") or 0.0 for s in seeds]
        mine = [new[(setting, s)][0] for s in seeds]
        ceil = [r["site_base_f1"] or 0.0 for s in seeds for cfg in ("ceiling", "ceil")
                if (r := rows.get((setting, s, cfg))) is not None][: len(seeds)]
        diff = [a - b for a, b in zip(mine, one)]
        corr = [new[(setting, s)][1] for s in seeds if new[(setting, s)][1] is not None]
        cpu = [rows[(setting, s, "new")]["cpu_s"] / rows[(setting, s, "g3x8.c0")]["cpu_s"] for s in seeds
               if (setting, s, "new") in rows and (setting, s, "g3x8.c0") in rows]
        sd = lambda v: statistics.stdev(v) if len(v) > 1 else 0.0
        cm = statistics.mean(ceil) if ceil else float("nan")
        print("%-7s %5d %-9s %-13s %-13s %-15s %-8s %-6s %-9s %s" % (
            setting, len(seeds), "%.3f" % cm, "%.3f (%.2f)" % (statistics.mean(one), sd(one)),
            "%.3f (%.2f)" % (statistics.mean(mine), sd(mine)),
            "%+.3f (se %.3f)" % (statistics.mean(diff), sd(diff) / len(diff) ** 0.5),
            "%.2f" % (statistics.mean(mine) / cm), "%.2f" % statistics.mean(corr) if corr else "-",
            "%.2f" % statistics.mean(cpu) if cpu else "-", ",".join(map(str, seeds))))
        print("        per seed: " + " ".join("%d:%.2f/%.2f" % (s, a, b) for s, a, b in zip(seeds, mine, one)))


if __name__ == "__main__":
    main()
