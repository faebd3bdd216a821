// The source interface, the comparable frame callback and the live camera source.

#include "StreamTestSupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace Kelvra;
using namespace StreamTest;

namespace {

// A source whose running state and stream-parameter handler the test sets.
class ProbeSource : public StreamSource {
public:
    ProbeSource()
        : StreamSource("probe")
    {
    }
    bool isRunning() const override { return runningNow; }
    void deliver(int64_t id)
    {
        if (auto cb = getCallback())
            (*cb)(nullptr, makeFrame(Tavik::FRAME_DEPTH_FRAME, id, 1), Tavik::FRAME_DEPTH_FRAME);
    }
    void useHandler(std::shared_ptr<const FrameStreamHandler> h) { setFrameStreamHandler(std::move(h)); }
    bool runningNow = false;
};

struct FixedHandler : FrameStreamHandler {
    FixedHandler(bool ok, float value)
        : answer{ok, value}
    {
    }
    Tavik::Result<float> getStreamParamf(const std::string& name) const override
    {
        asked.push_back(name);
        return answer;
    }
    Tavik::Result<float> answer;
    mutable std::vector<std::string> asked;
};

void plainFunction(const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType)
{
}
void otherFunction(const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType)
{
}

struct Consumer {
    void onFrame(const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType) { ++count; }
    void onOther(const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType) { }
    int count = 0;
};

} // namespace

TEST(StreamSourceBase, PauseAndResumeFollowTheRunningState)
{
    ProbeSource s;
    QSignalSpy paused(&s, &StreamSource::paused), resumed(&s, &StreamSource::resumed);
    EXPECT_FALSE(s.pause());
    EXPECT_FALSE(s.isPaused());
    s.runningNow = true;
    EXPECT_FALSE(s.resume()); // running, not paused
    EXPECT_TRUE(s.pause());
    EXPECT_TRUE(s.pause()); // no test of the flag: reports again
    EXPECT_EQ(paused.count(), 2);
    EXPECT_TRUE(s.resume());
    EXPECT_EQ(resumed.count(), 1);
    EXPECT_FALSE(s.isPaused());
    s.pause();
    s.runningNow = false;
    EXPECT_FALSE(s.resume()); // not running: clears the flag silently
    EXPECT_FALSE(s.isPaused());
    EXPECT_EQ(resumed.count(), 1);
}

TEST(StreamSourceBase, StreamParametersAndDefaults)
{
    ProbeSource s;
    EXPECT_EQ(s.getDepthScalingFactor(), 0.f);
    auto refusing = std::make_shared<FixedHandler>(false, 2.5f);
    s.useHandler(refusing);
    EXPECT_EQ(s.getStreamParamf("x"), 0.f);
    auto giving = std::make_shared<FixedHandler>(true, 0.25f);
    s.useHandler(giving);
    EXPECT_EQ(s.getDepthScalingFactor(), 0.25f);
    EXPECT_EQ(s.getAmplitudeScalingFactor(), 0.25f);
    EXPECT_EQ(giving->asked, (std::vector<std::string>{"depthScalingFactor", "amplitudeScalingFactor"}));
    EXPECT_FALSE(s.seek(10));
    EXPECT_EQ(s.length(), 0);
    EXPECT_FALSE(s.isSeekable() || s.isLiveStream() || s.start() || s.stop());
    EXPECT_FALSE(s.getROI() || s.getBinning());
}

TEST(StreamSourceBase, OneCallbackAtATime)
{
    ProbeSource s;
    FrameLog a, b;
    s.setCallback(a.callback());
    s.setCallback(b.callback());
    s.deliver(1);
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(b.size(), 1u);
    s.removeCallback();
    s.deliver(2);
    EXPECT_EQ(b.size(), 1u);
}

TEST(StreamHubFrameCallback, EqualityFollowsIdentity)
{
    Consumer c1, c2;
    FrameCallback lambda = [](const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType) {};
    FrameCallback copy = lambda;
    FrameCallback sameBody = [](const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType) {};
    EXPECT_EQ(lambda, copy);
    EXPECT_NE(lambda, sameBody);
    EXPECT_EQ(FrameCallback(&plainFunction), FrameCallback(&plainFunction));
    EXPECT_NE(FrameCallback(&plainFunction), FrameCallback(&otherFunction));
    EXPECT_EQ(FrameCallback(&c1, &Consumer::onFrame), FrameCallback(&c1, &Consumer::onFrame));
    EXPECT_NE(FrameCallback(&c1, &Consumer::onFrame), FrameCallback(&c2, &Consumer::onFrame));
    EXPECT_NE(FrameCallback(&c1, &Consumer::onFrame), FrameCallback(&c1, &Consumer::onOther));
    FrameCallback bound(&c1, &Consumer::onFrame);
    bound(nullptr, nullptr, 0);
    EXPECT_EQ(c1.count, 1);
    EXPECT_FALSE(FrameCallback(FrameCallback::Function()));
}

// --- Live camera source ----------------------------------------------------------

