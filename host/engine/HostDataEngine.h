#pragma once
// The host's data engine: the consumer of every frame the stream controller
// delivers. Its frame callback copies each frame into a FrameSetWorker and
// returns at once; the worker converts frame sets into images off the
// user-interface thread; a queued call then publishes the newest set on the
// engine's (user-interface) thread: data() and frameSize(), the channel
// notifications, frameUpdated() and the measured frame rate.
//
// The frame threads never wait for the user interface: when frames come
// faster than it draws, the oldest are dropped (at most one converted set is
// pending, one queued call outstanding).

#include "platform/base/DataEngine.h"
#include "host/engine/FrameSetWorker.h"

#include <QElapsedTimer>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class HostDataEngine : public DataEngine {
    Q_OBJECT
public:
    // Seconds of publications the frame rate is measured over.
    static constexpr double RATE_WINDOW = 1.0;

    struct FrameStats {
        uint64_t published = 0; // sets that reached data()
        uint64_t dropped = 0; // sets converted or assembled but never published
        int64_t lastLag = 0; // frames the last published set was behind the newest frame
        int64_t maxLag = 0;
        uint64_t converted = 0; // sets the worker finished, each then published or dropped
    };

    // Registers the frame callback with the controller for the four frame
    // types; the controller must outlive the engine (or stop() be called first).
    explicit HostDataEngine(Kelvra::StreamHub* depthCameraController, QObject* parent = nullptr);
    ~HostDataEngine() override;

    // Unregisters the frame callbacks and joins the worker thread; nothing is
    // published afterwards. Idempotent.
    void stop();

    // The callback registered for every frame type; any thread, never waits.
    void frameCallback(const Tavik::DepthCameraPtr& depthCamera, const Tavik::FramePtr& frame, Tavik::FrameType type);

    // Forgets the frames shown (the camera went, another source was chosen):
    // publishes an empty set, no images of 0 x 0 pixels, which the point-cloud
    // views draw as nothing, and never publishes a set of the frames that came
    // before, wherever they are in the hand-off. The statistics' kept images
    // go too.
    void clearFrames();

    // Tests: see FrameSetWorker::setConversionHook.
    void setConversionHook(FrameSetWorker::ConversionHook hook) { worker->setConversionHook(std::move(hook)); }

    // The newest published set (the point-cloud view draws its points), or nothing.
    FrameImagesPtr newestFrameSet() const { return newest; }
    // Point-cloud views say whether they are shown; a view's word lasts
    // until it is destroyed. While every such view is hidden, sets carry
    // their point cloud unconverted (FrameImages::cloud); with none known,
    // clouds are converted.
    void setPointCloudViewShown(QObject* view, bool shown);
    FrameStats frameStats() const;
    // Counts from now on: frameStats() then tells of the sets published and
    // dropped since, and the most lag since (the last lag stays).
    void restartFrameStats();

    // Temporal statistics: while on, the newest depth images are kept, as many
    // as settlingTime(); switching off drops them.
    bool isStatisticsEnabled() const { return statisticsEnabled; }
    // The kept depth images, oldest first; the matrices are shared, never
    // changed afterwards.
    std::vector<cv::Mat> historySnapshot() const;
    // Temporal mean and standard deviation of one depth pixel (metres) over
    // the kept images; nothing when statistics are off, no image is kept or
    // the pixel lies outside the newest image.
    std::optional<std::pair<double, double>> pixelStatistics(int x, int y) const;
    // The status-bar text for the pixel under `point`; empty when there are no statistics.
    QString statisticsText(QPointF point) const;

public slots:
    void setStatisticsEnabled(bool enabled);

private:
    void publishPending();
    void updateRate();
    void keepHistory(const cv::Mat& depth);

    std::unique_ptr<FrameSetWorker> worker;
    bool registered = false;
    bool stopped = false;
    uint64_t generation = 0; // of the frames that came since the last clearFrames()
    uint64_t discarded = 0; // sets of earlier frames, converted after clearFrames()
    FrameImagesPtr newest;

    uint64_t published = 0;
    int64_t lastLag = 0;
    int64_t maxLag = 0;
    uint64_t publishedBefore = 0; // at the last restartFrameStats()
    uint64_t droppedBefore = 0;
    uint64_t convertedBefore = 0;

    QElapsedTimer clock;
    std::deque<qint64> publishTimes; // ns on `clock`, within RATE_WINDOW

    bool statisticsEnabled = false;
    std::deque<cv::Mat> history;

    std::map<const QObject*, bool> cloudViews; // shown or not
};
