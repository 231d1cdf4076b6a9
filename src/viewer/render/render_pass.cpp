// Render pass of the 3D view: DirectOpenGL1's render callback.
//
// The viewport calls it on every paint of GLSceneViewer1, with the view's
// OpenGL context current and the model-view matrix holding camera, pan offset
// and model scale, so vertices are sent in the coordinates of the result file.
//
// A pass: set the clip plane (enabled only while "Clip Plane" is checked, and
// only for the model's own lists); compile and delete display lists as
// plan_render_pass decides from the checks, the existing lists, the flags
// changes / changes1 and the release requests; replay the list of every
// checked plot item in order; clear the flags and the requests; centre the
// loading notice.
//
// List content: nodes, outlines and numbers from the producers of mesh_gl.h;
// a result list's colours from emit_batched_colour_list, which draws the
// picture of one begin/end and blending switch per piece with far fewer calls.
//
// Display-list names: the fixed names 1..nlista + 5 are mapped onto a block
// that glGenLists reserves in this view's context, so nothing else drawing
// in the context can collide with them. The block lives as long as the
// context; a deleted list is emptied but keeps its name.
//
// While a list compiles, the loading notice is shown and pending events are
// let through (GLSceneViewer::let_events_through, which makes this view's
// context current again before glNewList). A repaint arriving meanwhile is
// dropped by the view.
//
// Failures: a field that is not a number (Edit1..Edit4, Edit7) ends the pass
// before anything is replayed, keeps changes / changes1 set so that the next
// pass tries again, and is reported once, after the paint: a modal box inside
// a paint would run an event loop in the middle of it. The same message is
// not repeated while the failure lasts (every repaint meets it again), and a
// pass that succeeds re-arms the report.

#include "viewer/Unit2.h"

#include "shell/dialogs.h"
#include "viewer/legend/real_text.h"
#include "viewer/render/batched_colour_list_gl.h"
#include "viewer/render/mesh_gl.h"
#include "viewer/render/render_plan.h"
#include "viewer/view/gl_scene_viewer.h"
#include "viewer/view/panel_widgets.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QOpenGLContext>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <GL/gl.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

