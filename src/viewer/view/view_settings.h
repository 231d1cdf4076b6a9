#pragma once
// One description of the 3D view and its legend, for every front end: the
// viewer window fills ViewSettings from its controls at each paint, the
// command line from its view options, and the mappings below turn it into
// the inputs of the render pass, of the legend and of the camera. Both front
// ends build those inputs only here, so the same settings draw the same
// picture (plain C++: no Qt, no OpenGL).
//
// Every member has the value of the window's control when a file has just
// been opened.

#include "viewer/legend/legend_layout.h"
#include "viewer/model/number_text.h"
#include "viewer/model/result_model.h"
#include "viewer/render/render_inputs.h"
#include "viewer/view/camera.h"
#include "viewer/view/scene.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv::view {

// The six views of --view, each reached from the front view (camera at
// (0, 0, 30)) by an orbit; see preset_orbit_of.
enum class PresetView { Front, Back, Top, Bottom, Left, Right };

struct ViewSettings {
    // ---- "Lista de Plotagem" ----
    std::vector<int> lists;       // checked result lists, 1..nlista, any order
    bool nodes = false;           // "Nós"
    bool mesh = false;            // "Malha Indeformada"
    bool deformed_mesh = false;   // "Malha Deformada"
    bool node_numbers = false;    // "Numerção dos Nós"
    bool element_numbers = false; // "Num. dos Elementos"
    // "Extremos": the nodes of the lowest checked list's smallest and largest
    // value marked with their values.
    bool extremes = false;
    // The result list whose displacement places "Malha Deformada", 0 for the
    // nodes' own: the lowest checked list when the checks were last applied
    // (the window's chbox / 3; set_lists keeps it so).
    int deformed_list = 0;

    // ---- Colours ----
    bool bands = false;    // "Faixas de Cores"
    bool negative = false; // "Legenda Negativa": bands 1 - c, continuous map and legend reversed
    bool solid = false;    // "Malha Sólida"
    int transparency = 0;  // "Transparência" 0..100
    // Element-type filters "ETp 1".."ETp 3", -1..10 (element_filter_passes).
    std::array<int, 3> filter{-1, -1, -1};
    // Block filter "Blocos": 1 for each block of the model (index into its
    // block_names) whose elements are not coloured; empty hides none.
    std::vector<std::uint8_t> hidden_blocks;
    // --blocks: the only blocks coloured, by name; apply_shown_blocks_of
    // turns them into hidden_blocks once the file is read. No value: all.
    std::optional<std::vector<std::string>> shown_blocks;
    // Colour scale loaded into the process-wide table before drawing:
    // 1 "Escala 1", 2 "Escala 2", 0 the table as it stands (the window's,
    // which its colour editor may have changed).
    int scale = 1;

    // ---- Displacement ----
    RealField displacement_factor = RealField::of(1); // "Fator de Multiplicação"
    int displacement_slider = 50;                     // "Escala Deslocamento" 0..100
    // "Deslocamento": the three-component nodal field that displaces every
    // list of its step (model/displacement_fields.h); "" for none; no value:
    // the file's own displacement (the name rule of imported formats).
    std::optional<std::string> displacement_field;

    // ---- Arrows ("Setas", render/arrows.h) ----
    bool arrows = false;
    std::string arrow_field;                   // "" the displacement, else a three-component nodal field
    RealField arrow_factor = RealField::of(1); // the factor beside the check box

    // ---- Legend ----
    bool legend = false;     // "Legenda": the legend view shown at the top left
    bool scientific = false; // "Notação Científica"
    // "> Valores Máximos": every list coloured against the common range
    // (row 0 of maxlista), given by the two fields as typed (0, 0: the range
    // of the whole file). The window applies the fields in its handlers; a
    // batch run once, through apply_common_range_of.
    bool common_range = false;
    std::array<std::string, 2> range{"0", "0"};

    // ---- Clip plane and lines ----
    // "Clip Plane": a x + b y + c z + d >= 0 keeps a point, file coordinates.
    bool clip = false;
    std::array<RealField, 4> clip_plane{RealField::of(0), RealField::of(0), RealField::of(0),
                                        RealField::of(0)};
    OutlineStyle undeformed_lines; // "Linhas", "Malha Indeformada:"
    OutlineStyle deformed_lines;   // "Linhas", "Malha Deformada:"

