#pragma once
// Scene of a GraphicsLayoutWidget: announces pointer moves and clicks in
// scene coordinates, whatever item handled them.

#include "platform/plot/PlotEvents.h"

#include <QGraphicsScene>

namespace Plot {

class GraphicsScene : public QGraphicsScene {
    Q_OBJECT
public:
    explicit GraphicsScene(QObject* parent = nullptr);

signals:
    // Every pointer move over the scene, with or without a button down.
    void sigMouseMoved(const QPointF& scenePos);
    // A press and release of one button without a drag in between; sent
    // after the items have handled the release.
    void sigMouseClicked(const Plot::MouseClickEvent& ev);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* ev) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* ev) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* ev) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* ev) override;

private:
    void notePress(QGraphicsSceneMouseEvent* ev);

    Qt::MouseButton pressButton_ = Qt::NoButton;
    QPointF pressScreenPos_;
    bool dragged_ = false;
};

} // namespace Plot
