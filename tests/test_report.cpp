// Readers of run reports: serevan-chains on hand-made reports; serevan-report's logo geometry,
// escaping, JSON reader, genome mapping, strand letters and whole counts (its page is checked
// by report_page_test.py, its motif match by Eval.*).
#include <array>
#include <filesystem>

#include "common/Chains.h"
#include "common/HtmlReport.h"
#include "common/JsonValue.h"
#include "common/LogoGeometry.h"
#include "common/MotifCounts.h"
#include "common/ReportExtras.h"
#include "support/Support.h"

using namespace sertools;

namespace {

const std::string W1 = "ACGTACGGTCAT", W2 = "TTGACCAGGATG", W1rc = "ATGACCGTACGT";

using Site = std::array<int, 4>;                          // species, group, position, strand
using Motif = std::pair<std::string, std::vector<Site>>;  // word (empty: not found) and sites

// A report as the program writes it: the sites' letter frequencies, 1 on the word's base.
std::string Report(double likelihood, const std::vector<Motif>& motifs, const std::string& modules,
                   const std::string& options = "")
{
    std::string t = Format("%s\nSerevan -i data/in.fa -N 2 -K %zu%s -o x \nAverage likelihood=%.4f\n", kReportBanner,
                           motifs.size(), options.c_str(), likelihood);
    t += "Post burn-in iterations=50\n\nPredicted modules:\n" + modules + "\n\n";
    for (std::size_t k = 0; k < motifs.size(); ++k) {
        const std::string& w = motifs[k].first;
        t += w.empty() ? Format("\nMotif%zu not found\n", k + 1)
                       : Format("\nMotif%zu:%.4f\nA\tC\tG\tT\n", k + 1, 10.0 + k);
        for (char c : w)
            for (char b : std::string("ACGT\n")) t += b == '\n' ? "\n" : c == b ? "1.000\t" : "0.000\t";
        t += w.empty() ? "" : "\nSites:\n";
        for (const Site& s : motifs[k].second)
            t += Format(">%d\t%d\t%d\t%d\t1.000\t1.000\n%s\n", s[0], s[1], s[2], s[3], w.c_str());
    }
    return t;
}

// Best chain: W1 at two sites, W2 at one, two modules (the first with a W1 and the W2 site). The
// second chain finds W2 and W1 on the other strand, agreeing on one W1 site, the W2 site and one
// module; the third finds nothing; the fourth is the second with its W2 site elsewhere.
const std::string kBest = Report(-100, {{W1, {{0, 0, 10, 1}, {1, 0, 12, 1}}}, {W2, {{0, 0, 30, -1}}}},
                                 "0\t0\t10\t42\t+1(10)-2(30)\n1\t0\t12\t24\t+1(12)\n");
const std::string kOther = Report(-110, {{W2, {{0, 0, 31, 1}}}, {W1rc, {{0, 0, 11, -1}}}}, "0\t0\t9\t23\t-2(11)\n");
const std::string kNothing = Report(-120, {{"", {}}, {"", {}}}, "");
const std::string kMoved = Report(-110, {{W2, {{0, 0, 200, 1}}}, {W1rc, {{0, 0, 11, -1}}}}, "0\t0\t9\t23\t-2(11)\n");

}  // namespace

