#!/usr/bin/env python3
"""Per set and planted motif: best column correlation of the kept chain's matrices and the
motif's site F1; then per motif, on how many sets it was found (correlation >= 0.75).

Usage: permotif.py RUN_FOLDER CONFIG [BUILD]   (RUN_FOLDER holds seed1, seed2, ... of one
realdna_bench.py family; BUILD the build folder, by default the repository's build/)"""
import json, subprocess, sys, os
root, config = sys.argv[1], sys.argv[2]
build = sys.argv[3] if len(sys.argv) > 3 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'build')
ev = os.path.join(build, 'tools', 'serevan-eval')
found = {}; f1s = {}
for s in sorted((d for d in os.listdir(root) if d.startswith('seed')), key=lambda d: int(d[4:])):
    d = os.path.join(root, s)
    rep = os.path.join(d, config + '.txt')
    if not os.path.exists(rep): continue
    j = json.loads(subprocess.run([ev, '--sim', os.path.join(d, 'data'), '--report', rep, '--json'], capture_output=True, text=True).stdout)
    row = [f"{s:7s} F1nt {j['site_bases']['f1']:.2f}"]
    for m in j['motifs']:
        p = m['planted']; c = m.get('correlation') or 0.0; f = m['sites']['f1']
        found.setdefault(p, []).append(c >= 0.75); f1s.setdefault(p, []).append(f)
        row.append(f"m{p} r={c:.2f} F1={f:.2f}")
    print('  '.join(row))
for p in sorted(found):
    print(f"motif {p}: found on {sum(found[p])} of {len(found[p])} sets, mean site F1 {sum(f1s[p])/len(f1s[p]):.3f}")
