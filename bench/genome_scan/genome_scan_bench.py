#!/usr/bin/env python3
"""A genome-wide known-motif scan (-F) as one process and as shards, measured.

    bench/genome_scan/genome_scan_bench.py [--build build] [--groups 5000] [--shards 10]
        [--jobs 2] [-n 1000] [--length 500] [--out DIR] [--nice 10]

Input: serevan-sim --groups G --length L --seed 1 (3 species, 3 planted motifs), scanned with
the planted matrices (-F -A sim_motifs_sites.txt -K 3 -N 3 -S 1 -n N). Every job runs under
/usr/bin/time -v (wall, user + system CPU, peak resident memory), niced:
  one process    -F -g 3            the run a user makes without shards (estimates its background)
  one process -G -F -G -g bg.freq   the one run the shards stand for (the merge must equal it)
  background     serevan-prep background sim.fa -k 3
  shard i        -F -G -g bg.freq -J a-b, the groups in --shards equal ranges, --jobs at a time
  merge          serevan-merge of the shards
  memory shards  two more shards of 1 % and 40 % of the groups, for peak memory against size
The merged files are compared byte for byte with those of the one -G process (the report's
command line aside). Results: DIR/jobs.tsv (one line per job) and DIR/summary.txt (overhead
ratio, memory per group, projection to 20,000 groups on 100 cores).
"""
import argparse
import filecmp
import os
import platform
import re
import subprocess
import sys
import time


def machine():
    cpu = "unknown cpu"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return f"{platform.node()}: {cpu}, {os.cpu_count()} cores"


