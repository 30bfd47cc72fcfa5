"""Cut each matrix of a motif file (-A format) to its most informative W columns.

    python3 trim.py data_motifs.txt W out.txt
"""
import sys, math
src, w, dst = sys.argv[1], int(sys.argv[2]), sys.argv[3]
lines = [l.split() for l in open(src) if l.strip()]
K = int(lines[0][0]); widths = [int(x) for x in lines[1]]
i = 2; mats = []
for k in range(K):
    name = lines[i]; i += 1
    m = [[float(x) for x in lines[i + j]] for j in range(widths[k])]; i += widths[k]
    mats.append((name, m))
def info(col):
    s = sum(col); return 2 + sum(p / s * math.log2(p / s) for p in col if p > 0)
out = [str(K), "\t".join(str(min(w, len(m))) for _, m in mats)]
for name, m in mats:
    ww = min(w, len(m))
    best = max(range(len(m) - ww + 1), key=lambda a: sum(info(c) for c in m[a:a + ww]))
    out.append(" ".join(name))
    out += ["\t".join(f"{x:.4f}" for x in c) for c in m[best:best + ww]]
open(dst, "w").write("\n".join(out) + "\n")
