#include "Kelvra/common/FrameWorkerThread.h"

#include "tests/Kelvra/common/CaptureStream.h"
#include "tests/Kelvra/common/TestFrames.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using Kelvra::FrameDeque;
using Kelvra::FrameWorkerThread;
using KelvraTest::frameWithId;
using Tavik::FramePtr;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::ptrdiff_t indexOf(const std::vector<std::string>& v, const std::string& line)
{
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i] == line)
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

// Ids the consumer received, with the deque's size at each call and when.
struct Seen {
    std::mutex mutex;
    std::vector<std::pair<int64_t, std::size_t>> calls;
    std::vector<std::chrono::steady_clock::time_point> at;
    void add(const FramePtr& f, std::size_t left)
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.emplace_back(f->id, left);
        at.push_back(std::chrono::steady_clock::now());
    }
    std::size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls.size();
    }
};

} // namespace

TEST(FrameWorkerThread, PrintsItsLinesAtConstructionAndStop)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    QMutex mutex;
    {
        FrameWorkerThread worker([](const FramePtr&) {}, deque, mutex, "cam");
        worker.stop();
        EXPECT_TRUE(worker.isFinished());
        const auto got = lines(out.text());
        ASSERT_EQ(got.size(), 6u);
        EXPECT_EQ(got[0], "(' FrameWorkerThread ', 'cam', ' init ')");
        EXPECT_EQ(got[1], "('cam', 'stop Thread running : ', True)");
        EXPECT_EQ(got[5], "camstop Thread stop end 2 ====");
        // The thread's own line falls somewhere between these two.
        const auto quit = indexOf(got, "cam Thread quit begin  ");
        const auto stopBegin = indexOf(got, "camstop Thread stop begin  ======");
        const auto waitBegin = indexOf(got, "camstop Thread wait begin 1 ==== ");
        EXPECT_GT(quit, 1);
        EXPECT_GT(stopBegin, 1);
        EXPECT_GT(waitBegin, stopBegin);
        EXPECT_LT(quit, 5);

        worker.stop(); // a second stop: the flag is now False, nothing to wait for
        const auto again = lines(out.text());
        ASSERT_EQ(again.size(), 10u);
        EXPECT_EQ(again[6], "('cam', 'stop Thread running : ', False)");
        EXPECT_EQ(again[9], "camstop Thread stop end 2 ====");
    }
    EXPECT_EQ(lines(out.text()).size(), 10u); // destroying a stopped worker prints nothing
}

TEST(FrameWorkerThread, DeliversOneFramePerPassOldestFirstAndDropsNulls)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    deque.append(nullptr);
    for (int i = 1; i <= 6; ++i)
        deque.append(frameWithId(i));
    QMutex mutex;
    Seen seen;
    FrameWorkerThread worker([&](const FramePtr& f) { seen.add(f, deque.size()); }, deque, mutex, "w");
    ASSERT_TRUE(KelvraTest::waitFor([&] { return seen.count() == 6; }));
    worker.stop();
    ASSERT_EQ(seen.calls.size(), 6u);
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(seen.calls[k].first, static_cast<int64_t>(k + 1));
        EXPECT_EQ(seen.calls[k].second, 5 - k);
    }
    // Each pass sleeps its whole 33 ms first, so five passes lie between the
    // first and the last call (a lower bound, which load cannot break).
    EXPECT_GE(std::chrono::duration<double>(seen.at.back() - seen.at.front()).count(), 5 * 0.033);
}

TEST(FrameWorkerThread, ConsumerRunsWithTheSharedMutexHeld)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    QMutex mutex;
    std::atomic<bool> inConsumer{false};
    std::atomic<bool> release{false};
    FrameWorkerThread worker(
        [&](const FramePtr&) {
            inConsumer = true;
            while (!release)
                std::this_thread::sleep_for(1ms);
        },
        deque, mutex, "m");
    deque.append(frameWithId(1));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return inConsumer.load(); }));
    EXPECT_FALSE(mutex.tryLock()); // a producer locking it waits meanwhile
    release = true;
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        if (!mutex.tryLock())
            return false;
        mutex.unlock();
        return true;
    }));
    worker.stop();
}

