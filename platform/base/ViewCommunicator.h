#pragma once
// The view hub: one object shared by every view and settings page
// (DataView::communicator()). Settings pages emit, views receive; all on the
// user-interface thread.

#include <QObject>
#include <QPointF>
#include <QString>

class ViewCommunicator : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void hFlipChanged(bool flipped);
    void vFlipChanged(bool flipped);
    void lensFocusing(bool enabled);
    void displayConeToggle(bool shown);
    // Display limits of a format ("amplitude", "phase", "depth").
    void thresholdsChanged(QString name, double lower, double upper);
    // Visible image range: left and top as floats, right and bottom truncated.
    void viewRangeChanged(double x, double y, int right, int bottom);
    // Points in floating-point image coordinates.
    void setCurrentPoint2D(QPointF point);
    void setShiftClickPoint2D(QPointF point);
};
