#!/bin/sh
# One short run of every mode under valgrind memcheck: any invalid access or definitely lost
# block fails it. Usage: tests/memcheck.sh [BUILD_DIR]  (default build-memcheck)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-memcheck}
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEREVAN_BENCH=OFF > /dev/null
cmake --build "$BUILD" -j 2 --target Serevan
EX=$ROOT/examples
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
VG="valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite"
status=0
check() {
  name=$1; shift
  if (cd "$OUT" && $VG "$BUILD/Serevan" "$@" > "$name.log" 2>&1); then
    echo "clean   $name"
  else
    echo "FAILED  $name (see below)"; cat "$OUT/$name.log"; status=1
  fi
}
check denovo -i "$EX/demo.fa" -N 3 -K 2 -n 10 -S 1 -o denovo.txt
check repeat -i "$EX/demo.fa" -N 3 -K 1 -n 4 -m 2 -c -S 2 -o repeat.txt
check ascan -i "$EX/demo_aln.fa" -N 3 -K 3 -P "$EX/demo_param.txt" -S 1 -o ascan.txt
check ascanx -i "$EX/demo_aln.fa" -N 3 -K 3 -P "$EX/demo_param.txt" -x -S 1 -o ascanx.txt
check fscan -i "$EX/demo.fa" -N 3 -K 3 -F -A "$EX/demo_motifs_sites.txt" -n 20 -S 1 -o fscan.txt
check select -i "$EX/demo.fa" -N 3 -K 3 -A "$EX/demo_motifs.txt" -B "$EX/demo_candidates.txt" -T 8 -q 0.01 -S 1 -o select.txt
exit $status
