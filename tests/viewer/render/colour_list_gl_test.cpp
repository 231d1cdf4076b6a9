// Draws colour lists, outlines, points and text into a real OpenGL
// compatibility context (offscreen, under Xvfb) and reads pixels back.
#include "viewer/render/colour_list_gl.h"
#include "viewer/render/mesh_gl.h"

#include "offscreen_gl.h"
#include "test_model.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

namespace orv {
namespace {

// The view shows model x and y from -1 to 10 on 110 x 110 pixels: 10 pixels
// per unit, pixel column c covering x in [c/10 - 1, (c+1)/10 - 1).
constexpr int kSize = 110;

using Pixel = std::array<int, 3>;

Pixel pixel_at(double x, double y) {
    unsigned char rgba[4] = {};
    glReadPixels(static_cast<int>((x + 1) * 10), static_cast<int>((y + 1) * 10), 1, 1, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
}

::testing::AssertionResult colour_near(const Pixel& got, const Pixel& want, int tolerance = 2) {
    for (int i = 0; i < 3; ++i)
        if (std::abs(got[i] - want[i]) > tolerance)
            return ::testing::AssertionFailure()
                   << "got (" << got[0] << ", " << got[1] << ", " << got[2] << ") want (" << want[0] << ", "
                   << want[1] << ", " << want[2] << ")";
    return ::testing::AssertionSuccess();
}

class GlDrawing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::bind_offscreen_gl(-1, 10));
        load_legend(0);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glShadeModel(GL_SMOOTH);
        glClearColor(0.2f, 0.2f, 0.2f, 1);
        glClear(GL_COLOR_BUFFER_BIT);

        // A linear quadrilateral over [0, 9] x [0, 9] and a line along y = -0.5,
        // both with list 1 value = x, so the bands of the range (0, 9) are
        // vertical stripes one unit wide. List 1 moves nothing; list 2 moves
        // everything by +1 in y.
        std::vector<test::TestNode> nodes(6);
        const Point3 at[6] = {{0, 0, 0}, {9, 0, 0}, {0, 9, 0}, {9, 9, 0}, {0, -0.5, 0}, {9, -0.5, 0}};
        for (int i = 0; i < 6; ++i) {
            nodes[i].at = at[i];
            nodes[i].values = {at[i].x, at[i].x};
            nodes[i].list_disp = {{0, 0, 0}, {0, 1, 0}};
        }
        model = test::make_model(nodes, {{3, 1, {1, 2, 3, 4}}, {1, 1, {5, 6}}}, 2);
    }
    void TearDown() override {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        // The lists compile_and_draw made (5 + k for the model's lists).
        glDeleteLists(6, static_cast<GLsizei>(model.nlista));
        test::release_offscreen_gl();
    }

    // Compiles list 5 + k as the render pass would, then replays it.
    void compile_and_draw(int k, const ColourListSettings& s) {
        glNewList(5 + k, GL_COMPILE);
        emit_colour_list(model, k, s);
        glEndList();
        glClear(GL_COLOR_BUFFER_BIT);
        glCallList(5 + k);
        glFinish();
    }

    ResultModel model;
};

TEST_F(GlDrawing, BandedListShowsTheBandColoursWhereTheyBelong) {
    ColourListSettings s;
    s.banded = true;
    compile_and_draw(1, s);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    struct Probe {
        double x;
        Pixel colour;
    };
    const Probe probes[] = {
        {0.55, {255, 0, 0}},                          // band 2, row 0
        {1.55, {255, 128, 0}},                        // band 3, orange
        {4.15, {0, 255, 0}},                          // band 6, green, flat across the band
        {4.85, {0, 255, 0}},   {6.55, {0, 255, 255}}, // cyan
        {8.55, {0, 0, 255}},                          // band 10, blue
    };
    for (const Probe& p : probes) {
        EXPECT_TRUE(colour_near(pixel_at(p.x, 4.55), p.colour)) << "face at x " << p.x;
        EXPECT_TRUE(colour_near(pixel_at(p.x, -0.45), p.colour)) << "line at x " << p.x;
    }
    EXPECT_TRUE(colour_near(pixel_at(-0.55, 4.55), {51, 51, 51})) << "background left of the model";
}

