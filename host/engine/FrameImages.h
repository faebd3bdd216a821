#pragma once
// One converted frame set as the data engine publishes it: the images of the
// raw processed frame and of the depth frame, indexed [x][y] (rows = x), and
// the point cloud. Nothing in it refers to an SDK frame object.

#include "Tavik/Frame.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

struct FrameImages {
    int64_t id = -1; // frame index of the set (of its depth frame, as the timestamp)
    uint64_t generation = 0; // FrameSetWorker::discard() before its frames came
    int64_t timestamp = 0; // microseconds
    int width = 0; // of the depth frame; 0 when the set had none
    int height = 0;
    bool hasDepth = false; // the set's depth frame was converted (it may hold no pixels)
    bool hasRaw = false; // likewise its raw processed frame (amplitude and phase)
    // CV_32F, width rows × height columns; empty when the frame was missing
    // or its buffer did not match its size.
    cv::Mat amplitude;
    cv::Mat phase;
    cv::Mat depth; // metres
    std::vector<Tavik::XYZIPoint> points;
    // While no point-cloud view is shown the cloud is not converted: the
    // engine's own copy of the set's point-cloud frame stands in for
    // `points` (which stay empty), for a view shown later to draw from.
    std::shared_ptr<const Tavik::Frame> cloud;

    // The set's points, converted or not.
    const std::vector<Tavik::XYZIPoint>& cloudPoints() const { return cloud ? cloud->points : points; }
};

using FrameImagesPtr = std::shared_ptr<const FrameImages>;

namespace FrameConversion {

// A row-major width × height buffer as a CV_32F image indexed [x][y]; empty
// when the buffer holds fewer or more values than the size says.
cv::Mat toImage(const std::vector<uint16_t>& values, int width, int height);
cv::Mat toImage(const std::vector<float>& values, int width, int height);

// Fills the part of `images` that a frame of this type carries; frames of
// other types (raw unprocessed) add nothing. Returns false when the frame
// added nothing. A depth frame of no pixels (0 wide or high, no values) is
// still the set's depth frame: the set is shown, with empty images.
bool addFrame(FrameImages& images, const Tavik::Frame& frame);

} // namespace FrameConversion
