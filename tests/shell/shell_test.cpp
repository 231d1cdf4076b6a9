// The main window driven as a user would: opening files into numbered
// viewers, the enable state of the view commands, the splash and credits
// windows, and the toolbar commands on the active viewer.

#include "gui_test_support.h"

#include "shell/Unit1.h"
#include "shell/Unit4.h"
#include "shell/Unit7.h"
#include "shell/gui_main.h"
#include "ui/gl_scene_viewer.h"
#include "viewer/Unit2.h"
#include "viewer/view/interaction.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sys/stat.h>

namespace orv {
namespace {

using test::dialogs;
using ui::DialogKind;

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialogs().reset();
        main = std::make_unique<TForm1>();
        main->resize(1200, 850);
    }
    void TearDown() override {
        main.reset();
        test::settle();
    }

    // Shows the main window and ends its splash phase at once.
    void show_main() {
        main->show();
        ASSERT_TRUE(test::wait_until([&] { return main->Timer1->isActive(); }));
        main->Timer1Timer();
    }

    // "Novo" with the open dialog answering `file`.
    TForm2* open(const QString& file) {
        dialogs().answer_open(file);
        const auto before = main->viewers().size();
        main->Novo2Click();
        test::settle();
        return main->viewers().size() > before ? main->target_viewer() : nullptr;
    }
    TForm2* open_sample() { return open(test::data_path("viewer/four_lists.txt")); }

    QStringList captions() const {
        QStringList list;
        for (TForm2* f : main->viewers())
            list << f->windowTitle();
        list.sort();
        return list;
    }
    void close_number(int n) {
        TForm2* f = main->viewer_forms[static_cast<std::size_t>(n)];
        ASSERT_NE(f, nullptr) << n;
        f->close_viewer();
        test::settle();
    }
    bool commands_enabled() const {
        for (QToolButton* b : main->view_command_buttons())
            if (!b->isEnabled()) return false;
        return true;
    }
    bool commands_disabled() const {
        for (QToolButton* b : main->view_command_buttons())
            if (b->isEnabled()) return false;
        return true;
    }

    std::unique_ptr<TForm1> main;
};

TEST_F(MainWindowTest, CaptionMenuAndToolbarAtStart) {
    EXPECT_EQ(main->windowTitle(), QStringLiteral(".:: Orvanel - v2.0 ::."));
    EXPECT_EQ(ui::application_title(), QStringLiteral(".:: Orvanel - v1.0 ::."));
    EXPECT_EQ(main->Arquivos1->title(), QStringLiteral("Arquivos"));
    EXPECT_EQ(main->Janela1->title(), QStringLiteral("Janela"));
    EXPECT_EQ(main->Sobre1->title(), QStringLiteral("Sobre"));
    EXPECT_EQ(main->Novo2->text(), QStringLiteral("Novo"));
    EXPECT_EQ(main->Sair1->text(), QStringLiteral("Sair"));
    EXPECT_FALSE(main->Ajuda1->isEnabled());
    EXPECT_TRUE(main->Crditos1->isEnabled());
    EXPECT_EQ(main->viewer_count, 0);
    EXPECT_EQ(main->viewer_forms.size(), 100u);
    EXPECT_TRUE(main->ToolButton1->isEnabled());
    EXPECT_TRUE(main->ToolButton2->isEnabled());
    EXPECT_TRUE(commands_disabled());
    for (QAction* a : {main->Cascata1, main->LadoaLado1, main->Vertical1, main->Minimize1, main->Maximize1,
                       main->reload_action})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
}

TEST_F(MainWindowTest, ToolbarOrderAndHints) {
    // Left to right, separators as empty names.
    QStringList order;
    for (QAction* a : main->ToolBar1->actions()) {
        QWidget* w = main->ToolBar1->widgetForAction(a);
        order << (a->isSeparator() || !w ? QString() : w->objectName());
    }
    const QStringList expected = {"ToolButton1",
                                  "ToolButton2",
                                  "",
                                  "ToolButton6",
                                  "ToolButton7",
                                  "ToolButton8",
                                  "",
                                  "ToolButton15",
                                  "ToolButton4",
                                  "ToolButton5",
                                  "",
                                  "ToolButton16",
                                  "ToolButton28",
                                  "ToolButton12",
                                  "ToolButton13",
                                  "ToolButton17",
                                  "ToolButton18",
                                  "ToolButton19",
                                  "ToolButton20",
                                  "",
                                  "ToolButton22",
                                  "ToolButton27",
                                  "ToolButton23",
                                  "ToolButton24",
                                  "ToolButton25",
                                  "ToolButton26",
                                  "",
                                  "ToolButton11"};
    EXPECT_EQ(order, expected);

    struct Hint {
        QToolButton* button;
        const char* tooltip;
        const char* status;
    };
    const Hint hints[] = {
        {main->ToolButton1, "Abrir", "Abre um novo arquivo de resultados"},
        {main->ToolButton2, "Fechar", "Fecha o programa"},
        {main->ToolButton6, "Cascata", "Janelas em cascata"},
        {main->ToolButton7, "Lado a lado horizontal", "Janelas lado a lado, uma acima da outra"},
        {main->ToolButton8, "Lado a lado vertical", "Janelas lado a lado, uma ao lado da outra"},
        {main->ToolButton4, "Zoom +", "Zoom +"},
        {main->ToolButton5, "Zoom -", "Zoom -"},
        {main->ToolButton11, "Fechar todas", "Fecha todas as janelas de resultados"},
        {main->ToolButton15, "Zoom 1", "Zoom original: escala 1 (tecla Home também centraliza)"},
        {main->ToolButton16, "Centralizar", "Volta o modelo ao centro, desfazendo movimentos e arrastos"},
        {main->ToolButton28, "Enquadrar",
         "Centra o modelo e o faz ocupar a vista, girando em torno do seu centro (tecla F)"},
        {main->ToolButton12, "Mover +X", "Move o modelo 0,5 no sentido +X"},
        {main->ToolButton13, "Mover -X", "Move o modelo 0,5 no sentido -X"},
        {main->ToolButton17, "Mover +Y", "Move o modelo 0,5 no sentido +Y"},
        {main->ToolButton18, "Mover -Y", "Move o modelo 0,5 no sentido -Y"},
        {main->ToolButton19, "Mover +Z", "Move o modelo 0,5 no sentido +Z"},
        {main->ToolButton20, "Mover -Z", "Move o modelo 0,5 no sentido -Z"},
        {main->ToolButton22, "Vista frontal", "Vista de frente: x para a direita, y para cima"},
        {main->ToolButton27, "Vista esquerda", "Vista pela esquerda (lado -x)"},
        {main->ToolButton23, "Frente direita, acima", "Vista da frente à direita, 30 graus acima"},
        {main->ToolButton24, "Trás direita, acima", "Vista de trás à direita, 30 graus acima"},
        {main->ToolButton25, "Frente direita, abaixo", "Vista da frente à direita, 30 graus abaixo"},
        {main->ToolButton26, "Trás direita, abaixo", "Vista de trás à direita, 30 graus abaixo"},
    };
    for (const Hint& h : hints) {
        const QString status =
            h.button->defaultAction() ? h.button->defaultAction()->statusTip() : h.button->statusTip();
        EXPECT_EQ(h.button->toolTip(), QString::fromUtf8(h.tooltip)) << h.button->objectName().toStdString();
        EXPECT_EQ(status, QString::fromUtf8(h.status)) << h.button->objectName().toStdString();
    }
    // Buttons that share an image number share the picture.
    EXPECT_EQ(main->ToolButton12->icon().pixmap(16).toImage(),
              main->ToolButton17->icon().pixmap(16).toImage());
    EXPECT_EQ(main->ToolButton13->icon().pixmap(16).toImage(),
              main->ToolButton20->icon().pixmap(16).toImage());
    EXPECT_NE(main->ToolButton12->icon().pixmap(16).toImage(),
              main->ToolButton13->icon().pixmap(16).toImage());
}

