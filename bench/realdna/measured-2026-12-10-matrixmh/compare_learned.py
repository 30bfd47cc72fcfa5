#!/usr/bin/env python3
"""Paired comparison of learned.sh result files against the held planted matrices (tag held):
mean site F1 (nt), paired difference (se), mean log-likelihood difference.

    python3 compare_learned.py FILE ...
"""
import collections,statistics as st,sys
d=collections.defaultdict(dict)
for f in sys.argv[1:]:
    for l in open(f):
        p=l.split()
        if len(p)>=4 and p[2]!='None': d[p[1]][p[0]]=(float(p[2]),float(p[3]))
        elif len(p)>=3: d[p[1]][p[0]]=(0.0,float('nan'))
for t in d:
    ks=[k for k in d['held'] if k in d[t]]
    diff=[d[t][k][0]-d['held'][k][0] for k in ks]
    ll=[d[t][k][1]-d['held'][k][1] for k in ks]
    print(t,len(ks),'%.3f'%st.mean(d[t][k][0] for k in ks),'vs held %+.3f se %.3f'%(st.mean(diff),st.stdev(diff)/len(ks)**.5),'ll %+.1f'%st.mean(ll))
