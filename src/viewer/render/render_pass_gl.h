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
// List content: nodes, outlines and numbers from the producers of mesh_gl.h;
// a result list's colours from emit_batched_colour_list, which draws the
// picture of one begin/end and blending switch per piece with far fewer calls.
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
// Failures: a field that is not a number (clip plane, displacement factor)
// or a context out of list names ends the pass before anything is replayed; a
// list left half-built is ended, emptied and counted as missing. The message
// goes to hooks.report_error once: the same message is not repeated while the
// failure lasts (every repaint meets it again), and a pass that completes
// re-arms the report. report_error runs inside the pass: a window defers its
// message box until the paint is over.

#include "viewer/render/render_inputs.h"
#include "viewer/render/render_plan.h"

#include <functional>
#include <string>

namespace orv {

struct RenderPassHooks {
    std::function<void(bool shown)> notice;   // the loading notice
    std::function<void()> let_events_through; // while a list compiles
    std::function<void(const std::string& message)> report_error;
};

class RenderPass {
  public:
    // Lists, counters and the compile log; read by tests and diagnostics.
    RenderState state;

    // Runs one pass (see above). Returns true when the pass completed.
    bool run(const RenderPassInputs& in, const RenderPassHooks& hooks);

    // The context is going away while current: frees the block of names.
    void free_lists();
    // The context is gone (or not current): forgets the names without freeing.
    void forget_lists();

  private:
    void compile(const RenderPassInputs& in, int list, double factor);
};

} // namespace orv
