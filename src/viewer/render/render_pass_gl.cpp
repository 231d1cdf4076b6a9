#include "viewer/render/render_pass_gl.h"

#include "viewer/model/number_text.h"
#include "viewer/render/array_emitter_gl.h"
#include "viewer/render/batched_colour_list_gl.h"
#include "viewer/render/coarse_lists.h"
#include "viewer/render/mesh_gl.h"

#include <GL/gl.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace orv {

// The coarse version of one list: being built (build valid), or compiled
// into its name of the coarse block (ready).
struct RenderPass::Coarse {
    std::shared_ptr<std::atomic<bool>> cancel;
    std::future<PieceChunks> build;
    bool ready = false;
    std::size_t full_bytes = 0;
    std::size_t bytes = 0;
};

namespace {

// Nodes, outlines and colour lists have a coarse version; numbers do not.
bool has_coarse_version(int list) {
    return list <= 3 || list > kFixList;
}

} // namespace

RenderPass::RenderPass() = default;

RenderPass::~RenderPass() {
    // Builds read only their own copy of the geometry; stop them before going.
    for (Coarse& c : coarse_)
        if (c.cancel) c.cancel->store(true);
}

void RenderPass::wait_for_coarse_builds() {
    for (Coarse& c : coarse_)
        if (c.build.valid()) c.build.wait();
}

void RenderPass::drop_coarse(int list, bool gl_current) {
    if (list < 1 || static_cast<std::size_t>(list) > coarse_.size()) return;
    Coarse& c = coarse_[static_cast<std::size_t>(list - 1)];
    if (c.cancel) c.cancel->store(true);
    c.build = {}; // waits for a cancelled build to notice
    c.cancel.reset();
    if (c.ready && gl_current && state.coarse_lists.assigned()) {
        glNewList(state.coarse_lists.name(list), GL_COMPILE);
        glEndList();
    }
    state.coarse_full_bytes -= c.ready ? c.full_bytes : 0;
    state.coarse_bytes -= c.ready ? c.bytes : 0;
    c = Coarse{};
    if (state.coarse_lists.assigned()) state.coarse_lists.set_exists(list, false);
}

void RenderPass::adopt_coarse_builds() {
    for (std::size_t i = 0; i < coarse_.size(); ++i) {
        Coarse& c = coarse_[i];
        if (!c.build.valid() || c.build.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            continue;
        PieceChunks chunks;
        try {
            chunks = c.build.get();
        } catch (const std::exception&) {
            chunks.clear(); // out of memory while clustering: the full list stays
        }
        c.cancel.reset();
        if (chunks.empty() || !state.coarse_lists.assigned()) continue;
        const int list = static_cast<int>(i) + 1;
        glNewList(state.coarse_lists.name(list), GL_COMPILE);
        draw_piece_chunks(chunks);
        glEndList();
        c.ready = true;
        c.bytes = chunk_bytes(chunks);
        state.coarse_full_bytes += c.full_bytes;
        state.coarse_bytes += c.bytes;
        state.coarse_lists.set_exists(list, true);
    }
}

void RenderPass::free_lists() {
    for (int list = 1; list <= static_cast<int>(coarse_.size()); ++list)
        drop_coarse(list, false);
    if (state.lists.assigned()) glDeleteLists(state.lists.base(), state.lists.count());
    if (state.coarse_lists.assigned()) glDeleteLists(state.coarse_lists.base(), state.coarse_lists.count());
    state.lists.clear();
    state.coarse_lists.clear();
}

void RenderPass::forget_lists() {
    for (int list = 1; list <= static_cast<int>(coarse_.size()); ++list)
        drop_coarse(list, false);
    state.lists.clear();
    state.coarse_lists.clear();
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
        if (in.lod.cells_across > 0 && !rs.coarse_lists.assigned()) {
            // Without names for coarse lists the view simply keeps the full ones.
            if (const GLuint coarse_base = glGenLists(count)) rs.coarse_lists.assign(coarse_base, count);
        }
        if (coarse_.size() < static_cast<std::size_t>(count)) coarse_.resize(static_cast<std::size_t>(count));
        adopt_coarse_builds();

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
            drop_coarse(step.list, true);
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
            const bool keep_runs =
                in.lod.cells_across > 0 && rs.coarse_lists.assigned() && has_coarse_version(step.list);
            PieceChunks runs;
            glNewList(name, GL_COMPILE);
            compile(in, step.list, factor.value_or(1.0), keep_runs ? &runs : nullptr);
            glEndList();
            rs.last_compile_seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            compiling = false;
            rs.lists.set_exists(step.list, true);
            rs.record({ListAction::Compile, step.list});
            if (keep_runs && chunk_vertices(runs) >= lod_min_vertices)
                start_coarse_build(step.list, std::move(runs), in.lod.cells_across);
            notice(false);
        }

        const bool coarse_wanted = in.lod.interacting && rs.last_full_replay_seconds > lod_budget_seconds;
        bool coarse_used = false;
        const auto replay_started = std::chrono::steady_clock::now();
        for (int list : plan.calls) {
            const bool coarse = coarse_wanted && rs.coarse_lists.assigned() && rs.coarse_lists.exists(list);
            glCallList(coarse ? rs.coarse_lists.name(list) : rs.lists.name(list));
            coarse_used = coarse_used || coarse;
        }
        if (!coarse_used) {
            glFinish();
            rs.last_full_replay_seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - replay_started).count();
        }
        rs.last_replay_coarse = coarse_used;
        if (in.extremes) draw_extremes(in);
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

