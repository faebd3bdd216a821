// The phase dock: the amplitude dock's design with its own caption, format
// name and view field; here also as a tab, whose switching starts and stops
// the views.

#include "Kelvra/docks/PhaseViewDock.h"

#include "Kelvra/views/PlaneView.h"
#include "platform/base/StatusMessageBar.h"
#include "tests/Kelvra/docks/ViewDockTestSupport.h"

#include <QVBoxLayout>

using Kelvra::PhaseViewDock;

TEST(PhaseViewDock, EmbedsALinkedPhaseViewWithTheDepthReadOut)
{
    DockTest::Rig rig;
    PhaseViewDock dock(rig.engine.get());
    EXPECT_EQ(dock.windowTitle(), "Phase");
    EXPECT_EQ(dock.dataEngine, rig.engine.get());
    DockTest::checkSingleViewBody(dock, dock.scroller, dock.layout, dock.viewer1, 300);
    EXPECT_EQ(dock.viewer1->getFormatName(), "phase");
    Kelvra::PlaneView* view = dock.viewer1->viewAs<Kelvra::PlaneView>();
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isLinked());
    EXPECT_TRUE(view->isDisplayDepth());

    StatusMessageBar bar;
    dock.setStatusBar(&bar);
    EXPECT_EQ(view->getStatusBar(), &bar);
}

TEST(PhaseViewDock, ShowingResetsThenStartsTheViewHidingStopsIt)
{
    DockTest::Rig rig;
    PhaseViewDock dock(rig.engine.get());
    DockTest::checkShowAndHide(dock, dock.viewer1, true);
}

TEST(PhaseViewDock, SwitchingTabsStopsOneViewAndStartsTheOther)
{
    DockTest::Rig rig;
    PhaseViewDock first(rig.engine.get()), second(rig.engine.get());
    DockTest::CallLog log;
    log.watch(first.viewer1, "first");
    log.watch(second.viewer1, "second");
    DockTest::Window w{&first};
    w.window.tabifyDockWidget(&first, &second);
    w.window.show();
    first.raise();
    log.take();
    ASSERT_TRUE(DockTest::onScreen(first));
    ASSERT_FALSE(DockTest::onScreen(second));

    // Which of the two docks Qt tells first varies; each dock's own calls do not.
    second.raise();
    QStringList calls = log.take();
    EXPECT_EQ(calls.filter("first:"), QStringList({"first:hide"}));
    EXPECT_EQ(calls.filter("second:"), QStringList({"second:reset", "second:show"}));
    first.raise();
    calls = log.take();
    EXPECT_EQ(calls.filter("second:"), QStringList({"second:hide"}));
    EXPECT_EQ(calls.filter("first:"), QStringList({"first:reset", "first:show"}));
}

TEST(PhaseViewDock, TitleFollowsTheCamera)
{
    DockTest::Rig rig;
    PhaseViewDock dock(rig.engine.get());
    DockTest::checkTitles(dock, rig, "Phase", "Phase", true);
    PhaseViewDock again(rig.engine.get());
    DockTest::checkSecondControllerReplacesTheFirst(again);
}
