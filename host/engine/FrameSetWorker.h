#pragma once
// The data engine's hand-off from the frame threads to the user interface.
//
// putFrame() runs on the SDK's callback thread or a recording's playback
// thread: it copies the frame into a FrameRing (the caller's frame object is
// never kept) and returns. A worker thread of its own, woken by the last frame
// of each set (the point cloud), takes the copies, converts each frame set
// into images and leaves the newest converted set in a one-place mailbox.
// When the mailbox turns from empty to full it calls the notify function (on
// the worker thread), which is expected to schedule one takePending() on the
// user-interface thread.
//
// Nothing queues without bound: the ring keeps at most RING_LENGTH frames
// (dropping the oldest) and the mailbox one set (a newer set replaces one not
// yet taken), so at most one notification is outstanding at any time.
//
// Why not the frame-pipeline modules (FrameFeederThread, FrameTakerThread,
// FrameWorkerThread, WorkerLoopThread), which are offered to hosts: their
// takers pace themselves at one frame per 33 ms pass, a frame set is four
// frames, and the display must stay at most one frame behind. This worker
// wakes once per set instead and converts it as soon as it is whole.

#include "host/engine/FrameImages.h"
#include "Kelvra/models/FrameRing.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// The frame ring with one more way in: a frame put without waking the
// taker, for the frames of a set before its last; generations: discard()
// drops what is queued and begins a new one in one step, so a frame taken
// afterwards was put afterwards; and whether frames were dropped between two
// taken.
class SetRing : public Kelvra::FrameRing {
public:
    using FrameRing::FrameRing;
    void putQuietly(const Tavik::Frame& frame)
    {
        Lock lock(mutex);
        _put(frame);
    }
    // Returns the new generation.
    uint64_t discard()
    {
        Lock lock(mutex);
        while (!queue.empty())
            release(FrameRing::_get()); // not ours: `taken` is the taker's
        return ++generation;
    }
    // Of the frame taken last, the taker's thread only: its generation, and
    // whether the ring dropped frames (its oldest, when full) since the one
    // taken before it.
    uint64_t takenGeneration() const { return taken; }
    bool takenAfterDrop() const { return takenAfterDrops; }

protected:
    void _put(const Tavik::Frame& frame) override
    {
        if (queue.size() >= maxlen)
            ++drops;
        FrameRing::_put(frame);
    }
    Kelvra::FrameHandle _get() override
    {
        taken = generation;
        takenAfterDrops = drops != dropsAtTake;
        dropsAtTake = drops;
        return FrameRing::_get();
    }

private:
    uint64_t generation = 0; // under the mutex
    uint64_t drops = 0; // under the mutex
    uint64_t dropsAtTake = 0; // under the mutex
    uint64_t taken = 0;
    bool takenAfterDrops = false;
};

class FrameSetWorker {
public:
    // Two sets of the three frame types that are converted.
    static constexpr std::size_t RING_LENGTH = 6;
    // Seconds; bounds how long stop() waits, and how long a set that lacks its
    // point cloud waits for the next set.
    static constexpr double WAIT_TIMEOUT = 0.1;

    using Notify = std::function<void()>;
    // Tests: called on the worker thread with each frame it has taken,
    // before converting it, so that a test can hold the worker there.
    using ConversionHook = std::function<void(const Tavik::Frame&)>;

    // Starts the worker. `notify` must stay callable until stop() returned.
    explicit FrameSetWorker(Notify notify);
    // Stops and joins the worker.
    ~FrameSetWorker();

    FrameSetWorker(const FrameSetWorker&) = delete;
    FrameSetWorker& operator=(const FrameSetWorker&) = delete;

    // Any thread; never waits for the worker or the user interface. Raw
    // unprocessed frames are not needed for the images and are skipped.
    void putFrame(const Tavik::Frame& frame);

    // Whether point clouds are converted (the default) or passed on as the
    // frame copied from putFrame (FrameImages::cloud). Any thread.
    void setPointsWanted(bool wanted) { pointsWanted.store(wanted); }
    bool arePointsWanted() const { return pointsWanted.load(); }

    // The newest converted set not taken yet, or nothing.
    FrameImagesPtr takePending();
    // Any thread: the frames put so far are never converted, nor the set
    // they began; sets of later frames carry the generation returned
    // (FrameImages::generation), earlier ones a lower one.
    uint64_t discard();

    // Ends the worker after its current frame and joins it. Idempotent.
    void stop();

    // Set before the frames it is to see are put.
    void setConversionHook(ConversionHook hook) { conversionHook = std::move(hook); }

    // Id of the newest depth frame handed to putFrame, -1 before the first.
    int64_t newestFrameId() const { return newestId.load(); }
    uint64_t convertedSets() const { return converted.load(); }
    // Sets that never reached the user interface: replaced in the mailbox
    // before they were taken, or left incomplete by frames the ring dropped.
    uint64_t droppedSets() const { return dropped.load(); }

private:
    void run();
    void handle(Kelvra::FrameHandle& frame);
    void finishPartial();
    void deliver(std::shared_ptr<FrameImages> images);

    Notify notify;
    ConversionHook conversionHook;
    // Shared with the clouds passed on unconverted, which go back to it when
    // let go (or are deleted once it is gone).
    std::shared_ptr<SetRing> ring = std::make_shared<SetRing>(RING_LENGTH);
    std::shared_ptr<FrameImages> partial; // worker thread only
    Tavik::FrameType partialType = -1; // of the frame added to `partial` last

    std::mutex mailboxMutex;
    FrameImagesPtr pending;

    std::atomic<int64_t> newestId{-1};
    std::atomic<uint64_t> converted{0};
    std::atomic<uint64_t> dropped{0};
    std::atomic<bool> pointsWanted{true};
    std::atomic<bool> running{true};
    std::thread thread; // last: starts once every field is set
};