TEST_F(MainWindowTest, LongHintGoesToTheStatusBar) {
    show_main();
    QStatusTipEvent tip(main->ToolButton1->statusTip());
    QApplication::sendEvent(main->ToolButton1, &tip);
    EXPECT_EQ(main->StatusBar1->currentMessage(), QStringLiteral("Abre um novo arquivo de resultados"));
    ui::show_status(QStringLiteral(" Velocidade do Mouse: 100 %"));
    EXPECT_EQ(main->StatusBar1->currentMessage(), QStringLiteral(" Velocidade do Mouse: 100 %"));
}

// The hint's long text belongs to the pointer over its button: it goes when
// the pointer leaves, and once the command has run (the open dialog covers
// the button, so the pointer's leaving is not seen).
TEST_F(MainWindowTest, HintIsClearedWhenThePointerLeavesOrTheCommandHasRun) {
    show_main();
    QStatusTipEvent tip(main->ToolButton1->statusTip());
    QApplication::sendEvent(main->ToolButton1, &tip);
    ASSERT_EQ(main->StatusBar1->currentMessage(), QStringLiteral("Abre um novo arquivo de resultados"));
    test::leave(main->ToolButton1);
    EXPECT_EQ(main->StatusBar1->currentMessage(), QString());

    struct Case {
        QToolButton* button;
        const char* hint;
    };
    const Case cases[] = {
        {main->ToolButton1, "Abre um novo arquivo de resultados"},   // opens a file through the dialog
        {main->ToolButton6, "Janelas em cascata"},                   // a window action
        {main->ToolButton4, "Zoom +"},                               // a view command
        {main->ToolButton11, "Fecha todas as janelas de resultados"} // closes every viewer
    };
    for (const Case& c : cases) {
        if (c.button == main->ToolButton1) {
            dialogs().answer_open(test::data_path("viewer/four_lists.txt"));
        } else if (main->viewers().isEmpty()) {
            ASSERT_NE(open_sample(), nullptr);
        }
        QStatusTipEvent over(c.button->statusTip());
        QApplication::sendEvent(c.button, &over);
        ASSERT_EQ(main->StatusBar1->currentMessage(), QString::fromUtf8(c.hint));
        c.button->click();
        test::settle();
        EXPECT_EQ(main->StatusBar1->currentMessage(), QString()) << c.hint;
    }
    EXPECT_EQ(main->viewers().size(), 0) << "Close All ran";

    // A message the command writes itself stays.
    ASSERT_NE(open_sample(), nullptr);
    QStatusTipEvent over(main->ToolButton4->statusTip());
    QApplication::sendEvent(main->ToolButton4, &over);
    ui::show_status(QStringLiteral(" Velocidade do Mouse: 100 %"));
    main->ToolButton4->click();
    EXPECT_EQ(main->StatusBar1->currentMessage(), QStringLiteral(" Velocidade do Mouse: 100 %"));
}

// Qt's own dialogs speak Portuguese; our texts stay as they are.
TEST_F(MainWindowTest, StandardDialogsSpeakPortuguese) {
    ASSERT_TRUE(install_qt_translations()) << "Qt's Portuguese catalogue is missing (qt6-translations-l10n)";
    auto texts = [](QWidget* dialog) {
        QStringList list;
        for (QLabel* l : dialog->findChildren<QLabel*>())
            list << l->text();
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
            list << b->text();
        return list;
    };
    QFileDialog open(main.get(), QString::fromUtf8(TForm1::kOpenDialogTitle));
    open.setOption(QFileDialog::DontUseNativeDialog);
    open.show();
    test::settle();
    const QStringList open_texts = texts(&open);
    EXPECT_TRUE(open_texts.contains(QStringLiteral("Procurar em:"))) << open_texts.join('|').toStdString();
    EXPECT_TRUE(open_texts.contains(QStringLiteral("Cancelar"))) << open_texts.join('|').toStdString();
    EXPECT_EQ(open.windowTitle(), QStringLiteral("Arquivo de dados"));
    open.hide();

    QMessageBox question(QMessageBox::Question, ui::application_title(), QStringLiteral("Substituir?"),
                         QMessageBox::Yes | QMessageBox::No, main.get());
    question.show();
    test::settle();
    EXPECT_EQ(question.button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("Sim"));
    EXPECT_EQ(question.button(QMessageBox::No)->text().remove('&'), QStringLiteral("Não"));
    question.hide();

    QColorDialog colour(main.get());
    colour.setOption(QColorDialog::DontUseNativeDialog);
    colour.show();
    test::settle();
    EXPECT_EQ(colour.windowTitle(), QStringLiteral("Selecionar cor"));
    colour.hide();

    // The window menu and the toolbar speak Portuguese too.
    const QStringList window_menu{"&Cascata", "Lado a lado &horizontal", "Lado a lado &vertical",
                                  "&Minimizar todas", "&Organizar ícones"};
    EXPECT_EQ((QStringList{main->Cascata1->text(), main->LadoaLado1->text(), main->Vertical1->text(),
                           main->Minimize1->text(), main->Maximize1->text()}),
              window_menu);
    EXPECT_EQ(main->ToolButton1->toolTip(), QStringLiteral("Abrir"));
}

