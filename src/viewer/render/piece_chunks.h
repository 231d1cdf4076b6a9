#pragma once
// Geometry of a display list as plain arrays: the pieces handed to OpenGL in
// one glDrawArrays each, kept (when asked for) so that a coarse version of
// the list can be built from them without OpenGL and without the model.

#include "viewer/legend/colour_scale.h"

#include <cstddef>
#include <vector>

namespace orv {

enum class PieceMode { Points, Lines, Triangles };

inline int vertices_per_piece(PieceMode mode) {
    return mode == PieceMode::Points ? 1 : (mode == PieceMode::Lines ? 2 : 3);
}

// The drawing state a run of pieces needs. The full lists set it with their
// own calls; a coarse list sets it again from here for each run.
struct PieceStyle {
    PieceMode mode = PieceMode::Triangles;
    bool blend = false;  // GL_BLEND with (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
    bool offset = false; // filled pieces pushed back (begin_fill_offset)
    bool lift = false;   // segments drawn with the lifted depth range (lift_segments)
    float line_width = 1;
    float point_size = 1;
    bool colour_per_vertex = true;
    Rgba colour; // when !colour_per_vertex and !textured
    // Coloured by the scale texture: one texture coordinate per vertex (tex),
    // the texture and its matrix set by the drawer; no per-vertex colour.
    bool textured = false;
    // The alpha of `colour` (or of textured pieces) is the fill alpha in
    // force when drawn, not colour.a: transparency changes need no rebuild.
    bool fill_alpha = false;
    friend bool operator==(const PieceStyle&, const PieceStyle&) = default;
};

// A run of whole pieces of one style: xyz holds 3 floats per vertex, rgba 4
// per vertex when the style has a colour per vertex (empty otherwise), tex 1
// per vertex when it is textured (empty otherwise).
struct PieceChunk {
    PieceStyle style;
    std::vector<float> xyz;
    std::vector<float> rgba;
    std::vector<float> tex;

    std::size_t vertices() const { return xyz.size() / 3; }
    // Bytes of vertex data (what a display list or buffer holds of it, at least).
    std::size_t bytes() const { return (xyz.size() + rgba.size() + tex.size()) * sizeof(float); }
};

// Vertices per run: a multiple of 2 and 3, so runs hold whole pieces.
inline constexpr std::size_t kRunVertices = 6 * 10923;

using PieceChunks = std::vector<PieceChunk>;

inline std::size_t chunk_vertices(const PieceChunks& chunks) {
    std::size_t n = 0;
    for (const PieceChunk& c : chunks)
        n += c.vertices();
    return n;
}

inline std::size_t chunk_bytes(const PieceChunks& chunks) {
    std::size_t n = 0;
    for (const PieceChunk& c : chunks)
        n += c.bytes();
    return n;
}

} // namespace orv
