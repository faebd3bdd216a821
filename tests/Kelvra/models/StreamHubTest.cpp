// The stream controller: sources, selection, relays, fan-out, camera connection.

#include "StreamTestSupport.h"

#include "platform/log/Logger.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>

using namespace Kelvra;
using namespace StreamTest;

namespace {

class StreamHubTest : public ::testing::Test {
protected:
    // A recording file of `sets` sets, 100 ms apart, under a name of its own.
    QString recording(const char* name, int sets = 20)
    {
        const QString p = dir.filePath(name);
        EXPECT_TRUE(writeRecording(p.toStdString(), evenSets(sets, 100000)));
        return p;
    }
    QTemporaryDir dir;
    SimCamera sim;
};

QString invalidLine(int pos, int last)
{
    return QString("('StreamHub: Invalid source ID = ', %1, ', Valid = [0, ', %2)\n").arg(pos).arg(last);
}

} // namespace

TEST_F(StreamHubTest, ConstructionWithAndWithoutACamera)
{
    StreamHub empty(&sim.system);
    EXPECT_TRUE(empty.getSources().empty());
    EXPECT_FALSE(empty.getCurrentSource());
    EXPECT_FALSE(empty.start() || empty.pause() || empty.stop() || empty.isRunning() || empty.isPaused());
    {
        CoutCapture out;
        EXPECT_FALSE(empty.setCurrentSource(0));
        EXPECT_EQ(out.text(), invalidLine(0, -1).toStdString());
    }

    StreamHub hub(&sim.system, sim.camera);
    ASSERT_EQ(hub.getSources().size(), 1u);
    EXPECT_EQ(hub.getCurrentSource(), hub.getSources()[0]);
    EXPECT_TRUE(hub.getCurrentSource()->isLiveStream());
    EXPECT_EQ(hub.getDepthCameraSourceIndex(), 0);
    EXPECT_FALSE(hub.isRunning());
    EXPECT_EQ(hub.getDepthCamera(), sim.camera);
    EXPECT_EQ(hub.getCameraSystem(), &sim.system);
    EXPECT_FALSE(hub.setCameraSystem(nullptr));
    Tavik::CameraSystem other;
    StreamHub late(nullptr);
    EXPECT_TRUE(late.setCameraSystem(&other));
    EXPECT_FALSE(late.setCameraSystem(&sim.system));
    EXPECT_EQ(late.getCameraSystem(), &other);
}

TEST_F(StreamHubTest, AFileOpenedAlreadyIsListedOnlyWhenItCanBePlayed)
{
    StreamHub hub(&sim.system, sim.camera);
    QSignalSpy listChanged(&hub, &StreamHub::sourceListChanged);
    const QString missing = dir.filePath("missing.tvk");
    QString why;
    EXPECT_EQ(hub.addOpenedFileSource(
                  missing, std::make_shared<Tavik::FrameStreamReader>(missing.toStdString(), sim.system), &why),
              -1);
    EXPECT_EQ(why, "file not found");
    EXPECT_EQ(hub.getSources().size(), 1u);
    EXPECT_EQ(listChanged.count(), 0);

    const QString a = recording("a.tvk", 5);
    auto reader = std::make_shared<Tavik::FrameStreamReader>(a.toStdString(), sim.system);
    reader->seekTo(3);
    EXPECT_EQ(hub.addOpenedFileSource(a, reader, &why), 1);
    EXPECT_TRUE(why.isEmpty());
    EXPECT_EQ(hub.getSources()[1]->currentPosition(), 3); // that reader, not one opened again
    // Listed already: its source, the reader handed in unused.
    auto other = std::make_shared<Tavik::FrameStreamReader>(a.toStdString(), sim.system);
    EXPECT_EQ(hub.addOpenedFileSource(a, other, &why), 1);
    EXPECT_EQ(hub.getSources()[1]->currentPosition(), 3);
    EXPECT_EQ(listChanged.count(), 1);
}

