#include "host/engine/FrameImages.h"

namespace FrameConversion {

namespace {

template <class T>
cv::Mat transposed(const std::vector<T>& values, int width, int height, int cvType)
{
    if (width <= 0 || height <= 0 || values.size() != static_cast<std::size_t>(width) * height)
        return {};
    // The buffer is row-major (height rows of width); the image wants x first.
    const cv::Mat rowMajor(height, width, cvType, const_cast<T*>(values.data()));
    cv::Mat xFirst;
    cv::transpose(rowMajor, xFirst);
    if (xFirst.type() != CV_32F) {
        cv::Mat asFloat;
        xFirst.convertTo(asFloat, CV_32F);
        return asFloat;
    }
    return xFirst;
}

} // namespace

cv::Mat toImage(const std::vector<uint16_t>& values, int width, int height)
{
    return transposed(values, width, height, CV_16U);
}

cv::Mat toImage(const std::vector<float>& values, int width, int height)
{
    return transposed(values, width, height, CV_32F);
}

bool addFrame(FrameImages& images, const Tavik::Frame& frame)
{
    switch (frame.type) {
    case Tavik::FRAME_RAW_FRAME_PROCESSED:
        images.amplitude = toImage(frame.amplitude, frame.width, frame.height);
        images.phase = toImage(frame.phase, frame.width, frame.height);
        return !images.amplitude.empty() || !images.phase.empty();
    case Tavik::FRAME_DEPTH_FRAME: {
        images.depth = toImage(frame.depth, frame.width, frame.height);
        const bool noPixels =
            frame.width >= 0 && frame.height >= 0 && frame.depth.empty() && (frame.width == 0 || frame.height == 0);
        if (images.depth.empty() && !noPixels)
            return false;
        images.hasDepth = true;
        images.width = frame.width;
        images.height = frame.height;
        images.timestamp = frame.timestamp;
        return true;
    }
    case Tavik::FRAME_XYZI_POINT_CLOUD_FRAME:
        images.points = frame.points;
        return true;
    default:
        return false;
    }
}

} // namespace FrameConversion
