// Start-up of the graphical interface: OpenGL format, application, number
// format, GLUT, then the windows in their order (main, credits, splash,
// chart) and the message loop.

#include "shell/gui_main.h"

#include "shell/Unit1.h"
#include "shell/Unit4.h"
#include "shell/Unit7.h"
#include "shell/pictures.h"
#include "shell/quit_signals.h"
#include "ui/dialogs.h"
#include "viewer/Unit3.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSurfaceFormat>
#include <QTimer>
#include <QTranslator>

#include <GL/freeglut.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace orv {
namespace {

// Last line of defence: an exception escaping an event handler is reported
// (after the event, never inside a paint) instead of ending the program.
class OrvanelApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()));
        } catch (...) {
            report(QStringLiteral("Erro inesperado."));
        }
        return false;
    }

  private:
    static void report(const QString& text) {
        QTimer::singleShot(0, [text] { ui::error_box(nullptr, text); });
    }
};

void init_glut() {
    // GLUT supplies only the bitmap fonts; it needs its display connection.
    // Without an X display (offscreen tests) it would end the process, so it
    // is skipped and text is simply not drawn.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return;
    static char arg0[] = "orvanel";
    static char* argv[] = {arg0, nullptr};
    int argc = 1;
    glutInit(&argc, argv);
}

const char* const kGuiUsage = "Usage: orvanel [FILE]\n";

} // namespace

void set_default_gl_format() {
    // Immediate mode and display lists need the compatibility profile.
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QSurfaceFormat::setDefaultFormat(format);
}

void set_number_format() {
    // "." as decimal separator whatever the user's locale; QApplication has
    // just set the C library's locale from the environment.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
}

void init_gui_services() {
    static bool done = false;
    if (done) return;
    done = true;
    init_glut();
}

bool install_qt_translations() {
    static QTranslator* translator = nullptr;
    if (translator) return true;
    auto* t = new QTranslator(QCoreApplication::instance());
    // qtbase holds the texts of the widgets' dialogs (Debian: qt6-translations-l10n).
    if (!t->load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    translator = t;
    return true;
}

int run_gui(int argc, char** argv) {
    set_default_gl_format();
    OrvanelApplication app(argc, argv);
    // The icon of every window, and the desktop entry the windows belong to.
    QApplication::setWindowIcon(ui::app_icon());
    QGuiApplication::setDesktopFileName(QStringLiteral("orvanel"));
    set_number_format();
    init_gui_services();
    install_qt_translations();

    QString file;
    int check_list = 0;
    int record_frames = 0;
    std::array<int, 3> generate{0, 0, 1};
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--check-list") && i + 1 < args.size()) {
            // Hidden option of scripts/run: check result list K of the file
            // given on the command line, so a coloured model shows at once.
            check_list = args[++i].toInt();
        } else if (a == QLatin1String("--record-frames") && i + 1 < args.size()) {
            // Hidden options of the signal tests (tests/viewer/output/output_signal_test.cpp):
            // record N frames with "Adicionar Frame", or run the video generator
            // over lists A..B by S, in the viewer of the file given.
            record_frames = args[++i].toInt();
        } else if (a == QLatin1String("--generate") && i + 1 < args.size()) {
            const QStringList abs = args[++i].split(QLatin1Char(':'));
            for (qsizetype j = 0; j < 3 && j < abs.size(); ++j)
                generate[static_cast<std::size_t>(j)] = abs[j].toInt();
        } else if (a.startsWith(QLatin1String("--"))) {
            std::fprintf(stderr, "orvanel: unknown option %s\n%s", a.toLocal8Bit().constData(), kGuiUsage);
            return 2;
        } else if (file.isEmpty()) {
            file = a;
        }
    }

    TForm1 main;
    TForm7 credits;
    TForm4 splash;
    TForm3 chart;
    main.set_credits_window(&credits);
    main.set_splash_window(&splash);
    set_chart_form(&chart);
    main.start_file = file;
    main.start_check_list = check_list;
    main.start_record_frames = record_frames;
    main.start_generate = generate;
    // SIGTERM, SIGINT and SIGHUP end the program as "Sair" does.
    QuitSignals quit_signals;
    QObject::connect(&quit_signals, &QuitSignals::received, &main, [&main] { main.quit_on_signal(); });
    main.showMaximized();
    const int code = app.exec();
    set_chart_form(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    // Sanitizer builds look for leaks here, while Mesa's driver is still
    // loaded: at exit it is gone and what it holds shows as unnamed frames.
    __lsan_do_leak_check();
#endif
    return code;
}

} // namespace orv
