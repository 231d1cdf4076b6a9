// The batched colour-list emitter draws the very picture of the per-piece
// emitter: both are compiled into display lists in a real OpenGL context
// (offscreen, under Xvfb) and the framebuffers compared byte for byte, for
// overlapping elements of every family and order 1..3, blended, in every
// colouring mode.
#include "viewer/render/batched_colour_list_gl.h"
#include "viewer/render/colour_list_gl.h"

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

constexpr int kSize = 160;

// Nine elements (families 1..3, orders 1..3) whose lattices overlap in the
// square [0, 8] x [0, 8], values varying across them, list 2 displaced.
ResultModel overlapping_model() {
    std::vector<test::TestNode> nodes;
    std::vector<test::TestElement> elements;
    for (int family = 1; family <= 3; ++family) {
        for (int order = 1; order <= 3; ++order) {
            test::TestElement e{family, order, {}};
            const int count = static_cast<int>(element_node_count(family, order));
            for (int i = 1; i <= count; ++i) {
                const Point3 l = test::lattice_point(family, order, i);
                test::TestNode n;
                const double s = 4.5 / order;
                n.at = {1 + 1.3 * order + s * l.x + 0.2 * l.y, 0.5 + 1.7 * family + s * l.y - 0.1 * l.x, 0.0};
                n.values = {std::sin(n.at.x) * 3 + n.at.y, n.at.x - n.at.y};
                n.list_disp = {{0, 0, 0}, {0.3, -0.2, 0}};
                nodes.push_back(n);
                e.nodes.push_back(static_cast<std::int32_t>(nodes.size()));
            }
            elements.push_back(e);
        }
    }
    return test::make_model(nodes, elements, 2);
}

std::vector<unsigned char> draw(void (*emitter)(const ResultModel&, int, const ColourListSettings&),
                                const ResultModel& m, int k, const ColourListSettings& s) {
    glClear(GL_COLOR_BUFFER_BIT);
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    emitter(m, k, s);
    glEndList();
    glCallList(list);
    glFinish();
    EXPECT_FALSE(glIsEnabled(GL_BLEND)) << "blending is left off";
    if (k >= 1 && k <= m.nlista) {
        GLfloat width = 0;
        glGetFloatv(GL_LINE_WIDTH, &width);
        EXPECT_EQ(width, s.deformed_checked ? s.line_def_w : 3);
        glLineWidth(1);
    }
    glDeleteLists(list, 1);
    std::vector<unsigned char> pixels(kSize * kSize * 4);
    glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

class BatchedColourList : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::bind_offscreen_gl(0, 10));
        load_legend(0);
        glDisable(GL_DEPTH_TEST); // overlaps then show the drawing order
        glShadeModel(GL_SMOOTH);
        glClearColor(0.3f, 0.6f, 0.1f, 1);
    }
    void TearDown() override {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        test::release_offscreen_gl();
    }
};

TEST_F(BatchedColourList, SamePictureAsOneBeginEndPerPiece) {
    const ResultModel m = overlapping_model();
    const auto empty = draw(&emit_batched_colour_list, m, 3, {}); // no list 3: the background alone
    const std::array<unsigned char, 3> reference_background{empty[0], empty[1], empty[2]};
    struct Case {
        bool banded, solid, negative;
        int trgb, transparency, k;
        bool deformed;
    };
    const Case cases[] = {
        {false, false, false, 0, 0, 1, false}, {false, false, false, 0, 40, 1, false},
        {false, false, true, 1, 25, 2, true},  {false, true, false, 0, 30, 1, false},
        {true, false, false, 0, 0, 1, false},  {true, false, false, 0, 45, 2, true},
        {true, false, true, 1, 10, 1, false},  {true, true, true, 1, 50, 2, false},
    };
    for (const Case& c : cases) {
        ColourListSettings s;
        s.banded = c.banded;
        s.solid = c.solid;
        s.negative = c.negative;
        s.trgb = c.trgb;
        s.transparency_position = c.transparency;
        s.deformed_checked = c.deformed;
        s.line_def_w = 2;
        s.line_def_rgb = 0.2;
        const auto reference = draw(&emit_colour_list, m, c.k, s);
        const auto batched = draw(&emit_batched_colour_list, m, c.k, s);
        // Interpolated colours may round the other way by one step where the
        // rasteriser sets a primitive up differently; coverage, order and
        // blending errors show as larger differences.
        long differing = 0, coloured = 0;
        const auto& bg = reference_background;
        for (std::size_t i = 0; i < reference.size(); i += 4) {
            for (std::size_t c = 0; c < 3; ++c)
                if (std::abs(reference[i + c] - batched[i + c]) > 1) {
                    ++differing;
                    break;
                }
            if (reference[i] != bg[0] || reference[i + 1] != bg[1] || reference[i + 2] != bg[2]) ++coloured;
        }
        EXPECT_EQ(differing, 0) << "banded " << c.banded << " solid " << c.solid << " negative " << c.negative
                                << " transparency " << c.transparency << " list " << c.k;
        EXPECT_GT(coloured, kSize * kSize / 4) << "the elements cover the view";
    }
}

TEST_F(BatchedColourList, NothingForAListThatDoesNotExist) {
    const ResultModel m = overlapping_model();
    const auto none = draw(&emit_batched_colour_list, m, 3, {});
    for (std::size_t i = 0; i < none.size(); i += 4) {
        ASSERT_EQ(none[i], none[0]);
        ASSERT_EQ(none[i + 1], none[1]);
        ASSERT_EQ(none[i + 2], none[2]);
    }
    EXPECT_NEAR(none[1], 0.6 * 255, 1);
}

} // namespace
} // namespace orv

int main(int argc, char** argv) {
    return orv::test::run_offscreen_gl_tests(argc, argv, orv::kSize);
}
