#include "viewer/output/figure_gl.h"

#include "viewer/render/bitmap_font_gl.h"
#include "viewer/render/mesh_gl.h"
#include "viewer/view/viewer_scenes.h"

#include <GL/gl.h>

#include <algorithm>

namespace orv {
namespace {

// The glyph sink of the legend's and the title's texts for the figure's
// scale, the previous one back when it goes.
class ScaledGlyphs {
  public:
    explicit ScaledGlyphs(int scale) : previous_(current_glyph_sink()) {
        if (scale == 2) set_glyph_sink(draw_font_glyph_2x);
    }
    ~ScaledGlyphs() { set_glyph_sink(previous_); }
    ScaledGlyphs(const ScaledGlyphs&) = delete;
    ScaledGlyphs& operator=(const ScaledGlyphs&) = delete;

  private:
    GlyphSink previous_;
};

} // namespace

void draw_figure(const FigureLayout& layout, const FigureScene& model, const FigureScene& legend,
                 std::u16string_view title) {
    const int s = layout.scale;
    const int w = layout.view_width * s, h = layout.view_height * s;
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, w, h);
    // The view's display lists are drawn with the sink in use (glyphs as on screen).
    view::draw_scene(*model.scene, *model.camera, w, h, model.style);

    const ScaledGlyphs glyphs(s);
    glEnable(GL_SCISSOR_TEST);
    if (layout.legend && legend.scene) {
        // The legend view over the 3D view, cut to it; y of OpenGL runs up.
        const int lw = view::kLegendViewWidth * s, lh = view::kLegendViewHeight * s;
        const int lx = layout.legend_x * s, ly = h - layout.legend_y * s - lh;
        const int x0 = std::max(lx, 0), y0 = std::max(ly, 0);
        const int x1 = std::min(lx + lw, w), y1 = std::min(ly + lh, h);
        if (x0 < x1 && y0 < y1) {
            glViewport(lx, ly, lw, lh);
            glScissor(x0, y0, x1 - x0, y1 - y0);
            view::draw_scene(*legend.scene, *legend.camera, lw, lh, legend.style);
        }
    }
    if (layout.title) {
        const int th = figure::kTitleHeight * s;
        glViewport(0, h, w, th);
        glScissor(0, h, w, th);
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_LIGHTING);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, w, 0, th, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        const int text_width = bitmap_text_width(BitmapFont::Helvetica18, title) * s;
        const int x = std::max(figure::kTitleMargin * s, (w - text_width) / 2);
        glColor3f(0.0f, 0.0f, 0.0f);
        // A quarter pixel in, so that the raster position falls inside its pixel.
        draw_text(title, BitmapFont::Helvetica18, x + 0.25, figure::kTitleBaseline * s + 0.25, 0.0);
    }
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, layout.width(), layout.height());
    glFlush();
}

} // namespace orv
