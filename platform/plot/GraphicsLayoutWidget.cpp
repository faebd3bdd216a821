#include "platform/plot/GraphicsLayoutWidget.h"

#include "platform/plot/PlotItem.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QGraphicsGridLayout>
#include <QGraphicsWidget>

namespace Plot {

namespace {

// The first item of the subtree that takes keyboard focus.
QGraphicsItem* firstFocusable(QGraphicsItem* item)
{
    if (item->isVisible() && item->isEnabled() && (item->flags() & QGraphicsItem::ItemIsFocusable))
        return item;
    for (QGraphicsItem* child : item->childItems())
        if (QGraphicsItem* f = firstFocusable(child))
            return f;
    return nullptr;
}

} // namespace

GraphicsLayoutWidget::GraphicsLayoutWidget(QWidget* parent)
    : QGraphicsView(parent)
    , scene_(new GraphicsScene(this))
    , central_(new QGraphicsWidget)
    , grid_(new QGraphicsGridLayout)
{
    setScene(scene_);
    grid_->setContentsMargins(1, 1, 1, 1);
    grid_->setSpacing(0);
    central_->setLayout(grid_);
    scene_->addItem(central_);

    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTransformationAnchor(QGraphicsView::NoAnchor);
    setResizeAnchor(QGraphicsView::NoAnchor);
    // Moving ranges shift every item; repainting the whole viewport is both
    // simpler and free of trails left by thin lines.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSceneRect(0, 0, 1, 1);
}

void GraphicsLayoutWidget::setBackground(const QColor& color)
{
    setBackgroundBrush(color);
}

void GraphicsLayoutWidget::addItem(QGraphicsWidget* item, int row, int col, int rowSpan, int colSpan)
{
    if (!item)
        return;
    if (containsItem(item))
        grid_->removeItem(item);
    if (row < 0)
        row = currentRow_;
    if (col < 0) {
        col = currentCol_;
        while (grid_->itemAt(row, col))
            ++col;
    }
    grid_->addItem(item, row, col, rowSpan, colSpan);
    currentRow_ = row;
    currentCol_ = col + colSpan;
}

void GraphicsLayoutWidget::removeItem(QGraphicsWidget* item)
{
    if (!containsItem(item))
        return;
    grid_->removeItem(item);
    item->setParentItem(nullptr);
    if (item->scene())
        item->scene()->removeItem(item);
}

bool GraphicsLayoutWidget::containsItem(const QGraphicsWidget* item) const
{
    if (!item)
        return false;
    for (int i = 0; i < grid_->count(); ++i)
        if (grid_->itemAt(i) == item)
            return true;
    return false;
}

PlotItem* GraphicsLayoutWidget::addPlot(int row, int col, int rowSpan, int colSpan)
{
    auto* plot = new PlotItem;
    addItem(plot, row, col, rowSpan, colSpan);
    return plot;
}

void GraphicsLayoutWidget::resizeEvent(QResizeEvent* ev)
{
    QGraphicsView::resizeEvent(ev);
    const QRectF r(QPointF(0, 0), QSizeF(viewport()->size()));
    setSceneRect(r);
    central_->setGeometry(r);
}

void GraphicsLayoutWidget::passFocus(Qt::FocusReason reason)
{
    // Keys go to the scene's focus item; when none has focus yet, the first
    // item that takes it gets it.
    if (!scene_->focusItem())
        if (QGraphicsItem* f = firstFocusable(central_))
            f->setFocus(reason);
}

void GraphicsLayoutWidget::focusInEvent(QFocusEvent* ev)
{
    QGraphicsView::focusInEvent(ev);
    passFocus(ev->reason());
}

void GraphicsLayoutWidget::keyPressEvent(QKeyEvent* ev)
{
    passFocus(Qt::OtherFocusReason);
    QGraphicsView::keyPressEvent(ev);
}

} // namespace Plot
