// Render-pass benchmark: a real viewer window on a result file, under a real
// OpenGL implementation (run it under xvfb-run with LIBGL_ALWAYS_SOFTWARE=1
// for Mesa's software renderer). It prints
//   - the time to compile the colour display list of one result list,
//     continuous and banded (glNewList .. glEndList, and the whole pass);
//   - the time of passes that only replay the lists while the camera turns;
//   - the time to walk the same colour list through a counting sink (the
//     geometry alone, as colour_list_bench measures it).
//
//   render_pass_bench FILE [--list K] [--repeat N] [--size WxH]
//
// Each pass is timed from the repaint request to the pixels read back
// (glReadPixels waits for the renderer), so replay times include drawing.
#include "shell/gui_main.h"
#include "ui/dialogs.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/Unit2.h"
#include "viewer/render/colour_list.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace orv;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct CountingSink final : ColourPieceSink {
    long vertices = 0;
    double checksum = 0;
    void piece(int band, const Point3* pts, int count) override {
        vertices += count;
        checksum += band + pts[0].x;
    }
    void shaded_piece(const Point3* pts, const Rgba* colours, int count) override {
        vertices += count;
        checksum += colours[0].g + pts[0].x;
    }
};

double counting_sink_seconds(const ResultModel& m, int k, bool banded, int repeat, long& vertices) {
    ColourListSettings s;
    s.banded = banded;
    double best = INFINITY;
    for (int r = 0; r < repeat; ++r) {
        CountingSink sink;
        const auto t0 = Clock::now();
        walk_colour_list(m, k, s, sink);
        best = std::min(best, seconds_since(t0));
        vertices = sink.vertices;
    }
    return best;
}

// One pass of the 3D view, up to the pixels being read back.
double timed_pass(TForm2& form) {
    const auto t0 = Clock::now();
    form.GLSceneViewer1->render_now();
    (void)form.GLSceneViewer1->last_image();
    return seconds_since(t0);
}

struct PassTimes {
    double pass = 0;    // the compiling pass, replay included
    double compile = 0; // glNewList .. glEndList
    double replay_best = INFINITY, replay_median = 0;
};

PassTimes measure(TForm2& form, int repeat) {
    PassTimes t;
    t.pass = timed_pass(form);
    t.compile = form.render_state.last_compile_seconds;
    std::vector<double> replays;
    for (int r = 0; r < repeat; ++r) {
        form.GLCamera1->orbit(0, 2); // turning the model: the lists are only replayed
        replays.push_back(timed_pass(form));
    }
    std::sort(replays.begin(), replays.end());
    t.replay_best = replays.front();
    t.replay_median = replays[replays.size() / 2];
    return t;
}

void print(const char* name, const PassTimes& t, double sink) {
    std::printf("%s:\n", name);
    std::printf("  compile (glNewList..glEndList) %9.1f ms   counting sink %8.1f ms   ratio %.2f\n",
                t.compile * 1e3, sink * 1e3, t.compile / sink);
    std::printf("  compiling pass                 %9.1f ms\n", t.pass * 1e3);
    std::printf("  replay-only pass  best %9.1f ms  median %9.1f ms   compiling pass / replay pass %.1f\n",
                t.replay_best * 1e3, t.replay_median * 1e3, t.pass / t.replay_median);
}

} // namespace

int main(int argc, char** argv) {
    std::string file;
    int k = 1, repeat = 5, width = 1000, height = 700;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--list") && i + 1 < argc)
            k = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc &&
                 std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2)
            ++i;
        else if (argv[i][0] != '-' && file.empty())
            file = argv[i];
        else {
            std::fprintf(stderr, "usage: render_pass_bench FILE [--list K] [--repeat N] [--size WxH]\n");
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: render_pass_bench FILE [--list K] [--repeat N] [--size WxH]\n");
        return 2;
    }

    set_default_gl_format();
    QApplication app(argc, argv);
    set_number_format();
    init_gui_services();
    ui::set_dialog_handler([](const ui::DialogRequest& r) {
        // The reading progress goes on (not accepted would be "Cancelar").
        if (r.kind == ui::DialogKind::Progress) return ui::DialogAnswer{true, {}, {}};
        std::fprintf(stderr, "message: %s\n", r.text.toUtf8().constData());
        return ui::DialogAnswer{};
    });

    auto t0 = Clock::now();
    TForm2 form(QString::fromLocal8Bit(file.c_str()));
    if (!form.loaded()) return 1;
    std::printf("%s: %d nodes, %d elements, %d lists; read in %.2f s\n", file.c_str(), form.model.nnode,
                form.model.nelem, form.model.nlista, seconds_since(t0));
    if (k < 1 || k > form.model.nlista) {
        std::fprintf(stderr, "no result list %d\n", k);
        return 1;
    }
    form.resize(width, height);
    form.show();
    QElapsedTimer wait;
    wait.start();
    while (form.GLSceneViewer1->frames() == 0 && wait.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (form.GLSceneViewer1->frames() == 0) {
        std::fprintf(stderr, "the view did not paint\n");
        return 1;
    }
    form.GLSceneViewer1->makeCurrent();
    std::printf("OpenGL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    form.GLSceneViewer1->doneCurrent();

    long vertices = 0;
    const double sink_continuous = counting_sink_seconds(form.model, k, false, repeat, vertices);
    std::printf("colour list %d: %ld vertices continuous\n", k, vertices);
    long banded_vertices = 0;
    const double sink_banded = counting_sink_seconds(form.model, k, true, repeat, banded_vertices);
    std::printf("colour list %d: %ld vertices banded\n", k, banded_vertices);

    // Continuous: check the result list (a plot-list click).
    form.CheckListBox1->item(4 + k)->setCheckState(Qt::Checked);
    form.CheckListBox1MouseUp();
    const PassTimes continuous = measure(form, repeat);
    print("continuous", continuous, sink_continuous);

    // Banded: "Faixas de Cores".
    form.CheckBox8->setChecked(true);
    const PassTimes banded = measure(form, repeat);
    print("banded", banded, sink_banded);
    std::printf("log: %s\n", to_string(form.render_state.log).c_str());
    return 0;
}
