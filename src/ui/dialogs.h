#pragma once
// Message boxes, standard dialogs and the status line, for every window.
//
// All modal interaction goes through here so that tests can answer it: a
// dialog handler set with set_dialog_handler() receives each request instead
// of a real dialog and returns the answer.
//
// guarded() is our stand-in for a toolkit default error handler: a handler
// runs inside it, and any exception it throws is shown in an error box and
// stops there. Exceptions must never cross the Qt event loop.

#include <QColor>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

class QWidget;

namespace orv::ui {

// ".:: Orvanel - v1.0 ::.": task-bar entry and title of every message box.
QString application_title();

enum class DialogKind {
    Error,    // error_box: text
    Confirm,  // confirm: text; answer accepted = Yes
    OpenFile, // open_file_name: title, text = filter, folder = starting folder; answer path (empty =
              // cancelled)
    SaveFile, // save_file_name: title, text = proposed path; answer path (empty = cancelled)
    Colour,   // choose_colour: colour = initial; answer colour
    OpenUrl,  // open_url: text = address; accepted = opened
    Warning,  // warning_box: text
    Progress, // ProgressBox, once it shows: text; answer accepted = go on, not accepted = "Cancelar"
};

struct DialogRequest {
    DialogKind kind = DialogKind::Error;
    QWidget* parent = nullptr;
    QString title;
    QString text;
    QColor colour;
    QString folder; // OpenFile: where the dialog starts (empty: the working folder)
};

struct DialogAnswer {
    bool accepted = false;
    QString path;
    QColor colour;
};

using DialogHandler = std::function<DialogAnswer(const DialogRequest&)>;

// Replaces the real dialogs (tests); an empty handler restores them.
void set_dialog_handler(DialogHandler handler);

// Modal error message, titled with the application title.
void error_box(QWidget* parent, const QString& text);

// Modal warning message, titled with the application title.
void warning_box(QWidget* parent, const QString& text);

// Progress of a long task run on the user-interface thread, with a
// "Cancelar" button. Nothing shows for the first half second; then a modal
// dialog with `text` and the percentage done. step() keeps the windows
// painting (before the dialog shows, without user input) and tells whether
// to go on. With a dialog handler set, the handler receives one Progress
// request when the dialog would show, and its answer stands for the user's.
class ProgressBox {
  public:
    ProgressBox(QWidget* parent, const QString& text);
    ~ProgressBox();
    ProgressBox(const ProgressBox&) = delete;
    ProgressBox& operator=(const ProgressBox&) = delete;

    // done of total units; false once the user has cancelled.
    bool step(std::uint64_t done, std::uint64_t total);

    // Milliseconds before the dialog shows (500); tests set 0.
    static void set_delay_ms(int ms);

    // The program is ending: every task under a ProgressBox, now or later,
    // is told to stop at its next step, as if the user had cancelled it.
    static void cancel_all();

  private:
    struct State;
    std::unique_ptr<State> d_;
};

// Yes/No question, titled with the application title; true on Yes.
bool confirm(QWidget* parent, const QString& text);

// Standard open / save dialogs; empty when cancelled. `filter` is a
// QFileDialog filter ("Resultados (*.txt);;Todos (*)"); empty offers every
// file. The open dialog starts in `folder` (empty: the working folder); the
// save dialog proposes `proposed`.
QString open_file_name(QWidget* parent, const QString& title, const QString& filter = {},
                       const QString& folder = {});
QString save_file_name(QWidget* parent, const QString& title, const QString& proposed = {},
                       const QString& filter = {});

// Standard colour dialog; nothing when cancelled.
std::optional<QColor> choose_colour(QWidget* parent, const QColor& initial);

// Opens a web address in the user's default browser.
bool open_url(const QString& address);

// Runs fn; a std::exception (or anything else) thrown by it is reported in
// an error box. Returns true when fn finished normally.
template <class Fn> bool guarded(QWidget* parent, Fn&& fn) noexcept {
    try {
        std::forward<Fn>(fn)();
        return true;
    } catch (const std::exception& e) {
        try {
            error_box(parent, QString::fromUtf8(e.what()));
        } catch (...) {
        }
    } catch (...) {
        try {
            error_box(parent, QStringLiteral("Erro inesperado."));
        } catch (...) {
        }
    }
    return false;
}

// A slot for connect() that runs `fn` guarded. The signal's arguments are
// handed to fn when it takes them and dropped otherwise (a click's `checked`,
// QTimer's private tag). `fn` may also be a member function of `owner`'s
// class that takes no arguments.
template <class Fn> auto guarded_slot(QWidget* owner, Fn fn) {
    return [owner, fn](auto&&... args) {
        guarded(owner, [&] {
            if constexpr (std::is_invocable_v<const Fn&, decltype(args)...>)
                fn(args...);
            else
                fn();
        });
    };
}
template <class W> auto guarded_slot(W* owner, void (W::*handler)()) {
    return guarded_slot(owner, [owner, handler] { (owner->*handler)(); });
}

// The message line of the program (the main window's status bar). Windows
// write their messages with show_status; the main window installs the sink.
void set_status_sink(std::function<void(const QString&)> sink);
void show_status(const QString& text);

} // namespace orv::ui
