#pragma once
// What the view-dock tests share: a stream controller holding a simulated
// camera with the host's data engine, a log of the calls the docks make on
// their view containers, a main window to show docks in, and the title
// checks across camera selection and disconnection.

#include "Kelvra/models/StreamHub.h"
#include "platform/base/DataViewContainer.h"
#include "host/engine/HostDataEngine.h"
#include "tests/support/HostViews.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QScrollArea>
#include <QStringList>
#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace DockTest {

// The controller with the first simulated camera that connects, and the engine.
struct Rig {
    Rig()
    {
        for (const auto& device : cameraSystem.scan()) {
            camera = cameraSystem.connect(device);
            if (camera && camera->isConnected())
                break;
        }
        streamHub = std::make_unique<Kelvra::StreamHub>(&cameraSystem, camera);
        engine = std::make_unique<HostDataEngine>(streamHub.get());
    }
    ~Rig() { engine->stop(); }

    // Another camera than the one held.
    Tavik::DepthCameraPtr otherCamera()
    {
        for (const auto& device : cameraSystem.scan())
            if (auto c = cameraSystem.connect(device); c && c->isConnected() && c != streamHub->getDepthCamera())
                return c;
        return nullptr;
    }

    Tavik::CameraSystem cameraSystem;
    Tavik::DepthCameraPtr camera;
    std::unique_ptr<Kelvra::StreamHub> streamHub;
    std::unique_ptr<HostDataEngine> engine;
};

// The calls the containers announce, in order: "<name>:reset",
// "<name>:show", "<name>:hide".
class CallLog {
public:
    void watch(DataViewContainer* view, const QString& name)
    {
        QObject::connect(view, &DataViewContainer::resetViewCalled, [this, name] { calls << name + ":reset"; });
        QObject::connect(view, &DataViewContainer::showViewCalled,
                         [this, name](bool shown) { calls << name + (shown ? ":show" : ":hide"); });
    }
    QStringList take()
    {
        QCoreApplication::processEvents();
        return std::exchange(calls, {});
    }

private:
    QStringList calls;
};

// Whether a widget can be seen: a dock tabbed behind another stays "visible"
// to Qt but is moved out of sight.
inline bool onScreen(const QWidget& widget)
{
    return widget.isVisible() && !widget.visibleRegion().isEmpty();
}

// A main window that shows docks; the docks stay the test's.
struct Window {
    explicit Window(std::initializer_list<QDockWidget*> docks)
    {
        for (QDockWidget* dock : docks)
            window.addDockWidget(Qt::LeftDockWidgetArea, dock);
        window.resize(900, 700);
    }
    ~Window()
    {
        for (QDockWidget* dock : window.findChildren<QDockWidget*>())
            dock->setParent(nullptr);
    }
    QMainWindow window;
};

// A dock of one view: its minimum size, the scroll area as its widget with
// the layout on the area itself (no content widget), the view alone in it.
inline void checkSingleViewBody(QDockWidget& dock, QScrollArea* scroller, QBoxLayout* layout, DataViewContainer* view,
                                int minimumHeight)
{
    EXPECT_EQ(dock.minimumWidth(), 300);
    EXPECT_EQ(dock.minimumHeight(), minimumHeight);
    EXPECT_EQ(dock.widget(), scroller);
    EXPECT_EQ(scroller->layout(), layout);
    EXPECT_FALSE(scroller->widget());
    ASSERT_EQ(layout->count(), 1);
    EXPECT_EQ(layout->itemAt(0)->widget(), view);
    EXPECT_EQ(view->parentWidget(), scroller);
}

// Showing the dock in a window and hiding it again: what its one view is asked.
inline void checkShowAndHide(QDockWidget& dock, DataViewContainer* view, bool resetsWhenShown)
{
    CallLog log;
    log.watch(view, "view");
    const QStringList shown = resetsWhenShown ? QStringList({"view:reset", "view:show"}) : QStringList({"view:show"});
    Window w{&dock};
    w.window.show();
    EXPECT_EQ(log.take(), shown);
    dock.hide();
    EXPECT_EQ(log.take(), QStringList({"view:hide"})); // no reset on hiding
    dock.show();
    EXPECT_EQ(log.take(), shown);
    // The slot hands on exactly the value it receives.
    emit dock.visibilityChanged(false);
    EXPECT_EQ(log.take(), QStringList({"view:hide"}));
}

// A second controller replaces the first, whose news no longer reach the dock.
template <class Dock> void checkSecondControllerReplacesTheFirst(Dock& dock)
{
    Rig first, second;
    dock.setStreamHub(first.streamHub.get());
    dock.setStreamHub(second.streamHub.get());
    EXPECT_EQ(dock.streamHub, second.streamHub.get());
    second.streamHub->disconnectDepthCamera();
    dock.onDepthCameraSet();
    EXPECT_EQ(dock.windowTitle(), "Disconnect"); // read from the second
    dock.setWindowTitle("untouched");
    first.streamHub->disconnectDepthCamera();
    EXPECT_EQ(dock.windowTitle(), "untouched");
}

// The title before any camera news, after onDepthCameraSet() with no
// controller (none yet: "Disconnect", never a crash), after setStreamHub
// (unchanged: it calls nothing), then across the controller's news as the
// host wires it: a camera gives `connectedTitle`, none "Disconnect".
template <class Dock>
void checkTitles(Dock& dock, Rig& rig, const QString& caption, const QString& connectedTitle, bool hostConnects)
{
    EXPECT_EQ(dock.windowTitle(), caption);
    dock.onDepthCameraSet();
    EXPECT_EQ(dock.windowTitle(), "Disconnect");
    dock.setStreamHub(rig.streamHub.get());
    EXPECT_EQ(dock.streamHub, rig.streamHub.get());
    EXPECT_EQ(dock.windowTitle(), "Disconnect");
    dock.onDepthCameraSet();
    EXPECT_EQ(dock.windowTitle(), connectedTitle);

    if (hostConnects)
        QObject::connect(rig.streamHub.get(), &Kelvra::StreamHub::onDepthCameraSet, &dock, &Dock::onDepthCameraSet);
    rig.streamHub->disconnectDepthCamera();
    EXPECT_EQ(dock.windowTitle(), "Disconnect");
    const auto other = rig.otherCamera();
    ASSERT_TRUE(other);
    rig.streamHub->setDepthCamera(other);
    EXPECT_EQ(dock.windowTitle(), connectedTitle);
    rig.streamHub->disconnectDepthCamera();
    EXPECT_EQ(dock.windowTitle(), "Disconnect");
}

} // namespace DockTest
