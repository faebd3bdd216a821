#pragma once
// Couples a producer callback with a consumer thread. Any thread may call
// produceFunction(args...): it runs the producer with those arguments under the
// lock and wakes the worker, which calls the consumer after every wake-up and
// at least every CONSUMER_WAIT_TIMEOUT when nobody wakes it. Producer and
// consumer calls never overlap. Nothing is passed from one to the other: they
// share state of their creator's, this class only serialises them.
//
// Args are the producer's parameter types, so produceFunction can stand where
// a callback of that shape is expected (a frame callback, for example).

#include "Kelvra/common/Diagnostics.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace Kelvra {

template <class... Args> class WorkerLoopThread {
public:
    static constexpr double CONSUMER_WAIT_TIMEOUT = 0.25; // seconds

    using Producer = std::function<void(Args...)>;
    using Consumer = std::function<void()>;

    // Starts the worker. Both callables must stay usable until stop() has
    // returned. `consumerWaitTimeout` (seconds) bounds each wait of the worker.
    WorkerLoopThread(Producer producer, Consumer consumer, double consumerWaitTimeout = CONSUMER_WAIT_TIMEOUT)
        : producer(std::move(producer))
        , consumer(std::move(consumer))
        , timeout(consumerWaitTimeout)
        , thread(&WorkerLoopThread::consumeFunction, this)
    {
    }

    // Stops and joins the worker when it still runs. Not to be destroyed from
    // the consumer.
    ~WorkerLoopThread()
    {
        stop();
        if (thread.joinable())
            thread.detach(); // only when destroyed from the worker itself
    }

    WorkerLoopThread(const WorkerLoopThread&) = delete;
    WorkerLoopThread& operator=(const WorkerLoopThread&) = delete;

    // Runs the producer on the calling thread while the worker waits, then
    // wakes it. A failing producer passes its failure on and wakes nobody; the
    // lock is given back either way. The consumer may call this itself.
    void produceFunction(Args... args)
    {
        std::unique_lock<std::recursive_mutex> lock(mutex);
        producer(std::forward<Args>(args)...);
        condition.notify_one();
    }

    // Clears the flag, without the lock and without a notify, and waits for
    // the worker, which ends after its current wait and one more consumer
    // call. From the consumer it only clears the flag.
    void stop()
    {
        running = false;
        if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
            thread.join();
    }

private:
    void consumeFunction()
    {
        std::unique_lock<std::recursive_mutex> lock(mutex);
        try {
            while (running) {
                condition.wait_for(lock, timeout); // notify or time-out alike
                consumer();
            }
        } catch (const std::exception& e) {
            diag::printLine(std::string("WorkerLoopThread consumer failed: ") + e.what());
        } catch (...) {
            diag::printLine("WorkerLoopThread consumer failed");
        }
    }

    Producer producer;
    Consumer consumer;
    const std::chrono::duration<double> timeout;
    std::atomic<bool> running{true};
    // Recursive, so the consumer may call produceFunction on the worker.
    std::recursive_mutex mutex;
    std::condition_variable_any condition;
    std::thread thread; // last: starts once every field is set
};

} // namespace Kelvra
