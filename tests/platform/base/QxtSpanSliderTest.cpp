#include "platform/base/QxtSpanSlider.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// A shown slider of a fixed width, with spies on all four signals.
class SpanSliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        slider.resize(300, 30);
        slider.show();
        lowerInt = std::make_unique<QSignalSpy>(&slider, &QxtSpanSlider::lowerPositionChanged);
        upperInt = std::make_unique<QSignalSpy>(&slider, &QxtSpanSlider::upperPositionChanged);
        lowerFloat = std::make_unique<QSignalSpy>(&slider, &QxtSpanSlider::floatLowerPositionChanged);
        upperFloat = std::make_unique<QSignalSpy>(&slider, &QxtSpanSlider::floatUpperPositionChanged);
    }
    int emissions() const { return lowerInt->count() + upperInt->count() + lowerFloat->count() + upperFloat->count(); }
    void clearSpies()
    {
        lowerInt->clear();
        upperInt->clear();
        lowerFloat->clear();
        upperFloat->clear();
    }
    QPoint centerOf(QxtSpanSlider::SpanHandle handle) const { return slider.handleRect(handle).center(); }
    // A press, moves in a few steps, and a release, as a user drags.
    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, from);
        for (int i = 1; i <= 4; ++i) {
            const QPoint at = from + (to - from) * i / 4;
            QMouseEvent move(QEvent::MouseMove, at, slider.mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(&slider, &move);
        }
        QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, to);
    }

    QxtSpanSlider slider;
    std::unique_ptr<QSignalSpy> lowerInt, upperInt, lowerFloat, upperFloat;
};

TEST_F(SpanSliderTest, RangeSpanAndFloatRangeNeverEmit)
{
    slider.setRange(0, 1000);
    slider.setSpan(100, 900);
    EXPECT_EQ(slider.lowerPosition(), 100);
    EXPECT_EQ(slider.upperPosition(), 900);
    slider.setRange(200, 500); // handles are pulled inside, silently
    EXPECT_EQ(slider.lowerPosition(), 200);
    EXPECT_EQ(slider.upperPosition(), 500);
    slider.setFloatRange(0, 4000, 10);
    slider.setSpan(12.5, 3000.25);
    slider.setMaximum(100);
    EXPECT_EQ(emissions(), 0);
}

TEST_F(SpanSliderTest, SetSpanOrdersRoundsAndClamps)
{
    slider.setRange(0, 1000);
    slider.setSpan(800, 300);
    EXPECT_EQ(slider.lowerPosition(), 300);
    EXPECT_EQ(slider.upperPosition(), 800);
    slider.setSpan(100.6, 1090.0); // floating-point levels, beyond the top
    EXPECT_EQ(slider.lowerPosition(), 101);
    EXPECT_EQ(slider.upperPosition(), 1000);
    slider.setSpan(-50, -10);
    EXPECT_EQ(slider.lowerPosition(), 0);
    EXPECT_EQ(slider.upperPosition(), 0);
}

TEST_F(SpanSliderTest, FloatModeMapsPositionsThroughTheScalingFactor)
{
    slider.setFloatRange(0, 4000, 10);
    EXPECT_TRUE(slider.isFloatMode());
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), 40000);
    EXPECT_EQ(slider.lowerPosition(), 0); // handles at the ends
    EXPECT_EQ(slider.upperPosition(), 40000);
    EXPECT_DOUBLE_EQ(slider.upperValue(), 4000.0);

    slider.setLowerPosition(12347);
    ASSERT_EQ(lowerFloat->count(), 1);
    EXPECT_DOUBLE_EQ(lowerFloat->at(0).at(0).toDouble(), 1234.7);
    ASSERT_EQ(lowerInt->count(), 1);
    EXPECT_EQ(lowerInt->at(0).at(0).toInt(), 1234); // truncated
    EXPECT_EQ(upperInt->count() + upperFloat->count(), 0);

    // setSpan takes values of the float mode.
    slider.setSpan(100.5, 2000);
    EXPECT_EQ(slider.lowerPosition(), 1005);
    EXPECT_EQ(slider.upperPosition(), 20000);

    // Back in the integer mode the float signals carry the int.
    slider.setRange(0, 50);
    slider.setSpan(0, 10);
    clearSpies();
    slider.setUpperPosition(42);
    ASSERT_EQ(upperFloat->count(), 1);
    EXPECT_DOUBLE_EQ(upperFloat->at(0).at(0).toDouble(), 42.0);
    EXPECT_EQ(upperInt->at(0).at(0).toInt(), 42);
}

