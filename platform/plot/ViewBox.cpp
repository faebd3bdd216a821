#include "platform/plot/ViewBox.h"

#include "platform/plot/GraphicsObject.h"

#include <QApplication>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSceneWheelEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace Plot {

namespace {

// Item data key that marks items added with ignoreBounds.
constexpr int IgnoreBoundsKey = 0x49474e42;

// Holds the added items; its transform maps view coordinates to the box.
class ChildGroup : public QGraphicsItem {
public:
    explicit ChildGroup(QGraphicsItem* parent)
        : QGraphicsItem(parent)
    {
        setFlag(ItemHasNoContents);
    }
    QRectF boundingRect() const override { return {}; }
    void paint(QPainter*, const QStyleOptionGraphicsItem*, QWidget*) override { }
};

QList<ViewBox*>& registry()
{
    static QList<ViewBox*> views;
    return views;
}

// Set while a range change is handed to linked boxes: a change made by a
// follower (or by a slot it triggers) is not handed on again.
bool propagatingLinks = false;

// A sane interval from two ends: ordered, a point widened to a unit span,
// padded; nothing when an end is not finite.
std::optional<Range> makeRange(double a, double b, double padding)
{
    if (!std::isfinite(a) || !std::isfinite(b))
        return std::nullopt;
    if (a > b)
        std::swap(a, b);
    if (a == b) {
        a -= 0.5;
        b += 0.5;
    }
    if (std::isfinite(padding) && padding > 0.0) {
        const double pad = (b - a) * padding;
        a -= pad;
        b += pad;
    }
    if (!(b > a) || !std::isfinite(b - a))
        return std::nullopt;
    return Range{a, b};
}

void widen(Range& r, double span)
{
    const double c = (r.min + r.max) / 2.0;
    r.min = c - span / 2.0;
    r.max = c + span / 2.0;
}

GraphicsObject* asGraphicsObject(QGraphicsItem* item)
{
    return qobject_cast<GraphicsObject*>(item->toGraphicsObject());
}

} // namespace

ViewBox::ViewBox(QGraphicsItem* parent)
    : QGraphicsWidget(parent)
    , childGroup_(new ChildGroup(this))
    , rubberBand_(new QGraphicsRectItem(this))
{
    registerMetaTypes();
    setFlag(ItemClipsChildrenToShape);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    QPen bandPen(QColor(255, 255, 100));
    bandPen.setCosmetic(true);
    rubberBand_->setPen(bandPen);
    rubberBand_->setBrush(QColor(100, 100, 200, 100));
    rubberBand_->setZValue(1e9);
    rubberBand_->setAcceptedMouseButtons(Qt::NoButton);
    rubberBand_->hide();

    registry().append(this);
    updateViewRange();
}

ViewBox::~ViewBox()
{
    unlinkAll();
    unregister();
}

void ViewBox::setMouseMode(MouseMode mode)
{
    state_.mouseMode = mode;
}

void ViewBox::setMouseEnabled(bool x, bool y)
{
    state_.mouseEnabled = {{x, y}};
}

void ViewBox::invertY(bool invert)
{
    if (state_.yInverted == invert)
        return;
    state_.yInverted = invert;
    updateTransform();
}

void ViewBox::setAspectLocked(bool lock, double ratio)
{
    state_.aspectLocked = lock;
    state_.aspectRatio = (std::isfinite(ratio) && ratio > 0.0) ? ratio : 1.0;
    updateViewRange();
}

void ViewBox::setBackgroundColor(const QColor& color)
{
    background_ = color;
    update();
}

void ViewBox::addItem(QGraphicsItem* item, bool ignoreBounds)
{
    if (!item)
        return;
    item->setParentItem(childGroup_);
    item->setData(IgnoreBoundsKey, ignoreBounds);
    if (GraphicsObject* g = asGraphicsObject(item)) {
        connect(g, &GraphicsObject::boundsChanged, this, &ViewBox::onChildBoundsChanged, Qt::UniqueConnection);
        g->viewRangeChanged(viewRect());
    }
    onChildBoundsChanged();
}

