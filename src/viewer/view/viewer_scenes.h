#pragma once
// The two scenes of a viewer in their initial state, built the same way for a
// viewer window and for a batch run.
//
// 3D view: DummyCube1 (the world frame and the camera's target) holds the
// model DirectOpenGL1 (its position is the pan offset, its scale the model
// scale) and the axes symbol DirectOpenGL3 (scale 0.0025, axes shown); the
// camera GLCamera1 stands at (0, 0, 30), depth of view 100, focal length 10,
// scene scale 1. Legend view: DummyCube2 holds the legend DirectOpenGL2 (drawn
// in its plane z = 0) and its empty child GLDirectOpenGL1; the camera
// GLCamera2 stands at (0, 0, 50), depth of view 500, focal length 25.
//
// The render callbacks are the caller's to set.

#include "viewer/view/camera.h"
#include "viewer/view/scene.h"

#include <memory>

namespace orv::view {

struct ModelScene {
    SceneObject* DummyCube1 = nullptr;
    SceneObject* DirectOpenGL1 = nullptr;
    SceneObject* DirectOpenGL3 = nullptr;
    std::unique_ptr<Camera> GLCamera1;
};

struct LegendScene {
    SceneObject* DummyCube2 = nullptr;
    SceneObject* DirectOpenGL2 = nullptr;
    SceneObject* GLDirectOpenGL1 = nullptr;
    std::unique_ptr<Camera> GLCamera2;
};

// Adds the objects to an empty scene and makes its camera.
ModelScene build_model_scene(Scene& scene);
LegendScene build_legend_scene(Scene& scene);

// The legend view: 115 x 233 pixels, first standing at the top left of the
// 3D view; background red 243, green 250, blue 252.
inline constexpr int kLegendViewWidth = 115;
inline constexpr int kLegendViewHeight = 233;

} // namespace orv::view
