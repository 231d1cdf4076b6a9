#pragma once
// The viewer's 3D view, with its legend, rebuilt from the view options of the
// command line and drawn into the current OpenGL context (an off-screen
// framebuffer of the picture's size): the same scenes, cameras, render pass
// and legend drawing as a viewer window whose controls were set to the
// options, with no window.

#include "viewer/model/result_model.h"
#include "viewer/output/figure.h"
#include "viewer/view/view_settings.h"

#include <memory>
#include <vector>

namespace orv {

class BatchView {
  public:
    // Sets up the fields, scenes and cameras from `settings` (model scale,
    // preset view, orbit, zoom, pan, colour scale, common range). `model`
    // must outlive the view; the common range writes its row 0 of maxlista.
    // Throws OutputError with the viewer's message for a --list outside
    // 1..nlista, InvalidReal for a range text that is not a number and
    // std::invalid_argument for a displacement field the model lacks.
    BatchView(ResultModel& model, const view::ViewSettings& settings);
    ~BatchView();
    BatchView(const BatchView&) = delete;
    BatchView& operator=(const BatchView&) = delete;

    // The picture's layout: the view of the settings' size, the legend at
    // the top left when asked for, the title line and the figure scale of
    // the settings (figure.h).
    static FigureLayout layout_of(const view::ViewSettings& settings);

    // Draws the picture with exactly the result lists `lists` checked (the
    // settings' own lists are replaced; the fixed items stay) into the
    // current context, which must be at least layout_of(settings)'s size, as
    // "Salvar Figura" draws a figure (figure_gl.h); the title is the lowest
    // list's name. The context must be the same for every call, and still
    // current when the view is destroyed (it frees its display lists). A
    // failed pass throws OutputError with the render pass's message.
    void render(const std::vector<int>& lists);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orv
