// Faults the importers and build_model() once had, each with the small file
// or table that shows it (tests/data/import/faults, made by make_fixtures.py
// there).

#include "../model/list_dump.h"
#include "viewer/formats/calculix_reader.h"
#include "viewer/formats/gmsh_reader.h"
#include "viewer/formats/import_mesh.h"
#include "viewer/formats/importer.h"
#include "viewer/formats/model_writer.h"
#include "viewer/formats/reader.h"

#include "import_test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace orv::import_test;

std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/import/faults/" + name;
}

// The 1-based model row of the node labelled `label`.
std::size_t row_of(const orv::ResultModel& m, std::int64_t label) {
    for (std::size_t i = 1; i <= static_cast<std::size_t>(m.nnode); ++i)
        if (m.node_label(i) == label) return i;
    ADD_FAILURE() << "no node " << label;
    return 1;
}

std::size_t list_of(const orv::ResultModel& m, const std::string& name) {
    for (std::size_t k = 1; k <= static_cast<std::size_t>(m.nlista); ++k)
        if (m.namelista[k] == name) return k;
    ADD_FAILURE() << "no list " << name;
    return 1;
}

bool contains(const std::vector<std::string>& warnings, const std::string& part) {
    for (const auto& w : warnings)
        if (w.find(part) != std::string::npos) return true;
    return false;
}

// One view and step in two binary $NodeData blocks: the second block must
// not reset what the first one wrote, whether the blocks are read on one
// thread or in pieces.
TEST(ImportFaults, BinaryGmshViewSplitOverBlocksKeepsEveryBlock) {
    for (const int threads : {1, 3})
        for (const std::size_t chunk : {std::size_t{0}, std::size_t{24}}) {
            SCOPED_TRACE("threads " + std::to_string(threads) + ", chunk " + std::to_string(chunk));
            orv::ReaderOptions o;
            o.threads = threads;
            o.chunk_bytes = chunk;
            const orv::ImportData d = orv::import_test::loaded(
                orv::import_file(orv::import_msh, fixture("split_view_22_bin.msh"), o));
            ASSERT_EQ(d.steps.size(), 1u);
            const orv::ImportField* u = field(d.steps[0], "u");
            ASSERT_NE(u, nullptr);
            for (std::size_t i = 0; i < d.mesh.point_count(); ++i) {
                const P3 p = point(d, static_cast<std::int64_t>(i));
                EXPECT_EQ(u->values[3 * i], 0.1 * p[0] + 1) << "node " << d.mesh.point_labels[i];
                EXPECT_EQ(u->values[3 * i + 1], 0.2 * p[1] + 1) << "node " << d.mesh.point_labels[i];
                EXPECT_EQ(u->values[3 * i + 2], 3.0) << "node " << d.mesh.point_labels[i];
            }
        }
}

// Result records naming nodes the node block lacks are skipped, one warning
// per block; the other records keep their values (text, text with a -2
// continuation line, binary).
TEST(ImportFaults, CalculixRecordsOfUnknownNodesAreSkipped) {
    for (const int threads : {1, 3}) {
        orv::ReaderOptions o;
        o.threads = threads;
        o.chunk_bytes = 40;
        const orv::ImportData d =
            orv::import_test::loaded(orv::import_file(orv::import_frd, fixture("missing_nodes.frd"), o));
        ASSERT_EQ(d.warnings.size(), 3u);
        EXPECT_EQ(d.warnings[0], "missing_nodes.frd: result block DISP (step 1) at line 13 names 2 nodes the "
                                 "node block does not hold (77, 78); their records were skipped.");
        EXPECT_EQ(d.warnings[1], "missing_nodes.frd: result block SEVEN (step 1) at line 25 names 1 node the "
                                 "node block does not hold (99); its record was skipped.");
        EXPECT_EQ(d.warnings[2], "missing_nodes.frd: result block TEMP (step 1) at line 45 names 1 node the "
                                 "node block does not hold (55); its record was skipped.");
        ASSERT_EQ(d.steps.size(), 1u);
        const auto* disp = field(d.steps[0], "DISP");
        const auto* seven = field(d.steps[0], "SEVEN");
        const auto* temp = field(d.steps[0], "TEMP");
        ASSERT_TRUE(disp && seven && temp);
        for (std::size_t i = 0; i < 4; ++i) {
            const double n = static_cast<double>(d.mesh.point_labels[i]);
            EXPECT_DOUBLE_EQ(disp->values[3 * i], n / 10);
            EXPECT_DOUBLE_EQ(disp->values[3 * i + 1], n / 100);
            EXPECT_DOUBLE_EQ(seven->values[7 * i + 5], n + 0.5);
            EXPECT_DOUBLE_EQ(seven->values[7 * i + 6], n + 0.6);
            EXPECT_EQ(temp->values[i], 100 + n);
        }
    }
    // The warning lists the first five numbers only.
    std::string frd = slurp(fixture("missing_nodes.frd"));
    frd = frd.substr(0, frd.find("  100C"));
    frd += "  100CL  101 1.000000000           7                     0    1           1\n"
           " -4  T           1    1\n -5  T           1    1    0    0\n";
    for (const int n : {1, 11, 12, 13, 14, 15, 16})
        frd += " -1" + std::string(10 - std::to_string(n).size(), ' ') + std::to_string(n) + " 1.00000E+00\n";
    frd += " -3\n9999\n";
    const orv::ImportData d = orv::import_bytes(orv::import_frd, frd.data(), frd.size(), "many.frd");
    ASSERT_EQ(d.warnings.size(), 1u);
    EXPECT_NE(d.warnings[0].find("names 6 nodes the node block does not hold (11, 12, 13, 14, 15, ...)"),
              std::string::npos)
        << d.warnings[0];
}

