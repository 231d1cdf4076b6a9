// Which display lists a render pass compiles, deletes and replays.
#include "viewer/render/render_plan.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace orv {
namespace {

std::vector<bool> flags(int size, const std::set<int>& on, int offset) {
    std::vector<bool> v(static_cast<std::size_t>(size), false);
    for (int i : on)
        v[static_cast<std::size_t>(i - offset)] = true;
    return v;
}

// Steps as text, "C2 C3 D7", for readable failures.
std::string steps_text(const RenderPlan& p) {
    std::vector<ListEvent> log;
    for (const ListStep& s : p.steps)
        log.push_back({s.action, s.list});
    return to_string(log);
}

// One pass of a simulated viewer: plan, then apply the plan to the existence
// of the lists as the render pass does, and clear the flags.
struct Viewer {
    int nlista;
    std::set<int> checked_items;
    std::vector<bool> exists;
    bool changes = false, changes1 = false;
    std::string log;

    explicit Viewer(int n) : nlista(n), exists(static_cast<std::size_t>(n + 5), false) {}
    RenderPlan pass() {
        RenderPlanInput in{nlista, flags(nlista + 5, checked_items, 0), exists, changes, changes1, {}, {}};
        RenderPlan p = plan_render_pass(in);
        for (const ListStep& s : p.steps)
            exists[static_cast<std::size_t>(s.list - 1)] = s.action == ListAction::Compile;
        const std::string t = steps_text(p);
        if (!t.empty()) log += (log.empty() ? "" : " | ") + t;
        changes = changes1 = false;
        return p;
    }
    // The plot list's mouse-up: changes1.
    RenderPlan click(std::set<int> items) {
        checked_items = std::move(items);
        changes1 = true;
        return pass();
    }
};

TEST(RenderPlan, TableOfCompileRules) {
    // Every list exists already; each fixed list is checked. Which are
    // recompiled for each combination of flags?
    struct Case {
        bool changes, changes1;
        const char* steps;
    };
    const Case cases[] = {
        {false, false, ""},
        {true, false, "C3 C6 C7"},
        {false, true, "C2 C3 C6 C7"},
        {true, true, "C2 C3 C6 C7"},
    };
    for (const Case& c : cases) {
        RenderPlanInput in{
            2, std::vector<bool>(7, true), std::vector<bool>(7, true), c.changes, c.changes1, {}, {}};
        const RenderPlan p = plan_render_pass(in);
        EXPECT_EQ(steps_text(p), c.steps) << c.changes << c.changes1;
        EXPECT_EQ(p.calls, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    }
}

TEST(RenderPlan, MissingListsAreCompiledWhenChecked) {
    RenderPlanInput in{3, flags(8, {0, 3, 4, 6}, 0), std::vector<bool>(8, false), false, false, {}, {}};
    const RenderPlan p = plan_render_pass(in);
    EXPECT_EQ(steps_text(p), "C1 C4 C5 C7");
    EXPECT_EQ(p.calls, (std::vector<int>{1, 4, 5, 7}));
}

TEST(RenderPlan, UncheckedResultListsAreDeletedOnChangesOnly) {
    // Lists 6..8 exist, only item 5 (list 6) is checked.
    struct Case {
        bool changes, changes1;
        const char* steps;
    };
    const Case cases[] = {
        {false, false, ""},
        {false, true, "C6"},       // a plot click deletes nothing
        {true, false, "C6 D7 D8"}, // colours changed: unchecked lists go
        {true, true, "C6 D7 D8"},
    };
    for (const Case& c : cases) {
        RenderPlanInput in{3, flags(8, {5}, 0), flags(8, {6, 7, 8}, 1), c.changes, c.changes1, {}, {}};
        EXPECT_EQ(steps_text(plan_render_pass(in)), c.steps) << c.changes << c.changes1;
    }
    // A list that does not exist is not deleted again.
    RenderPlanInput in{3, flags(8, {}, 0), flags(8, {7}, 1), true, false, {}, {}};
    EXPECT_EQ(steps_text(plan_render_pass(in)), "D7");
}

TEST(RenderPlan, CurrentResultListsKeepTheirContentOnChanges) {
    // Lists 6 and 7 exist and are checked; list 6 is current (a change of
    // range or scale only). Unchecked list 8 is still deleted on changes.
    for (const bool changes1 : {false, true}) {
        RenderPlanInput in{3,  flags(8, {5, 6}, 0), flags(8, {6, 7, 8}, 1), true, changes1,
                           {}, flags(8, {6}, 1)};
        EXPECT_EQ(steps_text(plan_render_pass(in)), "C7 D8") << changes1;
    }
    // A current list that does not exist is compiled all the same.
    RenderPlanInput in{3, flags(8, {5}, 0), flags(8, {}, 0), true, false, {}, flags(8, {6}, 1)};
    EXPECT_EQ(steps_text(plan_render_pass(in)), "C6");
}

TEST(RenderPlan, ReleasedResultListsAreDeletedWhenUnchecked) {
    // Lists 1, 6, 7 and 8 exist; item 5 (list 6) is checked. A release request
    // deletes an unchecked result list whatever the flags; it leaves checked
    // lists, missing lists and fixed lists alone.
    struct Case {
        std::vector<int> release;
        bool changes, changes1;
        const char* steps;
    };
    const Case cases[] = {
        {{7}, false, false, "D7"},       // whatever the flags
        {{8, 7}, false, false, "D7 D8"}, // in list order
        {{7}, false, true, "C6 D7"},     // with a plot click
        {{7}, true, false, "C6 D7 D8"},  // with a colour change, which deletes 8 anyway
        {{6}, false, false, ""},         // checked: kept
        {{9}, false, false, ""},         // does not exist
        {{1}, false, false, ""},         // a fixed list
        {{99}, false, false, ""},        // outside the block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "release " << c.release[0] << ", flags " << c.changes << c.changes1);
        RenderPlanInput in{4, flags(9, {5}, 0), flags(9, {1, 6, 7, 8}, 1), c.changes, c.changes1, c.release,
                           {}};
        const RenderPlan p = plan_render_pass(in);
        EXPECT_EQ(steps_text(p), c.steps);
        EXPECT_EQ(p.calls, (std::vector<int>{6}));
    }
}

TEST(RenderPlan, FixedListsAreNeverDeleted) {
    RenderPlanInput in{1, flags(6, {}, 0), std::vector<bool>(6, true), true, true, {}, {}};
    const RenderPlan p = plan_render_pass(in);
    EXPECT_EQ(steps_text(p), "D6");
    EXPECT_TRUE(p.calls.empty());
}

TEST(RenderPlan, SequencesOfUserActions) {
    Viewer v(3);
    // A first pass with nothing checked does nothing.
    v.pass();
    EXPECT_EQ(v.log, "");

    // Checking "Nós", unchecking it and checking it again compiles list 1 once.
    v.click({0});
    v.click({});
    v.click({0});
    EXPECT_EQ(v.log, "C1");

    // "Malha Indeformada", "Malha Deformada" and list 2 (item 6): a plot click
    // recompiles 2, 3 and the checked result list.
    v.log.clear();
    v.click({0, 1, 2, 6});
    EXPECT_EQ(v.log, "C2 C3 C7");
    v.click({0, 1, 2, 6, 7});
    EXPECT_EQ(v.log, "C2 C3 C7 | C2 C3 C7 C8");

    // Rotating: replay only.
    v.log.clear();
    const RenderPlan replay = v.pass();
    EXPECT_EQ(v.log, "");
    EXPECT_EQ(replay.calls, (std::vector<int>{1, 2, 3, 7, 8}));

    // Unchecking list 3 (a click) keeps its list; a colour change then deletes it.
    v.click({0, 1, 2, 6});
    EXPECT_EQ(v.log, "C2 C3 C7");
    v.log.clear();
    v.changes = true;
    v.pass();
    EXPECT_EQ(v.log, "C3 C7 D8");
    // Checked again later: compiled afresh.
    v.log.clear();
    v.checked_items.insert(7);
    v.pass();
    EXPECT_EQ(v.log, "C8");

    // Node and element numbers are compiled once per window; the colour
    // change that comes with the second click drops the unchecked lists 7, 8.
    v.log.clear();
    v.click({3, 4});
    v.changes = true;
    v.click({3, 4});
    EXPECT_EQ(v.log, "C4 C5 | D7 D8");
}

TEST(RenderPlan, NoResultLists) {
    RenderPlanInput in{0, flags(5, {0, 1, 2, 3, 4}, 0), {}, true, true, {}, {}};
    const RenderPlan p = plan_render_pass(in);
    EXPECT_EQ(steps_text(p), "C1 C2 C3 C4 C5");
    EXPECT_EQ(p.calls, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(RenderPlan, ShortInputVectorsCountAsUncheckedAndMissing) {
    RenderPlanInput in{4, {true}, {}, false, false, {}, {}};
    EXPECT_EQ(steps_text(plan_render_pass(in)), "C1");
}

TEST(DisplayListBlock, NamesFollowTheBlock) {
    DisplayListBlock b;
    EXPECT_FALSE(b.assigned());
    EXPECT_FALSE(b.exists(1));
    b.assign(40, 7);
    EXPECT_TRUE(b.assigned());
    EXPECT_EQ(b.count(), 7);
    EXPECT_EQ(b.name(1), 40u);
    EXPECT_EQ(b.name(7), 46u);
    b.set_exists(3, true);
    b.set_exists(99, true); // outside: ignored
    b.set_exists(0, true);
    EXPECT_TRUE(b.exists(3));
    EXPECT_FALSE(b.exists(4));
    EXPECT_EQ(b.existence(), flags(7, {3}, 1));
    b.clear();
    EXPECT_FALSE(b.assigned());
    EXPECT_FALSE(b.exists(3));
}

} // namespace
} // namespace orv
