#pragma once
// The glyphs of GLUT's Helvetica bitmap fonts drawn with glBitmap straight
// from the font data that freeglut exports, without glutInit and so without a
// display. Each character is the same glBitmap call, with the same
// pixel-store state, that glutBitmapCharacter makes, so the pictures are the
// same pixel for pixel.

#include "viewer/render/mesh_gl.h"

#include <string_view>

namespace orv {

// A GlyphSink (mesh_gl.h): draws `character` (1..255; others draw nothing) at
// the current raster position and advances it by the glyph's width.
void draw_font_glyph(BitmapFont font, int character);

// The same glyph at twice its size: every bit of the glyph becomes 2 x 2
// pixels, its origin and advance doubled (text of a figure drawn at 2x).
void draw_font_glyph_2x(BitmapFont font, int character);

// Width in pixels of `text` drawn at 1x: the sum of its glyphs' advances.
int bitmap_text_width(BitmapFont font, std::u16string_view text);

} // namespace orv
