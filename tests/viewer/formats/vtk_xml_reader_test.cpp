#include "viewer/formats/vtk_xml_reader.h"

#include "import_test_util.h"

#include "viewer/formats/importer.h"
#include "viewer/formats/model_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace orv {
namespace {

// The hand-over's arrays as plain vectors, to compare with a list.
template <class V> std::vector<typename V::value_type> plain(const V& v) {
    return {v.begin(), v.end()};
}

// The fixtures and the values they hold are described in
// tests/data/import/vtk_xml/make_fixtures.py.
std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/import/vtk_xml/" + name;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::array<double, 3> xyz_of(int i) {
    return {double(i % 3), double((i / 3) % 2), double(i / 6)};
}

const ImportField* field(const ImportStep& s, const std::string& name) {
    for (const auto& f : s.fields)
        if (f.name == name) return &f;
    return nullptr;
}

// u = (0.1 x + step / 10, 0.2 y, 0.3 z) at every point, whatever the point order.
void expect_u(const ImportMesh& mesh, const ImportField& u, int step, const std::string& what) {
    ASSERT_EQ(u.components, 3) << what;
    ASSERT_EQ(u.values.size(), mesh.points.size()) << what;
    for (std::size_t i = 0; i < mesh.point_count(); ++i) {
        const double* p = &mesh.points[3 * i];
        EXPECT_NEAR(u.values[3 * i], 0.1 * p[0] + step / 10.0, 1e-12) << what << " point " << i;
        EXPECT_NEAR(u.values[3 * i + 1], 0.2 * p[1], 1e-12) << what << " point " << i;
        EXPECT_NEAR(u.values[3 * i + 2], 0.3 * p[2], 1e-12) << what << " point " << i;
    }
}

TEST(VtkXmlReader, EveryEncodingOfTheTwoHexahedraReadsTheSame) {
    for (const char* name : {"ascii.vtu", "binary32.vtu", "binary64_zlib.vtu", "appended_raw32.vtu",
                             "appended_raw64_zlib.vtu", "appended_base64.vtu", "appended_base64_zlib32.vtu",
                             "appended_lz4.vtu", "binary_lzma.vtu", "big_endian.vtu"}) {
        SCOPED_TRACE(name);
        const ImportData d = import_test::loaded(import_file(import_vtk_xml, fixture(name)));
        EXPECT_TRUE(d.warnings.empty());
        ASSERT_EQ(d.mesh.point_count(), 12u);
        for (int i = 0; i < 12; ++i)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(d.mesh.points[3 * i + c], xyz_of(i)[c]);
        EXPECT_EQ(plain(d.mesh.cell_types), (std::vector<std::uint8_t>{vtk_hexahedron, vtk_hexahedron}));
        EXPECT_EQ(plain(d.mesh.cell_offsets), (std::vector<std::int64_t>{0, 8, 16}));
        EXPECT_EQ(plain(d.mesh.cell_nodes),
                  (std::vector<std::int64_t>{0, 1, 4, 3, 6, 7, 10, 9, 1, 2, 5, 4, 7, 8, 11, 10}));
        ASSERT_EQ(d.steps.size(), 1u);
        const ImportStep& s = d.steps[0];
        const ImportField* u = field(s, "u");
        const ImportField* temp = field(s, "temp");
        const ImportField* pressure = field(s, "pressure");
        ASSERT_TRUE(u && temp && pressure);
        expect_u(d.mesh, *u, 0, name);
        EXPECT_EQ(u->component_names, (std::vector<std::string>{"ux", "uy", "uz"}));
        EXPECT_FALSE(u->on_cells);
        ASSERT_EQ(temp->values.size(), 12u);
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(temp->values[i], 100 + i);
        EXPECT_TRUE(pressure->on_cells);
        EXPECT_EQ(pressure->values, (orv::ZeroedVector<double>{7, 14}));
    }
}

