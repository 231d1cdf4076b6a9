#include "viewer/view/view_settings.h"

#include "viewer/legend/colour_scale.h"
#include "viewer/legend/common_range.h"
#include "viewer/model/displacement_fields.h"
#include "viewer/render/arrows.h"
#include "viewer/render/render_plan.h"
#include "viewer/view/framing.h"
#include "viewer/view/interaction.h"

#include <algorithm>

namespace orv::view {

void set_lists(ViewSettings& s, const std::vector<int>& lists) {
    s.lists = lists;
    s.deformed_list = lists.empty() ? 0 : *std::min_element(lists.begin(), lists.end());
}

std::vector<bool> plot_checks(const ViewSettings& s, const ResultModel& model) {
    std::vector<bool> checked(static_cast<std::size_t>(display_list_count(model.nlista)), false);
    checked[0] = s.nodes;
    checked[1] = s.mesh;
    checked[2] = s.deformed_mesh;
    checked[3] = s.node_numbers;
    checked[4] = s.element_numbers;
    for (int k : s.lists)
        if (k >= 1 && k <= model.nlista) checked[static_cast<std::size_t>(kFixList + k - 1)] = true;
    return checked;
}

RenderPassInputs render_pass_inputs(const ViewSettings& s, const ResultModel& model, bool changes,
                                    bool changes1) {
    RenderPassInputs in;
    in.model = &model;
    in.checked = plot_checks(s, model);
    in.changes = changes;
    in.changes1 = changes1;
    in.clip_plane = s.clip_plane;
    in.clip_enabled = s.clip;
    in.factor = s.displacement_factor;
    in.chbox = 3 * s.deformed_list;
    in.undeformed_lines = s.undeformed_lines;
    in.extremes = s.extremes;
    in.extremes_scientific = s.scientific;
    in.arrows = {s.arrows, s.arrow_field, s.arrow_factor};

    ColourListSettings& c = in.colours;
    c.displacement_position = s.displacement_slider;
    c.transparency_position = s.transparency;
    c.solid = s.solid;
    c.negative = s.negative;
    c.trgb = s.negative ? 1 : 0;
    c.banded = s.bands;
    c.filters = s.filter;
    c.hidden_blocks = s.hidden_blocks;
    c.legmax = s.common_range ? 1 : 0;
    c.line_def_w = s.deformed_lines.width;
    c.line_def_rgb = s.deformed_lines.grey;
    c.line_def_t = s.deformed_lines.opacity;
    return in;
}

LegendInputs legend_inputs(const ViewSettings& s, const ResultModel& model) {
    LegendInputs in;
    in.colours = legcolor;
    in.trgb = s.negative ? 1 : 0;
    in.banded = s.bands;
    in.scientific = s.scientific;
    const std::vector<bool> checked = plot_checks(s, model);
    in.range = legend_range(model, kFixList, s.common_range ? 1 : 0, [&checked](int item) {
        return item >= 0 && static_cast<std::size_t>(item) < checked.size() &&
               checked[static_cast<std::size_t>(item)];
    });
    // With no result list checked the arrows are the coloured thing: the
    // legend tells their magnitudes (an unknown field is reported by the pass).
    if (s.arrows && s.lists.empty()) {
        try {
            in.range = magnitude_range(model, arrow_source(model, s.arrow_field, s.deformed_list));
        } catch (const std::invalid_argument&) {
        }
    }
    return in;
}

std::vector<std::uint8_t> hidden_blocks_except(const std::vector<std::string>& shown,
                                               const ResultModel& model) {
    std::vector<std::uint8_t> hidden(model.block_names.size(), 1);
    for (const std::string& name : shown) {
        const auto it = std::find(model.block_names.begin(), model.block_names.end(), name);
        if (it == model.block_names.end()) {
            std::string known;
            for (const std::string& n : model.block_names)
                known += (known.empty() ? "" : ", ") + n;
            throw std::invalid_argument(
                "No element block named '" + name + "'" +
                (known.empty() ? "; the file has none" : "; the blocks are " + known));
        }
        // Every block of that name: a file may give two blocks one name.
        for (std::size_t b = 0; b < model.block_names.size(); ++b)
            if (model.block_names[b] == name) hidden[b] = 0;
    }
    return hidden;
}

void apply_shown_blocks_of(ViewSettings& s, const ResultModel& model) {
    if (s.shown_blocks) s.hidden_blocks = hidden_blocks_except(*s.shown_blocks, model);
}

void check_arrow_field_of(const ViewSettings& s, const ResultModel& model) {
    if (s.arrows) arrow_source(model, s.arrow_field, s.deformed_list);
}

void load_colour_scale(const ViewSettings& s) {
    if (s.scale == 1 || s.scale == 2) load_legend(s.scale - 1);
}

void apply_common_range_of(const ViewSettings& s, ResultModel& model) {
    if (!s.common_range) return;
    CommonRangeInput in;
    in.checked = true;
    in.minimum = s.range[0];
    in.maximum = s.range[1];
    in.valmin = model.valmin;
    in.valmax = model.valmax;
    if (model.maxlista.empty()) model.maxlista.push_back({0, 0});
    int legmax = 0;
    apply_common_range(in, {legmax, model.maxlista[0]});
}

void apply_displacement_field_of(const ViewSettings& s, ResultModel& model) {
    if (s.displacement_field) set_displacement_field(model, *s.displacement_field);
}

std::array<double, 2> preset_orbit_of(PresetView v) {
    switch (v) {
    case PresetView::Front:
        return {0, 0};
    case PresetView::Back:
        return {0, 180};
    case PresetView::Top:
        return {-90, 0};
    case PresetView::Bottom:
        return {90, 0};
    case PresetView::Left:
        return {0, -90};
    case PresetView::Right:
        return {0, 90};
    }
    return {0, 0};
}

void set_zoom(Camera& camera, SceneObject& axes, float scale) {
    camera.set_scene_scale(scale);
    const float a = axes_symbol_scale(camera.scene_scale());
    axes.set_scale({a, a, a});
}

double place_camera(const ViewSettings& s, const ResultModel& model, Camera& camera,
                    SceneObject& model_object, SceneObject& axes) {
    const float m = static_cast<float>(model.scene_scale());
    model_object.set_scale({m, m, m});
    const auto frame = [&] {
        const Framing f = fit_framing(model, camera, s.width, s.height);
        model_object.set_scale({f.scale, f.scale, f.scale});
        model_object.set_position(f.position);
        axes.set_position(f.position);
    };
    double tur = apply_preset_view(camera, 0);
    if (s.open_fitted) frame();
    const auto preset = preset_orbit_of(s.view);
    if (preset[0] != 0 || preset[1] != 0) {
        camera.orbit(preset[0], preset[1]);
        tur += preset[1];
    }
    if (s.orbit_pitch != 0 || s.orbit_turn != 0) {
        camera.orbit(s.orbit_pitch, s.orbit_turn);
        tur += s.orbit_turn;
    }
    if (s.fit) frame();
    set_zoom(camera, axes, static_cast<float>(s.zoom));
    if (s.pan_x != 0 || s.pan_y != 0) {
        PanInput in;
        in.camera = camera.position();
        in.tur = tur;
        in.view_width = s.width;
        in.view_height = s.height;
        in.scene_scale = camera.scene_scale();
        in.speed = 50;
        in.x = s.pan_x;
        in.y = s.pan_y;
        Vec3f model_pos = model_object.position(), axes_pos = axes.position();
        pan_objects(in, model_pos, axes_pos);
        model_object.set_position(model_pos);
        axes.set_position(axes_pos);
    }
    return tur;
}

} // namespace orv::view
