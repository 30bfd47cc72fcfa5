import json,re,os,statistics as st
def avg(p):
    for l in open(p):
        m=re.match(r'Average likelihood=(\S+)',l)
        if m: return float(m.group(1))
def f1(j): 
    d=json.load(open(j)); return d['sites']['f1'] or 0
rows=[]
for s in range(1,11):
    chains=[]
    for cfg,x in (('g3',0),('g3_chain101',101),('g3_chain202',202)):
        p=f'/tmp/bench/out/sparse/{cfg}/{s}.txt'
        if os.path.exists(p) and os.path.exists(p[:-4]+'.json'): chains.append((avg(p),f1(p[:-4]+'.json'),cfg))
    if s in (3,4):
        for x in (101,202):
            p=f'/tmp/pilot/r{s}-{x}.txt'
            import subprocess
            out=subprocess.run(['/tmp/bench/bin/serevan-eval','--sim',f'/tmp/bench/data/sparse_{s}/s','--report',p,'--json'],capture_output=True,text=True).stdout
            chains.append((avg(p),json.loads(out)['sites']['f1'] or 0,f'chain{x}'))
    if len(chains)==3:
        best=max(chains)
        rows.append((s,best[1],[round(c[1],2) for c in chains],[round(c[0]) for c in chains]))
for r in rows: print(r)
print('best-of-3 by likelihood: n=%d mean F1 %.3f sd %.3f'%(len(rows),st.mean(r[1] for r in rows),st.pstdev(r[1] for r in rows)))
