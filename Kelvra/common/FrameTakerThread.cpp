#include "Kelvra/common/FrameTakerThread.h"

#include "Kelvra/common/Diagnostics.h"

#include <exception>
#include <string>

namespace Kelvra {

FrameTakerThread::FrameTakerThread(FrameConsumer consumer, FrameDeque& queue, PassClock clock)
    : consumer(std::move(consumer))
    , queue(queue)
    , clock(std::move(clock))
    , thread(&FrameTakerThread::run, this)
{
}

FrameTakerThread::~FrameTakerThread()
{
    stop();
    // Still joinable only when destroyed from its own consumer, which the owner
    // must not do; detaching at least spares the process an abort.
    if (thread.joinable())
        thread.detach();
}

void FrameTakerThread::stop()
{
    running = false;
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
}

bool FrameTakerThread::isAlive() const
{
    return alive;
}

void FrameTakerThread::run()
{
    try {
        while (running) {
            const double start = clock.now();
            if (auto frame = queue.takeFront())
                consumer(*frame);
            const double left = FRAME_POLL_INTERVAL - (clock.now() - start);
            if (left > 0)
                clock.sleep(left);
        }
    } catch (const std::exception& e) {
        // A failing consumer ends the thread; later frames stay in the deque.
        diag::printLine(std::string("FrameTakerThread consumer failed: ") + e.what());
    } catch (...) {
        diag::printLine("FrameTakerThread consumer failed");
    }
    alive = false;
}

} // namespace Kelvra
