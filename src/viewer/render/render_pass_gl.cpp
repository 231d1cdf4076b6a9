#include "viewer/render/render_pass_gl.h"

#include "viewer/model/number_text.h"
#include "viewer/render/array_emitter_gl.h"
#include "viewer/render/arrows.h"
#include "viewer/render/coarse_lists.h"
#include "viewer/render/colour_list_gl.h"
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

// What a colour list's buffers were built from: everything its geometry and
// texture coordinates depend on, and nothing that only the texture or its
// matrix shows (range, scale, legend, transparency), except the range of
// band pieces, whose edges are geometry.
struct RenderPass::Built {
    bool valid = false;
    const ResultModel* model = nullptr;
    const ListStore* values = nullptr; // the model's lists
    const double* coords = nullptr;
    ColourListSettings settings; // transparency, trgb, negative cleared
    std::array<double, 2> band_range{0, 0};
    // The frame of the texture coordinates: the list's own range when the
    // buffers were built. A later range does not change it; the texture
    // matrix maps from it.
    ReferenceRange reference;

    bool same_geometry(const Built& o) const {
        const ColourListSettings &a = settings, &b = o.settings;
        return valid && o.valid && model == o.model && values == o.values && coords == o.coords &&
               a.factor == b.factor && a.displacement_position == b.displacement_position &&
               a.solid == b.solid && a.banded == b.banded && a.filters == b.filters &&
               a.hidden_blocks == b.hidden_blocks && a.subdivide == b.subdivide &&
               a.deformed_checked == b.deformed_checked && a.line_def_w == b.line_def_w &&
               a.line_def_rgb == b.line_def_rgb && a.line_def_t == b.line_def_t &&
               (!a.banded || band_range == o.band_range);
    }
};

namespace {

// Nodes, outlines and colour lists have a coarse version; numbers do not.
bool has_coarse_version(int list) {
    return list <= 3 || list > kFixList;
}

} // namespace

RenderPass::RenderPass() = default;

RenderPass::Built RenderPass::geometry_of(const RenderPassInputs& in, int list, double factor) const {
    const ResultModel& m = *in.model;
    const int k = list - kFixList;
    Built b;
    b.valid = true;
    b.model = &m;
    b.values = m.store.get();
    b.coords = m.coord_data.data();
    b.settings = in.colours;
    b.settings.factor = factor;
    b.settings.deformed_checked = in.checked.size() > 2 && in.checked[2];
    b.settings.subdivide = subdivision_for(m);
    b.settings.transparency_position = 0;
    b.settings.trgb = 0;
    b.settings.negative = false;
    b.band_range = colour_range(m, k, in.colours.legmax);
    const auto own = colour_range(m, k, 0);
    b.reference = ReferenceRange::of(own[0], own[1]);
    return b;
}

void RenderPass::free_buffers(int list, bool gl_current) {
    const auto i = static_cast<std::size_t>(list - 1);
    if (i < buffers_.size()) {
        state.buffer_bytes -= buffers_[i].bytes();
        gl_current ? buffers_[i].free() : buffers_[i].forget();
    }
    if (i < built_.size()) built_[i] = Built{};
}

void RenderPass::draw_colour_buffers(const RenderPassInputs& in, int list, const ChunkBuffers& buffers) {
    const auto i = static_cast<std::size_t>(list - 1);
    if (buffers.empty() || i >= built_.size() || !built_[i].valid) {
        buffers.draw(fill_alpha(in.colours.transparency_position));
        return;
    }
    const Built& b = built_[i];
    // Band pieces carry their row's coordinate; continuous ones their value.
    ScaleMapping mapping;
    if (!b.settings.banded) {
        const auto range = colour_range(*in.model, list - kFixList, in.colours.legmax);
        mapping = scale_mapping(b.reference, range[0], range[1]);
    }
    texture_.begin(mapping);
    buffers.draw(fill_alpha(in.colours.transparency_position));
    ScaleTexture::end();
}

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
    if (static_cast<std::size_t>(list) <= coarse_buffers_.size()) {
        ChunkBuffers& b = coarse_buffers_[static_cast<std::size_t>(list - 1)];
        gl_current ? b.free() : b.forget();
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
        try {
            coarse_buffers_[i].upload(chunks);
        } catch (const std::bad_alloc&) {
            continue; // no memory for the coarse buffers: the full list stays
        }
        c.ready = true;
        c.bytes = chunk_bytes(chunks);
        state.coarse_full_bytes += c.full_bytes;
        state.coarse_bytes += c.bytes;
        state.coarse_lists.set_exists(list, true);
    }
}

