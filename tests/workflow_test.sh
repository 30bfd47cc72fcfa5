#!/bin/sh
# The Snakemake workflow end to end.
#  1. The example: four short chains on the soft-masked input (the example has no
#     low-complexity stretch), their agreement and consensus; the genome scan in three shards
#     (an uneven last one) whose merged files must equal one -F -G run of the command line the
#     merged report holds; aligned scans of four alignments whose ranked table must equal the
#     scores of running each alignment by hand. The run is interrupted like a Ctrl-C right
#     after a chain has written its files, and a plain rerun must resume.
#  2. The MAF configuration (workflow/maf.yaml) on examples/chr22_piece.maf: prep maf, one job
#     of four chains (-C), the kept chain as the best (byte for byte the job's own report), its
#     page with chain counts and genome positions, BED and GFF3 per species in genome
#     coordinates, MEME and JASPAR, and a genome scan of two JASPAR motifs.
# Usage: workflow_test.sh SEREVAN TOOLS_DIR SOURCE_DIR
set -eu
SEREVAN=$1 TOOLS=$2 SRC=$3
command -v snakemake >/dev/null 2>&1 || { echo "snakemake is not installed: skipped"; exit 77; }
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail() { echo "workflow_test: $*" >&2; exit 1; }
# snakemake in a process group of its own with SIGINT at its default, as from a terminal.
snake() {
  setsid -w /usr/bin/python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execvp(sys.argv[1], sys.argv[1:])' \
    snakemake -q -s "$SRC/workflow/Snakefile" -d "$T" --cores 2 "$@"
}
# The merged scan under OUT equals one -F -G run of the command line its report holds.
same_as_one_run() {
  head -n 2 "$1/genome_scan/merged.txt" | tail -n 1 > "$T/line"
  grep -q "^Serevan .* -F .* -G .*-o $2/genome_scan/merged.txt $" "$T/line" || fail "merged command line: $(cat "$T/line")"
  (cd "$T" && $SEREVAN $(sed "s# -o [^ ]*# -o one.txt#; s#^Serevan ##" "$T/line") >/dev/null) || fail "one -F -G run failed"
  for f in "$1"/genome_scan/merged.txt?*; do
    cmp -s "$f" "$T/one.txt${f#"$1"/genome_scan/merged.txt}" || fail "merged $f differs from one -F -G run"
  done
  sed 1,2d "$1/genome_scan/merged.txt" > "$T/m" && sed 1,2d "$T/one.txt" > "$T/o" && cmp -s "$T/m" "$T/o" ||
    fail "merged report differs from one -F -G run"
  rm -f "$T"/one.txt*
}

# ---- 1. The example.
# The true alignments of groups 0..3 of the example (serevan-sim with the example's seed).
for g in 0 1 2 3; do "$TOOLS/serevan-sim" --out "$T/a$g" --seed 2007 --align-group $g >/dev/null; done
cmp -s "$T/a0_aln.fa" "$SRC/examples/demo_aln.fa" || fail "serevan-sim no longer makes the example"
cat > "$T/config.yaml" <<EOF
serevan: $T/serevan.sh
tools: $TOOLS
outdir: out
input: $SRC/examples/demo.fa
iterations: 100
chains: 4
mask: true
genome_scan_motifs: $SRC/examples/demo_motifs_sites.txt
genome_scan_iterations: 40
shards: 3
background_order: 2
scan_alignments: ["$T/a*_aln.fa"]
scan_param: $SRC/examples/demo_param.txt
EOF
# The program, but the first time chain 2 has written its files, a Ctrl-C to the whole run.
cat > "$T/serevan.sh" <<EOF
#!/bin/sh
"$SEREVAN" "\$@" || exit \$?
case " \$* " in *" -S 2 "*) [ -e "$T/interrupted" ] || { touch "$T/interrupted"; kill -INT 0; sleep 60; } ;; esac
EOF
chmod +x "$T/serevan.sh"
! snake --configfile "$T/config.yaml" >"$T/snakemake.log" 2>&1 || fail "the run was not interrupted"
[ -e "$T/interrupted" ] || { cat "$T/snakemake.log"; fail "chain 2 did not run"; }
[ ! -e "$T/out/chain2/report.txt" ] || fail "an interrupted chain left its report in place"
snake --configfile "$T/config.yaml" >"$T/snakemake.log" 2>&1 || { cat "$T/snakemake.log"; fail "a plain rerun did not resume"; }

O=$T/out
grep -q "prep/masked.fa.* -l" "$O"/chain1/report.txt || fail "the chains did not read the masked input with -l"
verdict=$(tail -n 1 "$O/chains_summary.txt")
case $verdict in converged:*) ;; *) fail "the planted motifs did not converge: $verdict" ;; esac
[ "$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["verdict"])' "$O/chains_summary.json")" = "$verdict" ] ||
  fail "JSON and text verdicts differ"
[ "$(grep -c '^Serevan (beta' "$O/consensus.txt")" = 1 ] || fail "the consensus is not one report"
# Every MEME motif of the consensus has as many sites as the consensus lists for it.
awk '/^Motif[0-9]+:/ {k++} /^>[0-9]/ {n[k]++} END {for (i = 1; i <= k; i++) print n[i]}' "$O/consensus.txt" > "$T/kept"
grep -o 'nsites= [0-9]*' "$O/export/denovo.meme" | cut -d' ' -f2 | diff - "$T/kept" >/dev/null ||
  fail "MEME nsites differ from the consensus's sites"
