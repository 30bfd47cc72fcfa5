// serevan-prep and serevan-export against real clients: Biopython parses every motif export
// and writes files our importer reads; bedtools reads the tracks and returns each site's
// letters from the genome; the MAF reader is checked on real data against a short script.
#include <cmath>
#include <filesystem>

#include "common/RunReport.h"
#include "motif/MotifFormats.h"
#include "support/Support.h"

using support::RunCommand;

namespace {

const std::string kPrep = SEREVAN_PREP_BIN;
const std::string kExport = SEREVAN_EXPORT_BIN;
const std::string kSample = support::kSourceDir + "/tests/data/jaspar_sample.jaspar";
const std::string kShared = support::kSourceDir + "/../shared/data";

// Debian's interpreter: another python3 on the path may not see Debian's modules.
bool HaveBiopython() { return RunCommand("/usr/bin/python3 -c 'import Bio.motifs' 2>/dev/null").status == 0; }
bool HaveBedtools() { return RunCommand("bedtools --version >/dev/null 2>&1").status == 0; }

// Biopython's reading of a motif file: one line per matrix, its frequencies 4j + b.
std::vector<std::vector<double>> BiopythonMatrices(const std::string& file, const std::string& format)
{
    const std::string script =
        "import sys\nfrom Bio import motifs\nfor m in motifs.parse(open(sys.argv[1]), sys.argv[2]):\n"
        "    c = m.counts\n    n = [sum(c[b][j] for b in 'ACGT') for j in range(m.length)]\n"
        "    print(' '.join('%.6f' % (c[b][j] / n[j]) for j in range(m.length) for b in 'ACGT'))\n";
    support::RunResult r = RunCommand("/usr/bin/python3 -c \"" + script + "\" '" + file + "' " + format);
    EXPECT_EQ(r.status, 0) << r.error;
    std::vector<std::vector<double>> out;
    for (const std::string& line : support::Lines(r.output)) {
        std::vector<double> row;
        std::istringstream in(line);
        for (double x; in >> x;) row.push_back(x);
        out.push_back(row);
    }
    return out;
}

void ExpectSameMatrices(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b,
                        double tolerance, const std::string& label)
{
    ASSERT_EQ(a.size(), b.size()) << label;
    for (size_t m = 0; m < a.size(); ++m) {
        ASSERT_EQ(a[m].size(), b[m].size()) << label << " matrix " << m;
        for (size_t k = 0; k < a[m].size(); ++k) EXPECT_NEAR(a[m][k], b[m][k], tolerance) << label << " " << m;
    }
}

std::vector<std::vector<double>> OurMatrices(const std::string& file)
{
    std::vector<motifio::Motif> motifs;
    std::string err;
    EXPECT_TRUE(motifio::ReadMotifs(file, motifio::MotifFormat::Unknown, motifs, nullptr, err)) << err;
    std::vector<std::vector<double>> out;
    for (const motifio::Motif& m : motifs) out.push_back(m.p);
    return out;
}

}  // namespace