void RenderPass::draw_extremes(const RenderPassInputs& in) {
    const ResultModel& m = *in.model;
    int k = 0;
    for (int i = kFixList; i < static_cast<int>(in.checked.size()) && k == 0; ++i)
        if (in.checked[static_cast<std::size_t>(i)]) k = i - kFixList + 1;
    if (k < 1 || k > m.nlista) return;
    RenderState::Extremes& cache = state.extremes;
    if (cache.values != m.listas_data.data() || cache.list != k) {
        cache.values = m.listas_data.data();
        cache.list = k;
        cache.found = find_extremes(m, k);
    }
    if (!cache.found) return;
    // Where the list's colours put the nodes: its own displacement, with the
    // factor it was compiled with.
    const auto list = static_cast<std::size_t>(kFixList + k);
    const double factor = list <= state.content.size() ? state.content[list - 1].factor : 0;
    draw_extreme_marks(m, *cache.found, {true, 3 * k, factor});
}

void RenderPass::start_coarse_build(int list, PieceChunks runs, int cells_across) {
    Coarse& c = coarse_[static_cast<std::size_t>(list - 1)];
    c.full_bytes = chunk_bytes(runs);
    c.cancel = std::make_shared<std::atomic<bool>>(false);
    try {
        c.build = std::async(
            std::launch::async, [full = std::move(runs), cells_across, cancel = c.cancel]() mutable {
                // The full runs are freed as soon as the coarse version is made.
                const PieceChunks mine = std::move(full);
                return coarsen_chunks(mine, ClusterGrid::over(mine, cells_across), cancel.get());
            });
    } catch (const std::system_error&) {
        c = Coarse{}; // no thread to build it on: the full list stays
    }
}

void RenderPass::compile(const RenderPassInputs& in, int list, double factor, PieceChunks* keep) {
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
        draw_node_points(model, keep);
        return;
    case 2:
        draw_mesh_outline(model, in.undeformed_lines, {}, keep);
        return;
    case 3:
        draw_mesh_outline(model, {c.line_def_rgb, c.line_def_t, c.line_def_w},
                          {true, in.chbox, displacement_factor(factor, c.displacement_position)}, keep);
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
    emit_batched_colour_list(model, list - kFixList, s, keep);
}

} // namespace orv
