// Display option controls of the viewer's control panel: clip plane, axes,
// transparency and "Malha Sólida", displacement scale, line settings, the
// plot list's mouse handlers and the element-type filters. The handlers set
// fields and flags and ask for repaints; the render pass reads the controls
// and rebuilds what changes / changes1 name.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/event_hook.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/model/displacement_fields.h"
#include "viewer/model/number_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace orv {

namespace {

QString qtext(double v) {
    return QString::fromStdString(shortest_text(v));
}

} // namespace

void TForm2::connect_display_options() {
    connect(CheckBox4, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox4Click(); }));
    connect(CheckBox7, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox7Click(); }));
    connect(CheckBox10, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox10Click(); }));
    connect(CheckBox2, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox2Click(); }));
    connect(TrackBar2, &QSlider::valueChanged, this, ui::guarded_slot(this, [this] { TrackBar2Change(); }));
    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { BitBtn1Click(); }));
    connect(CheckBox6, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { CheckBox6Click(); }));
    connect(TrackBar3, &QSlider::valueChanged, this, ui::guarded_slot(this, [this] { TrackBar3Change(); }));
    connect(BitBtn2, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { BitBtn2Click(); }));
    // Enter in "Fator de Multiplicação" applies it as the button does.
    connect(Edit7, &QLineEdit::returnPressed, this, ui::guarded_slot(this, [this] {
                Edit7Exit();
                BitBtn2Click();
            }));
    connect(displacement_box, &QComboBox::activated, this,
            ui::guarded_slot(this, [this](int) { displacement_box_change(); }));
    connect(arrows_check, &QCheckBox::toggled, this, ui::guarded_slot(this, [this] { arrows_change(); }));
    connect(arrows_factor, &QLineEdit::editingFinished, this,
            ui::guarded_slot(this, [this] { arrows_change(); }));
    connect(arrows_box, &QComboBox::activated, this,
            ui::guarded_slot(this, [this](int) { arrows_change(); }));
    connect(TrackBar4, &QSlider::valueChanged, this, ui::guarded_slot(this, [this] { TrackBar4Change(); }));
    connect(TrackBar5, &QSlider::valueChanged, this, ui::guarded_slot(this, [this] { TrackBar5Chane(); }));
    connect(TrackBar6, &QSlider::valueChanged, this, ui::guarded_slot(this, [this] { TrackBar6Change(); }));
    connect(TrackBar7, &QSlider::valueChanged, this, ui::guarded_slot(this, [this] { TrackBar7Change(); }));
    connect(Button4, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { Button4Click(); }));
    connect(BitBtn5, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { BitBtn5Click(); }));
    connect(blocks_button, &QPushButton::clicked, this,
            ui::guarded_slot(this, [this] { blocks_button_click(); }));
    connect(CheckListBox1, &QListWidget::currentRowChanged, this,
            ui::guarded_slot(this, [this] { CheckListBox1Click(); }));

    // Leaving a field: its focus-out.
    on_focus_out(this, {Edit1, Edit2, Edit3, Edit4, Edit7}, [this](QObject* field) {
        if (field == Edit1) ui::guarded(this, [this] { Edit1Exit(); });
        if (field == Edit2) ui::guarded(this, [this] { Edit2Exit(); });
        if (field == Edit3) ui::guarded(this, [this] { Edit3Exit(); });
        if (field == Edit4) ui::guarded(this, [this] { Edit4Exit(); });
        if (field == Edit7) ui::guarded(this, [this] { Edit7Exit(); });
    });

    // Mouse over the plot list (its viewport receives the events). The
    // release is handled after the list has taken it, so that a click on a
    // check box has already toggled the item when chbox is recomputed.
    auto* list_mouse =
        new EventHook(this, [this, delivering = false](QObject* watched, QEvent* event) mutable {
            switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto* e = static_cast<QMouseEvent*>(event);
                ui::guarded(this, [this, e] { CheckListBox1MouseDown(e); });
                return false;
            }
            case QEvent::MouseMove:
                ui::guarded(this, [this] { CheckListBox1MouseMove(); });
                return false;
            case QEvent::MouseButtonRelease:
                if (delivering) return false;
                delivering = true;
                QCoreApplication::sendEvent(watched, event);
                delivering = false;
                ui::guarded(this, [this] { CheckListBox1MouseUp(); });
                return true;
            default:
                return false;
            }
        });
    CheckListBox1->viewport()->installEventFilter(list_mouse);
}

