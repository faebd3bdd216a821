#include "Kelvra/docks/PipelineDiagramDock.h"

#include "Kelvra/dialogs/FilterSettingsDialog.h"
#include "Kelvra/models/FilterChainModel.h"
#include "Kelvra/models/StreamHub.h"

#include <QMessageBox>

#include <algorithm>

namespace Kelvra {

namespace {

using Tavik::DepthCamera;

// A filter node (FilterBlock or FilterBlock1), or null for a stage.
const FilterNode* filterNodeOf(const DataBlock* node)
{
    return dynamic_cast<const FilterNode*>(node);
}

bool isStage(const DataBlock* node)
{
    return dynamic_cast<const ProcessBlock*>(node) != nullptr;
}

QString quoted(const QString& name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace

PipelineDiagramDock::PipelineDiagramDock(Tavik::CameraSystem* cameraSystem, StreamHub* depthCameraController)
    : QDockWidget(QStringLiteral("Data Flow Diagram"))
    , cameraSystem(cameraSystem)
    , depthCameraController(depthCameraController)
{
    setMinimumHeight(150);
    if (depthCameraController) {
        connect(depthCameraController, &StreamHub::onDepthCameraSet, this, &PipelineDiagramDock::setDepthCamera);
        connect(FilterChainModel::of(depthCameraController), &FilterChainModel::chainsEdited, this,
                &PipelineDiagramDock::refreshFilters);
    }
    setDepthCamera();

    diagram = new QGraphicsScene(this);
    mwidget = new QGraphicsView(diagram);
    setWidget(mwidget);

    size = QSizeF(sizeX, sizeY);
    // The filter table first: every block builds its menu from it.
    prepareFilterData();
    prepareData();
    prepareDiagram();
}

PipelineDiagramDock::~PipelineDiagramDock() = default;

void PipelineDiagramDock::setDepthCamera()
{
    depthCamera = depthCameraController ? depthCameraController->getDepthCamera() : nullptr;
    // The filters shown are those of the camera whose chains the menus edit.
    if (diagram)
        refreshFilters();
}

const QStringList& PipelineDiagramDock::getFiltersFor(Tavik::FrameType type) const
{
    static const QStringList none;
    auto it = filters.find(type);
    return it == filters.end() ? none : it->second;
}

void PipelineDiagramDock::prepareFilterData()
{
    filters.clear();
    for (Tavik::FrameType type : {DepthCamera::FRAME_RAW_FRAME_UNPROCESSED, DepthCamera::FRAME_RAW_FRAME_PROCESSED,
                                  DepthCamera::FRAME_DEPTH_FRAME, DepthCamera::FRAME_XYZI_POINT_CLOUD_FRAME})
        filters[type];
    for (const std::string& name : cameraSystem->getSupportedFilters()) {
        Tavik::FilterDescription description;
        if (!cameraSystem->getFilterDescription(name, description))
            continue;
        for (auto& [type, names] : filters)
            if (description.supports(type))
                names << QString::fromStdString(name);
    }
}

void PipelineDiagramDock::prepareData()
{
    items.clear();
    itemsView.clear();
    items.push_back(std::make_shared<ProcessBlock>(this, std::nullopt, DepthCamera::FRAME_RAW_FRAME_UNPROCESSED));
    items.push_back(std::make_shared<ProcessBlock>(this, DepthCamera::FRAME_RAW_FRAME_UNPROCESSED,
                                                   DepthCamera::FRAME_RAW_FRAME_PROCESSED));
    items.push_back(
        std::make_shared<ProcessBlock>(this, DepthCamera::FRAME_RAW_FRAME_PROCESSED, DepthCamera::FRAME_DEPTH_FRAME));
    items.push_back(std::make_shared<ProcessBlock>(this, DepthCamera::FRAME_DEPTH_FRAME,
                                                   DepthCamera::FRAME_XYZI_POINT_CLOUD_FRAME));
}

void PipelineDiagramDock::prepareDiagram()
{
    qreal x = 0;
    const std::size_t n = items.size();
    for (std::size_t i = 0; i < n; ++i) {
        DataBlockView* view = makeBlockView(items[i]);
        view->setPos(x, 0);
        diagram->addItem(view);
        itemsView.append(view);
        x += sizeX;

        auto* arrow = new DataArrow(*items[i]->outputType, QSizeF(sizeX, sizeY));
        arrow->setPos(x, 0);
        diagram->addItem(arrow);
        itemsView.append(arrow);
        x += sizeX;
    }
}

DataBlockView* PipelineDiagramDock::makeBlockView(const std::shared_ptr<DataBlock>& node) const
{
    if (isStage(node.get()))
        return new ProcessBlockView(node, size);
    return new FilterBlockView(node, size);
}

int PipelineDiagramDock::indexOf(const DataBlock* item) const
{
    auto it = std::find_if(items.begin(), items.end(), [item](const auto& node) { return node.get() == item; });
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

bool PipelineDiagramDock::isOfCurrentCamera(const DataBlock* node) const
{
    auto* filterNode = filterNodeOf(node);
    return !filterNode || filterNode->camera.lock() == depthCamera;
}

void PipelineDiagramDock::critical(const QString& title, const QString& text)
{
    QMessageBox::critical(this, title, text);
}

// --- editing ---------------------------------------------------------------------

bool PipelineDiagramDock::addFilter(const FilterChoice& filterName, Tavik::FrameType type, int beforeFilterIndex,
                                    int blockPosition, const DataBlock* indexOwner)
{
    if (!depthCamera) {
        critical(QStringLiteral("Depth Camera Missing"), QStringLiteral("No depth camera selected to add filter"));
        return false;
    }
    Tavik::FilterPtr filter;
    QString name;
    if (auto* text = std::get_if<QString>(&filterName)) {
        name = *text;
        filter = FilterChainModel::createFilter(*cameraSystem, text->toStdString(), type);
    } else {
        filter = std::get<Tavik::FilterPtr>(filterName);
        if (filter)
            name = QString::fromStdString(filter->name());
    }
    if (!filter) {
        critical(QStringLiteral("Filter not found"), QStringLiteral("Could not create filter ") + quoted(name));
        return false;
    }
    // Another camera's index would name some other filter here, or none.
    const int index = indexOwner && !isOfCurrentCamera(indexOwner)
        ? -1
        : FilterChainModel::addFilter(*depthCamera, filter, type, beforeFilterIndex);
    if (index < 0) {
        critical(QStringLiteral("Failed to add filter"), QStringLiteral("Could not add filter ") + quoted(name));
        return false;
    }
    items.insert(items.begin() + blockPosition,
                 std::make_shared<FilterBlock>(filter, index, this, type, type, QString(), depthCamera));
    insertDiagram(blockPosition);
    FilterChainModel::edited(depthCameraController);
    return true;
}

void PipelineDiagramDock::addFilterAfter(DataBlock* item, const FilterChoice& filterName, Tavik::FrameType type)
{
    const int i = indexOf(item);
    if (i < 0) {
        critical(QStringLiteral("Internal Error"), QStringLiteral("Item not present?"));
        return;
    }
    const DataBlock* next = getRightItem(item);
    addFilter(filterName, type, getNextFilterIndex(item), i + 1, next);
}

void PipelineDiagramDock::addFilterBefore(DataBlock* item, const FilterChoice& filterName, Tavik::FrameType type)
{
    const int i = indexOf(item);
    if (i < 0) {
        critical(QStringLiteral("Internal Error"), QStringLiteral("Item not present?"));
        return;
    }
    addFilter(filterName, type, getPreviousFilterIndex(item), i, item);
}

int PipelineDiagramDock::getNextFilterIndex(const DataBlock* item) const
{
    const DataBlock* next = getRightItem(item);
    if (!next || isStage(next))
        return -1;
    auto* filterNode = filterNodeOf(next);
    return filterNode ? filterNode->filterIndex : -1;
}

int PipelineDiagramDock::getPreviousFilterIndex(const DataBlock* item) const
{
    auto* filterNode = filterNodeOf(item);
    return filterNode ? filterNode->filterIndex : -1;
}

bool PipelineDiagramDock::removeFilter(DataBlock* item, bool updateDiagram)
{
    auto* filterNode = filterNodeOf(item);
    if (!filterNode) {
        critical(QStringLiteral("Not valid type"), QStringLiteral("Item not a filter block?"));
        return false;
    }
    const int i = indexOf(item);
    if (i < 0) {
        critical(QStringLiteral("Filter location"), QStringLiteral("Item not present?"));
        return false;
    }
    if (!depthCamera) {
        critical(QStringLiteral("Depth Camera Missing"), QStringLiteral("No depth camera selected to add filter"));
        return false;
    }
    if (!isOfCurrentCamera(item) || !depthCamera->removeFilter(filterNode->filterIndex, *item->outputType)) {
        critical(QStringLiteral("Remove Filter Failed"), QStringLiteral("Failed to remove filter"));
        return false;
    }
    items.erase(items.begin() + i);
    if (updateDiagram)
        removeDiagram(i);
    FilterChainModel::edited(depthCameraController);
    return true;
}

void PipelineDiagramDock::moveFilterLeft(DataBlock* item)
{
    moveFilter(item, -1);
}

void PipelineDiagramDock::moveFilterRight(DataBlock* item)
{
    moveFilter(item, +1);
}

void PipelineDiagramDock::moveFilter(DataBlock* item, int step)
{
    auto* node = dynamic_cast<FilterBlock*>(item);
    if (!node) {
        critical(QStringLiteral("Not valid type"), QStringLiteral("Item not a filter block?"));
        return;
    }
    const int i = indexOf(item);
    if (i < 0) {
        critical(QStringLiteral("Filter location"), QStringLiteral("Item not present?"));
        return;
    }
    const int j = i + step;
    if (j < 0 || j >= static_cast<int>(items.size()) || !dynamic_cast<FilterBlock*>(items[j].get())) {
        critical(QStringLiteral("Cannot move filter"),
                 step < 0 ? QStringLiteral("Filter is already the first item and cannot move it left.")
                          : QStringLiteral("Filter is already the last item and cannot move it right."));
        return;
    }
    const std::shared_ptr<DataBlock> neighbour = items[j];
    // Taken before the removal deletes the node.
    const Tavik::FilterPtr filter = node->filter;
    const Tavik::FrameType type = *node->inputType;
    if (!removeFilter(item))
        return;
    filter->reset();
    if (step < 0)
        addFilterBefore(neighbour.get(), filter, type);
    else
        addFilterAfter(neighbour.get(), filter, type);
}

void PipelineDiagramDock::showFilterParameters(DataBlock* item)
{
    if (auto* node = dynamic_cast<FilterBlock*>(item))
        FilterSettingsDialog::showDialog(node->filter);
}

DataBlock* PipelineDiagramDock::getLeftItem(const DataBlock* item) const
{
    const int i = indexOf(item);
    return i > 0 ? items[i - 1].get() : nullptr;
}

DataBlock* PipelineDiagramDock::getRightItem(const DataBlock* item) const
{
    const int i = indexOf(item);
    return i >= 0 && i + 1 < static_cast<int>(items.size()) ? items[i + 1].get() : nullptr;
}

void PipelineDiagramDock::refreshFilters()
{
    for (const auto& [type, names] : filters) {
        // The chain's nodes, by their positions in the row.
        std::vector<int> positions;
        std::vector<FilterChainModel::Shown> shown;
        for (std::size_t i = 0; i < items.size(); ++i)
            if (const FilterNode* node = filterNodeOf(items[i].get()); node && node->outputType == type) {
                positions.push_back(static_cast<int>(i));
                shown.push_back({node->filterIndex, node->camera});
            }
        FilterChainModel::reconcile(
            shown, depthCamera, type,
            [&](std::size_t k) {
                items.erase(items.begin() + positions[k]);
                removeDiagram(positions[k]);
            },
            [&, type = type](const Tavik::DepthCamera::ChainedFilter& member, int after) {
                // Behind the node of the member before it, or first after
                // the stage that makes the chain's frame type.
                const auto behind = std::find_if(items.begin(), items.end(), [&](const auto& item) {
                    const FilterNode* node = filterNodeOf(item.get());
                    return after < 0
                        ? isStage(item.get()) && item->outputType == type
                        : node && node->outputType == type && node->filterIndex == after && isOfCurrentCamera(node);
                });
                if (behind == items.end())
                    return;
                const int at = static_cast<int>(behind - items.begin()) + 1;
                items.insert(items.begin() + at,
                             std::make_shared<FilterBlock>(member.filter, member.index, this, type, type, QString(),
                                                           depthCamera));
                insertDiagram(at);
            });
    }
}

// --- the row -----------------------------------------------------------------------

void PipelineDiagramDock::insertDiagram(int blockPosition)
{
    const std::shared_ptr<DataBlock>& node = items[blockPosition];
    DataBlockView* view = makeBlockView(node);
    itemsView.insert(2 * blockPosition, view);
    diagram->addItem(view);
    auto* arrow = new DataArrow(*node->outputType, QSizeF(sizeX, sizeY));
    itemsView.insert(2 * blockPosition + 1, arrow);
    diagram->addItem(arrow);
    layoutRow();
}

void PipelineDiagramDock::removeDiagram(int blockPosition)
{
    // Hidden, not deleted: the scene keeps them for the life of the dock.
    QGraphicsItem* arrow = itemsView.at(2 * blockPosition + 1);
    QGraphicsItem* view = itemsView.at(2 * blockPosition);
    arrow->hide();
    view->hide();
    itemsView.removeAt(2 * blockPosition + 1);
    itemsView.removeAt(2 * blockPosition);
    layoutRow();
}

void PipelineDiagramDock::layoutRow()
{
    qreal x = 0;
    for (QGraphicsItem* item : itemsView) {
        item->setPos(x, 0);
        x += sizeX;
    }
}

} // namespace Kelvra
