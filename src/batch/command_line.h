#pragma once
// The command line of orvanel: which mode runs and with which settings.
//
//   orvanel [FILE]                                   the viewer (GUI)
//   orvanel --info FILE                              summary of FILE
//   orvanel --convert OUT FILE                       FILE as OUT (.vtu or .txt)
//   orvanel --help                                   the usage text
//   orvanel --version                                the program's version
//   orvanel --picture OUT.png [view options] FILE    the 3D view as a PNG
//   orvanel --video OUT.avi --lists A:B[:S] [--fps N] [view options] FILE
//   orvanel --history NODE --lists A:B[:S] [--tag T] [--chart OUT.png] FILE
//   orvanel --plot-line OUT.csv --line X1,Y1,Z1:X2,Y2,Z2 [--samples N] --lists A:B[:S]
//           [--chart OUT.png] FILE
//
// Plain C++: the launcher parses with it before any graphical library is
// loaded, so that a usage error costs nothing. A value may follow its option
// as the next argument or after '=' (--size=800x600). Every option but --list
// may be given once. Anything wrong throws UsageError naming the option.

#include "viewer/view/view_settings.h"

#include <array>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orv::cli {

// what() is one line naming the offending argument, e.g.
// "unknown option --colour" or "bad value '0x5' for --size (expected WxH)".
// Control bytes of the argument (a line break, an ESC that would drive the
// terminal) are written as \xHH.
class UsageError : public std::runtime_error {
  public:
    explicit UsageError(const std::string& message);
};

enum class Mode { Gui, Help, Version, Info, Picture, Video, History, Convert, PlotLine };

// The view options set the viewer's controls (view/view_settings.h).
using ViewSettings = view::ViewSettings;

struct ListRange {
    int first = 1, last = 1, step = 1; // A:B[:S]
};

struct CommandLine {
    Mode mode = Mode::Gui;
    std::string file;   // the result file (not for Gui: the viewer reads gui_args)
    std::string output; // --picture, --video, --convert: the file written
    ViewSettings view;
    ListRange lists;  // --video, --history
    int fps = 5;      // --video, 1..100 (the generator's "FPS:")
    std::string node; // --history: the node number as typed (checked as an integer)
    std::string tag = "1";
    std::string chart; // --history, --plot-line: PNG of the chart, empty for none
    // --plot-line: the line's two ends (x1 y1 z1 x2 y2 z2, file coordinates)
    // and the number of points sampled on it, ends included.
    std::array<double, 6> line{};
    int samples = 100;
    // Gui: the arguments as given, handed to the graphical interface untouched.
    std::vector<std::string> gui_args;
};

// Where an option may be given.
enum class Scope {
    Alone,        // first argument, a mode of its own (--info, --convert, ...)
    Viewer,       // the viewer's hidden options (signal tests, scripts/run); not in --help
    Mode,         // a batch mode (--picture, --video, --history)
    Video,        // --video only
    History,      // --history only
    VideoHistory, // --video, --history and --plot-line (--lists)
    PlotLine,     // --plot-line only
    Chart,        // --history and --plot-line (--chart)
    Picture,      // --picture only
    Figure,       // --picture only: the figure around the view ("Salvar Figura")
    View,         // view options: --picture and --video
};

// One row per option: the parser, --help and the tests read this table.
struct Option {
    std::string_view name;
    // Form of the value in --help ("MIN:MAX"); empty for a flag.
    std::string_view value;
    Scope scope;
    Mode mode; // the mode an Alone or Mode option selects, Gui otherwise
    // Lines of its --help description joined by '\n'; empty: not shown.
    std::string_view help;
    // Checks the values and stores them: none for a flag, one for an
    // option with a value, the remaining arguments for an Alone option.
    // Throws UsageError naming the option.
    void (*set)(CommandLine& cl, std::span<const std::string_view> values);
};

// Every option, in the order of --help.
std::span<const Option> options();
// The row of `name` ("--size"), nullptr when there is none.
const Option* find_option(std::string_view name);

// Parses argv[1..argc-1]. Arguments not starting with "--" and options of the
// viewer (anything when no batch mode or --info/--help comes first) go to
// the GUI as they are: `orvanel FILE` and Qt's own options keep working.
CommandLine parse_command_line(int argc, const char* const* argv);

// The text of --help, printed from the option table.
std::string help_text();
// The short usage printed after a UsageError.
std::string usage_text();

} // namespace orv::cli
