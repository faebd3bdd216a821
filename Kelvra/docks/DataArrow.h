#pragma once
// The arrow in the cell after a diagram block: a horizontal black arrow
// across the cell, pointing right, captioned with the frame type that leaves
// the block.

#include "Tavik/Common.h"

#include <QColor>
#include <QGraphicsLineItem>
#include <QPolygonF>
#include <QSizeF>
#include <QString>
#include <QTextOption>

namespace Kelvra {

class DataArrow : public QGraphicsLineItem {
public:
    explicit DataArrow(Tavik::FrameType type, QSizeF size = QSizeF(100, 100));

    QRectF boundingRect() const override;
    // The stroked line with the head; the head is empty before the first paint.
    QPainterPath shape() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // The line through the middle of the cell, from x = 0 to x = length.
    void updateLine();
    // The head triangle at the line's end for a line pointing at `angle`.
    void makeArrowHead(double angle);
    // Direction of a line as painting uses it; 0 for a line of no length.
    static double lineAngle(const QLineF& line);

    const QString& getCaption() const { return caption; }
    const QPolygonF& getArrowHead() const { return arrowHead; }
    QSizeF getSize() const { return size; }

protected:
    QString caption;
    double length;
    QColor myColor;
    double arrowSize;
    Tavik::FrameType type;
    QSizeF size;
    QTextOption textOption;
    QPolygonF arrowHead;
};

} // namespace Kelvra
