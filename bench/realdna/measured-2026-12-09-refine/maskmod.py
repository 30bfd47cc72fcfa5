"""The sequences of data.fa with every base outside the report's called modules (widened by
flank bases on each side) made N, for refine's mask argument.

    python3 maskmod.py data.fa E.txt 30 mask30.fa
"""
import sys
fa, rep, flank, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
names, seqs = [], []
for l in open(fa):
    l = l.strip()
    if not l: continue
    if l[0] == '>': names.append(l); seqs.append([])
    else: seqs[-1].append(l)
seqs = [''.join(x) for x in seqs]
keep = {}
lines = open(rep).read().split('\n')
i = lines.index('Predicted modules:') + 1
while i < len(lines) and lines[i].strip():
    f = lines[i].split('\t'); sp, g, a, b = int(f[0]), int(f[1]), int(f[2]), int(f[3])
    keep.setdefault((g, sp), []).append((a - flank, b + flank)); i += 1
with open(out, 'w') as o:
    for n, s in zip(names, seqs):
        g = int(n[2:].split('_')[0]); sp = int(n.split('_sp')[1])
        r = ['N'] * len(s)
        for a, b in keep.get((g, sp), []):
            for j in range(max(0, a), min(len(s), b)): r[j] = s[j]
        o.write(n + '\n' + ''.join(r) + '\n')
