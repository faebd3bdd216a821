#pragma once
// Base of the toolkit's data items (image, curve, line): tells the view box
// holding it where its data lies and hears of changes of the visible range.

#include <QGraphicsObject>
#include <QRectF>
#include <optional>

namespace Plot {

class GraphicsObject : public QGraphicsObject {
    Q_OBJECT
public:
    explicit GraphicsObject(QGraphicsItem* parent = nullptr)
        : QGraphicsObject(parent)
    {
    }

    // Extent of the data in the item's coordinates, for auto-ranging; nothing
    // when the item has no extent of its own. A zero-size rectangle is a point.
    virtual std::optional<QRectF> dataBounds() const { return boundingRect(); }

    // Called by the view box holding the item whenever its visible range
    // changes (view coordinates).
    virtual void viewRangeChanged(const QRectF& viewRect) { (void)viewRect; }

signals:
    // The data bounds changed.
    void boundsChanged();
};

} // namespace Plot
