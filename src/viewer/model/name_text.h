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

// `text` in the encoding of the current C locale's LC_CTYPE (set it with
// setlocale first); a character the locale cannot encode becomes '?'.
std::string to_locale_text(std::u32string_view text);

} // namespace orv
