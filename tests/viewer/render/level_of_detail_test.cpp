// Level of detail in a real viewer window: while a drag turns the view the
// coarse lists may show, but the picture on the screen after the release is
// the full picture, pixel for pixel; and a small model never shows the
// coarse version.
#include "viewer_fixture.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QScreen>

namespace orv::test {
namespace {

class LevelOfDetail : public ViewerTest {
  protected:
    void SetUp() override {
        open(example_path(QStringLiteral("casca.txt")), 640, 420);
        ASSERT_FALSE(HasFatalFailure());
        check_item(1, true);        // "Malha Indeformada"
        check_item(kFixList, true); // result list 1
        pass();
    }

    // The 3D view as the screen shows it.
    QImage screen_picture() const {
        settle();
        const QRect view = form->GLSceneViewer1->geometry();
        return form->screen()
            ->grabWindow(form->winId(), view.x(), view.y(), view.width(), view.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QWidget* view = form->GLSceneViewer1;
        QMouseEvent e(type, at, view->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &e);
    }

    // Presses the left button in the middle of the view and moves it by
    // `steps` steps of 6 pixels, painting after each; true when any of those
    // pictures replayed a coarse list.
    bool drag(int steps) {
        const QPointF start(form->GLSceneViewer1->width() / 2.0, form->GLSceneViewer1->height() / 2.0);
        mouse(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        bool coarse = false;
        for (int i = 1; i <= steps; ++i) {
            mouse(QEvent::MouseMove, start + QPointF(6.0 * i, 3.0 * i), Qt::NoButton, Qt::LeftButton);
            EXPECT_TRUE(form->GLSceneViewer1->render_now());
            coarse = coarse || form->render_state.last_replay_coarse;
        }
        end_ = start + QPointF(6.0 * steps, 3.0 * steps);
        return coarse;
    }
    void release() { mouse(QEvent::MouseButtonRelease, end_, Qt::LeftButton, Qt::NoButton); }

    QPointF end_;
};

TEST_F(LevelOfDetail, PictureAfterTheReleaseIsTheFullPicture) {
    // Every model counts as large here: any replay is over the budget.
    form->render_pass.lod_min_vertices = 0;
    form->render_pass.lod_budget_seconds = 0;
    // Checking the list again compiles the lists afresh, now with coarse
    // versions, which the next pass takes in.
    check_item(kFixList, false);
    check_item(kFixList, true);
    pass();
    form->render_pass.wait_for_coarse_builds();
    pass();
    ASSERT_GT(form->render_state.coarse_bytes, 0u);

    ASSERT_TRUE(drag(5)) << "the drag showed the coarse lists";
    const QImage during = screen_picture();
    const long frames = form->GLSceneViewer1->frames();
    release();
    ASSERT_TRUE(wait_until([&] { return form->GLSceneViewer1->frames() > frames; }))
        << "the release repaints by itself";
    EXPECT_FALSE(form->render_state.last_replay_coarse);
    const QImage after = screen_picture();

    // The same camera with the coarse lists out of the question.
    form->render_pass.lod_budget_seconds = 1e9;
    pass();
    const QImage full = screen_picture();
    ASSERT_EQ(after.size(), full.size());
    EXPECT_TRUE(after == full) << "the picture after the release is the full one";
    EXPECT_FALSE(during == full) << "the coarse picture differs from the full one";
}

TEST_F(LevelOfDetail, SmallModelNeverShowsTheCoarseVersion) {
    // Default thresholds: the shell's lists are far too small to need one.
    EXPECT_FALSE(drag(5));
    const QImage during = screen_picture();
    form->render_pass.lod_budget_seconds = 1e9;
    pass();
    EXPECT_TRUE(during == screen_picture()) << "the picture during the drag is the full one";
    release();
    settle();
    EXPECT_EQ(form->render_state.coarse_bytes, 0u);
    EXPECT_FALSE(form->render_state.coarse_lists.exists(kFixList + 1));
}

} // namespace
} // namespace orv::test