// An $ElementData view given for element 100 only: its nodes read the
// element's value, not an average with zeros of the elements without one.
TEST(ImportFaults, PartialElementDataAveragesOverCellsWithAValue) {
    const auto r = orv::read_result(fixture("partial_element_data_22.msh"));
    const auto& m = r.model;
    const std::size_t k = list_of(m, "p (média nos nós) - passo 1 (t = 0)");
    const std::map<std::int64_t, double> want = {{10, 10}, {20, 10}, {57, 10}, {40, 10}, {35, 0}, {70, 0}};
    for (const auto& [label, v] : want)
        EXPECT_EQ(m.listas(row_of(m, label), k), v) << "node " << label;
}

// Centre nodes of serendipity faces: magnitude and von Mises from the node's
// own (interpolated) components, never below zero.
TEST(ImportFaults, DerivedValuesAtCentreNodesComeFromTheirComponents) {
    for (const char* file : {"shell8.frd", "beam20.frd"}) {
        SCOPED_TRACE(file);
        const std::string path = std::string(ORVANEL_TEST_DATA) + "/import/calculix/" + file;
        const std::size_t points = orv::import_file(orv::import_frd, path).mesh.point_count();
        const auto r = orv::read_result(path);
        const auto& m = r.model;
        ASSERT_GT(static_cast<std::size_t>(m.nnode), points); // centre nodes were made
        int derived = 0;
        for (std::size_t k = 1; k <= static_cast<std::size_t>(m.nlista); ++k) {
            const std::string& name = m.namelista[k];
            const bool mag = name.find(" Magnitude") != std::string::npos;
            const bool vm = name.find(" von Mises") != std::string::npos;
            if (!mag && !vm) continue;
            ++derived;
            for (std::size_t i = points + 1; i <= static_cast<std::size_t>(m.nnode); ++i) {
                double want = 0;
                if (mag) {
                    want = std::hypot(m.listas(i, k - 3), m.listas(i, k - 2), m.listas(i, k - 1));
                } else {
                    const double xx = m.listas(i, k - 6), yy = m.listas(i, k - 5), zz = m.listas(i, k - 4);
                    const double xy = m.listas(i, k - 3), yz = m.listas(i, k - 2), xz = m.listas(i, k - 1);
                    want = std::sqrt(
                        0.5 * ((xx - yy) * (xx - yy) + (yy - zz) * (yy - zz) + (zz - xx) * (zz - xx)) +
                        3 * (xy * xy + yz * yz + xz * xz));
                }
                EXPECT_NEAR(m.listas(i, k), want, 1e-9 * (1 + want))
                    << name << " at node " << m.node_label(i);
            }
        }
        EXPECT_GE(derived, 2); // a magnitude and a von Mises at least
    }
}

