#include "../model/list_dump.h"
#include "viewer/formats/formats.h"
#include "viewer/formats/native_reader.h"
#include "viewer/formats/reader.h"
#include "viewer/model/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/reader/" + name;
}

// Which row reads a file with these bytes and this name ("" for none).
std::string chosen(const std::string& bytes, const std::string& name) {
    const orv::Format* f = orv::format_for(bytes, name);
    return f ? f->name : "";
}

TEST(Formats, NativeIsTheFirstRow) {
    ASSERT_FALSE(orv::formats().empty());
    EXPECT_EQ(std::string(orv::formats()[0].name), "native result file");
}

// Content first, extension second, and nothing for a file that neither names.
TEST(Formats, ChoiceByContentThenExtension) {
    const std::string native = "native result file";
    struct Case {
        const char* what;
        std::string bytes;
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"marker line first", "#\n3 1\n#\n", "a.dat", native},
        {"title line before the marker", "Viga em balanco\n# sizes\n21 12\n", "viga", native},
        {"CR LF and a signed size", "title\r\n#\r\n-3 1\r\n", "x.bin", native},
        {"file ends after the marker", "t\n#", "x.res", native},
        {"file ends before the sizes", "#\n   \n", "x.res", native},
        {"garbage, but named .txt", "#\nabc\n", "broken.txt", native},
        {"extension in capitals", "no marker here\n", "BROKEN.TXT", native},
        {"legacy VTK header is not native", "# vtk DataFile Version 3.0\n1 2\nASCII\n", "m.txt",
         "VTK legacy"},
        {"VTK XML by content",
         "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\">\n", "m.txt",
         "VTK XML"},
        {"VTK XML by name", "garbage", "M.VTU", "VTK XML"},
        {"Gmsh by content", "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n", "mesh.txt", "Gmsh"},
        {"Gmsh comments with a marker line and a number",
         "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Comments\n#\n12 3\n$EndComments\n", "mesh.msh", "Gmsh"},
        {"legacy VTK title with a marker line", "# vtk DataFile Version 3.0\n#\n1 2\nASCII\n", "m.vtk",
         "VTK legacy"},
        {"CalculiX by content", "    1Cjob\n    2C   8   1\n", "r.txt", "CalculiX"},
        {"CalculiX by name", "\x01\x02", "job.frd", "CalculiX"},
        {"marker followed by words", "#\nnodes follow\n", "m.dat", ""},
        {"no marker line", "just words\n", "m.xyz", ""},
        {"empty file without extension", "", "empty", ""},
        {"a dot file is not an extension", "?", "/tmp/.txt", ""},
        {"a marker indented is no marker", "  #\n1 2\n", "m.dat", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chosen(c.bytes, c.name), c.expected) << c.what;
}

// The sniff sees only the beginning: a title longer than that does not make
// the file unreadable when its name says what it is.
TEST(Formats, LongTitleFallsBackToTheExtension) {
    const std::string text = std::string(orv::kSniffBytes + 10, 'x') + "\n#\n1 0\n#\n1 2 3 0 0 0\n";
    EXPECT_EQ(chosen(text, "long.dat"), "");
    const orv::ResultModel m = orv::read_result_buffer(text.data(), text.size(), "long.txt");
    EXPECT_EQ(m.nnode, 1);
    EXPECT_EQ(m.coord(1, 3), 3.0);
}

TEST(Formats, UnclaimedFileIsRefusedNamingTheFormats) {
    char path[] = "/tmp/orvanel_formats_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string zip = std::string("PK\x03\x04", 4) + "not a result";
    ASSERT_EQ(::write(fd, zip.data(), zip.size()), static_cast<ssize_t>(zip.size()));
    ::close(fd);
    for (const bool from_file : {true, false}) {
        try {
            if (from_file)
                orv::read_result(path);
            else
                orv::read_result_bytes(zip.data(), zip.size(), path);
            ADD_FAILURE() << "no error";
        } catch (const orv::ReadError& e) {
            const std::string what = e.what();
            const std::string base = std::string(path).substr(5);
            EXPECT_EQ(what.find("N\u00E3o foi poss\u00EDvel abrir " + base +
                                ": nem o conte\u00FAdo nem a extens\u00E3o correspondem"),
                      0u)
                << what;
            EXPECT_NE(what.find("native result file (.txt)"), std::string::npos) << what;
        }
    }
    std::remove(path);
}

