#include "viewer/render/colour_list.h"

#include "test_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace orv {
namespace {

struct Recorded {
    bool banded;
    int band; // banded pieces only; -1 for a piece without value
    std::vector<Point3> pts;
    std::vector<Rgba> colours; // continuous pieces only, as the immediate emitters draw them
};

struct RecordingSink : ColourPieceSink {
    RecordingSink(const ColourListSettings& s, std::array<double, 2> r) : settings(s), range(r) {}
    ColourListSettings settings;
    std::array<double, 2> range;
    std::vector<Recorded> pieces;
    void piece(int band, const Point3* pts, int count) override {
        pieces.push_back({true, band, {pts, pts + count}, {}});
    }
    void shaded_piece(const Point3* pts, const double* values, int count) override {
        std::vector<Rgba> colours;
        for (int i = 0; i < count; ++i)
            colours.push_back(continuous_colour(settings, range[0], range[1], values[i], count));
        pieces.push_back({false, 0, {pts, pts + count}, colours});
    }
    void blank_piece(const Point3* pts, int count) override {
        pieces.push_back({false, -1, {pts, pts + count}, {}});
    }
};

struct BandRecorder : BandSink {
    std::vector<Recorded>* out;
    explicit BandRecorder(std::vector<Recorded>* o) : out(o) {}
    void piece(int band, const Point3* pts, int count) override {
        out->push_back({true, band, {pts, pts + count}, {}});
    }
};

class ColourList : public ::testing::Test {
  protected:
    // Nine nodes; list 1 values 0..8 with displacement (1, 2, 3), list 2 values
    // 10 * i with displacement (0, 0, i). Elements: a quadratic line, a
    // quadratic triangle, a linear quadrilateral, a family-4 element, an
    // order-0 triangle and a linear triangle.
    void SetUp() override {
        load_legend(0);
        std::vector<test::TestNode> nodes;
        for (int i = 0; i < 9; ++i) {
            test::TestNode n;
            n.at = {double(i), double(i * i), 1};
            n.own = {5, 5, 5};
            n.list_disp = {{1, 2, 3}, {0, 0, double(i)}};
            n.values = {double(i), 10.0 * i};
            nodes.push_back(n);
        }
        model = test::make_model(nodes,
                                 {{1, 2, {1, 2, 3}},
                                  {2, 2, {1, 2, 3, 4, 5, 6}},
                                  {3, 1, {6, 7, 8, 9}},
                                  {4, 2, {}},
                                  {2, 0, {1}},
                                  {2, 1, {9, 8, 7}}},
                                 2);
    }

    std::vector<Recorded> walk(int k, const ColourListSettings& s) {
        RecordingSink sink(s, colour_range(model, k, s.legmax));
        walk_colour_list(model, k, s, sink);
        return sink.pieces;
    }

    Point3 at(int node, int k, double f) const { return deformed_position(model, node, 3 * k, f); }

    ResultModel model;
};

TEST_F(ColourList, ContinuousPiecesInEmissionOrder) {
    ColourListSettings s;
    s.transparency_position = 30;
    const auto pieces = walk(1, s);
    // 2 segments, 4 + 2 + 1 sub-triangles.
    ASSERT_EQ(pieces.size(), 9u);
    const std::vector<std::vector<int>> nodes = {{1, 2},    {2, 3},    {1, 2, 4}, {2, 3, 5}, {2, 5, 4},
                                                 {4, 5, 6}, {6, 7, 9}, {6, 9, 8}, {9, 8, 7}};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE("piece " + std::to_string(i));
        EXPECT_FALSE(pieces[i].banded);
        ASSERT_EQ(pieces[i].pts.size(), nodes[i].size());
        for (std::size_t v = 0; v < nodes[i].size(); ++v) {
            const int n = nodes[i][v];
            EXPECT_EQ(pieces[i].pts[v], at(n, 1, 1.0));
            const Rgb c = value_color(0, 8, 0, n - 1); // list 1 range (0, 8), value n - 1
            EXPECT_EQ(pieces[i].colours[v], (Rgba{c.r, c.g, c.b, 0.7}));
        }
    }
}

TEST_F(ColourList, DisplacementFactorAndOwnSelector) {
    ColourListSettings s;
    s.factor = 3;
    s.displacement_position = 25; // f = 1.5
    const auto pieces = walk(2, s);
    ASSERT_FALSE(pieces.empty());
    EXPECT_EQ(pieces[0].pts[1], at(2, 2, 1.5));
    EXPECT_EQ(pieces[0].pts[1], (Point3{1, 1, 2.5}));
    s.displacement_position = 0; // the undeformed mesh
    EXPECT_EQ(walk(2, s)[0].pts[1], node_position(model, 2));
}

