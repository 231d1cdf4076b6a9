// Batch modes. Every file is produced whole in memory or under a temporary
// name first and only then put in place, so a failure leaves no partial file
// and an older file of the same name untouched.

#include "batch/batch_main.h"

#include "batch/batch_view.h"
#include "batch/offscreen_gl.h"
#include "viewer/Unit3.h"
#include "viewer/model/reader.h"
#include "viewer/output/avi_recorder.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/node_history.h"
#include "viewer/output/output_error.h"
#include "viewer/output/output_names.h"
#include "viewer/render/bitmap_font_gl.h"
#include "viewer/render/render_plan.h"

#include <QApplication>
#include <QBuffer>
#include <QChartView>
#include <QImage>
#include <QtGlobal>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace orv {
namespace {

// The result file, its reader's warnings (a file that ends early) on
// standard error, as --info shows them.
ResultModel read_model(const std::string& path) {
    ReadResult result = read_result(path);
    for (const std::string& warning : result.warnings)
        std::fprintf(stderr, "%s\n", warning.c_str());
    return std::move(result.model);
}

// PNG bytes of a picture, 24-bit RGB.
std::string png_of(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "PNG"))
        throw OutputError("Cannot encode the picture as PNG.");
    return bytes.toStdString();
}

// PNG bytes of an RGBA picture stored bottom row first, as 24-bit RGB.
std::string png_of_framebuffer(const std::vector<std::uint8_t>& rgba, int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src =
            rgba.data() + static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(w) * 4;
        uchar* dst = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    return png_of(image);
}

int picture(const cli::CommandLine& cl) {
    ResultModel model = read_model(cl.file);
    // The context first: the view's display lists go before it.
    OffscreenGl gl(cl.view.width, cl.view.height);
    BatchView view(model, cl.view);
    view.render(cl.view.lists);
    write_file_atomically(cl.output, png_of_framebuffer(gl.read_rgba(), gl.width(), gl.height()));
    return 0;
}

// SIGINT, SIGTERM or SIGHUP received during a video: it stops after the
// frame in hand, and the unfinished file is removed.
volatile std::sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal) {
    stop_signal = signal;
}

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// Temporary name beside `path` for a file written in place by a library.
std::string temporary_beside(const std::string& path) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    return (folder / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()))).string();
}

int video(const cli::CommandLine& cl) {
    ResultModel model = read_model(cl.file);
    const std::vector<int> lists =
        list_sequence(cl.lists.first, cl.lists.last, cl.lists.step, display_list_count(model.nlista));
    check_lists(lists, model.nlista);
    OffscreenGl gl(cl.view.width, cl.view.height);
    BatchView view(model, cl.view);

    // A read-only video is refused as a read-only picture or list file is.
    check_replaceable(cl.output);
    const std::string temp = temporary_beside(cl.output);
    AviRecorder recorder;
    recorder.set_width(cl.view.width);
    recorder.set_height(cl.view.height);
    recorder.set_fps(cl.fps);
    recorder.set_filename(temp);
    const bool tty = ::isatty(STDERR_FILENO) != 0;
    catch_stop_signals();
    try {
        recorder.create([](const std::string&) { return true; });
        for (std::size_t i = 0; i < lists.size(); ++i) {
            view.render({lists[i]});
            const std::vector<std::uint8_t> rgba = gl.read_rgba();
            recorder.add_frame(
                FramePicture{rgba.data(), gl.width(), gl.height(), 0, PixelLayout::Rgba, true});
            std::fprintf(stderr, tty ? "\rframe %zu/%zu" : "frame %zu/%zu\n", i + 1, lists.size());
            if (stop_signal != 0)
                throw OutputError("Stopped by signal " + std::to_string(stop_signal) + " after frame " +
                                  std::to_string(i + 1) + "; no video written.");
        }
        if (tty) std::fputc('\n', stderr);
        recorder.close();
        if (std::rename(temp.c_str(), cl.output.c_str()) != 0)
            throw OutputError("Cannot write file '" + cl.output + "': " + std::strerror(errno));
    } catch (...) {
        if (tty) std::fputc('\n', stderr);
        try {
            recorder.close();
        } catch (...) {
            // The file goes anyway.
        }
        std::remove(temp.c_str());
        throw;
    }
    return 0;
}

int history(const cli::CommandLine& cl) {
    const ResultModel model = read_model(cl.file);
    const std::vector<int> lists =
        list_sequence(cl.lists.first, cl.lists.last, cl.lists.step, display_list_count(model.nlista));
    const NodeHistory h = read_node_history(model, cl.node, lists);
    const std::string list_path = list_file_name(cl.file, cl.tag);
    if (cl.chart.empty()) {
        write_file_atomically(list_path, format_node_history(cl.node, h));
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
    const std::string png = png_of(chart.Chart1->grab().toImage());
    chart.hide();
    write_file_atomically(cl.chart, png);
    try {
        write_file_atomically(list_path, format_node_history(cl.node, h));
    } catch (...) {
        std::remove(cl.chart.c_str());
        throw;
    }
    return 0;
}

} // namespace

int run_batch(const cli::CommandLine& cl) {
    // A batch run prints its own messages only: Qt's notes (no runtime folder
    // in a plain shell, offscreen platform remarks) are not the user's concern.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtFatalMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
    set_glyph_sink(draw_font_glyph);
    try {
        switch (cl.mode) {
        case cli::Mode::Picture:
            return picture(cl);
        case cli::Mode::Video:
            return video(cl);
        case cli::Mode::History:
            return history(cl);
        default:
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

} // namespace orv
