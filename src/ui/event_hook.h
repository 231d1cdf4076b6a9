#pragma once
// Event filters made from a function, for the viewer window's handlers of
// events that Qt's widgets do not signal (a field losing the focus, the plot
// list's mouse buttons).

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QObject>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <utility>

namespace orv {

// Calls `fn` for the events of the objects it is installed on; `fn` returns
// true to stop the event there. Freed with its parent.
class EventHook final : public QObject {
  public:
    using Fn = std::function<bool(QObject*, QEvent*)>;
    EventHook(QObject* parent, Fn fn) : QObject(parent), fn_(std::move(fn)) {}
    bool eventFilter(QObject* watched, QEvent* event) override { return fn_(watched, event); }

  private:
    Fn fn_;
};

// Calls `exit(field)` when the keyboard focus goes from one of `fields` to
// another widget of `owner` (the viewer window); the event goes on to the
// field as usual. Focus that leaves with the window (another viewer or
// program activated, a message box, the field's own context menu) is not an
// exit: the field keeps the focus within its window, and an exit handler
// that parks the focus would pull it back into this window.
inline void on_focus_out(QWidget* owner, std::initializer_list<QWidget*> fields,
                         std::function<void(QObject*)> exit) {
    auto* hook = new EventHook(owner, [owner, exit = std::move(exit)](QObject* watched, QEvent* event) {
        if (event->type() != QEvent::FocusOut) return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
        // Qt has already moved the focus when it tells the old widget.
        QWidget* next = QApplication::focusWidget();
        if (next && owner->isAncestorOf(next)) exit(watched);
        return false;
    });
    for (QWidget* field : fields)
        field->installEventFilter(hook);
}

} // namespace orv