TEST_F(MainWindowTest, LowestFreeNumberIsReused) {
    show_main();
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(open_sample(), nullptr);
    EXPECT_EQ(captions(), (QStringList{"Janela 1 - four_lists.txt", "Janela 2 - four_lists.txt",
                                       "Janela 3 - four_lists.txt"}));
    close_number(2);
    EXPECT_EQ(captions(), (QStringList{"Janela 1 - four_lists.txt", "Janela 3 - four_lists.txt"}));
    EXPECT_EQ(main->viewer_slots[2], 0);
    TForm2* again = open_sample();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->windowTitle(), QStringLiteral("Janela 2 - four_lists.txt"));
    EXPECT_EQ(main->viewer_forms[2].data(), again);
    TForm2* fourth = open_sample();
    ASSERT_NE(fourth, nullptr);
    EXPECT_EQ(fourth->windowTitle(), QStringLiteral("Janela 4 - four_lists.txt"));
    EXPECT_EQ(main->viewer_count, 4);
}

TEST_F(MainWindowTest, ClosingOneAndTwoOfThreeHandsOutOneThenTwo) {
    show_main();
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(open_sample(), nullptr);
    close_number(1);
    close_number(2);
    EXPECT_EQ(open_sample()->windowTitle(), QStringLiteral("Janela 1 - four_lists.txt"));
    EXPECT_EQ(open_sample()->windowTitle(), QStringLiteral("Janela 2 - four_lists.txt"));
    EXPECT_EQ(open_sample()->windowTitle(), QStringLiteral("Janela 4 - four_lists.txt"));
}

TEST_F(MainWindowTest, ClosingTheViewerItselfClosesItsFrameToo) {
    show_main();
    TForm2* f = open_sample();
    ASSERT_NE(f, nullptr);
    QPointer<QMdiSubWindow> frame = qobject_cast<QMdiSubWindow*>(f->parentWidget());
    ASSERT_FALSE(frame.isNull());
    f->close(); // not through the frame
    ASSERT_TRUE(test::wait_until([&] {
        test::settle();
        return frame.isNull();
    }));
    EXPECT_TRUE(main->viewers().isEmpty());
    EXPECT_EQ(main->viewer_slots[1], 0);
    EXPECT_TRUE(commands_disabled());
    // And through the frame, as its close button does.
    ASSERT_NE(open_sample(), nullptr);
    frame = main->MDIClient->subWindowList().front();
    frame->close();
    test::settle();
    EXPECT_TRUE(frame.isNull());
    EXPECT_EQ(main->viewer_slots[1], 0);
    EXPECT_EQ(open_sample()->windowTitle(), QStringLiteral("Janela 1 - four_lists.txt"));
}

TEST_F(MainWindowTest, CloseAllRestartsNumberingAtOne) {
    show_main();
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(open_sample(), nullptr);
    close_number(1);
    main->ToolButton11Click();
    test::settle();
    EXPECT_TRUE(main->viewers().isEmpty());
    EXPECT_TRUE(main->MDIClient->subWindowList().isEmpty());
    EXPECT_EQ(main->viewer_count, 0);
    EXPECT_EQ(main->viewer_forms.size(), 100u);
    EXPECT_TRUE(commands_disabled());
    TForm2* next = open_sample();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->windowTitle(), QStringLiteral("Janela 1 - four_lists.txt"));
    EXPECT_EQ(main->viewer_slots.size(), 2u);
    EXPECT_TRUE(commands_enabled());
}

// Anything that is not a result file is refused with the reader's message
// before it can block; no viewer is left and the program goes on.
TEST_F(MainWindowTest, FilesThatAreNoResultFilesAreRefusedAtOnce) {
    show_main();
    const QString dir =
        QDir::tempPath() + QStringLiteral("/orv_shell_%1").arg(QCoreApplication::applicationPid());
    QDir().mkpath(dir);
    const QString fifo = dir + QStringLiteral("/pipe.txt"); // no writer: a plain open would wait for one
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = dir + QStringLiteral("/random.txt");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/urandom"), link));
    struct Case {
        QString path;
        QString message;
    };
    const QString plain = test::data_path("reader/not_a_result_file.txt");
    for (const Case& c :
         {Case{fifo, QStringLiteral("N\u00E3o foi poss\u00EDvel abrir ") + fifo +
                         QStringLiteral(": \u00E9 um FIFO, n\u00E3o um arquivo comum")},
          Case{link, QStringLiteral("N\u00E3o foi poss\u00EDvel abrir ") + link +
                         QStringLiteral(": \u00E9 um dispositivo de caracteres, n\u00E3o um arquivo comum")},
          Case{QStringLiteral("/dev/zero"),
               QStringLiteral(
                   "N\u00E3o foi poss\u00EDvel abrir /dev/zero: \u00E9 um dispositivo de caracteres, "
                   "n\u00E3o um arquivo comum")},
          Case{plain, QStringLiteral("not_a_result_file.txt is not a result file: it has no line "
                                     "beginning with '#'.")}}) {
        dialogs().requests.clear();
        EXPECT_EQ(open(c.path), nullptr) << c.path.toStdString();
        ASSERT_EQ(dialogs().count(DialogKind::Error), 1) << c.path.toStdString();
        EXPECT_EQ(dialogs().last_text(DialogKind::Error), c.message);
        EXPECT_TRUE(main->viewers().isEmpty());
        EXPECT_EQ(main->viewer_count, 0);
        EXPECT_TRUE(commands_disabled());
    }
    QFile::remove(fifo);
    QFile::remove(link);
    QDir().rmdir(dir);
    TForm2* next = open_sample();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->windowTitle(), QStringLiteral("Janela 1 - four_lists.txt"));
}