// Files and runs in one file: the best chain's motifs matched in every chain (W1 is the second's
// motif 2, reverse complemented), agreement, verdict; a repeated run counted once; runs of other
// options or input contents refused; the consensus and its side files (sites, modules, the best
// run's block of the module posterior); refusals write nothing.
TEST(Chains, AgreementAcrossStrandsFilesAndRuns)
{
    support::TempDir dir("chains");
    auto with = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    // m.txt: three -m runs in one file; d.txt: a chain of another -N, e.txt: of -c, i.txt: of
    // another input file, j.txt: of a copy of the input, r.txt: a repeat of a.txt (another -o).
    const std::string texts[] = {kBest,
                                 kOther,
                                 kNothing,
                                 kOther + kNothing + kBest,
                                 kNothing + with(kNothing, "-120", "-121"),
                                 with(kOther, "-N 2", "-N 3"),
                                 with(kOther, "-o x", "-c -o x"),
                                 with(kOther, "data/in.fa", "other/in.fa"),
                                 with(kOther, "data/in.fa", "data/copy.fa"),
                                 with(kBest, "-o x", "-o y -S 1"),
                                 kMoved};
    for (int i = 0; i < 11; ++i) support::WriteFile(dir.File(std::string(1, "abcmndeijrf"[i]) + ".txt"), texts[i]);
    std::filesystem::create_directories(dir.Path() / "data");
    std::filesystem::create_directories(dir.Path() / "other");
    for (const char* f : {"data/in.fa", "data/copy.fa", "other/in.fa"})
        support::WriteFile(dir.File(f), f[0] == 'o' ? ">a\nACGA\n" : ">a\nACGT\n");
    // Module posteriors: one block of 2 lines in a.txt's, three in m.txt's (its best run is the third).
    support::WriteFile(dir.File("a.txt_Pm.txt"), "1\t2\t\n3\t4\t\n");
    support::WriteFile(dir.File("m.txt_Pm.txt"), "0\t\n0\t\n1\t\n1\t\n5\t\n6\t\n");
    // Chains tables of -C: the kept chain is b.txt's (-110), none, one not given, not a table.
    const std::string head = "chain\tseed\taverage_loglik\taverage_logpost\tkept\n";
    for (const auto& [name, text] : {std::pair{"kb.tsv", head + "0\t1\t-100.0000\t-1\tno\n1\t2\t-110.0000\t-1\tyes\n"},
                                     {"kn.tsv", head + "0\t1\t-100.0000\t-1\tno\n"},
                                     {"kx.tsv", head + "0\t1\t-105.0000\t-1\tyes\n"},
                                     {"kz.tsv", std::string("chain\tkept\n")},
                                     {"xchains.txt", kBest + kOther},
                                     {"xchains.tsv", head + "0\t1\t-100.0000\t-1\tyes\n"}})
        support::WriteFile(dir.File(name), text);
    const std::string tool = SEREVAN_CHAINS_BIN, at = dir.Path().string();
    // The table's two motif rows, given each one's matches (chain:motif strand correlation).
    const auto rows = [](const std::string& m1, const std::string& m2) {
        return "\n1\t12\t10.0000\t2/3\t0.500\t2\t0.500\t0\t" + m1 + "\n2\t12\t11.0000\t2/3\t0.500\t1\t0.667\t0\t" + m2;
    };
    // Consensus at a share of 0.6: without the site and module only one chain calls. With the
    // moved W2 site: W2 not found, and the first module drawn around its one kept site.
    const std::string cut =
        with(with(kBest, ">1\t0\t12\t1\t1.000\t1.000\n" + W1 + "\n", ""), "1\t0\t12\t24\t+1(12)\n", "");
    const std::string moved = with(with(cut, "0\t0\t10\t42\t+1(10)-2(30)", "0\t0\t10\t22\t+1(10)"),
                                   cut.substr(cut.find("\nMotif2:")), "\nMotif2 not found\n");
    const std::string agreed = "a.txt b.txt c.txt --share 0.6 --agree 0.6";
    // args, a text of the summary or of a message, the consensus and its side files (k.txt,
    // motif1, motif2, module, _Pm; empty: not compared).
    const std::tuple<std::string, std::string, std::vector<std::string>> cases[] = {
        {agreed,
         "converged: 2 of 2 motifs found by >= 60 % of chains",
         {cut, "0\t0\t10\t1\t1.000\t1.000\n", "0\t0\t30\t-1\t1.000\t1.000\n", "0\t0\t10\t42\n", "1\t2\t\n3\t4\t\n"}},
        {"a.txt f.txt c.txt --share 0.6 --agree 0.6",
         "\t1\t0.333\t0\t1:2+1.000 2:1+1.000 3:none",
         {moved, "0\t0\t10\t1\t1.000\t1.000\n", "", "0\t0\t10\t22\n", "1\t2\t\n3\t4\t\n"}},
        {"a.txt b.txt c.txt --agree 0.01", "converged", {kBest}},
        {"a.txt b.txt c.txt --agree 0.01 --kept kb.tsv",
         "the best (the one the program kept) is b.txt",
         {with(kOther, "0\t0\t9\t23", "0\t0\t11\t23")}},
        {"a.txt b.txt --kept kn.tsv", "kn.tsv: no chain marked kept", {}},
        {"a.txt b.txt --kept kx.tsv", "kx.tsv: its kept chain (average likelihood -105.0000) is none of the given", {}},
        {"a.txt b.txt --kept kz.tsv", "kz.tsv: not a chains table of the program", {}},
        {"xchains.txt", "note: xchains.tsv names the chain the program kept; --kept xchains.tsv compares", {}},
        {"m.txt --agree 0.01", "converged", {kBest, "", "", "", "5\t\n6\t\n"}},
        {"a.txt b.txt c.txt", rows("1:1+1.000 2:2-1.000 3:none", "1:2+1.000 2:1+1.000 3:none"), {}},
        {"m.txt", rows("1:2-1.000 2:none 3:1+1.000", "1:1+1.000 2:none 3:2+1.000"), {}},
        {"m.txt", "mean agreement 0.500, 0 called by >= 75 % of chains\n\nnot converged: 0 of 2 motifs found", {}},
        {"n.txt", "nothing found: none of the 2 chains found a motif", {}},
        {agreed + " r.txt",
         "note: r.txt repeats a.txt (the same report apart from the command line); counted once",
         {}},
        {agreed + " r.txt", "converged: 2 of 2 motifs found by >= 60 % of chains", {cut}},
        {"a.txt b.txt j.txt", "converged", {}},
        {"a.txt a.txt", "give the reports of at least two chains", {}},
        {"a.txt d.txt", "d.txt was run with -N 3 but a.txt with -N 2: not chains of one input", {}},
        {"a.txt e.txt", "e.txt was run with -c but a.txt without -c: not chains of one input", {}},
        {"a.txt i.txt",
         "i.txt was run with -i other/in.fa but a.txt with -i data/in.fa (the files differ): not chains of one input",
         {}},
        {"a.txt", "give the reports of at least two chains", {}},
        {"a.txt a.txt --agree 0", "--agree must be above 0 and at most 1", {}},
    };
    const std::string sides[] = {"", "motif1.txt", "motif2.txt", "module.txt", "_Pm.txt"};
    for (const auto& [args, message, consensus] : cases) {
        const support::RunResult r = support::RunCommand(tool + " " + args + " --consensus k.txt", at);
        EXPECT_NE((r.output + r.error).find(message), std::string::npos) << args << r.output << r.error;
        EXPECT_EQ(support::Exists(dir.File("k.txt")), r.status == 0) << args;
        for (std::size_t f = 0; f < consensus.size(); ++f) {
            if (f == 0 || !consensus[f].empty()) {
                EXPECT_EQ(support::ReadFile(dir.File("k.txt" + sides[f])), consensus[f]) << args << " " << sides[f];
            }
        }
        for (const std::string& side : sides) std::filesystem::remove(dir.File("k.txt" + side));
    }
    // The chosen chain alone, out of a file of several runs.
    ASSERT_EQ(support::RunCommand(tool + " m.txt --best b1.txt", at).status, 0);
    EXPECT_EQ(support::ReadFile(dir.File("b1.txt")), kBest);
    EXPECT_EQ(support::ReadFile(dir.File("b1.txt_Pm.txt")), "5\t\n6\t\n");
}

