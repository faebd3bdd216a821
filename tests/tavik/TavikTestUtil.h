#pragma once
// Shared set-up of the simulated camera tests.

#include "Tavik/Tavik.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace TavikTest {

enum Device { CameraA = 0, CameraB = 1, CameraC = 2, Busy = 3 };

// A camera system with one connected camera in manual delivery mode, and
// the frame sets its callbacks received.
struct Rig {
    explicit Rig(Device device = CameraA, bool manual = true)
    {
        devices = system.scan();
        camera = system.connect(devices.at(device));
        if (camera)
            system.simulation().setManualDelivery(camera, manual);
    }

    // Stop delivery before the recorder below goes away.
    ~Rig()
    {
        if (camera) {
            camera->stop();
            camera->clearAllCallbacks();
        }
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Registers a recorder for all four types.
    void record()
    {
        for (Tavik::FrameType t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
            camera->registerCallback(
                t, [this](const Tavik::DepthCameraPtr& cam, const Tavik::FramePtr& frame, Tavik::FrameType type) {
                    std::lock_guard<std::mutex> lock(m);
                    calls.push_back({cam, frame, type});
                });
    }

    // Starts (when needed) and delivers `count` sets synchronously.
    void deliver(int count)
    {
        if (!camera->isRunning()) {
            ASSERT_TRUE(camera->start());
        }
        ASSERT_TRUE(system.simulation().deliverFrameSets(camera, count));
    }

    // One synchronously produced set, as delivered.
    Tavik::FrameSet nextSet()
    {
        Tavik::FrameSet set;
        const std::size_t before = callCount();
        deliver(1);
        std::lock_guard<std::mutex> lock(m);
        for (std::size_t i = before; i < calls.size(); ++i)
            set[calls[i].type] = calls[i].frame;
        return set;
    }

    std::size_t callCount()
    {
        std::lock_guard<std::mutex> lock(m);
        return calls.size();
    }

    struct Call {
        Tavik::DepthCameraPtr camera;
        Tavik::FramePtr frame;
        Tavik::FrameType type;
    };

    Tavik::CameraSystem system;
    std::vector<Tavik::CameraDevicePtr> devices;
    Tavik::DepthCameraPtr camera;
    std::mutex m;
    std::vector<Call> calls;
};

} // namespace TavikTest
