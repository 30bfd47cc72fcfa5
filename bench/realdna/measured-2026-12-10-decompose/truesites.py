#!/usr/bin/env python3
"""Matrices counted from a simulated set's planted sites, as a motif file for -A.

    python3 truesites.py SETDIR OUT SMOOTH SPECIES [CAPS]

SETDIR holds data.fa, data_truth.tsv and data_motifs.txt (serevan-sim --out SETDIR/data).
SPECIES: 'all', or a comma list of the species whose sites are counted. SMOOTH is added to
each frequency before renormalising (as the found matrices are held, fromreport.py of
../measured-2026-12-09-heldchain/). CAPS w1,w2,..: motif m keeps its most informative window
of at most w_m columns. The environment variable ONLY=1,2 keeps only those motifs."""
import math, os, sys

from setfiles import read_seqs

d, out, smooth, species = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
seqs = read_seqs(d)
widths = [int(x) for x in open(d + "/data_motifs.txt").read().split("\n")[1].split()]
counts = [[[0.0] * 4 for _ in range(w)] for w in widths]
comp = {"A": "T", "C": "G", "G": "C", "T": "A"}
keep = None if species == "all" else {int(x) for x in species.split(",")}
for line in open(d + "/data_truth.tsv"):
    f = line.split("\t")
    if f[0] != "site":
        continue
    sp, g, s, e, m, strand = int(f[1]), int(f[2]), int(f[3]), int(f[4]), int(f[5]) - 1, int(f[6])
    if keep is not None and sp not in keep:
        continue
    w = seqs["g%d_sp%d" % (g, sp)][s:e + 1]  # ends are inclusive
    if strand < 0:
        w = "".join(comp.get(c, "N") for c in reversed(w))
    assert len(w) == widths[m], (line, w)
    for j, c in enumerate(w):
        if c in "ACGT":
            counts[m][j]["ACGT".index(c)] += 1


def info(col):
    t = sum(col) or 1.0
    return 2 + sum((c / t) * math.log2(c / t) for c in col if c > 0)


if len(sys.argv) > 5:
    for m, cap in enumerate(int(x) for x in sys.argv[5].split(",")):
        if cap < len(counts[m]):
            a = max(range(len(counts[m]) - cap + 1), key=lambda a: sum(info(c) for c in counts[m][a:a + cap]))
            counts[m] = counts[m][a:a + cap]
if os.environ.get("ONLY"):
    counts = [counts[int(x) - 1] for x in os.environ["ONLY"].split(",")]
with open(out, "w") as o:
    o.write("%d\n%s\n" % (len(counts), "\t".join(str(len(c)) for c in counts)))
    for m, cm in enumerate(counts):
        o.write("Motif%d\n" % (m + 1))
        for col in cm:
            t = sum(col) or 1.0
            p = [c / t + smooth for c in col]
            z = sum(p)
            o.write("\t".join("%.4f" % (x / z) for x in p) + "\n")
