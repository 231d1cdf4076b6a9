#include "viewer/formats/xdmf_reader.h"

#include "heavy_data_test_util.h"
#include "import_test_util.h"
#include "viewer/formats/formats.h"
#include "viewer/formats/importer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace orv {
namespace {

using import_test::field;
using import_test::slurp;

// The fixtures and the formulas of their values: make_xdmf_fixtures.py.
std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/import/xdmf/" + name;
}

std::vector<std::string> field_names(const ImportStep& s) {
    std::vector<std::string> out;
    for (const auto& f : s.fields)
        out.push_back(f.name + (f.on_cells ? "@cells" : "") + "/" + std::to_string(f.components));
    return out;
}

double at(const ImportData& d, std::size_t i, int c) {
    return d.mesh.points[3 * i + static_cast<std::size_t>(c)];
}

struct Case {
    const char* file;
    std::size_t points;
    std::size_t cells;
    int first_type;
    std::vector<std::optional<double>> times;
    std::vector<std::string> fields;
    std::function<void(const ImportData&, std::size_t)> values;
};

std::vector<Case> cases() {
    return {
        {"meshio_tet.xdmf",
         12,
         10,
         vtk_tetra,
         {std::nullopt},
         {"T/1", "displacement/3", "stress@cells/6", "id@cells/1"},
         [](const ImportData& d, std::size_t) {
             const ImportStep& s = d.steps[0];
             for (std::size_t i = 0; i < 12; ++i) {
                 EXPECT_DOUBLE_EQ(field(s, "T")->values[i],
                                  at(d, i, 0) + 10 * at(d, i, 1) + 100 * at(d, i, 2));
                 for (int c = 0; c < 3; ++c)
                     EXPECT_DOUBLE_EQ(field(s, "displacement")->values[3 * i + static_cast<std::size_t>(c)],
                                      0.01 * at(d, i, c));
             }
             // meshio wrote (cx, cy, cz, .1, .2, .3) as Tensor6, XDMF's XX XY XZ YY YZ ZZ.
             const ImportField* t = field(s, "stress");
             for (std::size_t e = 0; e < 10; ++e) {
                 double centre[3] = {0, 0, 0};
                 for (std::int64_t k = d.mesh.cell_offsets[e]; k < d.mesh.cell_offsets[e + 1]; ++k)
                     for (int c = 0; c < 3; ++c)
                         centre[c] +=
                             at(d, static_cast<std::size_t>(d.mesh.cell_nodes[static_cast<std::size_t>(k)]),
                                c) /
                             4;
                 const double want[6] = {centre[0], 0.1, 0.3, centre[1], 0.2, centre[2]};
                 for (std::size_t c = 0; c < 6; ++c)
                     EXPECT_NEAR(t->values[6 * e + c], want[c], 1e-12) << "cell " << e << " component " << c;
                 EXPECT_EQ(field(s, "id")->values[e], static_cast<double>(e));
             }
         }},
        {"meshio_mixed_xml.xdmf",
         5,
         2,
         vtk_quad,
         {std::nullopt},
         {"h/1", "mat@cells/1"},
         [](const ImportData& d, std::size_t) {
             EXPECT_EQ(d.mesh.cell_types[1], vtk_triangle);
             for (std::size_t i = 0; i < 5; ++i)
                 EXPECT_DOUBLE_EQ(field(d.steps[0], "h")->values[i], 2 * at(d, i, 0) + at(d, i, 1));
             EXPECT_EQ(field(d.steps[0], "mat")->values[1], 2.0);
         }},
        {"meshio_series.xdmf",
         12,
         10,
         vtk_tetra,
         {0.0, 0.5, 1.0},
         {"phi/1", "u/3", "c@cells/1"},
         [](const ImportData& d, std::size_t s) {
             const double t = 0.5 * static_cast<double>(s);
             for (std::size_t i = 0; i < 12; ++i) {
                 EXPECT_DOUBLE_EQ(field(d.steps[s], "phi")->values[i], at(d, i, 0) + t * at(d, i, 1));
                 EXPECT_DOUBLE_EQ(field(d.steps[s], "u")->values[3 * i + 2], -t * at(d, i, 2));
             }
             EXPECT_DOUBLE_EQ(field(d.steps[s], "c")->values[3], 3 + 10 * t);
         }},
        // Two Temporal collections (one per function, as dolfinx writes them)
        // become one step per time; an XY mesh lies at z = 0.
        {"dolfinx_form.xdmf",
         6,
         4,
         vtk_triangle,
         {0.0, 0.25, 0.5},
         {"p/1", "v/3"},
         [](const ImportData& d, std::size_t s) {
             const double t = 0.25 * static_cast<double>(s);
             for (std::size_t i = 0; i < 6; ++i) {
                 EXPECT_EQ(at(d, i, 2), 0.0);
                 EXPECT_DOUBLE_EQ(field(d.steps[s], "p")->values[i], at(d, i, 0) + t);
                 EXPECT_DOUBLE_EQ(field(d.steps[s], "v")->values[3 * i], t * at(d, i, 1));
                 EXPECT_DOUBLE_EQ(field(d.steps[s], "v")->values[3 * i + 1], -t);
             }
         }},
        // Two pieces sharing an edge: its two points are joined.
        {"spatial_v2.xmf",
         6,
         2,
         vtk_quad,
         {3.5},
         {"s/6", "k@cells/1"},
         [](const ImportData& d, std::size_t) {
             const ImportField* s = field(d.steps[0], "s");
             for (std::size_t i = 0; i < 6; ++i)
                 EXPECT_EQ(std::vector<double>(s->values.begin() + static_cast<std::ptrdiff_t>(6 * i),
                                               s->values.begin() + static_cast<std::ptrdiff_t>(6 * i + 6)),
                           (std::vector<double>{11, 22, 33, 12, 23, 13}));
             EXPECT_EQ(std::vector<double>(field(d.steps[0], "k")->values.begin(),
                                           field(d.steps[0], "k")->values.end()),
                       (std::vector<double>{1, 2}));
             for (std::int64_t k = d.mesh.cell_offsets[1]; k < d.mesh.cell_offsets[2]; ++k)
                 EXPECT_LT(d.mesh.cell_nodes[static_cast<std::size_t>(k)], 6);
         }},
        // The mesh comes from another file through xi:include href.
        {"inc_main.xdmf",
         3,
         1,
         vtk_triangle,
         {1.0, 2.0},
         {"f/1"},
         [](const ImportData& d, std::size_t s) {
             EXPECT_EQ(field(d.steps[s], "f")->values[2], s == 0 ? 3.0 : 6.0);
         }},
    };
}