TEST(DepthCameraStreamSource, TransportSignalsFollowTheCamera)
{
    SimCamera sim;
    DepthCameraStreamSource s(sim.camera);
    SignalLog log(&s);
    EXPECT_EQ(s.getName(), "Live Capture");
    EXPECT_TRUE(s.isLiveStream() && s.isInitialized());
    EXPECT_FALSE(s.isSeekable() || s.seek(5));
    EXPECT_TRUE(s.stop()); // not running: stopped all the same
    EXPECT_TRUE(s.start());
    EXPECT_FALSE(s.start()); // already running: nothing
    EXPECT_TRUE(s.pause());
    EXPECT_TRUE(s.start()); // while paused: a resume
    EXPECT_TRUE(s.pause());
    EXPECT_TRUE(s.stop()); // paused: resumed, then stopped
    EXPECT_FALSE(s.pause()); // the camera refuses when not running
    EXPECT_EQ(log.joined(), "stopped beforestart started paused resumed paused resumed stopped");

    log.names.clear();
    sim.system.simulation().failNext("start");
    EXPECT_FALSE(s.start());
    EXPECT_EQ(log.joined(), "beforestart");
}

TEST(DepthCameraStreamSource, FramesReachTheCallbackUnlessPaused)
{
    SimCamera sim;
    DepthCameraStreamSource s(sim.camera);
    FrameLog log;
    ASSERT_TRUE(s.start());
    sim.deliver(1); // no callback: position only
    const int64_t first = s.currentPosition();
    EXPECT_GT(first, 0);
    s.setCallback(log.callback());
    sim.deliver(2);
    auto e = log.entries();
    ASSERT_EQ(e.size(), 8u);
    for (size_t i = 0; i < e.size(); ++i) {
        EXPECT_EQ(e[i].type, static_cast<Tavik::FrameType>(i % 4));
        EXPECT_EQ(e[i].camera, sim.camera.get());
    }
    EXPECT_EQ(s.currentPosition(), e.back().id);
    EXPECT_GT(s.currentTimestamp(), 0);
    s.pause();
    sim.deliver(1);
    EXPECT_EQ(log.size(), 8u);
    EXPECT_GT(s.currentPosition(), e.back().id);
}

TEST(DepthCameraStreamSource, TakingACameraReplacesItsRegistrations)
{
    SimCamera sim;
    FrameLog foreign;
    sim.camera->registerCallback(Tavik::FRAME_DEPTH_FRAME, foreign.callback().function());
    DepthCameraStreamSource s(sim.camera);
    s.start();
    sim.deliver(1);
    EXPECT_EQ(foreign.size(), 0u);
    EXPECT_EQ(s.getDepthScalingFactor(), sim.camera->getStreamParamf("depthScalingFactor").value);
    EXPECT_GT(s.getDepthScalingFactor(), 0.f);
}

TEST(DepthCameraStreamSource, WithoutACameraEverythingRefuses)
{
    DepthCameraStreamSource s(nullptr);
    SignalLog log(&s);
    EXPECT_FALSE(s.start() || s.pause() || s.resume() || s.stop());
    EXPECT_FALSE(s.isRunning() || s.isPaused() || s.isInitialized());
    EXPECT_EQ(s.getDepthScalingFactor(), 0.f);
    s.disconnect();
    EXPECT_TRUE(log.names.isEmpty());
}

TEST(DepthCameraStreamSource, ACameraHeldBeforeCannotReachADestroyedSource)
{
    SimCamera first, second;
    FrameLog log;
    {
        DepthCameraStreamSource s(first.camera);
        s.setCallback(log.callback());
        s.setDepthCamera(second.camera); // the first camera keeps its registrations
    }
    ASSERT_TRUE(first.camera->start());
    first.deliver(2); // would call into the destroyed source
    EXPECT_EQ(log.size(), 0u);
    first.camera->stop();
}

TEST(DepthCameraStreamSource, PowerReportsGoToTheInstalledCallback)
{
    SimCamera sim;
    DepthCameraStreamSource s(sim.camera);
    int level = -1;
    Tavik::DepthCamera* from = nullptr;
    s.onPowerChangedCallbackInternal(sim.camera, 1); // none installed
    s.setPowerChangedCallback([&](const Tavik::DepthCameraPtr& c, int l) { from = c.get(), level = l; });
    s.onPowerChangedCallbackInternal(sim.camera, 2);
    EXPECT_EQ(level, 2);
    EXPECT_EQ(from, sim.camera.get());
}

TEST(DepthCameraStreamSource, CallbacksChangeSafelyWhileTheCameraStreams)
{
    SimCamera sim(0, false);
    sim.system.simulation().setFrameRate(sim.camera, 500);
    DepthCameraStreamSource s(sim.camera);
    FrameLog log;
    ASSERT_TRUE(s.start());
    for (int i = 0; i < 200 && log.size() < 40; ++i) {
        s.setCallback(log.callback());
        s.setPowerChangedCallback([](const Tavik::DepthCameraPtr&, int) {});
        (void)s.currentPosition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        s.removeCallback();
    }
    s.setCallback(log.callback());
    EXPECT_TRUE(KelvraTest::waitFor([&] { return log.size() >= 40; }));
    EXPECT_TRUE(s.stop());
}
