#include "viewer/view/framing.h"

#include <algorithm>
#include <cmath>

namespace orv::view {
namespace {

Vec3d sub(const Vec3d& a, const Vec3d& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double dot(const Vec3d& a, const Vec3d& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec3d cross(const Vec3d& a, const Vec3d& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3d unit(const Vec3d& a) {
    const double n = std::sqrt(dot(a, a));
    return n > 0 ? Vec3d{a[0] / n, a[1] / n, a[2] / n} : a;
}

} // namespace

BoundingBox model_bounds(const ResultModel& model) {
    BoundingBox box;
    for (std::size_t i = 1; i <= static_cast<std::size_t>(model.nnode); ++i) {
        if (!model.node_drawn(i)) continue;
        const double* row = model.coord_row(i);
        if (!std::isfinite(row[1]) || !std::isfinite(row[2]) || !std::isfinite(row[3])) continue;
        for (int a = 0; a < 3; ++a) {
            const double v = row[a + 1];
            if (box.empty || v < box.min[a]) box.min[a] = v;
            if (box.empty || v > box.max[a]) box.max[a] = v;
        }
        box.empty = false;
    }
    return box;
}

Framing fit_framing(const ResultModel& model, const Camera& camera, int w, int h) {
    Framing f;
    f.scale = static_cast<float>(model.scene_scale());
    const BoundingBox box = model_bounds(model);
    if (box.empty) return f;
    const Vec3d centre{(box.min[0] + box.max[0]) / 2, (box.min[1] + box.max[1]) / 2,
                       (box.min[2] + box.max[2]) / 2};

    // The camera's own axes: towards the target, right and up on the screen.
    const Vec3f& p = camera.position();
    const Vec3d eye{p[0], p[1], p[2]};
    const Vec3d forward = unit(sub(camera.target_position(), eye));
    const Vec3f& u = camera.up();
    Vec3d right = cross(forward, Vec3d{u[0], u[1], u[2]});
    if (dot(right, right) < 1e-12) right = {1, 0, 0};
    right = unit(right);
    const Vec3d up = cross(right, forward);

    // Half extents of the box on those axes.
    double half_x = 0, half_y = 0, half_z = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const Vec3d c{(corner & 1 ? box.max : box.min)[0] - centre[0],
                      (corner & 2 ? box.max : box.min)[1] - centre[1],
                      (corner & 4 ? box.max : box.min)[2] - centre[2]};
        half_x = std::max(half_x, std::abs(dot(c, right)));
        half_y = std::max(half_y, std::abs(dot(c, up)));
        half_z = std::max(half_z, std::abs(dot(c, forward)));
    }

    // Half of the visible region at scene scale 1 (camera.h).
    const OrthoExtents e =
        ortho_extents(std::max(w, 1), std::max(h, 1), camera.focal_length(), 1, camera.depth_of_view());
    const double view_x = (e.right - e.left) / 2 * kFitFill, view_y = (e.top - e.bottom) / 2 * kFitFill;
    double s = 0;
    if (half_x > 0) s = view_x / half_x;
    if (half_y > 0) s = s > 0 ? std::min(s, view_y / half_y) : view_y / half_y;
    // A model seen end on (a long beam from its end) would otherwise reach
    // behind the camera: its depth stays within most of the camera's
    // distance to the target on either side.
    const Vec3d to_target = sub(camera.target_position(), eye);
    const double distance = std::sqrt(dot(to_target, to_target));
    if (half_z > 0 && distance > 0)
        s = s > 0 ? std::min(s, 0.8 * distance / half_z) : 0.8 * distance / half_z;
    if (s > 0 && std::isfinite(static_cast<float>(s))) f.scale = static_cast<float>(s);
    f.position = {static_cast<float>(-f.scale * centre[0]), static_cast<float>(-f.scale * centre[1]),
                  static_cast<float>(-f.scale * centre[2])};
    return f;
}

} // namespace orv::view
