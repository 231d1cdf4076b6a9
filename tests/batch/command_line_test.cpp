// The command-line parser: every option's value reaches its setting, and
// every bad command line is refused with a message naming the argument.
#include "batch/command_line.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orv::cli {
namespace {

CommandLine parse(std::vector<std::string> args) {
    std::vector<const char*> argv{"orvanel"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    return parse_command_line(static_cast<int>(argv.size()), argv.data());
}

std::string error_of(std::vector<std::string> args) {
    try {
        parse(std::move(args));
    } catch (const UsageError& e) {
        return e.what();
    }
    return "(accepted)";
}

std::vector<std::string> picture(std::vector<std::string> options) {
    std::vector<std::string> args{"--picture", "out.png"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("model.txt");
    return args;
}

TEST(CommandLine, ModesAndTheirFixedArguments) {
    EXPECT_EQ(parse({}).mode, Mode::Gui);
    const CommandLine gui = parse({"model.txt"});
    EXPECT_EQ(gui.mode, Mode::Gui);
    EXPECT_EQ(gui.gui_args, std::vector<std::string>{"model.txt"});
    // Qt's own options and the viewer's hidden ones go to the viewer untouched.
    const std::vector<std::string> viewer_args{"-qwindowgeometry", "800x600", "--check-list", "1",
                                               "--record-frames",  "3",       "--generate",   "1:4:1",
                                               "model.txt"};
    const CommandLine qt = parse(viewer_args);
    EXPECT_EQ(qt.mode, Mode::Gui);
    EXPECT_EQ(qt.gui_args, viewer_args);
    EXPECT_EQ(parse({"--help"}).mode, Mode::Help);
    EXPECT_EQ(parse({"--version"}).mode, Mode::Version);
    const CommandLine info = parse({"--info", "model.txt"});
    EXPECT_EQ(info.mode, Mode::Info);
    EXPECT_EQ(info.file, "model.txt");
    for (const auto& args : std::vector<std::vector<std::string>>{{"--convert", "out.VTU", "model.vtk"},
                                                                  {"--convert=out.VTU", "model.vtk"}}) {
        const CommandLine convert = parse(args);
        EXPECT_EQ(convert.mode, Mode::Convert);
        EXPECT_EQ(convert.output, "out.VTU");
        EXPECT_EQ(convert.file, "model.vtk");
    }

    const CommandLine p = parse(picture({}));
    EXPECT_EQ(p.mode, Mode::Picture);
    EXPECT_EQ(p.output, "out.png");
    EXPECT_EQ(p.file, "model.txt");

    const CommandLine v = parse({"model.txt", "--lists", "2:9", "--video=out.avi"});
    EXPECT_EQ(v.mode, Mode::Video);
    EXPECT_EQ(v.output, "out.avi");
    EXPECT_EQ(v.lists.first, 2);
    EXPECT_EQ(v.lists.last, 9);
    EXPECT_EQ(v.lists.step, 1);
    EXPECT_EQ(v.fps, 5);

    const CommandLine h = parse({"--history", "17", "--lists", "1:10:3", "model.txt"});
    EXPECT_EQ(h.mode, Mode::History);
    EXPECT_EQ(h.node, "17");
    EXPECT_EQ(h.tag, "1");
    EXPECT_EQ(h.chart, "");
    EXPECT_EQ(h.lists.step, 3);
}

TEST(CommandLine, DefaultsAreTheViewerJustOpened) {
    const ViewSettings v = parse(picture({})).view;
    EXPECT_TRUE(v.lists.empty());
    EXPECT_EQ(v.deformed_list, 0);
    EXPECT_FALSE(v.nodes || v.mesh || v.deformed_mesh || v.node_numbers || v.element_numbers || v.extremes ||
                 v.bands || v.negative || v.scientific || v.legend || v.solid || v.common_range || v.clip ||
                 v.arrows);
    EXPECT_EQ(v.arrow_factor.read(), 1);
    EXPECT_EQ(v.displacement_factor.read(), 1);
    EXPECT_EQ(v.displacement_slider, 50);
    EXPECT_EQ(v.transparency, 0);
    EXPECT_EQ(v.filter, (std::array<int, 3>{-1, -1, -1}));
    EXPECT_EQ(v.view, view::PresetView::Front);
    EXPECT_EQ(v.zoom, 1);
    EXPECT_EQ(v.width, 1024);
    EXPECT_EQ(v.height, 768);
    EXPECT_EQ(v.scale, 1);
    EXPECT_FALSE(v.title);
    EXPECT_EQ(v.figure_scale, 1);
}

// One case per option of the table at least: the command line and what it
// must set.
struct Good {
    std::string option;
    std::vector<std::string> args;
    std::function<bool(const CommandLine&)> holds;
};

std::array<double, 4> clip_of(const ViewSettings& v) {
    return {v.clip_plane[0].read(), v.clip_plane[1].read(), v.clip_plane[2].read(), v.clip_plane[3].read()};
}

TEST(CommandLine, EveryOptionReachesItsSetting) {
    using view::PresetView;
    const std::vector<Good> cases = {
        {"--help", {"--help", "whatever"}, [](auto& c) { return c.mode == Mode::Help; }},
        {"--version", {"--version"}, [](auto& c) { return c.mode == Mode::Version; }},
        {"--info", {"--info=m.txt"}, [](auto& c) { return c.mode == Mode::Info && c.file == "m.txt"; }},
        {"--convert",
         {"--convert", "o.txt", "m.vtk"},
         [](auto& c) { return c.mode == Mode::Convert && c.output == "o.txt" && c.file == "m.vtk"; }},
        {"--check-list",
         {"--check-list", "2", "m.txt"},
         [](auto& c) {
             return c.mode == Mode::Gui &&
                    c.gui_args == std::vector<std::string>{"--check-list", "2", "m.txt"};
         }},
        {"--record-frames",
         {"--record-frames", "3", "m.txt"},
         [](auto& c) { return c.gui_args.size() == 3; }},
        {"--generate", {"--generate", "1:4:1", "m.txt"}, [](auto& c) { return c.gui_args.size() == 3; }},
        {"--picture", picture({}), [](auto& c) { return c.mode == Mode::Picture && c.output == "out.png"; }},
        {"--video",
         {"--video", "v.avi", "--lists", "1:10:3", "--fps", "25", "--bands", "f.txt"},
         [](auto& c) { return c.mode == Mode::Video && c.output == "v.avi" && c.fps == 25 && c.view.bands; }},
        {"--lists",
         {"m.txt", "--lists", "2:9", "--video=out.avi"},
         [](auto& c) { return c.lists.first == 2 && c.lists.last == 9 && c.lists.step == 1 && c.fps == 5; }},
        {"--fps",
         {"--video", "v.avi", "--lists", "1:2", "--fps=100", "f.txt"},
         [](auto& c) { return c.fps == 100; }},
        {"--history",
         {"--history", "-4", "--lists", "3:3", "f.txt"},
         // Out of range is the run's business, with the viewer's message.
         [](auto& c) {
             return c.mode == Mode::History && c.node == "-4" && c.tag == "1" && c.chart.empty();
         }},
        {"--history", {"--history", " 7", "--lists", "1:2", "f.txt"}, [](auto& c) { return c.node == " 7"; }},
        {"--tag",
         {"--history", "1", "--lists", "1:2", "--tag", "A", "f.txt"},
         [](auto& c) { return c.tag == "A"; }},
        {"--chart",
         {"--history", "1", "--lists", "1:2", "--chart", "c.png", "f.txt"},
         [](auto& c) { return c.chart == "c.png"; }},
        {"--chart",
         {"--plot-line", "o.csv", "--line", "0,0,0:1,1,1", "--lists", "1:2", "--chart", "c.png", "f.vtu"},
         [](auto& c) { return c.mode == Mode::PlotLine && c.chart == "c.png"; }},
        {"--plot-line",
         {"--plot-line", "o.csv", "--line", "0,0.5,-1e-3:2,1,3", "--lists", "2:4", "m.vtu"},
         [](auto& c) {
             return c.mode == Mode::PlotLine && c.output == "o.csv" && c.samples == 100 &&
                    c.lists.first == 2 && c.lists.last == 4 && c.file == "m.vtu";
         }},
        {"--line",
         {"--plot-line=o.csv", "--line=0,0.5,-1e-3:2,1,3", "--lists=1:1", "m.vtu"},
         [](auto& c) { return c.line == std::array<double, 6>{0, 0.5, -1e-3, 2, 1, 3}; }},
        {"--samples",
         {"--plot-line", "o.csv", "--line", "0,0,0:1,1,1", "--samples", "2", "--lists", "1:1", "m.vtu"},
         [](auto& c) { return c.samples == 2; }},
        {"--list", picture({"--list", "3", "--list=1"}),
         [](auto& c) {
             return c.view.lists == std::vector<int>{3, 1} && c.view.deformed_list == 1;
         }},
        {"--nodes", picture({"--nodes"}), [](auto& c) { return c.view.nodes; }},
        {"--mesh", picture({"--mesh"}), [](auto& c) { return c.view.mesh; }},
        {"--deformed-mesh", picture({"--deformed-mesh"}), [](auto& c) { return c.view.deformed_mesh; }},
        {"--node-numbers", picture({"--node-numbers"}), [](auto& c) { return c.view.node_numbers; }},
        {"--element-numbers", picture({"--element-numbers"}), [](auto& c) { return c.view.element_numbers; }},
        {"--extremes", picture({"--extremes"}), [](auto& c) { return c.view.extremes; }},
        {"--bands", picture({"--bands"}), [](auto& c) { return c.view.bands; }},
        {"--negative", picture({"--negative"}), [](auto& c) { return c.view.negative; }},
        {"--scientific", picture({"--scientific"}), [](auto& c) { return c.view.scientific; }},
        {"--legend", picture({"--legend"}), [](auto& c) { return c.view.legend; }},
        {"--solid", picture({"--solid"}), [](auto& c) { return c.view.solid; }},
        {"--range", picture({"--range", "-1.5:2e3"}),
         [](auto& c) {
             return c.view.common_range && c.view.range == std::array<std::string, 2>{"-1.5", "2e3"};
         }},
        {"--displacement", picture({"--displacement", "2.5"}),
         [](auto& c) {
             return c.view.displacement_factor.read() == 2.5 && c.view.displacement_slider == 50;
         }},
        {"--displacement", picture({"--displacement", "-3:100"}),
         [](auto& c) {
             return c.view.displacement_factor.read() == -3 && c.view.displacement_slider == 100;
         }},
        {"--displacement-field", picture({"--displacement-field", "Deformation"}),
         [](auto& c) { return c.view.displacement_field == std::optional<std::string>("Deformation"); }},
        {"--displacement-field", picture({"--displacement-field=none"}),
         [](auto& c) { return c.view.displacement_field == std::optional<std::string>(""); }},
        {"--arrows", picture({"--arrows"}),
         [](auto& c) { return c.view.arrows && c.view.arrow_field.empty(); }},
        // The field only after '=': the next argument stays the result file.
        {"--arrows",
         {"--picture", "p.png", "--arrows", "f.txt"},
         [](auto& c) { return c.view.arrows && c.view.arrow_field.empty() && c.file == "f.txt"; }},
        {"--arrows", picture({"--arrows=FORC"}),
         [](auto& c) { return c.view.arrows && c.view.arrow_field == "FORC"; }},
        {"--arrow-factor", picture({"--arrow-factor", "2.5"}),
         [](auto& c) { return c.view.arrow_factor.read() == 2.5; }},
        {"--fit", picture({"--fit"}), [](auto& c) { return c.view.fit && !c.view.open_fitted; }},
        {"--transparency", picture({"--transparency", "40"}),
         [](auto& c) { return c.view.transparency == 40; }},
        {"--clip", picture({"--clip", "1,0,-0.5,2"}),
         [](auto& c) {
             return c.view.clip && clip_of(c.view) == std::array<double, 4>{1, 0, -0.5, 2};
         }},
        {"--filter", picture({"--filter", "-1,2,10"}),
         [](auto& c) {
             return c.view.filter == std::array<int, 3>{-1, 2, 10};
         }},
        {"--blocks", picture({"--blocks", "plate,block 30"}),
         [](auto& c) {
             return c.view.shown_blocks == std::vector<std::string>{"plate", "block 30"} &&
                    c.view.hidden_blocks.empty();
         }},
        {"--view", picture({"--view", "front"}), [](auto& c) { return c.view.view == PresetView::Front; }},
        {"--view", picture({"--view", "back"}), [](auto& c) { return c.view.view == PresetView::Back; }},
        {"--view", picture({"--view", "top"}), [](auto& c) { return c.view.view == PresetView::Top; }},
        {"--view", picture({"--view", "bottom"}), [](auto& c) { return c.view.view == PresetView::Bottom; }},
        {"--view", picture({"--view", "left"}), [](auto& c) { return c.view.view == PresetView::Left; }},
        {"--view", picture({"--view", "right"}), [](auto& c) { return c.view.view == PresetView::Right; }},
        {"--orbit", picture({"--orbit", "-30,45"}),
         [](auto& c) { return c.view.orbit_pitch == -30 && c.view.orbit_turn == 45; }},
        {"--zoom", picture({"--zoom", "1.5"}), [](auto& c) { return c.view.zoom == 1.5; }},
        {"--pan", picture({"--pan", "10,-20.5"}),
         [](auto& c) { return c.view.pan_x == 10 && c.view.pan_y == -20.5; }},
        {"--size", picture({"--size", "640x480"}),
         [](auto& c) { return c.view.width == 640 && c.view.height == 480; }},
        {"--scale", picture({"--scale", "2"}), [](auto& c) { return c.view.scale == 2; }},
        {"--title", picture({"--title"}), [](auto& c) { return c.view.title; }},
        {"--scale-figure", picture({"--scale-figure", "2"}),
         [](auto& c) { return c.view.figure_scale == 2; }},
    };
    std::set<std::string> covered;
    for (const Good& g : cases) {
        std::string joined;
        for (const std::string& a : g.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        EXPECT_TRUE(g.holds(parse(g.args)));
        covered.insert(g.option);
    }
    // A new option comes with its case here.
    for (const Option& o : options())
        EXPECT_TRUE(covered.contains(std::string(o.name))) << o.name << " has no case";
}

struct Bad {
    std::vector<std::string> args;
    std::string message;
};

TEST(CommandLine, BadCommandLinesNameTheirArgument) {
    const std::vector<Bad> cases = {
        {picture({"--colour"}), "unknown option --colour"},
        {{"--frobnicate", "f.txt"}, "unknown option --frobnicate"},
        {picture({"--displacement-field="}),
         "bad value '' for --displacement-field (expected a field name or none)"},
        {picture({"--fit=1"}), "option --fit takes no value"},
        {picture({"--arrows="}), "bad value '' for --arrows (expected a field name)"},
        {picture({"--arrow-factor", "0"}), "bad value '0' for --arrow-factor (expected a factor above 0)"},
        {picture({"--arrow-factor", "x"}), "bad value 'x' for --arrow-factor (expected a factor above 0)"},
        {{"--mesh", "f.txt"}, "option --mesh needs one of --picture, --video, --history, --plot-line"},
        {{"--info"}, "--info needs a result file"},
        {{"--info", "a.txt", "b.txt"}, "unexpected argument b.txt"},
        {{"--convert", "out.vtu"}, "--convert needs an output file and a result file"},
        {{"--convert", "out.vtu", "a.txt", "b.txt"}, "unexpected argument b.txt"},
        {{"--convert", "out.vtk", "a.txt"},
         "bad value 'out.vtk' for --convert (expected OUT ending in .vtu or .txt)"},
        {{"--convert", ".txt", "a.txt"},
         "bad value '.txt' for --convert (expected OUT ending in .vtu or .txt)"},
        {{"--picture", "a.png", "--video", "b.avi", "f.txt"}, "--picture and --video cannot be combined"},
        {{"--picture", "a.png"}, "no result file given"},
        {{"--picture", "a.png", "f.txt", "g.txt"}, "unexpected argument g.txt"},
        {{"--picture", "a.png", "f.txt", "--size"}, "option --size needs a value"},
        {picture({"--mesh=yes"}), "option --mesh takes no value"},
        {picture({"--zoom", "2", "--zoom", "3"}), "option --zoom given twice"},
        {{"--picture=", "f.txt"}, "bad value '' for --picture"},
        {{"--video", "v.avi", "f.txt"}, "--video needs --lists A:B[:S]"},
        {{"--history", "3", "f.txt"}, "--history needs --lists A:B[:S]"},
        {{"--plot-line", "o.csv", "--line", "0,0,0:1,1,1", "f.vtu"}, "--plot-line needs --lists A:B[:S]"},
        {{"--plot-line", "o.csv", "--lists", "1:2", "f.vtu"}, "--plot-line needs --line X1,Y1,Z1:X2,Y2,Z2"},
        {{"--plot-line", "o.csv", "--lists", "1:2", "--line", "0,0,0:1,1", "f.vtu"},
         "bad value '0,0,0:1,1' for --line (expected X1,Y1,Z1:X2,Y2,Z2, six numbers)"},
        {{"--plot-line", "o.csv", "--lists", "1:2", "--line", "0,0,0;1,1,1", "f.vtu"},
         "bad value '0,0,0;1,1,1' for --line (expected X1,Y1,Z1:X2,Y2,Z2, six numbers)"},
        {{"--plot-line", "o.csv", "--lists", "1:2", "--line", "0,0,x:1,1,1", "f.vtu"},
         "bad value '0,0,x:1,1,1' for --line (expected X1,Y1,Z1:X2,Y2,Z2, six numbers)"},
        {{"--plot-line", "o.csv", "--lists", "1:2", "--line", "0,0,0:1,1,1", "--samples", "1", "f.vtu"},
         "bad value '1' for --samples (expected an integer from 2 to 1000000)"},
        {picture({"--line", "0,0,0:1,1,1"}), "option --line does not apply to --picture"},
        {{"--history", "x3", "--lists", "1:2", "f.txt"}, "bad value 'x3' for --history"},
        {{"--history", "3", "--lists", "1:2", "--mesh", "f.txt"},
         "option --mesh does not apply to --history"},
        {{"--video", "v.avi", "--lists", "1:2", "--list", "1", "f.txt"},
         "option --list does not apply to --video"},
        {picture({"--lists", "1:2"}), "option --lists does not apply to --picture"},
        {picture({"--fps", "5"}), "option --fps does not apply to --picture"},
        {picture({"--tag", "A"}), "option --tag does not apply to --picture"},
        {{"--video", "v.avi", "--lists", "0:5", "f.txt"}, "bad value '0:5' for --lists"},
        {{"--video", "v.avi", "--lists", "1:5:0", "f.txt"}, "bad value '1:5:0' for --lists"},
        {{"--video", "v.avi", "--lists", "1", "f.txt"}, "bad value '1' for --lists"},
        {{"--video", "v.avi", "--lists", "1:2:3:4", "f.txt"}, "bad value '1:2:3:4' for --lists"},
        {{"--video", "v.avi", "--lists", "1:2", "--fps", "0", "f.txt"}, "bad value '0' for --fps"},
        {{"--video", "v.avi", "--lists", "1:2", "--fps", "101", "f.txt"}, "bad value '101' for --fps"},
        {{"--history", "1", "--lists", "1:2", "--tag", "a/b", "f.txt"}, "bad value 'a/b' for --tag"},
        {picture({"--list", "0"}), "bad value '0' for --list"},
        {picture({"--list", "two"}), "bad value 'two' for --list"},
        {picture({"--range", "1"}), "bad value '1' for --range"},
        {picture({"--range", "a:2"}), "bad value 'a:2' for --range"},
        {picture({"--displacement", "x"}), "bad value 'x' for --displacement"},
        {picture({"--displacement", "1:101"}), "bad value '1:101' for --displacement"},
        {picture({"--transparency", "-1"}), "bad value '-1' for --transparency"},
        {picture({"--transparency", "50%"}), "bad value '50%' for --transparency"},
        {picture({"--clip", "1,2,3"}), "bad value '1,2,3' for --clip"},
        {picture({"--clip", "1,2,3,z"}), "bad value '1,2,3,z' for --clip"},
        {picture({"--filter", "1,2"}), "bad value '1,2' for --filter"},
        {picture({"--filter", "1,2,11"}), "bad value '1,2,11' for --filter"},
        {picture({"--view", "sideways"}), "bad value 'sideways' for --view"},
        {picture({"--blocks", "plate,,tip"}), "bad value 'plate,,tip' for --blocks"},
        {picture({"--blocks", ""}), "bad value '' for --blocks"},
        {picture({"--orbit", "30"}), "bad value '30' for --orbit"},
        {picture({"--zoom", "0"}), "bad value '0' for --zoom"},
        {picture({"--zoom", "-1"}), "bad value '-1' for --zoom"},
        {picture({"--zoom", "1e300"}), "bad value '1e300' for --zoom"},
        {picture({"--pan", "1;2"}), "bad value '1;2' for --pan"},
        {picture({"--size", "800"}), "bad value '800' for --size"},
        {picture({"--size", "0x600"}), "bad value '0x600' for --size"},
        {picture({"--size", "800x9000"}), "bad value '800x9000' for --size"},
        {picture({"--size", "800x600x2"}), "bad value '800x600x2' for --size"},
        {picture({"--scale", "3"}), "bad value '3' for --scale"},
        {picture({"--scale-figure", "3"}), "bad value '3' for --scale-figure"},
        {picture({"--title=x"}), "option --title takes no value"},
        {{"--video", "v.avi", "--lists", "1:2", "--title", "f.txt"},
         "option --title does not apply to --video"},
        {{"--video", "v.avi", "--lists", "1:2", "--size", "7x100", "f.txt"}, "bad value '7x100' for --size"},
        // Control bytes of an argument never reach the terminal raw: the message stays one line.
        {picture({"--legend\n--orbit"}), "unknown option --legend\\x0A--orbit"},
        {picture({"--view", "\x1B[2Jtop"}), "bad value '\\x1B[2Jtop' for --view"},
    };
    for (const Bad& b : cases) {
        std::string joined;
        for (const std::string& a : b.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const std::string message = error_of(b.args);
        EXPECT_EQ(message.substr(0, b.message.size()), b.message) << message;
    }
}

// --help is printed from the table: each option shown with its value's form
// and the first line of its description on one line, the viewer's hidden
// options not at all, and every line fits a terminal of 80 columns.
TEST(CommandLine, HelpShowsEveryOptionOfTheTable) {
    const std::string help = help_text();
    std::set<std::string_view> names;
    for (const Option& o : options()) {
        SCOPED_TRACE(std::string(o.name));
        EXPECT_TRUE(names.insert(o.name).second) << "two rows";
        EXPECT_TRUE(o.name.starts_with("--"));
        std::string form(o.name);
        if (!o.value.empty()) form += (o.value.starts_with("[=") ? "" : " ") + std::string(o.value);
        if (o.help.empty()) {
            EXPECT_EQ(help.find(form + " "), std::string::npos);
            continue;
        }
        const std::string first_line(o.help.substr(0, o.help.find('\n')));
        std::size_t at = help.find(" " + form + " ");
        if (at == std::string::npos) at = help.find(" " + form + "\n");
        ASSERT_NE(at, std::string::npos);
        const std::size_t line_end = help.find('\n', at);
        const std::size_t next_end = help.find('\n', line_end + 1);
        // On its line, or on the next when the form fills the column.
        EXPECT_NE(help.substr(at, next_end - at).find(first_line), std::string::npos);
    }
    std::size_t start = 0;
    for (std::size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
        std::size_t columns = 0; // UTF-8: count the first byte of each character
        for (std::size_t i = start; i < end; ++i)
            columns += (static_cast<unsigned char>(help[i]) & 0xC0) != 0x80;
        EXPECT_LE(columns, 80u) << help.substr(start, end - start);
    }
}

} // namespace
} // namespace orv::cli