// The door changes nothing for native files: reading through the table or
// straight through the native reader gives the same model and warnings.
TEST(Formats, NativeFilesReadAsBefore) {
    for (const char* name : {"example.txt", "ends_early.txt", "ranges.txt", "two_lines_crlf.txt"}) {
        const orv::ReadResult a = orv::read_result(fixture(name));
        orv::input::Input in(fixture(name));
        const orv::ReadResult b = orv::read_native(in, {});
        EXPECT_EQ(a.model.coord_data, b.model.coord_data) << name;
        EXPECT_EQ(orv::test::all_list_values(a.model), orv::test::all_list_values(b.model)) << name;
        EXPECT_EQ(orv::test::all_list_displacements(a.model), orv::test::all_list_displacements(b.model))
            << name;
        EXPECT_EQ(a.model.conec_data, b.model.conec_data) << name;
        EXPECT_EQ(a.model.maxlista, b.model.maxlista) << name;
        EXPECT_EQ(a.warnings, b.warnings) << name;
        EXPECT_EQ(a.model.namefile, fixture(name));
    }
    try {
        orv::read_result(fixture("not_a_result_file.txt"));
        ADD_FAILURE() << "no error";
    } catch (const orv::ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("it has no line beginning with '#'"), std::string::npos)
            << e.what();
    }
}

// Rules every imported format keeps alike, through the format table.
const std::string kMshHead = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
const std::string kMshNodes = "$Nodes\n1 3 1 3\n2 1 0 3\n1\n2\n3\n0 0 0\n1 0 0\n0 1 0\n$EndNodes\n";
const std::string kFrdNodes = "    1C\n"
                              "    2C                             2                                     1\n"
                              " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n"
                              " -1         2 1.00000E+00 0.00000E+00 0.00000E+00\n";

// A file with nodes and no element block opens with no elements, as the VTK
// readers open the same content; cut inside its nodes, it says it ends early.
TEST(Formats, FilesWithoutElementsOpenWithTheirNodes) {
    const std::string vtk = "# vtk DataFile Version 3.0\nt\nASCII\nDATASET UNSTRUCTURED_GRID\n"
                            "POINTS 2 float\n0 0 0 1 0 0\n";
    const struct {
        const char* name;
        std::string text;
        int nodes;
        const char* warning; // "" for none
    } cases[] = {
        {"nodes.msh", kMshHead + kMshNodes, 3, ""},
        {"cut.msh", kMshHead + kMshNodes.substr(0, kMshNodes.find("1 0 0")), 1,
         "cut.msh ends early in $Nodes: 3 nodes announced, 1 read"},
        {"nodes.frd", kFrdNodes + " -3\n 9999\n", 2, ""},
        {"nodes_no_end.frd", kFrdNodes + " -3\n", 2, ""},
        {"cut.frd", kFrdNodes.substr(0, kFrdNodes.rfind(" -1")), 1, "cut.frd ends early"},
        {"nodes.vtk", vtk, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const orv::ReadResult r = orv::read_result_bytes(c.text.data(), c.text.size(), c.name);
            EXPECT_EQ(r.model.nnode, c.nodes);
            EXPECT_EQ(r.model.nelem, 0);
            if (*c.warning) {
                ASSERT_EQ(r.warnings.size(), 1u);
                EXPECT_NE(r.warnings[0].find(c.warning), std::string::npos) << r.warnings[0];
            } else {
                EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
            }
        } catch (const orv::ReadError& e) {
            ADD_FAILURE() << e.what();
        }
    }
}

