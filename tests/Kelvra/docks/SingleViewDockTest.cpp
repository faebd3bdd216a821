// The base of the one-view docks with settings none of them uses: each
// setting (caption, height, format, container keywords, reset on showing)
// takes effect on its own, not only in the pairs the docks pass.

#include "Kelvra/docks/SingleViewDock.h"

#include "Kelvra/views/PlaneView.h"
#include "platform/base/StatusMessageBar.h"
#include "tests/Kelvra/docks/ViewDockTestSupport.h"

#include <QVBoxLayout>

namespace {

class ProbeDock : public Kelvra::SingleViewDock {
public:
    ProbeDock(DataEngine* dataEngine, const QString& caption, int minimumHeight, const QString& formatName,
              ViewKeywords keywords, OnShow onShow)
        : SingleViewDock(dataEngine, caption, minimumHeight, formatName, keywords, onShow)
    {
    }
    using SingleViewDock::OnShow;
    using SingleViewDock::view;
    using SingleViewDock::ViewKeywords;
};

// The dock's plane view of `format`, made with both keywords or with neither.
void checkPlaneView(const ProbeDock& dock, const QString& format, bool linkedWithDepth)
{
    EXPECT_EQ(dock.view->getFormatName(), format);
    const Kelvra::PlaneView* view = dock.view->viewAs<Kelvra::PlaneView>();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->isLinked(), linkedWithDepth);
    EXPECT_EQ(view->isDisplayDepth(), linkedWithDepth);
}

} // namespace

TEST(SingleViewDock, PlainKeywordsWithAResetOnShowing)
{
    DockTest::Rig rig;
    ProbeDock dock(rig.engine.get(), "Probe", 250, "phase", ProbeDock::ViewKeywords::Defaults,
                   ProbeDock::OnShow::ResetThenShow);
    EXPECT_EQ(dock.windowTitle(), "Probe");
    EXPECT_EQ(dock.dataEngine, rig.engine.get());
    DockTest::checkSingleViewBody(dock, dock.scroller, dock.layout, dock.view, 250);
    checkPlaneView(dock, "phase", false);
    DockTest::checkShowAndHide(dock, dock.view, true);
}

TEST(SingleViewDock, LinkedKeywordsWithoutAResetAndTheGivenCaptionAsTitle)
{
    DockTest::Rig rig;
    ProbeDock dock(rig.engine.get(), "Other probe", 350, "amplitude", ProbeDock::ViewKeywords::LinkedWithDepth,
                   ProbeDock::OnShow::ShowOnly);
    DockTest::checkSingleViewBody(dock, dock.scroller, dock.layout, dock.view, 350);
    checkPlaneView(dock, "amplitude", true);
    DockTest::checkShowAndHide(dock, dock.view, false);
    StatusMessageBar bar;
    dock.setStatusBar(&bar);
    EXPECT_EQ(dock.view->view()->getStatusBar(), &bar);
    DockTest::checkTitles(dock, rig, "Other probe", "Other probe", true);
}