// A logo column: its information in bits, then each letter's height (frequency x information)
// bottom up. Entropies by hand: (1/2,1/2) 1 bit, (1/2,1/4,1/4) 1.5, (.1,.2,.3,.4) 1.846439.
TEST(ReportLogo, HeightsAreFrequencyTimesInformation)
{
    const std::pair<std::vector<double>, const char*> rows[] = {
        {{0.25, 0.25, 0.25, 0.25}, "0.000000: A0.000000 C0.000000 G0.000000 T0.000000"},
        {{1, 0, 0, 0}, "2.000000: C0.000000 G0.000000 T0.000000 A2.000000"},
        {{0, 0, 0, 7}, "2.000000: A0.000000 C0.000000 G0.000000 T2.000000"},  // counts: normalised first
        {{2, 2, 0, 0}, "1.000000: G0.000000 T0.000000 A0.500000 C0.500000"},
        {{0.5, 0.25, 0.25, 0}, "0.500000: T0.000000 C0.125000 G0.125000 A0.250000"},
        {{0.1, 0.2, 0.3, 0.4}, "0.153561: A0.015356 C0.030712 G0.046068 T0.061424"},
    };
    for (const auto& [p, want] : rows) {
        const LogoColumn c = LayoutColumn(p.data());
        std::string got = Format("%.6f:", c.information);
        for (const LogoLetter& l : c.letters) got += Format(" %c%.6f", "ACGT"[l.base], l.height);
        EXPECT_EQ(got, want);
    }
    sertools::Motif m;
    m.p = {1, 0, 0, 0, 0.1, 0.2, 0.3, 0.4, 0.25, 0.25, 0.25, 0.25};
    EXPECT_EQ(Consensus(m), "Ata");
    // Escaping of names in the page and of the downloads' data URLs.
    EXPECT_EQ(HtmlEscape("a<b & \"c\" 'd'>"), "a&lt;b &amp; &quot;c&quot; &#39;d&#39;&gt;");
    EXPECT_EQ(TextDataUrl("A b\t<&>\n%"), "data:text/plain;charset=utf-8,A%20b%09%3C%26%3E%0A%25");
}

