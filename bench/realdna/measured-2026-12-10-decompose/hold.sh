#!/bin/bash
# One chain of the command's model settings with the matrices of MOTFILE held (-A), scored
# by serevan-eval (site F1 at the nucleotide level); prints "SEED TAG F1".
#
#     hold.sh SEED TAG MOTFILE
#
# Sets in $SETS/seedSEED (a realdna_bench.py atrich folder, default /tmp/fin/atrich), runs
# in $OUT/seedSEED (default /tmp/ts/out), the program and tools in $BUILD (default build/).
s=$1; tag=$2; mot=$3
here=$(cd "$(dirname "$0")" && pwd)
B=${BUILD:-$here/../../../build}
d=${SETS:-/tmp/fin/atrich}/seed$s; o=${OUT:-/tmp/ts/out}/seed$s; mkdir -p "$o"
K=$(head -1 "$mot"); rm -f "$o/$tag.txt"*
"$B/Serevan" -i "$d/data.fa" -N 3 -K "$K" -S 1 -o "$o/$tag.txt" -A "$mot" \
    -c -g 3 -e 100 -y 3 -q 0.005 -n 200 > "$o/$tag.log" 2>&1
f=$("$B/tools/serevan-eval" --truth "$d/data_truth.tsv" --report "$o/$tag.txt" --json |
    python3 -c "import json,sys; print(json.load(sys.stdin)['site_bases']['f1'])")
echo "$s $tag $f"