// A file that ends early opens, with zeros for what is missing, and then says so.
TEST_F(MainWindowTest, FileThatEndsEarlyOpensThenWarns) {
    show_main();
    TForm2* form = open(test::data_path("reader/ends_early.txt"));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Janela 1 - ends_early.txt"));
    EXPECT_EQ(form->model.nnode, 3);
    EXPECT_EQ(dialogs().count(DialogKind::Error), 0);
    ASSERT_EQ(dialogs().count(DialogKind::Warning), 1);
    EXPECT_EQ(dialogs().last_text(DialogKind::Warning),
              QStringLiteral("ends_early.txt ends early: 3 nodes announced, 1 read; the rest read as 0."));
    const ui::DialogRequest& warning = dialogs().requests.back();
    EXPECT_EQ(warning.kind, DialogKind::Warning);
    EXPECT_EQ(warning.title, ui::application_title());
    // A complete file says nothing.
    dialogs().requests.clear();
    ASSERT_NE(open_sample(), nullptr);
    EXPECT_EQ(dialogs().count(DialogKind::Warning), 0);
}

// The open dialog offers every extension of the reader's formats (.vtp was missing).
TEST_F(MainWindowTest, OpenDialogOffersEveryFormatsExtensions) {
    show_main();
    dialogs().reset();
    dialogs().answer_cancel();
    main->Novo2Click();
    test::settle();
    ASSERT_EQ(dialogs().count(DialogKind::OpenFile), 1);
    const QString filter = dialogs().last_text(DialogKind::OpenFile);
    EXPECT_TRUE(filter.startsWith(QStringLiteral("Resultados (*.txt "))) << filter.toStdString();
    EXPECT_TRUE(filter.endsWith(QStringLiteral(");;Todos (*)"))) << filter.toStdString();
    for (const char* ext :
         {"*.vtk", "*.vtu", "*.vtp", "*.pvd", "*.pvtu", "*.msh", "*.frd", "*.exo", "*.xdmf", "*.xmf"})
        EXPECT_TRUE(filter.contains(QString::fromLatin1(ext))) << ext;
    EXPECT_TRUE(main->viewers().isEmpty());
}

// A long read shows "Lendo FILE..."; "Cancelar" abandons the open: no
// viewer, no message, the window number free again.
TEST_F(MainWindowTest, CancellingAReadLeavesNoViewer) {
    show_main();
    ASSERT_NE(open_sample(), nullptr); // Janela 1
    ui::ProgressBox::set_delay_ms(0);  // every read counts as long
    dialogs().requests.clear();
    dialogs().answer_open(test::data_path("viewer/four_lists.txt"));
    dialogs().answer_cancel(); // the progress dialog's "Cancelar"
    main->Novo2Click();
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::Progress), 1);
    EXPECT_EQ(dialogs().last_text(DialogKind::Progress), QStringLiteral("Lendo four_lists.txt..."));
    EXPECT_EQ(dialogs().count(DialogKind::Error), 0);
    EXPECT_EQ(main->viewers().size(), 1);
    EXPECT_EQ(main->MDIClient->subWindowList().size(), 1);
    EXPECT_EQ(main->viewer_count, 1);
    EXPECT_EQ(main->viewer_slots.size(), 2u);
    // Letting the read go on opens the viewer, as the next number.
    dialogs().answer_open(test::data_path("viewer/four_lists.txt"));
    dialogs().answer_yes();
    main->Novo2Click();
    test::settle();
    ui::ProgressBox::set_delay_ms(500);
    EXPECT_EQ(dialogs().count(DialogKind::Progress), 2);
    ASSERT_EQ(main->viewers().size(), 2);
    EXPECT_EQ(main->target_viewer()->windowTitle(), QStringLiteral("Janela 2 - four_lists.txt"));
    EXPECT_EQ(main->target_viewer()->model.nlista, 4);
}

TEST_F(MainWindowTest, CancellingTheOpenDialogChangesNothing) {
    show_main();
    dialogs().answer_cancel();
    main->Novo2Click();
    EXPECT_EQ(dialogs().count(DialogKind::OpenFile), 1);
    EXPECT_EQ(dialogs().requests.back().title, QStringLiteral("Arquivo de dados"));
    EXPECT_EQ(dialogs().requests.back().text,
              QStringLiteral("Resultados (*.txt *.vtk *.vtu *.vtp *.pvd *.pvtu *.msh *.frd *.e *.exo *.ex2 "
                             "*.g *.xdmf *.xmf);;Todos (*)"));
    EXPECT_EQ(main->viewer_count, 0);
    EXPECT_TRUE(commands_disabled());

    ASSERT_NE(open_sample(), nullptr);
    const auto slots_before = main->viewer_slots;
    dialogs().answer_cancel();
    main->Novo2Click();
    test::settle();
    EXPECT_EQ(main->viewer_slots, slots_before);
    EXPECT_EQ(main->viewer_count, 1);
    EXPECT_EQ(main->viewers().size(), 1);
    EXPECT_TRUE(commands_enabled());
    EXPECT_EQ(dialogs().count(DialogKind::Error), 0);
}

TEST_F(MainWindowTest, ViewCommandsFollowTheViewers) {
    show_main();
    ASSERT_NE(open_sample(), nullptr);
    EXPECT_TRUE(commands_enabled());
    for (QAction* a : {main->Cascata1, main->LadoaLado1, main->Vertical1, main->Minimize1, main->Maximize1})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    EXPECT_TRUE(main->ToolButton6->isEnabled());
    ASSERT_NE(open_sample(), nullptr);
    close_number(1);
    EXPECT_TRUE(commands_enabled()) << "another viewer is still open";
    close_number(2);
    EXPECT_TRUE(commands_disabled());
    EXPECT_FALSE(main->Cascata1->isEnabled());
    EXPECT_FALSE(main->ToolButton6->isEnabled());
}

