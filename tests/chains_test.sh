#!/bin/sh
# A small AT-rich set of real DNA (24 kb of yeast chromosome I in tests/data; 20 groups of 600
# bases, Foxa2, Lhx3 and TBP planted once each in 3 groups of 4, 10 % of sites lost): four
# chains from the conserved words, the chain of the most spread motifs kept (-C 4 -t 2 -D),
# must beat one chain of -c -g 3. Measured over seeds 1-10 at -n 300 the paired gain in site F1
# (nucleotides) is +0.12 (se 0.07; one chain 0.38, four chains 0.49); seeds 1-6 give +0.09, and
# this test asks for at least +0.05 on them. With the chain of the highest posterior kept
# instead, the four chains reach 0.01 (they keep a chain that found nothing). The README's
# command adds -e 100 -y 3 -j 24, which gain on the 30-group benchmark families but not on this
# small set (seeds 1-10, -n 300: 0.43, against 0.49 without them; measured in
# bench/realdna/measured-2026-12-08-wordchoice/small_set.txt), so this test keeps to the chains;
# command_test.sh runs the command on a set of the benchmark's size.
# Usage: chains_test.sh SEREVAN TOOLS_DIR SOURCE_DIR
set -eu
SEREVAN=$1 TOOLS=$2 SRC=$3
exec sh "$SRC/tests/planted_gain.sh" "$SEREVAN" "$TOOLS" "$SRC/tests/data/yeast_chrI_140k_24k.fa" \
  "$SRC/bench/realdna/atrich_motifs.txt" "1 2 3 4 5 6" 0.05 site_bases \
  "--species 3 --groups 20 --length 600 --module-fraction 0.75 --sites 1 --loss 0.1 --gc-spread 0.1 --sub-rate 0.08" \
  "-c -g 3 -n 300" "-c -g 3 -C 4 -t 2 -D -n 300"
