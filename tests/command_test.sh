#!/bin/sh
# The README's real-DNA command on an AT-rich set of the benchmark's size (30 groups of 1,500
# bases cut from yeast chromosome I, groups differing in C+G, Foxa2, Lhx3 and TBP planted once
# each in half of the groups, 20 % of sites lost, as the benchmark's `atrich` family) must beat
# one chain of -c -g 3. Measured over seeds 1-6 at -n 300: one chain 0.01, the command 0.30
# (paired +0.29, se 0.07; at -n 1000 over ten seeds 0.04 against 0.25); seeds 1-4 give +0.24,
# and this test asks for at least +0.10 on them. About two and a half minutes on two cores.
# Usage: command_test.sh SEREVAN TOOLS_DIR SOURCE_DIR
set -eu
SEREVAN=$1 TOOLS=$2 SRC=$3
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
for seed in 1 2 3 4; do
  "$TOOLS/serevan-sim" --out "$T/s$seed" --seed $seed --groups 30 --length 1500 --module-fraction 0.5 \
    --sites 1 --loss 0.2 --background "$SRC/bench/realdna/yeast_chrI_whole.fa" \
    --motif-file "$SRC/bench/realdna/atrich_motifs.txt" --gc-spread 0.1 --sub-rate 0.08 --quiet
  for cfg in one command; do
    opt="-c -g 3"; [ $cfg = command ] && opt="-c -g 3 -e 100 -y 3 -C 4 -t 2 -D -j 24"
    "$SEREVAN" -i "$T/s$seed.fa" -N 3 -K 3 -n 300 -S $seed $opt -o "$T/$cfg$seed.txt" > /dev/null
    "$TOOLS/serevan-eval" --sim "$T/s$seed" --report "$T/$cfg$seed.txt" --json > "$T/$cfg$seed.json"
  done
done
/usr/bin/python3 - "$T" <<'PY'
import json, sys
t = sys.argv[1]
def f1(cfg):
    v = [json.load(open(f"{t}/{cfg}{s}.json"))["site_bases"]["f1"] or 0.0 for s in range(1, 5)]
    return sum(v) / len(v), ["%.2f" % x for x in v]
one, ov = f1("one")
command, cv = f1("command")
print(f"site F1 (nucleotides) one chain {ov} mean {one:.3f}; the command {cv} mean {command:.3f}")
sys.exit(0 if command - one >= 0.10 else 1)
PY