TEST(PrepExport, BiopythonReadsOurMotifsAndWeReadBiopythons)
{
    if (!HaveBiopython()) GTEST_SKIP() << "Debian's python3-biopython is not installed (.ci/run installs it)";
    support::TempDir dir("prep_motifs");
    // JASPAR -> program -> JASPAR keeps every matrix.
    ASSERT_EQ(RunCommand(kPrep + " motifs '" + kSample + "' -o " + dir.File("m.txt")).status, 0);
    std::vector<motifio::Motif> program;
    std::string err;
    ASSERT_TRUE(motifio::ReadMotifs(dir.File("m.txt"), motifio::MotifFormat::Program, program, nullptr, err)) << err;
    support::WriteFile(dir.File("back.jaspar"), motifio::FormatMotifs(program, motifio::MotifFormat::Jaspar));
    const auto original = BiopythonMatrices(kSample, "jaspar");
    ASSERT_EQ(original.size(), 5u);
    ExpectSameMatrices(BiopythonMatrices(dir.File("back.jaspar"), "jaspar"), original, 1e-4, "round trip");
    // What Biopython writes, we read.
    for (const char* format : {"jaspar", "transfac"}) {
        const std::string out = dir.File(std::string("bio.") + format);
        ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"import sys; from Bio import motifs; "
                             "open(sys.argv[2], 'w').write(motifs.write(motifs.parse(open(sys.argv[1]), 'jaspar'), "
                             "sys.argv[3]))\" '" +
                             kSample + "' " + out + " " + format)
                      .status,
                  0);
        ExpectSameMatrices(OurMatrices(out), original, 1e-4, format);
    }
    // Every export of a run's motifs parses in Biopython to the report's matrices.
    support::RunResult run = RunCommand(support::kBin + " -i " + support::kSourceDir +
                                        "/examples/demo.fa -N 3 -K 2 -n 60 -S 4 -o " + dir.File("run.txt"));
    ASSERT_EQ(run.status, 0) << run.output;
    sertools::RunReport report;
    ASSERT_TRUE(sertools::ReadLastReport(dir.File("run.txt"), report, err)) << err;
    std::vector<std::vector<double>> found;
    for (const auto& m : report.motifs)
        if (m.found) found.push_back(m.matrix.p);
    ASSERT_FALSE(found.empty());
    for (const char* format : {"meme", "jaspar", "transfac"}) {
        const std::string out = dir.File(std::string("found.") + format);
        ASSERT_EQ(RunCommand(kExport + " motifs " + dir.File("run.txt") + " --format " + format + " -o " + out).status,
                  0);
        ExpectSameMatrices(BiopythonMatrices(out, std::string(format) == "meme" ? "minimal" : format), found, 2e-3,
                           format);
        EXPECT_NE(support::ReadFile(out).find("serevan_motif_1"), std::string::npos);
    }
}

TEST(PrepExport, MafGroupsMatchTheAlignmentAndTheGenome)
{
    const std::string maf = kShared + "/hg17_chr22_5way.maf", genome = kShared + "/hg17_chr22_region.fa";
    if (!support::Exists(maf) || !support::Exists(genome)) GTEST_SKIP() << "no ../shared/data";
    support::TempDir dir("prep_maf");
    support::RunResult r = RunCommand(kPrep + " maf " + maf + " --species hg17,mm5,rn3 -o " + dir.File("g"));
    ASSERT_EQ(r.status, 0) << r.error;
    // A short independent reader: blocks holding all three, human row at least 100 letters,
    // ungapped rows species by species.
    const std::string script =
        "import sys\nrec = {'hg17': [], 'mm5': [], 'rn3': []}\n"
        "for block in open(sys.argv[1]).read().split('\\na ')[1:]:\n"
        "    rows = {}\n"
        "    for l in block.split('\\n'):\n"
        "        f = l.split()\n"
        "        if f and f[0] == 's' and f[1].split('.')[0] not in rows: rows[f[1].split('.')[0]] = "
        "f[6].replace('-', '')\n"
        "    if all(s in rows for s in rec) and len(rows['hg17']) >= 100:\n"
        "        for s in rec: rec[s].append(rows[s])\n"
        "for s in rec: print('\\n'.join(rec[s]))\n";
    support::RunResult oracle = RunCommand("/usr/bin/python3 -c \"" + script + "\" " + maf);
    ASSERT_EQ(oracle.status, 0) << oracle.error;
    std::vector<std::string> expected = support::Lines(oracle.output), records;
    for (const std::string& line : support::Lines(support::ReadFile(dir.File("g.fa"))))
        if (line[0] == '>') records.emplace_back();
        else records.back() += line;
    ASSERT_EQ(records.size(), 3u * 395);
    EXPECT_EQ(records, expected);
    // Positions mapped back through the table land on the same base of the genome.
    std::string bases;
    for (const std::string& line : support::Lines(support::ReadFile(genome)))
        if (line[0] != '>') bases += line;
    std::vector<std::string> table = support::Lines(support::ReadFile(dir.File("g.groups.tsv")));
    ASSERT_EQ(table.size(), 1 + records.size());
    for (size_t g = 0; g < 395; g += 37)
        for (long p : {0L, 17L, 99L}) {
            std::vector<std::string> f = support::Fields(table[1 + g]);
            ASSERT_EQ(f[1], "hg17");
            EXPECT_EQ(std::toupper(records[g][p]), bases[std::stol(f[5]) + p]) << "group " << g << " position " << p;
        }
    // With regions a record joins the blocks that cover it; each human segment is the genome's.
    support::WriteFile(dir.File("r.bed"), "track name=r\nchr22\t1229\t3000\nchr22\t5000\t9000\nchr9\t0\t100\n");
    r = RunCommand(kPrep + " maf " + maf + " --species hg17,mm5,rn3 --regions r.bed -o r", dir.Path().string());
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_NE(r.error.find("2 groups from 3 regions; skipped 1 lacking"), std::string::npos) << r.error;
    records.clear();
    for (const std::string& line : support::Lines(support::ReadFile(dir.File("r.fa"))))
        if (line[0] == '>') records.emplace_back();
        else for (char c : line) records.back() += static_cast<char>(std::toupper(c));
    int segments = 0;
    for (const std::string& line : support::Lines(support::ReadFile(dir.File("r.groups.tsv")))) {
        std::vector<std::string> f = support::Fields(line);
        if (f[1] != "hg17") continue;
        ++segments;
        EXPECT_EQ(records[std::stoi(f[0])].substr(std::stol(f[2]), std::stol(f[3])),
                  bases.substr(std::stol(f[5]), std::stol(f[3])));
    }
    EXPECT_EQ(segments, 15);
}

