#include "platform/plot/GraphicsObject.h"
#include "platform/plot/ViewBox.h"
#include "tests/platform/plot/PlotTestUtil.h"

#include <QApplication>
#include <QGraphicsRectItem>
#include <QGraphicsSceneWheelEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <cmath>
#include <memory>

using namespace Plot;
using PlotTest::expectPointNear;
using PlotTest::expectRectNear;

namespace {

std::unique_ptr<ViewBox> makeBox(double w, double h, QRectF range)
{
    auto box = std::make_unique<ViewBox>();
    box->resize(w, h);
    box->setRange(range);
    return box;
}

// A data item whose bounds the test moves.
class BoundsItem : public GraphicsObject {
public:
    void setBounds(const QRectF& r)
    {
        prepareGeometryChange();
        bounds_ = r;
        emit boundsChanged();
    }
    QRectF boundingRect() const override { return bounds_; }
    void paint(QPainter*, const QStyleOptionGraphicsItem*, QWidget*) override { }
    void viewRangeChanged(const QRectF& r) override { lastView = r; }
    QRectF lastView;

private:
    QRectF bounds_;
};

// Records what the base hands to the overridable handlers.
class RecordingBox : public ViewBox {
public:
    struct Drag {
        QPointF pos, lastPos, downPos;
        Qt::MouseButton button;
        bool start, finish;
    };
    void mouseDragEvent(MouseDragEvent& ev, std::optional<int> axis) override
    {
        drags.push_back({ev.pos(), ev.lastPos(), ev.buttonDownPos(), ev.button(), ev.isStart(), ev.isFinish()});
        ViewBox::mouseDragEvent(ev, axis);
    }
    void raiseContextMenu(MouseClickEvent& ev) override
    {
        ++menuRaised;
        lastClick = ev;
        ViewBox::raiseContextMenu(ev);
    }
    void setTestMenu(QMenu* m) { menu = m; }
    std::vector<Drag> drags;
    int menuRaised = 0;
    MouseClickEvent lastClick;
};

} // namespace

TEST(ViewBoxMapping, YGrowsUpwardsByDefaultAndDownwardsWhenInverted)
{
    auto box = makeBox(200, 100, QRectF(0, 0, 20, 10));
    expectPointNear(box->mapFromView(QPointF(0, 0)), QPointF(0, 100));
    expectPointNear(box->mapFromView(QPointF(20, 10)), QPointF(200, 0));
    expectPointNear(box->mapToView(QPointF(50, 25)), QPointF(5, 7.5));

    box->invertY();
    EXPECT_TRUE(box->state().yInverted);
    expectPointNear(box->mapFromView(QPointF(0, 0)), QPointF(0, 0));
    expectPointNear(box->mapFromView(QPointF(20, 10)), QPointF(200, 100));
    expectPointNear(box->mapToView(QPointF(50, 25)), QPointF(5, 2.5));
    expectRectNear(box->mapRectToView(QRectF(0, 0, 100, 50)), QRectF(0, 0, 10, 5));

    box->invertY(false);
    expectPointNear(box->mapFromView(QPointF(0, 0)), QPointF(0, 100));
}

TEST(ViewBoxMapping, ChildItemsAreDrawnThroughTheViewTransform)
{
    QGraphicsScene scene;
    ViewBox* box = PlotTest::addBox(scene, QRectF(10, 20, 200, 100));
    box->setRange(QRectF(0, 0, 20, 10));
    auto* item = new QGraphicsRectItem(0, 0, 1, 1);
    box->addItem(item);
    expectPointNear(item->mapToScene(QPointF(2, 3)), QPointF(10 + 20, 20 + 30));
    expectPointNear(box->mapSceneToView(QPointF(10 + 20, 20 + 30)), QPointF(2, 3));
    expectPointNear(box->mapViewToScene(QPointF(2, 3)), QPointF(30, 50));
    EXPECT_TRUE(box->addedItems().contains(item));
}

TEST(ViewBoxMapping, HasAUsableMappingBeforeItHasASize)
{
    ViewBox box;
    const QPointF p = box.mapToView(QPointF(0, 0));
    EXPECT_TRUE(std::isfinite(p.x()) && std::isfinite(p.y()));
    expectRectNear(box.viewRect(), QRectF(0, 0, 1, 1));
}

