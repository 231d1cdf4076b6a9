// Render-pass benchmark: a real viewer window on a result file, under a real
// OpenGL implementation (run it under xvfb-run with LIBGL_ALWAYS_SOFTWARE=1
// for Mesa's software renderer). It prints
//   - the time to compile the colour display list of one result list,
//     continuous and banded (glNewList .. glEndList, and the whole pass);
//   - the time of passes that only replay the lists while the camera turns;
//   - the time to walk the same colour list through a counting sink (the
//     geometry alone, as colour_list_bench measures it), and the compile of
//     the same list one glBegin/glEnd per piece and from arrays prepared
//     beforehand (what the OpenGL implementation alone costs);
//   - the interactive case: result list K coloured with the mesh, a 60-step
//     left drag replayed with the coarse lists and without them (per-frame
//     median and worst, user CPU time per frame, since the machine may be
//     shared), the time to the full picture after the release, and the
//     vertex data and resident memory of the full and coarse lists.
//
//   render_pass_bench FILE [--list K] [--repeat N] [--size WxH] [--no-compile]
//
// Each pass is timed from the repaint request to the pixels read back
// (glReadPixels waits for the renderer), so replay times include drawing.
#include "launch_tunables.h"
#include "shell/gui_main.h"
#include "ui/dialogs.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/Unit2.h"
#include "viewer/render/array_emitter_gl.h"
#include "viewer/render/batched_colour_list_gl.h"
#include "viewer/render/chunk_buffers_gl.h"
#include "viewer/render/colour_list.h"
#include "viewer/render/colour_list_gl.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMouseEvent>

#include <sys/resource.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
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
    void shaded_piece(const Point3* pts, const double* values, int count) override {
        vertices += count;
        checksum += values[0] + pts[0].x;
    }
    void blank_piece(const Point3* pts, int count) override {
        vertices += count;
        checksum += pts[0].x;
    }
};

// The colour settings the window compiles list k with (deformed shape,
// displacement factor, transparency, filters...), so that the sink and the
// scratch compiles walk exactly the geometry the window's list holds.
ColourListSettings window_settings(const TForm2& form, bool banded) {
    const RenderPassInputs in = form.render_inputs();
    ColourListSettings s = in.colours;
    s.factor = in.factor.read();
    s.deformed_checked = in.checked.size() > 2 && in.checked[2];
    s.banded = banded;
    return s;
}

double counting_sink_seconds(const TForm2& form, int k, bool banded, int repeat, long& vertices) {
    const ResultModel& m = form.model;
    const ColourListSettings s = window_settings(form, banded);
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

double user_cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec) + static_cast<double>(u.ru_utime.tv_usec) * 1e-6;
}

// Resident memory of the process in MB (VmRSS).
double resident_mb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// Compiles colour list k into a scratch display list with `emit` and returns
// the seconds from glNewList to glEndList.
template <class Fill> double scratch_compile_seconds(TForm2& form, Fill&& fill) {
    form.GLSceneViewer1->makeCurrent();
    const GLuint list = glGenLists(1);
    const auto t0 = Clock::now();
    glNewList(list, GL_COMPILE);
    fill();
    glEndList();
    const double seconds = seconds_since(t0);
    glDeleteLists(list, 1);
    form.GLSceneViewer1->doneCurrent();
    return seconds;
}

// What list compiling costs besides our own walk: the same colour list one
// glBegin/glEnd per piece, and from arrays made beforehand.
// Continuous pieces as the list was filled before arrays: runs of one
// glBegin/glEnd with a glColor4d and a glVertex3d per vertex.
struct ImmediateRunSink final : ColourPieceSink {
    GLenum open = 0;
    void begin(GLenum mode) {
        if (open == mode) return;
        if (open) glEnd();
        glBegin(mode);
        open = mode;
    }
    void piece(int, const Point3* pts, int count) override {
        begin(count == 2 ? GL_LINES : GL_TRIANGLES);
        glColor4d(0.5, 0.5, 0.5, 1);
        for (int i = 0; i < count; ++i)
            glVertex3d(pts[i].x, pts[i].y, pts[i].z);
    }
    void shaded_piece(const Point3* pts, const double* values, int count) override {
        begin(count == 2 ? GL_LINES : GL_TRIANGLES);
        for (int i = 0; i < count; ++i) {
            const Rgb c = value_color(0, 1, 0, values[i]);
            glColor4d(c.r, c.g, c.b, 1);
            glVertex3d(pts[i].x, pts[i].y, pts[i].z);
        }
    }
    void blank_piece(const Point3* pts, int count) override { piece(0, pts, count); }
};

