#include "Detail.h"

#include <algorithm>

namespace Tavik {

using detail::CameraState;

CameraDevice::CameraDevice(std::string description, std::string id)
    : description_(std::move(description))
    , id_(std::move(id))
{
}

CameraSystem::CameraSystem()
    : d_(std::make_shared<detail::SystemState>())
    , simulation_(std::make_unique<Simulation>(*this))
{
    d_->devices = Simulation::defaultDevices();
}

CameraSystem::~CameraSystem()
{
    std::map<std::string, DepthCameraPtr> cameras;
    {
        std::lock_guard<std::mutex> lock(d_->m);
        cameras.swap(d_->connected);
    }
    // Every camera goes, also one whose disconnect would be refused.
    for (auto& entry : cameras)
        entry.second->state()->disconnect();
}

std::vector<CameraDevicePtr> CameraSystem::scan()
{
    std::lock_guard<std::mutex> lock(d_->m);
    std::vector<CameraDevicePtr> devices;
    for (const auto& spec : d_->devices)
        devices.push_back(std::make_shared<CameraDevice>(spec.description, spec.id));
    return devices;
}

DepthCameraPtr CameraSystem::connect(const CameraDevicePtr& device)
{
    if (!device)
        return nullptr;
    std::lock_guard<std::mutex> lock(d_->m);
    auto spec =
        std::find_if(d_->devices.begin(), d_->devices.end(), [&](const DeviceSpec& s) { return s.id == device->id(); });
    if (spec == d_->devices.end()) // gone since the scan: its model is unknown, its description tells
        return makeCamera(DeviceSpec{device->description(), device->id(), CameraModel::Quenta14, false, {}, {}}, false,
                          device->description());
    auto known = d_->connected.find(spec->id);
    if (known != d_->connected.end())
        return known->second;
    if (spec->connectFails || d_->shared->consume("connect"))
        return makeCamera(*spec, false);
    auto camera = makeCamera(*spec, true);
    d_->connected[spec->id] = camera;
    return camera;
}

DepthCameraPtr CameraSystem::makeCamera(const DeviceSpec& spec, bool connected, const std::string& type)
{
    detail::CameraModelInfo model = detail::cameraModel(spec.model);
    if (!type.empty())
        model.type = type;
    if (spec.profiles)
        model.profiles = *spec.profiles;
    auto state = std::make_shared<CameraState>(d_->shared, spec, std::move(model));
    for (const auto& name : spec.removedParameters)
        state->removeParam(name);
    state->buildParams();
    state->connected = connected;
    auto camera = std::make_shared<DepthCamera>(state);
    state->self = camera;
    return camera;
}

bool CameraSystem::disconnect(const DepthCameraPtr& camera,
                              bool /*reset: a new connection always starts from defaults*/)
{
    if (!camera)
        return false;
    {
        std::lock_guard<std::mutex> lock(d_->m);
        auto it =
            std::find_if(d_->connected.begin(), d_->connected.end(), [&](const auto& e) { return e.second == camera; });
        if (it == d_->connected.end() || camera->state()->model.disconnectFails || d_->shared->consume("disconnect"))
            return false;
        d_->connected.erase(it);
    }
    camera->state()->disconnect();
    return true;
}

std::vector<std::string> CameraSystem::getSupportedFilters() const
{
    std::vector<std::string> names;
    for (const auto& kind : detail::filterKinds())
        names.push_back(kind.name);
    return names;
}

bool CameraSystem::getFilterDescription(const std::string& name, FilterDescription& description) const
{
    description.clear();
    const detail::FilterKindInfo* kind = detail::findFilterKind(name);
    if (!kind || !kind->described)
        return false;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        description.setSupported(t, (kind->supportedMask >> t) & 1u);
    return true;
}

FilterPtr CameraSystem::createFilter(const std::string& name, FrameType type, std::string* why) const
{
    const auto refuse = [why](std::string reason) {
        if (why)
            *why = std::move(reason);
        return nullptr;
    };
    const detail::FilterKindInfo* kind = detail::findFilterKind(name);
    if (!kind)
        return refuse("no filter of that name");
    if (!kind->described)
        return refuse("the filter has no description");
    if (!isValidFrameType(type))
        return refuse("no frame type " + std::to_string(type));
    if (!((kind->supportedMask >> type) & 1u))
        return refuse(kind->supportedMask ? "it takes only " + detail::frameTypesText(kind->supportedMask) + " frames"
                                          : std::string("it takes no frames"));
    if (d_->shared->consume("createFilter"))
        return refuse("refused by the camera system");
    auto state = std::make_shared<detail::FilterState>(d_->shared, *kind, name, type);
    // The state's specs: some follow the frame type.
    for (const auto& spec : state->specs())
        state->params[spec.name] = detail::makeParameter(spec, state, true);
    return std::make_shared<Filter>(state);
}

Simulation& CameraSystem::simulation()
{
    return *simulation_;
}

} // namespace Tavik