TEST(ViewBoxRange, SetRangeNormalisesPadsAndWidensPoints)
{
    auto box = makeBox(100, 100, QRectF(10, 5, -10, -5));
    expectRectNear(box->viewRect(), QRectF(0, 0, 10, 5));
    box->setRange(QRectF(0, 0, 10, 20), 0.1);
    expectRectNear(box->viewRect(), QRectF(-1, -2, 12, 24));
    box->setXRange(3, 3);
    expectRectNear(box->viewRect(), QRectF(2.5, -2, 1, 24));
    // Ends that are not finite are refused, the axis keeps its range.
    box->setYRange(0, std::nan(""));
    expectRectNear(box->viewRect(), QRectF(2.5, -2, 1, 24));
}

TEST(ViewBoxRange, SignalsOnlyRealChanges)
{
    auto box = makeBox(100, 100, QRectF(0, 0, 10, 10));
    QSignalSpy spy(box.get(), &ViewBox::sigRangeChanged);
    box->setRange(QRectF(0, 0, 10, 10));
    EXPECT_EQ(spy.count(), 0);
    box->setRange(QRectF(0, 0, 5, 5));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toRectF(), QRectF(0, 0, 5, 5));
    box->translateBy(std::nullopt, std::nullopt);
    EXPECT_EQ(spy.count(), 1);
}

TEST(ViewBoxRange, TranslateByMovesOnlyTheGivenAxes)
{
    auto box = makeBox(100, 100, QRectF(0, 0, 10, 10));
    box->translateBy(std::nullopt, 2.0);
    expectRectNear(box->viewRect(), QRectF(0, 2, 10, 10));
    box->translateBy(-3.0, std::nullopt);
    expectRectNear(box->viewRect(), QRectF(-3, 2, 10, 10));
}

TEST(ViewBoxRange, ScaleByKeepsTheCentreStill)
{
    auto box = makeBox(200, 100, QRectF(0, 0, 20, 10));
    const QPointF c(5, 2.5);
    const QPointF before = box->mapFromView(c);
    box->scaleBy(0.5, 0.5, c);
    expectRectNear(box->viewRect(), QRectF(2.5, 1.25, 10, 5));
    expectPointNear(box->mapFromView(c), before);
    box->scaleBy(2.0, std::nullopt, c);
    expectRectNear(box->viewRect(), QRectF(0, 1.25, 20, 5));
    // A factor that is not positive is refused.
    box->scaleBy(0.0, -1.0, c);
    expectRectNear(box->viewRect(), QRectF(0, 1.25, 20, 5));
}

TEST(ViewBoxAspect, LockWidensTheAxisWithMoreRoom)
{
    auto box = makeBox(200, 100, QRectF(0, 0, 10, 10));
    box->setAspectLocked(true);
    expectRectNear(box->viewRect(), QRectF(-5, 0, 20, 10));
    expectRectNear(box->targetRect(), QRectF(0, 0, 10, 10));
    const QPointF o = box->mapFromView(QPointF(0, 0));
    const QPointF dx = box->mapFromView(QPointF(1, 0)) - o;
    const QPointF dy = box->mapFromView(QPointF(0, 1)) - o;
    EXPECT_NEAR(dx.x(), 10.0, 1e-9);
    EXPECT_NEAR(std::abs(dy.y()), 10.0, 1e-9);

    // A tall box widens y instead; the target stays what was asked for.
    QSignalSpy spy(box.get(), &ViewBox::sigRangeChanged);
    box->resize(100, 400);
    EXPECT_EQ(spy.count(), 1);
    expectRectNear(box->viewRect(), QRectF(0, -15, 10, 40));
    expectRectNear(box->targetRect(), QRectF(0, 0, 10, 10));

    box->setAspectLocked(true, 2.0); // x pixels per unit twice the y ones
    const QPointF o2 = box->mapFromView(QPointF(0, 0));
    EXPECT_NEAR((box->mapFromView(QPointF(1, 0)) - o2).x(), 2.0 * std::abs((box->mapFromView(QPointF(0, 1)) - o2).y()),
                1e-9);

    box->setAspectLocked(false);
    expectRectNear(box->viewRect(), QRectF(0, 0, 10, 10));
}

