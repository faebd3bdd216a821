#include "platform/base/QxtSpanSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionSlider>
#include <QStylePainter>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

int roundToInt(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<int>(std::clamp(std::round(v), double(INT_MIN), double(INT_MAX)));
}

} // namespace

QxtSpanSlider::QxtSpanSlider(QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
    lower = minimum();
    upper = maximum();
    setFocusPolicy(Qt::StrongFocus);
    // Range changes made through the base (setMinimum, setMaximum) keep the
    // handles inside as well.
    connect(this, &QAbstractSlider::rangeChanged, this, [this] { clampToRange(); });
}

void QxtSpanSlider::setRange(int lowerBound, int upperBound)
{
    floatMode = false;
    factor = 1.0;
    QAbstractSlider::setRange(lowerBound, upperBound);
    clampToRange();
}

void QxtSpanSlider::setFloatRange(double lowerBound, double upperBound, double scalingFactor)
{
    floatMode = true;
    factor = std::isfinite(scalingFactor) && scalingFactor > 0.0 ? scalingFactor : 1.0;
    QAbstractSlider::setRange(toPosition(lowerBound), toPosition(upperBound));
    lower = minimum();
    upper = maximum();
    update();
}

void QxtSpanSlider::setSpan(double lowerValue, double upperValue)
{
    int a = std::clamp(toPosition(lowerValue), minimum(), maximum());
    int b = std::clamp(toPosition(upperValue), minimum(), maximum());
    lower = std::min(a, b);
    upper = std::max(a, b);
    update();
}

void QxtSpanSlider::clampToRange()
{
    lower = std::clamp(lower, minimum(), maximum());
    upper = std::clamp(upper, lower, maximum());
    update();
}

double QxtSpanSlider::toValue(int position) const
{
    return floatMode ? position / factor : static_cast<double>(position);
}

int QxtSpanSlider::toPosition(double value) const
{
    return roundToInt(floatMode ? value * factor : value);
}

void QxtSpanSlider::setLowerPosition(int position)
{
    moveHandle(LowerHandle, position);
}

void QxtSpanSlider::setUpperPosition(int position)
{
    moveHandle(UpperHandle, position);
}

void QxtSpanSlider::moveHandle(SpanHandle handle, int position)
{
    if (handle == NoHandle)
        return;
    const bool isLower = handle == LowerHandle;
    int& current = isLower ? lower : upper;
    const int p = isLower ? std::clamp(position, minimum(), upper) : std::clamp(position, lower, maximum());
    if (p == current)
        return;
    current = p;
    update();
    const double value = toValue(p);
    if (isLower) {
        emit lowerPositionChanged(static_cast<int>(value));
        emit floatLowerPositionChanged(value);
    } else {
        emit upperPositionChanged(static_cast<int>(value));
        emit floatUpperPositionChanged(value);
    }
}

void QxtSpanSlider::initHandleOption(QStyleOptionSlider* option, SpanHandle handle) const
{
    initStyleOption(option);
    const int pos = handle == UpperHandle ? upper : lower;
    option->sliderPosition = pos;
    option->sliderValue = pos;
    option->subControls = QStyle::SC_SliderHandle;
    if (handle != NoHandle && pressed == handle) {
        option->activeSubControls = QStyle::SC_SliderHandle;
        option->state |= QStyle::State_Sunken;
    } else {
        option->activeSubControls = QStyle::SC_None;
    }
}

QRect QxtSpanSlider::handleRect(SpanHandle handle) const
{
    QStyleOptionSlider opt;
    initHandleOption(&opt, handle);
    return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
}

int QxtSpanSlider::pixelAlong(const QPoint& point) const
{
    return orientation() == Qt::Horizontal ? point.x() : point.y();
}

int QxtSpanSlider::handleCenter(SpanHandle handle) const
{
    return pixelAlong(handleRect(handle).center());
}

int QxtSpanSlider::pixelToPosition(const QPoint& point) const
{
    QStyleOptionSlider opt;
    initHandleOption(&opt, LowerHandle);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    int start, span, pixel;
    if (orientation() == Qt::Horizontal) {
        start = groove.x();
        span = groove.width() - handle.width();
        pixel = point.x() - handle.width() / 2;
    } else {
        start = groove.y();
        span = groove.height() - handle.height();
        pixel = point.y() - handle.height() / 2;
    }
    return QStyle::sliderValueFromPosition(minimum(), maximum(), pixel - start, std::max(span, 0), opt.upsideDown);
}