TEST(VtkXmlReader, EveryNumericTypeKeepsItsValues) {
    const ImportData d = import_test::loaded(import_file(import_vtk_xml, fixture("types.vtu")));
    ASSERT_EQ(d.steps.size(), 1u);
    for (const char* name : {"i8", "i16", "i32", "i64", "f32", "f64", "u8", "u16", "u32", "u64"}) {
        SCOPED_TRACE(name);
        const ImportField* f = field(d.steps[0], name);
        ASSERT_TRUE(f);
        const bool is_signed = name[0] != 'u';
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(f->values[i], is_signed ? (i % 5) - 2 : i);
    }
}

TEST(VtkXmlReader, ModelOfTheHexahedraShowsTheirTenOuterFacesAndNamedLists) {
    const ReadResult r = read_file(import_vtk_xml, fixture("appended_raw64_zlib.vtu"));
    EXPECT_EQ(r.model.nnode, 12);
    EXPECT_EQ(r.model.nelem, 10); // the shared face at x = 1 is inside
    const auto& names = r.model.namelista;
    EXPECT_NE(std::find(names.begin(), names.end(), "u ux - passo 1"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "temp - passo 1"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "pressure (média nos nós) - passo 1"), names.end());
}

TEST(VtkXmlReader, PolyDataSurfaceGivesItsPolygons) {
    const ImportData d = import_test::loaded(import_file(import_vtk_xml, fixture("surface.vtp")));
    ASSERT_EQ(d.mesh.cell_count(), 10u);
    for (const auto t : d.mesh.cell_types)
        EXPECT_EQ(t, vtk_quad);
    ASSERT_EQ(d.steps.size(), 1u);
    const ImportField* u = field(d.steps[0], "u");
    ASSERT_TRUE(u);
    expect_u(d.mesh, *u, 0, "surface.vtp");
}

TEST(VtkXmlReader, CollectionIsOneModelWithAStepPerDataSetInTimeOrder) {
    const ImportData d = import_test::loaded(import_file(import_vtk_xml, fixture("series.pvd")));
    EXPECT_TRUE(d.warnings.empty());
    ASSERT_EQ(d.mesh.point_count(), 12u);
    ASSERT_EQ(d.steps.size(), 3u);
    const double times[] = {0.0, 0.5, 1.0};
    for (int s = 0; s < 3; ++s) {
        ASSERT_TRUE(d.steps[s].time);
        EXPECT_EQ(*d.steps[s].time, times[s]);
        const ImportField* u = field(d.steps[s], "u");
        ASSERT_TRUE(u);
        expect_u(d.mesh, *u, s, "step " + std::to_string(s)); // series_<s>.vtu has step s
    }
    const ReadResult r = read_file(import_vtk_xml, fixture("series.pvd"));
    const auto& names = r.model.namelista;
    EXPECT_NE(std::find(names.begin(), names.end(), "temp - passo 3 (t = 1)"), names.end());
}

TEST(VtkXmlReader, PartitionedPiecesMergeTheirSharedPoints) {
    const ImportData d = import_test::loaded(import_file(import_vtk_xml, fixture("split.pvtu")));
    EXPECT_TRUE(d.warnings.empty());
    ASSERT_EQ(d.mesh.point_count(), 12u); // 8 + 8, four shared
    ASSERT_EQ(d.mesh.cell_count(), 2u);
    ASSERT_EQ(d.steps.size(), 1u);
    const ImportField* u = field(d.steps[0], "u");
    ASSERT_TRUE(u);
    expect_u(d.mesh, *u, 0, "split.pvtu");
    EXPECT_EQ(field(d.steps[0], "pressure")->values, (orv::ZeroedVector<double>{7, 14}));
    const ReadResult r = read_file(import_vtk_xml, fixture("split.pvtu"));
    EXPECT_EQ(r.model.nnode, 12);
    EXPECT_EQ(r.model.nelem, 10); // no faces left at the partition boundary
}