TEST_F(StreamHubTest, SelectionRefusesPositionsOutsideTheList)
{
    StreamHub hub(&sim.system, sim.camera);
    hub.addFileStreamSource(recording("a.tvk"));
    hub.addFileStreamSource(recording("b.tvk"));
    ASSERT_TRUE(hub.start());
    for (int pos : {3, -1}) {
        CoutCapture out;
        EXPECT_FALSE(hub.setCurrentSource(pos));
        EXPECT_FALSE(hub.setCurrentSource1(pos));
        EXPECT_EQ(out.text(), (invalidLine(pos, 2) + invalidLine(pos, 2)).toStdString());
    }
    EXPECT_EQ(hub.getCurrentSource(), hub.getSources()[0]);
    EXPECT_TRUE(hub.isRunning());
}

TEST_F(StreamHubTest, FileSourcesAreListedOncePerName)
{
    StreamHub hub(&sim.system, sim.camera);
    QSignalSpy listChanged(&hub, &StreamHub::sourceListChanged);
    const QString a = recording("a.tvk");
    EXPECT_EQ(hub.addFileStreamSource(a), 1);
    EXPECT_EQ(hub.addFileStreamSource(a), 1);
    EXPECT_EQ(hub.addFileStreamSource(dir.filePath("missing.tvk")), 2); // listed all the same
    EXPECT_EQ(listChanged.count(), 2);
    // The caller may learn why a file cannot be played, also when it is listed.
    QString why = "stale";
    EXPECT_EQ(hub.addFileStreamSource(dir.filePath("missing.tvk"), &why), 2);
    EXPECT_EQ(why, "file not found");
    EXPECT_EQ(hub.addFileStreamSource(a, &why), 1);
    EXPECT_TRUE(why.isEmpty());
    EXPECT_EQ(hub.addFileStreamSource(dir.path(), &why), 3);
    EXPECT_EQ(why, "a folder, not a file");
    EXPECT_EQ(listChanged.count(), 3);
    EXPECT_EQ(hub.getCurrentSource(), hub.getSources()[0]);
    EXPECT_FALSE(hub.removeStreamSource(-1));
    EXPECT_FALSE(hub.removeStreamSource(4));
    EXPECT_EQ(listChanged.count(), 3);
}

TEST_F(StreamHubTest, EachSourceRelaysOnceHoweverOftenSelected)
{
    StreamHub hub(&sim.system);
    const int a = hub.addFileStreamSource(recording("a.tvk"));
    const int b = hub.addFileStreamSource(recording("b.tvk"));
    QSignalSpy beforestart(&hub, &StreamHub::beforestart);
    QSignalSpy started(&hub, &StreamHub::started);
    QSignalSpy selected(&hub, &StreamHub::sourceSelected);
    ASSERT_TRUE(hub.setCurrentSource(a) && hub.setCurrentSource(b) && hub.setCurrentSource(a));
    EXPECT_EQ(selected.count(), 3);
    EXPECT_EQ(selected.last().at(0).toInt(), a);
    ASSERT_TRUE(hub.start());
    EXPECT_EQ(beforestart.count(), 1); // A, selected twice, relays once
    ASSERT_TRUE(hub.getSources()[b]->start()); // B, no longer current, still relays
    EXPECT_EQ(beforestart.count(), 2);
    hub.getSources()[b]->stop();

    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(hub.setCurrentSource(i % 2 ? a : b));
    beforestart.clear();
    started.clear();
    ASSERT_TRUE(hub.start());
    EXPECT_EQ(started.count(), 1); // emitted by the thread that starts
    EXPECT_EQ(beforestart.count(), 1);
    ASSERT_TRUE(hub.setCurrentSource(a)); // re-selecting the current source stops it
    EXPECT_FALSE(hub.getSources()[a]->isRunning());

    ASSERT_TRUE(hub.setCurrentSource1(b));
    ASSERT_TRUE(hub.setCurrentSource1(a)); // drops B's relays
    beforestart.clear();
    hub.getSources()[b]->start();
    EXPECT_EQ(beforestart.count(), 0);
}

