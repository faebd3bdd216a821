// The concrete data engine: frames in on any thread, images out on the
// user-interface thread, in order, bounded, with statistics history.

#include "host/engine/HostDataEngine.h"

#include "Kelvra/models/StreamHub.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/StreamGenerator.h"
#include "tests/host/engine/HostTestFrames.h"
#include "tests/support/TestSupport.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace HostTest;

namespace {

void deliver(HostDataEngine& engine, const std::array<Tavik::FramePtr, Tavik::FRAME_TYPE_COUNT>& set)
{
    for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
        engine.frameCallback(nullptr, set[t], t);
}

void deliverSet(HostDataEngine& engine, int64_t id, int width = 4, int height = 3)
{
    deliver(engine, makeSet(id, width, height));
}

// A set whose depth is `value` everywhere.
std::array<Tavik::FramePtr, Tavik::FRAME_TYPE_COUNT> flatDepthSet(int64_t id, float value)
{
    auto set = makeSet(id);
    std::fill(set[Tavik::FRAME_DEPTH_FRAME]->depth.begin(), set[Tavik::FRAME_DEPTH_FRAME]->depth.end(), value);
    return set;
}

bool waitForId(const HostDataEngine& engine, int64_t id)
{
    return KelvraTest::waitFor([&] { return engine.newestFrameSet() && engine.newestFrameSet()->id == id; });
}

class Recorder : public QObject {
public:
    QStringList events;
    void depthReady() { events << "depth"; }
};

} // namespace

TEST(HostDataEngine, PublishesTransposedImagesInMetresWithFrameSize)
{
    HostDataEngine engine(nullptr);
    EXPECT_FALSE(engine.frameSize());
    QSignalSpy updated(&engine, &DataEngine::frameUpdated);
    deliverSet(engine, 7);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return updated.count() == 1; }));

    const auto& data = engine.data();
    ASSERT_TRUE(data.contains("amplitude") && data.contains("phase") && data.contains("depth"));
    for (const char* key : {"amplitude", "phase", "depth"}) {
        EXPECT_EQ(data.value(key).type(), CV_32F) << key;
        EXPECT_EQ(data.value(key).rows, 4) << key; // x
        EXPECT_EQ(data.value(key).cols, 3) << key; // y
    }
    EXPECT_FLOAT_EQ(data.value("amplitude").at<float>(3, 1), amplitudeAt(3, 1));
    EXPECT_FLOAT_EQ(data.value("phase").at<float>(1, 2), phaseAt(1, 2));
    EXPECT_FLOAT_EQ(data.value("depth").at<float>(2, 0), depthAt(2, 0));
    ASSERT_TRUE(engine.frameSize());
    EXPECT_EQ((*engine.frameSize())[0], 4);
    EXPECT_EQ((*engine.frameSize())[1], 3);
    ASSERT_TRUE(engine.newestFrameSet());
    EXPECT_EQ(engine.newestFrameSet()->points.size(), 12u);
}

TEST(HostDataEngine, NotifiesDepthThenFrameUpdatedThenRate)
{
    HostDataEngine engine(nullptr);
    Recorder recorder;
    // Direct here, to see the order within one publication; views subscribe queued.
    engine.connectData("depth", &recorder, &Recorder::depthReady, Qt::DirectConnection);
    QObject::connect(&engine, &DataEngine::frameUpdated, &recorder, [&] {
        // Subscribers find the new images in place.
        recorder.events << QString("frame %1").arg(engine.newestFrameSet()->id);
        EXPECT_FLOAT_EQ(engine.data().value("depth").at<float>(1, 1), depthAt(1, 1));
    });
    QObject::connect(&engine, &DataEngine::rateFactorChanged, &recorder, [&](double) { recorder.events << "rate"; });

    deliverSet(engine, 1);
    ASSERT_TRUE(waitForId(engine, 1));
    deliverSet(engine, 2);
    ASSERT_TRUE(waitForId(engine, 2));
    // The first publication has no rate yet; the second measures one.
    EXPECT_EQ(recorder.events, QStringList({"depth", "frame 1", "depth", "frame 2", "rate"}));
    EXPECT_GT(engine.rateFactor(), 0.0);
}

TEST(HostDataEngine, KeepsNoFrameObjectPastTheCallback)
{
    HostDataEngine engine(nullptr);
    auto set = makeSet(4);
    deliver(engine, set);
    for (const auto& f : set) {
        EXPECT_EQ(f.use_count(), 1);
        f->depth.assign(f->depth.size(), 99.f); // the reader reuses its frames
    }
    ASSERT_TRUE(waitForId(engine, 4));
    EXPECT_FLOAT_EQ(engine.data().value("depth").at<float>(0, 0), depthAt(0, 0));
}

