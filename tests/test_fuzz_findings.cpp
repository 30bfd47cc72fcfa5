// Inputs the fuzz targets found (kept in tests/fuzz/corpus/TARGET): each reader now refuses
// them with its one-line message.
#include <string>
#include <vector>

#include "common/MafGroups.h"
#include "common/ToolText.h"
#include "motif/MotifFormats.h"
#include "support/Support.h"

namespace {

const std::string kCorpus = support::kSourceDir + "/tests/fuzz/corpus/";

// The message of the reader of TARGET for corpus file TARGET/NAME, without the file name.
std::string Refusal(const std::string& file)
{
    const std::string target = file.substr(0, file.find('/'));
    std::string err;
    std::vector<motifio::Motif> motifs;
    sertools::MafSettings settings;
    settings.species = {"hg17", "mm5", "rn3", "galGal2", "fr1"};
    sertools::MafGroups groups;
    if (const motifio::MotifFormat f = motifio::FormatFromName(target); f != motifio::MotifFormat::Unknown) {
        if (motifio::ReadMotifs(kCorpus + file, f, motifs, nullptr, err)) return "accepted";
    } else if (target != "maf" || sertools::ReadMafGroups(kCorpus + file, settings, groups, err)) {
        return "accepted or no reader";
    }
    return err.substr(err.find(' ') + 1);
}

TEST(FuzzFindings, EveryFoundInputIsRefusedInOneLine)
{
    const std::vector<std::pair<std::string, std::string>> findings{
        // A base named twice on the P0 line left a column entry unset.
        {"transfac/p0-base-twice", "line 5: the P0 line must name the bases A C G T"},
        // w= 2.2e77 was cast to a row count (undefined); such a w is now compared as a real.
        {"meme/w-too-large", "line 39: expected a row of four probabilities (motif TIF)"},
        // A zero byte in a source name cut it short in the groups table.
        {"maf/zero-byte-in-source", "the source name holds a control character"},
    };
    for (const auto& [file, message] : findings) EXPECT_EQ(Refusal(file), message) << file;
}

// Counts summing to 4e-4 were written as zeros, which the reader refuses: a matrix accepted
// once must read back the same from what the writer makes of it.
TEST(FuzzFindings, TinyCountsSurviveTheRoundTrip)
{
    std::vector<motifio::Motif> motifs, back;
    std::string err;
    ASSERT_TRUE(motifio::ReadMotifs(kCorpus + "jaspar/tiny-counts", motifio::MotifFormat::Jaspar, motifs, nullptr, err))
        << err;
    for (const motifio::MotifFormat f : {motifio::MotifFormat::Jaspar, motifio::MotifFormat::Transfac}) {
        const std::vector<std::string> lines = support::Lines(motifio::FormatMotifs(motifs, f));
        ASSERT_TRUE(motifio::ParseMotifs(lines, "m.txt", f, back, nullptr, err)) << err;
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].p, motifs[0].p);
        EXPECT_NEAR(back[0].sites, 4e-4, 1e-12);
    }
}

// A number followed by a zero byte and more text was read as the number alone (the
// program's matrix reader: a row of the readers' table).
TEST(FuzzFindings, NumbersWithAZeroByteAreRefused)
{
    long long v = 0;
    double x = 0;
    EXPECT_FALSE(sertools::ParseInt(std::string("12\0junk", 7), v));
    EXPECT_FALSE(sertools::ParseDouble(std::string("0.5\0", 4), x));
}

}  // namespace
