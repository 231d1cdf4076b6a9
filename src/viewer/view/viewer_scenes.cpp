#include "viewer/view/viewer_scenes.h"

#include "viewer/view/interaction.h"

namespace orv::view {

ModelScene build_model_scene(Scene& scene) {
    ModelScene s;
    s.DummyCube1 = &scene.add(nullptr, "DummyCube1");
    s.DirectOpenGL1 = &scene.add(s.DummyCube1, "DirectOpenGL1");
    s.DirectOpenGL3 = &scene.add(s.DummyCube1, "DirectOpenGL3");
    s.DirectOpenGL3->set_scale({kAxesSymbolBaseScale, kAxesSymbolBaseScale, kAxesSymbolBaseScale});
    s.DirectOpenGL3->set_show_axes(true);
    s.GLCamera1 = std::make_unique<Camera>(scene, s.DummyCube1);
    s.GLCamera1->set_position({0, 0, 30});
    s.GLCamera1->set_depth_of_view(100);
    s.GLCamera1->set_focal_length(10);
    s.GLCamera1->set_scene_scale(1);
    return s;
}

LegendScene build_legend_scene(Scene& scene) {
    LegendScene s;
    s.DummyCube2 = &scene.add(nullptr, "DummyCube2");
    s.DirectOpenGL2 = &scene.add(s.DummyCube2, "DirectOpenGL2");
    s.GLDirectOpenGL1 = &scene.add(s.DirectOpenGL2, "GLDirectOpenGL1");
    s.GLCamera2 = std::make_unique<Camera>(scene, s.DirectOpenGL2);
    s.GLCamera2->set_position({0, 0, 50});
    s.GLCamera2->set_depth_of_view(500);
    s.GLCamera2->set_focal_length(25);
    s.GLCamera2->set_scene_scale(1);
    return s;
}

} // namespace orv::view
