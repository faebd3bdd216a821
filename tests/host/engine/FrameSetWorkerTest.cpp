// Conversion of frames into [x][y] images and the bounded hand-off from the
// frame threads to the user interface.

#include "host/engine/FrameSetWorker.h"
#include "tests/host/engine/HostTestFrames.h"
#include "tests/support/TestSupport.h"
#include "Tavik/StreamGenerator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>

using namespace HostTest;

TEST(FrameConversion, ImagesAreIndexedXFirstAndDepthIsMetres)
{
    FrameImages images;
    ASSERT_TRUE(FrameConversion::addFrame(images, *makeFrame(Tavik::FRAME_RAW_FRAME_PROCESSED, 5, 4, 3)));
    ASSERT_TRUE(FrameConversion::addFrame(images, *makeFrame(Tavik::FRAME_DEPTH_FRAME, 5, 4, 3)));

    for (const cv::Mat* m : {&images.amplitude, &images.phase, &images.depth}) {
        ASSERT_EQ(m->type(), CV_32F);
        EXPECT_EQ(m->rows, 4); // x
        EXPECT_EQ(m->cols, 3); // y
    }
    EXPECT_EQ(images.width, 4);
    EXPECT_EQ(images.height, 3);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 3; ++y) {
            EXPECT_FLOAT_EQ(images.amplitude.at<float>(x, y), amplitudeAt(x, y));
            EXPECT_FLOAT_EQ(images.phase.at<float>(x, y), phaseAt(x, y));
            EXPECT_FLOAT_EQ(images.depth.at<float>(x, y), depthAt(x, y));
        }
}

namespace {

// FNV-1a over the bytes of a CV_32F image, its size first.
uint64_t digest(const cv::Mat& m)
{
    uint64_t h = 1469598103934665603ull;
    auto add = [&h](const void* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            h ^= static_cast<const uint8_t*>(p)[i];
            h *= 1099511628211ull;
        }
    };
    const int size[2] = {m.rows, m.cols};
    add(size, sizeof size);
    EXPECT_TRUE(m.empty() || (m.type() == CV_32F && m.isContinuous()));
    if (!m.empty())
        add(m.ptr(), m.total() * m.elemSize());
    return h;
}

} // namespace

TEST(FrameConversion, ImagesOfAKnownSetKeepTheirValues)
{
    // The simulated scene's set 7 at the sensor's size and at an odd one; the
    // figures are those of the conversion by transposing, then converting.
    struct Known {
        int width, height;
        uint64_t amplitude, phase, depth;
        float amplitudeAt, phaseAt, depthAt; // pixel (width - 2, 1)
    };
    const Known known[] = {
        {320, 240, 14812730190052547290ull, 10134397401002664831ull, 16969800504110829567ull, 167.f, 831.f,
         0x1.9faee6p-1f},
        {37, 23, 12991234168881401377ull, 7816425022254265538ull, 16806064508684294611ull, 238.f, 455.f, 0x1.c72f8p-2f},
    };
    for (const Known& k : known) {
        const auto set = Tavik::StreamGenerator::makeFrameSet(k.width, k.height, 7, 7 * 33333);
        FrameImages images;
        for (const auto& frame : set)
            FrameConversion::addFrame(images, *frame);
        EXPECT_EQ(digest(images.amplitude), k.amplitude) << k.width;
        EXPECT_EQ(digest(images.phase), k.phase) << k.width;
        EXPECT_EQ(digest(images.depth), k.depth) << k.width;
        const int x = k.width - 2, y = 1;
        EXPECT_EQ(images.amplitude.at<float>(x, y), k.amplitudeAt) << k.width;
        EXPECT_EQ(images.phase.at<float>(x, y), k.phaseAt) << k.width;
        EXPECT_EQ(images.depth.at<float>(x, y), k.depthAt) << k.width;
        // Each image pixel is its frame's value, read row-major.
        const auto& depth = set[Tavik::FRAME_DEPTH_FRAME];
        EXPECT_EQ(images.depth.at<float>(x, y), depth->depth[static_cast<std::size_t>(y) * k.width + x]);
        EXPECT_EQ(images.amplitude.at<float>(x, y),
                  set[Tavik::FRAME_RAW_FRAME_PROCESSED]->amplitude[static_cast<std::size_t>(y) * k.width + x]);
        EXPECT_EQ(images.points.size(), static_cast<std::size_t>(k.width) * k.height);
    }
}