TEST(ViewBoxAspect, TranslateMovesTheLockedViewByExactlyTheAmount)
{
    auto box = makeBox(300, 100, QRectF(0, 0, 80, 60));
    box->setAspectLocked(true);
    box->invertY();
    const QRectF before = box->viewRect();
    box->translateBy(4.5, -2.0);
    expectRectNear(box->viewRect(), before.translated(4.5, -2.0), 1e-9);
}

TEST(ViewBoxAutoRange, FitsItemsNotAddedWithIgnoreBounds)
{
    auto box = makeBox(100, 100, QRectF(0, 0, 1, 1));
    EXPECT_FALSE(box->childrenBounds().has_value());
    box->autoRange(0);
    expectRectNear(box->viewRect(), QRectF(0, 0, 1, 1));

    box->addItem(new QGraphicsRectItem(0, 0, 10, 5));
    box->addItem(new QGraphicsRectItem(100, 100, 10, 10), true);
    auto* hidden = new QGraphicsRectItem(-50, -50, 1, 1);
    box->addItem(hidden);
    hidden->hide();
    box->autoRange(0);
    // A rect item's bounds include its one-unit pen.
    expectRectNear(box->viewRect(), QRectF(-0.5, -0.5, 11, 6));
    box->autoRange(0.1);
    expectRectNear(box->viewRect(), QRectF(-1.6, -1.1, 13.2, 7.2));
}

TEST(ViewBoxAutoRange, PointBoundsAndMovedItemsCount)
{
    auto box = makeBox(100, 100, QRectF(0, 0, 1, 1));
    auto* a = new BoundsItem;
    a->setBounds(QRectF(3, 4, 0, 0)); // a single point
    box->addItem(a);
    box->autoRange(0);
    expectRectNear(box->viewRect(), QRectF(2.5, 3.5, 1, 1));
    auto* b = new BoundsItem;
    b->setBounds(QRectF(0, 0, 1, 1));
    b->setPos(10, 0);
    box->addItem(b);
    box->autoRange(0);
    expectRectNear(box->viewRect(), QRectF(3, 0, 8, 4));
}

TEST(ViewBoxAutoRange, EnabledAutoRangeFollowsItemBoundsUntilTheUserPans)
{
    auto box = makeBox(100, 100, QRectF(0, 0, 1, 1));
    auto* item = new BoundsItem;
    box->addItem(item);
    box->enableAutoRange();
    item->setBounds(QRectF(0, 0, 100, 50));
    expectRectNear(box->viewRect(), QRectF(-2, -1, 104, 52));
    EXPECT_EQ(item->lastView, box->viewRect());

    MouseDragEvent drag(QPointF(60, 50), QPointF(50, 50), QPointF(50, 50), Qt::MiddleButton);
    box->mouseDragEvent(drag);
    EXPECT_FALSE(box->state().autoRange[0]);
    EXPECT_FALSE(box->state().autoRange[1]);
    const QRectF panned = box->viewRect();
    item->setBounds(QRectF(0, 0, 10, 10));
    EXPECT_EQ(box->viewRect(), panned);

    box->enableAutoRange(ViewBox::YAxis, true);
    expectRectNear(box->viewRect(), QRectF(panned.x(), -0.2, panned.width(), 10.4));
}

TEST(ViewBoxAutoRange, RemovedItemsLeaveTheBoxAndTheSceneUndeleted)
{
    QGraphicsScene scene;
    auto* box = new ViewBox;
    scene.addItem(box);
    auto item = std::make_unique<QGraphicsRectItem>(0, 0, 4, 4);
    box->addItem(item.get());
    EXPECT_EQ(item->scene(), &scene);
    box->removeItem(item.get());
    box->removeItem(item.get());
    EXPECT_EQ(item->scene(), nullptr);
    EXPECT_EQ(item->parentItem(), nullptr);
    EXPECT_FALSE(box->childrenBounds().has_value());
}

