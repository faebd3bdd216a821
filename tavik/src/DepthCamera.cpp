// DepthCamera, the handle callers hold on a camera: each call passes to the
// camera state behind it.

#include "Detail.h"

namespace Tavik {

using detail::CameraState;

DepthCamera::DepthCamera(std::shared_ptr<CameraState> state)
    : configFile(state.get())
    , d_(std::move(state))
{
}

DepthCamera::~DepthCamera()
{
    if (d_->connected)
        d_->disconnect();
}

bool DepthCamera::clearAllCallbacks()
{
    return d_->clearAllCallbacks();
}
bool DepthCamera::registerCallback(FrameType type, FrameCallback callback)
{
    return d_->registerCallback(type, std::move(callback));
}
bool DepthCamera::start()
{
    return d_->start();
}
bool DepthCamera::stop()
{
    return d_->stop();
}
bool DepthCamera::pause()
{
    return d_->pause();
}
bool DepthCamera::resume()
{
    return d_->resume();
}
bool DepthCamera::isRunning() const
{
    return d_->running;
}
bool DepthCamera::isPaused() const
{
    return d_->paused;
}
Result<float> DepthCamera::getStreamParamf(const std::string& name) const
{
    return d_->streamParam(name);
}
Result<float> DepthCamera::getf(const std::string& name) const
{
    return d_->getf(name);
}

ParameterPtr DepthCamera::getParam(const std::string& name) const
{
    if (!d_->connected || !d_->hasParam(name))
        return nullptr;
    auto it = d_->params.find(name);
    return it == d_->params.end() ? nullptr : it->second;
}

Result<int32_t> DepthCamera::seti(const std::string& name, int32_t value)
{
    return detail::typedWrite(*d_, name, value);
}
Result<bool> DepthCamera::setb(const std::string& name, bool value)
{
    return detail::typedWrite(*d_, name, value);
}
Result<uint32_t> DepthCamera::setu(const std::string& name, uint32_t value)
{
    return detail::typedWrite(*d_, name, value);
}
Result<float> DepthCamera::setf(const std::string& name, float value)
{
    return detail::typedWrite(*d_, name, value);
}

std::string DepthCamera::chipset() const
{
    return d_->model.chipset;
}
std::string DepthCamera::cameraType() const
{
    return d_->model.type;
}
std::string DepthCamera::id() const
{
    return d_->deviceId;
}
bool DepthCamera::isConnected() const
{
    return d_->connected;
}

int DepthCamera::addFilter(const FilterPtr& filter, FrameType type, int beforeFilterIndex, std::string* why)
{
    return d_->addFilter(filter, type, beforeFilterIndex, why);
}
bool DepthCamera::removeFilter(int filterIndex, FrameType type)
{
    return d_->removeFilter(filterIndex, type);
}

std::vector<DepthCamera::ChainedFilter> DepthCamera::getFilterChain(FrameType type) const
{
    std::vector<ChainedFilter> chain;
    if (!isValidFrameType(type))
        return chain;
    d_->withLock([&] {
        if (d_->connected)
            for (const auto& entry : d_->chains[type])
                chain.push_back({entry.index, entry.filter});
    });
    return chain;
}

int DepthCamera::getCurrentCameraProfileID() const
{
    return d_->withLock([&] { return d_->profileId; });
}

bool DepthCamera::triggerFunction1(const std::string& a, const std::string& b)
{
    return d_->callTrigger(1, a, b) == TriggerResult::True;
}
bool DepthCamera::triggerFunction2(const std::string& a, const std::string& b)
{
    return d_->callTrigger(2, a, b) == TriggerResult::True;
}
bool DepthCamera::triggerFunction3(const std::string& a, const std::string& b)
{
    return d_->callTrigger(3, a, b) == TriggerResult::True;
}
bool DepthCamera::triggerFunction4(const std::string& a, const std::string& b)
{
    return d_->callTrigger(4, a, b) == TriggerResult::True;
}
bool DepthCamera::triggerFunction5(const std::string& a, const std::string& b)
{
    return d_->callTrigger(5, a, b) == TriggerResult::True;
}
bool DepthCamera::triggerFunction6(const std::string& a, const std::string& b)
{
    return d_->callTrigger(6, a, b) == TriggerResult::True;
}
bool DepthCamera::triggerFunction7(const std::string& a, const std::string& b)
{
    return d_->callTrigger(7, a, b) == TriggerResult::True;
}
bool DepthCamera::triggerFunction8(const std::string& a, const std::string& b)
{
    return d_->callTrigger(8, a, b) == TriggerResult::True;
}
bool DepthCamera::triggerFunction9(const std::string& a, const std::string& b)
{
    return d_->callTrigger(9, a, b) == TriggerResult::True;
}

TriggerResult DepthCamera::callTrigger(const std::string& functionName, const std::string& a, const std::string& b,
                                       std::string* why)
{
    static const std::string prefix = "triggerFunction";
    if (functionName.size() != prefix.size() + 1 || functionName.compare(0, prefix.size(), prefix) != 0)
        return TriggerResult::Unsupported;
    const char digit = functionName.back();
    if (digit < '1' || digit > '9')
        return TriggerResult::Unsupported;
    return d_->callTrigger(digit - '0', a, b, why);
}

} // namespace Tavik
