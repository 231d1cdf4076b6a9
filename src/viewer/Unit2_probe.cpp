// The probe of the viewer window: the node near the pointer in the 3D view,
// or else the value of the element point under it, shown in the status bar
// while the pointer hovers with no button down; Control + left click puts the
// nearest node into "Nó" (Edit9).
//
// The pick itself is plain C++ (view/pick.h); these handlers pass it the
// model, the layers the last render pass replayed and the view's camera, and
// show its answer. Hovering never holds up a turn or a pan: a probe runs from
// the event loop after the pointer events queued before it (so a burst of
// moves costs one probe), never while a button is down or a pass is running.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/model/number_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

namespace orv {

namespace {

QString qtext(double v) {
    return QString::fromStdString(shortest_text(v));
}

// A list's value: "sem valor" where the file had none.
QString value_qtext(double v) {
    return QString::fromStdString(value_text(v));
}

} // namespace

namespace {

struct PickInput {
    pick::PickScene scene;
    pick::PickView view;
};

} // namespace

static PickInput pick_input(const TForm2& f) {
    PickInput in;
    in.scene.model = &f.model;
    in.scene.layers = pick::layers_drawn(f.render_state);
    in.scene.clip = f.render_state.clip;
    in.view = pick::make_pick_view(*f.GLCamera1, *f.DirectOpenGL1, f.GLSceneViewer1->width(),
                                   f.GLSceneViewer1->height());
    return in;
}

std::optional<pick::PickHit> TForm2::probe_node(double x, double y) {
    const PickInput in = pick_input(*this);
    return node_picker.probe(in.scene, in.view, x, y);
}

QString TForm2::hover_text(double x, double y) {
    const PickInput in = pick_input(*this);
    if (const auto hit = node_picker.probe(in.scene, in.view, x, y)) return probe_text(hit->node);
    if (const auto hit = node_picker.probe_element(in.scene, in.view, x, y)) return probe_text(*hit);
    return {};
}

QString TForm2::probe_text(const pick::ElementHit& hit) const {
    const std::array<double, 3> at = position_at(model, hit.element, hit.at);
    QString text = QStringLiteral("Elem ") + QString::number(model.element_label(hit.element)) +
                   QStringLiteral("   ") + qtext(at[0]) + QLatin1Char(' ') + qtext(at[1]) + QLatin1Char(' ') +
                   qtext(at[2]);
    if (const int k = lowest_checked_list(); k > 0)
        text += QStringLiteral("   ") + CheckListBox1->item(kFixList + k - 1)->text() + QStringLiteral(": ") +
                value_qtext(list_value_at(model, hit.element, hit.at, k));
    text += QStringLiteral("   (Nó ") +
            QString::number(model.node_label(static_cast<std::size_t>(hit.nearest_node))) + QLatin1Char(')');
    return text;
}

QString TForm2::probe_text(std::int32_t node) const {
    const auto n = static_cast<std::size_t>(node);
    QString text = QStringLiteral("Nó ") + QString::number(model.node_label(n)) + QStringLiteral("   ") +
                   qtext(model.coord(n, 1)) + QLatin1Char(' ') + qtext(model.coord(n, 2)) + QLatin1Char(' ') +
                   qtext(model.coord(n, 3));
    for (int k = 1; k <= model.nlista; ++k) {
        if (!plot_item_checked(kFixList + k - 1)) continue;
        // The plot item shows the list's name as the user knows it.
        text += QStringLiteral("   ") + CheckListBox1->item(kFixList + k - 1)->text() + QStringLiteral(": ") +
                value_qtext(model.listas(n, static_cast<std::size_t>(k)));
        break;
    }
    return text;
}

void TForm2::show_probe_text(const QString& text) {
    if (probe_shown_ && *probe_shown_ == text) return;
    probe_shown_ = text;
    ui::show_status(text);
}

void TForm2::queue_probe(double x, double y) {
    probe_at_ = {x, y};
    if (probe_queued_) return;
    probe_queued_ = true;
    QTimer::singleShot(0, this, [this] {
        probe_queued_ = false;
        if (buttons_down_ != Qt::NoButton || !pointer_inside_) return;
        if (GLSceneViewer1->rendering()) {
            // A pass is compiling lists and letting events through: ask again after it.
            queue_probe(probe_at_.x(), probe_at_.y());
            return;
        }
        ui::guarded(this, [this] { GLSceneViewer1Probe(probe_at_.x(), probe_at_.y()); });
    });
}

void TForm2::GLSceneViewer1Probe(double x, double y) {
    show_probe_text(hover_text(x, y));
}

void TForm2::GLSceneViewer1PickNode(double x, double y) {
    const std::optional<pick::PickHit> hit = probe_node(x, y);
    if (!hit) return;
    Edit9->setText(QString::number(model.node_label(static_cast<std::size_t>(hit->node))));
    show_probe_text(probe_text(hit->node));
    if (!Panel1->isVisible()) Panel1->show();
    if (GroupBox8->isHidden()) {
        ComboBox1->setCurrentIndex(6);
        ComboBox1Change();
    }
}

void TForm2::probe_mouse_event(const QMouseEvent* event) {
    buttons_down_ = event->buttons();
    if (event->type() != QEvent::MouseMove) return;
    pointer_inside_ = true; // a move over the view says so, entered or not
    if (event->buttons() == Qt::NoButton) queue_probe(event->position().x(), event->position().y());
}

void TForm2::probe_pointer_inside(bool inside) {
    pointer_inside_ = inside;
    // The text said what was under the pointer; outside the view it says nothing.
    if (!inside && probe_shown_ && !probe_shown_->isEmpty()) ui::show_status(QString());
    probe_shown_.reset();
}

} // namespace orv
