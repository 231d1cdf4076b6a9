// Cascade of viewer windows: size, offsets and the restart at the corner.

#include "shell/window_arrangement.h"

#include <gtest/gtest.h>

namespace orv::shell {
namespace {

TEST(CascadeRects, EveryWindowTwoThirdsOfTheAreaOffsetByOneTitleBar) {
    const auto rects = cascade_rects(900, 600, 3, 25);
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0], (WindowRect{0, 0, 600, 400}));
    EXPECT_EQ(rects[1], (WindowRect{25, 25, 600, 400}));
    EXPECT_EQ(rects[2], (WindowRect{50, 50, 600, 400}));
}

TEST(CascadeRects, StartsAgainAtTheCornerWhenAWindowWouldStickOut) {
    // 300 x 300 windows in 450 x 450: offsets 0, 60, 120 fit (120 + 300 <= 450), 180 does not.
    const auto rects = cascade_rects(450, 450, 5, 60);
    ASSERT_EQ(rects.size(), 5u);
    const int expected[] = {0, 60, 120, 0, 60};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rects[static_cast<std::size_t>(i)].x, expected[i]) << i;
        EXPECT_EQ(rects[static_cast<std::size_t>(i)].y, expected[i]) << i;
        EXPECT_EQ(rects[static_cast<std::size_t>(i)].width, 300) << i;
        EXPECT_LE(rects[static_cast<std::size_t>(i)].x + 300, 450) << i;
    }
}

TEST(CascadeRects, TheNarrowerSideLimitsTheOffsets) {
    // Wide and low: 1200 x 90 gives 800 x 60 windows; only offsets 0 and 20 fit in the height.
    const auto rects = cascade_rects(1200, 90, 4, 20);
    ASSERT_EQ(rects.size(), 4u);
    EXPECT_EQ(rects[1].y, 20);
    EXPECT_EQ(rects[2].y, 0);
    EXPECT_EQ(rects[3].y, 20);
}

TEST(CascadeRects, DegenerateInput) {
    EXPECT_TRUE(cascade_rects(900, 600, 0, 25).empty());
    EXPECT_TRUE(cascade_rects(900, 600, -2, 25).empty());
    // A tiny or empty area still gives windows of at least one pixel, at the corner.
    const auto tiny = cascade_rects(0, 1, 2, 25);
    ASSERT_EQ(tiny.size(), 2u);
    EXPECT_EQ(tiny[0], (WindowRect{0, 0, 1, 1}));
    EXPECT_EQ(tiny[1], (WindowRect{0, 0, 1, 1}));
    // A step below one pixel counts as one.
    const auto flat = cascade_rects(30, 30, 3, 0);
    EXPECT_EQ(flat[2].x, 2);
}

} // namespace
} // namespace orv::shell
