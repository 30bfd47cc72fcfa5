// Inputs the fuzz targets found (kept in tests/fuzz/corpus/TARGET): each reader now refuses
// them with its one-line message.
#include <string>
#include <vector>

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
    };
    for (const Finding& f : findings) EXPECT_EQ(Refusal(f.file), f.message) << f.file;
}

}  // namespace
