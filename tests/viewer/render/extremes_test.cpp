// The plain parts of the "Extremos" marks: label texts with the legend's
// digits, the hidden-mark rule on depth samples, and where a label's box goes.
#include "viewer/render/extremes.h"

#include <gtest/gtest.h>

#include <vector>

namespace orv {
namespace {

TEST(ExtremeLabel, WritesTheValueAsTheLegendDoes) {
    struct Case {
        ExtremeEnd end;
        double value;
        bool scientific;
        std::u16string text;
    };
    const Case cases[] = {
        {ExtremeEnd::Min, -12.5, false, u"m\u00EDn -12.50000"},
        {ExtremeEnd::Max, 2.0 / 3.0, false, u"m\u00E1x 0.66667"},
        {ExtremeEnd::Both, 0, false, u"m\u00EDn/m\u00E1x 0.00000"},
        // Five decimals would write a small value as 0.00000: the legend's
        // scientific form keeps its digits.
        {ExtremeEnd::Max, 0.00123456, true, u"m\u00E1x 1.2346E-003"},
        {ExtremeEnd::Min, -123456.0, true, u"m\u00EDn -1.2346E+005"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(extreme_label(c.end, c.value, c.scientific), c.text) << c.value;
}

TEST(ExtremeHidden, OnlyASurfaceInFrontAtEveryPixelAroundHidesAMark) {
    struct Case {
        const char* what;
        double depth;
        std::vector<float> around;
        bool hidden;
    };
    const double tol = 0.001;
    const std::vector<Case> cases = {
        {"its own surface at its pixel", 0.5, {0.5f, 0.5f, 0.5f}, false},
        {"a steep face within the tolerance", 0.5, {0.4995f, 0.4992f, 0.5004f}, false},
        {"a surface well in front everywhere", 0.5, {0.3f, 0.31f, 0.29f, 0.3f}, true},
        {"a silhouette: background beside it", 0.5, {0.3f, 0.3f, 1.0f}, false},
        {"nothing drawn there", 0.5, {1.0f, 1.0f}, false},
        {"no samples (outside the view)", 0.5, {}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(extreme_hidden(c.depth, c.around, tol), c.hidden) << c.what;
}

TEST(ExtremeLabelPlace, BoxCoversTheTextBesideTheMarkAtEitherScale) {
    // 1x: text at the mark + 6, box from 2 left and 5 below the baseline to
    // 14 above it, 2 wider on each side.
    EXPECT_EQ(extreme_label_place(100, 50, 40, 1), (LabelPlace{106, 56, {104, 51, 44, 19}}));
    // 2x: every distance doubles.
    EXPECT_EQ(extreme_label_place(100, 50, 40, 2), (LabelPlace{112, 62, {108, 52, 88, 38}}));
}

} // namespace
} // namespace orv
