// One main window driven through a whole session as an engineer runs it:
// the three examples opened through "Novo", meshes and result lists checked,
// the viewers switched by every path (the window list, a click, Ctrl+Tab,
// minimise and restore, maximise and restore, Cascade, the tiles, Arrange,
// closing the viewer in front) and another file opened at the end.
//
// After every step the test looks at the screen, not at what a view last
// rendered into its own buffer: it grabs the main window from the display
// (QScreen::grabWindow of its native window) and checks that the front
// viewer's 3D view shows the model's colours, not a uniform black or white.

#include "gui_test_support.h"

#include "shell/Unit1.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/Unit2.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

namespace orv {
namespace {

using test::dialogs;

// Plot items: 0 "Nós", 1 "Malha Indeformada", 3 node numbers, 5 the first result list.
constexpr int kUndeformedMesh = 1;
constexpr int kFirstList = 5;

// What a region of the screen shows.
struct RegionColours {
    int pixels = 0;
    int coloured = 0; // clearly neither grey, black nor white (spread of the channels >= 80)
    int dark = 0;     // all channels below 24
    int light = 0;    // all channels above 231
};

RegionColours count_colours(const QImage& image, QRect rect) {
    RegionColours c;
    rect &= image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            const int hi = std::max({r, g, b}), lo = std::min({r, g, b});
            ++c.pixels;
            c.coloured += hi - lo >= 80;
            c.dark += hi < 24;
            c.light += lo > 231;
        }
    }
    return c;
}

class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        dialogs().reset();
        main = std::make_unique<TForm1>();
        main->resize(1100, 800);
        main->show();
        ASSERT_TRUE(test::wait_until([&] { return main->Timer1->isActive(); }));
        main->Timer1Timer();
        main->activateWindow();
        ASSERT_TRUE(test::wait_until([&] { return main->isActiveWindow(); }));
    }
    void TearDown() override {
        main.reset();
        test::settle();
    }

    // "Novo" on the toolbar, the open dialog answering with an example file.
    TForm2* novo(const char* example) {
        dialogs().answer_open(test::example_path(QString::fromLatin1(example)));
        const auto before = main->viewers().size();
        main->ToolButton1->click();
        test::settle();
        if (main->viewers().size() != before + 1) return nullptr;
        TForm2* form = main->target_viewer();
        if (form) test::wait_until([&] { return form->auxiliar && form->GLSceneViewer1->frames() > 0; });
        return form;
    }

    // A left click on the check box of plot item i, as the user makes it.
    static void click_check(TForm2* form, int item) { test::click_check(form->CheckListBox1, item); }

    static QMdiSubWindow* frame(TForm2* form) { return qobject_cast<QMdiSubWindow*>(form->parentWidget()); }

    QImage grab() const {
        test::settle();
        return main->screen()->grabWindow(main->winId()).toImage();
    }

    // Where a widget lies in the grabbed picture, cut to the frame's client area.
    QRect on_screen(QWidget* w) const {
        const QRect client(main->MDIClient->viewport()->mapTo(main.get(), QPoint(0, 0)),
                           main->MDIClient->viewport()->size());
        return QRect(w->mapTo(main.get(), QPoint(0, 0)), w->size()) & client;
    }

    // The front viewer's 3D view (and its legend when shown) show the
    // model's colours on the screen, within a few seconds and without input.
    ::testing::AssertionResult front_shows_colours(const char* step) {
        TForm2* front = main->target_viewer();
        if (!front) return ::testing::AssertionFailure() << step << ": no viewer in front";
        if (main->MDIClient->activeSubWindow() != frame(front))
            return ::testing::AssertionFailure() << step << ": the front viewer is not the active one";
        return shows_colours(front, step);
    }

    ::testing::AssertionResult shows_colours(TForm2* form, const char* step) {
        QImage image;
        RegionColours view, legend;
        const bool with_legend = form->GLSceneViewer2->isVisible();
        auto good = [&] {
            image = grab();
            view = count_colours(image, on_screen(form->GLSceneViewer1));
            if (with_legend) legend = count_colours(image, on_screen(form->GLSceneViewer2));
            // A surface model covers a good part of its view, the beam (a line
            // three pixels wide) a few hundred pixels; the axes symbol alone
            // gives about fifty. The legend bar covers a good part of its view.
            const int minimum = beams.count(form) ? 150 : view.pixels / 50;
            return view.pixels > 0 && view.coloured >= std::max(minimum, 1) &&
                   (!with_legend || legend.coloured >= legend.pixels / 20);
        };
        if (test::wait_until(good, 4000)) return ::testing::AssertionSuccess();
        const QString name =
            QStringLiteral("session_%1.png").arg(QString::fromLatin1(step).replace(' ', '_'));
        image.save(QDir::current().filePath(name));
        return ::testing::AssertionFailure()
               << step << ": " << form->windowTitle().toStdString() << " shows " << view.coloured
               << " coloured, " << view.dark << " dark and " << view.light << " light pixels of "
               << view.pixels
               << (with_legend ? "; legend " + std::to_string(legend.coloured) + " coloured of " +
                                     std::to_string(legend.pixels)
                               : std::string())
               << " (screen saved as " << name.toStdString() << ")";
    }

    // "Janela" menu: the window list entry of the viewer captioned `caption`.
    void pick_from_window_list(const QString& caption) {
        emit main->Janela1->aboutToShow();
        QAction* pick = nullptr;
        for (QAction* a : main->Janela1->actions())
            if (a->text().endsWith(QLatin1Char(' ') + caption)) pick = a;
        ASSERT_NE(pick, nullptr) << caption.toStdString();
        pick->trigger();
        emit main->Janela1->aboutToHide();
        test::settle();
    }

    std::unique_ptr<TForm1> main;
    std::set<const TForm2*> beams; // viewers of line-element models
};