TEST_F(ColourList, SolidAndNegative) {
    ColourListSettings s;
    s.solid = true;
    s.transparency_position = 40;
    s.trgb = 1;
    const auto pieces = walk(1, s);
    ASSERT_EQ(pieces.size(), 9u);
    EXPECT_EQ(pieces[0].colours[0], (Rgba{1, 1, 1, 0}));   // segments white, alpha 0
    EXPECT_EQ(pieces[2].colours[2], (Rgba{1, 1, 1, 0.6})); // faces white with the alpha

    s.solid = false; // trgb reverses the continuous map
    const auto negative = walk(1, s);
    EXPECT_EQ(negative[0].colours[0], (Rgba{0, 1, 1, 0.6}));
}

TEST_F(ColourList, RangeRowFollowsLegmax) {
    ColourListSettings s;
    s.legmax = 1; // every list against row 0 = (0, 80)
    const auto pieces = walk(1, s);
    const Rgb c = value_color(0, 80, 0, 1);
    EXPECT_EQ(pieces[0].colours[1], (Rgba{c.r, c.g, c.b, 1}));
    EXPECT_EQ(colour_range(model, 2, 0), (std::array<double, 2>{0, 80}));
    EXPECT_EQ(colour_range(model, 1, 0), (std::array<double, 2>{0, 8}));
    EXPECT_EQ(colour_range(model, 1, 1), (std::array<double, 2>{0, 80}));
}

TEST_F(ColourList, ElementTypeFilters) {
    struct Case {
        std::array<int, 3> filters;
        std::size_t pieces;
    };
    const Case cases[] = {
        {{-1, -1, -1}, 9}, {{0, -1, -1}, 7}, {{2, -1, -1}, 7}, {{1, -1, -1}, 9}, {{-1, 2, -1}, 5},
        {{-1, 1, -1}, 8},  {{-1, 0, -1}, 4}, {{-1, -1, 1}, 7}, {{0, 0, 0}, 0},   {{-1, 3, 10}, 9},
    };
    for (const Case& c : cases) {
        ColourListSettings s;
        s.filters = c.filters;
        EXPECT_EQ(walk(1, s).size(), c.pieces) << c.filters[0] << " " << c.filters[1] << " " << c.filters[2];
    }
}

// Blocks a, b, c over the elements: the line and the two undrawn ones in a,
// the quadratic triangle in b, the quadrilateral in c, the linear triangle
// in none. A hidden block drops its elements' pieces, alone or with the
// element-type filter; a block past the filter's end, or none, is coloured.
TEST_F(ColourList, BlockFilterHidesTheElementsOfItsBlocks) {
    model.block_names = {"a", "b", "c"};
    model.element_blocks = {ResultModel::kNoBlock, 0, 1, 2, 0, 0, ResultModel::kNoBlock};
    struct Case {
        std::vector<std::uint8_t> hidden;
        std::array<int, 3> filters;
        std::size_t pieces;
    };
    const Case cases[] = {
        {{}, {-1, -1, -1}, 9},        {{1, 0, 0}, {-1, -1, -1}, 7}, {{0, 1, 0}, {-1, -1, -1}, 5},
        {{0, 0, 1}, {-1, -1, -1}, 7}, {{1, 1, 1}, {-1, -1, -1}, 1}, {{0, 1}, {-1, -1, -1}, 5},
        {{1, 1}, {-1, -1, -1}, 3},    {{0, 0, 1}, {-1, 0, -1}, 2},  {{1, 0, 0}, {-1, 2, -1}, 3},
    };
    for (const Case& c : cases) {
        ColourListSettings s;
        s.hidden_blocks = c.hidden;
        s.filters = c.filters;
        std::string hidden;
        for (std::uint8_t h : c.hidden)
            hidden += std::to_string(h);
        EXPECT_EQ(walk(1, s).size(), c.pieces)
            << "hidden " << hidden << ", type filter of triangles " << c.filters[1];
    }
    // The pieces left are those of the elements kept: hiding b leaves the
    // line's two segments first, then the quadrilateral's triangles.
    ColourListSettings s;
    s.hidden_blocks = {0, 1, 0};
    const auto pieces = walk(1, s);
    ASSERT_EQ(pieces.size(), 5u);
    EXPECT_EQ(pieces[0].pts.size(), 2u);
    EXPECT_EQ(pieces[1].pts.size(), 2u);
    EXPECT_EQ(pieces[2].pts.size(), 3u);
}