TEST(HostDataEngine, CloudsAreConvertedWhileAPointCloudViewIsShownOrNoneIsKnown)
{
    HostDataEngine engine(nullptr);
    auto converted = [&](int64_t id) {
        deliverSet(engine, id);
        EXPECT_TRUE(waitForId(engine, id));
        const FrameImagesPtr set = engine.newestFrameSet();
        EXPECT_EQ(set->cloudPoints().size(), 12u); // either way the points are there
        return !set->points.empty() && !set->cloud;
    };
    EXPECT_TRUE(converted(1)); // no view known
    auto first = std::make_unique<QObject>();
    QObject second;
    engine.setPointCloudViewShown(first.get(), false);
    EXPECT_FALSE(converted(2));
    engine.setPointCloudViewShown(&second, true);
    EXPECT_TRUE(converted(3));
    engine.setPointCloudViewShown(&second, false);
    EXPECT_FALSE(converted(4));
    engine.setPointCloudViewShown(first.get(), true);
    EXPECT_TRUE(converted(5));
    first.reset(); // its word goes with it; the other is hidden
    EXPECT_FALSE(converted(6));
    engine.setPointCloudViewShown(nullptr, true);
    EXPECT_FALSE(converted(7));
}

TEST(HostDataEngine, FloodDropsTheOldestAndQueuesBoundedly)
{
    HostDataEngine engine(nullptr);
    QSignalSpy updated(&engine, &DataEngine::frameUpdated);
    // A frame thread floods while the user interface does not run at all.
    std::thread producer([&] {
        for (int64_t id = 1; id <= 400; ++id)
            deliverSet(engine, id, 64, 48);
    });
    producer.join();
    EXPECT_TRUE(updated.isEmpty()); // nothing published without the event loop
    // Were sets queued one by one, hundreds would be published now; the
    // mailbox holds one, the ring two more.
    ASSERT_TRUE(waitForId(engine, 400));
    const auto stats = engine.frameStats();
    EXPECT_GE(stats.published, 1u);
    EXPECT_LE(stats.published, 5u);
    EXPECT_EQ(updated.count(), static_cast<int>(stats.published));
    EXPECT_EQ(stats.lastLag, 0);
}

TEST(HostDataEngine, FrameStatsCountFromARestart)
{
    HostDataEngine engine(nullptr);
    // Sets without the event loop: each converted set takes the place of the
    // one still waiting to be published, which is dropped. (Waited for
    // without the event loop, which would publish them.)
    int64_t id = 0;
    ASSERT_TRUE(KelvraTest::waitWithoutEvents([&] {
        if (engine.frameStats().dropped > 0)
            return true;
        deliverSet(engine, ++id);
        return false;
    }));
    ASSERT_TRUE(waitForId(engine, id));
    EXPECT_GE(engine.frameStats().published, 1u);
    const auto before = engine.frameStats();
    EXPECT_GT(before.dropped, 0u);

    engine.restartFrameStats();
    const auto restarted = engine.frameStats();
    EXPECT_EQ(restarted.published, 0u);
    EXPECT_EQ(restarted.dropped, 0u);
    EXPECT_EQ(restarted.maxLag, 0);
    deliverSet(engine, 51);
    ASSERT_TRUE(waitForId(engine, 51));
    deliverSet(engine, 52);
    ASSERT_TRUE(waitForId(engine, 52));
    const auto after = engine.frameStats();
    EXPECT_EQ(after.published, 2u);
    EXPECT_EQ(after.dropped, 0u);
    EXPECT_EQ(after.maxLag, 0);
}

