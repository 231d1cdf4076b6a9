#include "batch/batch_view.h"

#include "viewer/legend/colour_scale.h"
#include "viewer/legend/common_range.h"
#include "viewer/legend/legend_gl.h"
#include "viewer/legend/legend_layout.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/output_error.h"
#include "viewer/render/mesh_gl.h"
#include "viewer/render/render_pass_gl.h"
#include "viewer/render/render_plan.h"
#include "viewer/view/camera.h"
#include "viewer/view/interaction.h"
#include "viewer/view/scene.h"
#include "viewer/view/scene_gl.h"
#include "viewer/view/viewer_scenes.h"

#include <GL/gl.h>

#include <algorithm>

namespace orv {

struct BatchView::Impl {
    ResultModel& model;
    cli::ViewSettings settings;
    int legmax = 0;
    int trgb = 0;
    int chbox = 0;
    std::vector<bool> checked; // plot items 0..nlista + 4
    RenderPass pass;

    view::Scene GLScene1;
    view::SceneObject* DummyCube1 = nullptr;
    view::SceneObject* DirectOpenGL1 = nullptr;
    view::SceneObject* DirectOpenGL3 = nullptr;
    std::unique_ptr<view::Camera> GLCamera1;
    view::Scene GLScene2;
    view::SceneObject* DirectOpenGL2 = nullptr;
    std::unique_ptr<view::Camera> GLCamera2;

    Impl(ResultModel& m, const cli::ViewSettings& s) : model(m), settings(s) {}

