#pragma once
// Dock panel "Data Flow Diagram": the camera's four processing stages and
// the filters of its per-frame-type chains drawn on one row, each node
// followed by an arrow. Filters are added, removed, moved and configured
// from the blocks' context menus; every change is made in the camera first
// and shown only when the camera took it.

#include "Kelvra/docks/DataArrow.h"
#include "Kelvra/docks/DataBlockView.h"
#include "Kelvra/docks/DiagramNodes.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <QDockWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QList>
#include <QSizeF>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace Kelvra {

class StreamHub;

class PipelineDiagramDock : public QDockWidget {
    Q_OBJECT
public:
    // Both are the host's and must outlive the dock. A camera the controller
    // holds now is taken over at once; later ones follow onDepthCameraSet.
    PipelineDiagramDock(Tavik::CameraSystem* cameraSystem, StreamHub* depthCameraController);
    ~PipelineDiagramDock() override;

    // Names of the filters that can stand in that frame type's chain, in the
    // camera system's order; empty for a value that is no frame type.
    const QStringList& getFiltersFor(Tavik::FrameType type) const;

    // Editing. Each refusal shows its message box and changes nothing.
    // `indexOwner`: the node whose filterIndex `beforeFilterIndex` is, if any;
    // an index of another camera's node is not passed to this camera.
    bool addFilter(const FilterChoice& filterName, Tavik::FrameType type, int beforeFilterIndex, int blockPosition,
                   const DataBlock* indexOwner = nullptr);
    void addFilterAfter(DataBlock* item, const FilterChoice& filterName, Tavik::FrameType type);
    void addFilterBefore(DataBlock* item, const FilterChoice& filterName, Tavik::FrameType type);
    int getNextFilterIndex(const DataBlock* item) const;
    int getPreviousFilterIndex(const DataBlock* item) const;
    bool removeFilter(DataBlock* item, bool updateDiagram = true);
    void moveFilterLeft(DataBlock* item);
    void moveFilterRight(DataBlock* item);
    // Opens the filter's settings dialog and returns at once.
    void showFilterParameters(DataBlock* item);
    DataBlock* getLeftItem(const DataBlock* item) const;
    DataBlock* getRightItem(const DataBlock* item) const;

    // Row operations: the block and arrow of the node just inserted at, or
    // deleted from, `blockPosition`, then the whole row placed again.
    void insertDiagram(int blockPosition);
    void removeDiagram(int blockPosition);

    // Read access.
    Tavik::CameraSystem* getCameraSystem() const { return cameraSystem; }
    StreamHub* getDepthCameraController() const { return depthCameraController; }
    const Tavik::DepthCameraPtr& getDepthCamera() const { return depthCamera; }
    const std::vector<std::shared_ptr<DataBlock>>& getItems() const { return items; }
    const QList<QGraphicsItem*>& getItemsView() const { return itemsView; }
    const std::map<Tavik::FrameType, QStringList>& getFilters() const { return filters; }
    QGraphicsScene* getDiagram() const { return diagram; }
    QGraphicsView* getView() const { return mwidget; }
    QSizeF getSize() const { return size; }

    static constexpr int sizeX = 95;
    static constexpr int sizeY = 60;

public slots:
    // Takes the controller's current camera and shows its chains as it holds
    // them (refreshFilters); without a camera the diagram stays.
    void setDepthCamera();
    // Shows the current camera's chains as it holds them, also after an edit
    // in either chain editor: nodes of its filters no longer there, and of
    // any other camera, go; its filters without a node get one in chain order.
    void refreshFilters();

protected:
    void prepareFilterData();
    void prepareData();
    void prepareDiagram();

    Tavik::CameraSystem* cameraSystem;
    StreamHub* depthCameraController;
    Tavik::DepthCameraPtr depthCamera;
    QGraphicsScene* diagram = nullptr;
    QGraphicsView* mwidget = nullptr;
    QSizeF size;
    std::map<Tavik::FrameType, QStringList> filters;
    // Nodes are shared with their block views, so a menu entry of a removed
    // node still names that node and never another one.
    std::vector<std::shared_ptr<DataBlock>> items;
    QList<QGraphicsItem*> itemsView; // owned by the scene

private:
    int indexOf(const DataBlock* item) const;
    // A block item for the node: a stage's or a filter's.
    DataBlockView* makeBlockView(const std::shared_ptr<DataBlock>& node) const;
    // Entry j at (j * sizeX, 0).
    void layoutRow();
    // True when the node's filter index may be passed to the current camera.
    bool isOfCurrentCamera(const DataBlock* node) const;
    // Moves a filter node one place within its chain (left: -1, right: +1).
    void moveFilter(DataBlock* item, int step);
    void critical(const QString& title, const QString& text);
};

} // namespace Kelvra