TEST(FrameConversion, MismatchedBuffersGiveNoImage)
{
    auto frame = makeFrame(Tavik::FRAME_DEPTH_FRAME, 1, 4, 3);
    frame->depth.pop_back();
    FrameImages images;
    EXPECT_FALSE(FrameConversion::addFrame(images, *frame));
    EXPECT_TRUE(images.depth.empty());
    EXPECT_EQ(images.width, 0);

    EXPECT_TRUE(FrameConversion::toImage(std::vector<float>{}, 0, 0).empty());
    EXPECT_FALSE(FrameConversion::addFrame(images, *makeFrame(Tavik::FRAME_RAW_FRAME_UNPROCESSED, 1, 4, 3)));
}

TEST(FrameConversion, AFrameOfNoPixelsGivesEmptyImagesNotAMissingFrame)
{
    FrameImages images;
    for (auto [w, h] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 3}}) {
        auto depth = makeFrame(Tavik::FRAME_DEPTH_FRAME, 4, w, h);
        images = FrameImages();
        EXPECT_TRUE(FrameConversion::addFrame(images, *depth)) << w << "x" << h;
        EXPECT_TRUE(images.hasDepth);
        EXPECT_TRUE(images.depth.empty());
        EXPECT_EQ(images.width, w);
        EXPECT_EQ(images.height, h);
    }
    // A size that promises pixels the buffer lacks is still no frame.
    auto broken = makeFrame(Tavik::FRAME_DEPTH_FRAME, 4, 0, 0);
    broken->width = 2;
    broken->height = 2;
    images = FrameImages();
    EXPECT_FALSE(FrameConversion::addFrame(images, *broken));
    EXPECT_FALSE(images.hasDepth);
}

namespace {

// Counts notifications; the test plays the user-interface thread.
struct Receiver {
    std::atomic<int> notifications{0};
    KelvraTest::ThreadEnd workerThread; // known from its first notification
    FrameSetWorker worker{[this] {
        workerThread.watchThisThread();
        ++notifications;
    }};

    void putSet(int64_t id, int width = 4, int height = 3)
    {
        for (const auto& f : makeSet(id, width, height))
            worker.putFrame(*f);
    }
};

} // namespace

TEST(FrameSetWorker, PublishesOneSetPerFrameSet)
{
    Receiver r;
    r.putSet(3);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications == 1; }));
    FrameImagesPtr images = r.worker.takePending();
    ASSERT_TRUE(images);
    EXPECT_EQ(images->id, 3);
    EXPECT_FALSE(images->amplitude.empty());
    EXPECT_FALSE(images->phase.empty());
    EXPECT_FALSE(images->depth.empty());
    EXPECT_EQ(images->points.size(), 12u);
    EXPECT_FALSE(r.worker.takePending()); // taken once
    EXPECT_EQ(r.worker.newestFrameId(), 3);
}

TEST(FrameSetWorker, KeepsNoFrameObjectAndCopiesItsValues)
{
    Receiver r;
    auto set = makeSet(8);
    for (const auto& f : set)
        r.worker.putFrame(*f);
    // The caller may reuse its frames at once (a recording's reader does).
    for (const auto& f : set) {
        EXPECT_EQ(f.use_count(), 1);
        std::fill(f->depth.begin(), f->depth.end(), -1.f);
        std::fill(f->amplitude.begin(), f->amplitude.end(), 0);
    }
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications == 1; }));
    FrameImagesPtr images = r.worker.takePending();
    ASSERT_TRUE(images);
    EXPECT_FLOAT_EQ(images->depth.at<float>(2, 1), depthAt(2, 1));
    EXPECT_FLOAT_EQ(images->amplitude.at<float>(3, 2), amplitudeAt(3, 2));
}

