#include "viewer/formats/exodus_reader.h"

#include "heavy_data_test_util.h"
#include "import_test_util.h"
#include "viewer/formats/formats.h"
#include "viewer/formats/importer.h"
#include "viewer/model/info_report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace orv {
namespace {

using import_test::field;
using import_test::slurp;

// The fixtures and the formulas of their values: make_exodus_fixtures.py.
std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/import/exodus/" + name;
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
    std::vector<int> cell_types;
    std::vector<std::int64_t> cell_labels; // empty: none in the file
    std::vector<double> times;
    std::vector<std::string> fields; // of every step: name[@cells]/components
    std::vector<std::string> groups;
    // Checks the values of step s.
    std::function<void(const ImportData&, std::size_t)> values;
};

std::vector<Case> cases() {
    return {
        {"classic_hex.exo",
         12,
         {vtk_hexahedron, vtk_hexahedron, vtk_quad, vtk_line},
         {501, 502, 601, 701},
         {0.0, 0.5, 1.25},
         {"DISPL/3", "TEMP/1", "STRESS@cells/6", "PRESSURE@cells/1"},
         {"block 10 HEX8 2 bricks", "block 20 SHELL4 1 skin", "block 30 BEAM2 1", "nodeset 7 4 fixed",
          "sideset 9 1 load"},
         [](const ImportData& d, std::size_t s) {
             const auto& st = d.steps[s];
             const ImportField* u = field(st, "DISPL");
             const ImportField* t = field(st, "TEMP");
             const double k = static_cast<double>(s + 1);
             for (std::size_t i = 0; i < 12; ++i) {
                 const double x = at(d, i, 0), y = at(d, i, 1), z = at(d, i, 2);
                 EXPECT_DOUBLE_EQ(u->values[3 * i], 0.01 * x * k);
                 EXPECT_DOUBLE_EQ(u->values[3 * i + 1], 0.02 * y * k);
                 EXPECT_DOUBLE_EQ(u->values[3 * i + 2], -0.03 * z * k);
                 EXPECT_DOUBLE_EQ(t->values[i], 100 + x + 10 * y + 100 * z + static_cast<double>(s));
             }
             const ImportField* sx = field(st, "STRESS");
             for (std::size_t e = 0; e < 4; ++e)
                 for (std::size_t c = 0; c < 6; ++c)
                     EXPECT_DOUBLE_EQ(sx->values[6 * e + c],
                                      e < 2 ? (c + 1) * 10.0 + e + 100.0 * s : 0.0) // other blocks: none
                         << "cell " << e << " component " << c;
             const ImportField* p = field(st, "PRESSURE");
             EXPECT_DOUBLE_EQ(p->values[0], 5.0 + s);
             EXPECT_DOUBLE_EQ(p->values[1], 6.0 + s);
             EXPECT_DOUBLE_EQ(p->values[2], 7.0 + s);
             EXPECT_DOUBLE_EQ(p->values[3], 0.0);
         }},
        {"offset64_quad2d.exo",
         7,
         {vtk_quad, vtk_quad, vtk_triangle},
         {},
         {0.0, 2.0},
         {"vel/3", "s/6"},
         {"block 1 QUAD4 2 plate", "block 2 TRI3 1 tip"},
         [](const ImportData& d, std::size_t s) {
             const ImportField* v = field(d.steps[s], "vel");
             const ImportField* t = field(d.steps[s], "s");
             const double k = static_cast<double>(s);
             for (std::size_t i = 0; i < 7; ++i) {
                 const double x = at(d, i, 0), y = at(d, i, 1);
                 EXPECT_EQ(at(d, i, 2), 0.0);
                 EXPECT_DOUBLE_EQ(v->values[3 * i], x + k);
                 EXPECT_DOUBLE_EQ(v->values[3 * i + 1], 2 * y - k);
                 EXPECT_EQ(v->values[3 * i + 2], 0.0);
                 const std::array<double, 6> want{x * y + k, x - y, 0, 0.5 * x, 0, 0};
                 for (std::size_t c = 0; c < 6; ++c)
                     EXPECT_DOUBLE_EQ(t->values[6 * i + c], want[c]) << "node " << i << " component " << c;
             }
         }},
        {"nc4_quadratic.exo",
         20 + 27 + 15 + 10 + 13 + 6 + 9 + 3,
         {vtk_quadratic_hexahedron, vtk_triquadratic_hexahedron, vtk_quadratic_wedge, vtk_quadratic_tetra,
          vtk_quadratic_pyramid, vtk_quadratic_triangle, vtk_biquadratic_quad, vtk_quadratic_edge},
         {},
         {1.0},
         {"disp/3"},
         {"block 1 HEX20 1 hex20", "block 2 HEX27 1 hex27", "block 3 WEDGE15 1 wedge15",
          "block 4 TETRA10 1 tetra10", "block 5 PYRAMID13 1 pyramid13", "block 6 TRI6 1 tri6",
          "block 7 QUAD9 1 quad9", "block 8 BAR3 1 bar3"},
         [](const ImportData& d, std::size_t) {
             heavy_test::expect_quadratic_places(d);
             const ImportField* u = field(d.steps[0], "disp");
             for (std::size_t i = 0; i < d.mesh.point_count(); ++i)
                 EXPECT_DOUBLE_EQ(u->values[3 * i + 2], 0.1 * at(d, i, 2));
         }},
        // meshio writes vectors as one variable of three columns.
        {"meshio_tet.exo",
         5,
         {vtk_tetra, vtk_tetra, vtk_triangle},
         {},
         {0.0},
         {"u/3", "T/1"},
         {"block 0 TETRA 2", "block 1 TRI3 1", "nodeset 0 3 base"},
         [](const ImportData& d, std::size_t) {
             const ImportField* u = field(d.steps[0], "u");
             const ImportField* t = field(d.steps[0], "T");
             for (std::size_t i = 0; i < 5; ++i) {
                 for (int c = 0; c < 3; ++c)
                     EXPECT_DOUBLE_EQ(u->values[3 * i + static_cast<std::size_t>(c)], 0.1 * at(d, i, c));
                 EXPECT_DOUBLE_EQ(t->values[i], at(d, i, 0) + 2 * at(d, i, 1));
             }
         }},
        // VTK's writer names components without an underscore (FLUXX FLUXY FLUXZ).
        {"vtk_tet.exo",
         5,
         {vtk_tetra, vtk_tetra},
         {},
         {0.0},
         {"PHI/1", "FLUX@cells/3"},
         {"block 10 TETRA 2"},
         [](const ImportData& d, std::size_t) {
             const ImportField* p = field(d.steps[0], "PHI");
             for (std::size_t i = 0; i < 5; ++i)
                 EXPECT_DOUBLE_EQ(p->values[i], 3 * at(d, i, 0) + at(d, i, 2));
             const ImportField* f = field(d.steps[0], "FLUX");
             EXPECT_EQ(std::vector<double>(f->values.begin(), f->values.end()),
                       (std::vector<double>{1, 2, 3, 4, 5, 6}));
         }},
    };
}

