#!/usr/bin/env python3
"""Benchmark family: modules planted in real DNA (and the synthetic reference setting).

For every setting and seed it simulates a data set with serevan-sim, runs the program with
each option set (--config NAME:OPTIONS), the -F scan with the true matrices (the ceiling) and
the de novo run with the true matrices fixed (-A), scores every run with serevan-eval --json,
appends one JSON line per run to OUT/results.jsonl and prints the table. Runs already in
results.jsonl (same setting, seed, config, options and -n) are not repeated, so an
interrupted family resumes, and `table` re-prints the table without running anything.

    python3 bench/realdna/realdna_bench.py run [--settings sparse,row1,masked] [--seeds 10]
        [-n 1000] [--config NAME[@SETTING,...]:OPTIONS]... [--baseline NAME] [--jobs 1] [--out DIR]
    python3 bench/realdna/realdna_bench.py table [--out DIR] [--baseline NAME] [--all-chains]

A config whose options hold `--chains C` runs C chains (program seeds S, S+1000, ...), each
recorded as NAME.c0, NAME.c1, ..., and the row NAME holds the chain serevan-chains names best
(highest average likelihood) with the CPU and wall time of all C chains.

See bench/realdna/README.md.
"""
import argparse
import concurrent.futures
import json
import math
import os
import re
import shlex
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# Simulator options of each setting (3 species, 3 random motifs, module window 200 bases).
SETTINGS = {
    # the third row: sparse modules in real upstream/intergenic DNA
    "sparse": "--background {here}/human_chr22_upper.fa --groups 30 --length 1500 --module-fraction 0.5 "
              "--sites 1 --loss 0.2",
    # the first row: synthetic first-order background, dense modules
    "row1": "--groups 20 --length 800 --module-fraction 0.75 --sites 2",
    # the sparse setting in soft-masked DNA, lower case kept in every species
    "masked": "--background {here}/human_chr22_softmasked.fa --keep-case --groups 30 --length 1500 "
              "--module-fraction 0.5 --sites 1 --loss 0.2",
    # not in the default family: the last row, long sequences of real DNA
    "long": "--background {here}/human_chr22_upper.fa --groups 20 --length 3000 --module-fraction 0.4 --sites 2",
    # not in the default family: dense modules in gene-rich yeast DNA
    "yeast": "--background {here}/yeast_chrI_upper.fa --groups 20 --length 800 --module-fraction 0.75 --sites 2",
    # AT-rich: the whole of yeast chrI (61 % A+T), three AT-rich JASPAR matrices (Foxa2, Lhx3, TBP),
    # groups spread in G+C as promoter sets are, about 15 % divergence between two species
    "atrich": "--background {here}/yeast_chrI_whole.fa --motif-file {here}/atrich_motifs.txt --gc-spread 0.1 "
              "--sub-rate 0.08 --groups 30 --length 1500 --module-fraction 0.5 --sites 1 --loss 0.2",
    # the long family on the same DNA: fewer, longer groups, two sites per motif
    "atlong": "--background {here}/yeast_chrI_whole.fa --motif-file {here}/atrich_motifs.txt --gc-spread 0.1 "
              "--sub-rate 0.08 --groups 20 --length 3000 --module-fraction 0.4 --sites 2 --loss 0.2",
}
DEFAULT_SETTINGS = "sparse,row1,masked"
# In a config's options: run on the data with low-complexity stretches soft-masked.
MASK_DIRECTIVE = "--masked-input"
# In a config's options: --chains C runs C chains with program seeds S + CHAIN_SEED_STEP * c.
CHAINS_DIRECTIVE, CHAIN_SEED_STEP = "--chains", 1000
SPECIES, MOTIFS, MODULE_LENGTH = 3, 3, 200
CEILING, TRUEFIXED = "ceiling", "truefixed"  # built-in runs with the true matrices


def parse_config(text):
    """NAME[@SETTING,...]:OPTIONS -> (name, settings or None for all, options)."""
    head, sep, options = text.partition(":")
    name, at, only = head.partition("@")
    settings = [x for x in only.split(",") if x] if at else None
    if (not sep or not name or any(c in name for c in " /") or name in (CEILING, TRUEFIXED)
            or (at and not settings) or any(x not in SETTINGS for x in settings or [])):
        sys.exit("realdna_bench: error: --config needs NAME[@SETTING,...]:OPTIONS with a plain name other than "
                 "%s and %s and known settings (got %r)" % (CEILING, TRUEFIXED, text))
    options, chains = split_chains(options.strip(), text)
    return name, settings, options, chains


