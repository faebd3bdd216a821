#include "Kelvra/docks/CloudViewDock.h"
#include "Kelvra/docks/ViewDockSupport.h"

#include "platform/base/DataChannels.h"

namespace Kelvra {

CloudViewDock::CloudViewDock(DataEngine* dataEngine)
    : QDockWidget(CAPTION)
    , scroller(new QScrollArea)
    , dataEngine(dataEngine)
    , layout(new QVBoxLayout)
    , pointcloudViewer(new DataViewContainer(dataEngine, DataChannels::POINTCLOUD))
{
    ViewDock::buildSingleView(this, MINIMUM_HEIGHT, scroller, layout, pointcloudViewer);
    connect(this, &QDockWidget::visibilityChanged, this, &CloudViewDock::visibilityChangedHanling);
}

void CloudViewDock::setStatusBar(StatusMessageBar* statusBar) { pointcloudViewer->setStatusBar(statusBar); }

void CloudViewDock::setStreamHub(StreamHub* hub) { streamHub = hub; }

void CloudViewDock::onDepthCameraSet() { setWindowTitle(ViewDock::cameraTitle(streamHub, CAPTION)); }

void CloudViewDock::visibilityChangedHanling(bool visible) { ViewDock::followVisibility(visible, {}, {pointcloudViewer}); }

} // namespace Kelvra
