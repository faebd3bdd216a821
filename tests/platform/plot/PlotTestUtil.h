#pragma once
// Helpers for the plot toolkit tests.

#include "platform/plot/ViewBox.h"

#include <QCoreApplication>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPointF>
#include <QRectF>
#include <gtest/gtest.h>

namespace PlotTest {

// Sends a scene mouse event as a view would; screen position = scene position.
inline void sendSceneMouse(QGraphicsScene& scene, QEvent::Type type, QPointF scenePos, Qt::MouseButton button,
                           Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QGraphicsSceneMouseEvent ev(type);
    ev.setScenePos(scenePos);
    ev.setScreenPos(scenePos.toPoint());
    ev.setButton(button);
    ev.setButtons(buttons);
    ev.setModifiers(modifiers);
    if (type == QEvent::GraphicsSceneMousePress) {
        ev.setButtonDownScenePos(button, scenePos);
        ev.setButtonDownScreenPos(button, scenePos.toPoint());
    }
    QCoreApplication::sendEvent(&scene, &ev);
}

// A view box placed in the scene (which owns it) at the given geometry.
inline Plot::ViewBox* addBox(QGraphicsScene& scene, const QRectF& geometry, bool invertY = true)
{
    auto* box = new Plot::ViewBox;
    scene.addItem(box);
    box->setGeometry(geometry);
    box->invertY(invertY);
    return box;
}

inline void expectRectNear(const QRectF& actual, const QRectF& expected, double tol = 1e-9)
{
    EXPECT_NEAR(actual.left(), expected.left(), tol);
    EXPECT_NEAR(actual.top(), expected.top(), tol);
    EXPECT_NEAR(actual.width(), expected.width(), tol);
    EXPECT_NEAR(actual.height(), expected.height(), tol);
}

inline void expectPointNear(const QPointF& actual, const QPointF& expected, double tol = 1e-9)
{
    EXPECT_NEAR(actual.x(), expected.x(), tol);
    EXPECT_NEAR(actual.y(), expected.y(), tol);
}

} // namespace PlotTest