TEST(FrameSetWorker, CloudsNotWantedPassUnconvertedAndTheirFramesComeBack)
{
    Receiver r;
    r.worker.setPointsWanted(false);
    auto set = makeSet(5);
    for (const auto& f : set)
        r.worker.putFrame(*f);
    for (const auto& f : set)
        EXPECT_EQ(f.use_count(), 1); // the caller's frames are still not kept
    set[Tavik::FRAME_XYZI_POINT_CLOUD_FRAME]->points.assign(12, Tavik::XYZIPoint{});
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications == 1; }));
    FrameImagesPtr images = r.worker.takePending();
    ASSERT_TRUE(images);
    EXPECT_TRUE(images->points.empty());
    ASSERT_TRUE(images->cloud);
    EXPECT_EQ(images->cloud->id, 5);
    const auto fresh = makeFrame(Tavik::FRAME_XYZI_POINT_CLOUD_FRAME, 5, 4, 3);
    ASSERT_EQ(images->cloudPoints().size(), fresh->points.size());
    for (std::size_t i = 0; i < fresh->points.size(); ++i)
        EXPECT_EQ(images->cloudPoints()[i].z, fresh->points[i].z) << i;
    EXPECT_FALSE(images->depth.empty()); // the images are converted all the same

    // Sets let go give their cloud frames back: no frame is made per set.
    images.reset();
    std::vector<std::array<Tavik::FramePtr, Tavik::FRAME_TYPE_COUNT>> sets;
    for (int64_t id = 6; id <= 30; ++id)
        sets.push_back(makeSet(id));
    auto run = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k) {
            const int notified = r.notifications;
            for (const auto& f : sets[k])
                r.worker.putFrame(*f);
            ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications > notified; }));
            ASSERT_TRUE(r.worker.takePending());
        }
    };
    run(0, 5);
    const uint64_t made = Tavik::Frame::constructedCount();
    run(5, sets.size());
    EXPECT_EQ(Tavik::Frame::constructedCount(), made);

    r.worker.setPointsWanted(true);
    r.putSet(40);
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        const FrameImagesPtr p = r.worker.takePending();
        if (p) {
            EXPECT_EQ(p->id, 40);
            EXPECT_EQ(p->points.size(), 12u);
            EXPECT_FALSE(p->cloud);
        }
        return p != nullptr;
    }));
}

TEST(FrameSetWorker, FloodKeepsOneSetPendingAndDropsTheOldest)
{
    Receiver r;
    // Nobody takes while frames flood in: the mailbox holds one set.
    for (int64_t id = 1; id <= 300; ++id)
        r.putSet(id, 32, 24);
    int takes = 0;
    FrameImagesPtr last;
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        if (FrameImagesPtr p = r.worker.takePending()) {
            ++takes;
            last = p;
        }
        return last && last->id == 300;
    }));
    // One notification per empty-to-full change: never one per set.
    EXPECT_LE(r.notifications.load(), takes + 1);
    EXPECT_LE(takes, 3);
    // Every converted set was either taken or counted as dropped. (Whether the
    // ring or the mailbox dropped the older sets depends on when the worker ran.)
    EXPECT_GE(r.worker.droppedSets() + takes, r.worker.convertedSets());
}

TEST(FrameSetWorker, NewestSetWinsWhileOneIsPending)
{
    Receiver r;
    r.putSet(1);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.worker.convertedSets() == 1; }));
    r.putSet(2);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.worker.convertedSets() == 2; }));
    EXPECT_EQ(r.notifications.load(), 1);
    FrameImagesPtr images = r.worker.takePending();
    ASSERT_TRUE(images);
    EXPECT_EQ(images->id, 2);
    EXPECT_EQ(r.worker.droppedSets(), 1u);
    r.putSet(3);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications == 2; }));
}

TEST(FrameSetWorker, IncompleteSetsArePublishedOnlyWithDepth)
{
    Receiver r;
    auto a = makeSet(1);
    // No depth frame in set 1: nothing to publish.
    r.worker.putFrame(*a[Tavik::FRAME_RAW_FRAME_PROCESSED]);
    r.worker.putFrame(*a[Tavik::FRAME_XYZI_POINT_CLOUD_FRAME]);
    // Set 2 lost its point cloud: published when set 3 begins.
    auto b = makeSet(2);
    r.worker.putFrame(*b[Tavik::FRAME_RAW_FRAME_PROCESSED]);
    r.worker.putFrame(*b[Tavik::FRAME_DEPTH_FRAME]);
    r.worker.putFrame(*makeFrame(Tavik::FRAME_RAW_FRAME_PROCESSED, 3, 4, 3));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications == 1; }));
    FrameImagesPtr images = r.worker.takePending();
    ASSERT_TRUE(images);
    EXPECT_EQ(images->id, 2);
    EXPECT_TRUE(images->points.empty());
    EXPECT_EQ(r.worker.droppedSets(), 1u);
}

