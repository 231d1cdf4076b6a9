#include "shell/Unit1.h"

#include "shell/Unit4.h"
#include "shell/Unit7.h"
#include "shell/pictures.h"
#include "shell/window_arrangement.h"
#include "ui/dialogs.h"
#include "viewer/Unit2.h"
#include "viewer/formats/formats.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeySequence>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace orv {
namespace {

TForm1* g_main_form = nullptr;

} // namespace

TForm1* main_form() {
    return g_main_form;
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    g_main_form = this;
    setObjectName("Form1");
    setWindowTitle(QStringLiteral(".:: Orvanel - v2.0 ::."));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    setAcceptDrops(true);
    MDIClient = new QMdiArea(this);
    MDIClient->setObjectName("MDIClient");
    MDIClient->setBackground(Qt::white);
    setCentralWidget(MDIClient);

    StatusBar1 = statusBar();
    StatusBar1->setObjectName("StatusBar1");
    ui::set_status_sink([this](const QString& text) { StatusBar1->showMessage(text); });

    build_menu();
    build_toolbar();
    resize(909, 563 + menuBar()->sizeHint().height() + ToolBar1->sizeHint().height() +
                    StatusBar1->sizeHint().height());

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(2000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, ui::guarded_slot(this, [this] { Timer1Timer(); }));

    // FormCreate: the registry starts empty (the "." decimal separator is set
    // process-wide before any window exists, in gui_main).
    viewer_count = 0;
    viewer_forms.assign(kViewerFormsSize, nullptr);
    viewer_slots.assign(1, 0);

    connect(MDIClient, &QMdiArea::subWindowActivated, this, [this] { update_window_actions(); });
    set_view_commands_enabled(false);
    update_window_actions();
}

TForm1::~TForm1() {
    // The MDI area closes its viewers when the children go, after this body:
    // its signals must no longer reach a window that is half destroyed.
    disconnect(MDIClient, nullptr, this, nullptr);
    ui::set_status_sink(nullptr);
    if (g_main_form == this) g_main_form = nullptr;
}

void TForm1::set_credits_window(TForm7* form) {
    credits = form;
    if (credits) connect(credits, &TForm7::closed, this, [this] { credits_closed(); });
}

