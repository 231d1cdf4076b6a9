#include "viewer/model/name_text.h"

#include <climits>
#include <cwchar>

namespace orv {

namespace {

// Decodes `bytes` as strict UTF-8; false on the first malformed sequence.
bool decode_utf8(std::string_view bytes, std::u32string& out) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        char32_t cp = 0, least = 0;
        if (c < 0x80) {
            out += c;
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= bytes.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        out += cp;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

} // namespace

std::u32string decode_name_bytes(std::string_view bytes) {
    std::u32string text;
    if (decode_utf8(bytes, text)) return text;
    text.clear();
    for (const char b : bytes)
        text += static_cast<char32_t>(static_cast<unsigned char>(b));
    return text;
}

std::string to_locale_text(std::u32string_view text) {
    static_assert(sizeof(wchar_t) == 4, "wide characters hold code points");
    std::string out;
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (const char32_t c : text) {
        const std::size_t n = std::wcrtomb(buf, static_cast<wchar_t>(c), &state);
        if (n == static_cast<std::size_t>(-1)) {
            state = std::mbstate_t{};
            out += '?';
        } else {
            out.append(buf, n);
        }
    }
    return out;
}

} // namespace orv
