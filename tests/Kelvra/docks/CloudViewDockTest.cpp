// The point-cloud dock ("Tavik"): its view, started and stopped with the
// dock but never reset, the status bar, and the title across camera news.

#include "Kelvra/docks/CloudViewDock.h"

#include "platform/base/StatusMessageBar.h"
#include "host/engine/PointCloudView.h"
#include "tests/Kelvra/docks/ViewDockTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QVBoxLayout>

using Kelvra::CloudViewDock;

TEST(CloudViewDock, EmbedsThePointCloudView)
{
    DockTest::Rig rig;
    CloudViewDock dock(rig.engine.get());
    EXPECT_EQ(dock.windowTitle(), "Tavik");
    EXPECT_EQ(dock.dataEngine, rig.engine.get());
    DockTest::checkSingleViewBody(dock, dock.scroller, dock.layout, dock.pointcloudViewer, 400);
    EXPECT_EQ(dock.pointcloudViewer->getFormatName(), "pointcloud");
    ASSERT_TRUE(dock.pointcloudViewer->viewAs<PointCloudView>());

    // Unlike the combined dock, this one hands its cloud view the status bar.
    StatusMessageBar bar;
    dock.setStatusBar(&bar);
    EXPECT_EQ(dock.pointcloudViewer->view()->getStatusBar(), &bar);
}

TEST(CloudViewDock, ShowingStartsTheViewWithoutAResetHidingStopsIt)
{
    DockTest::Rig rig;
    CloudViewDock dock(rig.engine.get());
    DockTest::checkShowAndHide(dock, dock.pointcloudViewer, false);
}

TEST(CloudViewDock, TheCloudIsDrawnOnlyWhileTheDockShows)
{
    DockTest::Rig rig;
    CloudViewDock dock(rig.engine.get());
    PointCloudView* view = dock.pointcloudViewer->viewAs<PointCloudView>();
    DockTest::Window w{&dock};
    w.window.show();
    ASSERT_TRUE(rig.streamHub->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view->drawnFrameId() >= 0; }));
    EXPECT_FALSE(view->picture().isNull());

    dock.hide();
    const int64_t renders = view->renderCount();
    const uint64_t published = rig.engine->frameStats().published;
    ASSERT_TRUE(KelvraTest::waitFor([&] { return rig.engine->frameStats().published >= published + 3; }));
    EXPECT_EQ(view->renderCount(), renders);
    rig.streamHub->stop();
}

TEST(CloudViewDock, TitleFollowsTheCamera)
{
    DockTest::Rig rig;
    CloudViewDock dock(rig.engine.get());
    DockTest::checkTitles(dock, rig, "Tavik", "Tavik", true);
    CloudViewDock again(rig.engine.get());
    DockTest::checkSecondControllerReplacesTheFirst(again);
}
