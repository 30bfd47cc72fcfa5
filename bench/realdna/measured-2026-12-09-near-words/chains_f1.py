"""Per chain of a -C run: table fields + site base F1 by serevan-eval.  usage: chains_f1.py OUT1,OUT2 CONFIG > tsv"""
import json, os, subprocess, sys, tempfile
def reports(path):
    lines = open(path).read().split("\n")
    starts = [i for i, l in enumerate(lines) if l.startswith("Serevan (")]
    return ["\n".join(lines[s:e]) for s, e in zip(starts, starts[1:] + [len(lines)])]
outs, config = sys.argv[1].split(","), sys.argv[2]
ev = "/work/main/build/tools/serevan-eval"
tmp = tempfile.mkdtemp()
print("seed\tchain\tlik\tpost\tkept\tmotifs\tgroups\tF1\tcorr")
for out in outs:
  for seed in range(1, 100):
    d = os.path.join(out, "atrich", f"seed{seed}")
    p = os.path.join(d, f"{config}.txtchains.txt")
    if not os.path.exists(p): continue
    table = [l.split("\t") for l in open(p.replace("chains.txt", "chains.tsv")).read().split("\n")[1:] if l]
    for c, text in enumerate(reports(p)):
        f = os.path.join(tmp, "c.txt"); open(f, "w").write(text + "\n")
        r = json.loads(subprocess.run([ev, "--sim", os.path.join(d, "data"), "--report", f, "--json"], capture_output=True, text=True).stdout)
        t = table[c]
        f1 = r["site_bases"]["f1"] or 0.0
        corr = ",".join("%.2f" % (m.get("correlation") or 0) for m in r.get("motifs", []))
        print(seed, c, t[2], t[3], t[4], t[5], t[8], "%.3f" % f1, corr, sep="\t")
