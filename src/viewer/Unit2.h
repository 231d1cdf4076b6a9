#pragma once
// The viewer window: one result file, its 3D view and legend view, and the
// control panel. It binds the subsystems: handlers here set fields and call
// into viewer/view, viewer/render, viewer/legend and viewer/output.
//
// Repaints: a handler never draws. It sets fields (changes, changes1, ...)
// and marks a scene object changed (request_repaint); the view then paints at
// the next opportunity and calls the render callbacks DirectOpenGL1Render
// (3D view) and DirectOpenGL2Render (legend view).

#include "viewer/model/list_ranges.h"
#include "viewer/model/result_model.h"
#include "viewer/output/avi_recorder.h"
#include "viewer/render/render_pass_gl.h"
#include "viewer/view/camera.h"
#include "viewer/view/pick.h"
#include "viewer/view/scene.h"
#include "viewer/view/view_settings.h"

#include <QPointF>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QScrollArea;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMdiSubWindow;
class QPushButton;
class QSlider;
class QSpinBox;
class QSplitter;
class QTimer;

namespace orv {

struct ReadResult;
class ClickPanel;
class GLSceneViewer;

class TForm2 : public QWidget {
    Q_OBJECT
  public:
    // Creates the window and runs FormCreate, which reads `file` (the open
    // dialog's current file name). On a read error the message is shown in an
    // error box and loaded() is false: the caller destroys the window.
    explicit TForm2(const QString& file, QWidget* parent = nullptr);
    ~TForm2() override;

    bool loaded() const { return loaded_; }
    // "Recarregar" (F5 in the main window, the panel's button): reads the
    // window's file again as an open does (progress, cancel) and shows it in
    // place, keeping the camera, every panel control, the legend settings and
    // the checked lists by name (view/reload.h); lists a grown file added
    // come unchecked. A read that fails shows the reader's message, one that
    // is cancelled nothing; either leaves the window exactly as it was.
    // Refused, with a status message, while the video generator runs; stops
    // "▶". True when the new model is shown.
    bool reload();
    // What the reader had to say about a file that did read (it ends early, ...).
    const std::vector<std::string>& read_warnings() const { return read_warnings_; }
    // FormClose has run: the window is on its way out.
    bool is_closed() const { return closed_; }
    // The window's number, from its caption "Janela N - file"; 0 when it has none.
    int window_number() const;
    // Closes the window as the user would (its MDI frame too): FormClose runs.
    void close_viewer();

    // ---- Result model (nnode, coord, conec, listas, maxlista, namelista, ...) ----
    ResultModel model;

    // ---- Value ranges measured after the open (Unit2_ranges.cpp) ----
    // A checked list's range is measured when it is checked; the others on
    // background threads, progress in the status line; "> Valores Máximos"
    // waits for all of them (a progress box; cancelled, the box stays
    // unchecked). Some list's range is not known yet:
    bool ranges_pending() const;
    // The background measuring runs.
    bool ranges_working() const;
    // Lists times nodes left to measure from which the measuring runs in the
    // background; below it, every range is measured as the file opens
    // (tests set 0 to have the background always).
    static void set_background_ranges_from(std::int64_t values);
    // Tests: while held, no background measuring starts (as on a machine too
    // busy to make progress); what waits for it waits until cancelled.
    static void hold_background_ranges(bool held);

    // ---- View-state fields shared by the handlers and the render passes ----
    int chbox = 0;           // 3 x lowest checked result list, 0 when none
    int legmax = 0;          // 1: every list coloured against maxlista[0]
    int fixlist = 0;         // plot item of result list k is fixlist + k - 1 (5 once rendered)
    int trgb = 0;            // 1: negative colour scale
    bool changes = false;    // colours, ranges, scale or filters changed
    bool changes1 = false;   // plot checks or line settings changed
    bool auxiliar = false;   // mouse rotation and panning active (after Timer1)
    bool mouse_wheel = true; // the pointer is over the 3D view
    bool avi = false;        // an AVI file is open for frame-by-frame recording
    double tur = 0;          // camera azimuth, degrees
    double pit = 0;          // camera elevation, degrees (recomputed when panning)
    double mx = 0, my = 0;   // last pointer position, client pixels
    std::array<double, 4> matgld{0, 0, 0, 0};    // clip plane a, b, c, d
    int line_undef_w = 1, line_def_w = 1;        // line widths, pixels
    double line_undef_rgb = 0, line_def_rgb = 0; // grey levels 0..1
    double line_undef_t = 1, line_def_t = 1;     // opacities

