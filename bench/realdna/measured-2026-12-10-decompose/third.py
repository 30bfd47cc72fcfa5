#!/usr/bin/env python3
"""Motif files that swap the third (TBP-like) matrix, for the likelihood comparison.

    python3 third.py OTHER OWN REPORT EVAL_JSON OUT_B OUT_C

OTHER: truesites.py matrices of another set (the `other0` files); OWN: truesites.py matrices of
this set's species-0 sites; REPORT the kept chain's report, EVAL_JSON its serevan-eval --json.
OUT_B: OTHER's first two motifs + the report's third motif (below; +0.02);
OUT_C: OTHER's first two motifs + OWN's third."""
import json, re, sys

other, own, rep, ev, out_b, out_c = sys.argv[1:7]


def read(path):
    lines = open(path).read().split("\n")
    widths = [int(x) for x in lines[1].split()]
    mats, at = [], 3
    for w in widths:
        mats.append(lines[at:at + w]); at += w + 1
    return mats


def write(path, mats):
    with open(path, "w") as f:
        f.write("%d\n%s\n" % (len(mats), "\t".join(str(len(m)) for m in mats)))
        for k, m in enumerate(mats):
            f.write("Motif%d\n%s\n" % (k + 1, "\n".join(m)))


first_two = read(other)[:2]
# The third slot: the learned motif not matched to planted motifs 1 and 2 (serevan-eval matches
# each planted motif on its own, so its match for motif 3 may be one of theirs); of two such,
# the one matched to motif 3 if it is one of them, else the first.
match = {m["planted"]: m["learned"] for m in json.load(open(ev))["motifs"]}
lines = open(rep).read().split("\n")
found, i = [], 0
while i < len(lines):
    if re.match(r"^Motif\d+:", lines[i]):
        k, rows = i + 2, []
        while k < len(lines) and re.match(r"^[0-9.]+\t", lines[k]):
            p = [float(x) + 0.02 for x in lines[k].split()]
            rows.append("\t".join("%.4f" % (x / sum(p)) for x in p)); k += 1
        found.append(rows); i = k
    else:
        i += 1
rest = [k for k in range(1, len(found) + 1) if k not in (match.get(1), match.get(2))]
learned = match[3] if match.get(3) in rest else rest[0]
write(out_b, first_two + [found[learned - 1]])
write(out_c, first_two + [read(own)[2]])
