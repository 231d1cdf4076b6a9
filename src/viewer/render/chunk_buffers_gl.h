#pragma once
// Runs of pieces (piece_chunks.h) held in vertex buffer objects (OpenGL
// 1.5): uploaded once, drawn on every replay with the state their styles
// give. Textured runs take the texture and texture matrix the caller has
// bound (ScaleTexture::begin); this only switches 1D texturing on for them.
// A GL context must be current for every call except forget and the
// read-only ones; the destructor makes no call (the owner frees or forgets).

#include "viewer/render/piece_chunks.h"

#include <cstddef>
#include <vector>

namespace orv {

class ChunkBuffers {
  public:
    // Replaces the content with these runs (freeing the old buffers). On a
    // failure to allocate, the content is empty and std::bad_alloc is thrown.
    void upload(const PieceChunks& chunks);
    // Draws every run in order. fill_alpha is the alpha of textured runs and
    // of flat runs whose style says fill_alpha. Leaves blending, the fill
    // offset, the depth-range lift and texturing off, no buffer bound.
    void draw(double fill_alpha) const;

    void free();
    void forget();

    bool empty() const { return runs_.empty(); }
    std::size_t bytes() const { return bytes_; }
    std::size_t vertices() const;

  private:
    struct Run {
        PieceStyle style;
        unsigned buffer = 0;
        std::size_t vertices = 0;
    };
    std::vector<Run> runs_;
    std::size_t bytes_ = 0;
};

} // namespace orv
