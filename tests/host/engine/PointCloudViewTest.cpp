// The point-cloud view: draws the engine's newest cloud only while shown,
// turns with a drag, zooms with the wheel, resets, colours by depth or
// intensity, and follows the view hub's cone switch.

#include "host/engine/PointCloudView.h"

#include "platform/base/ViewCommunicator.h"
#include "host/engine/HostDataEngine.h"
#include "tests/host/engine/HostTestFrames.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace HostTest;

namespace {

class PointCloudViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // As the view's container does.
        QObject::connect(&engine, &DataEngine::frameUpdated, &view, &DataView::displayData);
        view.resize(320, 240);
        deliver(1);
    }

    void deliver(int64_t id)
    {
        const auto set = makeSet(id, 32, 24);
        for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
            engine.frameCallback(nullptr, set[t], t);
        ASSERT_TRUE(KelvraTest::waitFor([&] { return engine.newestFrameSet() && engine.newestFrameSet()->id == id; }));
    }

    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, pos, button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }

    void drag(QPoint from, QPoint to)
    {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }

    void wheel(int angle)
    {
        QWheelEvent event(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, angle), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &event);
    }

    QAction* menuAction(const QString& text) const
    {
        for (QAction* a : view.getMenu()->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

    HostDataEngine engine{nullptr};
    PointCloudView view{&engine};
};

} // namespace

TEST_F(PointCloudViewTest, DrawsEachNewSetOnlyWhileShown)
{
    EXPECT_EQ(view.drawnFrameId(), 1);
    EXPECT_EQ(view.picture().size(), QSize(320, 240));
    const int64_t renders = view.renderCount();

    view.ShowView(false);
    deliver(2);
    drag(QPoint(10, 10), QPoint(60, 10));
    wheel(120);
    emit DataView::communicator()->displayConeToggle(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.renderCount(), renders); // hidden: nothing drawn at all
    EXPECT_EQ(view.drawnFrameId(), 1);

    view.ShowView(true); // catches up at once
    EXPECT_EQ(view.drawnFrameId(), 2);
    EXPECT_EQ(view.renderCount(), renders + 1);
    view.displayData(); // the same set again: not drawn twice
    EXPECT_EQ(view.renderCount(), renders + 1);
}

TEST_F(PointCloudViewTest, HiddenItLeavesCloudsUnconvertedAndShownDrawsThemAnyway)
{
    view.ShowView(false);
    deliver(2);
    ASSERT_TRUE(engine.newestFrameSet()->cloud); // not converted while hidden
    EXPECT_TRUE(engine.newestFrameSet()->points.empty());
    view.ShowView(true);
    EXPECT_EQ(view.drawnFrameId(), 2);
    PointCloudRenderer reference; // the same cloud, drawn from converted points
    EXPECT_EQ(view.picture(),
              reference.render(makeFrame(Tavik::FRAME_XYZI_POINT_CLOUD_FRAME, 2, 32, 24)->points, 32, view.size()));
    deliver(3);
    EXPECT_FALSE(engine.newestFrameSet()->cloud); // shown: converted again
    EXPECT_EQ(view.drawnFrameId(), 3);
}

TEST_F(PointCloudViewTest, ShowsItsPictureAndBlackWhereThereIsNone)
{
    EXPECT_EQ(view.grab().toImage().convertToFormat(QImage::Format_RGB32), view.picture());
    PointCloudView empty(&engine);
    empty.resize(160, 120); // its least size
    const QImage blank = empty.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(blank.size(), QSize(160, 120));
    for (int y = 0; y < blank.height(); ++y)
        for (int x = 0; x < blank.width(); ++x)
            ASSERT_EQ(blank.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
}

TEST_F(PointCloudViewTest, ConeStartsShownAndFollowsTheViewHub)
{
    EXPECT_TRUE(view.isConeShown());
    const int64_t renders = view.renderCount();
    emit DataView::communicator()->displayConeToggle(false);
    EXPECT_TRUE(view.isConeShown()); // queued: it arrives through the event loop
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !view.isConeShown(); }));
    EXPECT_EQ(view.renderCount(), renders + 1);
    emit DataView::communicator()->displayConeToggle(true);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view.isConeShown(); }));
}

TEST_F(PointCloudViewTest, DragOrbitsWheelZoomsAndResetRestores)
{
    const QImage before = view.picture().copy();
    const float yaw = view.renderer().yaw(), pitch = view.renderer().pitch();
    const int64_t renders = view.renderCount();

    drag(QPoint(100, 100), QPoint(150, 80));
    EXPECT_FLOAT_EQ(view.renderer().yaw(), yaw - 50 * PointCloudView::DEGREES_PER_PIXEL);
    EXPECT_FLOAT_EQ(view.renderer().pitch(), pitch - 20 * PointCloudView::DEGREES_PER_PIXEL);
    EXPECT_EQ(view.renderCount(), renders + 1);
    EXPECT_NE(view.picture(), before);

    // A move without the button held turns nothing.
    mouse(QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoButton);
    EXPECT_FLOAT_EQ(view.renderer().yaw(), yaw - 50 * PointCloudView::DEGREES_PER_PIXEL);

    wheel(240);
    EXPECT_NEAR(view.renderer().zoom(), PointCloudView::ZOOM_PER_NOTCH * PointCloudView::ZOOM_PER_NOTCH, 1e-5);
    wheel(-120);
    EXPECT_NEAR(view.renderer().zoom(), PointCloudView::ZOOM_PER_NOTCH, 1e-5);

    QAction* reset = menuAction("Reset View");
    ASSERT_TRUE(reset);
    reset->trigger();
    EXPECT_FLOAT_EQ(view.renderer().yaw(), PointCloudRenderer::DEFAULT_YAW);
    EXPECT_FLOAT_EQ(view.renderer().pitch(), PointCloudRenderer::DEFAULT_PITCH);
    EXPECT_FLOAT_EQ(view.renderer().zoom(), 1.f);
    EXPECT_EQ(view.picture(), before);
}

TEST_F(PointCloudViewTest, MenuPicksTheColouring)
{
    QAction* byDepth = menuAction("Color by Depth");
    QAction* byIntensity = menuAction("Color by Intensity");
    ASSERT_TRUE(byDepth && byIntensity);
    EXPECT_TRUE(byDepth->isChecked());
    byIntensity->trigger();
    EXPECT_EQ(view.renderer().colorMode(), PointCloudRenderer::ColorMode::Intensity);
    EXPECT_FALSE(byDepth->isChecked());
    view.setColorMode(PointCloudRenderer::ColorMode::Depth);
    EXPECT_TRUE(byDepth->isChecked());
    EXPECT_FALSE(byIntensity->isChecked());
}
