// Common range of "> Valores Máximos" and the conversions of the colour editor.
#include "viewer/legend/colour_editor.h"
#include "viewer/legend/common_range.h"
#include "viewer/model/number_text.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

struct RangeState {
    int legmax = 0;
    std::array<double, 2> row0{-7, 7};
};

void run(RangeState& s, bool checked, const std::string& e5, const std::string& e6) {
    apply_common_range({checked, e5, e6, -3, 40}, {s.legmax, s.row0});
}

TEST(CommonRange, Cases) {
    struct Case {
        bool checked;
        const char* e5;
        const char* e6;
        int legmax;
        std::array<double, 2> row0;
    };
    const Case cases[] = {
        {false, "abc", "xyz", 0, {-7, 7}}, // unchecked: nothing is read, row 0 kept
        {true, "0", "0", 1, {-3, 40}},     // both 0: overall range
        {true, "0", "100", 1, {0, 100}},      {true, "5", "0", 1, {5, 0}}, // taken as typed, reversed
        {true, "0.0", "-0", 1, {-3, 40}},                                  // zeros in any spelling
        {true, " 2.5 ", "1e1", 1, {2.5, 10}},
    };
    for (const Case& c : cases) {
        RangeState s;
        s.legmax = c.checked ? 0 : 1;
        run(s, c.checked, c.e5, c.e6);
        EXPECT_EQ(s.legmax, c.legmax) << c.e5 << " " << c.e6;
        EXPECT_EQ(s.row0, c.row0) << c.e5 << " " << c.e6;
    }
}

TEST(CommonRange, FailuresLeaveWhatWasAlreadySet) {
    {
        // Edit5 not a number: stops at once, legmax already 1, row 0 untouched.
        RangeState s;
        EXPECT_THROW(run(s, true, "abc", "3"), InvalidReal);
        EXPECT_EQ(s.legmax, 1);
        EXPECT_EQ(s.row0, (std::array<double, 2>{-7, 7}));
    }
    {
        // Edit5 = 1, Edit6 not a number: the minimum is stored, the maximum kept.
        RangeState s;
        try {
            run(s, true, "1", "x");
            ADD_FAILURE();
        } catch (const InvalidReal& e) {
            EXPECT_STREQ(e.what(), "'x' is not a valid floating point value");
        }
        EXPECT_EQ(s.legmax, 1);
        EXPECT_EQ(s.row0, (std::array<double, 2>{1, 7}));
    }
    {
        // Edit5 = 0 and Edit6 bad: Edit6 is read in the test step already.
        RangeState s;
        EXPECT_THROW(run(s, true, "0", ""), InvalidReal);
        EXPECT_EQ(s.row0, (std::array<double, 2>{-7, 7}));
    }
    {
        // Unchecking after a manual range keeps row 0; checking again with
        // both edits 0 restores the overall range.
        RangeState s;
        run(s, true, "0", "100");
        run(s, false, "0", "100");
        EXPECT_EQ(s.legmax, 0);
        EXPECT_EQ(s.row0, (std::array<double, 2>{0, 100}));
        run(s, true, "0", "0");
        EXPECT_EQ(s.row0, (std::array<double, 2>{-3, 40}));
    }
}

TEST(ColourEditor, ByteConversions) {
    EXPECT_EQ(component_to_byte(0.5), 127);
    EXPECT_EQ(component_to_byte(1.0), 255);
    EXPECT_EQ(component_to_byte(0.0), 0);
    EXPECT_EQ(component_to_byte(-0.1), 0);
    EXPECT_EQ(component_to_byte(1.5), 255);
    EXPECT_EQ(byte_to_component(127), 0.4980392156862745);
    // Inverse for every byte: a component nearest b / 255 shows as b again.
    for (int b = 0; b <= 255; ++b)
        EXPECT_EQ(component_to_byte(byte_to_component(b)), b) << b;
}

TEST(ColourEditor, CaptionsOfTheBuiltInScales) {
    load_legend(0);
    const char* escala1[9] = {"0 - 0 - 255",   "0 - 127 - 255", "0 - 255 - 255",
                              "0 - 255 - 127", "0 - 255 - 0",   "127 - 255 - 0",
                              "255 - 255 - 0", "255 - 127 - 0", "255 - 0 - 0"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(panel_caption(row_bytes(legcolor, panel_row(i))), escala1[i]);
    EXPECT_EQ(complement(row_bytes(legcolor, 8)), (Rgb8{255, 255, 0}));

    load_legend(1);
    const int greys[9] = {245, 234, 192, 178, 150, 119, 95, 77, 51}; // rows 0..8
    for (int row = 0; row <= 8; ++row) {
        const Rgb8 c = row_bytes(legcolor, row);
        EXPECT_EQ(c, (Rgb8{greys[row], greys[row], greys[row]}));
        EXPECT_EQ(complement(c), (Rgb8{255 - greys[row], 255 - greys[row], 255 - greys[row]}));
    }
    load_legend(0);
}

TEST(ColourEditor, ApplyAfterEscala1ChangesOnlyTheHalves) {
    load_legend(0);
    const LegendTable before = legcolor;
    LegendTable after;
    for (int row = 0; row <= 8; ++row)
        after[static_cast<std::size_t>(row)] = row_from_bytes(row_bytes(before, row));
    for (std::size_t row = 0; row < 9; ++row)
        for (std::size_t c = 0; c < 3; ++c) {
            if (before[row][c] == 0.5) {
                EXPECT_EQ(after[row][c], 127 / 255.0);
                EXPECT_TRUE(row == 1 || row == 3 || row == 5 || row == 7);
            } else {
                EXPECT_EQ(after[row][c], before[row][c]);
            }
        }
}

} // namespace
} // namespace orv