TEST(XdmfReader, ReadsEveryFixtureAsItsWriterWroteIt) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.file);
        const ImportData d = import_test::loaded(import_file(import_xdmf, fixture(c.file)));
        ASSERT_EQ(d.mesh.point_count(), c.points);
        ASSERT_EQ(d.mesh.cell_count(), c.cells);
        EXPECT_EQ(d.mesh.cell_types[0], c.first_type);
        ASSERT_EQ(d.steps.size(), c.times.size());
        for (std::size_t s = 0; s < c.times.size(); ++s) {
            EXPECT_EQ(d.steps[s].time, c.times[s]) << "step " << s;
            ASSERT_EQ(field_names(d.steps[s]), c.fields) << "step " << s;
            c.values(d, s);
        }
        // Through the format table, and from memory (other files relative to the name).
        const ReadResult r = read_result(fixture(c.file));
        EXPECT_EQ(r.model.nnode, static_cast<std::int32_t>(c.points));
        const std::string bytes = slurp(fixture(c.file));
        const ImportData m = import_bytes(import_xdmf, bytes.data(), bytes.size(), fixture(c.file));
        EXPECT_TRUE(m.mesh.points == d.mesh.points);
    }
}

// The grids of a Spatial collection are the element blocks, by Name; a
// file of one grid has none.
TEST(XdmfReader, GridsOfASpatialCollectionAreTheBlocks) {
    const ReadResult r = read_result(fixture("spatial_v2.xmf"));
    EXPECT_EQ(r.model.block_names, (std::vector<std::string>{"left", "right"}));
    ASSERT_EQ(r.model.nelem, 2);
    EXPECT_EQ(r.model.element_block(1), 0);
    EXPECT_EQ(r.model.element_block(2), 1);
    // "left" lies at x <= 1.
    for (std::size_t k = 1; k < r.model.conec(1).size(); ++k)
        EXPECT_LE(r.model.coord(static_cast<std::size_t>(r.model.conec(1)[k]), 1), 1.0);

    const ReadResult series = read_result(fixture("meshio_series.xdmf"));
    EXPECT_TRUE(series.model.block_names.empty());
    EXPECT_TRUE(series.model.element_blocks.empty());
}