void RenderPass::free_lists() {
    for (int list = 1; list <= static_cast<int>(coarse_.size()); ++list)
        drop_coarse(list, true);
    for (int list = 1; list <= static_cast<int>(buffers_.size()); ++list)
        free_buffers(list, true);
    texture_.free();
    if (state.lists.assigned()) glDeleteLists(state.lists.base(), state.lists.count());
    if (state.coarse_lists.assigned()) glDeleteLists(state.coarse_lists.base(), state.coarse_lists.count());
    state.lists.clear();
    state.coarse_lists.clear();
}

void RenderPass::forget_lists() {
    for (int list = 1; list <= static_cast<int>(coarse_.size()); ++list)
        drop_coarse(list, false);
    for (int list = 1; list <= static_cast<int>(buffers_.size()); ++list)
        free_buffers(list, false);
    texture_.forget();
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
        // The arrows' factor and field, refused as the plane is: before anything is replayed.
        const double arrow_factor = in.arrows.shown ? in.arrows.factor.read() : 0;
        if (in.arrows.shown) arrow_source(*in.model, in.arrows.field, 0);

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
        const auto lists = static_cast<std::size_t>(count);
        if (coarse_.size() < lists) coarse_.resize(lists);
        if (coarse_buffers_.size() < lists) coarse_buffers_.resize(lists);
        if (buffers_.size() < lists) buffers_.resize(lists);
        if (built_.size() < lists) built_.resize(lists);
        adopt_coarse_builds();

        RenderPlanInput plan_in;
        plan_in.nlista = nlista;
        plan_in.checked = in.checked;
        plan_in.checked.resize(static_cast<std::size_t>(count), false);
        plan_in.exists = rs.lists.existence();
        plan_in.changes = in.changes;
        plan_in.changes1 = in.changes1;
        plan_in.release = rs.release;
        std::optional<double> factor; // read once, when a list needs it
        if (in.changes || in.changes1) {
            // Colour lists whose geometry these settings leave as it is keep their buffers.
            plan_in.current.assign(lists, false);
            for (int list = kFixList + 1; list <= count; ++list) {
                const auto i = static_cast<std::size_t>(list - 1);
                if (!built_[i].valid || !rs.lists.exists(list) || !plan_in.checked[i]) continue;
                if (!factor) factor = in.factor.read();
                plan_in.current[i] = built_[i].same_geometry(geometry_of(in, list, *factor));
            }
        }
        const RenderPlan plan = plan_render_pass(plan_in);
        rs.last_compile_seconds = 0;

        for (const ListStep& step : plan.steps) {
            const GLuint name = rs.lists.name(step.list);
            drop_coarse(step.list, true);
            if (step.action == ListAction::Delete) {
                // Emptied rather than freed: the name stays reserved for this viewer.
                glNewList(name, GL_COMPILE);
                glEndList();
                free_buffers(step.list, true);
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
            PieceChunks pieces;
            free_buffers(step.list, true);
            glNewList(name, GL_COMPILE);
            compile(in, step.list, factor.value_or(1.0), keep_runs ? &runs : nullptr, &pieces);
            glEndList();
            if (step.list > kFixList) {
                ChunkBuffers& b = buffers_[static_cast<std::size_t>(step.list - 1)];
                b.upload(pieces);
                rs.buffer_bytes += b.bytes();
                built_[static_cast<std::size_t>(step.list - 1)] =
                    geometry_of(in, step.list, factor.value_or(1.0));
                if (keep_runs)
                    for (PieceChunk& c : pieces)
                        runs.push_back(std::move(c));
                pieces = {};
            }
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
        for (int list : plan.calls)
            if (list > kFixList) {
                // One texture for all colour lists: bands use the legend's
                // "Legenda Negativa", the continuous map trgb.
                const bool reverse = in.colours.banded ? in.colours.negative : in.colours.trgb == 1;
                if (texture_.set(scale_texels(reverse))) ++rs.scale_texture_uploads;
                break;
            }
        const auto replay_started = std::chrono::steady_clock::now();
        for (int list : plan.calls) {
            const auto i = static_cast<std::size_t>(list - 1);
            const bool coarse = coarse_wanted && rs.coarse_lists.assigned() && rs.coarse_lists.exists(list) &&
                                !coarse_buffers_[i].empty();
            if (coarse) {
                if (list > kFixList)
                    draw_colour_buffers(in, list, coarse_buffers_[i]);
                else
                    coarse_buffers_[i].draw(1.0);
            } else {
                glCallList(rs.lists.name(list));
                if (list > kFixList) draw_colour_buffers(in, list, buffers_[i]);
            }
            coarse_used = coarse_used || coarse;
        }
        if (!coarse_used) {
            glFinish();
            rs.last_full_replay_seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - replay_started).count();
        }
        rs.last_replay_coarse = coarse_used;
        if (in.extremes) draw_extremes(in);
        if (in.arrows.shown) draw_arrows(in, arrow_factor);
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
            free_buffers(compiling_list, true);
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
    if (cache.values != m.store.get() || cache.list != k) {
        cache.values = m.store.get();
        cache.list = k;
        cache.found = find_extremes(m, k);
    }
    if (!cache.found) return;
    // Where the list's colours put the nodes: its own displacement, with the
    // factor it was compiled with.
    const auto list = static_cast<std::size_t>(kFixList + k);
    const double factor = list <= state.content.size() ? state.content[list - 1].factor : 0;
    draw_extreme_marks(m, *cache.found, {true, 3 * k, factor}, in.extremes_scientific);
}

void RenderPass::draw_arrows(const RenderPassInputs& in, double factor) {
    const ResultModel& m = *in.model;
    int k = 0;
    for (int i = kFixList; i < static_cast<int>(in.checked.size()) && k == 0; ++i)
        if (in.checked[static_cast<std::size_t>(i)]) k = i - kFixList + 1;
    if (k > m.nlista) k = 0;
    // The shape the arrows stand on: that of the lowest checked list's
    // colours, else the deformed mesh's, each with the factor it was drawn with.
    const auto drawn_factor = [this](int list) {
        return static_cast<std::size_t>(list) <= state.content.size()
                   ? state.content[static_cast<std::size_t>(list - 1)].factor
                   : 0.0;
    };
    NodePlacement place;
    if (k > 0)
        place = {true, 3 * k, drawn_factor(kFixList + k)};
    else if (in.checked.size() > 2 && in.checked[2])
        place = {true, in.chbox, drawn_factor(3)};
    const ArrowSource source = arrow_source(m, in.arrows.field, k > 0 ? k : in.chbox / 3);
    std::array<double, 16> modelview{}, projection{};
    std::array<int, 4> viewport{};
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview.data());
    glGetDoublev(GL_PROJECTION_MATRIX, projection.data());
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    const ArrowChoice choice = choose_arrows(
        m, source, place,
        [&](const Point3& p) { return project_to_screen(p, modelview, projection, viewport); },
        kArrowSpacing);
    if (choice.arrows.empty()) return;
    const double scale = arrow_length_scale(choice.range[1], model_size(m), kArrowFraction, factor);
    // The legend's colours: "Faixas de Cores" and "Legenda Negativa" as it draws them.
    orv::draw_arrows(choice.arrows, scale, choice.range, in.colours.banded, in.colours.negative, k == 0);
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

void RenderPass::compile(const RenderPassInputs& in, int list, double factor, PieceChunks* keep,
                         PieceChunks* pieces) {
    const ResultModel& model = *in.model;
    const ColourListSettings& c = in.colours;
    // What the list shows besides the model, for the node pick.
    if (state.content.size() < static_cast<std::size_t>(list))
        state.content.resize(static_cast<std::size_t>(list));
    ListContent& shown = state.content[static_cast<std::size_t>(list - 1)];
    shown.selector = list == 3 ? in.chbox : (list > kFixList ? 3 * (list - kFixList) : 0);
    shown.factor = displacement_factor(factor, c.displacement_position);
    shown.filters = c.filters;
    shown.hidden_blocks = c.hidden_blocks;
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
    const Built b = geometry_of(in, list, factor);
    const int k = list - kFixList;
    if (k < 1 || k > model.nlista) return;
    // The display list holds what needs fixed-function state only: the line
    // width and the deformed outline; the pieces go to buffers.
    glLineWidth(3);
    if (b.settings.deformed_checked)
        draw_mesh_outline(model, {c.line_def_rgb, c.line_def_t, c.line_def_w},
                          {true, 3 * k, displacement_factor(factor, c.displacement_position)}, keep);
    *pieces = colour_chunks(model, k, b.settings, b.reference);
}

} // namespace orv
