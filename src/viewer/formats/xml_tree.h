#pragma once
// A small element tree over an XML text, for readers that need the tags,
// their attributes and where each element's content lies in the text, but
// parse the content themselves (numbers, base64). The parser library stays
// inside xml_tree.cpp.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv {

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    long line = 0;             // 1-based line of the start tag
    std::size_t tag_begin = 0; // byte of `text` where the start tag begins
    // Bytes of `text` after the start tag, up to the end tag or the first
    // child element, whichever comes first (empty for <a/>).
    std::size_t content_begin = 0;
    std::size_t content_end = 0;
    std::vector<std::size_t> children; // indices into XmlTree::elements

    // The attribute's value, or nullptr when the element has none of that name.
    const std::string* attribute(std::string_view key) const;
};

struct XmlTree {
    std::vector<XmlElement> elements; // [0] is the root element

    const XmlElement& root() const { return elements.front(); }
    // Children of `parent` named `name`, in document order.
    std::vector<const XmlElement*> children(const XmlElement& parent, std::string_view name) const;
    const XmlElement* child(const XmlElement& parent, std::string_view name) const;
};

// Parses `text`. With `head_only`, `text` is the head of a document that is
// cut right after a start tag: the elements still open there are closed as
// if their end tags followed. Throws ReadError naming `name` and the line on
// malformed XML.
XmlTree parse_xml(std::string_view text, const std::string& name, bool head_only = false);

// 1-based line of byte `pos` of `text`.
long line_at(std::string_view text, std::size_t pos);

} // namespace orv
