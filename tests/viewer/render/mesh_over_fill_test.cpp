// Lines and points drawn on the same surface as an opaque colour fill stay in
// front of it from every angle: the undeformed and deformed outlines and the
// nodes over continuous and banded colours, with and without "Malha Sólida",
// seen from turned views where equal depths would otherwise make them break
// up into dotted fragments; and the coloured segments of line elements in
// front of the deformed outline that lies on them.
#include "viewer_fixture.h"

#include "viewer/legend/colour_scale.h"
#include "viewer/view/camera.h"
#include "viewer/view/interaction.h"

#include "viewer/render/element_geometry.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>

#include <string>
#include <vector>

namespace orv {
namespace {

// plate_x.txt: two linear quadrilaterals over x, y in [-1, 1] at z = 0; list 1
// (plot item 5) runs 0..9 along x and has no displacement.
constexpr int kNodes = 0, kUndeformed = 1, kDeformed = 2, kList1 = 5;

struct Edge {
    double x0, y0, x1, y1;
};
// The outline of both elements: the outer boundary and the shared edge x = 0.
const Edge kEdges[] = {{-1, -1, 0, -1}, {0, -1, 1, -1},  {1, -1, 1, 1}, {1, 1, 0, 1},
                       {0, 1, -1, 1},   {-1, 1, -1, -1}, {0, -1, 0, 1}};

class MeshOverFill : public test::ViewerTest {
  protected:
    void SetUp() override {
        load_legend(0);
        open(test::data_path("render/plate_x.txt"), 640, 480);
        // The axes symbol sits on the shared edge at the origin: off.
        form->CheckBox7->click();
        ASSERT_FALSE(form->CheckBox7->isChecked());
    }

    // Pixel of the 3D view showing model point (x, y, 0).
    QPoint pixel_of(double x, double y) const {
        const float s = form->DirectOpenGL1->scale()[0];
        const view::PixelPoint p =
            view::project_to_pixel(*form->GLCamera1, form->GLSceneViewer1->width(),
                                   form->GLSceneViewer1->height(), {s * x, s * y, 0.0});
        return {static_cast<int>(p.x), static_cast<int>(p.y)};
    }

    QPoint pixel_of_3d(double x, double y, double z) const {
        const float s = form->DirectOpenGL1->scale()[0];
        const view::PixelPoint p =
            view::project_to_pixel(*form->GLCamera1, form->GLSceneViewer1->width(),
                                   form->GLSceneViewer1->height(), {s * x, s * y, s * z});
        return {static_cast<int>(p.x), static_cast<int>(p.y)};
    }

    // The darkest pixel within one pixel of p (lines are one pixel wide and
    // may fall beside the exact projection).
    static QRgb darkest_near(const QImage& image, QPoint p) {
        QRgb best = qRgb(255, 255, 255);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QPoint q = p + QPoint(dx, dy);
                if (!image.rect().contains(q)) continue;
                const QRgb c = image.pixel(q);
                if (qGray(c) < qGray(best)) best = c;
            }
        return best;
    }

    // Samples along every outline edge where the black line does not show.
    std::vector<std::string> missing_line_pixels(const QImage& image) const {
        std::vector<std::string> missing;
        for (const Edge& e : kEdges)
            for (int i = 1; i < 10; ++i) {
                const double t = i / 10.0;
                const double x = e.x0 + t * (e.x1 - e.x0), y = e.y0 + t * (e.y1 - e.y0);
                const QRgb c = darkest_near(image, pixel_of(x, y));
                if (qRed(c) > 40 || qGreen(c) > 40 || qBlue(c) > 40)
                    missing.push_back("(" + std::to_string(x) + ", " + std::to_string(y) + ")");
            }
        return missing;
    }

