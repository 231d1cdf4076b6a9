#include "viewer/view/camera.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orv::view {
namespace {

Vec3d sub(const Vec3d& a, const Vec3d& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec3d cross(const Vec3d& a, const Vec3d& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec3d& a, const Vec3d& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
double norm(const Vec3d& a) {
    return std::sqrt(dot(a, a));
}
Vec3d scaled(const Vec3d& a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}

// Rodrigues' rotation of v by `angle` radians about the unit axis k (right-handed).
Vec3d rotate(const Vec3d& v, const Vec3d& k, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const Vec3d kxv = cross(k, v);
    const double kv = dot(k, v) * (1 - c);
    return {v[0] * c + kxv[0] * s + k[0] * kv, v[1] * c + kxv[1] * s + k[1] * kv,
            v[2] * c + kxv[2] * s + k[2] * kv};
}

Vec3d to_d(const Vec3f& v) {
    return {v[0], v[1], v[2]};
}
Vec3f to_f(const Vec3d& v) {
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

} // namespace

OrthoExtents ortho_extents(int w, int h, double focal_length, double scene_scale, double depth_of_view) {
    w = std::max(w, 1);
    h = std::max(h, 1);
    if (scene_scale == 0) scene_scale = 1;
    const double m = std::max(w, h);
    const double unit = 50.0 / (m * focal_length * scene_scale);
    OrthoExtents e;
    e.right = unit * w;
    e.left = -e.right;
    e.top = unit * h;
    e.bottom = -e.top;
    e.near_plane = focal_length * 2.0 * kNearPlaneDpi / (25.4 * m);
    e.far_plane = e.near_plane + depth_of_view;
    return e;
}

Vec3d orbit_position(const Vec3d& eye, const Vec3d& target, const Vec3d& up, double pitch_deg,
                     double turn_deg) {
    const Vec3d v = sub(eye, target);
    const double d = norm(v);
    if (d == 0) return eye; // no direction to turn
    const Vec3d n = scaled(v, 1.0 / d);
    Vec3d r = cross(up, n);
    const double rn = norm(r);
    r = rn < 0.001 ? Vec3d{1, 0, 0} : scaled(r, 1.0 / rn);
    const double theta = std::acos(std::clamp(dot(up, n), -1.0, 1.0));
    const double pi = std::numbers::pi;
    const double theta2 = std::clamp(theta + pitch_deg * pi / 180.0, kOrbitPoleMargin, pi - kOrbitPoleMargin);
    const Vec3d n2 = rotate(rotate(up, r, theta2), up, turn_deg * pi / 180.0);
    return {target[0] + d * n2[0], target[1] + d * n2[1], target[2] + d * n2[2]};
}

Mat4 look_at(const Vec3d& eye, const Vec3d& target, const Vec3d& up) {
    Vec3d f = sub(target, eye);
    f = scaled(f, 1.0 / norm(f));
    Vec3d s = cross(f, up);
    const double sn = norm(s);
    // Looking along the up vector leaves no side direction; any will do.
    s = sn < 1e-12 ? Vec3d{1, 0, 0} : scaled(s, 1.0 / sn);
    const Vec3d u = cross(s, f);
    // Rows s, u, -f; then the translation by -eye.
    return {s[0], u[0], -f[0], 0, s[1],         u[1],         -f[1],       0,
            s[2], u[2], -f[2], 0, -dot(s, eye), -dot(u, eye), dot(f, eye), 1};
}

Mat4 ortho_matrix(const OrthoExtents& e) {
    const double rl = e.right - e.left, tb = e.top - e.bottom, fn = e.far_plane - e.near_plane;
    return {2 / rl,
            0,
            0,
            0,
            0,
            2 / tb,
            0,
            0,
            0,
            0,
            -2 / fn,
            0,
            -(e.right + e.left) / rl,
            -(e.top + e.bottom) / tb,
            -(e.far_plane + e.near_plane) / fn,
            1};
}

Vec3d transform_point(const Mat4& m, const Vec3d& p) {
    return {m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12], m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13],
            m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]};
}

Mat4 multiply(const Mat4& a, const Mat4& b) {
    Mat4 r{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a[static_cast<std::size_t>(k * 4 + row)] * b[static_cast<std::size_t>(col * 4 + k)];
            r[static_cast<std::size_t>(col * 4 + row)] = sum;
        }
    return r;
}

Mat4 object_matrix(const SceneObject& object) {
    // Walking up from the object: each parent's translate-then-scale goes in front.
    Mat4 m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (const SceneObject* o = &object; o; o = o->parent()) {
        const Vec3f& p = o->position();
        const Vec3f& s = o->scale();
        const Mat4 local{s[0], 0, 0, 0, 0, s[1], 0, 0, 0, 0, s[2], 0, p[0], p[1], p[2], 1};
        m = multiply(local, m);
    }
    return m;
}

Camera::Camera(Scene& scene, const SceneObject* target) : scene_(scene), target_(target) {}

void Camera::set_position(const Vec3f& p) {
    position_ = p;
    scene_.notify();
}

void Camera::translate(double dx, double dy, double dz) {
    set_position({static_cast<float>(position_[0] + dx), static_cast<float>(position_[1] + dy),
                  static_cast<float>(position_[2] + dz)});
}

Vec3d Camera::target_position() const {
    return target_ ? target_->to_world({0, 0, 0}) : Vec3d{0, 0, 0};
}

void Camera::set_focal_length(float f) {
    focal_length_ = f;
    scene_.notify();
}

void Camera::set_depth_of_view(float d) {
    depth_of_view_ = d;
    scene_.notify();
}

void Camera::set_scene_scale(float s) {
    if (s == 0) s = 1;
    if (s == scene_scale_) return;
    scene_scale_ = s;
    scene_.notify();
}

void Camera::orbit(double pitch_deg, double turn_deg) {
    if (pitch_deg == 0 && turn_deg == 0) return; // no motion: keep the position bit for bit
    set_position(to_f(orbit_position(to_d(position_), target_position(), to_d(up_), pitch_deg, turn_deg)));
}

OrthoExtents Camera::extents(int w, int h) const {
    return ortho_extents(w, h, focal_length_, scene_scale_, depth_of_view_);
}

Mat4 Camera::view_matrix() const {
    return look_at(to_d(position_), target_position(), to_d(up_));
}

PixelPoint project_to_pixel(const Camera& camera, int w, int h, const Vec3d& world) {
    const Vec3d eye = transform_point(camera.view_matrix(), world);
    return ndc_to_pixel(transform_point(ortho_matrix(camera.extents(w, h)), eye), w, h);
}

PixelPoint ndc_to_pixel(const Vec3d& ndc, int w, int h) {
    return {(ndc[0] + 1) * 0.5 * w, (1 - ndc[1]) * 0.5 * h, (ndc[2] + 1) * 0.5};
}

} // namespace orv::view
