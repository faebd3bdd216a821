#include "Kelvra/models/BoundedQueue.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using Kelvra::BoundedQueue;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

TEST(BoundedQueue, FullQueueDropsOldestSilently)
{
    BoundedQueue<std::string> q;
    EXPECT_EQ(q.getMaxlen(), 3u);
    for (const char* s : {"a", "b", "c", "d"})
        q.put(s);
    EXPECT_EQ(q.get(), "b");
    EXPECT_EQ(q.tryGet(), "c");
    EXPECT_EQ(q.get(0.0), "d");
    EXPECT_FALSE(q.tryGet());
}

TEST(BoundedQueue, TryGetAndZeroTimeoutNeverWait)
{
    BoundedQueue<int> q;
    const auto start = Clock::now();
    EXPECT_FALSE(q.tryGet());
    EXPECT_FALSE(q.get(0.0));
    EXPECT_FALSE(q.get(-1.0));
    EXPECT_LT(secondsSince(start), 5.0); // would hang if either waited without limit
    q.put(7);
    EXPECT_EQ(q.get(-1.0), 7); // an item present is served with any timeout
}

TEST(BoundedQueue, TimedGetOnEmptyQueueReturnsNothingAfterTimeout)
{
    BoundedQueue<int> q;
    const auto start = Clock::now();
    EXPECT_FALSE(q.get(0.2));
    // A wait may end early only by a wake-up; nobody notifies here, so allow
    // just the clock's slack.
    EXPECT_GE(secondsSince(start), 0.15);
}

TEST(BoundedQueue, BlockingGetReturnsItemOfNextPut)
{
    BoundedQueue<int> q;
    auto taken = std::async(std::launch::async, [&] { return q.get(); });
    EXPECT_EQ(taken.wait_for(50ms), std::future_status::timeout);
    q.put(42);
    ASSERT_EQ(taken.wait_for(KelvraTest::budget(10s)), std::future_status::ready);
    EXPECT_EQ(taken.get(), 42);
}

TEST(BoundedQueue, OnePutWakesOneOfTwoTimedConsumers)
{
    BoundedQueue<int> q;
    std::atomic<int> waiting{0};
    auto consumer = [&] {
        ++waiting;
        return q.get(1.0);
    };
    auto a = std::async(std::launch::async, consumer);
    auto b = std::async(std::launch::async, consumer);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return waiting == 2; }));
    q.put(5);
    const auto ra = a.get();
    const auto rb = b.get();
    EXPECT_NE(ra.has_value(), rb.has_value());
    EXPECT_EQ(ra.value_or(0) + rb.value_or(0), 5);
}

// A queue whose _put can bypass the bound, to release a waiter that the
// bounded storage would never serve.
struct BypassQueue : BoundedQueue<int> {
    using BoundedQueue::BoundedQueue;
    bool bypass = false;
    void _put(int item) override
    {
        if (bypass)
            queue.push_back(item);
        else
            BoundedQueue::_put(item);
    }
};

TEST(BoundedQueue, CapacityZeroDropsEveryItemAndWaiterKeepsWaiting)
{
    BypassQueue q(0);
    q.put(1);
    q.put(2);
    EXPECT_FALSE(q.tryGet());
    auto taken = std::async(std::launch::async, [&] { return q.get(); });
    EXPECT_EQ(taken.wait_for(50ms), std::future_status::timeout);
    q.put(3); // dropped at once: its notify finds the queue empty again
    EXPECT_EQ(taken.wait_for(50ms), std::future_status::timeout);
    q.bypass = true;
    q.put(4);
    ASSERT_EQ(taken.wait_for(KelvraTest::budget(10s)), std::future_status::ready);
    EXPECT_EQ(taken.get(), 4);
}

TEST(BoundedQueue, ATimedGetWakenToAnEmptyQueueReturnsNothingAtOnce)
{
    // Every put into a queue of capacity 0 wakes the waiter and leaves the
    // queue empty: the timed get ends at the first such wake-up, long before
    // its half minute is up.
    BoundedQueue<int> q(0);
    std::atomic<bool> waiting{false};
    auto taken = std::async(std::launch::async, [&] {
        waiting = true;
        return q.get(30.0);
    });
    ASSERT_TRUE(KelvraTest::waitFor([&] { return waiting.load(); }));
    // The waiter may not have reached its wait yet: put until it returns.
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        q.put(1);
        return taken.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready;
    }));
    EXPECT_FALSE(taken.get());
}

TEST(BoundedQueue, ClearEmptiesAndQueueStaysUsable)
{
    BoundedQueue<int> q(2);
    q.put(1);
    q.put(2);
    q.clear();
    EXPECT_FALSE(q.tryGet());
    q.put(3);
    q.put(4);
    q.put(5);
    EXPECT_EQ(q.tryGet(), 4);
    EXPECT_EQ(q.tryGet(), 5);
}

TEST(BoundedQueue, MoveOnlyItemsPassToTheCaller)
{
    BoundedQueue<std::unique_ptr<int>> q(1);
    q.put(std::make_unique<int>(1));
    q.put(std::make_unique<int>(2)); // the first is released by the queue
    auto item = q.get();
    ASSERT_TRUE(item && *item);
    EXPECT_EQ(**item, 2);
}

// A hook that fails on demand.
struct FailingQueue : BoundedQueue<int> {
    using BoundedQueue::BoundedQueue;
    void _put(int item) override
    {
        if (item < 0)
            throw std::runtime_error("refused");
        BoundedQueue::_put(item);
    }
    int _get() override
    {
        if (queue.front() == 0) {
            queue.pop_front();
            throw std::runtime_error("bad item");
        }
        return BoundedQueue::_get();
    }
};

TEST(BoundedQueue, FailingHookPassesToCallerAndGivesBackTheLock)
{
    FailingQueue q;
    EXPECT_THROW(q.put(-1), std::runtime_error);
    q.put(0);
    EXPECT_THROW(q.tryGet(), std::runtime_error);
    // Another thread can use the queue afterwards: the lock is not held.
    auto other = std::async(std::launch::async, [&] {
        q.put(8);
        return q.get(1.0);
    });
    ASSERT_EQ(other.wait_for(KelvraTest::budget(10s)), std::future_status::ready);
    EXPECT_EQ(other.get(), 8);
}

TEST(BoundedQueue, ManyProducersAndConsumersLoseNothingBeyondDrops)
{
    constexpr int producers = 4;
    constexpr int perProducer = 2000;
    BoundedQueue<int> q(8);
    std::atomic<bool> done{false};
    std::vector<std::future<std::vector<int>>> consumers;
    for (int c = 0; c < 3; ++c)
        consumers.push_back(std::async(std::launch::async, [&] {
            std::vector<int> got;
            while (true) {
                if (auto item = q.get(0.01))
                    got.push_back(*item);
                else if (done)
                    break;
            }
            return got;
        }));
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p)
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i)
                q.put(p * perProducer + i);
        });
    for (auto& t : threads)
        t.join();
    done = true;

    std::set<int> seen;
    std::size_t total = 0;
    for (auto& c : consumers) {
        const auto got = c.get();
        total += got.size();
        // Within one consumer, each producer's items come in put order.
        std::vector<int> lastOf(producers, -1);
        for (int v : got) {
            EXPECT_GT(v, lastOf[v / perProducer]);
            lastOf[v / perProducer] = v;
        }
        seen.insert(got.begin(), got.end());
    }
    EXPECT_EQ(seen.size(), total); // nothing handed out twice
    EXPECT_LE(total, static_cast<std::size_t>(producers * perProducer));
    EXPECT_FALSE(q.tryGet());
}