grep -q 'id="ready"' "$O/denovo.html" || fail "no HTML report of the consensus"
grep -q 'id="ready"' "$O/genome_scan.html" || fail "no HTML report of the genome scan"
[ "$(cut -f1 "$O/genome_scan/shards.tsv" | tr '\n' ' ')" = "first 0 3 6 " ] || fail "shards: $(cat "$O/genome_scan/shards.tsv")"
same_as_one_run "$O" out
grep -q "	module	" "$O/export/genome_scan.records.bed" || fail "no module in the scan's BED"

# By hand: one -P -x run per alignment, ranked by score.
printf 'file\tfirst_row\tscore\n' > "$T/expected.tsv"
for a in "$T"/a*_aln.fa; do
  "$SEREVAN" -i "$a" -N 3 -K 3 -P "$SRC/examples/demo_param.txt" -x -o "$T/hand.txt" >/dev/null 2>&1
  printf '%s\t%s\n' "$a" "$(tail -n 1 "$T/hand.txt" | cut -c2-)"
  rm -f "$T/hand.txt"
done | sort -t "$(printf '\t')" -k3,3gr >> "$T/expected.tsv"
[ "$(wc -l < "$T/expected.tsv")" = 5 ] || fail "expected four scored alignments"
diff "$T/expected.tsv" "$O/scan_ranked.tsv" || fail "the ranked table differs from the runs by hand"

# ---- 2. A genome alignment: the MAF configuration, with a genome scan of two JASPAR motifs.
# The configuration carries the README's recommended options; this run replaces the per-group
# background and the prior (with them the kept chain calls only a handful of modules in this piece,
# which holds no planted module), so that the exports below have sites whose coordinates can
# be checked.
RECOMMENDED="-c -g 3 -e 100 -y 3 -q 0.005 -a 10,12 -C 16 -t 2 -D -j 24 -E -d 0.1"
grep -q "^options: \"$RECOMMENDED\"$" "$SRC/workflow/maf.yaml" || fail "maf.yaml does not hold $RECOMMENDED"
grep -q -- "-K 3 $RECOMMENDED -n 200" "$SRC/README.md" || fail "the README does not recommend $RECOMMENDED"
snake --configfile "$SRC/workflow/maf.yaml" --config serevan="$SEREVAN" tools="$TOOLS" \
  maf="$SRC/examples/chr22_piece.maf" iterations=200 options="-c -g 3 -C 4 -t 2 -D -j 24" genome_scan_motifs="$SRC/tools/data/jaspar_vertebrates.jaspar" \
  genome_scan_select=MA0004.1,MA0030.1 genome_scan_iterations=40 shards=5 >"$T/maf.log" 2>&1 ||
  { cat "$T/maf.log"; fail "the MAF configuration failed"; }
M=$T/maf_out
[ "$(ls "$M"/chain*/report.txt | wc -l)" = 1 ] || fail "expected one chain job"
grep -q " -c -g 3 -C 4 -t 2 -D -j 24 " "$M/chain1/report.txt" || fail "the job did not run -c -g 3 -C 4 -t 2 -D -j 24"
head -n 1 "$M/chains_summary.txt" | grep -q "^Chains: 4; the best (the one the program kept)" ||
  fail "the summary does not compare the four chains against the kept one: $(head -n 1 "$M/chains_summary.txt")"
for f in "" motif1.txt motif2.txt motif3.txt module.txt _Pm.txt; do
  cmp -s "$M/chain1/report.txt$f" "$M/best.txt$f" || fail "best.txt$f is not the kept chain's report$f"
done
for s in hg17 mm5 rn3; do
  for f in bed gff3; do [ -e "$M/export/denovo.$s.$f" ] && [ -e "$M/export/genome_scan.$s.$f" ] || fail "no $f of $s"; done
done
awk '$1 != "chr22" || $2 < 14500000 || $3 > 15500000 {exit 1}' "$M/export/denovo.hg17.bed" ||
  fail "hg17 sites outside chr22:14,500,000-15,500,000"
[ -s "$M/export/denovo.hg17.bed" ] && ! grep -q chr22 "$M/export/denovo.mm5.bed" || fail "mouse BED in human coordinates"
head -n 1 "$M/export/denovo.rn3.gff3" | grep -q '^##gff-version 3' || fail "GFF3 header missing"
grep -q 'MOTIF' "$M/export/denovo.meme" && grep -q '^>' "$M/export/denovo.jaspar" || fail "no MEME or JASPAR motif"
grep -q 'class="found-by">found by [0-9] of 4<' "$M/denovo.html" && grep -q '>chr22:1[45][0-9]*-' "$M/denovo.html" ||
  fail "the page lacks chain counts or genome positions"
same_as_one_run "$M" maf_out
echo "workflow_test: $verdict; resumed after an interrupt; merged scan as one run; ranked table as by hand;" \
  "MAF: $(tail -n 1 "$M/chains_summary.txt")"
