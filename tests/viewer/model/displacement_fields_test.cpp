// The displacement field chosen by name ("Deslocamento", --displacement-field).
#include "viewer/model/displacement_fields.h"

#include "viewer/formats/reader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace orv {
namespace {

std::string data(const std::string& name) {
    return std::string(ORVANEL_TEST_DATA) + "/" + name;
}

// The displacement of list k at node i.
std::array<double, 3> disp(const ResultModel& m, int i, int k) {
    const auto n = static_cast<std::size_t>(i);
    return {m.list_displacement(n, k, 0), m.list_displacement(n, k, 1), m.list_displacement(n, k, 2)};
}

std::array<double, 3> values(const ResultModel& m, int i, std::array<int, 3> lists) {
    return {m.listas(static_cast<std::size_t>(i), static_cast<std::size_t>(lists[0])),
            m.listas(static_cast<std::size_t>(i), static_cast<std::size_t>(lists[1])),
            m.listas(static_cast<std::size_t>(i), static_cast<std::size_t>(lists[2]))};
}

TEST(DisplacementFields, FoundByTheListNamesOfEveryStep) {
    // CalculiX: DISP and FORC in step 1, DISP only in step 2; STRESS has six components.
    ResultModel m = read_result_file(data("import/calculix/beam20.frd"));
    EXPECT_EQ(displacement_fields(m), (std::vector<std::string>{"DISP", "FORC"}));

    // The file's rule made DISP the displacement of every list of its step.
    EXPECT_EQ(disp(m, 7, 5), values(m, 7, {1, 2, 3}));
    EXPECT_EQ(disp(m, 7, 21), values(m, 7, {17, 18, 19}));
    const std::vector<DisplacementRef> file_own = saved_displacements(m);

    set_displacement_field(m, "FORC");
    for (int i = 1; i <= m.nnode; ++i) {
        EXPECT_EQ(disp(m, i, 5), values(m, i, {12, 13, 14})) << i;        // step 1 has FORC
        EXPECT_EQ(disp(m, i, 21), (std::array<double, 3>{0, 0, 0})) << i; // step 2 has none
    }
    set_displacement_field(m, "");
    for (int k = 1; k <= m.nlista; ++k)
        EXPECT_EQ(disp(m, 7, k), (std::array<double, 3>{0, 0, 0})) << k;

    restore_displacements(m, file_own);
    EXPECT_EQ(saved_displacements(m), file_own);
    EXPECT_EQ(disp(m, 7, 21), values(m, 7, {17, 18, 19}));
}

TEST(DisplacementFields, AFieldTheNameRuleMisses) {
    // dolfinx's "Deformation": the file's rule leaves the strip undeformed.
    ResultModel m = read_result_file(data("viewer/deformation.vtu"));
    ASSERT_EQ(m.nlista, 5);
    EXPECT_EQ(disp(m, 4, 5), (std::array<double, 3>{0, 0, 0}));
    EXPECT_EQ(displacement_fields(m), std::vector<std::string>{"Deformation"});
    set_displacement_field(m, "Deformation");
    EXPECT_EQ(disp(m, 4, 5), (std::array<double, 3>{0, -1.5, 0}));
    EXPECT_EQ(disp(m, 4, 1), (std::array<double, 3>{0, -1.5, 0}));
}

TEST(DisplacementFields, OnlyNodalFieldsOfThreeNamedComponents) {
    ResultModel m;
    m.nnode = 1;
    const std::vector<std::string> names = {
        "",
        // cell data averaged onto the nodes: not a nodal field
        "S X (média nos nós) - passo 1", "S Y (média nos nós) - passo 1", "S Z (média nos nós) - passo 1",
        "S Magnitude (média nos nós) - passo 1",
        // a native file's names, without steps
        "V X", "V Y", "V Z", "V Magnitude",
        // the components of another field
        "A X - passo 1", "B Y - passo 1", "B Z - passo 1", "B Magnitude - passo 1",
        // a field whose name has a space
        "my vel X - passo 2", "my vel Y - passo 2", "my vel Z - passo 2", "my vel Magnitude - passo 2"};
    m.nlista = static_cast<std::int32_t>(names.size()) - 1;
    m.namelista = names;
    m.coord_data.resize(2 * m.coord_cols());
    m.reset_lists();
    EXPECT_EQ(displacement_fields(m), (std::vector<std::string>{"V", "my vel"}));

    // An unknown name changes nothing and names the fields there are.
    const DisplacementRef own{DisplacementRef::Kind::lists, 0, {1, 2, 3}};
    m.store->set_displacement(5, own);
    try {
        set_displacement_field(m, "U");
        FAIL() << "no error";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("'U'"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("V, my vel"), std::string::npos) << e.what();
    }
    EXPECT_EQ(m.store->displacement_ref(5), own);
}

} // namespace
} // namespace orv
