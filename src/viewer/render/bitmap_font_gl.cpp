#include "viewer/render/bitmap_font_gl.h"

#include <GL/gl.h>

namespace {

// freeglut's font record (its fonts are data symbols of libglut): 256 glyphs
// of `height` rows; glyph c is its advance width in pixels, then `height` rows
// of (width + 7) / 8 bytes, bottom row first, most significant bit leftmost.
struct FreeglutFont {
    const char* name;
    int quantity;
    int height;
    const GLubyte** characters;
    float xorig, yorig;
};

} // namespace

extern "C" {
extern const FreeglutFont fgFontHelvetica10;
extern const FreeglutFont fgFontHelvetica12;
}

namespace orv {

void draw_font_glyph(BitmapFont font, int character) {
    const FreeglutFont& f = font == BitmapFont::Helvetica12 ? fgFontHelvetica12 : fgFontHelvetica10;
    if (character < 1 || character > 255 || character >= f.quantity) return;
    const GLubyte* face = f.characters[character];
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBitmap(face[0], f.height, f.xorig, f.yorig, static_cast<float>(face[0]), 0.0f, face + 1);
    glPopClientAttrib();
}

} // namespace orv
