// The viewer's keys and list stepping, driven with real key events: Page Down
// and Page Up (and their buttons) walk the checked result list, "▶" plays the
// generator's lists and stops on a click, Home resets zoom and pan, the arrow
// keys turn the model while the 3D view has the focus.
#include "../render/viewer_fixture.h"

#include "viewer/view/camera.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <string>
#include <vector>

namespace orv {
namespace {

class KeysAndSteps : public test::ViewerTest {
  protected:
    void SetUp() override {
        open(test::data_path("viewer/four_lists.txt"));
        // Keys go to the active window, as a user's would; the previous test's window may
        // still hold the focus for a moment under load.
        form->raise();
        form->activateWindow();
        ASSERT_TRUE(test::wait_until([&] { return QApplication::activeWindow() == form.get(); }));
        test::settle();
    }
    // Result lists checked, in order.
    std::vector<int> checked_lists() const {
        std::vector<int> lists;
        for (int k = 1; k <= form->model.nlista; ++k)
            if (form->plot_item_checked(kFixList + k - 1)) lists.push_back(k);
        return lists;
    }
};

TEST_F(KeysAndSteps, PageKeysAndButtonsWalkTheLowestCheckedList) {
    check_item(1, true); // "Malha Indeformada" stays as it is
    check_item(kFixList + 1, true);
    check_item(kFixList + 3, true);
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<int> lists;
    };
    QWidget* list = form->CheckListBox1;
    const Step steps[] = {
        {"Page Down", [&] { QTest::keyClick(list, Qt::Key_PageDown); }, {3, 4}},
        {"Page Down onto a checked list", [&] { QTest::keyClick(list, Qt::Key_PageDown); }, {4}},
        {"Page Down past the last list", [&] { QTest::keyClick(list, Qt::Key_PageDown); }, {4}},
        {"Page Up", [&] { QTest::keyClick(list, Qt::Key_PageUp); }, {3}},
        {"button up", [&] { form->list_up_button->click(); }, {2}},
        {"button up", [&] { form->list_up_button->click(); }, {1}},
        {"button up past the first list", [&] { form->list_up_button->click(); }, {1}},
        {"button down", [&] { form->list_down_button->click(); }, {2}},
    };
    for (const Step& s : steps) {
        s.act();
        test::settle();
        EXPECT_EQ(checked_lists(), s.lists) << s.what;
        EXPECT_EQ(form->chbox, 3 * s.lists.front()) << s.what;
        EXPECT_TRUE(form->plot_item_checked(1)) << s.what;
    }
    // The view shows the list it stepped to.
    pass();
    EXPECT_EQ(form->render_state.last_calls, (std::vector<int>{2, kFixList + 2}));
}

TEST_F(KeysAndSteps, NothingCheckedStartsAtTheFirstList) {
    QTest::keyClick(form->CheckListBox1, Qt::Key_PageDown);
    EXPECT_EQ(checked_lists(), (std::vector<int>{1}));
}

// With "> Valores Máximos" the legend's values stay as they are across the steps.
TEST_F(KeysAndSteps, LegendStaysFixedWithTheCommonRange) {
    check_item(kFixList, true);
    form->CheckBox3->setChecked(true); // "Legenda"
    form->CheckBox5->setChecked(true); // "> Valores Máximos"
    const auto labels = [&] {
        pass();
        EXPECT_TRUE(form->GLSceneViewer2->render_now());
        return std::vector<std::string>(form->legend_texts.begin() + 1, form->legend_texts.end());
    };
    const std::vector<std::string> first = labels();
    ASSERT_FALSE(first.empty());
    for (int step = 0; step < 3; ++step) {
        QTest::keyClick(form->CheckListBox1, Qt::Key_PageDown);
        EXPECT_EQ(labels(), first) << "step " << step + 1;
    }
    EXPECT_EQ(checked_lists(), (std::vector<int>{4}));
}

TEST_F(KeysAndSteps, PlayShowsTheGeneratorsListsAndStopsOnAClick) {
    form->SpinEdit4->setValue(1);
    form->SpinEdit5->setValue(4);
    form->SpinEdit6->setValue(1);
    form->SpinEdit7->setValue(100);
    form->play_button->click();
    EXPECT_TRUE(form->playing());
    ASSERT_TRUE(test::wait_until([&] { return !form->playing(); }, 5000));
    EXPECT_EQ(checked_lists(), (std::vector<int>{4}));
    EXPECT_EQ(form->AVIRecorder1.frame_count(), 0) << "nothing is recorded";

    form->SpinEdit7->setValue(1); // one list a second: a click comes first
    form->play_button->click();
    test::settle();
    EXPECT_EQ(checked_lists(), (std::vector<int>{1}));
    test::mouse_press(form->GLSceneViewer1, QPointF(50, 50), Qt::LeftButton);
    test::mouse_release(form->GLSceneViewer1, QPointF(50, 50), Qt::LeftButton);
    EXPECT_FALSE(form->playing());
    QTest::qWait(1300);
    EXPECT_EQ(checked_lists(), (std::vector<int>{1}));
}

TEST_F(KeysAndSteps, HomeAndArrowKeys) {
    form->zoom_in();
    form->zoom_in();
    form->move_model(0, 0.5f);
    QTest::keyClick(form->CheckListBox1, Qt::Key_Home);
    EXPECT_FLOAT_EQ(form->GLCamera1->scene_scale(), 1.0f);
    EXPECT_EQ(form->DirectOpenGL1->position()[0], 0.0f);

    // Arrows turn only while the 3D view has the focus (a click gives it).
    QTest::keyClick(form->CheckListBox1, Qt::Key_Left);
    EXPECT_EQ(form->tur, 0.0);
    test::mouse_press(form->GLSceneViewer1, QPointF(60, 60), Qt::LeftButton);
    test::mouse_release(form->GLSceneViewer1, QPointF(60, 60), Qt::LeftButton);
    form->GLSceneViewer1->setFocus(); // a synthetic click does not move the focus
    ASSERT_TRUE(form->GLSceneViewer1->hasFocus());
    struct Key {
        Qt::Key key;
        double tur;    // after the key
        double height; // sign of the camera height after the key (0: level)
    };
    const Key keys[] = {
        {Qt::Key_Left, 45, 0}, {Qt::Key_Right, 0, 0}, {Qt::Key_Up, 0, -1}, {Qt::Key_Down, 0, 0}};
    for (const Key& k : keys) {
        QTest::keyClick(form->GLSceneViewer1, k.key);
        EXPECT_NEAR(form->tur, k.tur, 1e-9) << k.key;
        const double y = form->GLCamera1->position()[1];
        if (k.height == 0) {
            EXPECT_NEAR(y, 0.0, 1e-3) << k.key;
        } else {
            EXPECT_GT(y * k.height, 0.0) << k.key << " y " << y;
        }
    }
}

} // namespace
} // namespace orv
