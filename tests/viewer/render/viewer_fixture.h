#pragma once
// A real viewer window (TForm2) on a result file, shown under the test
// display with a fixed 3D-view size, and helpers to run render passes and
// read pixels back. Shared by the render, legend and view tests.

#include "gui_test_support.h"

#include "ui/gl_scene_viewer.h"
#include "viewer/Unit2.h"

#include <QColor>
#include <QImage>
#include <QListWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace orv::test {

struct Rgb8Pixel {
    int r = 0, g = 0, b = 0;
};

inline ::testing::AssertionResult colour_near(QRgb got, Rgb8Pixel want, int tolerance = 3) {
    if (std::abs(qRed(got) - want.r) <= tolerance && std::abs(qGreen(got) - want.g) <= tolerance &&
        std::abs(qBlue(got) - want.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << qRed(got) << ", " << qGreen(got) << ", " << qBlue(got)
                                         << ") want (" << want.r << ", " << want.g << ", " << want.b << ")";
}

class ViewerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        form.reset();
        settle();
        ui::set_status_sink({});
    }

    // Opens `file` in a viewer whose window is width x height; waits for the
    // first paint and for the start-up timer.
    void open(const QString& file, int width = 760, int height = 420) {
        dialogs().reset();
        form = std::make_unique<TForm2>(file);
        ASSERT_TRUE(form->loaded());
        form->resize(width, height);
        form->show();
        ASSERT_TRUE(wait_until([&] { return form->GLSceneViewer1->frames() > 0 && form->auxiliar; }));
        settle();
    }

    // Paints the 3D view now and returns its picture.
    QImage pass() {
        settle();
        EXPECT_TRUE(form->GLSceneViewer1->render_now());
        return form->GLSceneViewer1->last_image();
    }

    // Pixel of the 3D view where the front-view camera (unpanned, scene scale
    // 1) shows the model point (x, y) in file coordinates: the larger side of
    // the view spans 10 world units, the model is scaled by 2 / maxscale.
    QPoint model_pixel(double x, double y) const {
        const double w = form->GLSceneViewer1->width(), h = form->GLSceneViewer1->height();
        const double per_unit = std::max(w, h) / 10.0 * form->model.scene_scale();
        return {static_cast<int>(std::floor(w / 2 + x * per_unit)),
                static_cast<int>(std::floor(h / 2 - y * per_unit))};
    }
    static QRgb at(const QImage& image, QPoint p) { return image.pixel(p); }

    // The plot list's mouse release after setting the check of item i.
    void check_item(int item, bool on) {
        form->CheckListBox1->item(item)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        form->CheckListBox1MouseUp();
    }

    std::string log() const { return to_string(form->render_state.log); }

    std::unique_ptr<TForm2> form;
};

} // namespace orv::test
