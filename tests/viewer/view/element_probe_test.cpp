// Values between the nodes: the shape functions of every drawn family and
// order, and the element pick that finds the point under the pointer on the
// drawn, deformed, clipped and filtered elements.

#include "viewer/view/pick.h"
#include "viewer/view/shape_functions.h"

#include "../render/test_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace orv::pick {
namespace {

using test::make_model;
using test::TestElement;
using test::TestNode;

struct Kind {
    int family, order;
};
const Kind kKinds[] = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 2},
                       {2, 3}, {2, 4}, {3, 1}, {3, 2}, {3, 3}, {3, 4}};

std::string name(Kind k) {
    return "family " + std::to_string(k.family) + " order " + std::to_string(k.order);
}

// A polynomial each family of order p reproduces exactly: degree p in r and
// s together on triangles, in each of r and s on quadrilaterals, in r on lines.
double field(Kind k, double r, double s) {
    const int p = k.order;
    if (k.family == 1) return 1 + std::pow(r - 0.3, p) + 0.5 * r;
    if (k.family == 2) return 2 + std::pow(r + 2 * s - 0.4, p) - 0.7 * s;
    return 3 + std::pow(r - 0.2, p) * std::pow(s + 0.5, p) + s;
}

// Points inside every family's parameter domain.
const ElementParameters kPoints[] = {{0.2, 0.1}, {0.55, 0.3}, {0.1, 0.7}, {0.33, 0.33}};

TEST(ShapeFunctions, AreOneAtTheirNodeZeroAtOthersAndReproduceTheirDegree) {
    for (const Kind k : kKinds) {
        const ElementType t{k.family, k.order};
        const auto count = static_cast<int>(element_node_count(k.family, k.order));
        std::vector<double> n;
        for (int i = 1; i <= count; ++i) {
            shape_values(t, lattice_parameters(t, i), n);
            ASSERT_EQ(n.size(), static_cast<std::size_t>(count) + 1) << name(k);
            for (int j = 1; j <= count; ++j)
                EXPECT_NEAR(n[static_cast<std::size_t>(j)], i == j ? 1 : 0, 1e-12)
                    << name(k) << " node " << i << " at " << j;
        }
        for (const ElementParameters at : kPoints) {
            const ElementParameters q{at.r, k.family == 1 ? 0 : at.s};
            shape_values(t, q, n);
            double sum = 0, v = 0;
            for (int i = 1; i <= count; ++i) {
                const ElementParameters node = lattice_parameters(t, i);
                sum += n[static_cast<std::size_t>(i)];
                v += n[static_cast<std::size_t>(i)] * field(k, node.r, node.s);
            }
            EXPECT_NEAR(sum, 1, 1e-12) << name(k);
            EXPECT_NEAR(v, field(k, q.r, q.s), 1e-12) << name(k) << " at " << q.r << ", " << q.s;
        }
    }
}

TEST(ShapeFunctions, LatticeFollowsTheModelsNodeOrder) {
    // Triangle of order 2: 1 2 3 on the first edge, 4 5 on the next row, apex 6.
    const ElementType tri{2, 2};
    EXPECT_EQ(lattice_parameters(tri, 3), (ElementParameters{1, 0}));
    EXPECT_EQ(lattice_parameters(tri, 5), (ElementParameters{0.5, 0.5}));
    EXPECT_EQ(lattice_parameters(tri, 6), (ElementParameters{0, 1}));
    // Quadrilateral of order 2: rows of three.
    const ElementType quad{3, 2};
    EXPECT_EQ(lattice_parameters(quad, 4), (ElementParameters{0, 0.5}));
    EXPECT_EQ(lattice_parameters(quad, 9), (ElementParameters{1, 1}));
    EXPECT_EQ(lattice_parameters(ElementType{1, 3}, 3), (ElementParameters{2.0 / 3, 0}));
}

// The view as the viewer window sets it up (see pick_test.cpp).
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
    std::array<double, 2> pointer_at(const Point3& p) const {
        const view::PixelPoint px =
            view::project_to_pixel(*camera, w, h, model_object->to_world({p.x, p.y, p.z}));
        return {px.x - 0.5, px.y - 0.5};
    }
};

// One element of kind k in the plane z = 0, its lattice laid out by an
// affine map of the parameters (so that the drawn sub-division is exact),
// list 1's values from field(), and list 1 moving every node by `shift`.
constexpr double kShift[3] = {0.5, -0.25, 0};
Point3 place(ElementParameters q) {
    return {-2 + 4 * q.r + 1.0 * q.s, -1.5 + 3 * q.s, 0};
}
ResultModel one_element(Kind k) {
    const ElementType t{k.family, k.order};
    const auto count = static_cast<int>(element_node_count(k.family, k.order));
    std::vector<TestNode> nodes;
    TestElement e{k.family, k.order, {}};
    for (int i = 1; i <= count; ++i) {
        const ElementParameters q = lattice_parameters(t, i);
        TestNode n;
        n.at = place(q);
        n.list_disp = {{kShift[0], kShift[1], kShift[2]}};
        n.values = {field(k, q.r, q.s)};
        nodes.push_back(n);
        e.nodes.push_back(i);
    }
    // Two far nodes widen the scale so that the element is not the whole view.
    TestNode far1, far2;
    far1.at = {-6, -6, 0};
    far2.at = {6, 6, 0};
    nodes.push_back(far1);
    nodes.push_back(far2);
    return make_model(nodes, {e}, 1);
}

PickLayer fill_of(double factor, std::array<int, 3> filters = {-1, -1, -1}) {
    PickLayer l;
    l.kind = LayerKind::Fill;
    l.place = {true, 3, factor};
    l.filters = filters;
    return l;
}

