// Cost of one AVI frame (pixel conversion, Microsoft Video 1 encoding and the
// write to disk) at view sizes a user meets, for comparison with the time of
// one paint of the model view. Prints figures; never fails.
//
//   avi_encode_bench [frames-per-size] [folder]

#include "viewer/output/avi_recorder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Something like a rendered result: a grey background, a model area with
// nine colour bands that shift from frame to frame, and dark mesh lines.
std::vector<std::uint8_t> scene_picture(int w, int h, int frame) {
    static const std::uint8_t bands[9][3] = {{0, 0, 255},   {0, 128, 255}, {0, 255, 255},
                                             {0, 255, 128}, {0, 255, 0},   {128, 255, 0},
                                             {255, 255, 0}, {255, 128, 0}, {255, 0, 0}};
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &px[(static_cast<std::size_t>(y) * w + x) * 4];
            const bool model = x > w / 8 && x < w * 7 / 8 && y > h / 6 && y < h * 5 / 6;
            if (!model) {
                p[0] = p[1] = p[2] = 200;
            } else if (x % 24 == 0 || y % 24 == 0) {
                p[0] = p[1] = p[2] = 30;
            } else {
                const double v = std::sin((x + 3.0 * frame) * 0.01) * std::cos(y * 0.013) * 0.5 + 0.5;
                const int b = std::min(8, static_cast<int>(v * 9));
                p[0] = bands[b][0];
                p[1] = bands[b][1];
                p[2] = bands[b][2];
            }
            p[3] = 255;
        }
    return px;
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::filesystem::path folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    const std::pair<int, int> sizes[] = {{320, 200}, {800, 720}, {1280, 1024}, {1600, 1200}};

    std::printf("%-11s %8s %14s %16s\n", "frame", "frames", "ms per frame", "KiB per frame");
    for (const auto& [w, h] : sizes) {
        std::vector<std::vector<std::uint8_t>> pictures;
        for (int i = 0; i < 4; ++i)
            pictures.push_back(scene_picture(w, h, i));

        const std::filesystem::path file = folder / ("orvanel_avi_bench_" + std::to_string(w) + ".avi");
        orv::AviRecorder rec;
        rec.set_width(w);
        rec.set_height(h);
        rec.set_fps(25);
        rec.set_filename(file.string());
        try {
            rec.create([](const std::string&) { return true; });
            const auto t0 = std::chrono::steady_clock::now();
            for (int i = 0; i < frames; ++i) {
                const auto& pic = pictures[static_cast<std::size_t>(i) % pictures.size()];
                // Bottom-up RGBA, as glReadPixels hands it over.
                rec.add_frame({pic.data(), w, h, 0, orv::PixelLayout::Rgba, true});
            }
            const auto t1 = std::chrono::steady_clock::now();
            rec.close();
            const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count() / frames;
            const double kib = static_cast<double>(std::filesystem::file_size(file)) / frames / 1024.0;
            std::printf("%4dx%-6d %8d %14.2f %16.1f\n", w, h, frames, ms, kib);
        } catch (const orv::AviError& e) {
            std::printf("%4dx%-6d failed: %s\n", w, h, e.what());
        }
        std::filesystem::remove(file);
    }
    return 0;
}
