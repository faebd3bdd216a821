// The filter-chain diagram dock on the simulated camera: every edit goes
// through the blocks' real context menus, and the camera's chains, the row
// and the refusal boxes are checked after each step.

#include "Kelvra/dialogs/FilterSettingsDialog.h"
#include "Kelvra/docks/PipelineDiagramDock.h"
#include "Kelvra/models/FilterChainModel.h"
#include "Kelvra/models/StreamHub.h"
#include "platform/log/Logger.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Frame.h"
#include "Tavik/Simulation.h"
#include "tavik/src/Detail.h" // to read a camera's chains

#include <QAction>
#include <QContextMenuEvent>
#include <QGraphicsView>
#include <QMenu>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <mutex>

using namespace Kelvra;
using KelvraTest::MessageBoxLog;
using Tavik::DepthCamera;
using Tavik::FrameType;

namespace {

constexpr FrameType UNPROCESSED = DepthCamera::FRAME_RAW_FRAME_UNPROCESSED;
constexpr FrameType PROCESSED = DepthCamera::FRAME_RAW_FRAME_PROCESSED;
constexpr FrameType DEPTH = DepthCamera::FRAME_DEPTH_FRAME;
constexpr FrameType CLOUD = DepthCamera::FRAME_XYZI_POINT_CLOUD_FRAME;

const QString Median = "Tavik::MedianFilter";
const QString Temporal = "Tavik::TemporalMedianFilter";
const QString Bilateral = "Tavik::BilateralFilter";
const QString Gate = "Tavik::AmplitudeGateFilter";
const QString Average = "Tavik::RawFrameAverageFilter";
const QString Outlier = "Tavik::PointCloud::OutlierFilter";
const QString Pass = "Tavik::PassThroughFilter";

QString shortName(const std::string& name)
{
    return QString::fromStdString(name).remove("Tavik::");
}

// The camera's chain of one type: filter names, and the indexes it gave them.
QStringList chainOf(const Tavik::DepthCameraPtr& camera, FrameType type)
{
    return camera->state()->withLock([&] {
        QStringList names;
        for (const auto& entry : camera->state()->chains[type])
            names << shortName(entry.filter->name());
        return names;
    });
}

std::vector<int> indexesOf(const Tavik::DepthCameraPtr& camera, FrameType type)
{
    return camera->state()->withLock([&] {
        std::vector<int> indexes;
        for (const auto& entry : camera->state()->chains[type])
            indexes.push_back(entry.index);
        return indexes;
    });
}

// Right-clicks the block in its view, as a user would, and returns the menu
// that opened.
QMenu* openMenu(QGraphicsView* view, QGraphicsItem* block)
{
    view->ensureVisible(block, 0, 0);
    const QPoint pos = view->mapFromScene(block->sceneBoundingRect().center());
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
    QCoreApplication::sendEvent(view->viewport(), &event);
    for (auto* menu : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMenu*>(menu); m && m->isVisible())
            return m;
    return nullptr;
}

// The entry of `menu` reached through `path` (submenu titles, then the entry).
QAction* entryOf(QMenu* menu, const QStringList& path)
{
    QAction* found = nullptr;
    for (const QString& text : path) {
        if (!menu)
            return nullptr;
        found = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == text)
                found = a;
        if (!found)
            return nullptr;
        menu = found->menu();
    }
    return found;
}