void TForm1::build_menu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    Arquivos1 = bar->addMenu(QStringLiteral("Arquivos"));
    Novo2 = Arquivos1->addAction(QStringLiteral("Novo"));
    Novo2->setObjectName("Novo2");
    reload_action = Arquivos1->addAction(QStringLiteral("Recarregar"));
    reload_action->setObjectName("reload_action");
    reload_action->setShortcut(QKeySequence(Qt::Key_F5));
    reload_action->setStatusTip(
        QStringLiteral("Lê de novo o arquivo da janela ativa, mantendo a vista e as listas marcadas"));
    Sair1 = Arquivos1->addAction(QStringLiteral("Sair"));
    Sair1->setObjectName("Sair1");
    Novo2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(Novo2, &QAction::triggered, this, ui::guarded_slot(this, [this] { Novo2Click(); }));
    connect(reload_action, &QAction::triggered, this, ui::guarded_slot(this, [this] {
                if (TForm2* form = target_viewer()) form->reload();
            }));
    // Ctrl+W closes the active viewer as its close button does (not a menu item).
    close_viewer_action = new QAction(this);
    close_viewer_action->setObjectName("close_viewer_action");
    close_viewer_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    addAction(close_viewer_action);
    connect(close_viewer_action, &QAction::triggered, this, ui::guarded_slot(this, [this] {
                if (TForm2* form = target_viewer()) form->close_viewer();
            }));
    connect(Sair1, &QAction::triggered, this, ui::guarded_slot(this, [this] { Sair1Click(); }));

    Janela1 = bar->addMenu(QStringLiteral("Janela"));
    Cascata1 = Janela1->addAction(QStringLiteral("&Cascata"));
    Cascata1->setObjectName("Cascata1");
    Cascata1->setToolTip(QStringLiteral("Cascata"));
    Cascata1->setStatusTip(QStringLiteral("Janelas em cascata"));
    Cascata1->setIcon(ui::toolbar_icon(17));
    LadoaLado1 = Janela1->addAction(QStringLiteral("Lado a lado &horizontal"));
    LadoaLado1->setObjectName("LadoaLado1");
    LadoaLado1->setToolTip(QStringLiteral("Lado a lado horizontal"));
    LadoaLado1->setStatusTip(QStringLiteral("Janelas lado a lado, uma acima da outra"));
    LadoaLado1->setIcon(ui::toolbar_icon(15));
    Vertical1 = Janela1->addAction(QStringLiteral("Lado a lado &vertical"));
    Vertical1->setObjectName("Vertical1");
    Vertical1->setToolTip(QStringLiteral("Lado a lado vertical"));
    Vertical1->setStatusTip(QStringLiteral("Janelas lado a lado, uma ao lado da outra"));
    Vertical1->setIcon(ui::toolbar_icon(16));
    Minimize1 = Janela1->addAction(QStringLiteral("&Minimizar todas"));
    Minimize1->setObjectName("Minimize1");
    Maximize1 = Janela1->addAction(QStringLiteral("&Organizar ícones"));
    Maximize1->setObjectName("Maximize1");
    connect(Cascata1, &QAction::triggered, this, [this] { cascade(); });
    connect(LadoaLado1, &QAction::triggered, this, [this] { tile_horizontally(); });
    connect(Vertical1, &QAction::triggered, this, [this] { tile_vertically(); });
    connect(Minimize1, &QAction::triggered, this, [this] { minimize_all(); });
    connect(Maximize1, &QAction::triggered, this, [this] { arrange_icons(); });
    connect(Janela1, &QMenu::aboutToShow, this, [this] { rebuild_window_list(); });

    Sobre1 = bar->addMenu(QStringLiteral("Sobre"));
    Ajuda1 = Sobre1->addAction(QStringLiteral("Ajuda"));
    Ajuda1->setObjectName("Ajuda1");
    Ajuda1->setEnabled(false);
    Crditos1 = Sobre1->addAction(QStringLiteral("Créditos"));
    Crditos1->setObjectName("Crditos1");
    connect(Crditos1, &QAction::triggered, this, ui::guarded_slot(this, [this] { Crditos1Click(); }));
}

