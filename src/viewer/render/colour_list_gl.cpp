#include "viewer/render/colour_list_gl.h"

#include "viewer/render/mesh_gl.h"

#include <GL/gl.h>

namespace orv {

namespace {

void begin_piece(int count) {
    lift_segments(count == 2);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(count == 2 ? GL_LINES : GL_POLYGON);
}

void end_piece() {
    glEnd();
    glDisable(GL_BLEND);
}

// Issues the pieces of a colour list. Band colours depend only on the band
// and the settings, so they are looked up once per list.
class GlColourSink final : public ColourPieceSink {
  public:
    GlColourSink(const ColourListSettings& s, std::array<double, 2> range) : s_(s), range_(range) {
        for (int band = 1; band <= 11; ++band)
            colours_[band] = band_piece_color(band, s.solid, s.negative, s.transparency_position);
        colours_[0] = colours_[1];
        const Rgb g = kNoValueColour;
        blank_ = {g.r, g.g, g.b, fill_alpha(s.transparency_position)};
    }
    void piece(int band, const Point3* pts, int count) override {
        draw_band_piece(colours_[band >= 1 && band <= 11 ? band : 0], pts, count);
    }
    void shaded_piece(const Point3* pts, const double* values, int count) override {
        begin_piece(count);
        for (int i = 0; i < count; ++i) {
            const Rgba c = continuous_colour(s_, range_[0], range_[1], values[i], count);
            glColor4d(c.r, c.g, c.b, c.a);
            glVertex3d(pts[i].x, pts[i].y, pts[i].z);
        }
        end_piece();
    }
    void blank_piece(const Point3* pts, int count) override { draw_band_piece(blank_, pts, count); }

  private:
    const ColourListSettings& s_;
    std::array<double, 2> range_;
    Rgba colours_[12];
    Rgba blank_;
};

} // namespace

void draw_band_piece(const Rgba& colour, const Point3* pts, int count) {
    begin_piece(count);
    glColor4d(colour.r, colour.g, colour.b, colour.a);
    for (int i = 0; i < count; ++i)
        glVertex3d(pts[i].x, pts[i].y, pts[i].z);
    end_piece();
}

void begin_fill_offset() {
    glPolygonOffset(kFillOffsetFactor, kFillOffsetUnits);
    glEnable(GL_POLYGON_OFFSET_FILL);
}

void end_fill_offset() {
    glDisable(GL_POLYGON_OFFSET_FILL);
    lift_segments(false);
}

void lift_segments(bool on) {
    glDepthRange(0.0, on ? 1.0 - kSegmentDepthLift : 1.0);
}

void emit_colour_list(const ResultModel& m, int k, const ColourListSettings& settings) {
    if (k < 1 || k > m.nlista) return;
    glLineWidth(3);
    if (settings.deformed_checked) {
        const NodePlacement place{true, 3 * k,
                                  displacement_factor(settings.factor, settings.displacement_position)};
        draw_mesh_outline(m, {settings.line_def_rgb, settings.line_def_t, settings.line_def_w}, place);
    }
    GlColourSink sink(settings, colour_range(m, k, settings.legmax));
    begin_fill_offset();
    try {
        walk_colour_list(m, k, settings, sink);
    } catch (...) {
        end_fill_offset();
        throw;
    }
    end_fill_offset();
}

} // namespace orv
