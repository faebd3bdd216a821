#pragma once
// Two integer spin boxes side by side, "x , y", edited as one widget.

#include <QList>
#include <QSpinBox>
#include <QWidget>

namespace Kelvra {

class PairSpinBox : public QWidget {
    Q_OBJECT
public:
    // `flags` is accepted for the caller's convenience and deliberately not applied.
    explicit PairSpinBox(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    void setXY(int x, int y);
    QList<int> getXY() const;
    // x1, x2 bound x; y1, y2 bound y (minimum first).
    void setRange(int x1, int x2, int y1, int y2);

    // Watches the composite and both spin boxes with one filter. QObject's own
    // installEventFilter is not virtual: this applies to calls made through
    // the PairSpinBox type.
    void installEventFilter(QObject* filter);

    QSpinBox* xSpinBox;
    QSpinBox* ySpinBox;
};

} // namespace Kelvra
