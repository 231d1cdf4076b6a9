#include "viewer/render/chunk_buffers_gl.h"

#include "viewer/render/colour_list_gl.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <new>

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

} // namespace

void ChunkBuffers::upload(const PieceChunks& chunks) {
    free();
    for (const PieceChunk& c : chunks) {
        if (c.xyz.empty()) continue;
        Run run;
        run.style = c.style;
        run.vertices = c.vertices();
        GLuint name = 0;
        glGenBuffers(1, &name);
        run.buffer = name;
        runs_.push_back(run);
        // Positions, then the colours or texture coordinates of the run.
        const auto xyz = static_cast<GLsizeiptr>(c.xyz.size() * sizeof(float));
        const auto extra = static_cast<GLsizeiptr>((c.rgba.size() + c.tex.size()) * sizeof(float));
        glBindBuffer(GL_ARRAY_BUFFER, name);
        while (glGetError() != GL_NO_ERROR) {
        }
        glBufferData(GL_ARRAY_BUFFER, xyz + extra, nullptr, GL_STATIC_DRAW);
        if (glGetError() == GL_OUT_OF_MEMORY) {
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            free();
            throw std::bad_alloc();
        }
        glBufferSubData(GL_ARRAY_BUFFER, 0, xyz, c.xyz.data());
        if (!c.rgba.empty()) glBufferSubData(GL_ARRAY_BUFFER, xyz, extra, c.rgba.data());
        if (!c.tex.empty()) glBufferSubData(GL_ARRAY_BUFFER, xyz, extra, c.tex.data());
        bytes_ += static_cast<std::size_t>(xyz + extra);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void ChunkBuffers::draw(double fill_alpha) const {
    if (runs_.empty()) return;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    for (const Run& r : runs_) {
        const PieceStyle& s = r.style;
        if (s.blend) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        if (s.offset) begin_fill_offset();
        lift_segments(s.lift);
        glLineWidth(s.line_width);
        glPointSize(s.point_size);
        const auto after_xyz = reinterpret_cast<const void*>(r.vertices * 3 * sizeof(float));
        glBindBuffer(GL_ARRAY_BUFFER, r.buffer);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        if (s.textured) {
            glEnable(GL_TEXTURE_1D);
            glColor4d(1, 1, 1, fill_alpha);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(1, GL_FLOAT, 0, after_xyz);
        } else if (s.colour_per_vertex) {
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(4, GL_FLOAT, 0, after_xyz);
        } else {
            glColor4d(s.colour.r, s.colour.g, s.colour.b, s.fill_alpha ? fill_alpha : s.colour.a);
        }
        glDrawArrays(gl_mode(s.mode), 0, static_cast<GLsizei>(r.vertices));
        if (s.textured) {
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisable(GL_TEXTURE_1D);
        }
        if (s.colour_per_vertex) glDisableClientState(GL_COLOR_ARRAY);
        if (s.offset) end_fill_offset();
        lift_segments(false);
        if (s.blend) glDisable(GL_BLEND);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glPopClientAttrib();
}

void ChunkBuffers::free() {
    for (const Run& r : runs_) {
        const GLuint name = r.buffer;
        glDeleteBuffers(1, &name);
    }
    forget();
}

void ChunkBuffers::forget() {
    runs_.clear();
    bytes_ = 0;
}

std::size_t ChunkBuffers::vertices() const {
    std::size_t n = 0;
    for (const Run& r : runs_)
        n += r.vertices;
    return n;
}

} // namespace orv
