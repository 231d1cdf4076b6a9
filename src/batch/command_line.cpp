#include "batch/command_line.h"

#include "viewer/model/name_text.h"
#include "viewer/model/number_text.h"
#include "viewer/output/output_file.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace orv::cli {

namespace {

// Control bytes of a message shown as \xHH, as the output messages show file names.
std::string one_line(const std::string& message) {
    return escape_control_bytes(message);
}

} // namespace

UsageError::UsageError(const std::string& message) : std::runtime_error(one_line(message)) {}

namespace {

[[noreturn]] void bad_value(std::string_view option, std::string_view value, std::string_view expected) {
    throw UsageError("bad value '" + std::string(value) + "' for " + std::string(option) + " (expected " +
                     std::string(expected) + ")");
}

bool read_int(std::string_view text, int& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// An integer in lo..hi; `whole` is the value the message shows (the text may
// be one part of it).
int int_in(std::string_view option, std::string_view text, int lo, int hi, std::string_view expected,
           std::string_view whole = {}) {
    int v = 0;
    if (!read_int(text, v) || v < lo || v > hi) bad_value(option, whole.empty() ? text : whole, expected);
    return v;
}

bool read_real(std::string_view text, double& out) {
    try {
        out = parse_real_text(text);
        return true;
    } catch (const InvalidReal&) {
        return false;
    }
}

double real_of(std::string_view option, std::string_view text, std::string_view expected,
               std::string_view whole = {}) {
    double v = 0;
    if (!read_real(text, v)) bad_value(option, whole.empty() ? text : whole, expected);
    return v;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(sep);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

template <std::size_t N>
std::array<double, N> reals_of(std::string_view option, std::string_view text, char sep,
                               std::string_view expected) {
    const auto parts = split(text, sep);
    if (parts.size() != N) bad_value(option, text, expected);
    std::array<double, N> v{};
    for (std::size_t i = 0; i < N; ++i)
        if (!read_real(parts[i], v[i])) bad_value(option, text, expected);
    return v;
}

// The batch mode's option, as named in messages.
std::string_view mode_option_name(Mode m);

using view::PresetView;

using Values = std::span<const std::string_view>;

// Mode rows: the output file (the mode itself is taken before any option).
void set_output(CommandLine& cl, Values v) {
    if (v[0].empty()) bad_value(mode_option_name(cl.mode), v[0], "a file name");
    cl.output = std::string(v[0]);
}

PresetView view_of(std::string_view text) {
    if (text == "front") return PresetView::Front;
    if (text == "back") return PresetView::Back;
    if (text == "top") return PresetView::Top;
    if (text == "bottom") return PresetView::Bottom;
    if (text == "left") return PresetView::Left;
    if (text == "right") return PresetView::Right;
    bad_value("--view", text, "front, back, top, bottom, left or right");
}

// Standalone modes: what follows them is theirs.
void alone_help(CommandLine& cl, Values) {
    cl.mode = Mode::Help;
}

void alone_version(CommandLine& cl, Values) {
    cl.mode = Mode::Version;
}

void alone_info(CommandLine& cl, Values v) {
    if (v.size() != 1)
        throw UsageError(v.empty() ? "--info needs a result file"
                                   : "unexpected argument " + std::string(v[1]));
    cl.mode = Mode::Info;
    cl.file = std::string(v[0]);
}

// --convert OUT FILE: the model of FILE written as OUT, its format taken
// from OUT's extension.
void alone_convert(CommandLine& cl, Values v) {
    if (v.size() != 2)
        throw UsageError(v.size() < 2 ? "--convert needs an output file and a result file"
                                      : "unexpected argument " + std::string(v[2]));
    const std::string_view out = v[0];
    const auto ends_with = [&](std::string_view ext) {
        if (out.size() <= ext.size()) return false;
        for (std::size_t k = 0; k < ext.size(); ++k) {
            const char c = out[out.size() - ext.size() + k];
            if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != ext[k]) return false;
        }
        return true;
    };
    if (!ends_with(".vtu") && !ends_with(".txt")) bad_value("--convert", out, "OUT ending in .vtu or .txt");
    cl.mode = Mode::Convert;
    cl.output = std::string(out);
    cl.file = std::string(v[1]);
}

// The viewer's hidden options: checked by the viewer itself.
void viewer_option(CommandLine&, Values) {}

const Option kOptions[] = {
    {"--info", "FILE", Scope::Alone, Mode::Info, "print a summary of FILE and exit", alone_info},
    {"--help", "", Scope::Alone, Mode::Help, "print this text", alone_help},
    {"--version", "", Scope::Alone, Mode::Version, "print the version and exit", alone_version},
    {"--convert", "OUT FILE", Scope::Alone, Mode::Convert,
     "write FILE's model as OUT: a VTK .vtu (binary,\nzlib) or a native .txt, by OUT's extension",
     alone_convert},
    // --check-list K (scripts/run), --record-frames N and --generate A:B:S (signal tests).
    {"--check-list", "K", Scope::Viewer, Mode::Gui, "", viewer_option},
    {"--record-frames", "N", Scope::Viewer, Mode::Gui, "", viewer_option},
    {"--generate", "A:B:S", Scope::Viewer, Mode::Gui, "", viewer_option},

    {"--picture", "OUT.png", Scope::Mode, Mode::Picture, "the 3D view as a 24-bit PNG", set_output},
    {"--video", "OUT.avi", Scope::Mode, Mode::Video,
     "one frame per result list of --lists (Microsoft\nVideo 1 in AVI), progress on standard error",
     set_output},
    {"--lists", "A:B[:S]", Scope::VideoHistory, Mode::Gui,
     "lists A, A+S, ... below B, then B (S defaults\nto 1)",
     [](CommandLine& cl, Values v) {
         const auto parts = split(v[0], ':');
         if (parts.size() < 2 || parts.size() > 3) bad_value("--lists", v[0], "A:B or A:B:S");
         constexpr std::string_view expected = "A:B or A:B:S, lists from 1, step from 1";
         cl.lists.first = int_in("--lists", parts[0], 1, 1000000, expected, v[0]);
         cl.lists.last = int_in("--lists", parts[1], 1, 1000000, expected, v[0]);
         if (parts.size() == 3) cl.lists.step = int_in("--lists", parts[2], 1, 1000000, expected, v[0]);
     }},
    {"--fps", "N", Scope::Video, Mode::Gui, "frames per second, 1 to 100 (default 5)",
     [](CommandLine& cl, Values v) { cl.fps = int_in("--fps", v[0], 1, 100, "an integer from 1 to 100"); }},
    {"--history", "NODE", Scope::Mode, Mode::History,
     "the node's value over --lists A:B[:S], written to\nFILE's name with _T.lst in the working folder",
     [](CommandLine& cl, Values v) {
         // Read as the viewer reads its field "Nó" (blanks around the digits
         // allowed) and kept as typed for the file's first line.
         try {
             parse_integer_text(v[0]);
         } catch (const InvalidInteger&) {
             bad_value("--history", v[0], "a node number");
         }
         cl.node = std::string(v[0]);
     }},
    {"--tag", "T", Scope::History, Mode::Gui, "the tag T of that name (default 1)",
     [](CommandLine& cl, Values v) {
         // The tag goes into a bare file name: no folder separator.
         if (v[0].find('/') != std::string_view::npos) bad_value("--tag", v[0], "a tag without '/'");
         cl.tag = std::string(v[0]);
     }},
    {"--chart", "OUT.png", Scope::Chart, Mode::Gui, "also the chart of the values as a PNG",
     [](CommandLine& cl, Values v) {
         if (v[0].empty()) bad_value("--chart", v[0], "a file name");
         cl.chart = std::string(v[0]);
     }},
    {"--plot-line", "OUT.csv", Scope::Mode, Mode::PlotLine,
     "the values of --lists A:B[:S] at points along a\nline through the volume cells, as CSV", set_output},
    {"--line", "X1,Y1,Z1:X2,Y2,Z2", Scope::PlotLine, Mode::Gui, "the line's two ends (file coordinates)",
     [](CommandLine& cl, Values v) {
         constexpr std::string_view expected = "X1,Y1,Z1:X2,Y2,Z2, six numbers";
         const auto ends = split(v[0], ':');
         if (ends.size() != 2) bad_value("--line", v[0], expected);
         for (std::size_t e = 0; e < 2; ++e) {
             const auto p = split(ends[e], ',');
             if (p.size() != 3) bad_value("--line", v[0], expected);
             for (std::size_t k = 0; k < 3; ++k)
                 cl.line[3 * e + k] = real_of("--line", p[k], expected, v[0]);
         }
         for (const double x : cl.line)
             if (!std::isfinite(x)) bad_value("--line", v[0], expected);
     }},
    {"--samples", "N", Scope::PlotLine, Mode::Gui,
     "points on the line, ends included, 2 to 1000000\n(default 100)",
     [](CommandLine& cl, Values v) {
         cl.samples = int_in("--samples", v[0], 2, 1000000, "an integer from 2 to 1000000");
     }},

    {"--list", "K", Scope::Picture, Mode::Gui, "check result list K (repeatable; --picture only)",
     [](CommandLine& cl, Values v) {
         std::vector<int> lists = cl.view.lists;
         lists.push_back(int_in("--list", v[0], 1, 1000000, "a result list number from 1"));
         view::set_lists(cl.view, lists);
     }},
    {"--nodes", "", Scope::View, Mode::Gui, "\"Nós\"", [](CommandLine& cl, Values) { cl.view.nodes = true; }},
    {"--mesh", "", Scope::View, Mode::Gui, "\"Malha Indeformada\"",
     [](CommandLine& cl, Values) { cl.view.mesh = true; }},
    {"--deformed-mesh", "", Scope::View, Mode::Gui, "\"Malha Deformada\"",
     [](CommandLine& cl, Values) { cl.view.deformed_mesh = true; }},
    {"--node-numbers", "", Scope::View, Mode::Gui, "\"Numerção dos Nós\"",
     [](CommandLine& cl, Values) { cl.view.node_numbers = true; }},
    {"--element-numbers", "", Scope::View, Mode::Gui, "\"Num. dos Elementos\"",
     [](CommandLine& cl, Values) { cl.view.element_numbers = true; }},
    {"--extremes", "", Scope::View, Mode::Gui,
     "\"Extremos\": the nodes of the lowest list's minimum\nand maximum, marked with their values",
     [](CommandLine& cl, Values) { cl.view.extremes = true; }},
    {"--bands", "", Scope::View, Mode::Gui, "\"Faixas de Cores\"",
     [](CommandLine& cl, Values) { cl.view.bands = true; }},
    {"--negative", "", Scope::View, Mode::Gui, "\"Legenda Negativa\"",
     [](CommandLine& cl, Values) { cl.view.negative = true; }},
    {"--scientific", "", Scope::View, Mode::Gui, "\"Notação Científica\"",
     [](CommandLine& cl, Values) { cl.view.scientific = true; }},
    {"--range", "MIN:MAX", Scope::View, Mode::Gui,
     "\"> Valores Máximos\" with that range (0:0: the\nrange of the whole file)",
     [](CommandLine& cl, Values v) {
         const auto parts = split(v[0], ':');
         double unused = 0;
         if (parts.size() != 2 || !read_real(parts[0], unused) || !read_real(parts[1], unused))
             bad_value("--range", v[0], "MIN:MAX");
         cl.view.common_range = true;
         cl.view.range = {std::string(parts[0]), std::string(parts[1])};
     }},
    {"--legend", "", Scope::View, Mode::Gui, "the legend, composed at the top left",
     [](CommandLine& cl, Values) { cl.view.legend = true; }},
    {"--displacement", "F[:P]", Scope::View, Mode::Gui, "factor F, slider P 0..100 (default 1:50)",
     [](CommandLine& cl, Values v) {
         const auto parts = split(v[0], ':');
         constexpr std::string_view expected = "FACTOR or FACTOR:SLIDER, slider 0 to 100";
         if (parts.size() > 2) bad_value("--displacement", v[0], expected);
         cl.view.displacement_factor = RealField::of(real_of("--displacement", parts[0], expected, v[0]));
         if (parts.size() == 2)
             cl.view.displacement_slider = int_in("--displacement", parts[1], 0, 100, expected, v[0]);
     }},
    {"--displacement-field", "NAME", Scope::View, Mode::Gui,
     "\"Deslocamento\": the three-component nodal field\nthat displaces each list of its step, or "
     "none\n(default: "
     "the file's, U, D or a name with\ndisp or deslocamento)",
     [](CommandLine& cl, Values v) {
         if (v[0].empty()) bad_value("--displacement-field", v[0], "a field name or none");
         cl.view.displacement_field = v[0] == "none" ? std::string() : std::string(v[0]);
     }},
    {"--arrows", "[=FIELD]", Scope::View, Mode::Gui,
     "\"Setas\": arrows at the nodes, of the displacement\nor of a three-component nodal field",
     [](CommandLine& cl, Values v) {
         if (!v.empty() && v[0].empty()) bad_value("--arrows", v[0], "a field name");
         cl.view.arrows = true;
         cl.view.arrow_field = v.empty() ? std::string() : std::string(v[0]);
     }},
    {"--arrow-factor", "F", Scope::View, Mode::Gui, "the arrows' length, times the default (1)",
     [](CommandLine& cl, Values v) {
         const double f = real_of("--arrow-factor", v[0], "a factor above 0");
         if (!(f > 0) || !std::isfinite(f)) bad_value("--arrow-factor", v[0], "a factor above 0");
         cl.view.arrow_factor = RealField::of(f);
     }},
    {"--transparency", "P", Scope::View, Mode::Gui, "transparency slider 0..100 (default 0)",
     [](CommandLine& cl, Values v) {
         cl.view.transparency = int_in("--transparency", v[0], 0, 100, "an integer from 0 to 100");
     }},
    {"--solid", "", Scope::View, Mode::Gui, "\"Malha Sólida\"",
     [](CommandLine& cl, Values) { cl.view.solid = true; }},
    {"--clip", "A,B,C,D", Scope::View, Mode::Gui, "\"Clip Plane\" A x + B y + C z + D >= 0",
     [](CommandLine& cl, Values v) {
         const auto c = reals_of<4>("--clip", v[0], ',', "A,B,C,D");
         cl.view.clip = true;
         cl.view.clip_plane = {RealField::of(c[0]), RealField::of(c[1]), RealField::of(c[2]),
                               RealField::of(c[3])};
     }},
    {"--filter", "E1,E2,E3", Scope::View, Mode::Gui, "element-type filters, -1..10 (default -1,-1,-1)",
     [](CommandLine& cl, Values v) {
         const auto parts = split(v[0], ',');
         constexpr std::string_view expected = "E1,E2,E3, each from -1 to 10";
         if (parts.size() != 3) bad_value("--filter", v[0], expected);
         for (std::size_t i = 0; i < 3; ++i)
             cl.view.filter[i] = int_in("--filter", parts[i], -1, 10, expected, v[0]);
     }},
    {"--blocks", "NAME[,NAME...]", Scope::View, Mode::Gui,
     "\"Blocos\": colour only the elements of these\nelement blocks of the file (--info lists them)",
     [](CommandLine& cl, Values v) {
         std::vector<std::string> names;
         for (const auto& part : split(v[0], ',')) {
             if (part.empty()) bad_value("--blocks", v[0], "block names separated by commas");
             names.emplace_back(part);
         }
         cl.view.shown_blocks = std::move(names);
     }},
    {"--fit", "", Scope::View, Mode::Gui,
     "\"Enquadrar\": the model centred and filling the\nview as the camera sees it after --view and\n--orbit "
     "(files of other formats than the\nnative one open so)",
     [](CommandLine& cl, Values) { cl.view.fit = true; }},
    {"--view", "NAME", Scope::View, Mode::Gui, "front, back, top, bottom, left or right",
     [](CommandLine& cl, Values v) { cl.view.view = view_of(v[0]); }},
    {"--orbit", "PITCH,TURN", Scope::View, Mode::Gui, "then turn the camera (degrees, as a mouse drag)",
     [](CommandLine& cl, Values v) {
         const auto a = reals_of<2>("--orbit", v[0], ',', "PITCH,TURN in degrees");
         cl.view.orbit_pitch = a[0];
         cl.view.orbit_turn = a[1];
     }},
    {"--zoom", "S", Scope::View, Mode::Gui, "scene scale (default 1; 1.05 is one wheel step in)",
     [](CommandLine& cl, Values v) {
         const double z = real_of("--zoom", v[0], "a scale above 0");
         if (!(z > 0) || !std::isfinite(static_cast<float>(z)) || static_cast<float>(z) == 0)
             bad_value("--zoom", v[0], "a scale above 0");
         cl.view.zoom = z;
     }},
    {"--pan", "X,Y", Scope::View, Mode::Gui, "move the model X pixels right, Y pixels down",
     [](CommandLine& cl, Values v) {
         const auto a = reals_of<2>("--pan", v[0], ',', "X,Y in pixels");
         cl.view.pan_x = a[0];
         cl.view.pan_y = a[1];
     }},
    {"--size", "WxH", Scope::View, Mode::Gui, "picture size in pixels (default 1024x768)",
     [](CommandLine& cl, Values v) {
         const auto parts = split(v[0], 'x');
         constexpr std::string_view expected = "WxH, each from 1 to 8192";
         if (parts.size() != 2) bad_value("--size", v[0], expected);
         cl.view.width = int_in("--size", parts[0], 1, 8192, expected, v[0]);
         cl.view.height = int_in("--size", parts[1], 1, 8192, expected, v[0]);
     }},
    {"--scale", "1|2", Scope::View, Mode::Gui, "colour scale \"Escala 1\" or \"Escala 2\"",
     [](CommandLine& cl, Values v) { cl.view.scale = int_in("--scale", v[0], 1, 2, "1 or 2"); }},

    {"--title", "", Scope::Figure, Mode::Gui,
     "a title line above the view: the name of the\nlowest --list, or FILE's name without one\n(the picture "
     "grows by 28 pixels)",
     [](CommandLine& cl, Values) { cl.view.title = true; }},
    {"--scale-figure", "1|2", Scope::Figure, Mode::Gui, "draw the picture at twice the size (default 1)",
     [](CommandLine& cl, Values v) {
         cl.view.figure_scale = int_in("--scale-figure", v[0], 1, 2, "1 or 2");
     }},
};

std::string_view mode_option_name(Mode m) {
    for (const Option& o : kOptions)
        if (o.scope == Scope::Mode && o.mode == m) return o.name;
    return "";
}

bool takes_value(const Option& o) {
    return !o.value.empty();
}

// A value shown as "[=...]" is optional and given only after '=', so that
// the option never swallows the result file that follows it.
bool optional_value(const Option& o) {
    return o.value.starts_with("[=");
}

// The row of a batch mode given as NAME or NAME=VALUE, nullptr otherwise.
const Option* batch_mode_of(std::string_view arg) {
    const Option* o = find_option(arg.substr(0, arg.find('=')));
    return o && o->scope == Scope::Mode ? o : nullptr;
}

bool applies(Scope scope, Mode mode) {
    switch (scope) {
    case Scope::View:
        return mode == Mode::Picture || mode == Mode::Video;
    case Scope::Picture:
    case Scope::Figure:
        return mode == Mode::Picture;
    case Scope::Video:
        return mode == Mode::Video;
    case Scope::History:
        return mode == Mode::History;
    case Scope::VideoHistory:
        return mode == Mode::Video || mode == Mode::History || mode == Mode::PlotLine;
    case Scope::PlotLine:
        return mode == Mode::PlotLine;
    case Scope::Chart:
        return mode == Mode::History || mode == Mode::PlotLine;
    case Scope::Mode:
        return true;
    case Scope::Alone:
    case Scope::Viewer:
        return false;
    }
    return false;
}

CommandLine parse_batch(const std::vector<std::string_view>& args) {
    CommandLine cl;
    // The mode first, so that every option can be checked against it.
    for (std::string_view a : args) {
        const Option* m = batch_mode_of(a);
        if (!m) continue;
        if (cl.mode != Mode::Gui && cl.mode != m->mode)
            throw UsageError(std::string(mode_option_name(cl.mode)) + " and " + std::string(m->name) +
                             " cannot be combined");
        cl.mode = m->mode;
    }

    std::set<std::string_view> seen;
    std::vector<std::string_view> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        if (!a.starts_with("--")) {
            files.push_back(a);
            continue;
        }
        std::string_view name = a;
        std::optional<std::string_view> value;
        if (const std::size_t eq = a.find('='); eq != std::string_view::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        }
        const Option* o = find_option(name);
        if (!o) throw UsageError("unknown option " + std::string(name));
        if (!applies(o->scope, cl.mode))
            throw UsageError("option " + std::string(name) + " does not apply to " +
                             std::string(mode_option_name(cl.mode)));
        if (name != "--list" && !seen.insert(name).second)
            throw UsageError("option " + std::string(name) + " given twice");
        if (optional_value(*o)) {
            o->set(cl, value ? std::span<const std::string_view>(&*value, 1)
                             : std::span<const std::string_view>());
            continue;
        }
        if (!takes_value(*o)) {
            if (value) throw UsageError("option " + std::string(name) + " takes no value");
            o->set(cl, {});
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) throw UsageError("option " + std::string(name) + " needs a value");
            value = args[++i];
        }
        o->set(cl, std::span<const std::string_view>(&*value, 1));
    }

