#pragma once
// The render pass of the 3D view, without a window: the caller (the viewer
// window, a batch run with a surfaceless context, a test) fills
// RenderPassInputs and calls RenderPass::run with its OpenGL context current
// and the model-view matrix holding camera, pan offset and model scale, so
// vertices are sent in the coordinates of the result file.
//
// A pass: set the clip plane (enabled only while inputs.clip_enabled, and only
// for the model's own lists); compile and delete display lists as
// plan_render_pass decides from the checks, the existing lists, the flags and
// the release requests; replay the list of every checked plot item in order;
// clear the release requests. The caller clears its changes / changes1 flags
// when run() says the pass completed.
//
// List content: nodes, outlines and numbers from the producers of mesh_gl.h.
// A result list k is its display list (line width, the deformed outline when
// that item is checked) followed by its pieces in vertex buffers
// (colour_chunks, chunk_buffers_gl.h), each vertex carrying its value as a
// coordinate into the scale texture (ScaleTexture). The buffers are built
// from the geometry settings only (model, displacement, filters, "Malha
// Sólida", "Faixas de Cores" and, for bands, the range); a pass whose changes
// leave those as they were keeps them (RenderPlanInput::current) and only
// sets the texture (uploaded when the scale or legend changed) and the
// texture matrix (the range), so no list is rebuilt.
//
// Display-list names: the fixed names 1..nlista + 5 are mapped onto a block
// that glGenLists reserves in the context, so nothing else drawing in the
// context can collide with them. The block lives as long as the context (the
// caller calls free_lists or forget_lists when it goes); a deleted list is
// emptied but keeps its name.
//
// While a list compiles, hooks.notice(true) is called and then
// hooks.let_events_through (which must leave the pass's context current);
// hooks.notice(false) after the list. Empty hooks are skipped.
//
// Level of detail: when inputs.lod.cells_across > 0, a list of the nodes, the
// mesh outlines or a result list's colours that holds at least
// lod_min_vertices vertices gets a coarse version (coarse_lists.h) after its
// full compile: the runs drawn are handed to a thread that clusters them,
// and the pass that finds the result ready compiles it into a list of a
// second block of names. A coarse list goes whenever its full list is
// compiled again or deleted; it is held in vertex buffers (outline and pieces
// alike) and drawn with the texture state of the full list. While inputs.lod.interacting, and only when the
// last full replay (timed to the finished picture, glFinish) took longer
// than lod_budget_seconds, a list whose coarse version is ready replays that
// instead. Passes that are not interacting always replay the full lists.
//
// Failures: a field that is not a number (clip plane, displacement factor,
// the arrows' factor), an arrows' field the model lacks or a context out of
// list names ends the pass before anything is replayed; a list left
// half-built is ended, emptied and counted as missing. The message goes to
// hooks.report_error once: the same message is not repeated while the
// failure lasts (every repaint meets it again), and a pass that completes
// re-arms the report. report_error runs inside the pass: a window defers its
// message box until the paint is over.

#include "viewer/legend/scale_texture_gl.h"
#include "viewer/render/chunk_buffers_gl.h"
#include "viewer/render/mesh_gl.h"
#include "viewer/render/piece_chunks.h"
#include "viewer/render/render_inputs.h"
#include "viewer/render/render_plan.h"

#include <functional>
#include <string>
#include <vector>

namespace orv {

struct RenderPassHooks {
    std::function<void(bool shown)> notice;   // the loading notice
    std::function<void()> let_events_through; // while a list compiles
    std::function<void(const std::string& message)> report_error;
};

class RenderPass {
  public:
    RenderPass();
    ~RenderPass();
    RenderPass(const RenderPass&) = delete;
    RenderPass& operator=(const RenderPass&) = delete;

    // Lists, counters and the compile log; read by tests and diagnostics.
    RenderState state;

    // Runs one pass (see above). Returns true when the pass completed.
    bool run(const RenderPassInputs& in, const RenderPassHooks& hooks);

    // The context is going away while current: frees the block of names.
    void free_lists();
    // The context is gone (or not current): forgets the names without freeing.
    void forget_lists();

    // Level-of-detail thresholds (tests lower them to see coarse lists on small models).
    double lod_budget_seconds = 0.030;
    std::size_t lod_min_vertices = 200000;

    // Waits until no coarse version is being built (tests, benchmarks).
    void wait_for_coarse_builds();

  private:
    void draw_extremes(const RenderPassInputs& in);
    void draw_arrows(const RenderPassInputs& in, double factor);
    struct Coarse;
    struct Built;
    void compile(const RenderPassInputs& in, int list, double factor, PieceChunks* keep, PieceChunks* pieces);
    Built geometry_of(const RenderPassInputs& in, int list, double factor) const;
    void draw_colour_buffers(const RenderPassInputs& in, int list, const ChunkBuffers& buffers);
    void free_buffers(int list, bool gl_current);
    std::vector<Built> built_;                 // by list - 1: what the colour buffers were built from
    std::vector<ChunkBuffers> buffers_;        // by list - 1: the colour lists' pieces
    std::vector<ChunkBuffers> coarse_buffers_; // by list - 1: coarse versions
    ScaleTexture texture_;
    void drop_coarse(int list, bool gl_current);
    void start_coarse_build(int list, PieceChunks runs, int cells_across);
    void adopt_coarse_builds();
    std::vector<Coarse> coarse_;
};

} // namespace orv