TEST_F(MainWindowTest, UnreadableFileLeavesNoViewerAndFreesItsNumber) {
    show_main();
    ASSERT_NE(open_sample(), nullptr);
    for (const char* bad : {"viewer/bad_number.txt", "viewer/no_such_file.txt"}) {
        dialogs().requests.clear();
        EXPECT_EQ(open(test::data_path(bad)), nullptr) << bad;
        ASSERT_EQ(dialogs().count(DialogKind::Error), 1) << bad;
        EXPECT_EQ(dialogs().requests.back().title, ui::application_title());
        EXPECT_EQ(main->viewers().size(), 1) << bad;
        EXPECT_EQ(main->MDIClient->subWindowList().size(), 1) << bad;
        EXPECT_EQ(main->viewer_count, 1) << bad;
        EXPECT_EQ(main->viewer_slots.size(), 2u) << bad;
    }
    EXPECT_TRUE(dialogs().last_text(DialogKind::Error).contains(QStringLiteral("no_such_file.txt")));
    dialogs().requests.clear();
    open(test::data_path("viewer/bad_number.txt"));
    EXPECT_EQ(dialogs().last_text(DialogKind::Error),
              QStringLiteral("Invalid numeric input at line 6 of bad_number.txt"));
    TForm2* next = open_sample();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->windowTitle(), QStringLiteral("Janela 2 - four_lists.txt"));

    // With no viewer open, a failed read leaves the commands disabled.
    main->ToolButton11Click();
    test::settle();
    open(test::data_path("viewer/bad_number.txt"));
    EXPECT_TRUE(commands_disabled());
    EXPECT_EQ(main->viewer_count, 0);
}

TEST_F(MainWindowTest, HundredthNumberIsRefusedWithAMessage) {
    show_main();
    // Numbers 1..99 all in use.
    main->viewer_count = 99;
    main->viewer_slots.resize(100);
    for (int n = 1; n <= 99; ++n)
        main->viewer_slots[static_cast<std::size_t>(n)] = n;
    dialogs().answer_open(test::data_path("viewer/four_lists.txt"));
    main->Novo2Click();
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::Error), 1);
    EXPECT_TRUE(dialogs().last_text(DialogKind::Error).contains(QStringLiteral("99")));
    EXPECT_TRUE(main->viewers().isEmpty());
    EXPECT_EQ(main->viewer_count, 99);
    EXPECT_EQ(main->viewer_slots.size(), 100u);
    // Once a number is free again, it is used.
    main->viewer_slots[57] = 0;
    EXPECT_EQ(open_sample()->windowTitle(), QStringLiteral("Janela 57 - four_lists.txt"));
}

TEST(FindName, TextAfterTheFirstSpace) {
    const std::pair<const char*, const char*> cases[] = {
        {"Janela 12", "12"}, {"Janela", "Janela"}, {"a b c", "b c"}, {" 7", "7"}, {"", ""}};
    for (const auto& [in, out] : cases) {
        QString text = QString::fromUtf8(in);
        TForm1::findname(text);
        EXPECT_EQ(text, QString::fromUtf8(out)) << in;
    }
}

TEST_F(MainWindowTest, SplashDisablesTheMainWindowWhileTheStartFileOpens) {
    TForm4 splash;
    main->set_splash_window(&splash);
    main->start_file = test::data_path("viewer/four_lists.txt");
    main->show();
    ASSERT_TRUE(test::wait_until([&] { return splash.isVisible(); }));
    EXPECT_FALSE(main->isEnabled());
    EXPECT_TRUE(main->Timer1->isActive());
    EXPECT_EQ(main->Timer1->interval(), 2000);
    EXPECT_EQ(splash.size(), QSize(409, 289));
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    // The start file is open as viewer 1 while the splash shows.
    ASSERT_EQ(main->viewers().size(), 1);
    EXPECT_EQ(main->viewers().front()->windowTitle(), QStringLiteral("Janela 1 - four_lists.txt"));
    EXPECT_EQ(dialogs().count(DialogKind::OpenFile), 0) << "the start file is opened without asking";
    EXPECT_TRUE(main->start_file.isEmpty());
    // Timer1 ends the splash.
    ASSERT_TRUE(test::wait_until([&] { return main->isEnabled(); }, 6000));
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(main->Timer1->isActive());
    // A later "Novo" asks again.
    dialogs().answer_cancel();
    main->Novo2Click();
    EXPECT_EQ(dialogs().count(DialogKind::OpenFile), 1);
    main->set_splash_window(nullptr);
}

TEST_F(MainWindowTest, CreditsWindowTakesTheInputAndOpensItsLinks) {
    TForm7 credits;
    main->set_credits_window(&credits);
    show_main();
    EXPECT_EQ(credits.windowTitle(), QStringLiteral("Créditos"));
    EXPECT_FALSE(credits.isVisible());
    main->Crditos1Click();
    ASSERT_TRUE(test::wait_until([&] { return credits.isVisible(); }));
    EXPECT_FALSE(main->isEnabled());
    EXPECT_TRUE(credits.windowFlags() & Qt::WindowStaysOnTopHint)
        << "topmost while the main window is disabled";
    EXPECT_TRUE(credits.isEnabled());
    EXPECT_TRUE(credits.RichEdit1->toPlainText().contains(
        QStringLiteral("Software para pós-processamento em elementos finitos 2D e 3D.")));
    EXPECT_TRUE(credits.RichEdit2->toPlainText().contains(QStringLiteral("Versão 2.0")));
    EXPECT_TRUE(credits.RichEdit3->toPlainText().startsWith(QStringLiteral("Autores:")));
    EXPECT_TRUE(credits.RichEdit1->isReadOnly());

    // A selection collapses at once.
    credits.RichEdit4->selectAll();
    EXPECT_FALSE(credits.RichEdit4->textCursor().hasSelection());

    // The invisible areas lie over their names and open the addresses.
    ASSERT_TRUE(credits.Link1->isVisible());
    ASSERT_TRUE(credits.Link2->isVisible());
    EXPECT_GT(credits.Link1->width(), 10);
    test::mouse_press(credits.Link1, QPointF(3, 3), Qt::LeftButton);
    test::mouse_release(credits.Link1, QPointF(3, 3), Qt::LeftButton);
    test::mouse_press(credits.Link2, QPointF(2, 2), Qt::LeftButton);
    test::mouse_release(credits.Link2, QPointF(2, 2), Qt::LeftButton);
    ASSERT_EQ(dialogs().count(DialogKind::OpenUrl), 2);
    EXPECT_EQ(dialogs().requests[0].text, QStringLiteral("https://www.opengl.org/"));
    EXPECT_EQ(dialogs().requests[1].text, QStringLiteral("https://www.qt.io/"));

    credits.close();
    EXPECT_FALSE(credits.isVisible());
    EXPECT_TRUE(main->isEnabled());
    main->set_credits_window(nullptr);
}

// ---- Toolbar view commands ----

