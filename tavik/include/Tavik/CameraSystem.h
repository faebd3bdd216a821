#pragma once
// Entry point of the SDK: scans for (simulated) devices, connects cameras,
// offers the filters.

#include "Tavik/Common.h"
#include "Tavik/Filter.h"

#include <memory>
#include <string>
#include <vector>

namespace Tavik {

class Simulation;
struct DeviceSpec;

namespace detail {
struct SystemState;
}

class CameraDevice {
public:
    CameraDevice(std::string description, std::string id);
    const std::string& description() const { return description_; }
    const std::string& id() const { return id_; }

private:
    std::string description_;
    std::string id_;
};

class CameraSystem {
public:
    // Opens the camera system with the default simulated devices.
    CameraSystem();
    ~CameraSystem(); // stops and disconnects every camera it connected
    CameraSystem(const CameraSystem&) = delete;
    CameraSystem& operator=(const CameraSystem&) = delete;

    // The devices present now, in a fixed order (may be empty).
    std::vector<CameraDevicePtr> scan();
    // The camera of a scanned device. When the connection fails (the device
    // is busy or gone) the camera is not connected (isConnected() false) and
    // refuses everything; no device, no camera. Connecting a device twice
    // gives the same camera.
    DepthCameraPtr connect(const CameraDevicePtr& device);
    // True when the camera was disconnected. The camera object stays valid.
    bool disconnect(const DepthCameraPtr& camera, bool reset = true);

    // Full filter names (parts joined by "::") in a fixed order.
    std::vector<std::string> getSupportedFilters() const;
    bool getFilterDescription(const std::string& name, FilterDescription& description) const;
    // A new filter for that name and frame type, or an empty handle when the
    // name is unknown or the filter cannot stand in that type's chain, with
    // the reason in `why` when given (which frame types the filter takes).
    FilterPtr createFilter(const std::string& name, FrameType type, std::string* why = nullptr) const;

    // Controls of the simulation (devices, injected refusals, profiles, ...).
    Simulation& simulation();

    const std::shared_ptr<detail::SystemState>& state() const { return d_; }

private:
    // Called with d_->m held. A `type` replaces the model's camera type.
    DepthCameraPtr makeCamera(const DeviceSpec& spec, bool connected, const std::string& type = {});

    std::shared_ptr<detail::SystemState> d_;
    std::unique_ptr<Simulation> simulation_;
};

} // namespace Tavik
