#pragma once
// Basic types of the camera SDK: results, frame types, log levels, handles.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Tavik {

// Result of a read or a typed write: ok false means refused or unreadable.
// A failed read carries the zero of its kind, so callers that ignore ok see a
// defined value.
template <class T> struct Result {
    bool ok = false;
    T value{};
};

// Frame types, always handled in this order; usable as indexes of per-type tables.
using FrameType = int;
constexpr FrameType FRAME_RAW_FRAME_UNPROCESSED = 0;
constexpr FrameType FRAME_RAW_FRAME_PROCESSED = 1;
constexpr FrameType FRAME_DEPTH_FRAME = 2;
constexpr FrameType FRAME_XYZI_POINT_CLOUD_FRAME = 3;
constexpr int FRAME_TYPE_COUNT = 4;

inline bool isValidFrameType(FrameType type)
{
    return type >= 0 && type < FRAME_TYPE_COUNT;
}

// Log levels; a level value equals its index in a level list.
enum LogLevel : int {
    LOG_CRITICAL = 0,
    LOG_ERROR = 1,
    LOG_WARNING = 2,
    LOG_INFO = 3,
    LOG_DEBUG = 4,
};

class CameraDevice;
class CameraSystem;
class DepthCamera;
class Filter;
class Frame;
class Parameter;

using CameraDevicePtr = std::shared_ptr<CameraDevice>;
using DepthCameraPtr = std::shared_ptr<DepthCamera>;
using FilterPtr = std::shared_ptr<Filter>;
using FramePtr = std::shared_ptr<Frame>;
using ParameterPtr = std::shared_ptr<Parameter>;

// Called by the camera on its capture thread for every frame of a registered
// type; a recorded-stream player calls the same shape with no camera.
using FrameCallback = std::function<void(const DepthCameraPtr& camera, const FramePtr& frame, FrameType type)>;

// Anything that answers stream parameters ("depthScalingFactor",
// "amplitudeScalingFactor"): a camera or a recorded-stream reader.
class StreamParamProvider {
public:
    virtual ~StreamParamProvider() = default;
    virtual Result<float> getStreamParamf(const std::string& name) const = 0;
};

} // namespace Tavik
