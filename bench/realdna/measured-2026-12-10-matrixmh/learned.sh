#!/bin/bash
# One chain started from a set's planted matrices that then learns them (trial build of
# trial_matrix_mh.patch: SEREVAN_LEARNA=1), with the trial's switches given as environment
# assignments, scored by serevan-eval (site F1 nt, average log-likelihood, PPV, sensitivity,
# each planted motif's best correlation with a found one).
#
#     learned.sh SEED TAG [NAME=VALUE ...]
#
# Sets in $SETS1/atrich/seedS or $SETS2/atrich/seedS (realdna_bench.py output folders), the
# trial program in $TRIAL, serevan-eval in $BUILD/tools.
s=$1; tag=$2; shift 2
BUILD=${BUILD:-/work/main/build}; TRIAL=${TRIAL:-/tmp/trialbuild/Serevan}
d=${SETS1:-/tmp/fin}/atrich/seed$s; [ -d "$d" ] || d=${SETS2:-/tmp/fin2}/atrich/seed$s
o=${OUT:-/tmp/refine/out}/seed$s; mkdir -p "$o"; rm -f "$o/$tag.txt"*
env SEREVAN_LEARNA=1 "$@" "$TRIAL" -i "$d/data.fa" -N 3 -K 3 -S 1 -o "$o/$tag.txt" -A "$d/data_motifs.txt" \
    -W 15 -c -g 3 -e 100 -y 3 -q 0.005 -n 200 > "$o/$tag.log" 2>&1
f=$("$BUILD/tools/serevan-eval" --truth "$d/data_truth.tsv" --motifs "$d/data_motifs.txt" --report "$o/$tag.txt" --json |
    python3 -c "
import json,sys; j=json.load(sys.stdin); pm=j.get('motifs') or j.get('per_motif') or []
print(j['site_bases']['f1'], j['report']['average_likelihood'], j['site_bases']['ppv'], j['site_bases']['sensitivity'],
      ' '.join('%.2f'%(m.get('correlation',m.get('corr',-1))) for m in pm) if isinstance(pm,list) else '')")
echo "$s $tag $f"