// The texts of a menu's entries, "-" for a separator.
QStringList textsOf(QMenu* menu)
{
    QStringList texts;
    if (menu)
        for (QAction* a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

} // namespace

class DiagramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        devices = system.scan();
        camera = system.connect(devices.at(0));
        ASSERT_TRUE(camera);
        hub = std::make_unique<StreamHub>(&system, camera);
        makeDock();
    }

    void TearDown() override
    {
        EXPECT_TRUE(boxes.seen.isEmpty()) << boxes.seen.join("; ").toStdString();
        for (auto* w : QApplication::topLevelWidgets())
            if (qobject_cast<FilterSettingsDialog*>(w) || qobject_cast<QMenu*>(w))
                w->close();
        dock.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void makeDock()
    {
        dock = std::make_unique<PipelineDiagramDock>(&system, hub.get());
        dock->resize(700, 200);
        dock->show();
    }

    // The boxes shown since the last call, closed as they came.
    QStringList takeBoxes()
    {
        const QStringList seen = boxes.seen;
        boxes.seen.clear();
        return seen;
    }

    QGraphicsView* view() const { return dock->getView(); }
    const std::vector<std::shared_ptr<DataBlock>>& items() const { return dock->getItems(); }
    DataBlock* node(int k) const { return items().at(k).get(); }
    DataBlockView* blockOf(int k) const { return dynamic_cast<DataBlockView*>(dock->getItemsView().at(2 * k)); }
    FilterBlock* filterNode(int k) const { return dynamic_cast<FilterBlock*>(node(k)); }

    // Right-clicks node k's block and picks the entry at `path`; false when
    // the menu or the entry is missing.
    bool pick(int k, const QStringList& path) { return pickIn(view(), blockOf(k), path); }
    static bool pickIn(QGraphicsView* view, QGraphicsItem* block, const QStringList& path)
    {
        QMenu* menu = openMenu(view, block);
        QAction* action = entryOf(menu, path);
        if (menu)
            menu->hide();
        if (!action)
            return false;
        action->trigger();
        return true;
    }
    bool addAfter(int k, const QString& filter) { return pick(k, {"Add Filter After", filter}); }
    bool addBefore(int k, const QString& filter) { return pick(k, {"Add Filter Before", filter}); }

    // The nodes left to right: a stage as "[n]" with its output type, a
    // filter by its short name.
    QStringList row() const
    {
        QStringList names;
        for (const auto& n : items()) {
            if (auto* f = dynamic_cast<FilterBlock*>(n.get()))
                names << shortName(f->filter->name());
            else
                names << QString("[%1]").arg(*n->outputType);
        }
        return names;
    }

    // The scene row matches the node list: block k and its arrow at cells 2k
    // and 2k + 1, each cell 95 wide, every entry shown.
    void expectRowInStep() const
    {
        const auto& cells = dock->getItemsView();
        ASSERT_EQ(cells.size(), static_cast<int>(2 * items().size()));
        for (int j = 0; j < cells.size(); ++j) {
            EXPECT_EQ(cells[j]->pos(), QPointF(j * 95, 0)) << "entry " << j;
            EXPECT_TRUE(cells[j]->isVisible()) << "entry " << j;
            EXPECT_EQ(cells[j]->scene(), dock->getDiagram());
        }
        for (std::size_t k = 0; k < items().size(); ++k) {
            auto* block = dynamic_cast<DataBlockView*>(cells[2 * k]);
            ASSERT_TRUE(block);
            EXPECT_EQ(block->getDataBlock(), items()[k]);
            const bool stage = dynamic_cast<ProcessBlock*>(items()[k].get()) != nullptr;
            EXPECT_EQ(dynamic_cast<ProcessBlockView*>(block) != nullptr, stage);
            EXPECT_EQ(dynamic_cast<FilterBlockView*>(block) != nullptr, !stage);
            EXPECT_EQ(block->getSize(), QSizeF(95, 60));
            auto* arrow = dynamic_cast<DataArrow*>(cells[2 * k + 1]);
            ASSERT_TRUE(arrow);
            EXPECT_EQ(arrow->getCaption(), FrameTypeToName.at(*items()[k]->outputType));
            EXPECT_EQ(arrow->getSize(), QSizeF(95, 60));
        }
    }

    // Every filter node holds the index the camera gave its filter.
    void expectIndexesOfChain(FrameType type) const
    {
        std::vector<int> held;
        for (const auto& n : items())
            if (auto* f = dynamic_cast<FilterBlock*>(n.get()); f && f->outputType == type)
                held.push_back(f->filterIndex);
        EXPECT_EQ(held, indexesOf(camera, type));
    }

    Tavik::CameraSystem system;
    std::vector<Tavik::CameraDevicePtr> devices;
    Tavik::DepthCameraPtr camera;
    std::unique_ptr<StreamHub> hub;
    std::unique_ptr<PipelineDiagramDock> dock;
    MessageBoxLog boxes; // no test waits on a box it did not expect
};

TEST_F(DiagramTest, FourStagesAndTheirArrowsOnOneRow)
{
    EXPECT_EQ(dock->windowTitle(), "Data Flow Diagram");
    EXPECT_EQ(dock->minimumHeight(), 150);
    EXPECT_EQ(dock->widget(), view());
    EXPECT_EQ(view()->scene(), dock->getDiagram());
    EXPECT_EQ(dock->getDiagram()->parent(), dock.get());
    EXPECT_EQ(dock->getSize(), QSizeF(95, 60));

    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "[2]", "[3]"}));
    const std::vector<OptionalFrameType> inputs = {std::nullopt, UNPROCESSED, PROCESSED, DEPTH};
    const QStringList names = {"Raw Frame (unprocessed)", "Raw Frame (processed)", "Depth\nFrame",
                               "Point Cloud\nFrame"};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(node(k)->inputType, inputs[k]);
        EXPECT_EQ(node(k)->outputType, OptionalFrameType(k));
        EXPECT_EQ(node(k)->blockName, names[k]);
        EXPECT_EQ(blockOf(k)->getBlockName(), names[k]);
        EXPECT_TRUE(node(k)->status.isEmpty());
        EXPECT_EQ(node(k)->pipelineDiagramDock, dock.get());
    }
    expectRowInStep(); // blocks at 0, 190, 380, 570; arrows at 95, 285, 475, 665
    EXPECT_EQ(dock->getDiagram()->items().size(), 8);
}

