#include "Kelvra/docks/CombinedViewDock.h"
#include "Kelvra/docks/ViewDockSupport.h"

#include "platform/base/DataChannels.h"

#include <QGridLayout>

namespace Kelvra {

namespace {

void removeSpacing(QBoxLayout* layout)
{
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
}

} // namespace

// The containers are made in the order phase, point cloud, amplitude.
CombinedViewDock::CombinedViewDock(DataEngine* dataEngine)
    : QDockWidget(CAPTION)
    , scroller(new QScrollArea)
    , dataEngine(dataEngine)
    , glayout(new QGridLayout)
    , viewerPhase(new DataViewContainer(dataEngine, DataChannels::PHASE, true))
    , phaselayout(new QVBoxLayout)
    , pointcloudlayout(new QHBoxLayout)
    , viewerPointCloud(new DataViewContainer(dataEngine, DataChannels::POINTCLOUD))
    , viewerAmplitude(new DataViewContainer(dataEngine, DataChannels::AMPLITUDE, true))
{
    setMinimumWidth(ViewDock::MINIMUM_WIDTH);
    setMinimumHeight(MINIMUM_HEIGHT);
    glayout->setSizeConstraint(QLayout::SetMaximumSize);

    phaselayout->addWidget(viewerPhase);
    removeSpacing(phaselayout);
    glayout->addLayout(phaselayout, 0, 0, Qt::AlignCenter);

    viewerPointCloud->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    pointcloudlayout->addWidget(viewerPointCloud);
    removeSpacing(pointcloudlayout);
    glayout->addLayout(pointcloudlayout, 0, 1, 2, 1, Qt::AlignTop);

    glayout->setColumnStretch(0, 1);
    glayout->setColumnStretch(1, 4);
    glayout->setRowStretch(0, 1);
    glayout->setRowStretch(1, 1);

    glayout->addWidget(viewerAmplitude, 1, 0, Qt::AlignCenter);
    ViewDock::install(this, scroller, glayout);
    connect(this, &QDockWidget::visibilityChanged, this, &CombinedViewDock::visibilityChangedHanling);
}

void CombinedViewDock::setStatusBar(StatusMessageBar* statusBar)
{
    viewerPhase->setStatusBar(statusBar);
    viewerAmplitude->setStatusBar(statusBar);
}

void CombinedViewDock::setStreamHub(StreamHub* hub)
{
    streamHub = hub;
}

void CombinedViewDock::onDepthCameraSet()
{
    setWindowTitle(ViewDock::cameraTitle(streamHub, CONNECTED_CAPTION));
}

void CombinedViewDock::visibilityChangedHanling(bool visible)
{
    ViewDock::followVisibility(visible, {viewerPhase, viewerAmplitude},
                               {viewerPhase, viewerAmplitude, viewerPointCloud});
}

void CombinedViewDock::mouseMoveEvent(QMouseEvent*)
{
}

} // namespace Kelvra
