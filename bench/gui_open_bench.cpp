// Time from "Novo" to a ready viewer, against `orvanel --info` on the same
// file. "Ready" is the viewer window created (file read, plot list filled),
// shown and painted once; the 10 ms start-up timer that enables the mouse is
// reported apart. Prints figures only.
//
//   gui_open_bench FILE [RUNS]     (run under a display; make a large FILE
//                                   with make_result_file --nodes 1000000)

#include "shell/Unit1.h"
#include "shell/gui_main.h"
#include "ui/dialogs.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/Unit2.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

bool wait_until(const std::function<bool()>& pred, int timeout_ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeout_ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double info_seconds(const QString& file) {
    QElapsedTimer t;
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    t.start();
    p.start(QStringLiteral(ORVANEL_BINARY), {QStringLiteral("--info"), file});
    p.waitForFinished(-1);
    const double s = t.nsecsElapsed() * 1e-9;
    if (p.exitCode() != 0) std::fprintf(stderr, "orvanel --info failed (%d)\n", p.exitCode());
    return s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_open_bench FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    orv::set_default_gl_format();
    QApplication app(argc, argv);
    orv::set_number_format();
    orv::init_gui_services();
    const QString file = QString::fromLocal8Bit(argv[1]);

    info_seconds(file); // warm the file cache
    double info_best = 1e300;
    for (int i = 0; i < runs; ++i)
        info_best = std::min(info_best, info_seconds(file));

    orv::ui::set_dialog_handler([&](const orv::ui::DialogRequest& r) {
        if (r.kind == orv::ui::DialogKind::Error) std::fprintf(stderr, "error: %s\n", qPrintable(r.text));
        return orv::ui::DialogAnswer{true, file, {}};
    });
    orv::TForm1 main;
    main.resize(1400, 900);
    main.show();
    wait_until([&] { return main.Timer1->isActive(); }, 5000);
    main.Timer1Timer(); // end the splash phase

    double ready_best = 1e300, timer_best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        main.Novo2Click();
        orv::TForm2* form = main.target_viewer();
        if (!form) return 1;
        wait_until([&] { return form->GLSceneViewer1->frames() > 0; }, 600000);
        const double ready = t.nsecsElapsed() * 1e-9;
        wait_until([&] { return form->auxiliar; }, 600000);
        const double timer = t.nsecsElapsed() * 1e-9;
        ready_best = std::min(ready_best, ready);
        timer_best = std::min(timer_best, timer);
        main.ToolButton11Click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    std::printf("file: %s\n", argv[1]);
    std::printf("orvanel --info           %8.3f s (best of %d)\n", info_best, runs);
    std::printf("Novo to viewer painted   %8.3f s (best of %d)  ratio %.3f\n", ready_best, runs,
                ready_best / info_best);
    std::printf("Novo to mouse enabled    %8.3f s (best of %d)  ratio %.3f\n", timer_best, runs,
                timer_best / info_best);
    return 0;
}