TEST_F(DiagramTest, FilterTableFromTheCameraSystemsDescriptions)
{
    // LegacyFilter has no description and ReservedFilter fits no chain.
    EXPECT_EQ(dock->getFiltersFor(UNPROCESSED), QStringList({Average, Pass}));
    EXPECT_EQ(dock->getFiltersFor(PROCESSED), QStringList({Median, Temporal, Bilateral, Gate, Pass}));
    EXPECT_EQ(dock->getFiltersFor(DEPTH), QStringList({Median, Temporal, Bilateral, Pass}));
    EXPECT_EQ(dock->getFiltersFor(CLOUD), QStringList({Gate, Outlier, Pass}));
    EXPECT_EQ(dock->getFilters().size(), 4u);
    EXPECT_TRUE(dock->getFiltersFor(4).isEmpty());
}

TEST_F(DiagramTest, FollowsTheControllersCamera)
{
    EXPECT_EQ(dock->getDepthCamera(), camera); // held at construction: taken over
    ASSERT_TRUE(addAfter(1, Median));

    // No camera: the diagram stays as it is.
    hub->disconnectDepthCamera();
    EXPECT_EQ(dock->getDepthCamera(), nullptr);
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "MedianFilter", "[2]", "[3]"}));
    expectRowInStep();

    // Another camera: its chains, a fresh camera has none.
    auto other = system.connect(devices.at(1));
    hub->setDepthCamera(other);
    EXPECT_EQ(dock->getDepthCamera(), other);
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "[2]", "[3]"}));
    expectRowInStep();

    // The same camera set again: its chains as it holds them now.
    ASSERT_GE(other->addFilter(system.createFilter(Pass.toStdString(), DEPTH), DEPTH), 0);
    hub->setDepthCamera(other);
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "[2]", "PassThroughFilter", "[3]"}));
    expectRowInStep();

    StreamHub empty(&system);
    PipelineDiagramDock fresh(&system, &empty);
    EXPECT_EQ(fresh.getDepthCamera(), nullptr);
    EXPECT_EQ(fresh.getItems().size(), 4u);
    empty.setDepthCamera(camera);
    EXPECT_EQ(fresh.getDepthCamera(), camera);
}

TEST_F(DiagramTest, MenusOfStagesAndFilters)
{
    EXPECT_EQ(textsOf(openMenu(view(), blockOf(0))), QStringList({"Add Filter After"}));
    EXPECT_FALSE(blockOf(0)->getFiltersBeforeMenu());
    EXPECT_EQ(textsOf(blockOf(0)->getFiltersAfterMenu()), QStringList({Average, Pass}));
    blockOf(0)->getMenu()->hide();

    EXPECT_EQ(textsOf(openMenu(view(), blockOf(2))), QStringList({"Add Filter Before", "Add Filter After"}));
    EXPECT_EQ(textsOf(blockOf(2)->getFiltersBeforeMenu()), dock->getFiltersFor(PROCESSED));
    EXPECT_EQ(textsOf(blockOf(2)->getFiltersAfterMenu()), dock->getFiltersFor(DEPTH));
    blockOf(2)->getMenu()->hide();

    ASSERT_TRUE(addAfter(3, Outlier));
    EXPECT_EQ(textsOf(openMenu(view(), blockOf(4))),
              QStringList({"Add Filter Before", "Add Filter After", "-", "Remove", "Properties"}));
    EXPECT_EQ(textsOf(blockOf(4)->getFiltersBeforeMenu()), QStringList({Gate, Outlier, Pass}));
    EXPECT_EQ(textsOf(blockOf(4)->getFiltersAfterMenu()), QStringList({Gate, Outlier, Pass}));
    blockOf(4)->getMenu()->hide();

    // The dock owns every entry.
    for (int k = 0; k < 5; ++k) {
        for (QMenu* menu :
             {blockOf(k)->getMenu(), blockOf(k)->getFiltersBeforeMenu(), blockOf(k)->getFiltersAfterMenu()}) {
            for (QAction* a : menu ? menu->actions() : QList<QAction*>()) {
                if (!a->menu() && !a->isSeparator()) {
                    EXPECT_EQ(a->parent(), dock.get()) << a->text().toStdString();
                }
            }
        }
    }
}