// ---- Clip plane and axes ----

void TForm2::CheckBox4Click() {
    request_repaint(DirectOpenGL1);
}

void TForm2::Edit1Exit() {
    // The texts are read (and reported when wrong) by the render pass.
    request_repaint(DirectOpenGL1);
}
void TForm2::Edit2Exit() {
    Edit1Exit();
}
void TForm2::Edit3Exit() {
    Edit1Exit();
}
void TForm2::Edit4Exit() {
    Edit1Exit();
}

void TForm2::CheckBox7Click() {
    DirectOpenGL3->set_show_axes(CheckBox7->isChecked());
    request_repaint(DirectOpenGL3);
}

// The marks are drawn by the render pass after the lists: a repaint is enough.
void TForm2::CheckBox10Click() {
    request_repaint(DirectOpenGL1);
}

void TForm2::CheckBox2Click() {
    DummyCube1->set_show_axes(CheckBox2->isChecked());
    request_repaint(DirectOpenGL1);
}

// ---- Transparency and solid mesh ----

void TForm2::TrackBar2Change() {
    ui::show_status(QStringLiteral(" Transparência: ") + QString::number(TrackBar2->value()) +
                    QStringLiteral(" %"));
}

void TForm2::BitBtn1Click() {
    park_focus();
    changes = true;
    request_repaint(DirectOpenGL1);
}

void TForm2::CheckBox6Click() {
    changes = true;
    request_repaint(DirectOpenGL1);
    request_repaint(DirectOpenGL2);
}

// ---- Displacement scale ----

void TForm2::TrackBar3Change() {
    // A factor that is not a number raises the conversion message here.
    const double m = parse_real_text(Edit7->text().toStdString());
    const double p = TrackBar3->value();
    ui::show_status(QStringLiteral(" Escala Deslocamento: ") + qtext(p * m / 50 * 100) +
                    QStringLiteral(" %"));
}

void TForm2::BitBtn2Click() {
    park_focus();
    changes = true;
    request_repaint(DirectOpenGL1);
}

void TForm2::displacement_box_change() {
    park_focus();
    const int index = displacement_box->currentIndex();
    if (index < 0) return;
    // The store's displacement plan changes only while no job reads it.
    const bool measuring = suspend_range_job();
    if (!file_displacements_kept_) {
        file_displacements_ = saved_displacements(model);
        file_displacements_kept_ = true;
    }
    if (index == 0) {
        restore_displacements(model, file_displacements_);
        displacement_field_.reset();
    } else {
        const std::string field =
            index == 1 ? std::string() : displacement_box->currentData().toString().toStdString();
        set_displacement_field(model, field);
        displacement_field_ = field;
    }
    if (measuring) start_range_job();
    // Every list is drawn again with its new displacement.
    changes = true;
    request_repaint(DirectOpenGL1);
}

// The arrows are drawn by the render pass after the lists, and the legend
// may tell their magnitudes: a repaint of both is enough.
void TForm2::arrows_change() {
    request_repaint(DirectOpenGL1);
    request_repaint(DirectOpenGL2);
}

void TForm2::Edit7Exit() {
    // Takes effect at the next repaint; the factor is read by the render pass.
    park_focus();
    changes = true;
}

// ---- Line settings ----

void TForm2::TrackBar4Change() {
    Label14->setText(QStringLiteral("Espessura: ") + QString::number(TrackBar4->value() + 1) +
                     QStringLiteral(" px"));
}

