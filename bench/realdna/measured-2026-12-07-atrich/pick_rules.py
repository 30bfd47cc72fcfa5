#!/usr/bin/env python3
"""Which chain of a -C run should be kept? For each <run>chains.tsv given: every chain's
nucleotide-level site F1 (its report cut out of chains.txt and scored by serevan-eval against
the set's truth in the same folder, data_truth.tsv), and the F1 of the chain each rule keeps:
the highest average log-posterior (post), the highest average likelihood (lik), the most
motifs found then the posterior (found+post), the most support from the other chains (agree:
the sum over the other chains of the mean, over this chain's K motifs, of the best column
correlation with a motif the other chain found, as serevan-eval compares matrices), the most
motifs whose called sites sit in at least a quarter of the groups (and three), then the
posterior (spread: the program's rule since 2026-12-08), and the best chain (which no user
can pick). Last line: the means over the sets.

    python3 pick_rules.py EVAL_BINARY OUT/SETTING/seed*/new.txtchains.tsv ...
"""
import json
import os
import re
import subprocess
import sys
import tempfile


def f1(evaluator, data, report):
    out = subprocess.run([evaluator, "--sim", data, "--report", report, "--json"], capture_output=True,
                         text=True).stdout
    try:
        return json.loads(out)["site_bases"]["f1"] or 0.0
    except (ValueError, KeyError):
        return 0.0  # no prediction


def matrices(run):
    found, lines, i = [], run.split("\n"), 0
    while i < len(lines):
        if re.match(r"^Motif\d+:", lines[i]):
            i += 2
            m = []
            while i < len(lines) and re.match(r"^[0-9.]", lines[i]):
                m.append([float(x) for x in lines[i].split()])
                i += 1
            found.append(m)
        i += 1
    return found


def site_groups(run):
    """Per motif of a report, the number of groups holding its called sites."""
    parts = re.split(r"\nMotif\d+:", run)[1:]
    return [len({g for g in re.findall(r"^>\d+\t(\d+)\t", body, re.M)}) for body in parts]


def read_chains(tsv):
    """A -C run's table rows, each chain's report (without its first words "Serevan (beta")
    and the groups a motif must reach to count as spread (a quarter, at least three). A run
    repeated into the same files appends: the last table and the last C reports count."""
    rows = [line.rstrip("\n").split("\t") for line in open(tsv)]
    rows = rows[max(i for i, r in enumerate(rows) if r[0] == "chain") + 1:]
    runs = open(tsv[: -len("chains.tsv")] + "chains.txt").read().split("Serevan (beta")[1:][-len(rows):]
    G = sum(1 for line in open(os.path.join(os.path.dirname(tsv), "data.fa")) if line.startswith(">")) // 3
    return rows, runs, max(3, -(-G // 4))


def pearson(a, b):
    ma, mb = sum(a) / 4, sum(b) / 4
    sab = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    saa, sbb = sum((x - ma) ** 2 for x in a), sum((y - mb) ** 2 for y in b)
    return sab / ((saa * sbb) ** 0.5 + 1e-12)


def compare(a, b):
    best = -1.0
    for strand in (0, 1):
        q = b if strand == 0 else [list(reversed(c)) for c in reversed(b)]
        for shift in range(-len(a) + 1, len(q)):
            pairs = [(a[j], q[j + shift]) for j in range(len(a)) if 0 <= j + shift < len(q)]
            if pairs:
                best = max(best, sum(pearson(x, y) for x, y in pairs) / min(len(a), len(q)))
    return best


def main():
    evaluator, tables = sys.argv[1], sys.argv[2:]
    totals = {}
    with tempfile.TemporaryDirectory() as tmp:
        for tsv in sorted(tables):
            folder = os.path.dirname(tsv)
            rows, runs, need = read_chains(tsv)
            scores, found, spread = [], [], []
            for c, run in enumerate(runs):
                path = os.path.join(tmp, "chain%d.txt" % c)
                open(path, "w").write("Serevan (beta" + run)
                scores.append(f1(evaluator, os.path.join(folder, "data"), path))
                kept = [m != "-" for m in rows[c][5].split(",")]
                found.append([m for m, k in zip(matrices(run), kept) if k])
                spread.append(sum(1 for n in site_groups(run) if n >= need))
            C, K = len(rows), len(rows[0][5].split(","))
            lik, post = [float(r[2]) for r in rows], [float(r[3]) for r in rows]
            support = [sum(sum(max([compare(a, b) for b in found[o]] or [0]) for a in found[c]) / K
                           for o in range(C) if o != c) for c in range(C)]
            picks = {"post": max(range(C), key=lambda c: post[c]), "lik": max(range(C), key=lambda c: lik[c]),
                     "found+post": max(range(C), key=lambda c: (len(found[c]), post[c])),
                     "agree": max(range(C), key=lambda c: support[c]),
                     "spread": max(range(C), key=lambda c: (spread[c], post[c])),
                     "best": max(range(C), key=lambda c: scores[c])}
            for rule, c in picks.items():
                totals.setdefault(rule, []).append(scores[c])
            print("%-28s chains %s support %s | %s" % (
                os.path.relpath(tsv, os.path.dirname(os.path.dirname(folder))), " ".join("%.2f" % x for x in scores),
                " ".join("%.2f" % x for x in support), " ".join("%s %.2f" % (r, scores[c]) for r, c in picks.items())))
    print("%d sets, mean F1 of the kept chain: %s" % (
        len(tables), " ".join("%s %.3f" % (r, sum(v) / len(v)) for r, v in totals.items())))


if __name__ == "__main__":
    main()