TEST(ExodusReader, ReadsEveryFixtureAsItsWriterWroteIt) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.file);
        const ImportData x = import_test::loaded(import_file(import_exodus, fixture(c.file)));
        const ImportData& d = x;
        ASSERT_EQ(d.mesh.point_count(), c.points);
        EXPECT_EQ(std::vector<int>(d.mesh.cell_types.begin(), d.mesh.cell_types.end()), c.cell_types);
        if (!c.cell_labels.empty()) {
            EXPECT_EQ(std::vector<std::int64_t>(d.mesh.cell_labels.begin(), d.mesh.cell_labels.end()),
                      c.cell_labels);
        }
        ASSERT_EQ(d.steps.size(), c.times.size());
        for (std::size_t s = 0; s < c.times.size(); ++s) {
            ASSERT_TRUE(d.steps[s].time);
            EXPECT_EQ(*d.steps[s].time, c.times[s]);
            ASSERT_EQ(field_names(d.steps[s]), c.fields) << "step " << s;
            c.values(d, s);
        }
        EXPECT_EQ(x.groups, c.groups);
        // The same file from memory reads the same.
        const std::string bytes = slurp(fixture(c.file));
        const ImportData m = import_bytes(import_exodus, bytes.data(), bytes.size(), c.file);
        EXPECT_EQ(m.groups, x.groups);
        ASSERT_EQ(m.steps.size(), d.steps.size());
        EXPECT_TRUE(m.mesh.points == d.mesh.points);
    }
}

TEST(ExodusReader, NodeNumberMapGivesTheLabels) {
    const ImportData x = import_file(import_exodus, fixture("classic_hex.exo"));
    ASSERT_EQ(x.mesh.point_labels.size(), 12u);
    for (std::size_t k = 0; k < 12; ++k)
        EXPECT_EQ(x.mesh.point_labels[k], 1001 + 2 * static_cast<std::int64_t>(k));
}

