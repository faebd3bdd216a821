#include "Kelvra/common/WorkerLoopThread.h"

#include "Tavik/Frame.h"
#include "tests/Kelvra/common/CaptureStream.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using NoArgLoop = Kelvra::WorkerLoopThread<>;

} // namespace

TEST(WorkerLoopThread, ConsumerRunsOnTimeoutsWhenNobodyProduces)
{
    std::atomic<int> calls{0};
    std::atomic<bool> onWorker{true};
    const auto owner = std::this_thread::get_id();
    NoArgLoop loop([] {},
                   [&] {
                       ++calls;
                       if (std::this_thread::get_id() == owner)
                           onWorker = false;
                   });
    ASSERT_TRUE(KelvraTest::waitFor([&] { return calls >= 2; }));
    loop.stop();
    EXPECT_TRUE(onWorker);
}

TEST(WorkerLoopThread, IdleConsumerRunsOncePerTimeout)
{
    // A wait longer than the time-out lengthens every gap between two calls,
    // a late wake-up on a busy machine only some: the shortest of many gaps
    // is judged, and half of them must not be much shorter (no spinning).
    constexpr double timeout = 0.05; // seconds
    constexpr int calls = 12;
    std::vector<std::chrono::steady_clock::time_point> times; // the worker's until stop() has joined it
    std::atomic<int> count{0};
    NoArgLoop loop([] {},
                   [&] {
                       times.push_back(std::chrono::steady_clock::now());
                       ++count;
                   },
                   timeout);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return count >= calls; }, 30000));
    loop.stop();
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i)
        gaps.push_back(std::chrono::duration<double>(times[i] - times[i - 1]).count());
    std::sort(gaps.begin(), gaps.end());
    EXPECT_LT(gaps.front(), 4 * timeout);
    EXPECT_GE(gaps[gaps.size() / 2], timeout / 2);
}

TEST(WorkerLoopThread, ProducerGetsTheArgumentsOnTheCallingThreadAndWakesTheConsumer)
{
    using FrameLoop = Kelvra::WorkerLoopThread<const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType>;
    std::vector<int64_t> produced; // guarded by the loop's lock
    std::vector<int64_t> consumed;
    std::thread::id producerThread;
    std::atomic<std::size_t> consumedCount{0};
    FrameLoop loop(
        [&](const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame, Tavik::FrameType type) {
            EXPECT_EQ(camera, nullptr);
            EXPECT_EQ(type, Tavik::FRAME_DEPTH_FRAME);
            produced.push_back(frame->id);
            producerThread = std::this_thread::get_id();
        },
        [&] {
            consumed.insert(consumed.end(), produced.begin(), produced.end());
            produced.clear();
            consumedCount = consumed.size();
        });
    // Installed where a frame callback is expected.
    Tavik::FrameCallback callback = [&](const Tavik::DepthCameraPtr& c, const Tavik::FramePtr& f, Tavik::FrameType t) {
        loop.produceFunction(c, f, t);
    };
    auto frame = std::make_shared<Tavik::Frame>();
    frame->id = 41;
    std::thread caller([&] { callback(nullptr, frame, Tavik::FRAME_DEPTH_FRAME); });
    const auto callerId = caller.get_id();
    caller.join();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return consumedCount > 0; }));
    loop.stop();
    EXPECT_EQ(producerThread, callerId);
    EXPECT_EQ(consumed, std::vector<int64_t>{41});
}

TEST(WorkerLoopThread, ProducerWakesTheWaitingWorkerAtOnce)
{
    // With a time-out far longer than the test waits, only a producer's
    // wake-up reaches the consumer.
    std::atomic<int> produced{0};
    std::atomic<int> consumed{0};
    Kelvra::WorkerLoopThread<> loop([&] { ++produced; }, [&] { ++consumed; }, 20.0);
    // A producer call made before the worker first waits wakes nobody, so
    // produce until one is answered.
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        loop.produceFunction();
        return consumed > 0;
    }));
    for (int round = 0; round < 20; ++round) {
        const int before = consumed;
        loop.produceFunction();
        ASSERT_TRUE(KelvraTest::waitFor([&] { return consumed > before; })) << "round " << round;
    }
    // stop() does not wake the worker: keep producing until it has ended.
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        loop.stop();
        stopped = true;
    });
    EXPECT_TRUE(KelvraTest::waitFor([&] {
        loop.produceFunction();
        return stopped.load();
    }));
    stopper.join();
    EXPECT_GE(produced, 21);
}

