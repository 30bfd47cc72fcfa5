// Inputs the fuzz targets found (kept in tests/fuzz/corpus/TARGET), one row per mended fault:
// each reader now refuses them with its one-line message, or reads back what it wrote.
#include <string>
#include <vector>

#include "common/MafGroups.h"
#include "common/ToolText.h"
#include "motif/MotifFormats.h"
#include "support/Support.h"

namespace {

// The message of the reader of TARGET for corpus file TARGET/NAME without the file name; for
// an accepted motif file, per format JASPAR and TRANSFAC: is the matrix read back the same,
// and its number of sites.
std::string Outcome(const std::string& file)
{
    const std::string path = support::kSourceDir + "/tests/fuzz/corpus/" + file;
    std::string err, out = "read back:";
    std::vector<motifio::Motif> motifs, back;
    sertools::MafSettings settings;
    settings.species = {"hg17", "mm5", "rn3", "galGal2", "fr1"};
    sertools::MafGroups groups;
    const motifio::MotifFormat format = motifio::FormatFromName(file.substr(0, file.find('/')));
    if (file.starts_with("maf/") ? !sertools::ReadMafGroups(path, settings, groups, err)
                                 : !motifio::ReadMotifs(path, format, motifs, nullptr, err))
        return err.substr(err.find(' ') + 1);
    for (const motifio::MotifFormat f : {motifio::MotifFormat::Jaspar, motifio::MotifFormat::Transfac}) {
        const std::vector<std::string> lines = support::Lines(motifio::FormatMotifs(motifs, f));
        if (!motifio::ParseMotifs(lines, "m", f, back, nullptr, err) || back.size() != 1) return "no read back " + err;
        out += sertools::Format(" %d %g", back[0].p == motifs[0].p, back[0].sites);
    }
    return out;
}

TEST(FuzzFindings, EveryFoundInputIsRefusedInOneLineOrReadBack)
{
    const std::pair<std::string, std::string> findings[] = {
        // A base named twice on the P0 line left a column entry unset.
        {"transfac/p0-base-twice", "line 5: the P0 line must name the bases A C G T"},
        // w= 2.2e77 was cast to a row count (undefined); such a w is now compared as a real.
        {"meme/w-too-large", "line 39: expected a row of four probabilities (motif TIF)"},
        // A zero byte in a source name cut it short in the groups table.
        {"maf/zero-byte-in-source", "the source name holds a control character"},
        // Counts summing to 4e-4 were written as zeros, which the reader refuses.
        {"jaspar/tiny-counts", "read back: 1 0.0004 1 0.0004"},
    };
    for (const auto& [file, message] : findings) EXPECT_EQ(Outcome(file), message) << file;
    // A number followed by a zero byte and more text was read as the number alone.
    long long v = 0;
    double x = 0;
    EXPECT_FALSE(sertools::ParseInt(std::string("12\0junk", 7), v));
    EXPECT_FALSE(sertools::ParseDouble(std::string("0.5\0", 4), x));
}

}  // namespace
