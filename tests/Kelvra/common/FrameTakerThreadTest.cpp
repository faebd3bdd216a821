#include "Kelvra/common/FrameTakerThread.h"

#include "Kelvra/common/FrameFeederThread.h"
#include "tests/Kelvra/common/CaptureStream.h"
#include "tests/Kelvra/common/TestFrames.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using Kelvra::FrameDeque;
using Kelvra::FrameTakerThread;
using KelvraTest::frameWithId;
using Tavik::FramePtr;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// What the consumer saw, readable from the test thread.
struct Recorder {
    struct Call {
        int64_t id;
        std::size_t leftInDeque;
        Clock::time_point at;
    };
    mutable std::mutex mutex;
    std::vector<Call> calls;

    void add(const FramePtr& f, std::size_t left)
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back({f ? f->id : -1, left, Clock::now()});
    }
    std::size_t count() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls.size();
    }
    std::vector<Call> snapshot() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
};

} // namespace

TEST(FrameTakerThread, BacklogDrainsOneFramePerPassInArrivalOrder)
{
    FrameDeque deque;
    for (int i = 1; i <= 5; ++i)
        deque.append(frameWithId(i));
    Recorder rec;
    FrameTakerThread taker([&](const FramePtr& f) { rec.add(f, deque.size()); }, deque);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return rec.count() == 5; }));
    taker.stop();

    const auto calls = rec.snapshot();
    ASSERT_EQ(calls.size(), 5u);
    for (std::size_t k = 0; k < calls.size(); ++k) {
        EXPECT_EQ(calls[k].id, static_cast<int64_t>(k + 1));
        EXPECT_EQ(calls[k].leftInDeque, 4 - k); // one frame taken per call
    }
    // Four passes of at least 0.033 s lie between the first and the last call
    // (a lower bound only, which a slow machine cannot break).
    EXPECT_GE(std::chrono::duration<double>(calls.back().at - calls.front().at).count(), 0.1);
}

TEST(FrameTakerThread, TheConsumersTimeIsTakenFromThePass)
{
    for (const double work : {0.020, 0.050}) {
        KelvraTest::ManualClock clock;
        FrameDeque deque;
        for (int i = 1; i <= 3; ++i)
            deque.append(frameWithId(i));
        std::vector<std::size_t> sleepsBefore; // sleeps asked for before each call
        std::atomic<int> calls{0};
        FrameTakerThread taker(
            [&](const FramePtr&) {
                sleepsBefore.push_back(clock.sleeps().size());
                clock.advance(work);
                ++calls;
            },
            deque, clock.passClock());
        ASSERT_TRUE(KelvraTest::waitFor([&] { return calls == 3; }));
        taker.stop();
        const auto sleeps = clock.sleeps();
        std::size_t firstEmptyPass = 0;
        if (work < FrameTakerThread::FRAME_POLL_INTERVAL) {
            // One sleep after each frame, of what the consumer left of the pass.
            EXPECT_EQ(sleepsBefore, (std::vector<std::size_t>{0, 1, 2}));
            ASSERT_GE(sleeps.size(), 3u);
            for (std::size_t k = 0; k < 3; ++k)
                EXPECT_NEAR(sleeps[k], FrameTakerThread::FRAME_POLL_INTERVAL - work, 1e-9) << k;
            firstEmptyPass = 3;
        } else {
            // A consumer longer than the pass: the next pass begins at once.
            EXPECT_EQ(sleepsBefore, (std::vector<std::size_t>{0, 0, 0}));
        }
        // Passes without a frame sleep the whole interval.
        for (std::size_t k = firstEmptyPass; k < sleeps.size(); ++k)
            EXPECT_NEAR(sleeps[k], FrameTakerThread::FRAME_POLL_INTERVAL, 1e-9) << k;
    }
}

