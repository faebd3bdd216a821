// A camera's frame production: its state made and ended, the frame callbacks
// and taps, start, stop, pause and disconnection, the capture thread and the
// rendering, processing and delivery of each frame set.

#include "Detail.h"
#include "Processing.h"
#include "Scene.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#ifdef __linux__
#include <pthread.h>
#endif

namespace Tavik::detail {

namespace {

int64_t steadyMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// --- camera state ----------------------------------------------------------------

CameraState::CameraState(std::shared_ptr<SystemShared> shared, const DeviceSpec& device, CameraModelInfo info)
    : ParamHost(std::move(shared))
    , deviceId(device.id)
    , description(device.description)
    , model(std::move(info))
    , callbacks(std::make_shared<std::array<std::vector<FrameCallback>, FRAME_TYPE_COUNT>>())
    , renderer_(std::make_unique<SceneRenderer>())
    , processing_(std::make_unique<FrameProcessing>())
    , connectedAt_(std::chrono::steady_clock::now())
{
    for (const auto& p : model.params)
        addParam(p);
    if (!model.profiles.empty())
        profileId = model.profiles.front()->id();
}

CameraState::~CameraState()
{
    {
        std::lock_guard<std::mutex> lock(runMutex_);
        stopRequested_ = true;
    }
    runCv_.notify_all();
    if (thread_.joinable()) {
        // Only when the last handle went away inside a frame callback.
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
    for (auto& chain : chains)
        for (auto& e : chain) {
            std::lock_guard<std::mutex> lock(e.filter->state()->chainMutex);
            e.filter->state()->chain = nullptr;
        }
}

// --- callbacks -------------------------------------------------------------------

bool CameraState::clearAllCallbacks()
{
    std::unique_lock<std::mutex> lock(m_);
    if (!connected)
        return false;
    callbacks = std::make_shared<std::array<std::vector<FrameCallback>, FRAME_TYPE_COUNT>>();
    // After this returns no old callback runs any more, unless we are that
    // delivery ourselves.
    if (delivering_ && deliveringThread_ != std::this_thread::get_id()) {
        const uint64_t gen = deliveryGen_;
        deliverCv_.wait(lock, [&] { return !delivering_ || deliveryGen_ != gen; });
    }
    return true;
}

bool CameraState::registerCallback(FrameType type, FrameCallback callback)
{
    if (!isValidFrameType(type) || !callback)
        return false;
    std::lock_guard<std::mutex> lock(m_);
    if (!connected)
        return false;
    auto next = std::make_shared<std::array<std::vector<FrameCallback>, FRAME_TYPE_COUNT>>(*callbacks);
    (*next)[type].push_back(std::move(callback));
    callbacks = std::move(next);
    return true;
}

// --- transport -------------------------------------------------------------------

bool CameraState::start()
{
    std::lock_guard<std::mutex> transport(transportMutex_);
    if (!connected || running || shared()->consume("start"))
        return false;
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join(); // a capture thread that was told to stop from inside a callback
    {
        std::lock_guard<std::mutex> produce(produceMutex_);
        setCounter_ = 0;
    }
    {
        std::lock_guard<std::mutex> lock(runMutex_);
        stopRequested_ = false;
    }
    const bool manual = withLock([&] { return settings.manual; });
    manualRun_ = manual;
    paused = false;
    running = true;
    if (!manual)
        thread_ = std::thread([this] { captureLoop(); });
    return true;
}

void CameraState::stopCapture()
{
    {
        std::lock_guard<std::mutex> lock(runMutex_);
        stopRequested_ = true;
    }
    runCv_.notify_all();
    // Joined later (next start or destruction) when asked from the capture
    // thread itself.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

bool CameraState::stop()
{
    std::lock_guard<std::mutex> transport(transportMutex_);
    if (!connected || !running || shared()->consume("stop"))
        return false;
    stopCapture();
    paused = false;
    running = false;
    return true;
}

bool CameraState::pause()
{
    std::lock_guard<std::mutex> transport(transportMutex_);
    if (!connected || !running || paused || shared()->consume("pause"))
        return false;
    paused = true;
    return true;
}

bool CameraState::resume()
{
    std::lock_guard<std::mutex> transport(transportMutex_);
    if (!connected || !paused || shared()->consume("resume"))
        return false;
    paused = false;
    return true;
}

void CameraState::disconnect()
{
    {
        std::lock_guard<std::mutex> transport(transportMutex_);
        connected = false;
        stopCapture();
        paused = false;
        running = false;
    }
    std::array<std::vector<ChainEntry>, FRAME_TYPE_COUNT> oldChains;
    std::shared_ptr<const std::array<std::vector<FrameCallback>, FRAME_TYPE_COUNT>> oldCallbacks;
    {
        std::lock_guard<std::mutex> lock(m_);
        oldCallbacks =
            std::exchange(callbacks, std::make_shared<std::array<std::vector<FrameCallback>, FRAME_TYPE_COUNT>>());
        oldChains = std::exchange(chains, {});
        taps.clear();
        settings.powerHook = nullptr;
    }
    for (auto& chain : oldChains)
        for (auto& e : chain) {
            std::lock_guard<std::mutex> lock(e.filter->state()->chainMutex);
            e.filter->state()->chain = nullptr;
        }
    triggerCv_.notify_all();
    deliverCv_.notify_all();
    // oldCallbacks are released here, outside every lock: they may hold the
    // last reference to objects whose destructors call back into us.
}

// --- capture ---------------------------------------------------------------------

double CameraState::frameRate()
{
    std::lock_guard<std::mutex> lock(m_);
    if (settings.frameRateOverride > 0.0)
        return settings.frameRateOverride;
    return std::clamp(valueLocked("frame_rate", 30.0), 0.1, 100000.0);
}

CameraProfilePtr CameraState::activeProfile()
{
    std::lock_guard<std::mutex> lock(m_);
    for (const auto& p : model.profiles)
        if (p->id() == profileId)
            return p;
    return nullptr;
}

float CameraState::unambiguousRange()
{
    std::lock_guard<std::mutex> lock(m_);
    return static_cast<float>(rangeLocked());
}

void CameraState::captureLoop()
{
#ifdef __linux__
    pthread_setname_np(pthread_self(), "tavik-capture");
#endif
    using clock = std::chrono::steady_clock;
    try {
        auto next = clock::now();
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(runMutex_);
                runCv_.wait_until(lock, next, [&] { return stopRequested_; });
                if (stopRequested_)
                    return;
            }
            produceAndDeliver(true);
            const auto period =
                std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / frameRate()));
            next += period;
            const auto now = clock::now();
            if (next + period < now)
                next = now; // fell behind: carry on at the rate, no burst
        }
    } catch (const std::exception& e) {
        std::cerr << "Tavik: capture thread stopped: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "Tavik: capture thread stopped" << std::endl;
    }
}

