#!/usr/bin/env python3
"""Which planted motifs the chains of a -C ... -E run found, and which the added chain holds.

    python3 coverage.py OUT[,OUT2] CONFIG

OUT is realdna_bench.py's --out folder (setting `atrich`). Per set: per planted motif, how
many of the first C chains found it (a motif with called sites, serevan-eval's column
correlation >= 0.75), the best correlation over those chains ("union"), the added chain's
correlations and F1, the kept chain's F1 and the best F1 of the first C chains.
"""
import json, os, subprocess, sys, tempfile
def reports(path):
    lines = open(path).read().split("\n")
    starts = [i for i, l in enumerate(lines) if l.startswith("Serevan (")]
    return ["\n".join(lines[:e]) for e in starts[1:] + [len(lines)]]
outs, config = sys.argv[1].split(","), sys.argv[2]
ev = os.environ.get("SEREVAN_EVAL", "build/tools/serevan-eval")
tmp = tempfile.mkdtemp()
thr = 0.75
tot = {"union": 0, "E": 0, "kept": 0, "n": 0}
for out in outs:
  for seed in range(1, 100):
    d = os.path.join(out, "atrich", f"seed{seed}")
    p = os.path.join(d, f"{config}.txtchains.txt")
    if not os.path.exists(p): continue
    table = [l.split("\t") for l in open(p.replace("chains.txt", "chains.tsv")).read().split("\n")[1:] if l]
    rows = []
    for c, text in enumerate(reports(p)):
        f = os.path.join(tmp, "c.txt"); open(f, "w").write(text + "\n")
        r = json.loads(subprocess.run([ev, "--sim", os.path.join(d, "data"), "--report", f, "--json"], capture_output=True, text=True).stdout)
        found = table[c][5].split(",")
        cor = []
        for m in r["motifs"]:
            ok = m.get("learned") is not None and found[m["learned"] - 1] != "-"
            cor.append(m["correlation"] if ok else 0.0)
        rows.append((cor, r["site_bases"]["f1"] or 0.0, table[c][4] == "yes"))
    C = len(rows) - 1
    union = [max(rows[c][0][i] for c in range(C)) for i in range(3)]
    cnt = [sum(rows[c][0][i] >= thr for c in range(C)) for i in range(3)]
    E = rows[C][0]; kept = [r for r in rows if r[2]][0]
    tot["n"] += 1; tot["union"] += sum(u >= thr for u in union) == 3; tot["E"] += sum(e >= thr for e in E) == 3; tot["kept"] += sum(e >= thr for e in kept[0]) == 3
    best = max(r[1] for r in rows[:C])
    print(f"seed {seed:2d} chains-with-motif {cnt} union {['%.2f'%u for u in union]} E {['%.2f'%e for e in E]} F1 E {rows[C][1]:.2f} kept {kept[1]:.2f} bestchain {best:.2f}")
print(tot)
