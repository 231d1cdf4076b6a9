// The one description of a view and its mappings: each setting reaches the
// render pass, legend and camera inputs that draw it, for the window and the
// command line alike.
#include "viewer/view/view_settings.h"

#include "viewer/legend/colour_scale.h"
#include "viewer/render/render_plan.h"
#include "viewer/view/viewer_scenes.h"

#include "../render/test_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv::view {
namespace {

ResultModel four_lists() {
    ResultModel m;
    m.nlista = 4;
    m.maxlista = {{-100, 100}, {1, 2}, {3, 4}, {5, 6}, {7, 8}};
    m.valmin = -7;
    m.valmax = 70;
    m.maxscale = 4;
    return m;
}

TEST(ViewSettings, EverySettingReachesTheRenderPass) {
    const ResultModel m = four_lists();
    struct Case {
        const char* name;
        std::function<void(ViewSettings&)> set;
        std::function<bool(const RenderPassInputs&)> holds;
    };
    const std::vector<Case> cases = {
        {"defaults", [](ViewSettings&) {},
         [](const RenderPassInputs& in) {
             const ColourListSettings c;
             return in.checked == std::vector<bool>(9, false) && !in.clip_enabled && in.factor.read() == 1 &&
                    in.chbox == 0 && in.colours.trgb == 0 && !in.colours.negative && in.colours.legmax == 0 &&
                    in.colours.displacement_position == 50 && in.colours.transparency_position == 0 &&
                    in.colours.filters == c.filters && in.undeformed_lines.width == 1 &&
                    in.undeformed_lines.opacity == 1 && in.undeformed_lines.grey == 0 && !in.extremes &&
                    in.lod.cells_across == 0 && !in.lod.interacting;
         }},
        {"fixed items and lists, the deformed mesh by the lowest list",
         [](ViewSettings& s) {
             s.nodes = s.element_numbers = true;
             set_lists(s, {4, 2, 9});
         },
         [](const RenderPassInputs& in) {
             // List 9 does not exist: no item, and never a check out of range.
             return in.checked ==
                        std::vector<bool>{true, false, false, false, true, false, true, false, true} &&
                    in.chbox == 6;
         }},
        {"extremes", [](ViewSettings& s) { s.extremes = true; },
         [](const RenderPassInputs& in) { return in.extremes; }},
        {"mesh items", [](ViewSettings& s) { s.mesh = s.deformed_mesh = s.node_numbers = true; },
         [](const RenderPassInputs& in) { return in.checked[1] && in.checked[2] && in.checked[3]; }},
        {"negative reverses bands and the continuous map", [](ViewSettings& s) { s.negative = true; },
         [](const RenderPassInputs& in) { return in.colours.negative && in.colours.trgb == 1; }},
        {"bands, solid, transparency, filters",
         [](ViewSettings& s) {
             s.bands = s.solid = true;
             s.transparency = 40;
             s.filter = {0, 2, -1};
         },
         [](const RenderPassInputs& in) {
             return in.colours.banded && in.colours.solid && in.colours.transparency_position == 40 &&
                    in.colours.filters == std::array<int, 3>{0, 2, -1};
         }},
        {"common range", [](ViewSettings& s) { s.common_range = true; },
         [](const RenderPassInputs& in) { return in.colours.legmax == 1; }},
        {"displacement as typed, read when a list compiles",
         [](ViewSettings& s) {
             s.displacement_factor = RealField::typed("2,5");
             s.displacement_slider = 10;
         },
         [](const RenderPassInputs& in) {
             return in.factor.read() == 2.5 && in.colours.displacement_position == 10;
         }},
        {"clip plane",
         [](ViewSettings& s) {
             s.clip = true;
             s.clip_plane = {RealField::of(1), RealField::of(0), RealField::typed("-0.5"), RealField::of(2)};
         },
         [](const RenderPassInputs& in) {
             return in.clip_enabled && in.clip_plane[0].read() == 1 && in.clip_plane[2].read() == -0.5 &&
                    in.clip_plane[3].read() == 2;
         }},
        {"line settings of both meshes",
         [](ViewSettings& s) {
             s.undeformed_lines = {0.25, 0.5, 2};
             s.deformed_lines = {0.75, 0.8, 3};
         },
         [](const RenderPassInputs& in) {
             return in.undeformed_lines.grey == 0.25 && in.undeformed_lines.opacity == 0.5 &&
                    in.undeformed_lines.width == 2 && in.colours.line_def_rgb == 0.75 &&
                    in.colours.line_def_t == 0.8 && in.colours.line_def_w == 3;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ViewSettings s;
        c.set(s);
        const RenderPassInputs in = render_pass_inputs(s, m, true, false);
        EXPECT_EQ(in.model, &m);
        EXPECT_TRUE(in.changes);
        EXPECT_FALSE(in.changes1);
        EXPECT_TRUE(c.holds(in));
    }
}

// "Setas": with no list coloured the legend tells the arrows' magnitudes;
// a field the file lacks is refused before drawing.
TEST(ViewSettings, ArrowsReachThePassAndTheLegend) {
    std::vector<test::TestNode> nodes(3);
    const std::array<double, 3> u[] = {{3, 4, 0}, {0, 0, 1}, {0, 0, 0}};
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i].at = {static_cast<double>(i), 0, 0};
        nodes[i].values = {u[i][0], u[i][1], u[i][2], std::hypot(u[i][0], u[i][1], u[i][2])};
    }
    ResultModel m = test::make_model(nodes, {}, 4);
    m.namelista = {"", "U X - passo 1", "U Y - passo 1", "U Z - passo 1", "U Magnitude - passo 1"};

    ViewSettings s;
    s.arrows = true;
    s.arrow_field = "U";
    s.arrow_factor = RealField::typed("2,5");
    const RenderPassInputs in = render_pass_inputs(s, m, false, false);
    EXPECT_TRUE(in.arrows.shown);
    EXPECT_EQ(in.arrows.field, "U");
    EXPECT_EQ(in.arrows.factor.read(), 2.5);

    EXPECT_EQ(legend_inputs(s, m).range, (std::array<double, 2>{1, 5}));
    s.arrow_field = ""; // the nodes' own displacement: none here
    EXPECT_EQ(legend_inputs(s, m).range, (std::array<double, 2>{0, 0}));
    s.arrow_field = "U";
    set_lists(s, {4}); // a coloured list keeps its legend
    EXPECT_EQ(legend_inputs(s, m).range, m.maxlista[4]);

    EXPECT_NO_THROW(check_arrow_field_of(s, m));
    s.arrow_field = "V";
    EXPECT_THROW(check_arrow_field_of(s, m), std::invalid_argument);
    set_lists(s, {});
    EXPECT_EQ(legend_inputs(s, m).range, (std::array<double, 2>{0, 0}));
    s.arrows = false;
    EXPECT_NO_THROW(check_arrow_field_of(s, m));
}

// --blocks names the blocks coloured; every other block of the file is
// hidden, and the render pass gets exactly that filter. An unknown name is
// refused naming it and the blocks there are.
TEST(ViewSettings, NamedBlocksAreTheOnlyOnesColoured) {
    ResultModel m = four_lists();
    m.block_names = {"plate", "tip", "web", "tip"};
    struct Case {
        std::vector<std::string> shown;
        std::vector<std::uint8_t> hidden;
    };
    const Case cases[] = {{{"plate"}, {0, 1, 1, 1}},
                          {{"tip"}, {1, 0, 1, 0}}, // both blocks of that name
                          {{"web", "plate"}, {0, 1, 0, 1}},
                          {{"plate", "tip", "web"}, {0, 0, 0, 0}}};
    for (const Case& c : cases) {
        ViewSettings s;
        s.shown_blocks = c.shown;
        apply_shown_blocks_of(s, m);
        EXPECT_EQ(s.hidden_blocks, c.hidden) << c.shown.front();
        EXPECT_EQ(render_pass_inputs(s, m, false, false).colours.hidden_blocks, c.hidden);
    }

    ViewSettings all; // no --blocks: nothing hidden
    apply_shown_blocks_of(all, m);
    EXPECT_TRUE(all.hidden_blocks.empty());

    const auto refused = [](const std::vector<std::string>& shown, const ResultModel& model) {
        try {
            hidden_blocks_except(shown, model);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refused({"plate", "Plate"}, m),
              "No element block named 'Plate'; the blocks are plate, tip, web, tip");
    EXPECT_EQ(refused({"plate"}, four_lists()), "No element block named 'plate'; the file has none");
}

TEST(ViewSettings, LegendShowsTheLowestCheckedListOrTheCommonRange) {
    ResultModel m = four_lists();
    ViewSettings s;
    EXPECT_EQ(legend_inputs(s, m).range, (std::array<double, 2>{0, 0})); // nothing checked
    set_lists(s, {3, 2});
    s.bands = s.scientific = s.negative = true;
    LegendInputs in = legend_inputs(s, m);
    EXPECT_EQ(in.range, (std::array<double, 2>{3, 4}));
    EXPECT_TRUE(in.banded && in.scientific);
    EXPECT_EQ(in.trgb, 1);
    EXPECT_EQ(in.colours, legcolor);

    s.common_range = true;
    EXPECT_EQ(legend_inputs(s, m).range, (std::array<double, 2>{-100, 100}));
    // The fields: 0, 0 is the whole file's range; anything else is taken as typed.
    apply_common_range_of(s, m);
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{-7, 70}));
    s.range = {"5", "-1,5"};
    apply_common_range_of(s, m);
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{5, -1.5}));
    s.range = {"x", "1"};
    EXPECT_THROW(apply_common_range_of(s, m), InvalidReal);
    s.common_range = false;
    s.range = {"1", "2"};
    apply_common_range_of(s, m);
    EXPECT_EQ(m.maxlista[0], (std::array<double, 2>{5, -1.5})) << "off: left as it is";
}