    // ---- Scenes and cameras (the viewport layer) ----
    view::Scene GLScene1;
    view::SceneObject* DummyCube1 = nullptr;    // world frame, camera target
    view::SceneObject* DirectOpenGL1 = nullptr; // the model; position = pan offset
    view::SceneObject* DirectOpenGL3 = nullptr; // small axes symbol
    std::unique_ptr<view::Camera> GLCamera1;
    view::Scene GLScene2;
    view::SceneObject* DummyCube2 = nullptr;
    view::SceneObject* DirectOpenGL2 = nullptr; // the legend
    view::SceneObject* GLDirectOpenGL1 = nullptr;
    std::unique_ptr<view::Camera> GLCamera2;

    // ---- Views ----
    GLSceneViewer* GLSceneViewer1 = nullptr; // 3D view
    GLSceneViewer* GLSceneViewer2 = nullptr; // legend view, 115 x 233, floating, hidden
    ClickPanel* Panel12 = nullptr;           // "Carregando...", floating, hidden

    // ---- Control panel ----
    QFrame* Panel1 = nullptr;
    QScrollArea* panel_scroll = nullptr; // around Panel1: scrolls it when the window is shorter
    // The 3D view and the panel side by side: dragging the handle widens
    // the panel (from kPanelWidth), and "Lista de Plotagem" with it.
    QSplitter* panel_splitter = nullptr;
    static constexpr int kPanelWidth = 152;
    QGroupBox* GroupBox3 = nullptr;  // "Menu Geral"
    QCheckBox* CheckBox3 = nullptr;  // "Legenda"
    QCheckBox* CheckBox8 = nullptr;  // "Faixas de Cores"
    QCheckBox* CheckBox1 = nullptr;  // "Legenda Negativa" (focus parking)
    QCheckBox* CheckBox9 = nullptr;  // "Notação Científica"
    QCheckBox* CheckBox7 = nullptr;  // "Eixos"
    QCheckBox* CheckBox10 = nullptr; // "Extremos"
    QCheckBox* CheckBox2 = nullptr;  // "Tela Inteira"
    QCheckBox* CheckBox5 = nullptr;  // "> Valores Máximos"
    QLineEdit* Edit5 = nullptr;      // legend minimum
    QLineEdit* Edit6 = nullptr;      // legend maximum
    QCheckBox* CheckBox4 = nullptr;  // "Clip Plane"
    QLineEdit* Edit1 = nullptr;      // clip plane a
    QLineEdit* Edit2 = nullptr;      // b
    QLineEdit* Edit3 = nullptr;      // c
    QLineEdit* Edit4 = nullptr;      // d

    QGroupBox* GroupBox4 = nullptr;       // "Lista de Plotagem"
    QListWidget* CheckListBox1 = nullptr; // plot list, checkable items
    QLabel* Label1 = nullptr;             // "ETp 1"
    QLabel* Label2 = nullptr;             // "ETp 2"
    QLabel* Label3 = nullptr;             // "ETp 3"
    QSpinBox* SpinEdit1 = nullptr;        // element-type filters, -1..10, -1
    QSpinBox* SpinEdit2 = nullptr;
    QSpinBox* SpinEdit3 = nullptr;
    QPushButton* BitBtn5 = nullptr; // applies the filters
    // Block filter beside the element-type filter: the button opens a popup
    // listing the file's element blocks, each checked while its elements
    // are coloured; BitBtn5 applies the checks as it applies the spin edits.
    QPushButton* blocks_button = nullptr; // "Blocos…"; disabled for a file without blocks
    QFrame* blocks_popup = nullptr;       // "Blocos", a popup window
    QListWidget* blocks_list = nullptr;   // one checkable item per block of the model
    // Beside the plot list's caption: previous / next result list, play.
    QPushButton* list_up_button = nullptr;   // "▲" = Page Up
    QPushButton* list_down_button = nullptr; // "▼" = Page Down
    QPushButton* play_button = nullptr;      // "▶"
    // "Recarregar", beside "Legenda" in "Menu Geral".
    QPushButton* reload_button = nullptr;