TEST(ViewBoxMouse, RectModeZoomsToTheDrawnRectangleOnFinish)
{
    auto box = makeBox(200, 100, QRectF(0, 0, 20, 10));
    box->invertY();
    box->setMouseMode(ViewBox::RectMode);
    QSignalSpy manual(box.get(), &ViewBox::sigRangeChangedManually);
    MouseDragEvent start(QPointF(60, 30), QPointF(20, 10), QPointF(20, 10), Qt::LeftButton, Qt::NoModifier, true);
    box->mouseDragEvent(start);
    EXPECT_TRUE(start.isAccepted());
    expectRectNear(box->viewRect(), QRectF(0, 0, 20, 10));
    MouseDragEvent finish(QPointF(120, 60), QPointF(60, 30), QPointF(20, 10), Qt::LeftButton, Qt::NoModifier, false,
                          true);
    box->mouseDragEvent(finish);
    expectRectNear(box->viewRect(), QRectF(2, 1, 10, 5));
    ASSERT_EQ(manual.count(), 1);
    EXPECT_EQ(manual.at(0).at(0).value<MouseEnabled>(), (MouseEnabled{{true, true}}));

    // A rectangle without area does nothing.
    MouseDragEvent flat(QPointF(120, 10), QPointF(60, 30), QPointF(20, 10), Qt::LeftButton, Qt::NoModifier, false,
                        true);
    box->mouseDragEvent(flat);
    expectRectNear(box->viewRect(), QRectF(2, 1, 10, 5));
    EXPECT_EQ(manual.count(), 1);
}

TEST(ViewBoxMouse, PanDragMakesTheViewFollowThePointer)
{
    auto box = makeBox(200, 100, QRectF(0, 0, 20, 10));
    box->invertY();
    const QPointF grabbed = box->mapToView(QPointF(50, 50));
    MouseDragEvent drag(QPointF(70, 60), QPointF(50, 50), QPointF(50, 50), Qt::LeftButton);
    box->mouseDragEvent(drag);
    expectPointNear(box->mapToView(QPointF(70, 60)), grabbed);

    // Middle drag pans in rectangle mode too; axis 0 holds y still.
    box->setMouseMode(ViewBox::RectMode);
    const QRectF before = box->viewRect();
    MouseDragEvent axisDrag(QPointF(80, 90), QPointF(70, 60), QPointF(50, 50), Qt::MiddleButton);
    box->mouseDragEvent(axisDrag, 0);
    expectRectNear(box->viewRect(), before.translated(-1, 0));

    // A right drag is not the base's business.
    MouseDragEvent right(QPointF(0, 0), QPointF(70, 60), QPointF(50, 50), Qt::RightButton);
    box->mouseDragEvent(right);
    EXPECT_FALSE(right.isAccepted());
    expectRectNear(box->viewRect(), before.translated(-1, 0));
}

TEST(ViewBoxMouse, PanHonoursMouseEnabled)
{
    auto box = makeBox(100, 100, QRectF(0, 0, 10, 10));
    box->setMouseEnabled(false, true);
    QSignalSpy manual(box.get(), &ViewBox::sigRangeChangedManually);
    MouseDragEvent drag(QPointF(60, 60), QPointF(50, 50), QPointF(50, 50), Qt::LeftButton);
    box->mouseDragEvent(drag);
    expectRectNear(box->viewRect(), QRectF(0, 1, 10, 10));
    ASSERT_EQ(manual.count(), 1);
    EXPECT_EQ(manual.at(0).at(0).value<MouseEnabled>(), (MouseEnabled{{false, true}}));
}

TEST(ViewBoxMouse, WheelZoomsAroundThePointer)
{
    auto box = makeBox(200, 100, QRectF(0, 0, 20, 10));
    const QPointF pointer(50, 25);
    const QPointF under = box->mapToView(pointer);
    QGraphicsSceneWheelEvent wheel(QEvent::GraphicsSceneWheel);
    wheel.setPos(pointer);
    wheel.setDelta(120);
    box->wheelEvent(&wheel);
    EXPECT_TRUE(wheel.isAccepted());
    EXPECT_LT(box->viewRect().width(), 20.0);
    expectPointNear(box->mapToView(pointer), under, 1e-9);

    box->setMouseEnabled(true, false);
    const double height = box->viewRect().height();
    QSignalSpy manual(box.get(), &ViewBox::sigRangeChangedManually);
    wheel.setDelta(-120);
    box->wheelEvent(&wheel);
    EXPECT_NEAR(box->viewRect().height(), height, 1e-12);
    ASSERT_EQ(manual.count(), 1);
    EXPECT_EQ(manual.at(0).at(0).value<MouseEnabled>(), (MouseEnabled{{true, false}}));
}

