#!/usr/bin/env python3
"""Does the likelihood reward composition? Per setting and seed of a realdna_bench.py folder:
the average log-likelihood of the run with the true matrices fixed (truefixed) against every
chain of a chains config, and what the chains that win by likelihood but miss the motifs hold.

    python3 diagnose.py OUT [--config g3x8] [--settings atrich,atlong,sparse] [--miss 0.3]
        [--prep BUILD/tools/serevan-prep]

Summary, one line per setting (the layout of the issue's table): the -F ceiling's range and
mean; one chain (NAME.c0): range, mean and how many of all the chains stay at or below 0.08;
the pick of the chains: range, mean, share of the ceiling, and serevan-chains's verdicts; the
best chain by F1 (the pick no user can make).

Table 1, one line per set: the ceiling's and the first chain's F1; the truefixed run's
nucleotide-level site F1 and average log-likelihood; the chain serevan-chains picks (highest
average likelihood): its index, F1 and likelihood minus truefixed's; the best chain by F1 and
its likelihood minus truefixed's; how many chains score above truefixed, and how many of
those miss (F1 < --miss).

Table 2, one line per motif of every chain that scores above truefixed yet misses: the
consensus (IUPAC; a column is a base at >= 0.6, two bases at >= 0.8 together, else N), the
information in bits (2 + sum p log2 p per column, summed), its sites and the groups that hold
them (the share in the three fullest groups), the mean G+C of those groups against the set's
(each group pooled over its species), the median length of the chain's modules, the share of
the sites' bases that serevan-prep mask puts in low-complexity stretches, and the best
correlation with a planted matrix (as serevan-eval compares matrices).
"""
import argparse
import json
import math
import os
import statistics as st
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
IUPAC = {frozenset("AC"): "M", frozenset("AG"): "R", frozenset("AT"): "W", frozenset("CG"): "S",
         frozenset("CT"): "Y", frozenset("GT"): "K"}


def read_fasta(path):
    records, name = [], None
    for line in open(path):
        line = line.strip()
        if line.startswith(">"):
            name = line[1:]
            records.append([name, []])
        elif name is not None:
            records[-1][1].append(line)
    return [(n, "".join(s)) for n, s in records]


def read_report(path):
    """The last run of a report: average likelihood, modules, motifs (matrix, sites)."""
    text = open(path).read()
    text = text[text.rfind("Serevan (beta 1"):]
    lines = text.split("\n")
    avg, modules, motifs, i = None, [], [], 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("Average likelihood="):
            avg = float(line.split("=", 1)[1])
        elif line.startswith("Predicted modules:"):
            i += 1
            while i < len(lines) and lines[i].strip():
                f = lines[i].split("\t")
                modules.append((int(f[0]), int(f[1]), int(f[2]), int(f[3])))
                i += 1
            continue
        elif line.startswith("Motif") and ":" in line and "not found" not in line:
            motif = {"matrix": [], "sites": []}
            motifs.append(motif)
            i += 2  # the A C G T header
            while i < len(lines) and lines[i].strip() and lines[i][0] not in "S>":
                motif["matrix"].append([float(x) for x in lines[i].split()])
                i += 1
            continue
        elif line.startswith(">") and motifs:
            f = line[1:].split("\t")
            motifs[-1]["sites"].append((int(f[0]), int(f[1]), int(f[2]), len(lines[i + 1].strip())))
            i += 2
            continue
        i += 1
    return avg, modules, motifs


def read_planted(path):
    """Matrices of the program's -A format (count line, widths, then per motif a name line and rows)."""
    lines = [l for l in open(path).read().split("\n") if l.strip()]
    widths = [int(x) for x in lines[1].split()]
    i, out = 2, []
    for w in widths:
        rows = [[float(x) for x in lines[i + 1 + j].split()] for j in range(w)]
        out.append([[x / sum(r) for x in r] for r in rows])
        i += 1 + w
    return out


def pearson(a, b):
    ma, mb = sum(a) / 4, sum(b) / 4
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    if va <= 0 or vb <= 0:
        return 0.0
    return sum((x - ma) * (y - mb) for x, y in zip(a, b)) / math.sqrt(va * vb)


def similarity(a, b):
    """Column correlations summed over the overlap / the smaller width, best offset and strand."""
    best = -1.0
    for bb in (b, [list(reversed(c)) for c in reversed(b)]):
        for off in range(-len(bb) + 1, len(a)):
            s = sum(pearson(a[j], bb[j - off]) for j in range(len(a)) if 0 <= j - off < len(bb))
            best = max(best, s / min(len(a), len(bb)))
    return best


