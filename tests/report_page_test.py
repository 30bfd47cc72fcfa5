#!/usr/bin/python3
"""serevan-report end to end: runs the program in every mode on the example, makes a page of
each result and checks it (xmllint, counts against the report text, nothing outside the file,
escaping, error exits), the genome positions and BED downloads of a MAF piece against
serevan-export, the chains' verdict, soft-masked letters and repeat flags, and the folded
groups of a generated 2,000-group report; with --browser opens the de novo page in headless
Chromium, reads the DOM back and writes a screenshot, and times the 2,000-group page. --page
FILE only measures a given page in the browser. Exit 77 (skipped) when xmllint or Chromium is
missing."""
import argparse, html, html.parser, json, os, random, re, shutil, subprocess, sys, time, urllib.parse

ap = argparse.ArgumentParser()
ap.add_argument("--serevan"), ap.add_argument("--report"), ap.add_argument("--source"), ap.add_argument("--work")
ap.add_argument("--browser", action="store_true"), ap.add_argument("--page"), ap.add_argument("--screenshot")
a = ap.parse_args()
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


class Page(html.parser.HTMLParser):
    """Class counts, every href/src, every url( in styles, the site table's cells by column title,
    the panels' (group, score, rank) in page order, the folded and undrawn group counts."""
    def __init__(self, text):
        super().__init__()
        self.classes, self.links, self.styles, self.cells, self.ready = {}, [], [], [], {}
        self.panels, self.counts, self.heads, self.columns, self.in_head = [], {}, [], {}, False
        self.in_style, self.col, self.in_table = False, -1, False
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        d = dict(attrs)
        for c in (d.get("class") or "").split():
            self.classes[c] = self.classes.get(c, 0) + 1
            if "data-count" in d:
                self.counts[c] = self.counts.get(c, 0) + int(d["data-count"])
        if "panel" in (d.get("class") or "").split():
            self.panels.append((int(d["data-group"]), float(d["data-score"]), int(d["data-rank"])))
        self.in_head = tag == "th" and self.in_table
        self.links += [v for k, v in attrs if k in ("href", "src", "xlink:href") and v is not None]
        self.styles.append(d.get("style") or "")
        self.in_style = tag == "style"
        if d.get("id") == "ready":
            self.ready = d
        if d.get("id") == "site-table":
            self.in_table = True
        if self.in_table and tag == "tr":
            self.col = -1
        if self.in_table and tag == "td":
            self.col += 1

    def handle_data(self, data):
        if self.in_style:
            self.styles.append(data)
        if self.in_head:
            self.heads.append(data)
        elif self.in_table and self.col >= 0 and self.col < len(self.heads):
            self.columns.setdefault(self.heads[self.col], []).append(data)
        if self.in_table and self.col == self.seq_col:
            self.cells.append(data)

    def handle_endtag(self, tag):
        self.in_head = False if tag == "th" else self.in_head
        self.in_style = False if tag == "style" else self.in_style
        self.in_table = False if tag == "table" else self.in_table


def expected(report_txt, fasta, panels=200):
    """Counts the page must show, from the report text: per run, the groups with a module or a site
    are drawn (the strongest `panels` of them), the others folded."""
    text = open(report_txt).read()
    runs = text.split("Serevan (beta 1, Nov 2007)")[1:]
    n = int(re.search(r" -N (\d+)", text).group(1))
    g = open(fasta).read().count(">") // n
    called = [len(set(re.findall(r"^\d+\t(\d+)\t\d+\t\d+\t[+-]\d", r, re.M) + re.findall(r"^>\d+\t(\d+)\t", r, re.M))) for r in runs]
    drawn = sum(min(c, panels) for c in called)
    return dict(logo=len(re.findall(r"^Motif\d+:", text, re.M)), sites=[re.findall(r"^>\d+\t(\d+)\t\d+\t-?1\t", r, re.M) for r in runs],
                sg=len(re.findall(r"^>\d+\t\d+\t\d+\t-?1\t", text, re.M)),
                lane=n * drawn, panel=drawn, folded=sum(g - c for c in called), g2_sp1=len(re.findall(r"^>1\t2\t", text, re.M)),
                notfound=len(re.findall(r"^Motif\d+ not found$", text, re.M)), runs=len(runs))


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=a.work, capture_output=True, text=True, **kw)


