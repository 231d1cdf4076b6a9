#include "viewer/legend/legend_gl.h"

#include <GL/gl.h>

namespace orv {

std::vector<LegendText> draw_legend(const LegendInputs& in, const LegendTextSink& text) {
    for (const LegendTriangle& t : legend_bar(in.banded)) {
        glBegin(GL_POLYGON);
        int row = -1;
        for (const LegendVertex& v : t) {
            if (v.row != row) {
                // The colour is set at the start of the triangle and again where the row changes.
                row = v.row;
                const Rgb c = legend_row_colour(in.colours, row, in.trgb);
                glColor4d(c.r, c.g, c.b, 1.0);
            }
            glVertex3d(v.x, v.y, 0.0);
        }
        glEnd();
    }

    const auto grey = static_cast<float>(legend::kTextGrey);
    glColor3f(grey, grey, grey);
    std::vector<LegendText> texts = legend_texts(in);
    if (text) {
        for (const LegendText& t : texts)
            text(t);
    }
    return texts;
}

} // namespace orv
