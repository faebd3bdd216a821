#pragma once
// The consumer half of a frame hand-off: a thread of its own, started by the
// constructor, that takes at most one frame from the front of a shared deque
// per pass of FRAME_POLL_INTERVAL and hands it to its consumer. The consumer's
// own time is subtracted from the pass, so frames flow at about 30 per second;
// a backlog drains one frame per pass, nothing is dropped.

#include "Kelvra/common/FrameDeque.h"
#include "Kelvra/common/PassClock.h"

#include <atomic>
#include <thread>

namespace Kelvra {

class FrameTakerThread {
public:
    static constexpr double FRAME_POLL_INTERVAL = 0.033; // seconds per pass

    // `queue` is lent and `consumer` is called on this thread: both must stay
    // usable until stop() has returned. `clock` times and sleeps the passes.
    FrameTakerThread(FrameConsumer consumer, FrameDeque& queue, PassClock clock = PassClock());
    // Stops and joins the thread when it still runs. Not to be destroyed from
    // its own consumer.
    ~FrameTakerThread();

    FrameTakerThread(const FrameTakerThread&) = delete;
    FrameTakerThread& operator=(const FrameTakerThread&) = delete;

    // Ends the loop at the top of the next pass (after the current consumer
    // call and the rest of the pass) and waits for the thread. Called from the
    // consumer it only clears the flag, since the thread cannot wait for itself.
    void stop();

    // True from the constructor until the thread body has returned (at stop,
    // or when the consumer failed).
    bool isAlive() const;

private:
    void run();

    FrameConsumer consumer;
    FrameDeque& queue;
    const PassClock clock;
    std::atomic<bool> running{true};
    std::atomic<bool> alive{true};
    std::thread thread; // last: started once every field is set
};

} // namespace Kelvra
