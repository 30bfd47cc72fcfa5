// Inputs the fuzz targets found (kept in tests/fuzz/corpus/TARGET): each reader now refuses
// them with its one-line message.
#include <string>
#include <vector>

#include "common/MafGroups.h"
#include "motif/MotifFormats.h"
#include "support/Support.h"

namespace {

struct Finding {
    const char* file;     // under tests/fuzz/corpus
    const char* message;  // the refusal, after the file name
};

std::string Refusal(const std::string& path)
{
    const std::string target = path.substr(0, path.find('/'));
    const std::string full = support::kSourceDir + "/tests/fuzz/corpus/" + path;
    std::string err;
    std::vector<motifio::Motif> motifs;
    if (const motifio::MotifFormat f = motifio::FormatFromName(target); f != motifio::MotifFormat::Unknown) {
        if (motifio::ReadMotifs(full, f, motifs, nullptr, err)) return "accepted";
    } else if (target == "maf") {
        sertools::MafSettings settings;
        settings.species = {"hg17", "mm5", "rn3", "galGal2", "fr1"};
        sertools::MafGroups groups;
        if (sertools::ReadMafGroups(full, settings, groups, err)) return "accepted";
    } else {
        return "no reader for " + target;
    }
    return err.substr(err.find(' ') + 1);  // without the file name
}

TEST(FuzzFindings, EveryFoundInputIsRefusedInOneLine)
{
    const std::vector<Finding> findings{
        // A base named twice on the P0 line left a column entry unset.
        {"transfac/p0-base-twice", "line 5: the P0 line must name the bases A C G T"},
        // w= 2.2e77 was cast to a row count (undefined); such a w is now compared as a real.
        {"meme/w-too-large", "line 39: expected a row of four probabilities (motif TIF)"},
        // A zero byte in a source name cut it short in the groups table.
        {"maf/zero-byte-in-source", "the source name holds a control character"},
    };
    for (const Finding& f : findings) EXPECT_EQ(Refusal(f.file), f.message) << f.file;
}

}  // namespace
