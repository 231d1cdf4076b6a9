// Arrows ("Setas"): the vectors, their scale, the thinning on screen and
// the segments of each arrow.
#include "viewer/render/arrows.h"

#include "test_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Segment {
    Point3 a, b;
    double magnitude;
};

struct RecordingSink : ArrowSink {
    std::vector<Segment> segments;
    void segment(const Point3& a, const Point3& b, double magnitude) override {
        segments.push_back({a, b, magnitude});
    }
};

std::array<double, 3> sub(const Point3& p, const Point3& q) {
    return {p.x - q.x, p.y - q.y, p.z - q.z};
}
double dot(const std::array<double, 3>& p, const std::array<double, 3>& q) {
    return p[0] * q[0] + p[1] * q[1] + p[2] * q[2];
}

TEST(ArrowSegments, ShaftAlongTheVectorAndAHeadAroundItsTip) {
    struct Case {
        Point3 base;
        std::array<double, 3> vector;
        double scale;
    };
    const Case cases[] = {
        {{0, 0, 0}, {1, 0, 0}, 1},      {{1, 2, 3}, {0, 2, 0}, 0.5},       {{0, 0, 0}, {0, 0, -4}, 2},
        {{-1, 5, 2}, {1, 1, 1}, 3},     {{0, 0, 0}, {1e-9, 0, 1e-9}, 1e9}, {{10, 0, 0}, {0.3, -0.4, 12}, 0.1},
        {{0, 0, 0}, {-2, 1e-12, 0}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.vector[0] << " " << c.vector[1] << " " << c.vector[2]);
        const double magnitude = std::sqrt(dot(c.vector, c.vector));
        RecordingSink sink;
        arrow_segments({1, c.base, c.vector, magnitude}, c.scale, sink);
        ASSERT_EQ(sink.segments.size(), 5u);
        const Point3 tip{c.base.x + c.scale * c.vector[0], c.base.y + c.scale * c.vector[1],
                         c.base.z + c.scale * c.vector[2]};
        const double len = c.scale * magnitude;
        const double tol =
            1e-12 * (1 + len + std::fabs(c.base.x) + std::fabs(c.base.y) + std::fabs(c.base.z));
        EXPECT_EQ(sink.segments[0].a, c.base);
        EXPECT_NEAR(sink.segments[0].b.x, tip.x, tol);
        EXPECT_NEAR(sink.segments[0].b.y, tip.y, tol);
        EXPECT_NEAR(sink.segments[0].b.z, tip.z, tol);
        const std::array<double, 3> u{c.vector[0] / magnitude, c.vector[1] / magnitude,
                                      c.vector[2] / magnitude};
        std::vector<std::array<double, 3>> sideways;
        for (std::size_t s = 0; s < sink.segments.size(); ++s) {
            EXPECT_EQ(sink.segments[s].magnitude, magnitude);
            if (s == 0) continue;
            EXPECT_EQ(sink.segments[s].a, sink.segments[0].b) << "a barb starts at the tip";
            const std::array<double, 3> from_base = sub(sink.segments[s].b, c.base);
            const double along = dot(from_base, u);
            EXPECT_NEAR(along, (1 - kArrowHeadLength) * len, tol);
            const std::array<double, 3> off{from_base[0] - along * u[0], from_base[1] - along * u[1],
                                            from_base[2] - along * u[2]};
            EXPECT_NEAR(std::sqrt(dot(off, off)), kArrowHeadWidth * len, tol);
            sideways.push_back(off);
        }
        // Two opposite pairs at right angles: a head that looks the same from any side.
        const double w2 = kArrowHeadWidth * len * kArrowHeadWidth * len;
        EXPECT_NEAR(dot(sideways[0], sideways[1]), -w2, tol * len);
        EXPECT_NEAR(dot(sideways[2], sideways[3]), -w2, tol * len);
        EXPECT_NEAR(dot(sideways[0], sideways[2]), 0, tol * len);
    }
}

TEST(ArrowSegments, NothingForAnArrowWithoutLength) {
    const std::array<double, 3> vectors[] = {{0, 0, 0}, {kNaN, 1, 0}, {kInf, 0, 0}, {1e300, 1e300, 0}};
    const double scales[] = {1, 1, 1, 1e300};
    for (std::size_t i = 0; i < std::size(vectors); ++i) {
        RecordingSink sink;
        arrow_segments({1, {0, 0, 0}, vectors[i], 1}, scales[i], sink);
        EXPECT_TRUE(sink.segments.empty()) << i;
    }
    RecordingSink sink;
    arrow_segments({1, {0, 0, 0}, {1, 0, 0}, 1}, 0, sink);
    EXPECT_TRUE(sink.segments.empty());
}

