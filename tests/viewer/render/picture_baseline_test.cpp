// Whole-view pictures of the examples, as the screen shows them (the 3D view
// with the legend floating over it), compared with baseline PNGs under
// tests/data/baselines/.
//
// Tolerance: a pixel matches when each of its red, green and blue channels
// lies within 24 levels of the baseline's; a picture matches when at most
// 0.2 % of its pixels do not (one-pixel edges of lines and glyphs may shift
// between Mesa versions; a missing mesh, legend or band is far more).
//
// On a mismatch the picture and a difference image (mismatching pixels red
// over a faded baseline) are written to pictures/ in the test's build
// directory (build/tests/viewer/render/pictures/NAME.png and NAME_diff.png).
// A missing baseline writes the picture there and fails.
//
// Regenerating the baselines, from the top of the source tree after a build
// (then look at every picture before committing it):
//   scripts/update-baselines
// which runs these tests as scripts/test runs them, with the environment
// variable ORVANEL_UPDATE_BASELINES=1 set: they then write
// tests/data/baselines/NAME.png instead of comparing.
#include "viewer_fixture.h"

#include "viewer/legend/colour_scale.h"

#include <QCheckBox>
#include <QDir>
#include <QScreen>
#include <QWindow>

#include <cstdlib>

namespace orv {
namespace {

constexpr int kChannelTolerance = 24;
constexpr double kMismatchFraction = 0.002;

// Plot items.
constexpr int kUndeformedMesh = 1, kNodeNumbers = 3, kElementNumbers = 4, kFirstList = 5;

struct Comparison {
    bool same_size = false;
    long mismatches = 0;
    long pixels = 0;
    QImage diff;
    bool matches() const { return same_size && mismatches <= static_cast<long>(kMismatchFraction * pixels); }
};

Comparison compare(const QImage& picture, const QImage& baseline) {
    Comparison c;
    c.same_size = picture.size() == baseline.size();
    if (!c.same_size) return c;
    c.pixels = static_cast<long>(picture.width()) * picture.height();
    c.diff = QImage(picture.size(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y), b = baseline.pixel(x, y);
            const bool same = std::abs(qRed(p) - qRed(b)) <= kChannelTolerance &&
                              std::abs(qGreen(p) - qGreen(b)) <= kChannelTolerance &&
                              std::abs(qBlue(p) - qBlue(b)) <= kChannelTolerance;
            c.mismatches += !same;
            c.diff.setPixel(x, y,
                            same ? qRgb((qRed(b) + 510) / 3, (qGreen(b) + 510) / 3, (qBlue(b) + 510) / 3)
                                 : qRgb(255, 0, 0));
        }
    }
    return c;
}

class PictureBaseline : public test::ViewerTest {
  protected:
    void SetUp() override { load_legend(0); }

    // A viewer of a modest size on one of the examples, zoomed in with the
    // wheel's steps (0.05 each) to scene scale `zoom`.
    void open_example(const char* name, float zoom) {
        open(test::example_path(QString::fromLatin1(name)), 520, 330);
        ASSERT_FALSE(HasFatalFailure());
        while (form->GLCamera1->scene_scale() < zoom - 0.01f)
            form->zoom_in();
    }

