#pragma once
// Orthographic camera of a view and the maths of its projection and orbit.
//
// Projection: for a W x H view, M = max(W, H), the visible eye-space region is
// x in +-50 W / (M f S), y in +-50 H / (M f S) (f focal length, S scene scale).
// The 3D view (f = 10) thus shows 10 / S world units across its larger side;
// one pixel is 10 / (M S) units, which panning relies on. The zoom (S) never
// moves the camera.
//
// Orbit: the camera turns about its target on a sphere, keeping its distance;
// the angle from the up vector is clamped to [0.025, pi - 0.025] rad so that
// the camera never reaches a pole, where its view direction would be parallel
// to its up vector.

#include "viewer/view/scene.h"

#include <array>

namespace orv::view {

// Column-major 4x4 matrix, as glLoadMatrixd takes it.
using Mat4 = std::array<double, 16>;

struct OrthoExtents {
    double left = 0, right = 0, bottom = 0, top = 0, near_plane = 0, far_plane = 0;
};

// Screen resolution assumed for the near plane. The near plane only has to be
// small and positive; a fixed value keeps pictures the same on every screen.
inline constexpr double kNearPlaneDpi = 96.0;

// Visible region of a camera for a view of w x h pixels. A zero scene scale
// counts as 1; an empty view is treated as 1 x 1.
OrthoExtents ortho_extents(int w, int h, double focal_length, double scene_scale, double depth_of_view);

// Orbit constants: the clamp of the angle between up vector and view direction.
inline constexpr double kOrbitPoleMargin = 0.025; // radians

// New camera position after orbiting `eye` about `target` by pitch and turn
// deltas in degrees. A negative pitch lifts the camera towards the up vector;
// a positive turn moves it anticlockwise seen from above (towards +x from +z).
Vec3d orbit_position(const Vec3d& eye, const Vec3d& target, const Vec3d& up, double pitch_deg,
                     double turn_deg);

// View matrix looking from `eye` at `target` with `up` (as gluLookAt).
Mat4 look_at(const Vec3d& eye, const Vec3d& target, const Vec3d& up);

// Orthographic projection matrix (as glOrtho).
Mat4 ortho_matrix(const OrthoExtents& e);

Vec3d transform_point(const Mat4& m, const Vec3d& p);

// a x b: the transformation b, then a.
Mat4 multiply(const Mat4& a, const Mat4& b);

// From an object's own frame to the world frame: the translation and then the
// scale of each object from the scene root down to `object`, as the view
// applies them before drawing the object.
Mat4 object_matrix(const SceneObject& object);

class Camera {
  public:
    // The camera notifies `scene` (a repaint) whenever it changes.
    Camera(Scene& scene, const SceneObject* target);

    const Vec3f& position() const { return position_; }
    void set_position(const Vec3f& p);
    // Adds the vector to the position (each coordinate stored as a float).
    void translate(double dx, double dy, double dz);

    const Vec3f& up() const { return up_; }
    const SceneObject* target() const { return target_; }
    Vec3d target_position() const;

    float focal_length() const { return focal_length_; }
    void set_focal_length(float f);
    float depth_of_view() const { return depth_of_view_; }
    void set_depth_of_view(float d);

    // Zoom factor. Setting 0 sets 1; a value equal to the current one changes
    // nothing and requests no repaint.
    float scene_scale() const { return scene_scale_; }
    void set_scene_scale(float s);

    // Orbit about the target (see orbit_position); the result is stored as floats.
    void orbit(double pitch_deg, double turn_deg);

    // Rotation of the camera object about its own up axis. Nothing here turns
    // the camera object itself, so it stays 0; the preset views read it.
    double turn_angle() const { return 0.0; }

    OrthoExtents extents(int w, int h) const;
    Mat4 view_matrix() const;

  private:
    Scene& scene_;
    const SceneObject* target_;
    Vec3f position_{0, 0, 0};
    Vec3f up_{0, 1, 0};
    float focal_length_ = 50;
    float depth_of_view_ = 100;
    float scene_scale_ = 1;
};

// Pixel position (x right, y down, origin top-left, pixel centres at +0.5) of
// a world point seen by `camera` in a w x h view; also the window depth 0..1.
struct PixelPoint {
    double x = 0, y = 0, depth = 0;
};
PixelPoint project_to_pixel(const Camera& camera, int w, int h, const Vec3d& world);
// The same for a point already in normalised device coordinates.
PixelPoint ndc_to_pixel(const Vec3d& ndc, int w, int h);

} // namespace orv::view
