#pragma once
// A zoomable, pannable area that shows items in view coordinates.
//
// Items added with addItem() live in view coordinates; the box maps them onto
// its own rectangle. The box keeps a requested (target) range per axis; the
// visible range is the target, widened on one axis when the aspect is locked.
// Every range operation works on the target, so linked boxes of different
// shapes can follow each other without drifting.

#include "platform/plot/PlotEvents.h"

#include <QColor>
#include <QGraphicsWidget>
#include <QList>
#include <QPointer>
#include <QTransform>
#include <array>
#include <optional>

class QMenu;
class QGraphicsRectItem;

namespace Plot {

// A closed interval of one axis.
struct Range {
    double min = 0.0;
    double max = 1.0;
    double span() const { return max - min; }
    bool operator==(const Range& o) const { return min == o.min && max == o.max; }
    bool operator!=(const Range& o) const { return !(*this == o); }
};

class ViewBox : public QGraphicsWidget {
    Q_OBJECT
public:
    // PanMode: a left drag pans. RectMode: a left drag draws a rectangle and
    // zooms to it. A middle drag pans in both modes.
    enum MouseMode { PanMode, RectMode };
    enum Axis { XAxis = 0, YAxis = 1 };

    static constexpr double DefaultPadding = 0.02;

    struct State {
        MouseEnabled mouseEnabled{{true, true}};
        MouseMode mouseMode = PanMode;
        bool yInverted = false;
        bool aspectLocked = false;
        double aspectRatio = 1.0; // pixels per x unit / pixels per y unit
        std::array<bool, 2> autoRange{{false, false}};
        std::array<Range, 2> targetRange{};
        std::array<Range, 2> viewRange{};
    };

    explicit ViewBox(QGraphicsItem* parent = nullptr);
    ~ViewBox() override;

    const State& state() const { return state_; }

    void setMouseMode(MouseMode mode);
    void setMouseEnabled(bool x, bool y);
    // Without an argument y grows downwards (row 0 of an image at the top).
    void invertY(bool invert = true);
    void setAspectLocked(bool lock = true, double ratio = 1.0);
    // An invalid colour paints no background.
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return background_; }

    // Items are re-parented into the box, which then owns them.
    void addItem(QGraphicsItem* item, bool ignoreBounds = false);
    // Takes the item out of the box and its scene without deleting it.
    void removeItem(QGraphicsItem* item);
    QList<QGraphicsItem*> addedItems() const;
    QGraphicsItem* childGroup() const;
    // Union of the data bounds of the visible items not added with
    // ignoreBounds, in view coordinates; nothing when there are none.
    std::optional<QRectF> childrenBounds() const;

    // Box (item) coordinates <-> view coordinates.
    QPointF mapToView(const QPointF& p) const;
    QPointF mapFromView(const QPointF& p) const;
    QRectF mapRectToView(const QRectF& r) const;
    QRectF mapRectFromView(const QRectF& r) const;
    QPointF mapSceneToView(const QPointF& p) const;
    QPointF mapViewToScene(const QPointF& p) const;
    // View -> box transform.
    QTransform childTransform() const { return toBox_; }

    // The visible range, normalised.
    QRectF viewRect() const;
    QRectF targetRect() const;
    // padding is a fraction of each span added on both sides.
    void setRange(const QRectF& rect, double padding = 0.0);
    void setXRange(double min, double max, double padding = 0.0);
    void setYRange(double min, double max, double padding = 0.0);
    // An axis given as nothing stays still.
    void translateBy(std::optional<double> x, std::optional<double> y);
    // Scales the spans by the factors around a fixed point in view coordinates.
    void scaleBy(std::optional<double> x, std::optional<double> y, const QPointF& center);
    // Fits both axes to childrenBounds(); nothing happens without bounds.
    void autoRange(double padding = DefaultPadding);
    // While enabled, an axis follows the bounds of the items; a mouse pan or
    // zoom of that axis disables it.
    void enableAutoRange(bool enable = true);
    void enableAutoRange(Axis axis, bool enable);
    void disableAutoRange() { enableAutoRange(false); }

    // Range links are symmetric: linked boxes share the target range of the
    // axis. Linking adopts the other box's range. A box may be linked to many.
    void linkX(ViewBox* other);
    void linkY(ViewBox* other);
    void linkView(ViewBox* other); // both axes
    void unlinkX(ViewBox* other);
    void unlinkY(ViewBox* other);
    void unlinkAll();
    QList<ViewBox*> xLinks() const;
    QList<ViewBox*> yLinks() const;

    // Registry of the boxes offered for linking. Every box joins it when
    // constructed and leaves it when destroyed or unregistered.
    static QList<ViewBox*> allViews();
    void registerView();
    void unregister();
    bool isRegistered() const;

    // Handlers the scene reaches through the box; overridable.
    virtual void mouseDragEvent(MouseDragEvent& ev, std::optional<int> axis = std::nullopt);
    virtual void mouseClickEvent(MouseClickEvent& ev);
    virtual QMenu* getMenu(MouseClickEvent& ev);
    // Called on a right click; pops up getMenu() at the click, if any.
    virtual void raiseContextMenu(MouseClickEvent& ev);
    // The base ignores every key, so it travels on.
    void keyPressEvent(QKeyEvent* ev) override;
    void wheelEvent(QGraphicsSceneWheelEvent* ev) override;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget = nullptr) override;

signals:
    // Every change of the visible range, resizing included.
    void sigRangeChanged(const QRectF& viewRect);
    // A change made with the mouse; carries state().mouseEnabled.
    void sigRangeChangedManually(Plot::MouseEnabled mouseEnabled);

protected:
    // The context menu getMenu() returns; not owned.
    QPointer<QMenu> menu;

    void resizeEvent(QGraphicsSceneResizeEvent* ev) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* ev) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* ev) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* ev) override;
    void ungrabMouseEvent(QEvent* ev) override;

private:
    void setTarget(std::optional<Range> x, std::optional<Range> y);
    void updateViewRange();
    void updateTransform();
    void linkAxis(int axis, ViewBox* other);
    void unlinkAxis(int axis, ViewBox* other);
    QList<ViewBox*> links(int axis) const;
    QList<ViewBox*> linkedComponent(int axis) const;
    void onChildBoundsChanged();
    void showRubberBand(const QRectF& boxRect);
    void endDrag();

    State state_;
    QColor background_;
    QGraphicsItem* childGroup_;
    QGraphicsRectItem* rubberBand_;
    QTransform toBox_;
    QTransform toView_;
    std::array<QList<QPointer<ViewBox>>, 2> links_;

    // Mouse tracking of the button that is down, if any.
    Qt::MouseButton dragButton_ = Qt::NoButton;
    bool dragging_ = false;
    QPointF downPos_, downScreenPos_, lastDragPos_, lastDragScenePos_;
};

} // namespace Plot