TEST(XdmfReader, FormatTableTakesXdmfByContent) {
    for (const char* name : {"meshio_series.xdmf", "dolfinx_form.xdmf", "spatial_v2.xmf"}) {
        const Format* f = format_for(slurp(fixture(name)), "renamed.xml");
        ASSERT_NE(f, nullptr) << name;
        EXPECT_STREQ(f->name, "XDMF");
    }
    EXPECT_FALSE(looks_like_xdmf("<?xml version=\"1.0\"?><VTKFile type=\"UnstructuredGrid\">"));
    EXPECT_FALSE(looks_like_xdmf("<Xdmfx/>"));
}

void expect_refused(const std::function<void()>& read, const std::vector<std::string>& parts) {
    try {
        read();
        ADD_FAILURE() << "read, expected a refusal";
    } catch (const ReadError& e) {
        for (const std::string& part : parts)
            EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
}

TEST(XdmfReader, RefusesWhatTheFileCannotHoldWithItsLine) {
    struct Refusal {
        const char* file;
        std::vector<std::string> parts;
    };
    const std::vector<Refusal> refusals = {
        {"huge.xdmf", {"/big", "3000000000 values", "line 9 of huge.xdmf"}},
        {"missing_dataset.xdmf", {"No dataset /nothing in huge.h5", "line 9 of missing_dataset.xdmf"}},
        {"wrong_size.xdmf", {"holds 9 values; the DataItem announces 12", "line 9 of wrong_size.xdmf"}},
        {"leaves_folder.xdmf", {"leaves the folder", "line 9 of leaves_folder.xdmf"}},
        {"absolute.xdmf", {"/dev/zero", "absolute", "line 9 of absolute.xdmf"}},
        {"loop_a.xdmf", {"loop"}},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.file);
        expect_refused([&] { read_file(import_xdmf, fixture(r.file)); }, r.parts);
    }
    // The same layout with a dataset of the right size reads.
    EXPECT_EQ(read_file(import_xdmf, fixture("fine_small.xdmf")).model.nnode, 3);
}

