#pragma once
// Mouse events of the plot toolkit. The scene and the view box build them from
// Qt's scene events; their constructors are public so that a handler can be
// driven directly.

#include <QMetaType>
#include <QPointF>
#include <array>

namespace Plot {

// The toolkit's point: a plain floating-point Qt point.
using Point = QPointF;

// Whether the mouse may move the x and the y axis of a view box.
using MouseEnabled = std::array<bool, 2>;

// One step of a mouse drag. Positions are in the receiving item's coordinates.
class MouseDragEvent {
public:
    MouseDragEvent(QPointF pos, QPointF lastPos, QPointF buttonDownPos, Qt::MouseButton button,
                   Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool start = false, bool finish = false);

    QPointF pos() const { return pos_; }
    QPointF lastPos() const { return lastPos_; }
    QPointF buttonDownPos() const { return buttonDownPos_; }
    // The button that started the drag.
    Qt::MouseButton button() const { return button_; }
    // Modifiers held at this step.
    Qt::KeyboardModifiers modifiers() const { return modifiers_; }
    bool isStart() const { return start_; }
    bool isFinish() const { return finish_; }

    QPointF scenePos() const { return scenePos_; }
    QPointF lastScenePos() const { return lastScenePos_; }
    void setScenePositions(QPointF scenePos, QPointF lastScenePos);

    void accept() { accepted_ = true; }
    void ignore() { accepted_ = false; }
    bool isAccepted() const { return accepted_; }

private:
    QPointF pos_, lastPos_, buttonDownPos_, scenePos_, lastScenePos_;
    Qt::MouseButton button_;
    Qt::KeyboardModifiers modifiers_;
    bool start_, finish_;
    bool accepted_ = false;
};

// A press and release of one button without a drag in between.
class MouseClickEvent {
public:
    MouseClickEvent() = default;
    MouseClickEvent(QPointF scenePos, QPointF screenPos, Qt::MouseButton button,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier, QPointF pos = {});

    QPointF scenePos() const { return scenePos_; }
    QPointF screenPos() const { return screenPos_; }
    // Position in the receiving item's coordinates (the scene position for the scene).
    QPointF pos() const { return pos_; }
    Qt::MouseButton button() const { return button_; }
    Qt::KeyboardModifiers modifiers() const { return modifiers_; }

    void accept() { accepted_ = true; }
    void ignore() { accepted_ = false; }
    bool isAccepted() const { return accepted_; }

private:
    QPointF scenePos_, screenPos_, pos_;
    Qt::MouseButton button_ = Qt::NoButton;
    Qt::KeyboardModifiers modifiers_ = Qt::NoModifier;
    bool accepted_ = false;
};

// Registers the event and flag types for queued connections and signal spies.
void registerMetaTypes();

} // namespace Plot

Q_DECLARE_METATYPE(Plot::MouseEnabled)
Q_DECLARE_METATYPE(Plot::MouseClickEvent)