TEST_F(SpanSliderTest, FractionalOrBrokenScalingFactors)
{
    slider.setFloatRange(0.5, 2.5, 0.1); // very coarse: positions 0..0
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), 0);
    slider.setFloatRange(1, 4, 0.0); // no division by zero: counts as 1
    EXPECT_DOUBLE_EQ(slider.getScalingFactor(), 1.0);
    EXPECT_EQ(slider.maximum(), 4);
    slider.setFloatRange(1, 4, std::nan(""));
    EXPECT_DOUBLE_EQ(slider.getScalingFactor(), 1.0);
    slider.setFloatRange(-2, 2, 2);
    slider.setLowerPosition(-3);
    ASSERT_EQ(lowerFloat->count(), 1);
    EXPECT_DOUBLE_EQ(lowerFloat->at(0).at(0).toDouble(), -1.5);
    EXPECT_EQ(lowerInt->at(0).at(0).toInt(), -1); // toward zero
}

TEST_F(SpanSliderTest, PublicMovesAreBoundedByTheOtherHandleAndEmitOnlyOnChange)
{
    slider.setRange(0, 100);
    slider.setSpan(20, 60);
    slider.setLowerPosition(80); // cannot pass the upper handle
    EXPECT_EQ(slider.lowerPosition(), 60);
    slider.setUpperPosition(10);
    EXPECT_EQ(slider.upperPosition(), 60);
    slider.setUpperPosition(500);
    EXPECT_EQ(slider.upperPosition(), 100);
    EXPECT_EQ(lowerInt->count(), 1);
    EXPECT_EQ(upperInt->count(), 1); // 10 -> clamped to 60 = no change
    slider.setUpperPosition(100);
    EXPECT_EQ(upperInt->count(), 1);
}

TEST_F(SpanSliderTest, DraggingMovesTheGrabbedHandleOnly)
{
    slider.setRange(0, 100);
    slider.setSpan(20, 80);
    drag(centerOf(QxtSpanSlider::UpperHandle), centerOf(QxtSpanSlider::UpperHandle) - QPoint(60, 0));
    EXPECT_EQ(slider.lowerPosition(), 20);
    EXPECT_LT(slider.upperPosition(), 80);
    EXPECT_GT(slider.upperPosition(), 20);
    EXPECT_EQ(lowerInt->count(), 0);
    ASSERT_GE(upperInt->count(), 1);
    EXPECT_EQ(upperInt->last().at(0).toInt(), slider.upperPosition());
    EXPECT_EQ(upperFloat->count(), upperInt->count());
    EXPECT_EQ(slider.activeHandle(), QxtSpanSlider::UpperHandle);

    // Dragging the lower handle far right stops at the upper one.
    clearSpies();
    drag(centerOf(QxtSpanSlider::LowerHandle), QPoint(slider.width() - 1, 15));
    EXPECT_EQ(slider.lowerPosition(), slider.upperPosition());
    EXPECT_EQ(upperInt->count(), 0);
    EXPECT_GE(lowerInt->count(), 1);
}

TEST_F(SpanSliderTest, GroovePressBringsTheNearerHandle)
{
    slider.setRange(0, 100);
    slider.setSpan(10, 90);
    const QPoint nearLower = centerOf(QxtSpanSlider::LowerHandle) + QPoint(40, 0);
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, nearLower);
    EXPECT_GT(slider.lowerPosition(), 10);
    EXPECT_EQ(slider.upperPosition(), 90);
    EXPECT_EQ(lowerInt->count(), 1);

    const QPoint nearUpper = centerOf(QxtSpanSlider::UpperHandle) - QPoint(40, 0);
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, nearUpper);
    EXPECT_LT(slider.upperPosition(), 90);
    EXPECT_EQ(upperInt->count(), 1);
    EXPECT_EQ(lowerInt->count(), 1);

    // Other buttons do nothing.
    QTest::mouseClick(&slider, Qt::RightButton, Qt::NoModifier, QPoint(2, 15));
    EXPECT_EQ(emissions(), 4);
}

