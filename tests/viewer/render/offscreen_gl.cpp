#include "offscreen_gl.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace orv::test {
namespace {

struct Offscreen {
    QOffscreenSurface surface;
    QOpenGLContext context;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
};
Offscreen* gl = nullptr;

} // namespace

::testing::AssertionResult bind_offscreen_gl(double lo, double hi) {
    if (!gl) return ::testing::AssertionFailure() << "no OpenGL context";
    if (!gl->context.makeCurrent(&gl->surface))
        return ::testing::AssertionFailure() << "context not made current";
    if (!gl->fbo->bind()) return ::testing::AssertionFailure() << "framebuffer not bound";
    glViewport(0, 0, gl->fbo->width(), gl->fbo->height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(lo, hi, lo, hi, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return ::testing::AssertionSuccess();
}

void release_offscreen_gl() {
    if (gl) gl->fbo->release();
}

int run_offscreen_gl_tests(int argc, char** argv, int size) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    QGuiApplication app(argc, argv);
    int glut_argc = 1;
    char* glut_argv[] = {argv[0], nullptr};
    glutInit(&glut_argc, glut_argv);

    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    Offscreen offscreen;
    offscreen.surface.setFormat(format);
    offscreen.surface.create();
    offscreen.context.setFormat(format);
    if (offscreen.context.create() && offscreen.context.makeCurrent(&offscreen.surface)) {
        offscreen.fbo = std::make_unique<QOpenGLFramebufferObject>(size, size);
        if (offscreen.fbo->isValid()) gl = &offscreen;
    }
    const int result = RUN_ALL_TESTS();
#if defined(__SANITIZE_ADDRESS__)
    // Leaks are checked now, while Mesa's software driver is loaded: it is
    // unloaded with the context, and what it held would then be reported with
    // frames nobody can name (or suppress).
    __lsan_do_leak_check();
#endif
    gl = nullptr;
    offscreen.fbo.reset();
    offscreen.context.doneCurrent();
    glutExit();
    return result;
}

} // namespace orv::test