TEST(FrameWorkerThread, AfterStopALaterFrameIsNotDelivered)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    QMutex mutex;
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    FrameWorkerThread worker(
        [&](const FramePtr&) {
            ++calls;
            while (!release)
                std::this_thread::sleep_for(1ms);
        },
        deque, mutex, "late");
    deque.append(frameWithId(1));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return calls == 1; }));
    // stop blocks on the mutex the consumer holds.
    auto stopped = std::async(std::launch::async, [&] { worker.stop(); });
    EXPECT_EQ(stopped.wait_for(50ms), std::future_status::timeout);
    deque.append(frameWithId(2));
    release = true;
    ASSERT_EQ(stopped.wait_for(KelvraTest::budget(10s)), std::future_status::ready);
    stopped.get();
    // Frame 2 was either taken in a last pass and dropped, or never taken.
    EXPECT_EQ(calls, 1);
    EXPECT_LE(deque.size(), 1u);
}

TEST(FrameWorkerThread, FirstFrameIsNeverTakenWithoutDelivery)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    deque.append(frameWithId(1));
    QMutex mutex;
    std::atomic<int> calls{0};
    {
        // Stopped at once, usually during the first sleep: the last pass still
        // delivers the first frame. Should the thread not even reach its loop
        // in time, the frame stays queued; it is never lost.
        FrameWorkerThread worker([&](const FramePtr&) { ++calls; }, deque, mutex, "first");
        worker.stop();
    }
    EXPECT_EQ(calls + static_cast<int>(deque.size()), 1);
}

TEST(FrameWorkerThread, FailingConsumerGivesBackTheMutexAndStopStillWorks)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    deque.append(frameWithId(1));
    deque.append(frameWithId(2));
    QMutex mutex;
    FrameWorkerThread worker([](const FramePtr&) { throw std::runtime_error("bad"); }, deque, mutex, "f");
    ASSERT_TRUE(worker.wait(KelvraTest::budget(10000)));
    EXPECT_TRUE(mutex.tryLock());
    mutex.unlock();
    EXPECT_EQ(deque.size(), 1u);
    worker.stop();
    const auto got = lines(out.text());
    EXPECT_NE(indexOf(got, "f consumer failed: bad"), -1);
    EXPECT_LT(indexOf(got, "f consumer failed: bad"), indexOf(got, "f Thread quit begin  "));
}

TEST(FrameWorkerThread, DestroyedWhileRunningStopsAndWaits)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    QMutex mutex;
    std::atomic<int> calls{0};
    {
        FrameWorkerThread worker([&](const FramePtr&) { ++calls; }, deque, mutex, "d");
        deque.append(frameWithId(1));
        ASSERT_TRUE(KelvraTest::waitFor([&] { return calls == 1; }));
    }
    const auto got = lines(out.text());
    EXPECT_NE(indexOf(got, "('d', 'stop Thread running : ', True)"), -1);
    // The loop had ended before the destructor's last line: no later frame is taken.
    EXPECT_NE(indexOf(got, "d Thread quit begin  "), -1);
    EXPECT_EQ(got.back(), "dstop Thread stop end 2 ====");
    EXPECT_EQ(calls, 1);
}

TEST(FrameWorkerThread, StopFromTheConsumerEndsTheLoopWithoutDeadlock)
{
    KelvraTest::CaptureStream out;
    FrameDeque deque;
    QMutex mutex;
    std::atomic<FrameWorkerThread*> self{nullptr};
    FrameWorkerThread worker(
        [&](const FramePtr&) {
            while (!self)
                std::this_thread::sleep_for(1ms);
            self.load()->stop();
        },
        deque, mutex, "s");
    self = &worker;
    deque.append(frameWithId(1));
    ASSERT_TRUE(worker.wait(KelvraTest::budget(10000)));
    EXPECT_NE(indexOf(lines(out.text()), "s Thread quit begin  "), -1);
}