void TForm2::TrackBar5Chane() {
    Label15->setText(QStringLiteral("Cor: R=G=B= ") + qtext(TrackBar5->value() * 0.05));
}

void TForm2::TrackBar6Change() {
    Label17->setText(QStringLiteral("Espessura: ") + QString::number(TrackBar6->value() + 1) +
                     QStringLiteral(" px"));
}

void TForm2::TrackBar7Change() {
    Label18->setText(QStringLiteral("Cor: R=G=B= ") + qtext(TrackBar7->value() * 0.05));
}

void TForm2::Button4Click() {
    line_undef_w = TrackBar4->value() + 1;
    line_undef_rgb = TrackBar5->value() * 0.05;
    line_def_w = TrackBar6->value() + 1;
    line_def_rgb = TrackBar7->value() * 0.05;
    changes1 = true;
    request_repaint(DirectOpenGL1);
    request_repaint(DirectOpenGL2);
}

// ---- Plot list ----

void TForm2::CheckListBox1MouseUp() {
    chbox = 0;
    std::vector<int> checked;
    for (int a = model.nlista; a >= 1; --a) {
        if (plot_item_checked(kFixList + a - 1)) {
            chbox = 3 * a;
            checked.push_back(a);
        }
    }
    ensure_ranges(checked); // a list checked before its range was measured
    changes1 = true;
    request_repaint(DirectOpenGL1);
    request_repaint(DirectOpenGL2);
}

bool TForm2::check_result_list(int k) {
    const int item = kFixList + k - 1;
    if (k < 1 || k > model.nlista || item >= CheckListBox1->count()) return false;
    CheckListBox1->item(item)->setCheckState(Qt::Checked);
    CheckListBox1MouseUp();
    return true;
}

void TForm2::CheckListBox1Click() {
    park_focus();
}

void TForm2::CheckListBox1MouseMove() {
    park_focus();
}

void TForm2::CheckListBox1MouseDown(QMouseEvent* event) {
    if (event->buttons() != Qt::RightButton || event->modifiers() != Qt::NoModifier) return;
    // Uncovers or covers the element-type filter row above the list.
    if (CheckListBox1->y() != 16) {
        CheckListBox1->setGeometry(CheckListBox1->x(), 16, CheckListBox1->width(), 265);
    } else {
        CheckListBox1->setGeometry(CheckListBox1->x(), 56, CheckListBox1->width(), 225);
    }
}

void TForm2::BitBtn5Click() {
    park_focus();
    changes = true;
    request_repaint(DirectOpenGL1);
}

void TForm2::blocks_button_click() {
    // Tall enough for a dozen blocks, wide enough for the longest name.
    const int rows = std::min(blocks_list->count(), 12);
    const int width = std::max(160, blocks_list->sizeHintForColumn(0) + 40);
    blocks_popup->resize(std::min(width, 400), 36 + std::max(rows, 1) * blocks_list->sizeHintForRow(0));
    blocks_popup->move(blocks_button->mapToGlobal(QPoint(0, blocks_button->height())));
    blocks_popup->show();
}

std::vector<std::uint8_t> TForm2::hidden_blocks() const {
    std::vector<std::uint8_t> hidden;
    const int n = std::min<int>(blocks_list->count(), static_cast<int>(model.block_names.size()));
    for (int b = 0; b < n; ++b)
        if (blocks_list->item(b)->checkState() != Qt::Checked) {
            hidden.resize(static_cast<std::size_t>(n), 0);
            hidden[static_cast<std::size_t>(b)] = 1;
        }
    return hidden;
}

std::vector<std::string> TForm2::hidden_block_names() const {
    std::vector<std::string> names;
    const std::vector<std::uint8_t> hidden = hidden_blocks();
    for (std::size_t b = 0; b < hidden.size(); ++b)
        if (hidden[b]) names.push_back(model.block_names[b]);
    return names;
}

} // namespace orv
