#!/usr/bin/env python3
"""Runs fuzz targets until their coverage stops growing.

    tests/fuzz/plateau.py BUILD [--quiet-minutes 10] [--min-execs 1000000] [--max-minutes 40] [target...]

Each target runs in rounds of one minute on its corpus (BUILD/corpus/NAME, seeded by run.sh). A target
is done when its edge coverage has not grown for --quiet-minutes rounds and it has run at least
--min-execs inputs in all, or after --max-minutes. One line per target goes to BUILD/plateau.txt:
executions, rounds, coverage, features, corpus size and findings. Exit status 1 when any target found
something (the input is in BUILD/artifacts).
"""
import argparse
import os
import re
import subprocess
import sys
import time

TARGETS = "seqfile alignment motiffile paramfile args report maf fastagroups jaspar meme transfac bgfile".split()


def one_round(build, name, seconds):
    """Runs NAME for SECONDS; returns (executions, cov, ft, corpus, found)."""
    log = os.path.join(build, f"plateau_{name}.log")
    cmd = [os.path.join(build, f"fuzz_{name}"), f"-max_total_time={seconds}", "-timeout=10",
           "-rss_limit_mb=2048", "-max_len=65536", "-print_final_stats=1",
           f"-artifact_prefix={build}/artifacts/{name}-", os.path.join(build, "corpus", name)]
    with open(log, "w") as out:
        rc = subprocess.call(cmd, stdout=out, stderr=subprocess.STDOUT)
    text = open(log, errors="replace").read()
    execs = re.findall(r"stat::number_of_executed_units:\s*(\d+)", text)
    cov = re.findall(r"cov: (\d+) ft: (\d+) corp: (\d+)", text)
    last = cov[-1] if cov else ("0", "0", "0")
    return (int(execs[-1]) if execs else 0, int(last[0]), int(last[1]), int(last[2]), rc != 0)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("build")
    ap.add_argument("targets", nargs="*", default=TARGETS)
    ap.add_argument("--quiet-minutes", type=int, default=10)
    ap.add_argument("--min-execs", type=int, default=1_000_000)
    ap.add_argument("--max-minutes", type=int, default=40)
    a = ap.parse_args()
    build = os.path.realpath(a.build)
    os.makedirs(os.path.join(build, "artifacts"), exist_ok=True)
    failed = []
    for name in a.targets:
        total, best, quiet, rounds, start = 0, -1, 0, 0, time.time()
        while True:
            execs, cov, ft, corp, found = one_round(build, name, 60)
            total += execs
            rounds += 1
            if cov > best:
                best, quiet = cov, 0
            else:
                quiet += 1
            if found:
                failed.append(name)
                break
            if (quiet >= a.quiet_minutes and total >= a.min_execs) or rounds >= a.max_minutes:
                break
        line = (f"{name:12s} execs {total:>10d}  rounds {rounds:3d}  cov {best:6d}  ft {ft:7d}  corpus {corp:6d}  "
                f"quiet {quiet:2d} min  {'FINDING' if found else 'no findings'}  ({time.time() - start:.0f} s)")
        print(line, flush=True)
        with open(os.path.join(build, "plateau.txt"), "a") as out:
            out.write(line + "\n")
    if failed:
        print("findings in: " + " ".join(failed) + f" (inputs in {build}/artifacts)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
