#!/usr/bin/env python3
"""Site F1 (nucleotide level) of every chain of a -C run, not only the kept one: each chain's
report is cut from <run>chains.txt (serevan-eval scores the last report of a file).

    python3 perchain.py BENCH_OUT SETTINGS CONFIGS [SEREVAN_EVAL]

BENCH_OUT is realdna_bench.py's --out folder; SETTINGS and CONFIGS are comma-separated.
One line per set: every chain's F1 ("*" the kept one), then [support | groups per motif]
from the chains' table.
"""
import json
import os
import subprocess
import sys
import tempfile


def reports(path):
    lines = open(path).read().split("\n")
    starts = [i for i, line in enumerate(lines) if line.startswith("Serevan (")]
    return ["\n".join(lines[:end]) for end in starts[1:] + [len(lines)]]


def main():
    out, settings, configs = sys.argv[1], sys.argv[2].split(","), sys.argv[3].split(",")
    ev = sys.argv[4] if len(sys.argv) > 4 else "build/tools/serevan-eval"
    tmp = tempfile.mkdtemp()
    for setting in settings:
        for config in configs:
            for seed in range(1, 100):
                d = os.path.join(out, setting, f"seed{seed}")
                path = os.path.join(d, f"{config}.txtchains.txt")
                if not os.path.exists(path):
                    continue
                table = [l.split("\t") for l in open(os.path.join(d, f"{config}.txtchains.tsv")).read().split("\n")[1:] if l]
                cells = []
                for c, text in enumerate(reports(path)):
                    f = os.path.join(tmp, f"chain{c}.txt")
                    open(f, "w").write(text + "\n")
                    r = subprocess.run([ev, "--sim", os.path.join(d, "data"), "--report", f, "--json"],
                                       capture_output=True, text=True)
                    f1 = (json.loads(r.stdout).get("site_bases", {}).get("f1") if r.returncode == 0 else None) or 0.0
                    row = table[c]
                    cells.append(f"{f1:.2f}{'*' if row[4] == 'yes' else ''}[{float(row[7]):.1f}|{row[8]}]")
                print(setting, config, seed, " ".join(cells))


if __name__ == "__main__":
    main()
