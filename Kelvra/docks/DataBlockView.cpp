#include "Kelvra/docks/DataBlockView.h"

#include "Kelvra/docks/PipelineDiagramDock.h"

#include <QAction>
#include <QGraphicsSceneContextMenuEvent>
#include <QPainter>

#include <utility>

namespace Kelvra {

DataBlockView::DataBlockView(std::shared_ptr<DataBlock> dataBlock, QSizeF size)
    : DataBlockView(std::move(dataBlock), size, DeferMenu{})
{
    DataBlockView::initMenu();
}

DataBlockView::DataBlockView(std::shared_ptr<DataBlock> node, QSizeF size, DeferMenu)
    : dataBlock(std::move(node))
    , blockName(dataBlock->blockName)
    , size(size)
    , status(dataBlock->status)
    , inputType(dataBlock->inputType)
    , outputType(dataBlock->outputType)
    , pipelineDiagramDock(dataBlock->pipelineDiagramDock)
{
    setRect(boundingRect());
    textOption.setAlignment(Qt::AlignCenter);
    textOption.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

DataBlockView::~DataBlockView() = default;

QRectF DataBlockView::boundingRect() const
{
    return QRectF(0, 0, size.width(), size.height());
}

void DataBlockView::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget)
{
    painter->setPen(QPen(QColor("black")));
    painter->setBrush(QBrush(QColor("white")));
    QRectF rect = boundingRect();
    painter->drawRect(rect);
    painter->drawText(rect, blockName, textOption);
    rect.moveTop(size.height()); // the band under the box
    painter->drawText(rect, status, textOption);
    QGraphicsRectItem::paint(painter, option, widget);
}

void DataBlockView::contextMenuEvent(QGraphicsSceneContextMenuEvent* event)
{
    menu->popup(event->screenPos());
    event->accept();
}

void DataBlockView::addDockAction(QMenu* target, const QString& text, std::function<void(PipelineDiagramDock*)> call)
{
    PipelineDiagramDock* dock = pipelineDiagramDock;
    auto* action = new QAction(text, dock);
    QObject::connect(action, &QAction::triggered, dock, [dock, call = std::move(call)] { call(dock); });
    target->addAction(action);
}

void DataBlockView::initMenu()
{
    menu = std::make_unique<QMenu>();
    if (!pipelineDiagramDock)
        return;
    if (inputType)
        filtersBeforeMenu =
            filterSubmenu(QStringLiteral("Add Filter Before"), *inputType, &PipelineDiagramDock::addFilterBefore);
    if (outputType)
        filtersAfterMenu =
            filterSubmenu(QStringLiteral("Add Filter After"), *outputType, &PipelineDiagramDock::addFilterAfter);
}

std::unique_ptr<QMenu> DataBlockView::filterSubmenu(const QString& title, Tavik::FrameType type, AddOperation add)
{
    const QStringList names = pipelineDiagramDock->getFiltersFor(type);
    if (names.isEmpty())
        return nullptr;
    auto submenu = std::make_unique<QMenu>(title);
    // Each entry holds the node itself, never a position in the row.
    for (const QString& name : names)
        addDockAction(submenu.get(), name, [node = dataBlock, name, type, add](PipelineDiagramDock* d) {
            (d->*add)(node.get(), name, type);
        });
    menu->addMenu(submenu.get());
    return submenu;
}

void DataBlockView::addFilterEntries(bool offerMoves)
{
    if (!pipelineDiagramDock)
        return;
    auto node = dataBlock;
    menu->addSeparator();
    if (offerMoves) {
        addDockAction(menu.get(), QStringLiteral("Move Left"),
                      [node](PipelineDiagramDock* d) { d->moveFilterLeft(node.get()); });
        addDockAction(menu.get(), QStringLiteral("Move Right"),
                      [node](PipelineDiagramDock* d) { d->moveFilterRight(node.get()); });
    }
    addDockAction(menu.get(), QStringLiteral("Remove"),
                  [node](PipelineDiagramDock* d) { d->removeFilter(node.get()); });
    addDockAction(menu.get(), QStringLiteral("Properties"),
                  [node](PipelineDiagramDock* d) { d->showFilterParameters(node.get()); });
}

FilterBlockView::FilterBlockView(std::shared_ptr<DataBlock> filterBlock, QSizeF size)
    : DataBlockView(std::move(filterBlock), size, DeferMenu{})
{
    FilterBlockView::initMenu();
}

void FilterBlockView::initMenu()
{
    DataBlockView::initMenu();
    addFilterEntries(false);
}

FilterBlockView1::FilterBlockView1(std::shared_ptr<DataBlock> filterBlock, QSizeF size)
    : DataBlockView(std::move(filterBlock), size, DeferMenu{})
{
    FilterBlockView1::initMenu();
}

void FilterBlockView1::initMenu()
{
    DataBlockView::initMenu();
    addFilterEntries(true);
}

} // namespace Kelvra
