// The legend's picture without a window: draw_legend in an offscreen OpenGL
// context, texts caught by a sink, pixels read back.
#include "viewer/legend/legend_gl.h"

#include "offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace orv {
namespace {

constexpr int kSize = 100; // x and y from -2 to 2, 25 pixels per unit

std::array<int, 3> pixel_at(double x, double y) {
    unsigned char rgba[4] = {};
    glReadPixels(static_cast<int>((x + 2) * 25), static_cast<int>((y + 2) * 25), 1, 1, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
}

TEST(LegendGl, BarInTheTableColoursAndEveryTextThroughTheSink) {
    ASSERT_TRUE(test::bind_offscreen_gl(-2, 2));
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    LegendInputs in;
    for (int row = 0; row < 9; ++row)
        in.colours[static_cast<std::size_t>(row)] = {row / 8.0, 0.0, 1.0 - row / 8.0};
    in.banded = true;
    in.range = {0, 9};
    std::vector<LegendText> seen;
    const std::vector<LegendText> drawn =
        draw_legend(in, [&seen](const LegendText& t) { seen.push_back(t); });
    glFinish();

    EXPECT_EQ(seen, drawn);
    EXPECT_EQ(drawn, legend_texts(in));
    const double x = (legend::kBarLeft + legend::kBarRight) / 2;
    for (int k : {0, 4, 8}) {
        SCOPED_TRACE(k);
        const auto p = pixel_at(x, -1.85 + 0.35 * k + 0.175);
        EXPECT_NEAR(p[0], std::lround(255 * k / 8.0), 2);
        EXPECT_NEAR(p[2], std::lround(255 * (1 - k / 8.0)), 2);
    }
    EXPECT_EQ(pixel_at(1.5, 0), (std::array<int, 3>{0, 0, 0})) << "nothing right of the texts' start";

    // The negative scale draws each row's complement.
    in.trgb = 1;
    glClear(GL_COLOR_BUFFER_BIT);
    draw_legend(in, {});
    glFinish();
    const auto p = pixel_at(x, -1.85 + 0.175);
    EXPECT_NEAR(p[0], 255, 2);
    EXPECT_NEAR(p[2], 0, 2);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    test::release_offscreen_gl();
}

} // namespace
} // namespace orv

int main(int argc, char** argv) {
    return orv::test::run_offscreen_gl_tests(argc, argv, orv::kSize);
}