TEST_F(MainWindowTest, ZoomButtonsStopAtPointFourAndResetToOne) {
    show_main();
    TForm2* f = open_sample();
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 12; ++i)
        main->ToolButton5->click();
    EXPECT_EQ(f->GLCamera1->scene_scale(), 0.39999986f);
    main->ToolButton5->click();
    EXPECT_EQ(f->GLCamera1->scene_scale(), 0.39999986f);
    EXPECT_FLOAT_EQ(f->DirectOpenGL3->scale(0), 0.0025f / 0.39999986f);
    main->ToolButton4->click();
    EXPECT_NEAR(f->GLCamera1->scene_scale(), 0.45, 1e-6);
    for (int a = 0; a < 3; ++a)
        EXPECT_FLOAT_EQ(f->DirectOpenGL3->scale(a), view::axes_symbol_scale(f->GLCamera1->scene_scale()));
    main->ToolButton15->click();
    EXPECT_EQ(f->GLCamera1->scene_scale(), 1.0f);
    for (int a = 0; a < 3; ++a)
        EXPECT_EQ(f->DirectOpenGL3->scale(a), 0.0025f);
    for (int i = 0; i < 30; ++i)
        main->ToolButton4->click();
    EXPECT_NEAR(f->GLCamera1->scene_scale(), 2.5, 1e-5) << "zoom in has no limit";
}

TEST_F(MainWindowTest, PresetViewsPlaceTheCamera) {
    show_main();
    TForm2* f = open_sample();
    ASSERT_NE(f, nullptr);
    main->ToolButton4->click();
    main->ToolButton12->click();
    const float zoom = f->GLCamera1->scene_scale();
    const view::Vec3f pan = f->DirectOpenGL1->position();
    struct Case {
        QToolButton* button;
        int code;
        double x, y, z, tur;
    };
    const Case cases[] = {
        {main->ToolButton23, 1, 18.37, 15, 18.37, 45},  {main->ToolButton24, 2, 18.37, 15, -18.37, 135},
        {main->ToolButton25, 3, 18.37, -15, 18.37, 45}, {main->ToolButton26, 4, 18.37, -15, -18.37, 135},
        {main->ToolButton27, -1, -30, 0, 0, -90},       {main->ToolButton22, 0, 0, 0, 30, 0},
    };
    for (const Case& c : cases) {
        for (int twice = 0; twice < 2; ++twice) {
            c.button->click();
            const view::Vec3f p = f->GLCamera1->position();
            EXPECT_NEAR(p[0], c.x, 0.01) << c.code;
            EXPECT_NEAR(p[1], c.y, 0.01) << c.code;
            EXPECT_NEAR(p[2], c.z, 0.01) << c.code;
            EXPECT_DOUBLE_EQ(f->tur, c.tur) << c.code;
            EXPECT_EQ(main->preset_code, c.code);
        }
    }
    EXPECT_EQ(f->GLCamera1->scene_scale(), zoom) << "presets keep the zoom";
    EXPECT_EQ(f->DirectOpenGL1->position(), pan) << "presets keep the pan offset";
}

TEST_F(MainWindowTest, MovesAlongWorldAxesAndCentre) {
    show_main();
    TForm2* f = open_sample();
    ASSERT_NE(f, nullptr);
    struct Case {
        QToolButton* button;
        int axis;
        float step;
    };
    const Case cases[] = {{main->ToolButton12, 0, 0.5f}, {main->ToolButton13, 0, -0.5f},
                          {main->ToolButton17, 1, 0.5f}, {main->ToolButton18, 1, -0.5f},
                          {main->ToolButton19, 2, 0.5f}, {main->ToolButton20, 2, -0.5f}};
    for (const Case& c : cases) {
        const view::Vec3f before = f->DirectOpenGL1->position();
        c.button->click();
        for (int a = 0; a < 3; ++a) {
            const float expected = before[static_cast<std::size_t>(a)] + (a == c.axis ? c.step : 0.0f);
            EXPECT_EQ(f->DirectOpenGL1->position(a), expected) << c.button->objectName().toStdString();
        }
        EXPECT_EQ(f->DirectOpenGL3->position(), f->DirectOpenGL1->position());
    }
    main->ToolButton12->click();
    main->ToolButton19->click();
    main->ToolButton16->click();
    EXPECT_EQ(f->DirectOpenGL1->position(), (view::Vec3f{0, 0, 0}));
    EXPECT_EQ(f->DirectOpenGL3->position(), (view::Vec3f{0, 0, 0}));
}

TEST_F(MainWindowTest, CommandsActOnTheActiveViewerOnly) {
    show_main();
    TForm2* first = open_sample();
    TForm2* second = open_sample();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(main->target_viewer(), second);
    main->ToolButton12->click();
    EXPECT_EQ(second->DirectOpenGL1->position(0), 0.5f);
    EXPECT_EQ(first->DirectOpenGL1->position(0), 0.0f);
    main->MDIClient->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
    EXPECT_EQ(main->target_viewer(), first);
    main->ToolButton4->click();
    EXPECT_NEAR(first->GLCamera1->scene_scale(), 1.05, 1e-6);
    EXPECT_EQ(second->GLCamera1->scene_scale(), 1.0f);
}

TEST_F(MainWindowTest, WindowMenuActionsArrangeTheViewers) {
    show_main();
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(open_sample(), nullptr);
    main->Vertical1->trigger();
    QList<QMdiSubWindow*> subs = main->MDIClient->subWindowList();
    ASSERT_EQ(subs.size(), 3);
    QList<int> lefts;
    for (QMdiSubWindow* s : subs) {
        EXPECT_FALSE(s->isMaximized());
        EXPECT_EQ(s->y(), 0);
        lefts << s->x();
    }
    std::sort(lefts.begin(), lefts.end());
    EXPECT_LT(lefts[0], lefts[1]);
    EXPECT_LT(lefts[1], lefts[2]);
    main->LadoaLado1->trigger();
    for (QMdiSubWindow* s : main->MDIClient->subWindowList())
        EXPECT_EQ(s->x(), 0);
    main->Minimize1->trigger();
    for (QMdiSubWindow* s : main->MDIClient->subWindowList())
        EXPECT_TRUE(s->isMinimized());
    main->Maximize1->trigger();
    for (QMdiSubWindow* s : main->MDIClient->subWindowList())
        s->showNormal();
    // Cascade: the same usable size for all, one title bar apart, the active one in front.
    main->MDIClient->setActiveSubWindow(main->MDIClient->subWindowList().at(1));
    main->Cascata1->trigger();
    test::settle();
    const QRect area = main->MDIClient->viewport()->rect();
    QList<QMdiSubWindow*> stack = main->MDIClient->subWindowList(QMdiArea::StackingOrder);
    ASSERT_EQ(stack.size(), 3);
    EXPECT_EQ(stack.back(), main->MDIClient->subWindowList().at(1)) << "the active viewer is in front";
    EXPECT_EQ(main->MDIClient->activeSubWindow(), stack.back());
    for (qsizetype i = 0; i < stack.size(); ++i) {
        EXPECT_EQ(stack[i]->size(), QSize(area.width() * 2 / 3, area.height() * 2 / 3)) << i;
        if (i > 0) {
            const QPoint step = stack[i]->pos() - stack[i - 1]->pos();
            EXPECT_EQ(step.x(), step.y()) << i;
            EXPECT_GT(step.x(), 10) << i;
            EXPECT_LT(step.x(), 60) << i;
        }
    }
    // The window list names every viewer.
    emit main->Janela1->aboutToShow();
    int listed = 0;
    for (QAction* a : main->Janela1->actions())
        listed += a->text().contains(QStringLiteral("Janela "));
    EXPECT_EQ(listed, 3);
}

