#pragma once
// A bounded drop-oldest queue of camera frames that never keeps the frame
// handed to put(): it stores a copy, made into a recycled frame from a free
// pool when one is there. Consumers hand each frame back with release() when
// they are done, so in steady state no frame object is made per put.
//
// Frames taken out are uniquely owned: while a consumer holds one, nothing else
// refers to it, so recycling it can never change a frame someone still reads.

#include "Kelvra/models/BoundedQueue.h"
#include "Tavik/Frame.h"

#include <deque>
#include <memory>

namespace Kelvra {

using FrameHandle = std::unique_ptr<Tavik::Frame>;

class FrameRing : public BoundedQueue<FrameHandle, const Tavik::Frame&> {
public:
    explicit FrameRing(std::size_t maxlen = 3);
    ~FrameRing() override;

    // Gives a frame back to the pool; a full pool drops its oldest frame.
    // Notifies nobody. An empty handle is ignored.
    void release(FrameHandle frame);

protected:
    // Copies `frame` into the oldest pooled frame, or into a new one when the
    // pool is empty. The caller keeps `frame` and may change it afterwards.
    void _put(const Tavik::Frame& frame) override;

    std::deque<FrameHandle> availableQueue;
};

} // namespace Kelvra
