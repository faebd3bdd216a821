#include "Kelvra/common/StatsCalculator.h"

#include <algorithm>

namespace Kelvra {

namespace {

bool sameShape(const cv::Mat& a, const cv::Mat& b)
{
    return a.dims == 2 && b.dims == 2 && a.size() == b.size() && a.channels() == b.channels();
}

constexpr int summedDepths[] = {CV_8U, CV_8S, CV_16U, CV_16S, CV_32S, CV_32F, CV_64F};

bool isSummable(const cv::Mat& m)
{
    return std::find(std::begin(summedDepths), std::end(summedDepths), m.depth()) != std::end(summedDepths);
}

// The newest `count` entries, newest first, or nothing when no statistics can
// be given. A negative count selects none (the sums stay zero).
std::optional<std::vector<const cv::Mat*>> selectEntries(const std::vector<cv::Mat>& history, int& count)
{
    const int length = static_cast<int>(history.size());
    if (length == 0 || history.back().empty())
        return std::nullopt;
    if (count > length)
        count = length - 1;
    if (count == 0)
        return std::nullopt;
    const cv::Mat& newest = history.back();
    std::vector<const cv::Mat*> entries;
    for (int i = 0; i < count; ++i) {
        const cv::Mat& entry = history[length - 1 - i];
        if (!sameShape(entry, newest) || !isSummable(entry))
            return std::nullopt;
        entries.push_back(&entry);
    }
    return entries;
}

// Rows in bands of a few: the accumulator band stays in cache while every
// entry streams past it, so the history is read once.
template <class T>
void sumRows(const std::vector<const cv::Mat*>& entries, const cv::Mat* mean, cv::Mat& acc)
{
    constexpr int band = 8;
    const int width = acc.cols * acc.channels();
    for (int y0 = 0; y0 < acc.rows; y0 += band) {
        const int y1 = std::min(acc.rows, y0 + band);
        for (const cv::Mat* entry : entries) {
            for (int y = y0; y < y1; ++y) {
                double* a = acc.ptr<double>(y);
                const T* p = entry->ptr<T>(y);
                if (mean) {
                    const double* m = mean->ptr<double>(y);
                    for (int x = 0; x < width; ++x) {
                        const double d = static_cast<double>(p[x]) - m[x];
                        a[x] += d * d;
                    }
                } else {
                    for (int x = 0; x < width; ++x)
                        a[x] += static_cast<double>(p[x]);
                }
            }
        }
    }
}

// Sums the entries (or their squared deviations from `mean`) in double.
// Entries may differ in element type: each group of one depth is summed alone.
void sumEntries(const std::vector<const cv::Mat*>& entries, const cv::Mat* mean, cv::Mat& acc)
{
    for (int depth : summedDepths) {
        std::vector<const cv::Mat*> group;
        for (const cv::Mat* e : entries)
            if (e->depth() == depth)
                group.push_back(e);
        if (group.empty())
            continue;
        switch (depth) {
        case CV_8U: sumRows<uint8_t>(group, mean, acc); break;
        case CV_8S: sumRows<int8_t>(group, mean, acc); break;
        case CV_16U: sumRows<uint16_t>(group, mean, acc); break;
        case CV_16S: sumRows<int16_t>(group, mean, acc); break;
        case CV_32S: sumRows<int32_t>(group, mean, acc); break;
        case CV_32F: sumRows<float>(group, mean, acc); break;
        default: sumRows<double>(group, mean, acc); break;
        }
    }
}

std::optional<cv::Mat> accumulate(const std::vector<cv::Mat>& history, int count, const cv::Mat* avg)
{
    auto entries = selectEntries(history, count);
    if (!entries)
        return std::nullopt;
    const cv::Mat& newest = history.back();
    cv::Mat mean;
    if (avg) {
        if (!sameShape(*avg, newest) || !isSummable(*avg))
            return std::nullopt;
        avg->convertTo(mean, CV_64F);
    }
    cv::Mat acc = cv::Mat::zeros(newest.size(), CV_64FC(newest.channels()));
    sumEntries(*entries, avg ? &mean : nullptr, acc);
    // A negative count summed nothing and stays zeros.
    if (count > 0)
        acc *= 1.0 / count;
    return acc;
}

} // namespace

std::optional<cv::Mat> StatsCalculator::matrixMean(const std::vector<cv::Mat>& histroyQueue, int traceBackCount)
{
    return accumulate(histroyQueue, traceBackCount, nullptr);
}

std::optional<cv::Mat> StatsCalculator::matrixStd(const std::vector<cv::Mat>& histroyQueue, int traceBackCount,
                                                  const cv::Mat& avg)
{
    auto acc = accumulate(histroyQueue, traceBackCount, &avg);
    if (acc)
        cv::sqrt(*acc, *acc);
    return acc;
}

} // namespace Kelvra
