#include "Kelvra/common/FrameTakerThread.h"

#include "Kelvra/common/Diagnostics.h"

#include <chrono>
#include <exception>
#include <string>

namespace Kelvra {

FrameTakerThread::FrameTakerThread(FrameConsumer consumer, FrameDeque& queue)
    : consumer(std::move(consumer))
    , queue(queue)
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

bool FrameTakerThread::isAlive() const { return alive; }

void FrameTakerThread::run()
{
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::duration<double>(FRAME_POLL_INTERVAL);
    try {
        while (running) {
            const auto start = Clock::now();
            if (auto frame = queue.takeFront())
                consumer(*frame);
            const auto left = interval - (Clock::now() - start);
            if (left.count() > 0)
                std::this_thread::sleep_for(left);
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
