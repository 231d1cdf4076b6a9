#include "viewer/render/mesh_gl.h"

#include "viewer/legend/colour_scale.h"
#include "viewer/model/number_text.h"
#include "viewer/render/array_emitter_gl.h"
#include "viewer/render/bitmap_font_gl.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

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

namespace {

// Where a point of the model lands in the window: pixels (origin bottom left)
// and window depth, through the matrices and viewport in force.
struct WindowPoint {
    double x = 0, y = 0, depth = 0;
    bool in_front = false; // inside the view volume's depth range
};

WindowPoint to_window(const Point3& p, const GLdouble* modelview, const GLdouble* projection,
                      const GLint* viewport) {
    const double in[4] = {p.x, p.y, p.z, 1};
    double eye[4], clip[4];
    for (int r = 0; r < 4; ++r)
        eye[r] =
            modelview[r] * in[0] + modelview[4 + r] * in[1] + modelview[8 + r] * in[2] + modelview[12 + r];
    for (int r = 0; r < 4; ++r)
        clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] +
                  projection[12 + r] * eye[3];
    WindowPoint w;
    if (clip[3] == 0) return w;
    const double nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
    w.x = viewport[0] + (nx + 1) / 2 * viewport[2];
    w.y = viewport[1] + (ny + 1) / 2 * viewport[3];
    w.depth = (nz + 1) / 2;
    w.in_front = nz >= -1 && nz <= 1;
    return w;
}

// True when the clip plane in force removes the point (glClipPlane keeps
// a x + b y + c z + d >= 0 in eye coordinates).
bool clipped_away(const Point3& p, const GLdouble* modelview) {
    if (!glIsEnabled(GL_CLIP_PLANE0)) return false;
    GLdouble plane[4];
    glGetClipPlane(GL_CLIP_PLANE0, plane);
    double eye[3];
    for (int r = 0; r < 3; ++r)
        eye[r] = modelview[r] * p.x + modelview[4 + r] * p.y + modelview[8 + r] * p.z + modelview[12 + r];
    return plane[0] * eye[0] + plane[1] * eye[1] + plane[2] * eye[2] + plane[3] < 0;
}

// The depth buffer at pixel (x, y) and the pixels next to it inside the viewport.
std::vector<float> depths_around(int x, int y, const GLint* viewport) {
    std::vector<float> out;
    for (int j = y - 1; j <= y + 1; ++j)
        for (int i = x - 1; i <= x + 1; ++i) {
            if (i < viewport[0] || j < viewport[1] || i >= viewport[0] + viewport[2] ||
                j >= viewport[1] + viewport[3])
                continue;
            GLfloat d = 1;
            glReadPixels(i, j, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &d);
            out.push_back(d);
        }
    return out;
}

void fill_box(const PixelBox& b) {
    glRecti(b.x, b.y, b.x + b.width, b.y + b.height);
}

void outline_box(double x0, double y0, double x1, double y1) {
    glBegin(GL_LINE_LOOP);
    glVertex2d(x0, y0);
    glVertex2d(x1, y0);
    glVertex2d(x1, y1);
    glVertex2d(x0, y1);
    glEnd();
}

} // namespace

void draw_extreme_marks(const ResultModel& m, const ListExtremes& x, const NodePlacement& place,
                        bool scientific) {
    GLdouble modelview[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int scale = current_glyph_sink() == draw_font_glyph_2x ? 2 : 1;

    struct Mark {
        std::int32_t node;
        std::u16string text;
        WindowPoint at;
        bool hidden = false;
    };
    std::vector<Mark> marks;
    if (x.min_node == x.max_node) {
        marks.push_back({x.min_node, extreme_label(ExtremeEnd::Both, x.min, scientific), {}});
    } else {
        marks.push_back({x.min_node, extreme_label(ExtremeEnd::Min, x.min, scientific), {}});
        marks.push_back({x.max_node, extreme_label(ExtremeEnd::Max, x.max, scientific), {}});
    }
    // Visibility is read from the depth buffer before anything of the marks
    // is drawn. The tolerance, the window depth of 1 % of the model's size
    // (orthographic view: depth is linear in the eye's z), covers a steep
    // surface meeting the node within its pixel; what hides a node lies much
    // further in front.
    const bool depth_tested = glIsEnabled(GL_DEPTH_TEST);
    const double eye_z_per_unit = std::hypot(modelview[2], modelview[6], modelview[10]);
    const double tolerance = std::max(0.01 * x.size * eye_z_per_unit * std::abs(projection[10]) / 2, 1e-6);
    for (Mark& k : marks) {
        const Point3 p = place.at(m, k.node);
        k.at = to_window(p, modelview, projection, viewport);
        const auto px = static_cast<int>(std::floor(k.at.x)), py = static_cast<int>(std::floor(k.at.y));
        k.hidden = !k.at.in_front || clipped_away(p, modelview) ||
                   (depth_tested && extreme_hidden(k.at.depth, depths_around(px, py, viewport), tolerance));
    }

    // The marks and labels are drawn in window pixels, over the model.
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_POINT_BIT | GL_LINE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CLIP_PLANE0);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POINT_SMOOTH);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(viewport[0], viewport[0] + viewport[2], viewport[1], viewport[1] + viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glLineWidth(1);
    constexpr double kHiddenGrey = 0.45;
    for (const Mark& k : marks) {
        const double half = 3.5 * scale;
        const double cx = std::floor(k.at.x) + 0.5, cy = std::floor(k.at.y) + 0.5;
        if (k.hidden) {
            // A hollow grey square: the node lies behind the model or is cut away.
            glColor3d(kHiddenGrey, kHiddenGrey, kHiddenGrey);
            outline_box(cx - half + 0.5, cy - half + 0.5, cx + half - 0.5, cy + half - 0.5);
        } else {
            glColor3d(0, 0, 0);
            glPointSize(static_cast<GLfloat>(7 * scale));
            glBegin(GL_POINTS);
            glVertex2d(cx, cy);
            glEnd();
        }
        const LabelPlace l =
            extreme_label_place(static_cast<int>(std::floor(k.at.x)), static_cast<int>(std::floor(k.at.y)),
                                bitmap_text_width(BitmapFont::Helvetica12, k.text), scale);
        // A light box makes the text readable on any colour of the scale.
        glColor3d(0.97, 0.97, 0.94);
        fill_box(l.box);
        const double g = k.hidden ? kHiddenGrey : 0.2;
        glColor3d(g, g, g);
        outline_box(l.box.x + 0.5, l.box.y + 0.5, l.box.x + l.box.width - 0.5, l.box.y + l.box.height - 0.5);
        const double t = k.hidden ? kHiddenGrey : 0;
        glColor3d(t, t, t);
        draw_text(k.text, BitmapFont::Helvetica12, l.text_x + 0.25, l.text_y + 0.25, 0);
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
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
