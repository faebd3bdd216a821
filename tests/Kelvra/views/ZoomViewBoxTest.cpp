#include "Kelvra/views/ZoomViewBox.h"
#include "platform/plot/GraphicsLayoutWidget.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using Kelvra::ZoomViewBox;
using Plot::MouseDragEvent;
using Plot::MouseEnabled;

namespace {

// 200 x 150 pixels showing an 80 x 60 image exactly: 2.5 pixels per unit.
std::unique_ptr<ZoomViewBox> imageBox()
{
    auto box = std::make_unique<ZoomViewBox>();
    box->resize(200, 150);
    box->setRange(QRectF(0, 0, 80, 60));
    return box;
}

MouseDragEvent drag(QPointF pos, QPointF last, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                    bool start = false, bool finish = false)
{
    return MouseDragEvent(pos, last, QPointF(100, 90), button, modifiers, start, finish);
}

void expectRect(const QRectF& a, const QRectF& b)
{
    EXPECT_NEAR(a.x(), b.x(), 1e-9);
    EXPECT_NEAR(a.y(), b.y(), 1e-9);
    EXPECT_NEAR(a.width(), b.width(), 1e-9);
    EXPECT_NEAR(a.height(), b.height(), 1e-9);
}

struct KeySpies {
    explicit KeySpies(ZoomViewBox* box)
        : reset(box, &ZoomViewBox::resetView)
        , autoHist(box, &ZoomViewBox::autoHistogram)
        , toggle(box, &ZoomViewBox::histogramToggle)
        , exported(box, &ZoomViewBox::exportImage)
    {
    }
    std::array<int, 4> counts() const { return {{reset.count(), autoHist.count(), toggle.count(), exported.count()}}; }
    QSignalSpy reset, autoHist, toggle, exported;
};

bool press(ZoomViewBox& box, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent ev(QEvent::KeyPress, key, modifiers);
    ev.ignore();
    box.keyPressEvent(&ev);
    return ev.isAccepted();
}

} // namespace

TEST(ZoomViewBox, IsSetUpForImages)
{
    ZoomViewBox box;
    EXPECT_EQ(box.state().mouseMode, Plot::ViewBox::RectMode);
    EXPECT_TRUE(box.state().yInverted);
    EXPECT_TRUE(box.state().aspectLocked);
    EXPECT_EQ(box.state().aspectRatio, 1.0);
    EXPECT_EQ(box.backgroundColor(), QColor(0, 0, 0, 255));
    EXPECT_TRUE(box.isRegistered());
}

TEST(ZoomViewBox, ShiftLeftDragPansByThePointerTravelInImageUnits)
{
    auto box = imageBox();
    QSignalSpy manual(box.get(), &ZoomViewBox::sigRangeChangedManually);
    QSignalSpy changed(box.get(), &ZoomViewBox::sigRangeChanged);
    auto ev = drag(QPointF(110, 100), QPointF(100, 90), Qt::LeftButton, Qt::ShiftModifier);
    box->mouseDragEvent(ev);
    EXPECT_TRUE(ev.isAccepted());
    // 10 pixels right and down are 4 image units; the image follows the pointer.
    expectRect(box->viewRect(), QRectF(-4, -4, 80, 60));
    ASSERT_EQ(manual.count(), 1);
    EXPECT_EQ(manual.at(0).at(0).value<MouseEnabled>(), (MouseEnabled{{true, true}}));
    EXPECT_EQ(changed.count(), 1);

    // At twice the zoom the same travel moves half as far.
    box->setRange(QRectF(0, 0, 40, 30));
    box->mouseDragEvent(ev);
    expectRect(box->viewRect(), QRectF(-2, -2, 40, 30));
}

TEST(ZoomViewBox, AxisAndMouseEnabledHoldTheOtherAxisStill)
{
    auto box = imageBox();
    auto ev = drag(QPointF(110, 100), QPointF(100, 90), Qt::LeftButton, Qt::ShiftModifier);
    box->mouseDragEvent(ev, 1);
    expectRect(box->viewRect(), QRectF(0, -4, 80, 60));

    box->setMouseEnabled(true, false);
    QSignalSpy manual(box.get(), &ZoomViewBox::sigRangeChangedManually);
    box->mouseDragEvent(ev);
    expectRect(box->viewRect(), QRectF(-4, -4, 80, 60));
    ASSERT_EQ(manual.count(), 1);
    EXPECT_EQ(manual.at(0).at(0).value<MouseEnabled>(), (MouseEnabled{{true, false}}));
}