    if (files.empty()) throw UsageError("no result file given");
    if (files.size() > 1) throw UsageError("unexpected argument " + std::string(files[1]));
    cl.file = std::string(files.front());
    // A video frame is the picture cut to a multiple of 8 pixels a side.
    if (cl.mode == Mode::Video && (cl.view.width < 8 || cl.view.height < 8))
        bad_value("--size", std::to_string(cl.view.width) + "x" + std::to_string(cl.view.height),
                  "WxH, each from 8 to 8192 for --video");
    if ((cl.mode == Mode::Video || cl.mode == Mode::History || cl.mode == Mode::PlotLine) &&
        !seen.contains("--lists"))
        throw UsageError(std::string(mode_option_name(cl.mode)) + " needs --lists A:B[:S]");
    if (cl.mode == Mode::PlotLine && !seen.contains("--line"))
        throw UsageError("--plot-line needs --line X1,Y1,Z1:X2,Y2,Z2");
    return cl;
}

// One option of --help: NAME VALUE, then its description from column
// `column`, continuation lines indented to it; a name too long for the
// column puts the description on the next line.
void help_row(std::string& out, std::string left, std::string_view help, std::size_t column) {
    if (left.size() + 1 > column) {
        out += left + "\n";
        left.clear();
    }
    left.resize(column, ' ');
    for (std::string_view line : split(help, '\n')) {
        out += left;
        out += line;
        out += '\n';
        left.assign(column, ' ');
    }
}

