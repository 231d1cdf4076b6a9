// What "Recarregar" carries from the model shown to the model read again:
// the checked lists by name (numbers shift when a solver adds steps or
// fields), the common range and the displacement choice.
#include "viewer/view/reload.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::view {
namespace {

// namelista-style: entry 0 unused.
std::vector<std::string> names(std::vector<std::string> lists) {
    lists.insert(lists.begin(), std::string());
    return lists;
}

ResultModel model_of(const std::vector<std::string>& lists, std::array<double, 2> row0 = {0, 0}) {
    ResultModel m;
    m.nlista = static_cast<std::int32_t>(lists.size());
    m.namelista = names(lists);
    m.maxlista.assign(lists.size() + 1, {0, 1});
    m.maxlista[0] = row0;
    m.valmin = row0[0];
    m.valmax = row0[1];
    return m;
}

TEST(Reload, CheckedListsFollowTheirNames) {
    struct Case {
        const char* what;
        std::vector<std::string> old_names;
        std::vector<int> checked;
        std::vector<std::string> fresh_names;
        std::vector<int> again;
    };
    const std::vector<Case> cases = {
        {"the same file", {"A", "B", "C"}, {1, 3}, {"A", "B", "C"}, {1, 3}},
        {"steps appended",
         {"U - passo 1", "S - passo 1"},
         {2},
         {"U - passo 1", "S - passo 1", "U - passo 2", "S - passo 2"},
         {2}},
        {"a field added in every step shifts the numbers",
         {"U - passo 1", "S - passo 1", "U - passo 2", "S - passo 2"},
         {2, 4},
         {"U - passo 1", "T - passo 1", "S - passo 1", "U - passo 2", "T - passo 2", "S - passo 2"},
         {3, 6}},
        {"a list whose name is gone is unchecked", {"A", "B", "C"}, {1, 2}, {"A", "C"}, {1}},
        {"nothing left", {"A"}, {1}, {"B"}, {}},
        {"repeated names pair in order", {"X", "X", "Y"}, {2, 3}, {"Y", "X", "X"}, {1, 3}},
        {"a repeated name that now occurs once keeps its first", {"X", "X"}, {1, 2}, {"X"}, {1}},
        {"lists out of range are ignored", {"A", "B"}, {0, 2, 3, -1}, {"B", "A"}, {1}},
        {"the new order is ascending", {"A", "B"}, {1, 2}, {"B", "A"}, {1, 2}},
        {"a file that lost every list", {"A"}, {1}, {}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lists_checked_again(names(c.old_names), c.checked, names(c.fresh_names)), c.again)
            << c.what;
}

TEST(Reload, OneListFollowsItsName) {
    const auto old_names = names({"A", "B", "C"});
    const auto fresh_names = names({"C", "A"});
    EXPECT_EQ(same_list_in(old_names, 1, fresh_names), 2);
    EXPECT_EQ(same_list_in(old_names, 3, fresh_names), 1);
    EXPECT_EQ(same_list_in(old_names, 2, fresh_names), 0);
    EXPECT_EQ(same_list_in(old_names, 9, fresh_names), 0);
}

TEST(Reload, TheCommonRangeIsAppliedToTheNewFile) {
    // The old file's overall range was 0..10, the grown file's is -5..50; the
    // window's row 0 as its handlers left it is 2..3.
    const ResultModel old_model = model_of({"A"}, {2, 3});
    const ResultModel fresh = model_of({"A", "B"}, {-5, 50});
    struct Case {
        const char* what;
        bool checked;
        std::string minimum, maximum;
        int legmax;
        std::array<double, 2> row;
    };
    const std::vector<Case> cases = {
        {"off: the new file's own row", false, "1", "2", 0, {-5, 50}},
        {"on with 0 0: the new file's overall range", true, "0", "0", 1, {-5, 50}},
        {"on with typed limits: those", true, "1", "7.5", 1, {1, 7.5}},
        {"on with a field no longer a number: the range shown before", true, "abc", "1", 1, {2, 3}},
        {"on with the maximum no longer a number", true, "1", "x", 1, {2, 3}},
    };
    for (const Case& c : cases) {
        ViewSettings s;
        s.common_range = c.checked;
        s.range = {c.minimum, c.maximum};
        const ReloadCarry carry = carry_over(old_model, s, fresh);
        EXPECT_EQ(carry.legmax, c.legmax) << c.what;
        EXPECT_EQ(carry.common_row, c.row) << c.what;
    }
}

TEST(Reload, TheDisplacementChoiceStaysWhileTheFieldIsThere) {
    const ResultModel old_model =
        model_of({"U X - passo 1", "U Y - passo 1", "U Z - passo 1", "U Magnitude - passo 1", "V X - passo 1",
                  "V Y - passo 1", "V Z - passo 1", "V Magnitude - passo 1"});
    const ResultModel fresh =
        model_of({"U X - passo 1", "U Y - passo 1", "U Z - passo 1", "U Magnitude - passo 1", "U X - passo 2",
                  "U Y - passo 2", "U Z - passo 2", "U Magnitude - passo 2"});
    struct Case {
        const char* what;
        std::optional<std::string> chosen;
        std::optional<std::string> kept;
        bool lost;
    };
    const std::vector<Case> cases = {
        {"the file's own", std::nullopt, std::nullopt, false},
        {"none", std::string(), std::string(), false},
        {"a field still there", std::string("U"), std::string("U"), false},
        {"a field gone: the file's own", std::string("V"), std::nullopt, true},
    };
    for (const Case& c : cases) {
        ViewSettings s;
        s.displacement_field = c.chosen;
        const ReloadCarry carry = carry_over(old_model, s, fresh);
        EXPECT_EQ(carry.displacement_field, c.kept) << c.what;
        EXPECT_EQ(carry.displacement_field_lost, c.lost) << c.what;
    }
}

TEST(Reload, CheckedListsOfTheSettingsAreCarried) {
    const ResultModel old_model = model_of({"A - passo 1", "B - passo 1"});
    const ResultModel fresh = model_of({"A - passo 1", "B - passo 1", "A - passo 2", "B - passo 2"});
    ViewSettings s;
    s.lists = {2};
    EXPECT_EQ(carry_over(old_model, s, fresh).lists, std::vector<int>{2});
}

} // namespace
} // namespace orv::view
