#include "viewer/render/colour_list.h"

#include "test_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv {
namespace {

struct Recorded {
    bool banded;
    int band; // banded pieces only
    std::vector<Point3> pts;
    std::vector<Rgba> colours; // continuous pieces only
};

struct RecordingSink : ColourPieceSink {
    std::vector<Recorded> pieces;
    void piece(int band, const Point3* pts, int count) override {
        pieces.push_back({true, band, {pts, pts + count}, {}});
    }
    void shaded_piece(const Point3* pts, const Rgba* colours, int count) override {
        pieces.push_back({false, 0, {pts, pts + count}, {colours, colours + count}});
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
        RecordingSink sink;
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
        model.listas(n, 1) = 5;
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
        void shaded_piece(const Point3*, const Rgba*, int) override { ++n; }
    } sink;
    walk_colour_list(m, 1, {}, sink);
    EXPECT_EQ(sink.n, 0);
}

} // namespace
} // namespace orv