TEST_F(GlDrawing, ContinuousListBlendsBetweenVertexColours) {
    ColourListSettings s;
    compile_and_draw(1, s);
    // Vertex colours red (x = 0) and blue (x = 9), interpolated by OpenGL.
    const Pixel mid = pixel_at(4.45, 4.55);
    EXPECT_TRUE(colour_near(mid, {128, 0, 128}, 4));
    EXPECT_TRUE(colour_near(pixel_at(0.05, 4.55), {252, 0, 3}, 4));
}

TEST_F(GlDrawing, SolidNegativeAndTransparency) {
    ColourListSettings s;
    s.banded = true;
    s.solid = true;
    compile_and_draw(1, s);
    EXPECT_TRUE(colour_near(pixel_at(4.55, 4.55), {255, 255, 255})) << "solid: white";
    s.negative = true;
    compile_and_draw(1, s);
    EXPECT_TRUE(colour_near(pixel_at(4.55, 4.55), {0, 0, 0})) << "solid and negative: black";
    s.solid = false;
    s.transparency_position = 50; // half of (1 - green) over the grey background
    compile_and_draw(1, s);
    EXPECT_TRUE(colour_near(pixel_at(4.55, 4.55), {153, 25, 153}));
}

TEST_F(GlDrawing, FiltersAndOwnDisplacement) {
    ColourListSettings s;
    s.banded = true;
    s.filters = {0, -1, 1}; // hide lines and linear quadrilaterals
    compile_and_draw(1, s);
    EXPECT_TRUE(colour_near(pixel_at(4.55, 4.55), {51, 51, 51}));
    EXPECT_TRUE(colour_near(pixel_at(4.55, -0.45), {51, 51, 51}));

    // List 2 moves the model up by f = 2 * 50 / 50 = 2 units.
    s.filters = {-1, -1, -1};
    s.factor = 2;
    compile_and_draw(2, s);
    EXPECT_TRUE(colour_near(pixel_at(4.55, 0.55), {51, 51, 51}));
    EXPECT_TRUE(colour_near(pixel_at(4.55, 2.55), {0, 255, 0}));
    EXPECT_TRUE(colour_near(pixel_at(4.55, 1.55), {0, 255, 0})) << "line moved to y = 1.5";
}

TEST_F(GlDrawing, DeformedOutlineComesFirstAndKeepsItsWidth) {
    ColourListSettings s;
    s.banded = true;
    s.deformed_checked = true;
    s.line_def_w = 5;
    s.line_def_rgb = 0.0;
    compile_and_draw(1, s);
    EXPECT_TRUE(colour_near(pixel_at(-0.15, 4.55), {0, 0, 0})) << "outline just outside the left edge";
    EXPECT_TRUE(colour_near(pixel_at(0.15, 4.55), {255, 0, 0})) << "fill drawn over the inner half";
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 5.0f);
}

TEST_F(GlDrawing, NodePointsOutlineAndText) {
    draw_node_points(model);
    draw_mesh_outline(model, {0.5, 1.0, 3});
    glFinish();
    EXPECT_TRUE(colour_near(pixel_at(4.55, 9.0), {128, 128, 128})) << "top edge";
    EXPECT_TRUE(colour_near(pixel_at(4.55, 4.55), {51, 51, 51})) << "interior not drawn";

    glClear(GL_COLOR_BUFFER_BIT);
    draw_node_points(model);
    glFinish();
    EXPECT_TRUE(colour_near(pixel_at(9.0, 9.0), {89, 89, 89})) << "node 4";

    // Text: white on the grey background, to the right of and above the raster position.
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4d(1, 1, 1, 1);
    draw_text("8888", BitmapFont::Helvetica12, 2, 4, 0);
    draw_text(u"", BitmapFont::Helvetica10, 0, 0, 0);
    glFinish();
    std::vector<unsigned char> pixels(4 * 40 * 15);
    glReadPixels(30, 50, 40, 15, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    int lit = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 4)
        lit += pixels[i] == 255 && pixels[i + 1] == 255;
    EXPECT_GT(lit, 20) << "the characters were drawn";
    pixels.assign(4 * 30 * 50, 0);
    glReadPixels(0, 0, 30, 50, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    lit = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 4)
        lit += pixels[i] == 255;
    EXPECT_EQ(lit, 0) << "nothing below or left of the raster position";
}

} // namespace
} // namespace orv

int main(int argc, char** argv) {
    return orv::test::run_offscreen_gl_tests(argc, argv, orv::kSize);
}