TEST(FrameTakerThread, EmptyDequeIsPolledWithoutConsumerCalls)
{
    FrameDeque deque;
    Recorder rec;
    KelvraTest::ManualClock clock;
    FrameTakerThread taker([&](const FramePtr& f) { rec.add(f, 0); }, deque, clock.passClock());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return clock.sleeps().size() >= 3; })); // three passes
    EXPECT_EQ(rec.count(), 0u);
    EXPECT_TRUE(taker.isAlive());
    deque.append(frameWithId(7)); // found by a later poll, nobody signals
    ASSERT_TRUE(KelvraTest::waitFor([&] { return rec.count() == 1; }));
    EXPECT_EQ(rec.snapshot()[0].id, 7);
}

TEST(FrameTakerThread, StopWaitsForTheRunningConsumerCall)
{
    FrameDeque deque;
    deque.append(frameWithId(1));
    std::atomic<bool> inConsumer{false};
    std::atomic<bool> release{false};
    std::atomic<bool> consumerReturned{false};
    FrameTakerThread taker(
        [&](const FramePtr&) {
            inConsumer = true;
            while (!release)
                std::this_thread::sleep_for(1ms);
            consumerReturned = true;
        },
        deque);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return inConsumer.load(); }));
    auto stopped = std::async(std::launch::async, [&] {
        taker.stop();
        return consumerReturned.load();
    });
    EXPECT_EQ(stopped.wait_for(50ms), std::future_status::timeout);
    release = true;
    ASSERT_EQ(stopped.wait_for(KelvraTest::budget(10s)), std::future_status::ready);
    EXPECT_TRUE(stopped.get());
    EXPECT_FALSE(taker.isAlive());
    taker.stop(); // second stop returns at once
}

TEST(FrameTakerThread, FailingConsumerEndsTheThreadAndLeavesLaterFrames)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    deque.append(frameWithId(1));
    deque.append(frameWithId(2));
    FrameTakerThread taker([](const FramePtr&) { throw std::runtime_error("broken frame"); }, deque);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !taker.isAlive(); }));
    EXPECT_EQ(deque.size(), 1u);
    taker.stop();
    EXPECT_EQ(out.text(), "FrameTakerThread consumer failed: broken frame\n");
}

TEST(FrameTakerThread, DestroyedWhileRunningStopsAndJoins)
{
    FrameDeque deque;
    Recorder rec;
    KelvraTest::ThreadEnd thread;
    {
        FrameTakerThread taker(
            [&](const FramePtr& f) {
                thread.watchThisThread();
                rec.add(f, 0);
            },
            deque);
        deque.append(frameWithId(1));
        ASSERT_TRUE(KelvraTest::waitFor([&] { return rec.count() == 1; }));
    }
    // The thread has ended with the object: nothing takes a later frame.
    EXPECT_TRUE(thread.hasEnded());
}

TEST(FrameTakerThread, StopFromTheConsumerEndsTheThreadWithoutSelfJoin)
{
    FrameDeque deque;
    deque.append(frameWithId(1));
    deque.append(frameWithId(2));
    std::atomic<int> calls{0};
    FrameTakerThread* self = nullptr;
    std::atomic<bool> ready{false};
    FrameTakerThread taker(
        [&](const FramePtr&) {
            while (!ready)
                std::this_thread::sleep_for(1ms);
            ++calls;
            self->stop();
        },
        deque);
    self = &taker;
    ready = true;
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !taker.isAlive(); }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(deque.size(), 1u);
}

TEST(FrameTakerThread, FeederToTakerAcrossThreads)
{
    FrameDeque deque;
    Kelvra::FrameFeederThread feeder(deque);
    Recorder rec;
    FrameTakerThread taker([&](const FramePtr& f) { rec.add(f, 0); }, deque);
    std::thread producer([&] {
        for (int i = 1; i <= 8; ++i)
            feeder.produceFunction(nullptr, frameWithId(i), Tavik::FRAME_DEPTH_FRAME);
    });
    producer.join();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return rec.count() == 8; }));
    taker.stop();
    const auto calls = rec.snapshot();
    for (std::size_t k = 0; k < calls.size(); ++k)
        EXPECT_EQ(calls[k].id, static_cast<int64_t>(k + 1));
}