TEST(HostDataEngine, StatisticsHistoryIsBoundedBySettlingTime)
{
    HostDataEngine engine(nullptr);
    engine.setSettlingTime(3);
    deliverSet(engine, 1);
    ASSERT_TRUE(waitForId(engine, 1));
    EXPECT_TRUE(engine.historySnapshot().empty()); // off: nothing kept
    EXPECT_FALSE(engine.pixelStatistics(0, 0));

    engine.setStatisticsEnabled(true);
    const float depths[] = {9.f, 9.f, 1.f, 2.f, 3.f};
    for (int i = 0; i < 5; ++i) {
        deliver(engine, flatDepthSet(10 + i, depths[i]));
        ASSERT_TRUE(waitForId(engine, 10 + i));
    }
    const auto history = engine.historySnapshot();
    ASSERT_EQ(history.size(), 3u);
    EXPECT_FLOAT_EQ(history.front().at<float>(0, 0), 1.f); // oldest first
    EXPECT_FLOAT_EQ(history.back().at<float>(0, 0), 3.f);

    const auto stats = engine.pixelStatistics(2, 1);
    ASSERT_TRUE(stats);
    EXPECT_NEAR(stats->first, 2.0, 1e-9);
    EXPECT_NEAR(stats->second, std::sqrt(2.0 / 3.0), 1e-6);
    EXPECT_FALSE(engine.pixelStatistics(4, 0)); // outside the image
    EXPECT_FALSE(engine.pixelStatistics(0, -1));
    EXPECT_TRUE(engine.statisticsText(QPointF(2.5, 1.5)).startsWith("Z mean: 2.0000 m  std: 0.8165 m"));
    EXPECT_TRUE(engine.statisticsText(QPointF(-0.5, 1.0)).isEmpty());

    // A shorter settling time takes effect with the next image.
    engine.setSettlingTime(1);
    deliver(engine, flatDepthSet(20, 5.f));
    ASSERT_TRUE(waitForId(engine, 20));
    EXPECT_EQ(engine.historySnapshot().size(), 1u);

    engine.setStatisticsEnabled(false);
    EXPECT_TRUE(engine.historySnapshot().empty());
    EXPECT_TRUE(engine.statisticsText(QPointF(1, 1)).isEmpty());
}

TEST(HostDataEngine, TemporalStatisticsOfAWallPixelMatchTheScene)
{
    // Only the sphere moves: a pixel it never crosses sees the wall, whose
    // depth varies from frame to frame by the scene's noise alone.
    const int width = 64, height = 48, x = 3, y = 2, frames = DataEngine::MAX_SETTLING_TIME;
    const auto wall = Tavik::StreamGenerator::backgroundAt(width, height, x, y);
    ASSERT_GT(wall.distance, 1.f);
    ASSERT_GT(wall.depthNoise, 0.f);

    HostDataEngine engine(nullptr);
    engine.setSettlingTime(frames);
    engine.setStatisticsEnabled(true);
    for (int id = 1; id <= frames; ++id) {
        deliver(engine, Tavik::StreamGenerator::makeFrameSet(width, height, id, id * 33333));
        ASSERT_TRUE(waitForId(engine, id));
        const float depth = engine.newestFrameSet()->depth.at<float>(x, y);
        ASSERT_LT(std::abs(depth - wall.distance), 6 * wall.depthNoise) << "frame " << id << ": not the wall";
    }
    ASSERT_EQ(engine.historySnapshot().size(), static_cast<std::size_t>(frames));

    const auto stats = engine.pixelStatistics(x, y);
    ASSERT_TRUE(stats);
    const double standardError = wall.depthNoise / std::sqrt(frames);
    EXPECT_NEAR(stats->first, wall.distance, 3 * standardError);
    // A sample deviation over n frames strays by about sigma / sqrt(2n).
    EXPECT_NEAR(stats->second, wall.depthNoise, 3 * wall.depthNoise / std::sqrt(2.0 * frames));
    EXPECT_EQ(engine.statisticsText(QPointF(x + 0.5, y + 0.5)),
              QString("Z mean: %1 m  std: %2 m (%3 frames)")
                  .arg(stats->first, 0, 'f', 4)
                  .arg(stats->second, 0, 'f', 4)
                  .arg(frames));
}

TEST(HostDataEngine, SetsOfZeroPixelFramesArePublishedEmpty)
{
    // Through the whole path: a recording of 0 x 0 frames played by the
    // controller reaches the views as empty images, not as no frame at all.
    QTemporaryDir dir;
    const QString file = dir.filePath("no-pixels.tvks");
    Tavik::StreamGenerator::Spec spec;
    spec.sets = 3;
    spec.width = 0;
    spec.height = 0;
    ASSERT_TRUE(Tavik::StreamGenerator::write(file.toStdString(), spec));

    Tavik::CameraSystem cameraSystem;
    Kelvra::StreamHub hub(&cameraSystem);
    HostDataEngine engine(&hub);
    QString why;
    ASSERT_TRUE(hub.setCurrentSource(hub.addFileStreamSource(file, &why)));
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    deliverSet(engine, 1); // a frame of some size first
    ASSERT_TRUE(waitForId(engine, 1));
    ASSERT_TRUE(hub.getCurrentSource()->seek(1));
    ASSERT_TRUE(waitForId(engine, 2));
    const auto images = engine.newestFrameSet();
    EXPECT_TRUE(images->depth.empty() && images->amplitude.empty() && images->phase.empty());
    EXPECT_TRUE(images->points.empty());
    ASSERT_TRUE(engine.frameSize());
    EXPECT_EQ(*engine.frameSize(), (DataEngine::FrameSize{0, 0}));
    // Present and empty, which tells the views there is nothing to show.
    for (const char* name : {"amplitude", "phase", "depth"}) {
        EXPECT_TRUE(engine.data().contains(name)) << name;
        EXPECT_TRUE(engine.data().value(name).empty()) << name;
    }
}

