#include "host/engine/PointCloudView.h"

#include "host/engine/HostDataEngine.h"
#include "host/engine/PointCloudRenderer.h"
#include "host/base/ViewCommunicator.h"

#include <QPainter>

PointCloudView::PointCloudView(DataEngine* dataEngine, QWidget* parent)
    : DataView(dataEngine, nullptr, parent)
{
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(DataView::communicator(), &ViewCommunicator::displayConeToggle, this, &PointCloudView::setConeShown,
            Qt::QueuedConnection);
}

void PointCloudView::ShowView(bool show)
{
    isShow = show;
    if (show)
        displayData();
}

void PointCloudView::displayData()
{
    if (!isShow)
        return;
    // Only the host's engine keeps point clouds.
    auto* engine = qobject_cast<HostDataEngine*>(dataEngine);
    FrameImagesPtr set = engine ? engine->newestFrameSet() : nullptr;
    if (!set || set == drawn)
        return;
    drawn = set;
    drawnId = set->id;
    render();
}

void PointCloudView::setConeShown(bool shown)
{
    coneShown = shown;
    if (drawn)
        render();
}

void PointCloudView::render()
{
    image = PointCloudRenderer::render(drawn->points, size(), coneShown);
    update();
}

void PointCloudView::resizeEvent(QResizeEvent* event)
{
    DataView::resizeEvent(event);
    if (drawn && isShow)
        render();
}

void PointCloudView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!image.isNull())
        painter.drawImage(QPoint(0, 0), image);
}