TEST_F(DiagramTest, AddingAfterAndBeforeStagesAndFilters)
{
    // After stage 1: first in the processed chain (-1 while it is empty).
    ASSERT_TRUE(addAfter(1, Median));
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "MedianFilter", "[2]", "[3]"}));
    EXPECT_EQ(chainOf(camera, PROCESSED), QStringList({"MedianFilter"}));
    EXPECT_EQ(filterNode(2)->inputType, OptionalFrameType(PROCESSED));
    EXPECT_EQ(filterNode(2)->outputType, OptionalFrameType(PROCESSED));
    EXPECT_EQ(blockOf(2)->getBlockName(), "Tavik::\nMedianFilter");
    expectRowInStep();

    // Again after stage 1: ahead of the first, by its index.
    ASSERT_TRUE(addAfter(1, Gate));
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "AmplitudeGateFilter", "MedianFilter", "[2]", "[3]"}));
    EXPECT_EQ(chainOf(camera, PROCESSED), QStringList({"AmplitudeGateFilter", "MedianFilter"}));
    expectRowInStep();

    // Before stage 2: the end of the processed chain.
    ASSERT_TRUE(addBefore(4, Bilateral));
    EXPECT_EQ(row(),
              QStringList({"[0]", "[1]", "AmplitudeGateFilter", "MedianFilter", "BilateralFilter", "[2]", "[3]"}));
    EXPECT_EQ(chainOf(camera, PROCESSED), QStringList({"AmplitudeGateFilter", "MedianFilter", "BilateralFilter"}));

    // Before a filter: directly ahead of it, in the list and in the camera.
    ASSERT_TRUE(addBefore(3, Pass));
    EXPECT_EQ(chainOf(camera, PROCESSED),
              QStringList({"AmplitudeGateFilter", "PassThroughFilter", "MedianFilter", "BilateralFilter"}));
    EXPECT_EQ(row().mid(2, 4), chainOf(camera, PROCESSED));
    expectIndexesOfChain(PROCESSED);
    expectRowInStep();

    // After the last filter of a chain (a stage follows): appended.
    ASSERT_TRUE(addAfter(0, Average));
    ASSERT_TRUE(addAfter(1, Pass)); // after the new filter, before stage 1
    EXPECT_EQ(chainOf(camera, UNPROCESSED), QStringList({"RawFrameAverageFilter", "PassThroughFilter"}));

    // After the last stage: the end of the list, its arrow the last entry.
    ASSERT_TRUE(addAfter(static_cast<int>(items().size()) - 1, Outlier));
    ASSERT_TRUE(addAfter(static_cast<int>(items().size()) - 1, Pass));
    EXPECT_EQ(row().mid(row().size() - 3), QStringList({"[3]", "PointCloud::OutlierFilter", "PassThroughFilter"}));
    EXPECT_EQ(chainOf(camera, CLOUD), QStringList({"PointCloud::OutlierFilter", "PassThroughFilter"}));
    auto* lastArrow = dynamic_cast<DataArrow*>(dock->getItemsView().last());
    ASSERT_TRUE(lastArrow);
    EXPECT_EQ(lastArrow->getCaption(), "Point Cloud\nFrame");
    expectIndexesOfChain(UNPROCESSED);
    expectIndexesOfChain(CLOUD);
    expectRowInStep();
}

TEST_F(DiagramTest, RemovingShiftsTheRowAndHidesTheItems)
{
    ASSERT_TRUE(addAfter(2, Median));
    ASSERT_TRUE(addAfter(3, Bilateral));
    ASSERT_TRUE(addAfter(4, Pass));
    ASSERT_EQ(row(), QStringList({"[0]", "[1]", "[2]", "MedianFilter", "BilateralFilter", "PassThroughFilter", "[3]"}));
    const int medianIndex = filterNode(3)->filterIndex;
    const int passIndex = filterNode(5)->filterIndex;
    DataBlockView* removedBlock = blockOf(4);
    QGraphicsItem* removedArrow = dock->getItemsView().at(9);
    const int sceneItems = dock->getDiagram()->items().size();

    ASSERT_TRUE(pick(4, {"Remove"}));
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "[2]", "MedianFilter", "PassThroughFilter", "[3]"}));
    EXPECT_EQ(chainOf(camera, DEPTH), QStringList({"MedianFilter", "PassThroughFilter"}));
    EXPECT_EQ(filterNode(3)->filterIndex, medianIndex);
    EXPECT_EQ(filterNode(4)->filterIndex, passIndex);
    expectIndexesOfChain(DEPTH);
    expectRowInStep(); // the later cells moved two to the left
    EXPECT_FALSE(removedBlock->isVisible());
    EXPECT_FALSE(removedArrow->isVisible());
    EXPECT_EQ(dock->getDiagram()->items().size(), sceneItems); // hidden, kept in the scene

    // A menu entry of the removed block still names that node, gone from the list.
    entryOf(removedBlock->getMenu(), {"Remove"})->trigger();
    entryOf(removedBlock->getMenu(), {"Add Filter After", Pass})->trigger();
    entryOf(removedBlock->getMenu(), {"Add Filter Before", Pass})->trigger();
    EXPECT_EQ(takeBoxes(),
              QStringList({"Filter location / Item not present?", "Internal Error / Item not present?",
                           "Internal Error / Item not present?"}));
    EXPECT_EQ(chainOf(camera, DEPTH), QStringList({"MedianFilter", "PassThroughFilter"}));

    // The next block now stands where the hidden one does, and takes the click.
    ASSERT_TRUE(pick(4, {"Remove"}));
    EXPECT_EQ(chainOf(camera, DEPTH), QStringList({"MedianFilter"}));
    expectRowInStep();

    // With the diagram left alone, the cells stay until the caller removes them.
    ASSERT_TRUE(dock->removeFilter(node(3), false));
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "[2]", "[3]"}));
    EXPECT_EQ(dock->getItemsView().size(), 10);
    dock->removeDiagram(3);
    expectRowInStep();
    EXPECT_TRUE(chainOf(camera, DEPTH).isEmpty());
}

