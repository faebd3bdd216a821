#include "Kelvra/common/StatsCalculator.h"

#include <gtest/gtest.h>

#include <cmath>

using Kelvra::StatsCalculator;

namespace {

// One-pixel images holding the given values, oldest first.
std::vector<cv::Mat> pixels(std::initializer_list<float> values)
{
    std::vector<cv::Mat> history;
    for (float v : values)
        history.push_back(cv::Mat(1, 1, CV_32F, cv::Scalar(v)));
    return history;
}

double at(const cv::Mat& m) { return m.at<double>(0, 0); }

} // namespace

TEST(StatsCalculator, MeanAndPopulationStdOverTheNewestEntries)
{
    const auto history = pixels({1, 2, 3, 4});
    const auto mean = StatsCalculator::matrixMean(history, 4);
    ASSERT_TRUE(mean);
    EXPECT_EQ(mean->type(), CV_64F);
    EXPECT_DOUBLE_EQ(at(*mean), 2.5);
    const auto stdev = StatsCalculator::matrixStd(history, 4, *mean);
    ASSERT_TRUE(stdev);
    EXPECT_EQ(stdev->type(), CV_64F);
    EXPECT_NEAR(at(*stdev), std::sqrt(5.0 / 4.0), 1e-12); // divisor N, not N - 1

    const auto newestTwo = StatsCalculator::matrixMean(pixels({2, 4, 6}), 2);
    ASSERT_TRUE(newestTwo);
    EXPECT_DOUBLE_EQ(at(*newestTwo), 5.0);
}

TEST(StatsCalculator, CountAboveTheLengthDropsTheOldestEntry)
{
    const auto history = pixels({10, 1, 2, 3, 4});
    EXPECT_DOUBLE_EQ(at(*StatsCalculator::matrixMean(history, 5)), 4.0);
    // 8 > 5 becomes 4: the newest four, divided by 4.
    EXPECT_DOUBLE_EQ(at(*StatsCalculator::matrixMean(history, 8)), 2.5);
    const cv::Mat avg(1, 1, CV_64F, cv::Scalar(2.5));
    EXPECT_NEAR(at(*StatsCalculator::matrixStd(history, 8, avg)), std::sqrt(5.0 / 4.0), 1e-12);
}

TEST(StatsCalculator, SingleImageGivesItselfAndZeroSpread)
{
    cv::Mat image(3, 4, CV_32F);
    cv::randu(image, -5.0f, 5.0f);
    const std::vector<cv::Mat> history{image};
    const auto mean = StatsCalculator::matrixMean(history, 1);
    ASSERT_TRUE(mean);
    EXPECT_EQ(mean->size(), image.size());
    cv::Mat expected;
    image.convertTo(expected, CV_64F);
    EXPECT_EQ(cv::norm(*mean, expected, cv::NORM_INF), 0.0);
    const auto stdev = StatsCalculator::matrixStd(history, 1, *mean);
    ASSERT_TRUE(stdev);
    EXPECT_EQ(cv::countNonZero(*stdev), 0);
}

TEST(StatsCalculator, NoResultWhereThereIsNothingToAverage)
{
    const std::vector<cv::Mat> empty;
    const cv::Mat avg(1, 1, CV_64F, cv::Scalar(0));
    EXPECT_FALSE(StatsCalculator::matrixMean(empty, 3));
    EXPECT_FALSE(StatsCalculator::matrixStd(empty, 3, avg));

    // A count of 0, or one clamped to 0, gives no result instead of NaN images.
    const auto three = pixels({1, 2, 3});
    EXPECT_FALSE(StatsCalculator::matrixMean(three, 0));
    EXPECT_FALSE(StatsCalculator::matrixStd(three, 0, avg));
    const auto one = pixels({7});
    EXPECT_FALSE(StatsCalculator::matrixMean(one, 2));
    EXPECT_FALSE(StatsCalculator::matrixStd(one, 2, avg));
}

TEST(StatsCalculator, NegativeCountGivesZeros)
{
    const auto history = pixels({1, 2, 3});
    const auto mean = StatsCalculator::matrixMean(history, -2);
    ASSERT_TRUE(mean);
    EXPECT_EQ(mean->type(), CV_64F);
    EXPECT_EQ(cv::countNonZero(*mean), 0);
    const auto stdev = StatsCalculator::matrixStd(history, -2, cv::Mat(1, 1, CV_64F, cv::Scalar(9)));
    ASSERT_TRUE(stdev);
    EXPECT_EQ(cv::countNonZero(*stdev), 0);
}

TEST(StatsCalculator, ShapeMismatchFails)
{
    std::vector<cv::Mat> history{cv::Mat(2, 2, CV_32F, cv::Scalar(1)), cv::Mat(3, 2, CV_32F, cv::Scalar(1))};
    EXPECT_TRUE(StatsCalculator::matrixMean(history, 1));  // only the newest is read
    EXPECT_FALSE(StatsCalculator::matrixMean(history, 2)); // the older one does not fit
    const cv::Mat wrongAvg(2, 2, CV_64F, cv::Scalar(0));
    EXPECT_FALSE(StatsCalculator::matrixStd(history, 1, wrongAvg));
    EXPECT_FALSE(StatsCalculator::matrixStd(history, 2, cv::Mat(3, 2, CV_64F, cv::Scalar(0))));
}

TEST(StatsCalculator, IntegerImagesSumInDoubleWithoutOverflow)
{
    // Two depths: one summed directly, one widened first.
    for (int type : {CV_16U, CV_32S}) {
        std::vector<cv::Mat> history;
        for (int i = 0; i < 4; ++i)
            history.push_back(cv::Mat(2, 3, type, cv::Scalar(60000 + i * 1000)));
        const auto mean = StatsCalculator::matrixMean(history, 4);
        ASSERT_TRUE(mean) << type;
        EXPECT_EQ(mean->type(), CV_64F);
        EXPECT_DOUBLE_EQ(mean->at<double>(1, 2), 61500.0) << type;
        const auto stdev = StatsCalculator::matrixStd(history, 4, *mean);
        ASSERT_TRUE(stdev);
        EXPECT_NEAR(stdev->at<double>(0, 0), std::sqrt(1250000.0), 1e-6) << type;
    }
}

TEST(StatsCalculator, WholeImagesMatchAPerPixelComputation)
{
    cv::RNG rng(7);
    std::vector<cv::Mat> history;
    for (int i = 0; i < 6; ++i) {
        cv::Mat m(5, 7, CV_32F);
        rng.fill(m, cv::RNG::UNIFORM, 0.0, 100.0);
        history.push_back(m);
    }
    const auto mean = StatsCalculator::matrixMean(history, 4);
    const auto stdev = StatsCalculator::matrixStd(history, 4, *mean);
    ASSERT_TRUE(mean && stdev);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            double sum = 0;
            for (int i = 2; i < 6; ++i)
                sum += history[i].at<float>(y, x);
            const double m = sum / 4;
            double sq = 0;
            for (int i = 2; i < 6; ++i)
                sq += (history[i].at<float>(y, x) - m) * (history[i].at<float>(y, x) - m);
            EXPECT_NEAR(mean->at<double>(y, x), m, 1e-9);
            EXPECT_NEAR(stdev->at<double>(y, x), std::sqrt(sq / 4), 1e-9);
        }
    }
}
