#pragma once
// A left or bottom axis with ticks at 1-2-5 steps, following a view box.

#include "platform/plot/ViewBox.h"

#include <QGraphicsWidget>
#include <QPointer>
#include <vector>

namespace Plot {

class AxisItem : public QGraphicsWidget {
    Q_OBJECT
public:
    enum Orientation { Left, Bottom };

    explicit AxisItem(Orientation orientation, QGraphicsItem* parent = nullptr);

    Orientation orientation() const { return orientation_; }
    void linkToView(ViewBox* view);
    ViewBox* linkedView() const { return view_; }

    // Tick step for a span of about `length` pixels: 1, 2 or 5 times a power
    // of ten, giving ticks at least `minSpacing` pixels apart.
    static double tickSpacing(double span, double length, double minSpacing = 60.0);
    // Tick values in [min, max] at that step, as multiples of it.
    static std::vector<double> tickValues(double min, double max, double length, double minSpacing = 60.0);
    // The tick label: as many decimals as the step needs.
    static QString tickString(double value, double spacing);

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget = nullptr) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    Orientation orientation_;
    QPointer<ViewBox> view_;
    QColor color_{200, 200, 200};
};

} // namespace Plot
