// The combined dock ("All In One"): three views in one grid, the order of the
// calls when the dock is shown or hidden, the status bar for two of them, its
// titles, and the mouse moves it swallows.

#include "Kelvra/docks/CombinedViewDock.h"

#include "Kelvra/views/PlaneView.h"
#include "platform/base/StatusMessageBar.h"
#include "host/engine/PointCloudView.h"
#include "tests/Kelvra/docks/ViewDockTestSupport.h"

#include <QApplication>
#include <QGridLayout>
#include <QMouseEvent>

using Kelvra::CombinedViewDock;

namespace {

// The grid position, span and alignment of a layout item.
struct Cell {
    int row, column, rowSpan, columnSpan;
    Qt::Alignment alignment;
};

Cell cellOf(QGridLayout* grid, QLayoutItem* item)
{
    Cell c{};
    grid->getItemPosition(grid->indexOf(item), &c.row, &c.column, &c.rowSpan, &c.columnSpan);
    c.alignment = item->alignment();
    return c;
}

QLayoutItem* itemHolding(QGridLayout* grid, QObject* content)
{
    for (int i = 0; i < grid->count(); ++i)
        if (grid->itemAt(i)->layout() == content || grid->itemAt(i)->widget() == content)
            return grid->itemAt(i);
    return nullptr;
}

} // namespace

TEST(CombinedViewDock, PhaseOverAmplitudeLeftPointCloudRight)
{
    DockTest::Rig rig;
    CombinedViewDock dock(rig.engine.get());
    EXPECT_EQ(dock.windowTitle(), "All In One");
    EXPECT_EQ(dock.minimumWidth(), 300);
    EXPECT_EQ(dock.minimumHeight(), 400);
    EXPECT_EQ(dock.widget(), dock.scroller);
    EXPECT_EQ(dock.scroller->layout(), dock.glayout);
    EXPECT_FALSE(dock.scroller->widget());
    EXPECT_EQ(dock.glayout->sizeConstraint(), QLayout::SetMaximumSize);
    EXPECT_EQ(dock.glayout->count(), 3);

    QLayoutItem* phase = itemHolding(dock.glayout, dock.phaselayout);
    QLayoutItem* cloud = itemHolding(dock.glayout, dock.pointcloudlayout);
    QLayoutItem* amplitude = itemHolding(dock.glayout, dock.viewerAmplitude); // placed directly
    ASSERT_TRUE(phase && cloud && amplitude);
    const Cell p = cellOf(dock.glayout, phase), c = cellOf(dock.glayout, cloud), a = cellOf(dock.glayout, amplitude);
    EXPECT_EQ(std::make_tuple(p.row, p.column, p.rowSpan, p.columnSpan), std::make_tuple(0, 0, 1, 1));
    EXPECT_EQ(std::make_tuple(a.row, a.column, a.rowSpan, a.columnSpan), std::make_tuple(1, 0, 1, 1));
    EXPECT_EQ(std::make_tuple(c.row, c.column, c.rowSpan, c.columnSpan), std::make_tuple(0, 1, 2, 1));
    EXPECT_EQ(p.alignment, Qt::AlignCenter);
    EXPECT_EQ(a.alignment, Qt::AlignCenter);
    EXPECT_EQ(c.alignment, Qt::AlignTop);
    EXPECT_EQ(dock.glayout->columnStretch(0), 1);
    EXPECT_EQ(dock.glayout->columnStretch(1), 4);
    EXPECT_EQ(dock.glayout->rowStretch(0), 1);
    EXPECT_EQ(dock.glayout->rowStretch(1), 1);

    ASSERT_EQ(dock.phaselayout->count(), 1);
    EXPECT_EQ(dock.phaselayout->itemAt(0)->widget(), dock.viewerPhase);
    ASSERT_EQ(dock.pointcloudlayout->count(), 1);
    EXPECT_EQ(dock.pointcloudlayout->itemAt(0)->widget(), dock.viewerPointCloud);
    for (QBoxLayout* box :
         {static_cast<QBoxLayout*>(dock.phaselayout), static_cast<QBoxLayout*>(dock.pointcloudlayout)}) {
        EXPECT_EQ(box->spacing(), 0);
        EXPECT_EQ(box->contentsMargins(), QMargins(0, 0, 0, 0));
    }
    EXPECT_EQ(dock.viewerPointCloud->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    EXPECT_EQ(dock.viewerPointCloud->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    // Linked views without the depth read-out.
    EXPECT_EQ(dock.viewerPhase->getFormatName(), "phase");
    EXPECT_EQ(dock.viewerAmplitude->getFormatName(), "amplitude");
    EXPECT_EQ(dock.viewerPointCloud->getFormatName(), "pointcloud");
    for (DataViewContainer* view : {dock.viewerPhase, dock.viewerAmplitude}) {
        ASSERT_TRUE(view->viewAs<Kelvra::PlaneView>());
        EXPECT_TRUE(view->viewAs<Kelvra::PlaneView>()->isLinked());
        EXPECT_FALSE(view->viewAs<Kelvra::PlaneView>()->isDisplayDepth());
    }
    EXPECT_TRUE(dock.viewerPointCloud->viewAs<PointCloudView>());
}

TEST(CombinedViewDock, ShowingResetsPhaseThenAmplitudeAndStartsAllThree)
{
    DockTest::Rig rig;
    CombinedViewDock dock(rig.engine.get());
    DockTest::CallLog log;
    log.watch(dock.viewerPhase, "phase");
    log.watch(dock.viewerAmplitude, "amplitude");
    log.watch(dock.viewerPointCloud, "cloud");
    const QStringList shown{"phase:reset", "amplitude:reset", "phase:show", "amplitude:show", "cloud:show"};
    const QStringList hidden{"phase:hide", "amplitude:hide", "cloud:hide"};

    DockTest::Window w{&dock};
    w.window.show();
    EXPECT_EQ(log.take(), shown);
    dock.hide();
    EXPECT_EQ(log.take(), hidden);
    dock.show();
    EXPECT_EQ(log.take(), shown);
    emit dock.visibilityChanged(false);
    EXPECT_EQ(log.take(), hidden);
}

TEST(CombinedViewDock, StatusBarGoesToPhaseAndAmplitudeOnly)
{
    DockTest::Rig rig;
    CombinedViewDock dock(rig.engine.get());
    StatusMessageBar bar;
    dock.setStatusBar(&bar);
    EXPECT_EQ(dock.viewerPhase->view()->getStatusBar(), &bar);
    EXPECT_EQ(dock.viewerAmplitude->view()->getStatusBar(), &bar);
    EXPECT_FALSE(dock.viewerPointCloud->view()->getStatusBar());
}

TEST(CombinedViewDock, TitlesDifferInTheCaseOfTheFirstWord)
{
    DockTest::Rig rig;
    CombinedViewDock dock(rig.engine.get());
    DockTest::checkTitles(dock, rig, "All In One", "ALL In One", true);
    CombinedViewDock again(rig.engine.get());
    DockTest::checkSecondControllerReplacesTheFirst(again);
}

TEST(CombinedViewDock, SwallowsTheMouseMovesThatReachIt)
{
    DockTest::Rig rig;
    CombinedViewDock dock(rig.engine.get());
    QDockWidget plain;
    for (QWidget* target : {static_cast<QWidget*>(&dock), static_cast<QWidget*>(&plain)}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        EXPECT_EQ(move.isAccepted(), target == &dock);
    }
}
