// Motif exchange formats, and the inputs the fuzz targets found. (The program's reading of -A
// files is in the readers' table.)
#include "base/Numbers.h"
#include "common/MafGroups.h"
#include "motif/MotifFormats.h"
#include "support/Support.h"

using motifio::Motif;
using motifio::MotifFormat;

namespace {

// Arnt-like frequencies of 20 sites, columns A C G T.
const std::vector<double> kArnt = {0.2, 0.8, 0, 0, 0.95, 0, 0.05, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0};

const char* kJaspar = ">MA0004.1 Arnt\nA  [ 4 19 0 0 0 0 ]\nC [16 0 20 0 0 0]\nG [0 1 0 20 0 20]\nT [0 0 0 0 20 0]\n";
const char* kJasparPlain = ">MA0004.1 Arnt\n4 19 0 0 0 0\n16 0 20 0 0 0\n0 1 0 20 0 20\n0 0 0 0 20 0\n";
const char* kMeme =
    "MEME version 4\n\nALPHABET= ACGT\n\nMOTIF MA0004.1 Arnt\nletter-probability matrix: alength= 4 w= 6 nsites= 20 E= "
    "0\n"
    "0.2 0.8 0 0\n0.95 0 0.05 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n0 0 1 0\n";
const char* kTransfac =
    "AC  MA0004.1\nXX\nID  Arnt\nXX\nP0  A C G T\n01 4 16 0 0 C\n02 19 0 1 0 A\n"
    "03 0 20 0 0 C\n04 0 0 20 0 G\n05 0 0 0 20 T\n06 0 0 20 0 G\nXX\n//\n";
const char* kProgram = "1\n6\nMA0004.1 Arnt\n20 80 0 0\n95\t0\t5\t0\n0 100 0 0\n0 0 100 0\n0 0 0 100\n0 0 100 0\n";

// Motifs as text: id, name, sites and the frequencies to four decimals.
std::string Dump(const std::vector<Motif>& motifs)
{
    std::string s;
    for (const Motif& m : motifs) {
        s += sertools::Format("%s %s %g:", m.id.c_str(), m.name.c_str(), m.sites);
        for (double p : m.p) s += sertools::Format(" %.4f", p);
    }
    return s;
}

// The motifs of a text, read as file "m" of a guessed format, as Dump shows them; or the message.
std::string Read(const std::string& text, std::vector<Motif>& m)
{
    std::string err;
    return motifio::ParseMotifs(support::Lines(text), "m", MotifFormat::Unknown, m, nullptr, err) ? Dump(m) : err;
}

}  // namespace

// Every format reads the same matrix, guessed, and writes it back; refusals name file and line.
TEST(MotifFormats, EveryFormatReadsTheSameMatrixWritesItBackOrRefusesByLine)
{
    // A program file with a site-number line: told by its length, its numbers read when asked.
    const std::string withSites = "1\n6\n2.5\n" + std::string(kProgram + 4);
    const std::pair<std::string, MotifFormat> cases[] = {
        {kJaspar, MotifFormat::Jaspar},     {kJasparPlain, MotifFormat::Jaspar}, {kMeme, MotifFormat::Meme},
        {kTransfac, MotifFormat::Transfac}, {kProgram, MotifFormat::Program},    {withSites, MotifFormat::Program}};
    for (const auto& [text, format] : cases) {
        // Percentages in whole numbers read as counts of 100.
        const std::string arnt = Dump({{"MA0004.1", "Arnt", kArnt, format == MotifFormat::Program ? 100.0 : 20}});
        EXPECT_EQ(motifio::GuessFormat(support::Lines(text)), format) << text;
        std::vector<Motif> m, back;
        EXPECT_EQ(Read(text, m), arnt);
        for (MotifFormat out : {MotifFormat::Program, MotifFormat::Jaspar, MotifFormat::Meme, MotifFormat::Transfac})
            EXPECT_EQ(Read(motifio::FormatMotifs(m, out), back), arnt) << text << " -> " << motifio::FormatName(out);
    }
    std::vector<Motif> m;
    std::vector<double> sites;
    std::string err;
    ASSERT_TRUE(motifio::ParseMotifs(support::Lines(withSites), "m", MotifFormat::Program, m, &sites, err)) << err;
    EXPECT_EQ(sites, std::vector<double>{2.5});
    const std::pair<const char*, const char*> refusals[] = {
        {"hello\n", "m line 1: unknown motif file format"},
        {">X a\nA [1 2]\nC [1 2]\nG [1 2]\n", "m line 1: matrix X lacks a row"},
        {">X a\nA [1 x]\nC [1 2]\nG [1 2]\nT [1 2]\n", "m line 2: 'x' is not a number"},
        {"MEME version 4\nMOTIF M1\nletter-probability matrix: w= 2.2e77\n0.25 0.25 0.25 0.25\nMOTIF", "m line 5:"},
        {"MEME version 4\nMOTIF M1\n", "m line 2: motif M1 has no letter-probability matrix"},
        {"AC X\nP0 A C G T\n01 1 0 0 0\n02 0 0 0 0\n//\n", "m line 5: column 2 of matrix X sums to zero"},
        {"1\n2\nX\n1 0 0 0\n", "m line 5: file ends before row 2 of matrix 1"},
        // Sums that overflow (or nearly) would give NaN frequencies and an infinite site count.
        {">X a\nA [1e308 1]\nC [1e308 1]\nG [0 1]\nT [0 1]\n",
         "m line 1: column 1 of matrix X sums to more than 1e300"},
        {"MEME version 4\nMOTIF M\nletter-probability matrix:\n1e308 1e308 0 0\n",
         "m line 3: column 1 of matrix M sums"},
        {"AC X\nP0 A C G T\n01 1 0 0 0\n02 1e308 1e308 0 0\n//\n", "m line 5: column 2 of matrix X sums to more"},
        {"1\n1\nX\n1e308 1e308 0 0\n", "m line 4: row 1 of matrix 1 sums to more than 1e300"},
    };
    for (const auto& [text, message] : refusals) EXPECT_EQ(Read(text, m).rfind(message, 0), 0u) << Read(text, m);
}

