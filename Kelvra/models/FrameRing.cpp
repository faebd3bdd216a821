#include "Kelvra/models/FrameRing.h"

namespace Kelvra {

FrameRing::FrameRing(std::size_t maxlen)
    : BoundedQueue(maxlen)
{
}

FrameRing::~FrameRing() = default;

void FrameRing::_put(const Tavik::Frame& frame)
{
    if (maxlen == 0)
        return; // would be dropped at once
    FrameHandle target;
    if (availableQueue.empty()) {
        target = std::make_unique<Tavik::Frame>(frame);
    } else {
        // Out of the pool before copying: if the copy fails, the frame is not
        // put back half-written.
        target = std::move(availableQueue.front());
        availableQueue.pop_front();
        frame.copyTo(*target);
    }
    append(queue, std::move(target));
}

void FrameRing::release(FrameHandle frame)
{
    if (!frame)
        return;
    Lock lock(mutex);
    append(availableQueue, std::move(frame));
}

} // namespace Kelvra
