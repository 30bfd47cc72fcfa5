#!/bin/bash
# One chain with the matrices of one set held (-A), scored by serevan-eval (site F1, nt).
#
#     held.sh SEED SOURCE TAG [REFINE ARGUMENTS]
#
# SOURCE found: the kept chain's report matrices of the set's landed -E run (E.txt, +0.02 as
# in ../measured-2026-12-09-heldchain/fromreport.py); planted: the planted matrices. TAG
# "found" or "planted" holds them as they are; any other TAG holds refine(SOURCE) run with
# the given arguments. Sets in $SETS1/atrich/seedS or $SETS2/atrich/seedS (realdna_bench.py
# output folders), the program and tools in $BUILD, refine built beside this script.
s=$1; src=$2; tag=$3; shift 3
here=$(cd "$(dirname "$0")" && pwd)
BUILD=${BUILD:-/work/main/build}
d=${SETS1:-/tmp/fin}/atrich/seed$s; [ -d "$d" ] || d=${SETS2:-/tmp/fin2}/atrich/seed$s
o=${OUT:-/tmp/refine/out}/seed$s; mkdir -p "$o"
if [ "$src" = found ]; then
    python3 "$here/../measured-2026-12-09-heldchain/fromreport.py" "$d/E.txt" "$o/found.txt"
    from=$o/found.txt
else
    from=$d/data_motifs.txt
fi
if [ "$tag" = found ] || [ "$tag" = planted ]; then cp "$from" "$o/$tag.mot"
else "$here/refine" "$d/data.fa" "$from" "$o/$tag.mot" "$@" 2>"$o/$tag.rlog"; fi
K=$(head -1 "$o/$tag.mot")
[ "$K" -gt 0 ] 2>/dev/null || { echo "$s $tag -"; exit 0; }
rm -f "$o/$tag.txt"*
"$BUILD/Serevan" -i "$d/data.fa" -N 3 -K "$K" -S 1 -o "$o/$tag.txt" -A "$o/$tag.mot" \
    -c -g 3 -e 100 -y 3 -q 0.005 -n 200 > "$o/$tag.log" 2>&1
f=$("$BUILD/tools/serevan-eval" --truth "$d/data_truth.tsv" --report "$o/$tag.txt" --json |
    python3 -c "import json,sys; print(json.load(sys.stdin)['site_bases']['f1'])")
echo "$s $tag $f"