namespace orv {

namespace {

double read_real(const QLineEdit* edit) {
    return parse_real_text(edit->text().toStdString());
}

// Frees the block of list names; the context that made it must be current.
void free_display_lists(RenderState& rs) {
    if (rs.lists.assigned()) glDeleteLists(rs.lists.base(), rs.lists.count());
    rs.lists.clear();
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

void TForm2::DirectOpenGL1Render() {
    RenderState& rs = render_state;
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!rs.context_watched && context) {
        // The lists die with the context; a new context starts without any.
        connect(
            context, &QOpenGLContext::aboutToBeDestroyed, this,
            [this, context] {
                // Lists shared with other contexts would outlive this one:
                // free them when the dying context is current.
                if (QOpenGLContext::currentContext() == context) {
                    free_display_lists(render_state);
                } else {
                    render_state.lists.clear();
                }
                render_state.context_watched = false;
            },
            Qt::DirectConnection);
        rs.context_watched = true;
    }

    bool compiling = false;
    int compiling_list = 0;
    try {
        // Clip plane: read in every pass, enabled only while "Clip Plane" is checked.
        matgld[0] = read_real(Edit1);
        matgld[1] = read_real(Edit2);
        matgld[2] = read_real(Edit3);
        matgld[3] = read_real(Edit4);
        glEnable(GL_CLIP_PLANE0);
        glClipPlane(GL_CLIP_PLANE0, matgld.data());
        if (!CheckBox4->isChecked()) glDisable(GL_CLIP_PLANE0);

        const int count = display_list_count(model.nlista);
        if (!rs.lists.assigned()) {
            const GLuint base = glGenLists(count);
            if (base == 0) throw std::runtime_error("Memória insuficiente para as listas de exibição.");
            rs.lists.assign(base, count);
            // The window's views share their lists: free ours when the view goes.
            GLSceneViewer1->set_gl_cleanup([this] { free_display_lists(render_state); });
        }

        RenderPlanInput in;
        in.nlista = model.nlista;
        in.checked.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            in.checked[static_cast<std::size_t>(i)] = plot_item_checked(i);
        in.exists = rs.lists.existence();
        in.changes = changes;
        in.changes1 = changes1;
        in.release = rs.release;
        const RenderPlan plan = plan_render_pass(in);
        rs.last_compile_seconds = 0;

        fixlist = kFixList;
        std::optional<double> factor; // Edit7, read once when a list needs it
        for (const ListStep& step : plan.steps) {
            const GLuint name = rs.lists.name(step.list);
            if (step.action == ListAction::Delete) {
                // Emptied rather than freed: the name stays reserved for this viewer.
                glNewList(name, GL_COMPILE);
                glEndList();
                rs.lists.set_exists(step.list, false);
                rs.log.push_back({ListAction::Delete, step.list});
                continue;
            }
            if (list_reads_displacement(step.list) && !factor) factor = read_real(Edit7);

            Panel12->show();
            Panel12->raise();
            GLSceneViewer1->let_events_through();
            compiling_list = step.list;
            compiling = true;
            const auto started = std::chrono::steady_clock::now();
            glNewList(name, GL_COMPILE);
            compile_display_list(step.list, factor.value_or(1.0));
            glEndList();
            rs.last_compile_seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            compiling = false;
            rs.lists.set_exists(step.list, true);
            rs.log.push_back({ListAction::Compile, step.list});
            Panel12->hide();
        }

        for (int list : plan.calls)
            glCallList(rs.lists.name(list));
        rs.last_calls = plan.calls;
        rs.clip = CheckBox4->isChecked() ? std::optional(matgld) : std::nullopt;
        changes = false;
        changes1 = false;
        rs.release.clear();
        ++rs.passes;
        rs.reported_error.clear();
    } catch (const std::exception& e) {
        if (compiling) {
            // A list left half-built is ended, emptied and counted as missing,
            // so that it is built afresh whatever the flags say.
            glEndList();
            glNewList(rs.lists.name(compiling_list), GL_COMPILE);
            glEndList();
            rs.lists.set_exists(compiling_list, false);
        }
        Panel12->hide();
        ++rs.failed_passes;
        const std::string message = e.what();
        if (message != rs.reported_error) {
            rs.reported_error = message;
            const QString text = QString::fromStdString(message);
            QTimer::singleShot(0, this, [this, text] { show_pass_error(this, text); });
        }
    }
    // The plane cuts the model's lists only, not what the view draws after them.
    glDisable(GL_CLIP_PLANE0);

    const QRect view = GLSceneViewer1->geometry();
    Panel12->move(view.x() + static_cast<int>(view.width() / 2.0 - Panel12->width() / 2.0),
                  view.y() + static_cast<int>(view.height() / 2.0 - Panel12->height() / 2.0));
}

void TForm2::compile_display_list(int list, double factor) {
    record_list_content(list, factor);
    switch (list) {
    case 1:
        draw_node_points(model);
        return;
    case 2:
        draw_mesh_outline(model, {line_undef_rgb, line_undef_t, line_undef_w});
        return;
    case 3:
        draw_mesh_outline(model, {line_def_rgb, line_def_t, line_def_w},
                          {true, chbox, displacement_factor(factor, TrackBar3->value())});
        return;
    case 4:
        draw_node_numbers(model);
        return;
    case 5:
        draw_element_numbers(model);
        return;
    default:
        break;
    }
    ColourListSettings s;
    s.factor = factor;
    s.displacement_position = TrackBar3->value();
    s.transparency_position = TrackBar2->value();
    s.solid = CheckBox6->isChecked();
    s.negative = CheckBox1->isChecked();
    s.trgb = trgb;
    s.banded = CheckBox8->isChecked();
    s.filters = {SpinEdit1->value(), SpinEdit2->value(), SpinEdit3->value()};
    s.legmax = legmax;
    s.deformed_checked = plot_item_checked(2);
    s.line_def_w = line_def_w;
    s.line_def_rgb = line_def_rgb;
    s.line_def_t = line_def_t;
    emit_batched_colour_list(model, list - kFixList, s);
}

} // namespace orv
