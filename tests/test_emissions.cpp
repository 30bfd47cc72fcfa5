// The low-complexity mask of the position scores, worked by hand. Node emissions, aligned
// sites, both-strand means and the background likelihood of a path are checked against the
// enumeration in test_forward_backward.
#include <gtest/gtest.h>

#include <cmath>

#include "support/Model.h"

TEST(EmissionTable, LowComplexityMaskOnlyTouchesSingleSpeciesWindows)
{
    support::ModelSetup setup;
    setup.widths = {4};
    setup.param.bMaskLowComplexity = true;
    setup.param.bBothStrands = false;
    // Window ending at `last`: masked when one base (AAAA) or C+G (CGCG) is more than 0.8 of it.
    const struct {
        const char* text;
        int last;
        bool masked;
    } cases[] = {{"AAAAACGT", 3, true}, {"AAAAACGT", 4, true}, {"AAAAACGT", 7, false},
                 {"GCGCGAACG", 3, true}, {"GCGCGAACG", 8, false}};
    for (const auto& c : cases) {
        auto tm = support::AlignedModel({c.text, c.text}, setup);
        tm->Refresh();
        EXPECT_DOUBLE_EQ(tm->table[0][3 * c.last], c.masked ? -1e100 : 4 * std::log(0.25)) << c.text << " " << c.last;
        const int species[2] = {0, 1}, pos[2] = {c.last, c.last};  // no mask across species
        EXPECT_GT(tm->m.CalMotifEmission(0, 2, species, pos, 0), -1e20) << c.text;
    }
}
