#pragma once
// The colour scale as a 1D texture (colour_scale.h: scale_texels,
// scale_mapping), for pieces that carry their value as a texture coordinate.
// A GL context must be current for every call except forget.

#include "viewer/legend/colour_scale.h"

namespace orv {

class ScaleTexture {
  public:
    // Makes the texture hold these texels, uploading only when they differ
    // from the ones it holds (the texture is created on first use). Returns
    // true when it uploaded.
    bool set(const ScaleTexels& texels);
    // Uploads so far, for tests and diagnostics.
    long uploads() const { return uploads_; }
    bool created() const { return name_ != 0; }

    // Texturing on with this texture (linear filter, clamped to the edge,
    // GL_MODULATE: the vertex colour's alpha is the fill alpha) and the
    // texture matrix mapping a vertex coordinate t to scale * t + offset.
    void begin(const ScaleMapping& mapping) const;
    // Texturing off and the texture matrix back to the identity.
    static void end();

    void free();   // deletes the texture
    void forget(); // the context is gone: drops the name without a call

  private:
    unsigned name_ = 0;
    ScaleTexels texels_{};
    long uploads_ = 0;
};

} // namespace orv
