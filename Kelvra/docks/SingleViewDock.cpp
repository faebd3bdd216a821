#include "Kelvra/docks/SingleViewDock.h"
#include "Kelvra/docks/ViewDockSupport.h"

namespace Kelvra {

SingleViewDock::SingleViewDock(DataEngine* dataEngine, const QString& caption, int minimumHeight,
                               const QString& formatName, ViewKeywords keywords, OnShow onShow)
    : QDockWidget(caption)
    , scroller(new QScrollArea)
    , dataEngine(dataEngine)
    , layout(new QVBoxLayout)
    , view(keywords == ViewKeywords::LinkedWithDepth ? new DataViewContainer(dataEngine, formatName, true, true)
                                                     : new DataViewContainer(dataEngine, formatName))
    , caption(caption)
    , onShow(onShow)
{
    ViewDock::buildSingleView(this, minimumHeight, scroller, layout, view);
    connect(this, &QDockWidget::visibilityChanged, this, &SingleViewDock::visibilityChangedHanling);
}

void SingleViewDock::setStatusBar(StatusMessageBar* statusBar)
{
    view->setStatusBar(statusBar);
}

void SingleViewDock::setStreamHub(StreamHub* hub)
{
    streamHub = hub;
}

void SingleViewDock::onDepthCameraSet()
{
    setWindowTitle(ViewDock::cameraTitle(streamHub, caption));
}

void SingleViewDock::visibilityChangedHanling(bool visible)
{
    if (visible && onShow == OnShow::ResetThenShow)
        view->resetView();
    view->ShowView(visible);
}

} // namespace Kelvra
