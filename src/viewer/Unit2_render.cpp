// Render callbacks of the viewer window: DirectOpenGL1's (the 3D view's
// render pass) and DirectOpenGL2's (the legend view). Both read the widgets
// and fields into plain inputs and hand them to the render and legend
// libraries (render/render_pass_gl.h, legend/legend_gl.h), which draw.
//
// The render pass's display lists live as long as the 3D view's context: the
// window watches the context and frees or forgets them when it goes. The
// loading notice is shown while a list compiles, and pending events are let
// through (GLSceneViewer::let_events_through, which makes this view's context
// current again before glNewList); a repaint arriving meanwhile is dropped by
// the view. A failed pass keeps changes / changes1 set so that the next pass
// tries again, and its message is shown after the paint: a modal box inside a
// paint would run an event loop in the middle of it.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/gl_scene_viewer.h"
#include "ui/panel_widgets.h"
#include "viewer/legend/colour_scale.h"
#include "viewer/legend/legend_gl.h"
#include "viewer/legend/legend_layout.h"
#include "viewer/render/mesh_gl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QOpenGLContext>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

namespace orv {

namespace {

RealField typed(const QLineEdit* edit) {
    return RealField::typed(edit->text().toStdString());
}

// Shows the message once the view has finished painting.
void show_pass_error(TForm2* form, const QString& text) {
    if (form->GLSceneViewer1->rendering() || form->GLSceneViewer2->rendering()) {
        QTimer::singleShot(10, form, [form, text] { show_pass_error(form, text); });
        return;
    }
    ui::error_box(form, text);
}

} // namespace

view::ViewSettings TForm2::view_settings() const {
    view::ViewSettings s;
    s.nodes = plot_item_checked(0);
    s.mesh = plot_item_checked(1);
    s.deformed_mesh = plot_item_checked(2);
    s.node_numbers = plot_item_checked(3);
    s.element_numbers = plot_item_checked(4);
    s.extremes = CheckBox10->isChecked();
    for (int k = 1; k <= model.nlista; ++k)
        if (plot_item_checked(kFixList + k - 1)) s.lists.push_back(k);
    // As the plot list's handlers last left it (a check made by the keyboard
    // moves the deformed mesh only at the next mouse release).
    s.deformed_list = chbox / 3;

    s.bands = CheckBox8->isChecked();
    s.negative = trgb == 1;
    s.solid = CheckBox6->isChecked();
    s.transparency = TrackBar2->value();
    s.filter = {SpinEdit1->value(), SpinEdit2->value(), SpinEdit3->value()};
    s.hidden_blocks = hidden_blocks();
    s.scale = 0; // the colour table as "Escala 1", "Escala 2" and the editor left it

    s.displacement_factor = typed(Edit7);
    s.displacement_slider = TrackBar3->value();
    s.displacement_field = displacement_field_;
    s.arrows = arrows_check->isChecked();
    s.arrow_field = arrows_box->currentData().toString().toStdString();
    s.arrow_factor = typed(arrows_factor);

    s.legend = CheckBox3->isChecked();
    s.scientific = CheckBox9->isChecked();
    // The common range as its handlers last applied it to maxlista.
    s.common_range = legmax == 1;
    s.range = {Edit5->text().toStdString(), Edit6->text().toStdString()};

    s.clip = CheckBox4->isChecked();
    s.clip_plane = {typed(Edit1), typed(Edit2), typed(Edit3), typed(Edit4)};
    s.undeformed_lines = {line_undef_rgb, line_undef_t, line_undef_w};
    s.deformed_lines = {line_def_rgb, line_def_t, line_def_w};

    s.width = GLSceneViewer1->width();
    s.height = GLSceneViewer1->height();
    return s;
}

RenderPassInputs TForm2::render_inputs() const {
    return view::render_pass_inputs(view_settings(), model, changes, changes1);
}

void TForm2::DirectOpenGL1Render() {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!render_state.context_watched && context) {
        // The lists die with the context; a new context starts without any.
        connect(
            context, &QOpenGLContext::aboutToBeDestroyed, this,
            [this, context] {
                // Lists shared with other contexts would outlive this one:
                // free them when the dying context is current.
                if (QOpenGLContext::currentContext() == context) {
                    render_pass.free_lists();
                } else {
                    render_pass.forget_lists();
                }
                render_state.context_watched = false;
            },
            Qt::DirectConnection);
        render_state.context_watched = true;
        // The window's views share their lists: free ours when the view goes.
        GLSceneViewer1->set_gl_cleanup([this] { render_pass.free_lists(); });
    }

    RenderPassHooks hooks;
    hooks.notice = [this](bool shown) {
        if (!shown) {
            Panel12->hide();
            return;
        }
        Panel12->show();
        Panel12->raise();
    };
    hooks.let_events_through = [this] { GLSceneViewer1->let_events_through(); };
    hooks.report_error = [this](const std::string& message) {
        const QString text = QString::fromStdString(message);
        QTimer::singleShot(0, this, [this, text] { show_pass_error(this, text); });
    };
    fixlist = kFixList;
    RenderPassInputs in = render_inputs();
    in.lod = level_of_detail();
    if (render_pass.run(in, hooks)) {
        changes = false;
        changes1 = false;
    }
    matgld = render_state.clip_plane;

    const QRect view = GLSceneViewer1->geometry();
    Panel12->move(view.x() + static_cast<int>(view.width() / 2.0 - Panel12->width() / 2.0),
                  view.y() + static_cast<int>(view.height() / 2.0 - Panel12->height() / 2.0));
}

// Nothing is cached: every paint draws the bar, the title and the labels
// afresh from legcolor, the settings and the range of the lowest checked
// result list.
void TForm2::DirectOpenGL2Render() {
    legend_texts.clear();
    for (const LegendText& t : draw_legend(view::legend_inputs(view_settings(), model), draw_legend_text))
        legend_texts.push_back(t.text);
}

} // namespace orv
