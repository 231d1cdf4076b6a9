#pragma once
// An OpenGL context with no display: Mesa's EGL "surfaceless" platform, an
// OpenGL compatibility context (immediate mode and display lists), drawing
// into a framebuffer object of a chosen size with a 24-bit depth and 8-bit
// stencil buffer, the buffers the viewer's views have. Never opens an X
// connection. EGL and OpenGL types stay inside the .cpp.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace orv {

// The context could not be made; what() says which step failed.
class OffscreenGlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class OffscreenGl {
  public:
    // Creates the context, makes it current on this thread and binds a
    // width x height framebuffer (each 1..8192). Throws OffscreenGlError.
    OffscreenGl(int width, int height);
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // The framebuffer as RGBA bytes, bottom row first (as glReadPixels gives it).
    std::vector<std::uint8_t> read_rgba() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int width_ = 0, height_ = 0;
};

} // namespace orv