def start(label, argv, work, nice):
    """Starts argv under /usr/bin/time -v; returns (label, process, time file)."""
    timing = os.path.join(work, f"time_{re.sub(r'[^A-Za-z0-9]+', '_', label)}.txt")
    cmd = ["nice", "-n", str(nice), "/usr/bin/time", "-v", "-o", timing] + argv
    with open(os.path.join(work, "commands.txt"), "a") as log:
        log.write(f"{label}\t{' '.join(argv)}\n")
    proc = subprocess.Popen(cmd, cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return label, proc, timing


def finish(job):
    label, proc, timing = job
    _, err = proc.communicate()
    if proc.returncode != 0:
        sys.exit(f"{label} failed ({proc.returncode}): {err.strip()}")
    fields = {}
    for line in open(timing):
        key, _, value = line.strip().rpartition(": ")
        fields[key] = value
    wall = fields["Elapsed (wall clock) time (h:mm:ss or m:ss)"].split(":")
    seconds = sum(float(x) * 60**i for i, x in enumerate(reversed(wall)))
    cpu = float(fields["User time (seconds)"]) + float(fields["System time (seconds)"])
    return {"job": label, "wall_s": seconds, "cpu_s": cpu, "peak_mb": int(fields["Maximum resident set size (kbytes)"]) / 1024}


def run_all(jobs, parallel, work, nice):
    """Runs (label, argv) jobs, `parallel` at a time; returns their measurements in order."""
    running, done = [], {}
    queue = list(jobs)
    while queue or running:
        while queue and len(running) < parallel:
            running.append(start(*queue.pop(0), work, nice))
        # Wait for whichever finishes first.
        while True:
            finished = [j for j in running if j[1].poll() is not None]
            if finished:
                break
            time.sleep(0.2)
        for j in finished:
            running.remove(j)
            done[j[0]] = finish(j)
    return [done[label] for label, _ in jobs]


def same_files(work, merged, one):
    """The merged files against the one run's: every side file byte for byte, the report from
    its third line (its first two echo the command line)."""
    names = sorted(f[len(one):] for f in os.listdir(work) if f.startswith(one))
    names = [n for n in names if n != ".info"]
    for suffix in names:
        a, b = os.path.join(work, merged + suffix), os.path.join(work, one + suffix)
        if suffix == "":
            if open(a).read().split("\n", 2)[2] != open(b).read().split("\n", 2)[2]:
                return False, "the report"
        elif not os.path.exists(a) or not filecmp.cmp(a, b, shallow=False):
            return False, suffix
    return True, f"{len(names)} files"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build")
    ap.add_argument("--groups", type=int, default=5000)
    ap.add_argument("--shards", type=int, default=10)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("-n", type=int, default=1000)
    ap.add_argument("--length", type=int, default=500)
    ap.add_argument("--nice", type=int, default=10)
    ap.add_argument("--out", default="genome_scan_results")
    a = ap.parse_args()
    build = os.path.realpath(a.build)
    serevan, tools = os.path.join(build, "Serevan"), os.path.join(build, "tools")
    work = os.path.realpath(a.out)
    os.makedirs(work, exist_ok=True)
    for f in os.listdir(work):
        os.remove(os.path.join(work, f))
    subprocess.run([os.path.join(tools, "serevan-sim"), "--out", "sim", "--groups", str(a.groups), "--length",
                    str(a.length), "--seed", "1", "--quiet"], cwd=work, check=True)
    scan = [serevan, "-i", "sim.fa", "-N", "3", "-K", "3", "-F", "-A", "sim_motifs_sites.txt", "-n", str(a.n), "-S", "1"]
    G = a.groups
    ranges = [(s * G // a.shards, (s + 1) * G // a.shards - 1) for s in range(a.shards)]
    extra = [(0, max(0, G // 100 - 1)), (0, 2 * G // 5 - 1)]
    began = time.strftime("%Y-%m-%d %H:%M")
    load0 = os.getloadavg()
    rows = run_all([("background", [os.path.join(tools, "serevan-prep"), "background", "sim.fa", "-k", "3", "-o",
                                    "bg.freq"])], 1, work, a.nice)
    # The two one-process runs, then the shards, each set with the 2 cores to itself.
    rows += run_all([("one process", scan + ["-g", "3", "-o", "base.txt"]),
                     ("one process -G", scan + ["-G", "-g", "bg.freq", "-o", "one.txt"])], a.jobs, work, a.nice)
    shard_jobs = [(f"shard {x}-{y}", scan + ["-G", "-g", "bg.freq", "-J", f"{x}-{y}", "-o", f"shard{x}-{y}.txt"])
                  for x, y in ranges]
    t0 = time.time()
    rows += run_all(shard_jobs, a.jobs, work, a.nice)
    shards_wall = time.time() - t0
    rows += run_all([("merge", [os.path.join(tools, "serevan-merge")] + [f"shard{x}-{y}.txt" for x, y in ranges] +
                      ["-o", "merged.txt"])], 1, work, a.nice)
    rows += run_all([(f"memory shard {x}-{y}", scan + ["-G", "-g", "bg.freq", "-J", f"{x}-{y}", "-o",
                                                      f"mem{x}-{y}.txt"]) for x, y in extra], a.jobs, work, a.nice)
    load1 = os.getloadavg()
    same, what = same_files(work, "merged.txt", "one.txt")

    with open(os.path.join(work, "jobs.tsv"), "w") as out:
        out.write("job\tgroups\twall_s\tcpu_s\tpeak_mb\n")
        for r in rows:
            m = re.search(r"(\d+)-(\d+)$", r["job"])
            groups = int(m.group(2)) - int(m.group(1)) + 1 if m else (G if r["job"].startswith("one") else "")
            r["groups"] = groups
            out.write(f"{r['job']}\t{groups}\t{r['wall_s']:.2f}\t{r['cpu_s']:.2f}\t{r['peak_mb']:.1f}\n")
    by = {r["job"]: r for r in rows}
    shards = [r for r in rows if r["job"].startswith("shard ")]
    shard_cpu = sum(r["cpu_s"] for r in shards)
    total = shard_cpu + by["background"]["cpu_s"] + by["merge"]["cpu_s"]
    base, one = by["one process"]["cpu_s"], by["one process -G"]["cpu_s"]
    per_group = shard_cpu / G
    # Peak memory against a shard's groups: least-squares line through the shard runs.
    pts = [(r["groups"], r["peak_mb"]) for r in rows if "shard" in r["job"]]
    mx = sum(x for x, _ in pts) / len(pts)
    my = sum(y for _, y in pts) / len(pts)
    slope = sum((x - mx) * (y - my) for x, y in pts) / sum((x - mx) ** 2 for x, _ in pts)
    lines = [
        f"genome_scan_bench: {G} groups of 3 x {a.length} bp (serevan-sim --seed 1), -F -n {a.n}, "
        f"{a.shards} shards, {a.jobs} jobs at a time, nice {a.nice}",
        f"machine: {machine()}; started {began}; load average {load0[0]:.2f} before, {load1[0]:.2f} after",
        "",
        f"{'job':<22}{'groups':>8}{'wall s':>10}{'CPU s':>10}{'peak MB':>10}",
    ]
    for r in rows:
        lines.append(f"{r['job']:<22}{r['groups']!s:>8}{r['wall_s']:>10.1f}{r['cpu_s']:>10.1f}{r['peak_mb']:>10.1f}")
    lines += [
        "",
        f"merged files equal to the one -G process: {'yes' if same else 'NO'} ({what})",
        f"shards: CPU {shard_cpu:.1f} s in all, wall {shards_wall:.1f} s for all {a.shards} on {a.jobs} cores",
        f"overhead: (shards + background + merge) CPU {total:.1f} s = {total / base:.3f} x one process "
        f"({base:.1f} s), {total / one:.3f} x one -G process ({one:.1f} s); target <= 1.15",
        f"shard peak memory: {slope * 1000:.1f} MB per 1,000 groups + {my - slope * mx:.1f} MB "
        f"(one process: {by['one process -G']['peak_mb']:.1f} MB for {G}); merge {by['merge']['peak_mb']:.1f} MB",
        f"CPU per group (shards): {per_group:.4f} s",
        f"projection, 20,000 such groups on 100 cores in 100 shards of 200: one shard "
        f"{200 * per_group:.0f} s + background {by['background']['cpu_s'] * 20000 / G:.0f} s + merge "
        f"{by['merge']['cpu_s'] * 20000 / G:.0f} s = {200 * per_group + (by['background']['cpu_s'] + by['merge']['cpu_s']) * 20000 / G:.0f} s "
        f"of wall time (one process: {20000 * base / G / 3600:.2f} h), merge memory about "
        f"{by['merge']['peak_mb'] * 20000 / G:.0f} MB",
    ]
    text = "\n".join(lines) + "\n"
    open(os.path.join(work, "summary.txt"), "w").write(text)
    print(text, end="")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