TEST(PrepExport, BedtoolsReadsTheTracksAndFindsEverySiteInTheGenome)
{
    const std::string genome = kShared + "/hg17_chr22_region.fa";
    if (!HaveBedtools() || !support::Exists(genome)) GTEST_SKIP() << "needs bedtools and ../shared/data";
    support::TempDir dir("export_sites");
    const std::string piece = support::kSourceDir + "/examples/chr22_piece.maf";
    for (const char* extra : {"", " --offset hg17=14499999"})
        ASSERT_EQ(RunCommand(kPrep + " maf " + piece + " --species hg17,mm5,rn3 -o " + dir.File(*extra ? "o" : "g") +
                             extra)
                      .status,
                  0);
    support::RunResult run = RunCommand(support::kBin + " -i " + dir.File("g.fa") +
                                        " -N 3 -K 2 -n 30 -w 8 -W 10 -S 1 -o " + dir.File("run.txt"));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string base = kExport + " sites " + dir.File("run.txt") + " -i " + dir.File("g.fa");
    auto exportAs = [&](const std::string& prefix, const std::string& format) {
        const std::string out = dir.File(prefix + "." + format);
        EXPECT_EQ(RunCommand(base + " --groups " + dir.File(prefix + ".groups.tsv") + " --format " + format + " -o " +
                             out)
                      .status,
                  0);
        return out;
    };
    const std::string bed = exportAs("g", "bed"), tsv = exportAs("g", "tsv"), gff = exportAs("g", "gff3");
    std::vector<std::string> bedLines = support::Lines(support::ReadFile(bed));
    ASSERT_GT(bedLines.size(), 3u);
    for (const std::string& file : {bed, gff})
        EXPECT_EQ(support::Lines(RunCommand("bedtools sort -i " + file).output).size(),
                  support::Lines(support::ReadFile(file)).size() - (file == gff ? 1 : 0));
    // A scratch genome whose record is named as the chromosome.
    std::string fasta = support::ReadFile(genome);
    support::WriteFile(dir.File("chr22.fa"), ">chr22\n" + fasta.substr(fasta.find('\n') + 1));
    std::vector<std::string> got =
        support::Lines(RunCommand("bedtools getfasta -s -tab -fi " + dir.File("chr22.fa") + " -bed " + bed).output);
    std::vector<std::string> rows = support::Lines(support::ReadFile(tsv));
    ASSERT_EQ(got.size(), bedLines.size());
    ASSERT_EQ(rows.size(), bedLines.size() + 1);
    int sites = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const std::string letters = support::Fields(rows[i + 1])[7];
        if (letters == ".") continue;
        ++sites;
        EXPECT_EQ(support::Fields(got[i])[1], letters) << bedLines[i];
    }
    EXPECT_GT(sites, 0);
    // --offset moves every coordinate by exactly the offset.
    std::vector<std::string> moved = support::Lines(support::ReadFile(exportAs("o", "bed")));
    ASSERT_EQ(moved.size(), bedLines.size());
    for (size_t i = 0; i < moved.size(); ++i) {
        std::vector<std::string> a = support::Fields(bedLines[i]), b = support::Fields(moved[i]);
        EXPECT_EQ(std::stoll(b[1]) - std::stoll(a[1]), 14499999);
        EXPECT_EQ(std::stoll(b[2]) - std::stoll(a[2]), 14499999);
    }
}

