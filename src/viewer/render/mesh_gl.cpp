#include "viewer/render/mesh_gl.h"

#include "viewer/legend/colour_scale.h"
#include "viewer/model/number_text.h"
#include "viewer/render/array_emitter_gl.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <string>

namespace orv {

namespace {

void* glut_font(BitmapFont font) {
    switch (font) {
    case BitmapFont::Helvetica12:
        return GLUT_BITMAP_HELVETICA_12;
    case BitmapFont::Helvetica18:
        return GLUT_BITMAP_HELVETICA_18;
    case BitmapFont::Helvetica10:
        break;
    }
    return GLUT_BITMAP_HELVETICA_10;
}

void glut_glyph(BitmapFont font, int character) {
    glutBitmapCharacter(glut_font(font), character);
}

GlyphSink glyph_sink = glut_glyph;

} // namespace

void set_glyph_sink(GlyphSink sink) {
    glyph_sink = sink ? sink : glut_glyph;
}

GlyphSink current_glyph_sink() {
    return glyph_sink;
}

void draw_text(std::string_view text, BitmapFont font, double x, double y, double z) {
    glRasterPos3d(x, y, z);
    for (const char c : text)
        glyph_sink(font, static_cast<unsigned char>(c));
}

void draw_text(std::u16string_view text, BitmapFont font, double x, double y, double z) {
    glRasterPos3d(x, y, z);
    for (const char16_t c : text)
        glyph_sink(font, static_cast<int>(c));
}

void draw_legend_text(const LegendText& t) {
    draw_text(t.text, t.title ? BitmapFont::Helvetica12 : BitmapFont::Helvetica10, t.x, t.y, 0.0);
}

void draw_node_points(const ResultModel& m, PieceChunks* keep) {
    const Rgba colour{0.35, 0.35, 0.35, 1};
    glColor4d(colour.r, colour.g, colour.b, colour.a);
    glPointSize(3);
    ArrayEmitter out(keep);
    PieceStyle style;
    style.mode = PieceMode::Points;
    style.point_size = 3;
    style.colour_per_vertex = false;
    style.colour = colour;
    out.set_style(style);
    for (std::int32_t n = 1; n <= m.nnode; ++n) {
        if (!m.node_drawn(static_cast<std::size_t>(n))) continue;
        out.vertex(node_position(m, n));
        out.piece_done();
    }
    out.flush();
}

void draw_mesh_outline(const ResultModel& m, const OutlineStyle& style, const NodePlacement& place,
                       PieceChunks* keep) {
    const Rgba colour{style.grey, style.grey, style.grey, style.opacity};
    glColor4d(colour.r, colour.g, colour.b, colour.a);
    glLineWidth(static_cast<GLfloat>(style.width));
    ArrayEmitter out(keep);
    PieceStyle lines;
    lines.mode = PieceMode::Lines;
    lines.line_width = static_cast<float>(style.width);
    lines.colour_per_vertex = false;
    lines.colour = colour;
    out.set_style(lines);
    for_each_outline(m, place, [&out](const Point3& a, const Point3& b) {
        out.vertex(a);
        out.vertex(b);
        out.piece_done();
    });
    out.flush();
}

void draw_node_numbers(const ResultModel& m) {
    glColor4d(0.35, 0.35, 0.35, 1);
    for (std::int32_t n = 1; n <= m.nnode; ++n) {
        if (!m.node_drawn(static_cast<std::size_t>(n))) continue;
        const Point3 p = node_number_anchor(m, n);
        draw_text(std::to_string(m.node_label(static_cast<std::size_t>(n))), BitmapFont::Helvetica10, p.x,
                  p.y, p.z);
    }
}

void draw_element_numbers(const ResultModel& m) {
    glColor4d(0.65, 0.65, 0.65, 1);
    for (std::size_t e = 1; e <= static_cast<std::size_t>(m.nelem); ++e)
        if (const auto p = element_number_anchor(m, e))
            draw_text(std::to_string(m.element_label(e)), BitmapFont::Helvetica10, p->x, p->y, p->z);
}

void draw_extreme_marks(const ResultModel& m, const ListExtremes& x, const NodePlacement& place) {
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glColor4d(0, 0, 0, 1);
    glPointSize(7);
    glBegin(GL_POINTS);
    for (const std::int32_t n : {x.min_node, x.max_node}) {
        const Point3 p = place.at(m, n);
        glVertex3d(p.x, p.y, p.z);
    }
    glEnd();
    const double h = m.maxscale / 500;
    const auto label = [&](std::u16string text, double value, std::int32_t node) {
        for (const char c : shortest_text(value))
            text += static_cast<char16_t>(static_cast<unsigned char>(c));
        const Point3 p = place.at(m, node);
        draw_text(text, BitmapFont::Helvetica12, p.x + h, p.y + h, p.z + h);
    };
    if (x.min_node == x.max_node) {
        label(u"m\u00EDn/m\u00E1x ", x.min, x.min_node);
    } else {
        label(u"m\u00EDn ", x.min, x.min_node);
        label(u"m\u00E1x ", x.max, x.max_node);
    }
    if (depth) glEnable(GL_DEPTH_TEST);
}

void draw_arrows(std::span<const NodeArrow> arrows, double scale, std::array<double, 2> range, bool banded,
                 bool negative, bool coloured) {
    struct GlSink : ArrowSink {
        std::array<double, 2> range;
        bool banded, negative, coloured;
        void segment(const Point3& a, const Point3& b, double magnitude) override {
            const Rgb c = coloured ? arrow_colour(magnitude, range, banded, negative) : Rgb{};
            glColor4d(c.r, c.g, c.b, 1);
            glVertex3d(a.x, a.y, a.z);
            glVertex3d(b.x, b.y, b.z);
        }
    } sink;
    sink.range = range;
    sink.banded = banded;
    sink.negative = negative;
    sink.coloured = coloured;
    glLineWidth(1);
    glBegin(GL_LINES);
    for (const NodeArrow& a : arrows)
        arrow_segments(a, scale, sink);
    glEnd();
}

} // namespace orv