void compare_compiles(TForm2& form, int k, double sink) {
    const ColourListSettings s = window_settings(form, false);
    const double per_piece = scratch_compile_seconds(form, [&] { emit_colour_list(form.model, k, s); });
    const double immediate = scratch_compile_seconds(form, [&] {
        ImmediateRunSink runs;
        walk_colour_list(form.model, k, s, runs);
        if (runs.open) glEnd();
    });
    PieceChunks runs;
    form.GLSceneViewer1->makeCurrent();
    {
        // Fill the runs outside any list (drawn into the frame, then dropped).
        const GLuint list = glGenLists(1);
        glNewList(list, GL_COMPILE);
        emit_batched_colour_list(form.model, k, s, &runs);
        glEndList();
        glDeleteLists(list, 1);
    }
    form.GLSceneViewer1->doneCurrent();
    const double prepared = scratch_compile_seconds(form, [&] { draw_piece_chunks(runs); });
    runs.clear();
    const double arrays = scratch_compile_seconds(form, [&] { emit_batched_colour_list(form.model, k, s); });
    const double keeping =
        scratch_compile_seconds(form, [&] { emit_batched_colour_list(form.model, k, s, &runs); });
    // The buffers the pass builds, in two parts: the pieces as vertex data
    // (plain C++), then their upload.
    form.GLSceneViewer1->makeCurrent();
    const auto own = colour_range(form.model, k, 0);
    const auto b0 = Clock::now();
    PieceChunks pieces = colour_chunks(form.model, k, s, ReferenceRange::of(own[0], own[1]));
    const double built = seconds_since(b0);
    ChunkBuffers buffers;
    const auto u0 = Clock::now();
    buffers.upload(pieces);
    glFinish();
    const double uploaded = seconds_since(u0);
    buffers.free();
    form.GLSceneViewer1->doneCurrent();
    pieces.clear();
    std::printf("vertex buffers: pieces built %.1f ms (ratio %.2f), uploaded %.1f ms; together ratio %.2f\n",
                built * 1e3, built / sink, uploaded * 1e3, (built + uploaded) / sink);
    std::printf("continuous list, other ways to compile it:\n");
    std::printf("  one glBegin/glEnd per piece    %9.1f ms   ratio to the counting sink %.2f\n",
                per_piece * 1e3, per_piece / sink);
    std::printf("  glBegin/glEnd runs, a call per vertex %9.1f ms   ratio %.2f (the emitter before arrays)\n",
                immediate * 1e3, immediate / sink);
    std::printf("  prepared arrays, glDrawArrays  %9.1f ms   ratio %.2f (the OpenGL implementation alone)\n",
                prepared * 1e3, prepared / sink);
    std::printf("  arrays, runs not kept          %9.1f ms   ratio %.2f (as batch runs compile)\n",
                arrays * 1e3, arrays / sink);
    std::printf("  arrays, runs kept for coarse   %9.1f ms   ratio %.2f (as the window compiles)\n",
                keeping * 1e3, keeping / sink);
}

void send_mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

struct DragTimes {
    double median = 0, worst = 0, user_per_frame = 0, after_release = 0;
    bool coarse_seen = false, full_after_release = false;
};