void ViewBox::removeItem(QGraphicsItem* item)
{
    if (!item || item->parentItem() != childGroup_)
        return;
    if (GraphicsObject* g = asGraphicsObject(item))
        disconnect(g, &GraphicsObject::boundsChanged, this, &ViewBox::onChildBoundsChanged);
    item->setParentItem(nullptr);
    if (item->scene())
        item->scene()->removeItem(item);
    onChildBoundsChanged();
}

QList<QGraphicsItem*> ViewBox::addedItems() const
{
    return childGroup_->childItems();
}

QGraphicsItem* ViewBox::childGroup() const
{
    return childGroup_;
}

std::optional<QRectF> ViewBox::childrenBounds() const
{
    bool any = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (QGraphicsItem* item : childGroup_->childItems()) {
        if (!item->isVisible() || item->data(IgnoreBoundsKey).toBool())
            continue;
        std::optional<QRectF> b;
        if (GraphicsObject* g = asGraphicsObject(item))
            b = g->dataBounds();
        else
            b = item->boundingRect();
        if (!b)
            continue;
        const QRectF r = item->mapRectToParent(*b);
        if (!any) {
            x0 = r.left();
            y0 = r.top();
            x1 = r.right();
            y1 = r.bottom();
            any = true;
        } else {
            x0 = std::min(x0, r.left());
            y0 = std::min(y0, r.top());
            x1 = std::max(x1, r.right());
            y1 = std::max(y1, r.bottom());
        }
    }
    if (!any)
        return std::nullopt;
    return QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

QPointF ViewBox::mapToView(const QPointF& p) const
{
    return toView_.map(p);
}

QPointF ViewBox::mapFromView(const QPointF& p) const
{
    return toBox_.map(p);
}

QRectF ViewBox::mapRectToView(const QRectF& r) const
{
    return toView_.mapRect(r);
}

QRectF ViewBox::mapRectFromView(const QRectF& r) const
{
    return toBox_.mapRect(r);
}

QPointF ViewBox::mapSceneToView(const QPointF& p) const
{
    return mapToView(mapFromScene(p));
}

QPointF ViewBox::mapViewToScene(const QPointF& p) const
{
    return mapToScene(mapFromView(p));
}

QRectF ViewBox::viewRect() const
{
    const auto& v = state_.viewRange;
    return QRectF(v[0].min, v[1].min, v[0].span(), v[1].span());
}

QRectF ViewBox::targetRect() const
{
    const auto& t = state_.targetRange;
    return QRectF(t[0].min, t[1].min, t[0].span(), t[1].span());
}

void ViewBox::setRange(const QRectF& rect, double padding)
{
    setTarget(makeRange(rect.left(), rect.right(), padding), makeRange(rect.top(), rect.bottom(), padding));
}

void ViewBox::setXRange(double min, double max, double padding)
{
    setTarget(makeRange(min, max, padding), std::nullopt);
}

void ViewBox::setYRange(double min, double max, double padding)
{
    setTarget(std::nullopt, makeRange(min, max, padding));
}

void ViewBox::translateBy(std::optional<double> x, std::optional<double> y)
{
    const auto& t = state_.targetRange;
    std::optional<Range> nx, ny;
    if (x)
        nx = makeRange(t[0].min + *x, t[0].max + *x, 0.0);
    if (y)
        ny = makeRange(t[1].min + *y, t[1].max + *y, 0.0);
    setTarget(nx, ny);
}

void ViewBox::scaleBy(std::optional<double> x, std::optional<double> y, const QPointF& center)
{
    const auto& t = state_.targetRange;
    auto scaled = [](const Range& r, double c, std::optional<double> s) -> std::optional<Range> {
        if (!s || !std::isfinite(*s) || *s <= 0.0)
            return std::nullopt;
        return makeRange(c + (r.min - c) * *s, c + (r.max - c) * *s, 0.0);
    };
    setTarget(scaled(t[0], center.x(), x), scaled(t[1], center.y(), y));
}

void ViewBox::autoRange(double padding)
{
    const std::optional<QRectF> b = childrenBounds();
    if (!b)
        return;
    setTarget(makeRange(b->left(), b->right(), padding), makeRange(b->top(), b->bottom(), padding));
}

void ViewBox::enableAutoRange(bool enable)
{
    state_.autoRange = {{enable, enable}};
    onChildBoundsChanged();
}

void ViewBox::enableAutoRange(Axis axis, bool enable)
{
    state_.autoRange[axis] = enable;
    onChildBoundsChanged();
}

void ViewBox::onChildBoundsChanged()
{
    const auto& a = state_.autoRange;
    if (!a[0] && !a[1])
        return;
    const std::optional<QRectF> b = childrenBounds();
    if (!b)
        return;
    setTarget(a[0] ? makeRange(b->left(), b->right(), DefaultPadding) : std::nullopt,
              a[1] ? makeRange(b->top(), b->bottom(), DefaultPadding) : std::nullopt);
}

void ViewBox::linkAxis(int axis, ViewBox* other)
{
    if (!other || other == this)
        return;
    if (!links_[axis].contains(other))
        links_[axis].append(other);
    if (!other->links_[axis].contains(this))
        other->links_[axis].append(this);
    const Range r = other->state_.targetRange[axis];
    if (axis == XAxis)
        setTarget(r, std::nullopt);
    else
        setTarget(std::nullopt, r);
}

void ViewBox::unlinkAxis(int axis, ViewBox* other)
{
    if (!other)
        return;
    links_[axis].removeAll(other);
    other->links_[axis].removeAll(this);
}

void ViewBox::linkX(ViewBox* other)
{
    linkAxis(XAxis, other);
}

void ViewBox::linkY(ViewBox* other)
{
    linkAxis(YAxis, other);
}

void ViewBox::linkView(ViewBox* other)
{
    linkAxis(XAxis, other);
    linkAxis(YAxis, other);
}

void ViewBox::unlinkX(ViewBox* other)
{
    unlinkAxis(XAxis, other);
}

void ViewBox::unlinkY(ViewBox* other)
{
    unlinkAxis(YAxis, other);
}

void ViewBox::unlinkAll()
{
    for (int axis = 0; axis < 2; ++axis) {
        const auto peers = links_[axis];
        for (const QPointer<ViewBox>& p : peers)
            unlinkAxis(axis, p);
        links_[axis].clear();
    }
}

QList<ViewBox*> ViewBox::links(int axis) const
{
    QList<ViewBox*> out;
    for (const QPointer<ViewBox>& p : links_[axis])
        if (p)
            out.append(p);
    return out;
}

QList<ViewBox*> ViewBox::xLinks() const
{
    return links(XAxis);
}

QList<ViewBox*> ViewBox::yLinks() const
{
    return links(YAxis);
}

QList<ViewBox*> ViewBox::linkedComponent(int axis) const
{
    QList<ViewBox*> out{const_cast<ViewBox*>(this)};
    for (int i = 0; i < out.size(); ++i)
        for (const QPointer<ViewBox>& p : out[i]->links_[axis])
            if (p && !out.contains(p))
                out.append(p);
    return out;
}

QList<ViewBox*> ViewBox::allViews()
{
    return registry();
}

void ViewBox::registerView()
{
    if (!registry().contains(this))
        registry().append(this);
}

void ViewBox::unregister()
{
    registry().removeAll(this);
}

bool ViewBox::isRegistered() const
{
    return registry().contains(const_cast<ViewBox*>(this));
}

void ViewBox::setTarget(std::optional<Range> x, std::optional<Range> y)
{
    if (!x && !y)
        return;
    if (x)
        state_.targetRange[XAxis] = *x;
    if (y)
        state_.targetRange[YAxis] = *y;

    QList<QPointer<ViewBox>> followers;
    const bool propagate = !propagatingLinks;
    if (propagate) {
        propagatingLinks = true;
        const std::optional<Range> r[2] = {x, y};
        for (int axis = 0; axis < 2; ++axis) {
            if (!r[axis])
                continue;
            for (ViewBox* b : linkedComponent(axis)) {
                if (b == this)
                    continue;
                b->state_.targetRange[axis] = *r[axis];
                if (!followers.contains(b))
                    followers.append(b);
            }
        }
    }
    updateViewRange();
    for (const QPointer<ViewBox>& b : followers)
        if (b)
            b->updateViewRange();
    if (propagate)
        propagatingLinks = false;
}

void ViewBox::updateViewRange()
{
    std::array<Range, 2> v = state_.targetRange;
    const double w = size().width();
    const double h = size().height();
    if (state_.aspectLocked && w > 0.0 && h > 0.0) {
        // Keep the whole target in view: the axis with less room keeps its
        // span, the other is widened about its centre.
        const double r = state_.aspectRatio;
        const double sx = w / v[XAxis].span();
        const double sy = h / v[YAxis].span();
        if (sy * r <= sx)
            widen(v[XAxis], w / (sy * r));
        else
            widen(v[YAxis], h * r / sx);
    }
    const bool changed = v != state_.viewRange;
    state_.viewRange = v;
    updateTransform();
    if (!changed)
        return;
    const QRectF rect = viewRect();
    for (QGraphicsItem* item : childGroup_->childItems())
        if (GraphicsObject* g = asGraphicsObject(item))
            g->viewRangeChanged(rect);
    emit sigRangeChanged(rect);
}

void ViewBox::updateTransform()
{
    // Before the box has a size the mapping is nominal, but never singular.
    const double w = size().width() > 0.0 ? size().width() : 1.0;
    const double h = size().height() > 0.0 ? size().height() : 1.0;
    const Range& xr = state_.viewRange[XAxis];
    const Range& yr = state_.viewRange[YAxis];
    const double sx = w / xr.span();
    const double sy = h / yr.span();
    if (state_.yInverted)
        toBox_ = QTransform(sx, 0, 0, sy, -xr.min * sx, -yr.min * sy);
    else
        toBox_ = QTransform(sx, 0, 0, -sy, -xr.min * sx, h + yr.min * sy);
    toView_ = toBox_.inverted();
    childGroup_->setTransform(toBox_);
    update();
}

void ViewBox::resizeEvent(QGraphicsSceneResizeEvent* ev)
{
    QGraphicsWidget::resizeEvent(ev);
    updateViewRange();
}

void ViewBox::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (background_.isValid())
        painter->fillRect(rect(), background_);
}

