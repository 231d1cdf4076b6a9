// Legend options of "Menu Geral": "Legenda", "Legenda Negativa", "Faixas de
// Cores", "Notação Científica" and the common range "> Valores Máximos" with
// Edit5 / Edit6, and the dragging of the floating legend view. They set
// fields and ask for repaints; the render pass and the legend view read the
// fields and the boxes at their next paint.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/event_hook.h"
#include "ui/gl_scene_viewer.h"
#include "ui/panel_widgets.h"
#include "viewer/legend/common_range.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>

#include <cmath>

namespace orv {

void TForm2::connect_legend_handlers() {
    connect(CheckBox3, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox3Click(); }));
    connect(CheckBox1, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox1Click(); }));
    connect(CheckBox8, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox8Click(); }));
    connect(CheckBox9, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox9Click(); }));
    connect(CheckBox5, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox5Click(); }));
    on_focus_out(this, {Edit5, Edit6}, [this](QObject* field) {
        if (field == Edit5) ui::guarded(this, [this] { Edit5Exit(); });
        if (field == Edit6) ui::guarded(this, [this] { Edit6Exit(); });
    });

    // Dragging with Shift, Ctrl or Alt and no button needs moves without a button.
    GLSceneViewer2->setMouseTracking(true);
    connect(GLSceneViewer2, &GLSceneViewer::mouse_pressed, this,
            [this](QMouseEvent* e) { ui::guarded(this, [this, e] { GLSceneViewer2MouseDown(e); }); });
    connect(GLSceneViewer2, &GLSceneViewer::mouse_moved, this,
            [this](QMouseEvent* e) { ui::guarded(this, [this, e] { GLSceneViewer2MouseMove(e); }); });

    for (ClickPanel* panel : colour_panels)
        connect(panel, &ClickPanel::clicked, this,
                [this, panel] { ui::guarded(this, [this, panel] { Panel2Click(panel); }); });
    connect(BitBtn6, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { BitBtn6Click(); }));
    connect(BitBtn7, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { BitBtn7Click(); }));
    connect(BitBtn8, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { BitBtn8Click(); }));
    connect(BitBtn9, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { BitBtn9Click(); }));
    connect(BitBtn10, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { BitBtn10Click(); }));
}

void TForm2::repaint_tail() {
    changes = true;
    request_repaint(DirectOpenGL1);
    request_repaint(DirectOpenGL2);
}

void TForm2::CheckBox3Click() {
    const bool on = CheckBox3->isChecked();
    GLSceneViewer2->setVisible(on);
    if (on) GLSceneViewer2->raise();
    BitBtn4->setEnabled(on);
    request_repaint(DirectOpenGL1);
}

void TForm2::CheckBox1Click() {
    trgb = CheckBox1->isChecked() ? 1 : 0;
    repaint_tail();
}

void TForm2::CheckBox8Click() {
    repaint_tail();
}

void TForm2::CheckBox9Click() {
    repaint_tail();
}

void TForm2::common_range() {
    CommonRangeInput in;
    in.checked = CheckBox5->isChecked();
    in.minimum = Edit5->text().toStdString();
    in.maximum = Edit6->text().toStdString();
    in.valmin = model.valmin;
    in.valmax = model.valmax;
    if (model.maxlista.empty()) model.maxlista.push_back({0, 0});
    apply_common_range(in, {legmax, model.maxlista[0]});
    repaint_tail();
}

void TForm2::CheckBox5Click() {
    // The file's overall range needs every list's: measured first, or the
    // box goes back unchecked when the wait is cancelled.
    const QPointer<TForm2> alive(this);
    if (CheckBox5->isChecked() && !wait_for_all_ranges()) {
        if (!alive) return;
        const QSignalBlocker quiet(CheckBox5);
        CheckBox5->setChecked(false);
        return;
    }
    // A text that is not a number stops here with the conversion message
    // (shown by the caller's guard); what was set before it stays.
    common_range();
}

void TForm2::Edit5Exit() {
    try {
        common_range();
    } catch (...) {
        // Leaving the field never shows a message.
    }
}

void TForm2::Edit6Exit() {
    Edit5Exit();
}

// Dragging the floating legend view.
void TForm2::GLSceneViewer2MouseDown(QMouseEvent* event) {
    mx = event->position().x();
    my = event->position().y();
}

void TForm2::GLSceneViewer2MouseMove(QMouseEvent* event) {
    // Any button or Shift, Ctrl or Alt held drags. mx, my are not updated:
    // the view moves with the pointer, so the grabbed point stays under it.
    const Qt::KeyboardModifiers keys =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (event->buttons() == Qt::NoButton && keys == Qt::NoModifier) return;
    const int dx = static_cast<int>(std::trunc(event->position().x() - mx));
    const int dy = static_cast<int>(std::trunc(event->position().y() - my));
    GLSceneViewer2->move(GLSceneViewer2->x() + dx, GLSceneViewer2->y() + dy);
}

} // namespace orv
