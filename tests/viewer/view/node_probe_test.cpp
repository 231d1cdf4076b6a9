// The node probe of a real viewer window on the plate example: hovering shows
// the node and its value in the status bar, Control + left click fills "Nó"
// and shows its group, and probing leaves turning alone.

#include "../render/viewer_fixture.h"

#include "viewer/view/interaction.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>

namespace orv {
namespace {

// placa.txt: a plate in the plane z = 0, x in 0..4, y in 0..2, nodes 0.25 to
// 0.5 apart; node 4 at (0.5, 0.5), node 6 at (1, 0.5). List 1 "Deslocamento
// w - passo 1" holds 0.004783543 at node 4 and moves it along z only.
class NodeProbe : public test::ViewerTest {
  protected:
    void SetUp() override {
        ui::set_status_sink([this](const QString& text) { status = text; });
        open(test::example_path("placa.txt"));
        view = form->GLSceneViewer1;
        test::enter(view);
    }
    // The pointer over the model point (x, y) of the front view.
    QPointF over(double x, double y) const { return QPointF(model_pixel(x, y)); }
    void hover(QPointF at) {
        test::mouse_move(view, at, Qt::NoButton);
        test::settle();
    }

    QWidget* view = nullptr;
    QString status = QStringLiteral("(nothing written)");
};

TEST_F(NodeProbe, HoverShowsTheNodeAndTheLowestCheckedList) {
    check_item(1, true); // "Malha Indeformada"
    pass();
    hover(over(0.5, 0.5));
    EXPECT_EQ(status, QStringLiteral("Nó 4   0.5 0.5 0"));

    check_item(5, true); // list 1
    check_item(7, true); // list 3, not the lowest
    pass();
    hover(over(0.5, 0.5));
    EXPECT_EQ(status, QStringLiteral("Nó 4   0.5 0.5 0   Deslocamento w - passo 1: 0.004783543"));
    hover(over(1, 0.5) + QPointF(3, -2)); // within the pick radius of node 6
    EXPECT_TRUE(status.startsWith(QStringLiteral("Nó 6   1 0.5 0   Deslocamento w - passo 1: ")))
        << status.toStdString();

    // Empty background clears the text; so does leaving the view.
    hover(QPointF(4, 4));
    EXPECT_EQ(status, QString());
    hover(over(0.5, 0.5));
    EXPECT_EQ(status, QStringLiteral("Nó 4   0.5 0.5 0   Deslocamento w - passo 1: 0.004783543"));
    test::leave(view);
    EXPECT_EQ(status, QString());
}

TEST_F(NodeProbe, NothingDrawnNothingShown) {
    pass();
    hover(over(0.5, 0.5));
    EXPECT_EQ(status, QString()) << "only the axes symbol is drawn";
}

TEST_F(NodeProbe, ABurstOfMovesCostsOneProbe) {
    check_item(5, true);
    pass();
    const long before = form->node_picker.stats().probes;
    for (int i = 0; i < 20; ++i)
        test::mouse_move(view, over(0.5, 0.5) + QPointF(i % 3, 0), Qt::NoButton);
    test::settle();
    EXPECT_EQ(form->node_picker.stats().probes, before + 1);
    EXPECT_TRUE(status.startsWith(QStringLiteral("Nó 4 ")));
}

TEST_F(NodeProbe, ControlClickPutsTheNodeIntoTheHistoryField) {
    check_item(1, true);
    pass();
    ASSERT_TRUE(form->GroupBox8->isHidden());
    const view::Vec3f camera = form->GLCamera1->position();
    const QPointF at = over(1, 0.5);
    test::mouse_press(view, at, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(form->Edit9->text(), QStringLiteral("6"));
    EXPECT_TRUE(form->GroupBox8->isVisible());
    EXPECT_EQ(form->ComboBox1->currentIndex(), 6);
    // Control + left button turns nothing.
    test::mouse_move(view, at + QPointF(40, 25), Qt::LeftButton, Qt::ControlModifier);
    test::mouse_release(view, at + QPointF(40, 25), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(form->GLCamera1->position(), camera);

    // On empty background the field keeps its node; with the panel hidden a
    // pick brings it back.
    test::mouse_press(view, QPointF(4, 4), Qt::LeftButton, Qt::ControlModifier);
    test::mouse_release(view, QPointF(4, 4), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(form->Edit9->text(), QStringLiteral("6"));
    form->GLSceneViewer1DblClick();
    ASSERT_FALSE(form->Panel1->isVisible());
    test::mouse_press(view, over(0.5, 0.5), Qt::LeftButton, Qt::ControlModifier);
    test::mouse_release(view, over(0.5, 0.5), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(form->Edit9->text(), QStringLiteral("4"));
    EXPECT_TRUE(form->Panel1->isVisible());
    EXPECT_TRUE(form->GroupBox8->isVisible());
}

TEST_F(NodeProbe, LeftDragAfterAHoverTurnsAsUsual) {
    check_item(5, true);
    pass();
    const QPointF start = over(0.5, 0.5);
    hover(start);
    const QString shown = status;
    ASSERT_TRUE(shown.startsWith(QStringLiteral("Nó 4 ")));
    test::mouse_press(view, start, Qt::LeftButton);
    test::mouse_move(view, start + QPointF(-10, 3), Qt::LeftButton);
    test::settle();
    // At speed 50 one pixel is one degree: pitch -3, turn +10.
    const view::Vec3d expected = view::orbit_position({0, 0, 30}, {0, 0, 0}, {0, 1, 0}, -3, 10);
    const view::Vec3f p = form->GLCamera1->position();
    for (std::size_t a = 0; a < 3; ++a)
        EXPECT_NEAR(p[a], expected[a], 1e-4);
    EXPECT_DOUBLE_EQ(form->tur, 10);
    EXPECT_EQ(status, shown) << "no probe while a button is down";
    test::mouse_release(view, start + QPointF(-10, 3), Qt::LeftButton);
    // Once released, the pointer probes again, with the turned camera.
    hover(start + QPointF(-10, 3));
    EXPECT_NE(status, shown);
}

} // namespace
} // namespace orv