def split_chains(options, text):
    """Options without the --chains C directive, and C (0 without it)."""
    words = shlex.split(options)
    if CHAINS_DIRECTIVE not in words:
        return options, 0
    i = words.index(CHAINS_DIRECTIVE)
    count = words[i + 1] if i + 1 < len(words) else ""
    if not count.isdigit() or int(count) < 2 or "-S" in words:
        sys.exit("realdna_bench: error: %s needs a count of at least 2 and no -S of its own (got %r)"
                 % (CHAINS_DIRECTIVE, text))
    del words[i:i + 2]
    return " ".join(shlex.quote(w) for w in words), int(count)


def chain_name(config, c):
    return "%s.c%d" % (config, c)


def with_iterations(options, n):
    """The option string with -n N appended unless it sets -n itself."""
    return options if "-n" in shlex.split(options) else (options + " -n %d" % n).strip()


def run_timed(argv, cwd, log):
    """Runs a command with stderr to log; returns (exit status, stderr tail, wall s, CPU s user+sys)."""
    start = time.monotonic()
    with open(os.devnull, "w") as devnull, open(log, "w") as errf:
        proc = subprocess.Popen(argv, cwd=cwd, stdout=devnull, stderr=errf)
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
    wall = time.monotonic() - start
    with open(log, errors="replace") as errf:
        err = errf.read().strip()[-300:]
    return proc.returncode, err, wall, usage.ru_utime + usage.ru_stime


SCORE_KEYS = ("site_base_f1", "site_f1", "module_f1", "motif_corr", "predicted_sites")


def scores(j):
    """The scores kept of serevan-eval's JSON."""
    return dict(site_base_f1=j["site_bases"]["f1"], site_f1=j["sites"]["f1"], module_f1=j["modules"]["f1"],
                motif_corr=j["mean_motif_correlation"], predicted_sites=j["sites"]["predicted"])


def average_likelihood(report):
    """The 'Average likelihood' of the last run in a report (None when there is none)."""
    value = None
    with open(report, errors="replace") as f:
        for line in f:
            if line.startswith("Average likelihood="):
                try:
                    value = float(line.split("=", 1)[1])
                except ValueError:
                    value = None
    return value