TEST(ViewSettings, ColourScaleOfTheSettings) {
    ViewSettings s;
    s.scale = 2;
    load_colour_scale(s);
    const LegendTable scale2 = legcolor;
    s.scale = 0; // the table as it stands
    load_colour_scale(s);
    EXPECT_EQ(legcolor, scale2);
    s.scale = 1;
    load_colour_scale(s);
    EXPECT_NE(legcolor, scale2);
    EXPECT_EQ(legcolor[0][0], 1.0) << "Escala 1 starts at red"; // restores the process default too
}

TEST(ViewSettings, PresetViewsAreOrbitsFromTheFront) {
    EXPECT_EQ(preset_orbit_of(PresetView::Front), (std::array<double, 2>{0, 0}));
    EXPECT_EQ(preset_orbit_of(PresetView::Back), (std::array<double, 2>{0, 180}));
    EXPECT_EQ(preset_orbit_of(PresetView::Left), (std::array<double, 2>{0, -90}));
    EXPECT_EQ(preset_orbit_of(PresetView::Right), (std::array<double, 2>{0, 90}));
    EXPECT_EQ(preset_orbit_of(PresetView::Top), (std::array<double, 2>{-90, 0}));
    EXPECT_EQ(preset_orbit_of(PresetView::Bottom), (std::array<double, 2>{90, 0}));
}

