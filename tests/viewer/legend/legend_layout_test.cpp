// Bar geometry, labels and range of the legend view.
#include "viewer/legend/legend_layout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace orv {
namespace {

double cross_z(const LegendTriangle& t) {
    return (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[1].y - t[0].y) * (t[2].x - t[0].x);
}

std::vector<std::string> texts(const std::vector<LegendLabel>& labels) {
    std::vector<std::string> out;
    for (const LegendLabel& l : labels)
        out.push_back(l.text);
    return out;
}

TEST(LegendBar, BandedBarHasNineFlatBands) {
    const auto bar = legend_bar(true);
    ASSERT_EQ(bar.size(), 18u);
    for (int k = 0; k <= 8; ++k) {
        const double y0 = -1.85 + 0.35 * k;
        for (int half = 0; half < 2; ++half) {
            const LegendTriangle& t = bar[static_cast<std::size_t>(2 * k + half)];
            for (const LegendVertex& v : t) {
                EXPECT_EQ(v.row, k);
                EXPECT_TRUE(v.x == -0.8 || v.x == -0.45);
                EXPECT_TRUE(std::abs(v.y - y0) < 1e-12 || std::abs(v.y - (y0 + 0.35)) < 1e-12) << v.y;
            }
            EXPECT_GT(cross_z(t), 0) << "band " << k << " is not counter-clockwise";
        }
    }
    EXPECT_NEAR(bar.back()[1].y, 1.3, 1e-12);
    EXPECT_EQ(bar[0][0], (LegendVertex{-0.8, -1.85, 0}));
    EXPECT_EQ(bar[0][1], (LegendVertex{-0.45, -1.85, 0}));
    EXPECT_EQ(bar[1][2], (LegendVertex{-0.8, -1.85 + 0.35, 0}));
}

TEST(LegendBar, ContinuousBarBlendsBetweenStops) {
    const auto bar = legend_bar(false);
    ASSERT_EQ(bar.size(), 16u);
    for (int k = 0; k <= 7; ++k) {
        const LegendTriangle& a = bar[static_cast<std::size_t>(2 * k)];
        const LegendTriangle& b = bar[static_cast<std::size_t>(2 * k + 1)];
        const double y0 = -1.85 + 0.4 * k, y1 = -1.85 + 0.4 * (k + 1);
        EXPECT_EQ(a[0], (LegendVertex{-0.8, y0, k}));
        EXPECT_EQ(a[1], (LegendVertex{-0.45, y0, k}));
        EXPECT_EQ(a[2], (LegendVertex{-0.45, y1, k + 1}));
        EXPECT_EQ(b[0], (LegendVertex{-0.8, y0, k}));
        EXPECT_EQ(b[1], (LegendVertex{-0.45, y1, k + 1}));
        EXPECT_EQ(b[2], (LegendVertex{-0.8, y1, k + 1}));
        EXPECT_GT(cross_z(a), 0);
        EXPECT_GT(cross_z(b), 0);
    }
    EXPECT_NEAR(bar.back()[2].y, 1.35, 1e-12);
}

TEST(LegendLabels, WorkedExamples) {
    struct Case {
        bool banded, scientific;
        double lo, hi;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {true,
         false,
         0,
         9,
         {"9.00000", "8.00000", "7.00000", "6.00000", "5.00000", "4.00000", "3.00000", "2.00000", "1.00000",
          "0.00000"}},
        {false,
         false,
         0,
         8,
         {"8.00000", "7.00000", "6.00000", "5.00000", "4.00000", "3.00000", "2.00000", "1.00000", "0.00000"}},
        {false,
         false,
         0,
         100,
         {"100.00000", "87.50000", "75.00000", "62.50000", "50.00000", "37.50000", "25.00000", "12.50000",
          "0.00000"}},
        {true,
         false,
         5,
         0, // reversed manual range: top 0, bottom 5
         {"0.00000", "0.55556", "1.11111", "1.66667", "2.22222", "2.77778", "3.33333", "3.88889", "4.44444",
          "5.00000"}},
        {false,
         true,
         -0.5,
         0.5,
         {"5.0000E-001", "3.7500E-001", "2.5000E-001", "1.2500E-001", "0.0000E+000", "-1.2500E-001",
          "-2.5000E-001", "-3.7500E-001", "-5.0000E-001"}},
        {true, true, 0, 0, std::vector<std::string>(10, "0.0000E+000")},
        {false, false, 0, 0, std::vector<std::string>(9, "0.00000")},
        {true, false, 3, 3, std::vector<std::string>(10, "3.00000")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(texts(legend_labels(c.banded, c.scientific, c.lo, c.hi)), c.want)
            << c.banded << c.scientific << " " << c.lo << ".." << c.hi;
}

TEST(LegendLabels, PositionsUnderTheBoundaries) {
    const auto banded = legend_labels(true, false, 0, 9);
    const double banded_y[] = {1.25, 0.9, 0.55, 0.2, -0.15, -0.5, -0.85, -1.2, -1.55, -1.9};
    ASSERT_EQ(banded.size(), 10u);
    for (std::size_t i = 0; i < banded.size(); ++i)
        EXPECT_NEAR(banded[i].y, banded_y[i], 1e-12);
    const auto cont = legend_labels(false, false, 0, 8);
    const double cont_y[] = {1.3, 0.9, 0.5, 0.1, -0.3, -0.7, -1.1, -1.5, -1.9};
    ASSERT_EQ(cont.size(), 9u);
    for (std::size_t i = 0; i < cont.size(); ++i)
        EXPECT_NEAR(cont[i].y, cont_y[i], 1e-12);
}

TEST(LegendLabels, EndsAreTheRangeItselfAndInnerValuesExtended) {
    // hi = 0.3 exactly as typed: lo + (hi - lo) * 1 could differ in the last
    // bit, the top label is hi itself.
    const auto l = legend_labels(true, true, 0.1, 0.3);
    EXPECT_EQ(l.front().value, static_cast<long double>(0.3));
    EXPECT_EQ(l.back().value, static_cast<long double>(0.1));
    const long double lo = 0.1, hi = 0.3;
    EXPECT_EQ(l[3].value, lo + (hi - lo) * (6.0L / 9)); // j = 6
}

TEST(LegendTexts, TitleFirstThenTheLabelsFromTheTopDown) {
    for (const bool banded : {false, true}) {
        SCOPED_TRACE(banded);
        LegendInputs in;
        in.banded = banded;
        in.range = {0, 9};
        const std::vector<LegendText> texts = legend_texts(in);
        const std::vector<LegendLabel> labels = legend_labels(banded, false, 0, 9);
        ASSERT_EQ(texts.size(), labels.size() + 1);
        EXPECT_EQ(texts[0], (LegendText{"Legenda:", legend::kTextX, legend::kTitleY, true}));
        for (std::size_t i = 0; i < labels.size(); ++i)
            EXPECT_EQ(texts[i + 1], (LegendText{labels[i].text, legend::kTextX, labels[i].y, false}));
    }
}

TEST(LegendColours, NegativeIsTheComplement) {
    load_legend(0);
    EXPECT_EQ(legend_row_colour(legcolor, 0, 0), (Rgb{1, 0, 0}));
    EXPECT_EQ(legend_row_colour(legcolor, 0, 1), (Rgb{0, 1, 1}));
    EXPECT_EQ(legend_row_colour(legcolor, 8, 1), (Rgb{1, 1, 0}));
    EXPECT_EQ(legend_row_colour(legcolor, 1, 1), (Rgb{0, 0.5, 1}));
}

TEST(LegendRange, LowestCheckedListDecides) {
    ResultModel m;
    m.nlista = 5;
    m.maxlista = {{-100, 100}, {1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}};
    struct Case {
        std::set<int> checked_items;
        int legmax;
        std::array<double, 2> want;
    };
    const Case cases[] = {
        {{}, 0, {0, 0}},     {{0, 1, 2, 3, 4}, 0, {0, 0}}, // fixed items only
        {{6, 9}, 0, {3, 4}},                               // lists 2 and 5: list 2 decides
        {{9}, 0, {9, 10}},   {{6, 9}, 1, {-100, 100}},     // common row 0
        {{}, 1, {0, 0}},                                   // nothing checked: (0, 0) even with a common range
    };
    for (const Case& c : cases) {
        const auto r =
            legend_range(m, 5, c.legmax, [&](int item) { return c.checked_items.count(item) > 0; });
        EXPECT_EQ(r, c.want);
    }
}

} // namespace
} // namespace orv
