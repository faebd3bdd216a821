#pragma once
// The zoomable image area of the 2D view: rectangle zoom, rows running
// downwards, square pixels on black. A left drag with Shift pans, the context
// menu is the one its owner hands in, and the keys R, A, H and E become
// signals.

#include "platform/plot/ViewBox.h"

#include <QMenu>

namespace Kelvra {

class ZoomViewBox : public Plot::ViewBox {
    Q_OBJECT
public:
    explicit ZoomViewBox(QGraphicsItem* parent = nullptr);

    void mouseDragEvent(Plot::MouseDragEvent& ev, std::optional<int> axis = std::nullopt) override;
    // Keeps the menu as the one a right click shows; no parent change.
    void setMenu(QMenu* menu);
    // Shows the menu alone at the click; nothing before setMenu().
    void raiseContextMenu(Plot::MouseClickEvent& ev) override;
    // Only the key code counts, modifiers are ignored.
    void keyPressEvent(QKeyEvent* ev) override;

signals:
    void resetView(); // key R
    void autoHistogram(); // key A
    void histogramToggle(); // key H
    void exportImage(); // key E
};

} // namespace Kelvra