TEST(ViewBoxMouse, SceneEventsBecomeDragsAndClicks)
{
    QGraphicsScene scene;
    auto* box = new RecordingBox;
    scene.addItem(box);
    box->setGeometry(QRectF(100, 100, 200, 100));
    using PlotTest::sendSceneMouse;

    sendSceneMouse(scene, QEvent::GraphicsSceneMousePress, {110, 110}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(scene.focusItem(), box);
    sendSceneMouse(scene, QEvent::GraphicsSceneMouseMove, {112, 111}, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(box->drags.empty()); // still within the drag distance
    sendSceneMouse(scene, QEvent::GraphicsSceneMouseMove, {140, 120}, Qt::NoButton, Qt::LeftButton);
    sendSceneMouse(scene, QEvent::GraphicsSceneMouseMove, {150, 130}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    sendSceneMouse(scene, QEvent::GraphicsSceneMouseRelease, {160, 140}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(box->drags.size(), 3u);
    EXPECT_TRUE(box->drags[0].start);
    EXPECT_EQ(box->drags[0].pos, QPointF(40, 20));
    EXPECT_EQ(box->drags[0].lastPos, QPointF(10, 10));
    EXPECT_EQ(box->drags[1].lastPos, QPointF(40, 20));
    EXPECT_TRUE(box->drags[2].finish);
    EXPECT_EQ(box->drags[2].pos, QPointF(60, 40));
    EXPECT_EQ(box->drags[2].downPos, QPointF(10, 10));
    EXPECT_EQ(box->menuRaised, 0);

    sendSceneMouse(scene, QEvent::GraphicsSceneMousePress, {200, 150}, Qt::RightButton, Qt::RightButton);
    sendSceneMouse(scene, QEvent::GraphicsSceneMouseRelease, {201, 150}, Qt::RightButton, Qt::NoButton,
                   Qt::ControlModifier);
    EXPECT_EQ(box->drags.size(), 3u);
    EXPECT_EQ(box->menuRaised, 1);
    EXPECT_EQ(box->lastClick.pos(), QPointF(101, 50));
    EXPECT_EQ(box->lastClick.modifiers(), Qt::ControlModifier);
}

TEST(ViewBoxMenu, RightClickShowsTheMenuOnlyWhenThereIsOne)
{
    RecordingBox box;
    MouseClickEvent click(QPointF(5, 5), QPointF(120, 140), Qt::RightButton);
    EXPECT_EQ(box.getMenu(click), nullptr);
    box.mouseClickEvent(click);
    EXPECT_EQ(box.menuRaised, 1);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    QMenu menu;
    menu.addAction("entry");
    box.setTestMenu(&menu);
    EXPECT_EQ(box.getMenu(click), &menu);
    box.mouseClickEvent(click);
    EXPECT_TRUE(menu.isVisible());
    menu.hide();

    MouseClickEvent left(QPointF(5, 5), QPointF(120, 140), Qt::LeftButton);
    box.mouseClickEvent(left);
    EXPECT_EQ(box.menuRaised, 2);
}

TEST(ViewBoxKeys, BaseLeavesKeysToOthers)
{
    ViewBox box;
    QKeyEvent key(QEvent::KeyPress, Qt::Key_R, Qt::NoModifier);
    key.accept();
    box.keyPressEvent(&key);
    EXPECT_FALSE(key.isAccepted());
}

TEST(ViewBoxLinks, LinkedAxesShareTheRangeBothWays)
{
    auto a = makeBox(200, 100, QRectF(0, 0, 20, 10));
    auto b = makeBox(100, 100, QRectF(5, 5, 1, 1));
    b->linkX(a.get());
    expectRectNear(b->viewRect(), QRectF(0, 5, 20, 1));
    a->setRange(QRectF(2, 3, 4, 5));
    expectRectNear(b->viewRect(), QRectF(2, 5, 4, 1));
    b->translateBy(1.0, 1.0);
    expectRectNear(a->viewRect(), QRectF(3, 3, 4, 5));
    EXPECT_EQ(a->xLinks(), QList<ViewBox*>{b.get()});
    EXPECT_TRUE(a->yLinks().isEmpty());

    b->unlinkX(a.get());
    a->setXRange(0, 1);
    expectRectNear(b->viewRect(), QRectF(3, 6, 4, 1));
}

TEST(ViewBoxLinks, ChangesReachEveryBoxOfAChainOnce)
{
    auto a = makeBox(100, 100, QRectF(0, 0, 10, 10));
    auto b = makeBox(100, 100, QRectF(0, 0, 10, 10));
    auto c = makeBox(100, 100, QRectF(0, 0, 10, 10));
    a->linkView(b.get());
    c->linkView(b.get());
    QSignalSpy sa(a.get(), &ViewBox::sigRangeChanged);
    QSignalSpy sb(b.get(), &ViewBox::sigRangeChanged);
    QSignalSpy sc(c.get(), &ViewBox::sigRangeChanged);
    c->setRange(QRectF(1, 2, 3, 4));
    EXPECT_EQ(sa.count(), 1);
    EXPECT_EQ(sb.count(), 1);
    EXPECT_EQ(sc.count(), 1);
    expectRectNear(a->viewRect(), QRectF(1, 2, 3, 4));

    // Removing the middle box splits the chain.
    b.reset();
    EXPECT_TRUE(a->xLinks().isEmpty());
    c->setRange(QRectF(0, 0, 1, 1));
    expectRectNear(a->viewRect(), QRectF(1, 2, 3, 4));
}

TEST(ViewBoxLinks, AspectLockedBoxesOfOtherShapesDoNotPingPong)
{
    auto wide = makeBox(400, 100, QRectF(0, 0, 80, 60));
    auto tall = makeBox(100, 300, QRectF(0, 0, 80, 60));
    wide->setAspectLocked(true);
    tall->setAspectLocked(true);
    wide->linkView(tall.get());
    QSignalSpy sw(wide.get(), &ViewBox::sigRangeChanged);
    QSignalSpy st(tall.get(), &ViewBox::sigRangeChanged);

    wide->setRange(QRectF(0, 0, 80, 60));
    tall->setRange(QRectF(0, 0, 80, 60));
    EXPECT_EQ(sw.count(), 0);
    EXPECT_EQ(st.count(), 0);

    // Alternating pans in both boxes keep the spans: the targets are shared,
    // each box only widens its own view.
    for (int i = 0; i < 10; ++i) {
        MouseDragEvent d(QPointF(60, 60), QPointF(50, 50), QPointF(50, 50), Qt::MiddleButton);
        (i % 2 ? wide : tall)->mouseDragEvent(d);
    }
    EXPECT_EQ(sw.count(), 10);
    EXPECT_EQ(st.count(), 10);
    EXPECT_NEAR(wide->targetRect().width(), 80.0, 1e-9);
    EXPECT_NEAR(wide->targetRect().height(), 60.0, 1e-9);
    expectRectNear(tall->targetRect(), wide->targetRect());
    EXPECT_NEAR(wide->viewRect().height(), 60.0, 1e-9);
    EXPECT_NEAR(tall->viewRect().width(), 80.0, 1e-9);
}

TEST(ViewBoxRegistry, BoxesJoinAndLeaveTheListOfLinkableBoxes)
{
    auto box = std::make_unique<ViewBox>();
    ViewBox* raw = box.get();
    EXPECT_TRUE(ViewBox::allViews().contains(raw));
    EXPECT_TRUE(raw->isRegistered());
    raw->unregister();
    raw->unregister();
    EXPECT_FALSE(ViewBox::allViews().contains(raw));
    raw->registerView();
    raw->registerView();
    EXPECT_EQ(ViewBox::allViews().count(raw), 1);
    box.reset();
    EXPECT_FALSE(ViewBox::allViews().contains(raw));
}
