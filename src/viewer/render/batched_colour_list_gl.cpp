#include "viewer/render/batched_colour_list_gl.h"

#include "viewer/render/array_emitter_gl.h"
#include "viewer/render/colour_list_gl.h"
#include "viewer/render/mesh_gl.h"

#include <GL/gl.h>

namespace orv {

namespace {

// Consecutive pieces of one kind form one run (GL_TRIANGLES or GL_LINES);
// the depth range is switched where the kind changes, as between glBegin
// blocks.
class BatchedColourSink final : public ColourPieceSink {
  public:
    BatchedColourSink(const ColourListSettings& s, std::array<double, 2> range, PieceChunks* keep)
        : s_(s), range_(range), out_(keep) {
        const Rgb g = kNoValueColour;
        blank_ = {g.r, g.g, g.b, fill_alpha(s.transparency_position)};
        // Band colours depend only on the band and the settings.
        for (int band = 1; band <= 11; ++band)
            band_colours_[band] = band_piece_color(band, s.solid, s.negative, s.transparency_position);
        band_colours_[0] = band_colours_[1];
        // The deformed outline's width stays in force for the segments.
        line_width_ = static_cast<float>(s.deformed_checked ? s.line_def_w : 3);
    }
    void piece(int band, const Point3* pts, int count) override {
        begin(count == 2 ? PieceMode::Lines : PieceMode::Triangles);
        const Rgba& c = band_colours_[band >= 1 && band <= 11 ? band : 0];
        for (int i = 0; i < count; ++i)
            out_.vertex(pts[i], c);
        out_.piece_done();
    }
    void shaded_piece(const Point3* pts, const double* values, int count) override {
        begin(count == 2 ? PieceMode::Lines : PieceMode::Triangles);
        for (int i = 0; i < count; ++i)
            out_.vertex(pts[i], continuous_colour(s_, range_[0], range_[1], values[i], count));
        out_.piece_done();
    }
    void blank_piece(const Point3* pts, int count) override {
        begin(count == 2 ? PieceMode::Lines : PieceMode::Triangles);
        for (int i = 0; i < count; ++i)
            out_.vertex(pts[i], blank_);
        out_.piece_done();
    }
    void finish() { out_.flush(); }

  private:
    void begin(PieceMode mode) {
        if (open_ && mode_ == mode) return;
        out_.flush();
        const bool lines = mode == PieceMode::Lines;
        lift_segments(lines);
        PieceStyle style;
        style.mode = mode;
        style.blend = true;
        style.offset = true;
        style.lift = lines;
        style.line_width = line_width_;
        out_.set_style(style);
        mode_ = mode;
        open_ = true;
    }
    const ColourListSettings& s_;
    std::array<double, 2> range_;
    Rgba blank_;
    ArrayEmitter out_;
    bool open_ = false;
    PieceMode mode_ = PieceMode::Triangles;
    float line_width_ = 3;
    Rgba band_colours_[12];
};

} // namespace

void emit_batched_colour_list(const ResultModel& m, int k, const ColourListSettings& s, PieceChunks* keep) {
    if (k < 1 || k > m.nlista) return;
    glLineWidth(3);
    if (s.deformed_checked)
        draw_mesh_outline(m, {s.line_def_rgb, s.line_def_t, s.line_def_w},
                          {true, 3 * k, displacement_factor(s.factor, s.displacement_position)}, keep);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    begin_fill_offset();
    BatchedColourSink sink(s, colour_range(m, k, s.legmax), keep);
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
