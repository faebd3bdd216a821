#include "Kelvra/docks/PhaseViewDock.h"
#include "Kelvra/docks/ViewDockSupport.h"

#include "platform/base/DataChannels.h"

namespace Kelvra {

PhaseViewDock::PhaseViewDock(DataEngine* dataEngine)
    : QDockWidget(CAPTION)
    , scroller(new QScrollArea)
    , dataEngine(dataEngine)
    , layout(new QVBoxLayout)
    , viewer1(new DataViewContainer(dataEngine, DataChannels::PHASE, true, true))
{
    ViewDock::buildSingleView(this, MINIMUM_HEIGHT, scroller, layout, viewer1);
    connect(this, &QDockWidget::visibilityChanged, this, &PhaseViewDock::visibilityChangedHanling);
}

void PhaseViewDock::setStatusBar(StatusMessageBar* statusBar) { viewer1->setStatusBar(statusBar); }

void PhaseViewDock::setStreamHub(StreamHub* hub) { streamHub = hub; }

void PhaseViewDock::onDepthCameraSet() { setWindowTitle(ViewDock::cameraTitle(streamHub, CAPTION)); }

void PhaseViewDock::visibilityChangedHanling(bool visible)
{
    ViewDock::followVisibility(visible, {viewer1}, {viewer1});
}

} // namespace Kelvra
