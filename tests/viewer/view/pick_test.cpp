// The node pick on small models seen through the 3D view's own camera set-up:
// the front-most surface hides what lies behind it, the clip plane removes
// nodes and surfaces, each layer shows nodes where it draws them, line
// elements hide nothing, and the index follows camera changes.

#include "viewer/view/pick.h"

#include "../render/test_model.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace orv::pick {
namespace {

using test::make_model;
using test::TestElement;
using test::TestNode;

// The model view as the viewer window sets it up: the model object inside the
// camera's target, scaled by 2 / maxscale, the camera on +z at distance 30.
struct View3D {
    view::Scene scene;
    view::SceneObject* cube = nullptr;
    view::SceneObject* model_object = nullptr;
    std::unique_ptr<view::Camera> camera;
    int w = 400, h = 300;

    explicit View3D(const ResultModel& m) {
        cube = &scene.add(nullptr, "DummyCube1");
        model_object = &scene.add(cube, "DirectOpenGL1");
        const auto s = static_cast<float>(m.scene_scale());
        model_object->set_scale({s, s, s});
        camera = std::make_unique<view::Camera>(scene, cube);
        camera->set_position({0, 0, 30});
        camera->set_focal_length(10);
        camera->set_depth_of_view(100);
    }
    PickView pick_view() const { return make_pick_view(*camera, *model_object, w, h); }
    // The pointer position whose pixel centre shows model point p, found
    // through the scene's own frames rather than the pick's matrices.
    std::array<double, 2> pointer_at(const Point3& p) const {
        const view::PixelPoint px =
            view::project_to_pixel(*camera, w, h, model_object->to_world({p.x, p.y, p.z}));
        return {px.x - 0.5, px.y - 0.5};
    }
};

TestNode at(double x, double y, double z) {
    TestNode n;
    n.at = {x, y, z};
    return n;
}

PickLayer fill(double factor = 1, int k = 1) {
    PickLayer l;
    l.kind = LayerKind::Fill;
    l.place = {true, 3 * k, factor};
    return l;
}
PickLayer points() {
    return PickLayer{};
}
PickLayer outline() {
    PickLayer l;
    l.kind = LayerKind::Outline;
    return l;
}

TestElement quad(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    return {3, 1, {a, b, c, d}};
}

std::int32_t picked(NodePicker& picker, const PickScene& scene, const View3D& v, const Point3& at) {
    const auto p = v.pointer_at(at);
    const auto hit = picker.probe(scene, v.pick_view(), p[0], p[1]);
    return hit ? hit->node : 0;
}

// Two quads of the same result list, F at z = 1 in front of B at z = 0 seen
// from +z. B's corner node 5 lies behind F, 7.5 pixels from F's corner node 1;
// B's node 9 sits just left of F's left edge.
struct TwoQuads {
    ResultModel m;
    TwoQuads() {
        std::vector<TestNode> n = {
            at(0, 0, 1),       at(2, 0, 1),    at(0, 2, 1),     at(2, 2, 1),  // F: 1..4
            at(0.2, 0.2, 0),   at(3, 0.2, 0),  at(0.2, 3, 0),   at(3, 3, 0),  // B: 5..8
            at(-0.05, 0.2, 0), at(-1, 0.2, 0), at(-0.05, 1, 0), at(-1, 1, 0), // C: 9..12
        };
        m = make_model(n, {quad(1, 2, 3, 4), quad(5, 6, 7, 8), quad(10, 9, 12, 11)}, 1);
    }
};

TEST(NodePick, FrontMostSurfaceWins) {
    const TwoQuads q;
    View3D v(q.m);
    NodePicker picker;
    PickScene scene{&q.m, {fill()}, std::nullopt};
    struct Case {
        const char* what;
        view::Vec3f camera;
        Point3 pointer;
        std::int32_t node;
    };
    const Case cases[] = {
        // B's corner is hidden behind F: F's corner, 7.5 pixels off, is the node seen.
        {"B's corner behind F", {0, 0, 30}, {0.2, 0.2, 0}, 1},
        // From behind, B is in front and shows its own corner.
        {"B's corner from behind", {0, 0, -30}, {0.2, 0.2, 0}, 5},
        // The pointer on F near its edge: F's own corner wins over C's nearer
        // node, visible past the edge but far behind F.
        {"own corner before a node far behind", {0, 0, 30}, {0.05, 0.2, 1}, 1},
        // Off F, C's node is the one seen.
        {"past F's edge", {0, 0, 30}, {-0.1, 0.2, 0}, 9},
    };
    for (const Case& c : cases) {
        v.camera->set_position(c.camera);
        EXPECT_EQ(picked(picker, scene, v, c.pointer), c.node) << c.what;
    }
}

TEST(NodePick, NodeBehindASurfaceIsNotSeen) {
    // A quad at z = 1 and a lone node behind its middle, drawn by "Nós".
    const ResultModel m =
        make_model({at(0, 0, 1), at(2, 0, 1), at(0, 2, 1), at(2, 2, 1), at(1, 1, 0)}, {quad(1, 2, 3, 4)}, 1);
    View3D v(m);
    NodePicker picker;
    const PickScene with_fill{&m, {points(), fill()}, std::nullopt};
    const PickScene mesh_only{&m, {points(), outline()}, std::nullopt};
    EXPECT_EQ(picked(picker, with_fill, v, {1, 1, 0}), 0) << "hidden by the coloured quad";
    EXPECT_EQ(picked(picker, mesh_only, v, {1, 1, 0}), 5) << "an outline hides nothing";
    v.camera->set_position({0, 0, -30});
    EXPECT_EQ(picked(picker, with_fill, v, {1, 1, 0}), 5) << "seen from behind";
}

TEST(NodePick, NearlyCoincidentNodesFrontMostWins) {
    // Two lone nodes 0.4 pixels apart on screen, one behind the other.
    const ResultModel m = make_model({at(1, 1, 0), at(1.01, 1, 1), at(2, 2, 0)}, {}, 1);
    View3D v(m);
    NodePicker picker;
    const PickScene scene{&m, {points()}, std::nullopt};
    EXPECT_EQ(picked(picker, scene, v, {1, 1, 0}), 2) << "the front one, though a little farther";
    v.camera->set_position({0, 0, -30});
    EXPECT_EQ(picked(picker, scene, v, {1.01, 1, 1}), 1) << "from behind";
}

TEST(NodePick, HigherOrderSurfaceHidesThroughItsSubTriangles) {
    // A quadratic quadrilateral with corners at z = 0 and its middle node
    // pulled to z = 1, and a lone node at z = 0.5 under the bulge. The
    // straight quad of the corners would not hide it; the sub-triangles do.
    std::vector<TestNode> n;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            n.push_back(at(c, r, (r == 1 && c == 1) ? 1.0 : 0.0));
    n.push_back(at(0.9, 0.9, 0.5));
    const ResultModel m = make_model(n, {{3, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9}}}, 1);
    View3D v(m);
    NodePicker picker;
    EXPECT_EQ(picked(picker, {&m, {points(), fill()}, std::nullopt}, v, {0.9, 0.9, 0.5}), 5)
        << "the bulge's middle node, 6 pixels off, is the one seen";
    EXPECT_EQ(picked(picker, {&m, {points()}, std::nullopt}, v, {0.9, 0.9, 0.5}), 10);
}