TEST_F(ColourList, BandedPiecesAreThoseOfTheBandFills) {
    ColourListSettings s;
    s.banded = true;
    s.factor = 2;
    const auto pieces = walk(1, s);

    // The same pieces, cut one by one with band_segment / band_triangle.
    std::vector<Recorded> want;
    BandRecorder rec(&want);
    const auto seg = [&](int a, int b) {
        const Point3 p[2] = {at(a, 1, 2), at(b, 1, 2)};
        const double q[2] = {a - 1.0, b - 1.0};
        band_segment(p, q, 0, 8, rec);
    };
    const auto tri = [&](int a, int b, int c) {
        const Point3 p[3] = {at(a, 1, 2), at(b, 1, 2), at(c, 1, 2)};
        const double q[3] = {a - 1.0, b - 1.0, c - 1.0};
        band_triangle(p, q, 0, 8, rec);
    };
    seg(1, 2);
    seg(2, 3);
    tri(1, 2, 4);
    tri(2, 3, 5);
    tri(2, 5, 4);
    tri(4, 5, 6);
    tri(6, 7, 9);
    tri(6, 9, 8);
    tri(9, 8, 7);
    ASSERT_EQ(pieces.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_TRUE(pieces[i].banded);
        EXPECT_EQ(pieces[i].band, want[i].band) << i;
        EXPECT_EQ(pieces[i].pts, want[i].pts) << i;
    }
}

TEST_F(ColourList, DegenerateRangeStillCompiles) {
    // Every value of list 1 set to 5: min = max.
    for (int n = 1; n <= 9; ++n)
        model.listas_ref(n, 1) = 5;
    model.maxlista[1] = {5, 5};
    ColourListSettings s;
    auto continuous = walk(1, s);
    ASSERT_EQ(continuous.size(), 9u);
    EXPECT_EQ(continuous[0].colours[0], (Rgba{1, 0, 0, 1})); // NaN -> row 0
    s.banded = true;
    auto banded = walk(1, s);
    ASSERT_EQ(banded.size(), 9u);
    EXPECT_EQ(banded[0].band, 11); // value 5 at lo = hi: row 8
}

TEST_F(ColourList, ListOutOfRangeGivesNothing) {
    ColourListSettings s;
    EXPECT_TRUE(walk(0, s).empty());
    EXPECT_TRUE(walk(3, s).empty());
    EXPECT_TRUE(walk(-1, s).empty());
}

TEST(ColourListEmpty, NoElementsNoNodes) {
    ResultModel m = test::make_model({}, {}, 1);
    struct Count : ColourPieceSink {
        int n = 0;
        void piece(int, const Point3*, int) override { ++n; }
        void shaded_piece(const Point3*, const double*, int) override { ++n; }
        void blank_piece(const Point3*, int) override { ++n; }
    } sink;
    walk_colour_list(m, 1, {}, sink);
    EXPECT_EQ(sink.n, 0);
}

TEST_F(ColourList, PiecesWithoutValueAreBlankContinuousOrBanded) {
    // Node 8 has no value: the quadrilateral (6, 7, 8, 9)'s sub-triangle
    // (6, 9, 8) and the last triangle (9, 8, 7) have no colour; the rest
    // keep theirs.
    model.listas_ref(8, 1) = std::nan("");
    for (const bool banded : {false, true}) {
        ColourListSettings s;
        s.banded = banded;
        const auto pieces = walk(1, s);
        int blank = 0;
        for (const Recorded& p : pieces) {
            if (p.band != -1) continue;
            ++blank;
            EXPECT_FALSE(p.banded);
        }
        EXPECT_EQ(blank, 2) << banded;
        EXPECT_GT(pieces.size(), 3u);
    }
}

