#!/usr/bin/python3
"""Mutation testing of the core sources against the test suite.

For every mutant of tests/mutate/mutants.txt (format described at the top of that file):
check that its text occurs exactly once, write the mutated file, rebuild a dedicated build
directory, run ctest there, and restore the file byte for byte (always: also on an error,
Ctrl-C or SIGTERM). Results go to a Markdown table and a summary line.

    tests/mutate/mutate.py                         run every mutant (build-mutate/mutants.md)
    tests/mutate/mutate.py --only fwd-table-mean,call-threshold
    tests/mutate/mutate.py --file-filter model/Forward
    tests/mutate/mutate.py --only ID --update      re-run one mutant, merging it into the table
    tests/mutate/mutate.py --check                 only check that every mutant applies
    tests/mutate/mutate.py --compare OLD.md NEW.md list mutants killed in OLD but not in NEW

Standard library only.
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORE_DIRS = ["app", "numeric", "align", "model", "motif"]
KEYS = ("id", "file", "find", "replace", "what")


class Interrupted(Exception):
    """Raised from the signal handler so that the restoring finally blocks run."""


def on_signal(signum, _frame):
    raise Interrupted("signal %d" % signum)


# ---------------------------------------------------------------- mutant list


def parse_mutants(path):
    """Blocks of 'key: value' lines separated by blank lines; '#' lines are comments."""
    mutants, block, errors = [], {}, []

    def close(lineno):
        if not block:
            return
        missing = [k for k in KEYS if k not in block]
        if missing:
            errors.append("%s: block ending at line %d lacks %s" % (path, lineno, ", ".join(missing)))
        else:
            mutants.append(dict(block))
        block.clear()

    lineno = 0
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip():
                close(lineno)
                continue
            if line.startswith("#"):
                continue
            key, sep, value = line.partition(": ")
            if not sep and line.endswith(":"):  # "replace:" with an empty value
                key, value = line[:-1], ""
            elif not sep:
                errors.append("%s:%d: expected 'key: value'" % (path, lineno))
                continue
            if key not in KEYS:
                errors.append("%s:%d: unknown key '%s'" % (path, lineno, key))
                continue
            if key in block:
                errors.append("%s:%d: key '%s' given twice in one block" % (path, lineno, key))
                continue
            block[key] = value
        close(lineno + 1)

    seen = set()
    for m in mutants:
        if m["id"] in seen:
            errors.append("%s: id '%s' given twice" % (path, m["id"]))
        seen.add(m["id"])
        if not m["find"]:
            errors.append("%s: mutant '%s' has an empty find text" % (path, m["id"]))
        if m["find"] == m["replace"]:
            errors.append("%s: mutant '%s' replaces its text by itself" % (path, m["id"]))
    if errors:
        sys.exit("\n".join(errors))
    return mutants


def occurrences(m):
    """How often the find text occurs in the mutant's file (-1 when the file is missing)."""
    path = os.path.join(ROOT, m["file"])
    if not os.path.isfile(path):
        return -1
    with open(path, "rb") as f:
        return f.read().count(m["find"].encode("utf-8"))


# ---------------------------------------------------------------- building and testing


def run(cmd, cwd, log, timeout=None):
    """Runs cmd, appending its output to the log file; returns (exit code, output)."""
    try:
        p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout,
                           start_new_session=False)
        out = p.stdout.decode("utf-8", "replace")
        code = p.returncode
    except subprocess.TimeoutExpired as e:
        out = (e.stdout or b"").decode("utf-8", "replace") + "\n[timed out after %s s]\n" % timeout
        code = -1
    with open(log, "a", encoding="utf-8") as f:
        f.write("$ %s\n%s\n" % (" ".join(cmd), out))
    return code, out


def configure(args, log):
    code, out = run(["cmake", "-S", ROOT, "-B", args.build_dir, "-DCMAKE_BUILD_TYPE=Release",
                     "-DSEREVAN_BENCH=OFF"], ROOT, log)
    if code != 0:
        sys.exit("configuring %s failed:\n%s" % (args.build_dir, out[-3000:]))


def build(args, log):
    code, _ = run(["cmake", "--build", args.build_dir, "-j%d" % args.jobs], ROOT, log, timeout=args.build_timeout)
    return code == 0


FAILED_LINE = re.compile(r"^\s*\d+\s+-\s+(\S+)\s+\((.*)\)\s*$")


def run_tests(args, log):
    """Runs ctest; returns (passed, [(test name, how it failed)])."""
    code, out = run(["ctest", "-j%d" % args.jobs, "--timeout", str(args.timeout)], args.build_dir, log,
                    timeout=args.suite_timeout)
    failed, listing = [], False
    for line in out.splitlines():
        if line.startswith("The following tests FAILED"):
            listing = True
            continue
        if listing:
            m = FAILED_LINE.match(line)
            if m:
                failed.append((m.group(1), m.group(2)))
    if code != 0 and not failed:
        failed.append(("(ctest)", "exit %d" % code))
    return code == 0 and not failed, failed