void ViewBox::mouseDragEvent(MouseDragEvent& ev, std::optional<int> axis)
{
    const Qt::MouseButton button = ev.button();
    if (button != Qt::LeftButton && button != Qt::MiddleButton) {
        ev.ignore();
        return;
    }
    ev.accept();

    if (button == Qt::LeftButton && state_.mouseMode == RectMode && !axis) {
        const QRectF band = QRectF(ev.buttonDownPos(), ev.pos()).normalized();
        if (!ev.isFinish()) {
            showRubberBand(band);
            return;
        }
        rubberBand_->hide();
        if (band.width() <= 0.0 || band.height() <= 0.0)
            return;
        state_.autoRange = {{false, false}};
        setRange(mapRectToView(band));
        emit sigRangeChangedManually(state_.mouseEnabled);
        return;
    }

    std::array<double, 2> mask{{state_.mouseEnabled[0] ? 1.0 : 0.0, state_.mouseEnabled[1] ? 1.0 : 0.0}};
    if (axis && (*axis == XAxis || *axis == YAxis))
        mask[1 - *axis] = 0.0;
    const QPointF dif = ev.lastPos() - ev.pos();
    const QPointF tr = mapToView(QPointF(dif.x() * mask[0], dif.y() * mask[1])) - mapToView(QPointF(0, 0));
    std::optional<double> x, y;
    if (mask[0] == 1.0) {
        x = tr.x();
        state_.autoRange[XAxis] = false;
    }
    if (mask[1] == 1.0) {
        y = tr.y();
        state_.autoRange[YAxis] = false;
    }
    if (!x && !y)
        return;
    translateBy(x, y);
    emit sigRangeChangedManually(state_.mouseEnabled);
}