    QFrame* Panel11 = nullptr;
    QComboBox* ComboBox1 = nullptr; // chooser of the optional groups

    QGroupBox* GroupBox5 = nullptr; // "Escala Deslocamento"
    QSlider* TrackBar3 = nullptr;   // 0..100, 50
    QPushButton* BitBtn2 = nullptr;
    QLabel* Label4 = nullptr;              // "Fator de Multiplicação"
    QLineEdit* Edit7 = nullptr;            // "1"
    QLabel* displacement_label = nullptr;  // "Deslocamento:"
    QComboBox* displacement_box = nullptr; // "do arquivo", "nenhum", then the model's fields
    QCheckBox* arrows_check = nullptr;     // "Setas"
    QLineEdit* arrows_factor = nullptr;    // "1": the arrows' length factor
    QComboBox* arrows_box = nullptr;       // "deslocamento", then the model's fields

    QGroupBox* GroupBox2 = nullptr; // "Transparência"
    QSlider* TrackBar2 = nullptr;   // 0..100, 0
    QPushButton* BitBtn1 = nullptr;
    QCheckBox* CheckBox6 = nullptr; // "Malha Sólida"

    QGroupBox* GroupBox1 = nullptr; // "Velocidade do Mouse"
    QSlider* TrackBar1 = nullptr;   // mouse speed 0..100, 50

    QGroupBox* GroupBox6 = nullptr; // "Arquivo AVI"
    QPushButton* Button1 = nullptr; // "Adicionar Frame"
    QLabel* Label5 = nullptr;       // "FPS"
    QLineEdit* Edit8 = nullptr;     // frames per second

    QGroupBox* GroupBox7 = nullptr;            // "Captura Imagem"
    QPushButton* BitBtn3 = nullptr;            // "IMG"
    QPushButton* BitBtn4 = nullptr;            // "LEG" (disabled until the legend shows)
    QPushButton* save_figure_button = nullptr; // "Salvar Figura" (also Ctrl+S)
    QLabel* figure_scale_label = nullptr;      // "Tamanho:"
    QComboBox* figure_scale_box = nullptr;     // "1×" or "2×": the figure's scale

    QGroupBox* GroupBox8 = nullptr; // "Gerador Vídeo/Lista"
    QLabel* Label6 = nullptr;       // "Lista inicial:"
    QLabel* Label7 = nullptr;       // "Lista final:"
    QLabel* Label8 = nullptr;       // "Passo:"
    QLabel* Label9 = nullptr;       // "FPS:"
    QSpinBox* SpinEdit4 = nullptr;  // 1..1000000, 1
    QSpinBox* SpinEdit5 = nullptr;  // 1..1000000, 1 (maximum = nlista when shown)
    QSpinBox* SpinEdit6 = nullptr;  // 1..1000000, 1
    QSpinBox* SpinEdit7 = nullptr;  // 1..100, 5
    QPushButton* Button2 = nullptr; // "Gerar"
    QLabel* Label10 = nullptr;      // "Lista" (node history heading)
    QLabel* Label11 = nullptr;      // "Nó"
    QLabel* Label12 = nullptr;      // "Arquivo"
    QLineEdit* Edit9 = nullptr;     // node number, "0"
    QLineEdit* Edit10 = nullptr;    // file tag, "0"
    QPushButton* Button3 = nullptr; // "Lista"

