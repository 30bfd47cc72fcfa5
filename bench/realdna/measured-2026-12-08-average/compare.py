#!/usr/bin/env python3
"""Paired comparison of two configs per family: site F1 at the nucleotide level (a run
without predictions counts 0), mean (sd), the paired mean difference (se) over the seeds both
hold, the share of the -F ceiling (config ceil) and the per-seed values.

    python3 compare.py BASELINE NEW RESULTS.jsonl ...    (later files win)
"""
import json
import statistics
import sys


def main():
    base, new, paths = sys.argv[1], sys.argv[2], sys.argv[3:]
    rows = {}
    for path in paths:
        for line in open(path):
            r = json.loads(line)
            rows[(r["setting"], r["seed"], r["config"])] = r.get("site_base_f1") or 0.0
    print(f"family  seeds ceiling  {base:>12} {new:>12}  {new} - {base} (se)  of ceiling  per seed {base}/{new}")
    for setting in sorted({s for s, _, _ in rows}):
        seeds = sorted(seed for s, seed, c in rows if s == setting and c == new and (s, seed, base) in rows)
        if not seeds:
            continue
        a = [rows[(setting, s, base)] for s in seeds]
        b = [rows[(setting, s, new)] for s in seeds]
        ceil = [rows[(setting, s, "ceil")] for s in seeds if (setting, s, "ceil") in rows]
        d = [y - x for x, y in zip(a, b)]
        se = statistics.stdev(d) / len(d) ** 0.5 if len(d) > 1 else 0.0
        sd = lambda v: statistics.stdev(v) if len(v) > 1 else 0.0
        c = statistics.mean(ceil) if ceil else float("nan")
        per = " ".join(f"{s}:{x:.2f}/{y:.2f}" for s, x, y in zip(seeds, a, b))
        print(f"{setting:7} {len(seeds):5} {c:.3f}  {statistics.mean(a):.3f} ({sd(a):.2f}) "
              f"{statistics.mean(b):.3f} ({sd(b):.2f})  {statistics.mean(d):+.3f} ({se:.3f})   "
              f"{statistics.mean(b) / c:.2f}  {per}")


if __name__ == "__main__":
    main()
