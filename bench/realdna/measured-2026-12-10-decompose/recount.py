#!/usr/bin/env python3
"""Matrices recounted from a report's called sites, as a motif file for -A.

    python3 recount.py SETDIR REPORT OUT all|true|multi

all: every called site (reproduces the report's matrices); true: only calls on a planted site
of any motif (overlap of at least half the shorter); multi: only calls in a predicted module
that holds sites of two or more motifs. Frequencies + 0.02, renormalised. Prints the number of
sites counted per motif on stderr; a motif left with none is dropped."""
import re, sys

d, rep, out, mode = sys.argv[1:5]
seqs, name = {}, None
for line in open(d + "/data.fa"):
    line = line.strip()
    if line.startswith(">"):
        name = line[1:]; seqs[name] = []
    elif name:
        seqs[name].append(line.upper())
seqs = {k: "".join(v) for k, v in seqs.items()}
truth = {}
for line in open(d + "/data_truth.tsv"):
    f = line.split("\t")
    if f[0] == "site":
        truth.setdefault((int(f[1]), int(f[2])), []).append((int(f[3]), int(f[4])))
lines = open(rep).read().split("\n")
widths, i = [], 0
while i < len(lines):
    if re.match(r"^Motif\d+:", lines[i]):
        j = i + 2
        while j < len(lines) and re.match(r"^[0-9.]+\t", lines[j]):
            j += 1
        widths.append(j - i - 2); i = j
    else:
        i += 1
calls = []  # species, group, strand, motif (0-based), start, motifs in the module
for line in lines[lines.index("Predicted modules:") + 1:]:
    if not re.match(r"^\d+\t\d+\t", line):
        break
    f = line.split("\t")
    sites = re.findall(r"([+-])(\d+)\((\d+)\)", f[4])
    kinds = len({m for _, m, _ in sites})
    calls += [(int(f[0]), int(f[1]), sgn, int(m) - 1, int(p), kinds) for sgn, m, p in sites]
comp = {"A": "T", "C": "G", "G": "C", "T": "A"}
counts = [[[0.0] * 4 for _ in range(w)] for w in widths]
n = [0] * len(widths)
for sp, g, sgn, m, p, kinds in calls:
    w = widths[m]
    on = any(min(e, p + w - 1) - max(s, p) + 1 >= min(w, e - s + 1) / 2 for s, e in truth.get((sp, g), []))
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
