#!/usr/bin/env python3
"""Per family: the -F ceiling, one chain, the old command (-C 4 -t 2 -D) and a new config,
site F1 at the nucleotide level, paired over the seeds both hold.

    python3 table.py ../measured-2026-12-08-chains/final_table.txt CONFIG RESULTS.jsonl ...

The old command's and one chain's per-seed values come from final_table.txt (its "per seed:
command/one chain" lines); the ceiling (config ceil), the new config and its motif
correlation from the results files (later files win). A run without predictions counts 0.
"""
import json
import re
import statistics
import sys


def main():
    old_table, config, results = sys.argv[1], sys.argv[2], sys.argv[3:]
    rows = {}
    for path in results:
        for line in open(path):
            r = json.loads(line)
            rows[(r["setting"], r["seed"], r["config"])] = r
    old, one = {}, {}
    setting = None
    for line in open(old_table):
        m = re.match(r"^(\w+)\s+\d+\s", line)
        if m and not line.startswith("setting"):
            setting = m.group(1)
        if "per seed:" in line:
            for seed, a, b in re.findall(r"(\d+):([0-9.]+)/([0-9.]+)", line):
                old[(setting, int(seed))] = float(a)
                one[(setting, int(seed))] = float(b)
    sd = lambda v: statistics.stdev(v) if len(v) > 1 else 0.0
    print("%-7s %5s %-8s %-12s %-12s %-12s %-16s %-7s %-5s %s" % (
        "family", "seeds", "ceiling", "one chain", "old command", config, "new - old (se)", "of ceil", "corr",
        "per seed new/old"))
    for fam in sorted({s for s, _, c in rows if c == config}):
        seeds = sorted(s for f, s, c in rows if f == fam and c == config and (fam, s) in old)
        new = [rows[(fam, s, config)].get("site_base_f1") or 0.0 for s in seeds]
        o = [old[(fam, s)] for s in seeds]
        c1 = [one[(fam, s)] for s in seeds]
        ceil = [(rows.get((fam, s, "ceil")) or {}).get("site_base_f1") or 0.0 for s in seeds]
        corr = [rows[(fam, s, config)].get("motif_corr") for s in seeds]
        corr = [x for x in corr if x is not None]
        d = [a - b for a, b in zip(new, o)]
        print("%-7s %5d %-8.3f %-12s %-12s %-12s %-16s %-7.2f %-5s %s" % (
            fam, len(seeds), statistics.mean(ceil), "%.3f (%.2f)" % (statistics.mean(c1), sd(c1)),
            "%.3f (%.2f)" % (statistics.mean(o), sd(o)), "%.3f (%.2f)" % (statistics.mean(new), sd(new)),
            "%+.3f (%.3f)" % (statistics.mean(d), sd(d) / len(d) ** 0.5), statistics.mean(new) / statistics.mean(ceil),
            "%.2f" % statistics.mean(corr) if corr else "-",
            " ".join("%d:%.2f/%.2f" % (s, a, b) for s, a, b in zip(seeds, new, o))))


if __name__ == "__main__":
    main()
