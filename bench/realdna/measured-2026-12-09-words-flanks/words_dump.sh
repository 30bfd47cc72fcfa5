#!/bin/bash
# Dumps the first 96 conserved words of one atrich set with a trial build (session paths).
# usage: words_dump.sh SEED VARIANT   (VARIANT exact, mm or sp3)

seed=$1; var=$2
d=/tmp/fin/atrich/seed$seed; [ -d $d ] || d=/tmp/fin2/atrich/seed$seed
out=/tmp/wr/${var}_$seed.tsv
[ -s $out ] && exit 0
if [ $var = mm ]; then export SEREVAN_MM=1; fi
if [ $var = sp3 ]; then export SEREVAN_MINSP=3; fi
cd /tmp/wr && SEREVAN_DUMPWORDS=$out /tmp/trialbuild/Serevan -i $d/data.fa -N 3 -K 3 -S $seed -o /tmp/wr/tmp_${var}_$seed.txt -c -g 3 -e 100 -y 3 -q 0.005 -a 10,12 -C 16 -t 1 -D -j 24 -E -n 200 > /tmp/wr/log_${var}_$seed 2>&1