void ViewBox::mouseClickEvent(MouseClickEvent& ev)
{
    if (ev.button() == Qt::RightButton) {
        ev.accept();
        raiseContextMenu(ev);
    }
}

QMenu* ViewBox::getMenu(MouseClickEvent&)
{
    return menu;
}

void ViewBox::raiseContextMenu(MouseClickEvent& ev)
{
    if (QMenu* m = getMenu(ev))
        m->popup(ev.screenPos().toPoint());
}

void ViewBox::keyPressEvent(QKeyEvent* ev)
{
    ev->ignore();
}

void ViewBox::wheelEvent(QGraphicsSceneWheelEvent* ev)
{
    // One notch (120) zooms in by about a quarter.
    const double s = std::pow(1.02, ev->delta() * (-1.0 / 8.0));
    std::optional<double> x, y;
    if (state_.mouseEnabled[XAxis]) {
        x = s;
        state_.autoRange[XAxis] = false;
    }
    if (state_.mouseEnabled[YAxis]) {
        y = s;
        state_.autoRange[YAxis] = false;
    }
    if (!x && !y) {
        ev->ignore();
        return;
    }
    ev->accept();
    scaleBy(x, y, mapToView(ev->pos()));
    emit sigRangeChangedManually(state_.mouseEnabled);
}

