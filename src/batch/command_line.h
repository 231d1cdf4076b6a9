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
//
// Plain C++: the launcher parses with it before any graphical library is
// loaded, so that a usage error costs nothing. A value may follow its option
// as the next argument or after '=' (--size=800x600). Every option but --list
// may be given once. Anything wrong throws UsageError naming the option.

#include <array>
#include <optional>
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

enum class Mode { Gui, Help, Version, Info, Picture, Video, History, Convert };

// The six views of --view, each reached from the front view (camera at
// (0, 0, 30)) as a preset of the toolbar is; see preset_orbit_of.
enum class ViewName { Front, Back, Top, Bottom, Left, Right };

// The viewer controls the view options stand for. Defaults are the viewer's
// state when a file has just been opened.
struct ViewSettings {
    std::vector<int> lists;       // --list K, in the order given (checked result lists)
    bool nodes = false;           // "Nós"
    bool mesh = false;            // "Malha Indeformada"
    bool deformed_mesh = false;   // "Malha Deformada"
    bool node_numbers = false;    // "Numerção dos Nós"
    bool element_numbers = false; // "Num. dos Elementos"
    bool extremes = false;        // "Extremos"
    bool bands = false;           // "Faixas de Cores"
    bool negative = false;        // "Legenda Negativa"
    bool scientific = false;      // "Notação Científica"
    bool legend = false;          // "Legenda": the legend composed into the picture
    bool solid = false;           // "Malha Sólida"
    // "> Valores Máximos" with its two fields, as typed (checked as reals).
    std::optional<std::array<std::string, 2>> range;
    double displacement_factor = 1; // "Fator de Multiplicação"
    int displacement_slider = 50;   // "Escala Deslocamento" 0..100
    int transparency = 0;           // "Transparência" 0..100
    // "Clip Plane" with its four coefficients a, b, c, d (plane a x + b y + c z + d
    // = 0 in the coordinates of the result file; the side where it is >= 0 stays).
    std::optional<std::array<double, 4>> clip;
    std::array<int, 3> filter{-1, -1, -1}; // "ETp 1..3", -1..10
    ViewName view = ViewName::Front;
    double orbit_pitch = 0, orbit_turn = 0; // degrees, after the view
    double zoom = 1;                        // scene scale, > 0
    double pan_x = 0, pan_y = 0;            // pixels, x right, y down
    int width = 1024, height = 768;         // size of the picture
    int scale = 1;                          // colour scale "Escala 1" or "Escala 2"
};

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
    std::string chart; // --history: PNG of the chart, empty for none
    // Gui: the arguments as given, handed to the graphical interface untouched.
    std::vector<std::string> gui_args;
};

// Parses argv[1..argc-1]. Arguments not starting with "--" and options of the
// viewer (anything when no batch mode or --info/--help comes first) go to
// the GUI as they are: `orvanel FILE` and Qt's own options keep working.
CommandLine parse_command_line(int argc, const char* const* argv);

// The text of --help.
std::string help_text();
// The short usage printed after a UsageError.
std::string usage_text();

// Pitch and turn (degrees) that bring the camera from the front view to `v`.
// Top and bottom stop at the orbit's pole margin, as a pitch of +-90 does in
// the viewer.
std::array<double, 2> preset_orbit_of(ViewName v);

} // namespace orv::cli