TEST_F(DiagramTest, RefusalsOfTheCameraAndTheCameraSystem)
{
    ASSERT_TRUE(addAfter(1, Median));
    const QStringList before = row();
    auto& sim = system.simulation();

    sim.failNext("createFilter");
    const int calls = sim.filterCalls(camera);
    ASSERT_TRUE(addAfter(2, Gate));
    EXPECT_EQ(sim.filterCalls(camera), calls); // no add attempted

    sim.failNext("addFilter");
    ASSERT_TRUE(addBefore(2, Bilateral));

    sim.failNext("removeFilter");
    ASSERT_TRUE(pick(2, {"Remove"}));

    EXPECT_EQ(takeBoxes(),
              QStringList({"Filter not found / Could not create filter \"Tavik::AmplitudeGateFilter\"",
                           "Failed to add filter / Could not add filter \"Tavik::BilateralFilter\"",
                           "Remove Filter Failed / Failed to remove filter"}));
    EXPECT_EQ(row(), before);
    EXPECT_EQ(chainOf(camera, PROCESSED), QStringList({"MedianFilter"}));
    expectRowInStep();

    // A full chain refuses a fifth filter, and the log says why.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(addAfter(1, Pass));
    EXPECT_TRUE(takeBoxes().isEmpty());
    QStringList logged;
    QObject receiver;
    QObject::connect(LoggerCore::instance(), &LoggerCore::messageWritten, &receiver,
                     [&](Tavik::LogLevel, const QString& text) { logged << text; });
    ASSERT_TRUE(addAfter(1, Temporal));
    EXPECT_EQ(takeBoxes(),
              QStringList({"Failed to add filter / Could not add filter \"Tavik::TemporalMedianFilter\""}));
    EXPECT_EQ(logged,
              QStringList({"Could not add filter \"Tavik::TemporalMedianFilter\": a chain holds at most 4 filters"}));
    EXPECT_EQ(chainOf(camera, PROCESSED).size(), 4);
    EXPECT_EQ(items().size(), 8u);

    // Stages are no filters.
    EXPECT_TRUE(takeBoxes().isEmpty());
    EXPECT_FALSE(dock->removeFilter(node(0)));
    dock->moveFilterLeft(node(1));
    dock->moveFilterRight(nullptr);
    EXPECT_EQ(takeBoxes(),
              QStringList({"Not valid type / Item not a filter block?", "Not valid type / Item not a filter block?",
                           "Not valid type / Item not a filter block?"}));
}

TEST_F(DiagramTest, WithoutACameraNothingIsAskedOfIt)
{
    ASSERT_TRUE(addAfter(1, Median));
    hub->disconnectDepthCamera();
    ASSERT_EQ(dock->getDepthCamera(), nullptr);
    const QStringList before = row();

    system.simulation().failNext("createFilter");
    ASSERT_TRUE(addAfter(0, Pass));
    ASSERT_TRUE(pick(2, {"Remove"}));
    EXPECT_EQ(takeBoxes(),
              QStringList({"Depth Camera Missing / No depth camera selected to add filter",
                           "Depth Camera Missing / No depth camera selected to add filter"}));
    // The injected failure is still pending: the add never made a filter.
    EXPECT_FALSE(system.createFilter("Tavik::PassThroughFilter", UNPROCESSED));
    EXPECT_EQ(row(), before);
    expectRowInStep();
}