void TForm1::build_toolbar() {
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->toggleViewAction()->setVisible(false);

    // hint: "short|long", the short part as tooltip, the long one to the status bar.
    auto tool = [this](const char* name, int image, const QString& hint, auto handler) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(ui::toolbar_icon(image));
        b->setAutoRaise(true);
        if (!hint.isEmpty()) {
            const qsizetype bar = hint.indexOf(QLatin1Char('|'));
            b->setToolTip(bar < 0 ? hint : hint.left(bar));
            b->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
        }
        connect(b, &QToolButton::clicked, this, ui::guarded_slot(this, handler));
        connect(b, &QToolButton::clicked, this, [this, b] { clear_hint(b->statusTip()); });
        ToolBar1->addWidget(b);
        return b;
    };
    auto action_tool = [this](const char* name, QAction* action) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromLatin1(name));
        b->setDefaultAction(action);
        b->setAutoRaise(true);
        connect(action, &QAction::triggered, this, [this, action] { clear_hint(action->statusTip()); });
        ToolBar1->addWidget(b);
        return b;
    };
    ToolButton1 = tool("ToolButton1", 6, QStringLiteral("Abrir|Abre um novo arquivo de resultados"),
                       [this] { Novo2Click(); });
    ToolButton2 =
        tool("ToolButton2", 20, QStringLiteral("Fechar|Fecha o programa"), [this] { ToolButton2Click(); });
    ToolBar1->addSeparator();
    ToolButton6 = action_tool("ToolButton6", Cascata1);
    ToolButton7 = action_tool("ToolButton7", LadoaLado1);
    ToolButton8 = action_tool("ToolButton8", Vertical1);
    ToolBar1->addSeparator();
    ToolButton15 = tool("ToolButton15", 13,
                        QStringLiteral("Zoom 1|Zoom original: escala 1 (tecla Home também centraliza)"),
                        [this] { ToolButton15Click(); });
    ToolButton4 = tool("ToolButton4", 18, QStringLiteral("Zoom +|Zoom +"), [this] { ToolButton4Click(); });
    ToolButton5 = tool("ToolButton5", 19, QStringLiteral("Zoom -|Zoom -"), [this] { ToolButton5Click(); });
    ToolBar1->addSeparator();
    ToolButton16 =
        tool("ToolButton16", 11,
             QStringLiteral("Centralizar|Volta o modelo ao centro, desfazendo movimentos e arrastos"),
             [this] { ToolButton16Click(); });
    ToolButton28 =
        tool("ToolButton28", 33,
             QStringLiteral("Enquadrar|Centra o modelo e o faz ocupar a vista, girando em torno do seu "
                            "centro (tecla F)"),
             [this] { ToolButton28Click(); });
    ToolButton12 = tool("ToolButton12", 3, QStringLiteral("Mover +X|Move o modelo 0,5 no sentido +X"),
                        [this] { ToolButton12Click(); });
    ToolButton13 = tool("ToolButton13", 4, QStringLiteral("Mover -X|Move o modelo 0,5 no sentido -X"),
                        [this] { ToolButton13Click(); });
    ToolButton17 = tool("ToolButton17", 3, QStringLiteral("Mover +Y|Move o modelo 0,5 no sentido +Y"),
                        [this] { ToolButton17Click(); });
    ToolButton18 = tool("ToolButton18", 4, QStringLiteral("Mover -Y|Move o modelo 0,5 no sentido -Y"),
                        [this] { ToolButton18Click(); });
    ToolButton19 = tool("ToolButton19", 3, QStringLiteral("Mover +Z|Move o modelo 0,5 no sentido +Z"),
                        [this] { ToolButton19Click(); });
    ToolButton20 = tool("ToolButton20", 4, QStringLiteral("Mover -Z|Move o modelo 0,5 no sentido -Z"),
                        [this] { ToolButton20Click(); });
    ToolBar1->addSeparator();
    ToolButton22 = tool("ToolButton22", 27,
                        QStringLiteral("Vista frontal|Vista de frente: x para a direita, y para cima"),
                        [this] { ToolButton22Click(); });
    ToolButton27 = tool("ToolButton27", 31, QStringLiteral("Vista esquerda|Vista pela esquerda (lado -x)"),
                        [this] { ToolButton27Click(); });
    ToolButton23 = tool("ToolButton23", 28,
                        QStringLiteral("Frente direita, acima|Vista da frente à direita, 30 graus acima"),
                        [this] { ToolButton23Click(); });
    ToolButton24 = tool("ToolButton24", 29,
                        QStringLiteral("Trás direita, acima|Vista de trás à direita, 30 graus acima"),
                        [this] { ToolButton24Click(); });
    ToolButton25 = tool("ToolButton25", 30,
                        QStringLiteral("Frente direita, abaixo|Vista da frente à direita, 30 graus abaixo"),
                        [this] { ToolButton25Click(); });
    ToolButton26 = tool("ToolButton26", 32,
                        QStringLiteral("Trás direita, abaixo|Vista de trás à direita, 30 graus abaixo"),
                        [this] { ToolButton26Click(); });
    ToolBar1->addSeparator();
    ToolButton11 =
        tool("ToolButton11", 5, QStringLiteral("Fechar todas|Fecha todas as janelas de resultados"),
             [this] { ToolButton11Click(); });
}

std::array<QToolButton*, 18> TForm1::view_command_buttons() const {
    return {ToolButton4,  ToolButton5,  ToolButton11, ToolButton12, ToolButton13, ToolButton15,
            ToolButton16, ToolButton28, ToolButton17, ToolButton18, ToolButton19, ToolButton20,
            ToolButton22, ToolButton23, ToolButton24, ToolButton25, ToolButton26, ToolButton27};
}

void TForm1::set_view_commands_enabled(bool enabled) {
    for (QToolButton* b : view_command_buttons())
        b->setEnabled(enabled);
}

