#!/bin/sh
# The baseline grid: for each seed, the AT-rich families and the human sparse one; eight chains of
# -c -g 3 (the first is the one-chain row), the -F ceiling and the true matrices fixed under -g 3.
#   sh run_all.sh OUT [BUILD] [FIRST_SEED] [LAST_SEED]      (resumes: finished runs are skipped)
set -e
OUT=${1:?usage: run_all.sh OUT [BUILD] [FIRST_SEED] [LAST_SEED]}
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=${2:-$HERE/../../../build}
for seed in $(seq "${3:-1}" "${4:-10}"); do
    nice -n 10 python3 "$HERE/../realdna_bench.py" run --settings atrich,atlong,sparse --first-seed "$seed" \
        --seeds 1 -n 1000 --jobs 2 --config "g3x8:-c -g 3 --chains 8" --truth-options "-c -g 3" \
        --baseline g3x8.c0 --build "$BUILD" --out "$OUT" > /dev/null
done
python3 "$HERE/../realdna_bench.py" table --out "$OUT" --baseline g3x8.c0
