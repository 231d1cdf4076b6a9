#include "batch/batch_view.h"

#include "viewer/legend/legend_gl.h"
#include "viewer/output/figure_gl.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/output_error.h"
#include "viewer/render/mesh_gl.h"
#include "viewer/render/render_pass_gl.h"
#include "viewer/render/render_plan.h"
#include "viewer/view/camera.h"
#include "viewer/view/scene.h"
#include "viewer/view/scene_gl.h"
#include "viewer/view/viewer_scenes.h"

#include <GL/gl.h>

namespace orv {

struct BatchView::Impl {
    ResultModel& model;
    // The settings of the picture in hand: the command line's, with the
    // result lists of the frame.
    view::ViewSettings settings;
    RenderPass pass;

    view::Scene GLScene1;
    view::SceneObject* DummyCube1 = nullptr;
    view::SceneObject* DirectOpenGL1 = nullptr;
    view::SceneObject* DirectOpenGL3 = nullptr;
    std::unique_ptr<view::Camera> GLCamera1;
    view::Scene GLScene2;
    view::SceneObject* DirectOpenGL2 = nullptr;
    std::unique_ptr<view::Camera> GLCamera2;

    Impl(ResultModel& m, const view::ViewSettings& s) : model(m), settings(s) {}

    void build_scenes();
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

void BatchView::Impl::render_model() {
    // Every picture is drawn afresh, as the video generator's frames are:
    // the lists of the checked items are compiled again (the fixed ones
    // that depend on the undeformed mesh only, once).
    const RenderPassInputs in = view::render_pass_inputs(settings, model, false, true);

    // A result list no longer shown gives its memory back at once, as the
    // generator's lists do: one compiled list per frame would not fit for a
    // large model.
    pass.state.release.clear();
    for (int k = 1; k <= model.nlista; ++k)
        if (!in.checked[static_cast<std::size_t>(kFixList + k - 1)])
            pass.state.release.push_back(kFixList + k);

    std::string failure;
    RenderPassHooks hooks;
    hooks.report_error = [&failure](const std::string& message) { failure = message; };
    if (!pass.run(in, hooks)) throw OutputError(failure);
}

void BatchView::Impl::render_legend() {
    draw_legend(view::legend_inputs(settings, model), draw_legend_text);
}

BatchView::BatchView(ResultModel& model, const view::ViewSettings& settings)
    : impl_(std::make_unique<Impl>(model, settings)) {
    Impl& d = *impl_;
    check_lists(settings.lists, model.nlista);
    view::load_colour_scale(settings);
    view::apply_common_range_of(settings, model);
    view::apply_displacement_field_of(settings, model);
    view::check_arrow_field_of(settings, model);
    view::apply_shown_blocks_of(d.settings, model);
    d.build_scenes();
    view::place_camera(settings, model, *d.GLCamera1, *d.DirectOpenGL1, *d.DirectOpenGL3);
}

BatchView::~BatchView() {
    // The lists go with the view; the context is still current.
    impl_->pass.free_lists();
}

FigureLayout BatchView::layout_of(const view::ViewSettings& s) {
    FigureLayout l;
    l.scale = s.figure_scale;
    l.view_width = s.width;
    l.view_height = s.height;
    l.title = s.title;
    l.legend = s.legend;
    return l;
}

void BatchView::render(const std::vector<int>& lists) {
    Impl& d = *impl_;
    view::set_lists(d.settings, lists);
    const view::ViewSettings& s = d.settings;

    const FigureScene model_scene{&d.GLScene1, d.GLCamera1.get(), view::ViewStyle{{1, 1, 1}, true, false}};
    const FigureScene legend_scene{&d.GLScene2, d.GLCamera2.get(),
                                   view::ViewStyle{{243 / 255.0f, 250 / 255.0f, 252 / 255.0f}, true, true}};
    draw_figure(layout_of(s), model_scene, legend_scene, bitmap_text(figure_title(d.model, s.deformed_list)));
}

} // namespace orv
