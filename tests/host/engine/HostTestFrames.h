#pragma once
// Frames with values that tell pixels apart, for the host's engine tests.
// Buffers are row-major: index = y * width + x.

#include "Tavik/Frame.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace HostTest {

inline float depthAt(int x, int y)
{
    return 0.5f + 0.25f * x + 0.01f * y;
}
inline uint16_t amplitudeAt(int x, int y)
{
    return static_cast<uint16_t>(100 * x + y);
}
inline uint16_t phaseAt(int x, int y)
{
    return static_cast<uint16_t>(1000 + 10 * y + x);
}

inline Tavik::FramePtr makeFrame(Tavik::FrameType type, int64_t id, int width, int height)
{
    auto f = std::make_shared<Tavik::Frame>();
    f->type = type;
    f->id = id;
    f->timestamp = id * 33333;
    f->width = width;
    f->height = height;
    const std::size_t n = static_cast<std::size_t>(width) * height;
    switch (type) {
    case Tavik::FRAME_RAW_FRAME_UNPROCESSED:
        f->subFrameCount = 4;
        f->rawSamples.assign(n * 4, 7);
        break;
    case Tavik::FRAME_RAW_FRAME_PROCESSED:
        f->amplitude.resize(n);
        f->phase.resize(n);
        f->flags.assign(n, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                f->amplitude[y * width + x] = amplitudeAt(x, y);
                f->phase[y * width + x] = phaseAt(x, y);
            }
        break;
    case Tavik::FRAME_DEPTH_FRAME:
        f->depth.resize(n);
        f->amplitude.resize(n);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                f->depth[y * width + x] = depthAt(x, y);
        break;
    case Tavik::FRAME_XYZI_POINT_CLOUD_FRAME:
        f->points.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            f->points[i] = {0.001f * i, 0.f, 1.f + 0.001f * i, 50.f};
        break;
    }
    return f;
}

// The four frames of one set, in delivery order.
inline std::array<Tavik::FramePtr, Tavik::FRAME_TYPE_COUNT> makeSet(int64_t id, int width = 4, int height = 3)
{
    std::array<Tavik::FramePtr, Tavik::FRAME_TYPE_COUNT> set;
    for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
        set[t] = makeFrame(t, id, width, height);
    return set;
}

// A conversion hook that holds the hand-off worker on the first frame of
// one id and type it takes, until release() or the end of the Hold (declare
// it after the worker or engine it holds, so that it ends first).
class Hold {
public:
    Hold(int64_t id, Tavik::FrameType type)
        : state(std::make_shared<State>(id, type))
    {
    }
    ~Hold() { release(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

    // The worker's copy keeps the state for as long as it may wait on it.
    std::function<void(const Tavik::Frame&)> hook()
    {
        return [state = state](const Tavik::Frame& frame) {
            std::unique_lock<std::mutex> lock(state->mutex);
            ++state->taken;
            if (frame.id != state->id || frame.type != state->type || state->reached)
                return;
            state->reached = true;
            state->changed.wait(lock, [&] { return state->released; });
        };
    }
    // Whether the worker holds now (or held before).
    bool isReached() const
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        return state->reached;
    }
    int framesTaken() const
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        return state->taken;
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->released = true;
        state->changed.notify_all();
    }

private:
    struct State {
        State(int64_t id, Tavik::FrameType type)
            : id(id)
            , type(type)
        {
        }
        const int64_t id;
        const Tavik::FrameType type;
        std::mutex mutex;
        std::condition_variable changed;
        bool reached = false;
        bool released = false;
        int taken = 0;
    };
    std::shared_ptr<State> state;
};

} // namespace HostTest