void QxtSpanSlider::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);

    QStyleOptionSlider opt;
    initStyleOption(&opt);
    // Styles that fill the groove up to the handle would fill from the
    // minimum; the span is drawn separately below.
    opt.sliderPosition = opt.upsideDown ? maximum() : minimum();
    opt.sliderValue = opt.sliderPosition;
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderTickmarks;
    opt.activeSubControls = QStyle::SC_None;
    painter.drawComplexControl(QStyle::CC_Slider, opt);

    // The span between the handle centres, inside the groove.
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect lowRect = handleRect(LowerHandle);
    const QRect highRect = handleRect(UpperHandle);
    QRect spanRect;
    if (orientation() == Qt::Horizontal) {
        const int left = std::min(lowRect.center().x(), highRect.center().x());
        const int right = std::max(lowRect.center().x(), highRect.center().x());
        spanRect = QRect(left, groove.top() + 1, right - left, std::max(2, groove.height() - 2));
    } else {
        const int top = std::min(lowRect.center().y(), highRect.center().y());
        const int bottom = std::max(lowRect.center().y(), highRect.center().y());
        spanRect = QRect(groove.left() + 1, top, std::max(2, groove.width() - 2), bottom - top);
    }
    painter.fillRect(spanRect, palette().color(QPalette::Highlight));

    // The pressed handle last, so it stays on top where the handles overlap.
    const SpanHandle first = pressed == LowerHandle ? UpperHandle : LowerHandle;
    const SpanHandle second = first == LowerHandle ? UpperHandle : LowerHandle;
    for (SpanHandle h : {first, second}) {
        QStyleOptionSlider handleOpt;
        initHandleOption(&handleOpt, h);
        painter.drawComplexControl(QStyle::CC_Slider, handleOpt);
    }
}

void QxtSpanSlider::mousePressEvent(QMouseEvent* event)
{
    if (minimum() == maximum() || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    const int pixel = pixelAlong(event->pos());
    pressPixel = pixel;
    pressOnStack = false;

    const bool onLower = handleRect(LowerHandle).contains(event->pos());
    const bool onUpper = handleRect(UpperHandle).contains(event->pos());
    const int toLower = std::abs(pixel - handleCenter(LowerHandle));
    const int toUpper = std::abs(pixel - handleCenter(UpperHandle));

    if (onLower && onUpper && lower == upper) {
        // Stacked handles: decide on the first move.
        pressed = LowerHandle;
        pressOnStack = true;
    } else if (onLower != onUpper) {
        pressed = onLower ? LowerHandle : UpperHandle;
    } else if (toLower == toUpper) {
        // Equal distance: the side of the click decides.
        pressed = pixel < handleCenter(LowerHandle) ? LowerHandle : UpperHandle;
    } else {
        pressed = toLower < toUpper ? LowerHandle : UpperHandle;
    }
    active = pressed;

    if (onLower || onUpper) {
        // Grabbed: keep the offset so the handle does not jump.
        grabOffset = pixel - handleCenter(pressed);
    } else {
        // A click in the groove brings the nearer handle there.
        grabOffset = 0;
        moveHandle(pressed, pixelToPosition(event->pos()));
    }
    setSliderDown(true);
    update();
}

void QxtSpanSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (pressed == NoHandle) {
        event->ignore();
        return;
    }
    event->accept();
    const int pixel = pixelAlong(event->pos());
    if (pressOnStack) {
        if (pixel == pressPixel)
            return;
        const bool towardsMax = (pixel > pressPixel) != (orientation() == Qt::Vertical);
        const bool increasing = towardsMax != invertedAppearance();
        pressed = increasing ? UpperHandle : LowerHandle;
        active = pressed;
        pressOnStack = false;
    }
    QPoint target = event->pos();
    if (orientation() == Qt::Horizontal)
        target.rx() -= grabOffset;
    else
        target.ry() -= grabOffset;
    moveHandle(pressed, pixelToPosition(target));
}

void QxtSpanSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (pressed == NoHandle) {
        event->ignore();
        return;
    }
    event->accept();
    pressed = NoHandle;
    pressOnStack = false;
    setSliderDown(false);
    update();
}

void QxtSpanSlider::keyPressEvent(QKeyEvent* event)
{
    const qint64 current = active == UpperHandle ? upper : lower;
    qint64 target = current;
    // Up and Right increase, as in QSlider (inverted controls flip them).
    const qint64 step = invertedControls() ? -singleStep() : singleStep();
    const qint64 page = invertedControls() ? -pageStep() : pageStep();
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down: target = current - step; break;
    case Qt::Key_Right:
    case Qt::Key_Up: target = current + step; break;
    case Qt::Key_PageDown: target = current - page; break;
    case Qt::Key_PageUp: target = current + page; break;
    case Qt::Key_Home: target = minimum(); break;
    case Qt::Key_End: target = maximum(); break;
    default: event->ignore(); return;
    }
    event->accept();
    moveHandle(active, static_cast<int>(std::clamp<qint64>(target, minimum(), maximum())));
}

void QxtSpanSlider::wheelEvent(QWheelEvent* event)
{
    // The base would move its own single value, which this slider does not show.
    event->ignore();
}