def consensus(matrix):
    out = ""
    for col in matrix:
        order = sorted(range(4), key=lambda b: -col[b])
        if col[order[0]] >= 0.6:
            out += "ACGT"[order[0]]
        elif col[order[0]] + col[order[1]] >= 0.8:
            out += IUPAC[frozenset("ACGT"[order[0]] + "ACGT"[order[1]])]
        else:
            out += "N"
    return out


def information(matrix):
    return sum(2 + sum(p * math.log2(p) for p in col if p > 0) for col in matrix)


def gc_share(seqs):
    up = "".join(seqs).upper()
    acgt = sum(up.count(c) for c in "ACGT")
    return (up.count("G") + up.count("C")) / acgt if acgt else float("nan")


def fmt(x, digits=3):
    return "n/a" if x is None else "%.*f" % (digits, x)


def diagnose_set(folder, config, chains_row, tf, miss, prep):
    data = read_fasta(os.path.join(folder, "data.fa"))
    masked_path = os.path.join(folder, "data_lowcomplexity.fa")
    if not os.path.exists(masked_path):
        subprocess.run([prep, "mask", os.path.join(folder, "data.fa"), "-o", masked_path], check=True,
                       capture_output=True)
    masked = read_fasta(masked_path)
    groups = max(int(n.split("_")[0][1:]) for n, _ in data) + 1
    group_gc = [gc_share([s for n, s in data if int(n.split("_")[0][1:]) == g]) for g in range(groups)]
    set_gc = gc_share([s for _, s in data])
    planted = read_planted(os.path.join(folder, "data_motifs.txt"))
    count = chains_row["chains"]
    chains = []
    for c in range(count):
        avg, modules, motifs = read_report(os.path.join(folder, "%s.c%d.txt" % (config, c)))
        chains.append({"index": c, "avg": avg, "f1": chains_row["chain_f1"][c] or 0.0, "modules": modules,
                       "motifs": motifs})
    artefacts = []
    for ch in chains:
        if not (ch["avg"] > tf["avg_likelihood"] and ch["f1"] < miss):
            continue
        lengths = [end - start for _, _, start, end in ch["modules"]]
        for k, m in enumerate(ch["motifs"]):
            if not m["sites"]:
                continue
            per_group = {}
            low = total = 0
            for sp, g, pos, w in m["sites"]:
                per_group[g] = per_group.get(g, 0) + 1
                letters = masked[sp * groups + g][1][pos:pos + w]
                low += sum(1 for x in letters if x.islower())
                total += len(letters)
            top3 = sum(sorted(per_group.values(), reverse=True)[:3]) / len(m["sites"])
            artefacts.append({
                "chain": ch["index"], "f1": ch["f1"], "dll": ch["avg"] - tf["avg_likelihood"], "motif": k + 1,
                "consensus": consensus(m["matrix"]), "bits": information(m["matrix"]), "sites": len(m["sites"]),
                "groups": len(per_group), "top3": top3, "gc_groups": st.mean(group_gc[g] for g in per_group),
                "gc_set": set_gc, "module_median": st.median(lengths) if lengths else None,
                "low_complexity": low / total if total else 0.0,
                "planted_r": max(similarity(m["matrix"], p) for p in planted)})
    return chains, artefacts


