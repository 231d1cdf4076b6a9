#include "viewer/view/interaction.h"

#include <cmath>
#include <numbers>

namespace orv::view {

float zoom_in_scale(float s) {
    return static_cast<float>(static_cast<double>(s) + 0.05);
}

float zoom_out_scale(float s) {
    if (static_cast<double>(s) > 0.4) return static_cast<float>(static_cast<double>(s) - 0.05);
    return s;
}

float axes_symbol_scale(float s) {
    return static_cast<float>(0.0025 / static_cast<double>(s));
}

OrbitDelta rotation_delta(double mx, double my, double x, double y, double speed) {
    return {(my - y) / 50.0 * speed, (mx - x) / 50.0 * speed};
}

double camera_pitch_deg(const Vec3f& c) {
    const double cx = c[0], cy = c[1], cz = c[2];
    const double d = std::sqrt(cx * cx + cy * cy + cz * cz);
    if (d == 0) return 0;
    return std::asin(cy / d) * 180.0 / std::numbers::pi;
}

double pan_objects(const PanInput& in, Vec3f& model, Vec3f& axes) {
    const double cy = in.camera[1];
    const double s = cy < 0 ? -1.0 : 1.0; // the sign of cy, with 0 counting as +1
    const double pit = camera_pitch_deg(in.camera);
    const double m = std::max(in.view_width, in.view_height);
    const double k = in.speed / (5.0 * m * static_cast<double>(in.scene_scale));
    const double t = in.tur * std::numbers::pi / 180.0;
    const double p = pit * std::numbers::pi / 180.0;
    const double dx = in.mx - in.x;
    const double dy = in.my - in.y;

    auto step = [](float& coord, double delta) {
        coord = static_cast<float>(static_cast<double>(coord) + delta);
    };
    for (Vec3f* obj : {&model, &axes}) {
        step((*obj)[0], -std::cos(t) * dx * k);
        step((*obj)[2], std::sin(t) * dx * k);
    }
    if (std::abs(pit) > 0.00001) {
        const double sp = std::abs(std::sin(p));
        for (Vec3f* obj : {&model, &axes}) {
            step((*obj)[0], -std::sin(t) * dy * sp * k * s);
            step((*obj)[2], -std::cos(t) * dy * sp * k * s);
        }
    }
    for (Vec3f* obj : {&model, &axes})
        step((*obj)[1], std::cos(p) * dy * k);
    return pit;
}

OrbitDelta preset_orbit(int code) {
    switch (code) {
    case 1:
        return {-30, 45};
    case 2:
        return {-30, 135};
    case 3:
        return {30, 45};
    case 4:
        return {30, 135};
    case -1:
        return {0, -90};
    default:
        return {0, 0};
    }
}

double apply_preset_view(Camera& camera, int code) {
    const Vec3f p = camera.position();
    camera.translate(-static_cast<double>(p[0]), -static_cast<double>(p[1]),
                     30.0 - static_cast<double>(p[2]));
    double tur = camera.turn_angle();
    const OrbitDelta d = preset_orbit(code);
    if (d.pitch != 0 || d.turn != 0) {
        camera.orbit(d.pitch, d.turn);
        tur += d.turn;
    }
    return tur;
}

std::array<AxisSegment, 3> axes_segments(double l) {
    std::array<AxisSegment, 3> segs{};
    for (std::size_t a = 0; a < 3; ++a) {
        Vec3d from{0, 0, 0}, to{0, 0, 0};
        from[a] = -l;
        to[a] = l;
        std::array<float, 3> half{0, 0, 0}, full{0, 0, 0};
        half[a] = 0.5f;
        full[a] = 1.0f;
        segs[a] = {from, to, half, full};
    }
    return segs;
}

} // namespace orv::view
