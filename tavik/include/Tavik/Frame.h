#pragma once
// One frame of any type. A single concrete class with a type tag, so that
// copyTo() works between frames of different types (a recycled frame may have
// held another type before).

#include "Tavik/Common.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tavik {

struct XYZIPoint {
    float x = 0.f; // metres
    float y = 0.f;
    float z = 0.f; // 0 marks an invalid point
    float i = 0.f; // intensity
};

class Frame {
public:
    enum Flag : uint8_t {
        FLAG_SATURATED = 0x01,
        FLAG_LOW_AMPLITUDE = 0x02,
    };

    Frame();
    Frame(const Frame& other);
    Frame& operator=(const Frame& other);
    ~Frame();

    FrameType type = FRAME_RAW_FRAME_UNPROCESSED;
    int64_t id = 0; // frame index, shared by the four frames of a set
    int64_t timestamp = 0; // microseconds
    int width = 0;
    int height = 0;

    // All buffers are row-major, width × height (raw samples: per sub-frame).
    // FRAME_RAW_FRAME_UNPROCESSED
    int subFrameCount = 0;
    std::vector<uint16_t> rawSamples;
    // FRAME_RAW_FRAME_PROCESSED (amplitude also in FRAME_DEPTH_FRAME)
    std::vector<uint16_t> phase; // 0..4095, 4096 counts span the unambiguous range
    std::vector<uint16_t> amplitude;
    std::vector<uint8_t> flags;
    // FRAME_DEPTH_FRAME
    std::vector<float> depth; // metres, 0 where invalid
    // FRAME_XYZI_POINT_CLOUD_FRAME
    std::vector<XYZIPoint> points;

    // A new deep copy.
    FramePtr copy() const;
    // Copies everything, type included, into an existing frame, reusing its
    // buffers' capacity. Always succeeds.
    bool copyTo(Frame& other) const;

    std::size_t payloadBytes() const;

    // Number of Frame objects ever constructed in this process (for tests and
    // benchmarks that check frame objects are recycled).
    static uint64_t constructedCount();

private:
    static std::atomic<uint64_t> s_constructed;
};

} // namespace Tavik
