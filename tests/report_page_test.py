#!/usr/bin/python3
"""serevan-report end to end: runs the program in every mode on the example, makes a page of
each result and checks it (xmllint, counts against the report text, nothing outside the file,
escaping, error exits); with --browser opens the de novo page in headless Chromium, reads the
DOM back and writes a screenshot. --page FILE only measures a given page in the browser.
Exit 77 (skipped) when xmllint or Chromium is missing."""
import argparse, html.parser, os, re, shutil, subprocess, sys, time, urllib.parse

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
    """Class counts, every href/src, every url( in styles, the site table's sequence cells."""
    def __init__(self, text):
        super().__init__()
        self.classes, self.links, self.styles, self.cells, self.ready = {}, [], [], [], {}
        self.in_style, self.col, self.in_table = False, -1, False
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        d = dict(attrs)
        for c in (d.get("class") or "").split():
            self.classes[c] = self.classes.get(c, 0) + 1
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
        if self.in_table and self.col == self.seq_col:
            self.cells.append(data)

    def handle_endtag(self, tag):
        self.in_style = False if tag == "style" else self.in_style
        self.in_table = False if tag == "table" else self.in_table


def expected(report_txt, fasta, panels=200):
    text = open(report_txt).read()
    runs = text.count("Serevan (beta 1, Nov 2007)")
    n = int(re.search(r" -N (\d+)", text).group(1))
    g = open(fasta).read().count(">") // n
    return dict(logo=len(re.findall(r"^Motif\d+:", text, re.M)), sg=len(re.findall(r"^>\d+\t\d+\t\d+\t-?1\t", text, re.M)),
                lane=runs * n * min(g, panels), g2_sp1=len(re.findall(r"^>1\t2\t", text, re.M)), notfound=len(re.findall(r"^Motif\d+ not found$", text, re.M)), runs=runs)


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
    for c in ("logo", "lane", "sg"):
        check(p.classes.get(c, 0) == exp[c], f"{name}: {p.classes.get(c, 0)} .{c}, expected {exp[c]}")
    check(p.classes.get("notfound", 0) == exp["notfound"], f"{name}: not-found cards")
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
  var sel = d.getElementById('sort-groups'); sel.value = 'score'; sel.dispatchEvent(new Event('change'));
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
        check(out is not None and out.group(1).count("ok ") == 5 and "FAIL" not in out.group(1), "browser: interactions")
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

os.makedirs(a.work, exist_ok=True)
ex = os.path.join(a.source, "examples")
for f in ("demo.fa", "demo_aln.fa", "demo_truth.tsv", "demo_motifs_sites.txt", "demo_param.txt"):
    shutil.copy(os.path.join(ex, f), a.work)
for f in os.listdir(a.work):
    if re.match(r"(dn|fs|as|mm|mo|odd)\.txt", f):
        os.remove(os.path.join(a.work, f))
db = ["--db", os.path.join(a.source, "tests", "data", "jaspar_sample.jaspar")]
page, exp = make_page("dn", ["-N", "3", "-K", "3", "-n", "200", "-S", "1"], "demo.fa", ["--truth", "demo_truth.tsv"] + db)
if a.browser:
    browse(page, exp, a.screenshot or os.path.join(a.work, "report_demo.png"))
    sys.exit(1 if failures else 0)

p = check_page("de novo", page, exp)
check(p.classes.get("truth-lane", 0) == exp["lane"] and p.classes.get("known", 0) == exp["logo"], "de novo: truth lanes, known tables")
meme = [l for l in p.links if l.startswith("data:") and "MEME" in urllib.parse.unquote(l)][0]
check("letter-probability matrix: alength= 4 w= " in urllib.parse.unquote(meme), "de novo: MEME download")
check_page("scan -F", *make_page("fs", ["-N", "3", "-K", "3", "-F", "-A", "demo_motifs_sites.txt", "-L", "200", "-n", "50", "-S", "1"], "demo.fa"))
check_page("aligned scan -P", *make_page("as", ["-N", "3", "-K", "3", "-P", "demo_param.txt", "-S", "1"], "demo_aln.fa",
                                          ["--truth", "demo_truth.tsv", "--scan-group", "0"]))
check_page("two -m runs", *make_page("mm", ["-N", "3", "-K", "3", "-n", "20", "-m", "2", "-S", "1"], "demo.fa"))
check_page("motif mode, no modules", *make_page("mo", ["-N", "3", "-K", "3", "-n", "20", "-s", "-S", "1"], "demo.fa"))

# A hand-made report: odd record names, a motif not found, two panels drawn of three groups.
names = ['a<b&c"d\'e', "x&amp;y", "plain", "<i>z", "q\"r", "last"]
with open(os.path.join(a.work, "odd.fa"), "w") as f:
    f.write("".join(f">{n} free text\nACGTACGTACGTACGTACGT\n" for n in names))
sites = "".join(f">{s}\t{g}\t2\t1\t0.900\t0.800\nGT\n" for s in (0, 1) for g in (0, 1))
with open(os.path.join(a.work, "odd.txt"), "w") as f:
    f.write("Serevan (beta 1, Nov 2007)\nSerevan -i odd.fa -N 2 -K 2 -o odd.txt \nAverage likelihood=-1.5\n"
            "Post burn-in iterations=10\n\nPredicted modules:\n0\t0\t2\t8\t+1(2)\n1\t0\t2\t8\t-1(2)\n\n"
            "Motif1:3.5\nA\tC\tG\tT\n1.000\t0.000\t0.000\t0.000\t\n0.250\t0.250\t0.250\t0.250\t\n\nSites:\n"
            + sites + "\nMotif2 not found\n")
with open(os.path.join(a.work, "odd.txt_Pm.txt"), "w") as f:
    f.write("".join("\t".join(["5"] * 20) + "\n" for _ in names))
page, exp = make_page("odd", None, "odd.fa", ["--panels", "2"], panels=2)
check_page("odd names", page, exp, [names[i] for i in (0, 1, 3, 4)])
check("Group 2 is not drawn" in open(page).read(), "odd: the undrawn groups are listed")

# Bad input: one line on standard error, status 1, no page.
open(os.path.join(a.work, "odd.txt_Pm.txt"), "a").write("0\n")
open(os.path.join(a.work, "short.fa"), "w").write("".join(f">s{i}\nACGTACGTAC\n" for i in range(3)))
for args, what in ((["odd.txt", "-i", "odd.fa"], "lines do not fit"), (["odd.txt"], "-i INPUT.fa"),
                   (["odd.txt", "-i", "demo_aln.fa"], "do not fit the run's -N"), (["as.txt", "-i", "short.fa"], "outside the input")):
    r = run([a.report] + args + ["-o", "bad.html"])
    check(r.returncode == 1 and r.stderr.startswith("serevan-report: error:") and what in r.stderr
          and r.stderr.count("\n") == 1 and not os.path.exists(os.path.join(a.work, "bad.html")), f"bad input {args}: {r.stderr}")
print("FAILED:" if failures else "all page checks passed", len(failures) or "")
sys.exit(1 if failures else 0)
