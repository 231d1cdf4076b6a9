// The render pass driven without a window: a plain inputs struct and hooks,
// in an offscreen OpenGL context, pixels read back.
#include "viewer/render/render_pass_gl.h"

#include "offscreen_gl.h"
#include "test_model.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv {
namespace {

constexpr int kSize = 110; // model x and y from -1 to 10, 10 pixels per unit

bool lit_at(double x, double y) {
    unsigned char rgba[4] = {};
    glReadPixels(static_cast<int>((x + 1) * 10), static_cast<int>((y + 1) * 10), 1, 1, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
    return !(rgba[0] == 0 && rgba[1] == 0 && rgba[2] == 0);
}

class RenderPassGl : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::bind_offscreen_gl(-1, 10));
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        // One quadrilateral over [0, 9] x [0, 9], list 1 value = x.
        std::vector<test::TestNode> nodes(4);
        const Point3 at[4] = {{0, 0, 0}, {9, 0, 0}, {0, 9, 0}, {9, 9, 0}};
        for (int i = 0; i < 4; ++i) {
            nodes[i].at = at[i];
            nodes[i].values = {at[i].x};
        }
        model = test::make_model(nodes, {{3, 1, {1, 2, 3, 4}}}, 1);
        in.model = &model;
        in.checked = {false, false, false, false, false, true}; // list 6: result list 1
        in.changes = true;
        hooks.notice = [this](bool shown) { notices += shown ? '+' : '-'; };
        hooks.let_events_through = [this] { ++let_through; };
        hooks.report_error = [this](const std::string& m) { reports.push_back(m); };
    }
    void TearDown() override {
        pass.free_lists();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        test::release_offscreen_gl();
    }
    bool run() {
        glClear(GL_COLOR_BUFFER_BIT);
        const bool done = pass.run(in, hooks);
        glFinish();
        return done;
    }

    ResultModel model;
    RenderPassInputs in;
    RenderPassHooks hooks;
    RenderPass pass;
    std::string notices;
    int let_through = 0;
    std::vector<std::string> reports;
};

TEST_F(RenderPassGl, CompilesReplaysAndKeepsTheListsItMade) {
    ASSERT_TRUE(run());
    EXPECT_EQ(to_string(pass.state.log), "C6");
    EXPECT_EQ(pass.state.last_calls, (std::vector<int>{6}));
    EXPECT_EQ(notices, "+-");
    EXPECT_EQ(let_through, 1);
    EXPECT_TRUE(lit_at(4.5, 4.5));
    EXPECT_FALSE(lit_at(-0.5, -0.5));

    // Nothing changed: replay only.
    in.changes = false;
    ASSERT_TRUE(run());
    EXPECT_EQ(to_string(pass.state.log), "C6");
    EXPECT_EQ(notices, "+-");
    EXPECT_TRUE(lit_at(4.5, 4.5));

    // Unchecked after a change: deleted, nothing drawn.
    in.checked[5] = false;
    in.changes = true;
    ASSERT_TRUE(run());
    EXPECT_EQ(to_string(pass.state.log), "C6 D6");
    EXPECT_FALSE(lit_at(4.5, 4.5));
    EXPECT_EQ(pass.state.passes, 3);
}

