#include "Kelvra/models/FrameRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

using Kelvra::FrameHandle;
using Kelvra::FrameRing;
using Tavik::Frame;

namespace {

Frame makeFrame(int64_t id, Tavik::FrameType type = Tavik::FRAME_RAW_FRAME_PROCESSED, int w = 8, int h = 4)
{
    Frame f;
    f.type = type;
    f.id = id;
    f.timestamp = id * 33000;
    f.width = w;
    f.height = h;
    const auto n = static_cast<std::size_t>(w * h);
    if (type == Tavik::FRAME_XYZI_POINT_CLOUD_FRAME) {
        f.points.assign(n, Tavik::XYZIPoint{1.f, 2.f, static_cast<float>(id), 4.f});
    } else {
        f.phase.assign(n, static_cast<uint16_t>(id));
        f.amplitude.assign(n, static_cast<uint16_t>(id + 1));
        f.flags.assign(n, 0);
    }
    return f;
}

// Takes the next frame, which the test expects to be there.
FrameHandle take(FrameRing& ring)
{
    auto f = ring.tryGet();
    EXPECT_TRUE(f && *f);
    return f ? std::move(*f) : nullptr;
}

} // namespace

TEST(FrameRing, PutStoresACopyTheCallerMayChange)
{
    FrameRing ring;
    Frame f = makeFrame(1);
    ring.put(f);
    f.id = 99;
    f.phase[0] = 1234;
    auto got = take(ring);
    ASSERT_TRUE(got);
    EXPECT_NE(got.get(), &f);
    EXPECT_EQ(got->id, 1);
    EXPECT_EQ(got->phase[0], 1);
    EXPECT_EQ(got->amplitude.size(), 32u);
}

TEST(FrameRing, ReleasedFrameIsReusedForTheNextPut)
{
    FrameRing ring;
    ring.put(makeFrame(1));
    auto first = take(ring);
    Frame* object = first.get();
    ring.release(std::move(first));

    const Frame cloud = makeFrame(2, Tavik::FRAME_XYZI_POINT_CLOUD_FRAME);
    const auto made = Frame::constructedCount();
    ring.put(cloud);
    EXPECT_EQ(Frame::constructedCount(), made);
    auto second = take(ring);
    EXPECT_EQ(second.get(), object);
    // The recycled frame holds the new content only, type included.
    EXPECT_EQ(second->type, Tavik::FRAME_XYZI_POINT_CLOUD_FRAME);
    EXPECT_EQ(second->id, 2);
    EXPECT_EQ(second->points.size(), 32u);
    EXPECT_TRUE(second->phase.empty());
}

TEST(FrameRing, FullQueueDropsOldestAndPoolStaysEmpty)
{
    FrameRing ring;
    std::vector<Frame> frames;
    for (int i = 1; i <= 4; ++i)
        frames.push_back(makeFrame(i));
    const auto made = Frame::constructedCount();
    for (const auto& f : frames)
        ring.put(f);
    EXPECT_EQ(Frame::constructedCount(), made + 4); // empty pool: a fresh copy each
    for (int64_t id : {2, 3, 4}) {
        auto f = take(ring);
        EXPECT_EQ(f ? f->id : -1, id);
    }
    EXPECT_FALSE(ring.tryGet());
    // The dropped frame did not go to the pool: the next put copies afresh.
    ring.put(frames[0]);
    EXPECT_EQ(Frame::constructedCount(), made + 5);
}

TEST(FrameRing, PoolKeepsTheLastReleasedAndReusesTheOldestOfThem)
{
    FrameRing ring;
    std::vector<FrameHandle> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(std::make_unique<Frame>(makeFrame(i)));
    std::vector<Frame*> objects;
    for (auto& f : held)
        objects.push_back(f.get());
    for (auto& f : held)
        ring.release(std::move(f)); // the first is pushed out

    const Frame f = makeFrame(10);
    const auto made = Frame::constructedCount();
    for (int i = 0; i < 3; ++i)
        ring.put(f);
    EXPECT_EQ(Frame::constructedCount(), made);
    for (std::size_t i = 1; i <= 3; ++i)
        EXPECT_EQ(take(ring).get(), objects[i]);
}

TEST(FrameRing, ClearDestroysQueuedFramesAndKeepsThePool)
{
    FrameRing ring;
    ring.release(std::make_unique<Frame>());
    const Frame a = makeFrame(1);
    ring.put(a); // uses the pooled frame
    ring.put(a);
    ring.clear();
    EXPECT_FALSE(ring.tryGet());

    ring.release(std::make_unique<Frame>());
    const auto made = Frame::constructedCount();
    ring.put(a);
    EXPECT_EQ(Frame::constructedCount(), made);
    EXPECT_EQ(take(ring)->id, 1);
}

TEST(FrameRing, EmptyHandleIsNotPooled)
{
    FrameRing ring;
    ring.release(nullptr);
    const Frame f = makeFrame(1);
    const auto made = Frame::constructedCount();
    ring.put(f);
    EXPECT_EQ(Frame::constructedCount(), made + 1); // a fresh copy
    EXPECT_EQ(take(ring)->id, 1);
}

TEST(FrameRing, SteadyStateMakesNoFrames)
{
    FrameRing ring;
    std::vector<Frame> set;
    for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t)
        set.push_back(makeFrame(1, t));
    // Warm the pool: every frame goes back after use.
    for (int round = 0; round < 3; ++round)
        for (const auto& f : set) {
            ring.put(f);
            ring.release(take(ring));
        }
    const auto made = Frame::constructedCount();
    for (int round = 0; round < 50; ++round)
        for (auto& f : set) {
            f.id = round;
            ring.put(f);
            auto got = take(ring);
            EXPECT_EQ(got->id, round);
            EXPECT_EQ(got->type, f.type);
            ring.release(std::move(got));
        }
    EXPECT_EQ(Frame::constructedCount(), made);
}

TEST(FrameRing, ProducerAndConsumerThreadsShareTheRing)
{
    FrameRing ring(3);
    constexpr int count = 3000;
    std::atomic<bool> done{false};
    auto consumer = std::async(std::launch::async, [&] {
        int64_t last = 0;
        int taken = 0;
        bool ordered = true;
        while (true) {
            auto f = ring.get(0.01);
            if (!f) {
                if (done)
                    break;
                continue;
            }
            FrameHandle frame = std::move(*f);
            // Content is whole: every sample carries the frame's id.
            ordered = ordered && frame->id > last && frame->phase.front() == static_cast<uint16_t>(frame->id)
                && frame->phase.back() == static_cast<uint16_t>(frame->id);
            last = frame->id;
            ++taken;
            ring.release(std::move(frame));
        }
        return std::make_pair(ordered, taken);
    });
    Frame f = makeFrame(0, Tavik::FRAME_RAW_FRAME_PROCESSED, 64, 48);
    for (int i = 1; i <= count; ++i) {
        f.id = i;
        std::fill(f.phase.begin(), f.phase.end(), static_cast<uint16_t>(i));
        ring.put(f);
    }
    done = true;
    const auto [ordered, taken] = consumer.get();
    EXPECT_TRUE(ordered);
    EXPECT_GT(taken, 0);
    EXPECT_LE(taken, count);
}
