#include "Kelvra/common/FrameFeederThread.h"

#include "tests/Kelvra/common/TestFrames.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>
#include <vector>

using Kelvra::FrameDeque;
using Kelvra::FrameFeederThread;
using KelvraTest::frameWithId;
using Tavik::Frame;
using Tavik::FramePtr;

TEST(FrameDeque, TakesInArrivalOrderAndYieldsNothingWhenEmpty)
{
    FrameDeque deque;
    EXPECT_FALSE(deque.takeFront());
    for (int i = 1; i <= 5; ++i)
        deque.append(frameWithId(i));
    deque.append(nullptr); // an empty handle is an item of its own
    EXPECT_EQ(deque.size(), 6u);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ((*deque.takeFront())->id, i);
    auto last = deque.takeFront();
    ASSERT_TRUE(last);
    EXPECT_EQ(*last, nullptr);
    EXPECT_FALSE(deque.takeFront());
}

TEST(FrameDeque, CapacityDropsTheFront)
{
    FrameDeque deque(2);
    for (int i = 1; i <= 3; ++i)
        deque.append(frameWithId(i));
    EXPECT_EQ((*deque.takeFront())->id, 2);
    EXPECT_EQ((*deque.takeFront())->id, 3);
    FrameDeque none(0);
    none.append(frameWithId(1));
    EXPECT_EQ(none.size(), 0u);
}

TEST(FrameDeque, ConcurrentAppendsAndTakesLoseNothing)
{
    FrameDeque deque;
    constexpr int perThread = 5000;
    std::vector<std::thread> producers;
    for (int p = 0; p < 3; ++p)
        producers.emplace_back([&, p] {
            for (int i = 0; i < perThread; ++i)
                deque.append(frameWithId(p * perThread + i));
        });
    std::set<int64_t> seen;
    while (seen.size() < 3u * perThread) {
        if (auto f = deque.takeFront()) {
            EXPECT_TRUE(seen.insert((*f)->id).second);
        }
    }
    for (auto& t : producers)
        t.join();
    EXPECT_EQ(deque.size(), 0u);
}

TEST(FrameFeederThread, AppendsTheVeryFrameInArrivalOrder)
{
    FrameDeque deque;
    FrameFeederThread feeder(deque);
    auto first = frameWithId(1);
    auto second = frameWithId(2);
    // No camera, as in file playback.
    feeder.produceFunction(nullptr, first, Tavik::FRAME_DEPTH_FRAME);
    feeder.produceFunction(nullptr, second, Tavik::FRAME_XYZI_POINT_CLOUD_FRAME);
    EXPECT_EQ(*deque.takeFront(), first); // no copy
    EXPECT_EQ(*deque.takeFront(), second);
}

TEST(FrameFeederThread, StopReturnsAtOnceAndFeedingGoesOn)
{
    FrameDeque deque;
    FrameFeederThread feeder(deque);
    feeder.stop();
    feeder.stop();
    feeder.produceFunction(nullptr, frameWithId(3), Tavik::FRAME_RAW_FRAME_UNPROCESSED);
    ASSERT_EQ(deque.size(), 1u);
    EXPECT_EQ((*deque.takeFront())->id, 3);
}
