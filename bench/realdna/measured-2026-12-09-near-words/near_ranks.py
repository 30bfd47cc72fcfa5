"""Rank of the first TBP-like word when words are counted only near the planted Foxa2 and Lhx3 sites.

usage: MODE=truth|none [K=7] [FL=60] [D=0|1] python3 near_ranks.py   (sets in /tmp/fin, /tmp/fin2:
session paths). MODE=truth: windows of FL bases around the planted sites of motifs 1 and 2,
those sites left out; none: whole sequences. A word counts in a group when at least two
species' windows hold it (either strand); score -ln P(X >= groups), X Poisson with the
expectation from the word's rate over all sequences. A TBP word: one found in at least
max(3, sites/4) planted TBP sites. D=1 adds words with one W/S position (not used).
"""
import sys, os, collections, math, itertools
G=30; N=3
K=int(os.environ.get('K','7')); FL=int(os.environ.get('FL','60'))
MODE=os.environ.get('MODE','truth')   # truth: windows around true motif-1/2 sites; none: whole seqs
comp=str.maketrans('ACGT','TGCA')
def canon(w): r=w.translate(comp)[::-1]; return min(w,r)
def load(d):
    seqs={}; name=None
    for l in open(d+'/data.fa'):
        l=l.strip()
        if l.startswith('>'):
            g,sp=l[1:].split('_'); name=(int(sp[2:]),int(g[1:])); seqs[name]=[]
        else: seqs[name].append(l.upper())
    return {k:''.join(v) for k,v in seqs.items()}
def truth(d):
    s=[]
    for l in open(d+'/data_truth.tsv'):
        f=l.split('\t')
        if f[0]=='site': s.append(tuple(map(int,f[1:6])))
    return s
D=int(os.environ.get('D','0'))
IU={'A':'W','T':'W','C':'S','G':'S'}
def degen(w):
    out={canon(w)}
    if D>=1:
        for i in range(1,len(w)-1):
            v=w[:i]+IU.get(w[i],'N')+w[i+1:]; out.add(canon2(v))
    return out
ct=str.maketrans('ACGTWS','TGCAWS')
def canon2(w): r=w.translate(ct)[::-1]; return min(w,r)
def rate(w,tot,L):
    # degenerate rate: sum over expansions
    import itertools
    opts=[{'W':'AT','S':'CG'}.get(c,c) for c in w]
    return sum(tot[canon(''.join(x))] for x in itertools.product(*opts))/L
def run(d):
    seqs=load(d); tr=truth(d)
    # background word rate over all sequence
    tot=collections.Counter(); L=0
    for s in seqs.values():
        for i in range(len(s)-K+1): tot[canon(s[i:i+K])]+=1
        L+=len(s)-K+1
    win=collections.defaultdict(list)
    if MODE=='truth':
        for sp,g,a,b,m in tr:
            if m in (1,2): win[(sp,g)].append((max(0,a-FL),b+FL))
    else:
        for k,s in seqs.items(): win[k].append((0,len(s)))
    # words per species per group inside windows
    occ=collections.defaultdict(lambda: collections.defaultdict(set))
    wlen={}
    for (sp,g),ws in win.items():
        s=seqs[(sp,g)]; cov=set()
        for a,b in ws:
            for i in range(a,min(b,len(s))-K+1): cov.add(i)
        wlen[(sp,g)]=len(cov)
        held=[(a,b) for sp2,g2,a,b,m in tr if sp2==sp and g2==g and m in (1,2)]
        cov={i for i in cov if not any(i<=b and i+K-1>=a for a,b in held)}
        wlen[(sp,g)]=len(cov)
        for i in cov:
            for v in degen(s[i:i+K]): occ[v][g].add(sp)
    res=[]
    for w,gs in occ.items():
        if 'N' in w: continue
        p=rate(w,tot,L)
        obs=sum(1 for g in gs if len(gs[g])>=2)
        exp=0.
        for g in range(G):
            q=[1-math.exp(-p*wlen.get((sp,g),0)) for sp in range(N)]
            # P(>=2 of 3)
            exp+=q[0]*q[1]+q[0]*q[2]+q[1]*q[2]-2*q[0]*q[1]*q[2]
        if obs<3: continue
        lp=-exp+obs*math.log(exp+1e-12)-math.lgamma(obs+1)
        res.append((-lp,w,obs,exp))
    res.sort(reverse=True)
    # which words lie in TBP sites
    tbp=collections.Counter()
    for sp,g,a,b,m in tr:
        if m==3:
            s=seqs[(sp,g)]
            for i in range(a,b-K+2):
                for v in degen(s[i:i+K]): tbp[v]+=1
    return res,tbp
for seed in range(1,21):
    d='/tmp/fin/atrich/seed%d'%seed
    if not os.path.isdir(d): d='/tmp/fin2/atrich/seed%d'%seed
    res,tbp=run(d)
    nsite=sum(1 for _ in open(d+'/data_truth.tsv') if _.startswith('site') and _.split('\t')[5]=='3')
    first=[(i,w,o,round(e,1)) for i,(z,w,o,e) in enumerate(res[:200]) if tbp[w]>=max(3,nsite//4)]
    print(seed,'top',[(w,o,round(e,1)) for z,w,o,e in res[:3]],'tbp-first',first[:2])
