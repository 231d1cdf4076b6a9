#pragma once
// Mouse, wheel and toolbar maths of the 3D view: zoom steps, rotation and
// panning deltas, preset views and the axes symbol. Everything here is plain
// arithmetic on the scene's floats, so the rules can be checked exactly.

#include "viewer/view/camera.h"
#include "viewer/view/scene.h"

#include <array>

namespace orv::view {

// ---- Zoom (scene scale S of the 3D camera) ----

// One step in: S + 0.05, no upper limit. The sum is stored as a float.
float zoom_in_scale(float s);
// One step out: S - 0.05, only while S > 0.4. Stored as a float, twelve steps
// from 1 reach 0.39999986f, which is not above 0.4, so the zoom stops there.
float zoom_out_scale(float s);
// Scale of the small axes symbol after a zoom: 0.0025 / S on every axis, so
// that it keeps its size on screen.
float axes_symbol_scale(float s);

inline constexpr float kAxesSymbolBaseScale = 0.0025f;

// ---- Rotation (left button) ----

struct OrbitDelta {
    double pitch = 0; // degrees
    double turn = 0;  // degrees
};
// Pointer moved from (mx, my) to (x, y) at mouse speed v (0..100): at 50 one
// pixel turns the camera by one degree.
OrbitDelta rotation_delta(double mx, double my, double x, double y, double speed);

// ---- Panning (right button) ----

struct PanInput {
    Vec3f camera{0, 0, 30}; // camera position
    double tur = 0;         // camera azimuth, degrees
    int view_width = 1;     // 3D view size in pixels
    int view_height = 1;
    float scene_scale = 1;
    double speed = 50;     // mouse speed 0..100
    double mx = 0, my = 0; // previous pointer position (pixels)
    double x = 0, y = 0;   // new pointer position
};

// Moves `model` and then `axes` (positions in the world frame) so that the
// model follows the pointer in the screen plane; at speed 50 the point under
// the pointer stays under it. Each coordinate is stored as a float after its
// own step, in the order: x and z from the horizontal motion, then x and z
// from the vertical motion (only when the elevation is not 0), then y.
// Returns the camera elevation `pit` in degrees.
double pan_objects(const PanInput& in, Vec3f& model, Vec3f& axes);

// Camera elevation in degrees above the horizontal plane through the origin.
double camera_pitch_deg(const Vec3f& camera);

// ---- Preset views ----

// Codes: 0 front, 1 front right above, 2 back right above, 3 front right
// below, 4 back right below, -1 left. Unknown codes orbit by nothing.
OrbitDelta preset_orbit(int code);

// Puts the camera back in front at (0, 0, 30), then orbits it to the preset.
// Returns the new azimuth `tur` (the camera's own turn angle + the preset's turn).
double apply_preset_view(Camera& camera, int code);

// ---- Axes symbol ----

struct AxisSegment {
    Vec3d from, to;                   // in the object's local units
    std::array<float, 3> from_colour; // half intensity at -L
    std::array<float, 3> to_colour;   // full intensity at +L
};
// Three segments along the local x, y, z axes from -L to +L; x red, y green, z blue.
std::array<AxisSegment, 3> axes_segments(double length);

// Dashes of two pixels on, two off, stipple factor 1.
inline constexpr unsigned short kAxesStipple = 0xCCCC;
inline constexpr int kAxesStippleFactor = 1;

} // namespace orv::view
