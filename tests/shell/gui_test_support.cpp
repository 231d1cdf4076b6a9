#include "gui_test_support.h"

#include "shell/gui_main.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QThread>
#include <QWheelEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace orv::test {

int DialogScript::count(ui::DialogKind kind) const {
    int n = 0;
    for (const auto& r : requests)
        n += r.kind == kind;
    return n;
}

QString DialogScript::last_text(ui::DialogKind kind) const {
    for (auto it = requests.rbegin(); it != requests.rend(); ++it)
        if (it->kind == kind) return it->text;
    return {};
}

DialogScript& dialogs() {
    static DialogScript script;
    return script;
}

QString data_path(const QString& name) {
    return QDir(QStringLiteral(ORVANEL_TEST_DATA)).filePath(name);
}

QString example_path(const QString& name) {
    return QDir(QStringLiteral(ORVANEL_SOURCE_DIR "/examples")).filePath(name);
}

bool wait_until(const std::function<bool()>& pred, int timeout_ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeout_ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

namespace {

void send_mouse(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons,
                Qt::KeyboardModifiers mods) {
    QMouseEvent e(type, pos, w->mapToGlobal(pos), button, buttons, mods);
    QApplication::sendEvent(w, &e);
}

} // namespace

void mouse_press(QWidget* w, QPointF pos, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    send_mouse(w, QEvent::MouseButtonPress, pos, button, button, mods);
}

void mouse_move(QWidget* w, QPointF pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
    send_mouse(w, QEvent::MouseMove, pos, Qt::NoButton, buttons, mods);
}

void mouse_release(QWidget* w, QPointF pos, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    send_mouse(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton, mods);
}

void mouse_double_click(QWidget* w, QPointF pos, Qt::MouseButton button) {
    send_mouse(w, QEvent::MouseButtonDblClick, pos, button, button, Qt::NoModifier);
}

void wheel(QWidget* w, QPointF pos, int angle_delta) {
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, angle_delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

void enter(QWidget* w) {
    const QPointF p(1, 1);
    QEnterEvent e(p, p, w->mapToGlobal(p));
    QApplication::sendEvent(w, &e);
}

void leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

void click_check(QListWidget* list, int item) {
    const QRect r = list->visualItemRect(list->item(item));
    QStyleOptionViewItem opt;
    opt.initFrom(list->viewport());
    opt.rect = r;
    opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, list);
    const QPointF at = box.isValid() ? QPointF(box.center()) : QPointF(r.left() + 10, r.center().y());
    mouse_press(list->viewport(), at, Qt::LeftButton);
    mouse_release(list->viewport(), at, Qt::LeftButton);
}

void check_leaks_now() {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
}

} // namespace orv::test

// The gui tests' main: the QApplication is created as the program creates
// it (OpenGL format first, "." numbers after), and the dialogs are scripted.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    orv::set_default_gl_format();
    QApplication app(argc, argv);
    orv::set_number_format();
    orv::init_gui_services();
    orv::install_qt_translations();
    orv::ui::set_dialog_handler([](const orv::ui::DialogRequest& r) {
        auto& s = orv::test::dialogs();
        s.requests.push_back(r);
        if (s.answers.empty()) return orv::ui::DialogAnswer{r.kind == orv::ui::DialogKind::Progress, {}, {}};
        orv::ui::DialogAnswer a = s.answers.front();
        s.answers.pop_front();
        return a;
    });
    const int result = RUN_ALL_TESTS();
    orv::test::check_leaks_now();
    return result;
}
