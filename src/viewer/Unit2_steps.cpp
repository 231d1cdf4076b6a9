// Keys of the viewer window and stepping through the result lists.
//
// Page Down / Page Up (and the two small buttons of "Lista de Plotagem") move
// the lowest checked result list to the next or previous one, as the video
// generator does: that list is unchecked, its neighbour checked, the other
// items keep their state. "▶" plays the generator's lists at its FPS in the
// view without recording; any click stops it. Home resets zoom and pan; the
// arrow keys turn the model by the preset views' steps while the 3D view has
// the focus.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/event_hook.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/model/displacement_fields.h"
#include "viewer/output/list_sequence.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>

namespace orv {

namespace {

// Turn and pitch of one arrow key: the steps between the preset views.
constexpr double kTurnStep = 45.0;
constexpr double kPitchStep = 30.0;

} // namespace

int TForm2::lowest_checked_list() const {
    for (int k = 1; k <= model.nlista; ++k)
        if (plot_item_checked(kFixList + k - 1)) return k;
    return 0;
}

bool TForm2::step_result_list(int direction) {
    const int k = lowest_checked_list();
    const int next = k == 0 ? 1 : k + direction;
    if (next < 1 || next > model.nlista || kFixList + next - 1 >= CheckListBox1->count()) return false;
    if (k > 0) set_result_list_checked(k, false);
    set_result_list_checked(next, true);
    CheckListBox1MouseUp();
    return true;
}

void TForm2::turn_by_key(double pitch, double turn) {
    fit_pending_ = false;
    GLCamera1->orbit(pitch, turn);
    tur += turn;
    request_repaint(DirectOpenGL1);
}

bool TForm2::playing() const {
    return play_timer_ && play_timer_->isActive();
}

void TForm2::play_lists() {
    if (playing()) return;
    play_lists_ =
        list_sequence(SpinEdit4->value(), SpinEdit5->value(), SpinEdit6->value(), CheckListBox1->count());
    // The generator's range as it starts (1 to 1): the checked list's field
    // and component through every step, which is what a user playing a
    // multi-step file wants to see.
    if (SpinEdit4->value() == 1 && SpinEdit5->value() == 1 && SpinEdit6->value() == 1) {
        const std::vector<int> series = same_list_every_step(model, lowest_checked_list());
        if (series.size() > 1) play_lists_ = series;
    }
    play_next_ = 0;
    play_timer_->setInterval(1000 / std::max(1, SpinEdit7->value()));
    play_timer_->start();
    qApp->installEventFilter(play_stopper_);
    play_step();
}

void TForm2::stop_playing() {
    play_timer_->stop();
    qApp->removeEventFilter(play_stopper_);
}

void TForm2::play_step() {
    if (play_next_ >= play_lists_.size()) {
        stop_playing();
        return;
    }
    const int k = play_lists_[play_next_++];
    if (k < 1 || k > model.nlista) {
        stop_playing();
        return;
    }
    const int shown = lowest_checked_list();
    if (shown > 0 && shown != k) set_result_list_checked(shown, false);
    set_result_list_checked(k, true);
    CheckListBox1MouseUp();
}

void TForm2::connect_keys() {
    const auto key = [this](QKeySequence sequence, auto handler) {
        auto* s = new QShortcut(sequence, this);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, ui::guarded_slot(this, handler));
    };
    key(QKeySequence(Qt::Key_PageDown), [this] { step_result_list(+1); });
    key(QKeySequence(Qt::Key_PageUp), [this] { step_result_list(-1); });
    key(QKeySequence(Qt::Key_Home), [this] {
        zoom_reset();
        centre_model();
    });
    // A text field keeps its letters: Qt lets a focused field override the key.
    key(QKeySequence(Qt::Key_F), [this] { fit_model(); });

    // The arrow keys belong to the 3D view once a click has given it the focus.
    GLSceneViewer1->setFocusPolicy(Qt::ClickFocus);
    GLSceneViewer1->installEventFilter(new EventHook(this, [this](QObject*, QEvent* event) {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* e = static_cast<QKeyEvent*>(event);
        if (e->modifiers() & ~Qt::KeypadModifier) return false;
        double pitch = 0, turn = 0;
        switch (e->key()) {
        case Qt::Key_Left:
            turn = kTurnStep;
            break;
        case Qt::Key_Right:
            turn = -kTurnStep;
            break;
        case Qt::Key_Up:
            pitch = kPitchStep;
            break;
        case Qt::Key_Down:
            pitch = -kPitchStep;
            break;
        default:
            return false;
        }
        ui::guarded(this, [&] { turn_by_key(pitch, turn); });
        return true;
    }));

    connect(list_down_button, &QPushButton::clicked, this,
            ui::guarded_slot(this, [this] { step_result_list(+1); }));
    connect(list_up_button, &QPushButton::clicked, this,
            ui::guarded_slot(this, [this] { step_result_list(-1); }));
    connect(play_button, &QPushButton::clicked, this, ui::guarded_slot(this, [this] { play_lists(); }));
    play_timer_ = new QTimer(this);
    connect(play_timer_, &QTimer::timeout, this, ui::guarded_slot(this, [this] { play_step(); }));
    // Any click anywhere stops the play (the click itself goes on).
    play_stopper_ = new EventHook(this, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::MouseButtonPress) stop_playing();
        return false;
    });
}

} // namespace orv
