// The OpenGL view on a real context (Mesa under Xvfb), pixels read back:
// background, the axes symbol, the projection matching the camera maths,
// the legend camera's rectangle, and paints that never nest.

#include "gui_test_support.h"

#include "ui/gl_scene_viewer.h"
#include "viewer/view/camera.h"
#include "viewer/view/interaction.h"
#include "viewer/view/scene.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QWindow>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>

namespace orv {
namespace {

bool near_colour(QRgb c, int r, int g, int b, int tol = 3) {
    return std::abs(qRed(c) - r) <= tol && std::abs(qGreen(c) - g) <= tol && std::abs(qBlue(c) - b) <= tol;
}

// A 3D view as a viewer window builds it: world cube, model, axes symbol.
class GlViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cube = &scene.add(nullptr, "DummyCube1");
        model = &scene.add(cube, "DirectOpenGL1");
        axes = &scene.add(cube, "DirectOpenGL3");
        axes->set_scale({0.0025f, 0.0025f, 0.0025f});
        axes->set_show_axes(true);
        camera = std::make_unique<view::Camera>(scene, cube);
        camera->set_position({0, 0, 30});
        camera->set_focal_length(10);
        camera->set_depth_of_view(100);
        viewer = std::make_unique<GLSceneViewer>();
        viewer->set_scene(&scene, camera.get());
        viewer->set_background(Qt::white);
        viewer->resize(400, 300);
        viewer->show();
        ASSERT_TRUE(test::wait_until([&] { return viewer->isValid() && viewer->frames() > 0; }));
    }
    void TearDown() override {
        viewer.reset();
        test::settle();
    }
    QImage picture() {
        EXPECT_TRUE(viewer->render_now());
        QImage img = viewer->last_image();
        EXPECT_EQ(img.size(), QSize(400, 300));
        return img;
    }

    view::Scene scene;
    view::SceneObject* cube = nullptr;
    view::SceneObject* model = nullptr;
    view::SceneObject* axes = nullptr;
    std::unique_ptr<view::Camera> camera;
    std::unique_ptr<GLSceneViewer> viewer;
};

TEST_F(GlViewTest, BackgroundAndDashedAxesSymbolWithAColourRamp) {
    const QImage img = picture();
    EXPECT_TRUE(near_colour(img.pixel(20, 20), 255, 255, 255));
    EXPECT_TRUE(near_colour(img.pixel(380, 280), 255, 255, 255));
    // The x axis runs 0.25 world units each side: 10 pixels at 40 pixels per unit.
    const int cy = 150;
    int red = 0, gaps = 0;
    int first_red = -1, last_red = -1;
    for (int x = 185; x <= 215; ++x) {
        // The dashed line may fall on row 149 or 150.
        QRgb c = img.pixel(x, cy);
        if (qRed(c) < 100 || qGreen(c) > 100) c = img.pixel(x, cy - 1);
        const bool is_red = qRed(c) > 100 && qGreen(c) < 60 && qBlue(c) < 60;
        if (is_red) {
            ++red;
            if (first_red < 0) first_red = x;
            last_red = x;
        } else if (x > 191 && x < 209 && near_colour(c, 255, 255, 255, 10)) {
            ++gaps;
        }
    }
    EXPECT_GE(red, 6) << "the x axis is drawn";
    EXPECT_GE(gaps, 3) << "the stipple leaves gaps";
    EXPECT_GE(first_red, 188);
    EXPECT_LE(last_red, 212);
    // Half intensity at -L, full at +L.
    auto red_at = [&](int x) {
        const QRgb a = img.pixel(x, cy), b = img.pixel(x, cy - 1);
        return std::max(qGreen(a) < 60 ? qRed(a) : 0, qGreen(b) < 60 ? qRed(b) : 0);
    };
    EXPECT_LT(red_at(first_red), red_at(last_red));
    EXPECT_LT(red_at(first_red), 200);
    EXPECT_GT(red_at(last_red), 200);
    // The y axis is green.
    bool green = false;
    for (int y = 141; y <= 159; ++y) {
        for (int x = 199; x <= 200; ++x) {
            const QRgb c = img.pixel(x, y);
            green |= qGreen(c) > 100 && qRed(c) < 60 && qBlue(c) < 60;
        }
    }
    EXPECT_TRUE(green);
    // Without its flag the symbol is gone.
    axes->set_show_axes(false);
    const QImage none = picture();
    for (int x = 185; x <= 215; ++x)
        EXPECT_TRUE(near_colour(none.pixel(x, cy), 255, 255, 255)) << x;
}

