#include "platform/plot/PlotCurve.h"

#include <QPainter>
#include <cmath>

namespace Plot {

PlotCurve::PlotCurve(const QPen& pen, QGraphicsItem* parent)
    : GraphicsObject(parent)
{
    setAcceptedMouseButtons(Qt::NoButton);
    setPen(pen);
}

void PlotCurve::setData(const std::vector<double>& y)
{
    prepareGeometryChange();
    y_ = y;
    path_ = QPainterPath();
    bounds_.reset();
    bool drawing = false;
    bool any = false;
    double y0 = 0, y1 = 0, x0 = 0, x1 = 0;
    for (std::size_t i = 0; i < y_.size(); ++i) {
        const double v = y_[i];
        if (!std::isfinite(v)) {
            drawing = false;
            continue;
        }
        const QPointF p(static_cast<double>(i), v);
        if (drawing)
            path_.lineTo(p);
        else
            path_.moveTo(p);
        drawing = true;
        if (!any) {
            x0 = p.x();
            y0 = y1 = v;
            any = true;
        }
        x1 = p.x();
        y0 = std::min(y0, v);
        y1 = std::max(y1, v);
    }
    if (any)
        bounds_ = QRectF(QPointF(x0, y0), QPointF(x1, y1));
    update();
    emit boundsChanged();
}

std::vector<double> PlotCurve::xData() const
{
    std::vector<double> x(y_.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<double>(i);
    return x;
}

void PlotCurve::setPen(const QPen& pen)
{
    pen_ = pen;
    pen_.setCosmetic(true);
    update();
}

std::optional<QRectF> PlotCurve::dataBounds() const
{
    return bounds_;
}

QRectF PlotCurve::boundingRect() const
{
    return bounds_.value_or(QRectF());
}

void PlotCurve::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (path_.isEmpty())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(pen_);
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(path_);
    // A lone sample between gaps is a point, not a line.
    for (std::size_t i = 0; i < y_.size(); ++i) {
        const bool before = i > 0 && std::isfinite(y_[i - 1]);
        const bool after = i + 1 < y_.size() && std::isfinite(y_[i + 1]);
        if (std::isfinite(y_[i]) && !before && !after)
            painter->drawPoint(QPointF(static_cast<double>(i), y_[i]));
    }
    painter->restore();
}

} // namespace Plot