TEST_F(StreamHubTest, CallbacksPerTypeInRegistrationOrder)
{
    StreamHub hub(&sim.system, sim.camera);
    std::vector<std::string> calls;
    auto named = [&calls](std::string name) {
        return FrameCallback(
            [&calls, name](const Tavik::DepthCameraPtr& c, const Tavik::FramePtr& f, Tavik::FrameType t) {
                calls.push_back(name + ":" + std::to_string(t) + (c ? "c" : "-") + std::to_string(f ? f->id : -1));
            });
    };
    FrameCallback f = named("f"), g = named("g"), p = named("p");
    EXPECT_TRUE(hub.registerCallback(Tavik::FRAME_DEPTH_FRAME, f));
    EXPECT_TRUE(hub.registerCallback(Tavik::FRAME_DEPTH_FRAME, g));
    EXPECT_TRUE(hub.registerCallback(Tavik::FRAME_DEPTH_FRAME, f));
    EXPECT_TRUE(hub.registerCallback(Tavik::FRAME_XYZI_POINT_CLOUD_FRAME, p));
    for (int bad : {-1, Tavik::FRAME_TYPE_COUNT}) {
        EXPECT_FALSE(hub.registerCallback(bad, f));
        EXPECT_FALSE(hub.clearCallback(bad, f));
        hub.callbackInternal(nullptr, makeFrame(0, 5, 1), bad);
    }
    hub.callbackInternal(sim.camera, makeFrame(Tavik::FRAME_DEPTH_FRAME, 5, 1), Tavik::FRAME_DEPTH_FRAME);
    hub.callbackInternal(sim.camera, makeFrame(Tavik::FRAME_RAW_FRAME_PROCESSED, 5, 1),
                         Tavik::FRAME_RAW_FRAME_PROCESSED);
    EXPECT_EQ(calls, (std::vector<std::string>{"f:2c5", "g:2c5", "f:2c5"}));

    EXPECT_TRUE(hub.clearCallback(Tavik::FRAME_DEPTH_FRAME, f));
    calls.clear();
    hub.callbackInternal(nullptr, makeFrame(2, 6, 1), Tavik::FRAME_DEPTH_FRAME);
    EXPECT_EQ(calls, (std::vector<std::string>{"g:2-6", "f:2-6"}));
    EXPECT_TRUE(hub.clearCallback(Tavik::FRAME_DEPTH_FRAME, f));
    EXPECT_FALSE(hub.clearCallback(Tavik::FRAME_DEPTH_FRAME, f));
    EXPECT_FALSE(hub.clearCallback(Tavik::FRAME_DEPTH_FRAME, p));

    // Live frames of all four types pass through the current source.
    calls.clear();
    ASSERT_TRUE(hub.start());
    sim.deliver(1);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].substr(0, 4), "g:2c");
    EXPECT_EQ(calls[1].substr(0, 4), "p:3c");
}

TEST_F(StreamHubTest, CallbacksMayChangeTheListsFromInsideTheWalk)
{
    StreamHub hub(&sim.system);
    int seen = 0;
    FrameCallback counter = [&seen](const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType) { ++seen; };
    FrameCallback editor;
    editor = [&](const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType t) {
        hub.clearCallback(t, editor);
        for (int i = 0; i < 50; ++i)
            hub.registerCallback(t, counter);
    };
    hub.registerCallback(0, editor);
    hub.callbackInternal(nullptr, makeFrame(0, 1, 1), 0);
    hub.callbackInternal(nullptr, makeFrame(0, 2, 1), 0);
    EXPECT_EQ(seen, 50);
}

