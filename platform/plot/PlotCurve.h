#pragma once
// A line through y values plotted against their index (x = 0, 1, 2 ...).

#include "platform/plot/GraphicsObject.h"

#include <QPainterPath>
#include <QPen>
#include <vector>

namespace Plot {

class PlotCurve : public GraphicsObject {
    Q_OBJECT
public:
    explicit PlotCurve(const QPen& pen = QPen(Qt::white), QGraphicsItem* parent = nullptr);

    // Values that are not finite leave a gap in the line.
    void setData(const std::vector<double>& y);
    const std::vector<double>& yData() const { return y_; }
    std::vector<double> xData() const;

    // The pen is always cosmetic: its width is in pixels whatever the zoom.
    void setPen(const QPen& pen);
    QPen pen() const { return pen_; }

    std::optional<QRectF> dataBounds() const override;
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget = nullptr) override;

private:
    QPen pen_;
    std::vector<double> y_;
    QPainterPath path_;
    std::optional<QRectF> bounds_;
};

} // namespace Plot
