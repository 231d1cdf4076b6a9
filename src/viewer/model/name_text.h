#pragma once
// List names are 8-bit text of unknown code page, kept as the file's bytes.
// They are shown as UTF-8 when the bytes are valid UTF-8, otherwise as
// Latin-1, which maps every byte to a character (the window does the same).

#include <string>
#include <string_view>

namespace orv {

// The characters of an 8-bit name: its UTF-8 decoding when `bytes` is valid
// UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF), else one
// character per byte (Latin-1).
std::u32string decode_name_bytes(std::string_view bytes);

// `bytes` with every byte below 0x20 and 0x7F written as \xHH (upper-case
// hex), everything else as it is: what a message shows of a file name, a list
// name or any text taken from a file, so that it cannot drive a terminal (an
// ESC rewrites the screen, a CR overwrites the line) or break its line. Kept
// in this header so that every tier can use it without linking the model.
inline std::string escape_control_bytes(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// `text` in the encoding of the current C locale's LC_CTYPE (set it with
// setlocale first); a character the locale cannot encode becomes '?'.
std::string to_locale_text(std::u32string_view text);

} // namespace orv
