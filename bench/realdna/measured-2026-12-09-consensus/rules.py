#!/usr/bin/env python3
"""Site F1 of the chain each of several keeping rules would keep, read off a -C run's chains
(their F1 from ../measured-2026-12-08-average/perchain.py, their table from <run>chains.tsv),
paired against the rule the program uses.

    python3 rules.py BENCH_OUT SETTING CONFIG PERCHAIN_OUTPUT
"""
import re,statistics as st,sys,os
out,setting,config,pc=sys.argv[1:5]
G={'atrich':30,'sparse':30,'atlong':20}[setting]
need=max(3,(G+3)//4)
res={}
for l in open(pc):
    f=l.split(); seed=int(f[2])
    f1=[float(re.match(r'([\d.]+)',c).group(1)) for c in f[3:]]
    rows=[x.split('\t') for x in open(f'{out}/{setting}/seed{seed}/{config}.txtchains.tsv').read().split('\n')[1:] if x]
    ch=[]
    for r,v in zip(rows,f1):
        groups=[int(x) for x in r[8].split(',')]
        ch.append(dict(f1=v,lik=float(r[2]),post=float(r[3]),kept=r[4]=='yes',sup=float(r[7]),groups=groups,
                       spread=sum(g>=need for g in groups), nmot=sum(m!='-' for m in r[5].split(','))))
    res[seed]=ch
def pick(ch,key): return max(range(len(ch)),key=lambda i:key(ch[i]))
rules={
 'kept':lambda c:(c['kept'],),
 'best':lambda c:(c['f1'],),
 'post':lambda c:(c['post'],),
 'lik':lambda c:(c['lik'],),
 'sup':lambda c:(c['sup'],),
 'spread,sup':lambda c:(c['spread'],c['sup']),
 'spread,lik':lambda c:(c['spread'],c['lik']),
 'sumgroupscap':lambda c:(sum(min(g,need) for g in c['groups']),c['post']),
 'spread,sumgroups':lambda c:(c['spread'],sum(c['groups']),c['post']),
 'sumgroups':lambda c:(sum(c['groups']),c['post']),
}
out={}
for name,k in rules.items():
    v=[res[s][pick(res[s],k)]['f1'] for s in sorted(res)]
    out[name]=v
base=out['kept']
for name,v in out.items():
    d=[a-b for a,b in zip(v,base)]
    se=st.stdev(d)/len(d)**.5 if len(d)>1 else 0
    print(f'{setting} {config} {name:18s} {st.mean(v):.3f}  diff {st.mean(d):+.3f} ({se:.3f})')
