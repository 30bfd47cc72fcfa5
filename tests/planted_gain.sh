#!/bin/sh
# Shared by the statistical tests on planted real DNA: one set per seed from serevan-sim, the
# program run on it with two option sets, both scored by serevan-eval; passes when the mean F1
# of the second beats that of the first by at least MIN_GAIN.
# Usage: planted_gain.sh SEREVAN TOOLS_DIR BACKGROUND MOTIF_FILE|- "SEEDS" MIN_GAIN METRIC \
#            "SIM_OPTIONS" "BASE_OPTIONS" "NEW_OPTIONS"
# METRIC is a serevan-eval figure (sites, site_bases); MOTIF_FILE - plants random matrices.
set -eu
SEREVAN=$1 TOOLS=$2 BG=$3 MOTIFS=$4 SEEDS=$5 GAIN=$6 METRIC=$7 SIM=$8 BASE=$9 NEW=${10}
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
for seed in $SEEDS; do
  if [ "$MOTIFS" = - ]; then
    "$TOOLS/serevan-sim" --out "$T/s$seed" --seed $seed $SIM --background "$BG" --quiet
  else
    "$TOOLS/serevan-sim" --out "$T/s$seed" --seed $seed $SIM --background "$BG" --motif-file "$MOTIFS" --quiet
  fi
  for cfg in base new; do
    opt=$BASE; [ $cfg = new ] && opt=$NEW
    "$SEREVAN" -i "$T/s$seed.fa" -N 3 -K 3 -S $seed $opt -o "$T/$cfg$seed.txt" > /dev/null
    "$TOOLS/serevan-eval" --sim "$T/s$seed" --report "$T/$cfg$seed.txt" --json > "$T/$cfg$seed.json"
  done
done
/usr/bin/python3 - "$T" "$METRIC" "$GAIN" "$BASE" "$NEW" $SEEDS <<'PY'
import json, sys
t, metric, gain, base, new, seeds = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4], sys.argv[5], sys.argv[6:]
def f1(cfg):
    v = [json.load(open(f"{t}/{cfg}{s}.json"))[metric]["f1"] or 0.0 for s in seeds]
    return sum(v) / len(v), ["%.2f" % x for x in v]
b, bv = f1("base")
n, nv = f1("new")
print(f"{metric} F1, seeds {' '.join(seeds)}: {base}: {bv} mean {b:.3f}; {new}: {nv} mean {n:.3f} "
      f"(gain asked: {gain})")
sys.exit(0 if n - b >= gain else 1)
PY