TEST(XdmfReader, RefusesDevicesFifosAndCutHeavyData) {
    const auto dir = heavy_test::scratch("xdmf");
    const std::string text = slurp(fixture("fine_small.xdmf"));
    std::ofstream(dir / "fine_small.xdmf") << text;
    // The heavy data a FIFO (nobody writes to it: a blocking open would hang).
    ASSERT_EQ(::mkfifo((dir / "huge.h5").c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    expect_refused([&] { read_file(import_xdmf, (dir / "fine_small.xdmf").string()); },
                   {"n\u00E3o um arquivo comum", "line 9"});
    // A device behind a link.
    std::filesystem::remove(dir / "huge.h5");
    std::filesystem::create_symlink("/dev/zero", dir / "huge.h5");
    expect_refused([&] { read_file(import_xdmf, (dir / "fine_small.xdmf").string()); },
                   {"n\u00E3o um arquivo comum", "line 9"});
    // The .xdmf itself a FIFO.
    ASSERT_EQ(::mkfifo((dir / "pipe.xdmf").c_str(), 0600), 0);
    expect_refused([&] { read_result((dir / "pipe.xdmf").string()); }, {"n\u00E3o um arquivo comum"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // An .h5 cut short at several places.
    const std::string xdmf = slurp(fixture("meshio_tet.xdmf"));
    const std::string h5 = slurp(fixture("meshio_tet.h5"));
    std::ofstream(dir / "meshio_tet.xdmf") << xdmf;
    for (const std::size_t keep : {std::size_t{0}, std::size_t{100}, h5.size() / 2, h5.size() - 1}) {
        std::filesystem::remove(dir / "meshio_tet.h5");
        std::ofstream(dir / "meshio_tet.h5", std::ios::binary)
            .write(h5.data(), static_cast<std::streamsize>(keep));
        EXPECT_THROW(read_file(import_xdmf, (dir / "meshio_tet.xdmf").string()), ReadError)
            << "cut at " << keep;
    }
    std::filesystem::remove_all(dir);
}

// Heavy data whose HDF5 metadata crashes the system's HDF5 library (the
// damaged netCDF-4 file the fuzzer found, kept under fuzz/known): refused
// with the XDMF line, and this process reads on.
TEST(XdmfReader, DamagedHdf5DataIsRefusedAndTheProcessGoesOn) {
    const auto dir = heavy_test::scratch("xdmf_damaged");
    std::filesystem::copy_file(std::string(ORVANEL_SOURCE_DIR) +
                                   "/fuzz/known/libhdf5_1.10.8_nc_open_mem_segv.exo",
                               dir / "damaged.h5");
    std::string text = slurp(fixture("fine_small.xdmf"));
    text.replace(text.find("huge.h5:/small"), 14, "damaged.h5:/coordx");
    std::ofstream(dir / "damaged.xdmf") << text;
    expect_refused([&] { read_file(import_xdmf, (dir / "damaged.xdmf").string()); },
                   {"damaged.h5", "line 9"});
    EXPECT_NO_THROW(read_file(import_xdmf, fixture("meshio_tet.xdmf")));
    std::filesystem::remove_all(dir);
}

TEST(XdmfReader, RefusesMalformedLightData) {
    const auto read = [](const std::string& grid) {
        const std::string text = "<Xdmf Version=\"3.0\"><Domain>" + grid + "</Domain></Xdmf>";
        read_bytes(import_xdmf, text.data(), text.size(), "/nonexistent/t.xdmf");
    };
    const std::string geo =
        "<Geometry GeometryType=\"XY\"><DataItem Dimensions=\"3 2\">0 0 1 0 0 1</DataItem></Geometry>";
    expect_refused(
        [&] {
            read("<Grid><Topology TopologyType=\"Triangle\"><DataItem Dimensions=\"3\">0 1 7</DataItem>"
                 "</Topology>" +
                 geo + "</Grid>");
        },
        {"names point 7", "line 1 of t.xdmf"});
    expect_refused(
        [&] {
            read("<Grid><Topology TopologyType=\"Triangle\"><DataItem Dimensions=\"4\">0   1   2</DataItem>"
                 "</Topology>" +
                 geo + "</Grid>");
        },
        {"holds 3 numbers; its Dimensions announce 4"});
    expect_refused(
        [&] {
            read("<Grid><Topology TopologyType=\"Triangle\"><DataItem Dimensions=\"1000000000000\">0"
                 "</DataItem></Topology>" +
                 geo + "</Grid>");
        },
        {"announces 1000000000000 numbers"});
    expect_refused(
        [&] {
            read("<Grid><Topology TopologyType=\"Blob\"><DataItem Dimensions=\"3\">0 1 2</DataItem>"
                 "</Topology>" +
                 geo + "</Grid>");
        },
        {"Unsupported TopologyType \"Blob\""});
    // An xi:include of the file itself.
    expect_refused(
        [&] {
            read("<Grid xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include "
                 "xpointer=\"xpointer(/Xdmf/Domain/Grid[1]/*)\"/></Grid>");
        },
        {"nested"});
    ReaderOptions small;
    small.memory_limit = 1000;
    expect_refused([&] { read_file(import_xdmf, fixture("meshio_tet.xdmf"), small); },
                   {"Not enough memory to read"});
}

} // namespace
} // namespace orv
