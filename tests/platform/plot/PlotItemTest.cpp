#include "platform/plot/AxisItem.h"
#include "platform/plot/GraphicsLayoutWidget.h"
#include "platform/plot/InfiniteLine.h"
#include "platform/plot/LabelItem.h"
#include "platform/plot/PlotCurve.h"
#include "platform/plot/PlotItem.h"
#include "tests/platform/plot/PlotTestUtil.h"

#include <QGraphicsGridLayout>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace Plot;
using PlotTest::expectRectNear;

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();

// A plot laid out at a known size in its own scene.
struct PlotFixture {
    QGraphicsScene scene;
    PlotItem* plot = new PlotItem;
    PlotFixture()
    {
        scene.addItem(plot);
        plot->resize(400, 300);
        plot->layout()->activate();
    }
};
} // namespace

TEST(AxisTicks, StepsAreOneTwoOrFiveTimesAPowerOfTen)
{
    EXPECT_DOUBLE_EQ(AxisItem::tickSpacing(10, 300), 2.0);
    EXPECT_DOUBLE_EQ(AxisItem::tickSpacing(7, 300), 2.0);
    EXPECT_DOUBLE_EQ(AxisItem::tickSpacing(4, 300), 1.0);
    EXPECT_DOUBLE_EQ(AxisItem::tickSpacing(20, 300), 5.0);
    EXPECT_DOUBLE_EQ(AxisItem::tickSpacing(12345, 300), 5000.0);
    EXPECT_NEAR(AxisItem::tickSpacing(0.3, 300), 0.1, 1e-15);
    EXPECT_EQ(AxisItem::tickSpacing(0, 300), 0.0);
    EXPECT_EQ(AxisItem::tickSpacing(10, 0), 0.0);
    EXPECT_EQ(AxisItem::tickSpacing(NaN, 300), 0.0);
}

TEST(AxisTicks, ValuesAreWholeMultiplesInsideTheRange)
{
    EXPECT_EQ(AxisItem::tickValues(-0.05, 0.31, 300), (std::vector<double>{0.0, 0.1, 0.2, 0.30000000000000004}));
    EXPECT_EQ(AxisItem::tickValues(12345, 0, 300), (std::vector<double>{0, 5000, 10000}));
    EXPECT_TRUE(AxisItem::tickValues(5, 5, 300).empty());
    // A span far below the resolution of its values gives no endless loop.
    EXPECT_LE(AxisItem::tickValues(1e20, 1e20 + 1e5, 300).size(), 1000u);
}

TEST(AxisTicks, LabelsShowTheDecimalsTheStepNeeds)
{
    EXPECT_EQ(AxisItem::tickString(0.30000000000000004, 0.1), "0.3");
    EXPECT_EQ(AxisItem::tickString(-1e-17, 0.1), "0.0");
    EXPECT_EQ(AxisItem::tickString(10000, 5000), "10000");
    EXPECT_EQ(AxisItem::tickString(0.25, 0.05), "0.25");
}

