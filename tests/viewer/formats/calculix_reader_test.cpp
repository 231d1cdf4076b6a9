#include "viewer/formats/calculix_reader.h"

#include "import_test_util.h"
#include "viewer/formats/importer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

// The hand-over's arrays as plain vectors, to compare with a list.
template <class V> std::vector<typename V::value_type> plain(const V& v) {
    return {v.begin(), v.end()};
}

using namespace orv::import_test;

std::string fixture(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/import/calculix/" + name;
}

std::int64_t index_of(const orv::ImportData& d, std::int64_t label) {
    const auto& l = d.mesh.point_labels;
    const auto it = std::find(l.begin(), l.end(), label);
    return it == l.end() ? -1 : it - l.begin();
}

// A value of field `name` of step `s` at the node labelled `label`.
double value(const orv::ImportData& d, std::size_t s, const std::string& name, std::int64_t label, int k) {
    const auto* f = field(d.steps.at(s), name);
    if (!f) throw std::runtime_error("no field " + name);
    return f->values.at(static_cast<std::size_t>(index_of(d, label) * f->components + k));
}

struct FrdCase {
    const char* file;
    std::size_t points;
    std::map<int, std::size_t> cells;
    std::vector<std::vector<std::string>> fields; // per step
    int fixed_axis;                               // the decks fix the nodes at 0 on this axis
};

void PrintTo(const FrdCase& c, std::ostream* os) {
    *os << c.file;
}

class FrdFixture : public testing::TestWithParam<FrdCase> {};

