#include "ui/dialogs.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QUrl>

namespace orv::ui {
namespace {

DialogHandler& handler() {
    static DialogHandler h;
    return h;
}

std::function<void(const QString&)>& status_sink() {
    static std::function<void(const QString&)> s;
    return s;
}

std::optional<DialogAnswer> ask_handler(DialogKind kind, QWidget* parent, const QString& title,
                                        const QString& text, const QColor& colour = {},
                                        const QString& folder = {}) {
    if (!handler()) return std::nullopt;
    return handler()(DialogRequest{kind, parent, title, text, colour, folder});
}

} // namespace

QString application_title() {
    return QStringLiteral(".:: Orvanel - v1.0 ::.");
}

void set_dialog_handler(DialogHandler h) {
    handler() = std::move(h);
}

void error_box(QWidget* parent, const QString& text) {
    if (ask_handler(DialogKind::Error, parent, application_title(), text)) return;
    QMessageBox::critical(parent, application_title(), text);
}

void warning_box(QWidget* parent, const QString& text) {
    if (ask_handler(DialogKind::Warning, parent, application_title(), text)) return;
    QMessageBox::warning(parent, application_title(), text);
}

namespace {
int progress_delay_ms = 500;
bool progress_cancel_all = false;
} // namespace

struct ProgressBox::State {
    QPointer<QWidget> parent;
    QString text;
    QElapsedTimer clock;
    qint64 last_events = -1000;
    bool shown = false;
    bool cancelled = false;
    std::unique_ptr<QProgressDialog> dialog;
};

ProgressBox::ProgressBox(QWidget* parent, const QString& text) : d_(std::make_unique<State>()) {
    d_->parent = parent;
    d_->text = text;
    d_->clock.start();
}

ProgressBox::~ProgressBox() = default;

void ProgressBox::set_delay_ms(int ms) {
    progress_delay_ms = ms;
}

void ProgressBox::cancel_all() {
    progress_cancel_all = true;
}

bool ProgressBox::step(std::uint64_t done, std::uint64_t total) {
    State& s = *d_;
    if (progress_cancel_all) s.cancelled = true;
    if (s.cancelled) return false;
    const qint64 now = s.clock.elapsed();
    // Events about thirty times a second: often enough to repaint, rarely
    // enough to cost nothing next to the task.
    if (now - s.last_events < 30) return true;
    s.last_events = now;
    if (!s.shown && now >= progress_delay_ms) {
        s.shown = true;
        if (auto a = ask_handler(DialogKind::Progress, s.parent, application_title(), s.text)) {
            s.cancelled = !a->accepted;
            if (s.cancelled) return false;
        } else {
            s.dialog =
                std::make_unique<QProgressDialog>(s.text, QStringLiteral("Cancelar"), 0, 100, s.parent);
            s.dialog->setWindowTitle(application_title());
            s.dialog->setWindowModality(Qt::ApplicationModal);
            s.dialog->setMinimumDuration(0);
            s.dialog->setAutoClose(false);
            s.dialog->setAutoReset(false);
            s.dialog->show();
        }
    }
    if (s.dialog) {
        s.dialog->setValue(total ? static_cast<int>(done * 100 / total) : 0);
        if (s.dialog->wasCanceled()) {
            s.cancelled = true;
            return false;
        }
    }
    // While the dialog shows it takes the user's input; before, none is taken.
    QCoreApplication::processEvents(s.dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    if ((s.dialog && s.dialog->wasCanceled()) || progress_cancel_all) s.cancelled = true;
    return !s.cancelled;
}

bool confirm(QWidget* parent, const QString& text) {
    if (auto a = ask_handler(DialogKind::Confirm, parent, application_title(), text)) return a->accepted;
    return QMessageBox::question(parent, application_title(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QString open_file_name(QWidget* parent, const QString& title, const QString& filter, const QString& folder) {
    if (auto a = ask_handler(DialogKind::OpenFile, parent, title, filter, {}, folder))
        return a->accepted ? a->path : QString();
    return QFileDialog::getOpenFileName(parent, title, folder, filter);
}

QString save_file_name(QWidget* parent, const QString& title, const QString& proposed,
                       const QString& filter) {
    if (auto a = ask_handler(DialogKind::SaveFile, parent, title, proposed))
        return a->accepted ? a->path : QString();
    return QFileDialog::getSaveFileName(parent, title, proposed, filter);
}

std::optional<QColor> choose_colour(QWidget* parent, const QColor& initial) {
    if (auto a = ask_handler(DialogKind::Colour, parent, {}, {}, initial)) {
        if (!a->accepted) return std::nullopt;
        return a->colour;
    }
    const QColor c = QColorDialog::getColor(initial, parent);
    if (!c.isValid()) return std::nullopt;
    return c;
}

bool open_url(const QString& address) {
    if (auto a = ask_handler(DialogKind::OpenUrl, nullptr, {}, address)) return a->accepted;
    return QDesktopServices::openUrl(QUrl(address));
}

void set_status_sink(std::function<void(const QString&)> sink) {
    status_sink() = std::move(sink);
}

void show_status(const QString& text) {
    if (status_sink()) status_sink()(text);
}

} // namespace orv::ui
