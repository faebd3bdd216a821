// Camera system, connection, transport, frame delivery, triggers, profiles.

#include "TavikTestUtil.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace Tavik;
using TavikTest::Rig;

TEST(CameraSystem, ScansTheSimulatedDevices)
{
    CameraSystem system;
    auto devices = system.scan();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0]->description(), "Quenta14Camera");
    EXPECT_EQ(devices[0]->id(), "SIM-14-0001");
    EXPECT_EQ(devices[1]->id(), "SIM-D-0002");
    EXPECT_EQ(devices[2]->description(), "QuentaDCamera (degraded)");
    EXPECT_EQ(devices[3]->id(), "SIM-14-0004");

    EXPECT_FALSE(system.connect(nullptr));
    auto a = system.connect(devices[0]);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->isConnected());
    EXPECT_EQ(system.connect(devices[0]), a);
    EXPECT_EQ(a->id(), "SIM-14-0001");

    system.simulation().failNext("connect");
    const auto refused = system.connect(devices[1]);
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->isConnected());
    const auto b = system.connect(devices[1]);
    EXPECT_TRUE(b->isConnected());
    EXPECT_NE(b, refused);
    EXPECT_FALSE(system.disconnect(refused)); // never this system's
}

TEST(CameraSystem, AFailedConnectionGivesACameraThatIsNotConnected)
{
    CameraSystem system;
    const auto devices = system.scan();
    // The busy device, and one gone since the scan: a camera that says who
    // it is and refuses everything.
    for (const auto& device : {devices[3], std::make_shared<CameraDevice>("QuentaDCamera", "SIM-X")}) {
        const auto camera = system.connect(device);
        ASSERT_TRUE(camera);
        EXPECT_FALSE(camera->isConnected());
        EXPECT_EQ(camera->id(), device->id());
        EXPECT_FALSE(camera->start());
        EXPECT_FALSE(camera->getParam("intg_time"));
        EXPECT_FALSE(
            camera->registerCallback(FRAME_DEPTH_FRAME, [](const DepthCameraPtr&, const FramePtr&, FrameType) {}));
        EXPECT_NE(system.connect(device), camera); // nothing kept
    }
    EXPECT_EQ(system.connect(devices[3])->cameraType(), "Quenta14Camera");
    EXPECT_EQ(system.connect(std::make_shared<CameraDevice>("QuentaDCamera", "SIM-X"))->cameraType(), "QuentaDCamera");

    system.simulation().setDevices({});
    EXPECT_TRUE(system.scan().empty());
}

TEST(CameraSystem, DisconnectedCameraRefusesEverything)
{
    Rig rig;
    rig.record();
    auto filter = rig.system.createFilter("Tavik::PassThroughFilter", FRAME_DEPTH_FRAME);
    ASSERT_GE(rig.camera->addFilter(filter, FRAME_DEPTH_FRAME), 0);
    ASSERT_TRUE(rig.camera->start());
    ASSERT_TRUE(rig.system.disconnect(rig.camera, true));
    EXPECT_FALSE(rig.system.disconnect(rig.camera, true)); // second time

    const DepthCameraPtr& c = rig.camera;
    EXPECT_FALSE(c->isConnected());
    EXPECT_FALSE(c->isRunning());
    EXPECT_FALSE(c->start());
    EXPECT_FALSE(c->stop());
    EXPECT_FALSE(c->pause());
    EXPECT_FALSE(c->resume());
    EXPECT_FALSE(c->registerCallback(FRAME_DEPTH_FRAME, [](const DepthCameraPtr&, const FramePtr&, FrameType) {}));
    EXPECT_FALSE(c->clearAllCallbacks());
    EXPECT_FALSE(c->getStreamParamf("depthScalingFactor").ok);
    EXPECT_FALSE(c->getf("unambiguous_range").ok);
    EXPECT_FALSE(c->getParam("intg_time"));
    EXPECT_FALSE(c->setu("intg_time", 300).ok);
    EXPECT_LT(c->addFilter(rig.system.createFilter("Tavik::PassThroughFilter", 1), 1), 0);
    EXPECT_FALSE(c->removeFilter(0, FRAME_DEPTH_FRAME));
    EXPECT_FALSE(c->triggerFunction1("1", "99"));
    EXPECT_EQ(c->callTrigger("triggerFunction7", "1", "99"), TriggerResult::False);
    EXPECT_FALSE(rig.system.simulation().deliverFrameSets(c, 1));
    EXPECT_EQ(rig.callCount(), 0u);

    // The filter left the chain with the connection: another camera takes it.
    auto again = rig.system.connect(rig.devices[0]);
    ASSERT_TRUE(again);
    EXPECT_NE(again, rig.camera);
    EXPECT_GE(again->addFilter(filter, FRAME_DEPTH_FRAME), 0);
}