// Non-finite numbers, one rule for every imported format: a result value
// reads as NaN (no value), left out of every range and counted in one
// warning per list; a coordinate is refused with its place. Native files
// keep their own rule (they hold finite numbers only).
TEST(Formats, NonFiniteNumbersFollowOneRule) {
    const std::string vtk_head = "# vtk DataFile Version 3.0\nt\nASCII\nDATASET UNSTRUCTURED_GRID\n";
    const std::string vtk_cells = "CELLS 1 4\n3 0 1 2\nCELL_TYPES 1\n5\n";
    const std::string vtu_points = "0 0 0 1 0 0 0 1 0";
    const auto vtu = [](const std::string& points, const std::string& values) {
        return "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\">\n"
               "<UnstructuredGrid>\n<Piece NumberOfPoints=\"3\" NumberOfCells=\"1\">\n<PointData>\n"
               "<DataArray type=\"Float64\" Name=\"T\" format=\"ascii\">" +
               values +
               "</DataArray>\n</PointData>\n<Points>\n<DataArray type=\"Float64\" NumberOfComponents=\"3\" "
               "format=\"ascii\">" +
               points +
               "</DataArray>\n</Points>\n<Cells>\n"
               "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">0 1 2</DataArray>\n"
               "<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">3</DataArray>\n"
               "<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">5</DataArray>\n"
               "</Cells>\n</Piece>\n</UnstructuredGrid>\n</VTKFile>\n";
    };
    const auto msh = [](const std::string& coordinate, const std::string& value) {
        return kMshHead + "$Nodes\n1 3 1 3\n2 1 0 3\n1\n2\n3\n0 0 0\n1 " + coordinate +
               " 0\n0 1 0\n$EndNodes\n$Elements\n1 1 1 1\n2 1 2 1\n1 1 2 3\n$EndElements\n"
               "$NodeData\n1\n\"T\"\n1\n0\n3\n0\n1\n3\n1 4\n2 " +
               value + "\n3 2\n$EndNodeData\n";
    };
    const auto frd = [](const std::string& coordinate, const std::string& value) {
        return "    1C\n    2C                             3                                     1\n"
               " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n"
               " -1         2" +
               coordinate +
               " 0.00000E+00 0.00000E+00\n"
               " -1         3 0.00000E+00 1.00000E+00 0.00000E+00\n -3\n"
               "    3C                             1                                     1\n"
               " -1         1    7    0    1\n -2         1         2         3\n -3\n"
               "  100CL  101 1.000000000           3                     0    1           1\n"
               " -4  T           1    1\n -5  T           1    1    0    0\n"
               " -1         1 4.00000E+00\n -1         2" +
               value + "\n -1         3 2.00000E+00\n -3\n 9999\n";
    };
    // Files whose node 2 has no value of T (nodes 1 and 3 hold 4 and 2).
    const struct {
        const char* name;
        std::string text;
    } values[] = {
        {"nan.vtk", vtk_head + "POINTS 3 float\n0 0 0 1 0 0 0 1 0\n" + vtk_cells +
                        "POINT_DATA 3\nSCALARS T float\n4 nan 2\n"},
        {"inf.vtk", vtk_head + "POINTS 3 float\n0 0 0 1 0 0 0 1 0\n" + vtk_cells +
                        "POINT_DATA 3\nSCALARS T float\n4 -inf 2\n"},
        {"nan.vtu", vtu(vtu_points, "4 NaN 2")},
        {"inf.vtu", vtu(vtu_points, "4 inf 2")},
        {"nan.msh", msh("0", "nan")},
        {"inf.msh", msh("0", "-Infinity")},
        {"nan.frd", frd(" 1.00000E+00", "         NaN")},
        {"inf.frd", frd(" 1.00000E+00", "        -inf")},
    };
    for (const auto& c : values) {
        SCOPED_TRACE(c.name);
        try {
            const orv::ReadResult r = orv::read_result_bytes(c.text.data(), c.text.size(), c.name);
            const orv::ResultModel& m = r.model;
            ASSERT_EQ(m.nlista, 1);
            EXPECT_EQ(m.listas(1, 1), 4);
            EXPECT_TRUE(std::isnan(m.listas(2, 1)));
            EXPECT_EQ(m.listas(3, 1), 2);
            EXPECT_EQ(m.maxlista[1][0], 2);
            EXPECT_EQ(m.maxlista[1][1], 4);
            EXPECT_EQ(m.valmin, 2);
            EXPECT_EQ(m.valmax, 4);
            EXPECT_EQ(m.maxscale, 1);
            ASSERT_EQ(r.warnings.size(), 1u);
            EXPECT_NE(r.warnings[0].find(std::string(c.name) + ": list 1 \"" + m.namelista[1] +
                                         "\" has 1 node without a value"),
                      std::string::npos)
                << r.warnings[0];
        } catch (const orv::ReadError& e) {
            ADD_FAILURE() << e.what();
        }
    }
    // Node 2 has a coordinate that is not finite: refused, with the place.
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> message;
    } coordinates[] = {
        {"c.vtk",
         vtk_head + "POINTS 3 float\n0 0 0 1 nan 0 0 1 0\n" + vtk_cells,
         {"c.vtk, POINTS at line 5: point 1 has a coordinate that is not a finite number"}},
        {"c.vtu", vtu("0 0 0 1 inf 0 0 1 0", "4 5 2"), {"point 1 of the Points", "line 9 of c.vtu"}},
        {"c.msh", msh("nan", "5"), {"line 11 of c.msh: expected a coordinate, found \"nan\""}},
        {"c.frd",
         frd("         inf", " 5.00000E+00"),
         {"line 4 of c.frd: expected a coordinate in columns 14-25, found \"inf\""}},
        {"c.txt", "t\n#\n1 0\n#\n0 nan 0 0 0 0\n", {"c.txt"}},
    };
    for (const auto& c : coordinates) {
        SCOPED_TRACE(c.name);
        try {
            orv::read_result_bytes(c.text.data(), c.text.size(), c.name);
            ADD_FAILURE() << "read";
        } catch (const orv::ReadError& e) {
            for (const auto& m : c.message)
                EXPECT_NE(std::string(e.what()).find(m), std::string::npos) << e.what();
        }
    }
    // The native format keeps its rule: a value that is not finite is refused.
    const std::string native = "t\n#\n1 0\n#\n0 0 0 0 0 0\n#\n#\nL\n0 0 0 nan\n";
    EXPECT_THROW(orv::read_result_bytes(native.data(), native.size(), "v.txt"), orv::ReadError);
    EXPECT_EQ(orv::value_text(std::numeric_limits<double>::quiet_NaN()), "sem valor");
    EXPECT_EQ(orv::value_text(-2.5), "-2.5");
}

