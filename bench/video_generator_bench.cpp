// The video generator ("Gerar") over a range of result lists of a large
// model, on a real viewer window: seconds per frame, split into the paint
// that compiles the shown list, the other three paints, and the frame itself
// (picture read back, converted, encoded with Microsoft Video 1, written).
// Prints figures; never fails. Run under xvfb-run with software GL.
//
//   video_generator_bench FILE [first last step] [--deformed]
//
// How the split is measured: the generator paints the model view four times
// per frame and adds the frame between the second and the third paint. The
// view reports the end of every paint; with E1..E4 the ends of a frame's
// paints and E0 the end of the previous frame's last paint:
//   compile paint = E1 - E0 (display lists rebuilt, then drawn)
//   replay paint  = E2 - E1 (the same lists replayed)
//   frame + paint = E3 - E2, empty paint = E4 - E3 (the list unchecked), so
//   frame (read back, encode, write) = (E3 - E2) - (E4 - E3).

#include "ui/dialogs.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/Unit2.h"
#include "viewer/output/avi_recorder.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/output_names.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double mean(const std::vector<double>& v) {
    double s = 0;
    for (const double x : v)
        s += x;
    return v.empty() ? 0 : s / static_cast<double>(v.size());
}

long resident_mib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) / 1024;
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<const char*> args;
    bool deformed = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--deformed") == 0)
            deformed = true;
        else
            args.push_back(argv[i]);
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: video_generator_bench FILE [first last step] [--deformed]\n");
        return 2;
    }
    const std::string file = std::filesystem::absolute(args[0]).string();

    QApplication app(argc, argv);
    glutInit(&argc, argv);
    // Messages are printed, questions answered Yes: nothing may wait for a user.
    orv::ui::set_dialog_handler([](const orv::ui::DialogRequest& r) {
        std::fprintf(stderr, "message: %s\n", r.text.toUtf8().constData());
        orv::ui::DialogAnswer answer;
        answer.accepted = true;
        return answer;
    });

    // Output files go to the working directory: use a scratch one.
    std::string tmpl = (std::filesystem::temp_directory_path() / "orvanel-genbench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 1;
    std::filesystem::current_path(tmpl);

    const auto t_open = Clock::now();
    orv::TForm2 form(QString::fromStdString(file));
    if (!form.loaded()) return 1;
    std::printf("model: %s\n  %d nodes, %d elements, %d result lists; read in %.2f s; RSS %ld MiB\n",
                file.c_str(), form.model.nnode, form.model.nelem, form.model.nlista,
                seconds(Clock::now() - t_open), resident_mib());
    form.resize(959, 721); // the window's design size: a 3D view of 807 x 721
    form.show();
    if (!QTest::qWaitForWindowExposed(&form) ||
        !QTest::qWaitFor([&] { return form.GLSceneViewer1->frames() > 0; }, 10000)) {
        std::fprintf(stderr, "the view did not paint\n");
        return 1;
    }
    std::printf("view: %d x %d pixels, GL renderer %s\n", form.GLSceneViewer1->width(),
                form.GLSceneViewer1->height(), std::getenv("LIBGL_ALWAYS_SOFTWARE") ? "(software)" : "");

    const int a = args.size() > 1 ? std::atoi(args[1]) : 1;
    const int b = args.size() > 2 ? std::atoi(args[2]) : form.model.nlista;
    const int s = args.size() > 3 ? std::atoi(args[3]) : 1;
    if (deformed) form.CheckListBox1->item(2)->setCheckState(Qt::Checked); // "Malha Deformada"

    form.ComboBox1->setCurrentIndex(6);
    form.ComboBox1Change();
    form.SpinEdit4->setValue(a);
    form.SpinEdit5->setValue(b);
    form.SpinEdit6->setValue(s);
    const std::vector<int> lists = orv::list_sequence(a, b, s, form.CheckListBox1->count());

    std::vector<Clock::time_point> ends;
    ends.reserve(4 * lists.size() + 8);
    QObject::connect(form.GLSceneViewer1, &orv::GLSceneViewer::painted, &form,
                     [&] { ends.push_back(Clock::now()); });
    const auto t0 = Clock::now();
    form.Button2->click();
    const double total = seconds(Clock::now() - t0);

    // Two paints clear the checks, then four per frame.
    std::vector<double> compile, replay, frame, empty;
    for (std::size_t f = 0; f < lists.size() && 2 + 4 * f + 3 < ends.size(); ++f) {
        const auto* e = &ends[1 + 4 * f]; // e[0] = end of the previous paint
        compile.push_back(seconds(e[1] - e[0]));
        replay.push_back(seconds(e[2] - e[1]));
        empty.push_back(seconds(e[4] - e[3]));
        frame.push_back(seconds(e[3] - e[2]) - seconds(e[4] - e[3]));
    }
    const std::size_t n = lists.size();
    const double per_frame = total / static_cast<double>(n);
    std::printf("run: lists %d..%d step %d%s: %zu frames in %.2f s = %.3f s per frame (%zu paints seen)\n", a,
                b, s, deformed ? ", deformed mesh shown" : "", n, total, per_frame, ends.size());
    std::printf("per frame (mean / median, seconds):\n");
    std::printf("  paint with compile   %8.4f / %8.4f\n", mean(compile), median(compile));
    std::printf("  replay paint         %8.4f / %8.4f\n", mean(replay), median(replay));
    std::printf("  two empty paints     %8.4f / %8.4f\n", 2 * mean(empty), 2 * median(empty));
    std::printf("  frame: read back + encode + write %8.4f / %8.4f\n", mean(frame), median(frame));
    std::printf("  compile alone (compile paint - replay paint) %8.4f\n", mean(compile) - mean(replay));
    std::printf("frame share of the frame's time: %.2f %%\n", 100.0 * mean(frame) / per_frame);

    // The frame step alone, outside the generator, for a cross-check: read
    // back the picture, encode and write it.
    {
        orv::AviRecorder rec;
        rec.set_width(form.GLSceneViewer1->width());
        rec.set_height(form.GLSceneViewer1->height());
        rec.set_filename("check.avi");
        rec.create([](const std::string&) { return true; });
        std::vector<double> readback, encode;
        for (int i = 0; i < 20; ++i) {
            const auto r0 = Clock::now();
            const QImage image = form.GLSceneViewer1->last_image();
            const auto r1 = Clock::now();
            rec.add_frame({image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                           orv::PixelLayout::Bgra, false});
            const auto r2 = Clock::now();
            readback.push_back(seconds(r1 - r0));
            encode.push_back(seconds(r2 - r1));
        }
        rec.close();
        std::printf(
            "frame step alone (20 frames, median): read back %.4f s, encode + write %.4f s; %lld bytes\n",
            median(readback), median(encode),
            static_cast<long long>(std::filesystem::file_size("check.avi")));
    }
    std::error_code ec;
    const auto video_bytes = std::filesystem::file_size(orv::avi_file_name(form.model.namefile), ec);
    std::printf("video: %lld bytes; RSS at the end %ld MiB\n",
                ec ? -1LL : static_cast<long long>(video_bytes), resident_mib());
    std::filesystem::current_path("/");
    std::filesystem::remove_all(tmpl);
    return 0;
}
