// The full program, orvanel-app: the viewer and the batch modes (it also
// answers --help and --info, so it works when started directly). The small
// `orvanel` launcher starts it for everything but --help and --info.
#include "batch/batch_main.h"
#include "batch/command_line.h"
#include "batch/plain_modes.h"
#include "shell/gui_main.h"

#include <QCoreApplication>

#include <csignal>
#include <optional>

int main(int argc, char** argv) {
    // A file-size limit makes a write fail with EFBIG, which every output
    // reports and survives (a refused frame, a picture not written), instead
    // of killing the program with recordings left unfinished.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::optional<orv::cli::CommandLine> cl = orv::read_command_line(argc, argv);
    if (!cl) return 2;
    if (const std::optional<int> status = orv::run_plain_mode(*cl)) return *status;
    if (cl->mode == orv::cli::Mode::Gui) {
        // The program's name for the window system is orvanel, whichever binary runs.
        QCoreApplication::setApplicationName(QStringLiteral("orvanel"));
        return orv::run_gui(argc, argv);
    }
    return orv::run_batch(*cl);
}