// A field's exit handler runs when the focus moves on inside its viewer, not
// when the user clicks into another viewer: "Fator de Multiplicação" parks
// the focus in its own window, which would pull the activation back there.
TEST_F(MainWindowTest, AViewerRestoredFromMaximisedKeepsAUsableSize) {
    show_main();
    ASSERT_NE(open_sample(), nullptr);
    ASSERT_NE(open_sample(), nullptr);
    const QRect area = main->MDIClient->viewport()->rect();
    for (QMdiSubWindow* s : main->MDIClient->subWindowList()) {
        s->showNormal();
        test::settle();
        EXPECT_GE(s->width(), area.width() / 2) << s->windowTitle().toStdString();
        EXPECT_GE(s->height(), area.height() / 2) << s->windowTitle().toStdString();
        auto* form = qobject_cast<TForm2*>(s->widget());
        ASSERT_NE(form, nullptr);
        EXPECT_FALSE(form->GLSceneViewer1->size().isEmpty());
    }
}

TEST_F(MainWindowTest, LeavingAFieldForAnotherViewerIsNoExit) {
    show_main();
    main->activateWindow();
    ASSERT_TRUE(test::wait_until([&] { return main->isActiveWindow(); }));
    TForm2* first = open_sample();
    TForm2* second = open_sample();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    main->Vertical1->trigger();
    auto* sub1 = qobject_cast<QMdiSubWindow*>(first->parentWidget());
    auto* sub2 = qobject_cast<QMdiSubWindow*>(second->parentWidget());
    main->MDIClient->setActiveSubWindow(sub1);
    first->ComboBox1->setCurrentIndex(1); // "Escala Deslocamento" shows Edit7
    first->ComboBox1Change();

    // Within the viewer: Edit7Exit parks the focus and sets the flag.
    first->changes = false;
    first->Edit7->setFocus(Qt::MouseFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), first->Edit7);
    first->Edit6->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), first->CheckBox1);
    EXPECT_TRUE(first->changes);

    // Into the other viewer: that viewer keeps the focus and the activation.
    first->changes = false;
    first->Edit7->setFocus(Qt::MouseFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), first->Edit7);
    second->CheckListBox1->setFocus(Qt::MouseFocusReason);
    test::settle();
    EXPECT_EQ(QApplication::focusWidget(), second->CheckListBox1);
    EXPECT_EQ(main->MDIClient->activeSubWindow(), sub2);
    EXPECT_FALSE(first->changes);
    EXPECT_EQ(first->focusWidget(), first->Edit7) << "the field keeps the focus within its window";

    // Back in the first viewer, the focus is in the field again; closing
    // every viewer with it there is safe.
    main->MDIClient->setActiveSubWindow(sub1);
    test::settle();
    EXPECT_EQ(QApplication::focusWidget(), first->Edit7);
    main->ToolButton11->click();
    test::settle();
    EXPECT_TRUE(main->viewers().isEmpty());
}

TEST_F(MainWindowTest, TiledViewersScrollTheirControlPanel) {
    show_main();
    std::vector<TForm2*> forms;
    for (int i = 0; i < 3; ++i) {
        forms.push_back(open_sample());
        ASSERT_NE(forms.back(), nullptr);
    }
    main->LadoaLado1->trigger();
    test::settle();
    for (TForm2* f : forms) {
        QScrollArea* scroll = f->panel_scroll;
        QWidget* last = f->ComboBox1; // the chooser ends the panel
        ASSERT_TRUE(last->isVisible());
        const auto seen = [&] {
            const QRect r(last->mapTo(scroll->viewport(), QPoint(0, 0)), last->size());
            return scroll->viewport()->rect().contains(r);
        };
        ASSERT_LT(scroll->height(), f->Panel1->minimumHeight()) << "the panel no longer fits";
        EXPECT_FALSE(seen());
        // The panel keeps its width, and so does the 3D view.
        EXPECT_EQ(scroll->width(), 152);
        EXPECT_EQ(f->GLSceneViewer1->width(), f->width() - 152);
        QScrollBar* bar = scroll->verticalScrollBar();
        ASSERT_TRUE(bar->isVisible());
        bar->setValue(bar->maximum());
        test::settle();
        EXPECT_TRUE(seen()) << "the chooser scrolled into view";
    }
    // A viewer tall enough shows no scroll bar and the panel at its full width.
    main->MDIClient->subWindowList().front()->showMaximized();
    test::settle();
    TForm2* big = main->target_viewer();
    ASSERT_NE(big, nullptr);
    EXPECT_GE(big->panel_scroll->height(), big->Panel1->minimumHeight());
    EXPECT_FALSE(big->panel_scroll->verticalScrollBar()->isVisible());
    EXPECT_EQ(big->Panel1->width(), 152);
    EXPECT_EQ(big->GroupBox3->x(), 5);
}

} // namespace
} // namespace orv