QString TForm1::open_dialog_filter() {
    QStringList patterns;
    for (const Format& f : formats())
        for (const QString& ext :
             QString::fromLatin1(f.extensions).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            patterns << QLatin1Char('*') + ext;
    return QStringLiteral("Resultados (%1);;Todos (*)").arg(patterns.join(QLatin1Char(' ')));
}

void TForm1::findname(QString& text) {
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    if (space >= 0) text = text.mid(space + 1);
}

int TForm1::caption_number(const QString& caption) {
    QString name = caption;
    findname(name);
    qsizetype digits = 0;
    while (digits < name.size() && name[digits].isDigit())
        ++digits;
    return name.left(digits).toInt();
}

QList<QMdiSubWindow*> TForm1::live_subwindows() const {
    QList<QMdiSubWindow*> list;
    for (QMdiSubWindow* sub : MDIClient->subWindowList()) {
        auto* form = qobject_cast<TForm2*>(sub->widget());
        if (!form || !form->is_closed()) list << sub;
    }
    return list;
}

QList<TForm2*> TForm1::viewers() const {
    QList<TForm2*> list;
    for (QMdiSubWindow* sub : live_subwindows())
        if (auto* form = qobject_cast<TForm2*>(sub->widget())) list << form;
    return list;
}

TForm2* TForm1::target_viewer() const {
    const QList<QMdiSubWindow*> subs = live_subwindows();
    if (subs.isEmpty()) return nullptr;
    QMdiSubWindow* sub = MDIClient->currentSubWindow();
    if (!sub || !subs.contains(sub)) {
        const QList<QMdiSubWindow*> stack = MDIClient->subWindowList(QMdiArea::StackingOrder);
        sub = nullptr;
        for (auto it = stack.rbegin(); it != stack.rend() && !sub; ++it)
            if (subs.contains(*it)) sub = *it;
    }
    if (!sub || !sub->widget()) return nullptr;
    const int n = caption_number(sub->widget()->windowTitle());
    if (n <= 0 || n >= static_cast<int>(viewer_forms.size())) return nullptr;
    return viewer_forms[static_cast<std::size_t>(n)].data();
}

// ---- Start-up ----

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_once_) return;
    shown_once_ = true;
    // After the window is on screen, as the first event of the message loop.
    QTimer::singleShot(0, this, ui::guarded_slot(this, [this] { FormShow(); }));
}

void TForm1::FormShow() {
    if (splash) splash->show_topmost();
    setEnabled(false);
    Timer1->start();
    // Let the splash paint before a command-line file is read.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!start_file.isEmpty()) start_files.prepend(start_file);
    // One viewer per file, in the order given.
    for (const QString& file : std::exchange(start_files, {})) {
        start_file = file;
        Novo2Click();
        // As if the user had checked the list in the plot list.
        if (start_check_list > 0)
            if (TForm2* form = target_viewer()) form->check_result_list(start_check_list);
        if (start_record_frames > 0 || start_generate[0] > 0) start_viewer_ = target_viewer();
    }
    start_file.clear();
}

void TForm1::Timer1Timer() {
    if (splash) splash->close();
    setEnabled(true);
    Timer1->stop();
    // Buttons work once the window is enabled; after this handler, as the user would press them.
    if (start_viewer_) QTimer::singleShot(0, this, [this] { run_start_actions(); });
}

void TForm1::run_start_actions() {
    TForm2* form = std::exchange(start_viewer_, nullptr);
    if (!form) return;
    for (int i = 0; i < start_record_frames; ++i)
        form->Button1->click();
    if (start_record_frames > 0) {
        std::printf("orvanel: %lld frames recorded\n",
                    static_cast<long long>(form->AVIRecorder1.frame_count()));
        std::fflush(stdout);
    }
    if (start_generate[0] > 0) {
        form->SpinEdit4->setValue(start_generate[0]);
        form->SpinEdit5->setValue(start_generate[1]);
        form->SpinEdit6->setValue(start_generate[2]);
        std::printf("orvanel: generator started\n");
        std::fflush(stdout);
        form->Button2->click();
    }
}

void TForm1::quit_on_signal() {
    quit_requested_ = true;
    // A file being read (this request came through its progress steps) is
    // not waited for: its read is cancelled and its viewer never opens.
    ui::ProgressBox::cancel_all();
    quit_when_generators_stopped();
}

void TForm1::quit_when_generators_stopped() {
    if (!quit_requested_ || quitting_) return;
    // A generator stops after its current frame (it lets events through
    // between frames, which is how this request reached us) and tells its
    // window, which brings us back here; closing windows under it would not do.
    bool running = false;
    for (TForm2* form : viewers()) {
        if (form->generating()) {
            form->stop_generator();
            running = true;
        }
    }
    if (running) return;
    quitting_ = true;
    Sair1Click();
    // Out of every event loop, a modal dialog's included; the viewers, and
    // with them their open recordings, are then finished as after "Sair".
    QCoreApplication::exit(0);
}