TEST(FrameSetWorker, ASetWhoseFramesCarryDifferentIdsIsShownWhole)
{
    // As a recording may hold them: each frame of a set with its own id.
    Receiver r;
    for (int64_t first : {10, 20}) {
        const int notified = r.notifications;
        auto set = makeSet(first);
        for (int t = 0; t < Tavik::FRAME_TYPE_COUNT; ++t) {
            set[t]->id = first + t;
            r.worker.putFrame(*set[t]);
        }
        ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications > notified; }));
        FrameImagesPtr images = r.worker.takePending();
        ASSERT_TRUE(images);
        EXPECT_EQ(images->id, first + Tavik::FRAME_DEPTH_FRAME); // the depth frame's, as its timestamp
        for (const cv::Mat* m : {&images->amplitude, &images->phase, &images->depth})
            ASSERT_EQ(m->size(), cv::Size(3, 4));
        EXPECT_FLOAT_EQ(images->amplitude.at<float>(3, 2), amplitudeAt(3, 2));
        EXPECT_FLOAT_EQ(images->phase.at<float>(3, 2), phaseAt(3, 2));
        EXPECT_FLOAT_EQ(images->depth.at<float>(3, 2), depthAt(3, 2));
        EXPECT_EQ(images->points.size(), 12u);
    }
    EXPECT_EQ(r.worker.droppedSets(), 0u);
}

TEST(FrameSetWorker, FramesTheRingDroppedEndTheSetTheyBelongedTo)
{
    Receiver r;
    HostTest::Hold hold(1, Tavik::FRAME_RAW_FRAME_PROCESSED);
    r.worker.setConversionHook(hold.hook());
    auto first = makeSet(1);
    std::fill(first[Tavik::FRAME_RAW_FRAME_PROCESSED]->amplitude.begin(),
              first[Tavik::FRAME_RAW_FRAME_PROCESSED]->amplitude.end(), 7);
    r.worker.putFrame(*first[Tavik::FRAME_RAW_FRAME_PROCESSED]);
    ASSERT_TRUE(KelvraTest::waitWithoutEvents([&] { return hold.isReached(); }));
    // While the worker holds set 1's first frame, the ring (six frames) drops
    // the rest of set 1 and the first frame of set 2.
    for (int t = Tavik::FRAME_DEPTH_FRAME; t < Tavik::FRAME_TYPE_COUNT; ++t)
        r.worker.putFrame(*first[t]);
    for (const auto& frame : makeSet(2))
        r.worker.putFrame(*frame);
    for (int64_t id = 3; id <= 6; ++id)
        r.worker.putFrame(*makeFrame(Tavik::FRAME_RAW_FRAME_PROCESSED, id, 4, 3));
    hold.release();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications == 1; }));
    // What is left of set 2 is shown without set 1's amplitude.
    FrameImagesPtr images = r.worker.takePending();
    ASSERT_TRUE(images);
    EXPECT_EQ(images->id, 2);
    EXPECT_TRUE(images->amplitude.empty());
    EXPECT_FALSE(images->depth.empty());
}

TEST(FrameSetWorker, ASetOfNoPixelsIsPublishedEmpty)
{
    Receiver r;
    r.putSet(1, 0, 0);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications == 1; }));
    FrameImagesPtr images = r.worker.takePending();
    ASSERT_TRUE(images);
    EXPECT_EQ(images->id, 1);
    EXPECT_EQ(images->width, 0);
    EXPECT_TRUE(images->depth.empty() && images->amplitude.empty() && images->points.empty());
    EXPECT_EQ(r.worker.droppedSets(), 0u);
}

TEST(FrameSetWorker, StopJoinsAndLaterFramesAreHarmless)
{
    Receiver r;
    r.putSet(1);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return r.notifications == 1; }));
    r.worker.stop();
    EXPECT_TRUE(r.workerThread.hasEnded());
    r.worker.stop();
    r.putSet(2); // lands in the ring, nobody converts it
    EXPECT_EQ(r.worker.convertedSets(), 1u);
}

TEST(FrameSetWorker, ProducersOnSeveralThreads)
{
    Receiver r;
    std::thread a([&] {
        for (int64_t id = 1; id <= 100; ++id)
            r.putSet(id);
    });
    std::thread b([&] {
        for (int i = 0; i < 200; ++i)
            r.worker.takePending();
    });
    a.join();
    b.join();
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        r.worker.takePending();
        return r.worker.newestFrameId() == 100;
    }));
}