class Runner:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.serevan = os.path.join(self.build, "Serevan")
        self.sim = os.path.join(self.build, "tools", "serevan-sim")
        self.eval = os.path.join(self.build, "tools", "serevan-eval")
        self.prep = os.path.join(self.build, "tools", "serevan-prep")
        self.chains = os.path.join(self.build, "tools", "serevan-chains")
        for exe in (self.serevan, self.sim, self.eval, self.chains):
            if not os.access(exe, os.X_OK):
                sys.exit("realdna_bench: error: %s is missing (build it first, or give --build)" % exe)
        self.out = os.path.abspath(args.out)
        self.results = os.path.join(self.out, "results.jsonl")
        self.lock = threading.Lock()

    def simulate(self, setting, seed):
        folder = os.path.join(self.out, setting, "seed%d" % seed)
        os.makedirs(folder, exist_ok=True)
        prefix = os.path.join(folder, "data")
        options = SETTINGS[setting].format(here=HERE)
        if self.args.groups:
            options += " --groups %d" % self.args.groups
        argv = [self.sim, "--seed", str(seed), "--out", prefix, "--quiet"] + shlex.split(options)
        line = " ".join(shlex.quote(a) for a in argv[1:]) + "\n"
        if os.path.exists(prefix + ".simargs") and open(prefix + ".simargs").read() != line:
            sys.exit("realdna_bench: error: %s holds data made with other simulator options; give another --out"
                     % folder)
        if not os.path.exists(prefix + "_truth.tsv"):
            status, err, _, _ = run_timed(argv, folder, prefix + ".log")
            if status != 0:
                sys.exit("realdna_bench: error: serevan-sim failed for %s seed %d: %s" % (setting, seed, err))
            with open(prefix + ".simargs", "w") as f:
                f.write(line)
        return folder, prefix

    def masked(self, prefix):
        """The data set with its low-complexity stretches in lower case (made once)."""
        path = prefix + "_masked.fa"
        with self.lock:
            if not os.path.exists(path):
                proc = subprocess.run([self.prep, "mask", prefix + ".fa", "-o", path], capture_output=True,
                                      text=True)
                if proc.returncode != 0:
                    sys.exit("realdna_bench: error: serevan-prep mask failed: " + proc.stderr.strip())
        return path

    def one_run(self, setting, seed, folder, prefix, config, options, program_seed=None):
        program_seed = seed if program_seed is None else program_seed
        report = os.path.join(folder, config + ".txt")
        for name in os.listdir(folder):  # the program appends: start from nothing
            if name.startswith(config + ".txt") or name == config + ".log":
                os.remove(os.path.join(folder, name))
        words = shlex.split(options)
        data = prefix + ".fa"
        if MASK_DIRECTIVE in words:  # low-complexity stretches soft-masked by serevan-prep mask
            words.remove(MASK_DIRECTIVE)
            data = self.masked(prefix)
        argv = ([self.serevan, "-i", data, "-N", str(SPECIES), "-K", str(MOTIFS), "-S", str(program_seed),
                 "-o", report] + words)
        status, err, wall, cpu = run_timed(argv, folder, os.path.join(folder, config + ".log"))
        row = {"setting": setting, "seed": seed, "config": config, "options": options, "n": self.args.n,
               "wall_s": round(wall, 3), "cpu_s": round(cpu, 3), "status": status}
        if program_seed != seed:
            row["program_seed"] = program_seed
        if status == 0:
            ev = subprocess.run([self.eval, "--sim", prefix, "--report", report, "--json"], capture_output=True,
                                text=True)
            if ev.returncode != 0:
                row["status"], err = "eval", ev.stderr.strip()
            else:
                row.update(scores(json.loads(ev.stdout)))
                row["avg_likelihood"] = average_likelihood(report)
        if row["status"] != 0:
            row["error"] = err
        row["command"] = " ".join(shlex.quote(a) for a in argv)
        self.append(row)

    def append(self, row):
        with self.lock:
            with open(self.results, "a") as f:
                f.write(json.dumps(row) + "\n")
        print("  %-7s seed %-3d %-10s %s  %7.1f s wall %7.1f s CPU  site F1 %s" % (
            row["setting"], row["seed"], row["config"], "ok " if row["status"] == 0 else "FAILED", row["wall_s"],
            row["cpu_s"], fmt(row.get("site_base_f1"))), flush=True)

    def pick_chain(self, setting, seed, folder, config, options, count, chain_rows):
        """The row of a chains config: the chain serevan-chains names best, the time of all chains."""
        reports = [os.path.join(folder, chain_name(config, c) + ".txt") for c in range(count)]
        row = {"setting": setting, "seed": seed, "config": config, "options": options, "n": self.args.n,
               "chains": count, "wall_s": round(sum(r["wall_s"] for r in chain_rows), 3),
               "cpu_s": round(sum(r["cpu_s"] for r in chain_rows), 3), "status": 0}
        failed = [r["config"] for r in chain_rows if r["status"] != 0]
        proc = None if failed else subprocess.run([self.chains] + reports + ["--json"], capture_output=True, text=True)
        if failed or proc.returncode != 0:
            row["status"] = "chains"
            row["error"] = ("failed chains: " + ", ".join(failed)) if failed else proc.stderr.strip()[-300:]
        else:
            j = json.loads(proc.stdout)
            best = reports.index(j["best"])
            picked = chain_rows[best]
            row.update({k: picked.get(k) for k in SCORE_KEYS + ("avg_likelihood",)})
            row.update(picked=best, verdict=j["verdict"],
                       best_chain_f1=max(r["site_base_f1"] or 0.0 for r in chain_rows),
                       chain_f1=[r["site_base_f1"] for r in chain_rows],
                       chain_likelihood=[r["avg_likelihood"] for r in chain_rows])
        self.append(row)

    def run(self):
        os.makedirs(self.out, exist_ok=True)
        done = {}
        for r in read_results(self.results):
            done[(r["setting"], r["seed"], r["config"], r["options"], r["n"])] = r
        tasks, picks = [], []
        for setting in self.args.settings:
            for seed in self.args.seed_list:
                folder, prefix = self.simulate(setting, seed)
                runs = []
                for name, only, opts, chains in self.args.configs:
                    if only is not None and setting not in only:
                        continue
                    opts = with_iterations(opts, self.args.n)
                    if not chains:
                        runs.append((name, opts, None))
                        continue
                    runs += [(chain_name(name, c), opts, seed + CHAIN_SEED_STEP * c) for c in range(chains)]
                    picks.append((setting, seed, folder, name, opts, chains))
                if not self.args.no_truth_runs:
                    runs.append((CEILING, "-F -A data_motifs_sites.txt -L %d -n %d" % (MODULE_LENGTH, self.args.n),
                                 None))
                    truth = "%s -A data_motifs.txt -n %d" % (self.args.truth_options, self.args.n)
                    runs.append((TRUEFIXED, truth, None))
                for name, opts, program_seed in runs:
                    if (setting, seed, name, opts, self.args.n) not in done:
                        tasks.append((setting, seed, folder, prefix, name, opts, program_seed))
        print("realdna_bench: %d runs to do (%d jobs) in %s" % (len(tasks), self.args.jobs, self.out), flush=True)
        with concurrent.futures.ThreadPoolExecutor(max_workers=self.args.jobs) as pool:
            for f in [pool.submit(self.one_run, *t) for t in tasks]:
                f.result()
        # Chains configs: pick once all their chains have run (again when a chain was rerun).
        latest = {}  # key: (line number, row) of the latest row
        for i, r in enumerate(read_results(self.results)):
            latest[(r["setting"], r["seed"], r["config"], r["options"], r["n"])] = (i, r)
        for setting, seed, folder, name, opts, chains in picks:
            chain_rows = [latest.get((setting, seed, chain_name(name, c), opts, self.args.n)) for c in range(chains)]
            old = latest.get((setting, seed, name, opts, self.args.n))
            if all(chain_rows) and (old is None or max(i for i, _ in chain_rows) > old[0]):
                self.pick_chain(setting, seed, folder, name, opts, chains, [r for _, r in chain_rows])