// Six components that are amplitudes and phases (CalculiX PDISP) are shown
// as they are, with their names, and get no von Mises.
TEST(ImportFaults, AmplitudesAndPhasesAreNoTensor) {
    const auto r = orv::read_result(fixture("pdisp.frd"));
    const auto& m = r.model;
    ASSERT_EQ(m.nlista, 6);
    const char* names[] = {"MAG1", "MAG2", "MAG3", "PHA1", "PHA2", "PHA3"};
    for (std::size_t k = 1; k <= 6; ++k)
        EXPECT_EQ(m.namelista[k], std::string("PDISP ") + names[k - 1] + " - passo 1 (t = 1)");
    EXPECT_EQ(m.listas(row_of(m, 3), 3), 9.0);
    EXPECT_EQ(m.listas(row_of(m, 3), 4), -90.0);
}

orv::ImportData cube_with(const std::vector<std::pair<int, std::vector<std::int64_t>>>& cells) {
    orv::ImportData d;
    d.mesh.points.assign({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1});
    d.mesh.cell_offsets.assign(1, 0);
    for (const auto& [type, nodes] : cells) {
        d.mesh.cell_types.push_back(static_cast<std::uint8_t>(type));
        d.mesh.cell_nodes.insert(d.mesh.cell_nodes.end(), nodes.begin(), nodes.end());
        d.mesh.cell_offsets.push_back(static_cast<std::int64_t>(d.mesh.cell_nodes.size()));
    }
    return d;
}

// Identical cells count once, with one warning: two copies of a volume no
// longer cancel every face they share.
TEST(ImportFaults, IdenticalCellsCountOnce) {
    using Cells = std::vector<std::pair<int, std::vector<std::int64_t>>>;
    const std::vector<std::int64_t> hex = {0, 1, 2, 3, 4, 5, 6, 7};
    const std::vector<std::int64_t> hex_turned = {1, 2, 3, 0, 5, 6, 7, 4};
    struct Case {
        const char* what;
        Cells cells;
        std::int32_t nelem;
        const char* warning; // empty: none
    };
    const Case cases[] = {
        {"one hexahedron", {{orv::vtk_hexahedron, hex}}, 6, ""},
        {"the same hexahedron twice",
         {{orv::vtk_hexahedron, hex}, {orv::vtk_hexahedron, hex}},
         6,
         "1 cell repeats an earlier cell (the same type and nodes) and was counted once."},
        {"three copies, one numbered from another corner",
         {{orv::vtk_hexahedron, hex}, {orv::vtk_hexahedron, hex_turned}, {orv::vtk_hexahedron, hex}},
         6,
         "2 cells repeat an earlier cell (the same type and nodes) and were counted once."},
        {"a triangle twice and another",
         {{orv::vtk_triangle, {0, 1, 2}}, {orv::vtk_triangle, {0, 1, 2}}, {orv::vtk_triangle, {0, 2, 3}}},
         2,
         "1 cell repeats"},
        {"the same nodes as another type",
         {{orv::vtk_quad, {0, 1, 2, 3}}, {orv::vtk_polygon, {0, 1, 2, 3}}},
         2,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = orv::build_model(cube_with(c.cells), "cells.vtk", 1);
        EXPECT_EQ(r.model.nelem, c.nelem);
        if (*c.warning)
            EXPECT_TRUE(contains(r.warnings, c.warning)) << (r.warnings.empty() ? "" : r.warnings[0]);
        else
            EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
    }
    // A partitioned file whose pieces are the same grid shows it.
    const auto r = orv::read_result(fixture("overlap.pvtu"));
    EXPECT_EQ(r.model.nelem, 6);
    EXPECT_TRUE(contains(r.warnings, "overlap.pvtu: 1 cell repeats an earlier cell"));
}

// Gmsh's 18-node prism keeps the file's face-centre nodes (here off the
// faces' centres) instead of centres made from the other nodes.
TEST(ImportFaults, GmshPrism18KeepsItsFaceCentres) {
    const auto r = orv::read_result(fixture("prism18_22.msh"));
    EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
    const auto& m = r.model;
    ASSERT_EQ(m.nnode, 18);
    const orv::ImportData d =
        orv::import_test::loaded(orv::import_file(orv::import_msh, fixture("prism18_22.msh")));
    // Each quadrilateral face (9 nodes) has its centre (lattice node 4) at one
    // of the file's nodes 16..18.
    int quads = 0;
    for (std::size_t e = 1; e <= static_cast<std::size_t>(m.nelem); ++e) {
        const auto row = m.conec(e);
        if (row[0] != 302) continue;
        ++quads;
        const std::int64_t centre = m.node_label(static_cast<std::size_t>(row[1 + 4]));
        EXPECT_GE(centre, 16);
        const auto at = static_cast<std::int64_t>(centre - 1);
        for (std::size_t x = 0; x < 3; ++x)
            EXPECT_EQ(m.coord(static_cast<std::size_t>(row[1 + 4]), 1 + x), point(d, at)[x]);
    }
    EXPECT_EQ(quads, 3);
}

// --convert to .vtu of a model of several steps reopens with the same
// lists, names, steps, times and deformed shapes: every fixture whose
// lists span more than one step.
TEST(ImportFaults, MultiStepModelsRoundTripThroughVtu) {
    namespace fs = std::filesystem;
    const std::string tmp = testing::TempDir() + "roundtrip_" + std::to_string(::getpid()) + ".vtu";
    int tried = 0;
    std::vector<fs::path> files;
    for (const std::string& root :
         {std::string(ORVANEL_TEST_DATA), std::string(ORVANEL_SOURCE_DIR) + "/examples"})
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& path : files) {
        const std::string ext = path.extension().string();
        if (ext != ".msh" && ext != ".frd" && ext != ".vtu" && ext != ".pvd" && ext != ".vtk" &&
            ext != ".pvtu")
            continue;
        orv::ReadResult first;
        try {
            first = orv::read_result(path.string());
        } catch (const orv::ReadError&) {
            continue; // the fixtures of refused files
        }
        const auto& a = first.model;
        bool several = false;
        for (std::size_t k = 1; k <= static_cast<std::size_t>(a.nlista); ++k)
            if (const auto s = orv::step_of_name(a.namelista[k]); s && s->step > 1) several = true;
        if (!several) continue;
        SCOPED_TRACE(path.string());
        ++tried;
        const orv::VtuBytes vtu = orv::vtu_of(a);
        {
            std::ofstream out(tmp, std::ios::binary);
            out << vtu.bytes;
        }
        const orv::ResultModel b = orv::read_result(tmp).model;
        EXPECT_EQ(a.nnode, b.nnode);
        EXPECT_EQ(a.nelem, b.nelem);
        EXPECT_EQ(a.namelista, b.namelista);
        // Positions and every list's displacement (the deformed shapes), and
        // the values, bit for bit.
        ASSERT_EQ(a.coord_data.size(), b.coord_data.size());
        EXPECT_EQ(std::memcmp(a.coord_data.data(), b.coord_data.data(), a.coord_data.size() * sizeof(double)),
                  0);
        EXPECT_TRUE(orv::test::same_bits(orv::test::all_list_values(a), orv::test::all_list_values(b)));
        EXPECT_TRUE(
            orv::test::same_bits(orv::test::all_list_displacements(a), orv::test::all_list_displacements(b)));
        // And a second round gives the same names again (no suffix grows).
        const orv::VtuBytes again = orv::vtu_of(b);
        EXPECT_EQ(again.bytes, vtu.bytes);
    }
    std::remove(tmp.c_str());
    EXPECT_GE(tried, 5);
}

