#pragma once
// Block items of the filter-chain diagram: a white box with the node's name
// centred in it, its status under it, and the node's context menu, whose
// entries call the dock's editing operations with the node.

#include "Kelvra/docks/DiagramNodes.h"

#include <QGraphicsRectItem>
#include <QMenu>
#include <QSizeF>
#include <QTextOption>

#include <functional>
#include <memory>

namespace Kelvra {

class DataBlockView : public QGraphicsRectItem {
public:
    // The node's fields are copied once; the menu is built at once.
    explicit DataBlockView(std::shared_ptr<DataBlock> dataBlock, QSizeF size = QSizeF(100, 100));
    ~DataBlockView() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    const std::shared_ptr<DataBlock>& getDataBlock() const { return dataBlock; }
    const QString& getBlockName() const { return blockName; }
    const QString& getStatus() const { return status; }
    QSizeF getSize() const { return size; }
    QMenu* getMenu() const { return menu.get(); }
    QMenu* getFiltersBeforeMenu() const { return filtersBeforeMenu.get(); }
    QMenu* getFiltersAfterMenu() const { return filtersAfterMenu.get(); }

protected:
    // For subclasses that build a menu of their own: copies the node but
    // leaves the menu to the subclass's constructor.
    struct DeferMenu { };
    DataBlockView(std::shared_ptr<DataBlock> dataBlock, QSizeF size, DeferMenu);

    void contextMenuEvent(QGraphicsSceneContextMenuEvent* event) override;
    // The two filter submenus; subclasses append their own entries.
    virtual void initMenu();
    // Appends an action owned by the dock that runs `call` when triggered.
    void addDockAction(QMenu* target, const QString& text, std::function<void(PipelineDiagramDock*)> call);
    // A separator, then "Move Left" and "Move Right" when offered, "Remove"
    // and "Properties": the entries of a filter's menu.
    void addFilterEntries(bool offerMoves);

    using AddOperation = void (PipelineDiagramDock::*)(DataBlock*, const FilterChoice&, Tavik::FrameType);
    // The submenu listing the filters the dock supports on `type`, each
    // calling `add` with this node; nothing when there are none.
    std::unique_ptr<QMenu> filterSubmenu(const QString& title, Tavik::FrameType type, AddOperation add);

    std::shared_ptr<DataBlock> dataBlock; // held so that a menu entry never outlives its node
    QString blockName;
    QSizeF size;
    QString status;
    OptionalFrameType inputType;
    OptionalFrameType outputType;
    PipelineDiagramDock* pipelineDiagramDock;
    QTextOption textOption;
    std::unique_ptr<QMenu> menu;
    std::unique_ptr<QMenu> filtersBeforeMenu;
    std::unique_ptr<QMenu> filtersAfterMenu;
};

class ProcessBlockView : public DataBlockView {
public:
    using DataBlockView::DataBlockView;
};

// Adds "Remove" and "Properties" to the menu.
class FilterBlockView : public DataBlockView {
public:
    explicit FilterBlockView(std::shared_ptr<DataBlock> filterBlock, QSizeF size = QSizeF(100, 100));

protected:
    void initMenu() override;
};

// Variants nothing in the viewer builds; the second is the one block that
// offers moving a filter.
class ProcessBlockView1 : public DataBlockView {
public:
    using DataBlockView::DataBlockView;
};

class FilterBlockView1 : public DataBlockView {
public:
    explicit FilterBlockView1(std::shared_ptr<DataBlock> filterBlock, QSizeF size = QSizeF(100, 100));

protected:
    void initMenu() override;
};

} // namespace Kelvra