TEST_F(SpanSliderTest, StackedHandlesSeparateInTheDirectionOfTheDrag)
{
    slider.setRange(0, 100);
    slider.setSpan(0, 0);
    drag(centerOf(QxtSpanSlider::LowerHandle), centerOf(QxtSpanSlider::LowerHandle) + QPoint(100, 0));
    EXPECT_EQ(slider.lowerPosition(), 0);
    EXPECT_GT(slider.upperPosition(), 0);

    slider.setSpan(100, 100);
    clearSpies();
    drag(centerOf(QxtSpanSlider::UpperHandle), centerOf(QxtSpanSlider::UpperHandle) - QPoint(100, 0));
    EXPECT_EQ(slider.upperPosition(), 100);
    EXPECT_LT(slider.lowerPosition(), 100);
    EXPECT_EQ(upperInt->count(), 0);
}

TEST_F(SpanSliderTest, KeysMoveTheActiveHandle)
{
    slider.setRange(0, 100);
    slider.setSpan(40, 60);
    slider.setSingleStep(5);
    slider.setPageStep(20);
    slider.setFocus();

    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.lowerPosition(), 45); // lower is active at first
    QTest::keyClick(&slider, Qt::Key_PageDown);
    EXPECT_EQ(slider.lowerPosition(), 25);
    QTest::keyClick(&slider, Qt::Key_Home);
    EXPECT_EQ(slider.lowerPosition(), 0);
    QTest::keyClick(&slider, Qt::Key_End);
    EXPECT_EQ(slider.lowerPosition(), 60); // stopped by the upper handle
    EXPECT_EQ(lowerInt->count(), 4);

    // Pressing a handle makes it the one the keys move.
    slider.setSpan(40, 60);
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, centerOf(QxtSpanSlider::UpperHandle) + QPoint(2, 0));
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, centerOf(QxtSpanSlider::UpperHandle) + QPoint(2, 0));
    ASSERT_EQ(slider.activeHandle(), QxtSpanSlider::UpperHandle);
    clearSpies();
    const int before = slider.upperPosition();
    QTest::keyClick(&slider, Qt::Key_Up);
    EXPECT_EQ(slider.upperPosition(), before + 5);
    EXPECT_EQ(upperInt->count(), 1);
    EXPECT_EQ(lowerInt->count(), 0);

    // Keys that are no slider moves change nothing.
    QTest::keyClick(&slider, Qt::Key_A);
    EXPECT_EQ(emissions(), 2);
}

TEST_F(SpanSliderTest, PaintsBothHandlesWithTheSpanBetween)
{
    slider.setRange(0, 100);
    slider.setSpan(25, 75);
    const QImage image = slider.grab().toImage();
    const QColor highlight = slider.palette().color(QPalette::Highlight);
    // The span colour lies between the handles and not outside them.
    const int y = slider.handleRect(QxtSpanSlider::LowerHandle).center().y();
    const int mid = (centerOf(QxtSpanSlider::LowerHandle).x() + centerOf(QxtSpanSlider::UpperHandle).x()) / 2;
    EXPECT_EQ(image.pixelColor(mid, y), highlight);
    EXPECT_NE(image.pixelColor(slider.handleRect(QxtSpanSlider::LowerHandle).left() - 4, y), highlight);
    EXPECT_NE(image.pixelColor(slider.handleRect(QxtSpanSlider::UpperHandle).right() + 4, y), highlight);
    EXPECT_LT(slider.handleRect(QxtSpanSlider::LowerHandle).right(),
              slider.handleRect(QxtSpanSlider::UpperHandle).left());
}

} // namespace
