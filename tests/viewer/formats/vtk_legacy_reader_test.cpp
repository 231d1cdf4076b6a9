#include "viewer/formats/importer.h"
#include "viewer/formats/vtk_legacy_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/import/" + name;
}

// Row of list `name` (its 1-based index), or 0.
int list_named(const orv::ResultModel& m, const std::string& name) {
    for (int k = 1; k <= m.nlista; ++k)
        if (m.namelista[k] == name) return k;
    return 0;
}

// The node at position (x, y, z), or 0.
int node_at(const orv::ResultModel& m, double x, double y, double z) {
    for (int i = 1; i <= m.nnode; ++i)
        if (std::abs(m.coord(i, 1) - x) < 1e-9 && std::abs(m.coord(i, 2) - y) < 1e-9 &&
            std::abs(m.coord(i, 3) - z) < 1e-9)
            return i;
    return 0;
}

double von_mises(double xx, double yy, double zz, double xy) {
    return std::sqrt(0.5 * ((xx - yy) * (xx - yy) + (yy - zz) * (yy - zz) + (zz - xx) * (zz - xx)) +
                     3 * xy * xy);
}

// The 2 x 2 x 2 block written by VTK in both layouts and both encodings: the
// values are formulas of the position (see make_vtk_fixtures.py).
TEST(VtkLegacyReader, BrickBlockInEveryLayoutAndEncoding) {
    for (const char* file :
         {"block_ascii_42.vtk", "block_ascii_51.vtk", "block_binary_42.vtk", "block_binary_51.vtk"}) {
        SCOPED_TRACE(file);
        const auto r = orv::read_file(orv::import_vtk_legacy, fixture(file));
        const auto& m = r.model;
        EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
        EXPECT_EQ(m.nnode, 27);
        EXPECT_EQ(m.nelem, 24);
        EXPECT_EQ(m.nlista, 13); // T; U X Y Z Magnitude; S six + von Mises; P
        const int t = list_named(m, "T - passo 1");
        const int ux = list_named(m, "U X - passo 1");
        const int umag = list_named(m, "U Magnitude - passo 1");
        const int vm = list_named(m, "S von Mises (média nos nós) - passo 1");
        const int sxy = list_named(m, "S XY (média nos nós) - passo 1");
        const int p = list_named(m, "P (média nos nós) - passo 1");
        ASSERT_TRUE(t && ux && umag && vm && sxy && p);
        for (int i = 1; i <= m.nnode; ++i) {
            const double x = m.coord(i, 1), y = m.coord(i, 2), z = m.coord(i, 3);
            EXPECT_NEAR(m.listas(i, t), x + 10 * y + 100 * z, 1e-9);
            EXPECT_NEAR(m.listas(i, ux), 0.1 * x, 1e-6);
            EXPECT_NEAR(m.listas(i, umag), std::sqrt(0.01 * x * x + 0.04 * y * y + 0.09 * z * z), 1e-6);
            for (int k = 1; k <= m.nlista; ++k) // U is the displacement of every list
                EXPECT_NEAR(m.list_displacement(i, k, 2), 0.3 * z, 1e-6) << "node " << i << " list " << k;
        }
        const int corner = node_at(m, 2, 2, 2), centre = node_at(m, 1, 1, 1);
        ASSERT_TRUE(corner && centre);
        EXPECT_NEAR(m.listas(corner, vm), von_mises(7, 14, 21, 3.5), 1e-9); // cell 7 alone
        EXPECT_NEAR(m.listas(corner, sxy), 3.5, 1e-9);
        EXPECT_NEAR(m.listas(centre, p), 35, 1e-9); // mean of 0, 10, ..., 70
        EXPECT_EQ(m.maxscale, 2);
    }
}

TEST(VtkLegacyReader, PolyDataInVtkCellOrder) {
    for (const char* file : {"poly_ascii.vtk", "poly_binary_42.vtk"}) {
        SCOPED_TRACE(file);
        const auto r = orv::read_file(orv::import_vtk_legacy, fixture(file));
        const auto& m = r.model;
        // Poly-line: 2 segments; pentagon: 3 triangles; strip: 2 triangles; the vertex is skipped.
        EXPECT_EQ(m.nnode, 7);
        ASSERT_EQ(m.nelem, 7);
        const std::vector<std::int32_t> codes = {101, 101, 201, 201, 201, 201, 201};
        for (int e = 1; e <= m.nelem; ++e)
            EXPECT_EQ(m.element_code(e), codes[e - 1]);
        ASSERT_EQ(r.warnings.size(), 1u);
        EXPECT_NE(r.warnings[0].find("1 point and vertex cells"), std::string::npos);
        // Cell data: vertex 0, line 10, polygon 20, strip 30; node 4 lies on the
        // line and the polygon, node 6 on the vertex and the polygon.
        const int p = list_named(m, "P (média nos nós) - passo 1");
        ASSERT_TRUE(p);
        EXPECT_DOUBLE_EQ(m.listas(5, p), 15);
        EXPECT_DOUBLE_EQ(m.listas(7, p), 20);
    }
}

