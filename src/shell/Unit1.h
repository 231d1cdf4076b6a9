#pragma once
// Main window: the multiple-document frame with its menu, toolbar and status
// bar, the registry of numbered viewer windows, and the toolbar commands that
// act on the active viewer.
//
// Viewer numbers: "Novo" takes the lowest free number (a slot whose viewer
// has closed), else the next one after viewer_count. A viewer's number lives
// only in its caption "Janela N"; the commands go from the active viewer back
// to its registry entry through that caption (findname).

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <array>
#include <vector>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMimeData;
class QMenu;
class QTimer;
class QToolButton;

namespace orv {

class TForm2;
class TForm4;
class TForm7;

class TForm1 : public QMainWindow {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Windows created after the main window (start-up order: main, credits,
    // splash, chart); the main window shows and hides them.
    void set_credits_window(TForm7* form);
    void set_splash_window(TForm4* form) { splash = form; }

    // ---- Components ----
    QMdiArea* MDIClient = nullptr;
    QMenu* Arquivos1 = nullptr;
    QMenu* Janela1 = nullptr;
    QMenu* Sobre1 = nullptr;
    QAction* Novo2 = nullptr;
    QAction* reload_action = nullptr; // "Recarregar" (F5): the active viewer reads its file again
    QAction* Sair1 = nullptr;
    QAction* close_viewer_action = nullptr; // Ctrl+W: closes the active viewer
    QAction* Cascata1 = nullptr;            // "&Cascade"
    QAction* LadoaLado1 = nullptr;          // "Tile &Horizontally"
    QAction* Vertical1 = nullptr;           // "&Tile Vertically"
    QAction* Minimize1 = nullptr;           // "&Minimize All"
    QAction* Maximize1 = nullptr;           // "&Arrange"
    QAction* Ajuda1 = nullptr;
    QAction* Crditos1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton4 = nullptr;
    QToolButton* ToolButton5 = nullptr;
    QToolButton* ToolButton6 = nullptr;
    QToolButton* ToolButton7 = nullptr;
    QToolButton* ToolButton8 = nullptr;
    QToolButton* ToolButton11 = nullptr;
    QToolButton* ToolButton12 = nullptr;
    QToolButton* ToolButton13 = nullptr;
    QToolButton* ToolButton15 = nullptr;
    QToolButton* ToolButton16 = nullptr;
    QToolButton* ToolButton28 = nullptr; // "Enquadrar"
    QToolButton* ToolButton17 = nullptr;
    QToolButton* ToolButton18 = nullptr;
    QToolButton* ToolButton19 = nullptr;
    QToolButton* ToolButton20 = nullptr;
    QToolButton* ToolButton22 = nullptr;
    QToolButton* ToolButton23 = nullptr;
    QToolButton* ToolButton24 = nullptr;
    QToolButton* ToolButton25 = nullptr;
    QToolButton* ToolButton26 = nullptr;
    QToolButton* ToolButton27 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr; // splash, 2000 ms, once
    TForm4* splash = nullptr;
    TForm7* credits = nullptr;

    // The open dialog's title and its current file name, which a new viewer reads.
    static constexpr const char* kOpenDialogTitle = "Arquivo de dados";
    // Every extension of the reader's formats, from its table; "Todos" for a
    // file whose name says nothing.
    static QString open_dialog_filter();
    QString OpenDialog1_FileName;

    // ---- Viewer registry ----
    static constexpr int kViewerFormsSize = 100; // window numbers 1..99
    std::vector<QPointer<TForm2>> viewer_forms;
    std::vector<int> viewer_slots;
    int viewer_count = 0;
    QString start_file;
    QStringList start_files; // further files of the command line, opened after start_file
    int preset_code = 0;     // preset view code between a button and apply_preset_view

    // The text after the first space of `text` (all of it when it has no space).
    static void findname(QString& text);
    // The viewer number of a caption "Janela N - file": the digits after the
    // first space; 0 when there are none.
    static int caption_number(const QString& caption);

    // The seventeen view-command buttons, enabled and disabled together.
    std::array<QToolButton*, 18> view_command_buttons() const;
    void set_view_commands_enabled(bool enabled);

    // The viewer the toolbar commands act on (the active child), or null.
    TForm2* target_viewer() const;
    // Open viewers in creation order.
    QList<TForm2*> viewers() const;

    // Result list to check in the viewer opened from the command line
    // (scripts/run shows a coloured model at once); 0 = none.
    int start_check_list = 0;
    // Hidden test options (the signal tests): once the window is enabled,
    // press "Adicionar Frame" start_record_frames times on the viewer opened
    // from the command line, then run its video generator over the lists
    // start_generate = {first, last, step} when first > 0.
    int start_record_frames = 0;
    std::array<int, 3> start_generate{};

    // SIGTERM, SIGINT or SIGHUP arrived: the program ends as "Sair" does,
    // once every running video generator has stopped after its current frame
    // and finished its file; an open modal dialog is left as if cancelled.
    void quit_on_signal();

    // ---- Handlers ----
    void FormShow();
    void Timer1Timer();
    void Novo2Click();
    void Sair1Click();
    void ToolButton2Click();
    void Crditos1Click();
    void credits_closed();
    // Toolbar view commands.
    void ToolButton15Click(); // zoom reset
    void ToolButton4Click();  // zoom +
    void ToolButton5Click();  // zoom -
    void ToolButton16Click(); // centre
    void ToolButton28Click(); // fit
    void ToolButton12Click(); // +x
    void ToolButton13Click(); // -x
    void ToolButton17Click(); // +y
    void ToolButton18Click(); // -y
    void ToolButton19Click(); // +z
    void ToolButton20Click(); // -z
    void ToolButton22Click(); // preset 0
    void ToolButton27Click(); // preset -1
    void ToolButton23Click(); // preset 1
    void ToolButton24Click(); // preset 2
    void ToolButton25Click(); // preset 3
    void ToolButton26Click(); // preset 4
    void ToolButton11Click(); // close all
    void apply_preset_view();
    // Window menu actions.
    void cascade();
    void tile_horizontally();
    void tile_vertically();
    void minimize_all();
    void arrange_icons();

    // A viewer is closing (its FormClose): free its number; disable the view
    // commands when it was the last one.
    void viewer_closing(TForm2* form);

    // Opens `file` as a new numbered viewer; null when refused or unreadable.
    TForm2* open_viewer(const QString& file);
    // "Novo" with `file` chosen: the open dialog's file name and folder, then open_viewer.
    void open_file(const QString& file);
    // Local files among dropped data, in order.
    static QStringList dropped_files(const QMimeData* data);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // A file dragged from a file manager opens as "Novo" does.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void build_menu();
    void build_toolbar();
    void update_window_actions();
    void rebuild_window_list();
    void move_model(int axis, float step);
    QList<QMdiSubWindow*> live_subwindows() const;
    // A viewer restored from maximised to less than half the size Cascade
    // gives gets its place in a cascade.
    void give_usable_size(QMdiSubWindow* sub);
    // Cascade offset: one title bar of a viewer frame, pixels.
    int cascade_step() const;
    // The status bar no longer shows `hint` once its command has run.
    void clear_hint(const QString& hint);

    void run_start_actions();
    void quit_when_generators_stopped();

    QPointer<TForm2> start_viewer_; // viewer of the hidden test options
    bool quit_requested_ = false;
    bool quitting_ = false;
    bool shown_once_ = false;
    QList<QAction*> window_list_actions_;
    QString last_folder_; // the open dialog starts here (this run only)
};

// The main window of the running program (null when there is none).
TForm1* main_form();

} // namespace orv
