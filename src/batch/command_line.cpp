#include "batch/command_line.h"

#include "viewer/model/number_text.h"

#include <charconv>
#include <cmath>
#include <set>

namespace orv::cli {

namespace {

std::string one_line(const std::string& message) {
    std::string out;
    for (const char c : message) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            static constexpr char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
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

enum class Kind { Flag, Value };

struct OptionInfo {
    std::string_view name;
    Kind kind;
    // Which modes take it: v = view option (picture, video), or one mode.
    enum Scope { View, Picture, Video, History, VideoHistory, Mode } scope;
};

constexpr OptionInfo kOptions[] = {
    {"--picture", Kind::Value, OptionInfo::Mode},
    {"--video", Kind::Value, OptionInfo::Mode},
    {"--history", Kind::Value, OptionInfo::Mode},
    {"--lists", Kind::Value, OptionInfo::VideoHistory},
    {"--fps", Kind::Value, OptionInfo::Video},
    {"--tag", Kind::Value, OptionInfo::History},
    {"--chart", Kind::Value, OptionInfo::History},
    {"--list", Kind::Value, OptionInfo::Picture},
    {"--mesh", Kind::Flag, OptionInfo::View},
    {"--deformed-mesh", Kind::Flag, OptionInfo::View},
    {"--nodes", Kind::Flag, OptionInfo::View},
    {"--node-numbers", Kind::Flag, OptionInfo::View},
    {"--element-numbers", Kind::Flag, OptionInfo::View},
    {"--extremes", Kind::Flag, OptionInfo::View},
    {"--bands", Kind::Flag, OptionInfo::View},
    {"--negative", Kind::Flag, OptionInfo::View},
    {"--scientific", Kind::Flag, OptionInfo::View},
    {"--range", Kind::Value, OptionInfo::View},
    {"--legend", Kind::Flag, OptionInfo::View},
    {"--displacement", Kind::Value, OptionInfo::View},
    {"--transparency", Kind::Value, OptionInfo::View},
    {"--solid", Kind::Flag, OptionInfo::View},
    {"--clip", Kind::Value, OptionInfo::View},
    {"--filter", Kind::Value, OptionInfo::View},
    {"--view", Kind::Value, OptionInfo::View},
    {"--orbit", Kind::Value, OptionInfo::View},
    {"--zoom", Kind::Value, OptionInfo::View},
    {"--pan", Kind::Value, OptionInfo::View},
    {"--size", Kind::Value, OptionInfo::View},
    {"--scale", Kind::Value, OptionInfo::View},
};

const OptionInfo* find_option(std::string_view name) {
    for (const OptionInfo& o : kOptions)
        if (o.name == name) return &o;
    return nullptr;
}

bool is_batch_mode(std::string_view arg) {
    for (std::string_view m : {"--picture", "--video", "--history"})
        if (arg == m || (arg.size() > m.size() && arg.starts_with(m) && arg[m.size()] == '=')) return true;
    return false;
}

bool applies(OptionInfo::Scope scope, Mode mode) {
    switch (scope) {
    case OptionInfo::View:
        return mode == Mode::Picture || mode == Mode::Video;
    case OptionInfo::Picture:
        return mode == Mode::Picture;
    case OptionInfo::Video:
        return mode == Mode::Video;
    case OptionInfo::History:
        return mode == Mode::History;
    case OptionInfo::VideoHistory:
        return mode == Mode::Video || mode == Mode::History;
    case OptionInfo::Mode:
        return true;
    }
    return false;
}

std::string_view mode_name(Mode m) {
    switch (m) {
    case Mode::Picture:
        return "--picture";
    case Mode::Video:
        return "--video";
    case Mode::History:
        return "--history";
    default:
        return "";
    }
}

ViewName view_of(std::string_view text) {
    if (text == "front") return ViewName::Front;
    if (text == "back") return ViewName::Back;
    if (text == "top") return ViewName::Top;
    if (text == "bottom") return ViewName::Bottom;
    if (text == "left") return ViewName::Left;
    if (text == "right") return ViewName::Right;
    bad_value("--view", text, "front, back, top, bottom, left or right");
}

void set_value(CommandLine& cl, std::string_view name, std::string_view value) {
    ViewSettings& v = cl.view;
    if (name == "--picture" || name == "--video" || name == "--chart") {
        if (value.empty()) bad_value(name, value, "a file name");
        (name == "--chart" ? cl.chart : cl.output) = std::string(value);
    } else if (name == "--history") {
        // Read as the viewer reads its field "Nó" (blanks around the digits
        // allowed) and kept as typed for the file's first line.
        try {
            parse_integer_text(value);
        } catch (const InvalidInteger&) {
            bad_value(name, value, "a node number");
        }
        cl.node = std::string(value);
    } else if (name == "--lists") {
        const auto parts = split(value, ':');
        if (parts.size() < 2 || parts.size() > 3) bad_value(name, value, "A:B or A:B:S");
        constexpr std::string_view expected = "A:B or A:B:S, lists from 1, step from 1";
        cl.lists.first = int_in(name, parts[0], 1, 1000000, expected, value);
        cl.lists.last = int_in(name, parts[1], 1, 1000000, expected, value);
        if (parts.size() == 3) cl.lists.step = int_in(name, parts[2], 1, 1000000, expected, value);
    } else if (name == "--fps") {
        cl.fps = int_in(name, value, 1, 100, "an integer from 1 to 100");
    } else if (name == "--tag") {
        // The tag goes into a bare file name: no folder separator.
        if (value.find('/') != std::string_view::npos) bad_value(name, value, "a tag without '/'");
        cl.tag = std::string(value);
    } else if (name == "--list") {
        v.lists.push_back(int_in(name, value, 1, 1000000, "a result list number from 1"));
    } else if (name == "--range") {
        const auto parts = split(value, ':');
        double unused = 0;
        if (parts.size() != 2 || !read_real(parts[0], unused) || !read_real(parts[1], unused))
            bad_value(name, value, "MIN:MAX");
        v.range = std::array<std::string, 2>{std::string(parts[0]), std::string(parts[1])};
    } else if (name == "--displacement") {
        const auto parts = split(value, ':');
        constexpr std::string_view expected = "FACTOR or FACTOR:SLIDER, slider 0 to 100";
        if (parts.size() > 2) bad_value(name, value, expected);
        v.displacement_factor = real_of(name, parts[0], expected, value);
        if (parts.size() == 2) v.displacement_slider = int_in(name, parts[1], 0, 100, expected, value);
    } else if (name == "--transparency") {
        v.transparency = int_in(name, value, 0, 100, "an integer from 0 to 100");
    } else if (name == "--clip") {
        v.clip = reals_of<4>(name, value, ',', "A,B,C,D");
    } else if (name == "--filter") {
        const auto parts = split(value, ',');
        constexpr std::string_view expected = "E1,E2,E3, each from -1 to 10";
        if (parts.size() != 3) bad_value(name, value, expected);
        for (std::size_t i = 0; i < 3; ++i)
            v.filter[i] = int_in(name, parts[i], -1, 10, expected, value);
    } else if (name == "--view") {
        v.view = view_of(value);
    } else if (name == "--orbit") {
        const auto a = reals_of<2>(name, value, ',', "PITCH,TURN in degrees");
        v.orbit_pitch = a[0];
        v.orbit_turn = a[1];
    } else if (name == "--zoom") {
        v.zoom = real_of(name, value, "a scale above 0");
        if (!(v.zoom > 0) || !std::isfinite(static_cast<float>(v.zoom)) || static_cast<float>(v.zoom) == 0)
            bad_value(name, value, "a scale above 0");
    } else if (name == "--pan") {
        const auto a = reals_of<2>(name, value, ',', "X,Y in pixels");
        v.pan_x = a[0];
        v.pan_y = a[1];
    } else if (name == "--size") {
        const auto parts = split(value, 'x');
        constexpr std::string_view expected = "WxH, each from 1 to 8192";
        if (parts.size() != 2) bad_value(name, value, expected);
        v.width = int_in(name, parts[0], 1, 8192, expected, value);
        v.height = int_in(name, parts[1], 1, 8192, expected, value);
    } else if (name == "--scale") {
        v.scale = int_in(name, value, 1, 2, "1 or 2");
    }
}

void set_flag(ViewSettings& v, std::string_view name) {
    if (name == "--mesh") v.mesh = true;
    if (name == "--deformed-mesh") v.deformed_mesh = true;
    if (name == "--nodes") v.nodes = true;
    if (name == "--node-numbers") v.node_numbers = true;
    if (name == "--element-numbers") v.element_numbers = true;
    if (name == "--extremes") v.extremes = true;
    if (name == "--bands") v.bands = true;
    if (name == "--negative") v.negative = true;
    if (name == "--scientific") v.scientific = true;
    if (name == "--legend") v.legend = true;
    if (name == "--solid") v.solid = true;
}

CommandLine parse_batch(const std::vector<std::string_view>& args) {
    CommandLine cl;
    // The mode first, so that every option can be checked against it.
    for (std::string_view a : args) {
        if (!is_batch_mode(a)) continue;
        const std::string_view name = a.substr(0, a.find('='));
        const Mode m = name == "--picture" ? Mode::Picture : name == "--video" ? Mode::Video : Mode::History;
        if (cl.mode != Mode::Gui && cl.mode != m)
            throw UsageError(std::string(mode_name(cl.mode)) + " and " + std::string(name) +
                             " cannot be combined");
        cl.mode = m;
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
        const OptionInfo* o = find_option(name);
        if (!o) throw UsageError("unknown option " + std::string(name));
        if (!applies(o->scope, cl.mode))
            throw UsageError("option " + std::string(name) + " does not apply to " +
                             std::string(mode_name(cl.mode)));
        if (name != "--list" && !seen.insert(name).second)
            throw UsageError("option " + std::string(name) + " given twice");
        if (o->kind == Kind::Flag) {
            if (value) throw UsageError("option " + std::string(name) + " takes no value");
            set_flag(cl.view, name);
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) throw UsageError("option " + std::string(name) + " needs a value");
            value = args[++i];
        }
        set_value(cl, name, *value);
    }

    if (files.empty()) throw UsageError("no result file given");
    if (files.size() > 1) throw UsageError("unexpected argument " + std::string(files[1]));
    cl.file = std::string(files.front());
    // A video frame is the picture cut to a multiple of 8 pixels a side.
    if (cl.mode == Mode::Video && (cl.view.width < 8 || cl.view.height < 8))
        bad_value("--size", std::to_string(cl.view.width) + "x" + std::to_string(cl.view.height),
                  "WxH, each from 8 to 8192 for --video");
    if ((cl.mode == Mode::Video || cl.mode == Mode::History) && !seen.contains("--lists"))
        throw UsageError(std::string(mode_name(cl.mode)) + " needs --lists A:B[:S]");
    return cl;
}

} // namespace

CommandLine parse_command_line(int argc, const char* const* argv) {
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    CommandLine cl;
    for (std::string_view a : args)
        if (is_batch_mode(a)) return parse_batch(args);

    if (!args.empty() && (args[0] == "--help" || args[0] == "--version")) {
        cl.mode = args[0] == "--help" ? Mode::Help : Mode::Version;
        return cl;
    }
    if (!args.empty() && (args[0] == "--convert" || args[0].starts_with("--convert="))) {
        // --convert OUT FILE: the model of FILE written as OUT, its format
        // taken from OUT's extension.
        std::vector<std::string_view> rest(args.begin() + 1, args.end());
        if (args[0] != "--convert") rest.insert(rest.begin(), args[0].substr(10));
        if (rest.size() != 2)
            throw UsageError(rest.size() < 2 ? "--convert needs an output file and a result file"
                                             : "unexpected argument " + std::string(rest[2]));
        const std::string_view out = rest[0];
        const auto ends_with = [&](std::string_view ext) {
            if (out.size() <= ext.size()) return false;
            for (std::size_t k = 0; k < ext.size(); ++k) {
                const char c = out[out.size() - ext.size() + k];
                if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != ext[k]) return false;
            }
            return true;
        };
        if (!ends_with(".vtu") && !ends_with(".txt"))
            bad_value("--convert", out, "OUT ending in .vtu or .txt");
        cl.mode = Mode::Convert;
        cl.output = std::string(out);
        cl.file = std::string(rest[1]);
        return cl;
    }
    if (!args.empty() && args[0] == "--info") {
        if (args.size() != 2)
            throw UsageError(args.size() < 2 ? "--info needs a result file"
                                             : "unexpected argument " + std::string(args[2]));
        cl.mode = Mode::Info;
        cl.file = std::string(args[1]);
        return cl;
    }

