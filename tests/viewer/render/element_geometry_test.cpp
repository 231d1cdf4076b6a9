#include "viewer/render/element_geometry.h"

#include "test_model.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

namespace orv {
namespace {

using test::lattice_point;

std::vector<NodePair> pairs(std::initializer_list<std::pair<int, int>> list) {
    std::vector<NodePair> out;
    for (auto [a, b] : list)
        out.push_back({a, b});
    return out;
}

std::string str(const std::vector<NodePair>& v) {
    std::string s;
    for (auto p : v)
        s += "(" + std::to_string(p.a) + "," + std::to_string(p.b) + ")";
    return s;
}

TEST(OutlineSegments, TableOrderForLinearAndQuadratic) {
    struct Case {
        ElementType type;
        std::vector<NodePair> want;
    };
    const Case cases[] = {
        {{1, 1}, pairs({{1, 2}})},
        {{1, 3}, pairs({{1, 2}, {2, 3}, {3, 4}})},
        {{2, 1}, pairs({{1, 2}, {2, 3}, {3, 1}})},
        {{2, 2}, pairs({{1, 2}, {3, 5}, {6, 4}, {2, 3}, {5, 6}, {4, 1}})},
        {{3, 1}, pairs({{1, 2}, {2, 4}, {4, 3}, {3, 1}})},
        {{3, 2}, pairs({{1, 2}, {3, 6}, {9, 8}, {7, 4}, {2, 3}, {6, 9}, {8, 7}, {4, 1}})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(outline_segments(c.type)), str(c.want)) << c.type.family << " " << c.type.order;
}

TEST(OutlineSegments, UndrawnElementsGiveNothing) {
    for (ElementType t : {ElementType{4, 1}, ElementType{0, 2}, ElementType{2, 0}, ElementType{3, -1},
                          ElementType{1, 0}, ElementType{-1, 2}}) {
        EXPECT_TRUE(outline_segments(t).empty()) << t.family << " " << t.order;
        EXPECT_TRUE(colour_segments(t).empty());
        EXPECT_TRUE(colour_triangles(t).empty());
    }
}

// For every order up to 5: p, 3p or 4p segments, each joining neighbouring
// boundary nodes of the lattice, together covering the whole boundary once,
// and the edges walked round the element in the table's interleaved order.
TEST(OutlineSegments, CoverTheBoundaryOnceForOrdersUpTo5) {
    for (int family = 1; family <= 3; ++family)
        for (int p = 1; p <= 5; ++p) {
            SCOPED_TRACE("family " + std::to_string(family) + " order " + std::to_string(p));
            const auto segs = outline_segments({family, p});
            const int edges = family == 1 ? 1 : family == 2 ? 3 : 4;
            ASSERT_EQ(static_cast<int>(segs.size()), edges * p);
            std::set<std::pair<int, int>> seen;
            double length = 0;
            for (std::size_t i = 0; i < segs.size(); ++i) {
                const Point3 a = lattice_point(family, p, segs[i].a);
                const Point3 b = lattice_point(family, p, segs[i].b);
                const double dx = b.x - a.x, dy = b.y - a.y;
                // One lattice step: along a row, a column, or the triangle's hypotenuse.
                EXPECT_TRUE((std::abs(dx) == 1 && dy == 0) || (dx == 0 && std::abs(dy) == 1) ||
                            (family == 2 && dx == -1 && dy == 1))
                    << "segment " << i << " " << segs[i].a << "-" << segs[i].b;
                EXPECT_TRUE(seen.insert(std::minmax(segs[i].a, segs[i].b)).second) << "repeated segment";
                length += std::hypot(dx, dy);
                // Step j draws the j-th segment of every edge: segment i belongs
                // to step i / edges and to edge i % edges.
                const int j = static_cast<int>(i) / edges, edge = static_cast<int>(i) % edges;
                if (edge == 0) {
                    EXPECT_EQ(segs[i], (NodePair{j + 1, j + 2}));
                }
            }
            const double perimeter = family == 1 ? p : family == 2 ? (2 + std::sqrt(2.0)) * p : 4.0 * p;
            EXPECT_NEAR(length, perimeter, 1e-9);
        }
}

TEST(ColourPieces, QuadraticTriangleAndLinearQuadrilateral) {
    const std::vector<NodeTriple> tri2 = {{1, 2, 4}, {2, 3, 5}, {2, 5, 4}, {4, 5, 6}};
    EXPECT_EQ(colour_triangles({2, 2}), tri2);
    const std::vector<NodeTriple> quad1 = {{1, 2, 4}, {1, 4, 3}};
    EXPECT_EQ(colour_triangles({3, 1}), quad1);
    const std::vector<NodeTriple> tri1 = {{1, 2, 3}};
    EXPECT_EQ(colour_triangles({2, 1}), tri1);
    EXPECT_EQ(colour_triangles({3, 2}).size(), 8u);
    EXPECT_EQ(str(colour_segments({1, 3})), "(1,2)(2,3)(3,4)");
    EXPECT_TRUE(colour_triangles({1, 3}).empty());
    EXPECT_TRUE(colour_segments({2, 3}).empty());
}

// Orders 1..6: p^2 / 2p^2 sub-triangles, all between neighbouring lattice
// nodes, all turning the element's way, no two alike, tiling its area; and
// every pair of neighbouring lattice nodes is an edge of some sub-triangle.
TEST(ColourPieces, SubTrianglesTileTheElement) {
    for (int family : {2, 3})
        for (int p = 1; p <= 6; ++p) {
            SCOPED_TRACE("family " + std::to_string(family) + " order " + std::to_string(p));
            const auto tris = colour_triangles({family, p});
            ASSERT_EQ(static_cast<int>(tris.size()), family == 2 ? p * p : 2 * p * p);
            const int n = static_cast<int>(element_node_count(family, p));
            std::set<std::pair<int, int>> used;
            std::set<std::array<int, 3>> distinct;
            double area = 0;
            for (const NodeTriple& t : tris) {
                for (int v : {t.a, t.b, t.c}) {
                    ASSERT_GE(v, 1);
                    ASSERT_LE(v, n);
                }
                const Point3 a = lattice_point(family, p, t.a), b = lattice_point(family, p, t.b),
                             c = lattice_point(family, p, t.c);
                const double twice = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
                EXPECT_DOUBLE_EQ(twice, 1.0) << t.a << " " << t.b << " " << t.c; // unit, counter-clockwise
                area += twice / 2;
                std::array<int, 3> key = {t.a, t.b, t.c};
                std::sort(key.begin(), key.end());
                EXPECT_TRUE(distinct.insert(key).second);
                used.insert(std::minmax(t.a, t.b));
                used.insert(std::minmax(t.b, t.c));
                used.insert(std::minmax(t.a, t.c));
            }
            EXPECT_DOUBLE_EQ(area, family == 2 ? p * p / 2.0 : double(p * p));
            // Neighbouring pairs: one step right, up, and along the diagonal the
            // cells are split on.
            for (int i = 1; i <= n; ++i)
                for (int j = i + 1; j <= n; ++j) {
                    const Point3 a = lattice_point(family, p, i), b = lattice_point(family, p, j);
                    const double dx = b.x - a.x, dy = b.y - a.y;
                    const bool neighbours = (std::abs(dx) + std::abs(dy) == 1) ||
                                            (family == 2 && std::abs(dx) == 1 && dx == -dy) ||
                                            (family == 3 && std::abs(dx) == 1 && dx == dy);
                    if (neighbours) {
                        EXPECT_TRUE(used.count({i, j})) << i << "-" << j;
                    }
                }
        }
}

TEST(ElementFilter, Rule) {
    struct Case {
        int filter, order;
        bool passes;
    };
    const Case cases[] = {{-1, 1, true}, {-1, 2, true}, {0, 1, false},   {0, 3, false}, {2, 2, false},
                          {2, 1, true},  {2, 3, true},  {10, 10, false}, {7, 2, true}};
    for (const Case& c : cases)
        EXPECT_EQ(element_filter_passes(c.filter, c.order), c.passes) << c.filter << " " << c.order;
}

TEST(BlockFilter, Rule) {
    struct Case {
        std::vector<std::uint8_t> hidden;
        int block;
        bool passes;
    };
    const Case cases[] = {{{}, 0, true},     {{}, -1, true},     {{1}, 0, false},   {{1}, -1, true},
                          {{0, 1}, 0, true}, {{0, 1}, 1, false}, {{0, 1}, 2, true}, {{1, 1}, 5, true}};
    for (const Case& c : cases)
        EXPECT_EQ(block_filter_passes(c.hidden, c.block), c.passes)
            << "block " << c.block << " of " << c.hidden.size();
}

class ModelGeometry : public ::testing::Test {
  protected:
    // Nodes 1..5 on the x axis at 0, 3, 6, 9, 12 (a cubic line 1-4), plus a
    // quadratic triangle, a linear quadrilateral, a family-4 element and an
    // order-0 triangle, over two result lists.
    void SetUp() override {
        std::vector<test::TestNode> nodes;
        for (int i = 0; i < 9; ++i) {
            test::TestNode n;
            n.at = {3.0 * i, i % 3 == 0 ? 1.0 : 0.0, -1.0 * i};
            n.own = {0.5, 0, 0};
            n.list_disp = {{1, 2, 3}, {10.0 * i, 0, -4}};
            n.values = {double(i), -double(i)};
            nodes.push_back(n);
        }
        model = test::make_model(
            nodes,
            {{1, 3, {1, 2, 3, 4}}, {2, 2, {1, 2, 3, 4, 5, 6}}, {3, 1, {2, 3, 5, 9}}, {4, 1, {}}, {2, 0, {7}}},
            2);
    }
    ResultModel model;
};

TEST_F(ModelGeometry, DrawableTypeSkipsOtherFamiliesAndShortRows) {
    EXPECT_EQ(drawable_type(model, 1).family, 1);
    EXPECT_EQ(drawable_type(model, 3).order, 1);
    EXPECT_EQ(drawable_type(model, 4).family, 0);
    EXPECT_EQ(drawable_type(model, 5).family, 0);

    // A row that claims a quadratic triangle but holds only 3 nodes is never read.
    ResultModel bad = test::make_model(std::vector<test::TestNode>(3), {{2, 2, {1, 2, 3}}}, 0);
    EXPECT_EQ(drawable_type(bad, 1).family, 0);
    EXPECT_FALSE(element_number_anchor(bad, 1).has_value());
    int segments = 0;
    for_each_outline(bad, {}, [&](Point3, Point3) { ++segments; });
    EXPECT_EQ(segments, 0);
}

TEST_F(ModelGeometry, DeformedPosition) {
    EXPECT_DOUBLE_EQ(displacement_factor(1, 50), 1.0);
    EXPECT_DOUBLE_EQ(displacement_factor(2, 25), 1.0);
    EXPECT_DOUBLE_EQ(displacement_factor(3, 100), 6.0);
    EXPECT_DOUBLE_EQ(displacement_factor(5, 0), 0.0);
    EXPECT_EQ(node_position(model, 3), (Point3{6, 0, -2}));
    EXPECT_EQ(deformed_position(model, 3, 0, 2), (Point3{7, 0, -2}));      // own columns 4..6
    EXPECT_EQ(deformed_position(model, 3, 3, 2), (Point3{8, 4, 4}));       // list 1
    EXPECT_EQ(deformed_position(model, 3, 6, 0.5), (Point3{16, 0, -4}));   // list 2
    EXPECT_EQ(deformed_position(model, 3, 6, 0), node_position(model, 3)); // factor 0
    const NodePlacement place{true, 6, 0.5};
    EXPECT_EQ(place.at(model, 3), (Point3{16, 0, -4}));
    EXPECT_EQ(NodePlacement{}.at(model, 3), node_position(model, 3));
}

TEST_F(ModelGeometry, OutlineOfTheModel) {
    std::vector<std::pair<Point3, Point3>> segs;
    for_each_outline(model, {}, [&](Point3 a, Point3 b) { segs.emplace_back(a, b); });
    ASSERT_EQ(segs.size(), 3u + 6u + 4u); // cubic line, quadratic triangle, linear quad
    EXPECT_EQ(segs[0].first, node_position(model, 1));
    EXPECT_EQ(segs[2].second, node_position(model, 4));
    // Quadratic triangle: second segment (3, 5).
    EXPECT_EQ(segs[4].first, node_position(model, 3));
    EXPECT_EQ(segs[4].second, node_position(model, 5));
    // Linear quadrilateral rows (2, 3, 5, 9): (1,2), (2,4), (4,3), (3,1) -> nodes 2-3, 3-9, 9-5, 5-2.
    EXPECT_EQ(segs[10].second, node_position(model, 9));
    EXPECT_EQ(segs[12].first, node_position(model, 5));

    std::vector<std::pair<Point3, Point3>> deformed;
    for_each_outline(model, {true, 6, 0.5}, [&](Point3 a, Point3 b) { deformed.emplace_back(a, b); });
    ASSERT_EQ(deformed.size(), segs.size());
    EXPECT_EQ(deformed[4].first, deformed_position(model, 3, 6, 0.5));
    // A selector beyond the lists falls back to the node's own displacement.
    std::vector<std::pair<Point3, Point3>> fallback;
    for_each_outline(model, {true, 99, 1}, [&](Point3 a, Point3 b) { fallback.emplace_back(a, b); });
    EXPECT_EQ(fallback[0].first, deformed_position(model, 1, 0, 1));
}

TEST_F(ModelGeometry, NumberAnchors) {
    // Cubic line of evenly spaced nodes: a sixth of the way along it.
    const auto line = element_number_anchor(model, 1);
    ASSERT_TRUE(line);
    EXPECT_DOUBLE_EQ(line->x, 1.5);
    // Quadratic triangle: centroid of positions 1, 2 and p + 2 = 4.
    const auto tri = element_number_anchor(model, 2);
    ASSERT_TRUE(tri);
    EXPECT_DOUBLE_EQ(tri->x, (0 + 3 + 9) / 3.0);
    EXPECT_DOUBLE_EQ(tri->z, (0 - 1 - 3) / 3.0);
    // Linear quadrilateral (2, 3, 5, 9): positions 1, 2 and p + 3 = 4 -> nodes 2, 3, 9.
    const auto quad = element_number_anchor(model, 3);
    ASSERT_TRUE(quad);
    EXPECT_DOUBLE_EQ(quad->x, (3 + 6 + 24) / 3.0);
    EXPECT_FALSE(element_number_anchor(model, 4)); // family 4
    EXPECT_FALSE(element_number_anchor(model, 5)); // order 0

    // Node numbers: shifted by maxscale / 500 on each axis (maxscale 24 here).
    EXPECT_DOUBLE_EQ(model.maxscale, 24.0);
    const Point3 n1 = node_number_anchor(model, 1);
    EXPECT_DOUBLE_EQ(n1.x, 24.0 / 500);
    EXPECT_DOUBLE_EQ(n1.y, 1 + 24.0 / 500);
    EXPECT_DOUBLE_EQ(n1.z, 24.0 / 500);
}

TEST(NumberAnchors, MaxscaleOf500ShiftsByOne) {
    test::TestNode a, b;
    a.at = {500, 0, 0};
    b.at = {10, 20, 30};
    ResultModel m = test::make_model({a, b}, {}, 0);
    EXPECT_EQ(node_number_anchor(m, 2), (Point3{11, 21, 31}));
}

} // namespace
} // namespace orv
