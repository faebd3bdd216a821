#include "Kelvra/common/StatsCalculator.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

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

// Adds the entries' values (or their squared deviations from `mean`) at
// one row to `acc`, entry after entry as listed: four entries per pass over
// the row, so the row's sums stay in registers while four rows stream in.
template <class T>
inline __attribute__((always_inline)) void sumRowOf(const T* const* rows, std::size_t count,
                                                    const double* __restrict mean, double* __restrict acc, int width)
{
    auto value = [mean](const T* __restrict p, int x) {
        const double v = static_cast<double>(p[x]);
        if (!mean)
            return v;
        const double d = v - mean[x];
        return d * d;
    };
    std::size_t e = 0;
    for (; e + 4 <= count; e += 4) {
        const T* __restrict p0 = rows[e];
        const T* __restrict p1 = rows[e + 1];
        const T* __restrict p2 = rows[e + 2];
        const T* __restrict p3 = rows[e + 3];
        for (int x = 0; x < width; ++x)
            acc[x] = acc[x] + value(p0, x) + value(p1, x) + value(p2, x) + value(p3, x);
    }
    for (; e < count; ++e) {
        const T* __restrict p = rows[e];
        for (int x = 0; x < width; ++x)
            acc[x] += value(p, x);
    }
}

template <class T> void sumRow(const T* const* rows, std::size_t count, const double* mean, double* acc, int width)
{
    sumRowOf(rows, count, mean, acc, width);
}

// Float images, the common case, also with wider vectors where the processor
// has them. Not under ThreadSanitizer: the loader runs the clones' resolver
// before the sanitizer is set up, and the program crashes at start.
#if defined(__x86_64__) && defined(__GNUC__) && defined(__has_attribute) && !defined(__SANITIZE_THREAD__)
#if __has_attribute(target_clones)
__attribute__((target_clones("avx2", "default")))
#endif
#endif
void sumFloatRow(const float* const* rows, std::size_t count, const double* mean, double* acc, int width)
{
    sumRowOf(rows, count, mean, acc, width);
}

// One row of a group of entries of one element type, in order.
template <class T>
void sumGroupRow(const std::vector<const cv::Mat*>& group, int y, const double* mean, double* acc, int width)
{
    constexpr std::size_t chunk = 32;
    const T* rows[chunk];
    for (std::size_t e0 = 0; e0 < group.size(); e0 += chunk) {
        const std::size_t n = std::min(chunk, group.size() - e0);
        for (std::size_t i = 0; i < n; ++i)
            rows[i] = group[e0 + i]->ptr<T>(y);
        if constexpr (std::is_same_v<T, float>)
            sumFloatRow(rows, n, mean, acc, width);
        else
            sumRow(rows, n, mean, acc, width);
    }
}

// Sums the entries (or their squared deviations from `mean`) in double and
// scales the sums by `scale` (their square roots for a spread), row by row
// into `out`: one pass over the history. Entries may differ in element type:
// each group of one depth is summed alone.
void sumEntries(const std::vector<const cv::Mat*>& entries, const cv::Mat* mean, double scale, bool root, cv::Mat& out)
{
    std::vector<std::vector<const cv::Mat*>> groups;
    for (int depth : summedDepths) {
        std::vector<const cv::Mat*> group;
        for (const cv::Mat* e : entries)
            if (e->depth() == depth)
                group.push_back(e);
        if (!group.empty())
            groups.push_back(std::move(group));
    }
    const int width = out.cols * out.channels();
    out.setTo(cv::Scalar::all(0));
    for (int y = 0; y < out.rows; ++y) {
        double* acc = out.ptr<double>(y);
        const double* m = mean ? mean->ptr<double>(y) : nullptr;
        for (const auto& group : groups) {
            switch (group.front()->depth()) {
            case CV_8U: sumGroupRow<uint8_t>(group, y, m, acc, width); break;
            case CV_8S: sumGroupRow<int8_t>(group, y, m, acc, width); break;
            case CV_16U: sumGroupRow<uint16_t>(group, y, m, acc, width); break;
            case CV_16S: sumGroupRow<int16_t>(group, y, m, acc, width); break;
            case CV_32S: sumGroupRow<int32_t>(group, y, m, acc, width); break;
            case CV_32F: sumGroupRow<float>(group, y, m, acc, width); break;
            default: sumGroupRow<double>(group, y, m, acc, width); break;
            }
        }
        for (int x = 0; x < width; ++x)
            acc[x] *= scale;
    }
    if (root)
        cv::sqrt(out, out);
}

// Result images are used again once no one holds them any more: a 320x240
// image of doubles is 600 KB, and fresh memory of that size costs more in
// page faults than all the sums. An image someone holds is never reused.
cv::Mat resultImage(cv::Size size, int type)
{
    thread_local std::vector<cv::Mat> kept; // the last few results of this thread
    for (cv::Mat& m : kept)
        if (m.size() == size && m.type() == type && CV_XADD(&m.u->refcount, 0) == 1)
            return m;
    cv::Mat fresh(size, type);
    if (kept.size() == 2)
        kept.erase(kept.begin());
    kept.push_back(fresh);
    return fresh;
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
        if (avg->depth() == CV_64F)
            mean = *avg;
        else
            avg->convertTo(mean, CV_64F);
    }
    cv::Mat out = resultImage(newest.size(), CV_64FC(newest.channels()));
    // A negative count summed nothing and stays zeros.
    sumEntries(*entries, avg ? &mean : nullptr, count > 0 ? 1.0 / count : 1.0, avg != nullptr, out);
    return out;
}

} // namespace

std::optional<cv::Mat> StatsCalculator::matrixMean(const std::vector<cv::Mat>& histroyQueue, int traceBackCount)
{
    return accumulate(histroyQueue, traceBackCount, nullptr);
}

std::optional<cv::Mat> StatsCalculator::matrixStd(const std::vector<cv::Mat>& histroyQueue, int traceBackCount,
                                                  const cv::Mat& avg)
{
    return accumulate(histroyQueue, traceBackCount, &avg);
}

} // namespace Kelvra
