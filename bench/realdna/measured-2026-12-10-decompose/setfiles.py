"""Readers shared by the scripts of this folder: a simulated set's sequences and planted
sites, and a report's matrix widths and called sites."""
import re


def read_seqs(d):
    """SETDIR/data.fa as {name: upper-case sequence}."""
    seqs, name = {}, None
    for line in open(d + "/data.fa"):
        line = line.strip()
        if line.startswith(">"):
            name = line[1:]; seqs[name] = []
        elif name:
            seqs[name].append(line.upper())
    return {k: "".join(v) for k, v in seqs.items()}


def read_planted(d):
    """SETDIR/data_truth.tsv's sites as {(species, group): [(start, end inclusive), ...]}."""
    truth = {}
    for line in open(d + "/data_truth.tsv"):
        f = line.split("\t")
        if f[0] == "site":
            truth.setdefault((int(f[1]), int(f[2])), []).append((int(f[3]), int(f[4])))
    return truth


def on_planted(truth, sp, g, p, w):
    """A call at p of width w overlaps a planted site by at least half the shorter."""
    return any(min(e, p + w - 1) - max(a, p) + 1 >= min(w, e - a + 1) / 2 for a, e in truth.get((sp, g), []))


def read_report(path):
    """(matrix widths, calls): calls as (species, group, strand sign, motif 0-based, start,
    number of motifs called in that predicted module)."""
    lines = open(path).read().split("\n")
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
        sites = re.findall(r"([+-])(\d+)\((\d+)\)", f[4])
        kinds = len({m for _, m, _ in sites})
        calls += [(int(f[0]), int(f[1]), sgn, int(m) - 1, int(p), kinds) for sgn, m, p in sites]
    return widths, calls
