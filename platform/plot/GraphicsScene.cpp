#include "platform/plot/GraphicsScene.h"

#include <QApplication>
#include <QGraphicsSceneMouseEvent>

namespace Plot {

GraphicsScene::GraphicsScene(QObject* parent)
    : QGraphicsScene(parent)
{
    registerMetaTypes();
}

void GraphicsScene::notePress(QGraphicsSceneMouseEvent* ev)
{
    if (pressButton_ != Qt::NoButton)
        return;
    pressButton_ = ev->button();
    pressScreenPos_ = ev->screenPos();
    dragged_ = false;
}

void GraphicsScene::mousePressEvent(QGraphicsSceneMouseEvent* ev)
{
    notePress(ev);
    QGraphicsScene::mousePressEvent(ev);
}

void GraphicsScene::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* ev)
{
    notePress(ev);
    QGraphicsScene::mouseDoubleClickEvent(ev);
}

void GraphicsScene::mouseMoveEvent(QGraphicsSceneMouseEvent* ev)
{
    if (pressButton_ != Qt::NoButton
        && (QPointF(ev->screenPos()) - pressScreenPos_).manhattanLength() >= QApplication::startDragDistance())
        dragged_ = true;
    QGraphicsScene::mouseMoveEvent(ev);
    emit sigMouseMoved(ev->scenePos());
}

void GraphicsScene::mouseReleaseEvent(QGraphicsSceneMouseEvent* ev)
{
    QGraphicsScene::mouseReleaseEvent(ev);
    if (ev->button() != pressButton_)
        return;
    const bool click = !dragged_;
    pressButton_ = Qt::NoButton;
    dragged_ = false;
    if (click)
        emit sigMouseClicked(
            MouseClickEvent(ev->scenePos(), QPointF(ev->screenPos()), ev->button(), ev->modifiers(), ev->scenePos()));
}

} // namespace Plot
