#pragma once
// Pieces handed to OpenGL as vertex and colour arrays (glDrawArrays, OpenGL
// 1.1) instead of one glVertex/glColor call each. Inside glNewList the
// arrays are copied into the list at the call, so a display list filled this
// way draws exactly what the same pieces between glBegin and glEnd draw (the
// same primitives in the same order, positions and colours rounded to float
// as glVertex3d and glColor4d round them), with a fraction of the calls.
//
// The caller issues the surrounding state (colour, widths, blending, depth
// range) itself, between runs: set_style ends the current run first.

#include "viewer/render/element_geometry.h"
#include "viewer/render/piece_chunks.h"

namespace orv {

class ArrayEmitter {
  public:
    // keep: when given, every run drawn is also appended there (for the
    // coarse version of the list); otherwise one buffer is reused.
    explicit ArrayEmitter(PieceChunks* keep = nullptr);
    ~ArrayEmitter();
    ArrayEmitter(const ArrayEmitter&) = delete;
    ArrayEmitter& operator=(const ArrayEmitter&) = delete;

    // Starts a run of this style (drawing the current one first) unless the
    // style is the current one.
    void set_style(const PieceStyle& style);
    const PieceStyle& style() const { return chunk_.style; }

    void vertex(const Point3& p) {
        chunk_.xyz.push_back(static_cast<float>(p.x));
        chunk_.xyz.push_back(static_cast<float>(p.y));
        chunk_.xyz.push_back(static_cast<float>(p.z));
    }
    void vertex(const Point3& p, const Rgba& c) {
        vertex(p);
        chunk_.rgba.push_back(static_cast<float>(c.r));
        chunk_.rgba.push_back(static_cast<float>(c.g));
        chunk_.rgba.push_back(static_cast<float>(c.b));
        chunk_.rgba.push_back(static_cast<float>(c.a));
    }
    // Call after each whole piece: draws the run once it is long enough.
    void piece_done() {
        if (chunk_.xyz.size() >= kRunFloats) flush();
    }
    // Draws what is pending.
    void flush();

    // Vertices drawn so far.
    std::size_t vertices() const { return drawn_ + chunk_.vertices(); }

  private:
    static constexpr std::size_t kRunFloats = 3 * kRunVertices;
    PieceChunks* keep_;
    PieceChunk chunk_;
    std::size_t drawn_ = 0;
};

// Draws chunks with the state their styles give (the coarse lists), leaving
// blending, the fill offset and the depth-range lift off.
void draw_piece_chunks(const PieceChunks& chunks);

} // namespace orv