// The memory budget counts the model that reading builds, not only the
// arrays read: a budget that the file's arrays fit but the model does not
// refuses the file before the model is allocated.
TEST(Formats, MemoryBudgetCountsTheModelBuilt) {
    const std::string data = ORVANEL_TEST_DATA;
    for (const char* file : {"/import/calculix/beam20.frd", "/import/gmsh/plate_41.msh",
                             "/import/block_ascii_42.vtk", "/import/vtk_xml/ascii.vtu"}) {
        SCOPED_TRACE(file);
        orv::ReaderOptions eager;
        eager.values_on_demand = false;
        const orv::ResultModel m = orv::read_result(data + file, eager).model;
        const std::uint64_t model = orv::ResultModel::bytes_needed(m.nnode, m.nelem, m.nlista);
        orv::ReaderOptions tight = eager;
        tight.memory_limit = model;
        try {
            orv::read_result(data + file, tight);
            ADD_FAILURE() << "read within " << model << " bytes";
        } catch (const orv::ReadError& e) {
            const std::string base = std::string(file).substr(std::string(file).rfind('/') + 1);
            EXPECT_EQ(std::string(e.what()).find("Not enough memory to read " + base), 0u) << e.what();
        }
        orv::ReaderOptions roomy = eager;
        roomy.memory_limit = 4 * model + (1u << 20);
        EXPECT_EQ(orv::read_result(data + file, roomy).model.nnode, m.nnode);
        // Lists that stay in the file until needed take none of it.
        const bool on_demand = std::string(file).ends_with(".frd") || std::string(file).ends_with(".msh");
        if (on_demand) {
            tight.values_on_demand = true;
            EXPECT_EQ(orv::read_result(data + file, tight).model.nnode, m.nnode);
        }
    }
}

