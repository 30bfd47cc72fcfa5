"""Rank of the first conserved word on each planted motif's sites, per set.

usage: ranks.py VARIANT DUMPDIR SETS1,SETS2   (SETS*: folders holding atrich/seedN/data_truth.tsv;
DUMPDIR holds VARIANT_N.tsv written by the trial build's SEREVAN_DUMPWORDS). A word is on a
motif when at least 30 % of its sites overlap a planted site of that motif by more than half
the word; '-' when no word of the dump (the first 96) is.
"""
import sys, collections, os
G=30
DUMP=sys.argv[2]; SETS=sys.argv[3].split(',')
names={1:'Foxa2',2:'Lhx3',3:'TBP'}
def truth(seed):
    d=[os.path.join(x,'atrich','seed%d'%seed) for x in SETS if os.path.isdir(os.path.join(x,'atrich','seed%d'%seed))][0]
    sites=collections.defaultdict(list)
    for line in open(d+'/data_truth.tsv'):
        f=line.split('\t')
        if f[0]!='site': continue
        sp,g,a,b,m=map(int,f[1:6])
        sites[sp*G+g].append((a,b,m))
    return sites
def ranks(seed,var):
    tr=truth(seed); out={}
    for line in open(os.path.join(DUMP,'%s_%d.tsv'%(var,seed))):
        f=line.rstrip('\n').split('\t')
        r=int(f[0]); word=f[1]; w=len(word)
        ss=[tuple(map(int,x.split(':'))) for x in f[5].split(',') if x]
        cnt=collections.Counter()
        for slot,pos,fw in ss:
            for a,b,m in tr.get(slot,[]):
                ov=min(pos+w,b+1)-max(pos,a)
                if ov>=w//2+1: cnt[m]+=1
        for m,c in cnt.items():
            if c>=0.3*len(ss) and m not in out: out[m]=(r,word,len(ss))
    return out
var=sys.argv[1]; seeds=range(1,21)
print('seed\t'+'\t'.join(names.values()))
tot=collections.Counter()
for s in seeds:
    o=ranks(s,var)
    row=[]
    for m in (1,2,3):
        if m in o:
            row.append('%d %s'%(o[m][0],o[m][1]))
            for k in (3,10,25): tot[(m,k)]+= o[m][0]<k
        else: row.append('-')
    print(s,'\t'.join(row),sep='\t')
for m in (1,2,3): print(names[m],'within 3/10/25:',tot[(m,3)],tot[(m,10)],tot[(m,25)])