TEST(HostDataEngine, ASetThatLostItsRawFrameLacksAmplitudeAndPhaseRatherThanShowingNothing)
{
    Kelvra::StreamHub hub(nullptr);
    HostDataEngine engine(&hub);
    deliverSet(engine, 1);
    ASSERT_TRUE(waitForId(engine, 1));
    ASSERT_FALSE(engine.data().value("amplitude").empty());
    // The ring dropped set 2's raw frame: its depth is published, and only that.
    auto set = makeSet(2);
    set[Tavik::FRAME_RAW_FRAME_PROCESSED].reset();
    deliver(engine, set);
    ASSERT_TRUE(waitForId(engine, 2));
    EXPECT_FALSE(engine.data().contains("amplitude"));
    EXPECT_FALSE(engine.data().contains("phase"));
    EXPECT_FALSE(engine.data().value("depth").empty());
}

TEST(HostDataEngine, NewFrameSizeRestartsTheHistory)
{
    HostDataEngine engine(nullptr);
    engine.setStatisticsEnabled(true);
    deliverSet(engine, 1);
    ASSERT_TRUE(waitForId(engine, 1));
    deliverSet(engine, 2, 8, 6);
    ASSERT_TRUE(waitForId(engine, 2));
    const auto history = engine.historySnapshot();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history.front().rows, 8);
    ASSERT_TRUE(engine.pixelStatistics(7, 5));
}

TEST(HostDataEngine, StopEndsPublishing)
{
    HostDataEngine engine(nullptr);
    deliverSet(engine, 1);
    ASSERT_TRUE(waitForId(engine, 1));
    // A set converted but not yet published when the engine stops is dropped.
    deliverSet(engine, 2);
    engine.stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(engine.newestFrameSet()->id, 1);
    engine.stop();
    deliverSet(engine, 3);
    QCoreApplication::processEvents();
    EXPECT_EQ(engine.newestFrameSet()->id, 1);
}

TEST(HostDataEngine, ReceivesEveryTypeThroughTheControllerUntilStopped)
{
    Tavik::CameraSystem cameraSystem;
    Kelvra::StreamHub hub(&cameraSystem);
    HostDataEngine engine(&hub);
    EXPECT_EQ(engine.getDepthCameraController(), &hub);

    const auto set = makeSet(3);
    for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
        hub.callbackInternal(nullptr, set[t], t);
    ASSERT_TRUE(waitForId(engine, 3));
    EXPECT_EQ(engine.newestFrameSet()->points.size(), 12u); // the point cloud came too

    engine.stop(); // takes its callbacks out of the controller
    for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
        EXPECT_FALSE(hub.clearCallback(t, Kelvra::FrameCallback(&engine, &HostDataEngine::frameCallback)));
}

// After clearFrames() the engine shows an empty set, and no set of earlier
// frames, converted before the clear or after it, comes back; the next frame
// is shown again.
TEST(HostDataEngine, ClearedFramesStayClearedUntilTheNextFrame)
{
    HostDataEngine engine(nullptr);
    engine.setStatisticsEnabled(true);
    for (const bool waiting : {false, true}) { // the last set still being converted, or waiting
        const int64_t id = waiting ? 20 : 10;
        deliverSet(engine, id);
        ASSERT_TRUE(waitForId(engine, id));
        deliverSet(engine, id + 1);
        if (waiting) { // no event loop meanwhile: a newer set takes its place
            const uint64_t dropped = engine.frameStats().dropped;
            deliverSet(engine, id + 2);
            ASSERT_TRUE(KelvraTest::waitWithoutEvents([&] { return engine.frameStats().dropped > dropped; }));
        }
        std::vector<int64_t> shown; // every set published from the clear on
        const auto conn =
            QObject::connect(&engine, &DataEngine::frameUpdated, [&] { shown.push_back(engine.newestFrameSet()->id); });
        engine.clearFrames();
        ASSERT_TRUE(engine.newestFrameSet());
        EXPECT_EQ(engine.newestFrameSet()->id, -1) << "waiting " << waiting;
        EXPECT_TRUE(engine.newestFrameSet()->cloudPoints().empty());
        EXPECT_EQ(engine.frameSize(), (DataEngine::FrameSize{0, 0}));
        for (const char* key : {"amplitude", "phase", "depth"})
            EXPECT_TRUE(engine.data().value(key).empty()) << key;
        EXPECT_TRUE(engine.historySnapshot().empty());
        // Whatever of the earlier frames the worker still hands over is turned
        // away: the next set shown is the next one delivered.
        deliverSet(engine, id + 5);
        ASSERT_TRUE(waitForId(engine, id + 5));
        EXPECT_EQ(shown, (std::vector<int64_t>{-1, id + 5})) << "waiting " << waiting;
        QObject::disconnect(conn);
    }
}