TEST(ImportFaults, StepOfName) {
    struct Case {
        const char* name;
        bool step;
        const char* base;
        std::size_t n;
        double time; // NaN: none
    };
    const double none = std::nan("");
    const Case cases[] = {
        {"DISP D1 - passo 2 (t = 0.5)", true, "DISP D1", 2, 0.5},
        {"u - passo 1", true, "u", 1, none},
        {"a - passo 1 - passo 12 (t = 1e-07)", true, "a - passo 1", 12, 1e-07},
        {"- passo 1", false, "", 0, none},
        {" - passo 1", false, "", 0, none},
        {"u - passo 0", false, "", 0, none},
        {"u - passo 01", false, "", 0, none},
        {"u - passo 1 (t = 0.50)", false, "", 0, none},
        {"u - passo 1 (t = 1)x", false, "", 0, none},
        {"u - passo", false, "", 0, none},
        {"temperature", false, "", 0, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto s = orv::step_of_name(c.name);
        ASSERT_EQ(s.has_value(), c.step);
        if (!s) continue;
        EXPECT_EQ(s->base, c.base);
        EXPECT_EQ(s->step, c.n);
        EXPECT_EQ(s->time.has_value(), !std::isnan(c.time));
        if (s->time) {
            EXPECT_EQ(*s->time, c.time);
        }
    }
}

} // namespace
