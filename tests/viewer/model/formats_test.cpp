#include "viewer/model/formats.h"
#include "viewer/model/reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

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
            EXPECT_EQ(what.find("Cannot open " + base + ": neither its content nor its extension"), 0u)
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
        const orv::ReadResult b = orv::read_native(fixture(name), {});
        EXPECT_EQ(a.model.coord_data, b.model.coord_data) << name;
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

} // namespace