TEST(CameraSystem, AnUnpluggedCameraStopsDeliveringUntilTheProgramDisconnectsIt)
{
    Rig rig(TavikTest::CameraA, false);
    rig.system.simulation().setFrameRate(rig.camera, 500);
    rig.record();
    ASSERT_TRUE(rig.camera->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return rig.callCount() >= 8; }));
    rig.system.simulation().unplug(rig.camera);
    EXPECT_FALSE(rig.camera->isConnected());
    EXPECT_FALSE(rig.camera->isRunning());
    const std::size_t count = rig.callCount(); // the capture thread has ended
    EXPECT_EQ(count % 4, 0u);
    EXPECT_FALSE(rig.camera->start());
    EXPECT_EQ(rig.callCount(), count);
    // Still listed and still this system's camera until it is disconnected;
    // the device connects afresh afterwards.
    EXPECT_EQ(rig.system.scan().size(), 4u);
    EXPECT_EQ(rig.system.connect(rig.devices[0]), rig.camera);
    EXPECT_TRUE(rig.system.disconnect(rig.camera));
    const auto again = rig.system.connect(rig.devices[0]);
    EXPECT_NE(again, rig.camera);
    EXPECT_TRUE(again->isConnected());
}

TEST(CameraSystem, DisconnectRefusals)
{
    Rig rig(TavikTest::CameraC);
    EXPECT_FALSE(rig.system.disconnect(rig.camera)); // this model always refuses
    EXPECT_TRUE(rig.camera->isConnected());
    EXPECT_FALSE(rig.system.disconnect(nullptr));

    CameraSystem other;
    auto a = other.connect(other.scan()[0]);
    EXPECT_FALSE(rig.system.disconnect(a)); // not this system's camera
    other.simulation().failNext("disconnect");
    EXPECT_FALSE(other.disconnect(a));
    EXPECT_TRUE(other.disconnect(a));
}

TEST(CameraTransport, AnswersFollowTheState)
{
    Rig rig;
    const DepthCameraPtr& c = rig.camera;
    EXPECT_FALSE(c->pause());
    EXPECT_FALSE(c->resume());
    EXPECT_FALSE(c->stop());
    ASSERT_TRUE(c->start());
    EXPECT_FALSE(c->start());
    EXPECT_TRUE(c->isRunning());
    EXPECT_TRUE(c->pause());
    EXPECT_FALSE(c->pause());
    EXPECT_TRUE(c->isPaused());
    EXPECT_TRUE(c->isRunning());
    EXPECT_TRUE(c->resume());
    EXPECT_FALSE(c->resume());
    EXPECT_TRUE(c->pause());
    EXPECT_TRUE(c->stop()); // paused counts as running
    EXPECT_FALSE(c->isPaused());
    EXPECT_FALSE(c->isRunning());

    rig.system.simulation().failNext("start");
    EXPECT_FALSE(c->start());
    ASSERT_TRUE(c->start());
    rig.system.simulation().failNext("stop");
    EXPECT_FALSE(c->stop());
    EXPECT_TRUE(c->isRunning());
    EXPECT_TRUE(c->stop());
}

TEST(CameraDelivery, FourFreshFramesPerSetInTypeOrder)
{
    Rig rig;
    rig.record();
    rig.deliver(3);
    ASSERT_EQ(rig.calls.size(), 12u);
    for (std::size_t i = 0; i < rig.calls.size(); ++i) {
        const auto& call = rig.calls[i];
        EXPECT_EQ(call.type, static_cast<FrameType>(i % 4));
        EXPECT_EQ(call.frame->type, call.type);
        EXPECT_EQ(call.camera, rig.camera);
        EXPECT_EQ(call.frame->id, static_cast<int64_t>(i / 4 + 1));
        EXPECT_EQ(call.frame->timestamp, rig.calls[i - i % 4].frame->timestamp);
        EXPECT_GT(call.frame->timestamp, 0);
    }
    EXPECT_GT(rig.calls[4].frame->timestamp, rig.calls[0].frame->timestamp);
    // A kept frame is never reused for a later set.
    EXPECT_NE(rig.calls[0].frame, rig.calls[4].frame);
    EXPECT_EQ(rig.calls[0].frame->id, 1);
}

