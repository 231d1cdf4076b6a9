// Colour lists drawn from vertex buffers with the scale texture, in an
// offscreen context, pixels read back: the colour at a pixel is the scale's
// colour of the value there, symmetric data give a symmetric picture, a
// change of range or scale keeps the buffers, and a node without value is
// drawn grey.
#include "viewer/render/render_pass_gl.h"

#include "offscreen_gl.h"
#include "test_model.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace orv {
namespace {

// The framebuffer shows x and y from 0 to 10 at 20 pixels per unit; the four
// quadrilaterals cover [0.5, 9.5]^2, so x = 5 falls between pixel columns 99
// and 100 and the picture mirrors column c onto 199 - c.
constexpr int kSize = 200;
constexpr double kLo = 0.5, kMid = 5, kHi = 9.5;

using Pixel = std::array<int, 3>;

int distance(const Pixel& a, const Pixel& b) {
    return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

Pixel of(const Rgb& c) {
    return {static_cast<int>(std::lround(c.r * 255)), static_cast<int>(std::lround(c.g * 255)),
            static_cast<int>(std::lround(c.b * 255))};
}

// Distance of a colour to the nearest colour of the continuous scale.
int palette_distance(const Pixel& p) {
    int best = 255;
    for (int i = 0; i <= 4096; ++i)
        best = std::min(best, distance(p, of(value_color(0, 1, 0, i / 4096.0))));
    return best;
}

class ColourTextureGl : public ::testing::Test {
  protected:
    void SetUp() override {
        load_legend(0);
        ASSERT_TRUE(test::bind_offscreen_gl(0, 10));
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 1);
        // planestress3-like: a 3 x 3 node grid, four linear quadrilaterals,
        // value 1 at the centre node and 0 elsewhere (a bilinear tent).
        std::vector<test::TestNode> nodes(9);
        const double at[3] = {kLo, kMid, kHi};
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                test::TestNode& n = nodes[static_cast<std::size_t>(i + 3 * j)];
                n.at = {at[i], at[j], 0};
                n.values = {i == 1 && j == 1 ? 1.0 : 0.0};
            }
        const auto node = [](int i, int j) { return 1 + i + 3 * j; };
        std::vector<test::TestElement> quads;
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i)
                quads.push_back({3, 1, {node(i, j), node(i + 1, j), node(i, j + 1), node(i + 1, j + 1)}});
        model = test::make_model(nodes, quads, 1);
        in.model = &model;
        in.checked = {false, false, false, false, false, true};
        in.changes = true;
    }
    void TearDown() override {
        pass.free_lists();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        test::release_offscreen_gl();
        load_legend(0);
    }
    void run() {
        glClear(GL_COLOR_BUFFER_BIT);
        ASSERT_TRUE(pass.run(in, {}));
        glFinish();
        pixels.assign(static_cast<std::size_t>(kSize * kSize * 4), 0);
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        in.changes = false;
    }
    // Column c, row r from the bottom.
    Pixel pixel(int c, int r) const {
        const unsigned char* p = &pixels[static_cast<std::size_t>((r * kSize + c) * 4)];
        return {p[0], p[1], p[2]};
    }
    static double centre(int c) { return (c + 0.5) / 20.0; }
    // Pixels whose centre lies inside the model by more than a pixel.
    template <class F> void for_inner_pixels(F&& f) const {
        for (int r = 0; r < kSize; ++r)
            for (int c = 0; c < kSize; ++c)
                if (centre(c) > kLo + 0.05 && centre(c) < kHi - 0.05 && centre(r) > kLo + 0.05 &&
                    centre(r) < kHi - 0.05)
                    f(c, r);
    }
    // The tent's value at (x, y): bilinear in each quadrilateral.
    static double tent(double x, double y) {
        const double h = kMid - kLo;
        return (1 - std::abs(x - kMid) / h) * (1 - std::abs(y - kMid) / h);
    }

    ResultModel model;
    RenderPassInputs in;
    RenderPass pass;
    std::vector<unsigned char> pixels;
};

TEST_F(ColourTextureGl, PixelsShowTheScaleColourOfTheBilinearValue) {
    run();
    int worst_value = 0, worst_mirror = 0, worst_palette = 0;
    for_inner_pixels([&](int c, int r) {
        const Pixel p = pixel(c, r);
        worst_value =
            std::max(worst_value, distance(p, of(value_color(0, 1, 0, tent(centre(c), centre(r))))));
        worst_mirror = std::max({worst_mirror, distance(p, pixel(kSize - 1 - c, r)),
                                 distance(p, pixel(c, kSize - 1 - r)), distance(p, pixel(r, c))});
        if ((c % 7) == 0 && (r % 7) == 0) worst_palette = std::max(worst_palette, palette_distance(p));
    });
    // The value the probe prints (the element's shape functions) maps to the pixel's colour.
    EXPECT_LE(worst_value, 6);
    // Symmetric data, symmetric picture: left-right, top-bottom and across the diagonal.
    EXPECT_LE(worst_mirror, 3);
    EXPECT_LE(worst_palette, 3);
}