TEST(VtkLegacyReader, CurvedQuadraticTetrahedraFromMeshio) {
    for (const char* file : {"tet10_meshio_ascii.vtk", "tet10_meshio_binary.vtk"}) {
        SCOPED_TRACE(file);
        const auto r = orv::read_file(orv::import_vtk_legacy, fixture(file));
        const auto& m = r.model;
        EXPECT_EQ(m.nnode, 14);
        ASSERT_EQ(m.nelem, 6);
        for (int e = 1; e <= m.nelem; ++e)
            EXPECT_EQ(m.element_code(e), 202);
        const int t = list_named(m, "T - passo 1");
        const int d = list_named(m, "displacement Magnitude - passo 1");
        ASSERT_TRUE(t && d);
        for (int i = 1; i <= m.nnode; ++i) {
            const double x = m.coord(i, 1), y = m.coord(i, 2), z = m.coord(i, 3);
            EXPECT_NEAR(m.listas(i, t), x + 10 * y + 100 * z, 1e-9);
            EXPECT_NEAR(m.list_displacement(i, t, 0), 0.1 * x, 1e-12); // "displacement" moves every list
        }
        // A mid-edge node keeps its bulge: (0.5, 0.5, 0) + 0.1.
        EXPECT_TRUE(node_at(m, 0.6, 0.6, 0.1));
    }
}

TEST(VtkLegacyReader, FileCutInsideItsDataReadsZeros) {
    const auto r = orv::read_file(orv::import_vtk_legacy, fixture("block_cut_points.vtk"));
    EXPECT_EQ(r.model.nnode, 27);
    EXPECT_EQ(r.model.nelem, 0);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0],
              "block_cut_points.vtk ends early: POINTS: 81 values announced, 14 read; the rest read as 0.");
    EXPECT_EQ(r.model.coord(27, 1), 0);

    // Binary: cut inside the values of a data array.
    const std::string head = "# vtk DataFile Version 3.0\nt\nBINARY\nDATASET POLYDATA\nPOINTS 2 double\n";
    std::string bytes =
        head + std::string(8 * 6, '\0') + "\nPOINT_DATA 2\nSCALARS T float\nLOOKUP_TABLE default\n";
    bytes += std::string("\x3f\x80\x00\x00", 4); // 1.0f, then nothing
    const auto b = orv::read_bytes(orv::import_vtk_legacy, bytes.data(), bytes.size(), "cut.vtk");
    ASSERT_EQ(b.warnings.size(), 1u);
    EXPECT_EQ(b.warnings[0], "cut.vtk ends early: T: 2 values announced, 1 read; the rest read as 0.");
    EXPECT_EQ(b.model.listas(1, 1), 1.0);
    EXPECT_EQ(b.model.listas(2, 1), 0.0);
}

TEST(VtkLegacyReader, ScalarsWithComponentsAndLookupTables) {
    const std::string text = "# vtk DataFile Version 3.0\nscalars\nASCII\nDATASET UNSTRUCTURED_GRID\n"
                             "FIELD FieldData 1\nTIME 1 1 double\n2.5\n"
                             "POINTS 2 float\n0 0 0 1 0 0\nCELLS 1 3\n2 0 1\nCELL_TYPES 1\n3\n"
                             "POINT_DATA 2\nSCALARS two%20words float 2\nLOOKUP_TABLE default\n1 2 3 4\n"
                             "SCALARS plain int\n5 6\n"
                             "LOOKUP_TABLE colours 1\n0 0 0 1\n"
                             "NORMALS n float\n0 0 1 0 0 1\n";
    const auto r = orv::read_bytes(orv::import_vtk_legacy, text.data(), text.size(), "s.vtk");
    const auto& m = r.model;
    const std::vector<std::string> names = {
        "two words X - passo 1 (t = 2.5)", "two words Y - passo 1 (t = 2.5)", "plain - passo 1 (t = 2.5)",
        "n X - passo 1 (t = 2.5)",         "n Y - passo 1 (t = 2.5)",         "n Z - passo 1 (t = 2.5)",
        "n Magnitude - passo 1 (t = 2.5)"};
    ASSERT_EQ(m.nlista, static_cast<int>(names.size()));
    for (int k = 1; k <= m.nlista; ++k)
        EXPECT_EQ(m.namelista[k], names[k - 1]);
    EXPECT_EQ(m.listas(2, 1), 3);
    EXPECT_EQ(m.listas(2, 2), 4);
    EXPECT_EQ(m.listas(2, 3), 6);
}

