// Level of detail of the 3D view while the user turns, pans or zooms it: the
// render pass builds coarse lists for large models and replays them while
// level_of_detail().interacting holds (and the last full replay was too slow
// for a fluid turn; render/render_pass_gl.h). Here the window says when an
// interaction runs: from a left or right button press with the view's mouse
// control active to its release, and from a wheel step until kLodWheelRestMs
// after the last one. When it ends and the view shows a coarse picture, the
// view repaints with the full lists.

#include "viewer/Unit2.h"

#include "ui/gl_scene_viewer.h"

#include <QMouseEvent>
#include <QTimer>

#include <algorithm>

namespace orv {

RenderPassInputs::LevelOfDetail TForm2::level_of_detail() const {
    RenderPassInputs::LevelOfDetail lod;
    // About five pixels per cell when the model fills the view.
    const double pixels =
        std::min(GLSceneViewer1->width(), GLSceneViewer1->height()) * GLSceneViewer1->devicePixelRatioF();
    lod.cells_across = std::max(16, static_cast<int>(pixels / 5));
    lod.interacting = lod_drag_ || (lod_wheel_timer_ && lod_wheel_timer_->isActive());
    return lod;
}

void TForm2::settle_level_of_detail() {
    lod_drag_ = false;
    if (lod_wheel_timer_) lod_wheel_timer_->stop();
    if (render_state.last_replay_coarse) GLSceneViewer1->render_now();
}

void TForm2::lod_press(const QMouseEvent* event) {
    const Qt::MouseButtons b = event->buttons();
    if (b == Qt::LeftButton || b == Qt::RightButton) lod_drag_ = true;
}

void TForm2::lod_release(const QMouseEvent* event) {
    if (!lod_drag_ || event->buttons() != Qt::NoButton) return;
    lod_drag_ = false;
    lod_end();
}

void TForm2::lod_wheel_step() {
    if (!lod_wheel_timer_) {
        lod_wheel_timer_ = new QTimer(this);
        lod_wheel_timer_->setSingleShot(true);
        connect(lod_wheel_timer_, &QTimer::timeout, this, [this] {
            if (!lod_drag_) lod_end();
        });
    }
    lod_wheel_timer_->start(kLodWheelRestMs);
}

void TForm2::lod_end() {
    if (render_state.last_replay_coarse) GLSceneViewer1->update();
}

} // namespace orv