    // The viewer. Single-dash arguments are Qt's own (-platform, -qwindowgeometry).
    cl.mode = Mode::Gui;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        cl.gui_args.emplace_back(a);
        // Hidden options of the viewer, each with a value: --check-list K
        // (scripts/run), --record-frames N and --generate A:B:S (signal tests).
        if (a == "--check-list" || a == "--record-frames" || a == "--generate") {
            if (i + 1 < args.size()) cl.gui_args.emplace_back(args[++i]);
            continue;
        }
        if (a.starts_with("--")) {
            const std::string_view name = a.substr(0, a.find('='));
            if (find_option(name) || name == "--info" || name == "--help" || name == "--version")
                throw UsageError("option " + std::string(name) +
                                 " needs one of --picture, --video, --history");
            throw UsageError("unknown option " + std::string(name));
        }
    }
    return cl;
}

std::array<double, 2> preset_orbit_of(ViewName v) {
    switch (v) {
    case ViewName::Front:
        return {0, 0};
    case ViewName::Back:
        return {0, 180};
    case ViewName::Top:
        return {-90, 0};
    case ViewName::Bottom:
        return {90, 0};
    case ViewName::Left:
        return {0, -90};
    case ViewName::Right:
        return {0, 90};
    }
    return {0, 0};
}

