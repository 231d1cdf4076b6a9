// The element tree over an XML text: where tags and contents lie and on which
// line, also when long DataArray contents are kept from the parser.
#include "viewer/formats/read_core.h"
#include "viewer/formats/xml_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// `n` bytes of base64-like text; with `line`, a newline every `line` bytes.
std::string payload(std::size_t n, std::size_t line = 0) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += line && i % line == line - 1 ? '\n' : "ABCDEFGHabcdefgh01234567+/"[i % 26];
    return s;
}

TEST(XmlTree, OffsetsAndLinesHoldAroundLongContents) {
    const std::size_t big = 70000; // longer than any run the parser reads
    struct Case {
        const char* what;
        std::vector<std::string> contents; // of the DataArrays, in order
    };
    const std::vector<Case> cases = {
        {"short contents", {"1 2 3", "\n 4 5\n"}},
        {"one long line", {payload(big)}},
        {"long lines of 76", {payload(big, 76), "7 8"}},
        {"only newlines", {std::string(big, '\n'), payload(big, 80)}},
        {"an entity keeps the run with the parser", {payload(big) + "&amp;", payload(big, 64)}},
    };
    for (const Case& c : cases) {
        std::string text = "<?xml version=\"1.0\"?>\n<VTKFile a='x>y'>\n<Piece>\n";
        for (const std::string& content : c.contents)
            text += "<DataArray Name=\"a>b\" format=\"binary\">" + content + "</DataArray>\n<Empty/>\n";
        text += "</Piece>\n</VTKFile>\n";
        const orv::XmlTree tree = orv::parse_xml(text, "t.vtu");
        std::size_t k = 0;
        for (const orv::XmlElement& e : tree.elements) {
            EXPECT_EQ(text.compare(e.tag_begin, e.name.size() + 1, "<" + e.name), 0)
                << c.what << " " << e.name;
            EXPECT_EQ(e.line, orv::line_at(text, e.tag_begin)) << c.what << " " << e.name;
            if (e.name != "DataArray") continue;
            ASSERT_LT(k, c.contents.size()) << c.what;
            EXPECT_TRUE(text.substr(e.content_begin, e.content_end - e.content_begin) == c.contents[k])
                << c.what << ": content of DataArray " << k;
            ++k;
        }
        EXPECT_EQ(k, c.contents.size()) << c.what;
    }
}

// A fault after a long content is reported on its own line.
TEST(XmlTree, FaultAfterALongContentNamesItsLine) {
    const std::string text =
        "<VTKFile>\n<DataArray>" + payload(70000, 100) + "</DataArray>\n<Bad>\n</VTKFile>\n";
    try {
        orv::parse_xml(text, "t.vtu");
        ADD_FAILURE() << "parsed";
    } catch (const orv::ReadError& e) {
        const long line = orv::line_at(text, text.find("</VTKFile>"));
        EXPECT_NE(std::string(e.what()).find("at line " + std::to_string(line) + " of t.vtu"),
                  std::string::npos)
            << e.what();
    }
}

} // namespace
