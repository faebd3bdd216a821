#include "Kelvra/docks/AmplitudeViewDock.h"
#include "Kelvra/docks/ViewDockSupport.h"

#include "platform/base/DataChannels.h"

namespace Kelvra {

AmplitudeViewDock::AmplitudeViewDock(DataEngine* dataEngine)
    : QDockWidget(CAPTION)
    , scroller(new QScrollArea)
    , dataEngine(dataEngine)
    , layout(new QVBoxLayout)
    , amplitudeViewer(new DataViewContainer(dataEngine, DataChannels::AMPLITUDE, true, true))
{
    ViewDock::buildSingleView(this, MINIMUM_HEIGHT, scroller, layout, amplitudeViewer);
    connect(this, &QDockWidget::visibilityChanged, this, &AmplitudeViewDock::visibilityChangedHanling);
}

void AmplitudeViewDock::setStatusBar(StatusMessageBar* statusBar) { amplitudeViewer->setStatusBar(statusBar); }

void AmplitudeViewDock::setStreamHub(StreamHub* hub) { streamHub = hub; }

void AmplitudeViewDock::onDepthCameraSet() { setWindowTitle(ViewDock::cameraTitle(streamHub, CAPTION)); }

void AmplitudeViewDock::visibilityChangedHanling(bool visible)
{
    ViewDock::followVisibility(visible, {amplitudeViewer}, {amplitudeViewer});
}

} // namespace Kelvra
