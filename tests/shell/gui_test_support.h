#pragma once
// Support for the gui-tier tests: a GoogleTest main that creates the
// QApplication the way the program does, a scripted stand-in for every
// dialog, and small helpers that send input events and wait for the loop.

#include "ui/dialogs.h"

#include <QPoint>
#include <QPointF>
#include <QString>

#include <deque>
#include <functional>
#include <vector>

class QWidget;

class QListWidget;

namespace orv::test {

// Answers the dialogs in order; with no answer queued a dialog is cancelled
// (an error box or a question answered No), except that a progress dialog
// goes on. Every request is kept.
struct DialogScript {
    std::vector<ui::DialogRequest> requests;
    std::deque<ui::DialogAnswer> answers;

    void reset() {
        requests.clear();
        answers.clear();
    }
    void answer_open(const QString& path) { answers.push_back({true, path, {}}); }
    void answer_cancel() { answers.push_back({false, {}, {}}); }
    void answer_yes() { answers.push_back({true, {}, {}}); }
    int count(ui::DialogKind kind) const;
    // Text of the last request of that kind (empty when none).
    QString last_text(ui::DialogKind kind) const;
};

DialogScript& dialogs();

// Directory of the test fixture files.
QString data_path(const QString& name);
// The sample files of examples/.
QString example_path(const QString& name);

// Processes events until pred() holds or timeout_ms passes; returns pred().
bool wait_until(const std::function<bool()>& pred, int timeout_ms = 5000);
// Processes pending events, deferred deletions included.
void settle();

// Under the address sanitizer: the leak check, run at once instead of at
// exit. The test mains call it while the application and its OpenGL driver
// are still there: Mesa's software driver is unloaded when the application
// goes, and memory it held is then reported with frames nobody can name (or
// suppress). Does nothing in other builds.
void check_leaks_now();

// Input events delivered straight to a widget, as the window system would.
void mouse_press(QWidget* w, QPointF pos, Qt::MouseButton button,
                 Qt::KeyboardModifiers mods = Qt::NoModifier);
void mouse_move(QWidget* w, QPointF pos, Qt::MouseButtons buttons,
                Qt::KeyboardModifiers mods = Qt::NoModifier);
void mouse_release(QWidget* w, QPointF pos, Qt::MouseButton button,
                   Qt::KeyboardModifiers mods = Qt::NoModifier);
void mouse_double_click(QWidget* w, QPointF pos, Qt::MouseButton button = Qt::LeftButton);
// angle_delta: +120 one notch away from the user, -120 towards the user.
void wheel(QWidget* w, QPointF pos, int angle_delta);
void enter(QWidget* w);
void leave(QWidget* w);
// A left click on the check box of item `item` of a check list, where the
// style draws it, as the user makes it.
void click_check(QListWidget* list, int item);

} // namespace orv::test
