#include "Kelvra/models/DepthCameraStreamSource.h"

#include "Tavik/Frame.h"

#include <thread>

namespace Kelvra {

bool DepthCameraStreamSource::CallGate::enter()
{
    inFlight.fetch_add(1);
    if (open.load())
        return true;
    inFlight.fetch_sub(1);
    return false;
}

void DepthCameraStreamSource::CallGate::leave()
{
    inFlight.fetch_sub(1);
}

void DepthCameraStreamSource::CallGate::close()
{
    open.store(false);
    while (inFlight.load() > 0)
        std::this_thread::yield();
}

DepthCameraStreamSource::DepthCameraStreamSource(Tavik::DepthCameraPtr camera)
    : StreamSource(QStringLiteral("Live Capture"))
    , gate_(std::make_shared<CallGate>())
{
    setDepthCamera(std::move(camera));
}

DepthCameraStreamSource::~DepthCameraStreamSource()
{
    gate_->close();
    if (isRunning())
        stop();
    if (auto camera = depthCamera.exchange(nullptr))
        camera->clearAllCallbacks();
}

void DepthCameraStreamSource::disconnect()
{
    if (isRunning())
        stop();
    if (auto camera = depthCamera.load())
        camera->clearAllCallbacks();
}

bool DepthCameraStreamSource::isInitialized() const
{
    return depthCamera.load() != nullptr;
}

void DepthCameraStreamSource::setDepthCamera(Tavik::DepthCameraPtr camera)
{
    depthCamera.store(camera);
    setFrameStreamHandler(camera);
    if (!camera)
        return;
    camera->clearAllCallbacks();
    auto handler = [gate = gate_, this](const Tavik::DepthCameraPtr& cam, const Tavik::FramePtr& frame,
                                        Tavik::FrameType type) {
        if (!gate->enter())
            return;
        struct Leave {
            CallGate& g;
            ~Leave() { g.leave(); }
        } leave{*gate};
        callbackInternal(cam, frame, type);
    };
    for (Tavik::FrameType type :
         {Tavik::DepthCamera::FRAME_RAW_FRAME_UNPROCESSED, Tavik::DepthCamera::FRAME_RAW_FRAME_PROCESSED,
          Tavik::DepthCamera::FRAME_DEPTH_FRAME, Tavik::DepthCamera::FRAME_XYZI_POINT_CLOUD_FRAME})
        camera->registerCallback(type, handler);
}

bool DepthCameraStreamSource::start()
{
    if (isPaused())
        return resume();
    auto camera = depthCamera.load();
    if (!camera || camera->isRunning())
        return false;
    emit beforestart();
    if (!camera->start())
        return false;
    emit started();
    return true;
}

bool DepthCameraStreamSource::isPaused() const
{
    auto camera = depthCamera.load();
    return camera && camera->isPaused();
}

bool DepthCameraStreamSource::pause()
{
    auto camera = depthCamera.load();
    if (!camera || !camera->pause())
        return false;
    emit paused();
    return true;
}

bool DepthCameraStreamSource::resume()
{
    auto camera = depthCamera.load();
    if (!camera || !camera->resume())
        return false;
    emit resumed();
    return true;
}

bool DepthCameraStreamSource::stop()
{
    if (isPaused())
        resume();
    auto camera = depthCamera.load();
    if (!camera)
        return false;
    if (camera->isRunning()) {
        if (!camera->stop())
            return false;
    }
    emit stopped();
    return true;
}

bool DepthCameraStreamSource::isLiveStream() const
{
    return true;
}

bool DepthCameraStreamSource::isRunning() const
{
    auto camera = depthCamera.load();
    return camera && camera->isRunning();
}

void DepthCameraStreamSource::onPowerChangedCallbackInternal(const Tavik::DepthCameraPtr& camera, int powerLevel)
{
    if (auto cb = getPowerChangedCallback())
        (*cb)(camera, powerLevel);
}

void DepthCameraStreamSource::callbackInternal(const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame,
                                               Tavik::FrameType type)
{
    if (frame) {
        pos = frame->id;
        timestamp = frame->timestamp;
    }
    if (isPaused())
        return;
    if (auto cb = getCallback(); cb && *cb)
        (*cb)(camera, frame, type);
}

} // namespace Kelvra
