#!/usr/bin/env python3
"""Wall time and peak memory of the de novo run, two builds side by side.

    bench/speed/speed_bench.py --sim build/tools/serevan-sim BIN [BIN...] [--reps 3] [--out FILE]

Input: 3 species, 10 groups of L bp (serevan-sim --seed 1), run with -N 3 -K 3 -c -S 1.
Rows: set-up (-n 2) at 500, 1,000 and 2,000 bp; -n 500 at 1,000 bp, with the default background
and with -g 3. Each cell is the median of --reps runs; the runs of the builds alternate, so a
change in the machine's load falls on all of them alike. The last columns are ratios to the
first build.

Last result (2-core VM, AMD EPYC, GCC 12, 2026-12-07; [0] main before the speed work, [1] after;
median of 3, seconds and peak MB; bench/speed/README.md has the details):
    set-up (-n 2), 500 bp         1.80   0.60   39  39   0.33
    set-up (-n 2), 1,000 bp       5.06   2.02  104  87   0.40
    set-up (-n 2), 2,000 bp      13.99   5.96  212 213   0.43
    -n 500, 1,000 bp             10.74   4.68  110  88   0.44
    -n 500, 1,000 bp, -g 3       10.86   4.65   98  88   0.43
"""
import argparse
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

ROWS = [  # label, length, iterations, extra options
    ("set-up (-n 2), 500 bp", 500, 2, []),
    ("set-up (-n 2), 1,000 bp", 1000, 2, []),
    ("set-up (-n 2), 2,000 bp", 2000, 2, []),
    ("-n 500, 1,000 bp", 1000, 500, []),
    ("-n 500, 1,000 bp, -g 3", 1000, 500, ["-g", "3"]),
]


def machine():
    cpu = "unknown cpu"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return f"{platform.node()}: {cpu}, {os.cpu_count()} cores, load {os.getloadavg()[0]:.2f}"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("binaries", nargs="+")
    ap.add_argument("--sim", required=True, help="serevan-sim to make the input")
    ap.add_argument("--reps", type=int, default=3)
    ap.add_argument("--rows", default="", help="comma-separated row numbers (0-based) to run [all]")
    ap.add_argument("--out", help="also append the table to this file")
    a = ap.parse_args()
    bins = [os.path.realpath(b) for b in a.binaries]
    rows = [ROWS[int(i)] for i in a.rows.split(",")] if a.rows else ROWS
    work = tempfile.mkdtemp(prefix="speed_bench_")
    inputs = {}
    for _, length, _, _ in rows:
        if length not in inputs:
            prefix = os.path.join(work, f"in{length}")
            subprocess.run([a.sim, "--out", prefix, "--species", "3", "--groups", "10", "--length", str(length),
                            "--seed", "1"], check=True, stdout=subprocess.DEVNULL)
            inputs[length] = prefix + ".fa"

    lines = [f"# {time.strftime('%Y-%m-%d %H:%M')}  {machine()}",
             "# builds: " + "  ".join(f"[{i}] {b}" for i, b in enumerate(bins)),
             "| run | " + " | ".join(f"[{i}] s" for i in range(len(bins))) + " | " +
             " | ".join(f"[{i}] MB" for i in range(len(bins))) + " | " +
             " | ".join(f"[{i}]/[0]" for i in range(1, len(bins))) + " |",
             "|---" * (3 * len(bins)) + "|"]
    print("\n".join(lines), flush=True)
    for label, length, iters, extra in rows:
        times = [[] for _ in bins]
        peak = [0.0 for _ in bins]
        for _ in range(a.reps):
            for i, b in enumerate(bins):
                # Peak memory of this run alone, from /usr/bin/time.
                t = time.perf_counter()
                r = subprocess.run(["/usr/bin/time", "-f", "%M", b, "-i", inputs[length], "-N", "3", "-K", "3", "-c",
                                    "-S", "1", "-n", str(iters), "-o", os.path.join(work, "out.txt")] + extra,
                                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=work, text=True)
                times[i].append(time.perf_counter() - t)
                peak[i] = max(peak[i], int(r.stderr.strip().splitlines()[-1]) / 1024.0)
        med = [statistics.median(t) for t in times]
        line = (f"| {label} | " + " | ".join(f"{m:.2f}" for m in med) + " | " +
                " | ".join(f"{p:.0f}" for p in peak) + " | " +
                " | ".join(f"{m / med[0]:.2f}" for m in med[1:]) + " |")
        print(line, flush=True)
        lines.append(line)
    if a.out:
        with open(a.out, "a") as f:
            f.write("\n".join(lines) + "\n\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
