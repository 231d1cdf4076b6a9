#pragma once
// What one render pass of the 3D view reads (render_pass_gl.h), as plain
// data: the plot checks, the clip plane, the displacement and the settings
// of the colour and outline lists. Filled by the mapping of a view's
// settings (view/view_settings.h), by tests and by benchmarks.

#include "viewer/model/number_text.h"
#include "viewer/model/result_model.h"
#include "viewer/render/colour_list.h"

#include <array>
#include <string>
#include <vector>

namespace orv {

// Line settings of an outline: grey level 0..1 (red = green = blue), opacity
// (alpha) and width in pixels.
struct OutlineStyle {
    double grey = 0.0;
    double opacity = 1.0;
    int width = 1;
};

// Everything a pass reads, taken when it starts.
struct RenderPassInputs {
    const ResultModel* model = nullptr; // must stay alive during the pass
    // Plot items 0..nlista + 4 (item i owns list i + 1); missing ones are unchecked.
    std::vector<bool> checked;
    bool changes = false;  // colours, ranges, scale or filters changed
    bool changes1 = false; // plot checks or line settings changed

    // Clip plane a x + b y + c z + d >= 0 keeps a point (glClipPlane), model frame.
    std::array<RealField, 4> clip_plane{RealField::of(0), RealField::of(0), RealField::of(0),
                                        RealField::of(0)};
    bool clip_enabled = false;

    // Displacement factor m (read only when a list that needs it compiles);
    // the slider position and the rest of the colour settings are in `colours`
    // (its `factor` and `deformed_checked` are set by the pass).
    RealField factor = RealField::of(1);
    ColourListSettings colours;

    // Level of detail (render_pass_gl.h). The defaults build and use no
    // coarse lists.
    struct LevelOfDetail {
        int cells_across = 0;     // grid cells along the model's largest side
        bool interacting = false; // the view is being turned or zoomed
    } lod;

    // Selector of the deformed outline (list 3): 3 x the lowest checked result
    // list, 0 when none.
    int chbox = 0;
    OutlineStyle undeformed_lines; // list 2
    // "Extremos": after the replay, the nodes of the lowest checked result
    // list's smallest and largest value are marked with their values, where
    // that list's colours put them (draw_extreme_marks).
    bool extremes = false;
    // Their values are written as the legend writes its labels ("Notação Científica").
    bool extremes_scientific = false;
    // "Setas": after the replay, arrows of a three-component nodal field at
    // the drawn nodes (render/arrows.h), on the shape the lowest checked list
    // is drawn on (else the deformed mesh when checked, else undeformed), cut
    // by the clip plane. Coloured by magnitude as the legend colours its range
    // (continuous or banded, negative) when no result list is checked, the
    // legend then showing their range; black over a coloured list, whose
    // legend they do not share.
    struct Arrows {
        bool shown = false;
        std::string field;                   // "" the displacement
        RealField factor = RealField::of(1); // the longest arrow's length, times kArrowFraction
    } arrows;
    // List 3 uses colours.line_def_w / line_def_rgb / line_def_t.
};

} // namespace orv