// What the render callback draws lands where the camera maths says.
TEST_F(GlViewTest, CallbackDrawsInTheModelFrameWhereTheCameraMathsProjects) {
    const view::Vec3d point{130, -70, 40}; // file coordinates
    model->set_scale({0.01f, 0.01f, 0.01f});
    model->render = [&] {
        glPointSize(5);
        glColor3f(0, 0, 1);
        glBegin(GL_POINTS);
        glVertex3d(point[0], point[1], point[2]);
        glEnd();
    };
    axes->set_show_axes(false);
    struct Step {
        const char* what;
        std::function<void()> apply;
    };
    const Step steps[] = {
        {"front", [] {}},
        {"zoomed", [&] { camera->set_scene_scale(1.7f); }},
        {"panned",
         [&] {
             model->set_position({0.3f, -0.2f, 0.1f});
         }},
        {"orbited", [&] { camera->orbit(-20, 35); }},
        {"preset 2", [&] { view::apply_preset_view(*camera, 2); }},
    };
    for (const Step& s : steps) {
        s.apply();
        const QImage img = picture();
        double sx = 0, sy = 0;
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y);
                if (qBlue(c) > 200 && qRed(c) < 50 && qGreen(c) < 50) {
                    sx += x + 0.5;
                    sy += y + 0.5;
                    ++n;
                }
            }
        ASSERT_GT(n, 0) << s.what;
        const view::PixelPoint p = view::project_to_pixel(*camera, 400, 300, model->to_world(point));
        EXPECT_NEAR(sx / n, p.x, 1.0) << s.what;
        EXPECT_NEAR(sy / n, p.y, 1.0) << s.what;
    }
}

TEST(GlLegendView, CameraShowsTheLegendRectangleOnItsBackground) {
    view::Scene scene;
    view::SceneObject& cube = scene.add(nullptr, "DummyCube2");
    view::SceneObject& legend = scene.add(&cube, "DirectOpenGL2");
    view::Camera camera(scene, &legend);
    camera.set_position({0, 0, 50});
    camera.set_focal_length(25);
    camera.set_depth_of_view(500);
    // A bar from x = -0.8 to -0.45 and y = -1.85 to 1.3, counter-clockwise.
    legend.render = [] {
        glColor3f(1, 0, 0);
        glBegin(GL_POLYGON);
        glVertex3d(-0.8, -1.85, 0);
        glVertex3d(-0.45, -1.85, 0);
        glVertex3d(-0.45, 1.3, 0);
        glVertex3d(-0.8, 1.3, 0);
        glEnd();
    };
    GLSceneViewer viewer;
    viewer.set_scene(&scene, &camera);
    viewer.set_background(QColor(243, 250, 252));
    viewer.set_face_culling(true);
    viewer.setFixedSize(115, 233);
    viewer.show();
    ASSERT_TRUE(test::wait_until([&] { return viewer.isValid() && viewer.frames() > 0; }));
    ASSERT_TRUE(viewer.render_now());
    const QImage img = viewer.last_image();
    ASSERT_EQ(img.size(), QSize(115, 233));
    // One unit is 58.25 pixels; x = -0.98712 is the left edge, y = 2 the top.
    auto px = [](double x) { return (x + 2.0 * 115 / 233) * 58.25; };
    auto py = [](double y) { return (2.0 - y) * 58.25; };
    EXPECT_TRUE(near_colour(img.pixel(2, 2), 243, 250, 252, 0));
    EXPECT_TRUE(near_colour(img.pixel(static_cast<int>(px(-0.6)), static_cast<int>(py(0))), 255, 0, 0));
    EXPECT_TRUE(
        near_colour(img.pixel(static_cast<int>(px(-0.8)) - 2, static_cast<int>(py(0))), 243, 250, 252, 0));
    EXPECT_TRUE(
        near_colour(img.pixel(static_cast<int>(px(-0.45)) + 2, static_cast<int>(py(0))), 243, 250, 252, 0));
    EXPECT_TRUE(
        near_colour(img.pixel(static_cast<int>(px(-0.6)), static_cast<int>(py(1.3)) - 2), 243, 250, 252, 0));
    EXPECT_TRUE(near_colour(img.pixel(static_cast<int>(px(-0.6)), static_cast<int>(py(1.3)) + 2), 255, 0, 0));
    EXPECT_TRUE(near_colour(img.pixel(static_cast<int>(px(-0.6)), static_cast<int>(py(-1.85)) + 2), 243, 250,
                            252, 0));
    // Back-face culling: the same bar clockwise is not drawn.
    legend.render = [] {
        glColor3f(1, 0, 0);
        glBegin(GL_POLYGON);
        glVertex3d(-0.8, -1.85, 0);
        glVertex3d(-0.8, 1.3, 0);
        glVertex3d(-0.45, 1.3, 0);
        glVertex3d(-0.45, -1.85, 0);
        glEnd();
    };
    ASSERT_TRUE(viewer.render_now());
    EXPECT_TRUE(near_colour(viewer.last_image().pixel(static_cast<int>(px(-0.6)), static_cast<int>(py(0))),
                            243, 250, 252, 0));
}