// A left drag of `steps` moves of 4 pixels, each followed by the picture up
// to its read-back; then the release and the next picture.
DragTimes drag(TForm2& form, int steps) {
    QWidget* view = form.GLSceneViewer1;
    const QPointF start(view->width() / 2.0, view->height() / 2.0);
    send_mouse(view, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    std::vector<double> frames;
    DragTimes t;
    const double cpu0 = user_cpu_seconds();
    for (int i = 1; i <= steps; ++i) {
        send_mouse(view, QEvent::MouseMove, start + QPointF(4.0 * i, 0), Qt::NoButton, Qt::LeftButton);
        frames.push_back(timed_pass(form));
        t.coarse_seen = t.coarse_seen || form.render_state.last_replay_coarse;
    }
    t.user_per_frame = (user_cpu_seconds() - cpu0) / steps;
    const auto released = Clock::now();
    const long before = form.GLSceneViewer1->frames();
    send_mouse(view, QEvent::MouseButtonRelease, start + QPointF(4.0 * steps, 0), Qt::LeftButton,
               Qt::NoButton);
    // The view repaints by itself after a coarse frame; otherwise (nothing
    // to replace) the picture shown is already the full one: paint it again.
    QApplication::processEvents();
    if (form.GLSceneViewer1->frames() == before) form.GLSceneViewer1->render_now();
    (void)form.GLSceneViewer1->last_image();
    t.after_release = seconds_since(released);
    t.full_after_release = !form.render_state.last_replay_coarse;
    std::sort(frames.begin(), frames.end());
    t.median = frames[frames.size() / 2];
    t.worst = frames.back();
    return t;
}

void interactive(TForm2& form, int k) {
    form.auxiliar = true; // the start-up timer's work: mouse turning on
    // What a frame costs with no list at all: clearing, reading back and
    // showing the picture.
    for (int i = 0; i < form.CheckListBox1->count(); ++i)
        form.CheckListBox1->item(i)->setCheckState(Qt::Unchecked);
    form.CheckListBox1MouseUp();
    const DragTimes empty = drag(form, 30);
    std::printf(
        "  empty view         drag of 30 steps: median %7.1f ms (%5.1f fps), user CPU %6.1f ms/frame\n",
        empty.median * 1e3, 1.0 / empty.median, empty.user_per_frame * 1e3);
    // The result list with the mesh ("Malha Indeformada").
    form.CheckListBox1->item(1)->setCheckState(Qt::Checked);
    form.CheckListBox1->item(4 + k)->setCheckState(Qt::Checked);
    form.CheckListBox1MouseUp();
    form.auxiliar = true; // the start-up timer's work: mouse turning on
    const double rss0 = resident_mb();
    const auto t0 = Clock::now();
    timed_pass(form);
    const double first = seconds_since(t0);
    const double compile = form.render_state.last_compile_seconds;
    const double rss_full = resident_mb();
    const auto b0 = Clock::now();
    form.render_pass.wait_for_coarse_builds();
    const double build = seconds_since(b0);
    timed_pass(form); // adopts the coarse versions
    const double rss_coarse = resident_mb();
    const RenderState& rs = form.render_state;
    std::printf("interactive: result list %d with the mesh, %dx%d\n", k, form.GLSceneViewer1->width(),
                form.GLSceneViewer1->height());
    std::printf("  first picture %.1f ms (compile %.1f ms); coarse versions ready %.1f ms later\n",
                first * 1e3, compile * 1e3, build * 1e3);
    std::printf(
        "  vertex data: full lists %.1f MB, coarse %.1f MB (%.1f %%); resident memory +%.0f MB for the "
        "full lists, +%.0f MB for the coarse ones\n",
        rs.coarse_full_bytes / 1e6, rs.coarse_bytes / 1e6,
        rs.coarse_full_bytes ? 100.0 * rs.coarse_bytes / rs.coarse_full_bytes : 0.0, rss_full - rss0,
        rss_coarse - rss_full);
    std::printf("  last full replay %.1f ms (coarse lists are used above %.0f ms)\n",
                rs.last_full_replay_seconds * 1e3, form.render_pass.lod_budget_seconds * 1e3);
    const int steps = 60;
    const DragTimes coarse = drag(form, steps);
    const double budget = form.render_pass.lod_budget_seconds;
    form.render_pass.lod_budget_seconds = 1e9; // never coarse
    const DragTimes full = drag(form, steps);
    form.render_pass.lod_budget_seconds = budget;
    for (const auto& [name, t] : {std::pair{"with coarse lists", coarse}, std::pair{"full lists only", full}})
        std::printf(
            "  %-18s drag of %d steps: median %7.1f ms (%5.1f fps), worst %7.1f ms, user CPU %6.1f ms/frame;"
            " after release %7.1f ms to the %s picture%s\n",
            name, steps, t.median * 1e3, 1.0 / t.median, t.worst * 1e3, t.user_per_frame * 1e3,
            t.after_release * 1e3, t.full_after_release ? "full" : "COARSE",
            t.coarse_seen ? "" : " (no coarse frame)");
}

// A change of range ("> Valores Máximos" and the list's own row), then of
// the colour scale: the passes that follow only set the scale texture or its
// matrix; the compile log shows whether any list was built again.
void range_and_scale_changes(TForm2& form, int k) {
    ResultModel& m = form.model;
    const auto own = m.maxlista[static_cast<std::size_t>(k)], common = m.maxlista[0];
    const std::size_t compiled = form.render_state.log.size();
    const double mid = (own[0] + own[1]) / 2;
    m.maxlista[static_cast<std::size_t>(k)] = {own[0], mid};
    m.maxlista[0] = {own[0], mid};
    form.changes = true;
    const double range = timed_pass(form);
    load_legend(1);
    form.changes = true;
    const double scale = timed_pass(form);
    load_legend(0);
    m.maxlista[static_cast<std::size_t>(k)] = own;
    m.maxlista[0] = common;
    form.changes = true;
    const double back = timed_pass(form);
    std::printf("range change: pass %.1f ms; colour scale change: pass %.1f ms; back: %.1f ms; "
                "lists compiled meanwhile: %zu, scale texture uploads so far %ld\n",
                range * 1e3, scale * 1e3, back * 1e3, form.render_state.log.size() - compiled,
                form.render_state.scale_texture_uploads);
}

} // namespace