TEST_F(DiagramTest, NeighboursAndTheIndexesAnAddPasses)
{
    ASSERT_TRUE(addAfter(1, Median));
    ASSERT_TRUE(addAfter(2, Bilateral));
    // [0] [1] Median Bilateral [2] [3]
    EXPECT_EQ(dock->getLeftItem(node(0)), nullptr);
    EXPECT_EQ(dock->getRightItem(node(5)), nullptr);
    EXPECT_EQ(dock->getLeftItem(node(2)), node(1));
    EXPECT_EQ(dock->getRightItem(node(2)), node(3));
    EXPECT_EQ(dock->getNextFilterIndex(node(1)), filterNode(2)->filterIndex);
    EXPECT_EQ(dock->getNextFilterIndex(node(2)), filterNode(3)->filterIndex);
    EXPECT_EQ(dock->getNextFilterIndex(node(3)), -1); // a stage follows
    EXPECT_EQ(dock->getNextFilterIndex(node(5)), -1); // the last node
    EXPECT_EQ(dock->getPreviousFilterIndex(node(3)), filterNode(3)->filterIndex);
    EXPECT_EQ(dock->getPreviousFilterIndex(node(4)), -1);

    DataBlock stray(dock.get(), "stray", 1, 1);
    EXPECT_EQ(dock->getNextFilterIndex(&stray), -1);
    EXPECT_EQ(dock->getLeftItem(&stray), nullptr);
    EXPECT_EQ(dock->getRightItem(&stray), nullptr);
}

TEST_F(DiagramTest, PropertiesOpenTheFiltersDialog)
{
    ASSERT_TRUE(addAfter(1, Gate));
    ASSERT_TRUE(pick(2, {"Properties"}));
    const auto dialogs = KelvraTest::visibleTopLevels<FilterSettingsDialog>();
    ASSERT_EQ(dialogs.size(), 1u);
    FilterSettingsDialog* dialog = dialogs.front();
    EXPECT_EQ(dialog->filter, filterNode(2)->filter);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), nullptr);
}

// --- moves: offered only by the variant filter block ------------------------------

class DiagramMoveTest : public DiagramTest {
protected:
    void SetUp() override
    {
        DiagramTest::SetUp();
        ASSERT_TRUE(addAfter(2, Median));
        ASSERT_TRUE(addAfter(3, Temporal));
        ASSERT_TRUE(addAfter(4, Bilateral));
        ASSERT_EQ(row(),
                  QStringList({"[0]", "[1]", "[2]", "MedianFilter", "TemporalMedianFilter", "BilateralFilter", "[3]"}));
        moverView = new QGraphicsView(&moverScene);
        moverView->resize(300, 200);
        moverView->show();
    }
    void TearDown() override
    {
        delete moverView;
        DiagramTest::TearDown();
    }

    // Shows a FilterBlockView1 for node k and picks `entry` from its menu.
    bool moveEntry(int k, const QString& entry)
    {
        auto* mover = new FilterBlockView1(items().at(k), dock->getSize());
        moverScene.addItem(mover);
        EXPECT_EQ(textsOf(mover->getMenu()),
                  QStringList({"Add Filter Before", "Add Filter After", "-", "Move Left", "Move Right", "Remove",
                               "Properties"}));
        const bool picked = pickIn(moverView, mover, {entry});
        moverScene.removeItem(mover);
        delete mover;
        return picked;
    }

    QGraphicsScene moverScene;
    QGraphicsView* moverView = nullptr;
};

TEST_F(DiagramMoveTest, MovingWithinAChain)
{
    const Tavik::FilterPtr bilateral = filterNode(5)->filter;
    const std::shared_ptr<DataBlock> oldNode = items().at(5);
    const int oldIndex = filterNode(5)->filterIndex;

    ASSERT_TRUE(moveEntry(5, "Move Left"));
    EXPECT_EQ(row(),
              QStringList({"[0]", "[1]", "[2]", "MedianFilter", "BilateralFilter", "TemporalMedianFilter", "[3]"}));
    EXPECT_EQ(chainOf(camera, DEPTH), QStringList({"MedianFilter", "BilateralFilter", "TemporalMedianFilter"}));
    EXPECT_EQ(filterNode(4)->filter, bilateral); // the same object, back in the camera
    EXPECT_NE(items().at(4), oldNode); // under a new node
    EXPECT_NE(filterNode(4)->filterIndex, oldIndex);
    expectIndexesOfChain(DEPTH);
    expectRowInStep();

    ASSERT_TRUE(moveEntry(3, "Move Right"));
    EXPECT_EQ(chainOf(camera, DEPTH), QStringList({"BilateralFilter", "MedianFilter", "TemporalMedianFilter"}));
    EXPECT_EQ(row().mid(3, 3), chainOf(camera, DEPTH));
    expectIndexesOfChain(DEPTH);
    expectRowInStep();
}

