#pragma once
// Draws a figure (figure.h) with OpenGL into the current framebuffer: the 3D
// view's scene, the legend view's scene over it, then the title line. The
// window ("Salvar Figura", into a framebuffer object of its view's context)
// and the batch side (the off-screen context) both draw through here.
//
// At 2x every scene is painted into a viewport twice the size, so the view is
// drawn anew at that resolution (not enlarged); the legend's and the title's
// glyphs are drawn doubled (draw_font_glyph_2x), as bitmap fonts have no
// larger size. Texts compiled into the 3D view's display lists (node and
// element numbers) and line widths keep their size in pixels.

#include "viewer/output/figure.h"
#include "viewer/view/camera.h"
#include "viewer/view/scene.h"
#include "viewer/view/scene_gl.h"

#include <string_view>

namespace orv {

// A scene as one view paints it.
struct FigureScene {
    view::Scene* scene = nullptr;
    const view::Camera* camera = nullptr;
    view::ViewStyle style;
};

// Draws `layout` into the bound framebuffer, which must be at least
// layout.width() x layout.height() pixels (the figure fills its bottom-left
// corner). `legend` is drawn only when layout.legend is set; `title` (bitmap
// characters, bitmap_text) only when layout.title is set: black Helvetica 18
// on white, centred, or from the left margin when it is wider than the
// figure (then cut off at the right). Leaves the scissor test off and the
// viewport on the whole figure.
void draw_figure(const FigureLayout& layout, const FigureScene& model, const FigureScene& legend,
                 std::u16string_view title);

} // namespace orv
