"""usage: python3 scan.py   (sets in /tmp/fin, /tmp/fin2: session paths; E.txt the landed -E run)

How well a matrix alone tells a motif's planted sites from the rest: scan every sequence
(both strands, log-odds against the set's base composition), take as many best windows as the
motif has planted sites (no two overlapping), and count the share on its planted sites."""
import json, math, os, subprocess, sys, statistics
ev = "/work/main/build/tools/serevan-eval"
B = "ACGT"
def load_fa(path):
    seqs = {}; name = None
    for l in open(path):
        l = l.strip()
        if l.startswith(">"):
            g, sp = l[1:].split("_"); name = (int(sp[2:]), int(g[1:])); seqs[name] = []
        else: seqs[name].append(l.upper())
    return {k: "".join(v) for k, v in seqs.items()}
def report_matrices(path):
    mats = []; lines = open(path).read().split("\n"); i = 0
    while i < len(lines):
        if lines[i].startswith("Motif") and ":" in lines[i]:
            i += 2; m = []
            while i < len(lines) and lines[i].strip() and lines[i][0] in "0123456789.":
                m.append([float(x) for x in lines[i].split()]); i += 1
            mats.append(m)
        else: i += 1
    return mats
def planted(path):
    lines = [l for l in open(path).read().split("\n")]
    K = int(lines[0]); widths = list(map(int, lines[1].split())); i = 2; mats = []
    for w in widths:
        i += 1; mats.append([[float(x) for x in lines[i + j].split()] for j in range(w)]); i += w
    return mats
def logodds(m, bg, smooth):
    out = []
    for row in m:
        s = sum(row); out.append([math.log((row[b] / s + smooth) / (1 + 4 * smooth) / bg[b]) for b in range(4)])
    return out
def precision(lo, seqs, truth_m, nsites):
    w = len(lo); rc = [row[::-1] for row in lo[::-1]]
    cand = []
    for key, s in seqs.items():
        codes = [B.find(c) for c in s]
        for p in range(len(codes) - w + 1):
            win = codes[p:p + w]
            if min(win) < 0: continue
            f = sum(lo[j][win[j]] for j in range(w)); r = sum(rc[j][win[j]] for j in range(w))
            cand.append((max(f, r), key, p))
    cand.sort(reverse=True)
    taken = []; used = {}
    for sc, key, p in cand:
        if len(taken) == nsites: break
        if any(abs(p - q) < w for q in used.get(key, [])): continue
        used.setdefault(key, []).append(p); taken.append((key, p))
    hit = 0
    for key, p in taken:
        for a, b in truth_m.get(key, []):
            if min(p + w, b + 1) - max(p, a) >= min(w, b - a + 1) / 2: hit += 1; break
    return hit / max(1, len(taken))
res = {1: [], 2: [], 3: []}
for seed in range(1, 21):
    d = f"/tmp/fin/atrich/seed{seed}"
    if not os.path.isdir(d): d = f"/tmp/fin2/atrich/seed{seed}"
    seqs = load_fa(d + "/data.fa")
    tot = [sum(s.count(c) for s in seqs.values()) for c in B]; bg = [t / sum(tot) for t in tot]
    truth = {1: {}, 2: {}, 3: {}}; n = {1: 0, 2: 0, 3: 0}
    for l in open(d + "/data_truth.tsv"):
        f = l.split("\t")
        if f[0] != "site": continue
        sp, g, a, b, m = map(int, f[1:6]); truth[m].setdefault((sp, g), []).append((a, b)); n[m] += 1
    pl = planted(d + "/data_motifs.txt"); found = report_matrices(d + "/E.txt")
    r = json.loads(subprocess.run([ev, "--sim", d + "/data", "--report", d + "/E.txt", "--json"], capture_output=True, text=True).stdout)
    for mm in r.get("motifs", []):
        m = mm["planted"]; k = mm.get("learned")
        pp = precision(logodds(pl[m - 1], bg, 0.001), seqs, truth[m], n[m])
        fp = precision(logodds(found[k - 1], bg, 0.02), seqs, truth[m], n[m]) if k and mm["correlation"] >= 0.75 else None
        res[m].append((seed, pp, fp, mm["correlation"]))
        print(seed, m, "planted %.2f" % pp, "found %s" % ("%.2f" % fp if fp is not None else "-"), "corr %.2f" % mm["correlation"], flush=True)
for m in (1, 2, 3):
    both = [(p, f) for s, p, f, c in res[m] if f is not None]
    print("motif", m, "sets", len(both), "planted %.3f found %.3f" % (statistics.mean(p for p, f in both), statistics.mean(f for p, f in both)) if both else "")
