#include "viewer/render/batched_colour_list_gl.h"

#include "viewer/render/colour_list_gl.h"
#include "viewer/render/mesh_gl.h"

#include <GL/gl.h>

namespace orv {

namespace {

class BatchedColourSink final : public ColourPieceSink {
  public:
    explicit BatchedColourSink(const ColourListSettings& s) {
        // Band colours depend only on the band and the settings.
        for (int band = 1; band <= 11; ++band)
            band_colours_[band] = band_piece_color(band, s.solid, s.negative, s.transparency_position);
        band_colours_[0] = band_colours_[1];
    }
    void piece(int band, const Point3* pts, int count) override {
        begin(count == 2 ? GL_LINES : GL_TRIANGLES);
        const Rgba& c = band_colours_[band >= 1 && band <= 11 ? band : 0];
        glColor4d(c.r, c.g, c.b, c.a);
        for (int i = 0; i < count; ++i)
            glVertex3d(pts[i].x, pts[i].y, pts[i].z);
    }
    void shaded_piece(const Point3* pts, const Rgba* colours, int count) override {
        begin(count == 2 ? GL_LINES : GL_TRIANGLES);
        for (int i = 0; i < count; ++i) {
            glColor4d(colours[i].r, colours[i].g, colours[i].b, colours[i].a);
            glVertex3d(pts[i].x, pts[i].y, pts[i].z);
        }
    }
    void finish() {
        if (open_) glEnd();
        open_ = 0;
    }

  private:
    void begin(GLenum mode) {
        if (open_ == mode) return;
        if (open_) glEnd();
        lift_segments(mode == GL_LINES);
        glBegin(mode);
        open_ = mode;
    }
    GLenum open_ = 0;
    Rgba band_colours_[12];
};

} // namespace

void emit_batched_colour_list(const ResultModel& m, int k, const ColourListSettings& s) {
    if (k < 1 || k > m.nlista) return;
    glLineWidth(3);
    if (s.deformed_checked)
        draw_mesh_outline(m, {s.line_def_rgb, s.line_def_t, s.line_def_w},
                          {true, 3 * k, displacement_factor(s.factor, s.displacement_position)});
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    begin_fill_offset();
    BatchedColourSink sink(s);
    try {
        walk_colour_list(m, k, s, sink);
    } catch (...) {
        sink.finish();
        end_fill_offset();
        glDisable(GL_BLEND);
        throw;
    }
    sink.finish();
    end_fill_offset();
    glDisable(GL_BLEND);
}

} // namespace orv
