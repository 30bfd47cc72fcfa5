#!/usr/bin/env python3
"""How much the groups of the simulated sets differ in composition, and how far two species
are apart. Per setting of a realdna_bench.py folder: per seed the set's G+C share and the
standard deviation, least and largest G+C share of its groups (each group pooled over its
species), then means over seeds; the pairwise difference of two species at the aligned
columns of the true alignment (data_aln.fa, one group per seed; gaps left out). Then, for
reference, tiled windows of the source DNA.

    python3 composition.py OUT [--settings atrich,atlong,sparse] [--reference FASTA:LENGTH ...]
"""
import argparse
import os
import statistics as st


def read_fasta(path):
    records = []
    for line in open(path):
        line = line.strip()
        if line.startswith(">"):
            records.append([line[1:], []])
        elif records:
            records[-1][1].append(line.upper())
    return [(n, "".join(s)) for n, s in records]


def gc(seq):
    acgt = sum(seq.count(c) for c in "ACGT")
    return (seq.count("G") + seq.count("C")) / acgt if acgt else None


def one_set(folder):
    data = read_fasta(os.path.join(folder, "data.fa"))
    groups = {}
    for name, seq in data:
        groups.setdefault(int(name.split("_")[0][1:]), []).append(seq)
    shares = [gc("".join(v)) for _, v in sorted(groups.items())]
    rows = [s for _, s in read_fasta(os.path.join(folder, "data_aln.fa"))]
    diff = n = 0
    for a in range(len(rows)):
        for b in range(a + 1, len(rows)):
            for x, y in zip(rows[a], rows[b]):
                if x in "ACGT" and y in "ACGT":
                    n += 1
                    diff += x != y
    return gc("".join(s for _, s in data)), st.stdev(shares), min(shares), max(shares), diff / n if n else None


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out")
    ap.add_argument("--settings", default="atrich,atlong,sparse")
    ap.add_argument("--reference", action="append", default=[], metavar="FASTA:LENGTH")
    args = ap.parse_args()
    print("%-8s %5s %-9s %-9s %-9s %-9s %s" % ("setting", "seeds", "set G+C", "group sd", "least", "largest",
                                              "two species differ"))
    for setting in args.settings.split(","):
        base = os.path.join(args.out, setting)
        seeds = sorted(int(d[4:]) for d in os.listdir(base) if d.startswith("seed")) if os.path.isdir(base) else []
        sets = [one_set(os.path.join(base, "seed%d" % s)) for s in seeds]
        if not sets:
            continue
        cols = list(zip(*sets))
        print("%-8s %5d %-9.3f %-9.3f %-9.3f %-9.3f %.3f" % ((setting, len(sets)) + tuple(
            st.mean(c) for c in cols[:4]) + (st.mean(x for x in cols[4] if x is not None),)))
        print("%-8s       per seed: group sd %s" % ("", " ".join("%.3f" % x for x in cols[1])))
    for ref in args.reference:
        path, length = ref.rsplit(":", 1)
        length = int(length)
        seq = "".join(s for _, s in read_fasta(path))
        shares = []
        for i in range(0, len(seq) - length + 1, length):
            window = seq[i:i + length]
            if sum(window.count(c) for c in "ACGT") >= 0.9 * length:
                shares.append(gc(window))
        print("%s: %d tiled windows of %d bases (at most 10 %% N): G+C %.3f, sd %.3f, least %.3f, largest %.3f" % (
            os.path.basename(path), len(shares), length, st.mean(shares), st.stdev(shares), min(shares), max(shares)))


if __name__ == "__main__":
    main()