TEST(WorkerLoopThread, ProducerAndConsumerCallsNeverOverlap)
{
    int shared = 0; // plain on purpose: only the loop's lock guards it
    int lastSeen = 0;
    bool monotonic = true;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> workerWaits{false};
    auto enter = [&] {
        if (++inside != 1)
            overlapped = true;
    };
    Kelvra::WorkerLoopThread<int> loop(
        [&](int n) {
            enter();
            shared += n;
            --inside;
        },
        [&] {
            enter();
            monotonic = monotonic && shared >= lastSeen;
            lastSeen = shared;
            --inside;
            workerWaits = true;
        });
    // Until the worker has entered its loop, producer calls wake nobody and a
    // stop may end it before any consumer call: wait for its first call.
    ASSERT_TRUE(KelvraTest::waitFor([&] { return workerWaits.load(); }));
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p)
        producers.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                loop.produceFunction(1);
        });
    for (auto& t : producers)
        t.join();
    loop.stop();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(shared, 2000);
    EXPECT_TRUE(monotonic);
    EXPECT_EQ(lastSeen, 2000); // the last consumer call comes after the last producer call
}

TEST(WorkerLoopThread, ConsumerMayProduceOnTheWorkerWithoutDeadlock)
{
    std::atomic<int> produced{0};
    std::thread::id producerThread;
    std::atomic<int> calls{0};
    Kelvra::WorkerLoopThread<int>* self = nullptr;
    std::atomic<bool> ready{false};
    Kelvra::WorkerLoopThread<int> loop(
        [&](int n) {
            produced += n;
            producerThread = std::this_thread::get_id();
        },
        [&] {
            if (ready && calls++ == 0)
                self->produceFunction(3);
        });
    self = &loop;
    ready = true;
    ASSERT_TRUE(KelvraTest::waitFor([&] { return calls >= 1; }));
    loop.stop();
    EXPECT_EQ(produced, 3);
    EXPECT_NE(producerThread, std::this_thread::get_id());
}

TEST(WorkerLoopThread, StopEndsAfterAtMostOneMoreCallAndProducingGoesOn)
{
    std::atomic<int> calls{0};
    std::atomic<int> produced{0};
    KelvraTest::ThreadEnd worker;
    Kelvra::WorkerLoopThread<> loop([&] { ++produced; },
                                    [&] {
                                        worker.watchThisThread();
                                        ++calls;
                                    });
    ASSERT_TRUE(KelvraTest::waitFor([&] { return calls >= 1; }));
    const int before = calls;
    loop.stop();
    EXPECT_TRUE(worker.hasEnded()); // joined: no call can follow
    const int after = calls;
    // One call may be under way when stop clears the flag, and one follows
    // the wait that was running.
    EXPECT_LE(after - before, 2);
    loop.stop(); // nothing left to join
    loop.produceFunction();
    EXPECT_EQ(produced, 1);
    EXPECT_EQ(calls, after);
}

TEST(WorkerLoopThread, FailingProducerPassesItsFailureOnAndFreesTheLock)
{
    std::atomic<int> calls{0};
    Kelvra::WorkerLoopThread<bool> loop(
        [](bool fail) {
            if (fail)
                throw std::runtime_error("producer");
        },
        [&] { ++calls; });
    EXPECT_THROW(loop.produceFunction(true), std::runtime_error);
    std::thread other([&] { loop.produceFunction(false); }); // would block on a held lock
    other.join();
    const int seen = calls;
    ASSERT_TRUE(KelvraTest::waitFor([&] { return calls > seen; }));
    loop.stop();
}

TEST(WorkerLoopThread, FailingConsumerEndsTheWorker)
{
    KelvraTest::CaptureStream out;
    std::atomic<int> calls{0};
    Kelvra::WorkerLoopThread<> loop([] {},
                                    [&] {
                                        ++calls;
                                        throw std::runtime_error("consumer");
                                    });
    ASSERT_TRUE(KelvraTest::waitFor([&] { return out.text().size() > 0; }));
    loop.produceFunction(); // the lock is free again
    loop.stop();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(out.text(), "WorkerLoopThread consumer failed: consumer\n");
}

TEST(WorkerLoopThread, DestroyedWhileRunningJoinsTheWorker)
{
    std::atomic<int> calls{0};
    KelvraTest::ThreadEnd worker;
    {
        Kelvra::WorkerLoopThread<> loop([] {},
                                        [&] {
                                            worker.watchThisThread();
                                            ++calls;
                                        });
        loop.produceFunction();
        ASSERT_TRUE(KelvraTest::waitFor([&] { return calls >= 1; }));
    }
    EXPECT_TRUE(worker.hasEnded());
}

TEST(WorkerLoopThread, StopFromTheConsumerEndsTheWorker)
{
    std::atomic<int> calls{0};
    std::atomic<bool> stoppedItself{false};
    std::atomic<Kelvra::WorkerLoopThread<>*> self{nullptr};
    KelvraTest::ThreadEnd worker;
    Kelvra::WorkerLoopThread<> loop([] {},
                                    [&] {
                                        worker.watchThisThread();
                                        ++calls;
                                        if (auto* s = self.load()) {
                                            s->stop();
                                            stoppedItself = true;
                                        }
                                    });
    self = &loop;
    loop.produceFunction();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return stoppedItself.load(); }));
    const int after = calls;
    // The thread ends by itself after that call.
    ASSERT_TRUE(KelvraTest::waitFor([&] { return worker.hasEnded(); }));
    EXPECT_EQ(calls, after);
    loop.stop();
}
