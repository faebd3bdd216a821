#pragma once
// A label that reports clicks: every mouse-button release it receives emits
// clicked(), whatever the button, the modifiers or where the pointer is.

#include <QLabel>

namespace Kelvra {

class PressableLabel : public QLabel {
    Q_OBJECT
public:
    explicit PressableLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    // The release stays accepted, so it does not travel on to the parent.
    void mouseReleaseEvent(QMouseEvent* ev) override;
};

} // namespace Kelvra