// The JSON reader: values, escapes (UTF-8 out, surrogate pairs), the last of a repeated key; every
// malformed text refused with its line.
TEST(ReportInputs, JsonValuesAndRefusals)
{
    JsonValue v;
    std::string err;
    ASSERT_TRUE(ParseJson(
        " {\"k\": [0, -2.5e1, \"a\\\"\\u00e9\\ud83d\\ude00\\n\", true, null], \"o\": {}, \"k\": [7]}\n", "j", v, err))
        << err;
    ASSERT_EQ(v.Member("k")->items.size(), 1u);
    EXPECT_EQ(v.Member("k")->items[0].number, 7);
    const JsonValue& first = v.members[0].value;
    EXPECT_EQ(first.items[1].number, -25);
    EXPECT_EQ(first.items[2].text, "a\"\xC3\xA9\xF0\x9F\x98\x80\n");
    EXPECT_TRUE(first.items[3].boolean && first.items[4].kind == JsonValue::Kind::Null && !v.Member("x"));
    EXPECT_TRUE(ParseJson(std::string(100, '[') + std::string(100, ']'), "j", v, err)) << err;
    const std::pair<std::string, const char*> bad[] = {
        {"[1,]", "j line 1: not a JSON value"},
        {"{\n\"a\" 1}", "j line 2: ':' expected after a member name"},
        {"{\"a\": 1 \"b\": 2}", "',' or '}' expected in an object"},
        {"[01]", "not a JSON value"},
        {"[1.]", "digits expected after '.'"},
        {"\"abc", "a string is not closed"},
        {"\"\\x\"", "an unknown escape in a string"},
        {"\"\\ud800x\"", "a lone surrogate"},
        {"\"\\u12g4\"", "\\u must be followed by four hexadecimal digits"},
        {"\"a\tb\"", "a control character inside a string"},
        {"[1] 2", "text after the JSON value"},
        {"", "a value is missing"},
        {std::string(101, '[') + std::string(101, ']'), "nested more than 100 levels deep"},
    };
    for (const auto& [text, message] : bad) {
        err.clear();
        EXPECT_FALSE(ParseJson(text, "j", v, err)) << text;
        EXPECT_NE(err.find(message), std::string::npos) << text << ": " << err;
    }
}

// Record positions to genome positions: forward and reverse rows, a call across two segments,
// a module (no strand); letters read on a strand keep the input's case; whole counts keep the
// column sums (ties to the earlier base).
TEST(ReportInputs, GenomePositionsLettersAndCounts)
{
    GenomeMap map;
    map.segments = {{GroupSegment{0, 0, 0, 100, "hg17.chr1", 1000, 1100, '+'},
                     GroupSegment{0, 0, 100, 50, "hg17.chr2", 5000, 5050, '-'}}};
    const std::tuple<long long, long long, int, std::string> cases[] = {{10, 20, 1, "chr1 1010 1020 1"},
                                                                        {100, 110, 1, "chr2 5040 5050 -1"},
                                                                        {140, 150, -1, "chr2 5000 5010 1"},
                                                                        {0, 5, 0, "chr1 1000 1005 0"},
                                                                        {95, 105, 1, "none"},
                                                                        {0, 151, 1, "none"}};
    for (const auto& [start, end, strand, want] : cases) {
        GenomeSpan g;
        EXPECT_EQ(map.Map(0, start, end, strand, g)
                      ? Format("%s %lld %lld %d", g.chrom.c_str(), g.start, g.end, g.strand)
                      : "none",
                  want);
    }
    EXPECT_EQ(StrandLetters("ACgtN", 1, 3, 1), "Cgt");
    EXPECT_EQ(StrandLetters("ACgtN", 1, 4, -1), "NacG");
    EXPECT_EQ(StrandLetters("ACgtN", 3, 3, 1), "");
    motifio::Motif m;
    m.p = {0.054, 0.536, 0.321, 0.089, 0.5, 0.5, 0, 0, 0, 0, 0, 0};
    m.sites = 56;
    RoundToSiteCounts(m);
    std::string counts;
    for (double x : m.p) counts += Format("%g ", x * m.sites);
    EXPECT_EQ(counts, "3 30 18 5 28 28 0 0 14 14 14 14 ");
    m.sites = 3;
    m.p = {0.5, 0.5, 0, 0};
    RoundToSiteCounts(m);
    EXPECT_EQ(m.p, (std::vector<double>{2.0 / 3, 1.0 / 3, 0, 0}));
}
