// The per-format containers: which view they build, how frames reach it and
// what they forward.

#include "platform/base/DataViewContainer.h"

#include "Kelvra/views/PlaneView.h"
#include "platform/base/DataFormat.h"
#include "host/engine/HostDataEngine.h"
#include "host/engine/PointCloudView.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/base/ViewCommunicator.h"
#include "tests/host/engine/HostTestFrames.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"
#include "tests/support/HostViews.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <gtest/gtest.h>

using namespace HostTest;

namespace {

void deliverSet(HostDataEngine& engine, int64_t id, int width = 32, int height = 24)
{
    const auto set = makeSet(id, width, height);
    for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
        engine.frameCallback(nullptr, set[t], t);
}

bool waitForId(const HostDataEngine& engine, int64_t id)
{
    return KelvraTest::waitFor([&] { return engine.newestFrameSet() && engine.newestFrameSet()->id == id; });
}

} // namespace

TEST(DataViewContainer, AmplitudeAndPhaseEmbedAPlaneViewOfTheirOwnFormat)
{
    HostDataEngine engine(nullptr);
    DataViewContainer amplitude(&engine, "amplitude", true, true);
    DataViewContainer phase(&engine, "phase");

    ASSERT_TRUE(amplitude.viewAs<Kelvra::PlaneView>());
    ASSERT_TRUE(phase.viewAs<Kelvra::PlaneView>());
    EXPECT_FALSE(amplitude.viewAs<PointCloudView>());
    EXPECT_EQ(amplitude.view(), amplitude.viewAs<Kelvra::PlaneView>());
    EXPECT_EQ(amplitude.viewAs<Kelvra::PlaneView>()->getDataFormat()->name, "amplitude");
    EXPECT_EQ(phase.viewAs<Kelvra::PlaneView>()->getDataFormat()->name, "phase");
    EXPECT_NE(amplitude.viewAs<Kelvra::PlaneView>()->getDataFormat(),
              phase.viewAs<Kelvra::PlaneView>()->getDataFormat());
    EXPECT_TRUE(amplitude.viewAs<Kelvra::PlaneView>()->isDisplayDepth());
    EXPECT_FALSE(phase.viewAs<Kelvra::PlaneView>()->isDisplayDepth());
    // Only the container asked to link is in the registry.
    EXPECT_TRUE(amplitude.viewAs<Kelvra::PlaneView>()->isLinked());
    EXPECT_FALSE(phase.viewAs<Kelvra::PlaneView>()->isLinked());
    EXPECT_EQ(amplitude.viewAs<Kelvra::PlaneView>()->parentWidget(), &amplitude);
}

TEST(DataViewContainer, EveryPublishedFrameIsDrawnUntilHidden)
{
    HostDataEngine engine(nullptr);
    DataViewContainer amplitude(&engine, "amplitude");
    Kelvra::PlaneView* view = amplitude.viewAs<Kelvra::PlaneView>();
    ASSERT_TRUE(view);

    deliverSet(engine, 1);
    ASSERT_TRUE(waitForId(engine, 1));
    EXPECT_EQ(view->getUpdateCount(), 1);
    ASSERT_TRUE(view->getImageItem()->hasImage());
    EXPECT_EQ(view->getImageItem()->width(), 32);
    EXPECT_EQ(view->getImageItem()->height(), 24);

    amplitude.ShowView(false);
    deliverSet(engine, 2);
    ASSERT_TRUE(waitForId(engine, 2));
    EXPECT_EQ(view->getUpdateCount(), 1); // hidden: nothing drawn

    amplitude.ShowView(true); // restarts the count
    deliverSet(engine, 3);
    ASSERT_TRUE(waitForId(engine, 3));
    EXPECT_EQ(view->getUpdateCount(), 1);
}

TEST(DataViewContainer, ForwardsStatusBarAndReset)
{
    HostDataEngine engine(nullptr);
    StatusMessageBar bar;
    DataViewContainer phase(&engine, "phase", false, true);
    DataViewContainer cloud(&engine, "pointcloud");
    phase.setStatusBar(&bar);
    cloud.setStatusBar(&bar);
    EXPECT_EQ(phase.view()->getStatusBar(), &bar);
    EXPECT_EQ(cloud.view()->getStatusBar(), &bar);

    deliverSet(engine, 1);
    ASSERT_TRUE(waitForId(engine, 1));
    ASSERT_TRUE(phase.viewAs<Kelvra::PlaneView>()->getImageItem()->hasImage());
    // The view's reset draws the current frame again at once.
    phase.resetView();
    const cv::Mat& shown = phase.viewAs<Kelvra::PlaneView>()->getImageItem()->image();
    EXPECT_EQ(cv::countNonZero(shown != engine.data()["phase"]), 0);
}

