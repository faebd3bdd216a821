#include "host/engine/HostDataEngine.h"
#include "platform/base/DataChannels.h"

#include "Kelvra/common/StatsCalculator.h"
#include "Kelvra/models/StreamHub.h"

#include <algorithm>
#include <cmath>

namespace {

Kelvra::FrameCallback callbackOf(HostDataEngine* engine)
{
    return Kelvra::FrameCallback(engine, &HostDataEngine::frameCallback);
}

} // namespace

HostDataEngine::HostDataEngine(Kelvra::StreamHub* depthCameraController, QObject* parent)
    : DataEngine(depthCameraController, parent)
{
    clock.start();
    worker = std::make_unique<FrameSetWorker>([this] {
        // On the worker thread: one queued call per set that became pending.
        QMetaObject::invokeMethod(
            this, [this] { publishPending(); }, Qt::QueuedConnection);
    });
    if (depthCameraController) {
        for (Tavik::FrameType type = 0; type < Tavik::FRAME_TYPE_COUNT; ++type)
            depthCameraController->registerCallback(type, callbackOf(this));
        registered = true;
    }
}

HostDataEngine::~HostDataEngine()
{
    stop();
}

void HostDataEngine::stop()
{
    if (registered) {
        for (Tavik::FrameType type = 0; type < Tavik::FRAME_TYPE_COUNT; ++type)
            depthCameraController()->clearCallback(type, callbackOf(this));
        registered = false;
    }
    worker->stop();
    stopped = true; // a set still pending is dropped with its queued call
    worker->takePending();
}

void HostDataEngine::frameCallback(const Tavik::DepthCameraPtr&, const Tavik::FramePtr& frame, Tavik::FrameType)
{
    if (!frame)
        return;
    worker->putFrame(*frame); // a copy: the frame is the caller's again on return
}

void HostDataEngine::clearFrames()
{
    generation = worker->discard();
    history.clear();
    newest = std::make_shared<const FrameImages>();
    publishFrame(Images{{DataChannels::AMPLITUDE, cv::Mat()},
                        {DataChannels::PHASE, cv::Mat()},
                        {DataChannels::DEPTH, cv::Mat()}},
                 FrameSize{0, 0});
}

void HostDataEngine::publishPending()
{
    if (stopped)
        return;
    FrameImagesPtr images = worker->takePending();
    if (!images)
        return;
    if (images->generation != generation) { // of frames that came before clearFrames()
        ++discarded;
        return;
    }
    newest = images;
    ++published;
    lastLag = std::max<int64_t>(0, worker->newestFrameId() - images->id);
    maxLag = std::max(maxLag, lastLag);
    if (statisticsEnabled)
        keepHistory(images->depth);

    // A set that lost its raw frame on the way lacks amplitude and phase: the
    // views keep their pictures (an empty image would say "nothing").
    Images frameImages;
    if (images->hasRaw) {
        frameImages.insert(DataChannels::AMPLITUDE, images->amplitude);
        frameImages.insert(DataChannels::PHASE, images->phase);
    }
    frameImages.insert(DataChannels::DEPTH, images->depth);
    publishFrame(frameImages, FrameSize{images->width, images->height});
    updateRate();
}

void HostDataEngine::updateRate()
{
    const qint64 now = clock.nsecsElapsed();
    publishTimes.push_back(now);
    while (publishTimes.size() > 2 && now - publishTimes.front() > RATE_WINDOW * 1e9)
        publishTimes.pop_front();
    if (publishTimes.size() < 2)
        return;
    const double span = (publishTimes.back() - publishTimes.front()) / 1e9;
    if (span <= 0)
        return;
    // One decimal: the figure is for people, and it changes less often.
    setRateFactor(std::round((publishTimes.size() - 1) / span * 10.0) / 10.0);
}

void HostDataEngine::setPointCloudViewShown(QObject* view, bool shown)
{
    if (!view)
        return;
    const auto [it, added] = cloudViews.emplace(view, shown);
    it->second = shown;
    auto update = [this] {
        const bool wanted = cloudViews.empty()
            || std::any_of(cloudViews.begin(), cloudViews.end(), [](const auto& v) { return v.second; });
        worker->setPointsWanted(wanted);
    };
    if (added)
        connect(view, &QObject::destroyed, this, [this, view, update] {
            cloudViews.erase(view);
            update();
        });
    update();
}

HostDataEngine::FrameStats HostDataEngine::frameStats() const
{
    return FrameStats{published - publishedBefore, worker->droppedSets() + discarded - droppedBefore, lastLag, maxLag,
                      worker->convertedSets() - convertedBefore};
}

void HostDataEngine::restartFrameStats()
{
    publishedBefore = published;
    droppedBefore = worker->droppedSets() + discarded;
    convertedBefore = worker->convertedSets();
    maxLag = 0;
}

void HostDataEngine::setStatisticsEnabled(bool enabled)
{
    statisticsEnabled = enabled;
    if (!enabled)
        history.clear();
}

void HostDataEngine::keepHistory(const cv::Mat& depth)
{
    if (depth.empty())
        return;
    if (!history.empty() && history.back().size != depth.size)
        history.clear(); // another frame size: the old images say nothing about it
    history.push_back(depth);
    while (history.size() > static_cast<std::size_t>(std::max(settlingTime(), 1)))
        history.pop_front();
}

std::vector<cv::Mat> HostDataEngine::historySnapshot() const
{
    return std::vector<cv::Mat>(history.begin(), history.end());
}

std::optional<std::pair<double, double>> HostDataEngine::pixelStatistics(int x, int y) const
{
    if (!statisticsEnabled || history.empty())
        return std::nullopt;
    const cv::Mat& last = history.back();
    if (x < 0 || y < 0 || x >= last.rows || y >= last.cols)
        return std::nullopt;
    // The calculator works per pixel: hand it the one pixel of every kept
    // image (headers onto the shared matrices, no copy).
    std::vector<cv::Mat> pixelHistory;
    pixelHistory.reserve(history.size());
    for (const cv::Mat& m : history)
        pixelHistory.push_back(m(cv::Range(x, x + 1), cv::Range(y, y + 1)));
    const int count = static_cast<int>(pixelHistory.size());
    const auto mean = Kelvra::StatsCalculator::matrixMean(pixelHistory, count);
    if (!mean)
        return std::nullopt;
    const auto deviation = Kelvra::StatsCalculator::matrixStd(pixelHistory, count, *mean);
    if (!deviation)
        return std::nullopt;
    return std::make_pair(mean->at<double>(0, 0), deviation->at<double>(0, 0));
}

QString HostDataEngine::statisticsText(QPointF point) const
{
    const auto stats = pixelStatistics(static_cast<int>(point.x()), static_cast<int>(point.y()));
    if (!stats || point.x() < 0 || point.y() < 0)
        return QString();
    return QStringLiteral("Z mean: %1 m  std: %2 m (%3 frames)")
        .arg(stats->first, 0, 'f', 4)
        .arg(stats->second, 0, 'f', 4)
        .arg(history.size());
}
