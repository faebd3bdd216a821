#pragma once
// Temporal statistics of a history of images: per pixel, the mean and the
// population standard deviation over the newest entries.

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace Kelvra {

class StatsCalculator {
public:
    // Both take a snapshot of the history, oldest first, newest last. The
    // count of newest entries used is clamped to length - 1 when it exceeds
    // the length; a negative count sums nothing and gives zeros. The result
    // is CV_64F (per channel) with the shape of the newest entry.
    //
    // Nothing is returned for an empty history, a count that is or becomes 0
    // (no statistics to give, rather than images of NaN), or an entry (or
    // `avg`) whose shape differs from the newest entry's.
    static std::optional<cv::Mat> matrixMean(const std::vector<cv::Mat>& histroyQueue, int traceBackCount);
    static std::optional<cv::Mat> matrixStd(const std::vector<cv::Mat>& histroyQueue, int traceBackCount,
                                            const cv::Mat& avg);
};

} // namespace Kelvra