// Where the camera stands for each preset, and what zoom and pan do to the
// scene's objects.
TEST(ViewSettings, CameraPlacement) {
    const ResultModel m = four_lists(); // maxscale 4: model scale 0.5
    struct Case {
        PresetView view;
        double x, y, z; // camera position, world units (about)
    };
    const std::vector<Case> cases = {
        {PresetView::Front, 0, 0, 30}, {PresetView::Back, 0, 0, -30}, {PresetView::Left, -30, 0, 0},
        {PresetView::Right, 30, 0, 0}, {PresetView::Top, 0, 30, 0},   {PresetView::Bottom, 0, -30, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.view));
        Scene scene;
        ModelScene ms = build_model_scene(scene);
        ViewSettings s;
        s.view = c.view;
        place_camera(s, m, *ms.GLCamera1, *ms.DirectOpenGL1, *ms.DirectOpenGL3);
        const Vec3f p = ms.GLCamera1->position();
        // Top and bottom stop just short of the pole (0.75 units in front of it).
        EXPECT_NEAR(p[0], c.x, 1);
        EXPECT_NEAR(p[1], c.y, 1);
        EXPECT_NEAR(p[2], c.z, 1);
        EXPECT_EQ(ms.DirectOpenGL1->scale()[0], 0.5f);
        EXPECT_EQ(ms.DirectOpenGL1->position(), (Vec3f{0, 0, 0}));
    }

    Scene scene;
    ModelScene ms = build_model_scene(scene);
    ViewSettings s;
    s.orbit_turn = 45;
    s.zoom = 2;
    s.pan_x = 100;
    s.width = 1000;
    s.height = 500;
    EXPECT_EQ(place_camera(s, m, *ms.GLCamera1, *ms.DirectOpenGL1, *ms.DirectOpenGL3), 45);
    EXPECT_EQ(ms.GLCamera1->scene_scale(), 2.0f);
    EXPECT_EQ(ms.DirectOpenGL3->scale()[0], 0.00125f) << "the axes symbol keeps its size on screen";
    // 100 pixels right at 100 pixels per unit and scale 2: half a unit along
    // the screen's x, which the 45-degree turn splits between world x and z.
    const Vec3f p = ms.DirectOpenGL1->position();
    EXPECT_NEAR(p[0], 0.5 * std::cos(M_PI / 4), 1e-5);
    EXPECT_NEAR(p[2], -0.5 * std::sin(M_PI / 4), 1e-5);
    EXPECT_EQ(ms.DirectOpenGL3->position(), p);
}

} // namespace
} // namespace orv::view
