#pragma once
// A widget that shows plot items in a grid, all in one scene whose
// coordinates are the widget's pixels.

#include "platform/plot/GraphicsScene.h"

#include <QGraphicsView>

class QGraphicsGridLayout;

namespace Plot {

class PlotItem;

class GraphicsLayoutWidget : public QGraphicsView {
    Q_OBJECT
public:
    explicit GraphicsLayoutWidget(QWidget* parent = nullptr);

    GraphicsScene* scene() const { return scene_; }
    QGraphicsWidget* centralItem() const { return central_; }
    QGraphicsGridLayout* gridLayout() const { return grid_; }

    void setBackground(const QColor& color);

    // Places the item in the cell, or in the next free cell of the current
    // row when row or col is negative. An item already held moves to the new
    // cell, so the grid holds every item at most once.
    void addItem(QGraphicsWidget* item, int row = -1, int col = -1, int rowSpan = 1, int colSpan = 1);
    // Takes the item out of the grid and the scene without deleting it; the
    // caller owns it again. Items not held are left alone.
    void removeItem(QGraphicsWidget* item);
    bool containsItem(const QGraphicsWidget* item) const;
    // A new plot item placed like addItem().
    PlotItem* addPlot(int row = -1, int col = -1, int rowSpan = 1, int colSpan = 1);

protected:
    void resizeEvent(QResizeEvent* ev) override;
    void focusInEvent(QFocusEvent* ev) override;
    void keyPressEvent(QKeyEvent* ev) override;

private:
    void passFocus(Qt::FocusReason reason);

    GraphicsScene* scene_;
    QGraphicsWidget* central_;
    QGraphicsGridLayout* grid_;
    int currentRow_ = 0;
    int currentCol_ = 0;
};

} // namespace Plot