namespace orv {
namespace {

TEST(CaptionNumber, DigitsAfterTheFirstSpace) {
    const std::pair<const char*, int> cases[] = {{"Janela 12 - casca.txt", 12},
                                                 {"Janela 3 - 7 vigas.txt", 3},
                                                 {"Janela 4", 4},
                                                 {"Janela", 0},
                                                 {"Janela - 5.txt", 0},
                                                 {"", 0}};
    for (const auto& [caption, number] : cases)
        EXPECT_EQ(TForm1::caption_number(QString::fromUtf8(caption)), number) << caption;
}

// Viewers named by their files: the caption and the "Janela" list, and the
// commands still find the active viewer by its number.
TEST_F(MainWindowTest, ViewersShowTheirFileNames) {
    show_main();
    TForm2* plate = open(test::example_path("placa.txt"));
    TForm2* beam = open(test::example_path("viga.txt"));
    ASSERT_NE(plate, nullptr);
    ASSERT_NE(beam, nullptr);
    EXPECT_EQ(plate->windowTitle(), QStringLiteral("Janela 1 - placa.txt"));
    EXPECT_EQ(beam->windowTitle(), QStringLiteral("Janela 2 - viga.txt"));
    EXPECT_EQ(beam->window_number(), 2);
    emit main->Janela1->aboutToShow();
    QStringList entries;
    for (QAction* a : main->Janela1->actions())
        if (a->text().contains(QStringLiteral("Janela "))) entries << a->text();
    emit main->Janela1->aboutToHide();
    EXPECT_EQ(entries, (QStringList{"&1 Janela 1 - placa.txt", "&2 Janela 2 - viga.txt"}));
    // The toolbar's zoom acts on the active viewer, found through its caption.
    main->ToolButton4->click();
    EXPECT_FLOAT_EQ(beam->GLCamera1->scene_scale(), 1.05f);
    EXPECT_FLOAT_EQ(plate->GLCamera1->scene_scale(), 1.0f);
    // Closing frees the number the caption holds.
    beam->close_viewer();
    test::settle();
    EXPECT_EQ(main->viewer_slots[2], 0);
    EXPECT_EQ(open(test::example_path("casca.txt"))->windowTitle(), QStringLiteral("Janela 2 - casca.txt"));
}

TEST_F(MainWindowTest, EveryFileOfTheCommandLineOpensAViewerInOrder) {
    main->start_files = {test::example_path("viga.txt"), test::example_path("placa.txt"),
                         test::data_path("viewer/four_lists.txt")};
    main->show();
    ASSERT_TRUE(test::wait_until([&] { return main->viewers().size() == 3; }, 20000));
    QStringList titles;
    for (TForm2* f : main->viewers())
        titles << f->windowTitle();
    EXPECT_EQ(titles,
              (QStringList{"Janela 1 - viga.txt", "Janela 2 - placa.txt", "Janela 3 - four_lists.txt"}));
    EXPECT_EQ(dialogs().count(DialogKind::OpenFile), 0);
    EXPECT_EQ(main->target_viewer(), main->viewers().back());
}

TEST_F(MainWindowTest, DroppedFilesOpenAsNovoDoes) {
    show_main();
    const QString casca = test::example_path("casca.txt");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(casca)});
    const QPoint at = main->MDIClient->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main.get(), &drop);
    ASSERT_TRUE(test::wait_until([&] { return main->viewers().size() == 1; }));
    EXPECT_EQ(main->viewers().front()->windowTitle(), QStringLiteral("Janela 1 - casca.txt"));
    EXPECT_TRUE(commands_enabled());
    // What is no local file is not taken.
    QMimeData text;
    text.setText(QStringLiteral("casca.txt"));
    QDragEnterEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QCoreApplication::sendEvent(main.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    // The open dialog then starts in the dropped file's folder.
    dialogs().answer_cancel();
    main->Novo2Click();
    EXPECT_EQ(dialogs().requests.back().folder, QFileInfo(casca).absolutePath());
}

TEST_F(MainWindowTest, KeysOpenAndCloseViewers) {
    show_main();
    main->activateWindow();
    test::settle();
    // Ctrl+O is "Novo": the open dialog, answered with a file.
    dialogs().answer_open(test::data_path("viewer/four_lists.txt"));
    QTest::keyClick(main.get(), Qt::Key_O, Qt::ControlModifier);
    test::settle();
    EXPECT_EQ(dialogs().count(DialogKind::OpenFile), 1);
    ASSERT_EQ(main->viewers().size(), 1);
    ASSERT_NE(open(test::example_path("viga.txt")), nullptr);
    // Ctrl+W closes the active viewer only.
    QTest::keyClick(main.get(), Qt::Key_W, Qt::ControlModifier);
    test::settle();
    ASSERT_EQ(main->viewers().size(), 1);
    EXPECT_EQ(main->viewers().front()->windowTitle(), QStringLiteral("Janela 1 - four_lists.txt"));
    EXPECT_EQ(main->viewer_slots[2], 0);
}

TEST_F(MainWindowTest, OpenDialogStartsInTheFolderLastUsed) {
    show_main();
    dialogs().answer_cancel();
    main->Novo2Click();
    EXPECT_EQ(dialogs().requests.back().folder, QString()) << "the working folder at first";
    ASSERT_NE(open_sample(), nullptr);
    dialogs().answer_cancel();
    main->Novo2Click();
    EXPECT_EQ(dialogs().requests.back().folder,
              QFileInfo(test::data_path("viewer/four_lists.txt")).absolutePath());
}

TEST_F(MainWindowTest, F5RereadsTheActiveViewersFileOnly) {
    // Two viewers of two results that an analysis is writing.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fixture = test::data_path("viewer/transient_2.txt");
    const QString a = dir.filePath("a.txt"), b = dir.filePath("b.txt");
    ASSERT_TRUE(QFile::copy(fixture, a));
    ASSERT_TRUE(QFile::copy(fixture, b));
    show_main();
    main->activateWindow();
    TForm2* first = open(a);
    TForm2* second = open(b);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(main->reload_action->isEnabled());
    EXPECT_EQ(main->reload_action->shortcut(), QKeySequence(Qt::Key_F5));
    // Both grew by a step.
    for (const QString& f : {a, b}) {
        ASSERT_TRUE(QFile::remove(f));
        ASSERT_TRUE(QFile::copy(test::data_path("viewer/transient_3.txt"), f));
    }
    QTest::keyClick(main.get(), Qt::Key_F5);
    test::settle();
    EXPECT_EQ(second->model.nlista, 21);
    EXPECT_EQ(first->model.nlista, 14);
    EXPECT_EQ(main->viewers().size(), 2);
    EXPECT_EQ(second->windowTitle(), QStringLiteral("Janela 2 - b.txt"));
}

} // namespace
} // namespace orv