// ---- Files and viewers ----

void TForm1::Novo2Click() {
    QString file;
    if (!start_file.isEmpty()) {
        file = start_file;
    } else {
        file =
            ui::open_file_name(this, QString::fromUtf8(kOpenDialogTitle), open_dialog_filter(), last_folder_);
        if (file.isEmpty()) return; // cancelled: nothing changes
    }
    open_file(file);
}

void TForm1::open_file(const QString& file) {
    OpenDialog1_FileName = file;
    last_folder_ = QFileInfo(file).absolutePath();
    open_viewer(file);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!dropped_files(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QStringList files = dropped_files(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    // After the drop has returned to the file manager: reading may take a while.
    QTimer::singleShot(0, this, ui::guarded_slot(this, [this, files] {
                           for (const QString& f : files)
                               open_file(f);
                       }));
}

QStringList TForm1::dropped_files(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

TForm2* TForm1::open_viewer(const QString& file) {
    // The lowest free number, else the next one.
    int n = 0;
    for (int i = viewer_count; i >= 1; --i)
        if (viewer_slots[static_cast<std::size_t>(i)] == 0) n = i;
    const bool fresh = n == 0;
    if (fresh) n = viewer_count + 1;
    if (n >= kViewerFormsSize) {
        ui::error_box(this, QStringLiteral("Não é possível abrir mais de %1 janelas. Feche uma janela "
                                           "para abrir outro arquivo.")
                                .arg(kViewerFormsSize - 1));
        return nullptr;
    }
    if (fresh) {
        viewer_count = n;
        viewer_slots.resize(static_cast<std::size_t>(n) + 1);
    }
    viewer_slots[static_cast<std::size_t>(n)] = n;

    auto* form = new TForm2(file);
    if (!form->loaded()) {
        // The reader's message has been shown (or the user cancelled the
        // read); no window is left and the number is free again.
        delete form;
        viewer_slots[static_cast<std::size_t>(n)] = 0;
        if (fresh) {
            viewer_count = n - 1;
            viewer_slots.resize(static_cast<std::size_t>(n));
        }
        return nullptr;
    }
    viewer_forms[static_cast<std::size_t>(n)] = form;
    // The number first (commands find the viewer by it), then the file's name.
    form->setWindowTitle(QStringLiteral("Janela %1 - %2").arg(n).arg(QFileInfo(file).fileName()));
    connect(form, &TForm2::closing, this, [this](TForm2* f) { viewer_closing(f); });
    connect(form, &TForm2::generator_stopped, this, [this] {
        // After the generator's handler has returned.
        if (quit_requested_) QTimer::singleShot(0, this, [this] { quit_when_generators_stopped(); });
    });
    QMdiSubWindow* sub = MDIClient->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // The frame's own menu binds Ctrl+W too: two owners of one key fire neither.
    if (QMenu* menu = sub->systemMenu())
        for (QAction* a : menu->actions())
            if (a->shortcut() == close_viewer_action->shortcut()) a->setShortcut(QKeySequence());
    // A viewer opened maximised has no size of its own to return to: the
    // frame would restore it (its restore button, or another viewer taking
    // the maximised place) to a bare title bar, with its 3D view shrunk to
    // nothing. Such a viewer gets its place in a cascade instead.
    connect(sub, &QMdiSubWindow::windowStateChanged, this,
            [this, sub](Qt::WindowStates old_state, Qt::WindowStates new_state) {
                if ((old_state & Qt::WindowMaximized) &&
                    !(new_state & (Qt::WindowMaximized | Qt::WindowMinimized)))
                    give_usable_size(sub);
            });
    sub->showMaximized();
    // The new viewer is the active one, also while the application itself
    // is not active (the toolbar commands act on the active viewer).
    MDIClient->setActiveSubWindow(sub);
    set_view_commands_enabled(true);
    update_window_actions();
    // Once the viewer is open: what the reader noticed (a file that ends early).
    for (const std::string& warning : form->read_warnings())
        ui::warning_box(this, QString::fromLocal8Bit(warning));
    return form;
}

void TForm1::viewer_closing(TForm2* form) {
    const int n = caption_number(form->windowTitle());
    if (n > 0 && n < static_cast<int>(viewer_slots.size())) viewer_slots[static_cast<std::size_t>(n)] = 0;
    if (viewers().isEmpty()) set_view_commands_enabled(false);
    update_window_actions();
}

void TForm1::Sair1Click() {
    close();
}

void TForm1::ToolButton2Click() {
    close();
}

void TForm1::Crditos1Click() {
    if (!credits) return;
    credits->show_centred(this);
    setEnabled(false);
}

void TForm1::credits_closed() {
    setEnabled(true);
    show();
    raise();
    activateWindow();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (splash) splash->close();
    if (credits) credits->hide();
    QMainWindow::closeEvent(event);
}

void TForm1::wheelEvent(QWheelEvent* event) {
    // Zooming by wheel belongs to the viewer; the frame does nothing with it.
    event->accept();
}

// ---- View commands on the active viewer ----

void TForm1::ToolButton15Click() {
    if (TForm2* f = target_viewer()) f->zoom_reset();
}
void TForm1::ToolButton4Click() {
    if (TForm2* f = target_viewer()) f->zoom_in();
}
void TForm1::ToolButton5Click() {
    if (TForm2* f = target_viewer()) f->zoom_out();
}
void TForm1::ToolButton16Click() {
    if (TForm2* f = target_viewer()) f->centre_model();
}
void TForm1::ToolButton28Click() {
    if (TForm2* f = target_viewer()) f->fit_model();
}
void TForm1::move_model(int axis, float step) {
    if (TForm2* f = target_viewer()) f->move_model(axis, step);
}
void TForm1::ToolButton12Click() {
    move_model(0, 0.5f);
}
void TForm1::ToolButton13Click() {
    move_model(0, -0.5f);
}
void TForm1::ToolButton17Click() {
    move_model(1, 0.5f);
}
void TForm1::ToolButton18Click() {
    move_model(1, -0.5f);
}
void TForm1::ToolButton19Click() {
    move_model(2, 0.5f);
}
void TForm1::ToolButton20Click() {
    move_model(2, -0.5f);
}

void TForm1::ToolButton22Click() {
    preset_code = 0;
    apply_preset_view();
}
void TForm1::ToolButton27Click() {
    preset_code = -1;
    apply_preset_view();
}
void TForm1::ToolButton23Click() {
    preset_code = 1;
    apply_preset_view();
}
void TForm1::ToolButton24Click() {
    preset_code = 2;
    apply_preset_view();
}
void TForm1::ToolButton25Click() {
    preset_code = 3;
    apply_preset_view();
}
void TForm1::ToolButton26Click() {
    preset_code = 4;
    apply_preset_view();
}

void TForm1::apply_preset_view() {
    if (TForm2* f = target_viewer()) f->apply_preset(preset_code);
}

void TForm1::ToolButton11Click() {
    // The viewers are freed directly: their close handler does not run.
    const QList<QMdiSubWindow*> subs = MDIClient->subWindowList();
    for (QMdiSubWindow* sub : subs) {
        if (auto* form = qobject_cast<TForm2*>(sub->widget())) disconnect(form, nullptr, this, nullptr);
        delete sub;
    }
    viewer_count = 0;
    viewer_forms.assign(kViewerFormsSize, nullptr);
    set_view_commands_enabled(false);
    update_window_actions();
}

// ---- Window menu ----

void TForm1::update_window_actions() {
    const bool any = !viewers().isEmpty();
    for (QAction* a : {Cascata1, LadoaLado1, Vertical1, Minimize1, Maximize1, reload_action})
        a->setEnabled(any);
}

void TForm1::rebuild_window_list() {
    for (QAction* a : window_list_actions_) {
        Janela1->removeAction(a);
        delete a;
    }
    window_list_actions_.clear();
    const QList<QMdiSubWindow*> subs = live_subwindows();
    if (subs.isEmpty()) return;
    window_list_actions_ << Janela1->addSeparator();
    int i = 1;
    for (QMdiSubWindow* sub : subs) {
        QAction* a = Janela1->addAction(QStringLiteral("&%1 %2").arg(i++).arg(sub->windowTitle()));
        a->setCheckable(true);
        a->setChecked(sub == MDIClient->currentSubWindow());
        connect(a, &QAction::triggered, this, [this, sub] { MDIClient->setActiveSubWindow(sub); });
        window_list_actions_ << a;
    }
}

void TForm1::give_usable_size(QMdiSubWindow* sub) {
    const QRect area = MDIClient->viewport()->rect();
    const std::vector<shell::WindowRect> rects =
        shell::cascade_rects(area.width(), area.height(), kViewerFormsSize, cascade_step());
    const shell::WindowRect& usable = rects.front();
    if (sub->width() >= usable.width / 2 && sub->height() >= usable.height / 2) return;
    // Its place in a cascade by its position among the viewers.
    const auto index = std::max<qsizetype>(live_subwindows().indexOf(sub), 0);
    const shell::WindowRect& r = rects[static_cast<std::size_t>(index) % rects.size()];
    sub->setGeometry(r.x, r.y, r.width, r.height);
}

int TForm1::cascade_step() const {
    QStyleOptionTitleBar option;
    option.initFrom(MDIClient);
    const QStyle* style = MDIClient->style();
    return style->pixelMetric(QStyle::PM_TitleBarHeight, &option, MDIClient) +
           style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, MDIClient);
}

void TForm1::cascade() {
    // As desktop frames do: the same usable size for every viewer that is
    // not minimised, each one title bar below and right of the previous,
    // the active viewer last, in front.
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* s : MDIClient->subWindowList(QMdiArea::CreationOrder))
        if (live_subwindows().contains(s) && !s->isMinimized()) subs << s;
    if (subs.isEmpty()) return;
    QMdiSubWindow* active = MDIClient->activeSubWindow();
    if (active && subs.removeOne(active)) subs << active;
    const QRect area = MDIClient->viewport()->rect();
    const std::vector<shell::WindowRect> rects =
        shell::cascade_rects(area.width(), area.height(), static_cast<int>(subs.size()), cascade_step());
    for (qsizetype i = 0; i < subs.size(); ++i) {
        QMdiSubWindow* s = subs[i];
        const shell::WindowRect& r = rects[static_cast<std::size_t>(i)];
        if (s->isMaximized()) s->showNormal();
        s->setGeometry(r.x, r.y, r.width, r.height);
        s->raise();
    }
    if (active && subs.contains(active)) MDIClient->setActiveSubWindow(active);
}

void TForm1::clear_hint(const QString& hint) {
    // A hint's long text belongs to the pointer over its button: once the
    // command has run (it may have opened a dialog, so the pointer's leaving
    // went unseen) it goes, unless the command wrote a message of its own.
    if (!hint.isEmpty() && StatusBar1->currentMessage() == hint) StatusBar1->clearMessage();
}

void TForm1::tile_horizontally() {
    // One above the other, each as wide as the frame.
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* s : live_subwindows())
        if (!s->isMinimized()) subs << s;
    if (subs.isEmpty()) return;
    const QRect area = MDIClient->viewport()->rect();
    const int h = std::max(area.height() / static_cast<int>(subs.size()), 1);
    int y = 0;
    for (QMdiSubWindow* s : subs) {
        s->showNormal();
        s->setGeometry(0, y, area.width(), h);
        y += h;
    }
}

void TForm1::tile_vertically() {
    // Side by side, each as high as the frame.
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* s : live_subwindows())
        if (!s->isMinimized()) subs << s;
    if (subs.isEmpty()) return;
    const QRect area = MDIClient->viewport()->rect();
    const int w = std::max(area.width() / static_cast<int>(subs.size()), 1);
    int x = 0;
    for (QMdiSubWindow* s : subs) {
        s->showNormal();
        s->setGeometry(x, 0, w, area.height());
        x += w;
    }
}

void TForm1::minimize_all() {
    for (QMdiSubWindow* s : live_subwindows())
        s->showMinimized();
}

void TForm1::arrange_icons() {
    // Minimised windows in a row along the bottom of the frame.
    const QRect area = MDIClient->viewport()->rect();
    int x = 0;
    for (QMdiSubWindow* s : live_subwindows()) {
        if (!s->isMinimized()) continue;
        const QSize size = s->size();
        s->move(x, area.height() - size.height());
        x += size.width();
    }
}

} // namespace orv