// A node label given twice is refused in every format, with the label: a
// node's history must answer for one node.
TEST(Formats, RepeatedNodeLabelsAreRefusedEverywhere) {
    const std::string vtu =
        "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\">\n<UnstructuredGrid>\n"
        "<Piece NumberOfPoints=\"3\" NumberOfCells=\"1\">\n<PointData>\n"
        "<DataArray type=\"Int64\" Name=\"GlobalNodeId\" format=\"ascii\">7 8 7</DataArray>\n"
        "</PointData>\n<Points><DataArray type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">"
        "0 0 0 1 0 0 0 1 0</DataArray></Points>\n<Cells>\n"
        "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">0 1 2</DataArray>\n"
        "<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">3</DataArray>\n"
        "<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">5</DataArray>\n"
        "</Cells>\n</Piece>\n</UnstructuredGrid>\n</VTKFile>\n";
    const struct {
        const char* name;
        std::string text;
        const char* message;
    } cases[] = {
        {"ids.vtu", vtu, "ids.vtu: GlobalNodeId gives point label 7 to more than one point"},
        {"data.msh",
         kMshHead + kMshNodes + "$NodeData\n1\n\"v\"\n1\n0\n3\n0\n1\n3\n2 1.5\n3 2\n2 4\n$EndNodeData\n",
         "line 25 of data.msh: a data record names node 2 a second time in this $NodeData"},
        {"nodes.msh", kMshHead + "$Nodes\n1 2 1 3\n2 1 0 2\n1\n1\n0 0 0\n1 0 0\n$EndNodes\n",
         "node tag 1 is given twice"},
        {"nodes.frd",
         "    1C\n    2C                             2                                     1\n"
         " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n"
         " -1         1 1.00000E+00 0.00000E+00 0.00000E+00\n -3\n",
         "node 1 is given twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            orv::read_result_bytes(c.text.data(), c.text.size(), c.name);
            ADD_FAILURE() << "read";
        } catch (const orv::ReadError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// A file name, a list name or file text quoted in a message shows its control
// bytes as \xHH, in errors and warnings of every kind: no message can drive a
// terminal (ESC) or rewrite its line (CR).
TEST(Formats, ControlBytesAreEscapedInEveryMessage) {
    const std::string raw = "a\x1b[2J\rb", shown = "a\\x1B[2J\\x0Db";
    const std::string msh_nan_list = kMshHead +
                                     "$Nodes\n1 2 1 2\n2 1 0 2\n1\n2\n0 0 0\n1 0 0\n$EndNodes\n"
                                     "$NodeData\n1\n\"" +
                                     raw + "\"\n1\n0\n3\n0\n1\n2\n1 4\n2 nan\n$EndNodeData\n";
    struct Case {
        const char* kind;
        std::string bytes;
        std::string name;
        bool warning; // else an error
    };
    const Case cases[] = {
        {"unclaimed file", "just words\n", "m" + raw + ".xyz", false},
        {"bad number", "#\n1 0\n#\n1 2 x 0 0 0\n", raw + ".txt", false},
        {"file ends early", "#\n2 0\n#\n1 2 3 0 0 0\n", raw + ".txt", true},
        {"list name with values missing", msh_nan_list, "m.msh", true},
    };
    const auto check = [&](const char* kind, const std::string& message) {
        EXPECT_NE(message.find(shown), std::string::npos) << kind << ": " << message;
        for (const char c : message)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                << kind << ": raw byte in " << message;
    };
    for (const Case& c : cases) {
        try {
            const orv::ReadResult r = orv::read_result_bytes(c.bytes.data(), c.bytes.size(), c.name);
            EXPECT_TRUE(c.warning) << c.kind << ": read";
            ASSERT_FALSE(r.warnings.empty()) << c.kind;
            check(c.kind, r.warnings.back());
        } catch (const orv::ReadError& e) {
            EXPECT_FALSE(c.warning) << c.kind << ": " << e.what();
            check(c.kind, e.what());
        }
    }
    // A path that cannot be opened.
    const std::string missing = ::testing::TempDir() + "/missing" + raw + ".txt";
    try {
        orv::read_result(missing);
        ADD_FAILURE() << "read";
    } catch (const orv::ReadError& e) {
        check("missing file", e.what());
    }
}

} // namespace