TEST_F(DiagramMoveTest, NoMovePastAStageOrTheEnd)
{
    ASSERT_TRUE(addAfter(6, Outlier)); // the last node
    ASSERT_TRUE(moveEntry(3, "Move Left")); // a stage on the left
    ASSERT_TRUE(moveEntry(5, "Move Right")); // a stage on the right
    ASSERT_TRUE(moveEntry(7, "Move Right")); // the end of the list
    EXPECT_EQ(takeBoxes(),
              QStringList({"Cannot move filter / Filter is already the first item and cannot move it left.",
                           "Cannot move filter / Filter is already the last item and cannot move it right.",
                           "Cannot move filter / Filter is already the last item and cannot move it right."}));
    EXPECT_EQ(chainOf(camera, DEPTH), QStringList({"MedianFilter", "TemporalMedianFilter", "BilateralFilter"}));
    EXPECT_EQ(chainOf(camera, CLOUD), QStringList({"PointCloud::OutlierFilter"}));
}

TEST_F(DiagramMoveTest, AFailedReAddLeavesTheFilterOut)
{
    system.simulation().failNext("removeFilter");
    ASSERT_TRUE(moveEntry(4, "Move Left")); // refused removal: nothing changes
    EXPECT_EQ(chainOf(camera, DEPTH), QStringList({"MedianFilter", "TemporalMedianFilter", "BilateralFilter"}));

    system.simulation().failNext("addFilter");
    ASSERT_TRUE(moveEntry(4, "Move Left"));
    EXPECT_EQ(takeBoxes(),
              QStringList({"Remove Filter Failed / Failed to remove filter",
                           "Failed to add filter / Could not add filter \"Tavik::TemporalMedianFilter\""}));
    EXPECT_EQ(chainOf(camera, DEPTH), QStringList({"MedianFilter", "BilateralFilter"}));
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "[2]", "MedianFilter", "BilateralFilter", "[3]"}));
    expectRowInStep();
}

// --- switching cameras -------------------------------------------------------------

TEST_F(DiagramTest, ACameraChangeShowsTheChainsOfTheCameraNowCurrent)
{
    ASSERT_TRUE(addAfter(1, Median));
    ASSERT_TRUE(addAfter(2, Bilateral));
    ASSERT_TRUE(addAfter(4, Pass)); // depth chain

    auto other = system.connect(devices.at(1));
    ASSERT_TRUE(other);
    hub->setDepthCamera(other);
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "[2]", "[3]"}));
    // Edits go to the camera shown, by its own indexes.
    ASSERT_TRUE(addAfter(1, Pass));
    ASSERT_TRUE(addAfter(2, Gate));
    ASSERT_TRUE(pick(2, {"Remove"}));
    EXPECT_TRUE(takeBoxes().isEmpty());
    EXPECT_EQ(chainOf(other, PROCESSED), QStringList({"AmplitudeGateFilter"}));
    EXPECT_EQ(chainOf(camera, PROCESSED), QStringList({"MedianFilter", "BilateralFilter"}));

    // Back to the first camera, still connected: its filters again, in chain order.
    hub->setDepthCamera(camera);
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "MedianFilter", "BilateralFilter", "[2]", "PassThroughFilter", "[3]"}));
    expectRowInStep();
    expectIndexesOfChain(PROCESSED);
    expectIndexesOfChain(DEPTH);
    ASSERT_TRUE(pick(3, {"Remove"}));
    EXPECT_TRUE(takeBoxes().isEmpty());
    EXPECT_EQ(chainOf(camera, PROCESSED), QStringList({"MedianFilter"}));

    // The nodes hold their camera weakly: the dock keeps no old camera alive.
    hub->setDepthCamera(other);
    const long held = camera.use_count();
    dock.reset();
    EXPECT_EQ(camera.use_count(), held);
}

// --- what the camera does with a filter added from a menu ----------------------------

