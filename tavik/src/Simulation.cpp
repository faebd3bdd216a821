#include "Detail.h"

namespace Tavik {

namespace {

detail::CameraState* stateOf(const DepthCameraPtr& camera)
{
    return camera ? camera->state().get() : nullptr;
}

} // namespace

Simulation::Simulation(CameraSystem& system)
    : system_(system)
{
}

std::vector<DeviceSpec> Simulation::defaultDevices()
{
    return {
        {"Quenta14Camera", "SIM-14-0001", CameraModel::Quenta14, false, {}, {}},
        {"QuentaDCamera", "SIM-D-0002", CameraModel::QuentaD, false, {}, {}},
        {"QuentaDCamera (degraded)", "SIM-D-0003", CameraModel::Degraded, false, {}, {}},
        {"Quenta14Camera (busy)", "SIM-14-0004", CameraModel::Quenta14, true, {}, {}},
    };
}

void Simulation::setDevices(std::vector<DeviceSpec> devices)
{
    std::lock_guard<std::mutex> lock(system_.state()->m);
    system_.state()->devices = std::move(devices);
}

void Simulation::failNext(const std::string& operation, int count)
{
    system_.state()->shared->set(operation, count);
}
void Simulation::clearFailures()
{
    system_.state()->shared->clear();
}

int Simulation::setterCalls(const DepthCameraPtr& camera, const std::string& name) const
{
    auto* s = stateOf(camera);
    if (!s)
        return 0;
    return s->withLock([&] {
        auto it = s->setterCounts.find(name);
        return it == s->setterCounts.end() ? 0 : it->second;
    });
}

int Simulation::filterCalls(const DepthCameraPtr& camera) const
{
    auto* s = stateOf(camera);
    return s ? s->filterCallCount.load() : 0;
}

void Simulation::setDeliverWhilePaused(const DepthCameraPtr& camera, bool deliver)
{
    if (auto* s = stateOf(camera))
        s->withLock([&] { s->settings.deliverWhilePaused = deliver; });
}

void Simulation::setFrameRate(const DepthCameraPtr& camera, double fps)
{
    if (auto* s = stateOf(camera))
        s->withLock([&] { s->settings.frameRateOverride = fps > 0.0 ? fps : 0.0; });
}

void Simulation::setIdDropPeriod(const DepthCameraPtr& camera, int period)
{
    if (auto* s = stateOf(camera))
        s->withLock([&] { s->settings.idDropPeriod = period > 0 ? period : 0; });
}

void Simulation::setManualDelivery(const DepthCameraPtr& camera, bool manual)
{
    if (auto* s = stateOf(camera))
        s->withLock([&] { s->settings.manual = manual; });
}

bool Simulation::deliverFrameSets(const DepthCameraPtr& camera, int count)
{
    auto* s = stateOf(camera);
    return s && s->deliverFrameSets(count);
}

void Simulation::setSeed(const DepthCameraPtr& camera, uint32_t seed)
{
    if (auto* s = stateOf(camera))
        s->withLock([&] { s->settings.seed = seed; });
}

bool Simulation::setCameraProfile(const DepthCameraPtr& camera, int profileId)
{
    auto* s = stateOf(camera);
    return s && s->connected && s->setProfile(profileId);
}

void Simulation::setTriggerDelay(const DepthCameraPtr& camera, int functionNumber, int milliseconds)
{
    if (auto* s = stateOf(camera))
        s->withLock([&] { s->settings.triggerDelayMs[functionNumber] = milliseconds > 0 ? milliseconds : 0; });
}

void Simulation::unplug(const DepthCameraPtr& camera)
{
    if (auto* s = stateOf(camera))
        s->disconnect();
}

void Simulation::setPowerHook(const DepthCameraPtr& camera, std::function<void(int)> hook)
{
    if (auto* s = stateOf(camera))
        s->withLock([&] {
            if (s->connected)
                s->settings.powerHook = std::move(hook);
        });
}

void Simulation::simulatePowerLevel(const DepthCameraPtr& camera, int level)
{
    auto* s = stateOf(camera);
    if (!s)
        return;
    // Called outside the camera's lock: the hook may call the camera.
    auto hook = s->withLock([&] { return s->settings.powerHook; });
    if (hook)
        hook(level);
}

} // namespace Tavik
