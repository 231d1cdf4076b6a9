// Vertex clustering of display-list runs: the coarse shell keeps its shape
// and each coarse piece's colours stay within the range of the pieces it
// replaces; segments and points merge per cell; styles and cancellation.
#include "viewer/render/coarse_lists.h"

#include "shell_chunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace orv {
namespace {

using Keys = std::array<std::uint64_t, 3>;

Keys sorted_keys(const ClusterGrid& g, const float* xyz, int per) {
    Keys k{0, 0, 0};
    for (int i = 0; i < per; ++i)
        k[static_cast<std::size_t>(i)] = g.key(xyz + 3 * i);
    std::sort(k.begin(), k.begin() + per);
    return k;
}

struct Range {
    std::array<float, 4> lo{1e9f, 1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f, -1e9f};
    void add(const float* rgba) {
        for (std::size_t c = 0; c < 4; ++c) {
            lo[c] = std::min(lo[c], rgba[c]);
            hi[c] = std::max(hi[c], rgba[c]);
        }
    }
};

TEST(CoarseLists, CurvedShellKeepsItsShapeAndEachPieceTheColoursItReplaces) {
    const PieceChunks full = test::shell_chunks(120);
    ASSERT_GT(full.size(), 10u) << "several runs of one style";
    for (const int cells : {12, 30, 60}) {
        const ClusterGrid grid = ClusterGrid::over(full, cells);
        const PieceChunks coarse = coarsen_chunks(full, grid);
        ASSERT_EQ(coarse.size(), 1u) << "runs of one style are joined";
        EXPECT_EQ(coarse[0].style, full[0].style);
        const std::size_t pieces = coarse[0].vertices() / 3;
        EXPECT_GT(pieces, static_cast<std::size_t>(cells * cells / 4));
        EXPECT_LT(pieces, chunk_vertices(full) / 3 / 4) << cells << " cells";

        // Every coarse vertex lies in a cell the surface passes through: on
        // the cylinder within a cell's diagonal.
        const double reach = grid.cell * std::sqrt(3.0);
        for (std::size_t v = 0; v < coarse[0].vertices(); ++v) {
            const float* p = &coarse[0].xyz[3 * v];
            const double radius = std::hypot(p[0], p[2] + 0.45);
            EXPECT_LE(std::abs(radius - 0.9), reach) << "vertex " << v << ", " << cells << " cells";
        }

        // The full triangles a coarse one replaces are those whose corners
        // fall into its corners' cells.
        std::map<Keys, Range> replaced;
        for (const PieceChunk& c : full)
            for (std::size_t v = 0; v + 2 < c.vertices(); v += 3) {
                const Keys k = sorted_keys(grid, &c.xyz[3 * v], 3);
                for (std::size_t i = 0; i < 3; ++i)
                    replaced[k].add(&c.rgba[4 * (v + i)]);
            }
        for (std::size_t v = 0; v + 2 < coarse[0].vertices(); v += 3) {
            const auto it = replaced.find(sorted_keys(grid, &coarse[0].xyz[3 * v], 3));
            ASSERT_NE(it, replaced.end()) << "coarse triangle " << v / 3 << " replaces no full one";
            for (std::size_t i = 0; i < 3; ++i)
                for (std::size_t ch = 0; ch < 4; ++ch) {
                    const float c = coarse[0].rgba[4 * (v + i) + ch];
                    EXPECT_GE(c, it->second.lo[ch] - 1e-6f);
                    EXPECT_LE(c, it->second.hi[ch] + 1e-6f);
                }
        }
    }
}

TEST(CoarseLists, SegmentsAndPointsMergePerCellAndKeepTheirStyles) {
    PieceStyle lines;
    lines.mode = PieceMode::Lines;
    lines.colour_per_vertex = false;
    lines.colour = {0.2, 0.2, 0.2, 1};
    lines.line_width = 2;
    PieceStyle points = lines;
    points.mode = PieceMode::Points;
    points.point_size = 3;
    PieceChunks full(2);
    full[0].style = lines;
    full[1].style = points;
    // Points in the middle of 100 steps along x on cells of 0.1: they merge
    // into 10 points at the cells' centres, and the 99 segments between
    // them into the 9 that join neighbouring cells.
    for (int i = 0; i < 99; ++i)
        full[0].xyz.insert(full[0].xyz.end(), {(i + 0.5f) / 100, 0, 0, (i + 1.5f) / 100, 0, 0});
    for (int i = 0; i < 100; ++i)
        full[1].xyz.insert(full[1].xyz.end(), {(i + 0.5f) / 100, 0, 0});
    ClusterGrid grid;
    grid.cell = 0.1;
    const PieceChunks coarse = coarsen_chunks(full, grid);
    ASSERT_EQ(coarse.size(), 2u);
    EXPECT_EQ(coarse[0].style, lines);
    EXPECT_EQ(coarse[0].vertices(), 2u * 9u);
    EXPECT_TRUE(coarse[0].rgba.empty());
    EXPECT_EQ(coarse[1].style, points);
    EXPECT_EQ(coarse[1].vertices(), 10u);
    // Cells are shared by all runs (the segments' ends count in the means).
    for (std::size_t v = 0; v < coarse[1].vertices(); ++v)
        EXPECT_NEAR(coarse[1].xyz[3 * v], 0.05 + 0.1 * static_cast<double>(v), 0.002) << "cell " << v;
}

TEST(CoarseLists, TexturedSegmentsKeepTheMeanValueCoordinate) {
    // Segments along x carrying t = x as their texture coordinate: merged on
    // cells of 0.1, each coarse end carries the mean t of the ends it
    // replaces, which lies in its cell (so its colour is one of the scale's).
    PieceStyle lines;
    lines.mode = PieceMode::Lines;
    lines.colour_per_vertex = false;
    lines.textured = true;
    lines.fill_alpha = true;
    PieceChunks full(1);
    full[0].style = lines;
    for (int i = 0; i < 99; ++i) {
        const float a = (i + 0.5f) / 100, b = (i + 1.5f) / 100;
        full[0].xyz.insert(full[0].xyz.end(), {a, 0, 0, b, 0, 0});
        full[0].tex.insert(full[0].tex.end(), {a, b});
    }
    ClusterGrid grid;
    grid.cell = 0.1;
    const PieceChunks coarse = coarsen_chunks(full, grid);
    ASSERT_EQ(coarse.size(), 1u);
    EXPECT_EQ(coarse[0].style, lines);
    EXPECT_TRUE(coarse[0].rgba.empty());
    ASSERT_EQ(coarse[0].tex.size(), coarse[0].vertices());
    for (std::size_t v = 0; v < coarse[0].vertices(); ++v) {
        const float x = coarse[0].xyz[3 * v];
        EXPECT_EQ(std::floor(coarse[0].tex[v] * 10), std::floor(x * 10)) << v;
    }
}

TEST(CoarseLists, NothingWhenCancelledOrEmpty) {
    const PieceChunks full = test::shell_chunks(60);
    const std::atomic<bool> cancelled{true};
    EXPECT_TRUE(coarsen_chunks(full, ClusterGrid::over(full, 20), &cancelled).empty());
    EXPECT_TRUE(coarsen_chunks({}, ClusterGrid::over({}, 20)).empty());
    // A grid finer than the mesh merges nothing: every triangle survives.
    const PieceChunks same = coarsen_chunks(full, ClusterGrid::over(full, 100000));
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0].vertices(), chunk_vertices(full));
}

} // namespace
} // namespace orv
