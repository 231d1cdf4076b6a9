// The full program, orvanel-app: the viewer and the batch modes (it also
// answers --help and --info, so it works when started directly). The small
// `orvanel` launcher starts it for everything but --help and --info.
#include "batch/batch_main.h"
#include "batch/command_line.h"
#include "batch/plain_modes.h"
#include "shell/gui_main.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    orv::cli::CommandLine cl;
    try {
        cl = orv::cli::parse_command_line(argc, argv);
    } catch (const orv::cli::UsageError& e) {
        std::fprintf(stderr, "orvanel: %s\n%s", e.what(), orv::cli::usage_text().c_str());
        return 2;
    }
    switch (cl.mode) {
    case orv::cli::Mode::Help:
        return orv::print_help();
    case orv::cli::Mode::Info:
        return orv::run_info(cl.file);
    case orv::cli::Mode::Gui:
        // The program's name for the window system is orvanel, whichever binary runs.
        QCoreApplication::setApplicationName(QStringLiteral("orvanel"));
        return orv::run_gui(argc, argv);
    default:
        return orv::run_batch(cl);
    }
}
