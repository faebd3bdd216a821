#include "Kelvra/docks/DataArrow.h"

#include "Kelvra/docks/DiagramNodes.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace Kelvra {

DataArrow::DataArrow(Tavik::FrameType type, QSizeF size)
    : caption(frameTypeCaption(type))
    , length(size.width())
    , myColor(Qt::black)
    , arrowSize(5)
    , type(type)
    , size(size)
{
    Q_ASSERT(FrameTypeToName.count(type));
    setPen(QPen(myColor, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    textOption.setAlignment(Qt::AlignCenter);
    textOption.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

QRectF DataArrow::boundingRect() const
{
    return QRectF(0, 0, size.width(), size.height());
}

QPainterPath DataArrow::shape() const
{
    QPainterPath path = QGraphicsLineItem::shape();
    path.addPolygon(arrowHead);
    return path;
}

void DataArrow::updateLine()
{
    const double middle = size.height() / 2.0;
    setLine(QLineF(0, middle, length, middle));
}

void DataArrow::makeArrowHead(double angle)
{
    const QPointF p2 = line().p2();
    const QPointF arrowP1 =
        p2 - QPointF(std::sin(angle + M_PI / 3) * arrowSize, std::cos(angle + M_PI / 3) * arrowSize);
    const QPointF arrowP2 =
        p2 - QPointF(std::sin(angle + M_PI * 2.0 / 3) * arrowSize, std::cos(angle + M_PI * 2.0 / 3) * arrowSize);
    arrowHead = QPolygonF({arrowP1, arrowP2, p2});
}

double DataArrow::lineAngle(const QLineF& line)
{
    const double l = line.length();
    if (l == 0.0)
        return 0.0; // no direction to take
    double angle = std::acos(std::clamp(line.dx() / l, -1.0, 1.0));
    if (line.dy() > 0)
        angle = 2 * M_PI - angle;
    return angle;
}

void DataArrow::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    QPen linePen = pen();
    linePen.setColor(myColor);
    painter->setPen(linePen);
    painter->setBrush(myColor);
    updateLine();
    makeArrowHead(lineAngle(line()));
    painter->drawLine(line());
    painter->drawPolygon(arrowHead);
    painter->drawText(boundingRect(), caption, textOption);
}

} // namespace Kelvra