TEST_F(StreamHubTest, RemovalKeepsBothPositionsTrue)
{
    StreamHub hub(&sim.system);
    const int a = hub.addFileStreamSource(recording("a.tvk"));
    hub.setDepthCamera(sim.camera); // live source at 1, current
    const int c = hub.addFileStreamSource(recording("c.tvk"));
    ASSERT_EQ(hub.getDepthCameraSourceIndex(), 1);
    ASSERT_TRUE(hub.setCurrentSource(c));
    ASSERT_TRUE(hub.start());

    ASSERT_TRUE(hub.removeStreamSource(a));
    EXPECT_EQ(hub.getDepthCameraSourceIndex(), 0);
    EXPECT_EQ(hub.getCurrentSourceIndex(), 1);
    QSignalSpy selected(&hub, &StreamHub::sourceSelected);
    SimCamera second;
    hub.setDepthCamera(second.camera); // reaches the live source, not the file
    ASSERT_EQ(hub.getSources().size(), 2u);
    EXPECT_EQ(selected.takeFirst().at(0).toInt(), 1);
    EXPECT_TRUE(hub.isRunning());
    auto live = std::dynamic_pointer_cast<DepthCameraStreamSource>(hub.getSources()[0]);
    ASSERT_TRUE(live);
    EXPECT_EQ(live->getDepthCamera(), second.camera);

    // The current source, once removed, stays current and can be stopped.
    const auto current = hub.getCurrentSource();
    ASSERT_TRUE(hub.removeStreamSource(1));
    EXPECT_EQ(hub.getCurrentSource(), current);
    EXPECT_EQ(hub.getCurrentSourceIndex(), -1);
    EXPECT_TRUE(hub.stop());
    EXPECT_FALSE(current->isRunning());
}

TEST_F(StreamHubTest, RemovingTheLiveSourceDropsTheCamera)
{
    StreamHub hub(&sim.system, sim.camera);
    hub.addFileStreamSource(recording("a.tvk"));
    hub.setCurrentSource(1);
    SignalLog log(&hub);
    ASSERT_TRUE(hub.removeStreamSource(0));
    EXPECT_EQ(log.joined(), "sourceListChanged onDepthCameraSet sourceListChanged");
    EXPECT_FALSE(hub.getDepthCamera());
    EXPECT_EQ(hub.getDepthCameraSourceIndex(), -1);
    EXPECT_EQ(hub.getCurrentSourceIndex(), 0);
    ASSERT_EQ(hub.getSources().size(), 1u);
    EXPECT_TRUE(sim.camera->isConnected()); // only forgotten
}

TEST_F(StreamHubTest, SetDepthCameraRestartsARunningLiveSource)
{
    StreamHub hub(&sim.system, sim.camera);
    FrameLog frames;
    hub.registerCallback(Tavik::FRAME_DEPTH_FRAME, frames.callback());
    ASSERT_TRUE(hub.start());
    SignalLog log(&hub);
    SimCamera second;
    hub.setDepthCamera(second.camera);
    EXPECT_EQ(log.joined(), "onDepthCameraSet stopped beforestart started sourceSelected(0)");
    EXPECT_TRUE(second.camera->isRunning());
    EXPECT_FALSE(sim.camera->isRunning());
    second.deliver(1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames.entries()[0].camera, second.camera.get());
}

TEST_F(StreamHubTest, SetDepthCameraLeavesAPlayingFileAlone)
{
    StreamHub hub(&sim.system, sim.camera);
    const int f = hub.addFileStreamSource(recording("a.tvk"));
    hub.setCurrentSource(f);
    ASSERT_TRUE(hub.start());
    QSignalSpy selected(&hub, &StreamHub::sourceSelected);
    SimCamera second;
    hub.setDepthCamera(second.camera);
    EXPECT_TRUE(hub.isRunning());
    EXPECT_EQ(hub.getCurrentSourceIndex(), f);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected[0].at(0).toInt(), f);
}

TEST_F(StreamHubTest, FirstCameraCreatesTheLiveSource)
{
    StreamHub hub(&sim.system);
    SignalLog log(&hub);
    hub.setDepthCamera(sim.camera);
    EXPECT_EQ(log.joined(), "onDepthCameraSet sourceListChanged sourceSelected(0) sourceSelected(0)");
    EXPECT_TRUE(hub.getCurrentSource()->isLiveStream());
    EXPECT_FALSE(hub.isRunning());
}

