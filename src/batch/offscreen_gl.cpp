#include "batch/offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <string>

namespace orv {

struct OffscreenGl::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0, colour = 0, depth = 0;
    PFNGLGENFRAMEBUFFERSPROC gen_framebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bind_framebuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers = nullptr;
    PFNGLGENRENDERBUFFERSPROC gen_renderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bind_renderbuffer = nullptr;
    PFNGLDELETERENDERBUFFERSPROC delete_renderbuffers = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status = nullptr;

    ~Impl() {
        if (context != EGL_NO_CONTEXT) {
            if (framebuffer) {
                bind_framebuffer(GL_FRAMEBUFFER, 0);
                delete_framebuffers(1, &framebuffer);
            }
            if (colour) delete_renderbuffers(1, &colour);
            if (depth) delete_renderbuffers(1, &depth);
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroyContext(display, context);
        }
        // The display is not terminated: EGL keeps one per platform for the
        // whole process anyway, and eglTerminate unloads Mesa's driver, which
        // strands a few blocks the driver still holds (reported as leaks of
        // an unknown module by the sanitizer run). It goes with the process.
    }
};

namespace {

[[noreturn]] void fail(const std::string& step) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    throw OffscreenGlError("Cannot create the off-screen OpenGL context (" + step + ", EGL error " + code +
                           ").");
}

template <class Fn> void load(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(eglGetProcAddress(name));
    if (!fn) throw OffscreenGlError(std::string("The OpenGL driver lacks ") + name + ".");
}

} // namespace

OffscreenGl::OffscreenGl(int width, int height)
    : impl_(std::make_unique<Impl>()), width_(width), height_(height) {
    if (width < 1 || height < 1 || width > 8192 || height > 8192)
        throw OffscreenGlError("Picture size out of range (1 to 8192 pixels a side).");
    Impl& d = *impl_;
    d.display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (d.display == EGL_NO_DISPLAY) fail("no surfaceless EGL display");
    EGLint major = 0, minor = 0;
    if (!eglInitialize(d.display, &major, &minor)) {
        d.display = EGL_NO_DISPLAY;
        fail("eglInitialize");
    }
    if (!eglBindAPI(EGL_OPENGL_API)) fail("eglBindAPI");
    // No config: the context draws only into framebuffer objects
    // (EGL_KHR_no_config_context, EGL_KHR_surfaceless_context).
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    d.context = eglCreateContext(d.display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (d.context == EGL_NO_CONTEXT) fail("eglCreateContext");
    if (!eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, d.context)) fail("eglMakeCurrent");

    load(d.gen_framebuffers, "glGenFramebuffers");
    load(d.bind_framebuffer, "glBindFramebuffer");
    load(d.delete_framebuffers, "glDeleteFramebuffers");
    load(d.gen_renderbuffers, "glGenRenderbuffers");
    load(d.bind_renderbuffer, "glBindRenderbuffer");
    load(d.delete_renderbuffers, "glDeleteRenderbuffers");
    load(d.renderbuffer_storage, "glRenderbufferStorage");
    load(d.framebuffer_renderbuffer, "glFramebufferRenderbuffer");
    load(d.check_framebuffer_status, "glCheckFramebufferStatus");

    d.gen_renderbuffers(1, &d.colour);
    d.bind_renderbuffer(GL_RENDERBUFFER, d.colour);
    d.renderbuffer_storage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    d.gen_renderbuffers(1, &d.depth);
    d.bind_renderbuffer(GL_RENDERBUFFER, d.depth);
    d.renderbuffer_storage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    d.gen_framebuffers(1, &d.framebuffer);
    d.bind_framebuffer(GL_FRAMEBUFFER, d.framebuffer);
    d.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, d.colour);
    d.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, d.depth);
    if (d.check_framebuffer_status(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        throw OffscreenGlError("Cannot create a framebuffer of " + std::to_string(width) + "x" +
                               std::to_string(height) + " pixels.");
    glViewport(0, 0, width, height);
}

OffscreenGl::~OffscreenGl() = default;

std::vector<std::uint8_t> OffscreenGl::read_rgba() const {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) *
                                     4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

} // namespace orv
