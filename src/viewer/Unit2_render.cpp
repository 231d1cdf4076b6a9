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

RenderPassInputs TForm2::render_inputs() const {
    RenderPassInputs in;
    in.model = &model;
    const int count = display_list_count(model.nlista);
    in.checked.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        in.checked[static_cast<std::size_t>(i)] = plot_item_checked(i);
    in.changes = changes;
    in.changes1 = changes1;
    in.clip_plane = {typed(Edit1), typed(Edit2), typed(Edit3), typed(Edit4)};
    in.clip_enabled = CheckBox4->isChecked();
    in.factor = typed(Edit7);
    in.chbox = chbox;
    in.undeformed_lines = {line_undef_rgb, line_undef_t, line_undef_w};
    in.extremes = CheckBox10->isChecked();

    ColourListSettings& s = in.colours;
    s.displacement_position = TrackBar3->value();
    s.transparency_position = TrackBar2->value();
    s.solid = CheckBox6->isChecked();
    s.negative = CheckBox1->isChecked();
    s.trgb = trgb;
    s.banded = CheckBox8->isChecked();
    s.filters = {SpinEdit1->value(), SpinEdit2->value(), SpinEdit3->value()};
    s.legmax = legmax;
    s.line_def_w = line_def_w;
    s.line_def_rgb = line_def_rgb;
    s.line_def_t = line_def_t;
    return in;
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
// afresh from legcolor, trgb, the check boxes and the range of the lowest
// checked result list.
void TForm2::DirectOpenGL2Render() {
    LegendInputs in;
    in.colours = legcolor;
    in.trgb = trgb;
    in.banded = CheckBox8->isChecked();
    in.scientific = CheckBox9->isChecked();
    in.range = legend_range(model, kFixList, legmax, [this](int item) { return plot_item_checked(item); });
    legend_texts.clear();
    for (const LegendText& t : draw_legend(in, draw_legend_text))
        legend_texts.push_back(t.text);
}

} // namespace orv
