#!/bin/bash
# usage: run.sh SETTING SEED TAG [serevan options...]; data in /tmp/bench/data/SETTING_SEED
set -u
setting=$1; seed=$2; tag=$3; shift 3
B=/tmp/bench/bin/Serevan; EV=/tmp/bench/bin/serevan-eval
d=/tmp/bench/data/${setting}_$seed; out=/tmp/bench/out/$setting/$tag; mkdir -p $out
rm -f $out/$seed.txt*
start=$(date +%s.%N)
$B -i $d/s.fa -N 3 -K 3 -S $seed -o $out/$seed.txt "$@" > /dev/null 2>&1
end=$(date +%s.%N)
$EV --sim $d/s --report $out/$seed.txt --json > $out/$seed.json 2>&1
python3 -c "import json,sys; j=json.load(open('$out/$seed.json')); print(json.dumps({'setting':'$setting','seed':$seed,'config':'$tag','time':$end-$start,'site_f1':j['sites']['f1'],'motif_corr':j['mean_motif_correlation'],'module_f1':j['modules']['f1']}))" >> /tmp/bench/results.jsonl
