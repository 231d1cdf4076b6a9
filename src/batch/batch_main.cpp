// Batch modes. Every file goes through an OutputFile: it is written whole as
// a new file and only then put in place, so a failure leaves no partial file
// and an older file of the same name untouched. Targets are checked before
// the result file is read, so that a refusal costs nothing.
//
// SIGINT, SIGTERM and SIGHUP stop a run (during the read too) with status 1
// and nothing written; one that was ignored when the program started (nohup)
// stays ignored. SIGPIPE is ignored, so that a closed standard error cannot
// kill a run half-way.

#include "batch/batch_main.h"

#include "batch/batch_render.h"
#include "batch/batch_view.h"
#include "batch/plain_modes.h"
#include "ui/png_bytes.h"
#include "viewer/Unit3.h"
#include "viewer/formats/reader.h"
#include "viewer/model/list_ranges.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/node_history.h"
#include "viewer/output/output_error.h"
#include "viewer/output/output_file.h"
#include "viewer/output/output_names.h"
#include "viewer/render/bitmap_font_gl.h"
#include "viewer/render/render_plan.h"

#include <QApplication>
#include <QChartView>
#include <QtGlobal>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace orv {
namespace {

// The quit signal received, 0 for none.
volatile std::sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal) {
    stop_signal = signal;
}

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

[[noreturn]] void throw_stopped(const std::string& when) {
    throw OutputError("Stopped by signal " + std::to_string(stop_signal) + " " + when + "; nothing written.");
}

// The result file, its reader's warnings (a file that ends early) on
// standard error, as --info shows them. A quit signal cancels the read. The
// model stays until the process ends.
// `native` tells whether the native format read it (such files open unframed).
// The lists' value ranges are left for complete_ranges_of, which measures
// those a mode needs.
ResultModel& read_model(const std::string& path, bool* native = nullptr) {
    ReaderOptions options;
    options.progress = [](std::uint64_t, std::uint64_t) { return stop_signal == 0; };
    options.defer_ranges = true;
    try {
        ReadResult result = read_result(path, options);
        for (const std::string& warning : result.warnings)
            std::fprintf(stderr, "%s\n", warning.c_str());
        if (stop_signal != 0) throw_stopped("after reading " + path);
        if (native) *native = result.native;
        return keep_until_exit(std::move(result.model));
    } catch (const ReadCancelled&) {
        throw_stopped("while reading " + path);
    }
}

// The ranges a picture of `s` with `lists` needs: those lists' own, or
// every list's when the common range is on (--range, whose 0:0 is the
// whole file's). Their warnings (nodes without a value) go to standard error.
void complete_ranges_of(ResultModel& model, const std::string& path, const view::ViewSettings& s,
                        std::vector<int> lists) {
    if (s.common_range) {
        lists.clear(); // every list
    } else {
        lists.insert(lists.end(), s.lists.begin(), s.lists.end());
        if (lists.empty()) return;
    }
    const RangeCompletion done = complete_ranges(model, lists, 0, [](int, int) { return stop_signal == 0; });
    for (const std::string& warning : done.warnings)
        std::fprintf(stderr, "%s\n", warning.c_str());
    if (!done.complete || stop_signal != 0) throw_stopped("while reading " + path);
}

// The view options as a viewer just opened on the file shows them: framed
// unless the native format read it.
view::ViewSettings opened_settings(view::ViewSettings s, bool native) {
    s.open_fitted = !native;
    return s;
}

int picture(const cli::CommandLine& cl) {
    check_replaceable(cl.output);
    const FigureLayout layout = BatchView::layout_of(cl.view);
    if (layout.width() > figure::kMaxSide || layout.height() > figure::kMaxSide)
        throw OutputError("Picture size out of range: " + std::to_string(layout.width()) + "x" +
                          std::to_string(layout.height()) + " pixels, at most " +
                          std::to_string(figure::kMaxSide) + " a side.");
    bool native = false;
    ResultModel& model = read_model(cl.file, &native);
    complete_ranges_of(model, cl.file, cl.view, {});
    const std::string png = png_of_picture(draw_picture(model, opened_settings(cl.view, native)));
    if (stop_signal != 0) throw_stopped("before the picture was written");
    write_file_atomically(cl.output, png);
    return 0;
}

