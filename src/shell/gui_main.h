#pragma once

namespace orv {
// Runs the Qt application (splash, main window, viewers) and returns its exit code.
// Arguments: an optional result file; "--check-list K" checks result list K
// of that file once it is open.
int run_gui(int argc, char** argv);

// Steps of the start-up, also used by the GUI tests: the default OpenGL
// format (before the QApplication exists), the "." number format (after it)
// and GLUT (once, when an X display is there).
void set_default_gl_format();
void set_number_format();
void init_gui_services();
// Qt's own Portuguese (Brazil) catalogue for the texts of its standard
// dialogs (open, colour, question boxes), after the QApplication exists. Our
// texts are not translated. Returns false, and changes nothing, when the
// catalogue is not installed (the dialogs then speak English).
bool install_qt_translations();
} // namespace orv
