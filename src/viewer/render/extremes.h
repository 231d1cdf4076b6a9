#pragma once
// The nodes of a result list's smallest and largest values, for the
// "Extremos" marks of the 3D view, and the plain parts of how the marks are
// drawn: their texts, whether a mark is hidden and the box behind a label.

#include "viewer/model/result_model.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orv {

struct ListExtremes {
    std::int32_t min_node = 0, max_node = 0; // 1..nnode
    double min = 0, max = 0;
    // Largest side of the bounding box of the nodes looked at (undeformed,
    // file units): the scale against which a mark counts as hidden.
    double size = 0;
    friend bool operator==(const ListExtremes&, const ListExtremes&) = default;
};

// Smallest and largest value of result list k (1..nlista) over the nodes the
// model draws (nodes inside volumes are left out); the lowest node number
// among equals. Nothing for a list out of range or a model without drawn
// nodes. NaN values are skipped.
std::optional<ListExtremes> find_extremes(const ResultModel& m, int k);

// Which end a label names: "mín V", "máx V", or "mín/máx V" when one node
// holds both.
enum class ExtremeEnd { Min, Max, Both };

// The label's text, V written as the legend writes its values (fixed with
// five decimals, or scientific with "Notação Científica").
std::u16string extreme_label(ExtremeEnd end, double value, bool scientific);

// Whether a mark is hidden by the surfaces drawn before it. `depth` is the
// mark's window depth (0 near .. 1 far); `around` the depth buffer at its
// pixel and the pixels next to it. The mark is hidden when every one of them
// lies in front of it by more than `tolerance`: a node on a visible surface
// finds its own surface at its pixel, and a node on a silhouette finds the
// background (depth 1) next to it. An empty `around` hides nothing.
bool extreme_hidden(double depth, std::span<const float> around, double tolerance);

// A rectangle in window pixels, origin bottom left.
struct PixelBox {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const PixelBox&, const PixelBox&) = default;
};

// Where a label goes for a mark at window pixel (x, y): its text's baseline
// starts at (x + 6, y + 6) x scale, and the light box behind it covers the
// text (Helvetica 12: accents up to 12 pixels above the baseline, descenders
// 3 below) with a margin of 2 pixels, all times `scale` (1, or 2 for a
// figure drawn at twice the size). text_width is the text's width at 1x.
struct LabelPlace {
    int text_x = 0, text_y = 0;
    PixelBox box;
    friend bool operator==(const LabelPlace&, const LabelPlace&) = default;
};
LabelPlace extreme_label_place(int x, int y, int text_width, int scale);

} // namespace orv
