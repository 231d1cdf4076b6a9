#pragma once
// A curved shell as the runs of a colour list: a quarter cylinder (radius
// 0.9 round the y axis, y from -0.9 to 0.9) cut into n x n quadrilaterals of
// two triangles, coloured smoothly by angle (red) and height (green), in
// runs of at most `run` vertices as the array emitter makes them.

#include "viewer/render/piece_chunks.h"

#include <cmath>
#include <numbers>

namespace orv::test {

inline PieceChunks shell_chunks(int n, std::size_t run = 6 * 1000) {
    constexpr double r = 0.9;
    const auto point = [&](int i, int j, float* xyz, float* rgba) {
        const double angle = std::numbers::pi / 2 * i / n;
        xyz[0] = static_cast<float>(r * std::cos(angle));
        xyz[1] = static_cast<float>(-0.9 + 1.8 * j / n);
        xyz[2] = static_cast<float>(r * std::sin(angle) - 0.45);
        rgba[0] = static_cast<float>(static_cast<double>(i) / n);
        rgba[1] = static_cast<float>(static_cast<double>(j) / n);
        rgba[2] = 0.5f;
        rgba[3] = 1.0f;
    };
    PieceChunks chunks;
    PieceStyle style;
    style.mode = PieceMode::Triangles;
    style.blend = true;
    style.offset = true;
    style.line_width = 3;
    const auto add = [&](int i, int j) {
        if (chunks.empty() || chunks.back().vertices() >= run) {
            chunks.emplace_back();
            chunks.back().style = style;
        }
        PieceChunk& c = chunks.back();
        c.xyz.resize(c.xyz.size() + 3);
        c.rgba.resize(c.rgba.size() + 4);
        point(i, j, &c.xyz[c.xyz.size() - 3], &c.rgba[c.rgba.size() - 4]);
    };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            add(i, j), add(i + 1, j), add(i + 1, j + 1);
            add(i, j), add(i + 1, j + 1), add(i, j + 1);
        }
    return chunks;
}

} // namespace orv::test