TEST_F(ColourTextureGl, RangeScaleAndLegendChangesKeepTheBuffers) {
    run();
    ASSERT_EQ(to_string(pass.state.log), "C6");
    const long uploads = pass.state.scale_texture_uploads;
    // A point where the tent is 0.5, and the corner pixel at 0.
    const double x = kMid - (kMid - kLo) / 2;
    const int c = static_cast<int>(x * 20), r = static_cast<int>(kMid * 20);
    const double v = tent(centre(c), centre(r));

    // "> Valores Máximos": the range [0.25, 0.75].
    model.maxlista[1] = {0.25, 0.75};
    in.changes = true;
    run();
    EXPECT_EQ(to_string(pass.state.log), "C6");
    EXPECT_EQ(pass.state.scale_texture_uploads, uploads);
    EXPECT_LE(distance(pixel(c, r), of(value_color(0, 0.75, 0.25, v))), 6);
    EXPECT_LE(distance(pixel(12, 12), of(value_color(0, 0.75, 0.25, 0))), 3);

    // "Escala 2" and the reversed map: a new texture, still no compile.
    load_legend(1);
    in.changes = true;
    run();
    EXPECT_EQ(pass.state.scale_texture_uploads, uploads + 1);
    EXPECT_LE(distance(pixel(c, r), of(value_color(0, 0.75, 0.25, v))), 6);
    in.colours.trgb = 1;
    in.changes = true;
    run();
    EXPECT_EQ(pass.state.scale_texture_uploads, uploads + 2);
    EXPECT_LE(distance(pixel(c, r), of(value_color(1, 0.75, 0.25, v))), 6);
    // Transparency is the fill alpha of the replay.
    in.colours.transparency_position = 50;
    in.changes = true;
    run();
    EXPECT_EQ(to_string(pass.state.log), "C6");

    // Bands: their edges are geometry, so the list is built again.
    in.colours.banded = true;
    in.changes = true;
    run();
    EXPECT_EQ(to_string(pass.state.log), "C6 C6");
}

TEST_F(ColourTextureGl, BandsShowOnlyBandColours) {
    in.colours.banded = true;
    for (const bool negative : {false, true}) {
        in.colours.negative = negative;
        in.changes = true;
        run();
        int worst = 0;
        for_inner_pixels([&](int c, int r) {
            int best = 255;
            for (int band = 1; band <= 11; ++band) {
                const Rgba b = band_piece_color(band, false, negative, 0);
                best = std::min(best, distance(pixel(c, r), of({b.r, b.g, b.b})));
            }
            worst = std::max(worst, best);
        });
        EXPECT_LE(worst, 2) << negative;
        // The centre holds the top band, a corner the lowest.
        const Rgba top = band_piece_color(11, false, negative, 0),
                   low = band_piece_color(1, false, negative, 0);
        EXPECT_LE(distance(pixel(100, 100), of({top.r, top.g, top.b})), 2);
        EXPECT_LE(distance(pixel(12, 12), of({low.r, low.g, low.b})), 2);
    }
    // "Legenda Negativa" changed the texture only.
    EXPECT_EQ(to_string(pass.state.log), "C6");
}

TEST_F(ColourTextureGl, NodeWithoutValueIsGreyNeverAScaleColour) {
    // The lower left corner node has no value: its quadrilateral is grey,
    // continuous or banded; the others keep their colours.
    model.listas_ref(1, 1) = std::nan("");
    for (const bool banded : {false, true}) {
        in.colours.banded = banded;
        in.changes = true;
        run();
        const Pixel grey = of(kNoValueColour);
        EXPECT_LE(distance(pixel(50, 50), grey), 2) << banded;
        EXPECT_LE(distance(pixel(30, 80), grey), 2) << banded;
        EXPECT_GT(distance(pixel(150, 150), grey), 40) << banded;
        EXPECT_LE(palette_distance(pixel(150, 150)), 3) << banded;
    }
}

} // namespace
} // namespace orv

int main(int argc, char** argv) {
    return orv::test::run_offscreen_gl_tests(argc, argv, orv::kSize);
}