TEST_F(RenderPassGl, RecordsWhatEachListShowsForTheNodePick) {
    // Factor 2 at slider 25: the lists are drawn with f = 1; list 3 with the
    // lowest checked list's displacement, list 6 with its own.
    in.checked = {false, false, true, false, false, true};
    in.factor = RealField::of(2);
    in.colours.displacement_position = 25;
    in.colours.filters = {-1, 0, 2};
    in.colours.hidden_blocks = {0, 1};
    in.chbox = 3;
    in.clip_plane = {RealField::of(1), RealField::of(0), RealField::of(0), RealField::of(-2)};
    ASSERT_TRUE(run());
    const auto& content = pass.state.content;
    ASSERT_GE(content.size(), 6u);
    EXPECT_EQ(content[2].selector, 3);
    EXPECT_DOUBLE_EQ(content[2].factor, 1.0);
    EXPECT_EQ(content[5].selector, 3);
    EXPECT_DOUBLE_EQ(content[5].factor, 1.0);
    EXPECT_EQ(content[5].filters, (std::array<int, 3>{-1, 0, 2}));
    EXPECT_EQ(content[5].hidden_blocks, (std::vector<std::uint8_t>{0, 1}));
    EXPECT_TRUE(content[5].deformed_outline);
    EXPECT_FALSE(pass.state.clip) << "the plane is off";

    // A replay records nothing new; the plane, once on, is the pass's.
    in.changes = false;
    in.factor = RealField::of(4);
    in.clip_enabled = true;
    ASSERT_TRUE(run());
    EXPECT_DOUBLE_EQ(pass.state.content[5].factor, 1.0) << "still drawn with the factor it was compiled with";
    ASSERT_TRUE(pass.state.clip);
    EXPECT_EQ(*pass.state.clip, (std::array<double, 4>{1, 0, 0, -2}));
}

TEST_F(RenderPassGl, ClipPlaneCutsTheModelOnlyWhileEnabled) {
    in.clip_plane = {RealField::of(-1), RealField::of(0), RealField::of(0), RealField::typed("4.5")};
    ASSERT_TRUE(run());
    EXPECT_TRUE(lit_at(7, 4.5)) << "disabled: nothing cut";
    EXPECT_EQ(pass.state.clip_plane, (std::array<double, 4>{-1, 0, 0, 4.5}));
    in.clip_enabled = true;
    ASSERT_TRUE(run());
    EXPECT_TRUE(lit_at(2, 4.5));
    EXPECT_FALSE(lit_at(7, 4.5)) << "x > 4.5 is cut";
    EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE0)) << "the plane is off after the pass";
}

TEST_F(RenderPassGl, BadFieldTextFailsThePassAndIsReportedOnce) {
    struct Case {
        const char* what;
        void (*spoil)(RenderPassInputs&);
    };
    const Case cases[] = {
        {"clip plane", [](RenderPassInputs& i) { i.clip_plane[2] = RealField::typed("1,2,3"); }},
        {"factor", [](RenderPassInputs& i) { i.factor = RealField::typed("x"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pass.free_lists();
        pass.state = {};
        reports.clear();
        RenderPassInputs good = in;
        c.spoil(in);
        EXPECT_FALSE(run());
        EXPECT_FALSE(run());
        ASSERT_EQ(reports.size(), 1u) << "the same failure is reported once";
        EXPECT_EQ(pass.state.failed_passes, 2);
        EXPECT_TRUE(pass.state.last_calls.empty());
        EXPECT_FALSE(pass.state.lists.exists(6));
        EXPECT_FALSE(lit_at(4.5, 4.5));

        in = good;
        EXPECT_TRUE(run());
        EXPECT_TRUE(lit_at(4.5, 4.5));
        c.spoil(in);
        in.changes = true;
        EXPECT_FALSE(run());
        EXPECT_EQ(reports.size(), 2u) << "a good pass re-arms the report";
        in = good;
    }
}

TEST_F(RenderPassGl, RunsWithoutHooksAndKeepsTheLogBounded) {
    hooks = {};
    for (std::size_t i = 0; i < RenderState::kLogLimit + 10; ++i)
        ASSERT_TRUE(run());
    EXPECT_LE(pass.state.log.size(), RenderState::kLogLimit);
    EXPECT_EQ(pass.state.log.back(), (ListEvent{ListAction::Compile, 6}));
    EXPECT_TRUE(lit_at(4.5, 4.5));
}

} // namespace
} // namespace orv

int main(int argc, char** argv) {
    return orv::test::run_offscreen_gl_tests(argc, argv, orv::kSize);
}