std::string option_form(const Option& o) {
    if (optional_value(o)) return std::string(o.name) + std::string(o.value);
    return takes_value(o) ? std::string(o.name) + " " + std::string(o.value) : std::string(o.name);
}

} // namespace

std::span<const Option> options() {
    return kOptions;
}

const Option* find_option(std::string_view name) {
    for (const Option& o : kOptions)
        if (o.name == name) return &o;
    return nullptr;
}

CommandLine parse_command_line(int argc, const char* const* argv) {
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    CommandLine cl;
    for (std::string_view a : args)
        if (batch_mode_of(a)) return parse_batch(args);

    // A mode of its own: the first argument, what follows is its own.
    if (!args.empty()) {
        const std::string_view first = args[0];
        const std::size_t eq = first.find('=');
        const Option* o = find_option(first.substr(0, eq));
        if (o && o->scope == Scope::Alone) {
            std::vector<std::string_view> rest(args.begin() + 1, args.end());
            if (eq != std::string_view::npos) {
                if (!takes_value(*o)) throw UsageError("option " + std::string(o->name) + " takes no value");
                rest.insert(rest.begin(), first.substr(eq + 1));
            }
            o->set(cl, rest);
            return cl;
        }
    }

    // The viewer. Single-dash arguments are Qt's own (-platform, -qwindowgeometry).
    cl.mode = Mode::Gui;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        cl.gui_args.emplace_back(a);
        if (!a.starts_with("--")) continue;
        const std::string_view name = a.substr(0, a.find('='));
        const Option* o = find_option(name);
        if (!o) throw UsageError("unknown option " + std::string(name));
        if (o->scope != Scope::Viewer)
            throw UsageError("option " + std::string(name) +
                             " needs one of --picture, --video, --history, --plot-line");
        // The viewer's hidden options take their value as the next argument.
        if (a == name && i + 1 < args.size()) cl.gui_args.emplace_back(args[++i]);
    }
    return cl;
}