    QGroupBox* GroupBox9 = nullptr;             // "Legenda" (colour editor)
    std::array<ClickPanel*, 9> colour_panels{}; // Panel2 .. Panel10
    ClickPanel* Panel2 = nullptr;               // colour row 8 (top)
    ClickPanel* Panel3 = nullptr;
    ClickPanel* Panel4 = nullptr;
    ClickPanel* Panel5 = nullptr;
    ClickPanel* Panel6 = nullptr;
    ClickPanel* Panel7 = nullptr;
    ClickPanel* Panel8 = nullptr;
    ClickPanel* Panel9 = nullptr;
    ClickPanel* Panel10 = nullptr;   // colour row 0 (bottom)
    QPushButton* BitBtn9 = nullptr;  // "Carregar" (disabled)
    QPushButton* BitBtn10 = nullptr; // "Salvar" (disabled)
    QPushButton* BitBtn6 = nullptr;  // "Aplicar"
    QPushButton* BitBtn7 = nullptr;  // "Escala 1"
    QPushButton* BitBtn8 = nullptr;  // "Escala 2"

    QGroupBox* GroupBox10 = nullptr; // "Linhas"
    QLabel* Label13 = nullptr;       // "Malha Indeformada:"
    QSlider* TrackBar4 = nullptr;    // undeformed width 0..2
    QLabel* Label14 = nullptr;
    QSlider* TrackBar5 = nullptr; // undeformed grey 0..20
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;    // "Malha Deformada:"
    QSlider* TrackBar6 = nullptr; // deformed width 0..2
    QLabel* Label17 = nullptr;
    QSlider* TrackBar7 = nullptr; // deformed grey 0..20
    QLabel* Label18 = nullptr;
    QPushButton* Button4 = nullptr; // "&Aplicar"

    QTimer* Timer1 = nullptr; // start-up timer, 10 ms, once
    AviRecorder AVIRecorder1; // frames of the 3D view to an AVI file

    // The eight optional groups in chooser order of their items 1..8.
    std::array<QGroupBox*, 8> optional_groups() const;

    // Checks result list k (1..nlista) in the plot list as a user's click
    // does: the item is checked, chbox recomputed and both views repaint.
    // False, and nothing changes, when there is no such list.
    bool check_result_list(int k);

    // ---- Shared steps ----
    // Moves the keyboard focus to CheckBox1 without changing or clicking it.
    void park_focus();
    // Plot item `item` (0-based) of CheckListBox1 is checked; false when there
    // is no such item.
    bool plot_item_checked(int item) const;
    // The repaint request: marks the object changed; its view repaints soon.
    void request_repaint(view::SceneObject* object);
    // Repaints the 3D view (and the legend view if shown) before returning.
    void render_now();
    // Loads the line-settings sliders and labels from the line fields.
    void load_line_settings();
    // Camera and model commands shared by the wheel and the toolbar.
    void zoom_in();
    void zoom_out();
    void zoom_reset();
    void move_model(int axis, float step);
    // Back to the home position: the framing's when the model was framed
    // (view/framing.h), the file's origin at the centre otherwise.
    void centre_model();
    void apply_preset(int code);
    // "Enquadrar" (F, the toolbar): the model centred and filling the 3D
    // view as the camera sees it now, turning about its centre; zoom 1.
    void fit_model();
    // The file opened framed (other formats than the native one) and the
    // user has not moved the camera since: a resize of the view frames again.
    bool fit_pending() const { return fit_pending_; }

    // ---- Handlers of this window ----
    void FormCreate(const QString& file);
    void readfile();
    void FormClose();
    void Timer1Timer();
    void ComboBox1Change();
    void GroupBox3DblClick();
    void GroupBox4DblClick();
    void GLSceneViewer1MouseDown(QMouseEvent* event);
    void GLSceneViewer1MouseMove(QMouseEvent* event);
    void GLSceneViewer1MouseUp(QMouseEvent* event);
    void GLSceneViewer1DblClick();
    void GLSceneViewer1MouseEnter();
    void GLSceneViewer1MouseLeave();
    void FormMouseWheelDown(); // one notch towards the user: zoom in
    void FormMouseWheelUp();   // one notch away from the user: zoom out
    void TrackBar1Change();
    void GroupBox1MouseMove(); // also for GroupBox2 and GroupBox5: clears the status bar

