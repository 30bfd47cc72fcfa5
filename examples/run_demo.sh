#!/bin/sh
# De novo run on the shipped example: 3 species, 10 orthologous groups, 3 planted motifs.
# Writes into demo_out/ (emptied first, since every output file is appended to), then
# scores the calls against the planted truth and draws them as one HTML page.
set -eu
BUILD=${1:-build}
OUT=demo_out
rm -rf "$OUT"
mkdir -p "$OUT"
echo "Running: $BUILD/Serevan -i examples/demo.fa -N 3 -K 3 -S 1 -o $OUT/demo.txt"
"$BUILD/Serevan" -i examples/demo.fa -N 3 -K 3 -S 1 -o "$OUT/demo.txt"
echo
echo "The report is $OUT/demo.txt: predicted modules, then each motif's matrix and sites."
echo "Side files beside it: demo.txt.info (progress), demo.txt_Pm.txt (module counts),"
echo "demo.txtmodule.txt (module list), demo.txtmotif1.txt .. motif3.txt (sites per motif)."
echo
echo "Scored against the planted truth (examples/demo_truth.tsv):"
"$BUILD/tools/serevan-eval" --sim examples/demo --report "$OUT/demo.txt"
echo
echo "One page with the motif logos, the module map and the site table (planted truth in its own lane,"
echo "known motifs from the JASPAR collection built into the tool): open $OUT/demo.html in a browser."
"$BUILD/tools/serevan-report" "$OUT/demo.txt" -i examples/demo.fa --truth examples/demo_truth.tsv \
    -o "$OUT/demo.html"
