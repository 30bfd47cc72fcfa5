// The companion tools' refusals in one table; serevan-prep and serevan-export against a short
// script, Biopython and bedtools as reference clients; serevan-prep mask.
#include <filesystem>
#include <map>
#include <random>

#include "common/LowComplexity.h"
#include "common/RunReport.h"
#include "motif/MotifFormats.h"
#include "support/Support.h"

using support::RunCommand;
using namespace std::string_literals;

namespace {

const std::string kPrep = SEREVAN_PREP_BIN;
const std::string kExport = SEREVAN_EXPORT_BIN;
const std::string kSample = support::kSourceDir + "/tests/data/jaspar_sample.jaspar";
const std::string kGenome = support::kSourceDir + "/tests/data/hg17_chr22_first6k.fa";

// Matrices as one list: each matrix's frequencies 4j + b, then -1.
using Matrices = std::vector<double>;

// Biopython's reading of a motif file.
Matrices BiopythonMatrices(const std::string& file, const std::string& format)
{
    const std::string script =
        "import sys\nfrom Bio import motifs\nfor m in motifs.parse(open(sys.argv[1]), sys.argv[2]):\n"
        "    c = m.counts\n    n = [sum(c[b][j] for b in 'ACGT') for j in range(m.length)]\n"
        "    print(' '.join('%.6f' % (c[b][j] / n[j]) for j in range(m.length) for b in 'ACGT'), -1)\n";
    support::RunResult r = RunCommand("/usr/bin/python3 -c \"" + script + "\" '" + file + "' " + format);
    EXPECT_EQ(r.status, 0) << r.error;
    Matrices out;
    std::istringstream in(r.output);
    for (double x; in >> x;) out.push_back(x);
    return out;
}

Matrices OurMatrices(const std::string& file)
{
    std::vector<motifio::Motif> motifs;
    std::string err;
    EXPECT_TRUE(motifio::ReadMotifs(file, motifio::MotifFormat::Unknown, motifs, nullptr, err)) << err;
    Matrices out;
    for (const motifio::Motif& m : motifs) {
        out.insert(out.end(), m.p.begin(), m.p.end());
        out.push_back(-1);
    }
    return out;
}

void ExpectSameMatrices(const Matrices& a, const Matrices& b, double tolerance, const std::string& label)
{
    ASSERT_EQ(a.size(), b.size()) << label;
    for (size_t k = 0; k < a.size(); ++k) EXPECT_NEAR(a[k], b[k], tolerance) << label << " " << k;
}

}  // namespace

// The sequences of a FASTA file, one text per record (the simulator's tests use it too).
std::vector<std::string> FastaRecords(const std::string& file)
{
    std::vector<std::string> out;
    for (const std::string& line : support::Lines(support::ReadFile(file)))
        line[0] == '>' ? out.emplace_back() : out.back() += line;
    return out;
}

// The reverse complement of a text of bases, keeping their case (the simulator's tests use it too).
std::string ReverseComplement(const std::string& bases)
{
    std::string r(bases.rbegin(), bases.rend());
    for (char& c : r) c = "TGCAtgca"[std::string("ACGTacgt").find(c)];
    return r;
}

