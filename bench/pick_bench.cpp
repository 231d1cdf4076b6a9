// Node-pick benchmark: the pointer probe of the 3D view on a result file,
// without a display. The view is set up as the viewer window sets it up (the
// model scaled into the reference cube, the camera on +z at distance 30,
// orthographic, focal length 10). For every camera of a fixed tour and every
// set of drawn lists it prints
//   - the first probe after the camera change (the index is built in it);
//   - further probes at pointer positions over the model and beside it:
//     mean, 99th percentile and maximum;
//   - element probes (the point and value under the pointer) at the same
//     positions.
//
//   pick_bench FILE [--size WxH] [--probes N] [--list K]
//
// Make the usual file with: make_result_file --nodes 1000000 --lists 10 --kind quad1 /tmp/big.txt
#include "viewer/formats/reader.h"
#include "viewer/view/interaction.h"
#include "viewer/view/pick.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace orv;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// CPU time of this thread, ms: on a machine shared with other jobs the wall
// time of one probe includes the time others held the core.
double cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int usage() {
    std::fprintf(stderr, "usage: pick_bench FILE [--size WxH] [--probes N] [--list K]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string path = argv[1];
    int width = 1000, height = 700, probes = 2000, k = 1;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size") && i + 1 < argc &&
            std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2) {
            ++i;
        } else if (!std::strcmp(argv[i], "--probes") && i + 1 < argc) {
            probes = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--list") && i + 1 < argc) {
            k = std::atoi(argv[++i]);
        } else {
            return usage();
        }
    }

    const auto t_read = Clock::now();
    ResultModel m;
    try {
        m = read_result_file(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    if (k < 1 || k > m.nlista) {
        std::fprintf(stderr, "no result list %d (the file has %d)\n", k, m.nlista);
        return 1;
    }
    std::printf("%s: %d nodes, %d elements, %d lists, read in %.0f ms; view %dx%d, %d probes per camera\n",
                path.c_str(), m.nnode, m.nelem, m.nlista, ms_since(t_read), width, height, probes);

    view::Scene scene;
    view::SceneObject& cube = scene.add(nullptr, "DummyCube1");
    view::SceneObject& object = scene.add(&cube, "DirectOpenGL1");
    const auto s = static_cast<float>(m.scene_scale());
    object.set_scale({s, s, s});
    view::Camera camera(scene, &cube);
    camera.set_position({0, 0, 30});
    camera.set_focal_length(10);
    camera.set_depth_of_view(100);

    pick::PickLayer fill;
    fill.kind = pick::LayerKind::Fill;
    fill.place = {true, 3 * k, 1.0};
    pick::PickLayer mesh;
    mesh.kind = pick::LayerKind::Outline;
    pick::PickLayer nodes; // "Nós"
    pick::PickLayer deformed_mesh;
    deformed_mesh.kind = pick::LayerKind::Outline;
    deformed_mesh.place = {true, 3 * k, 1.0};
    struct Setup {
        const char* name;
        std::vector<pick::PickLayer> layers;
    };
    const Setup setups[] = {
        {"result list", {fill}},
        {"undeformed mesh + result list", {mesh, fill}},
        {"nodes + undeformed + deformed mesh + result list", {nodes, mesh, deformed_mesh, fill}},
        {"undeformed mesh only", {mesh}},
    };

    struct Tour {
        const char* name;
        std::function<void()> apply;
    };
    const Tour tour[] = {
        {"front", [&] { view::apply_preset_view(camera, 0); }},
        {"preset 1", [&] { view::apply_preset_view(camera, 1); }},
        {"turned 30, pitched -25", [&] { camera.orbit(-25, 30); }},
        {"zoom 3, panned",
         [&] {
             camera.set_scene_scale(3);
             object.set_position({-0.8f, 0.5f, 0});
         }},
        {"zoom 0.4",
         [&] {
             camera.set_scene_scale(0.4f);
             object.set_position({0, 0, 0});
         }},
    };

    std::mt19937 rng(12345);
    std::uniform_int_distribution<std::int32_t> any_node(1, std::max(1, m.nnode));
    std::uniform_real_distribution<double> jitter(-6, 6);
    std::uniform_real_distribution<double> anywhere_x(0, width - 1), anywhere_y(0, height - 1);

    double worst_element = 0;
    double worst_first = 0, worst_further = 0, worst_first_cpu = 0, worst_further_cpu = 0;
    for (const Setup& setup : setups) {
        std::printf("\n%s\n", setup.name);
        std::printf("  %-24s %10s %10s %12s %12s %12s %8s\n", "camera", "first ms", "build ms",
                    "further mean", "p99 ms", "max ms", "hits");
        pick::NodePicker picker;
        camera.set_scene_scale(1);
        object.set_position({0, 0, 0});
        for (const Tour& t : tour) {
            t.apply();
            const pick::PickScene ps{&m, setup.layers, std::nullopt};
            const pick::PickView pv = pick::make_pick_view(camera, object, width, height);

            // Pointer positions: near random nodes (most probes over the
            // model find one), one in five anywhere in the view.
            std::vector<std::array<double, 2>> at;
            for (int i = 0; i <= probes; ++i) {
                if (i % 5 == 4) {
                    at.push_back({anywhere_x(rng), anywhere_y(rng)});
                    continue;
                }
                const Point3 p = node_position(m, any_node(rng));
                const view::PixelPoint px =
                    view::project_to_pixel(camera, width, height, object.to_world({p.x, p.y, p.z}));
                at.push_back({std::clamp(px.x + jitter(rng), 0.0, width - 1.0),
                              std::clamp(px.y + jitter(rng), 0.0, height - 1.0)});
            }

            const auto t0 = Clock::now();
            const double c0 = cpu_ms();
            picker.probe(ps, pv, at[0][0], at[0][1]);
            const double first = ms_since(t0), first_cpu = cpu_ms() - c0;
            std::vector<double> times;
            double cpu_max = 0;
            int hits = 0;
            for (int i = 1; i <= probes; ++i) {
                const auto t1 = Clock::now();
                const double c1 = cpu_ms();
                const auto& a = at[static_cast<std::size_t>(i)];
                hits += picker.probe(ps, pv, a[0], a[1]).has_value();
                cpu_max = std::max(cpu_max, cpu_ms() - c1);
                times.push_back(ms_since(t1));
            }
            std::sort(times.begin(), times.end());
            double sum = 0;
            for (double x : times)
                sum += x;
            const double mean = times.empty() ? 0 : sum / static_cast<double>(times.size());
            const double p99 = times.empty() ? 0 : times[times.size() * 99 / 100];
            const double max = times.empty() ? 0 : times.back();
            std::printf("  %-24s %9.1f %9.1f %9.1f %9.3f %9.3f %9.3f %9.3f %6d\n", t.name, first, first_cpu,
                        picker.stats().build_seconds * 1000, mean, p99, max, cpu_max, hits);
            const pick::PickStats& st = picker.stats();
            std::printf(
                "  %-24s build steps: mark %.1f, project %.1f, grid %.1f, depth %.1f, lines %.1f ms\n", "",
                st.mark_seconds * 1e3, st.project_seconds * 1e3, st.grid_seconds * 1e3,
                st.depth_seconds * 1e3, st.line_seconds * 1e3);

            // The element point under the same pointers (the index is built),
            // and the value there as the probe text computes it.
            std::vector<double> element_times;
            int element_hits = 0;
            double checksum = 0;
            for (int i = 1; i <= probes; ++i) {
                const auto t1 = Clock::now();
                const auto& a = at[static_cast<std::size_t>(i)];
                if (const auto e = picker.probe_element(ps, pv, a[0], a[1])) {
                    ++element_hits;
                    checksum += list_value_at(m, e->element, e->at, k);
                }
                element_times.push_back(ms_since(t1));
            }
            std::sort(element_times.begin(), element_times.end());
            double element_sum = 0;
            for (double x : element_times)
                element_sum += x;
            if (!element_times.empty())
                std::printf("  %-24s element probes: mean %.4f, p99 %.4f, max %.3f ms, %d hits (sum %.3g)\n",
                            "", element_sum / static_cast<double>(element_times.size()),
                            element_times[element_times.size() * 99 / 100], element_times.back(),
                            element_hits, checksum);
            worst_element = std::max(worst_element, element_times.empty() ? 0.0 : element_times.back());
            worst_first = std::max(worst_first, first);
            worst_further = std::max(worst_further, max);
            worst_first_cpu = std::max(worst_first_cpu, first_cpu);
            worst_further_cpu = std::max(worst_further_cpu, cpu_max);
        }
    }
    std::printf("\nworst first probe after a camera change: %.1f ms; worst further probe: %.3f ms\n",
                worst_first, worst_further);
    std::printf("worst element probe: %.3f ms\n", worst_element);
    return 0;
}