// A quit signal during a video stops it after the frame in hand, and the
// unfinished file goes.
int video(const cli::CommandLine& cl) {
    check_replaceable(cl.output);
    bool native = false;
    ResultModel& model = read_model(cl.file, &native);
    const std::vector<int> lists =
        list_sequence(cl.lists.first, cl.lists.last, cl.lists.step, display_list_count(model.nlista));
    complete_ranges_of(model, cl.file, cl.view, lists);
    const bool tty = ::isatty(STDERR_FILENO) != 0;
    try {
        write_video(model, opened_settings(cl.view, native), lists, cl.fps, cl.output,
                    [tty](std::size_t done, std::size_t total) {
                        std::fprintf(stderr, tty ? "\rframe %zu/%zu" : "frame %zu/%zu\n", done, total);
                        if (stop_signal != 0)
                            throw OutputError("Stopped by signal " + std::to_string(stop_signal) +
                                              " after frame " + std::to_string(done) + "; no video written.");
                    });
    } catch (...) {
        if (tty) std::fputc('\n', stderr);
        throw;
    }
    if (tty) std::fputc('\n', stderr);
    return 0;
}

// The list and its chart are put in place together or not at all.
int history(const cli::CommandLine& cl) {
    const std::string list_path = list_file_name(cl.file, cl.tag);
    check_replaceable(list_path);
    if (!cl.chart.empty()) check_replaceable(cl.chart);
    const ResultModel& model = read_model(cl.file);
    const std::vector<int> lists =
        list_sequence(cl.lists.first, cl.lists.last, cl.lists.step, display_list_count(model.nlista));
    const NodeHistory h = read_node_history(model, cl.node, lists);
    OutputFile list(list_path);
    list.write(format_node_history(cl.node, h));
    if (cl.chart.empty()) {
        if (stop_signal != 0) throw_stopped("before the list was written");
        list.commit();
        return 0;
    }
    // The chart window drawn by Qt's offscreen platform: no display, ever.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Only the program's name: none of the batch options is Qt's to read.
    static char name[] = "orvanel";
    static char* args[] = {name, nullptr};
    int count = 1;
    QApplication app(count, args);
    std::setlocale(LC_NUMERIC, "C");
    TForm3 chart;
    // The picture is the chart at rest, not a frame of its axis animation.
    chart.Chart1->chart()->setAnimationOptions(QChart::NoAnimation);
    chart.set_history(h.values);
    chart.show();
    QApplication::processEvents();
    const std::string png = png_bytes(chart.Chart1->grab().toImage());
    chart.hide();
    OutputFile chart_file(cl.chart);
    chart_file.write(png);
    if (stop_signal != 0) throw_stopped("before the list and chart were written");
    OutputFile::commit_together({&list, &chart_file});
    return 0;
}

// --plot-line with --chart: the CSV and the chart put in place together.
int plot_line(const cli::CommandLine& cl) {
    check_replaceable(cl.output);
    check_replaceable(cl.chart);
    const LineValues line = line_values(cl);
    OutputFile csv(cl.output);
    csv.write(line.csv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static char name[] = "orvanel";
    static char* args[] = {name, nullptr};
    int count = 1;
    QApplication app(count, args);
    std::setlocale(LC_NUMERIC, "C");
    TForm3 chart;
    chart.Chart1->chart()->setAnimationOptions(QChart::NoAnimation);
    chart.set_lines(line.distance, line.values);
    chart.show();
    QApplication::processEvents();
    const std::string png = png_bytes(chart.Chart1->grab().toImage());
    chart.hide();
    OutputFile chart_file(cl.chart);
    chart_file.write(png);
    if (stop_signal != 0) throw_stopped("before the values and chart were written");
    OutputFile::commit_together({&csv, &chart_file});
    return 0;
}

} // namespace

int run_batch(const cli::CommandLine& cl) {
    // A batch run prints its own messages only: Qt's notes (no runtime folder
    // in a plain shell, offscreen platform remarks) are not the user's concern.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtFatalMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
    catch_stop_signals();
    set_glyph_sink(draw_font_glyph);
    try {
        switch (cl.mode) {
        case cli::Mode::Picture:
            return picture(cl);
        case cli::Mode::Video:
            return video(cl);
        case cli::Mode::History:
            return history(cl);
        case cli::Mode::PlotLine:
            return plot_line(cl);
        default:
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

} // namespace orv
