#include "platform/plot/PlotItem.h"

#include "platform/plot/AxisItem.h"
#include "platform/plot/PlotCurve.h"

#include <QGraphicsGridLayout>

namespace Plot {

PlotItem::PlotItem(QGraphicsItem* parent)
    : QGraphicsWidget(parent)
    , view_(new ViewBox)
    , left_(new AxisItem(AxisItem::Left))
    , bottom_(new AxisItem(AxisItem::Bottom))
{
    auto* grid = new QGraphicsGridLayout;
    grid->setContentsMargins(2, 2, 10, 2);
    grid->setSpacing(0);
    grid->addItem(left_, 0, 0);
    grid->addItem(view_, 0, 1);
    grid->addItem(bottom_, 1, 1);
    setLayout(grid);
    left_->linkToView(view_);
    bottom_->linkToView(view_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

PlotCurve* PlotItem::plot(const QPen& pen)
{
    auto* curve = new PlotCurve(pen);
    view_->addItem(curve);
    return curve;
}

void PlotItem::addItem(QGraphicsItem* item, bool ignoreBounds)
{
    view_->addItem(item, ignoreBounds);
}

void PlotItem::removeItem(QGraphicsItem* item)
{
    view_->removeItem(item);
}

void PlotItem::enableAutoRange(bool enable)
{
    view_->enableAutoRange(enable);
}

void PlotItem::autoRange(double padding)
{
    view_->autoRange(padding);
}

} // namespace Plot
