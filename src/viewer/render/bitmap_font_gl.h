#pragma once
// The glyphs of GLUT's Helvetica 10 and 12 bitmap fonts drawn with glBitmap
// straight from the font data that freeglut exports, without glutInit and so
// without a display. Each character is the same glBitmap call, with the same
// pixel-store state, that glutBitmapCharacter makes, so the pictures are the
// same pixel for pixel.

#include "viewer/render/mesh_gl.h"

namespace orv {

// A GlyphSink (mesh_gl.h): draws `character` (1..255; others draw nothing) at
// the current raster position and advances it by the glyph's width.
void draw_font_glyph(BitmapFont font, int character);

} // namespace orv