TEST(VtkLegacyReader, MalformedFilesAreRefusedWithPlaceAndReason) {
    const std::string head = "# vtk DataFile Version 3.0\nt\nASCII\nDATASET UNSTRUCTURED_GRID\n";
    const std::string two_points = head + "POINTS 2 float\n0 0 0 1 0 0\n";
    const std::string bhead = "# vtk DataFile Version 3.0\nt\nBINARY\nDATASET UNSTRUCTURED_GRID\n";
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"# not vtk\n", "bad.vtk, line 1: '# vtk DataFile Version x.x' expected, found '# not vtk'"},
        {"# vtk DataFile Version 3.0\nt\nTEXT\n", "bad.vtk, line 3: ASCII or BINARY expected, found 'TEXT'"},
        {"# vtk DataFile Version 3.0\nt\nASCII\nDATASET STRUCTURED_POINTS\n",
         "bad.vtk, line 4: dataset 'STRUCTURED_POINTS' is not supported; UNSTRUCTURED_GRID or POLYDATA "
         "expected"},
        {"# vtk DataFile Version 3.0\nt\nASCII\nPOINTS 1 float\n",
         "bad.vtk, line 4: DATASET expected, found 'POINTS'"},
        {head + "POINTS 100000 float\n0 0 0\n",
         "bad.vtk, line 5: a point count is 100000, but the file holds only 87 bytes"},
        {head + "POINTS 2 float\n0 0 0\n1 x 0\n", "bad.vtk, line 7: POINTS: a number expected, found 'x'"},
        {head + "POINTS 2 quaternion\n",
         "bad.vtk, line 5: a data type (float, double, int, ...) expected, found 'quaternion'"},
        {head + "POINTS 2 bit\n", "bad.vtk, line 5: data type 'bit' is not supported"},
        {two_points + "CELLS 1 4\n2 0 1\n\nCELL_TYPES 1\n3\n",
         "bad.vtk, line 10: CELLS: an integer expected, found 'CELL_TYPES'"},
        {two_points + "CELLS 2 3\n2 0 1\nCELL_TYPES 2\n3\n3\n",
         "bad.vtk, CELLS at line 7: the list of size 3 ends before cell 2 of 2"},
        {two_points + "CELLS 1 3\n5 0 1\nCELL_TYPES 1\n3\n",
         "bad.vtk, CELLS at line 7: cell 1 has 5 nodes, which do not fit in the list of size 3"},
        {two_points + "CELLS 1 3\n2 0 7\nCELL_TYPES 1\n3\n",
         "bad.vtk, CELLS at line 7: cell 1 refers to point 7, but the points are numbered 0 to 1"},
        {two_points + "CELLS 1 3\n2 0 1\n", "bad.vtk, line 9: CELL_TYPES expected after CELLS"},
        {two_points + "CELLS 1 3\n2 0 1\nCELL_TYPES 2\n3 3\n",
         "bad.vtk, line 9: CELL_TYPES has 2 cells; CELLS has 1"},
        {two_points + "CELLS 1 3\n2 0 1\nCELL_TYPES 1\n300\n",
         "bad.vtk, CELL_TYPES at line 9: cell 1 has type 300; 0 to 255 expected"},
        {two_points + "CELLS 2 3\nOFFSETS vtktypeint64\n0 4\nCONNECTIVITY vtktypeint64\n0 1 1\n",
         "bad.vtk, CELLS at line 7: offset 2 (4) is not between the one before it and the list's "
         "size 3"
         ""},
        {two_points + "POINT_DATA 3\n", "bad.vtk, line 7: POINT_DATA 3 does not match the 2 points"},
        {two_points + "SCALARS T float\n0 0\n", "bad.vtk, line 7: SCALARS before POINT_DATA or CELL_DATA"},
        {two_points + "POINT_DATA 2\nSCALARS T float 5\n",
         "bad.vtk, line 8: SCALARS take 1 to 4 components, not 5"},
        {two_points + "POINT_DATA 2\nFIELD f 1\nA 1 3 float\n1 2 3\n",
         "bad.vtk, line 9: array A has 3 tuples; 2 points expected"},
        {two_points + "SPLINES 3\n", "bad.vtk, line 7: a section keyword (POINTS, CELLS, CELL_TYPES, "
                                     "POINT_DATA, CELL_DATA, SCALARS, ...) "
                                     "expected, found 'SPLINES'"},
        {bhead + "POINTS 1 flt\n",
         "bad.vtk, byte offset 71: a data type (float, double, int, ...) expected, found 'flt'"},
    };
    for (const Case& c : cases) {
        try {
            const auto r =
                orv::read_bytes(orv::import_vtk_legacy, c.text.data(), c.text.size(), "/some/where/bad.vtk");
            ADD_FAILURE() << "no error for:\n" << c.text;
        } catch (const orv::ReadError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.text;
        }
    }
}