// A set begun before clearFrames() is not shown, also when its last frame
// comes after it (another source's set still in the hand-off).
TEST(HostDataEngine, ASetBegunBeforeAClearIsNeverShown)
{
    HostDataEngine engine(nullptr);
    const auto set = makeSet(5);
    for (int t = 0; t < Tavik::FRAME_XYZI_POINT_CLOUD_FRAME; ++t)
        engine.frameCallback(nullptr, set[t], t);
    engine.clearFrames();
    const auto before = engine.frameStats();
    engine.frameCallback(nullptr, set[Tavik::FRAME_XYZI_POINT_CLOUD_FRAME], Tavik::FRAME_XYZI_POINT_CLOUD_FRAME);
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        const auto now = engine.frameStats();
        return now.published + now.dropped > before.published + before.dropped;
    }));
    EXPECT_EQ(engine.newestFrameSet()->id, -1);
    deliverSet(engine, 6);
    EXPECT_TRUE(waitForId(engine, 6));
}

// A set the worker had begun before clearFrames() and that comes again whole
// after it (a recording sought back to the set on show) is shown: the set
// sent again, not the part begun before.
TEST(HostDataEngine, ASetBegunBeforeAClearAndSentAgainWholeIsShown)
{
    HostDataEngine engine(nullptr);
    Hold hold(-1, Tavik::FRAME_DEPTH_FRAME); // holds nothing: counts the frames taken
    engine.setConversionHook(hold.hook());
    const auto before = makeSet(5);
    for (int t = 0; t < Tavik::FRAME_XYZI_POINT_CLOUD_FRAME; ++t)
        engine.frameCallback(nullptr, before[t], t);
    // Taken by the worker within its wait, without the set's last frame.
    ASSERT_TRUE(KelvraTest::waitFor([&] { return hold.framesTaken() == 2; }));
    std::vector<int64_t> shown;
    QObject::connect(&engine, &DataEngine::frameUpdated, [&] { shown.push_back(engine.newestFrameSet()->id); });
    engine.clearFrames();

    deliver(engine, flatDepthSet(5, 2.5f));
    ASSERT_TRUE(waitForId(engine, 5));
    EXPECT_FLOAT_EQ(engine.newestFrameSet()->depth.at<float>(1, 1), 2.5f);
    EXPECT_FALSE(engine.newestFrameSet()->amplitude.empty());
    deliverSet(engine, 6);
    ASSERT_TRUE(waitForId(engine, 6));
    EXPECT_EQ(shown, (std::vector<int64_t>{-1, 5, 6}));
}

// A set the worker is converting while clearFrames() runs is never shown.
TEST(HostDataEngine, ASetConvertedDuringAClearIsNeverShown)
{
    HostDataEngine engine(nullptr);
    Hold hold(7, Tavik::FRAME_XYZI_POINT_CLOUD_FRAME);
    engine.setConversionHook(hold.hook());
    deliverSet(engine, 7);
    ASSERT_TRUE(KelvraTest::waitWithoutEvents([&] { return hold.isReached(); }));
    std::vector<int64_t> shown;
    QObject::connect(&engine, &DataEngine::frameUpdated, [&] { shown.push_back(engine.newestFrameSet()->id); });
    engine.clearFrames();
    const auto cleared = engine.frameStats();
    hold.release();
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        const auto now = engine.frameStats();
        return now.published + now.dropped > cleared.published + cleared.dropped;
    }));
    KelvraTest::drainEvents();
    EXPECT_EQ(shown, (std::vector<int64_t>{-1}));
    EXPECT_EQ(engine.newestFrameSet()->id, -1);
    deliverSet(engine, 8);
    ASSERT_TRUE(waitForId(engine, 8));
    EXPECT_EQ(shown, (std::vector<int64_t>{-1, 8}));
}