TEST(CameraDelivery, IdDropsAndPausedDelivery)
{
    Rig rig;
    rig.record();
    rig.system.simulation().setIdDropPeriod(rig.camera, 3);
    rig.deliver(7);
    std::vector<int64_t> ids;
    for (std::size_t i = 0; i < rig.calls.size(); i += 4)
        ids.push_back(rig.calls[i].frame->id);
    EXPECT_EQ(ids, (std::vector<int64_t>{1, 2, 3, 5, 6, 7, 9}));

    // Delivery goes on while paused by default ...
    ASSERT_TRUE(rig.camera->pause());
    rig.deliver(1);
    EXPECT_EQ(rig.callCount(), 32u);
    // ... unless switched off.
    rig.system.simulation().setDeliverWhilePaused(rig.camera, false);
    rig.deliver(2);
    EXPECT_EQ(rig.callCount(), 32u);
    ASSERT_TRUE(rig.camera->resume());
    rig.deliver(1);
    EXPECT_EQ(rig.callCount(), 36u);
}

TEST(CameraDelivery, CaptureThreadStreamsUntilStopped)
{
    Rig rig(TavikTest::CameraA, false);
    rig.system.simulation().setFrameRate(rig.camera, 500);
    std::atomic<int> pausedChecks{0};
    rig.camera->registerCallback(FRAME_DEPTH_FRAME, [&](const DepthCameraPtr& cam, const FramePtr&, FrameType) {
        if (!cam->isPaused()) // allowed from inside a callback
            ++pausedChecks;
    });
    rig.record();
    ASSERT_TRUE(rig.camera->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return rig.callCount() >= 40; }));
    ASSERT_TRUE(rig.camera->stop());
    const std::size_t count = rig.callCount();
    EXPECT_EQ(count % 4, 0u); // stop never cuts a set in half
    {
        std::lock_guard<std::mutex> lock(rig.m);
        for (std::size_t i = 4; i < rig.calls.size(); i += 4) {
            EXPECT_EQ(rig.calls[i].frame->id, rig.calls[i - 4].frame->id + 1);
            EXPECT_GT(rig.calls[i].frame->timestamp, rig.calls[i - 4].frame->timestamp);
        }
    }
    EXPECT_GE(pausedChecks.load(), 10);
    EXPECT_FALSE(rig.system.simulation().deliverFrameSets(rig.camera, 1)); // not in manual mode
    EXPECT_EQ(rig.callCount(), count);
}

TEST(CameraDelivery, ClearingCallbacksWaitsForADeliveryInProgress)
{
    Rig rig(TavikTest::CameraA, false);
    rig.system.simulation().setFrameRate(rig.camera, 1000);
    std::atomic<int> first{0}, second{0};
    rig.camera->registerCallback(FRAME_RAW_FRAME_UNPROCESSED,
                                 [&](const DepthCameraPtr&, const FramePtr&, FrameType) { ++first; });
    ASSERT_TRUE(rig.camera->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return first >= 3; }));
    rig.camera->clearAllCallbacks();
    const int seen = first;
    rig.camera->registerCallback(FRAME_RAW_FRAME_UNPROCESSED,
                                 [&](const DepthCameraPtr&, const FramePtr&, FrameType) { ++second; });
    ASSERT_TRUE(KelvraTest::waitFor([&] { return second >= 5; }));
    EXPECT_EQ(first.load(), seen);
}

TEST(CameraDelivery, CallbacksMayRegisterFromTheCaptureThread)
{
    Rig rig;
    int late = 0;
    rig.camera->registerCallback(
        FRAME_RAW_FRAME_UNPROCESSED, [&](const DepthCameraPtr& cam, const FramePtr&, FrameType) {
            cam->clearAllCallbacks(); // must not wait for itself
            cam->registerCallback(FRAME_DEPTH_FRAME,
                                  [&](const DepthCameraPtr&, const FramePtr&, FrameType) { ++late; });
        });
    rig.deliver(1);
    EXPECT_EQ(late, 0); // registered during the set: from the next one on
    rig.deliver(2);
    EXPECT_EQ(late, 2);
}

