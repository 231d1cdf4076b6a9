#include "ui/gl_scene_viewer.h"

#include "ui/dialogs.h"
#include "viewer/view/scene_gl.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QOpenGLFramebufferObject>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>

#include <GL/gl.h>

#include <exception>

namespace orv {

GLSceneViewer::GLSceneViewer(QWidget* parent) : QOpenGLWidget(parent) {
    // The framebuffer keeps the last picture between paints, so that it can
    // be read back (clipboard, video frames) without drawing again.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    report_error_ = [this](const QString& text) { ui::error_box(window(), text); };
    // Emitted whenever QOpenGLWidget has built a framebuffer, whatever the reason.
    connect(this, &QOpenGLWidget::resized, this, [this] { framebuffer_size_ = size() * devicePixelRatio(); });
}

GLSceneViewer::~GLSceneViewer() {
    if (scene_) scene_->set_listener(nullptr);
    if (gl_cleanup_ && isValid()) {
        // Shared objects outlive this context; free them while it is current.
        makeCurrent();
        try {
            gl_cleanup_();
        } catch (...) {
            // Nothing sensible to report while the window is going away.
        }
        doneCurrent();
    }
}

void GLSceneViewer::set_scene(view::Scene* scene, view::Camera* camera) {
    if (scene_) scene_->set_listener(nullptr);
    scene_ = scene;
    camera_ = camera;
    if (scene_) scene_->set_listener([this] { update(); });
    update();
}

void GLSceneViewer::set_background(const QColor& c) {
    background_ = c;
    update();
}

void GLSceneViewer::initializeGL() {}

void GLSceneViewer::paintEvent(QPaintEvent* event) {
    if (rendering_) {
        dropped_ = true;
        return;
    }
    QOpenGLWidget::paintEvent(event);
}

void GLSceneViewer::resizeEvent(QResizeEvent* event) {
    // See "Size changes" in the header: only a size the framebuffer does not
    // have yet goes to QOpenGLWidget, which rebuilds the framebuffer for it.
    if (isValid() && !framebuffer_size_.isEmpty()) {
        if (event->size().isEmpty()) return; // nothing shows; keep the framebuffer
        if (event->size() * devicePixelRatio() == framebuffer_size_) {
            update();
            return;
        }
    }
    QOpenGLWidget::resizeEvent(event);
}

view::ViewStyle GLSceneViewer::style() const {
    return view::ViewStyle{{static_cast<float>(background_.redF()), static_cast<float>(background_.greenF()),
                            static_cast<float>(background_.blueF())},
                           depth_test_,
                           face_culling_};
}

void GLSceneViewer::paintGL() {
    if (rendering_) return;
    rendering_ = true;

    if (scene_ && camera_) {
        view::draw_scene(*scene_, *camera_, width(), height(), style(), [this](view::SceneObject& object) {
            try {
                object.render();
            } catch (const std::exception& e) {
                pending_error_ = QString::fromUtf8(e.what());
            } catch (...) {
                pending_error_ = QStringLiteral("Erro ao desenhar a cena.");
            }
            // A callback may have let events through, which can leave another
            // context current; the rest of the tree draws in ours.
            makeCurrent();
        });
    } else {
        glClearColor(static_cast<GLfloat>(background_.redF()), static_cast<GLfloat>(background_.greenF()),
                     static_cast<GLfloat>(background_.blueF()), 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFlush();
    }

    rendering_ = false;
    ++frames_;
    if (!pending_error_.isEmpty()) {
        // Reported after the paint: a modal box inside a paint would run an
        // event loop in the middle of it.
        QString text = std::exchange(pending_error_, QString());
        QTimer::singleShot(0, this, [this, text] {
            if (report_error_) report_error_(text);
        });
    }
    if (dropped_) {
        dropped_ = false;
        update();
    }
    emit painted();
}

bool GLSceneViewer::render_now() {
    if (rendering_ || !isVisible() || size().isEmpty()) return false;
    const long before = frames_;
    repaint();
    if (frames_ == before && isValid()) {
        // repaint() paints only what the window system lets it (an obscured
        // or not yet exposed window skips it); draw into the framebuffer directly.
        makeCurrent();
        glViewport(0, 0, static_cast<GLsizei>(width() * devicePixelRatioF()),
                   static_cast<GLsizei>(height() * devicePixelRatioF()));
        paintGL();
        update();
    }
    return frames_ != before;
}

QImage GLSceneViewer::last_image() {
    if (!isValid() || frames_ == 0) return {};
    makeCurrent();
    const int w = static_cast<int>(width() * devicePixelRatioF());
    const int h = static_cast<int>(height() * devicePixelRatioF());
    QImage image(w, h, QImage::Format_RGBA8888);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    // Blending may leave alpha below 1 in the framebuffer; the picture is opaque.
    for (int y = 0; y < h; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < w; ++x)
            row[4 * x + 3] = 0xff;
    }
    if (!rendering_) doneCurrent();
    // OpenGL returns the bottom row first.
    return image.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
}

QImage GLSceneViewer::render_offscreen(QSize size, const std::function<void()>& draw) {
    if (!isValid() || rendering_ || size.isEmpty()) return {};
    makeCurrent();
    // Unbinds the framebuffer and lets the context go however `draw` ends.
    struct Restore {
        GLSceneViewer* view;
        bool* rendering;
        ~Restore() {
            *rendering = false;
            view->doneCurrent();
        }
    } restore{this, &rendering_};
    // A paint of this view arriving meanwhile would draw into our framebuffer.
    rendering_ = true;
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    format.setInternalTextureFormat(GL_RGBA8);
    QOpenGLFramebufferObject fbo(size, format);
    if (!fbo.isValid() || !fbo.bind()) return {};
    glViewport(0, 0, size.width(), size.height());
    draw();
    QImage image(size, QImage::Format_RGBA8888);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    fbo.release();
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            row[4 * x + 3] = 0xff;
    }
    return image.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
}

void GLSceneViewer::let_events_through() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    makeCurrent();
}

void GLSceneViewer::mousePressEvent(QMouseEvent* event) {
    emit mouse_pressed(event);
}
void GLSceneViewer::mouseMoveEvent(QMouseEvent* event) {
    emit mouse_moved(event);
}
void GLSceneViewer::mouseReleaseEvent(QMouseEvent* event) {
    emit mouse_released(event);
}
void GLSceneViewer::mouseDoubleClickEvent(QMouseEvent* event) {
    emit double_clicked(event);
}
void GLSceneViewer::enterEvent(QEnterEvent* event) {
    QOpenGLWidget::enterEvent(event);
    emit entered();
}
void GLSceneViewer::leaveEvent(QEvent* event) {
    QOpenGLWidget::leaveEvent(event);
    emit left();
}
void GLSceneViewer::wheelEvent(QWheelEvent* event) {
    event->ignore();
    emit wheel_turned(event);
}
} // namespace orv