def tree_is_clean():
    p = subprocess.run(["git", "status", "--porcelain", "--"] + CORE_DIRS, cwd=ROOT, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT)
    if p.returncode != 0:
        sys.exit("git status failed:\n" + p.stdout.decode("utf-8", "replace"))
    return p.stdout.decode("utf-8", "replace").strip()


# ---------------------------------------------------------------- one mutant


def apply_and_test(m, args, log):
    path = os.path.join(ROOT, m["file"])
    with open(path, "rb") as f:
        original = f.read()
    find, replace = m["find"].encode("utf-8"), m["replace"].encode("utf-8")
    if original.count(find) != 1:
        return "not-applicable", []
    try:
        with open(path, "wb") as f:
            f.write(original.replace(find, replace, 1))
        if not build(args, log):
            return "build-failed", []
        passed, failed = run_tests(args, log)
        return ("survived", []) if passed else ("killed", failed)
    finally:
        # Byte-for-byte restore, whatever happened above; no signal may cut it short.
        blocked = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}
        old = signal.pthread_sigmask(signal.SIG_BLOCK, blocked)
        try:
            with open(path, "wb") as f:
                f.write(original)
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, old)


# ---------------------------------------------------------------- the table


def cell(text):
    return text.replace("\\", "\\\\").replace("|", "\\|").replace("\n", " ")


def killers_text(failed, shown=3):
    names = []
    for name, how in failed[:shown]:
        names.append(name + (" (timeout)" if "Timeout" in how else ""))
    text = ", ".join(names)
    if len(failed) > shown:
        text += " (+%d more)" % (len(failed) - shown)
    return text


def summary_line(results):
    count = {r: sum(1 for x in results if x["result"] == r) for r in
             ("killed", "survived", "build-failed", "not-applicable")}
    return "%d mutants: %d killed, %d survived, %d build failed, %d not applicable" % (
        len(results), count["killed"], count["survived"], count["build-failed"], count["not-applicable"])


def write_table(results, out, header_note):
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    tmp = out + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write("# Mutation run\n\n%s\n\n%s\n\n" % (header_note, summary_line(results)))
        f.write("| id | file | what | result | killing tests |\n")
        f.write("|----|------|------|--------|---------------|\n")
        for r in results:
            f.write("| %s | %s | %s | %s | %s |\n" % (cell(r["id"]), cell(r["file"]), cell(r["what"]),
                                                     r["result"], cell(r["killers"])))
    os.replace(tmp, out)


def split_row(line):
    """Cells of a Markdown table row, honouring backslash-escaped pipes."""
    cells, cur, i, s = [], [], 0, line.strip()
    if s.startswith("|"):
        s = s[1:]
    while i < len(s):
        ch = s[i]
        if ch == "\\" and i + 1 < len(s):
            cur.append(s[i + 1])
            i += 2
            continue
        if ch == "|":
            cells.append("".join(cur).strip())
            cur = []
        else:
            cur.append(ch)
        i += 1
    if "".join(cur).strip():
        cells.append("".join(cur).strip())
    return cells


def read_rows(path):
    """Rows (dicts) of a table written by this script, in table order."""
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.startswith("|") or line.startswith("|----") or line.startswith("| id |"):
                continue
            cells = split_row(line) + [""] * 5
            if cells[0]:
                rows.append(dict(zip(("id", "file", "what", "result", "killers"), cells[:5])))
    return rows


def read_table(path):
    """id -> result from a table written by this script."""
    return {r["id"]: r["result"] for r in read_rows(path)}


def compare(old_path, new_path):
    old, new = read_table(old_path), read_table(new_path)
    lost = [(i, new.get(i, "missing")) for i, r in old.items() if r == "killed" and new.get(i) != "killed"]
    killed_old = sum(1 for r in old.values() if r == "killed")
    killed_new = sum(1 for r in new.values() if r == "killed")
    print("%s: %d killed; %s: %d killed" % (old_path, killed_old, new_path, killed_new))
    for i, r in lost:
        print("killed in old, not in new: %s (%s)" % (i, r))
    if lost:
        print("%d mutant(s) no longer killed" % len(lost))
        return 1
    print("every mutant killed in old is killed in new")
    return 0