TEST(ExodusReader, OneStepOfOneVariableReadsAlone) {
    const ExodusFile f(fixture("classic_hex.exo"));
    ASSERT_EQ(f.step_count(), 3u);
    EXPECT_EQ(f.step_time(2), 1.25);
    EXPECT_EQ(f.nodal_names(), (std::vector<std::string>{"DISPLX", "DISPLY", "DISPLZ", "TEMP"}));
    std::vector<double> t(f.node_count());
    f.read_nodal(1, 3, t.data());
    EXPECT_DOUBLE_EQ(t[11], 100 + 2 + 10 + 100 + 1); // node (2, 1, 1)
    std::vector<double> p(f.element_count());
    f.read_element(2, 6, p.data());
    EXPECT_EQ(p, (std::vector<double>{7, 8, 9, 0}));
}

TEST(ExodusReader, ModelListsTheFileForInfo) {
    const ReadResult r = read_result(fixture("classic_hex.exo"));
    const std::string info = info_report(r.model);
    EXPECT_NE(info.find("\nblock 10 HEX8 2 bricks\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\nnodeset 7 4 fixed\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\nsideset 9 1 load\n"), std::string::npos) << info;
    const auto& names = r.model.namelista;
    EXPECT_NE(std::find(names.begin(), names.end(), "STRESS von Mises (média nos nós) - passo 3 (t = 1.25)"),
              names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "DISPL Magnitude - passo 2 (t = 0.5)"), names.end());
    // DISPL is the displacement: node (2, 0, 0) at step 3 moves 0.06 in x.
    const std::int32_t node = r.model.node_with_label(1001 + 2 * 2);
    ASSERT_GT(node, 0);
    const std::size_t list = static_cast<std::size_t>(
        std::find(names.begin(), names.end(), "DISPL X - passo 3 (t = 1.25)") - names.begin());
    EXPECT_NEAR(r.model.list_displacement(static_cast<std::size_t>(node), static_cast<int>(list), 0), 0.06,
                1e-12);
}

// Each drawn element keeps the block of the cell it came from: the faces of
// a brick, the shell and the beam each their own, a block without a name
// called by its id.
TEST(ExodusReader, ElementsKeepTheirBlocksByName) {
    const ReadResult r = read_result(fixture("classic_hex.exo"));
    const ResultModel& m = r.model;
    EXPECT_EQ(m.block_names, (std::vector<std::string>{"bricks", "skin", "block 30"}));
    ASSERT_EQ(m.element_blocks.size(), static_cast<std::size_t>(m.nelem) + 1);
    std::vector<int> seen(3, 0);
    for (std::int32_t e = 1; e <= m.nelem; ++e) {
        const std::int64_t label = m.element_label(static_cast<std::size_t>(e));
        const int expected = label == 601 ? 1 : label == 701 ? 2 : 0;
        EXPECT_EQ(m.element_block(static_cast<std::size_t>(e)), expected) << "element labelled " << label;
        ++seen[static_cast<std::size_t>(m.element_block(static_cast<std::size_t>(e)))];
    }
    EXPECT_EQ(seen[0], 10); // the two bricks' outer faces
    EXPECT_EQ(seen[1], 1);
    EXPECT_EQ(seen[2], 1);

    // The 2D file: two named blocks, in file order.
    const ReadResult plate = read_result(fixture("offset64_quad2d.exo"));
    EXPECT_EQ(plate.model.block_names, (std::vector<std::string>{"plate", "tip"}));
    std::vector<int> blocks;
    for (std::int32_t e = 1; e <= plate.model.nelem; ++e)
        blocks.push_back(plate.model.element_block(static_cast<std::size_t>(e)));
    EXPECT_EQ(blocks, (std::vector<int>{0, 0, 1}));
}

TEST(ExodusReader, FormatTableTakesExodusByContentAndExtension) {
    const std::string classic = slurp(fixture("classic_hex.exo"));
    const Format* f = format_for(classic, "renamed.bin");
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, "Exodus II");
    const std::string nc4 = slurp(fixture("nc4_quadratic.exo"));
    EXPECT_EQ(format_for(nc4, "renamed.bin"), nullptr);
    for (const char* name : {"a.e", "a.EXO", "a.ex2", "a.g"}) {
        f = format_for(nc4, name);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_STREQ(f->name, "Exodus II");
    }
}