    // Output groups (Unit2_output.cpp).
    void BitBtn3Click(); // "IMG": the 3D view to the clipboard
    void BitBtn4Click(); // "LEG": the legend view to the clipboard
    void Button1Click(); // "Adicionar Frame"
    void Button2Click(); // "Gerar": the video generator
    void Button3Click(); // "Lista": the node history
    // "Salvar Figura" (and Ctrl+S): the 3D view with its legend and a title
    // line, as a PNG chosen in a save dialog; a cancelled dialog writes nothing.
    void save_figure();
    // The figure at `scale` 1 or 2 (output/figure.h): what save_figure writes.
    QImage figure_image(int scale);
    void SpinEdit4Change(); // "Lista final:" starts after "Lista inicial:"
    void SpinEdit5Change();
    void fill_avi_group(); // Edit8 := the recorder's frames per second
    void finish_recording_on_close();
    // A video generator run is going on (from its first frame to its end).
    bool generating() const { return generating_; }
    // Asks a running generator to stop after its current frame; it then
    // finishes its file, leaves the window as after a finished run and emits
    // generator_stopped. Nothing when no run is going on.
    void stop_generator();

    // Display options (Unit2_options.cpp).
    void CheckBox4Click(); // "Clip Plane"
    void Edit1Exit();      // clip plane coefficients a..d
    void Edit2Exit();
    void Edit3Exit();
    void Edit4Exit();
    void CheckBox7Click();          // "Eixos"
    void CheckBox10Click();         // "Extremos"
    void CheckBox2Click();          // "Tela Inteira"
    void TrackBar2Change();         // transparency slider: status message
    void BitBtn1Click();            // transparency apply
    void CheckBox6Click();          // "Malha Sólida"
    void TrackBar3Change();         // displacement slider: status message
    void BitBtn2Click();            // displacement apply
    void Edit7Exit();               // displacement factor
    void displacement_box_change(); // "Deslocamento": the field that displaces the lists
    void arrows_change();           // "Setas", its factor or its field
    void TrackBar4Change();         // line sliders: their labels
    void TrackBar5Chane();
    void TrackBar6Change();
    void TrackBar7Change();
    void Button4Click();         // "&Aplicar" of "Linhas"
    void CheckListBox1MouseUp(); // recomputes chbox; changes1
    void CheckListBox1Click();
    void CheckListBox1MouseMove();
    void CheckListBox1MouseDown(QMouseEvent* event); // right button: uncovers the filter row
    void BitBtn5Click();                             // applies the element-type and block filters
    void blocks_button_click();                      // shows the "Blocos" popup under its button
    void connect_display_options();

    // Legend options, view and colour editor (Unit2_legend.cpp, Unit2_colours.cpp).
    void CheckBox3Click(); // "Legenda"
    void CheckBox1Click(); // "Legenda Negativa"
    void CheckBox8Click(); // "Faixas de Cores"
    void CheckBox9Click(); // "Notação Científica"
    void CheckBox5Click(); // "> Valores Máximos"
    void Edit5Exit();      // legend minimum and maximum; errors are swallowed
    void Edit6Exit();
    void common_range(); // the steps shared by the three above
    void repaint_tail(); // changes := true; repaint both views
    void GLSceneViewer2MouseDown(QMouseEvent* event);
    void GLSceneViewer2MouseMove(QMouseEvent* event); // drags the legend view
    void refresh_legend();                            // colour table -> the nine panels
    void Panel2Click(ClickPanel* sender);             // any of the nine panels
    void BitBtn6Click();                              // "Aplicar"
    void BitBtn7Click();                              // "Escala 1"
    void BitBtn8Click();                              // "Escala 2"
    void BitBtn9Click();                              // "Carregar" (disabled)
    void BitBtn10Click();                             // "Salvar" (disabled)
    void connect_legend_handlers();