// Files written by ccx (make_fixtures.py): counts, names, node places in
// VTK's order (the decks' elements have straight edges), zero displacement
// where the decks fix the nodes.
TEST_P(FrdFixture, MeshAndResults) {
    const FrdCase& k = GetParam();
    const auto d = orv::import_test::loaded(orv::import_file(orv::import_frd, fixture(k.file)));
    EXPECT_TRUE(d.warnings.empty());
    ASSERT_EQ(d.mesh.point_count(), k.points);
    std::map<int, std::size_t> cells;
    for (const auto t : d.mesh.cell_types)
        ++cells[t];
    EXPECT_EQ(cells, k.cells);
    expect_vtk_node_places(d);
    ASSERT_EQ(d.steps.size(), k.fields.size());
    for (std::size_t s = 0; s < k.fields.size(); ++s) {
        std::vector<std::string> names;
        for (const auto& f : d.steps[s].fields)
            names.push_back(f.name);
        EXPECT_EQ(names, k.fields[s]);
        EXPECT_EQ(d.steps[s].time, static_cast<double>(s + 1));
        const auto* disp = field(d.steps[s], "DISP");
        ASSERT_TRUE(disp);
        EXPECT_EQ(disp->component_names, (std::vector<std::string>{"D1", "D2", "D3"}));
        for (std::size_t i = 0; i < k.points; ++i)
            if (point(d, static_cast<std::int64_t>(i))[k.fixed_axis] == 0) {
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(disp->values[3 * i + c], 0.0) << "node " << i;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(
    CalculiX, FrdFixture,
    testing::Values(
        FrdCase{"beam20.frd",
                32,
                {{orv::vtk_quadratic_hexahedron, 2}},
                {{"DISP", "STRESS", "FORC", "ERROR"}, {"DISP", "STRESS", "ERROR"}},
                0},
        FrdCase{"beam8.frd", 20, {{orv::vtk_hexahedron, 4}}, {{"DISP", "STRESS", "TOSTRAIN", "ERROR"}}, 0},
        FrdCase{
            "beam8_bin.frd", 20, {{orv::vtk_hexahedron, 4}}, {{"DISP", "STRESS", "TOSTRAIN", "ERROR"}}, 0},
        FrdCase{"shell8.frd", 13, {{orv::vtk_quadratic_quad, 2}}, {{"DISP", "STRESS", "ERROR"}}, 0},
        FrdCase{"wedge15.frd", 22, {{orv::vtk_quadratic_wedge, 2}}, {{"DISP"}}, 2}),
    [](const testing::TestParamInfo<FrdCase>& i) {
        std::string n = i.param.file;
        for (auto& ch : n)
            if (ch == '.') ch = '_';
        return n;
    });

// Values as ccx wrote them, with the columns that touch ("11-9.99362E+03").
TEST(CalculixReader, ValuesLabelsAndSteps) {
    const auto d = orv::import_test::loaded(orv::import_file(orv::import_frd, fixture("beam20.frd")));
    EXPECT_EQ(d.mesh.point_labels[0], 11);
    EXPECT_EQ(plain(d.mesh.cell_labels), (std::vector<std::int64_t>{100, 105}));
    EXPECT_EQ(point(d, index_of(d, 441)), (P3{2, 1, 0.5}));
    EXPECT_EQ(value(d, 0, "STRESS", 11, 0), -9.99362E+03);
    EXPECT_EQ(value(d, 0, "STRESS", 11, 5), -9.00973E+02);
    EXPECT_EQ(field(d.steps[0], "STRESS")->component_names,
              (std::vector<std::string>{"SXX", "SYY", "SZZ", "SXY", "SYZ", "SZX"}));
    // The second step doubles the load of a linear model.
    EXPECT_EQ(value(d, 0, "DISP", 441, 2), -1.32047E-01);
    EXPECT_EQ(value(d, 1, "DISP", 441, 2), -2.64094E-01);
}

// The binary file holds what the text file holds, to the text's 6 digits.
TEST(CalculixReader, BinaryMatchesText) {
    const auto text = orv::import_test::loaded(orv::import_file(orv::import_frd, fixture("beam8.frd")));
    const auto bin = orv::import_test::loaded(orv::import_file(orv::import_frd, fixture("beam8_bin.frd")));
    EXPECT_EQ(bin.mesh.point_labels, text.mesh.point_labels);
    EXPECT_EQ(bin.mesh.cell_nodes, text.mesh.cell_nodes);
    EXPECT_EQ(bin.mesh.cell_labels, text.mesh.cell_labels);
    EXPECT_EQ(bin.mesh.points, text.mesh.points);
    EXPECT_EQ(value(text, 0, "DISP", 201, 0), 3.69948E-02);
    ASSERT_EQ(bin.steps.size(), 1u);
    for (std::size_t f = 0; f < text.steps[0].fields.size(); ++f) {
        const auto& a = text.steps[0].fields[f];
        const auto& b = bin.steps[0].fields[f];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.component_names, b.component_names);
        ASSERT_EQ(a.values.size(), b.values.size());
        for (std::size_t i = 0; i < a.values.size(); ++i)
            ASSERT_NEAR(a.values[i], b.values[i], 1e-5 * std::abs(b.values[i]) + 1e-9) << a.name << " " << i;
    }
}

TEST(CalculixReader, Sniff) {
    for (const auto& [text, yes] : std::vector<std::pair<std::string, bool>>{{"    1C\n", true},
                                                                             {"    1UUSER\n", true},
                                                                             {"    2C      3   1\n", true},
                                                                             {"$MeshFormat\n", false},
                                                                             {"1C\n", false},
                                                                             {"", false}})
        EXPECT_EQ(orv::sniff_frd(text.data(), text.size()), yes) << text;
}

std::string error_of(const std::string& text) {
    try {
        orv::import_bytes(orv::import_frd, text.data(), text.size(), "dir/bad.frd");
    } catch (const orv::ReadError& e) {
        return e.what();
    }
    return "(no error)";
}

const std::string kNodes = "    1C\n"
                           "    2C                             2                                     1\n"
                           " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n"
                           " -1         2 1.00000E+00 0.00000E+00 0.00000E+00\n"
                           " -3\n";

TEST(CalculixReader, Errors) {
    std::vector<std::pair<std::string, std::string>> cases = {
        {"hello\n", "line 1 of bad.frd: expected the first record of a CalculiX .frd file"},
        {"    1C\n 9999\n", "expected a node block"},
        {"    1C\n    2C                             2                                     7\n",
         "line 2 of bad.frd: expected the block format (0 to 3)"},
        {"    1C\n    2C                             1                                     1\n"
         " -1         1 0.00000E+00 x.00000E+00 0.00000E+00\n -3\n",
         "line 3 of bad.frd: expected a coordinate in columns 26-37, found \"x.00000E+00\""},
        {"    1C\n    2C                             1                                     1\n"
         " -7         1\n",
         "line 3 of bad.frd: expected a node record (-1) or the end of the block (-3)"},
        {kNodes + "    3C                             1                                     1\n"
                  " -1         1   99    0    1\n",
         "line 7 of bad.frd: element type 99 is not a CalculiX type"},
        {kNodes + "    3C                             1                                     1\n"
                  " -1         1   11    0    1\n -2         1         5\n -3\n",
         "line 7 of bad.frd: element 1 names node 5, which the node block does not hold"},
        {kNodes + "    3C                             1                                     1\n"
                  " -1         1   12    0    1\n -2         1         2\n -1\n",
         "line 9 of bad.frd: expected the nodes (-2) of element 1, 1 more"},
        {kNodes + "  100CL  101 1.000000000           2                     0    1           1\n"
                  " -4  DISP        1    1\n -1\n",
         "line 8 of bad.frd: expected component record (-5) 1 of 1"},
    };
    // Binary node records: a node number, then an infinite coordinate.
    const std::string head =
        "    1C\n    2C                             1                                     3\n";
    cases.emplace_back(head + std::string("\x01\0\0\0\0\0\0\0\0\0\xf0\x7f", 12) + std::string(16, '\0'),
                       "at byte " + std::to_string(head.size() + 4) +
                           " of bad.frd: expected a coordinate, found a non-finite real");
    for (const auto& [text, want] : cases) {
        const std::string got = error_of(text);
        EXPECT_NE(got.find(want), std::string::npos) << "got: " << got << "\nwant: " << want;
    }
}

// A file that ends early keeps what it read and says so; values missing
// from a result block read as 0.
TEST(CalculixReader, EndsEarly) {
    const std::string full = slurp(fixture("beam8.frd"));
    const auto cut = full.find(" -1       121 1.79503E-02");
    ASSERT_NE(cut, std::string::npos);
    const auto d = orv::import_bytes(orv::import_frd, full.data(), cut, "beam8.frd");
    EXPECT_EQ(d.mesh.point_count(), 20u);
    ASSERT_EQ(d.steps.size(), 1u);
    ASSERT_EQ(d.warnings.size(), 1u);
    EXPECT_NE(d.warnings[0].find("beam8.frd ends early in result block DISP: 20 nodes announced, 11 read"),
              std::string::npos)
        << d.warnings[0];
    EXPECT_EQ(value(d, 0, "DISP", 201, 0), 0.0);
    EXPECT_EQ(value(d, 0, "DISP", 51, 0), 8.36464E-03);
}

// Text blocks whose records are not as many as announced are read with a
// warning; a binary node block that announces more nodes than the file
// can hold is refused before it is read.
TEST(CalculixReader, CountsThatDifferFromTheRecords) {
    const std::string nodes = "    1C\n"
                              "    2C                             3                                     1\n"
                              " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n"
                              " -1         2 1.00000E+00 0.00000E+00 0.00000E+00\n -3\n";
    const std::string results =
        "  100CL  101 1.000000000           1                     0    1           1\n"
        " -4  T           1    1\n -5  T           1    1    0    0\n"
        " -1         1 4.00000E+00\n -1         2 5.00000E+00\n -3\n 9999\n";
    const std::string text = nodes + results;
    const auto d = orv::import_bytes(orv::import_frd, text.data(), text.size(), "c.frd");
    EXPECT_EQ(d.mesh.point_count(), 2u);
    ASSERT_EQ(d.warnings.size(), 2u);
    EXPECT_EQ(d.warnings[0], "c.frd: the node block at line 2 of c.frd announces 3 nodes but holds 2.");
    EXPECT_EQ(d.warnings[1], "c.frd: result block T at line 6 of c.frd announces 1 nodes but holds 2.");
    EXPECT_EQ(value(d, 0, "T", 2, 0), 5.0);

    const std::string head =
        "    1C\n    2C                             9                                     3\n";
    const std::string binary = head + std::string(28 * 2, '\0');
    const std::string got = error_of(binary);
    EXPECT_NE(got.find("line 2 of bad.frd: 9 nodes announced, but the rest of the file holds at most 2"),
              std::string::npos)
        << got;
}

TEST(CalculixReader, BinaryCutAnywhere) {
    const std::string full = slurp(fixture("beam8_bin.frd"));
    for (std::size_t n = 0; n < full.size(); n += 3) {
        const std::string part = full.substr(0, n);
        try {
            orv::import_bytes(orv::import_frd, part.data(), part.size(), "beam8_bin.frd");
        } catch (const orv::ReadError&) {
        }
    }
}

// Through build_model: DISP is each step's displacement.
TEST(CalculixReader, ResultModel) {
    const auto r = orv::read_file(orv::import_frd, fixture("beam20.frd"));
    const auto& m = r.model;
    EXPECT_EQ(m.nelem, 10);      // two bricks: ten outer faces
    EXPECT_EQ(m.nnode, 32 + 10); // and a centre node for each serendipity face
    ASSERT_EQ(m.nlista, 28);
    EXPECT_EQ(m.namelista[1], "DISP D1 - passo 1 (t = 1)");
    EXPECT_EQ(m.namelista[11], "STRESS von Mises - passo 1 (t = 1)");
    EXPECT_EQ(m.namelista[17], "DISP D1 - passo 2 (t = 2)");
    const auto tip = index_of(orv::import_file(orv::import_frd, fixture("beam20.frd")), 441) + 1;
    EXPECT_EQ(m.coord(tip, 3), 0.5);
    EXPECT_EQ(m.list_displacement(tip, 1, 2), -1.32047E-01);
    EXPECT_EQ(m.list_displacement(tip, 28, 2), -2.64094E-01);
    EXPECT_EQ(m.listas(tip, 19), -2.64094E-01);
}

} // namespace