TEST(ExodusReader, GroupsComponentSuffixes) {
    const std::vector<std::string> names{"DISPLX", "DISPLY", "DISPLZ", "MAX", "SIG_XX", "SIG_YY", "SIG_ZZ",
                                         "SIG_XY", "SIG_YZ", "SIG_XZ", "v_x", "v_y",    "T"};
    const auto g = group_components(names, 3);
    ASSERT_EQ(g.size(), 6u);
    EXPECT_EQ(g[0].name, "DISPL");
    EXPECT_EQ(g[0].members, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(g[1].name, "MAX"); // no MAY: a scalar
    EXPECT_EQ(g[2].name, "SIG");
    EXPECT_EQ(g[2].kind, 6);
    EXPECT_EQ(g[3].name, "v_x"); // a 3D mesh needs v_z
    EXPECT_EQ(g[4].name, "v_y");
    EXPECT_EQ(g[5].name, "T");
    const auto g2 = group_components({"v_x", "v_y", "T"}, 2);
    ASSERT_EQ(g2.size(), 2u);
    EXPECT_EQ(g2[0].name, "v");
    EXPECT_EQ(g2[0].members, (std::vector<int>{0, 1, -1}));
}

void expect_refused(const std::function<void()>& read, const std::string& part) {
    try {
        read();
        ADD_FAILURE() << "read, expected a refusal with \"" << part << "\"";
    } catch (const ReadError& e) {
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
}

TEST(ExodusReader, RefusesHostileFiles) {
    const auto dir = heavy_test::scratch("exodus");
    // Cut short, in both netCDF forms.
    for (const char* name : {"classic_hex.exo", "nc4_quadratic.exo"}) {
        const std::string bytes = slurp(fixture(name));
        for (const std::size_t keep : {std::size_t{0}, std::size_t{3}, bytes.size() / 3, bytes.size() - 9}) {
            const auto path = dir / ("cut_" + std::to_string(keep) + name);
            std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(keep));
            EXPECT_THROW(read_file(import_exodus, path.string()), ReadError) << name << " cut at " << keep;
            EXPECT_THROW(read_bytes(import_exodus, bytes.data(), keep, name), ReadError)
                << name << " cut at " << keep;
        }
    }
    // A billion nodes announced in a file of 5 KB.
    std::string bytes = slurp(fixture("classic_hex.exo"));
    const auto at = bytes.find("num_nodes");
    ASSERT_NE(at, std::string::npos);
    const unsigned char billion[4] = {0x3B, 0x9A, 0xCA, 0x00};
    std::memcpy(bytes.data() + at + 12, billion, 4);
    expect_refused([&] { read_bytes(import_exodus, bytes.data(), bytes.size(), "billion.exo"); },
                   "billion.exo");
    // A damaged header, found by the fuzzer: the library, reading from
    // memory, sized its buffer by it (2 GB); it is refused before.
    const std::string oom = slurp(fixture("fuzz_header_oom.exo"));
    expect_refused([&] { read_bytes(import_exodus, oom.data(), oom.size(), "oom.exo"); }, "netCDF header");
    expect_refused([&] { read_file(import_exodus, fixture("fuzz_header_oom.exo")); }, "netCDF header");
    // Not a regular file.
    const auto fifo = dir / "pipe.exo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expect_refused([&] { read_result(fifo.string()); }, "n\u00E3o um arquivo comum");
    expect_refused([&] { read_file(import_exodus, fifo.string()); }, "n\u00E3o um arquivo comum");
    expect_refused([&] { read_file(import_exodus, "/dev/zero"); }, "n\u00E3o um arquivo comum");
    std::filesystem::remove_all(dir);
}

// netCDF-4 metadata on which the system's HDF5 library fails inside its own
// clean-up (a bad free that the fuzzer's sanitizer caught; the input is kept
// under fuzz/known): the library meets it in a child process only, the file
// is refused as damaged, from a file and from memory, and this process reads on.
TEST(ExodusReader, DamagedHdf5DataIsRefusedAndTheProcessGoesOn) {
    const std::string path =
        std::string(ORVANEL_SOURCE_DIR) + "/fuzz/known/libhdf5_1.10.8_nc_open_mem_segv.exo";
    const std::string bytes = slurp(path);
    ASSERT_FALSE(bytes.empty());
    expect_refused([&] { read_result_bytes(bytes.data(), bytes.size(), "damaged.exo"); },
                   "damaged HDF5 data");
    expect_refused([&] { read_result(path); }, "damaged HDF5 data");
    EXPECT_NO_THROW(read_file(import_exodus, fixture("nc4_quadratic.exo")));
}

TEST(ExodusReader, HonoursTheMemoryLimit) {
    ReaderOptions small;
    small.memory_limit = 4096;
    expect_refused([&] { read_file(import_exodus, fixture("classic_hex.exo"), small); },
                   "Not enough memory to read classic_hex.exo");
}

} // namespace
} // namespace orv