    // The 3D view's render pass; render_state is its lists, counters and
    // compile log (tests and benchmarks read it).
    RenderPass render_pass;
    RenderState& render_state = render_pass.state;
    // The view as the controls and fields describe it now (the camera is
    // the window's own: its members keep their defaults).
    view::ViewSettings view_settings() const;
    // What the render pass reads: the mapping of view_settings().
    RenderPassInputs render_inputs() const;
    // Level of detail while the 3D view turns (Unit2_lod.cpp): a left or
    // right drag, or wheel steps less than kLodWheelRestMs apart, replay the
    // coarse lists of a large model. Outputs call settle_level_of_detail
    // first: it ends the interaction and, if the picture shown is coarse,
    // paints the full one now.
    static constexpr int kLodWheelRestMs = 150;
    RenderPassInputs::LevelOfDetail level_of_detail() const;
    void settle_level_of_detail();
    // Texts drawn by the last paint of the legend view: the title, then the
    // value labels from the top down.
    std::vector<std::string> legend_texts;

    // Stepping through the result lists (Unit2_steps.cpp).
    // The lowest checked result list, 0 when none.
    int lowest_checked_list() const;
    // Moves the lowest checked result list by `direction` (+1 next, -1
    // previous): it is unchecked and its neighbour checked; with none checked,
    // list 1 is checked. False, and nothing changes, past the first or last list.
    bool step_result_list(int direction);
    // Shows the lists of the generator's range ("Lista inicial:", "Lista
    // final:", "Passo:") one after the other at its "FPS:", recording nothing;
    // any mouse click stops it.
    void play_lists();
    void stop_playing();
    bool playing() const;

    // Node probe (Unit2_probe.cpp): the node under the pointer in the 3D view.
    pick::NodePicker node_picker;
    // The node seen at pointer position (x, y) of the 3D view, as last drawn.
    std::optional<pick::PickHit> probe_node(double x, double y);
    // "Nó N   x y z   <lowest checked result list>: value" (without the list
    // part when none is checked); x y z are the node's file coordinates.
    QString probe_text(std::int32_t node) const;
    // Over an element, away from its nodes: "Elem E   x y z   <list>: value
    // (Nó N)", the lowest checked list by the element's shape functions at the
    // point under the pointer, x y z its undeformed position there, N the
    // element's node drawn nearest to it.
    QString probe_text(const pick::ElementHit& hit) const;
    // What the status text says for pointer (x, y): a node near it, else the
    // element point under it, else nothing.
    QString hover_text(double x, double y);
    void GLSceneViewer1Probe(double x, double y);    // hover: the status text
    void GLSceneViewer1PickNode(double x, double y); // Control + left click: Edit9

    // Render callbacks of DirectOpenGL1 (render pass) and DirectOpenGL2 (legend)
    // (Unit2_render.cpp).
    void DirectOpenGL1Render();
    void DirectOpenGL2Render();

  signals:
    // FormClose ran: the window is about to be freed.
    void closing(orv::TForm2* form);
    // A video generator run has ended, however it ended.
    void generator_stopped();

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build_scenes();
    void build_layout(); // Unit2_layout.cpp
    void layout_panel(); // places the visible blocks of Panel1 top to bottom
    void connect_handlers();
    // Scene scale of the 3D view's camera, the axes symbol scaled with it.
    void set_zoom(float scale);
    QMdiSubWindow* mdi_window() const;
    // Steps of the output handlers (Unit2_output.cpp).
    void connect_output_handlers();
    void copy_view_to_clipboard(GLSceneViewer* view);
    void size_recorder_to_view();
    void create_avi_file();
    void add_avi_frame();
    void repaint_views_now();
    void set_result_list_checked(int k, bool checked);
    void uncheck_result_lists();
    void record_result_list(int k);
    QString stop_generator_after_failure(bool checks_changed);
    void end_generator_run();

