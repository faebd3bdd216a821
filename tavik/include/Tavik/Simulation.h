#pragma once
// Controls of the simulated camera system, for tests and demos. Nothing in
// the viewer calls these.

#include "Tavik/Common.h"
#include "Tavik/DepthCamera.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Tavik {

enum class CameraModel {
    Quenta14, // "Quenta14Camera", chipset "sim.common", profiles 0-5, triggers 1-6, 8, 9
    QuentaD, // "QuentaDCamera", chipset "meridian.tk", triggers 1-3
    Degraded, // "QuentaDCamera", empty chipset, few parameters, trigger 1, disconnect fails
};

struct DeviceSpec {
    std::string description;
    std::string id;
    CameraModel model = CameraModel::Quenta14;
    bool connectFails = false;
    // Parameters of the model this device lacks (getParam gives nothing).
    std::vector<std::string> removedParameters;
    // Profiles in place of the model's (an empty list: the camera has none).
    std::optional<std::vector<CameraProfilePtr>> profiles;
};

class Simulation {
public:
    explicit Simulation(CameraSystem& system);

    // The default list: "Quenta14Camera" (SIM-14-0001), "QuentaDCamera"
    // (SIM-D-0002), "QuentaDCamera (degraded)" (SIM-D-0003), and
    // "Quenta14Camera (busy)" (SIM-14-0004) whose connection fails.
    static std::vector<DeviceSpec> defaultDevices();
    void setDevices(std::vector<DeviceSpec> devices);

    // Makes the next `count` calls of an operation fail. Operations: "start",
    // "stop", "pause", "resume", "connect", "disconnect", "addFilter",
    // "removeFilter", "createFilter", "get:<param>", "set:<param>",
    // "getf:<param>" (camera reads through getf). Only a call that would
    // otherwise succeed uses up an injected failure.
    void failNext(const std::string& operation, int count = 1);
    void clearFailures();

    // Number of typed writes (seti/setb/setu/setf) that reached a parameter of
    // that name on the camera, refused ones included.
    int setterCalls(const DepthCameraPtr& camera, const std::string& name) const;
    // Number of addFilter and removeFilter calls that reached the camera,
    // refused ones included.
    int filterCalls(const DepthCameraPtr& camera) const;

    // Capture: delivery goes on while paused (default true); a frame rate
    // override (0: the camera's "frame_rate"); ids skipped every `period`
    // sets (0: none).
    void setDeliverWhilePaused(const DepthCameraPtr& camera, bool deliver);
    void setFrameRate(const DepthCameraPtr& camera, double fps);
    void setIdDropPeriod(const DepthCameraPtr& camera, int period);
    // Manual mode: start() launches no thread; deliverFrameSets() produces
    // sets synchronously on the calling thread (deterministic tests). Takes
    // effect at the next start().
    void setManualDelivery(const DepthCameraPtr& camera, bool manual);
    bool deliverFrameSets(const DepthCameraPtr& camera, int count);
    // The scene's random seed (same seed, same frames).
    void setSeed(const DepthCameraPtr& camera, uint32_t seed);

    // Active profile; takes effect at the next frame set.
    bool setCameraProfile(const DepthCameraPtr& camera, int profileId);
    // Extra delay of a trigger function (triggerFunction8 waits 2 s by default).
    void setTriggerDelay(const DepthCameraPtr& camera, int functionNumber, int milliseconds);

    // Pulls the camera's cable: it stops delivering and reports isConnected()
    // false, as after a disconnect, but stays this system's camera until the
    // program disconnects it. The device stays listed.
    void unplug(const DepthCameraPtr& camera);

    // Power report: calls the hook with the level (no viewer code registers one).
    void setPowerHook(const DepthCameraPtr& camera, std::function<void(int)> hook);
    void simulatePowerLevel(const DepthCameraPtr& camera, int level);

private:
    CameraSystem& system_;
};

} // namespace Tavik
