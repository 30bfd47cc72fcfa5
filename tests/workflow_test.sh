#!/bin/sh
# The Snakemake workflow end to end on the example: four short chains on the soft-masked input
# (the example has no low-complexity stretch), their agreement and consensus, and aligned
# scans of four alignments whose ranked table must equal the scores of running each alignment
# by hand.  Usage: workflow_test.sh SEREVAN TOOLS_DIR SOURCE_DIR
set -eu
SEREVAN=$1 TOOLS=$2 SRC=$3
command -v snakemake >/dev/null 2>&1 || { echo "snakemake is not installed: skipped"; exit 77; }
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail() { echo "workflow_test: $*" >&2; exit 1; }

# The true alignments of groups 0..3 of the example (serevan-sim with the example's seed).
for g in 0 1 2 3; do "$TOOLS/serevan-sim" --out "$T/a$g" --seed 2007 --align-group $g >/dev/null; done
cmp -s "$T/a0_aln.fa" "$SRC/examples/demo_aln.fa" || fail "serevan-sim no longer makes the example"
cat > "$T/config.yaml" <<EOF
serevan: $SEREVAN
tools: $TOOLS
outdir: out
input: $SRC/examples/demo.fa
iterations: 100
chains: 4
mask: true
scan_alignments: ["$T/a*_aln.fa"]
scan_param: $SRC/examples/demo_param.txt
EOF
snakemake -q -s "$SRC/workflow/Snakefile" -d "$T" --configfile "$T/config.yaml" --cores 2 \
  >"$T/snakemake.log" 2>&1 || { cat "$T/snakemake.log"; fail "snakemake failed"; }

O=$T/out
grep -q "input_masked.fa.* -l" "$O"/chain1/report.txt || fail "the chains did not read the masked input with -l"
verdict=$(tail -n 1 "$O/chains_summary.txt")
case $verdict in converged:*) ;; *) fail "the planted motifs did not converge: $verdict" ;; esac
[ "$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["verdict"])' "$O/chains_summary.json")" = "$verdict" ] ||
  fail "JSON and text verdicts differ"
[ "$(grep -c '^Serevan (beta' "$O/consensus.txt")" = 1 ] || fail "the consensus is not one report"
"$TOOLS/serevan-export" motifs "$O/consensus.txt" --format meme -o "$T/consensus.meme" || fail "export refused the consensus"
grep -q 'id="ready"' "$O/consensus.html" || fail "no HTML report of the consensus"

# By hand: one -P -x run per alignment, ranked by score.
printf 'file\tfirst_row\tscore\n' > "$T/expected.tsv"
for a in "$T"/a*_aln.fa; do
  "$SEREVAN" -i "$a" -N 3 -K 3 -P "$SRC/examples/demo_param.txt" -x -o "$T/hand.txt" >/dev/null
  printf '%s\t%s\n' "$a" "$(tail -n 1 "$T/hand.txt" | cut -c2-)"
  rm -f "$T/hand.txt"
done | sort -t "$(printf '\t')" -k3,3gr >> "$T/expected.tsv"
[ "$(wc -l < "$T/expected.tsv")" = 5 ] || fail "expected four scored alignments"
diff "$T/expected.tsv" "$O/scan_ranked.tsv" || fail "the ranked table differs from the runs by hand"
echo "workflow_test: $verdict; ranked table of 4 alignments as by hand"
