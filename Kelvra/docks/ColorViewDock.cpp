#include "Kelvra/docks/ColorViewDock.h"
#include "Kelvra/docks/ViewDockSupport.h"

namespace Kelvra {

ColorViewDock::ColorViewDock(DataEngine* dataEngine)
    : QDockWidget(CAPTION)
    , scroller(new QScrollArea)
    , dataEngine(dataEngine)
    , layout(new QVBoxLayout)
{
    ViewDock::buildSingleView(this, MINIMUM_HEIGHT, scroller, layout, nullptr);
}

void ColorViewDock::setStatusBar(StatusMessageBar*)
{
}

void ColorViewDock::setStreamHub(StreamHub* hub)
{
    streamHub = hub;
    if (streamHub)
        connect(streamHub, &StreamHub::onDepthCameraSet, this, &ColorViewDock::onDepthCameraSet);
}

void ColorViewDock::onDepthCameraSet()
{
    setWindowTitle(ViewDock::cameraTitle(streamHub, CAPTION));
}

} // namespace Kelvra
