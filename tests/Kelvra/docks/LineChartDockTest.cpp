// The line chart against known images: each pixel's value tells its image,
// x and y, so every plotted sample can be checked.

#include "Kelvra/docks/LineChartDock.h"
#include "platform/base/DataEngine.h"
#include "platform/plot/GraphicsLayoutWidget.h"
#include "platform/plot/InfiniteLine.h"
#include "platform/plot/LabelItem.h"
#include "platform/plot/PlotCurve.h"
#include "platform/plot/PlotEvents.h"
#include "platform/plot/PlotItem.h"
#include "platform/plot/ViewBox.h"
#include "tests/Kelvra/common/CaptureStream.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QGraphicsSceneWheelEvent>
#include <QGroupBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

using Kelvra::LineChartDock;

namespace {

// Amplitude 10000 + 1000 x + y, phase 20000 + ..., depth 30000 + ...
float pixel(int kind, int x, int y)
{
    return static_cast<float>(kind * 10000 + 1000 * x + y);
}

cv::Mat image(int width, int height, const std::function<float(int, int)>& value)
{
    cv::Mat img(width, height, CV_32F); // [x][y]
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            img.at<float>(x, y) = value(x, y);
    return img;
}

DataEngine::Images frame(int width, int height)
{
    return {{"amplitude", image(width, height, [](int x, int y) { return pixel(1, x, y); })},
            {"phase", image(width, height, [](int x, int y) { return pixel(2, x, y); })},
            {"depth", image(width, height, [](int x, int y) { return pixel(3, x, y); })}};
}

// Amplitude and depth of one value; no phase. The chart wakes on "depth".
DataEngine::Images flat(int width, int height, float value)
{
    return {{"amplitude", image(width, height, [value](int, int) { return value; })},
            {"depth", image(width, height, [value](int, int) { return value; })}};
}

std::vector<double> row(int kind, int width, int y)
{
    std::vector<double> v;
    for (int x = 0; x < width; ++x)
        v.push_back(pixel(kind, x, y));
    return v;
}

std::vector<double> column(int kind, int x, int height)
{
    std::vector<double> v;
    for (int y = 0; y < height; ++y)
        v.push_back(pixel(kind, x, y));
    return v;
}

// Types `text` over what the spin box shows and confirms it with Return.
void typeInto(QSpinBox* spin, const QString& text)
{
    spin->selectAll();
    QTest::keyClicks(spin, text);
    QTest::keyClick(spin, Qt::Key_Return);
}

// Clicks a radio button on its indicator (its middle may lie past its text).
void clickRadio(QRadioButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

struct ChartFixture : ::testing::Test {
    DataEngine engine{nullptr};
    LineChartDock dock{&engine};

    // Shown, so that the radio buttons take mouse clicks.
    ChartFixture() { dock.show(); }

    // Publishes a frame and lets the queued "depth" notification run.
    void publish(const DataEngine::Images& images)
    {
        engine.publishFrame(images);
        QCoreApplication::sendPostedEvents(&dock, QEvent::MetaCall);
    }
    const std::vector<double>& plotted() const { return dock.curve->yData(); }
};

} // namespace

TEST_F(ChartFixture, StartsEmptyWithAmplitudeAndSingleRowChecked)
{
    EXPECT_EQ(dock.windowTitle(), "PolygonalChart");
    EXPECT_EQ(dock.minimumSize(), QSize(800, 600));
    EXPECT_EQ(dock.widget(), static_cast<QWidget*>(dock.scroller));
    EXPECT_EQ(dock.captureDataTypeGroupBox->title(), "Select  Display Data Type");
    EXPECT_EQ(dock.captureDataModeGroupBox->title(), "Select  Display Data Mode");
    EXPECT_TRUE(dock.radioAmplitude->isChecked());
    EXPECT_TRUE(dock.radioSingleRow->isChecked());
    EXPECT_EQ(dock.radioGroup->id(dock.radioPhase), 2);
    EXPECT_EQ(dock.radioGroup->id(dock.radioDepth), 3);
    EXPECT_EQ(dock.modeRadioGroup->id(dock.radioSingleColumn), 2);
    EXPECT_EQ(dock.modeRadioGroup->id(dock.radioSinglePoint), 3);
    EXPECT_TRUE(plotted().empty());
    EXPECT_TRUE(dock.label->text().isEmpty());
    EXPECT_EQ(dock.curve->pen().color(), QColor(255, 255, 0));
    EXPECT_EQ(dock.graphicsWidget->backgroundBrush().color(), QColor(0, 0, 0, 255));
}

TEST_F(ChartFixture, FirstFrameRangesTheSpinsFromZeroAndPlotsTheMiddleRow)
{
    publish(frame(320, 240));
    EXPECT_EQ(dock.rowSpin->minimum(), 0);
    EXPECT_EQ(dock.rowSpin->maximum(), 239);
    EXPECT_EQ(dock.rowSpin->value(), 120);
    EXPECT_EQ(dock.colSpin->maximum(), 319);
    EXPECT_EQ(dock.colSpin->value(), 160);
    EXPECT_EQ(dock.pointXSpin->maximum(), 319);
    EXPECT_EQ(dock.pointXSpin->value(), 160);
    EXPECT_EQ(dock.pointYSpin->maximum(), 239);
    EXPECT_EQ(dock.pointYSpin->value(), 120);
    EXPECT_EQ(plotted(), row(1, 320, 120));
    EXPECT_EQ(dock.curve->xData().back(), 319.0);

    // Row values 10000 + 1000 x + 120: mean 169620, population std 1000 * sqrt((320^2 - 1) / 12).
    const double mean = 169620.0;
    const double deviation = 1000.0 * std::sqrt((320.0 * 320.0 - 1.0) / 12.0);
    EXPECT_DOUBLE_EQ(dock.hLine->value(), mean);
    EXPECT_NEAR(dock.upperLine->value(), mean + deviation, 1e-6);
    EXPECT_NEAR(dock.lowerLine->value(), mean - deviation, 1e-6);
    EXPECT_EQ(dock.label->text(),
              QString::asprintf(" <span style='font-size: 14pt'>mead=%0.3f,   <span style='color: red'>std=%0.4f "
                                "</span>    ",
                                mean, deviation));
}

TEST_F(ChartFixture, AnEightyWideFirstFrameChartsToo)
{
    publish(frame(80, 60));
    EXPECT_EQ(dock.rowSpin->maximum(), 59);
    EXPECT_EQ(dock.rowSpin->value(), 30);
    EXPECT_EQ(dock.colSpin->maximum(), 79);
    EXPECT_EQ(plotted(), row(1, 80, 30));
}

TEST_F(ChartFixture, RowsAndColumnsFirstAndLastAreReachable)
{
    publish(frame(32, 24));
    dock.rowSpin->setValue(0);
    EXPECT_EQ(plotted(), row(1, 32, 0));
    dock.rowSpin->setValue(23);
    EXPECT_EQ(plotted(), row(1, 32, 23));
    dock.rowSpin->setValue(24); // clamped by the range
    EXPECT_EQ(dock.rowSpin->value(), 23);

    clickRadio(dock.radioSingleColumn);
    EXPECT_EQ(plotted(), column(1, 16, 24));
    dock.colSpin->setValue(0);
    EXPECT_EQ(plotted(), column(1, 0, 24));
    dock.colSpin->setValue(31);
    EXPECT_EQ(plotted(), column(1, 31, 24));
    EXPECT_EQ(dock.curve->xData().size(), 24u);

    // The next frame keeps the mode and the column.
    publish(frame(32, 24));
    EXPECT_EQ(plotted(), column(1, 31, 24));

    // Auto-ranged after the slot: the view shows the whole column.
    const QRectF view = dock.plotItem->getViewBox()->targetRect();
    EXPECT_LE(view.top(), pixel(1, 31, 0));
    EXPECT_GE(view.bottom(), pixel(1, 31, 23));
    EXPECT_LE(view.left(), 0.0);
    EXPECT_GE(view.right(), 23.0);
}

TEST_F(ChartFixture, ANumberTypedBeyondALimitIsThatLimit)
{
    publish(frame(320, 240));
    typeInto(dock.rowSpin, "300");
    EXPECT_EQ(dock.rowSpin->value(), 239);
    EXPECT_EQ(plotted(), row(1, 320, 239));
    for (QSpinBox* spin : {dock.colSpin, dock.pointXSpin, dock.pointYSpin}) {
        typeInto(spin, "5000");
        EXPECT_EQ(spin->value(), spin->maximum());
    }
}

TEST_F(ChartFixture, TypeButtonsChooseTheImage)
{
    publish(frame(8, 6));
    clickRadio(dock.radioPhase);
    EXPECT_EQ(plotted(), row(2, 8, 3));
    clickRadio(dock.radioDepth);
    EXPECT_EQ(plotted(), row(3, 8, 3));
    publish(frame(8, 6));
    EXPECT_EQ(plotted(), row(3, 8, 3));
    clickRadio(dock.radioAmplitude);
    EXPECT_EQ(plotted(), row(1, 8, 3));
}

TEST_F(ChartFixture, PointModeKeepsAHundredSamplesOfOnePixel)
{
    publish(frame(8, 6));
    clickRadio(dock.radioSinglePoint);
    EXPECT_EQ(plotted(), std::vector<double>{pixel(1, 4, 3)});
    EXPECT_EQ(dock.hLine->value(), pixel(1, 4, 3));
    EXPECT_EQ(dock.upperLine->value(), pixel(1, 4, 3));

    // Frame i carries the value i at the pixel.
    for (int i = 1; i <= 150; ++i)
        publish(flat(8, 6, static_cast<float>(i)));
    ASSERT_EQ(plotted().size(), 100u);
    EXPECT_EQ(plotted().front(), 51.0);
    EXPECT_EQ(plotted().back(), 150.0);
    EXPECT_EQ(dock.curve->xData().back(), 99.0);

    // A row or column spin keeps the history and adds a sample of the current frame.
    dock.rowSpin->setValue(1);
    ASSERT_EQ(plotted().size(), 100u);
    EXPECT_EQ(plotted().front(), 52.0);
    EXPECT_EQ(plotted().back(), 150.0);

    // Another pixel starts again, from its own value.
    publish(frame(8, 6));
    dock.pointXSpin->setValue(7);
    EXPECT_EQ(plotted(), std::vector<double>{pixel(1, 7, 3)});
    dock.pointYSpin->setValue(5);
    EXPECT_EQ(plotted(), std::vector<double>{pixel(1, 7, 5)});
    dock.pointYSpin->setValue(0);
    EXPECT_EQ(plotted(), std::vector<double>{pixel(1, 7, 0)});
    clickRadio(dock.radioPhase);
    EXPECT_EQ(plotted(), std::vector<double>{pixel(2, 7, 0)});
}

TEST_F(ChartFixture, LeavingPointModeAndComingBackStartsTheHistoryAfresh)
{
    publish(frame(8, 6));
    clickRadio(dock.radioSinglePoint);
    for (int i = 1; i <= 5; ++i)
        publish(flat(8, 6, static_cast<float>(i)));
    ASSERT_EQ(plotted().size(), 6u);
    clickRadio(dock.radioSingleRow);
    EXPECT_EQ(plotted(), std::vector<double>(8, 5.0));
    clickRadio(dock.radioSinglePoint);
    EXPECT_EQ(plotted(), std::vector<double>{5.0});
    EXPECT_EQ(dock.lowerLine->value(), 5.0);
    EXPECT_EQ(dock.upperLine->value(), 5.0);
}

TEST_F(ChartFixture, ClearedFramesLeaveNoCurveNoLinesNoLabelAndNoHistory)
{
    publish(frame(8, 6));
    clickRadio(dock.radioSinglePoint);
    for (int i = 1; i <= 5; ++i)
        publish(flat(8, 6, static_cast<float>(i)));
    ASSERT_EQ(plotted().size(), 6u);
    ASSERT_FALSE(dock.label->text().isEmpty());
    // The engine's frames were cleared (a camera went, another source was chosen).
    engine.publishFrame({{"amplitude", cv::Mat()}, {"phase", cv::Mat()}, {"depth", cv::Mat()}},
                        DataEngine::FrameSize{{0, 0}});
    QCoreApplication::sendPostedEvents(&dock, QEvent::MetaCall);
    EXPECT_TRUE(plotted().empty());
    EXPECT_TRUE(dock.label->text().isEmpty());
    for (const Plot::InfiniteLine* line : {dock.hLine, dock.lowerLine, dock.upperLine})
        EXPECT_FALSE(line->isVisible());
    // The next source's frames start a history of their own.
    publish(flat(8, 6, 9.0f));
    EXPECT_EQ(plotted(), std::vector<double>{9.0});
    EXPECT_EQ(dock.hLine->value(), 9.0);
    for (const Plot::InfiniteLine* line : {dock.hLine, dock.lowerLine, dock.upperLine})
        EXPECT_TRUE(line->isVisible());
    EXPECT_FALSE(dock.label->text().isEmpty());
}

// Zooming or panning turns the view's own auto-range off: only the slot's
// brings the whole curve back.
TEST_F(ChartFixture, AChangedSpinShowsTheWholeCurveAfterTheUserZoomedOrPanned)
{
    Plot::ViewBox* box = dock.plotItem->getViewBox();
    const auto showsWhole = [&] {
        const QRectF view = box->targetRect();
        const std::vector<double>& y = plotted();
        const auto [low, high] = std::minmax_element(y.begin(), y.end());
        return view.left() <= 0.0 && view.right() >= static_cast<double>(y.size() - 1) && view.top() <= *low
            && view.bottom() >= *high;
    };
    publish(frame(32, 24));
    ASSERT_TRUE(showsWhole());

    QGraphicsSceneWheelEvent wheel(QEvent::GraphicsSceneWheel);
    wheel.setPos(box->rect().center());
    wheel.setDelta(4 * 120); // zoom in
    box->wheelEvent(&wheel);
    ASSERT_FALSE(showsWhole());
    dock.rowSpin->setValue(3);
    ASSERT_EQ(plotted(), row(1, 32, 3));
    EXPECT_TRUE(showsWhole());

    clickRadio(dock.radioSingleColumn);
    const QPointF from = box->rect().center();
    Plot::MouseDragEvent drag(from + QPointF(box->rect().width() / 2, 0), from, from, Qt::LeftButton);
    box->mouseDragEvent(drag);
    ASSERT_FALSE(showsWhole());
    dock.colSpin->setValue(5);
    ASSERT_EQ(plotted(), column(1, 5, 24));
    EXPECT_TRUE(showsWhole());
}

TEST_F(ChartFixture, StatisticsUseThePopulationDeviation)
{
    publish(flat(4, 4, 1.0f));
    clickRadio(dock.radioSinglePoint);
    publish(flat(4, 4, 3.0f));
    EXPECT_EQ(plotted(), (std::vector<double>{1.0, 3.0}));
    EXPECT_TRUE(dock.label->text().contains("mead=2.000,   <span style='color: red'>std=1.0000 </span>"));
    EXPECT_EQ(dock.lowerLine->value(), 1.0);
    EXPECT_EQ(dock.hLine->value(), 2.0);
    EXPECT_EQ(dock.upperLine->value(), 3.0);
}

TEST_F(ChartFixture, ANewHeightOrWidthRangesTheSpinsAgain)
{
    publish(frame(16, 12));
    dock.rowSpin->setValue(11);

    // Taller, same width: the new rows are reachable.
    publish(frame(16, 20));
    EXPECT_EQ(dock.rowSpin->maximum(), 19);
    EXPECT_EQ(dock.rowSpin->value(), 10);
    dock.rowSpin->setValue(19);
    EXPECT_EQ(plotted(), row(1, 16, 19));

    // Lower, same width: the chosen row would lie outside; the chart follows.
    publish(frame(16, 8));
    EXPECT_EQ(dock.rowSpin->maximum(), 7);
    EXPECT_EQ(dock.rowSpin->value(), 4);
    EXPECT_EQ(plotted(), row(1, 16, 4));

    // Narrower.
    clickRadio(dock.radioSingleColumn);
    dock.colSpin->setValue(15);
    publish(frame(10, 8));
    EXPECT_EQ(dock.colSpin->maximum(), 9);
    EXPECT_EQ(plotted(), column(1, 5, 8));

    // An odd height centres at the lower half.
    publish(frame(10, 45));
    EXPECT_EQ(dock.rowSpin->value(), 22);
}

TEST_F(ChartFixture, AFailedUpdateChangesNothingOnScreenAndIsPrinted)
{
    KelvraTest::CaptureStream out;
    // Before any frame: nothing to read, nothing drawn.
    clickRadio(dock.radioPhase);
    EXPECT_TRUE(plotted().empty());
    EXPECT_NE(out.text().find("LineChartDock.setDataType"), std::string::npos);

    publish(frame(8, 6));
    const std::vector<double> before = plotted();
    const QString label = dock.label->text();
    ASSERT_EQ(before, row(2, 8, 3));

    // A frame without a phase image: the notification fails and says so.
    publish(flat(8, 6, 5.0f));
    EXPECT_EQ(plotted(), before);
    EXPECT_EQ(dock.label->text(), label);
    EXPECT_NE(out.text().find("no phase image"), std::string::npos);

    // Point mode appends only what it could read.
    clickRadio(dock.radioAmplitude);
    clickRadio(dock.radioSinglePoint);
    EXPECT_EQ(plotted(), std::vector<double>{5.0});
    publish({{"depth", image(8, 6, [](int, int) { return 5.0f; })}});
    EXPECT_EQ(plotted(), std::vector<double>{5.0});
    publish(frame(8, 6));
    EXPECT_EQ(plotted(), (std::vector<double>{5.0, pixel(1, 4, 3)}));
}