TEST(ElementPick, ValueUnderThePointerIsTheShapeFunctionValueThere) {
    for (const Kind k : kKinds)
        for (const double factor : {0.0, 1.0})
            for (const ElementParameters at : kPoints) {
                const ElementParameters q{at.r, k.family == 1 ? 0 : at.s};
                const ResultModel m = one_element(k);
                const View3D v(m);
                Point3 drawn = place(q);
                drawn.x += factor * kShift[0];
                drawn.y += factor * kShift[1];
                const auto p = v.pointer_at(drawn);
                NodePicker picker;
                const auto hit = picker.probe_element({&m, {fill_of(factor)}, {}}, v.pick_view(), p[0], p[1]);
                const std::string what = name(k) + " factor " + std::to_string(factor) + " at " +
                                         std::to_string(q.r) + ", " + std::to_string(q.s);
                ASSERT_TRUE(hit) << what;
                EXPECT_EQ(hit->element, 1u) << what;
                EXPECT_NEAR(hit->at.r, q.r, 1e-4) << what;
                EXPECT_NEAR(hit->at.s, q.s, 1e-4) << what;
                EXPECT_NEAR(hit->drawn.x, drawn.x, 1e-4) << what;
                EXPECT_NEAR(hit->drawn.y, drawn.y, 1e-4) << what;
                EXPECT_NEAR(list_value_at(m, hit->element, hit->at, 1), field(k, q.r, q.s), 1e-3) << what;
                const auto x = position_at(m, hit->element, hit->at);
                EXPECT_NEAR(x[0], place(q).x, 1e-3) << what;
                EXPECT_NEAR(x[1], place(q).y, 1e-3) << what;
            }
}

TEST(ElementPick, NearestNodeIsTheElementsNodeNearestAsDrawn) {
    const Kind k{3, 2};
    const ResultModel m = one_element(k);
    const View3D v(m);
    const ElementParameters q{0.45, 0.95}; // nearest lattice node: (0.5, 1), position 8
    const auto p = v.pointer_at(place(q));
    NodePicker picker;
    const auto hit = picker.probe_element({&m, {fill_of(0)}, {}}, v.pick_view(), p[0], p[1]);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->nearest_node, 8);
}

TEST(ElementPick, AnswersOnlyWhereTheElementIsDrawn) {
    const ResultModel tri = one_element({2, 2});
    const ResultModel beam = one_element({1, 2});
    const View3D v(tri);
    struct Case {
        const char* what;
        const ResultModel* m;
        PickLayer layer;
        std::optional<std::array<double, 4>> clip;
        Point3 at;
        bool hit;
        double dy = 0; // pixels below the point
    };
    const Case cases[] = {
        {"inside", &tri, fill_of(0), {}, place({0.3, 0.3}), true},
        {"outside the triangle", &tri, fill_of(0), {}, place({0.8, 0.8}), false},
        {"background", &tri, fill_of(0), {}, {5, -5, 0}, false},
        {"undeformed place of a deformed fill", &tri, fill_of(1), {}, place({0.05, 0.9}), false},
        {"order filtered", &tri, fill_of(0, {-1, 2, -1}), {}, place({0.3, 0.3}), false},
        {"family filtered", &tri, fill_of(0, {-1, 0, -1}), {}, place({0.3, 0.3}), false},
        {"other family filtered", &tri, fill_of(0, {0, -1, 0}), {}, place({0.3, 0.3}), true},
        {"clipped away (x < -0.5 kept)", &tri, fill_of(0), std::array<double, 4>{-1, 0, 0, -0.5},
         place({0.5, 0.2}), false},
        {"clip keeps this side", &tri, fill_of(0), std::array<double, 4>{-1, 0, 0, -0.5}, place({0.1, 0.2}),
         true},
        {"on the beam", &beam, fill_of(0), {}, place({0.6, 0}), true},
        {"two pixels beside the beam", &beam, fill_of(0), {}, place({0.6, 0}), true, 2},
        {"four pixels beside the beam", &beam, fill_of(0), {}, place({0.6, 0}), false, 4},
        {"beam filtered", &beam, fill_of(0, {2, -1, -1}), {}, place({0.6, 0}), false},
    };
    for (const Case& c : cases) {
        const auto p = v.pointer_at(c.at);
        NodePicker picker;
        const auto hit = picker.probe_element({c.m, {c.layer}, c.clip}, v.pick_view(), p[0], p[1] + c.dy);
        EXPECT_EQ(hit.has_value(), c.hit) << c.what;
    }
}

TEST(ElementPick, FrontSurfaceHidesTheLineBehindIt) {
    // A quadrilateral at z = 1 in front of a beam at z = -1 across it.
    std::vector<TestNode> nodes(6);
    nodes[0].at = {-2, -2, 1};
    nodes[1].at = {2, -2, 1};
    nodes[2].at = {-2, 2, 1};
    nodes[3].at = {2, 2, 1};
    nodes[4].at = {-4, 0, -1};
    nodes[5].at = {4, 0, -1};
    for (std::size_t i = 0; i < nodes.size(); ++i)
        nodes[i].values = {double(i)};
    const ResultModel m = make_model(nodes, {{3, 1, {1, 2, 3, 4}}, {1, 1, {5, 6}}}, 1);
    const View3D v(m);
    NodePicker picker;
    const PickScene scene{&m, {fill_of(0)}, {}};
    auto p = v.pointer_at({0.3, 0, 0});
    auto hit = picker.probe_element(scene, v.pick_view(), p[0], p[1]);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->element, 1u);
    p = v.pointer_at({3, 0, 0});
    hit = picker.probe_element(scene, v.pick_view(), p[0], p[1]);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->element, 2u);
    EXPECT_NEAR(hit->drawn.z, -1, 1e-6);
}

} // namespace
} // namespace orv::pick
