#pragma once
// A plot: a view box with a left and a bottom axis, holding curves and lines.

#include "platform/plot/ViewBox.h"

#include <QGraphicsWidget>
#include <QPen>

namespace Plot {

class AxisItem;
class PlotCurve;

class PlotItem : public QGraphicsWidget {
    Q_OBJECT
public:
    explicit PlotItem(QGraphicsItem* parent = nullptr);

    ViewBox* getViewBox() const { return view_; }
    AxisItem* leftAxis() const { return left_; }
    AxisItem* bottomAxis() const { return bottom_; }

    // A new curve without data, owned by the plot.
    PlotCurve* plot(const QPen& pen = QPen(Qt::white));
    void addItem(QGraphicsItem* item, bool ignoreBounds = false);
    void removeItem(QGraphicsItem* item);

    void enableAutoRange(bool enable = true);
    void autoRange(double padding = ViewBox::DefaultPadding);

private:
    ViewBox* view_;
    AxisItem* left_;
    AxisItem* bottom_;
};

} // namespace Plot
