#pragma once
// A connected (simulated) time-of-flight camera. A disconnected camera stays a
// valid object that refuses every call (false, ok false) and never crashes.

#include "Tavik/Common.h"
#include "Tavik/Parameter.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Tavik {

namespace detail {
struct CameraState;
}

// A camera profile: frame size and lens calibration.
class CameraProfile {
public:
    CameraProfile(int id, int width, int height, float fx, float fy, float cx, float cy);
    // Only the calibration keys given ("fx", "fy", "cx", "cy").
    CameraProfile(int id, int width, int height, std::map<std::string, float> calib);
    int id() const { return id_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Section "calib", keys "fx", "fy", "cx", "cy" (pixels); 0.0 for a
    // missing section or key.
    float getFloat(const std::string& section, const std::string& key) const;
    // Whether the profile holds that value (a 0.0 read may be a real one).
    bool hasFloat(const std::string& section, const std::string& key) const;

private:
    int id_;
    int width_;
    int height_;
    std::map<std::string, float> calib_;
};
using CameraProfilePtr = std::shared_ptr<CameraProfile>;

// The camera's profile store, a data member of the camera.
class ConfigFile {
public:
    explicit ConfigFile(detail::CameraState* camera)
        : camera_(camera)
    {
    }
    // The profile of that id, or an empty handle for an unknown id.
    CameraProfilePtr getCameraProfile(int id) const;

private:
    detail::CameraState* camera_;
};

enum class TriggerResult {
    False, // the camera answered false
    True, // the camera answered true
    Unsupported, // the camera has no trigger function of that name
    Error, // the call failed in another way
};

class DepthCamera : public ParameterEngine,
                    public StreamParamProvider,
                    public std::enable_shared_from_this<DepthCamera> {
public:
    static constexpr FrameType FRAME_RAW_FRAME_UNPROCESSED = Tavik::FRAME_RAW_FRAME_UNPROCESSED;
    static constexpr FrameType FRAME_RAW_FRAME_PROCESSED = Tavik::FRAME_RAW_FRAME_PROCESSED;
    static constexpr FrameType FRAME_DEPTH_FRAME = Tavik::FRAME_DEPTH_FRAME;
    static constexpr FrameType FRAME_XYZI_POINT_CLOUD_FRAME = Tavik::FRAME_XYZI_POINT_CLOUD_FRAME;
    static constexpr int FRAME_TYPE_COUNT = Tavik::FRAME_TYPE_COUNT;

    explicit DepthCamera(std::shared_ptr<detail::CameraState> state);
    ~DepthCamera() override;
    DepthCamera(const DepthCamera&) = delete;
    DepthCamera& operator=(const DepthCamera&) = delete;

    // Frame callbacks. Safe against a delivery in progress on the capture thread.
    bool clearAllCallbacks();
    bool registerCallback(FrameType type, FrameCallback callback);

    // Transport. start() launches one capture thread at "frame_rate"; stop()
    // joins it (never call it from inside a frame callback).
    bool start();
    bool stop();
    bool pause();
    bool resume();
    bool isRunning() const;
    bool isPaused() const; // may be called from inside a frame callback

    // "depthScalingFactor" (metres per phase count), "amplitudeScalingFactor".
    Result<float> getStreamParamf(const std::string& name) const override;
    // A numeric parameter read as float, e.g. "unambiguous_range".
    Result<float> getf(const std::string& name) const;
    // The parameter of that name, or an empty handle (every typeCast false).
    ParameterPtr getParam(const std::string& name) const;

    Result<int32_t> seti(const std::string& name, int32_t value) override;
    Result<bool> setb(const std::string& name, bool value) override;
    Result<uint32_t> setu(const std::string& name, uint32_t value) override;
    Result<float> setf(const std::string& name, float value) override;

    std::string chipset() const;
    // Camera type text, e.g. "Quenta14Camera".
    std::string cameraType() const;
    std::string id() const;
    bool isConnected() const;

    // Filter chain of one frame type. addFilter returns the filter's index,
    // which keeps naming that filter while it stays in the chain (indexes are
    // never renumbered or reused), or a negative value when not added, with
    // the reason in `why` when given (a chain holds at most 4 filters).
    int addFilter(const FilterPtr& filter, FrameType type, int beforeFilterIndex = -1, std::string* why = nullptr);
    bool removeFilter(int filterIndex, FrameType type);
    struct ChainedFilter {
        int index; // as addFilter returned it
        FilterPtr filter;
    };
    // The chain of one frame type in the order frames pass it; empty for a
    // disconnected camera or a value that is no frame type.
    std::vector<ChainedFilter> getFilterChain(FrameType type) const;

    int getCurrentCameraProfileID() const;
    ConfigFile configFile;

    // Trigger functions; false also when the camera lacks that function.
    bool triggerFunction1(const std::string& a, const std::string& b);
    bool triggerFunction2(const std::string& a, const std::string& b);
    bool triggerFunction3(const std::string& a, const std::string& b);
    bool triggerFunction4(const std::string& a, const std::string& b);
    bool triggerFunction5(const std::string& a, const std::string& b);
    bool triggerFunction6(const std::string& a, const std::string& b);
    bool triggerFunction7(const std::string& a, const std::string& b);
    bool triggerFunction8(const std::string& a, const std::string& b);
    bool triggerFunction9(const std::string& a, const std::string& b);
    // By-name call ("triggerFunction1" ... "triggerFunction9"), telling a
    // missing function and a failed call apart; `why` gets the reason of an
    // Error. Safe from several threads.
    TriggerResult callTrigger(const std::string& functionName, const std::string& a, const std::string& b,
                              std::string* why = nullptr);

    // Implementation access.
    const std::shared_ptr<detail::CameraState>& state() const { return d_; }

private:
    std::shared_ptr<detail::CameraState> d_;
};

} // namespace Tavik
