#include "host/engine/PointCloudView.h"

#include "host/engine/HostDataEngine.h"
#include "platform/base/ViewCommunicator.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QWheelEvent>

#include <cmath>

PointCloudView::PointCloudView(DataEngine* dataEngine, QWidget* parent)
    : DataView(dataEngine, nullptr, parent)
    , menu(new QMenu(this))
{
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(DataView::communicator(), &ViewCommunicator::displayConeToggle, this, &PointCloudView::setConeShown,
            Qt::QueuedConnection);
    if (auto* engine = qobject_cast<HostDataEngine*>(dataEngine))
        engine->setPointCloudViewShown(this, isShow);

    menu->addAction(QStringLiteral("Reset View"), this, &PointCloudView::resetView);
    menu->addSeparator();
    auto* colouring = new QActionGroup(menu);
    depthColorAction = colouring->addAction(QStringLiteral("Color by Depth"));
    intensityColorAction = colouring->addAction(QStringLiteral("Color by Intensity"));
    for (QAction* action : colouring->actions()) {
        action->setCheckable(true);
        menu->addAction(action);
    }
    depthColorAction->setChecked(true);
    connect(depthColorAction, &QAction::triggered, this,
            [this] { setColorMode(PointCloudRenderer::ColorMode::Depth); });
    connect(intensityColorAction, &QAction::triggered, this,
            [this] { setColorMode(PointCloudRenderer::ColorMode::Intensity); });
}

void PointCloudView::ShowView(bool show)
{
    isShow = show;
    // Clouds are converted only while a view shows them.
    if (auto* engine = qobject_cast<HostDataEngine*>(dataEngine))
        engine->setPointCloudViewShown(this, show);
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
    render();
}

void PointCloudView::resetView()
{
    cloudRenderer.reset();
    redraw();
}

void PointCloudView::setConeShown(bool shown)
{
    cloudRenderer.setConeShown(shown);
    redraw();
}

void PointCloudView::setColorMode(PointCloudRenderer::ColorMode mode)
{
    cloudRenderer.setColorMode(mode);
    (mode == PointCloudRenderer::ColorMode::Depth ? depthColorAction : intensityColorAction)->setChecked(true);
    redraw();
}

void PointCloudView::setDepthLimits(double nearZ, double farZ)
{
    cloudRenderer.setDepthLimits(static_cast<float>(nearZ), static_cast<float>(farZ));
    redraw();
}

void PointCloudView::redraw()
{
    if (drawn && isShow)
        render();
}

void PointCloudView::render()
{
    const auto& points = drawn->cloudPoints();
    const bool grid = drawn->width > 0 && points.size() == static_cast<std::size_t>(drawn->width) * drawn->height;
    cloudRenderer.render(points, grid ? drawn->width : 0, size());
    ++renders;
    update();
}

void PointCloudView::resizeEvent(QResizeEvent* event)
{
    DataView::resizeEvent(event);
    redraw();
}

void PointCloudView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    // Black where the opaque picture does not reach (it is drawn at the
    // view's size: mostly nowhere).
    const QImage& image = picture();
    for (const QRect& r : QRegion(event->rect()) - QRect(QPoint(0, 0), image.size()))
        painter.fillRect(r, Qt::black);
    if (!image.isNull())
        painter.drawImage(QPoint(0, 0), image);
}

void PointCloudView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        DataView::mousePressEvent(event);
        return;
    }
    dragFrom = event->pos();
    event->accept();
}

void PointCloudView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragFrom || !(event->buttons() & Qt::LeftButton)) {
        DataView::mouseMoveEvent(event);
        return;
    }
    const QPoint step = event->pos() - *dragFrom;
    dragFrom = event->pos();
    // Dragging right turns the scene to the right, dragging down tips it towards the viewer.
    cloudRenderer.orbit(-DEGREES_PER_PIXEL * step.x(), DEGREES_PER_PIXEL * step.y());
    redraw();
    event->accept();
}

void PointCloudView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragFrom.reset();
    DataView::mouseReleaseEvent(event);
}

void PointCloudView::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        DataView::wheelEvent(event);
        return;
    }
    // 120 is one notch of a common wheel.
    cloudRenderer.zoomBy(std::pow(ZOOM_PER_NOTCH, delta / 120.f));
    redraw();
    event->accept();
}

void PointCloudView::contextMenuEvent(QContextMenuEvent* event)
{
    menu->popup(event->globalPos());
    event->accept();
}
