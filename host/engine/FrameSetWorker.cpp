#include "host/engine/FrameSetWorker.h"

#include "Kelvra/common/Diagnostics.h"

#include <exception>
#include <string>

FrameSetWorker::FrameSetWorker(Notify notify)
    : notify(std::move(notify))
    , thread(&FrameSetWorker::run, this)
{
}

FrameSetWorker::~FrameSetWorker()
{
    stop();
}

void FrameSetWorker::putFrame(const Tavik::Frame& frame)
{
    if (frame.type == Tavik::FRAME_RAW_FRAME_UNPROCESSED || !Tavik::isValidFrameType(frame.type))
        return;
    if (frame.type == Tavik::FRAME_DEPTH_FRAME)
        newestId.store(frame.id);
    // The worker wakes once per set, for its last frame; a set that lacks it
    // is taken at the next set's end, or within WAIT_TIMEOUT.
    if (frame.type == Tavik::FRAME_XYZI_POINT_CLOUD_FRAME)
        ring->put(frame);
    else
        ring->putQuietly(frame);
}

FrameImagesPtr FrameSetWorker::takePending()
{
    std::lock_guard<std::mutex> lock(mailboxMutex);
    FrameImagesPtr images = std::move(pending);
    pending.reset();
    return images;
}

uint64_t FrameSetWorker::discard()
{
    const uint64_t generation = ring->discard();
    takePending();
    return generation;
}

void FrameSetWorker::stop()
{
    if (running.exchange(false)) {
        // Wakes the worker at once instead of at its next time-out.
        Tavik::Frame wake;
        wake.type = -1;
        ring->put(wake);
    }
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
}

void FrameSetWorker::run()
{
    Kelvra::diag::nameThisThread("kelvra-handoff");
    while (running) {
        auto frame = ring->get(WAIT_TIMEOUT);
        if (!frame || !*frame || !running)
            continue;
        try {
            handle(*frame);
        } catch (const std::exception& e) {
            partial.reset();
            Kelvra::diag::printLine(std::string("frame conversion failed: ") + e.what());
        } catch (...) {
            partial.reset();
            Kelvra::diag::printLine("frame conversion failed");
        }
        ring->release(std::move(*frame)); // nothing when handle() kept it
    }
}

void FrameSetWorker::handle(Kelvra::FrameHandle& handle)
{
    const Tavik::Frame& frame = *handle;
    if (!Tavik::isValidFrameType(frame.type))
        return;
    if (conversionHook)
        conversionHook(frame);
    // A set begun before a discard() is dropped.
    const uint64_t generation = ring->takenGeneration();
    if (partial && partial->generation != generation) {
        partial.reset();
        ++dropped;
    }
    // A set ends with its point cloud. A frame that does not follow the last
    // one in frame-type order begins another set, and so does one after
    // frames the ring dropped (the rest of this set among them). Ids are not
    // compared: a recording may give each frame of a set its own.
    if (partial && (frame.type <= partialType || ring->takenAfterDrop()))
        finishPartial();
    if (!partial) {
        partial = std::make_shared<FrameImages>();
        partial->generation = generation;
    }
    partialType = frame.type;
    if (frame.type != Tavik::FRAME_XYZI_POINT_CLOUD_FRAME) {
        FrameConversion::addFrame(*partial, frame);
        return;
    }
    // The last frame of a set.
    if (pointsWanted) {
        FrameConversion::addFrame(*partial, frame);
    } else {
        std::weak_ptr<SetRing> home = ring;
        partial->cloud = std::shared_ptr<const Tavik::Frame>(handle.release(), [home](const Tavik::Frame* f) {
            Kelvra::FrameHandle back(const_cast<Tavik::Frame*>(f));
            if (auto r = home.lock())
                r->release(std::move(back));
        });
    }
    finishPartial();
}

void FrameSetWorker::finishPartial()
{
    std::shared_ptr<FrameImages> images = std::move(partial);
    partial.reset();
    // Without its depth frame a set has no frame size to publish.
    if (!images->hasDepth) {
        ++dropped;
        return;
    }
    deliver(std::move(images));
}

void FrameSetWorker::deliver(std::shared_ptr<FrameImages> images)
{
    ++converted;
    bool wasEmpty;
    {
        std::lock_guard<std::mutex> lock(mailboxMutex);
        wasEmpty = !pending;
        pending = std::move(images);
    }
    if (!wasEmpty)
        ++dropped;
    else if (notify)
        notify();
}
