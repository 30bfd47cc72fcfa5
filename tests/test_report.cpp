// serevan-report's own computations: logo geometry against information content worked out
// by hand, the consensus, escaping. The page itself is checked by report_page_test.py, the
// motif match it shows by Eval.MotifComparisonFindsOffsetStrandAndOverlap.
#include <gtest/gtest.h>

#include "common/HtmlReport.h"
#include "common/LogoGeometry.h"

using namespace sertools;

TEST(ReportLogo, HeightsAreFrequencyTimesInformation)
{
    // Entropies by hand: (1/2,1/2) is 1 bit, (1/2,1/4,1/4) 1.5 bits, (.1,.2,.3,.4) 1.8464 bits.
    const struct {
        double p[4];
        double bits;
        int order[4];  // bases bottom to top
    } rows[] = {
        {{0.25, 0.25, 0.25, 0.25}, 0.0, {0, 1, 2, 3}},
        {{1, 0, 0, 0}, 2.0, {1, 2, 3, 0}},
        {{0, 0, 0, 7}, 2.0, {0, 1, 2, 3}},  // counts: normalised first
        {{2, 2, 0, 0}, 1.0, {2, 3, 0, 1}},
        {{0.5, 0.25, 0.25, 0}, 0.5, {3, 1, 2, 0}},
        {{0.1, 0.2, 0.3, 0.4}, 2 - 1.846439344671015, {0, 1, 2, 3}},
    };
    for (const auto& r : rows) {
        const LogoColumn c = LayoutColumn(r.p);
        EXPECT_NEAR(c.information, r.bits, 1e-12);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(c.letters.at(i).base, r.order[i]) << "row with info " << r.bits << ", slot " << i;
            EXPECT_NEAR(c.letters[i].height, r.p[r.order[i]] / (r.p[0] + r.p[1] + r.p[2] + r.p[3]) * r.bits, 1e-12);
        }
    }
    MotifMatrix m;
    m.p = {1, 0, 0, 0, 0.1, 0.2, 0.3, 0.4, 0.25, 0.25, 0.25, 0.25};
    EXPECT_NEAR(LayoutLogo(m).at(1).letters[3].height, 0.4 * (2 - 1.846439344671015), 1e-12);
    EXPECT_EQ(Consensus(m), "Ata");
    // Escaping of names in the page and of the downloads' data URLs.
    EXPECT_EQ(HtmlEscape("a<b & \"c\" 'd'>"), "a&lt;b &amp; &quot;c&quot; &#39;d&#39;&gt;");
    EXPECT_EQ(TextDataUrl("A b\t<&>\n%"), "data:text/plain;charset=utf-8,A%20b%09%3C%26%3E%0A%25");
}
