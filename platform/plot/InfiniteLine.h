#pragma once
// A horizontal line at one y value across the whole visible x range. The user
// cannot move it. It has no extent of its own for auto-ranging.

#include "platform/plot/GraphicsObject.h"

#include <QPen>

namespace Plot {

class InfiniteLine : public GraphicsObject {
    Q_OBJECT
public:
    explicit InfiniteLine(double value = 0.0, const QPen& pen = QPen(QColor(200, 200, 200)),
                          QGraphicsItem* parent = nullptr);

    // A value that is not finite is ignored.
    void setValue(double value);
    double value() const { return value_; }
    void setPen(const QPen& pen);
    QPen pen() const { return pen_; }

    std::optional<QRectF> dataBounds() const override { return std::nullopt; }
    void viewRangeChanged(const QRectF& viewRect) override;
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget = nullptr) override;

private:
    double value_;
    QPen pen_;
    double x0_ = 0.0;
    double x1_ = 1.0;
};

} // namespace Plot
