#!/usr/bin/env python3
"""Best of k chains, k = 1..5, per seed of the sparse family: by average likelihood, and by
agreement (how many other chains find each of a chain's motifs, correlation >= 0.8, ties by
likelihood). Mean nucleotide-level site F1 over seeds for each rule, then one line per seed
(chain: F1 / average likelihood / agreement).

    python3 pick_chains.py OUT [c0,c1,c2,c3,c4]      OUT: the --out folder of realdna_bench.py
"""
import json, re, os, sys, statistics as st, math
OUT = sys.argv[1] if len(sys.argv) > 1 else '/tmp/rd/out'
CH = sys.argv[2].split(',') if len(sys.argv) > 2 else ['c0','c1','c2','c3','c4']
res = {}
for l in open(OUT + '/results.jsonl'):
    r = json.loads(l)
    if r.get('status') == 0: res[(r['seed'], r['config'])] = r
def parse(path):
    avg = None; motifs = []; cur = None
    for l in open(path):
        m = re.match(r'Average likelihood=(\S+)', l)
        if m: avg = float(m.group(1))
        if re.match(r'Motif\d+:', l): cur = []; motifs.append(cur); continue
        f = l.split()
        if cur is not None and len(f) == 4:
            try: cur.append([float(x) for x in f])
            except ValueError: pass
        elif cur is not None and f and f[0] != 'A': cur = None
    return avg, motifs
def pearson(a, b):
    ma, mb = sum(a)/4, sum(b)/4
    va = sum((x-ma)**2 for x in a); vb = sum((y-mb)**2 for y in b)
    if va <= 0 or vb <= 0: return 0.0
    return sum((x-ma)*(y-mb) for x, y in zip(a, b)) / math.sqrt(va*vb)
def rc(m): return [list(reversed(c)) for c in reversed(m)]
def corr(a, b):
    best = -1
    for bb in (b, rc(b)):
        for off in range(-len(bb)+1, len(a)):
            s = 0; n = 0
            for j in range(len(a)):
                k = j - off
                if 0 <= k < len(bb): s += pearson(a[j], bb[k]); n += 1
            if n: best = max(best, s / min(len(a), len(bb)))
    return best
rows = []
for seed in range(1, 11):
    chains = []
    for c in CH:
        p = f'{OUT}/sparse/seed{seed}/{c}.txt'
        if (seed, c) in res and os.path.exists(p):
            avg, mot = parse(p)
            chains.append(dict(name=c, avg=avg, mot=mot, f1=res[(seed, c)]['site_base_f1'] or 0))
    if len(chains) < len(CH): continue
    for ch in chains:
        ag = 0
        for m in ch['mot']:
            ag += sum(1 for o in chains if o is not ch and max([corr(m, x) for x in o['mot']] or [0]) >= 0.8)
        ch['agree'] = ag
    rows.append((seed, chains))
def pick(chains, key): return max(chains, key=key)
for k in range(1, len(CH)+1):
    bl, ba = [], []
    for seed, chains in rows:
        sub = chains[:k]
        bl.append(pick(sub, lambda c: c['avg'])['f1'])
        # agreement recomputed within the subset
        for ch in sub:
            ch['ag_k'] = sum(sum(1 for o in sub if o is not ch and max([corr(m, x) for x in o['mot']] or [0]) >= 0.8) for m in ch['mot'])
        ba.append(pick(sub, lambda c: (c['ag_k'], c['avg']))['f1'])
    print(f'k={k}: n={len(bl)} best-lik mean {st.mean(bl):.3f}  agreement mean {st.mean(ba):.3f}')
for seed, chains in rows:
    print(seed, ' '.join(f"{c['name']}:{c['f1']:.2f}/{c['avg']:.0f}/a{c['agree']}" for c in chains))
