// The node pick against the picture OpenGL draws: with "Nós" and a white
// (solid) result list checked, a node point shows grey exactly where the pick
// finds that node, and is covered by a surface exactly where the pick finds it
// hidden, for several cameras, pans and zooms.

#include "../render/viewer_fixture.h"

#include <QCheckBox>

namespace orv {
namespace {

// pick_overlap.txt: quad F (nodes 1..4) at z = 1 in front of quad B (5..8)
// at z = 0; lone nodes 9 (behind both), 10, 11 (between the quads) and 12
// (in front of everything), drawn only by "Nós".
class NodeProbeGl : public test::ViewerTest {
  protected:
    void SetUp() override {
        open(test::data_path("viewer/pick_overlap.txt"));
        form->CheckBox7->setChecked(false); // no axes symbol over the nodes
        form->CheckBox6->setChecked(true);  // white fills
        check_item(0, true);                // "Nós"
        check_item(5, true);                // the result list
    }

    // Node n's pixel in the 3D view, through the scene's own frames.
    QPointF pixel_of(int n) const {
        const auto i = static_cast<std::size_t>(n);
        const view::Vec3d world = form->DirectOpenGL1->to_world(
            {form->model.coord(i, 1), form->model.coord(i, 2), form->model.coord(i, 3)});
        const view::PixelPoint p = view::project_to_pixel(*form->GLCamera1, form->GLSceneViewer1->width(),
                                                          form->GLSceneViewer1->height(), world);
        return {p.x, p.y};
    }

    // For every listed node: the pick finds it at its pixel exactly when
    // OpenGL shows the node point's grey there.
    void expect_agreement(const char* what, const std::vector<int>& nodes, int expect_visible) {
        const QImage image = pass();
        ASSERT_FALSE(image.isNull());
        int visible = 0;
        for (int n : nodes) {
            const QPointF at = pixel_of(n);
            const QPoint px(static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y())));
            ASSERT_TRUE(image.rect().contains(px)) << what << ": node " << n;
            const bool grey = test::colour_near(image.pixel(px), {89, 89, 89}, 12);
            const auto hit = form->probe_node(px.x(), px.y());
            const bool picked = hit && hit->node == n;
            EXPECT_EQ(picked, grey) << what << ": node " << n << " at (" << px.x() << ", " << px.y() << ")";
            visible += picked;
        }
        EXPECT_EQ(visible, expect_visible) << what;
    }
};

TEST_F(NodeProbeGl, PickSeesWhatOpenGlDraws) {
    // Seen straight on, surfaces face the screen: every node can be checked.
    expect_agreement("front", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 9);
    form->GLCamera1->orbit(0, 180);
    expect_agreement("back", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 10);
    // Oblique views: a node on a tilted surface is drawn at the surface's
    // own depth, where rounding decides which of the two OpenGL keeps; the
    // lone nodes show the pick's depth test against the fills.
    form->apply_preset(1);
    expect_agreement("front right above", {9, 10, 11, 12}, 2);
    form->GLCamera1->orbit(25, -60);
    form->GLCamera1->set_scene_scale(1.4f);
    form->DirectOpenGL1->set_position({0.3f, -0.2f, 0.1f});
    expect_agreement("turned, zoomed and panned", {9, 10, 11, 12}, 2);
}

} // namespace
} // namespace orv