TEST(DiagramFrames, MenuFiltersActOnTheFramesAndAMoveResetsTheFilter)
{
    // Two identical cameras with the same seed give the same frames; B stays unfiltered.
    Tavik::CameraSystem system;
    system.simulation().setDevices({{"Quenta14Camera", "A", Tavik::CameraModel::Quenta14, false, {}, {}},
                                    {"Quenta14Camera", "B", Tavik::CameraModel::Quenta14, false, {}, {}}});
    const auto devices = system.scan();
    Tavik::DepthCameraPtr cameras[2] = {system.connect(devices.at(0)), system.connect(devices.at(1))};
    ASSERT_TRUE(cameras[0] && cameras[1]);
    StreamHub hub(&system, cameras[0]);
    PipelineDiagramDock dock(&system, &hub);
    MessageBoxLog boxes;

    std::mutex m;
    std::vector<uint16_t> latest[2];
    for (int c = 0; c < 2; ++c) {
        system.simulation().setManualDelivery(cameras[c], true);
        system.simulation().setSeed(cameras[c], 7);
        cameras[c]->registerCallback(
            UNPROCESSED, [&m, &latest, c](const Tavik::DepthCameraPtr&, const Tavik::FramePtr& frame, FrameType) {
                std::lock_guard<std::mutex> lock(m);
                latest[c] = frame->rawSamples;
            });
        ASSERT_TRUE(cameras[c]->start());
    }
    auto deliver = [&] {
        for (auto& camera : cameras)
            ASSERT_TRUE(system.simulation().deliverFrameSets(camera, 1));
    };

    auto pickEntry = [&](int k, const QStringList& path) {
        QMenu* menu = dynamic_cast<DataBlockView*>(dock.getItemsView().at(2 * k))->getMenu();
        entryOf(menu, path)->trigger();
    };
    pickEntry(0, {"Add Filter After", Average}); // averages two frames
    pickEntry(0, {"Add Filter After", Pass});
    ASSERT_EQ(chainOf(cameras[0], UNPROCESSED), QStringList({"PassThroughFilter", "RawFrameAverageFilter"}));

    deliver();
    ASSERT_FALSE(latest[1].empty());
    EXPECT_EQ(latest[0], latest[1]); // one frame: its own average
    deliver();
    EXPECT_NE(latest[0], latest[1]); // averaged with the one before

    // Moved: taken out, reset, put back; its history starts again.
    QGraphicsScene scene;
    auto* mover = new FilterBlockView1(dock.getItems().at(2), dock.getSize());
    scene.addItem(mover);
    entryOf(mover->getMenu(), {"Move Left"})->trigger();
    ASSERT_EQ(chainOf(cameras[0], UNPROCESSED), QStringList({"RawFrameAverageFilter", "PassThroughFilter"}));
    deliver();
    EXPECT_EQ(latest[0], latest[1]);
    EXPECT_TRUE(boxes.seen.isEmpty());
    for (auto& camera : cameras) {
        camera->stop();
        camera->clearAllCallbacks();
    }
}

// Filters another editor put into or took out of the camera's chains get
// nodes in chain order, or lose them, once an edit is announced on the
// controller's chain model; the dock's own additions and removals are
// announced, refusals and following are not.
TEST_F(DiagramTest, FollowsTheChainsAndTellsOfItsOwnChanges)
{
    FilterChainModel* model = FilterChainModel::of(hub.get());
    EXPECT_EQ(FilterChainModel::of(hub.get()), model); // one per controller
    QSignalSpy changed(model, &FilterChainModel::chainsEdited);
    ASSERT_TRUE(addAfter(1, "Tavik::MedianFilter"));
    EXPECT_EQ(changed.count(), 1);
    const std::shared_ptr<DataBlock> own = items().at(2);

    const auto add = [&](const std::string& name, FrameType type, int before) {
        return camera->addFilter(system.createFilter(name, type), type, before);
    };
    const int first = add("Tavik::BilateralFilter", 1, filterNode(2)->filterIndex);
    ASSERT_GE(first, 0);
    ASSERT_GE(add("Tavik::PassThroughFilter", 1, -1), 0);
    ASSERT_GE(add("Tavik::PassThroughFilter", 3, -1), 0);
    FilterChainModel::edited(hub.get()); // as the other editor does
    EXPECT_EQ(changed.count(), 2);
    ASSERT_EQ(row(),
              QStringList({"[0]", "[1]", "BilateralFilter", "MedianFilter", "PassThroughFilter", "[2]", "[3]",
                           "PassThroughFilter"}));
    EXPECT_EQ(items().at(3), own); // kept, not rebuilt
    expectRowInStep();
    expectIndexesOfChain(1);
    expectIndexesOfChain(3);
    // A node made by following is a filter node like any: its menu removes it.
    ASSERT_TRUE(pick(7, {"Remove"}));
    EXPECT_EQ(changed.count(), 3);
    EXPECT_TRUE(indexesOf(camera, 3).empty());

    ASSERT_TRUE(camera->removeFilter(first, 1));
    dock->refreshFilters();
    EXPECT_EQ(row(), QStringList({"[0]", "[1]", "MedianFilter", "PassThroughFilter", "[2]", "[3]"}));
    expectRowInStep();
    expectIndexesOfChain(1);

    // A refused addition changes no chain: nothing is announced.
    system.simulation().failNext("addFilter");
    ASSERT_TRUE(addAfter(1, "Tavik::MedianFilter"));
    EXPECT_EQ(takeBoxes().size(), 1);
    EXPECT_EQ(changed.count(), 3);

    // Without a camera nothing is followed.
    hub->disconnectDepthCamera();
    dock->refreshFilters();
    EXPECT_EQ(row().size(), 6);
}
