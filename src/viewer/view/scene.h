#pragma once
// The scene tree of one view: objects with a position and a scale per axis
// (32-bit floats, in the parent's frame), an axes flag, an optional render
// callback and a "changed" mark. Any change marks the object and tells the
// scene's listener, which for an on-screen view schedules a repaint.
//
// Plain C++: the OpenGL drawing of a scene lives in gl_scene_viewer.*.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv::view {

using Vec3f = std::array<float, 3>;
using Vec3d = std::array<double, 3>;

class Scene;

class SceneObject {
  public:
    SceneObject(Scene& scene, SceneObject* parent, std::string name);
    SceneObject(const SceneObject&) = delete;
    SceneObject& operator=(const SceneObject&) = delete;

    const std::string& name() const { return name_; }
    SceneObject* parent() const { return parent_; }
    const std::vector<SceneObject*>& children() const { return children_; }
    Scene& scene() const { return scene_; }

    // Position in the parent's frame; axis 0..2 = x, y, z. Every setter marks
    // the object changed, so its view repaints.
    const Vec3f& position() const { return position_; }
    float position(int axis) const { return position_[static_cast<std::size_t>(axis)]; }
    void set_position(int axis, float value);
    void set_position(const Vec3f& value);

    // Scale per axis; it applies to the object's own drawing and to its children.
    const Vec3f& scale() const { return scale_; }
    float scale(int axis) const { return scale_[static_cast<std::size_t>(axis)]; }
    void set_scale(int axis, float value);
    void set_scale(const Vec3f& value);

    // Axes symbol: three dashed segments along the local axes (GLSceneViewer draws it).
    bool show_axes() const { return show_axes_; }
    void set_show_axes(bool show);

    // Called on every paint of the view, inside the object's frame (camera,
    // positions and scales of the object and its parents applied).
    std::function<void()> render;

    // The repaint request: marks the object and notifies the scene.
    void mark_changed();
    bool changed() const { return changed_; }
    void clear_changed() { changed_ = false; }

    // Position in the scene root's frame of a point given in this object's frame.
    Vec3d to_world(const Vec3d& local) const;

  private:
    Scene& scene_;
    SceneObject* parent_;
    std::string name_;
    std::vector<SceneObject*> children_;
    Vec3f position_{0, 0, 0};
    Vec3f scale_{1, 1, 1};
    bool show_axes_ = false;
    bool changed_ = false;
};

class Scene {
  public:
    Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // The root is an invisible object at the origin; it is the world frame.
    SceneObject& root() { return *objects_.front(); }
    const SceneObject& root() const { return *objects_.front(); }

    // Adds an object under `parent` (the root when null). The scene owns it;
    // children are drawn after their parent, in the order they were added.
    SceneObject& add(SceneObject* parent, std::string name);

    // Listener told after every change (object or camera). One per scene.
    void set_listener(std::function<void()> listener) { listener_ = std::move(listener); }
    void notify() const {
        if (listener_) listener_();
    }

    bool any_changed() const;
    void clear_changed();

  private:
    std::vector<std::unique_ptr<SceneObject>> objects_;
    std::function<void()> listener_;
};

} // namespace orv::view
