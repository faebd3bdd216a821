#include "platform/plot/InfiniteLine.h"

#include <QPainter>
#include <cmath>

namespace Plot {

InfiniteLine::InfiniteLine(double value, const QPen& pen, QGraphicsItem* parent)
    : GraphicsObject(parent)
    , value_(value)
{
    setAcceptedMouseButtons(Qt::NoButton);
    setPen(pen);
}

void InfiniteLine::setValue(double value)
{
    if (!std::isfinite(value) || value == value_)
        return;
    prepareGeometryChange();
    value_ = value;
    update();
}

void InfiniteLine::setPen(const QPen& pen)
{
    pen_ = pen;
    pen_.setCosmetic(true);
    update();
}

void InfiniteLine::viewRangeChanged(const QRectF& viewRect)
{
    prepareGeometryChange();
    x0_ = viewRect.left();
    x1_ = viewRect.right();
}

QRectF InfiniteLine::boundingRect() const
{
    return QRectF(QPointF(x0_, value_), QPointF(x1_, value_));
}

void InfiniteLine::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setPen(pen_);
    painter->drawLine(QPointF(x0_, value_), QPointF(x1_, value_));
}

} // namespace Plot