TEST(DataViewContainer, PointCloudDrawsTheNewestSetWhileShown)
{
    HostDataEngine engine(nullptr);
    DataViewContainer cloud(&engine, "pointcloud");
    PointCloudView* view = cloud.viewAs<PointCloudView>();
    ASSERT_TRUE(view);
    EXPECT_FALSE(cloud.viewAs<Kelvra::PlaneView>());
    cloud.resize(320, 240);

    deliverSet(engine, 5);
    ASSERT_TRUE(waitForId(engine, 5));
    EXPECT_EQ(view->drawnFrameId(), 5);
    EXPECT_FALSE(view->picture().isNull());

    cloud.ShowView(false);
    EXPECT_FALSE(view->isShown());
    deliverSet(engine, 6);
    ASSERT_TRUE(waitForId(engine, 6));
    EXPECT_EQ(view->drawnFrameId(), 5);
    cloud.ShowView(true); // catches up at once
    EXPECT_EQ(view->drawnFrameId(), 6);

    EXPECT_TRUE(view->isConeShown());
    emit DataView::communicator()->displayConeToggle(false);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !view->isConeShown(); }));
    emit DataView::communicator()->displayConeToggle(true);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view->isConeShown(); }));
}

TEST(DataViewContainer, AnnouncesEachResetAndShowAfterTheView)
{
    HostDataEngine engine(nullptr);
    DataViewContainer cloud(&engine, "pointcloud");
    QStringList calls;
    QObject::connect(&cloud, &DataViewContainer::resetViewCalled, [&] { calls << "reset"; });
    QObject::connect(&cloud, &DataViewContainer::showViewCalled, [&](bool shown) {
        // The view already has the value when the signal comes.
        EXPECT_EQ(cloud.viewAs<PointCloudView>()->isShown(), shown);
        calls << (shown ? "show" : "hide");
    });
    cloud.resetView();
    cloud.ShowView(false);
    cloud.ShowView(true);
    EXPECT_EQ(calls, QStringList({"reset", "hide", "show"}));
}

TEST(DataViewContainer, UnknownFormatHasNoView)
{
    HostDataEngine engine(nullptr);
    DataViewContainer other(&engine, "rgb");
    EXPECT_FALSE(other.view());
    other.ShowView(true);
    other.resetView();
    other.setStatusBar(nullptr);
    deliverSet(engine, 1);
    EXPECT_TRUE(waitForId(engine, 1));
}

TEST(DataViewContainer, EExportsThePictureAndHShowsOrHidesTheThresholdRow)
{
    HostDataEngine engine(nullptr);
    DataViewContainer amplitude(&engine, "amplitude");
    Kelvra::PlaneView* view = amplitude.viewAs<Kelvra::PlaneView>();
    amplitude.resize(400, 300);
    amplitude.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&amplitude));
    QWidget* area = view->getGraphicsWidget();

    ASSERT_TRUE(view->getSpanSlider()->isVisible());
    QTest::keyClick(area, Qt::Key_H);
    EXPECT_FALSE(view->getSpanSlider()->isVisible());
    EXPECT_FALSE(view->getSpanLabel()->isVisible());
    QTest::keyClick(area, Qt::Key_H);
    EXPECT_TRUE(view->getSpanSlider()->isVisible());
    EXPECT_TRUE(view->getSpanLabel()->isVisible());

    // The export says where it saved the picture; the file is removed again.
    KelvraTest::MessageBoxLog boxes;
    QTest::keyClick(area, Qt::Key_E);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !boxes.seen.isEmpty(); }));
    const QString prefix = QStringLiteral("Export Image Successfully / Successfully save image to \"");
    ASSERT_TRUE(boxes.seen.front().startsWith(prefix)) << boxes.seen.front().toStdString();
    const QString file = boxes.seen.front().mid(prefix.size()).chopped(2);
    EXPECT_TRUE(QFileInfo(file).fileName().startsWith("amplitude_"));
    EXPECT_TRUE(QFile::remove(file));
    QDir().rmdir(QFileInfo(file).absolutePath()); // when nothing else is in it
    EXPECT_EQ(boxes.seen.size(), 1);
}