TEST_F(ColourList, ChunksCarryValuesBandsAndNoValueApart) {
    model.listas_ref(8, 1) = std::nan("");
    const ReferenceRange reference = ReferenceRange::of(0, 8);
    ColourListSettings s;
    const PieceChunks continuous = colour_chunks(model, 1, s, reference);
    std::size_t textured = 0, grey = 0;
    for (const PieceChunk& c : continuous) {
        EXPECT_TRUE(c.rgba.empty());
        EXPECT_TRUE(c.style.blend);
        if (c.style.textured) {
            textured += c.vertices();
            ASSERT_EQ(c.tex.size(), c.vertices());
            for (const float t : c.tex)
                EXPECT_TRUE(t >= 0 && t <= 1) << t; // values 0..8 against [0, 8]
        } else {
            grey += c.vertices();
            EXPECT_EQ(c.style.colour.r, kNoValueColour.r);
            EXPECT_TRUE(c.style.fill_alpha);
        }
    }
    EXPECT_EQ(grey, 2 * 3u);
    EXPECT_EQ(textured, 2 * 2u + 5 * 3u); // 2 segments, 7 sub-triangles less the 2 blank
    // The first segment runs from node 1 (value 0) to node 2 (value 1).
    EXPECT_EQ(continuous[0].style.mode, PieceMode::Lines);
    EXPECT_FLOAT_EQ(continuous[0].tex[0], 0);
    EXPECT_FLOAT_EQ(continuous[0].tex[1], 1.0f / 8);

    s.banded = true;
    for (const PieceChunk& c : colour_chunks(model, 1, s, reference)) {
        if (!c.style.textured) continue;
        for (const float t : c.tex) {
            bool row = false;
            for (int band = 1; band <= 11; ++band)
                row = row || t == static_cast<float>(band_coordinate(band));
            EXPECT_TRUE(row) << t;
        }
    }
}

// Linear quadrilaterals of a 3 x 3 node grid, value 1 at the centre node only.
ResultModel tent_model(double width) {
    std::vector<test::TestNode> nodes(9);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            test::TestNode& n = nodes[static_cast<std::size_t>(i + 3 * j)];
            n.at = {i * width / 2, j * width / 2, 0};
            n.values = {i == 1 && j == 1 ? 1.0 : 0.0};
        }
    const auto node = [](int i, int j) { return 1 + i + 3 * j; };
    std::vector<test::TestElement> quads;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            quads.push_back({3, 1, {node(i, j), node(i + 1, j), node(i, j + 1), node(i + 1, j + 1)}});
    return test::make_model(nodes, quads, 1);
}

TEST(ColourListSubdivision, QuadrilateralsFollowTheirBilinearFieldSymmetrically) {
    const ResultModel m = tent_model(2);
    EXPECT_EQ(subdivision_for(m), 16);
    ColourListSettings s;
    s.subdivide = 4;
    struct Values : ColourPieceSink {
        std::vector<std::array<double, 3>> points; // x, y, value
        void piece(int, const Point3*, int) override {}
        void blank_piece(const Point3*, int) override {}
        void shaded_piece(const Point3* p, const double* v, int count) override {
            for (int i = 0; i < count; ++i)
                points.push_back({p[i].x, p[i].y, v[i]});
        }
    } sink;
    walk_colour_list(m, 1, s, sink);
    // 4 elements x 4 x 4 cells x 4 sub-triangles round each cell's centre.
    ASSERT_EQ(sink.points.size(), 4u * 16 * 4 * 3);
    const auto tent = [](double x, double y) { return (1 - std::abs(x - 1)) * (1 - std::abs(y - 1)); };
    std::vector<std::array<double, 3>> mirrored;
    for (const auto& p : sink.points) {
        EXPECT_NEAR(p[2], tent(p[0], p[1]), 1e-12) << p[0] << " " << p[1];
        mirrored.push_back({2 - p[0], p[1], p[2]});
    }
    // The pieces' points, mirrored about x = 1, are the same set of points.
    const auto key = [](const std::array<double, 3>& p) {
        return std::array<long, 2>{std::lround(p[0] * 1e6), std::lround(p[1] * 1e6)};
    };
    std::vector<std::array<long, 2>> a, b;
    for (const auto& p : sink.points)
        a.push_back(key(p));
    for (const auto& p : mirrored)
        b.push_back(key(p));
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
}

TEST(ColourListSubdivision, LargeModelsKeepTheirVertexCount) {
    // 256 x 256 linear quadrilaterals: 131072 sub-triangles, n = 2 would
    // exceed the budget.
    const int n = 256;
    std::vector<test::TestNode> nodes;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            test::TestNode t;
            t.at = {double(i), double(j), 0};
            t.values = {double(i)};
            nodes.push_back(t);
        }
    std::vector<test::TestElement> quads;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = 1 + i + (n + 1) * j;
            quads.push_back({3, 1, {a, a + 1, a + n + 1, a + n + 2}});
        }
    const ResultModel m = test::make_model(nodes, quads, 1);
    EXPECT_EQ(subdivision_for(m), 1);
    EXPECT_EQ(subdivision_for(tent_model(1)), 16);
}

} // namespace
} // namespace orv
