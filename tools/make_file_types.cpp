// Writes the installed file-type lists from the reader's table of formats
// (src/viewer/formats/formats.cpp), so that they cannot drift from what the
// reader opens:
//
//   make_file_types MIME_XML DESKTOP_IN DESKTOP_OUT METAINFO_IN METAINFO_OUT
//
// MIME_XML is the shared-mime-info package (share/mime/packages); the
// desktop entry's "@MIME_TYPES@" becomes the types joined by ';' and the
// metainfo's line "@MEDIATYPES@" one <mediatype> line per type.
//
// The native format's extension, .txt, is every text's: its type is given
// by content alone (no glob), so that a text file stays text/plain. The
// descriptions below must name exactly the types of the format rows: one
// missing or left over stops the build.

#include "viewer/formats/formats.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct TypeText {
    const char* type;
    const char* comment;
    const char* comment_pt;
    const char* sub_class_of; // nullptr: none
    const char* magic;        // the <magic> element, nullptr: none
};

// The native file: a free title line, then a "#" marker line within the
// first 200 bytes, and the counts (a digit, or a sign, opening a line) soon
// after it. Taken only where no name pattern decides.
constexpr const char* kNativeMagic = R"(    <magic priority="40">
      <match type="string" value="\n#" offset="0:200">
        <match type="string" value="\n0" offset="0:400"/>
        <match type="string" value="\n1" offset="0:400"/>
        <match type="string" value="\n2" offset="0:400"/>
        <match type="string" value="\n3" offset="0:400"/>
        <match type="string" value="\n4" offset="0:400"/>
        <match type="string" value="\n5" offset="0:400"/>
        <match type="string" value="\n6" offset="0:400"/>
        <match type="string" value="\n7" offset="0:400"/>
        <match type="string" value="\n8" offset="0:400"/>
        <match type="string" value="\n9" offset="0:400"/>
      </match>
    </magic>
)";

const TypeText kTypes[] = {
    {"application/x-orvanel-results", "Orvanel result file", "Arquivo de resultados do Orvanel", "text/plain",
     kNativeMagic},
    {"application/x-vtk", "VTK legacy data file", "Arquivo de dados VTK (legado)", nullptr,
     "    <magic priority=\"60\">\n"
     "      <match type=\"string\" value=\"# vtk DataFile Version\" offset=\"0\"/>\n"
     "    </magic>\n"},
    {"application/x-vtk-unstructured-grid", "VTK XML unstructured grid", "Malha não estruturada VTK XML",
     "application/xml", nullptr},
    {"application/x-vtk-polydata", "VTK XML polygonal data", "Dados poligonais VTK XML", "application/xml",
     nullptr},
    {"application/x-vtk-collection", "VTK XML data collection (time series)",
     "Coleção de dados VTK XML (série temporal)", "application/xml", nullptr},
    {"application/x-vtk-parallel-unstructured-grid", "VTK XML parallel unstructured grid",
     "Malha não estruturada paralela VTK XML", "application/xml", nullptr},
    {"application/x-gmsh-mesh", "Gmsh mesh", "Malha do Gmsh", nullptr,
     "    <magic priority=\"60\">\n"
     "      <match type=\"string\" value=\"$MeshFormat\" offset=\"0:16\"/>\n"
     "    </magic>\n"},
    {"application/x-calculix-frd", "CalculiX result file", "Arquivo de resultados do CalculiX", nullptr,
     "    <magic priority=\"60\">\n"
     "      <match type=\"string\" value=\"    1C\" offset=\"0\"/>\n"
     "      <match type=\"string\" value=\"    1U\" offset=\"0\"/>\n"
     "      <match type=\"string\" value=\"    2C\" offset=\"0\"/>\n"
     "    </magic>\n"},
    // netCDF's classic, 64-bit offset and CDF5 forms, and netCDF-4 (HDF5).
    {"application/x-exodus-ii", "Exodus II finite-element file", "Arquivo de elementos finitos Exodus II",
     nullptr,
     "    <magic priority=\"60\">\n"
     "      <match type=\"string\" value=\"CDF\\001\" offset=\"0\"/>\n"
     "      <match type=\"string\" value=\"CDF\\002\" offset=\"0\"/>\n"
     "      <match type=\"string\" value=\"CDF\\005\" offset=\"0\"/>\n"
     "      <match type=\"string\" value=\"\\211HDF\" offset=\"0\"/>\n"
     "    </magic>\n"},
    {"application/x-xdmf", "XDMF data file", "Arquivo de dados XDMF", "application/xml", nullptr},
};

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// Each type of the rows once, in row order, with the extensions globbed for it.
struct Row {
    std::string type;
    std::vector<std::string> globs;
};

