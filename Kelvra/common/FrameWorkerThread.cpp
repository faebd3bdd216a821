#include "Kelvra/common/FrameWorkerThread.h"

#include "Kelvra/common/Diagnostics.h"

#include <QMutexLocker>

#include <chrono>
#include <exception>
#include <thread>

namespace Kelvra {

using diag::printLine;
using diag::printTuple;

FrameWorkerThread::FrameWorkerThread(FrameConsumer consumer, FrameDeque& queue, QMutex& mutex, const QString& name)
    : QThread(nullptr)
    , queue(queue)
    , mutex(mutex)
    , consumer(std::move(consumer))
    , name(name) // init and name are set before the thread starts
{
    start();
    printTuple(" FrameWorkerThread ", name, " init ");
}

FrameWorkerThread::~FrameWorkerThread()
{
    if (isRunning() && QThread::currentThread() != this)
        stop();
}

void FrameWorkerThread::run()
{
    const auto interval = std::chrono::duration<double>(FRAME_POLL_INTERVAL);
    try {
        while (running) {
            std::this_thread::sleep_for(interval);
            QMutexLocker lock(&mutex);
            auto item = queue.takeFront();
            if (!item || !*item)
                continue; // empty deque, or a null item dropped
            // The first frame is delivered even when stop came after the loop
            // test; later ones only while still running.
            if (init) {
                consumer(*item);
                init = false;
            } else if (running) {
                consumer(*item);
            }
        }
    } catch (const std::exception& e) {
        // The locker has given the mutex back; stop() still ends the thread.
        printLine(name + " consumer failed: " + QString::fromUtf8(e.what()));
    } catch (...) {
        printLine(name + " consumer failed");
    }
    printLine(name + " Thread quit begin  ");
    quit();
}

void FrameWorkerThread::stop()
{
    if (QThread::currentThread() == this) {
        running = false;
        return;
    }
    {
        QMutexLocker lock(&mutex);
        printTuple(name, "stop Thread running : ", running.load());
        running = false;
    }
    printLine(name + "stop Thread stop begin  ======");
    quit();
    printLine(name + "stop Thread wait begin 1 ==== ");
    wait();
    printLine(name + "stop Thread stop end 2 ====");
}

} // namespace Kelvra