void CameraState::produceAndDeliver(bool fromThread)
{
    SceneSettings scene;
    FilterChains chainCopy;
    int dropPeriod = 0;
    double fps = 30.0;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!connected || (paused && !settings.deliverWhilePaused))
            return;
        CameraProfilePtr prof;
        for (const auto& p : model.profiles)
            if (p->id() == profileId)
                prof = p;
        if (prof) {
            scene.width = prof->width();
            scene.height = prof->height();
            scene.fx = prof->getFloat("calib", "fx");
            scene.fy = prof->getFloat("calib", "fy");
            scene.cx = prof->getFloat("calib", "cx");
            scene.cy = prof->getFloat("calib", "cy");
        }
        scene.range = static_cast<float>(rangeLocked());
        scene.intgTime = static_cast<float>(valueLocked("intg_time", 200.0));
        scene.illumVolt = static_cast<float>(valueLocked("illum_volt", 2.5));
        scene.mixVolt = static_cast<float>(valueLocked("mix_volt", 2.75));
        scene.illumPower = static_cast<int>(valueLocked("illum_power", 2.0));
        scene.depthOffset = static_cast<float>(valueLocked("depth_offset", 0.0) / 1000.0);
        scene.quadCount = static_cast<int>(valueLocked("quad_cnt_max", 4.0));
        scene.subFrameCount =
            static_cast<int>(valueLocked("sub_frame_cnt_max", valueLocked("sub_frame_cnt_max1", 1.0)));
        scene.noiseSeed = settings.seed;
        dropPeriod = settings.idDropPeriod;
        fps = settings.frameRateOverride > 0.0 ? settings.frameRateOverride
                                               : std::max(valueLocked("frame_rate", 30.0), 0.1);
        for (int t = 0; t < FRAME_TYPE_COUNT; ++t)
            for (const auto& e : chains[t])
                chainCopy[t].push_back(e.filter);
    }

    std::lock_guard<std::mutex> produce(produceMutex_);
    ++setCounter_;
    const int64_t id = setCounter_ + (dropPeriod > 0 ? (setCounter_ - 1) / dropPeriod : 0);
    int64_t timestamp;
    if (fromThread || lastTimestamp_ == 0)
        timestamp = std::max(steadyMicros(), lastTimestamp_ + 1);
    else
        timestamp = lastTimestamp_ + std::max<int64_t>(1, static_cast<int64_t>(std::llround(1e6 / fps)));
    lastTimestamp_ = timestamp;
    scene.time = sceneTime_;
    sceneTime_ += 1.0 / fps;

    FrameSet set = renderer_->render(scene, id, timestamp);
    processing_->apply(set, chainCopy, setConstants(scene, id).lens, scene.range);

    std::shared_ptr<const std::array<std::vector<FrameCallback>, FRAME_TYPE_COUNT>> cbs;
    std::vector<FrameSetTap> tapCopy;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!connected)
            return;
        cbs = callbacks;
        for (const auto& t : taps)
            tapCopy.push_back(t.second);
        delivering_ = true;
        deliveringThread_ = std::this_thread::get_id();
        ++deliveryGen_;
    }
    const DepthCameraPtr camera = self.lock();
    // A throwing receiver must neither end the capture thread nor leave the
    // delivery marked as running (clearAllCallbacks would wait for ever).
    auto guarded = [](const auto& call) {
        try {
            call();
        } catch (const std::exception& e) {
            std::cerr << "Tavik: frame callback failed: " << e.what() << std::endl;
        } catch (...) {
            std::cerr << "Tavik: frame callback failed" << std::endl;
        }
    };
    for (int t = 0; t < FRAME_TYPE_COUNT; ++t)
        for (const auto& cb : (*cbs)[t])
            guarded([&] { cb(camera, set[t], t); });
    for (const auto& tap : tapCopy)
        guarded([&] { tap(set); });
    {
        std::lock_guard<std::mutex> lock(m_);
        delivering_ = false;
    }
    deliverCv_.notify_all();
}

bool CameraState::deliverFrameSets(int count)
{
    if (!connected || !running || !manualRun_)
        return false;
    for (int i = 0; i < count; ++i)
        produceAndDeliver(false);
    return true;
}

bool CameraState::setProfile(int id)
{
    std::lock_guard<std::mutex> lock(m_);
    for (const auto& p : model.profiles)
        if (p->id() == id) {
            profileId = id;
            return true;
        }
    return false;
}

int CameraState::addTap(FrameSetTap tap)
{
    std::lock_guard<std::mutex> lock(m_);
    if (!connected)
        return -1;
    const int token = nextTap++;
    taps[token] = std::move(tap);
    return token;
}

void CameraState::removeTap(int token)
{
    std::unique_lock<std::mutex> lock(m_);
    taps.erase(token);
    if (delivering_ && deliveringThread_ != std::this_thread::get_id()) {
        const uint64_t gen = deliveryGen_;
        deliverCv_.wait(lock, [&] { return !delivering_ || deliveryGen_ != gen; });
    }
}

} // namespace Tavik::detail
