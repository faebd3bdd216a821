// The amplitude dock: its view, what showing and hiding the dock asks of the
// view, the status bar, and the title across camera news.

#include "Kelvra/docks/AmplitudeViewDock.h"

#include "Kelvra/views/PlaneView.h"
#include "platform/base/StatusMessageBar.h"
#include "tests/Kelvra/docks/ViewDockTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QVBoxLayout>

using Kelvra::AmplitudeViewDock;

TEST(AmplitudeViewDock, EmbedsALinkedAmplitudeViewWithTheDepthReadOut)
{
    DockTest::Rig rig;
    AmplitudeViewDock dock(rig.engine.get());
    EXPECT_EQ(dock.windowTitle(), "Amplitude");
    EXPECT_EQ(dock.dataEngine, rig.engine.get());
    EXPECT_FALSE(dock.streamHub);
    DockTest::checkSingleViewBody(dock, dock.scroller, dock.layout, dock.amplitudeViewer, 300);
    EXPECT_EQ(dock.amplitudeViewer->getFormatName(), "amplitude");
    Kelvra::PlaneView* view = dock.amplitudeViewer->viewAs<Kelvra::PlaneView>();
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isLinked());
    EXPECT_TRUE(view->isDisplayDepth());
    EXPECT_EQ(view->getDataEngine(), rig.engine.get());
}

TEST(AmplitudeViewDock, ShowingResetsThenStartsTheViewHidingStopsIt)
{
    DockTest::Rig rig;
    AmplitudeViewDock dock(rig.engine.get());
    DockTest::checkShowAndHide(dock, dock.amplitudeViewer, true);
}

TEST(AmplitudeViewDock, AHiddenDockDrawsNoFrame)
{
    DockTest::Rig rig;
    AmplitudeViewDock dock(rig.engine.get());
    DockTest::Window w{&dock};
    w.window.show();
    dock.hide();
    Kelvra::PlaneView* view = dock.amplitudeViewer->viewAs<Kelvra::PlaneView>();
    ASSERT_TRUE(rig.streamHub->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return rig.engine->frameStats().published >= 3; }));
    EXPECT_EQ(view->getUpdateCount(), 0);
    dock.show();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view->getUpdateCount() >= 3; }));
    rig.streamHub->stop();
}

TEST(AmplitudeViewDock, HandsTheStatusBarToItsView)
{
    DockTest::Rig rig;
    AmplitudeViewDock dock(rig.engine.get());
    StatusMessageBar bar;
    dock.setStatusBar(&bar);
    EXPECT_EQ(dock.amplitudeViewer->view()->getStatusBar(), &bar);
}

TEST(AmplitudeViewDock, TitleFollowsTheCamera)
{
    DockTest::Rig rig;
    AmplitudeViewDock dock(rig.engine.get());
    DockTest::checkTitles(dock, rig, "Amplitude", "Amplitude", true);
    AmplitudeViewDock again(rig.engine.get());
    DockTest::checkSecondControllerReplacesTheFirst(again);
}
