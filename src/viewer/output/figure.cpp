#include "viewer/output/figure.h"

#include "viewer/model/name_text.h"

namespace orv {

std::u32string figure_title(const ResultModel& m, int list) {
    if (list >= 1 && list <= m.nlista && static_cast<std::size_t>(list) < m.namelista.size())
        return decode_name_bytes(m.namelista[static_cast<std::size_t>(list)]);
    const std::size_t slash = m.namefile.rfind('/');
    return decode_name_bytes(slash == std::string::npos ? m.namefile : m.namefile.substr(slash + 1));
}

std::u16string bitmap_text(std::u32string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char32_t c : text)
        out += c > 255 ? u'?' : c < 32 ? u' ' : static_cast<char16_t>(c);
    return out;
}

} // namespace orv