TEST(PrepExport, BadInputIsNamedAndLeavesNoFile)
{
    support::TempDir dir("prep_bad");
    const std::string maf = "##maf version=1\na score=1\ns hg17.chr1 0 4 + 10 ACGT\ns mm5.chr1 0 4 + 10 ACG-T\n";
    const std::pair<std::string, std::string> cases[] = {
        {"x.maf", maf},
        {"y.maf", "a\ns hg17.chr1 8 4 + 10 ACGT\n"},
        {"z.maf", "a\nz what\n"},
        {"m.txt", ">X a\nA [1 2]\nC [1]\nG [1 2]\nT [1 2]\n"},
    };
    const char* messages[] = {"x.maf:4: row of 5 columns in a block of 4", "y.maf:2: start 8 + size 4 lies beyond",
                              "z.maf:2: not a MAF line", "m.txt line 3: rows of matrix X have unequal lengths"};
    for (size_t c = 0; c < 4; ++c) {
        const auto& [name, text] = cases[c];
        support::WriteFile(dir.File(name), text);
        const bool motif = name == "m.txt";
        support::RunResult r = RunCommand(kPrep + (motif ? " motifs " : " maf ") + name +
                                              " --species hg17,mm5 -o out" + (motif ? ".txt" : ""),
                                          dir.Path().string());
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.error.find(messages[c]), std::string::npos) << r.error;
        EXPECT_FALSE(std::filesystem::exists(dir.File(motif ? "out.txt" : "out.fa")));
    }
}

TEST(PrepExport, ReverseStrandRowsMapBackToTheGenome)
{
    if (!HaveBedtools()) GTEST_SKIP() << "needs bedtools";
    support::TempDir dir("export_minus");
    auto revcomp = [](std::string s) {
        std::string r(s.rbegin(), s.rend());
        for (char& c : r) c = c == 'A' ? 'T' : c == 'C' ? 'G' : c == 'G' ? 'C' : 'A';
        return r;
    };
    const std::string genome = "ACGTTGCAAGGCTTACCGATCGGATCCAATGCATGCTAGC";  // mm5 chr1, 40 bases
    const std::string row = revcomp(genome).substr(5, 10);                    // a minus-strand row from 5
    support::WriteFile(dir.File("a.maf"), "a score=0\ns hg17.chr1 0 10 + 50 AAAAACCCCC\ns mm5.chr1 5 10 - 40 " +
                                              row + "\n");
    support::WriteFile(dir.File("chr1.fa"), ">chr1\n" + genome + "\n");
    ASSERT_EQ(RunCommand(kPrep + " maf a.maf --species hg17,mm5 --min-length 1 -o g", dir.Path().string()).status, 0);
    // A report of one run with a site on each strand of the mouse record.
    support::WriteFile(dir.File("run.txt"), std::string(sertools::kReportBanner) +
                                                "\nSerevan -i g.fa -N 2 -K 1\nAverage likelihood=0\n"
                                                "Post burn-in iterations=10\n\nMotif1:1\nA\tC\tG\tT\n"
                                                "0.25\t0.25\t0.25\t0.25\n\nSites:\n>1\t0\t2\t1\t0.9\t1\n" +
                                                row.substr(2, 4) + "\n>1\t0\t5\t-1\t0.8\t1\n" +
                                                revcomp(row.substr(5, 4)) + "\n");
    support::RunResult r = RunCommand(kExport + " sites run.txt -i g.fa --groups g.groups.tsv --species mm5 " +
                                          "--format bed -o s.bed && bedtools getfasta -s -tab -fi chr1.fa -bed s.bed",
                                      dir.Path().string());
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(r.output, "chr1:29-33(-)\t" + row.substr(2, 4) + "\nchr1:26-30(+)\t" + revcomp(row.substr(5, 4)) + "\n");
}