int main(int argc, char** argv) {
    // With the allocator's settings the launcher gives the program, so that
    // the figures are the user's.
    const char* given = std::getenv("GLIBC_TUNABLES");
    if (const std::string tunables = orv::with_huge_page_malloc(given); !given || tunables != given) {
        setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
        execv("/proc/self/exe", argv);
    }
    std::string file;
    int k = 1, repeat = 5, width = 1000, height = 700;
    bool compile_part = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--list") && i + 1 < argc)
            k = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc &&
                 std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2)
            ++i;
        else if (!std::strcmp(argv[i], "--no-compile"))
            compile_part = false;
        else if (argv[i][0] != '-' && file.empty())
            file = argv[i];
        else {
            std::fprintf(
                stderr,
                "usage: render_pass_bench FILE [--list K] [--repeat N] [--size WxH] [--no-compile]\n");
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr,
                     "usage: render_pass_bench FILE [--list K] [--repeat N] [--size WxH] [--no-compile]\n");
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

    if (!compile_part) {
        interactive(form, k);
        return 0;
    }

    // Continuous: check the result list (a plot-list click).
    form.CheckListBox1->item(4 + k)->setCheckState(Qt::Checked);
    form.CheckListBox1MouseUp();
    // The sink walks with the settings the window has now (list k checked).
    long vertices = 0;
    const double sink_continuous = counting_sink_seconds(form, k, false, repeat, vertices);
    std::printf("colour list %d: %ld vertices continuous\n", k, vertices);
    long banded_vertices = 0;
    const double sink_banded = counting_sink_seconds(form, k, true, repeat, banded_vertices);
    std::printf("colour list %d: %ld vertices banded\n", k, banded_vertices);
    const PassTimes continuous = measure(form, repeat);
    print("continuous", continuous, sink_continuous);
    range_and_scale_changes(form, k);

    // Banded: "Faixas de Cores".
    form.CheckBox8->setChecked(true);
    const PassTimes banded = measure(form, repeat);
    print("banded", banded, sink_banded);
    std::printf("log: %s\n", to_string(form.render_state.log).c_str());
    // The same continuous list compiled a second time in the window: the
    // first compile of a process also pays for memory the system hands out
    // for the first time.
    form.CheckBox8->setChecked(false);
    print("continuous, compiled again", measure(form, repeat), sink_continuous);
    form.CheckBox8->setChecked(true);
    compare_compiles(form, k, sink_continuous);

    form.CheckBox8->setChecked(false);
    interactive(form, k);
    return 0;
}