TEST(NodePick, ClipPlaneRemovesNodesAndSurfaces) {
    const TwoQuads q;
    View3D v(q.m);
    NodePicker picker;
    struct Case {
        const char* what;
        std::optional<std::array<double, 4>> clip;
        Point3 pointer;
        std::int32_t node;
    };
    const Case cases[] = {
        {"no plane", std::nullopt, {2, 2, 1}, 4},
        // x <= 1.5 kept: F's corner node 4 is cut away, and no other node is near.
        {"corner cut away", std::array<double, 4>{-1, 0, 0, 1.5}, {2, 2, 1}, 0},
        // z <= 0.5 kept: F is cut away and hides B's corner no more.
        {"front quad cut away", std::array<double, 4>{0, 0, -1, 0.5}, {0.2, 0.2, 0}, 5},
        // The plane through F's corner itself keeps it (a x + b y + c z + d >= 0).
        {"on the plane", std::array<double, 4>{-1, 0, 0, 2}, {2, 2, 1}, 4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(picked(picker, {&q.m, {fill()}, c.clip}, v, c.pointer), c.node) << c.what;
}

TEST(NodePick, EachLayerShowsNodesWhereItDrawsThem) {
    // One quad; result list 1 moves node 2 by (0.5, 0, 0).
    std::vector<TestNode> n = {at(0, 0, 0), at(2, 0, 0), at(0, 2, 0), at(2, 2, 0)};
    n[1].list_disp = {{0.5, 0, 0}};
    const ResultModel m = make_model(n, {quad(1, 2, 3, 4)}, 1);
    View3D v(m);
    NodePicker picker;
    struct Case {
        const char* what;
        std::vector<PickLayer> layers;
        Point3 pointer;
        std::int32_t node;
    };
    const Case cases[] = {
        {"deformed, factor 1", {fill(1)}, {2.5, 0, 0}, 2},
        {"not at the undeformed place", {fill(1)}, {2, 0, 0}, 0},
        {"factor 2", {fill(2)}, {3, 0, 0}, 2},
        {"factor 0: undeformed", {fill(0)}, {2, 0, 0}, 2},
        {"undeformed mesh", {outline()}, {2, 0, 0}, 2},
        {"both shapes, deformed place", {outline(), fill(1)}, {2.5, 0, 0}, 2},
        {"both shapes, undeformed place", {outline(), fill(1)}, {2, 0, 0}, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(picked(picker, {&m, c.layers, std::nullopt}, v, c.pointer), c.node) << c.what;

    const auto p = v.pointer_at({2.5, 0, 0});
    const auto hit = picker.probe({&m, {outline(), fill(1)}, std::nullopt}, v.pick_view(), p[0], p[1]);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->layer, 1);
    EXPECT_DOUBLE_EQ(hit->drawn.x, 2.5);
    EXPECT_NEAR(hit->x, p[0] + 0.5, 1e-3);
    EXPECT_NEAR(hit->y, p[1] + 0.5, 1e-3);
}

TEST(NodePick, EmptyBackgroundAndOutsideTheView) {
    const TwoQuads q;
    View3D v(q.m);
    NodePicker picker;
    const PickScene scene{&q.m, {fill()}, std::nullopt};
    EXPECT_EQ(picked(picker, scene, v, {1.5, -1.5, 0}), 0) << "below the model";
    EXPECT_EQ(picked(picker, scene, v, {1, 1, 1}), 0) << "inside F, no node within the radius";
    EXPECT_FALSE(picker.probe(scene, v.pick_view(), -1, 10));
    EXPECT_FALSE(picker.probe(scene, v.pick_view(), 10, v.h));
    EXPECT_FALSE(picker.probe({&q.m, {}, std::nullopt}, v.pick_view(), 200, 150)) << "nothing drawn";
    EXPECT_FALSE(picker.probe({nullptr, {fill()}, std::nullopt}, v.pick_view(), 200, 150));
    const auto p = v.pointer_at({0, 0, 1});
    EXPECT_FALSE(picker.probe(scene, make_pick_view(*v.camera, *v.model_object, 0, 0), p[0], p[1]));
}

TEST(NodePick, LineElementsShowTheirNodesAndHideNothing) {
    // A line in front of a lone node, and a line behind a quad.
    const ResultModel m = make_model(
        {
            at(0, 0, 1), at(2, 0, 1), at(1, 0, 0),              // line 1-2, node 3 behind it
            at(0, 1, 1), at(2, 1, 1), at(0, 3, 1), at(2, 3, 1), // quad 4..7
            at(0.5, 2, 0), at(1.5, 2, 0),                       // line 8-9 behind the quad
        },
        {{1, 1, {1, 2}}, quad(4, 5, 6, 7), {1, 1, {8, 9}}}, 1);
    View3D v(m);
    NodePicker picker;
    const PickScene scene{&m, {points(), fill()}, std::nullopt};
    EXPECT_EQ(picked(picker, scene, v, {2, 0, 1}), 2);
    EXPECT_EQ(picked(picker, scene, v, {1, 0, 0}), 3) << "a line hides nothing";
    EXPECT_EQ(picked(picker, scene, v, {0.5, 2, 0}), 0) << "behind the quad";
    // The colour list of lines alone: their nodes are drawn, the lone node is not.
    const ResultModel lines = make_model({at(0, 0, 0), at(2, 0, 0), at(1, 1, 0)}, {{1, 1, {1, 2}}}, 1);
    View3D vl(lines);
    EXPECT_EQ(picked(picker, {&lines, {fill()}, std::nullopt}, vl, {2, 0, 0}), 2);
    EXPECT_EQ(picked(picker, {&lines, {fill()}, std::nullopt}, vl, {1, 1, 0}), 0);
}

TEST(NodePick, FilteredElementsNeitherShowNorHide) {
    const ResultModel m =
        make_model({at(0, 0, 1), at(2, 0, 1), at(0, 2, 1), at(2, 2, 1), at(1, 1, 0)}, {quad(1, 2, 3, 4)}, 1);
    View3D v(m);
    NodePicker picker;
    PickLayer hidden_quads = fill();
    hidden_quads.filters = {-1, -1, 0};
    EXPECT_EQ(picked(picker, {&m, {points(), hidden_quads}, std::nullopt}, v, {1, 1, 0}), 5);
    EXPECT_EQ(picked(picker, {&m, {hidden_quads}, std::nullopt}, v, {2, 2, 1}), 0);
    hidden_quads.outline = true; // the deformed outline drawn inside the list shows the corners
    EXPECT_EQ(picked(picker, {&m, {hidden_quads}, std::nullopt}, v, {2, 2, 1}), 4);

    // The block filter likewise: the quad's block hidden, then another one.
    ResultModel blocks = m;
    blocks.block_names = {"front", "back"};
    blocks.element_blocks = {ResultModel::kNoBlock, 0};
    PickLayer hidden_front = fill();
    hidden_front.hidden_blocks = {1, 0};
    EXPECT_EQ(picked(picker, {&blocks, {points(), hidden_front}, std::nullopt}, v, {1, 1, 0}), 5);
    EXPECT_EQ(picked(picker, {&blocks, {hidden_front}, std::nullopt}, v, {2, 2, 1}), 0);
    hidden_front.hidden_blocks = {0, 1};
    EXPECT_EQ(picked(picker, {&blocks, {points(), hidden_front}, std::nullopt}, v, {1, 1, 0}), 0)
        << "behind a coloured quad";
    EXPECT_EQ(picked(picker, {&blocks, {hidden_front}, std::nullopt}, v, {2, 2, 1}), 4);
}

TEST(NodePick, IndexFollowsTheViewAndIsReused) {
    const TwoQuads q;
    View3D v(q.m);
    NodePicker picker;
    const PickScene scene{&q.m, {fill()}, std::nullopt};
    EXPECT_EQ(picked(picker, scene, v, {2, 2, 1}), 4);
    EXPECT_EQ(picked(picker, scene, v, {2, 0, 1}), 2);
    EXPECT_EQ(picker.stats().builds, 1) << "further probes reuse the index";

    struct Step {
        const char* what;
        std::function<void(View3D&)> change;
    };
    const Step steps[] = {
        {"orbit", [](View3D& x) { x.camera->orbit(-20, 35); }},
        {"zoom", [](View3D& x) { x.camera->set_scene_scale(1.5f); }},
        {"pan",
         [](View3D& x) {
             x.model_object->set_position({0.7f, -0.4f, 0.2f});
         }},
        {"view size", [](View3D& x) { x.w = 333; }},
    };
    long builds = picker.stats().builds;
    for (const Step& s : steps) {
        s.change(v);
        EXPECT_TRUE(picker.stale(scene, v.pick_view())) << s.what;
        EXPECT_EQ(picked(picker, scene, v, {2, 2, 1}), 4) << s.what;
        EXPECT_EQ(picked(picker, scene, v, {3, 3, 0}), 8) << s.what;
        EXPECT_EQ(picker.stats().builds, ++builds) << s.what;
    }
    PickScene clipped = scene;
    clipped.clip = std::array<double, 4>{1, 0, 0, 0};
    EXPECT_TRUE(picker.stale(clipped, v.pick_view()));
}

TEST(NodePick, LayersOfTheLastPass) {
    RenderState rs;
    rs.last_calls = {1, 2, 3, 5, 7};
    rs.content.resize(7);
    rs.content[2] = {6, 0.5, {-1, -1, -1}, false, {}};
    rs.content[6] = {6, 2.0, {-1, 0, 2}, true, {0, 1}};
    const std::vector<PickLayer> layers = layers_drawn(rs);
    ASSERT_EQ(layers.size(), 4u);
    EXPECT_EQ(layers[0].kind, LayerKind::Points);
    EXPECT_FALSE(layers[0].place.deformed);
    EXPECT_EQ(layers[1].kind, LayerKind::Outline);
    EXPECT_FALSE(layers[1].place.deformed);
    EXPECT_EQ(layers[2].kind, LayerKind::Outline);
    EXPECT_TRUE(layers[2].place.deformed);
    EXPECT_EQ(layers[2].place.selector, 6);
    EXPECT_EQ(layers[2].place.factor, 0.5);
    EXPECT_EQ(layers[3].kind, LayerKind::Fill);
    EXPECT_EQ(layers[3].place.selector, 6) << "result list 2";
    EXPECT_EQ(layers[3].place.factor, 2.0);
    EXPECT_EQ(layers[3].filters, (std::array<int, 3>{-1, 0, 2}));
    EXPECT_EQ(layers[3].hidden_blocks, (std::vector<std::uint8_t>{0, 1}));
    EXPECT_TRUE(layers[3].outline);
    // A list replayed before its content was recorded counts with the defaults.
    rs.content.clear();
    rs.last_calls = {6};
    EXPECT_EQ(layers_drawn(rs).at(0).place.factor, 1.0);
}

} // namespace
} // namespace orv::pick