def make_page(name, serevan_args, fasta, extra=(), panels=200):
    if serevan_args:
        r = run([a.serevan, "-i", fasta] + serevan_args + ["-o", name + ".txt"])
        check(r.returncode == 0, f"{name}: Serevan failed: {r.stdout[-300:]}")
    r = run([a.report, name + ".txt", "-i", fasta, "-o", name + ".html"] + list(extra))
    check(r.returncode == 0, f"{name}: serevan-report failed: {r.stderr}")
    return os.path.join(a.work, name + ".html"), expected(os.path.join(a.work, name + ".txt"), os.path.join(a.work, fasta), panels)


def check_page(name, path, exp, names=None):
    text = open(path, encoding="utf-8").read()
    r = subprocess.run(["xmllint", "--noout", path], capture_output=True, text=True)
    check(r.returncode == 0, f"{name}: not well-formed XML: {r.stderr[:300]}")
    r = subprocess.run(["xmllint", "--html", "--noout", path], capture_output=True, text=True)
    # The HTML4 parser knows no SVG tags, and libxml2 2.9 reports "error parsing attribute name"
    # where a long SVG path attribute meets one of its buffer boundaries (it comes and goes with
    # the length of the binary's path in the page); the XML parse above checks the attributes.
    errors = [l for l in r.stderr.splitlines()
              if "error" in l and not re.search(r"Tag \w+ invalid|error parsing attribute name", l)]
    check(not errors, f"{name}: HTML parser errors: {errors[:3]}")
    Page.seq_col = 3 if exp["runs"] > 1 else 2
    p = Page(text)
    # One glyph per called site of the groups drawn (each run's panels start at rank 0).
    starts = [i for i, x in enumerate(p.panels) if x[2] == 0] + [len(p.panels)]
    drawn = [{str(x[0]) for x in p.panels[i:j]} for i, j in zip(starts, starts[1:])]
    exp["sg"] = sum(sum(g in d for g in sites) for d, sites in zip(drawn, exp["sites"]))
    for c in ("logo", "lane", "sg", "panel"):
        check(p.classes.get(c, 0) == exp[c], f"{name}: {p.classes.get(c, 0)} .{c}, expected {exp[c]}")
    check(p.counts.get("folded", 0) == exp["folded"], f"{name}: {p.counts.get('folded', 0)} groups folded, expected {exp['folded']}")
    check(p.classes.get("notfound", 0) == exp["notfound"], f"{name}: not-found cards")
    # Each run's panels strongest first: ranks count up from 0, scores never rise.
    ok = all(b[2] == 0 or (b[2] == a[2] + 1 and b[1] <= a[1]) for a, b in zip(p.panels, p.panels[1:]))
    check(ok and (not p.panels or p.panels[0][2] == 0), f"{name}: panels not strongest first: {p.panels[:5]}")
    outside = [l for l in p.links if not (l.startswith("#") or l.startswith("data:"))]
    outside += [u for s in p.styles for u in re.findall(r"url\(\s*['\"]?([^'\")]*)", s) if not u.startswith(("data:", "#"))]
    check(not outside, f"{name}: points outside the file: {outside[:3]}")
    if names:
        check(set(p.cells) == set(names), f"{name}: sequence cells {sorted(set(p.cells))[:4]}")
        check(not any(n in text for n in names if re.search("[<&\"']", n)), f"{name}: a name left unescaped")
    return p


HARNESS = """<!DOCTYPE html><html><body><div id="out">not run</div><iframe id="f" src="PAGE" width="1200" height="800"></iframe>
<script>
document.getElementById('f').onload = function () {
  var d = this.contentDocument, out = [], all = function (s) { return [].slice.call(d.querySelectorAll(s)); };
  function ok(c, m) { out.push((c ? 'ok ' : 'FAIL ') + m); }
  function sorted(v, up) { return v.every(function (x, i) { return i == 0 || (up ? v[i - 1] <= x : v[i - 1] >= x); }); }
  var card = d.querySelector('.card:not(.notfound)'), b = card.querySelector('button.flip');
  b.click(); ok(card.querySelector('.logo').hidden && !card.querySelector('.logo-rc').hidden, 'flip');
  b.click(); ok(!card.querySelector('.logo').hidden, 'flip back');
  var sel = d.getElementById('sort-groups'); sel.value = 'group'; sel.dispatchEvent(new Event('change'));
  ok(sorted(all('.panel').map(function (p) { return +p.getAttribute('data-group'); }), true), 'groups in order');
  sel.value = 'score'; sel.dispatchEvent(new Event('change'));
  ok(sorted(all('.panel').map(function (p) { return +p.getAttribute('data-score'); }), false), 'groups by score');
  d.querySelectorAll('#site-table th')[3].click();
  ok(sorted(all('#site-table tbody tr').map(function (r) { return +r.cells[3].textContent; }), true), 'sort');
  var f = d.getElementById('site-filter'); f.value = 'g2_sp1'; f.dispatchEvent(new Event('input'));
  var shown = all('#site-table tbody tr').filter(function (r) { return !r.hidden; });
  ok(shown.length == NROWS && shown.every(function (r) { return r.cells[2].textContent == 'g2_sp1'; }), 'filter');
  document.getElementById('out').textContent = out.join('; ');
};
</script></body></html>"""


