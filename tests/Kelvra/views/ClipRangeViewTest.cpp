#include "Kelvra/views/ClipRangeView.h"

#include "platform/base/DataView.h"
#include "platform/base/QxtSpanSlider.h"
#include "platform/base/ViewCommunicator.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using Kelvra::ClipRangeView;

class ClipRangeViewTest : public ::testing::Test {
protected:
    void expectLast(double lower, double upper)
    {
        ASSERT_FALSE(thresholds.isEmpty());
        const auto args = thresholds.last();
        EXPECT_EQ(args.at(0).toString(), "depth");
        EXPECT_DOUBLE_EQ(args.at(1).toDouble(), lower);
        EXPECT_DOUBLE_EQ(args.at(2).toDouble(), upper);
    }

    QSignalSpy thresholds{DataView::communicator(), &ViewCommunicator::thresholdsChanged};
    ClipRangeView page{nullptr, nullptr, nullptr};
};

TEST_F(ClipRangeViewTest, StartsAtZeroToFourThousandAndSendsNothing)
{
    EXPECT_EQ(ClipRangeView::getID(), "depth_limit_setting");
    EXPECT_EQ(page.getTitle(), "Depth Limit");
    EXPECT_EQ(page.depth_threshold_lower_value->text(), "0");
    EXPECT_EQ(page.depth_threshold_upper_value->text(), "4000");
    EXPECT_TRUE(page.spanSlider->isFloatMode());
    EXPECT_EQ(page.spanSlider->getScalingFactor(), 10.0);
    EXPECT_EQ(page.spanSlider->minimum(), 0);
    EXPECT_EQ(page.spanSlider->maximum(), 40000);
    page.init();
    EXPECT_EQ(thresholds.count(), 0);
}

TEST_F(ClipRangeViewTest, HandleMovesAreShownTruncatedAndSentWithBothLimits)
{
    // Moved as a user would: the slider reports the position as a value.
    page.spanSlider->setLowerPosition(12347); // 1234.7
    EXPECT_EQ(page.depth_threshold_lower_value->text(), "1234");
    expectLast(1234.7, 4000);

    page.spanSlider->setUpperPosition(25000);
    EXPECT_EQ(page.depth_threshold_upper_value->text(), "2500");
    expectLast(1234.7, 2500); // the lower limit keeps its last value

    page.spanSlider->setLowerPosition(0);
    expectLast(0, 2500);
    EXPECT_EQ(thresholds.count(), 3);
}

TEST_F(ClipRangeViewTest, SlotsCalledDirectly)
{
    page.updateUpperLevel(2500);
    EXPECT_EQ(page.depth_threshold_upper_value->text(), "2500");
    expectLast(0, 2500);
    page.updateLowerLevel(-0.5);
    EXPECT_EQ(page.depth_threshold_lower_value->text(), "0");
    expectLast(-0.5, 2500);
}
