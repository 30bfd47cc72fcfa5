#!/bin/bash
SIM=/work/wt-simtmp/build/tools/serevan-sim; R=/work/wt-simtmp/bench/realdna
for seed in $(seq 1 10); do
  d=/tmp/bench/data/sparse_$seed; mkdir -p $d
  $SIM --out $d/s --seed $seed --species 3 --groups 30 --length 1500 --module-fraction 0.5 --sites 1 --loss 0.2 --background $R/human_chr22_upper.fa --quiet
  d=/tmp/bench/data/masked_$seed; mkdir -p $d
  $SIM --out $d/s --seed $seed --species 3 --groups 30 --length 1500 --module-fraction 0.5 --sites 1 --loss 0.2 --background $R/human_chr22_softmasked.fa --keep-case --quiet
  d=/tmp/bench/data/dense_$seed; mkdir -p $d
  $SIM --out $d/s --seed $seed --species 3 --groups 20 --length 800 --module-fraction 0.75 --sites 2 --quiet
done