bool read_file(const char* path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

bool write_file(const char* path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

bool replace(std::string& text, const std::string& key, const std::string& value, const char* path) {
    const std::size_t at = text.find(key);
    if (at == std::string::npos) {
        std::fprintf(stderr, "make_file_types: %s lacks %s\n", path, key.c_str());
        return false;
    }
    text.replace(at, key.size(), value);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: make_file_types MIME_XML DESKTOP_IN DESKTOP_OUT METAINFO_IN METAINFO_OUT\n");
        return 2;
    }
    std::vector<Row> rows;
    bool native = true;
    for (const orv::Format& f : orv::formats()) {
        const auto exts = words(f.extensions);
        const auto types = words(f.mime_types ? f.mime_types : "");
        if (exts.size() != types.size()) {
            std::fprintf(stderr, "make_file_types: format %s has %zu extensions and %zu types\n", f.name,
                         exts.size(), types.size());
            return 1;
        }
        for (std::size_t i = 0; i < types.size(); ++i) {
            Row* row = nullptr;
            for (Row& r : rows)
                if (r.type == types[i]) row = &r;
            if (!row) row = &rows.emplace_back(Row{types[i], {}});
            if (!native) row->globs.push_back("*" + exts[i]);
        }
        native = false;
    }
    std::set<std::string> described;
    for (const TypeText& t : kTypes)
        described.insert(t.type);
    std::set<std::string> listed;
    for (const Row& r : rows)
        listed.insert(r.type);
    if (described != listed) {
        std::fprintf(stderr, "make_file_types: the descriptions do not name exactly the formats' types\n");
        return 1;
    }

    std::string mime = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<!-- File types that Orvanel opens and that have no common type of their own.\n"
                       "     Made from the reader's table of formats by make_file_types; installed as\n"
                       "     share/mime/packages/orvanel.xml. The native result file ends in .txt like\n"
                       "     any text and is typed by its first lines alone. -->\n"
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    std::string desktop_types, mediatypes;
    for (const Row& r : rows) {
        const TypeText* t = nullptr;
        for (const TypeText& d : kTypes)
            if (r.type == d.type) t = &d;
        mime += "  <mime-type type=\"" + r.type + "\">\n";
        mime += "    <comment>" + std::string(t->comment) + "</comment>\n";
        mime += "    <comment xml:lang=\"pt\">" + std::string(t->comment_pt) + "</comment>\n";
        if (t->sub_class_of) mime += "    <sub-class-of type=\"" + std::string(t->sub_class_of) + "\"/>\n";
        for (const std::string& g : r.globs)
            mime += "    <glob pattern=\"" + g + "\"/>\n";
        if (t->magic) mime += t->magic;
        mime += "  </mime-type>\n";
        desktop_types += r.type + ";";
        mediatypes += "    <mediatype>" + r.type + "</mediatype>\n";
    }
    mime += "</mime-info>\n";

    std::string desktop, metainfo;
    if (!read_file(argv[2], desktop) || !read_file(argv[4], metainfo)) {
        std::fprintf(stderr, "make_file_types: cannot read the templates\n");
        return 1;
    }
    if (!replace(desktop, "@MIME_TYPES@", desktop_types, argv[2]) ||
        !replace(metainfo, "    @MEDIATYPES@\n", mediatypes, argv[4]))
        return 1;
    if (!write_file(argv[1], mime) || !write_file(argv[3], desktop) || !write_file(argv[5], metainfo)) {
        std::fprintf(stderr, "make_file_types: cannot write the outputs\n");
        return 1;
    }
    return 0;
}
