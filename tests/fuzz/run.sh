#!/bin/sh
# Runs every fuzz target of BUILD for SECONDS each (default 60), two at a time, and fails when any target
# finds a crash, leak, timeout or failed check:  tests/fuzz/run.sh build-fuzz 20 [target...]
# Each target's corpus lives in BUILD/corpus/NAME, seeded from examples/, tests/data/ and the
# inputs kept in tests/fuzz/corpus/NAME (earlier findings, small hand-made seeds).
set -eu
BUILD=$(realpath "$1")
SECONDS_EACH=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
SRC=$(cd "$(dirname "$0")/../.." && pwd)
EX=$SRC/examples
TARGETS=${*:-"seqfile alignment motiffile paramfile args report maf fastagroups jaspar meme transfac bgfile"}

seed() {  # seed NAME FILE...: copies the files into the corpus
  mkdir -p "$BUILD/corpus/$1"
  name=$1
  shift
  for f in "$@"; do cp "$f" "$BUILD/corpus/$name/seed_$(basename "$f")"; done
}
seed seqfile "$EX/demo.fa" "$EX/demo_aln.fa"
seed alignment "$EX/demo_aln.fa"
seed motiffile "$EX/demo_motifs.txt" "$EX/demo_motifs_sites.txt" "$EX/demo_candidates.txt" \
  "$SRC/tests/data/jaspar_sample.jaspar"
seed paramfile "$EX/demo_param.txt"
seed maf "$EX/chr22_piece.maf"
seed jaspar "$SRC/tests/data/jaspar_sample.jaspar"
seed bgfile "$SRC/tests/data/yeast_order2.freq"
# One group of the example, three species, for the per-group FASTA matcher.
mkdir -p "$BUILD/corpus/fastagroups"
awk '/^>/ { keep = ($0 ~ /^>g0_/) } keep' "$EX/demo.fa" > "$BUILD/corpus/fastagroups/seed_g0.fa"
# The example runs' command lines, one argument a line.
mkdir -p "$BUILD/corpus/args"
printf -- '-i\nin.fa\n-N\n3\n-K\n3\n-n\n200\n-S\n1\n-o\nout.txt\n' > "$BUILD/corpus/args/seed_denovo"
printf -- '-i\naln.fa\n-N\n3\n-K\n3\n-P\np.txt\n-x\n-w\n15\n' > "$BUILD/corpus/args/seed_ascan"
printf -- '-i\nin.fa\n-N\n3\n-F\n-A\nm.txt\n-L\n200\n-n\n200\n-m\n2\n' > "$BUILD/corpus/args/seed_fscan"
printf -- '-i\nin.fa\n-N\n3\n-A\nm.txt\n-B\nc.txt\n-T\n8\n-q\n0.01\n-c\n-s\n-r\n0\n' > "$BUILD/corpus/args/seed_select"
printf -- '-i\nin.fa\n-N\n3\n-c\n-g\n3\n-q\n0.005\n-a\n10,12\n-C\n4\n-D\n-j\n24\n' > "$BUILD/corpus/args/seed_chains"
# A report of a short run of the program (two runs into one file); small MEME and TRANSFAC files.
mkdir -p "$BUILD/corpus/report" "$BUILD/seedrun"
if [ ! -s "$BUILD/corpus/report/seed_report.txt" ]; then
  (cd "$BUILD/seedrun" && "$BUILD/Serevan" -i "$EX/demo.fa" -N 3 -K 2 -n 10 -m 2 -S 1 -o report.txt >/dev/null 2>&1 &&
    cp report.txt "$BUILD/corpus/report/seed_report.txt")
fi
mkdir -p "$BUILD/corpus/meme" "$BUILD/corpus/transfac"
printf 'MEME version 4\n\nALPHABET= ACGT\n\nstrands: + -\n\nBackground letter frequencies\nA 0.25 C 0.25 G 0.25 T 0.25\n\nMOTIF MA0004.1 Arnt\nletter-probability matrix: alength= 4 w= 3 nsites= 20 E= 0\n 0.200000 0.800000 0.000000 0.000000\n 0.950000 0.000000 0.050000 0.000000\n 0.000000 0.000000 1.000000 0.000000\n\nMOTIF TBP\nletter-probability matrix: alength= 4 w= 2\n 0.25 0.25 0.25 0.25\n 0.1 0.2 0.3 0.4\n' > "$BUILD/corpus/meme/seed_sample"
printf 'AC  MA0004.1\nXX\nID  Arnt\nXX\nP0      A      C      G      T\n01      4     16      0      0\n02     19      0      1      0\n03      0      0     20      0\nXX\n//\nAC  M2\nXX\nP0 A C G T\n01 0.1 0.2 0.3 0.4\nXX\n//\n' > "$BUILD/corpus/transfac/seed_sample"
for t in $TARGETS; do
  [ -d "$SRC/tests/fuzz/corpus/$t" ] && cp "$SRC/tests/fuzz/corpus/$t"/* "$BUILD/corpus/$t/" 2>/dev/null || true
done

# Two targets at a time (the machines have two cores).
mkdir -p "$BUILD/artifacts"
rm -f "$BUILD/fuzz_failed"
run_one() {
  "$BUILD/fuzz_$1" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$1-" "$BUILD/corpus/$1" > "$BUILD/fuzz_$1.log" 2>&1 ||
    echo "$1" >> "$BUILD/fuzz_failed"
}
set -- $TARGETS
while [ $# -gt 0 ]; do
  echo "== fuzz_$1${2:+ and fuzz_$2} for ${SECONDS_EACH}s"
  run_one "$1" &
  if [ $# -gt 1 ]; then
    run_one "$2" &
    shift
  fi
  shift
  wait
done
for t in $TARGETS; do
  printf '%-12s %s\n' "$t" "$(grep -E '^#[0-9]+' "$BUILD/fuzz_$t.log" | tail -1 | awk '{print $1, $3, $4, $5, $6}')"
done
if [ -s "$BUILD/fuzz_failed" ]; then
  for t in $(cat "$BUILD/fuzz_failed"); do tail -40 "$BUILD/fuzz_$t.log"; done
  echo "fuzz findings in: $(tr '\n' ' ' < "$BUILD/fuzz_failed")(inputs in $BUILD/artifacts)"
  exit 1
fi
echo "fuzz: no findings"