// Every refusal of the tools: status 1, no output, one line naming the fault after "serevan-TOOL:
// error: ", no file made or changed (old outputs stay); run beside a simulated set t, a two-report
// file r.txt of the input s.fa (a row may first replace a text in it, and write a side file) and
// broken files. Then the report, a groups table and files to group accepted.
TEST(Tools, RefusalsNameTheFaultAndLeaveNothing)
{
    const std::string report =
        "Serevan (beta 1, Nov 2007)\n./Serevan -i s.fa -N 2 -K 1\nAverage likelihood=-10.0000\n"
        "Post burn-in iterations=5\n\nMotif1 not found\n"
        "Serevan (beta 1, Nov 2007)\n./Serevan -i s.fa -N 2 -P p.txt -K 2 \nAverage likelihood=-3.2500\n"
        "Post burn-in iterations=1\n\nPredicted modules:\n0\t0\t120\t152\t+2(120)-1(140)\n\n\n"
        "\nMotif1:4.5000\nA\tC\tG\tT\n0.500\t0.500\t0.000\t0.000\t\n1.000\t0.000\t0.000\t0.000\t\n"
        "\nSites:\n>0\t0\t140\t-1\t0.900\t0.800\nAC\n"
        "\nMotif2 not found\n>g0_sp0\t-3.250\n";
    support::TempDir dir("toolbad");
    // Two chains of one run (seeds 1 and 2) for the chains' write failures.
    const std::string run2 = report.substr(report.find("Serevan (beta 1, Nov 2007)\n./Serevan -i s.fa -N 2 -P"));
    for (const char* seed : {"1", "2"}) {
        std::string chain = run2;
        chain.replace(chain.find("-K 2 \n"), 6, std::string("-K 2 -S ") + seed + " \n");
        if (seed[0] == '2') chain.replace(chain.find("-3.2500"), 7, "-4.2500");
        support::WriteFile(dir.File(std::string("c") + seed + "_chain.txt"), chain);
    }
    const std::string at = dir.Path().string(), bin = std::filesystem::path(support::kSim).parent_path().string();
    ASSERT_EQ(RunCommand(support::kSim + " --out t --quiet", at).status, 0);
    support::WriteFile(dir.File("x.maf"), "##maf version=1\na\ns hg17.chr1 0 4 + 10 ACGT\ns mm5.chr1 0 4 + 10 ACG-T\n");
    support::WriteFile(dir.File("y.maf"), "a\ns hg17.chr1 8 4 + 10 ACGT\n");
    support::WriteFile(dir.File("z.maf"), "a\nz what\n");
    support::WriteFile(dir.File("m.txt"), ">X a\nA [1 2]\nC [1]\nG [1 2]\nT [1 2]\n");
    support::WriteFile(dir.File("big.jaspar"), ">X a\nA [1e308]\nC [1e308]\nG [0]\nT [0]\n");
    support::WriteFile(dir.File("n.fa"), ">n\nNNNN\n");
    support::WriteFile(dir.File("1.fa"), ">hg17_a\nACGT\n>mm5_a\nAC-GT.\n>other\nT*\n");
    support::WriteFile(dir.File("2.fa"), ">mm5_b\nTTT\n>hg17_b\nGG\n");
    support::WriteFile(dir.File("3.fa"), ">hg17_c\nA\n>hg17_d\nC\n>mm5_c\nG\n");
    support::WriteFile(dir.File("4.fa"), ">c|mm5\nG\n");
    support::WriteFile(dir.File("5.fa"), ">hg17_e\nAC1GT\n>mm5_e\nA\n");
    support::WriteFile(dir.File("6.fa"),
                       ">hg17_f\nA\xff"
                       "C\n>mm5_f\n--\n");
    support::WriteFile(dir.File("empty"), "");
    support::WriteFile(dir.File("bin"),
                       "\x7f"
                       "ELF\x01\x00\xff\n\x00\x01"s);
    support::WriteFile(dir.File("ok.maf"), "a\ns hg17.chr1 2 4 + 10 AC-GT\ns mm5.chr1 0 4 - 10 ACG-T\n");
    support::WriteFile(dir.File("r.bed"), "chr9\t0\t100\nchr1\t4\t5\n");
    // The run's input: the site at 140 on strand -1 reads AC; a table of it, and five others.
    const std::string a160(160, 'A');
    support::WriteFile(dir.File("s.fa"), ">g0_hg17 hg17.chr1:0-160(+)\n" + std::string(a160).replace(140, 2, "GT") +
                                             "\n>g0_mm5 mm5.chr1:0-160(+)\n" + a160 + "\n");
    const std::string table =
        "group\tspecies\trecord_offset\tlength\tsource\tstart\tend\tstrand\n0\thg17\t0\t160\t"
        "hg17.chr1\t0\t160\t+\n0\tmm5\t0\t160\tmm5.chr1\t0\t160\t+\n";
    const std::pair<std::string, std::string> tables[] = {
        {"0\t160\thg17.chr1\t0\t160", "0\t150\thg17.chr1\t0\t150"},
        {"\thg17\t", "\ths\t"},
        {"hg17.chr1\t0\t160", "hg17.chr1\t10\t170"},
        {"hg17.chr1\t0\t160", "hg17.chr1\t-5\t155"},
        {"hg17.chr1\t0\t160", "hg17.chr1\t1152921504606846976\t1152921504606847136"}};
    for (int k = 0; k < 6; ++k) {
        std::string t = table;
        if (k > 0) t.replace(t.find(tables[k - 1].first), tables[k - 1].first.size(), tables[k - 1].second);
        support::WriteFile(dir.File("t" + std::to_string(k) + ".tsv"), t);
    }
    // Outputs of earlier runs, which a refusal must leave as they are; a link to a full disk; a
    // folder where an output should go.
    for (const char* old : {"out.fa", "out.groups.tsv", "g.fa", "e.bed", "c.txt", "d.fa", "page.html"})
        support::WriteFile(dir.File(old), "old\n");
    std::filesystem::create_directory(dir.File("d.groups.tsv"));
    std::filesystem::create_symlink("/dev/full", dir.File("full.fa"));
    const std::string E = "eval --truth t_truth.tsv --report r.txt", P = "prep maf --species hg17,mm5 -o out ",
                      G = "prep groups --species hg17,mm5 -o g ", X = "export sites r.txt -i s.fa --format bed ",
                      R = "report r.txt -i s.fa -o page.html", C = "chains r.txt r.txt ",
                      C2 = "chains c1_chain.txt c2_chain.txt ",
                      B = "sim --background " + support::kSourceDir + "/tests/data/realdna_softmasked.fa";
    const std::string site = "0\t0\t140\t-1\t0.900\t0.800\n";  // the site's line in r.txtmotif1.txt
    const struct Row {
        std::string args, message, from = "", to = "", side = "", sideText = "";
    } rows[] = {

        {"sim --species 1", "--species must be from 2 to 16"},
        {"sim --gc 2", "--gc must be from 0.01 to 0.99"},
        {"sim --bogus", "unknown option --bogus (see --help)"},
        {"sim --seed", "option --seed needs a value"},
        {"sim --groups abc", "--groups must be an integer from"},
        {"sim --motif-file none.txt", "cannot open motif file none.txt"},
        {"sim --sites 1,2", "--sites needs one value or one value per motif (3)"},
        {"sim --module-length 20", "--module-length 20 cannot hold the sites of a module"},
        {"sim stray", "unexpected argument 'stray'"},
        {"sim --loss 0.1,0.2", "--loss needs one value or one value per species"},
        {"sim --quiet=1", "option --quiet takes no value"},
        {"sim --align-group 10", "--align-group must be from 0 to --groups minus 1"},
        {"sim --max-width 5", "--max-width must be from --min-width to 100"},
        {"sim --out no/such/dir/x", "cannot write no/such/dir/x.fa"},
        {"sim --keep-case", "--keep-case needs --background"},
        {"sim --background none.fa", "cannot open none.fa"},
        {"sim --background n.fa", "n.fa holds no A, C, G or T"},
        {B + " --length 3000", "holds --length 3000 bases (the longest has 2400)"},
        {B + " --groups 9 --length 300", "no window of 300 bases of"},
        {B + " --max-undetermined 2", "--max-undetermined must be from 0 to 1"},
        {B + " --gc-spread 0.6", "--gc-spread must be from 0 to 0.5"},
        {"sim --gc-spread 0.1", "--gc-spread needs --background"},
        {"sim --background " + kSample, "jaspar_sample.jaspar line 2: '[' is not a sequence letter"},
        {E, "no report found", "Serevan (beta 1, Nov 2007)", "Serevan beta"},
        {E, "r.txt:9: malformed report: 'Average", "Average likelihood=-3.2500", "Average likelihood=abc"},
        {E, "r.txt:13:", "+2(120)-1(140)", "+2(120)-1("},
        {E, "r.txt:20: malformed report: a matrix row", "1.000\t0.000\t0.000\t0.000\t\n", "1.000\t0.000\t0.000\n"},
        {E, "expected 'Sites:'", "\nSites:\n", "\nSite:\n"},
        {E, "strand (1 or -1)", "140\t-1\t0.900", "140\t0\t0.900"},
        {E, "followed by the site's letters", "0.800\nAC\n", "0.800\n\n"},
        {E, "expected motif 2 here", "Motif2 not found", "Motif3 not found"},
        {E, "expected 'Motif<number>:<score>'", "\nMotif1:4.5000", "\nMotif1=4.5000"},
        {E, "asks for 2 motifs but the report has 1", "Motif2 not found\n", "\n"},
        {E, "does not fit the truth", ">0\t0\t140", ">0\t0\t9990"},
        {"eval --sim t --report missing.txt", "missing.txt"},
        {"eval --sim t", "--report"},
        {"eval --sim t --report r.txt --min-overlap 0", "--min-overlap"},
        {"eval --sim nothing --report r.txt", "nothing_truth.tsv"},
        {P + "x.maf", "x.maf:4: row of 5 columns in a block of 4"},
        {P + "y.maf", "y.maf:2: start 8 + size 4 lies beyond"},
        {P + "z.maf", "z.maf:2: not a MAF line"},
        {"prep motifs m.txt -o out.txt", "m.txt line 3: rows of matrix X have unequal lengths"},
        {"prep motifs big.jaspar -o out.txt", "big.jaspar line 1: column 1 of matrix X sums to more than 1e300"},
        {"prep motifs " + kSample + " -o /nonexistent/m.txt", "cannot write /nonexistent/m.txt"},
        {"prep shuffle x", "unknown subcommand 'shuffle'"},
        {"prep mask z.maf -o masked.fa", "z.maf: not a FASTA file (line 1 does not start with '>')"},
        {G + "1.fa 3.fa", "3.fa:3: a second record of species hg17 (hg17_d; the first is hg17_c)"},
        {G + "1.fa 4.fa --separator '|'", "1.fa: no record of species hg17"},
        {"export motifs r.txt -o e.txt", "--format must be meme, jaspar or transfac"},
        {"export sites r.txt --format bed -o e.bed", "give the run's input sequences with -i INPUT.fa"},
        // serevan-prep: only letters reach the groups; coordinates stay on their sequence; both
        // outputs or neither.
        {G + "5.fa", "5.fa:2: '1' at column 3 of record hg17_e is neither a letter nor a gap ('-', '.')"},
        {G + "2.fa 5.fa", "5.fa:2: '1' at column 3"},
        {G + "6.fa", "6.fa:2: byte 255 at column 2 of record hg17_f"},
        {"prep groups 6.fa --species mm5,hg17 -o g", "6.fa:3: record mm5_f holds no letters"},
        {G + "bin", "bin:1: text before the first FASTA header"},
        {G + "empty", "empty: no record of species hg17"},
        {G + "1.fa --bogus", "unknown option --bogus"},
        {P + "empty", "empty: no block holds every listed species"},
        {P + "bin", "bin:1: not a MAF line"},
        {P + "c.maf", "c.maf:2: the row holds '*' at column 3", "", "", "c.maf", "a\ns hg17.chr1 0 4 + 10 AC*T\n"},
        {P + "c.maf", "c.maf:2: the row holds '>' at column 2", "", "", "c.maf", "a\ns mm5.c 0 5 + 9 A>CGT\n"},
        {P + "c.maf", "c.maf:2: the row holds 2 letters but its size is 4", "", "", "c.maf", "a\ns hg17.c 0 4 + 9 AC"},
        {P + "c.maf", "c.maf:2: an 's' line must read", "", "", "c.maf", "a\ns hg17.c -2 4 + 9 ACGT\n"},
        {P + "c.maf", "c.maf:2: an 's' line must read", "", "", "c.maf", "a\ns hg17.c 0 4 + 1e99 ACGT\n"},
        {P + "c.maf", "c.maf:2: source size 1152921504606846976 is beyond", "", "", "c.maf",
         "a\ns hg17.c 0 4 + 1152921504606846976 ACGT\n"},
        {P + "ok.maf --offset hg17=-3", "ok.maf:2: --offset hg17=-3 puts the row at -1 to 3, outside 0 to"},
        {P + "ok.maf --offset mm5=9223372036854775000", "--offset must read SPECIES=N with N from"},
        {P + "ok.maf --offset rn3=5", "--offset names rn3, which is not in --species"},
        {"prep maf ok.maf --species hg17,hg17 -o out", "--species needs at least two different names"},
        {"prep maf ok.maf --species hg17,rn3 --min-length 1 -o out", "ok.maf: no block holds every listed species"},
        {P + "ok.maf --min-length 1 --regions r.bed",
         "ok.maf: no region of r.bed gives a group (chr9:0-100 lacks hg17,mm5; chr1:4-5 lacks mm5; --min-length 1)"},
        {P + "ok.maf --regions none.bed", "cannot open none.bed"},
        {P + "none.maf", "cannot open none.maf"},
        {P + ".", "cannot read ."},
        {"prep maf ok.maf --species hg17,mm5 --min-length 1 -o no/dir/x", "cannot write no/dir/x.fa: No such file"},
        {"prep maf ok.maf --species hg17,mm5 --min-length 1 -o d", "cannot write d.groups.tsv: it is a directory"},
        {"prep maf ok.maf --species hg17,mm5 --min-length 1 -o full", "cannot write full.fa: No space left"},
        // serevan-export, -report and -chains: reports cut or damaged, side files with a block of no
        // run, inputs and groups tables of another run, outputs that cannot be written.
        {X, "r.txt:23: malformed report: maxFreq and alignFreq must be numbers from 0 to 1", "0.900\t", "5\t"},
        {X, "r.txt:23: malformed report: maxFreq and alignFreq", "0.900\t", "nan\t"},
        {X, "r.txt:23: malformed report: maxFreq and alignFreq", "0.800\nAC", "-0.5\nAC"},
        {X, "r.txt:24: malformed report: the site's 1 letters do not fill the motif's width 2", "\nAC\n", "\nA\n"},
        {X, "r.txt:23: malformed report: a site line must read",
         "\t0.900\t0.800\nAC\n\nMotif2 not found\n>g0_sp0\t-3.250\n", ""},
        {X, "r.txt:24: the site's letters CC are not those of the input s.fa (AC at species 0", "\nAC\n", "\nCC\n"},
        {X, "r.txtmotif1.txt:2: lines 2-2 belong to no run of r.txt", "", "", "r.txtmotif1.txt", site + site},
        {X, "r.txtmodule.txt:1: not the line of r.txt:13", "", "", "r.txtmodule.txt", "0\t1\t2\t3\n0\t0\t120\t152\n"},
        {X, "r.txtmotif2.txt:1: lines 1-1 belong to no run of r.txt", "", "", "r.txtmotif2.txt", site},
        {X, "r.txt_Pm.txt: 3 lines do not fit the 1 runs of r.txt", "", "", "r.txt_Pm.txt", "1\n2\n3\n"},
        {X + "--groups t1.tsv", "t1.tsv: the segments of group 0, hg17, do not cover the 160 bases of record g0_hg17"},
        {X + "--groups t2.tsv", "t2.tsv: group 0, hs, is record g0_hg17 in s.fa (expected g0_hs or hg17.chr1)"},
        {X + "--groups t3.tsv", "t3.tsv: group 0, hg17, lies at hg17.chr1:10-170(+) but record g0_hg17 of s.fa"},
        {X + "--groups t4.tsv", "t4.tsv:2: record_offset, length, start and end must be from 0 to"},
        {X + "--groups t5.tsv", "t5.tsv:2: record_offset, length, start and end must be from 0 to"},
        {X + "--groups t0.tsv --species rn3", "t0.tsv has no species 'rn3'"},
        {"export sites r.txt -i n.fa --format bed", "n.fa: 1 records do not fit the run's -N 2 (the run at r.txt:7)"},
        {X + "--run 3", "--run must be an integer from 1 to 2"},
        {X + "-o /dev/full", "cannot write /dev/full: No space left on device"},
        {X + "-o no/dir/e.bed", "cannot write no/dir/e.bed: No such file or directory"},
        {X + "-o .", "cannot write .: it is a directory"},
        {"export motifs empty --format meme", "empty: no report found"},
        {"export motifs bin --format meme", "bin: no report found"},
        {"export motifs r.txt --format meme --bogus", "unknown option --bogus"},
        {E, "r.txtmotif1.txt:1: lines 1-1 belong to no run of r.txt", ">0\t0\t140\t-1\t0.900\t0.800\nAC\n", "",
         "r.txtmotif1.txt", site},
        {R, "r.txt:24: the site's letters CC are not those of the input s.fa", "\nAC\n", "\nCC\n"},
        {R, "r.txtmotif1.txt:1: not the line of r.txt:23", "", "", "r.txtmotif1.txt", "0\t0\t14\t1\t1\t1\n" + site},
        {"report r.txt -i none.fa", "cannot open none.fa"},
        {"report r.txt -i s.fa -o /dev/full", "cannot write /dev/full: No space left on device"},
        {"report r.txt -i s.fa --panels 0", "--panels must be an integer from 1"},
        {C2 + "--consensus k.txt -o /dev/full", "cannot write /dev/full"},
        {C2 + "--consensus c.txt -o /dev/full", "cannot write /dev/full"},
        {C2 + "--consensus c.txt -o c.txt", "cannot write c.txt: it is the same file as the output c.txt"},
        {C2 + "--consensus no/dir/c.txt", "cannot write no/dir/c.txt"},
        {C, "r.txtmodule.txt:2: lines 2-2 belong to no run of r.txt", "", "", "r.txtmodule.txt",
         "0\t0\t120\t152\n0\t0\t1\t9\n"},
        {C, "r.txt:9: malformed report: 'Average", "Average likelihood=-3.2500", "Average likelihood=abc"},
        {"chains --json", "give the chains' report files"},
        {"chains . r.txt", "cannot read ."},
        {"chains r.txt empty", "empty: no report found"},
        {C + "--share 2", "--share must be above 0 and at most 1"},
        {C + "--bogus", "unknown option --bogus"},
    };
    // Every file of the folder with its text (a link: where it points; a folder: its name).
    const auto state = [&]() {
        std::map<std::string, std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
            std::string& text = files[e.path().filename()] = e.is_symlink() ? "-> " : "";
            text += e.is_symlink()     ? std::filesystem::read_symlink(e).string()
                    : e.is_directory() ? "/"
                                       : support::ReadFile(e.path().string());
        }
        return files;
    };
    for (const Row& c : rows) {
        std::string text = report;
        for (size_t p = 0; !c.from.empty() && (p = text.find(c.from, p)) != std::string::npos; p += c.to.size())
            text.replace(p, c.from.size(), c.to);
        support::WriteFile(dir.File("r.txt"), text);
        if (!c.side.empty()) support::WriteFile(dir.File(c.side), c.sideText);
        const std::map<std::string, std::string> before = state();
        const support::RunResult r = RunCommand(bin + "/serevan-" + c.args, at);
        const std::string prefix = "serevan-" + c.args.substr(0, c.args.find(' ')) + ": error: ";
        EXPECT_TRUE(r.status == 1 && r.output.empty() && r.error.rfind(prefix, 0) == 0 &&
                    r.error.find(c.message) != std::string::npos &&
                    std::count(r.error.begin(), r.error.end(), '\n') == 1 && state() == before)
            << c.args << " (" << c.to << c.sideText << "): " << r.status << " " << r.output << r.error;
        if (!c.side.empty()) std::filesystem::remove(dir.File(c.side));
    }
    // The report as it is (the last rows replace nothing) scores, read as the last of two reports,
    // and exports in the genome coordinates of a table of its input.
    EXPECT_EQ(support::Lines(RunCommand(bin + "/serevan-" + E, at).output)[0],
              "Report: r.txt, the last of 2 report(s) (line 7), 1 post burn-in iterations, average likelihood -3.2500");
    EXPECT_EQ(RunCommand(bin + "/serevan-" + X + "--groups t0.tsv", at).output,
              "chr1\t120\t152\tmodule\t0\t.\nchr1\t140\t142\tmotif1\t900\t-\n");
    // Records group by the name's prefix up to the separator, species by species, gaps dropped.
    const support::RunResult r =
        RunCommand(bin + "/serevan-prep groups 1.fa 2.fa --separator _ --species hg17,mm5 --out=h", at);
    EXPECT_EQ(support::ReadFile(dir.File("h.fa")), ">hg17_a\nACGT\n>hg17_b\nGG\n>mm5_a\nACGT\n>mm5_b\nTTT\n");
    EXPECT_EQ(r.error, "serevan-prep: 2 groups of 2 species; dropped 2 gap characters ('-', '.')\n");
    // A run through a link replaces the file the link names; the link stays.
    std::filesystem::create_symlink("real.fa", dir.File("lk.fa"));
    ASSERT_EQ(RunCommand(bin + "/serevan-prep maf ok.maf --species hg17,mm5 --min-length 1 -o lk", at).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("lk.fa")));
    EXPECT_EQ(support::ReadFile(dir.File("real.fa")),
              ">g0_hg17 hg17.chr1:2-6(+)\nACGT\n>g0_mm5 mm5.chr1:6-10(-)\nACGT\n");
}