void ViewBox::showRubberBand(const QRectF& boxRect)
{
    rubberBand_->setRect(boxRect);
    rubberBand_->show();
}

void ViewBox::endDrag()
{
    dragButton_ = Qt::NoButton;
    dragging_ = false;
    rubberBand_->hide();
}

void ViewBox::mousePressEvent(QGraphicsSceneMouseEvent* ev)
{
    ev->accept();
    if (dragButton_ != Qt::NoButton)
        return;
    dragButton_ = ev->button();
    dragging_ = false;
    downPos_ = ev->pos();
    downScreenPos_ = ev->screenPos();
    lastDragPos_ = ev->pos();
    lastDragScenePos_ = ev->scenePos();
    setFocus(Qt::MouseFocusReason);
}

void ViewBox::mouseMoveEvent(QGraphicsSceneMouseEvent* ev)
{
    if (dragButton_ == Qt::NoButton) {
        ev->ignore();
        return;
    }
    ev->accept();
    bool start = false;
    if (!dragging_) {
        if ((QPointF(ev->screenPos()) - downScreenPos_).manhattanLength() < QApplication::startDragDistance())
            return;
        dragging_ = true;
        start = true;
    }
    MouseDragEvent drag(ev->pos(), lastDragPos_, downPos_, dragButton_, ev->modifiers(), start, false);
    drag.setScenePositions(ev->scenePos(), lastDragScenePos_);
    lastDragPos_ = ev->pos();
    lastDragScenePos_ = ev->scenePos();
    mouseDragEvent(drag);
}

void ViewBox::mouseReleaseEvent(QGraphicsSceneMouseEvent* ev)
{
    ev->accept();
    if (ev->button() != dragButton_)
        return;
    if (dragging_) {
        MouseDragEvent drag(ev->pos(), lastDragPos_, downPos_, dragButton_, ev->modifiers(), false, true);
        drag.setScenePositions(ev->scenePos(), lastDragScenePos_);
        mouseDragEvent(drag);
    } else {
        MouseClickEvent click(ev->scenePos(), QPointF(ev->screenPos()), ev->button(), ev->modifiers(), ev->pos());
        mouseClickEvent(click);
    }
    endDrag();
}

void ViewBox::ungrabMouseEvent(QEvent* ev)
{
    endDrag();
    QGraphicsWidget::ungrabMouseEvent(ev);
}

} // namespace Plot
