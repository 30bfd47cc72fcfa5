#!/bin/bash
# One run started from the planted matrices, which are then sampled like learned ones:
#   DIAG_BIN=... EVAL_BIN=... SETS=... planted_start.sh NAME SEED OPTIONS...
# DIAG_BIN is a trial build in which the environment variable SEREVAN_UNFIX makes the -A
# matrices starting values (app/Drivers.cpp: nKnownMotifNum = getenv("SEREVAN_UNFIX") ? 0 : M);
# SETS holds atrich/seedS/ from realdna_bench.py. Appends "NAME seed S: F1nt F1site ..." to
# results.txt beside the runs.
name=$1; seed=$2; shift 2
d=$SETS/atrich/seed$seed
out=$PWD/s$seed.$name.txt
rm -f "$out"*
(cd "$d" && SEREVAN_UNFIX=1 "$DIAG_BIN" -i data.fa -N 3 -K 3 -S 1 -o "$out" -A data_motifs.txt -n 1000 "$@" > "$out.log" 2>&1)
f1=$("$EVAL_BIN" --sim "$d/data" --report "$out" --json |
     python3 -c "import json,sys; j=json.load(sys.stdin); print(j['site_bases']['f1'], j['sites']['f1'])" 2>/dev/null)
echo "$name seed $seed: $f1 $(grep -h Spread "$out.info") $(grep -h 'Average likelihood' "$out" | tail -1)" >> results.txt