TEST(CameraDelivery, AThrowingCallbackDoesNotStopDelivery)
{
    Rig rig;
    int after = 0;
    rig.camera->registerCallback(FRAME_RAW_FRAME_PROCESSED, [](const DepthCameraPtr&, const FramePtr&, FrameType) {
        throw std::runtime_error("consumer failed");
    });
    rig.camera->registerCallback(FRAME_DEPTH_FRAME,
                                 [&](const DepthCameraPtr&, const FramePtr&, FrameType) { ++after; });
    testing::internal::CaptureStderr();
    rig.deliver(2);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(after, 2);
    EXPECT_NE(err.find("consumer failed"), std::string::npos);
    EXPECT_TRUE(rig.camera->clearAllCallbacks()); // returns: no delivery left marked as running
}

TEST(CameraDelivery, SystemDestructionStopsStreamingCameras)
{
    std::atomic<int> frames{0};
    DepthCameraPtr kept;
    {
        CameraSystem system;
        kept = system.connect(system.scan()[1]);
        system.simulation().setFrameRate(kept, 200);
        kept->registerCallback(FRAME_DEPTH_FRAME, [&](const DepthCameraPtr&, const FramePtr&, FrameType) { ++frames; });
        ASSERT_TRUE(kept->start());
        ASSERT_TRUE(KelvraTest::waitFor([&] { return frames >= 2; }));
    }
    EXPECT_FALSE(kept->isRunning());
    EXPECT_FALSE(kept->isConnected());
    const int after = frames;
    EXPECT_FALSE(kept->start());
    EXPECT_EQ(frames.load(), after);
}

TEST(CameraTriggers, AnswersPerModel)
{
    Rig a;
    a.system.simulation().setTriggerDelay(a.camera, 8, 0);
    EXPECT_TRUE(a.camera->triggerFunction1("1", "99"));
    EXPECT_FALSE(a.camera->triggerFunction2("abc", "99"));
    EXPECT_FALSE(a.camera->triggerFunction3("1", ""));
    EXPECT_TRUE(a.camera->triggerFunction8("-4", "+2"));
    EXPECT_EQ(a.camera->callTrigger("triggerFunction7", "1", "99"), TriggerResult::Unsupported);
    EXPECT_FALSE(a.camera->triggerFunction7("1", "99"));
    std::string why;
    EXPECT_EQ(a.camera->callTrigger("triggerFunction9", "fault", "99", &why), TriggerResult::Error);
    EXPECT_EQ(why, "the camera sent no answer");
    EXPECT_EQ(a.camera->callTrigger("triggerFunction9", "1", "2"), TriggerResult::True);
    EXPECT_EQ(a.camera->callTrigger("triggerFunction10", "1", "2"), TriggerResult::Unsupported);
    EXPECT_EQ(a.camera->callTrigger("triggerFunction0", "1", "2"), TriggerResult::Unsupported);

    Rig b(TavikTest::CameraB);
    EXPECT_EQ(b.camera->callTrigger("triggerFunction3", "1", "99"), TriggerResult::True);
    EXPECT_EQ(b.camera->callTrigger("triggerFunction4", "1", "99"), TriggerResult::Unsupported);
    Rig c(TavikTest::CameraC);
    EXPECT_EQ(c.camera->callTrigger("triggerFunction2", "1", "99"), TriggerResult::Unsupported);
}

TEST(CameraTriggers, DisconnectEndsASlowTriggerAndCallsMayOverlap)
{
    Rig rig;
    rig.system.simulation().setTriggerDelay(rig.camera, 8, 60000);
    rig.system.simulation().setTriggerDelay(rig.camera, 2, 20);
    TriggerResult slow = TriggerResult::True;
    std::thread worker([&, camera = rig.camera] { slow = camera->callTrigger("triggerFunction8", "1", "99"); });
    std::vector<std::thread> quick;
    std::atomic<int> ok{0};
    for (int i = 0; i < 4; ++i)
        quick.emplace_back([&, camera = rig.camera] { ok += camera->triggerFunction2("1", "99") ? 1 : 0; });
    for (auto& t : quick)
        t.join();
    EXPECT_EQ(ok.load(), 4);
    ASSERT_TRUE(rig.system.disconnect(rig.camera));
    worker.join(); // would take a minute without the wake-up
    EXPECT_EQ(slow, TriggerResult::False);
}

