#pragma once
// Framing: the model object's scale and position that show the whole model
// centred in the 3D view, turning about its centre ("Enquadrar", F, --fit;
// how files of other formats than the native one open).
//
// The model frame is world = position + scale x file coordinates (the pan
// offset and the model scale of the viewport). The camera turns about the
// world origin, so a framing puts the centre of the model's bounding box
// there. The scale makes the box, as the camera sees it at scene scale 1,
// fill kFitFill of the view's width or height, whichever is reached first,
// and keeps its depth inside the camera's depth of view.

#include "viewer/model/result_model.h"
#include "viewer/view/camera.h"

namespace orv::view {

// The share of the view's width or height that a framed model fills.
inline constexpr double kFitFill = 0.9;

// Undeformed bounding box of the nodes that are drawn (file coordinates);
// non-finite coordinates are left out. `empty` when no node counts.
struct BoundingBox {
    Vec3d min{0, 0, 0}, max{0, 0, 0};
    bool empty = true;
};
BoundingBox model_bounds(const ResultModel& model);

struct Framing {
    float scale = 1;         // on every axis
    Vec3f position{0, 0, 0}; // of the model object (the pan offset)
};

// The framing of `model` seen by `camera` (its orientation; the scene scale
// is taken as 1) in a w x h view (pixels, an empty view taken as 1 x 1). A
// model without drawn nodes, or one whose box is a single point, keeps the
// model's own scale and is centred on that point.
Framing fit_framing(const ResultModel& model, const Camera& camera, int w, int h);

} // namespace orv::view
