// Viewport maths without a display: projection extents, orbit and its clamp,
// preset views, zoom steps in 32-bit floats, panning that keeps the point
// under the pointer, and the scene tree's frames and change notices.

#include "viewer/model/number_text.h"
#include "viewer/view/camera.h"
#include "viewer/view/interaction.h"
#include "viewer/view/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace orv::view {
namespace {

double dist(const Vec3d& a, const Vec3d& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}
Vec3d d3(const Vec3f& v) {
    return {v[0], v[1], v[2]};
}

// ---- Projection ----

struct ExtentCase {
    int w, h;
    double focal, scale;
    double width, height; // visible world extent
};

TEST(OrthoExtents, LargerSideSpansTenOverScaleUnits) {
    const ExtentCase cases[] = {
        {800, 600, 10, 1, 10, 7.5}, {600, 800, 10, 1, 7.5, 10},     {500, 500, 10, 1, 10, 10},
        {800, 600, 10, 2, 5, 3.75}, {800, 600, 10, 0.4, 25, 18.75}, {800, 600, 10, 0, 10, 7.5},
        {1000, 1, 10, 1, 10, 0.01},
    };
    for (const ExtentCase& c : cases) {
        const OrthoExtents e = ortho_extents(c.w, c.h, c.focal, c.scale, 100);
        EXPECT_NEAR(e.right - e.left, c.width, 1e-12) << c.w << "x" << c.h << " S=" << c.scale;
        EXPECT_NEAR(e.top - e.bottom, c.height, 1e-12) << c.w << "x" << c.h << " S=" << c.scale;
        EXPECT_DOUBLE_EQ(e.left, -e.right);
        EXPECT_DOUBLE_EQ(e.bottom, -e.top);
        EXPECT_GT(e.near_plane, 0);
        EXPECT_LT(e.near_plane, 1);
        EXPECT_DOUBLE_EQ(e.far_plane, e.near_plane + 100);
    }
}

TEST(OrthoExtents, LegendCameraShowsItsExactRectangle) {
    const OrthoExtents e = ortho_extents(115, 233, 25, 1, 500);
    EXPECT_NEAR(e.right, 2.0 * 115 / 233, 1e-12);
    EXPECT_NEAR(e.right, 0.98712, 1e-5);
    EXPECT_NEAR(e.top, 2.0, 1e-12);
    // One unit is H / 4 = 58.25 pixels in both directions.
    EXPECT_NEAR(233 / (e.top - e.bottom), 58.25, 1e-9);
    EXPECT_NEAR(115 / (e.right - e.left), 58.25, 1e-9);
}

TEST(OrthoExtents, EmptyViewDoesNotDivideByZero) {
    const OrthoExtents e = ortho_extents(0, 0, 10, 1, 100);
    EXPECT_TRUE(std::isfinite(e.right));
    EXPECT_TRUE(std::isfinite(e.near_plane));
}

// ---- Orbit ----

TEST(Orbit, PresetPositionsFromTheFront) {
    struct Case {
        int code;
        Vec3d expected;
        double tur;
    };
    const Case cases[] = {
        {0, {0, 0, 30}, 0},           {1, {18.37, 15, 18.37}, 45},    {2, {18.37, 15, -18.37}, 135},
        {3, {18.37, -15, 18.37}, 45}, {4, {18.37, -15, -18.37}, 135}, {-1, {-30, 0, 0}, -90},
    };
    for (const Case& c : cases) {
        Scene scene;
        SceneObject& cube = scene.add(nullptr, "DummyCube1");
        Camera camera(scene, &cube);
        camera.set_position({3, -7, 11}); // anywhere: the preset first puts it back in front
        const double tur = apply_preset_view(camera, c.code);
        EXPECT_LT(dist(d3(camera.position()), c.expected), 0.01) << "code " << c.code;
        EXPECT_DOUBLE_EQ(tur, c.tur) << "code " << c.code;
        // Pressing the same preset again gives the same view.
        const Vec3f first = camera.position();
        apply_preset_view(camera, c.code);
        EXPECT_LT(dist(d3(camera.position()), d3(first)), 1e-5) << "code " << c.code;
    }
}

TEST(Orbit, KeepsDistanceAndTurnsTowardsPlusX) {
    const Vec3d p = orbit_position({0, 0, 30}, {0, 0, 0}, {0, 1, 0}, 0, 10);
    EXPECT_GT(p[0], 0);
    EXPECT_NEAR(dist(p, {0, 0, 0}), 30, 1e-9);
    EXPECT_NEAR(std::atan2(p[0], p[2]) * 180 / std::numbers::pi, 10, 1e-9);
    const Vec3d q = orbit_position({0, 0, 30}, {0, 0, 0}, {0, 1, 0}, -10, 0);
    EXPECT_GT(q[1], 0) << "a negative pitch lifts the camera";
}

TEST(Orbit, ClampStopsShortOfThePoles) {
    const double margin = kOrbitPoleMargin;
    struct Case {
        double pitch;
        double expected_y;
    };
    const Case cases[] = {{-200, 30 * std::cos(margin)}, {200, -30 * std::cos(margin)}};
    for (const Case& c : cases) {
        const Vec3d p = orbit_position({0, 0, 30}, {0, 0, 0}, {0, 1, 0}, c.pitch, 0);
        EXPECT_NEAR(p[1], c.expected_y, 1e-9);
        EXPECT_NEAR(dist(p, {0, 0, 0}), 30, 1e-9);
        // Pushing further towards the pole changes nothing.
        const Vec3d again = orbit_position(p, {0, 0, 0}, {0, 1, 0}, c.pitch < 0 ? -1 : 1, 0);
        EXPECT_LT(dist(again, p), 1e-9);
    }
}

TEST(Orbit, TurnsAboutTheTargetNotTheModel) {
    Scene scene;
    SceneObject& cube = scene.add(nullptr, "DummyCube1");
    SceneObject& model = scene.add(&cube, "DirectOpenGL1");
    model.set_position({1.5f, -0.5f, 0.25f}); // a pan offset
    Camera camera(scene, &cube);
    camera.set_position({0, 0, 30});
    camera.orbit(-20, 70);
    EXPECT_NEAR(dist(d3(camera.position()), {0, 0, 0}), 30, 1e-4);
}

// ---- Camera and scene ----

TEST(Camera, SceneScaleZeroMeansOneAndEqualValueIsNoChange) {
    Scene scene;
    int notices = 0;
    scene.set_listener([&] { ++notices; });
    Camera camera(scene, &scene.root());
    camera.set_scene_scale(2.5f);
    EXPECT_EQ(notices, 1);
    camera.set_scene_scale(2.5f);
    EXPECT_EQ(notices, 1) << "the same value requests no repaint";
    camera.set_scene_scale(0);
    EXPECT_EQ(camera.scene_scale(), 1.0f);
    EXPECT_EQ(notices, 2);
}

TEST(Scene, WorldFrameAppliesParentsPositionAndScale) {
    Scene scene;
    SceneObject& cube = scene.add(nullptr, "DummyCube1");
    SceneObject& model = scene.add(&cube, "DirectOpenGL1");
    model.set_scale({0.002f, 0.002f, 0.002f}); // a model whose largest coordinate is 1000
    const Vec3d far = model.to_world({1000, -1000, 500});
    EXPECT_NEAR(far[0], 2, 1e-6);
    EXPECT_NEAR(far[1], -2, 1e-6);
    EXPECT_NEAR(far[2], 1, 1e-6);
    model.set_position({0.5f, 0, 0});
    EXPECT_NEAR(model.to_world({0, 0, 0})[0], 0.5, 1e-9);
    cube.set_position({0, 1, 0});
    EXPECT_NEAR(model.to_world({0, 0, 0})[1], 1, 1e-9);
    ASSERT_EQ(cube.children().size(), 1u);
    EXPECT_EQ(cube.children()[0], &model);
}

TEST(Scene, EveryChangeMarksTheObjectAndNotifies) {
    Scene scene;
    int notices = 0;
    scene.set_listener([&] { ++notices; });
    SceneObject& o = scene.add(nullptr, "o");
    EXPECT_FALSE(scene.any_changed());
    o.set_position(1, 2.0f);
    o.set_scale(0, 3.0f);
    o.set_show_axes(true);
    o.mark_changed();
    EXPECT_EQ(notices, 4);
    EXPECT_TRUE(o.changed());
    scene.clear_changed();
    EXPECT_FALSE(scene.any_changed());
    EXPECT_EQ(o.position(1), 2.0f);
    EXPECT_EQ(o.scale(0), 3.0f);
}

// ---- Zoom ----

TEST(Zoom, TwelveStepsOutStopAtPointFourInFloats) {
    float s = 1;
    for (int i = 0; i < 12; ++i)
        s = zoom_out_scale(s);
    EXPECT_EQ(s, 0.39999986f);
    EXPECT_EQ(zoom_out_scale(s), s) << "0.39999986 is not above 0.4";
    const float in = zoom_in_scale(s);
    EXPECT_NEAR(in, 0.45, 1e-6);
    EXPECT_GT(zoom_in_scale(1000.0f), 1000.0f) << "no upper limit";
}

TEST(Zoom, AxesSymbolKeepsItsScreenSize) {
    for (float s : {1.0f, 0.4f, 2.5f, 0.39999986f}) {
        EXPECT_FLOAT_EQ(axes_symbol_scale(s), static_cast<float>(0.0025 / s));
        // Half length on screen: L * scale, in world units, times S = constant 0.25.
        EXPECT_NEAR(100.0 * axes_symbol_scale(s) * s, 0.25, 1e-6);
    }
    EXPECT_EQ(axes_symbol_scale(1.0f), kAxesSymbolBaseScale);
}

// ---- Rotation ----

TEST(Rotation, OneDegreePerPixelAtSpeedFifty) {
    const OrbitDelta d = rotation_delta(100, 100, 90, 103, 50);
    EXPECT_DOUBLE_EQ(d.turn, 10);
    EXPECT_DOUBLE_EQ(d.pitch, -3);
    const OrbitDelta z = rotation_delta(100, 100, 90, 103, 0);
    EXPECT_DOUBLE_EQ(z.turn, 0);
    EXPECT_DOUBLE_EQ(z.pitch, 0);
    EXPECT_DOUBLE_EQ(rotation_delta(0, 0, -1, 0, 100).turn, 2);
}

// ---- Panning ----

// Camera state of a view: where it stands and the azimuth the handlers track.
struct ViewState {
    const char* name;
    int preset;        // preset view applied first
    double extra_turn; // then a left-button orbit
    double extra_pitch;
    float scene_scale;
    int w, h;
};

TEST(Pan, PointUnderThePointerStaysUnderItAtSpeedFifty) {
    const ViewState states[] = {
        {"front", 0, 0, 0, 1.0f, 800, 600},
        {"front, tall view", 0, 0, 0, 1.0f, 600, 800},
        {"front right above", 1, 0, 0, 1.0f, 800, 600},
        {"back right above, zoomed in", 2, 0, 0, 2.35f, 1000, 700},
        {"front right below, zoomed out", 3, 0, 0, 0.39999986f, 700, 700},
        {"back right below", 4, 0, 0, 1.0f, 800, 600},
        {"left", -1, 0, 0, 1.0f, 800, 600},
        {"turned and lifted by the mouse", 0, 37, -22, 1.3f, 900, 650},
        {"past a full turn", 1, 400, 10, 1.0f, 800, 600},
    };
    const Vec3d model_point{120, -40, 35}; // file coordinates
    for (const ViewState& st : states) {
        Scene scene;
        SceneObject& cube = scene.add(nullptr, "DummyCube1");
        SceneObject& model = scene.add(&cube, "DirectOpenGL1");
        SceneObject& axes = scene.add(&cube, "DirectOpenGL3");
        model.set_scale({0.01f, 0.01f, 0.01f});
        Camera camera(scene, &cube);
        camera.set_position({0, 0, 30});
        camera.set_focal_length(10);
        camera.set_scene_scale(st.scene_scale);
        double tur = apply_preset_view(camera, st.preset);
        camera.orbit(st.extra_pitch, st.extra_turn);
        tur += st.extra_turn;

        // Drag in several steps from where the point is seen.
        PixelPoint p = project_to_pixel(camera, st.w, st.h, model.to_world(model_point));
        const double start_x = p.x, start_y = p.y;
        const double steps[][2] = {{15, -7}, {-40, 22}, {3, 61}, {-0.5, -1.5}};
        double mx = start_x, my = start_y;
        for (const auto& step : steps) {
            PanInput in;
            in.camera = camera.position();
            in.tur = tur;
            in.view_width = st.w;
            in.view_height = st.h;
            in.scene_scale = camera.scene_scale();
            in.speed = 50;
            in.mx = mx;
            in.my = my;
            in.x = mx + step[0];
            in.y = my + step[1];
            Vec3f mp = model.position(), ap = axes.position();
            pan_objects(in, mp, ap);
            model.set_position(mp);
            axes.set_position(ap);
            mx = in.x;
            my = in.y;
            p = project_to_pixel(camera, st.w, st.h, model.to_world(model_point));
            EXPECT_NEAR(p.x, mx, 0.05) << st.name;
            EXPECT_NEAR(p.y, my, 0.05) << st.name;
        }
        // The axes symbol moved with the model.
        EXPECT_EQ(axes.position(), model.position()) << st.name;
    }
}

TEST(Pan, HorizontalCameraMovesTheModelOnlyAlongYForVerticalMotion) {
    PanInput in;
    in.camera = {0, 0, 30};
    in.view_width = 800;
    in.view_height = 600;
    in.mx = 100;
    in.my = 100;
    in.x = 100;
    in.y = 80;
    Vec3f model{0, 0, 0}, axes{0, 0, 0};
    const double pit = pan_objects(in, model, axes);
    EXPECT_EQ(pit, 0);
    EXPECT_EQ(model[0], 0.0f);
    EXPECT_EQ(model[2], 0.0f);
    EXPECT_FLOAT_EQ(model[1], static_cast<float>(20 * 10.0 / 800));
}

TEST(Pan, SpeedZeroMovesNothingAndPitchFollowsTheCamera) {
    PanInput in;
    in.camera = {0, 15, 25.980762f};
    in.speed = 0;
    in.view_width = 800;
    in.view_height = 600;
    in.x = 50;
    in.y = -30;
    Vec3f model{1, 2, 3}, axes{0, 0, 0};
    const double pit = pan_objects(in, model, axes);
    EXPECT_NEAR(pit, 30, 1e-5);
    EXPECT_EQ(model, (Vec3f{1, 2, 3}));
    EXPECT_EQ(axes, (Vec3f{0, 0, 0}));
    EXPECT_NEAR(camera_pitch_deg({0, -15, 25.980762f}), -30, 1e-5);
}

// ---- Axes symbol ----

TEST(AxesSymbol, ThreeDashedSegmentsWithAHalfToFullRamp) {
    const auto segs = axes_segments(100);
    for (std::size_t a = 0; a < 3; ++a) {
        Vec3d from{0, 0, 0}, to{0, 0, 0};
        from[a] = -100;
        to[a] = 100;
        EXPECT_EQ(segs[a].from, from);
        EXPECT_EQ(segs[a].to, to);
        for (std::size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(segs[a].from_colour[c], c == a ? 0.5f : 0.0f);
            EXPECT_EQ(segs[a].to_colour[c], c == a ? 1.0f : 0.0f);
        }
    }
    EXPECT_EQ(kAxesStipple, 0xCCCC);
    EXPECT_EQ(kAxesStippleFactor, 1);
}

// ---- Numbers in messages ----

TEST(ShortestText, DecimalPointAndNoTrailingZeros) {
    const std::pair<double, const char*> cases[] = {
        {100, "100"},
        {0, "0"},
        {0.15, "0.15"},
        {2 * 0.05 * 3, "0.3"},
        {1.0 / 50 * 100, "2"},
        {-2.5, "-2.5"},
        {123456789012345.0, "123456789012345"},
        {0 * -1.0 / 50 * 100, "0"},
    };
    for (const auto& [v, text] : cases)
        EXPECT_EQ(shortest_text(v), text) << v;
}

} // namespace
} // namespace orv::view