TEST_F(GlViewTest, PaintsNeverNest) {
    int depth = 0, deepest = 0, calls = 0;
    bool nested_render_refused = false;
    model->render = [&] {
        ++depth;
        ++calls;
        deepest = std::max(deepest, depth);
        if (calls == 1) {
            // What a render pass does while compiling: ask for paints and
            // let events through. None of them may run inside this one.
            nested_render_refused = !viewer->render_now();
            model->mark_changed();
            viewer->repaint();
            viewer->let_events_through();
            EXPECT_TRUE(viewer->rendering());
        }
        --depth;
    };
    const long before = viewer->frames();
    ASSERT_TRUE(viewer->render_now());
    EXPECT_TRUE(nested_render_refused);
    EXPECT_EQ(deepest, 1);
    EXPECT_FALSE(viewer->rendering());
    EXPECT_EQ(viewer->frames(), before + 1);
    // The paint asked for during the pass comes afterwards, once.
    ASSERT_TRUE(test::wait_until([&] { return calls >= 2; }));
    test::settle();
    EXPECT_EQ(deepest, 1);
    // The context is ours again after the events: the picture is complete.
    const QImage img = picture();
    EXPECT_TRUE(near_colour(img.pixel(20, 20), 255, 255, 255));
}

TEST_F(GlViewTest, ErrorInACallbackIsReportedAfterThePaint) {
    QStringList reported;
    viewer->set_error_reporter([&](const QString& text) { reported << text; });
    model->render = [] { throw std::runtime_error("'abc' is not a valid floating point value"); };
    const QImage img = picture();
    EXPECT_TRUE(reported.isEmpty()) << "never inside the paint";
    ASSERT_TRUE(test::wait_until([&] { return !reported.isEmpty(); }));
    EXPECT_EQ(reported.front(), QStringLiteral("'abc' is not a valid floating point value"));
    // The rest of the scene (the axes symbol, drawn after the model) is there.
    bool red = false;
    for (int x = 190; x <= 210; ++x)
        red |= qRed(img.pixel(x, 150)) > 100 && qGreen(img.pixel(x, 150)) < 60;
    for (int x = 190; x <= 210; ++x)
        red |= qRed(img.pixel(x, 149)) > 100 && qGreen(img.pixel(x, 149)) < 60;
    EXPECT_TRUE(red);
}

