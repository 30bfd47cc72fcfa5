import sys, collections, statistics
rows=collections.defaultdict(list)
for l in open(sys.argv[1]).read().split('\n')[1:]:
    if not l: continue
    f=l.split('\t'); rows[int(f[0])].append(f)
need=8
def spread(f): return sum(int(x)>=need for x in f[6].split(','))
def rule(name, key, pool):
    v=[]
    for s in sorted(rows):
        cand=[f for f in rows[s] if pool(f)]
        best=max(cand,key=key); v.append(float(best[7]))
    print(f"{name:30s} {statistics.mean(v):.3f}", ' '.join('%.2f'%x for x in v))
    return v
allc=lambda f: True; efam=lambda f:int(f[1])>=16
rule('kept as run', lambda f: f[4]=='yes', allc)
rule('spread,post all', lambda f:(spread(f),float(f[3])), allc)
rule('spread,lik all', lambda f:(spread(f),float(f[2])), allc)
rule('spread,lik efam', lambda f:(spread(f),float(f[2])), efam)
rule('lik efam', lambda f:float(f[2]), efam)
rule('oracle efam', lambda f:float(f[7]), efam)
rule('oracle all', lambda f:float(f[7]), allc)
rule('chain16', lambda f:int(f[1])==16, allc)
