#pragma once

namespace orv {
// Runs the Qt application (splash, main window, viewers) and returns its exit code.
int run_gui(int argc, char** argv);
}