    // Nodes whose grey point (0.35) does not show.
    std::vector<std::string> missing_nodes(const QImage& image) const {
        std::vector<std::string> missing;
        for (double x : {-1.0, 0.0, 1.0})
            for (double y : {-1.0, 1.0}) {
                const QPoint p = pixel_of(x, y);
                const QRgb c = image.pixel(p);
                const bool grey = std::abs(qRed(c) - 89) <= 12 && std::abs(qGreen(c) - 89) <= 12 &&
                                  std::abs(qBlue(c) - 89) <= 12;
                if (!grey) missing.push_back("(" + std::to_string(x) + ", " + std::to_string(y) + ")");
            }
        return missing;
    }
};

TEST_F(MeshOverFill, OutlinesAndNodesStayInFrontOfAnOpaqueFill) {
    struct Case {
        const char* name;
        int item;    // the mesh item checked with the result list
        bool banded; // "Faixas de Cores"
        bool solid;  // "Malha Sólida"
    };
    const Case cases[] = {
        {"undeformed mesh, continuous", kUndeformed, false, false},
        {"undeformed mesh, banded", kUndeformed, true, false},
        {"undeformed mesh, solid", kUndeformed, false, true},
        {"deformed mesh, continuous", kDeformed, false, false},
        {"deformed mesh, banded", kDeformed, true, false},
        {"deformed mesh, solid", kDeformed, false, true},
        {"nodes, continuous", kNodes, false, false},
        {"nodes, banded", kNodes, true, false},
    };
    struct View {
        double pitch, turn;
    };
    const View views[] = {{-60, 30}, {-35, -70}, {-80, 150}};
    for (const Case& c : cases) {
        for (const View& v : views) {
            SCOPED_TRACE(std::string(c.name) + ", view pitch " + std::to_string(v.pitch) + " turn " +
                         std::to_string(v.turn));
            view::apply_preset_view(*form->GLCamera1, 0);
            form->GLCamera1->orbit(v.pitch, v.turn);
            form->CheckBox8->setChecked(c.banded);
            form->CheckBox6->setChecked(c.solid);
            form->changes = true;
            check_item(kNodes, c.item == kNodes);
            check_item(kUndeformed, c.item == kUndeformed);
            check_item(kDeformed, c.item == kDeformed);
            check_item(kList1, true);
            const QImage image = pass();
            if (c.item == kNodes) {
                const auto missing = missing_nodes(image);
                EXPECT_TRUE(missing.empty())
                    << missing.size() << " of 6 nodes hidden, first " << missing.front();
            } else {
                const auto missing = missing_line_pixels(image);
                EXPECT_TRUE(missing.empty())
                    << missing.size() << " of 63 outline samples hidden by the fill, first "
                    << missing.front();
            }
        }
    }
}

// The coloured segments of line elements lie exactly on the deformed outline
// drawn before them; they must still show their colours along the whole beam
// as the screen shows it, from the front and from turned views, continuous
// and banded.
TEST_F(MeshOverFill, BeamKeepsItsColoursUnderTheDeformedOutline) {
    form.reset();
    open(test::example_path("viga.txt"), 700, 460);
    form->CheckBox7->click(); // no axes symbol over the beam's root
    while (form->GLCamera1->scene_scale() < 2.0f)
        form->zoom_in();
    form->Edit7->setText("2"); // "Fator de Multiplicação": the bend shows
    form->Edit7Exit();
    check_item(kDeformed, true);
    check_item(kList1, true);
    const NodePlacement place{true, 3, displacement_factor(2.0, 50)};
    struct View {
        double pitch, turn;
    };
    const View views[] = {{0, 0}, {-30, 40}, {-55, -120}, {20, 160}};
    for (const bool banded : {false, true}) {
        for (const View& v : views) {
            SCOPED_TRACE(std::string(banded ? "banded" : "continuous") + ", view pitch " +
                         std::to_string(v.pitch) + " turn " + std::to_string(v.turn));
            view::apply_preset_view(*form->GLCamera1, 0);
            form->GLCamera1->orbit(v.pitch, v.turn);
            form->CheckBox8->setChecked(banded);
            form->changes = true;
            pass();
            test::settle();
            const QRect area = form->GLSceneViewer1->geometry();
            const QImage screen =
                form->screen()
                    ->grabWindow(form->winId(), area.x(), area.y(), area.width(), area.height())
                    .toImage();
            // The midpoint of each segment between neighbouring nodes: the
            // most coloured pixel next to it must be a colour of the scale,
            // not the outline's black or a grey.
            std::vector<std::string> grey;
            for (std::int32_t n = 1; n < form->model.nnode; ++n) {
                const Point3 a = place.at(form->model, n), b = place.at(form->model, n + 1);
                const QPoint p = pixel_of_3d((a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2);
                int best = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QPoint q = p + QPoint(dx, dy);
                        if (!screen.rect().contains(q)) continue;
                        const QRgb c = screen.pixel(q);
                        best = std::max(best, std::max({qRed(c), qGreen(c), qBlue(c)}) -
                                                  std::min({qRed(c), qGreen(c), qBlue(c)}));
                    }
                if (best < 100) grey.push_back("segment " + std::to_string(n));
            }
            EXPECT_TRUE(grey.empty()) << grey.size() << " of " << form->model.nnode - 1
                                      << " segments without colour, first " << grey.front();
        }
    }
}

} // namespace
} // namespace orv