TEST(ArrowScale, LongestArrowIsTheFractionOfTheModel) {
    struct Case {
        double longest, size, fraction, factor, scale;
    };
    const Case cases[] = {
        {2, 10, 0.1, 1, 0.5}, {2, 10, 0.1, 3, 1.5},     {1e-6, 1, 0.1, 1, 1e5}, {0, 10, 0.1, 1, 0},
        {2, 0, 0.1, 1, 0},    {2, 10, 0, 1, 0},         {2, 10, 0.1, -1, 0},    {kNaN, 10, 0.1, 1, 0},
        {2, kInf, 0.1, 1, 0}, {1e-300, 1e300, 1, 1, 0}, // would overflow
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(arrow_length_scale(c.longest, c.size, c.fraction, c.factor), c.scale)
            << c.longest << " " << c.size << " " << c.fraction << " " << c.factor;
}

TEST(ArrowThinning, OnePointPerSquareTheLargestStays) {
    struct Case {
        const char* what;
        std::vector<ScreenPoint> points;
        std::vector<double> magnitudes;
        double cell;
        std::vector<std::size_t> kept;
    };
    const Case cases[] = {
        {"no thinning keeps every visible point", {{0, 0}, {0.1, 0.1}, {5, 5, false}}, {1, 2, 3}, 0, {0, 1}},
        {"the largest of a square", {{0.5, 0.5}, {3.5, 3.5}, {1.5, 2.5}, {2.9, 0.1}}, {1, 7, 5, 2}, 4, {1}},
        {"the first of equals", {{1, 1}, {2, 2}, {3, 3}}, {4, 4, 4}, 8, {0}},
        {"neighbouring squares, either side of zero",
         {{-0.5, 0.5}, {0.5, 0.5}, {0.5, -0.5}, {-0.5, -0.5}},
         {1, 1, 1, 1},
         1,
         {0, 1, 2, 3}},
        {"hidden and non-finite points dropped, even when largest",
         {{1, 1}, {1.2, 1.2, false}, {kNaN, 1}, {1, kInf}},
         {1, 9, 9, 9},
         4,
         {0}},
        {"far off screen", {{-1e300, 0}, {1e300, 0}, {10, 10}}, {1, 1, 1}, 4, {0, 1, 2}},
        {"no points", {}, {}, 4, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(thin_on_screen(c.points, c.magnitudes, c.cell), c.kept) << c.what;
}

TEST(ArrowThinning, ScreenPositionAsOpenGLPlacesIt) {
    const std::array<double, 16> identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // Translation by (1, 0, -5), then a perspective with w = -z.
    const std::array<double, 16> moved{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, -5, 1};
    const std::array<double, 16> perspective{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -1, 0, 0, -0.2, 0};
    const std::array<int, 4> viewport{10, 20, 200, 100};
    struct Case {
        Point3 p;
        const std::array<double, 16>& mv;
        const std::array<double, 16>& pr;
        ScreenPoint expected;
    };
    const Case cases[] = {
        {{0, 0, 0}, identity, identity, {110, 70, true}},
        {{-1, 1, 0}, identity, identity, {10, 120, true}},
        {{0.5, -0.5, 0.3}, identity, identity, {160, 45, true}},
        {{1.5, 0, 0}, identity, identity, {260, 70, false}}, // right of the view
        {{-1, 0, 0}, moved, perspective, {110, 70, true}},
        {{4, 2.5, 0}, moved, perspective, {210, 95, true}}, // x / w = 5 / 5
        {{0, 0, 6}, moved, perspective, {0, 0, false}},     // behind the camera
    };
    for (const Case& c : cases) {
        const ScreenPoint s = project_to_screen(c.p, c.mv, c.pr, viewport);
        EXPECT_EQ(s.visible, c.expected.visible) << c.p.x << " " << c.p.y << " " << c.p.z;
        if (!c.expected.visible) continue;
        EXPECT_NEAR(s.x, c.expected.x, 1e-9);
        EXPECT_NEAR(s.y, c.expected.y, 1e-9);
    }
}

test::TestNode node_at(Point3 at) {
    test::TestNode n;
    n.at = at;
    return n;
}

TEST(ArrowColour, TheLegendsColourOfTheMagnitude) {
    load_legend(0);
    const auto row = [](int r, bool negative) {
        const auto& c = legcolor[static_cast<std::size_t>(r)];
        return negative ? Rgb{1 - c[0], 1 - c[1], 1 - c[2]} : Rgb{c[0], c[1], c[2]};
    };
    const auto mix = [](const Rgb& a, const Rgb& b) {
        return Rgb{(a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2};
    };
    struct Case {
        double magnitude;
        bool banded, negative;
        Rgb expected;
    };
    // Range 2..10: eighths of 1 for the continuous map, ninths for the bands.
    const Case cases[] = {
        {2, false, false, row(0, false)},
        {10, false, false, row(8, false)},
        {2.5, false, false, mix(row(0, false), row(1, false))},
        {10, false, true, row(8, true)},
        {2, true, false, row(band_color_row(2), false)},
        {9.9, true, false, row(band_color_row(10), false)},
        {9.9, true, true, row(band_color_row(10), true)},
    };
    for (const Case& c : cases) {
        const Rgb got = arrow_colour(c.magnitude, {2, 10}, c.banded, c.negative);
        EXPECT_NEAR(got.r, c.expected.r, 1e-12) << c.magnitude << " " << c.banded << c.negative;
        EXPECT_NEAR(got.g, c.expected.g, 1e-12) << c.magnitude << " " << c.banded << c.negative;
        EXPECT_NEAR(got.b, c.expected.b, 1e-12) << c.magnitude << " " << c.banded << c.negative;
    }
    // The lowest and highest bands differ: the band follows the magnitude.
    EXPECT_NE(arrow_colour(2, {2, 10}, true, false), arrow_colour(9.9, {2, 10}, true, false));
}

// Nodes along x; lists of two steps: U and F in step 1, U alone in step 2.
ResultModel stepped_model() {
    std::vector<test::TestNode> nodes(4);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i].at = {static_cast<double>(i), 0, 0};
        nodes[i].list_disp.assign(12, {0.5, 0, 0});
        //              UX UY UZ |U|  FX  FY FZ |F| UX UY UZ |U|
        nodes[i].values = {1, 2, 2, 3, 0, 0, 5, 5, 0, 0, 0, 0};
    }
    nodes[1].values[6] = 0; // node 2: no force
    nodes[2].values[4] = kNaN;
    ResultModel m = test::make_model(nodes, {{1, 1, {1, 2}}, {1, 1, {2, 3}}, {1, 1, {3, 4}}}, 12);
    const char* names[] = {"U X", "U Y", "U Z", "U Magnitude", "F X", "F Y", "F Z", "F Magnitude"};
    for (int k = 1; k <= 8; ++k)
        m.namelista[static_cast<std::size_t>(k)] = std::string(names[k - 1]) + " - passo 1";
    for (int k = 9; k <= 12; ++k)
        m.namelista[static_cast<std::size_t>(k)] = std::string(names[k - 9]) + " - passo 2 (t = 2)";
    return m;
}

TEST(ArrowSource, FieldOfTheCheckedListsStep) {
    const ResultModel m = stepped_model();
    struct Case {
        std::string field;
        int list;
        ArrowSource::Kind kind;
        std::array<int, 3> lists;
    };
    const Case cases[] = {
        {"", 3, ArrowSource::Kind::Displacement, {}},
        {"", 0, ArrowSource::Kind::Displacement, {}},
        {"U", 8, ArrowSource::Kind::Lists, {1, 2, 3}},
        {"F", 2, ArrowSource::Kind::Lists, {5, 6, 7}},
        {"U", 10, ArrowSource::Kind::Lists, {9, 10, 11}},
        {"F", 10, ArrowSource::Kind::None, {}},        // step 2 has no F
        {"F", 0, ArrowSource::Kind::Lists, {5, 6, 7}}, // no list checked: the first step
    };
    for (const Case& c : cases) {
        const ArrowSource s = arrow_source(m, c.field, c.list);
        EXPECT_EQ(s.kind, c.kind) << c.field << " " << c.list;
        if (c.kind == ArrowSource::Kind::Lists) {
            EXPECT_EQ(s.lists, c.lists) << c.field << " " << c.list;
        }
        if (c.kind == ArrowSource::Kind::Displacement) {
            EXPECT_EQ(s.list, c.list);
        }
    }
}

TEST(ArrowSource, AnUnknownFieldNamesTheFieldsThereAre) {
    const ResultModel m = stepped_model();
    try {
        arrow_source(m, "V", 1);
        FAIL() << "no error";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()),
                  "No three-component nodal field named 'V' for the arrows; the fields are U, F");
    }
    ResultModel bare = test::make_model({node_at({0, 0, 0})}, {}, 1);
    EXPECT_THROW(arrow_source(bare, "U", 1), std::invalid_argument);
}

