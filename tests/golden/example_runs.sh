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
# The options that change the model: order-k backgrounds (estimated and read), soft masking,
# low-complexity masking, one strand, fixed site probabilities, given matrices.
DATA="$EX/../tests/data"
run order2 -i "$EX/demo.fa" -N 3 -K 3 -n 120 -c -g 2 -l -S 5 -o order2.txt
run bgfile -i "$EX/demo.fa" -N 3 -K 2 -n 80 -g "$DATA/yeast_order2.freq" -u 0.5 -S 6 -o bgfile.txt
run masked -i "$EX/demo.fa" -N 3 -K 2 -n 80 -M -r 0 -q 0.004 -w 8 -W 12 -L 150 -S 7 -o masked.txt
run given -i "$EX/demo.fa" -N 3 -K 3 -n 80 -c -A "$EX/demo_motifs.txt" -p 0.3 -S 8 -o given.txt
run motifq -i "$EX/demo.fa" -N 3 -K 2 -n 40 -s -q 0.002 -S 9 -o motifq.txt
run fscang -i "$EX/demo.fa" -N 3 -K 3 -F -A "$EX/demo_motifs_sites.txt" -g 2 -n 100 -S 10 -o fscang.txt
run selectg -i "$EX/demo.fa" -N 3 -K 2 -B "$EX/demo_candidates.txt" -T 8 -q 0.01 -g 1 -S 11 -o selectg.txt
run ascang -i "$EX/demo_aln.fa" -N 3 -K 3 -P "$EX/demo_param.txt" -g 3 -S 12 -o ascang.txt
# Standard error's stage lines carry times: left out.
for f in *.stderr; do sed -i '/^stage: /d' "$f"; done
# The report and .info files echo the command line, whose paths differ between checkouts.
for f in *.txt *.info; do
  [ -f "$f" ] && sed -i "s#$DATA#DATA#g; s#$EX#EXAMPLES#g; s#$BIN#SEREVAN#g" "$f"
done
exit 0
