#!/usr/bin/env python3
"""How true a kept chain's site calls are: by the number of species in which the group has a
call of the same motif, and per planted motif, found (column correlation >= 0.75) or not.

    python3 calls.py RUN_FOLDER CONFIG [BUILD]

RUN_FOLDER holds seed1, seed2, ... of one realdna_bench.py family (data.fa, data_truth.tsv,
CONFIG.txt); BUILD the build folder, by default the repository's build/."""
import collections, json, os, subprocess, sys

from setfiles import on_planted, read_planted, read_report

root, config = sys.argv[1], sys.argv[2]
build = sys.argv[3] if len(sys.argv) > 3 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "build")
by_species, per_motif = collections.Counter(), collections.defaultdict(lambda: [0, 0, 0, 0, 0])
for s in sorted((x for x in os.listdir(root) if x.startswith("seed")), key=lambda x: int(x[4:])):
    d = os.path.join(root, s)
    rep = os.path.join(d, config + ".txt")
    if not os.path.exists(rep):
        continue
    truth = read_planted(d)
    widths, calls = read_report(rep)
    species = collections.defaultdict(set)
    for sp, g, _, m, p, _ in calls:
        species[(g, m)].add(sp)
    for sp, g, _, m, p, _ in calls:
        by_species[(len(species[(g, m)]), on_planted(truth, sp, g, p, widths[m]))] += 1
    j = json.loads(subprocess.run([os.path.join(build, "tools", "serevan-eval"), "--sim", os.path.join(d, "data"),
                                   "--report", rep, "--json"], capture_output=True, text=True).stdout)
    for m in j["motifs"]:
        row = per_motif[(m["planted"], (m.get("correlation") or 0) >= 0.75)]
        row[0] += 1
        for k, key in enumerate(("predicted", "predicted_matched", "true", "true_matched")):
            row[k + 1] += m["sites"][key]
print("species with a call of the motif in the group: calls, share on planted sites")
for k in sorted({k for k, _ in by_species}):
    t, f = by_species[(k, True)], by_species[(k, False)]
    print("  %d: %d calls, %.2f" % (k, t + f, t / max(1, t + f)))
print("planted motif: sets, calls, PPV, sensitivity (sites)")
for (p, ok), (n, pr, pm, tr, tm) in sorted(per_motif.items()):
    print("  %d %-9s %2d sets, %4d calls, PPV %.2f, sensitivity %.2f" % (p, "found" if ok else "not found", n, pr, pm / max(1, pr), tm / max(1, tr)))