TEST(ZoomViewBox, OtherDragsGoToTheBase)
{
    auto box = imageBox();
    QSignalSpy manual(box.get(), &ZoomViewBox::sigRangeChangedManually);
    // Plain left drag: rectangle zoom from the press to the release.
    auto start = drag(QPointF(120, 100), QPointF(100, 90), Qt::LeftButton, Qt::NoModifier, true);
    box->mouseDragEvent(start);
    expectRect(box->viewRect(), QRectF(0, 0, 80, 60));
    auto finish = drag(QPointF(150, 115), QPointF(120, 100), Qt::LeftButton, Qt::NoModifier, false, true);
    box->mouseDragEvent(finish);
    expectRect(box->targetRect(), QRectF(40, 36, 20, 10));
    EXPECT_EQ(manual.count(), 1);

    // Shift with the right button is the base's, which leaves it alone.
    auto right = drag(QPointF(0, 0), QPointF(100, 90), Qt::RightButton, Qt::ShiftModifier);
    box->mouseDragEvent(right);
    EXPECT_FALSE(right.isAccepted());
    expectRect(box->targetRect(), QRectF(40, 36, 20, 10));
    EXPECT_EQ(manual.count(), 1);
}

TEST(ZoomViewBox, ReleasingShiftMidDragHandsTheRestToTheRectangleZoom)
{
    auto box = imageBox();
    auto pan = drag(QPointF(110, 100), QPointF(100, 90), Qt::LeftButton, Qt::ShiftModifier, true);
    box->mouseDragEvent(pan);
    expectRect(box->viewRect(), QRectF(-4, -4, 80, 60));
    auto finish = drag(QPointF(150, 115), QPointF(110, 100), Qt::LeftButton, Qt::NoModifier, false, true);
    box->mouseDragEvent(finish);
    // The rectangle from the press (100, 90) to (150, 115), in the panned view.
    expectRect(box->targetRect(), QRectF(36, 32, 20, 10));
}

TEST(ZoomViewBox, KeysBecomeSignalsWhateverTheModifiers)
{
    ZoomViewBox box;
    KeySpies spies(&box);
    EXPECT_TRUE(press(box, Qt::Key_R));
    EXPECT_EQ(spies.counts(), (std::array<int, 4>{{1, 0, 0, 0}}));
    EXPECT_TRUE(press(box, Qt::Key_A));
    EXPECT_TRUE(press(box, Qt::Key_H));
    EXPECT_TRUE(press(box, Qt::Key_E));
    EXPECT_EQ(spies.counts(), (std::array<int, 4>{{1, 1, 1, 1}}));
    EXPECT_TRUE(press(box, Qt::Key_R, Qt::ControlModifier));
    EXPECT_TRUE(press(box, Qt::Key_R, Qt::ShiftModifier));
    EXPECT_EQ(spies.counts(), (std::array<int, 4>{{3, 1, 1, 1}}));
    // Any other key is the base's, which passes it on.
    EXPECT_FALSE(press(box, Qt::Key_Q));
    EXPECT_EQ(spies.counts(), (std::array<int, 4>{{3, 1, 1, 1}}));
}

TEST(ZoomViewBox, RightClickShowsOnlyTheOwnersMenuAndNothingBefore)
{
    ZoomViewBox box;
    Plot::MouseClickEvent click(QPointF(5, 5), QPointF(120.4, 140.6), Qt::RightButton);
    box.mouseClickEvent(click); // no menu yet
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    QWidget owner;
    QMenu menu(&owner);
    menu.addAction("&Reset view");
    box.setMenu(&menu);
    EXPECT_EQ(menu.parent(), &owner);
    box.mouseClickEvent(click);
    ASSERT_TRUE(menu.isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), &menu);
    EXPECT_EQ(menu.pos(), QPoint(120, 141));
    EXPECT_EQ(menu.actions().size(), 1);
    menu.hide();
}

TEST(ZoomViewBox, WorksThroughTheLayoutWidget)
{
    Plot::GraphicsLayoutWidget w;
    auto* box = new ZoomViewBox;
    w.addItem(box, 0, 0);
    QMenu menu;
    menu.addAction("entry");
    box->setMenu(&menu);
    w.resize(400, 300);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return box->size().width() > 300; }));

    QSignalSpy exported(box, &ZoomViewBox::exportImage);
    QTest::keyClick(&w, Qt::Key_E);
    EXPECT_EQ(exported.count(), 1);

    QWidget* vp = w.viewport();
    const QPoint at(200, 150);
    QMouseEvent down(QEvent::MouseButtonPress, at, vp->mapToGlobal(at), Qt::RightButton, Qt::RightButton,
                     Qt::NoModifier);
    QApplication::sendEvent(vp, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, vp->mapToGlobal(at), Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &up);
    ASSERT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), vp->mapToGlobal(at));
    menu.hide();
}
