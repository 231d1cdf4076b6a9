#include "viewer/render/bitmap_font_gl.h"

#include <GL/gl.h>

#include <vector>

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
extern const FreeglutFont fgFontHelvetica18;
}

namespace orv {
namespace {

const FreeglutFont& font_data(BitmapFont font) {
    switch (font) {
    case BitmapFont::Helvetica12:
        return fgFontHelvetica12;
    case BitmapFont::Helvetica18:
        return fgFontHelvetica18;
    case BitmapFont::Helvetica10:
        break;
    }
    return fgFontHelvetica10;
}

// The glyph's record, or null for a character the font does not draw.
const GLubyte* glyph_of(const FreeglutFont& f, int character) {
    if (character < 1 || character > 255 || character >= f.quantity) return nullptr;
    return f.characters[character];
}

// glBitmap with the pixel-store state glutBitmapCharacter sets.
void bitmap(int width, int height, float xorig, float yorig, float advance, const GLubyte* rows) {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBitmap(width, height, xorig, yorig, advance, 0.0f, rows);
    glPopClientAttrib();
}

} // namespace

void draw_font_glyph(BitmapFont font, int character) {
    const FreeglutFont& f = font_data(font);
    const GLubyte* face = glyph_of(f, character);
    if (!face) return;
    bitmap(face[0], f.height, f.xorig, f.yorig, static_cast<float>(face[0]), face + 1);
}

void draw_font_glyph_2x(BitmapFont font, int character) {
    const FreeglutFont& f = font_data(font);
    const GLubyte* face = glyph_of(f, character);
    if (!face) return;
    const int w = face[0], h = f.height;
    const int in_row = (w + 7) / 8, out_row = (2 * w + 7) / 8;
    std::vector<GLubyte> rows(static_cast<std::size_t>(out_row) * static_cast<std::size_t>(2 * h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!(face[1 + y * in_row + x / 8] & (0x80 >> (x % 8)))) continue;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const int X = 2 * x + dx;
                    rows[static_cast<std::size_t>((2 * y + dy) * out_row + X / 8)] |=
                        static_cast<GLubyte>(0x80 >> (X % 8));
                }
        }
    bitmap(2 * w, 2 * h, 2 * f.xorig, 2 * f.yorig, static_cast<float>(2 * w), rows.data());
}

int bitmap_text_width(BitmapFont font, std::u16string_view text) {
    const FreeglutFont& f = font_data(font);
    int width = 0;
    for (const char16_t c : text)
        if (const GLubyte* face = glyph_of(f, static_cast<int>(c))) width += face[0];
    return width;
}

} // namespace orv