TEST(VtkXmlReader, SniffTellsTheFileType) {
    struct Case {
        const char* head;
        const char* type;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\">", "UnstructuredGrid"},
        {"<VTKFile version=\"0.1\" type='Collection'>", "Collection"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?><VTKFile byte_order=\"LittleEndian\" "
         "type=\"PUnstructuredGrid\">",
         "PUnstructuredGrid"},
        {"<?xml version=\"1.0\"?>\n<svg type=\"x\">", ""},
        {"# vtk DataFile Version 3.0", ""},
        {"<VTKFile subtype=\"A\" type=\"PolyData\">", "PolyData"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vtk_xml_type(c.head), c.type) << c.head;
}

// Bad input: each case edits a good fixture; the message must name the file
// and where, and say what was expected.
TEST(VtkXmlReader, BadInputIsRefusedWithWhereAndWhat) {
    struct Case {
        const char* what;
        const char* base;
        std::string from, to;
        std::vector<std::string> message;
    };
    const std::string ascii = slurp(fixture("ascii.vtu"));
    const std::vector<Case> cases = {
        {"a bad number",
         "ascii.vtu",
         "0.1 0.2 0.3",
         "0.1 0.2 x0.3",
         {"Invalid number \"x0.3\"", "line 11 of bad.vtu"}},
        {"too few values", "ascii.vtu", "100 101 102", "100 101", {"holds 11 values where 12", "of bad.vtu"}},
        {"a point past the end",
         "ascii.vtu",
         "10 9 1 2 5 4",
         "10 9 1 2 5 12",
         {"point 12", "0 to 11", "bad.vtu"}},
        {"offsets going back", "ascii.vtu", "8 16", "8 4", {"cell 2 ends at 4", "line"}},
        {"malformed XML", "ascii.vtu", "</Points>", "</Pointz>", {"Malformed XML", "line", "bad.vtu"}},
        {"an unknown type of the points",
         "ascii.vtu",
         "type=\"Float64\" Name=\"Points\"",
         "type=\"Float128\" Name=\"Points\"",
         {"Float128", "expected a numeric type"}},
        {"a huge point count",
         "ascii.vtu",
         "NumberOfPoints=\"12\"",
         "NumberOfPoints=\"900000000000\"",
         {"more than the file can hold"}},
        {"a wrong header size",
         "appended_raw32.vtu",
         "offset=\"292\"",
         "offset=\"290\"",
         {"byte offset", "bytes where"}},
        {"an unknown compressor",
         "binary64_zlib.vtu",
         "vtkZLibDataCompressor",
         "vtkBrotliDataCompressor",
         {"vtkBrotliDataCompressor", "expected vtkZLibDataCompressor"}},
        {"a bad header type",
         "binary32.vtu",
         "header_type=\"UInt32\"",
         "header_type=\"UInt16\"",
         {"UInt16", "line 1 of bad.vtu"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = slurp(fixture(c.base));
        const auto at = text.find(c.from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, c.from.size(), c.to);
        try {
            import_bytes(import_vtk_xml, text.data(), text.size(), "bad.vtu");
            ADD_FAILURE() << "read";
        } catch (const ReadError& e) {
            for (const auto& m : c.message)
                EXPECT_NE(std::string(e.what()).find(m), std::string::npos) << e.what();
        }
    }
}

TEST(VtkXmlReader, CorruptCompressedBlockIsRefusedAtItsOffset) {
    std::string text = slurp(fixture("appended_raw64_zlib.vtu"));
    const auto data = text.find('_', text.find("<AppendedData")) + 1;
    // The first array's block: a 32-byte header (one block), then zlib data.
    for (std::size_t k = data + 32 + 2; k < data + 32 + 12; ++k)
        text[k] = static_cast<char>(~text[k]);
    try {
        import_bytes(import_vtk_xml, text.data(), text.size(), "bad.vtu");
        ADD_FAILURE() << "read";
    } catch (const ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("does not decompress"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("byte offset " + std::to_string(data + 32)), std::string::npos)
            << e.what();
    }
}

TEST(VtkXmlReader, FileEndingInTheRawDataIsWarnedAndZeroFilled) {
    const std::string full = slurp(fixture("appended_raw32.vtu"));
    // Cut inside the last array (the cell types, one byte each).
    const std::string text =
        full.substr(0, full.size() - std::string("\n  </AppendedData>\n</VTKFile>\n").size() - 1);
    const ImportData d = import_bytes(import_vtk_xml, text.data(), text.size(), "cut.vtu");
    ASSERT_EQ(d.warnings.size(), 1u);
    EXPECT_NE(d.warnings[0].find("cut.vtu ends early"), std::string::npos) << d.warnings[0];
    EXPECT_EQ(plain(d.mesh.cell_types), (std::vector<std::uint8_t>{vtk_hexahedron, 0}));
}

TEST(VtkXmlReader, MissingPartsOfACollectionAreNamed) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("orvanel_vtkxml_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(fixture("series_0.vtu"), dir / "series_0.vtu");
    fs::copy_file(fixture("split_1.vtu"), dir / "other.vtu");
    std::ofstream(dir / "gone.pvd")
        << "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\">\n<Collection>\n"
           "<DataSet timestep=\"0\" file=\"series_0.vtu\"/>\n"
           "<DataSet timestep=\"1\" file=\"missing.vtu\"/>\n</Collection>\n</VTKFile>\n";
    std::ofstream(dir / "differ.pvd")
        << "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\">\n<Collection>\n"
           "<DataSet timestep=\"0\" file=\"series_0.vtu\"/>\n"
           "<DataSet timestep=\"1\" file=\"other.vtu\"/>\n</Collection>\n</VTKFile>\n";
    try {
        import_file(import_vtk_xml, (dir / "gone.pvd").string());
        ADD_FAILURE() << "read";
    } catch (const ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.vtu"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("line 5 of gone.pvd"), std::string::npos) << e.what();
    }
    const ImportData d = import_file(import_vtk_xml, (dir / "differ.pvd").string());
    EXPECT_EQ(d.steps.size(), 1u);
    ASSERT_EQ(d.warnings.size(), 1u);
    EXPECT_NE(d.warnings[0].find("other.vtu"), std::string::npos) << d.warnings[0];
    fs::remove_all(dir);
}

// A zlib stream of `data` in stored (uncompressed) deflate blocks.
std::string zlib_stored(const std::string& data) {
    std::string z = "\x78\x01";
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(data.size() - at, 65535);
        z += static_cast<char>(at + n == data.size() ? 1 : 0);
        const unsigned len = static_cast<unsigned>(n), nlen = ~len & 0xFFFF;
        z += {static_cast<char>(len & 0xFF), static_cast<char>(len >> 8), static_cast<char>(nlen & 0xFF),
              static_cast<char>(nlen >> 8)};
        z += data.substr(at, n);
        at += n;
    } while (at < data.size());
    std::uint32_t a = 1, b = 0;
    for (const unsigned char c : data) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    const std::uint32_t adler = (b << 16) | a;
    for (int k = 3; k >= 0; --k)
        z += static_cast<char>((adler >> (8 * k)) & 0xFF);
    return z;
}

std::string base64(const std::string& bytes) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const auto b = [&](std::size_t j) {
            return j < bytes.size() ? static_cast<unsigned char>(bytes[j]) : 0u;
        };
        const unsigned w = (b(i) << 16) | (b(i + 1) << 8) | b(i + 2);
        out += k[(w >> 18) & 63];
        out += k[(w >> 12) & 63];
        out += i + 1 < bytes.size() ? k[(w >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? k[w & 63] : '=';
    }
    return out;
}

// Inline base64 with compression, as meshio and VTK's binary mode write it:
// every block's place is kept without counting lines from the file's start
// (which made such files read in quadratic time), so the reader's work stays
// within a small multiple of the file's size however many blocks there are.
TEST(VtkXmlReader, InlineCompressedBlocksReadInLinearWork) {
    const std::size_t points = 20000; // one block per point
    std::string header, data;
    const auto word = [](std::string& to, std::uint64_t v) {
        to.append(reinterpret_cast<const char*>(&v), 8);
    };
    word(header, points);
    word(header, 24);
    word(header, 24);
    for (std::size_t i = 0; i < points; ++i) {
        const double xyz[3] = {double(i), 1.0, 2.0};
        const std::string block = zlib_stored(std::string(reinterpret_cast<const char*>(xyz), 24));
        word(header, block.size());
        data += block;
    }
    const std::string text =
        "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" "
        "byte_order=\"LittleEndian\" header_type=\"UInt64\" "
        "compressor=\"vtkZLibDataCompressor\">\n<UnstructuredGrid>\n<Piece NumberOfPoints=\"" +
        std::to_string(points) +
        "\" NumberOfCells=\"0\">\n<Points>\n<DataArray type=\"Float64\" "
        "NumberOfComponents=\"3\" format=\"binary\">\n" +
        base64(header) + base64(data) +
        "\n</DataArray>\n</Points>\n</Piece>\n</UnstructuredGrid>\n</VTKFile>\n";
    const ReadResult r = read_bytes(import_vtk_xml, text.data(), text.size(), "inline.vtu");
    ASSERT_EQ(r.model.nnode, static_cast<int>(points));
    EXPECT_EQ(r.model.coord(points, 1), double(points - 1));
    EXPECT_EQ(r.model.coord(points, 3), 2.0);
    EXPECT_GE(r.bytes_fetched, text.size());
    EXPECT_LE(r.bytes_fetched, 3 * text.size());
}

// dolfinx and VTK's filters keep "vtkOriginal..." id arrays: not results.
TEST(VtkXmlReader, OriginalIdArraysAreNotResults) {
    std::string text = slurp(fixture("ascii.vtu"));
    const std::string from = "<DataArray type=\"Float32\" Name=\"temp\"";
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.insert(at,
                "<DataArray type=\"Int64\" Name=\"vtkOriginalPointIds\" format=\"ascii\">0 1 2 3 4 5 6 7 8 9 "
                "10 11</DataArray>\n");
    const ImportData d = import_bytes(import_vtk_xml, text.data(), text.size(), "ids.vtu");
    ASSERT_EQ(d.steps.size(), 1u);
    EXPECT_EQ(field(d.steps[0], "vtkOriginalPointIds"), nullptr);
    EXPECT_NE(field(d.steps[0], "temp"), nullptr);
}

// Pieces never nest: a partitioned file naming itself, two naming each
// other, and collections naming collections are refused at the naming line
// instead of recursing until the stack runs out.
TEST(VtkXmlReader, NestedPartitionedFilesAndCollectionsAreRefused) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("orvanel_nest_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const auto pvtu = [&](const char* name, const char* source) {
        std::ofstream(dir / name) << "<?xml version=\"1.0\"?>\n<VTKFile type=\"PUnstructuredGrid\">\n"
                                     "<PUnstructuredGrid GhostLevel=\"0\">\n<PPoints><PDataArray "
                                     "type=\"Float64\" NumberOfComponents=\"3\"/></PPoints>\n<Piece Source=\""
                                  << source << "\"/>\n</PUnstructuredGrid>\n</VTKFile>\n";
    };
    const auto pvd = [&](const char* name, const char* file) {
        std::ofstream(dir / name) << "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\">\n<Collection>\n"
                                     "<DataSet timestep=\"0\" file=\""
                                  << file << "\"/>\n</Collection>\n</VTKFile>\n";
    };
    pvtu("self.pvtu", "self.pvtu");
    pvtu("a.pvtu", "b.pvtu");
    pvtu("b.pvtu", "a.pvtu");
    pvtu("names_pvd.pvtu", "self.pvd");
    pvd("self.pvd", "self.pvd");
    pvd("through.pvd", "self.pvtu");
    pvd("loop_a.pvd", "loop_b.pvd");
    pvd("loop_b.pvd", "loop_a.pvd");
    const struct {
        const char* file;
        std::vector<std::string> message;
    } cases[] = {
        {"self.pvtu", {"self.pvtu is itself a partitioned file", "a piece", "line 5 of self.pvtu"}},
        {"a.pvtu", {"b.pvtu is itself a partitioned file", "line 5 of a.pvtu"}},
        {"names_pvd.pvtu", {"self.pvd is itself a collection", "line 5 of names_pvd.pvtu"}},
        {"self.pvd", {"self.pvd is itself a collection", "line 4 of self.pvd"}},
        {"through.pvd",
         {"self.pvtu is itself a partitioned file", "line 5 of self.pvtu", "line 4 of through.pvd"}},
        {"loop_a.pvd", {"loop_b.pvd is itself a collection", "line 4 of loop_a.pvd"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        for (const bool whole : {false, true}) {
            try {
                if (whole)
                    read_file(import_vtk_xml, (dir / c.file).string());
                else
                    import_file(import_vtk_xml, (dir / c.file).string());
                ADD_FAILURE() << "read";
            } catch (const ReadError& e) {
                for (const auto& m : c.message)
                    EXPECT_NE(std::string(e.what()).find(m), std::string::npos) << e.what();
            }
        }
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace orv

namespace orv {
namespace {

// Native names are Latin-1 (the examples' "Tensão"); XML carries UTF-8.
std::string utf8_of_latin1(const std::string& s) {
    std::string out;
    for (const unsigned char c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A native example written as .vtu and read back: the same nodes, elements
// and, for every list, the same value at every node.
TEST(VtkXmlReader, ConvertedExamplesReadBackToTheSameModel) {
    for (const char* example : {"viga.txt", "placa.txt"}) {
        SCOPED_TRACE(example);
        const ResultModel a = read_result_file(std::string(ORVANEL_SOURCE_DIR) + "/examples/" + example);
        const VtuBytes vtu = vtu_of(a);
        const ReadResult r = read_bytes(import_vtk_xml, vtu.bytes.data(), vtu.bytes.size(), "converted.vtu");
        const ResultModel& b = r.model;
        ASSERT_EQ(b.nnode, a.nnode);
        EXPECT_EQ(b.nelem, a.nelem);
        for (std::int32_t i = 1; i <= a.nnode; ++i)
            for (int c = 1; c <= 3; ++c)
                EXPECT_EQ(b.coord_row(i)[c], a.coord_row(i)[c]) << "node " << i;
        for (std::int32_t k = 1; k <= a.nlista; ++k) {
            const std::string name = utf8_of_latin1(a.namelista[k]) + " - passo 1";
            const auto it = std::find(b.namelista.begin(), b.namelista.end(), name);
            ASSERT_NE(it, b.namelista.end()) << name;
            const auto kb = static_cast<std::size_t>(it - b.namelista.begin());
            for (std::int32_t i = 1; i <= a.nnode; ++i)
                EXPECT_EQ(b.listas(i, kb), a.listas(i, k)) << name << " node " << i;
        }
    }
}

// Sparsely numbered files keep their node and element numbers through a
// .vtu (as VTK's GlobalNodeId and GlobalElementId arrays, read back as
// labels, not as lists); a file numbered 1..n writes no such arrays.
TEST(VtkXmlReader, ConvertedLabelsReadBackAsLabels) {
    const std::string gmsh = std::string(ORVANEL_TEST_DATA) + "/import/gmsh/";
    for (const char* name : {"sparse_22.msh", "sparse_41.msh", "hex20_41_bin.msh"}) {
        SCOPED_TRACE(name);
        const ResultModel a = read_result(gmsh + name).model;
        ASSERT_FALSE(a.node_labels.empty());
        const VtuBytes vtu = vtu_of(a);
        EXPECT_NE(vtu.bytes.find("Name=\"GlobalNodeId\""), std::string::npos);
        const ReadResult r = read_bytes(import_vtk_xml, vtu.bytes.data(), vtu.bytes.size(), "converted.vtu");
        const ResultModel& b = r.model;
        ASSERT_EQ(b.nnode, a.nnode);
        ASSERT_EQ(b.nelem, a.nelem);
        for (const std::string& list : b.namelista) // the id arrays are no lists
            EXPECT_EQ(list.find("Global"), std::string::npos) << list;
        for (std::int32_t i = 1; i <= a.nnode; ++i)
            EXPECT_EQ(b.node_label(i), a.node_label(i)) << "node " << i;
        for (std::int32_t e = 1; e <= a.nelem; ++e)
            EXPECT_EQ(b.element_label(e), a.element_label(e)) << "element " << e;
    }
    const ResultModel plain = read_result_file(std::string(ORVANEL_SOURCE_DIR) + "/examples/viga.txt");
    EXPECT_EQ(vtu_of(plain).bytes.find("GlobalNodeId"), std::string::npos);
}

} // namespace
} // namespace orv

namespace orv {
namespace {

TEST(VtkXmlReader, ProgressReachesTheEndAndCanCancel) {
    for (const char* name : {"appended_raw32.vtu", "binary64_zlib.vtu", "ascii.vtu"}) {
        SCOPED_TRACE(name);
        std::uint64_t last = 0, total = 0;
        ReaderOptions watch;
        watch.progress = [&](std::uint64_t done, std::uint64_t all) {
            EXPECT_GE(done, last);
            last = done;
            total = all;
            return true;
        };
        import_file(import_vtk_xml, fixture(name), watch);
        EXPECT_GT(last, 0u);
        EXPECT_LE(last, total);
        ReaderOptions stop;
        stop.progress = [](std::uint64_t, std::uint64_t) { return false; };
        EXPECT_THROW(import_file(import_vtk_xml, fixture(name), stop), ReadCancelled);
    }
}

// A piece is opened as every input is: what is not a regular file is
// refused before a byte is read (a FIFO without a writer would block), with
// what it is, and the line that names it.
TEST(VtkXmlReader, PieceThatIsNoRegularFileIsRefusedWithWhatItIs) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("orvanel_piece_kind_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    ASSERT_EQ(::mkfifo((dir / "pipe.vtu").c_str(), 0600), 0);
    fs::create_directories(dir / "folder.vtu");
    const struct {
        const char* piece;
        const char* kind;
    } cases[] = {{"pipe.vtu", "\u00E9 um FIFO, n\u00E3o um arquivo comum"},
                 {"folder.vtu", "\u00E9 um diret\u00F3rio, n\u00E3o um arquivo comum"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.piece);
        const fs::path index = dir / "split.pvtu";
        std::ofstream(index) << "<?xml version=\"1.0\"?>\n<VTKFile type=\"PUnstructuredGrid\">\n"
                                "<PUnstructuredGrid GhostLevel=\"0\">\n<PPoints><PDataArray "
                                "type=\"Float64\" NumberOfComponents=\"3\"/></PPoints>\n<Piece Source=\""
                             << c.piece << "\"/>\n</PUnstructuredGrid>\n</VTKFile>\n";
        try {
            read_file(import_vtk_xml, index.string());
            ADD_FAILURE() << "read";
        } catch (const ReadError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(std::string(c.piece) + ": " + c.kind), std::string::npos) << what;
            EXPECT_NE(what.find("line 5 of split.pvtu"), std::string::npos) << what;
        }
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace orv
