// Legend view: DirectOpenGL2's render callback, run on every paint of
// GLSceneViewer2 with its context current and the legend camera applied
// (visible x in [-2W/H, 2W/H], y in [-2, 2] of the plane z = 0), and the
// dragging of the view with the mouse.
//
// Nothing is cached: every paint draws the bar, the title and the labels
// afresh from legcolor, trgb, the check boxes and the range of the lowest
// checked result list (legend_layout.h computes all of it).

#include "viewer/Unit2.h"

#include "ui/gl_scene_viewer.h"
#include "viewer/legend/colour_scale.h"
#include "viewer/legend/legend_layout.h"
#include "viewer/render/mesh_gl.h"

#include <QCheckBox>
#include <QMouseEvent>

#include <GL/gl.h>

#include <cmath>

namespace orv {

void TForm2::DirectOpenGL2Render() {
    for (const LegendTriangle& t : legend_bar(CheckBox8->isChecked())) {
        glBegin(GL_POLYGON);
        int row = -1;
        for (const LegendVertex& v : t) {
            if (v.row != row) {
                // The colour is set at the start of the triangle and again where the row changes.
                row = v.row;
                const Rgb c = legend_row_colour(legcolor, row, trgb);
                glColor4d(c.r, c.g, c.b, 1.0);
            }
            glVertex3d(v.x, v.y, 0.0);
        }
        glEnd();
    }

    glColor3f(static_cast<float>(legend::kTextGrey), static_cast<float>(legend::kTextGrey),
              static_cast<float>(legend::kTextGrey));
    const auto range =
        legend_range(model, kFixList, legmax, [this](int item) { return plot_item_checked(item); });
    legend_texts.assign(1, legend::kTitle);
    draw_text(legend::kTitle, BitmapFont::Helvetica12, legend::kTextX, legend::kTitleY, 0.0);
    for (const LegendLabel& label :
         legend_labels(CheckBox8->isChecked(), CheckBox9->isChecked(), range[0], range[1])) {
        legend_texts.push_back(label.text);
        draw_text(label.text, BitmapFont::Helvetica10, legend::kTextX, label.y, 0.0);
    }
}

void TForm2::GLSceneViewer2MouseDown(QMouseEvent* event) {
    mx = event->position().x();
    my = event->position().y();
}

void TForm2::GLSceneViewer2MouseMove(QMouseEvent* event) {
    // Any button or Shift, Ctrl or Alt held drags. mx, my are not updated:
    // the view moves with the pointer, so the grabbed point stays under it.
    const Qt::KeyboardModifiers keys =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (event->buttons() == Qt::NoButton && keys == Qt::NoModifier) return;
    const int dx = static_cast<int>(std::trunc(event->position().x() - mx));
    const int dy = static_cast<int>(std::trunc(event->position().y() - my));
    GLSceneViewer2->move(GLSceneViewer2->x() + dx, GLSceneViewer2->y() + dy);
}

} // namespace orv