# ---------------------------------------------------------------- main


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--mutants", default=os.path.join(ROOT, "tests", "mutate", "mutants.txt"),
                    help="mutant list (default tests/mutate/mutants.txt)")
    ap.add_argument("--build-dir", default=os.path.join(ROOT, "build-mutate"),
                    help="dedicated build directory (default build-mutate)")
    ap.add_argument("--out", help="Markdown table (default BUILD_DIR/mutants.md)")
    ap.add_argument("--only", help="comma-separated ids to run")
    ap.add_argument("--file-filter", help="regular expression: run mutants whose file path matches")
    ap.add_argument("--jobs", type=int, default=2, help="build and ctest parallelism (default 2)")
    ap.add_argument("--timeout", type=int, default=300, help="per-test timeout of ctest in seconds (default 300)")
    ap.add_argument("--suite-timeout", type=int, default=3600, help="limit for one whole ctest run (default 3600)")
    ap.add_argument("--build-timeout", type=int, default=3600, help="limit for one build (default 3600)")
    ap.add_argument("--update", action="store_true",
                    help="merge the selected mutants' results into the existing table instead of starting a "
                    "new one (rows of ids no longer in the list are dropped)")
    ap.add_argument("--check", action="store_true", help="only check that every selected mutant applies")
    ap.add_argument("--compare", nargs=2, metavar=("OLD.md", "NEW.md"),
                    help="print mutants killed in OLD but not in NEW (exit 1 if any)")
    args = ap.parse_args()

    if args.compare:
        return compare(*args.compare)

    args.build_dir = os.path.abspath(args.build_dir)
    out = os.path.abspath(args.out or os.path.join(args.build_dir, "mutants.md"))
    mutants = parse_mutants(args.mutants)
    order = [m["id"] for m in mutants]
    if args.only:
        wanted = [s.strip() for s in args.only.split(",") if s.strip()]
        unknown = [w for w in wanted if w not in {m["id"] for m in mutants}]
        if unknown:
            sys.exit("unknown mutant id(s): " + ", ".join(unknown))
        mutants = [m for m in mutants if m["id"] in wanted]
    if args.file_filter:
        pattern = re.compile(args.file_filter)
        mutants = [m for m in mutants if pattern.search(m["file"])]
    if not mutants:
        sys.exit("no mutant selected")

    if args.check:
        bad = 0
        for m in mutants:
            n = occurrences(m)
            if n != 1:
                bad += 1
                print("%s: %s: find text occurs %s times" % (m["id"], m["file"], "no file, 0" if n < 0 else n))
        print("%d mutants, %d not applicable" % (len(mutants), bad))
        return 1 if bad else 0

    dirty = tree_is_clean()
    if dirty:
        sys.exit("refusing: the core sources have uncommitted changes:\n" + dirty)

    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, on_signal)

    os.makedirs(args.build_dir, exist_ok=True)
    log = os.path.join(args.build_dir, "mutate.log")
    open(log, "w").close()
    started = time.time()
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=ROOT, stdout=subprocess.PIPE).stdout
    note = "Commit %s, %s, ctest --timeout %d." % (commit.decode().strip() or "?", time.strftime(
        "%Y-%m-%d %H:%M UTC", time.gmtime()), args.timeout)

    print("building the unmutated tree in %s ..." % args.build_dir, flush=True)
    configure(args, log)
    if not build(args, log):
        sys.exit("the unmutated tree does not build; see " + log)
    passed, failed = run_tests(args, log)
    if not passed:
        sys.exit("the unmutated tree fails its tests (%s); see %s" % (killers_text(failed, 10), log))
    print("unmutated tree: every test passes (%.0f s)" % (time.time() - started), flush=True)

    kept = []
    if args.update and os.path.isfile(out):
        selected = {m["id"] for m in mutants}
        kept = [r for r in read_rows(out) if r["id"] in order and r["id"] not in selected]

    def table_rows():
        rows = kept + results
        return sorted(rows, key=lambda r: order.index(r["id"]))

    results = []
    try:
        for i, m in enumerate(mutants, 1):
            t0 = time.time()
            result, failed = apply_and_test(m, args, log)
            results.append({"id": m["id"], "file": m["file"], "what": m["what"], "result": result,
                            "killers": killers_text(failed)})
            print("[%d/%d] %-28s %-14s %5.0f s  %s" % (i, len(mutants), m["id"], result, time.time() - t0,
                                                       killers_text(failed)), flush=True)
            write_table(table_rows(), out, note)
    except Interrupted as e:
        print("interrupted (%s): every file is restored; partial table in %s" % (e, out), flush=True)
        write_table(table_rows(), out, note + " Interrupted after %d of %d mutants." % (len(results), len(mutants)))
        print(summary_line(table_rows()))
        return 130
    finally:
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(sig, signal.SIG_DFL)

    if kept:
        note += " Merged run: %d of the %d rows come from an earlier run." % (len(kept), len(kept) + len(results))
    write_table(table_rows(), out, note)
    print("table: %s; log: %s; %.0f s in all" % (out, log, time.time() - started))
    print(summary_line(table_rows()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
