// Expat fills the tree. Content is not copied: the start and end handlers
// note the byte offsets around it, so that large ascii or base64 arrays are
// read straight from the caller's text.

#include "viewer/formats/xml_tree.h"

#include "viewer/formats/reader.h"

#include <expat.h>

#include <algorithm>
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

struct Builder {
    XML_Parser parser = nullptr;
    XmlTree tree;
    std::vector<std::size_t> open;
    std::size_t limit = 0; // bytes of the real text; synthetic end tags lie past it
    bool root_closed = false;
};

void on_start(void* user, const XML_Char* name, const XML_Char** atts) {
    auto& b = *static_cast<Builder*>(user);
    XmlElement e;
    e.name = name;
    for (const XML_Char** a = atts; a[0]; a += 2)
        e.attributes.emplace_back(a[0], a[1]);
    e.line = static_cast<long>(XML_GetCurrentLineNumber(b.parser));
    const auto at = static_cast<std::size_t>(XML_GetCurrentByteIndex(b.parser));
    e.tag_begin = at;
    e.content_begin = e.content_end = at + static_cast<std::size_t>(XML_GetCurrentByteCount(b.parser));
    const std::size_t index = b.tree.elements.size();
    if (!b.open.empty()) b.tree.elements[b.open.back()].children.push_back(index);
    b.tree.elements.push_back(std::move(e));
    b.open.push_back(index);
}

void on_end(void* user, const XML_Char*) {
    auto& b = *static_cast<Builder*>(user);
    XmlElement& e = b.tree.elements[b.open.back()];
    auto at = static_cast<std::size_t>(XML_GetCurrentByteIndex(b.parser));
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
    std::size_t done = 0;
    do {
        const std::size_t n = std::min(kPiece, text.size() - done);
        const bool last = !head_only && done + n == text.size();
        if (XML_Parse(parser.get(), text.data() + done, static_cast<int>(n), last) != XML_STATUS_OK) fail();
        done += n;
    } while (done < text.size());
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
