#include "ui/dialogs.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
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
                                        const QString& text, const QColor& colour = {}) {
    if (!handler()) return std::nullopt;
    return handler()(DialogRequest{kind, parent, title, text, colour});
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

bool confirm(QWidget* parent, const QString& text) {
    if (auto a = ask_handler(DialogKind::Confirm, parent, application_title(), text)) return a->accepted;
    return QMessageBox::question(parent, application_title(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QString open_file_name(QWidget* parent, const QString& title) {
    if (auto a = ask_handler(DialogKind::OpenFile, parent, title, {}))
        return a->accepted ? a->path : QString();
    return QFileDialog::getOpenFileName(parent, title);
}

QString save_file_name(QWidget* parent, const QString& title) {
    if (auto a = ask_handler(DialogKind::SaveFile, parent, title, {}))
        return a->accepted ? a->path : QString();
    return QFileDialog::getSaveFileName(parent, title);
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