TEST_F(StreamHubTest, DisconnectDepthCamera)
{
    std::vector<std::pair<int, QString>> logged;
    QObject receiver;
    QObject::connect(LoggerCore::instance(), &LoggerCore::messageWritten, &receiver,
                     [&](Tavik::LogLevel level, QString text) { logged.emplace_back(level, text); });
    const std::string banner = "disconnectDepthCamera" + std::string(47, '>') + "\n";
    {
        StreamHub hub(&sim.system, sim.camera);
        SignalLog log(&hub);
        hub.disconnectDepthCamera(true);
        EXPECT_EQ(log.joined(), "stopped sourceListChanged onDepthCameraSet");
        EXPECT_TRUE(hub.getSources().empty());
        EXPECT_FALSE(hub.getCurrentSource() || hub.getDepthCamera());
        EXPECT_TRUE(logged.empty());
        EXPECT_TRUE(sim.camera->isConnected());
        CoutCapture out;
        hub.disconnectDepthCamera();
        EXPECT_EQ(out.text(), banner + "depthCamera is not valid , can't perform disconnectDepthCamera\n");
    }
    {
        StreamHub hub(&sim.system, sim.camera);
        const int f = hub.addFileStreamSource(recording("a.tvk"));
        hub.setCurrentSource(f);
        ASSERT_TRUE(hub.start());
        SignalLog log(&hub);
        hub.disconnectDepthCamera();
        EXPECT_TRUE(hub.isRunning()); // the recording plays on
        EXPECT_EQ(log.joined(), "sourceListChanged onDepthCameraSet");
        EXPECT_EQ(hub.getCurrentSource(), hub.getSources().at(0));
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0], std::make_pair(int(Tavik::LOG_INFO), QString("succeed  to disconnect depth camera")));
        EXPECT_FALSE(sim.camera->isConnected());
    }
    SimCamera failing(2); // its disconnect fails
    StreamHub hub(&failing.system, failing.camera);
    hub.disconnectDepthCamera();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[1], std::make_pair(int(Tavik::LOG_ERROR), QString("Failed to disconnect depth camera")));
}

TEST_F(StreamHubTest, ResetDepthCameraWithAFileCurrent)
{
    StreamHub hub(&sim.system, sim.camera);
    const int f = hub.addFileStreamSource(recording("a.tvk"));
    hub.setCurrentSource(f);
    ASSERT_TRUE(hub.start());
    SignalLog log(&hub);
    CoutCapture out;
    hub.resetDepthCamera();
    EXPECT_FALSE(hub.isRunning());
    EXPECT_EQ(hub.getSources().size(), 2u);
    EXPECT_EQ(hub.getDepthCameraSourceIndex(), -1);
    EXPECT_FALSE(hub.getDepthCamera());
    EXPECT_FALSE(sim.camera->isConnected());
    EXPECT_NE(out.text().find("idx0\n"), std::string::npos);
    EXPECT_NE(out.text().find("reset finished\n"), std::string::npos);
    EXPECT_EQ(log.joined(), "paused stopped sourceListChanged");

    SimCamera second;
    hub.setDepthCamera(second.camera); // a second live source
    EXPECT_EQ(hub.getSources().size(), 3u);
    EXPECT_EQ(hub.getDepthCameraSourceIndex(), 2);
}

TEST_F(StreamHubTest, ResetDepthCameraDropsACurrentLiveSource)
{
    SimCamera failing(2);
    StreamHub hub(&failing.system, failing.camera);
    CoutCapture out;
    hub.resetDepthCamera();
    EXPECT_FALSE(hub.getCurrentSource());
    EXPECT_TRUE(hub.getSources().empty());
    EXPECT_EQ(out.text(),
              "sourceLive Capture\nidx0\ndelete camera source1\nafter delete camera source0\n"
              "disconnect failed\nreset finished\n");
    CoutCapture none;
    hub.resetDepthCamera();
    EXPECT_EQ(none.text(), "");
}