// Views of one window share display lists; the cleanup frees a view's own.
TEST_F(GlViewTest, DisplayListsAreSharedInAWindowAndFreedByTheCleanup) {
    QWidget window;
    window.resize(300, 150);
    auto* a = new GLSceneViewer(&window);
    auto* b = new GLSceneViewer(&window);
    a->setGeometry(0, 0, 150, 150);
    b->setGeometry(150, 0, 150, 150);
    window.show();
    ASSERT_TRUE(test::wait_until([&] { return a->isValid() && b->isValid(); }));
    a->makeCurrent();
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glEndList();
    a->set_gl_cleanup([&] { glDeleteLists(list, 1); });
    b->makeCurrent();
    EXPECT_TRUE(glIsList(list)) << "the other view of the window sees the list";
    delete a;
    b->makeCurrent();
    EXPECT_FALSE(glIsList(list)) << "the cleanup freed it";
}

TEST_F(GlViewTest, LastImageIsThePictureAsRenderedWithoutDrawingAgain) {
    (void)picture();
    const long frames = viewer->frames();
    viewer->set_background(QColor(10, 200, 30)); // asks for a paint, not yet run
    QImage img = viewer->last_image();
    EXPECT_EQ(viewer->frames(), frames);
    EXPECT_TRUE(near_colour(img.pixel(5, 5), 255, 255, 255));
    img = picture();
    EXPECT_TRUE(near_colour(img.pixel(5, 5), 10, 200, 30));
    EXPECT_TRUE(near_colour(img.pixel(395, 295), 10, 200, 30)) << "rows are top first, the whole view";
}

// What the screen shows, not the view's own buffer: a view shrunk to nothing
// (its viewer cut down to a title bar) and brought back, at its old size or
// another, shows its current picture at once. Qt 6.4 once composed the
// deleted framebuffer's texture here, so the screen stayed black.
TEST(GlViewOnScreen, ComesBackWithItsPictureAfterShrinkingToNothing) {
    view::Scene scene;
    view::SceneObject& cube = scene.add(nullptr, "DummyCube1");
    view::Camera camera(scene, &cube);
    camera.set_position({0, 0, 30});
    QWidget window;
    window.resize(320, 240);
    auto* v = new GLSceneViewer(&window);
    v->set_scene(&scene, &camera);
    v->set_background(QColor(200, 40, 40));
    v->setGeometry(10, 10, 240, 180);
    window.show();
    ASSERT_TRUE(test::wait_until([&] { return v->isValid() && v->frames() > 0; }));
    QRgb seen = 0;
    auto screen_shows = [&](int r, int g, int b) {
        return test::wait_until(
            [&] {
                test::settle();
                seen = window.screen()->grabWindow(window.winId()).toImage().pixel(130, 100);
                return near_colour(seen, r, g, b, 4);
            },
            3000);
    };
    ASSERT_TRUE(screen_shows(200, 40, 40));

    struct Case {
        const char* name;
        QSize shrunk, back;
    };
    const Case cases[] = {
        {"nothing, then the same size", {0, 0}, {240, 180}},
        {"no width, then the same size", {0, 180}, {240, 180}},
        {"no height, then the same size", {240, 0}, {240, 180}},
        {"nothing, then another size", {0, 0}, {250, 190}},
        {"nothing, then the first size again", {0, 0}, {240, 180}},
    };
    for (const Case& c : cases) {
        v->resize(c.shrunk);
        test::settle();
        v->resize(c.back);
        EXPECT_TRUE(screen_shows(200, 40, 40)) << c.name << ": the screen shows (" << qRed(seen) << ", "
                                               << qGreen(seen) << ", " << qBlue(seen) << ")";
    }
    // A change made while the view had no size shows once it is back.
    v->resize(0, 0);
    test::settle();
    v->set_background(QColor(30, 60, 220));
    v->resize(240, 180);
    EXPECT_TRUE(screen_shows(30, 60, 220)) << "the current picture, not the one before";
    // Hidden and shown again.
    v->hide();
    test::settle();
    v->show();
    EXPECT_TRUE(screen_shows(30, 60, 220));
}

} // namespace
} // namespace orv