// Groups cut from a piece of chr22 are the blocks a short script picks, ungapped, their human
// rows the genome's (also when regions join blocks); Biopython reads the JASPAR import and every
// motif export, we read what it writes; bedtools reads the site tracks and gives each site's
// letters from the genome, also on a minus-strand row; --offset moves every coordinate.
TEST(PrepExport, ReferenceClientsReadWhatTheToolsWrite)
{
    // Debian's interpreter: another python3 on the path may not see Debian's modules.
    if (RunCommand("/usr/bin/python3 -c 'import Bio.motifs' && bedtools --version").status)
        GTEST_SKIP() << "needs Biopython and bedtools (.ci/run installs them)";
    support::TempDir dir("clients");
    const std::string at = dir.Path().string(), maf = support::kSourceDir + "/examples/chr22_piece.maf";
    const auto run = [&](const std::string& command) { return RunCommand(command, at).status; };
    support::WriteFile(dir.File("r.bed"), "track name=r\nchr22\t1229\t3000\nchr22\t5000\t9000\nchr9\t0\t100\n");
    for (const char* out : {"g", "o --offset hg17=14499999"})
        ASSERT_EQ(run(kPrep + " maf " + maf + " --species hg17,mm5,rn3 -o " + out), 0);
    support::RunResult r = RunCommand(kPrep + " maf " + maf + " --species hg17,mm5,rn3 --regions r.bed -o r", at);
    EXPECT_NE(r.error.find("2 groups from 3 regions; skipped 1 lacking"), std::string::npos) << r.error;
    const std::string script =
        "import sys\nrec = {'hg17': [], 'mm5': [], 'rn3': []}\n"
        "for block in open(sys.argv[1]).read().split('\\na ')[1:]:\n    rows = {}\n"
        "    for f in map(str.split, block.split('\\n')):\n"
        "        if f and f[0] == 's': rows.setdefault(f[1].split('.')[0], f[6].replace('-', ''))\n"
        "    if all(s in rows for s in rec) and len(rows['hg17']) >= 100:\n"
        "        for s in rec: rec[s].append(rows[s])\nfor s in rec: print('\\n'.join(rec[s]))\n";
    r = RunCommand("/usr/bin/python3 -c \"" + script + "\" " + maf);
    EXPECT_EQ(FastaRecords(dir.File("g.fa")), support::Lines(r.output)) << r.error;
    const std::string genome = FastaRecords(kGenome)[0];
    for (const auto& [prefix, segments] : {std::pair{"g", 13}, std::pair{"r", 11}}) {
        const std::vector<std::string> seqs = FastaRecords(dir.File(prefix + ".fa"s));
        int n = 0;
        for (const std::string& line : support::Lines(support::ReadFile(dir.File(prefix + ".groups.tsv"s)))) {
            const std::vector<std::string> f = support::Fields(line);
            if (f[1] != "hg17") continue;
            ++n;
            std::string row = seqs[std::stoi(f[0])].substr(std::stol(f[2]), std::stol(f[3]));
            for (char& c : row) c = static_cast<char>(std::toupper(c));
            EXPECT_EQ(row, genome.substr(std::stol(f[5]), std::stol(f[3]))) << prefix << " " << line;
        }
        EXPECT_EQ(n, segments) << prefix;
    }

    // JASPAR -> program format keeps every matrix; what Biopython writes, we read.
    const Matrices original = BiopythonMatrices(kSample, "jaspar");
    ASSERT_EQ(std::count(original.begin(), original.end(), -1), 5);
    ASSERT_EQ(run(kPrep + " motifs '" + kSample + "' -o m.txt"), 0);
    ExpectSameMatrices(OurMatrices(dir.File("m.txt")), original, 1e-4, "prep motifs");
    const std::string write =
        "/usr/bin/python3 -c \"import sys; from Bio import motifs; f = sys.argv[1]; open('bio.' + "
        "f, 'w').write(motifs.write(motifs.parse(open(sys.argv[2]), 'jaspar'), f))\" ";
    for (const std::string format : {"jaspar", "transfac"}) {
        ASSERT_EQ(run(write + format + " '" + kSample + "'"), 0);
        ExpectSameMatrices(OurMatrices(dir.File("bio." + format)), original, 1e-4, format);
    }
    // A run on the groups; every export of its motifs parses in Biopython to the report's matrices.
    ASSERT_EQ(run(support::kBin + " -i g.fa -N 3 -K 2 -n 30 -w 8 -W 10 -S 1 -o run.txt"), 0);
    sertools::RunReport report;
    std::string err;
    ASSERT_TRUE(sertools::ReadLastReport(dir.File("run.txt"), report, err)) << err;
    Matrices found;
    for (const auto& m : report.motifs) {
        if (!m.found) continue;
        found.insert(found.end(), m.matrix.p.begin(), m.matrix.p.end());
        found.push_back(-1);
    }
    ASSERT_FALSE(found.empty());
    for (const std::string format : {"meme", "jaspar", "transfac"}) {
        const std::string out = dir.File("found." + format);
        ASSERT_EQ(run(kExport + " motifs run.txt --format " + format + " -o " + out), 0);
        ExpectSameMatrices(BiopythonMatrices(out, format == "meme" ? "minimal" : format), found, 2e-3, format);
        EXPECT_NE(support::ReadFile(out).find("serevan_motif_2"), std::string::npos);  // named by its number
    }

    // The site tracks: every line a feature for bedtools sort (the GFF3 header aside); a scratch
    // genome whose record is named as the chromosome gives each site's letters.
    // The format is the name's extension; o.fa holds g.fa's letters under the moved coordinates.
    for (const std::string out : {"g.bed", "g.tsv", "g.gff3", "o.bed"})
        ASSERT_EQ(run(kExport + " sites run.txt -i " + out[0] + ".fa --format " + out.substr(2) + " --groups " +
                      out[0] + ".groups.tsv -o " + out),
                  0);
    const std::vector<std::string> bed = support::Lines(support::ReadFile(dir.File("g.bed")));
    for (const std::string file : {"g.bed", "g.gff3"})
        EXPECT_EQ(support::Lines(RunCommand("bedtools sort -i " + file, at).output).size(),
                  support::Lines(support::ReadFile(dir.File(file))).size() - (file == "g.gff3"));
    support::WriteFile(dir.File("chr22.fa"), ">chr22\n" + genome + "\n");
    const std::vector<std::string> got =
        support::Lines(RunCommand("bedtools getfasta -s -tab -fi chr22.fa -bed g.bed", at).output);
    const std::vector<std::string> rows = support::Lines(support::ReadFile(dir.File("g.tsv")));
    const std::vector<std::string> moved = support::Lines(support::ReadFile(dir.File("o.bed")));
    ASSERT_GT(bed.size(), 3u);
    ASSERT_TRUE(got.size() == bed.size() && moved.size() == bed.size() && rows.size() == bed.size() + 1);
    int sites = 0;
    for (size_t i = 0; i < bed.size(); ++i) {
        const std::vector<std::string> b = support::Fields(bed[i]), o = support::Fields(moved[i]);
        EXPECT_EQ(std::stoll(o[1]) - std::stoll(b[1]) + std::stoll(o[2]) - std::stoll(b[2]), 2 * 14499999) << i;
        const std::string letters = support::Fields(rows[i + 1])[7];  // "." on a module's row
        sites += letters != ".";
        EXPECT_EQ(letters == "." ? letters : support::Fields(got[i])[1], letters) << bed[i];
    }
    EXPECT_GT(sites, 0);

    // A mouse row on the minus strand and a report with a site on each strand of its record.
    const std::string chr1 = "ACGTTGCAAGGCTTACCGATCGGATCCAATGCATGCTAGC";  // mm5 chr1, 40 bases
    const std::string minus = ReverseComplement(chr1).substr(5, 10);      // a minus-strand row from 5
    support::WriteFile(dir.File("a.maf"),
                       "a score=0\ns hg17.chr1 0 10 + 50 AAAAACCCCC\ns mm5.chr1 5 10 - 40 " + minus + "\n");
    support::WriteFile(dir.File("chr1.fa"), ">chr1\n" + chr1 + "\n");
    ASSERT_EQ(run(kPrep + " maf a.maf --species hg17,mm5 --min-length 1 -o a"), 0);
    support::WriteFile(dir.File("a.txt"), std::string(sertools::kReportBanner) +
                                              "\nSerevan -i a.fa -N 2 -K 1\nAverage likelihood=0\n"
                                              "Post burn-in iterations=10\n\nMotif1:1\nA\tC\tG\tT\n1\t1\t1\t1\n"
                                              "1\t1\t1\t1\n1\t1\t1\t1\n1\t1\t1\t1\n\nSites:\n>1\t0\t2\t1\t0.9\t1\n" +
                                              minus.substr(2, 4) + "\n>1\t0\t5\t-1\t0.8\t1\n" +
                                              ReverseComplement(minus.substr(5, 4)) + "\n");
    r = RunCommand(kExport + " sites a.txt -i a.fa --groups a.groups.tsv --species mm5 --format bed -o a.bed && " +
                       "bedtools getfasta -s -tab -fi chr1.fa -bed a.bed",
                   at);
    EXPECT_EQ(r.output, "chr1:29-33(-)\t" + minus.substr(2, 4) + "\nchr1:26-30(+)\t" +
                            ReverseComplement(minus.substr(5, 4)) + "\n")
        << r.error;
}

