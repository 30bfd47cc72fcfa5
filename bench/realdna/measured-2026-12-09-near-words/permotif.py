import json, subprocess, sys, statistics, os
ev="/work/main/build/tools/serevan-eval"
def ev_(d, rep):
    return json.loads(subprocess.run([ev,"--sim",d+"/data","--report",rep,"--json"],capture_output=True,text=True).stdout)
rows=[]
for sd in range(1,21):
    d=f"/tmp/fin/atrich/seed{sd}"
    if not os.path.isdir(d): d=f"/tmp/fin2/atrich/seed{sd}"
    a=ev_(d,f"/tmp/q/A{sd}.txt"); e=ev_(d,f"{d}/E.txt")
    row=[sd,a["site_bases"]["f1"] or 0,e["site_bases"]["f1"] or 0,a["site_bases"]["ppv"] or 0,e["site_bases"]["ppv"] or 0,a["site_bases"]["sensitivity"] or 0,e["site_bases"]["sensitivity"] or 0]
    for r in (a,e):
        pm={m["planted"]:m for m in r.get("motifs",[])}
        for k in (1,2,3):
            m=pm.get(k); row.append((m["sites"]["f1"] or 0) if m and m.get("sites") else 0)
    rows.append(row)
names=["seed","A_F1","E_F1","A_ppv","E_ppv","A_sens","E_sens","A_m1","A_m2","A_m3","E_m1","E_m2","E_m3"]
print("\t".join(names))
for r in rows: print("\t".join(str(r[0]) if i==0 else "%.2f"%x for i,x in enumerate(r)))
print("mean\t"+"\t".join("%.3f"%statistics.mean(r[i] for r in rows) for i in range(1,len(names))))
