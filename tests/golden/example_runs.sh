#!/bin/sh
# Runs every mode on the shipped example with fixed seeds and writes all output files into
# OUTDIR, so two builds can be compared byte for byte:
#   tests/golden/example_runs.sh build/Serevan out-new && diff -r out-old out-new
set -eu
BIN=$(realpath "$1")
OUT=$2
EX=$(cd "$(dirname "$0")/../../examples" && pwd)
rm -rf "$OUT"
mkdir -p "$OUT"
cd "$OUT"
run() { name=$1; shift; "$BIN" "$@" > "$name.stdout" 2> "$name.stderr"; echo $? > "$name.status"; }
run denovo -i "$EX/demo.fa" -N 3 -K 3 -n 200 -S 1 -o denovo.txt
run collapsed -i "$EX/demo.fa" -N 3 -K 3 -n 200 -c -S 2 -o collapsed.txt
run repeat -i "$EX/demo.fa" -N 3 -K 2 -n 60 -m 2 -S 3 -o repeat.txt
run motifmode -i "$EX/demo.fa" -N 3 -K 2 -n 60 -s -S 4 -o motifmode.txt
run ascan -i "$EX/demo_aln.fa" -N 3 -K 3 -P "$EX/demo_param.txt" -S 1 -o ascan.txt
run ascanx -i "$EX/demo_aln.fa" -N 3 -K 3 -P "$EX/demo_param.txt" -x -S 1 -o ascanx.txt
run fscan -i "$EX/demo.fa" -N 3 -K 3 -F -A "$EX/demo_motifs_sites.txt" -L 200 -n 200 -S 1 -o fscan.txt
run select -i "$EX/demo.fa" -N 3 -K 3 -A "$EX/demo_motifs.txt" -B "$EX/demo_candidates.txt" -T 8 -q 0.01 -S 1 -o select.txt
# The report and .info files echo the command line, whose paths differ between checkouts.
for f in *.txt *.info; do
  [ -f "$f" ] && sed -i "s#$EX#EXAMPLES#g; s#$BIN#SEREVAN#g" "$f"
done
exit 0