    void connect_keys();
    void turn_by_key(double pitch, double turn);
    void play_step();
    QTimer* play_timer_ = nullptr;
    QObject* play_stopper_ = nullptr;
    std::vector<int> play_lists_;
    std::size_t play_next_ = 0;

    bool generating_ = false;
    bool stop_requested_ = false;

    // Node probe state: every mouse event of the 3D view passes through
    // probe_mouse_event; a hover probe is queued and coalesced.
    void probe_mouse_event(const QMouseEvent* event);
    void probe_pointer_inside(bool inside);
    void queue_probe(double x, double y);
    void show_probe_text(const QString& text);
    QPointF probe_at_;
    bool probe_queued_ = false;
    bool pointer_inside_ = false;
    Qt::MouseButtons buttons_down_ = Qt::NoButton;
    std::optional<QString> probe_shown_; // last text written; none: unknown

    // The reading steps shared by an open and "Recarregar".
    static ReadResult read_with_progress(const std::string& namefile);
    void fill_plot_list();        // the five fixed items and the model's lists, unchecked
    void fill_displacement_box(); // "do arquivo" chosen
    // The model's blocks in "Blocos", all checked but those named in `hidden`.
    void fill_blocks_list(const std::vector<std::string>& hidden = {});
    std::vector<std::uint8_t> hidden_blocks() const; // by block index, from the checks
    std::vector<std::string> hidden_block_names() const;
    void take_reread_model(ResultModel&& fresh);
    void forget_drawn_lists(); // display lists, buffers and pick index of the old model
    bool reloading_ = false;   // a "Recarregar" read is under way

    // Value ranges (Unit2_ranges.cpp).
    static bool ranges_at_open(const ResultModel& m); // small enough to measure at once
    void start_range_job();                           // after a model is taken
    void run_range_job(const std::vector<int>& lists);
    void stop_range_job(); // cancels, joins, drops what it measured
    // Stops the job keeping what it measured (start_range_job goes on with
    // the rest), before the store's setup changes; false when none ran.
    bool suspend_range_job();
    void poll_range_job(); // the timer: results into the model, the status line
    bool range_job_ended();
    void take_job_ranges();
    void apply_measured_ranges(const std::vector<std::pair<int, ListRange>>& measured);
    void take_range_warnings(const std::vector<std::string>& warnings);
    // Measures the pending ranges of `lists` now; false (status message)
    // when a list could not be read.
    bool ensure_ranges(const std::vector<int>& lists);
    // Every range, waiting under a progress box; false when cancelled or failed.
    bool wait_for_all_ranges();
    // Every range of a model not shown yet, under a progress box; false when
    // cancelled; a read failure throws.
    static bool complete_all_ranges(QWidget* parent, ResultModel& m);
    std::unique_ptr<RangeJob> range_job_;
    QTimer* range_timer_ = nullptr;
    int range_total_ = 0;
    int range_shown_ = -1;
    QString range_error_;

    void frame_model();
    bool fit_pending_ = false;
    view::Vec3f home_position_{0, 0, 0};
    // The displacement columns as the file gave them, kept from the first
    // choice of another field on ("do arquivo" puts them back).
    std::vector<DisplacementRef> file_displacements_;
    bool file_displacements_kept_ = false;
    std::optional<std::string> displacement_field_; // as view_settings() reports it

    bool loaded_ = false;
    std::vector<std::string> read_warnings_;
    bool closed_ = false;
    bool close_pending_ = false;
    bool frame_closing_ = false; // the MDI frame is closing (its close runs ours)
    int wheel_rest_ = 0;         // wheel angle not yet making a whole notch

    void lod_press(const QMouseEvent* event);
    void lod_release(const QMouseEvent* event);
    void lod_wheel_step();
    void lod_end();
    bool lod_drag_ = false;             // a turning or panning drag is in progress
    QTimer* lod_wheel_timer_ = nullptr; // runs until kLodWheelRestMs after the last wheel step
};

} // namespace orv
