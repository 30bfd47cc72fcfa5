#!/usr/bin/env python3
"""Cuts the small pieces of real DNA kept in the repository from the reference data.

    python3 bench/realdna/make_pieces.py [DATA_DIR]     (default: ../shared/data)

Writes bench/realdna/*.fa and tests/data/realdna_softmasked.fa; see bench/realdna/README.md.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def read_fasta(path):
    return "".join(l.strip() for l in open(path) if not l.startswith(">"))


def maf_human_rows(path):
    """Human rows of the MAF blocks in coordinate order, gaps removed: (start, letters)."""
    rows = []
    for line in open(path):
        if line.startswith("s hg17"):
            f = line.split()
            assert f[4] == "+"
            rows.append((int(f[2]), f[6].replace("-", "")))
    rows.sort()
    return rows


def write(path, records):
    with open(path, "w") as out:
        for name, seq in records:
            out.write(">" + name + "\n")
            for i in range(0, len(seq), 60):
                out.write(seq[i:i + 60] + "\n")


def main():
    data = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "..", "shared", "data")
    human = read_fasta(os.path.join(data, "hg17_chr22_region.fa"))
    yeast = read_fasta(os.path.join(data, "yeast_chrI.fa"))
    # Region offsets are 0-based from chr22:14,500,000 (hg17); yeast offsets are chrI coordinates.
    write(os.path.join(HERE, "human_chr22_upper.fa"),
          [("hg17_chr22_14600000_14720000", human[100000:220000].upper())])
    write(os.path.join(HERE, "yeast_chrI_upper.fa"), [("yeast_chrI_60000_100000", yeast[60000:100000].upper())])
    # The whole chromosome for the AT-rich family: 30 windows of 1,500 bases apart need more than 40 kb.
    write(os.path.join(HERE, "yeast_chrI_whole.fa"), [("yeast_chrI_0_%d" % len(yeast), yeast.upper())])
    # Soft-masked: the aligned human DNA of the MAF, blocks joined in coordinate order (the
    # unaligned DNA between blocks is left out, so a record is not contiguous in the genome).
    rows = maf_human_rows(os.path.join(data, "hg17_chr22_5way.maf"))
    joined = "".join(s for _, s in rows)
    write(os.path.join(HERE, "human_chr22_softmasked.fa"),
          [("hg17_chr22_maf_human_rows_%d_%d" % (rows[0][0], rows[-1][0]), joined[:120000])])
    # For the tests: 2,400 bases rich in masked repeats, and a record too short for a window.
    best = max(range(0, len(joined) - 2400, 100), key=lambda i: sum(c.islower() for c in joined[i:i + 2400]))
    write(os.path.join(ROOT, "tests", "data", "realdna_softmasked.fa"),
          [("maf_human_rows_from_%d" % best, joined[best:best + 2400]), ("short_record", joined[:150])])


if __name__ == "__main__":
    main()