def summary(rows, setting, config):
    """One line in the layout of the issue's table (nucleotide-level site F1 over the seeds)."""
    picks = {s: r for (x, s, c), r in rows.items() if x == setting and c == config and r["status"] == 0}
    ceil = {s: r["site_base_f1"] or 0.0 for (x, s, c), r in rows.items()
            if x == setting and c == "ceiling" and r["status"] == 0}
    seeds = sorted(set(picks) & set(ceil))
    if not seeds:
        return "%-7s no complete set" % setting
    one = [picks[s]["chain_f1"][0] or 0.0 for s in seeds]
    every = [f or 0.0 for s in seeds for f in picks[s]["chain_f1"]]
    picked = [picks[s]["site_base_f1"] or 0.0 for s in seeds]
    best = [picks[s]["best_chain_f1"] for s in seeds]
    c = [ceil[s] for s in seeds]
    verdicts = {}
    for s in seeds:
        v = picks[s]["verdict"].split(":")[0]
        verdicts[v] = verdicts.get(v, 0) + 1

    def span(xs):
        return "%.2f-%.2f, mean %.3f" % (min(xs), max(xs), st.mean(xs))

    return ("%-7s %d sets | ceiling %s | one chain %s; %d of %d chains <= 0.08 | pick of %d %s (%.2f of the "
            "ceiling); %s | best chain %s" % (
                setting, len(seeds), span(c), span(one), sum(1 for f in every if f <= 0.08), len(every),
                picks[seeds[0]]["chains"], span(picked), st.mean(picked) / st.mean(c),
                ", ".join("%s %d" % kv for kv in sorted(verdicts.items())), span(best)))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out")
    ap.add_argument("--config", default="g3x8")
    ap.add_argument("--settings", default="atrich,atlong,sparse")
    ap.add_argument("--miss", type=float, default=0.3, help="a chain below this site F1 misses the motifs [0.3]")
    ap.add_argument("--prep", default=os.path.join(HERE, "..", "..", "..", "build", "tools", "serevan-prep"))
    ap.add_argument("--json", help="also write every line of both tables to this JSON file")
    args = ap.parse_args()
    rows = {}
    for line in open(os.path.join(args.out, "results.jsonl")):
        r = json.loads(line)
        rows[(r["setting"], r["seed"], r["config"])] = r
    t0, t1, t2, dump = [], [], [], []
    t1.append("%-7s %4s %-6s %-6s %-6s %-10s %-5s %-6s %-9s %-6s %-9s %-8s %s" % (
        "setting", "seed", "ceilF1", "c0F1", "tfF1", "tf avgLL", "pick", "pickF1", "pick-tf", "bestF1", "best-tf",
        "above", "verdict"))
    t2.append("%-7s %4s %-5s %-5s %-7s %-3s %-15s %-5s %-5s %-6s %-5s %-11s %-6s %-5s %s" % (
        "setting", "seed", "chain", "F1", "-tf LL", "m", "consensus", "bits", "sites", "groups", "top3",
        "GC grp/set", "module", "lowc", "planted r"))
    for setting in args.settings.split(","):
        diffs = []
        for seed in sorted(s for (x, s, c) in rows if x == setting and c == args.config):
            ch_row, tf = rows[(setting, seed, args.config)], rows.get((setting, seed, "truefixed"))
            if ch_row["status"] != 0 or not tf or tf["status"] != 0:
                continue
            folder = os.path.join(args.out, setting, "seed%d" % seed)
            chains, artefacts = diagnose_set(folder, args.config, ch_row, tf, args.miss, args.prep)
            pick = chains[ch_row["picked"]]
            best = max(chains, key=lambda c: (c["f1"], c["avg"]))
            above = [c for c in chains if c["avg"] > tf["avg_likelihood"]]
            diffs.append(pick["avg"] - tf["avg_likelihood"])
            ceil = rows.get((setting, seed, "ceiling"), {}).get("site_base_f1")
            t1.append("%-7s %4d %-6s %-6s %-6s %-10.1f %-5d %-6s %+-9.1f %-6s %+-9.1f %d (%d miss) %s" % (
                setting, seed, fmt(ceil, 2), fmt(chains[0]["f1"], 2), fmt(tf["site_base_f1"] or 0.0, 2),
                tf["avg_likelihood"], pick["index"],
                fmt(pick["f1"], 2), pick["avg"] - tf["avg_likelihood"], fmt(best["f1"], 2),
                best["avg"] - tf["avg_likelihood"], len(above), sum(1 for c in above if c["f1"] < args.miss),
                ch_row.get("verdict", "").split(":")[0]))
            for a in artefacts:
                line = "%-7s %4d %-5d %-5s %+-7.1f %-3d %-15s %-5.1f %-5d %-6d %-5.2f %.2f / %.2f %-6s %-5.2f %.2f"
                t2.append(line % (
                    setting, seed, a["chain"], fmt(a["f1"], 2), a["dll"], a["motif"], a["consensus"], a["bits"],
                    a["sites"], a["groups"], a["top3"], a["gc_groups"], a["gc_set"],
                    fmt(a["module_median"], 0), a["low_complexity"], a["planted_r"]))
            dump.append({"setting": setting, "seed": seed, "truefixed_f1": tf["site_base_f1"],
                         "truefixed_avg_likelihood": tf["avg_likelihood"],
                         "chains": [{k: c[k] for k in ("index", "avg", "f1")} for c in chains],
                         "picked": pick["index"], "artefacts": artefacts})
        t0.append(summary(rows, setting, args.config))
        if diffs:
            m = st.mean(diffs)
            se = st.stdev(diffs) / math.sqrt(len(diffs)) if len(diffs) > 1 else 0.0
            t1.append("%-7s mean picked - truefixed average log-likelihood %+.1f (se %.1f) over %d sets; "
                      "picked above truefixed in %d" % (setting, m, se, len(diffs), sum(1 for d in diffs if d > 0)))
        t1.append("")
    print("\n".join(t0) + "\n")
    print("\n".join(t1))
    print("Chains above the truefixed likelihood that miss the motifs (F1 < %.2f), motif by motif:" % args.miss)
    print("\n".join(t2))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(dump, f, indent=1)


if __name__ == "__main__":
    sys.exit(main())
