"""Kept-chain rules on the -a 10,12 runs: the chain each rule keeps, scored (site F1, nucleotides).
R0 the program's (most motifs in a quarter of the groups, at least three; then the average
log-posterior), R1fifth a fifth instead, R2frac each motif counting min(groups / quarter, 1),
R3sum the groups per motif summed up to a quarter, post the log-posterior alone.

    python3 rules.py BENCH_OUT [SEREVAN_EVAL]
"""
import json,os,subprocess,sys,statistics as st
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'measured-2026-12-08-average'))
from perchain import reports
OUT, EVAL = sys.argv[1], (sys.argv[2] if len(sys.argv) > 2 else 'build/tools/serevan-eval')
cfg = 'q005a'
def rules(G):
    q=max(3,(G+3)//4); f=max(3,(G+4)//5)
    return {
     'R0':lambda r:(sum(n>=q for n in r['g']),r['post']),
     'R1fifth':lambda r:(sum(n>=f for n in r['g']),r['post']),
     'R2frac':lambda r:(round(sum(min(n/q,1) for n in r['g']),6),r['post']),
     'R3sum':lambda r:(sum(min(n,q) for n in r['g']),r['post']),
     'post':lambda r:(r['post'],),
    }
for fam,seeds in (('atrich',range(1,21)),('sparse',range(1,13)),('atlong',range(1,11)),('row1',range(1,6))):
    G={'atrich':30,'sparse':30,'atlong':20,'row1':20}[fam]
    res={k:[] for k in rules(G)}
    for seed in seeds:
        d=f'{OUT}/{fam}/seed{seed}'
        if not os.path.exists(f'{d}/{cfg}.txtchains.tsv'): continue
        t=[l.split('\t') for l in open(f'{d}/{cfg}.txtchains.tsv').read().split('\n')[1:] if l]
        rs=[]
        for c,text in enumerate(reports(f'{d}/{cfg}.txtchains.txt')):
            open('/tmp/cr.txt','w').write(text+'\n')
            r=subprocess.run([EVAL,'--sim',f'{d}/data','--report','/tmp/cr.txt','--json'],capture_output=True,text=True)
            f1=json.loads(r.stdout)['site_bases']['f1'] or 0.0
            rs.append({'g':[int(n) for n in t[c][8].split(',') if n.isdigit()],'post':float(t[c][3]),'f1':f1})
        for k,fn in rules(G).items():
            res[k].append(max(rs,key=fn)['f1'])
    print(fam,len(res['R0'])," ".join("%s=%.3f"%(k,st.mean(v)) for k,v in res.items()))