def read_results(path):
    rows = []
    if os.path.exists(path):
        with open(path) as f:
            rows = [json.loads(line) for line in f if line.strip()]
    return rows


def fmt(x, digits=3):
    return "n/a" if x is None else "%.*f" % (digits, x)


def mean_sd_se(xs):
    n = len(xs)
    if n == 0:
        return None, None, None
    m = sum(xs) / n
    sd = math.sqrt(sum((x - m) ** 2 for x in xs) / (n - 1)) if n > 1 else 0.0
    return m, sd, sd / math.sqrt(n)


def table(rows, baseline, n_filter=None, all_chains=False):
    """Per setting and config: mean (sd) over seeds; paired difference to the baseline (se)."""
    # The latest row of each (setting, seed, config) counts; an F1 without predictions is 0.
    # Of a chains config's own chains only the first (NAME.c0: one chain, seed S) is shown.
    latest = {}
    for r in rows:
        if (n_filter is None or r["n"] == n_filter) and (all_chains or not re.search(r"\.c[1-9][0-9]*$", r["config"])):
            latest[(r["setting"], r["seed"], r["config"])] = r
    settings = list(dict.fromkeys(k[0] for k in latest))
    lines = []
    head = ("%-8s %-10s %3s %-15s %-15s %-15s %-17s %-8s %-20s %-12s %s" % (
        "setting", "config", "n", "siteF1nt (sd)", "siteF1 (sd)", "motif r (sd)", "CPU s (sd)", "wall s",
        "dF1nt vs %s (se)" % baseline, "time ratio", "of ceiling"))
    lines.append(head)
    lines.append("-" * len(head))
    for setting in settings:
        seen = list(dict.fromkeys(k[2] for k in sorted(latest, key=lambda k: k[1]) if k[0] == setting))
        configs = ([c for c in seen if c == baseline] + [c for c in seen if c not in (baseline, CEILING, TRUEFIXED)]
                   + [c for c in (CEILING, TRUEFIXED) if c in seen])
        by = {c: {k[1]: r for k, r in latest.items() if k[0] == setting and k[2] == c and r["status"] == 0}
              for c in configs}
        failed = {c: sum(1 for k, r in latest.items() if k[0] == setting and k[2] == c and r["status"] != 0)
                  for c in configs}
        ceiling = by.get(CEILING, {})
        for c in configs:
            runs = by[c]
            f1 = [r["site_base_f1"] or 0.0 for r in runs.values()]
            ef1 = [r["site_f1"] or 0.0 for r in runs.values()]
            corr = [r["motif_corr"] for r in runs.values() if r["motif_corr"] is not None]
            t = [r["cpu_s"] for r in runs.values()]
            cols = []
            for xs in (f1, ef1, corr):
                m, sd, _ = mean_sd_se(xs)
                cols.append("%s (%s)" % (fmt(m), fmt(sd)) if m is not None else "n/a")
            m, sd, _ = mean_sd_se(t)
            cols.append("%s (%s)" % (fmt(m, 1), fmt(sd, 1)) if m is not None else "n/a")
            m, _, _ = mean_sd_se([r["wall_s"] for r in runs.values()])
            cols.append(fmt(m, 1))
            base = by.get(baseline, {})
            paired = sorted(set(runs) & set(base))
            if c != baseline and paired:
                dm, _, dse = mean_sd_se([(runs[s]["site_base_f1"] or 0.0) - (base[s]["site_base_f1"] or 0.0)
                                         for s in paired])
                rm, _, _ = mean_sd_se([runs[s]["cpu_s"] / base[s]["cpu_s"] for s in paired if base[s]["cpu_s"] > 0])
                cols.append("%+.3f (%s) n=%d" % (dm, fmt(dse), len(paired)))
                cols.append(fmt(rm, 2))
            else:
                cols += ["", ""]
            cpaired = sorted(set(runs) & set(ceiling))
            if c != CEILING and cpaired:
                cm = sum(ceiling[s]["site_base_f1"] or 0.0 for s in cpaired) / len(cpaired)
                own = sum(runs[s]["site_base_f1"] or 0.0 for s in cpaired) / len(cpaired)
                cols.append(fmt(own / cm, 2) if cm > 0 else "n/a")
            else:
                cols.append("")
            note = " (%d failed)" % failed[c] if failed[c] else ""
            lines.append("%-8s %-10s %3d %-15s %-15s %-15s %-17s %-8s %-20s %-12s %s%s" % (
                (setting, c, len(runs)) + tuple(cols) + (note,)))
        lines.append("")
    lines.append("siteF1nt: site F1 at the nucleotide level (serevan-eval site_bases), siteF1: site level; a run "
                 "without predictions counts 0. sd over seeds; dF1nt: paired mean difference to the baseline "
                 "with its standard error; time: CPU seconds (user+sys) per run; wall s: mean wall seconds (a chains "
                 "config: both summed over its chains); time ratio: paired mean of CPU time / baseline CPU time; of "
                 "ceiling: mean siteF1nt / mean siteF1nt of the -F scan with the true matrices.")
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("mode", choices=["run", "table"])
    ap.add_argument("--settings", default=DEFAULT_SETTINGS,
                    help="comma-separated, from %s [%s]" % (",".join(SETTINGS), DEFAULT_SETTINGS))
    ap.add_argument("--seeds", type=int, default=10, help="number of seeds, from --first-seed on [10]")
    ap.add_argument("--first-seed", type=int, default=1, help="first seed [1]")
    ap.add_argument("-n", type=int, default=1000, help="iterations (-n) added to every option set without one [1000]")
    ap.add_argument("--config", action="append", default=[], metavar="NAME[@SETTING,...]:OPTIONS",
                    help="option set of the program, passed through unchanged (repeatable); @SETTING,... "
                         "limits it to those settings; the word --masked-input runs it on the data soft-masked by "
                         "serevan-prep mask (add -l to read the mask); --chains C runs C chains (seeds S + 1000 c) "
                         "and picks the one serevan-chains names best [default:-c]")
    ap.add_argument("--baseline", default="default", help="config the paired differences refer to [default]")
    ap.add_argument("--no-truth-runs", action="store_true",
                    help="skip the -F ceiling and the de novo run with the true matrices fixed")
    ap.add_argument("--truth-options", default="-c",
                    help="options of the run with the true matrices fixed, besides -A and -n [-c]")
    ap.add_argument("--groups", type=int, default=0, help="override the number of groups (smoke tests)")
    ap.add_argument("--jobs", type=int, default=1, help="runs at the same time [1]")
    ap.add_argument("--out", default="realdna_results", help="output folder [realdna_results]")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="build folder [ROOT/build]")
    ap.add_argument("--only-n", type=int, default=None, help="table: only runs with this -n")
    ap.add_argument("--all-chains", action="store_true", help="table: every chain of a chains config, not only .c0")
    args = ap.parse_args()
    results = os.path.join(os.path.abspath(args.out), "results.jsonl")
    if args.mode == "run":
        args.settings = [s for s in args.settings.split(",") if s]
        for s in args.settings:
            if s not in SETTINGS:
                sys.exit("realdna_bench: error: unknown setting %r (known: %s)" % (s, ", ".join(SETTINGS)))
        if args.seeds < 1 or args.n < 1 or args.jobs < 1 or args.groups < 0:
            sys.exit("realdna_bench: error: --seeds, -n and --jobs must be at least 1, --groups at least 0")
        args.seed_list = list(range(args.first_seed, args.first_seed + args.seeds))
        args.configs = [parse_config(c) for c in (args.config or ["default:-c"])]
        if len(set(c[0] for c in args.configs)) != len(args.configs):
            sys.exit("realdna_bench: error: two --config options share a name")
        Runner(args).run()
    rows = read_results(results)
    if not rows:
        sys.exit("realdna_bench: error: no results in %s" % results)
    print(table(rows, args.baseline, args.only_n, args.all_chains))


if __name__ == "__main__":
    main()
