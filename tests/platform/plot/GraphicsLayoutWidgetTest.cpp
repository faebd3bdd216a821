#include "platform/plot/GraphicsLayoutWidget.h"
#include "platform/plot/LabelItem.h"
#include "platform/plot/PlotItem.h"
#include "platform/plot/ViewBox.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QGraphicsGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextDocument>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

using namespace Plot;

namespace {

class KeyBox : public ViewBox {
public:
    void keyPressEvent(QKeyEvent* ev) override
    {
        keys.push_back(ev->key());
        ev->accept();
    }
    std::vector<int> keys;
};

// A shown widget whose grid is laid out.
std::unique_ptr<GraphicsLayoutWidget> shownWidget()
{
    auto w = std::make_unique<GraphicsLayoutWidget>();
    w->resize(400, 300);
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
}

void sendMouse(QWidget* viewport, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent ev(type, pos, viewport->mapToGlobal(pos), button, buttons, modifiers);
    QApplication::sendEvent(viewport, &ev);
}

QPoint cellOf(QGraphicsGridLayout* grid, QGraphicsLayoutItem* item)
{
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            if (grid->itemAt(r, c) == item)
                return QPoint(c, r);
    return QPoint(-1, -1);
}

} // namespace

TEST(GraphicsLayoutWidget, PlacesItemsInCellsOrTheNextFreeOne)
{
    GraphicsLayoutWidget w;
    auto* label = new LabelItem;
    w.addItem(label);
    EXPECT_EQ(cellOf(w.gridLayout(), label), QPoint(0, 0));
    PlotItem* plot = w.addPlot(1, 0);
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(cellOf(w.gridLayout(), plot), QPoint(0, 1));
    auto* box = new ViewBox;
    w.addItem(box);
    EXPECT_EQ(cellOf(w.gridLayout(), box), QPoint(1, 1));
    EXPECT_EQ(label->scene(), w.scene());
    EXPECT_EQ(plot->scene(), w.scene());
}

TEST(GraphicsLayoutWidget, AddAndRemoveAreIdempotentAndRemoveKeepsTheItem)
{
    GraphicsLayoutWidget w;
    auto* box = new ViewBox;
    w.addItem(box, 0, 0);
    auto label = std::make_unique<LabelItem>();
    QPointer<LabelItem> watch(label.get());
    w.addItem(label.get(), 1, 0);
    w.addItem(label.get(), 1, 0);
    EXPECT_EQ(w.gridLayout()->count(), 2);

    w.removeItem(label.get());
    w.removeItem(label.get());
    EXPECT_EQ(w.gridLayout()->count(), 1);
    ASSERT_FALSE(watch.isNull());
    EXPECT_EQ(label->scene(), nullptr);
    EXPECT_EQ(label->parentItem(), nullptr);
    EXPECT_FALSE(w.containsItem(label.get()));

    // Placed again, moved to another cell: still held once.
    w.addItem(label.get(), 1, 0);
    w.addItem(label.get(), 2, 0);
    EXPECT_EQ(w.gridLayout()->count(), 2);
    EXPECT_EQ(cellOf(w.gridLayout(), label.get()), QPoint(0, 2));
    w.removeItem(label.get()); // the unique_ptr deletes it outside the scene
    w.removeItem(nullptr);
}

TEST(GraphicsLayoutWidget, SceneFollowsTheViewportWithoutScrollBars)
{
    auto w = shownWidget();
    w->setBackground(QColor(0, 0, 0, 255));
    EXPECT_EQ(w->backgroundBrush().color(), QColor(0, 0, 0, 255));
    EXPECT_EQ(w->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(w->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_TRUE(w->viewport()->hasMouseTracking());
    w->resize(500, 200);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return w->viewport()->width() == 500; }));
    EXPECT_EQ(w->sceneRect(), QRectF(0, 0, 500, 200));
    EXPECT_EQ(w->centralItem()->geometry(), QRectF(0, 0, 500, 200));
    EXPECT_EQ(w->mapToScene(QPoint(40, 30)), QPointF(40, 30));
}

