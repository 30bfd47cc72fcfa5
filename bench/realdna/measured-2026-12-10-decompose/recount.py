#!/usr/bin/env python3
"""Matrices recounted from a report's called sites, as a motif file for -A.

    python3 recount.py SETDIR REPORT OUT all|true|multi

all: every called site (reproduces the report's matrices); true: only calls on a planted site
of any motif (overlap of at least half the shorter); multi: only calls in a predicted module
that holds sites of two or more motifs. Frequencies + 0.02, renormalised. Prints the number of
sites counted per motif on stderr; a motif left with none is dropped."""
import sys

from setfiles import on_planted, read_planted, read_report, read_seqs

d, rep, out, mode = sys.argv[1:5]
seqs, truth = read_seqs(d), read_planted(d)
widths, calls = read_report(rep)
comp = {"A": "T", "C": "G", "G": "C", "T": "A"}
counts = [[[0.0] * 4 for _ in range(w)] for w in widths]
n = [0] * len(widths)
for sp, g, sgn, m, p, kinds in calls:
    w = widths[m]
    on = on_planted(truth, sp, g, p, w)
    if (mode == "true" and not on) or (mode == "multi" and kinds < 2):
        continue
    x = seqs["g%d_sp%d" % (g, sp)][p:p + w]
    if sgn == "-":
        x = "".join(comp.get(c, "N") for c in reversed(x))
    n[m] += 1
    for j, c in enumerate(x):
        if c in "ACGT":
            counts[m][j]["ACGT".index(c)] += 1
keep = [m for m in range(len(widths)) if n[m] > 0]
print(d, mode, n, file=sys.stderr)
with open(out, "w") as o:
    o.write("%d\n%s\n" % (len(keep), "\t".join(str(widths[m]) for m in keep)))
    for k, m in enumerate(keep):
        o.write("Motif%d\n" % (k + 1))
        for col in counts[m]:
            t = sum(col) or 1.0
            q = [c / t + 0.02 for c in col]
            z = sum(q)
            o.write("\t".join("%.4f" % (x / z) for x in q) + "\n")
