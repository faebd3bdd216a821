#include "Tavik/Frame.h"

namespace Tavik {

std::atomic<uint64_t> Frame::s_constructed{0};

Frame::Frame()
{
    s_constructed.fetch_add(1, std::memory_order_relaxed);
}

Frame::Frame(const Frame& other)
{
    s_constructed.fetch_add(1, std::memory_order_relaxed);
    other.copyTo(*this);
}

Frame& Frame::operator=(const Frame& other)
{
    if (this != &other)
        other.copyTo(*this);
    return *this;
}

Frame::~Frame() = default;

FramePtr Frame::copy() const
{
    return std::make_shared<Frame>(*this);
}

bool Frame::copyTo(Frame& other) const
{
    if (&other == this)
        return true;
    other.type = type;
    other.id = id;
    other.timestamp = timestamp;
    other.width = width;
    other.height = height;
    other.subFrameCount = subFrameCount;
    // vector::assign keeps the target's capacity: no allocation once warm.
    other.rawSamples.assign(rawSamples.begin(), rawSamples.end());
    other.phase.assign(phase.begin(), phase.end());
    other.amplitude.assign(amplitude.begin(), amplitude.end());
    other.flags.assign(flags.begin(), flags.end());
    other.depth.assign(depth.begin(), depth.end());
    other.points.assign(points.begin(), points.end());
    return true;
}

std::size_t Frame::payloadBytes() const
{
    return rawSamples.size() * sizeof(uint16_t) + phase.size() * sizeof(uint16_t) + amplitude.size() * sizeof(uint16_t)
        + flags.size() + depth.size() * sizeof(float) + points.size() * sizeof(XYZIPoint);
}

uint64_t Frame::constructedCount()
{
    return s_constructed.load(std::memory_order_relaxed);
}

} // namespace Tavik