TEST(VtkLegacyReader, FieldsThatCannotBeShownAreNamed) {
    const std::string text = "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 1 float\n0 0 0\n"
                             "POINT_DATA 1\nFIELD f 3\nlabel 1 1 string\nhello\n"
                             "wide 12 1 float\n1 2 3 4 5 6 7 8 9 10 11 12\nok 1 1 float\n4\n";
    const auto r = orv::read_bytes(orv::import_vtk_legacy, text.data(), text.size(), "f.vtk");
    ASSERT_EQ(r.model.nlista, 1);
    EXPECT_EQ(r.model.namelista[1], "ok - passo 1");
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0], "f.vtk: fields that cannot be shown were skipped: label, wide.");
}

// VTK writes METADATA (component names, information keys) after the values
// of POINTS, attributes and each array of a FIELD; none of it is data.
TEST(VtkLegacyReader, MetadataIsSkippedWhereverVtkWritesIt) {
    const std::string metadata = "METADATA\nCOMPONENT_NAMES\nX Y Z\nINFORMATION 1\nNAME L2_NORM_RANGE "
                                 "LOCATION vtkDataArray\nDATA 2 0 1.4\n\n";
    const std::string text = "# vtk DataFile Version 5.1\nvtk output\nASCII\nDATASET UNSTRUCTURED_GRID\n"
                             "POINTS 2 float\n0 0 0 1 0 0\n" +
                             metadata +
                             "CELLS 2 2\nOFFSETS vtktypeint64\n0 2\nCONNECTIVITY vtktypeint64\n0 1\n"
                             "CELL_TYPES 1\n3\n\nPOINT_DATA 2\nFIELD FieldData 3\n"
                             "disp 3 2 double\n0.1 0 0 0.2 0 0\n" +
                             metadata + "pressure 1 2 double\n5 6\n" + "METADATA\nINFORMATION 0\n\n" +
                             "last 1 2 float\n7 8\n" + metadata;
    const auto r = orv::read_bytes(orv::import_vtk_legacy, text.data(), text.size(), "meta.vtk");
    const auto& m = r.model;
    ASSERT_EQ(m.nnode, 2);
    ASSERT_NE(list_named(m, "pressure - passo 1"), 0);
    EXPECT_EQ(m.listas(2, list_named(m, "pressure - passo 1")), 6);
    EXPECT_EQ(m.listas(2, list_named(m, "last - passo 1")), 8);
    EXPECT_EQ(m.listas(2, list_named(m, "disp X - passo 1")), 0.2);
}

TEST(VtkLegacyReader, NonRegularFilesAndSniffing) {
    EXPECT_THROW(orv::read_file(orv::import_vtk_legacy, "/dev/null"), orv::ReadError);
    EXPECT_THROW(orv::read_file(orv::import_vtk_legacy, fixture("no_such_file.vtk")), orv::ReadError);
    const std::string vtk = "# vtk DataFile Version 2.0\n", native = "# result\n";
    EXPECT_TRUE(orv::looks_like_vtk_legacy(vtk.data(), vtk.size()));
    EXPECT_FALSE(orv::looks_like_vtk_legacy(native.data(), native.size()));
}

} // namespace