    // ---- Framing (view/framing.h) ----
    // The file opened framed, as every format but the native one does: the
    // framing of the front view, before the preset view and the orbit.
    bool open_fitted = false;
    // "Enquadrar" (F, --fit): framed as the camera sees the model after the
    // preset view and the orbit; the zoom and the pan then apply to that.
    bool fit = false;

    // ---- Camera (a batch run; the window's camera is its own interactive state) ----
    PresetView view = PresetView::Front;
    double orbit_pitch = 0, orbit_turn = 0; // degrees, after the preset, as a left drag
    double zoom = 1;                        // scene scale, > 0
    double pan_x = 0, pan_y = 0;            // pixels, x right, y down, as a right drag
    int width = 1024, height = 768;         // the 3D view in pixels

    // ---- Figure (--picture; the window's "Salvar Figura" lays out its own) ----
    bool title = false;   // the title line above the view
    int figure_scale = 1; // 1 or 2: the figure drawn at that many pixels a pixel
};

// Checks exactly `lists` (result lists 1..nlista) and places the deformed
// mesh by the lowest of them, as a click in the plot list does.
void set_lists(ViewSettings& s, const std::vector<int>& lists);

// Plot items 0..nlista + 4 checked by the settings (item i owns display list
// i + 1; result list k is item kFixList + k - 1).
std::vector<bool> plot_checks(const ViewSettings& s, const ResultModel& model);

// What a render pass reads for these settings; `changes` and `changes1` are
// the caller's flags of what changed since its last completed pass.
RenderPassInputs render_pass_inputs(const ViewSettings& s, const ResultModel& model, bool changes,
                                    bool changes1);

// What the legend shows for these settings, in the colours of the
// process-wide table (legcolor).
LegendInputs legend_inputs(const ViewSettings& s, const ResultModel& model);

// Loads the settings' colour scale into the process-wide table (nothing for 0).
void load_colour_scale(const ViewSettings& s);

// Applies the common range when the settings ask for it: row 0 of maxlista
// (added when missing) from the two fields. Throws InvalidReal for a field
// that is not a number. Nothing when common_range is off.
void apply_common_range_of(const ViewSettings& s, ResultModel& model);

// Makes the settings' displacement field that of every list (nothing when
// the settings keep the file's). Throws std::invalid_argument, naming the
// fields there are, for a field the model lacks.
void apply_displacement_field_of(const ViewSettings& s, ResultModel& model);

// The block filter that colours only the blocks named: 1 for every other
// block of the model (see ViewSettings::hidden_blocks). Throws
// std::invalid_argument naming the first unknown block and the blocks the
// file has.
std::vector<std::uint8_t> hidden_blocks_except(const std::vector<std::string>& shown,
                                               const ResultModel& model);

// Sets hidden_blocks from shown_blocks when the settings have them (nothing
// otherwise); throws as hidden_blocks_except does.
void apply_shown_blocks_of(ViewSettings& s, const ResultModel& model);

// Throws std::invalid_argument, naming the fields there are, when the
// settings draw arrows of a field the model lacks.
void check_arrow_field_of(const ViewSettings& s, const ResultModel& model);

// Pitch and turn (degrees) that bring the camera from the front view to `v`.
// Top and bottom stop at the orbit's pole margin, as a pitch of +-90 does in
// the viewer.
std::array<double, 2> preset_orbit_of(PresetView v);

// The scene scale of the 3D camera, the axes symbol scaled so that it keeps
// its size on screen (the wheel, the toolbar and --zoom).
void set_zoom(Camera& camera, SceneObject& axes, float scale);

// Places the 3D view's camera and objects of a freshly built model scene
// (viewer_scenes.h) for the settings: the model's scale, the preset view,
// the orbit, the zoom, then the pan, each as the viewer's toolbar, left drag,
// wheel and right drag at the default mouse speed do it. Returns the camera
// azimuth `tur` in degrees. With open_fitted the model is framed for the
// front view first; with fit, again after the orbit (the scene scale then 1).
double place_camera(const ViewSettings& s, const ResultModel& model, Camera& camera,
                    SceneObject& model_object, SceneObject& axes);

} // namespace orv::view