std::string usage_text() {
    return "Usage: orvanel [FILE]...\n"
           "       orvanel --info FILE\n"
           "       orvanel --convert OUT FILE\n"
           "       orvanel --picture OUT.png [view options] FILE\n"
           "       orvanel --video OUT.avi --lists A:B[:S] [--fps N] [view options] FILE\n"
           "       orvanel --history NODE --lists A:B[:S] [--tag T] [--chart OUT.png] FILE\n"
           "       orvanel --plot-line OUT.csv --line X1,Y1,Z1:X2,Y2,Z2 [--samples N] --lists A:B[:S]\n"
           "               [--chart OUT.png] FILE\n"
           "Try 'orvanel --help' for the options.\n";
}

std::string help_text() {
    std::string out;
    help_row(out, "Usage: orvanel [FILE]...", "open each FILE (a result file) in a viewer\nof its own", 31);
    for (const Option& o : kOptions)
        if (o.scope == Scope::Alone) help_row(out, "       orvanel " + option_form(o), o.help, 31);
    out += "\nBatch modes (no display needed; files are replaced as a whole or not at all):\n";
    // Each mode with the options that belong to it alone (--lists under --video).
    for (const Option& m : kOptions) {
        if (m.scope != Scope::Mode) continue;
        help_row(out, "  " + option_form(m), m.help, 30);
        for (const Option& o : kOptions) {
            const bool own =
                (m.mode == Mode::Video && (o.scope == Scope::Video || o.scope == Scope::VideoHistory)) ||
                (m.mode == Mode::History && (o.scope == Scope::History || o.scope == Scope::Chart)) ||
                (m.mode == Mode::PlotLine && (o.scope == Scope::PlotLine || o.scope == Scope::Chart));
            if (own) help_row(out, "      " + option_form(o), o.help, 30);
        }
    }
    out += "\nView options of --picture and --video (defaults: the viewer just opened):\n";
    for (const Option& o : kOptions)
        if (o.scope == Scope::View || o.scope == Scope::Picture)
            help_row(out, "  " + option_form(o), o.help, 30);
    out += "\nFigure options of --picture (the viewer's \"Salvar Figura\"):\n";
    for (const Option& o : kOptions)
        if (o.scope == Scope::Figure) help_row(out, "  " + option_form(o), o.help, 30);
    out += "\n"
           "Environment:\n"
           "  ORVANEL_THREADS=N           reading threads (default: all cores; 1 = one\n"
           "                              thread)\n"
           "\n"
           "Exit status: 0 done, 1 failed (nothing written), 2 bad command line.\n";
    return out;
}

} // namespace orv::cli
