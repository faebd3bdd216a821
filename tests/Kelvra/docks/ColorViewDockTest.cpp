// The colour dock ("RGB"): no view, no visibility handling; it follows the
// controller's camera through the connection it makes itself.

#include "Kelvra/docks/ColorViewDock.h"

#include "platform/base/StatusMessageBar.h"
#include "tests/Kelvra/docks/ViewDockTestSupport.h"

#include <QMetaObject>
#include <QVBoxLayout>

using Kelvra::ColorViewDock;

TEST(ColorViewDock, HoldsOnlyAStretchAndNoVisibilityHandler)
{
    DockTest::Rig rig;
    ColorViewDock dock(rig.engine.get());
    EXPECT_EQ(dock.windowTitle(), "RGB");
    EXPECT_EQ(dock.dataEngine, rig.engine.get());
    EXPECT_EQ(dock.minimumWidth(), 300);
    EXPECT_EQ(dock.minimumHeight(), 300);
    EXPECT_EQ(dock.widget(), dock.scroller);
    EXPECT_EQ(dock.scroller->layout(), dock.layout);
    ASSERT_EQ(dock.layout->count(), 1);
    EXPECT_TRUE(dock.layout->itemAt(0)->spacerItem());
    EXPECT_TRUE(dock.findChildren<DataViewContainer*>().isEmpty());
    EXPECT_EQ(dock.metaObject()->indexOfSlot("visibilityChangedHanling(bool)"), -1);

    // Accepted and dropped; showing and hiding do nothing either.
    StatusMessageBar bar;
    dock.setStatusBar(&bar);
    DockTest::Window w{&dock};
    w.window.show();
    dock.hide();
    dock.show();
    EXPECT_EQ(dock.windowTitle(), "RGB");
}

TEST(ColorViewDock, ConnectsTheControllerItself)
{
    DockTest::Rig rig;
    ColorViewDock dock(rig.engine.get());
    DockTest::checkTitles(dock, rig, "RGB", "RGB", false);
}

TEST(ColorViewDock, ASecondControllerKeepsTheFirstConnection)
{
    DockTest::Rig first, second;
    ColorViewDock dock(first.engine.get());
    dock.setStreamHub(first.streamHub.get());
    dock.setStreamHub(second.streamHub.get());
    // News of either controller set the title, read from the one given last.
    second.streamHub->disconnectDepthCamera();
    EXPECT_EQ(dock.windowTitle(), "Disconnect");
    dock.setWindowTitle("untouched");
    first.streamHub->disconnectDepthCamera();
    EXPECT_EQ(dock.windowTitle(), "Disconnect");
    dock.setWindowTitle("untouched");
    second.streamHub->setDepthCamera(second.otherCamera());
    EXPECT_EQ(dock.windowTitle(), "RGB");

    dock.setStreamHub(nullptr); // no controller: no connection, no camera
    dock.onDepthCameraSet();
    EXPECT_EQ(dock.windowTitle(), "Disconnect");
}
