#pragma once
// The producer half of a frame hand-off: produceFunction has the frame
// callback's shape and appends every frame it is given to a shared deque,
// from which a FrameTakerThread or a FrameWorkerThread takes them.
//
// The feeder runs on its callers' threads (the camera's callback thread, a
// recording's playback thread); it starts no thread of its own.

#include "Kelvra/common/FrameDeque.h"
#include "Tavik/Common.h"

namespace Kelvra {

class FrameFeederThread {
public:
    // `queue` is lent: it must outlive the feeder.
    explicit FrameFeederThread(FrameDeque& queue);

    // Appends the very frame object, no copy; the camera hands out a fresh
    // frame per delivery, so it is never overwritten behind the deque's back.
    // `depthCamera` (empty for file playback) and `type` are not used.
    void produceFunction(const Tavik::DepthCameraPtr& depthCamera, const Tavik::FramePtr& frame, Tavik::FrameType type);

    // Nothing to wait for: the feeder has no thread that runs. Returns at once;
    // produceFunction still works afterwards.
    void stop();

private:
    FrameDeque& queue;
};

} // namespace Kelvra
