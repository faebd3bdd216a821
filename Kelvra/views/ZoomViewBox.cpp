#include "Kelvra/views/ZoomViewBox.h"

#include <QKeyEvent>
#include <array>

namespace Kelvra {

ZoomViewBox::ZoomViewBox(QGraphicsItem* parent)
    : Plot::ViewBox(parent)
{
    setMouseMode(RectMode);
    invertY();
    setAspectLocked(true);
    setBackgroundColor(QColor(0, 0, 0, 255));
}

void ZoomViewBox::mouseDragEvent(Plot::MouseDragEvent& ev, std::optional<int> axis)
{
    ev.accept();
    const QPointF dif = (ev.pos() - ev.lastPos()) * -1;
    const Plot::MouseEnabled& enabled = state().mouseEnabled;
    std::array<double, 2> mask{{enabled[0] ? 1.0 : 0.0, enabled[1] ? 1.0 : 0.0}};
    if (axis && (*axis == XAxis || *axis == YAxis))
        mask[1 - *axis] = 0.0;

    // Shift is read at every move: letting go of it hands the rest of the
    // drag to the rectangle zoom.
    if ((ev.button() & Qt::LeftButton) && (ev.modifiers() & Qt::ShiftModifier)) {
        QPointF tr(dif.x() * mask[0], dif.y() * mask[1]);
        tr = mapToView(tr) - mapToView(Plot::Point(0, 0));
        const std::optional<double> x = mask[0] == 1.0 ? std::optional<double>(tr.x()) : std::nullopt;
        const std::optional<double> y = mask[1] == 1.0 ? std::optional<double>(tr.y()) : std::nullopt;
        translateBy(x, y);
        emit sigRangeChangedManually(state().mouseEnabled);
        return;
    }
    Plot::ViewBox::mouseDragEvent(ev, axis);
}

void ZoomViewBox::setMenu(QMenu* m)
{
    menu = m;
}

void ZoomViewBox::raiseContextMenu(Plot::MouseClickEvent& ev)
{
    if (QMenu* m = getMenu(ev))
        m->popup(ev.screenPos().toPoint());
}

void ZoomViewBox::keyPressEvent(QKeyEvent* ev)
{
    switch (ev->key()) {
    case Qt::Key_R: emit resetView(); break;
    case Qt::Key_A: emit autoHistogram(); break;
    case Qt::Key_H: emit histogramToggle(); break;
    case Qt::Key_E: emit exportImage(); break;
    default: Plot::ViewBox::keyPressEvent(ev); return;
    }
    ev->accept();
}

} // namespace Kelvra