    void build_scenes();
    void place_camera();
    void render_model();
    void render_legend();
};

void BatchView::Impl::build_scenes() {
    view::ModelScene m = view::build_model_scene(GLScene1);
    DummyCube1 = m.DummyCube1;
    DirectOpenGL1 = m.DirectOpenGL1;
    DirectOpenGL3 = m.DirectOpenGL3;
    GLCamera1 = std::move(m.GLCamera1);
    DirectOpenGL1->render = [this] { render_model(); };
    view::LegendScene l = view::build_legend_scene(GLScene2);
    DirectOpenGL2 = l.DirectOpenGL2;
    GLCamera2 = std::move(l.GLCamera2);
    DirectOpenGL2->render = [this] { render_legend(); };
}

void BatchView::Impl::place_camera() {
    const float s = static_cast<float>(model.scene_scale());
    DirectOpenGL1->set_scale({s, s, s});
    // The preset view, then the orbit, as the toolbar and a left-button drag.
    double tur = view::apply_preset_view(*GLCamera1, 0);
    const auto preset = cli::preset_orbit_of(settings.view);
    if (preset[0] != 0 || preset[1] != 0) {
        GLCamera1->orbit(preset[0], preset[1]);
        tur += preset[1];
    }
    if (settings.orbit_pitch != 0 || settings.orbit_turn != 0) {
        GLCamera1->orbit(settings.orbit_pitch, settings.orbit_turn);
        tur += settings.orbit_turn;
    }
    // Zoom, the axes symbol keeping its size on screen.
    GLCamera1->set_scene_scale(static_cast<float>(settings.zoom));
    const float a = view::axes_symbol_scale(GLCamera1->scene_scale());
    DirectOpenGL3->set_scale({a, a, a});
    // Pan: a right-button drag by (X, Y) pixels at the default mouse speed.
    if (settings.pan_x != 0 || settings.pan_y != 0) {
        view::PanInput in;
        in.camera = GLCamera1->position();
        in.tur = tur;
        in.view_width = settings.width;
        in.view_height = settings.height;
        in.scene_scale = GLCamera1->scene_scale();
        in.speed = 50;
        in.x = settings.pan_x;
        in.y = settings.pan_y;
        view::Vec3f model_pos = DirectOpenGL1->position(), axes_pos = DirectOpenGL3->position();
        view::pan_objects(in, model_pos, axes_pos);
        DirectOpenGL1->set_position(model_pos);
        DirectOpenGL3->set_position(axes_pos);
    }
}

void BatchView::Impl::render_model() {
    const cli::ViewSettings& s = settings;
    RenderPassInputs in;
    in.model = &model;
    in.checked = checked;
    // Every picture is drawn afresh, as the video generator's frames are:
    // the lists of the checked items are compiled again (the fixed ones
    // that depend on the undeformed mesh only, once).
    in.changes1 = true;
    if (s.clip) {
        in.clip_plane = {RealField::of((*s.clip)[0]), RealField::of((*s.clip)[1]),
                         RealField::of((*s.clip)[2]), RealField::of((*s.clip)[3])};
        in.clip_enabled = true;
    }
    in.factor = RealField::of(s.displacement_factor);
    in.chbox = chbox;
    in.undeformed_lines = {0, 1, 1};
    in.extremes = s.extremes;
    ColourListSettings& c = in.colours;
    c.displacement_position = s.displacement_slider;
    c.transparency_position = s.transparency;
    c.solid = s.solid;
    c.negative = s.negative;
    c.trgb = trgb;
    c.banded = s.bands;
    c.filters = s.filter;
    c.legmax = legmax;

    // A result list no longer shown gives its memory back at once, as the
    // generator's lists do: one compiled list per frame would not fit for a
    // large model.
    pass.state.release.clear();
    for (int k = 1; k <= model.nlista; ++k)
        if (!checked[static_cast<std::size_t>(kFixList + k - 1)]) pass.state.release.push_back(kFixList + k);

    std::string failure;
    RenderPassHooks hooks;
    hooks.report_error = [&failure](const std::string& message) { failure = message; };
    if (!pass.run(in, hooks)) throw OutputError(failure);
}

void BatchView::Impl::render_legend() {
    LegendInputs in;
    in.colours = legcolor;
    in.trgb = trgb;
    in.banded = settings.bands;
    in.scientific = settings.scientific;
    in.range = legend_range(model, kFixList, legmax, [this](int item) {
        return item >= 0 && static_cast<std::size_t>(item) < checked.size() &&
               checked[static_cast<std::size_t>(item)];
    });
    draw_legend(in, draw_legend_text);
}

BatchView::BatchView(ResultModel& model, const cli::ViewSettings& settings)
    : impl_(std::make_unique<Impl>(model, settings)) {
    Impl& d = *impl_;
    check_lists(settings.lists, model.nlista);
    load_legend(settings.scale - 1);
    d.trgb = settings.negative ? 1 : 0;
    if (settings.range) {
        CommonRangeInput in;
        in.checked = true;
        in.minimum = (*settings.range)[0];
        in.maximum = (*settings.range)[1];
        in.valmin = model.valmin;
        in.valmax = model.valmax;
        if (model.maxlista.empty()) model.maxlista.push_back({0, 0});
        apply_common_range(in, {d.legmax, model.maxlista[0]});
    }
    d.build_scenes();
    d.place_camera();
}

BatchView::~BatchView() {
    // The lists go with the view; the context is still current.
    impl_->pass.free_lists();
}

void BatchView::render(const std::vector<int>& lists) {
    Impl& d = *impl_;
    const cli::ViewSettings& s = d.settings;
    d.checked.assign(static_cast<std::size_t>(display_list_count(d.model.nlista)), false);
    d.checked[0] = s.nodes;
    d.checked[1] = s.mesh;
    d.checked[2] = s.deformed_mesh;
    d.checked[3] = s.node_numbers;
    d.checked[4] = s.element_numbers;
    for (int k : lists)
        d.checked[static_cast<std::size_t>(kFixList + k - 1)] = true;
    d.chbox = lists.empty() ? 0 : 3 * *std::min_element(lists.begin(), lists.end());

    glViewport(0, 0, s.width, s.height);
    glDisable(GL_SCISSOR_TEST);
    view::draw_scene(d.GLScene1, *d.GLCamera1, s.width, s.height, view::ViewStyle{{1, 1, 1}, true, false});
    if (s.legend) {
        // The legend view lies over the 3D view at its top left; what falls
        // outside the picture is cut off, as the window cuts it.
        const int y = s.height - view::kLegendViewHeight;
        glViewport(0, y, view::kLegendViewWidth, view::kLegendViewHeight);
        glScissor(0, y, view::kLegendViewWidth, view::kLegendViewHeight);
        glEnable(GL_SCISSOR_TEST);
        view::draw_scene(d.GLScene2, *d.GLCamera2, view::kLegendViewWidth, view::kLegendViewHeight,
                         view::ViewStyle{{243 / 255.0f, 250 / 255.0f, 252 / 255.0f}, true, true});
        glDisable(GL_SCISSOR_TEST);
        glViewport(0, 0, s.width, s.height);
    }
}

} // namespace orv
