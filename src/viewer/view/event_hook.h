#pragma once
// Event filters made from a function, for the viewer window's handlers of
// events that Qt's widgets do not signal (a field losing the focus, the plot
// list's mouse buttons).

#include <QEvent>
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

// Calls `exit(field)` whenever one of `fields` loses the keyboard focus; the
// event goes on to the field as usual. The filter belongs to `owner`.
inline void on_focus_out(QObject* owner, std::initializer_list<QWidget*> fields,
                         std::function<void(QObject*)> exit) {
    auto* hook = new EventHook(owner, [exit = std::move(exit)](QObject* watched, QEvent* event) {
        if (event->type() == QEvent::FocusOut) exit(watched);
        return false;
    });
    for (QWidget* field : fields)
        field->installEventFilter(hook);
}

} // namespace orv