// Inputs the fuzz targets found (tests/fuzz/corpus/TARGET), one row per mended fault: the reader's
// message without the file name, or "read back" when JASPAR and TRANSFAC give a matrix back.
TEST(FuzzFindings, EveryFoundInputIsRefusedInOneLineOrReadBack)
{
    const std::pair<std::string, std::string> findings[] = {
        // A base named twice on the P0 line left a column entry unset.
        {"transfac/p0-base-twice", "line 5: the P0 line must name the bases A C G T"},
        // w= 2.2e77 at line 37 was cast to a row count (undefined; now compared as a real, see the
        // refusals above); line 8's "0.\0\0\0\0\025" was read as 0 up to its zero byte.
        {"meme/w-too-large", "line 8: expected a row of four probabilities (motif TIF)"},
        // A zero byte in a source name cut it short in the groups table.
        {"maf/zero-byte-in-source", "the source name holds a control character"},
        // Counts summing to 4e-4 were written as zeros, which the reader refuses.
        {"jaspar/tiny-counts", "read back"},
    };
    sertools::MafSettings settings;
    settings.species = {"hg17", "mm5", "rn3", "galGal2", "fr1"};
    for (const auto& [file, message] : findings) {
        const std::string path = support::kSourceDir + "/tests/fuzz/corpus/" + file;
        const MotifFormat format = motifio::FormatFromName(file.substr(0, file.find('/')));
        std::vector<Motif> m, back;
        std::string err, got = "read back";
        sertools::MafGroups groups;
        if (file.starts_with("maf/") ? !sertools::ReadMafGroups(path, settings, groups, err)
                                     : !motifio::ReadMotifs(path, format, m, nullptr, err))
            got = err.substr(err.find(' ') + 1);
        for (MotifFormat f : {MotifFormat::Jaspar, MotifFormat::Transfac})
            if (!m.empty() && Read(motifio::FormatMotifs(m, f), back) != Dump(m))
                got = std::string("not read back as ") + motifio::FormatName(f);
        EXPECT_EQ(got, message) << file;
    }
    // Whole-text numbers as long long, int, finite real and any real ('-': refused). A number
    // followed by a zero byte and more text was read as the number alone.
    const std::pair<std::string, std::string> numbers[] = {
        {" 12\t\r\n", "12 12 12 12"},
        {"+7", "7 7 7 7"},
        {"-2147483649", "-2147483649 - -2.14748e+09 -2.14748e+09"},
        {"9223372036854775808", "- - 9.22337e+18 9.22337e+18"},
        {"0x1p-2", "- - 0.25 0.25"},
        {"1e999", "- - - inf"},
        {"-nan", "- - - -nan"},
        {"1e-400", "- - 0 0"},
        {std::string("12\0junk", 7), "- - - -"},
        {std::string("0.5\0", 4), "- - - -"},
        {"1 2", "- - - -"},
        {" ", "- - - -"},
    };
    for (const auto& [text, want] : numbers) {
        long long v = 0;
        int i = 0;
        double x = 0, y = 0;
        const bool okV = serevan::ParseInt(text, v), okI = serevan::ParseInt(text, i);
        const bool okX = serevan::ParseReal(text, x), okY = serevan::ParseAnyReal(text, y);
        const std::string got = sertools::Format(
            "%s %s %s %s", okV ? std::to_string(v).c_str() : "-", okI ? std::to_string(i).c_str() : "-",
            okX ? sertools::Format("%g", x).c_str() : "-", okY ? sertools::Format("%g", y).c_str() : "-");
        EXPECT_EQ(got, want) << text;
    }
}