TEST(CameraProfiles, CalibrationAndSwitching)
{
    Rig rig;
    rig.record();
    EXPECT_EQ(rig.camera->getCurrentCameraProfileID(), 0);
    auto p0 = rig.camera->configFile.getCameraProfile(0);
    ASSERT_TRUE(p0);
    EXPECT_EQ(p0->getFloat("calib", "fx"), 200.f);
    EXPECT_EQ(p0->getFloat("calib", "cy"), 120.f);
    EXPECT_EQ(p0->getFloat("calib", "k1"), 0.f);
    EXPECT_EQ(p0->getFloat("lens", "fx"), 0.f);
    EXPECT_EQ(rig.camera->configFile.getCameraProfile(5)->getFloat("calib", "fx"), 0.f);
    EXPECT_FALSE(rig.camera->configFile.getCameraProfile(6));

    auto set = rig.nextSet();
    EXPECT_EQ(set[FRAME_DEPTH_FRAME]->width, 320);
    EXPECT_EQ(set[FRAME_DEPTH_FRAME]->height, 240);
    ASSERT_TRUE(rig.system.simulation().setCameraProfile(rig.camera, 2));
    EXPECT_FALSE(rig.system.simulation().setCameraProfile(rig.camera, 9));
    EXPECT_EQ(rig.camera->getCurrentCameraProfileID(), 2);
    set = rig.nextSet();
    EXPECT_EQ(set[FRAME_XYZI_POINT_CLOUD_FRAME]->height, 180);
    EXPECT_EQ(set[FRAME_XYZI_POINT_CLOUD_FRAME]->points.size(), 320u * 180u);
    // Focal length 0 still gives a usable frame set.
    ASSERT_TRUE(rig.system.simulation().setCameraProfile(rig.camera, 5));
    set = rig.nextSet();
    EXPECT_EQ(set[FRAME_DEPTH_FRAME]->depth.size(), 320u * 240u);

    Rig c(TavikTest::CameraC);
    EXPECT_EQ(c.camera->configFile.getCameraProfile(0)->width(), 160);
    EXPECT_FALSE(c.camera->configFile.getCameraProfile(1));
}

TEST(CameraProfiles, DeviceProfilesMayLackValues)
{
    CameraSystem system;
    DeviceSpec spec;
    spec.description = "Quenta14Camera";
    spec.id = "SIM-14-0009";
    spec.profiles = std::vector<CameraProfilePtr>{
        std::make_shared<CameraProfile>(3, 160, 120, std::map<std::string, float>{{"fx", 100.f}, {"fy", 0.f}})};
    DeviceSpec bare;
    bare.description = "Quenta14Camera";
    bare.id = "SIM-14-0010";
    bare.profiles = std::vector<CameraProfilePtr>{};
    system.simulation().setDevices({spec, bare});
    const auto devices = system.scan();
    auto camera = system.connect(devices[0]);
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->getCurrentCameraProfileID(), 3);
    auto profile = camera->configFile.getCameraProfile(3);
    ASSERT_TRUE(profile);
    EXPECT_TRUE(profile->hasFloat("calib", "fy")); // held, though 0
    EXPECT_EQ(profile->getFloat("calib", "fy"), 0.f);
    EXPECT_FALSE(profile->hasFloat("calib", "cx"));
    EXPECT_EQ(profile->getFloat("calib", "cx"), 0.f);
    EXPECT_FALSE(profile->hasFloat("lens", "fx"));

    auto noProfiles = system.connect(devices[1]);
    ASSERT_TRUE(noProfiles);
    EXPECT_FALSE(noProfiles->configFile.getCameraProfile(noProfiles->getCurrentCameraProfileID()));
}

TEST(CameraSimulation, PowerHook)
{
    Rig rig;
    std::vector<int> levels;
    rig.system.simulation().setPowerHook(rig.camera, [&](int level) { levels.push_back(level); });
    rig.system.simulation().simulatePowerLevel(rig.camera, 3);
    rig.system.simulation().simulatePowerLevel(rig.camera, 1);
    EXPECT_EQ(levels, (std::vector<int>{3, 1}));
    rig.system.disconnect(rig.camera);
    rig.system.simulation().simulatePowerLevel(rig.camera, 2);
    EXPECT_EQ(levels.size(), 2u);
}
