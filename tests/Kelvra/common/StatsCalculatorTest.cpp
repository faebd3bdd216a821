#include "Kelvra/common/StatsCalculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>

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

double at(const cv::Mat& m)
{
    return m.at<double>(0, 0);
}

// Deterministic pixel values in [lo, hi), the same with any library version.
template <class T>
std::vector<cv::Mat> filledHistory(int count, int type, double lo, double hi, int rows = 240, int cols = 320)
{
    auto mix = [](uint64_t x) {
        x += 0x9e3779b97f4a7c15ull;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        return x ^ (x >> 31);
    };
    std::vector<cv::Mat> history;
    for (int e = 0; e < count; ++e) {
        cv::Mat m(rows, cols, type);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                const uint64_t key = (uint64_t(e) << 32) ^ (uint64_t(y) << 16) ^ uint64_t(x);
                const double u = static_cast<double>(mix(key) >> 11) / 9007199254740992.0;
                m.at<T>(y, x) = static_cast<T>(lo + (hi - lo) * u);
            }
        history.push_back(m);
    }
    return history;
}

// The statistics of one pixel, plainly: the newest `count` entries.
std::pair<double, double> pixelStats(const std::vector<cv::Mat>& history, int count, int y, int x)
{
    auto value = [&](int i) {
        cv::Mat v;
        history[history.size() - 1 - i](cv::Rect(x, y, 1, 1)).convertTo(v, CV_64F);
        return v.at<double>(0, 0);
    };
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += value(i);
    const double mean = sum / count;
    double squares = 0;
    for (int i = 0; i < count; ++i)
        squares += (value(i) - mean) * (value(i) - mean);
    return {mean, std::sqrt(squares / count)};
}

void expectClose(double got, double want, const char* what)
{
    EXPECT_NEAR(got, want, std::max(1e-12, 1e-9 * std::fabs(want))) << what;
}

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
    EXPECT_TRUE(StatsCalculator::matrixMean(history, 1)); // only the newest is read
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

TEST(StatsCalculator, WholeImagesKeepTheValuesTheyHadBeforeTheSumsWereVectorised)
{
    // Sums and single pixels of mean and spread over 320x240 histories, as
    // the pixel-by-pixel implementation gave them.
    struct Case {
        const char* name;
        std::vector<cv::Mat> history;
        int count;
        double meanSum, stdSum, mean00, mean120_160, std00, std239_319;
    };
    auto mixed = filledHistory<float>(12, CV_32F, -2, 3);
    const auto words = filledHistory<uint16_t>(6, CV_16U, 0, 9);
    for (int i = 0; i < 6; ++i)
        mixed[2 * i + 1] = words[i];
    const Case cases[] = {
        {"float", filledHistory<float>(30, CV_32F, 0, 4000), 30, 153635260.03038305, 86893195.799661025,
         2359.3480285644532, 2688.7066162109377, 1052.3843298504992, 1154.9623108448193},
        {"16 bits", filledHistory<uint16_t>(30, CV_16U, 0, 4000), 30, 153596845.49999928, 86893198.687408075,
         2358.8000000000002, 2688.1999999999998, 1052.3734571592604, 1154.876821233426},
        {"two depths", mixed, 9, 187726.95618873922, 199984.57485071698, 3.4932161072889962, 3.2826777961519027,
         2.7017505582533077, 2.829013788775153},
    };
    for (const Case& c : cases) {
        const auto mean = StatsCalculator::matrixMean(c.history, c.count);
        ASSERT_TRUE(mean) << c.name;
        const auto stdev = StatsCalculator::matrixStd(c.history, c.count, *mean);
        ASSERT_TRUE(stdev) << c.name;
        SCOPED_TRACE(c.name);
        expectClose(cv::sum(*mean)[0], c.meanSum, "mean sum");
        expectClose(cv::sum(*stdev)[0], c.stdSum, "spread sum");
        expectClose(mean->at<double>(0, 0), c.mean00, "mean at (0, 0)");
        expectClose(mean->at<double>(120, 160), c.mean120_160, "mean at (120, 160)");
        expectClose(stdev->at<double>(0, 0), c.std00, "spread at (0, 0)");
        expectClose(stdev->at<double>(239, 319), c.std239_319, "spread at (239, 319)");
        for (const auto& [y, x] : {std::pair{0, 0}, {17, 5}, {120, 160}, {239, 318}, {239, 319}}) {
            const auto [m, sd] = pixelStats(c.history, c.count, y, x);
            expectClose(mean->at<double>(y, x), m, "mean against the plain sums");
            expectClose(stdev->at<double>(y, x), sd, "spread against the plain sums");
        }
    }
}

TEST(StatsCalculator, LongHistoriesOfImageParts)
{
    // More entries than are summed in one go, a count that is no multiple of
    // four, rows wider than a vector and views into larger images.
    std::vector<cv::Mat> history;
    for (const cv::Mat& m : filledHistory<float>(41, CV_32F, -50, 50, 9, 23))
        history.push_back(m(cv::Rect(2, 1, 19, 7)));
    const auto mean = StatsCalculator::matrixMean(history, 37);
    ASSERT_TRUE(mean);
    const auto stdev = StatsCalculator::matrixStd(history, 37, *mean);
    ASSERT_TRUE(stdev);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 19; ++x) {
            const auto [m, sd] = pixelStats(history, 37, y, x);
            expectClose(mean->at<double>(y, x), m, "mean");
            expectClose(stdev->at<double>(y, x), sd, "spread");
        }
}

TEST(StatsCalculator, AHeldResultIsNeverOverwrittenAndALetGoOneIsReused)
{
    const auto first = filledHistory<float>(3, CV_32F, 0, 10, 4, 5);
    const auto second = filledHistory<float>(3, CV_32F, 20, 30, 4, 5);
    const auto held = StatsCalculator::matrixMean(first, 3);
    ASSERT_TRUE(held);
    const cv::Mat before = held->clone();
    std::vector<const uchar*> letGo;
    std::vector<cv::Mat> others;
    for (int i = 0; i < 4; ++i) {
        const auto mean = StatsCalculator::matrixMean(second, 3);
        const auto stdev = StatsCalculator::matrixStd(second, 3, *mean);
        ASSERT_TRUE(mean && stdev);
        EXPECT_NE(mean->data, held->data);
        EXPECT_NE(stdev->data, held->data);
        if (!letGo.empty()) { // the last round's results, let go of since
            EXPECT_TRUE(mean->data == letGo[0] || mean->data == letGo[1]);
            EXPECT_TRUE(stdev->data == letGo[0] || stdev->data == letGo[1]);
        }
        letGo = {mean->data, stdev->data};
        // Images of the same size made meanwhile do not get that storage.
        for (int k = 0; k < 2; ++k)
            others.emplace_back(4, 5, CV_64F, cv::Scalar(0));
    }
    EXPECT_EQ(cv::norm(*held, before, cv::NORM_INF), 0.0);
}
