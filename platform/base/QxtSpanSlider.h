#pragma once
// A slider with two handles that bound a span.
//
// Positions are ints within minimum()..maximum() with lower <= upper. In the
// integer mode (after setRange) a position is the value itself. In the float
// mode (after setFloatRange(lo, hi, f)) the range is [round(lo*f), round(hi*f)]
// and a position p stands for the value p / f.
//
// The position signals report user moves only: mouse, keyboard, and the
// public setLowerPosition/setUpperPosition, which act as a user move.
// setRange, setSpan and setFloatRange never emit them.

#include <QSlider>

class QStyleOptionSlider;

class QxtSpanSlider : public QSlider {
    Q_OBJECT
public:
    enum SpanHandle { NoHandle, LowerHandle, UpperHandle };

    explicit QxtSpanSlider(QWidget* parent = nullptr);

    // Integer mode: positions are values. Handles are kept inside the range.
    void setRange(int lower, int upper);
    // Both handles, in the values of the current mode (rounded to positions);
    // the pair is ordered and clamped to the range.
    void setSpan(double lower, double upper);
    // Float mode; the handles go to the ends. A factor that is not a positive
    // finite number counts as 1.
    void setFloatRange(double lower, double upper, double scalingFactor);

    int lowerPosition() const { return lower; }
    int upperPosition() const { return upper; }
    // Positions as values of the current mode.
    double lowerValue() const { return toValue(lower); }
    double upperValue() const { return toValue(upper); }
    bool isFloatMode() const { return floatMode; }
    double getScalingFactor() const { return factor; }
    // The handle the keyboard moves: the one last pressed (lower at first).
    SpanHandle activeHandle() const { return active; }

    // Rectangle of a handle in widget coordinates.
    QRect handleRect(SpanHandle handle) const;

public slots:
    // Move one handle as the user would (clamped; the other handle bounds it).
    void setLowerPosition(int position);
    void setUpperPosition(int position);

signals:
    // Value of the moved handle: truncated to int in the float mode.
    void lowerPositionChanged(int lower);
    void upperPositionChanged(int upper);
    // The same move as a value of the current mode.
    void floatLowerPositionChanged(double lower);
    void floatUpperPositionChanged(double upper);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void initHandleOption(QStyleOptionSlider* option, SpanHandle handle) const;
    int pixelToPosition(const QPoint& point) const;
    int pixelAlong(const QPoint& point) const;
    int handleCenter(SpanHandle handle) const;
    void moveHandle(SpanHandle handle, int position);
    void clampToRange();
    double toValue(int position) const;
    int toPosition(double value) const;

    int lower = 0;
    int upper = 0;
    bool floatMode = false;
    double factor = 1.0;
    SpanHandle active = LowerHandle;
    SpanHandle pressed = NoHandle;
    // Both handles on one spot: the first move's direction picks the handle.
    bool pressOnStack = false;
    int pressPixel = 0;
    int grabOffset = 0;
};