def chromium():
    return next((shutil.which(b) for b in ("chromium", "chromium-browser", "google-chrome") if shutil.which(b)), None)


def browse(path, exp=None, shot=None):
    exe = chromium()
    flags = [exe, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars"]
    t0 = time.time()
    r = subprocess.run(flags + ["--dump-dom", "file://" + os.path.abspath(path)], capture_output=True, text=True, timeout=180)
    wall = time.time() - t0
    Page.seq_col = -2
    dom = Page(r.stdout)
    state, ms = dom.ready.get("data-state"), dom.ready.get("data-ms")
    print(f"{path}: {os.path.getsize(path)} bytes, script ready after {ms} ms (Chromium run {wall:.2f} s), state {state}")
    check(state == "ready", f"browser: page script did not finish: {state}")
    if exp:
        for c in ("logo", "lane", "sg"):
            check(dom.classes.get(c, 0) == exp[c], f"browser: {dom.classes.get(c, 0)} .{c} in the DOM, expected {exp[c]}")
    if exp:  # click through the page from a harness page that holds it in a frame
        harness = os.path.join(os.path.dirname(os.path.abspath(path)), "harness.html")
        open(harness, "w").write(HARNESS.replace("PAGE", os.path.basename(path)).replace("NROWS", str(exp["g2_sp1"])))
        r = subprocess.run(flags + ["--allow-file-access-from-files", "--dump-dom", "file://" + harness],
                           capture_output=True, text=True, timeout=180)
        out = re.search(r'<div id="out">([^<]*)</div>', r.stdout)
        print("interactions:", out and out.group(1))
        check(out is not None and out.group(1).count("ok ") == 6 and "FAIL" not in out.group(1), "browser: interactions")
    if shot:
        subprocess.run(flags + ["--window-size=1200,2100", "--screenshot=" + os.path.abspath(shot),
                                "file://" + os.path.abspath(path)], capture_output=True, timeout=180)
        check(open(shot, "rb").read(8) == b"\x89PNG\r\n\x1a\n", f"browser: no screenshot {shot}")


if a.page:
    if not chromium():
        sys.exit(77)
    browse(a.page, shot=a.screenshot)
    sys.exit(1 if failures else 0)
if not shutil.which("xmllint") or (a.browser and not chromium()):
    print("SKIP: needs xmllint (libxml2-utils)" + (" and Chromium (chromium)" if a.browser else "") + "; .ci/run installs them")
    sys.exit(77)

def big_report(groups=2000, called=150, length=150, n=3, T=20):
    """big.txt: a generated report of `groups` groups with a module of two sites per species in
    `called` of them, each such group's module posterior v / T with its own v (big.txt_Pm.txt).
    Returns those groups in the order the map must draw them: v descending, then group."""
    rnd = random.Random(5)
    seqs = [["".join(rnd.choice("ACGT") for _ in range(length)) for g in range(groups)] for s in range(n)]
    strength = {g: rnd.randint(1, T) for g in rnd.sample(range(groups), called)}
    modules = "".join(f"{s}\t{g}\t10\t40\t+1(10)+1(30)\n" for g in sorted(strength) for s in range(n))
    sites = "".join(f">{s}\t{g}\t{x}\t1\t0.900\t1.000\n{seqs[s][g][x:x + 10]}\n" for g in sorted(strength) for s in range(n) for x in (10, 30))
    files = {"big.fa": "".join(f">g{g}_sp{s}\n{seqs[s][g]}\n" for s in range(n) for g in range(groups)),
             "big.txt": f"Serevan (beta 1, Nov 2007)\nSerevan -i big.fa -N {n} -K 1 -o big.txt \nAverage likelihood=-1.0\n"
                        f"Post burn-in iterations={T}\n\nPredicted modules:\n{modules}\n\nMotif1:2.0\nA\tC\tG\tT\n"
                        + "0.250\t0.250\t0.250\t0.250\t\n" * 10 + "\nSites:\n" + sites,
             "big.txt_Pm.txt": "".join("\t".join(str(strength.get(g, 0) if 10 <= i < 40 else 0) for i in range(length)) + "\n"
                                       for s in range(n) for g in range(groups))}
    for name, text in files.items():
        open(os.path.join(a.work, name), "w").write(text)
    return sorted(strength, key=lambda g: (-strength[g], g))


def download(text, name):
    """The text of the page's download link named `name`."""
    href = re.search(r'<a download="' + re.escape(name) + r'" href="data:[^,]*,([^"]*)"', text)
    return urllib.parse.unquote(href.group(1)) if href else None


def tool(name):
    return os.path.join(os.path.dirname(a.report), name)


os.makedirs(a.work, exist_ok=True)
ex = os.path.join(a.source, "examples")
for f in ("demo.fa", "demo_aln.fa", "demo_truth.tsv", "demo_motifs_sites.txt", "demo_param.txt", "chr22_piece.maf"):
    shutil.copy(os.path.join(ex, f), a.work)
for f in os.listdir(a.work):
    if re.match(r"(dn|fs|as|mm|mo|odd|g\d|big)\.txt|bad\.html", f):
        os.remove(os.path.join(a.work, f))
db = ["--db", os.path.join(a.source, "tests", "data", "jaspar_sample.jaspar")]
page, exp = make_page("dn", ["-N", "3", "-K", "3", "-n", "200", "-S", "1"], "demo.fa", ["--truth", "demo_truth.tsv"] + db)
if a.browser:
    browse(page, exp, a.screenshot or os.path.join(a.work, "report_demo.png"))
    big_report()  # 2,000 groups: only the ready marker is checked; the time is printed, not judged
    browse(make_page("big", None, "big.fa", ["--no-db"])[0])
    sys.exit(1 if failures else 0)

p = check_page("de novo", page, exp)
text = open(page).read()
check(p.classes.get("truth-lane", 0) == exp["lane"] and p.classes.get("known", 0) == exp["logo"], "de novo: truth lanes, known tables")
meme = [l for l in p.links if l.startswith("data:") and "MEME" in urllib.parse.unquote(l)][0]
check("letter-probability matrix: alength= 4 w= " in urllib.parse.unquote(meme), "de novo: MEME download")
# JASPAR downloads hold the letter counts of each motif's called sites.
report = open(os.path.join(a.work, "dn.txt")).read()
for k, body in re.findall(r"^Motif(\d+):.*?\nSites:\n(.*?)(?=\n\n|\Z)", report, re.S | re.M):
    letters = re.findall(r"^>.*\n(\w+)$", body, re.M)
    want = ["ACGT"[b] + "  [ " + " ".join(str(sum(w[j] == "ACGT"[b] for w in letters)) for j in range(len(letters[0]))) + " ]"
            for b in range(4)]
    got = (download(text, f"serevan_motif_{k}.jaspar") or "").splitlines()[1:]
    check(got == want, f"de novo: JASPAR counts of motif {k}: {got[:1]}, expected {want[:1]}")
# Each planted motif in the colour of the called motif it looks like (all three are found here).
swatch = dict(re.findall(r'id="run1-motif(\d+)"><h3><span class="sw" style="background:([^"]+)"', text))
planted = set(re.findall(r'<polygon class="tsite" fill="([^"]+)" points="[^"]*"><title>planted motif (\d+) [+-]\d+ \(like motif (\d+)', text))
check(len(planted) == 3 and len({x[1] for x in planted}) == 3 and all(swatch.get(k) == c for c, _, k in planted),
      f"de novo: planted colours {sorted(planted)}, cards {swatch}")
p = check_page("scan -F", *make_page("fs", ["-N", "3", "-K", "3", "-F", "-A", "demo_motifs_sites.txt", "-L", "200", "-n", "50", "-S", "1"], "demo.fa"))
text = open(os.path.join(a.work, "fs.html")).read()
check("built in: JASPAR CORE vertebrates" in text and "</code> (205)" in text and p.classes.get("known", 0) == 3, "scan -F: the built-in database")
check_page("aligned scan -P", *make_page("as", ["-N", "3", "-K", "3", "-P", "demo_param.txt", "-S", "1"], "demo_aln.fa",
                                          ["--truth", "demo_truth.tsv", "--scan-group", "0"]))
check_page("two -m runs", *make_page("mm", ["-N", "3", "-K", "3", "-n", "20", "-m", "2", "-S", "1"], "demo.fa"))
p = check_page("motif mode, no modules", *make_page("mo", ["-N", "3", "-K", "3", "-n", "20", "-s", "-S", "1"], "demo.fa", ["--no-db"]))
check(p.classes.get("known", 0) == 0, "--no-db: known motifs listed")

# Genome positions: three chains on groups of the MAF piece, the best one's page with its groups
# table and the chains' summary. Its BED downloads are serevan-export's; its table shows the same
# positions; every card says how many chains found its motif.
r = run([tool("serevan-prep"), "maf", "chr22_piece.maf", "--species", "hg17,mm5,rn3", "--offset", "hg17=14499999", "-o", "g"])
check(r.returncode == 0, f"serevan-prep maf: {r.stderr}")
for seed in (3, 4, 7):
    run([a.serevan, "-i", "g.fa", "-N", "3", "-K", "2", "-n", "100", "-S", str(seed), "-o", f"g{seed}.txt"])
r = run([tool("serevan-chains"), "g3.txt", "g4.txt", "g7.txt", "--json", "-o", "g.json"])
chains = json.load(open(os.path.join(a.work, "g.json")))
best = chains["best"][:-4]
page, exp = make_page(best, None, "g.fa", ["--groups", "g.groups.tsv", "--chains", "g.json"])
p, text = check_page("genome", page, exp), open(page).read()
for sp in ("hg17", "mm5", "rn3"):
    r = run([tool("serevan-export"), "sites", best + ".txt", "-i", "g.fa", "--groups", "g.groups.tsv", "--species", sp, "--format", "bed"])
    check(r.returncode == 0 and download(text, sp + ".bed") == r.stdout and r.stdout.count("\n") > 10, f"genome: {sp}.bed is not serevan-export's")
bed = {f"{f[0]}:{int(f[1]) + 1}-{f[2]}{f[5]}" for f in map(str.split, download(text, "hg17.bed").splitlines()) if f[3] != "module"}
rows = zip(p.columns["species"], p.columns["genome position"], p.columns["genome strand"])
check({g + st for sp, g, st in rows if sp == "0"} == bed, "genome: the table's hg17 positions are not the BED's")
check(html.escape(chains["verdict"]) in text, "genome: the chains' verdict")
for m in chains["motifs"]:
    card = re.search(r'id="run1-motif%d".*?(?=<div class="card|</section>)' % m["motif"], text, re.S).group(0)
    check(f'found by {m["chains_found"]} of {len(chains["chains"])}<' in card, f"genome: motif {m['motif']} chain count")

# 2,000 groups, modules in 150: one panel per group with calls, strongest first; the rest folded.
order = big_report()
for panels in (200, 100):
    page, exp = make_page("big", None, "big.fa", ["--no-db", "--panels", str(panels)], panels=panels)
    p = check_page(f"2,000 groups, --panels {panels}", page, exp)
    check([x[0] for x in p.panels] == order[:panels] and exp["folded"] == 1850, f"big: panel order {[x[0] for x in p.panels][:5]}")
    check(p.counts.get("undrawn", 0) == max(0, 150 - panels), f"big: {p.counts.get('undrawn', 0)} groups with calls not drawn")
    print(f"2,000-group page, --panels {panels}: {os.path.getsize(page)} bytes, {len(p.panels)} panels, {p.counts.get('folded')} groups folded")

# A hand-made report: odd record names, soft-masked letters and a (CA)n repeat, a motif not
# found, most sites in one group, one panel drawn of three groups (one with nothing called).
names = ['a<b&c"d\'e', "x&amp;y", "plain", "<i>z", "q\"r", "last"]
seq = "ACgt" + "ca" * 8 + "CA" * 20
with open(os.path.join(a.work, "odd.fa"), "w") as f:
    f.write("".join(f">{n} free text\n{seq}\n" for n in names))
open(os.path.join(a.work, "odd_upper.fa"), "w").write(open(os.path.join(a.work, "odd.fa")).read().upper())
sites = "".join(f">{s}\t{g}\t2\t1\t0.900\t0.800\nGT\n" for s in (0, 1) for g in (0, 1)) + ">0\t0\t8\t-1\t0.700\t0.600\nTG\n"
with open(os.path.join(a.work, "odd.txt"), "w") as f:
    f.write("Serevan (beta 1, Nov 2007)\nSerevan -i odd.fa -N 2 -K 2 -o odd.txt \nAverage likelihood=-1.5\n"
            "Post burn-in iterations=10\n\nPredicted modules:\n0\t0\t2\t8\t+1(2)\n1\t0\t2\t8\t-1(2)\n\n"
            "Motif1:3.5\nA\tC\tG\tT\n0.000\t0.000\t0.800\t0.200\t\n0.000\t0.000\t0.200\t0.800\t\n\nSites:\n"
            + sites + "\nMotif2 not found\n")
with open(os.path.join(a.work, "odd.txt_Pm.txt"), "w") as f:
    f.write("".join("\t".join(["5"] * len(seq)) + "\n" for _ in names))
page, exp = make_page("odd", None, "odd.fa", ["--panels", "1"], panels=1)
p, text = check_page("odd names", page, exp, [names[i] for i in (0, 1, 3, 4)]), open(page).read()
check(p.counts.get("undrawn") == 1 and "1 more group with calls is not drawn (the 1 strongest are; --panels): 1." in text,
      "odd: the undrawn group with calls is listed")
check(p.counts.get("folded") == 1 and "1 group with nothing called</summary><p>2</p>" in text, "odd: the empty group is folded")
# Letters in the input's case; a site is in a tandem repeat when serevan-prep mask lower-cases most of it.
run([tool("serevan-prep"), "mask", "odd_upper.fa", "-o", "odd_masked.fa"])
masked = open(os.path.join(a.work, "odd_masked.fa")).read().split("\n")[1]
tsv = [l.split("\t") for l in download(text, "sites.tsv").splitlines()[1:]]
want = [("gt", masked[2:4]), ("gt", masked[2:4]), ("gt", masked[2:4]), ("gt", masked[2:4]), ("tg", masked[8:10])]
check([(r[6], r[9]) for r in tsv] == [(w, "tandem repeat" if sum(c.islower() for c in m) > 1 else "") for w, m in want]
      and tsv[4][9] == "tandem repeat", f"odd: letters and repeat flags {[(r[6], r[9]) for r in tsv]}")
flagged = sum(r[9] == "tandem repeat" for r in tsv)
check(f"Most sites come from one group: 3 of 5 in group 0.</p><p class=\"warn repeats\">{flagged} of 5 sites lie in tandem repeats."
      in text, "odd: motif warnings")

# Bad input: one line on standard error, status 1, no page.
open(os.path.join(a.work, "odd.txt_Pm.txt"), "a").write("0\n")
open(os.path.join(a.work, "short.fa"), "w").write("".join(f">s{i}\nACGTACGTAC\n" for i in range(3)))
open(os.path.join(a.work, "bad.json"), "w").write('{"verdict": "converged",\n "chains": [}')
open(os.path.join(a.work, "odd.json"), "w").write(json.dumps(dict(chains, motifs=[{"motif": 3, "chains_found": 1}])))
for args, what in ((["odd.txt", "-i", "odd.fa"], "lines do not fit"), (["odd.txt"], "-i INPUT.fa"),
                   (["odd.txt", "-i", "demo_aln.fa"], "do not fit the run's -N"), (["as.txt", "-i", "short.fa"], "outside the input"),
                   (["dn.txt", "-i", "demo.fa", "--groups", "g.groups.tsv"], "the table is not of this input"),
                   (["dn.txt", "-i", "demo.fa", "--chains", "bad.json"], "bad.json line 2: not a JSON value"),
                   (["dn.txt", "-i", "demo.fa", "--chains", "g.json"], "give the chosen chain's report or the consensus"),
                   ([best + ".txt", "-i", "g.fa", "--chains", "odd.json"], "motif 3 of the best chain is not a found motif"),
                   (["dn.txt", "-i", "demo.fa", "--no-db", "--db", "x.jaspar"], "--db FILE or --no-db, not both")):
    r = run([a.report] + args + ["-o", "bad.html"])
    check(r.returncode == 1 and r.stderr.startswith("serevan-report: error:") and what in r.stderr
          and r.stderr.count("\n") == 1 and not os.path.exists(os.path.join(a.work, "bad.html")), f"bad input {args}: {r.stderr}")
print("FAILED:" if failures else "all page checks passed", len(failures) or "")
sys.exit(1 if failures else 0)