TEST(PrepExport, EveryToolFollowsOneCommandLine)
{
    support::TempDir dir("tool_cli");
    for (const std::string& tool : {kPrep, kExport, support::kSim, support::kEval, std::string(SEREVAN_CHAINS_BIN)}) {
        const std::string name = std::filesystem::path(tool).filename().string();
        EXPECT_EQ(RunCommand(tool + " --version").output.rfind(name + " ", 0), 0u) << name;
        support::RunResult help = RunCommand(tool + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.output.find("Usage: " + name), std::string::npos) << name;
    }
    support::RunResult bad = RunCommand(kPrep + " shuffle x");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.error.find("unknown subcommand 'shuffle'"), std::string::npos);
    ASSERT_EQ(RunCommand(kPrep + " motifs " + kSample + " -o " + dir.File("a.txt")).status, 0);
    ASSERT_EQ(RunCommand(kPrep + " motifs " + kSample + " --out=" + dir.File("b.txt")).status, 0);
    EXPECT_EQ(support::ReadFile(dir.File("a.txt")), support::ReadFile(dir.File("b.txt")));
    support::RunResult full = RunCommand(kPrep + " motifs " + kSample + " -o /nonexistent/m.txt");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.error.find("cannot write /nonexistent/m.txt"), std::string::npos) << full.error;
}

TEST(PrepExport, FastaGroupsByNamePrefixOrSeparator)
{
    support::TempDir dir("prep_groups");
    support::WriteFile(dir.File("1.fa"), ">hg17_a\nACGT\n>mm5_a\nAC GT\n>other\nT\n");
    support::WriteFile(dir.File("2.fa"), ">mm5_b\nTTT\n>hg17_b\nGG\n");
    support::WriteFile(dir.File("3.fa"), ">hg17_c\nA\n>hg17_d\nC\n>mm5_c\nG\n");
    support::WriteFile(dir.File("4.fa"), ">c|mm5\nG\n");
    const std::pair<std::string, std::string> cases[] = {
        {"1.fa 3.fa", "3.fa:3: a second record of species hg17 (hg17_d; the first is hg17_c)"},
        {"1.fa 4.fa --separator '|'", "1.fa: no record of species hg17"},
        {"1.fa 2.fa --separator _", ""},
        {"1.fa 2.fa", ""},
    };
    for (const auto& [args, message] : cases) {
        std::filesystem::remove(dir.File("g.fa"));
        support::RunResult r = RunCommand(kPrep + " groups " + args + " --species hg17,mm5 -o g", dir.Path().string());
        EXPECT_EQ(r.status, message.empty() ? 0 : 1) << args;
        EXPECT_NE(r.error.find(message), std::string::npos) << r.error;
        EXPECT_EQ(support::Exists(dir.File("g.fa")), message.empty());
    }
    EXPECT_EQ(support::ReadFile(dir.File("g.fa")), ">hg17_a\nACGT\n>hg17_b\nGG\n>mm5_a\nACGT\n>mm5_b\nTTT\n");
}
