// Expat fills the tree. Content is not copied: the start and end handlers
// note the byte offsets around it, so that large ascii or base64 arrays are
// read straight from the caller's text.

#include "viewer/formats/xml_tree.h"

#include "viewer/formats/reader.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

namespace orv {

const std::string* XmlElement::attribute(std::string_view key) const {
    for (const auto& [k, v] : attributes)
        if (k == key) return &v;
    return nullptr;
}

std::vector<const XmlElement*> XmlTree::children(const XmlElement& parent, std::string_view name) const {
    std::vector<const XmlElement*> out;
    for (const std::size_t i : parent.children)
        if (elements[i].name == name) out.push_back(&elements[i]);
    return out;
}

const XmlElement* XmlTree::child(const XmlElement& parent, std::string_view name) const {
    for (const std::size_t i : parent.children)
        if (elements[i].name == name) return &elements[i];
    return nullptr;
}

long line_at(std::string_view text, std::size_t pos) {
    pos = std::min(pos, text.size());
    return 1 +
           static_cast<long>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
}

namespace {

// Large contents of DataArray elements are not given to the parser: it would
// spend most of a read on base64 or numbers it does not look at. A run of
// content is replaced by its own newlines, so that line numbers stay right
// (one blank when it has none), and the parser's byte offsets are mapped
// back to the text.
constexpr std::size_t kSkippedRun = std::size_t(1) << 16;

struct Skip {
    std::size_t fed_end = 0; // parser offset just after the replacement
    std::size_t delta = 0;   // text offset minus parser offset after it, this skip and those before
};

struct Builder {
    XML_Parser parser = nullptr;
    XmlTree tree;
    std::vector<std::size_t> open;
    std::size_t limit = 0; // bytes of the real text; synthetic end tags lie past it
    bool root_closed = false;
    std::vector<Skip> skips; // in parser order

    // The text offset of parser offset `fed`.
    std::size_t text_offset(std::size_t fed) const {
        const auto after = std::upper_bound(skips.begin(), skips.end(), fed,
                                            [](std::size_t f, const Skip& s) { return f < s.fed_end; });
        return after == skips.begin() ? fed : fed + std::prev(after)->delta;
    }
};

// Where the content of a `<DataArray ...>` start tag at `at` ends (the next
// '<'), when it is a long run the parser may skip: no entity reference in it.
// npos otherwise. The tag's end is found outside quoted attribute values.
std::size_t skippable_content(std::string_view text, std::size_t at, std::size_t& content_begin) {
    std::size_t p = at + 1;
    char quote = 0;
    for (; p < text.size(); ++p) {
        const char c = text[p];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        } else if (c == '<') {
            return std::string_view::npos;
        }
    }
    if (p >= text.size() || text[p - 1] == '/') return std::string_view::npos;
    content_begin = p + 1;
    std::size_t end = text.find('<', content_begin);
    if (end == std::string_view::npos) end = text.size();
    if (end - content_begin < kSkippedRun) return std::string_view::npos;
    if (std::memchr(text.data() + content_begin, '&', end - content_begin)) return std::string_view::npos;
    return end;
}

void on_start(void* user, const XML_Char* name, const XML_Char** atts) {
    auto& b = *static_cast<Builder*>(user);
    XmlElement e;
    e.name = name;
    for (const XML_Char** a = atts; a[0]; a += 2)
        e.attributes.emplace_back(a[0], a[1]);
    e.line = static_cast<long>(XML_GetCurrentLineNumber(b.parser));
    const auto at = static_cast<std::size_t>(XML_GetCurrentByteIndex(b.parser));
    e.tag_begin = b.text_offset(at);
    e.content_begin = e.content_end =
        b.text_offset(at + static_cast<std::size_t>(XML_GetCurrentByteCount(b.parser)));
    const std::size_t index = b.tree.elements.size();
    if (!b.open.empty()) b.tree.elements[b.open.back()].children.push_back(index);
    b.tree.elements.push_back(std::move(e));
    b.open.push_back(index);
}

void on_end(void* user, const XML_Char*) {
    auto& b = *static_cast<Builder*>(user);
    XmlElement& e = b.tree.elements[b.open.back()];
    auto at = b.text_offset(static_cast<std::size_t>(XML_GetCurrentByteIndex(b.parser)));
    if (!e.children.empty()) at = std::min(at, b.tree.elements[e.children.front()].tag_begin);
    e.content_end = std::min(std::max(at, e.content_begin), b.limit);
    e.content_begin = std::min(e.content_begin, e.content_end);
    b.open.pop_back();
}

} // namespace

XmlTree parse_xml(std::string_view text, const std::string& name, bool head_only) {
    const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr),
                                                                         XML_ParserFree);
    if (!parser) throw ReadError("Not enough memory to read " + name);
    Builder b;
    b.parser = parser.get();
    b.limit = text.size();
    XML_SetUserData(parser.get(), &b);
    XML_SetElementHandler(parser.get(), on_start, on_end);

    auto fail = [&] {
        throw ReadError(std::string("Malformed XML (") + XML_ErrorString(XML_GetErrorCode(parser.get())) +
                        ") at line " + std::to_string(XML_GetCurrentLineNumber(parser.get())) + " of " +
                        name);
    };
    constexpr std::size_t kPiece = 1u << 26; // XML_Parse takes an int length
    std::size_t fed = 0;                     // bytes given to the parser
    const auto feed = [&](std::string_view piece, bool last) {
        do {
            const std::size_t n = std::min(kPiece, piece.size());
            const bool end = last && n == piece.size();
            if (XML_Parse(parser.get(), piece.data(), static_cast<int>(n), end) != XML_STATUS_OK) fail();
            piece.remove_prefix(n);
            fed += n;
        } while (!piece.empty());
    };
    // A text in UTF-16 (or anything with NUL bytes up front) goes to the parser whole.
    const bool bytes_scan =
        text.size() < 2 || (text[0] != '\0' && text[1] != '\0' && static_cast<unsigned char>(text[0]) < 0xFE);
    std::size_t done = 0;
    for (std::size_t at = bytes_scan ? text.find("<DataArray") : std::string_view::npos;
         at != std::string_view::npos; at = text.find("<DataArray", at + 1)) {
        std::size_t begin = 0;
        const std::size_t end = skippable_content(text, at, begin);
        if (end == std::string_view::npos) continue;
        feed(text.substr(done, begin - done), false);
        // Its newlines, or one blank when it has none: never longer than the run, never empty.
        const std::size_t newlines = input::count_newlines(text.data() + begin, end - begin);
        const std::string blank = newlines ? std::string(newlines, '\n') : std::string(" ");
        feed(blank, false);
        b.skips.push_back({fed, (end - begin - blank.size()) + (b.skips.empty() ? 0 : b.skips.back().delta)});
        done = end;
        at = end - 1;
    }
    feed(text.substr(done), !head_only);
    if (head_only) {
        std::string tail;
        for (auto it = b.open.rbegin(); it != b.open.rend(); ++it)
            tail += "</" + b.tree.elements[*it].name + ">";
        if (XML_Parse(parser.get(), tail.data(), static_cast<int>(tail.size()), 1) != XML_STATUS_OK) fail();
    }
    if (b.tree.elements.empty()) throw ReadError("No XML element in " + name);
    return std::move(b.tree);
}

} // namespace orv