    // The 3D view as the screen shows it (the legend view floats over it).
    QImage screen_picture() const {
        test::settle();
        const QRect view = form->GLSceneViewer1->geometry();
        return form->screen()
            ->grabWindow(form->winId(), view.x(), view.y(), view.width(), view.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    void expect_matches_baseline(const QString& name) {
        pass();
        const QString baseline_path =
            QDir(QStringLiteral(ORVANEL_TEST_DATA "/baselines")).filePath(name + QStringLiteral(".png"));
        const QDir out(QStringLiteral(ORVANEL_PICTURE_OUTPUT_DIR));
        QDir().mkpath(out.path());

        if (std::getenv("ORVANEL_UPDATE_BASELINES")) {
            // Let the view reach the screen, then keep what it shows.
            QImage picture;
            test::wait_until(
                [&] {
                    const QImage again = screen_picture();
                    const bool stable = again == picture && !picture.isNull();
                    picture = again;
                    return stable;
                },
                3000);
            QDir().mkpath(QFileInfo(baseline_path).path());
            ASSERT_TRUE(picture.save(baseline_path)) << baseline_path.toStdString();
            return;
        }

        const QImage baseline(baseline_path);
        QImage picture;
        Comparison result;
        // The picture reaches the screen a moment after the paint.
        const bool matched = !baseline.isNull() &&
                             test::wait_until(
                                 [&] {
                                     picture = screen_picture();
                                     result =
                                         compare(picture, baseline.convertToFormat(QImage::Format_RGB32));
                                     return result.matches();
                                 },
                                 3000);
        if (matched) return;
        if (picture.isNull()) picture = screen_picture();
        const QString picture_path = out.filePath(name + QStringLiteral(".png"));
        picture.save(picture_path);
        if (baseline.isNull()) {
            ADD_FAILURE() << "no baseline " << baseline_path.toStdString() << "; the picture is in "
                          << picture_path.toStdString()
                          << " (look at it, then regenerate with ORVANEL_UPDATE_BASELINES=1)";
            return;
        }
        if (!result.same_size) {
            ADD_FAILURE() << name.toStdString() << ": picture " << picture.width() << "x" << picture.height()
                          << ", baseline " << baseline.width() << "x" << baseline.height() << "; picture in "
                          << picture_path.toStdString();
            return;
        }
        const QString diff_path = out.filePath(name + QStringLiteral("_diff.png"));
        result.diff.save(diff_path);
        ADD_FAILURE() << name.toStdString() << ": " << result.mismatches << " of " << result.pixels
                      << " pixels differ by more than " << kChannelTolerance << " levels (at most "
                      << static_cast<long>(kMismatchFraction * result.pixels) << " may); picture "
                      << picture_path.toStdString() << ", difference " << diff_path.toStdString();
    }
};

TEST_F(PictureBaseline, ShellBandedWithItsMeshFromATurnedView) {
    open_example("casca.txt", 2);
    form->CheckBox8->click(); // "Faixas de Cores"
    check_item(kUndeformedMesh, true);
    check_item(kFirstList, true);
    form->apply_preset(1);
    expect_matches_baseline(QStringLiteral("casca_bands_mesh_turned"));
}

TEST_F(PictureBaseline, BeamWithNodeAndElementNumbers) {
    open_example("viga.txt", 3.5);
    // The beam runs from the origin along +x: two toolbar steps left centre it.
    form->move_model(0, -0.5f);
    form->move_model(0, -0.5f);
    check_item(kUndeformedMesh, true);
    check_item(kNodeNumbers, true);
    check_item(kElementNumbers, true);
    expect_matches_baseline(QStringLiteral("viga_numbers"));
}

TEST_F(PictureBaseline, PlateWithTheLegend) {
    open_example("placa.txt", 2);
    check_item(kUndeformedMesh, true);
    check_item(kFirstList, true);
    form->CheckBox3->click(); // "Legenda"
    ASSERT_TRUE(form->GLSceneViewer2->isVisible());
    expect_matches_baseline(QStringLiteral("placa_legend"));
}

// A sphere of quadratic tetrahedra (tests/data/import/gmsh/make_sphere.py)
// keeps its curved faces: the picture matches its baseline, and the same
// mesh with every mid-edge node on its chord (the flat twin, which is what a
// lost curvature looks like) is far from that baseline.
TEST_F(PictureBaseline, CurvedQuadraticTetrahedraStayCurved) {
    const auto open_sphere = [&](const char* name) {
        open(QStringLiteral(ORVANEL_TEST_DATA "/import/gmsh/") + QString::fromLatin1(name), 520, 330);
        ASSERT_FALSE(HasFatalFailure());
        // A Gmsh file opens framed: the sphere fills the view.
        ASSERT_TRUE(form->fit_pending());
        check_item(kUndeformedMesh, true);
        check_item(kFirstList, true);
        form->apply_preset(1);
    };
    open_sphere("tet10_sphere_41.msh");
    expect_matches_baseline(QStringLiteral("tet10_sphere_curved"));
    if (std::getenv("ORVANEL_UPDATE_BASELINES")) return;

    open_sphere("tet10_sphere_flat_41.msh");
    pass();
    const QImage baseline(QStringLiteral(ORVANEL_TEST_DATA "/baselines/tet10_sphere_curved.png"));
    const Comparison flat = compare(screen_picture(), baseline.convertToFormat(QImage::Format_RGB32));
    ASSERT_TRUE(flat.same_size);
    EXPECT_GT(flat.mismatches, 10 * static_cast<long>(kMismatchFraction * flat.pixels))
        << "the flat twin is as close to the curved baseline as the curved sphere";
}

} // namespace
} // namespace orv