TEST(NodeArrows, DrawnNodesWithAVectorOnTheShapeShown) {
    ResultModel m = stepped_model();
    m.inner_nodes = {0, 0, 0, 0, 1}; // node 4 inside a volume
    const std::vector<NodeArrow> forces = node_arrows(m, arrow_source(m, "F", 1), {});
    // Node 2 has no force, node 3 a NaN component, node 4 is not drawn.
    ASSERT_EQ(forces.size(), 1u);
    EXPECT_EQ(forces[0].node, 1);
    EXPECT_EQ(forces[0].magnitude, 5);
    EXPECT_EQ(forces[0].base, (Point3{0, 0, 0}));

    const std::vector<NodeArrow> shown = node_arrows(m, arrow_source(m, "U", 1), {true, 3, 2.0});
    ASSERT_EQ(shown.size(), 3u);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].node, static_cast<std::int32_t>(i + 1));
        EXPECT_EQ(shown[i].base, (Point3{static_cast<double>(i) + 1.0, 0, 0})); // moved by 2 x 0.5
        EXPECT_EQ(shown[i].vector, (std::array<double, 3>{1, 2, 2}));
    }
    EXPECT_EQ(magnitude_range(shown), (std::array<double, 2>{3, 3}));
    EXPECT_EQ(magnitude_range({}), (std::array<double, 2>{0, 0}));

    const std::vector<NodeArrow> displacement = node_arrows(m, arrow_source(m, "", 12), {});
    ASSERT_EQ(displacement.size(), 3u);
    EXPECT_EQ(displacement[0].vector, (std::array<double, 3>{0.5, 0, 0}));
    EXPECT_TRUE(node_arrows(m, arrow_source(m, "F", 12), {}).empty());
    EXPECT_TRUE(node_arrows(m, arrow_source(m, "U", 12), {}).empty()); // step 2: all zero
}

