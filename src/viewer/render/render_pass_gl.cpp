#include "viewer/render/render_pass_gl.h"

#include "viewer/model/number_text.h"
#include "viewer/render/batched_colour_list_gl.h"
#include "viewer/render/mesh_gl.h"

#include <GL/gl.h>

#include <chrono>
#include <stdexcept>

namespace orv {

void RenderPass::free_lists() {
    if (state.lists.assigned()) glDeleteLists(state.lists.base(), state.lists.count());
    state.lists.clear();
}

void RenderPass::forget_lists() {
    state.lists.clear();
}

bool RenderPass::run(const RenderPassInputs& in, const RenderPassHooks& hooks) {
    RenderState& rs = state;
    const auto notice = [&hooks](bool shown) {
        if (hooks.notice) hooks.notice(shown);
    };
    const int nlista = in.model ? in.model->nlista : 0;

    bool completed = false;
    bool compiling = false;
    int compiling_list = 0;
    try {
        if (!in.model) throw std::invalid_argument("Nenhum modelo para desenhar.");
        // Clip plane: read in every pass, enabled only while asked for.
        for (std::size_t i = 0; i < rs.clip_plane.size(); ++i)
            rs.clip_plane[i] = in.clip_plane[i].read();
        glEnable(GL_CLIP_PLANE0);
        glClipPlane(GL_CLIP_PLANE0, rs.clip_plane.data());
        if (!in.clip_enabled) glDisable(GL_CLIP_PLANE0);

        const int count = display_list_count(nlista);
        if (!rs.lists.assigned()) {
            const GLuint base = glGenLists(count);
            if (base == 0) throw std::runtime_error("Memória insuficiente para as listas de exibição.");
            rs.lists.assign(base, count);
        }

        RenderPlanInput plan_in;
        plan_in.nlista = nlista;
        plan_in.checked = in.checked;
        plan_in.checked.resize(static_cast<std::size_t>(count), false);
        plan_in.exists = rs.lists.existence();
        plan_in.changes = in.changes;
        plan_in.changes1 = in.changes1;
        plan_in.release = rs.release;
        const RenderPlan plan = plan_render_pass(plan_in);
        rs.last_compile_seconds = 0;

        std::optional<double> factor; // read once, when a list needs it
        for (const ListStep& step : plan.steps) {
            const GLuint name = rs.lists.name(step.list);
            if (step.action == ListAction::Delete) {
                // Emptied rather than freed: the name stays reserved for this viewer.
                glNewList(name, GL_COMPILE);
                glEndList();
                rs.lists.set_exists(step.list, false);
                rs.record({ListAction::Delete, step.list});
                continue;
            }
            if (list_reads_displacement(step.list) && !factor) factor = in.factor.read();

            notice(true);
            if (hooks.let_events_through) hooks.let_events_through();
            compiling_list = step.list;
            compiling = true;
            const auto started = std::chrono::steady_clock::now();
            glNewList(name, GL_COMPILE);
            compile(in, step.list, factor.value_or(1.0));
            glEndList();
            rs.last_compile_seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            compiling = false;
            rs.lists.set_exists(step.list, true);
            rs.record({ListAction::Compile, step.list});
            notice(false);
        }

        for (int list : plan.calls)
            glCallList(rs.lists.name(list));
        rs.last_calls = plan.calls;
        rs.clip = in.clip_enabled ? std::optional(rs.clip_plane) : std::nullopt;
        rs.release.clear();
        ++rs.passes;
        rs.reported_error.clear();
        completed = true;
    } catch (const std::exception& e) {
        if (compiling) {
            // A list left half-built is ended, emptied and counted as missing,
            // so that it is built afresh whatever the flags say.
            glEndList();
            glNewList(rs.lists.name(compiling_list), GL_COMPILE);
            glEndList();
            rs.lists.set_exists(compiling_list, false);
        }
        notice(false);
        ++rs.failed_passes;
        const std::string message = e.what();
        if (message != rs.reported_error) {
            rs.reported_error = message;
            if (hooks.report_error) hooks.report_error(message);
        }
    }
    // The plane cuts the model's lists only, not what the view draws after them.
    glDisable(GL_CLIP_PLANE0);
    return completed;
}

void RenderPass::compile(const RenderPassInputs& in, int list, double factor) {
    const ResultModel& model = *in.model;
    const ColourListSettings& c = in.colours;
    // What the list shows besides the model, for the node pick.
    if (state.content.size() < static_cast<std::size_t>(list))
        state.content.resize(static_cast<std::size_t>(list));
    ListContent& shown = state.content[static_cast<std::size_t>(list - 1)];
    shown.selector = list == 3 ? in.chbox : (list > kFixList ? 3 * (list - kFixList) : 0);
    shown.factor = displacement_factor(factor, c.displacement_position);
    shown.filters = c.filters;
    shown.deformed_outline = in.checked.size() > 2 && in.checked[2];
    switch (list) {
    case 1:
        draw_node_points(model);
        return;
    case 2:
        draw_mesh_outline(model, in.undeformed_lines);
        return;
    case 3:
        draw_mesh_outline(model, {c.line_def_rgb, c.line_def_t, c.line_def_w},
                          {true, in.chbox, displacement_factor(factor, c.displacement_position)});
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
    ColourListSettings s = c;
    s.factor = factor;
    s.deformed_checked = in.checked.size() > 2 && in.checked[2];
    emit_batched_colour_list(model, list - kFixList, s);
}

} // namespace orv