TEST(PlotCurve, XIsTheIndexAndGapsAreLeftOut)
{
    PlotCurve curve;
    EXPECT_FALSE(curve.dataBounds().has_value());
    curve.setData({1, 3, 2});
    EXPECT_EQ(curve.xData(), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(curve.yData(), (std::vector<double>{1, 3, 2}));
    EXPECT_EQ(*curve.dataBounds(), QRectF(0, 1, 2, 2));
    curve.setData({NaN, 5, NaN, 1, std::numeric_limits<double>::infinity()});
    EXPECT_EQ(*curve.dataBounds(), QRectF(1, 1, 2, 4));
    curve.setData({NaN});
    EXPECT_FALSE(curve.dataBounds().has_value());
    curve.setData({});
    EXPECT_FALSE(curve.dataBounds().has_value());
}

TEST(PlotItem, CurveTakesThePenAndAutoRangeFitsIt)
{
    PlotFixture f;
    PlotCurve* curve = f.plot->plot(QPen(QColor(255, 255, 0)));
    EXPECT_EQ(curve->pen().color(), QColor(255, 255, 0));
    EXPECT_TRUE(curve->pen().isCosmetic());
    EXPECT_TRUE(f.plot->getViewBox()->addedItems().contains(curve));
    curve->setData({0, 10, 5, 2});
    f.plot->autoRange(0);
    expectRectNear(f.plot->getViewBox()->viewRect(), QRectF(0, 0, 3, 10));
}

TEST(PlotItem, IgnoredLinesStayOutOfTheRangeAndSpanTheView)
{
    PlotFixture f;
    f.plot->enableAutoRange();
    PlotCurve* curve = f.plot->plot(QPen(Qt::yellow));
    auto* mean = new InfiniteLine;
    auto* upper = new InfiniteLine;
    f.plot->addItem(mean, true);
    f.plot->addItem(upper, true);
    curve->setData({1, 3});
    mean->setValue(2);
    upper->setValue(1000);
    f.plot->autoRange();
    const QRectF view = f.plot->getViewBox()->viewRect();
    expectRectNear(view, QRectF(-0.02, 0.96, 1.04, 2.08));
    EXPECT_DOUBLE_EQ(mean->value(), 2.0);
    EXPECT_DOUBLE_EQ(mean->boundingRect().left(), view.left());
    EXPECT_DOUBLE_EQ(mean->boundingRect().right(), view.right());
    EXPECT_DOUBLE_EQ(mean->boundingRect().top(), 2.0);

    // Auto-range follows new data by itself.
    curve->setData({0, 1, 2, 3, 40});
    expectRectNear(f.plot->getViewBox()->viewRect(), QRectF(-0.08, -0.8, 4.16, 41.6));
    EXPECT_DOUBLE_EQ(mean->boundingRect().right(), f.plot->getViewBox()->viewRect().right());

    mean->setValue(NaN);
    EXPECT_DOUBLE_EQ(mean->value(), 2.0);
}

TEST(PlotItem, AxesSitLeftOfAndBelowTheViewBox)
{
    PlotFixture f;
    ViewBox* view = f.plot->getViewBox();
    EXPECT_EQ(f.plot->leftAxis()->linkedView(), view);
    EXPECT_EQ(f.plot->bottomAxis()->linkedView(), view);
    const QRectF v = view->geometry();
    const QRectF l = f.plot->leftAxis()->geometry();
    const QRectF b = f.plot->bottomAxis()->geometry();
    EXPECT_GT(v.width(), 200.0);
    EXPECT_GT(v.height(), 200.0);
    EXPECT_NEAR(l.right(), v.left(), 0.5);
    EXPECT_NEAR(b.top(), v.bottom(), 0.5);
    EXPECT_GT(l.width(), 10.0);
    EXPECT_GT(b.height(), 10.0);
}

TEST(PlotItem, CurveAndLinesAreDrawnThroughTheView)
{
    PlotFixture f;
    ViewBox* view = f.plot->getViewBox();
    PlotCurve* curve = f.plot->plot(QPen(QColor(255, 255, 0), 3));
    auto* line = new InfiniteLine(0.0, QPen(QColor(0, 255, 0), 3));
    f.plot->addItem(line, true);
    curve->setData({5, 5, 5});
    view->setRange(QRectF(0, 0, 2, 10));
    line->setValue(2.5);

    QImage canvas(400, 300, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    f.scene.render(&painter, QRectF(0, 0, 400, 300), QRectF(0, 0, 400, 300));
    painter.end();
    const QPointF mid = view->mapViewToScene(QPointF(1, 5));
    const QPointF low = view->mapViewToScene(QPointF(1, 2.5));
    EXPECT_EQ(canvas.pixel(mid.toPoint()), qRgb(255, 255, 0));
    EXPECT_EQ(canvas.pixel(low.toPoint()), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(view->mapViewToScene(QPointF(1, 8)).toPoint()), qRgb(0, 0, 0));
}

TEST(LabelItem, TakesRichTextInLightGrey)
{
    LabelItem label;
    EXPECT_TRUE(label.text().isEmpty());
    EXPECT_EQ(label.color(), LabelItem::DefaultColor);
    const QSizeF empty = label.effectiveSizeHint(Qt::PreferredSize);
    const QString text = " <span style='font-size: 14pt'>mead=2.000,   <span style='color: red'>std=1.0000 </span>    ";
    label.setText(text);
    EXPECT_EQ(label.text(), text);
    EXPECT_TRUE(label.textItem()->toPlainText().contains("mead=2.000"));
    const QSizeF sized = label.effectiveSizeHint(Qt::PreferredSize);
    EXPECT_GT(sized.width(), empty.width());
    EXPECT_GT(sized.height(), empty.height());
    EXPECT_EQ(label.effectiveSizeHint(Qt::MinimumSize).width(), 0.0);
}
