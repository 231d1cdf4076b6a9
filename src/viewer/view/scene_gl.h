#pragma once
// One paint of a view's scene with OpenGL, without Qt: the on-screen view
// (GLSceneViewer) and the batch side draw through it, so that both give the
// same picture.
//
// A paint clears to the background colour, sets the view's fixed state
// (lighting off, depth test with GL_LESS or none, back-face culling or none,
// smooth shading), loads the camera's orthographic projection for a w x h
// view and its view matrix, then walks the scene tree: for every object push
// the matrix, translate and scale, draw the axes symbol if its flag is set,
// run its render callback, draw its children, pop.

#include "viewer/view/camera.h"
#include "viewer/view/scene.h"

#include <array>
#include <functional>

namespace orv::view {

struct ViewStyle {
    std::array<float, 3> background{1, 1, 1}; // red, green, blue 0..1
    bool depth_test = true;
    bool face_culling = false;
};

// Runs the render callback of an object; the caller may catch its errors or
// restore its context afterwards. Null: the callback is simply called.
using RunCallback = std::function<void(SceneObject&)>;

// Paints `scene` seen by `camera` into the current viewport of w x h pixels
// (a GL context must be current). Clears the scene's changed marks.
void draw_scene(Scene& scene, const Camera& camera, int w, int h, const ViewStyle& style,
                const RunCallback& run_callback = {});

// The axes symbol of an object: three stippled segments from -length to
// +length along the local axes (interaction.h, axes_segments).
void draw_axes_symbol(double length);

} // namespace orv::view
