// The coarse version of a curved shell on the screen: drawn from a turned
// view, it covers the same pixels as the full shell up to a small distance
// (about a cell) and shows nearly the same colours where both are drawn.
#include "viewer/render/array_emitter_gl.h"
#include "viewer/render/coarse_lists.h"

#include "offscreen_gl.h"
#include "shell_chunks.h"

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace orv {
namespace {

constexpr int kSize = 240;

struct Picture {
    std::vector<unsigned char> rgba;
    bool covered(int x, int y) const {
        const unsigned char* p =
            &rgba[4 * (static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x))];
        return p[0] != 0 || p[1] != 0 || p[2] != 0;
    }
    const unsigned char* at(int x, int y) const {
        return &rgba[4 * (static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x))];
    }
};

// The chunks seen turned by 35 degrees about x and 25 about y, on black.
Picture draw(const PieceChunks& chunks) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);
    glPushMatrix();
    glRotated(35, 1, 0, 0);
    glRotated(25, 0, 1, 0);
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    draw_piece_chunks(chunks);
    glEndList();
    glCallList(list);
    glDeleteLists(list, 1);
    glPopMatrix();
    glDisable(GL_DEPTH_TEST);
    Picture p;
    p.rgba.resize(kSize * kSize * 4);
    glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
    return p;
}

// True when a covered pixel of `other` lies within `reach` pixels of (x, y).
bool near_covered(const Picture& other, int x, int y, int reach) {
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            const int u = x + dx, v = y + dy;
            if (u >= 0 && v >= 0 && u < kSize && v < kSize && other.covered(u, v)) return true;
        }
    return false;
}

class CoarseListsGl : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(test::bind_offscreen_gl(-1, 1)); }
    void TearDown() override {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        test::release_offscreen_gl();
    }
};

TEST_F(CoarseListsGl, CurvedShellStaysWithinACellOnTheScreenAndKeepsItsColours) {
    const PieceChunks full = test::shell_chunks(200);
    const Picture reference = draw(full);
    for (const int cells : {30, 60}) {
        const ClusterGrid grid = ClusterGrid::over(full, cells);
        const PieceChunks coarse = coarsen_chunks(full, grid);
        ASSERT_FALSE(coarse.empty());
        const Picture picture = draw(coarse);
        // A cell is grid.cell model units; the view shows 2 units on kSize pixels.
        const int reach = static_cast<int>(grid.cell * kSize / 2 * 1.8) + 1;
        long covered = 0, astray = 0, colour_sum = 0, compared = 0;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const bool in_full = reference.covered(x, y), in_coarse = picture.covered(x, y);
                covered += in_full;
                if (in_full && !in_coarse && !near_covered(picture, x, y, reach)) ++astray;
                if (in_coarse && !in_full && !near_covered(reference, x, y, reach)) ++astray;
                if (in_full && in_coarse) {
                    for (int c = 0; c < 3; ++c)
                        colour_sum += std::abs(reference.at(x, y)[c] - picture.at(x, y)[c]);
                    ++compared;
                }
            }
        EXPECT_GT(covered, kSize * kSize / 8) << "the shell fills much of the view";
        EXPECT_EQ(astray, 0) << cells << " cells: pixels further than " << reach << " from the other surface";
        ASSERT_GT(compared, covered * 9 / 10) << cells << " cells: both draw nearly the same pixels";
        // Colours run over 255 levels across the shell; a cell moves them by
        // about 255 / cells.
        EXPECT_LT(static_cast<double>(colour_sum) / (3.0 * compared), 255.0 / cells) << cells << " cells";
    }
}

} // namespace
} // namespace orv

int main(int argc, char** argv) {
    return orv::test::run_offscreen_gl_tests(argc, argv, orv::kSize);
}