// The one-sweep choice of a view against node_arrows then thin_on_screen;
// lengths and colours keep the range of every arrow, shown or not.
TEST(NodeArrows, AViewChoosesAsTheThinningDoes) {
    ResultModel m = stepped_model();
    m.listas_ref(2, 1) = 5; // node 2: U = (5, 2, 2), the others (1, 2, 2)
    const ArrowSource s = arrow_source(m, "U", 1);
    const NodePlacement place{true, 3, 2.0};
    // 10 pixels a unit along x; node 4 (at x = 4 deformed) off the view.
    const auto project = [](const Point3& p) { return ScreenPoint{10 * p.x, 0, p.x < 3.5}; };
    const std::vector<NodeArrow> all = node_arrows(m, s, place);
    std::vector<ScreenPoint> screen;
    std::vector<double> magnitudes;
    for (const NodeArrow& a : all) {
        screen.push_back(project(a.base));
        magnitudes.push_back(a.magnitude);
    }
    const struct {
        double cell;
        std::vector<std::int32_t> nodes;
    } cases[] = {{0, {1, 2, 3}}, {8, {1, 2, 3}}, {25, {2, 3}}, {40, {2}}};
    for (const auto& c : cases) {
        const ArrowChoice choice = choose_arrows(m, s, place, project, c.cell);
        std::vector<std::int32_t> nodes;
        for (const NodeArrow& a : choice.arrows)
            nodes.push_back(a.node);
        EXPECT_EQ(nodes, c.nodes) << c.cell;
        std::vector<std::int32_t> thinned;
        for (const std::size_t i : thin_on_screen(screen, magnitudes, c.cell))
            thinned.push_back(all[i].node);
        EXPECT_EQ(nodes, thinned) << c.cell;
        EXPECT_EQ(choice.range, (std::array<double, 2>{3, std::sqrt(33.0)})) << c.cell;
        for (const NodeArrow& a : choice.arrows)
            EXPECT_EQ(a.base, all[static_cast<std::size_t>(a.node - 1)].base);
    }
    EXPECT_EQ(magnitude_range(m, s), (std::array<double, 2>{3, std::sqrt(33.0)}));
    EXPECT_EQ(magnitude_range(m, arrow_source(m, "F", 10)), (std::array<double, 2>{0, 0}));
}

TEST(NodeArrows, ModelSizeIsTheDiagonalOfTheDrawnNodes) {
    ResultModel m =
        test::make_model({node_at({0, 0, 0}), node_at({3, 4, 0}), node_at({100, 100, 100})}, {}, 0);
    m.inner_nodes = {0, 0, 0, 1};
    EXPECT_DOUBLE_EQ(model_size(m), 5);
    EXPECT_EQ(model_size(test::make_model({}, {}, 0)), 0);
}

} // namespace
} // namespace orv
