#pragma once
// The frame deque that feeder, taker and worker threads share, and the shape
// of the consumers they call. The deque's creator makes it and lends it to the
// threads, keeping it alive until they are stopped.
//
// Producers append at the back and takers take from the front without a common
// lock, so each single append and each single take is atomic by itself.

#include "Tavik/Frame.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace Kelvra {

// Called on the taking thread once per frame taken.
using FrameConsumer = std::function<void(const Tavik::FramePtr& frame)>;

class FrameDeque {
public:
    // Unbounded unless a capacity is given; an append to a full deque then
    // drops the front frame.
    explicit FrameDeque(std::optional<std::size_t> maxlen = std::nullopt)
        : maxlen(maxlen)
    {
    }

    FrameDeque(const FrameDeque&) = delete;
    FrameDeque& operator=(const FrameDeque&) = delete;

    void append(Tavik::FramePtr frame)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (maxlen) {
            if (*maxlen == 0)
                return;
            if (frames.size() >= *maxlen)
                frames.pop_front();
        }
        frames.push_back(std::move(frame));
    }

    // The front item, or nothing when the deque is empty. An item may itself
    // be an empty handle, when one was appended.
    std::optional<Tavik::FramePtr> takeFront()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (frames.empty())
            return std::nullopt;
        std::optional<Tavik::FramePtr> frame(std::move(frames.front()));
        frames.pop_front();
        return frame;
    }

    std::size_t size() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames.size();
    }

private:
    const std::optional<std::size_t> maxlen;
    mutable std::mutex mutex;
    std::deque<Tavik::FramePtr> frames;
};

} // namespace Kelvra
