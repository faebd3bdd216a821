#include "platform/plot/AxisItem.h"

#include "platform/plot/ViewBox.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace Plot {

namespace {
constexpr double TickLength = 5.0;
}

AxisItem::AxisItem(Orientation orientation, QGraphicsItem* parent)
    : QGraphicsWidget(parent)
    , orientation_(orientation)
{
    if (orientation_ == Left)
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    else
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAcceptedMouseButtons(Qt::NoButton);
}

void AxisItem::linkToView(ViewBox* view)
{
    if (view_)
        disconnect(view_, nullptr, this, nullptr);
    view_ = view;
    if (view_)
        connect(view_, &ViewBox::sigRangeChanged, this, [this] { update(); });
    update();
}

double AxisItem::tickSpacing(double span, double length, double minSpacing)
{
    span = std::abs(span);
    if (!(span > 0.0) || !std::isfinite(span) || !(length > 0.0))
        return 0.0;
    const double maxTicks = std::max(1.0, length / minSpacing);
    const double raw = span / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw)
            return m * magnitude;
    return 10.0 * magnitude;
}

std::vector<double> AxisItem::tickValues(double min, double max, double length, double minSpacing)
{
    if (min > max)
        std::swap(min, max);
    const double step = tickSpacing(max - min, length, minSpacing);
    std::vector<double> ticks;
    if (step <= 0.0)
        return ticks;
    // Whole multiples, so that 0.1 + 0.2 never shows as 0.30000000000000004.
    const double first = std::ceil(min / step - 1e-9);
    const double last = std::floor(max / step + 1e-9);
    const double count = last - first + 1.0;
    if (!(count >= 1.0) || count > 1000.0)
        return ticks;
    for (int i = 0; i < static_cast<int>(count); ++i)
        ticks.push_back((first + i) * step);
    return ticks;
}

QString AxisItem::tickString(double value, double spacing)
{
    const int decimals = spacing > 0.0 ? std::max(0, static_cast<int>(-std::floor(std::log10(spacing) + 1e-9))) : 0;
    if (std::abs(value) < spacing * 1e-6)
        value = 0.0; // no "-0"
    return QString::number(value, 'f', decimals);
}

QSizeF AxisItem::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
    if (which != Qt::MinimumSize && which != Qt::PreferredSize)
        return QGraphicsWidget::sizeHint(which, constraint);
    const QFontMetricsF fm(font());
    if (orientation_ == Left)
        return QSizeF(fm.horizontalAdvance(QStringLiteral("-0000.00")) + TickLength + 4, 0);
    return QSizeF(0, fm.height() + TickLength + 4);
}

void AxisItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (!view_)
        return;
    QPen pen(color_);
    pen.setCosmetic(true);
    painter->setPen(pen);
    const QRectF r = rect();
    const QRectF range = view_->viewRect();
    const QFontMetricsF fm(font());

    if (orientation_ == Left) {
        painter->drawLine(QPointF(r.right(), r.top()), QPointF(r.right(), r.bottom()));
        const double length = view_->size().height();
        const double step = tickSpacing(range.height(), length);
        for (double v : tickValues(range.top(), range.bottom(), length)) {
            const double y = mapFromScene(view_->mapViewToScene(QPointF(range.left(), v))).y();
            painter->drawLine(QPointF(r.right() - TickLength, y), QPointF(r.right(), y));
            const QString text = tickString(v, step);
            const QRectF box(r.left(), y - fm.height() / 2, r.width() - TickLength - 2, fm.height());
            painter->drawText(box, Qt::AlignRight | Qt::AlignVCenter, text);
        }
    } else {
        painter->drawLine(QPointF(r.left(), r.top()), QPointF(r.right(), r.top()));
        const double length = view_->size().width();
        const double step = tickSpacing(range.width(), length);
        for (double v : tickValues(range.left(), range.right(), length)) {
            const double x = mapFromScene(view_->mapViewToScene(QPointF(v, range.top()))).x();
            painter->drawLine(QPointF(x, r.top()), QPointF(x, r.top() + TickLength));
            const QString text = tickString(v, step);
            const double w = fm.horizontalAdvance(text);
            painter->drawText(QRectF(x - w / 2 - 1, r.top() + TickLength, w + 2, fm.height()), Qt::AlignCenter, text);
        }
    }
}

} // namespace Plot
