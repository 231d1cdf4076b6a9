#pragma once
// OpenGL view of a scene (the GLSceneViewer of a viewer window).
//
// Each paint is view::draw_scene (scene_gl.h): clear to the background
// colour, load the orthographic projection and the camera's view matrix, then
// walk the scene tree: for every object push the matrix, translate and scale,
// draw the axes symbol if its flag is set, call its render callback, draw its
// children, pop. The batch side paints with the same function.
//
// OpenGL objects: the contexts of all views in one top-level window share
// their objects (Qt shares each view's context with its window's), so
// display-list names are common to every viewer of the main window. Take
// names from glGenLists, and free them in the cleanup callback, which runs
// with the view's context current when the view is destroyed.
//
// Size changes: Qt 6.4's QOpenGLWidget builds a new framebuffer object on
// every resize, but hands the window's compositor a new texture only when the
// size differs from the one it handed over last. A view shrunk to nothing (its
// viewer cut down to a title bar) and brought back to its old size therefore
// painted into a new framebuffer while the window went on composing the old,
// deleted texture: the screen showed black until a resize to another size.
// So the view keeps its framebuffer while it has no size, and when it comes
// back at the size that framebuffer has it only repaints.
//
// Repaints: any change of the scene (an object marked changed, a camera
// move) schedules update(). A view never paints re-entrantly: a paint that
// arrives while its render callbacks run (they may let events through while
// compiling display lists) is dropped, and one paint is requested after the
// running one ends so that the picture catches up with the state.

#include "viewer/view/camera.h"
#include "viewer/view/scene.h"
#include "viewer/view/scene_gl.h"

#include <QColor>
#include <QImage>
#include <QOpenGLWidget>

#include <functional>

namespace orv {

class GLSceneViewer : public QOpenGLWidget {
    Q_OBJECT
  public:
    explicit GLSceneViewer(QWidget* parent = nullptr);
    ~GLSceneViewer() override;

    // The scene and camera drawn; both outlive the view (they are members of
    // the same window). The view becomes the scene's change listener.
    void set_scene(view::Scene* scene, view::Camera* camera);
    view::Scene* scene() const { return scene_; }
    view::Camera* camera() const { return camera_; }

    void set_background(const QColor& c);
    QColor background() const { return background_; }
    void set_depth_test(bool on) { depth_test_ = on; }
    void set_face_culling(bool on) { face_culling_ = on; }
    // Background, depth test and culling as a paint applies them.
    view::ViewStyle style() const;

    // True while a paint of this view is running (render callbacks included).
    bool rendering() const { return rendering_; }
    // Completed paints since creation.
    long frames() const { return frames_; }

    // Paints the view now, before returning (the video generator needs the
    // picture at once). Returns false when the view cannot paint: not shown
    // yet (no OpenGL context), without a size, or already painting.
    bool render_now();

    // The picture as last rendered, read back from the view's framebuffer
    // without drawing again; top row first, Format_RGB32, width() x height()
    // device pixels. Null before the first paint.
    QImage last_image();

    // Draws into an off-screen framebuffer of `size` device pixels (colour,
    // 24-bit depth and 8-bit stencil, as the view's own) with this view's
    // context current, and returns what `draw` left there: top row first,
    // Format_RGB32, opaque. The on-screen picture is left alone. `draw` must
    // not let events through. Null when the view has no context yet or the
    // framebuffer cannot be made (too large for the driver). Exceptions of
    // `draw` pass through, the view's state restored.
    QImage render_offscreen(QSize size, const std::function<void()>& draw);

    // For render callbacks: let pending window events through (paints of
    // other widgets, such as a loading notice) and make this view's context
    // current again. User input waits until the paint is over, so the scene
    // cannot change, and no window can close, in the middle of a paint.
    void let_events_through();

    // Messages of exceptions thrown by render callbacks go here (after the
    // paint, never inside it). Default: the application's error box.
    void set_error_reporter(std::function<void(const QString&)> reporter) {
        report_error_ = std::move(reporter);
    }

    // Run when the view is destroyed, with its context current (only when
    // the view ever had a context): free display lists and other objects.
    void set_gl_cleanup(std::function<void()> cleanup) { gl_cleanup_ = std::move(cleanup); }

  signals:
    void mouse_pressed(QMouseEvent* event);
    void mouse_moved(QMouseEvent* event);
    void mouse_released(QMouseEvent* event);
    void double_clicked(QMouseEvent* event);
    void entered();
    void left();
    // The wheel belongs to the viewer window: every wheel event over the
    // view is handed to it (the window accepts or ignores the event).
    void wheel_turned(QWheelEvent* event);
    // Emitted at the end of every completed paint.
    void painted();

  protected:
    void initializeGL() override;
    void paintGL() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    view::Scene* scene_ = nullptr;
    view::Camera* camera_ = nullptr;
    QColor background_ = Qt::white;
    bool depth_test_ = true;
    bool face_culling_ = false;
    bool rendering_ = false;
    bool dropped_ = false;
    QSize framebuffer_size_; // device pixels of the current framebuffer; empty before the first
    long frames_ = 0;
    QString pending_error_;
    std::function<void(const QString&)> report_error_;
    std::function<void()> gl_cleanup_;
};

} // namespace orv