TEST_F(Session, ThreeExamplesSwitchedArrangedClosedAndOpened) {
    // ---- Open the three examples, each coloured ----
    TForm2* placa = novo("placa.txt");
    ASSERT_NE(placa, nullptr);
    click_check(placa, kUndeformedMesh);
    click_check(placa, kFirstList);
    placa->CheckBox3->click(); // "Legenda"
    ASSERT_TRUE(placa->GLSceneViewer2->isVisible());
    EXPECT_TRUE(front_shows_colours("placa opened"));

    TForm2* casca = novo("casca.txt");
    ASSERT_NE(casca, nullptr);
    EXPECT_TRUE(frame(casca)->isMaximized()) << "viewers open maximised";
    click_check(casca, kUndeformedMesh);
    click_check(casca, kFirstList);
    main->ToolButton23->click(); // a turned preset view: the shell is seen edge-on from the front
    EXPECT_TRUE(front_shows_colours("casca opened"));

    TForm2* viga = novo("viga.txt");
    ASSERT_NE(viga, nullptr);
    beams.insert(viga);
    click_check(viga, kFirstList);
    click_check(viga, 3); // node numbers
    EXPECT_TRUE(front_shows_colours("viga opened"));

    // ---- Switching ----
    pick_from_window_list(QStringLiteral("Janela 1 - placa.txt"));
    EXPECT_EQ(main->target_viewer(), placa);
    EXPECT_TRUE(front_shows_colours("window list to 1"));
    main->ToolButton4->click(); // zoom +
    EXPECT_TRUE(front_shows_colours("zoom in 1"));
    pick_from_window_list(QStringLiteral("Janela 2 - casca.txt"));
    EXPECT_EQ(main->target_viewer(), casca);
    EXPECT_TRUE(front_shows_colours("window list to 2"));

    // The frame's keyboard switching: Ctrl+Tab, Ctrl released.
    TForm2* before = main->target_viewer();
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : main->MDIClient;
    QTest::keyPress(focus, Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyRelease(QApplication::focusWidget() ? QApplication::focusWidget() : focus, Qt::Key_Control);
    test::settle();
    EXPECT_NE(main->target_viewer(), before) << "Ctrl+Tab switched the viewer";
    EXPECT_TRUE(front_shows_colours("ctrl tab"));

    // Minimise and restore, maximise and restore.
    QMdiSubWindow* sub = main->MDIClient->activeSubWindow();
    ASSERT_NE(sub, nullptr);
    sub->showMinimized();
    test::settle();
    sub->showNormal();
    main->MDIClient->setActiveSubWindow(sub);
    EXPECT_TRUE(front_shows_colours("minimise and restore"));
    sub->showMaximized();
    EXPECT_TRUE(front_shows_colours("maximise"));
    sub->showNormal();
    EXPECT_TRUE(front_shows_colours("restore from maximised"));

    // ---- Arrangements ----
    main->ToolButton6->click(); // Cascade
    test::settle();
    const int title_bar = frame(placa)->height() - placa->height();
    for (TForm2* f : main->viewers()) {
        EXPECT_GT(frame(f)->height(), 4 * title_bar) << f->windowTitle().toStdString();
        EXPECT_GT(frame(f)->width(), main->MDIClient->viewport()->width() / 2)
            << f->windowTitle().toStdString();
        EXPECT_FALSE(f->GLSceneViewer1->size().isEmpty()) << f->windowTitle().toStdString();
    }
    EXPECT_TRUE(front_shows_colours("cascade"));
    // The front viewer shrunk by hand to its title bar (its 3D view to
    // nothing), then cascaded again: the view comes back at the same size.
    QMdiSubWindow* front = main->MDIClient->activeSubWindow();
    const QSize cascaded = front->size();
    front->resize(front->minimumSizeHint());
    test::settle();
    ASSERT_TRUE(main->target_viewer()->GLSceneViewer1->size().isEmpty());
    main->ToolButton6->click();
    ASSERT_EQ(front->size(), cascaded);
    EXPECT_TRUE(front_shows_colours("cascade after shrinking to a title bar"));

    // Tiled, every viewer is in view: all of them show their colours.
    for (QToolButton* tile : {main->ToolButton7, main->ToolButton8}) {
        tile->click();
        for (TForm2* f : main->viewers())
            EXPECT_TRUE(
                shows_colours(f, tile == main->ToolButton7 ? "tile horizontally" : "tile vertically"));
    }

    // A click on another viewer brings it to the front.
    TForm2* other = main->target_viewer() == placa ? viga : placa;
    QTest::mouseClick(other->GLSceneViewer1, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    test::settle();
    EXPECT_EQ(main->target_viewer(), other) << "a click activates the viewer";
    EXPECT_TRUE(front_shows_colours("click on another viewer"));

    // Minimise all, arrange the icons, restore one.
    main->Minimize1->trigger();
    main->Maximize1->trigger(); // "&Arrange"
    test::settle();
    for (TForm2* f : main->viewers())
        EXPECT_TRUE(frame(f)->isMinimized()) << f->windowTitle().toStdString();
    frame(casca)->showNormal();
    main->MDIClient->setActiveSubWindow(frame(casca));
    EXPECT_TRUE(front_shows_colours("restore after arrange"));
    frame(casca)->showMaximized();
    EXPECT_TRUE(front_shows_colours("maximise after arrange"));

    // ---- Closing the viewer in front, opening another ----
    casca->close_viewer();
    test::settle();
    ASSERT_EQ(main->viewers().size(), 2);
    TForm2* next = main->target_viewer();
    ASSERT_NE(next, nullptr);
    // The others are still minimised from "Minimize All": the user restores the next one.
    if (frame(next)->isMinimized()) frame(next)->showMaximized();
    EXPECT_TRUE(front_shows_colours("close the front viewer"));

    TForm2* again = novo("casca.txt");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->windowTitle(), QStringLiteral("Janela 2 - casca.txt")) << "the lowest free number";
    click_check(again, kFirstList);
    main->ToolButton23->click();
    EXPECT_TRUE(front_shows_colours("open another"));
    pick_from_window_list(QStringLiteral("Janela 1 - placa.txt"));
    EXPECT_TRUE(front_shows_colours("back to 1 at the end"));
    // Closing the maximised viewer in front brings the one behind it forward, at once.
    main->target_viewer()->close_viewer();
    test::settle();
    ASSERT_EQ(main->viewers().size(), 2);
    EXPECT_TRUE(front_shows_colours("close the maximised front viewer"));
}

} // namespace
} // namespace orv