TEST_F(StreamHubTest, PowerReportsAreRelayed)
{
    StreamHub hub(&sim.system, sim.camera);
    QSignalSpy power(&hub, &StreamHub::onPowerChanged);
    hub.onPowerChangedCallbackInternal(sim.camera, 3);
    ASSERT_EQ(power.count(), 1);
    EXPECT_EQ(power[0].at(0).toInt(), 3);
    std::vector<int> got;
    hub.registerPowerSupplierChangedCallback([&](const Tavik::DepthCameraPtr& c, int l) {
        EXPECT_EQ(c, sim.camera);
        got.push_back(l);
        EXPECT_EQ(power.count(), static_cast<int>(got.size())); // called before the signal
    });
    auto live = std::dynamic_pointer_cast<DepthCameraStreamSource>(hub.getCurrentSource());
    live->onPowerChangedCallbackInternal(sim.camera, 2);
    EXPECT_EQ(got, std::vector<int>{2});
    EXPECT_EQ(power.count(), 2);

    // A source no longer current reports to nobody.
    ASSERT_TRUE(hub.setCurrentSource(hub.addFileStreamSource(recording("a.tvk"))));
    live->onPowerChangedCallbackInternal(sim.camera, 1);
    EXPECT_EQ(got, std::vector<int>{2});
    EXPECT_EQ(power.count(), 2);
    // Selected again, it reports once more.
    ASSERT_TRUE(hub.setCurrentSource(0));
    live->onPowerChangedCallbackInternal(sim.camera, 4);
    EXPECT_EQ(got, (std::vector<int>{2, 4}));
    EXPECT_EQ(power.count(), 3);
}

TEST_F(StreamHubTest, FramesFlowWhileTheUserInterfaceEditsEverything)
{
    SimCamera streaming(0, false);
    streaming.system.simulation().setFrameRate(streaming.camera, 500);
    SimCamera spare;
    StreamHub hub(&streaming.system, streaming.camera);
    FrameLog frames;
    std::atomic<bool> done{false};
    std::atomic<int> cameraReads{0};
    std::thread worker([&] {
        while (!done) {
            if (hub.getDepthCamera())
                ++cameraReads;
            std::this_thread::yield();
        }
    });
    ASSERT_TRUE(hub.start());
    // Edits go on until enough frames and reads were seen; the bound is only
    // there so a stuck stream fails instead of hanging.
    const auto deadline = std::chrono::steady_clock::now() + KelvraTest::budget(std::chrono::seconds(60));
    for (int i = 0; (i < 60 || frames.size() < 100 || cameraReads < 10) && std::chrono::steady_clock::now() < deadline;
         ++i) {
        FrameCallback cb = frames.callback();
        for (Tavik::FrameType t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
            hub.registerCallback(t, cb);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (i % 10 == 5 && i < 60)
            hub.setDepthCamera(i % 20 == 5 ? spare.camera : streaming.camera);
        for (Tavik::FrameType t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
            hub.clearCallback(t, cb);
    }
    done = true;
    worker.join();
    EXPECT_GE(frames.size(), 100u);
    EXPECT_GE(cameraReads, 10);
}

TEST_F(StreamHubTest, DestroyedWhileSourcesDeliver)
{
    FrameLog frames;
    KelvraTest::ThreadEnd playback;
    const auto caller = std::this_thread::get_id();
    {
        StreamHub hub(&sim.system);
        hub.setCurrentSource(hub.addFileStreamSource(recording("a.tvk", 100)));
        hub.registerCallback(0, frames.callback());
        hub.registerCallback(0, [&](const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType) {
            if (std::this_thread::get_id() != caller)
                playback.watchThisThread();
        });
        ASSERT_TRUE(hub.start());
        ASSERT_TRUE(KelvraTest::waitFor([&] { return frames.size() >= 2 && playback.isWatching(); }));
    }
    EXPECT_TRUE(playback.hasEnded()); // nothing delivers any more
}
