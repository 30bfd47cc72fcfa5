#!/usr/bin/env python3
"""How true a kept chain's site calls are: by the number of species in which the group has a
call of the same motif, and per planted motif, found (column correlation >= 0.75) or not.

    python3 calls.py RUN_FOLDER CONFIG [BUILD]

RUN_FOLDER holds seed1, seed2, ... of one realdna_bench.py family (data.fa, data_truth.tsv,
CONFIG.txt); BUILD the build folder, by default the repository's build/."""
import collections, json, os, re, subprocess, sys

root, config = sys.argv[1], sys.argv[2]
build = sys.argv[3] if len(sys.argv) > 3 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "build")
by_species, per_motif = collections.Counter(), collections.defaultdict(lambda: [0, 0, 0, 0, 0])
for s in sorted((x for x in os.listdir(root) if x.startswith("seed")), key=lambda x: int(x[4:])):
    d = os.path.join(root, s)
    rep = os.path.join(d, config + ".txt")
    if not os.path.exists(rep):
        continue
    truth = {}
    for line in open(os.path.join(d, "data_truth.tsv")):
        f = line.split("\t")
        if f[0] == "site":
            truth.setdefault((int(f[1]), int(f[2])), []).append((int(f[3]), int(f[4])))
    lines = open(rep).read().split("\n")
    widths, i = [], 0
    while i < len(lines):
        if re.match(r"^Motif\d+:", lines[i]):
            j = i + 2
            while j < len(lines) and re.match(r"^[0-9.]+\t", lines[j]):
                j += 1
            widths.append(j - i - 2); i = j
        else:
            i += 1
    calls = []
    for line in lines[lines.index("Predicted modules:") + 1:]:
        if not re.match(r"^\d+\t\d+\t", line):
            break
        f = line.split("\t")
        calls += [(int(f[0]), int(f[1]), int(m) - 1, int(p)) for _, m, p in re.findall(r"([+-])(\d+)\((\d+)\)", f[4])]
    species = collections.defaultdict(set)
    for sp, g, m, p in calls:
        species[(g, m)].add(sp)
    for sp, g, m, p in calls:
        w = widths[m]
        on = any(min(e, p + w - 1) - max(a, p) + 1 >= min(w, e - a + 1) / 2 for a, e in truth.get((sp, g), []))
        by_species[(len(species[(g, m)]), on)] += 1
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
