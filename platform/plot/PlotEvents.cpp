#include "platform/plot/PlotEvents.h"

namespace Plot {

MouseDragEvent::MouseDragEvent(QPointF pos, QPointF lastPos, QPointF buttonDownPos, Qt::MouseButton button,
                               Qt::KeyboardModifiers modifiers, bool start, bool finish)
    : pos_(pos)
    , lastPos_(lastPos)
    , buttonDownPos_(buttonDownPos)
    , button_(button)
    , modifiers_(modifiers)
    , start_(start)
    , finish_(finish)
{
}

void MouseDragEvent::setScenePositions(QPointF scenePos, QPointF lastScenePos)
{
    scenePos_ = scenePos;
    lastScenePos_ = lastScenePos;
}

MouseClickEvent::MouseClickEvent(QPointF scenePos, QPointF screenPos, Qt::MouseButton button,
                                 Qt::KeyboardModifiers modifiers, QPointF pos)
    : scenePos_(scenePos)
    , screenPos_(screenPos)
    , pos_(pos)
    , button_(button)
    , modifiers_(modifiers)
{
}

void registerMetaTypes()
{
    static const bool done = [] {
        qRegisterMetaType<Plot::MouseEnabled>("Plot::MouseEnabled");
        qRegisterMetaType<Plot::MouseClickEvent>("Plot::MouseClickEvent");
        return true;
    }();
    (void)done;
}

} // namespace Plot
