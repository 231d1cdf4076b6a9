// Legend colour editor ("Legenda" group of the chooser): nine panels showing
// the rows of the shared colour table, top panel = row 8, each captioned
// "r - g - b" in the complementary colour. The panels are a working copy:
// a panel click changes only the panel, "Aplicar" writes all nine back into
// the table, "Escala 1" / "Escala 2" load a built-in scale.
//
// "Carregar" and "Salvar" stay disabled: there is no colour-table file format.

#include "viewer/Unit2.h"

#include "ui/dialogs.h"
#include "ui/panel_widgets.h"
#include "viewer/legend/colour_editor.h"

#include <QPalette>

namespace orv {

namespace {

QColor to_qcolor(Rgb8 c) {
    return QColor(c.r, c.g, c.b);
}

Rgb8 panel_colour(const ClickPanel* panel) {
    const QColor c = panel->palette().color(QPalette::Window);
    return {c.red(), c.green(), c.blue()};
}

void set_panel_colour(ClickPanel* panel, Rgb8 c) {
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, to_qcolor(c));
    panel->setPalette(p);
}

void set_caption_colour(ClickPanel* panel, Rgb8 c) {
    QPalette p = panel->palette();
    p.setColor(QPalette::WindowText, to_qcolor(c));
    panel->setPalette(p);
}

// Colour, then the caption from the colour read back.
void show_colour(ClickPanel* panel, Rgb8 c) {
    set_panel_colour(panel, c);
    panel->setText(QString::fromStdString(panel_caption(panel_colour(panel))));
}

} // namespace

void TForm2::refresh_legend() {
    for (int i = 0; i < 9; ++i)
        show_colour(colour_panels[static_cast<std::size_t>(i)], row_bytes(legcolor, panel_row(i)));
    for (int i = 0; i < 9; ++i)
        set_caption_colour(colour_panels[static_cast<std::size_t>(i)],
                           complement(row_bytes(legcolor, panel_row(i))));
}

void TForm2::Panel2Click(ClickPanel* sender) {
    const std::optional<QColor> chosen = ui::choose_colour(this, to_qcolor(panel_colour(sender)));
    if (!chosen) return;
    const Rgb8 c{chosen->red(), chosen->green(), chosen->blue()};
    show_colour(sender, c);
    set_caption_colour(sender, complement(c));
}

void TForm2::BitBtn6Click() {
    for (int i = 0; i < 9; ++i)
        legcolor[static_cast<std::size_t>(panel_row(i))] =
            row_from_bytes(panel_colour(colour_panels[static_cast<std::size_t>(i)]));
    repaint_tail();
}

void TForm2::BitBtn7Click() {
    load_legend(0);
    refresh_legend();
    repaint_tail();
}

void TForm2::BitBtn8Click() {
    load_legend(1);
    refresh_legend();
    repaint_tail();
}

void TForm2::BitBtn9Click() {
    ui::open_file_name(this, QString());
}

void TForm2::BitBtn10Click() {
    ui::save_file_name(this, QString());
}

} // namespace orv
