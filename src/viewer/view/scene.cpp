#include "viewer/view/scene.h"

namespace orv::view {

SceneObject::SceneObject(Scene& scene, SceneObject* parent, std::string name)
    : scene_(scene), parent_(parent), name_(std::move(name)) {
    if (parent_) parent_->children_.push_back(this);
}

void SceneObject::set_position(int axis, float value) {
    position_[static_cast<std::size_t>(axis)] = value;
    mark_changed();
}

void SceneObject::set_position(const Vec3f& value) {
    position_ = value;
    mark_changed();
}

void SceneObject::set_scale(int axis, float value) {
    scale_[static_cast<std::size_t>(axis)] = value;
    mark_changed();
}

void SceneObject::set_scale(const Vec3f& value) {
    scale_ = value;
    mark_changed();
}

void SceneObject::set_show_axes(bool show) {
    show_axes_ = show;
    mark_changed();
}

void SceneObject::mark_changed() {
    changed_ = true;
    scene_.notify();
}

Vec3d SceneObject::to_world(const Vec3d& local) const {
    Vec3d p = local;
    for (const SceneObject* o = this; o; o = o->parent_) {
        for (std::size_t a = 0; a < 3; ++a)
            p[a] = static_cast<double>(o->position_[a]) + static_cast<double>(o->scale_[a]) * p[a];
    }
    return p;
}

Scene::Scene() {
    objects_.push_back(std::make_unique<SceneObject>(*this, nullptr, "root"));
}

SceneObject& Scene::add(SceneObject* parent, std::string name) {
    objects_.push_back(std::make_unique<SceneObject>(*this, parent ? parent : &root(), std::move(name)));
    return *objects_.back();
}

bool Scene::any_changed() const {
    for (const auto& o : objects_)
        if (o->changed()) return true;
    return false;
}

void Scene::clear_changed() {
    for (auto& o : objects_)
        o->clear_changed();
}

} // namespace orv::view
