#pragma once
// A Qt thread that drains a shared frame deque into a consumer at a fixed pace:
// every FRAME_POLL_INTERVAL it takes at most one frame and hands it over, with
// a mutex held that the creator shares with the producer side. It starts in
// its constructor and prints its name in every diagnostic line.

#include "Kelvra/common/FrameDeque.h"

#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>

namespace Kelvra {

class FrameWorkerThread : public QThread {
public:
    static constexpr double FRAME_POLL_INTERVAL = 0.033; // seconds slept per pass

    // The deque, the mutex and the consumer are lent; the creator keeps them
    // alive until stop() has returned (or the object is destroyed).
    FrameWorkerThread(FrameConsumer consumer, FrameDeque& queue, QMutex& mutex, const QString& name);
    // Stops and waits for the thread when it still runs.
    ~FrameWorkerThread() override;

    // Ends the pass loop and waits until run() has returned. Not from the
    // consumer: there it only clears the flag (the mutex is already held and
    // the thread cannot wait for itself).
    void stop();

protected:
    void run() override;

private:
    FrameDeque& queue;
    std::atomic<bool> running{true};
    QMutex& mutex;
    FrameConsumer consumer;
    bool init = true; // until the first frame is delivered; guarded by mutex
    const QString name;
};

} // namespace Kelvra