TEST(GraphicsLayoutWidget, SceneAnnouncesMovesAndClicksButNotDrags)
{
    auto w = shownWidget();
    auto* box = new ViewBox; // takes the presses
    w->addItem(box, 0, 0);
    QSignalSpy moved(w->scene(), &GraphicsScene::sigMouseMoved);
    QSignalSpy clicked(w->scene(), &GraphicsScene::sigMouseClicked);
    QWidget* vp = w->viewport();

    sendMouse(vp, QEvent::MouseMove, {50, 60}, Qt::NoButton, Qt::NoButton);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(0).toPointF(), QPointF(50, 60));

    sendMouse(vp, QEvent::MouseButtonPress, {100, 80}, Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier);
    sendMouse(vp, QEvent::MouseButtonRelease, {101, 80}, Qt::LeftButton, Qt::NoButton, Qt::ControlModifier);
    ASSERT_EQ(clicked.count(), 1);
    const auto ev = clicked.at(0).at(0).value<MouseClickEvent>();
    EXPECT_EQ(ev.button(), Qt::LeftButton);
    EXPECT_EQ(ev.modifiers(), Qt::ControlModifier);
    EXPECT_EQ(ev.scenePos(), QPointF(101, 80));

    sendMouse(vp, QEvent::MouseButtonPress, {100, 80}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseMove, {160, 120}, Qt::NoButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, {160, 120}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(moved.count(), 2);

    // Over empty scene too.
    w->removeItem(box);
    delete box;
    sendMouse(vp, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    sendMouse(vp, QEvent::MouseButtonRelease, {10, 10}, Qt::RightButton, Qt::NoButton);
    ASSERT_EQ(clicked.count(), 2);
    EXPECT_EQ(clicked.at(1).at(0).value<MouseClickEvent>().button(), Qt::RightButton);
}

TEST(GraphicsLayoutWidget, FocusPassesToTheFirstViewBoxForKeys)
{
    auto w = shownWidget();
    w->addItem(new LabelItem("title"), 0, 0);
    auto* box = new KeyBox;
    w->addItem(box, 1, 0);
    // The view may have taken focus before the box was there: the first key
    // still finds the box.
    QTest::keyClick(w.get(), Qt::Key_R);
    EXPECT_EQ(w->scene()->focusItem(), box);
    EXPECT_EQ(box->keys, std::vector<int>{Qt::Key_R});

    // Gaining focus hands it on as well.
    w->scene()->setFocusItem(nullptr);
    w->clearFocus();
    w->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return w->scene()->focusItem() == box; }));
}

TEST(GraphicsLayoutWidget, LabelKeepsItsHeightAndTheViewBoxTakesTheRest)
{
    auto w = shownWidget();
    auto* box = new ViewBox;
    auto* label = new LabelItem("<span style='font-size: 20pt'>Len clarity : 0</span>");
    w->addItem(box, 0, 0);
    w->addItem(label, 1, 0);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return box->size().height() > 0; }));
    const double labelHeight = label->textItem()->boundingRect().height();
    EXPECT_NEAR(label->size().height(), labelHeight, 1.0);
    EXPECT_NEAR(box->size().height() + label->size().height(), 300.0 - 2.0, 1.0);
    EXPECT_GT(box->size().width(), 390.0);
}

// A label whose plot does not show lays its text out once it shows: on a
// tab behind another (hidden), or in a dock tabbed away (moved out of the
// window).
TEST(GraphicsLayoutWidget, ALabelOutOfSightLaysItsTextOutOnlyOnceShown)
{
    QTabWidget tabs;
    tabs.addTab(new QWidget, "front");
    auto* behind = new GraphicsLayoutWidget;
    tabs.addTab(behind, "behind");
    QWidget window;
    auto* away = new GraphicsLayoutWidget(&window);
    const auto showBehind = [&] { tabs.setCurrentIndex(1); };
    const auto showAway = [&] { away->move(0, 0); };
    const auto hideBehind = [&] { tabs.setCurrentIndex(0); };
    const auto hideAway = [&] { away->move(-1300, -1100); };
    struct Case {
        const char* name;
        GraphicsLayoutWidget* plot;
        std::function<void()> show, hide;
    };
    for (const Case& c : {Case{"tab", behind, showBehind, hideBehind}, Case{"moved out", away, showAway, hideAway}}) {
        SCOPED_TRACE(c.name);
        auto* label = new LabelItem("first");
        c.plot->addItem(label, 0, 0);
        c.plot->resize(400, 300);
        window.resize(400, 300);
        c.hide();
        tabs.show();
        window.show();
        QApplication::processEvents();

        QTextDocument* document = label->textItem()->document();
        int changes = 0;
        const auto counting = QObject::connect(document, &QTextDocument::contentsChanged, [&] { ++changes; });
        for (int k = 0; k < 50; ++k)
            label->setText(QString("<b>mead=%1</b>").arg(k));
        QApplication::processEvents();
        EXPECT_EQ(changes, 0);
        EXPECT_EQ(label->text(), "<b>mead=49</b>");

        c.show(); // the plot paints: the last text first
        ASSERT_TRUE(KelvraTest::waitFor([&] { return document->toPlainText() == "mead=49"; }));

        label->setText("<i>shown</i>"); // laid out at once while shown
        EXPECT_EQ(document->toPlainText(), "shown");

        c.hide();
        QApplication::processEvents();
        label->setText("<i>away</i>");
        EXPECT_EQ(document->toPlainText(), "shown");
        EXPECT_EQ(label->textItem()->toPlainText(), "away"); // asked for: brought up to date
        QObject::disconnect(counting);
    }
}