// Soft-masking of low-complexity stretches: exactly the repeats, never the random flanks.
TEST(LowComplexity, MasksRepeatsExactlyAndLeavesRandomSequence)
{
    std::mt19937 rng(13);
    const std::string left = support::RandomDna(rng, 300), right = support::RandomDna(rng, 300);
    const std::pair<std::string, bool> rows[] = {
        {std::string(30, 'A'), true},
        {"TTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTCTTTC", true},  // (TTTC)10
        {"ATATATATATATATATATATATAT", true},
        {std::string(15, 'T'), false},                               // shorter than the minimum span
        {std::string(12, 'G') + "N" + std::string(12, 'G'), false},  // N ends a stretch
    };
    for (const auto& [middle, masked] : rows) {
        // Separators that share no triplet with the repeat, so the mask ends where it ends.
        const std::string seq = left + "CG" + middle + "CG" + right;
        std::string want = seq;
        for (std::size_t i = 0; masked && i < middle.size(); ++i)
            want[302 + i] = static_cast<char>(tolower(want[302 + i]));
        long long count = -1;
        EXPECT_EQ(sertools::MaskFastaText(">r x\n" + seq + "\n", {}, count), ">r x\n" + want + "\n") << middle;
        EXPECT_EQ(count, masked ? static_cast<long long>(middle.size()) : 0) << middle;
    }
    // Line breaks, headers and lower case already present are kept; a record ends a stretch.
    long long count = 0;
    EXPECT_EQ(sertools::MaskFastaText(">a\nccAAAAAAAAAA\nAAAAAAAAAAAAgg\n>b\nAAAAAAAAAAAAAAA\n", {}, count),
              ">a\nccaaaaaaaaaa\naaaaaaaaaaaagg\n>b\nAAAAAAAAAAAAAAA\n");
    EXPECT_EQ(count, 22);
}

// serevan-prep mask writes to a file and into a pipe, not replacing it by a renamed file (writing
// to /dev/null once replaced the device). Its refusal is in the tools' table.
TEST(LowComplexity, ToolWritesTheMaskedFileOrRefuses)
{
    support::TempDir dir("mask");
    support::WriteFile(dir.File("in.fa"), ">s\nCG" + std::string(40, 'T') + "CG\n");
    const std::string prep = kPrep + " mask ";
    const support::RunResult ok = RunCommand("mkfifo p && { timeout 20 cat p > got & } && " + prep + "in.fa -o p && " +
                                                 prep + "in.fa -o out.fa; wait; test -p p",
                                             dir.Path());
    EXPECT_EQ(ok.status, 0) << ok.error;
    EXPECT_EQ(ok.error, "serevan-prep: masked 40 of 44 bases (90.9 %)\nserevan-prep: masked 40 of 44 bases (90.9 %)\n");
    for (const char* out : {"got", "out.fa"})
        EXPECT_EQ(support::ReadFile(dir.File(out)), ">s\nCG" + std::string(40, 't') + "CG\n");
}
