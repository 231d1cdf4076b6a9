#include "viewer/render/array_emitter_gl.h"

#include "viewer/render/colour_list_gl.h"

#include <GL/gl.h>

namespace orv {

namespace {

GLenum gl_mode(PieceMode mode) {
    switch (mode) {
    case PieceMode::Points:
        return GL_POINTS;
    case PieceMode::Lines:
        return GL_LINES;
    default:
        return GL_TRIANGLES;
    }
}

// Client-side array state is not part of a display list: it is set and
// dropped here, around each draw, and never left enabled.
void draw_arrays(const PieceChunk& c) {
    if (c.xyz.empty()) return;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, c.xyz.data());
    if (c.style.colour_per_vertex) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, c.rgba.data());
    }
    glDrawArrays(gl_mode(c.style.mode), 0, static_cast<GLsizei>(c.vertices()));
    glPopClientAttrib();
}

} // namespace

ArrayEmitter::ArrayEmitter(PieceChunks* keep) : keep_(keep) {}

ArrayEmitter::~ArrayEmitter() = default;

void ArrayEmitter::set_style(const PieceStyle& style) {
    if (style == chunk_.style) return;
    flush();
    chunk_.style = style;
}

void ArrayEmitter::flush() {
    if (chunk_.xyz.empty()) return;
    draw_arrays(chunk_);
    drawn_ += chunk_.vertices();
    if (keep_) {
        keep_->push_back(std::move(chunk_));
        chunk_.xyz = {};
        chunk_.rgba = {};
        chunk_.xyz.reserve(kRunFloats);
        if (chunk_.style.colour_per_vertex) chunk_.rgba.reserve(4 * kRunVertices);
    } else {
        chunk_.xyz.clear();
        chunk_.rgba.clear();
    }
}

void draw_piece_chunks(const PieceChunks& chunks) {
    for (const PieceChunk& c : chunks) {
        if (c.xyz.empty()) continue;
        if (c.style.blend) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        if (c.style.offset) begin_fill_offset();
        lift_segments(c.style.lift);
        glLineWidth(c.style.line_width);
        glPointSize(c.style.point_size);
        if (!c.style.colour_per_vertex)
            glColor4d(c.style.colour.r, c.style.colour.g, c.style.colour.b, c.style.colour.a);
        draw_arrays(c);
        if (c.style.offset) end_fill_offset();
        lift_segments(false);
        if (c.style.blend) glDisable(GL_BLEND);
    }
}

} // namespace orv