std::string usage_text() {
    return "Usage: orvanel [FILE]...\n"
           "       orvanel --info FILE\n"
           "       orvanel --convert OUT FILE\n"
           "       orvanel --picture OUT.png [view options] FILE\n"
           "       orvanel --video OUT.avi --lists A:B[:S] [--fps N] [view options] FILE\n"
           "       orvanel --history NODE --lists A:B[:S] [--tag T] [--chart OUT.png] FILE\n"
           "Try 'orvanel --help' for the options.\n";
}

std::string help_text() {
    return "Usage: orvanel [FILE]...       open each FILE (a result file) in a viewer of its own\n"
           "       orvanel --info FILE     print a summary of FILE and exit\n"
           "       orvanel --help          print this text\n"
           "       orvanel --version       print the version and exit\n"
           "       orvanel --convert OUT FILE\n"
           "                               write FILE's model as OUT: a VTK .vtu (binary,\n"
           "                               zlib) or a native .txt, by OUT's extension\n"
           "\n"
           "Batch modes (no display needed; files are replaced as a whole or not at all):\n"
           "  --picture OUT.png           the 3D view as a 24-bit PNG\n"
           "  --video OUT.avi             one frame per result list of --lists (Microsoft\n"
           "                              Video 1 in AVI), progress on standard error\n"
           "      --lists A:B[:S]         lists A, A+S, ... below B, then B (S defaults to 1)\n"
           "      --fps N                 frames per second, 1 to 100 (default 5)\n"
           "  --history NODE              the node's value over --lists A:B[:S], written to\n"
           "                              FILE's name with _T.lst in the working folder\n"
           "      --tag T                 the tag T of that name (default 1)\n"
           "      --chart OUT.png         also the chart of the values as a PNG\n"
           "\n"
           "View options of --picture and --video (defaults: the viewer just opened):\n"
           "  --list K                    check result list K (repeatable; --picture only)\n"
           "  --nodes                     \"Nós\"\n"
           "  --mesh                      \"Malha Indeformada\"\n"
           "  --deformed-mesh             \"Malha Deformada\"\n"
           "  --node-numbers              \"Numerção dos Nós\"\n"
           "  --element-numbers           \"Num. dos Elementos\"\n"
           "  --extremes                  \"Extremos\": the nodes of the lowest list's minimum\n"
           "                              and maximum, marked with their values\n"
           "  --bands                     \"Faixas de Cores\"\n"
           "  --negative                  \"Legenda Negativa\"\n"
           "  --scientific                \"Notação Científica\"\n"
           "  --range MIN:MAX             \"> Valores Máximos\" with that range (0:0: the\n"
           "                              range of the whole file)\n"
           "  --legend                    the legend, composed at the top left\n"
           "  --displacement F[:P]        factor F, slider P 0..100 (default 1:50)\n"
           "  --transparency P            transparency slider 0..100 (default 0)\n"
           "  --solid                     \"Malha Sólida\"\n"
           "  --clip A,B,C,D              \"Clip Plane\" A x + B y + C z + D >= 0\n"
           "  --filter E1,E2,E3           element-type filters, -1..10 (default -1,-1,-1)\n"
           "  --view NAME                 front, back, top, bottom, left or right\n"
           "  --orbit PITCH,TURN          then turn the camera (degrees, as a mouse drag)\n"
           "  --zoom S                    scene scale (default 1; 1.05 is one wheel step in)\n"
           "  --pan X,Y                   move the model X pixels right, Y pixels down\n"
           "  --size WxH                  picture size in pixels (default 1024x768)\n"
           "  --scale 1|2                 colour scale \"Escala 1\" or \"Escala 2\"\n"
           "\n"
           "\n"
           "Environment:\n"
           "  ORVANEL_THREADS=N           reading threads (default: all cores; 1 = one thread)\n"
           "\n"
           "Exit status: 0 done, 1 failed (nothing written), 2 bad command line.\n";
}

} // namespace orv::cli
