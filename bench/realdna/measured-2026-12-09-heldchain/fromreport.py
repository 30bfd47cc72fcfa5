"""The motif matrices of a report (site frequencies, each +0.02 and renormalised) as a motif
file for -A.

    python3 fromreport.py run.txt out.txt
"""
import sys
src, dst = sys.argv[1], sys.argv[2]
lines = open(src).read().split("\n")
mats = []
i = 0
while i < len(lines):
    if lines[i].startswith("Motif") and ":" in lines[i]:
        i += 2; m = []
        while i < len(lines) and lines[i].strip() and lines[i][0] in "0123456789.":
            m.append([(float(x) + 0.02) / 1.08 for x in lines[i].split()]); i += 1
        mats.append(m)
    i += 1
out = [str(len(mats)), "\t".join(str(len(m)) for m in mats)]
for k, m in enumerate(mats):
    out.append(f"Motif{k+1}")
    out += ["\t".join(f"{x:.4f}" for x in c) for c in m]
open(dst, "w").write("\n".join(out) + "\n")
