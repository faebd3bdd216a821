#pragma once
// Frames whose storage is used again: a frame taken from the pool comes back
// to it when its last holder lets go, so no frame is ever changed under a
// holder, and a steady producer allocates nothing.

#include "Tavik/Frame.h"

#include <array>
#include <memory>
#include <mutex>
#include <vector>

namespace Tavik::detail {

class FramePool : public std::enable_shared_from_this<FramePool> {
public:
    // Keeps at most `keepPerType` idle frames of each type.
    static std::shared_ptr<FramePool> create(std::size_t keepPerType);

    // A frame of `type` that no one holds: one given back earlier, its
    // buffers keeping their sizes and stale contents for the caller to
    // overwrite, or a new empty one.
    FramePtr take(FrameType type);

    std::size_t idleCount(FrameType type) const;

private:
    explicit FramePool(std::size_t keepPerType)
        : keep_(keepPerType)
    {
    }
    void giveBack(Frame* frame);

    struct Return {
        std::weak_ptr<FramePool> pool;
        void operator()(Frame* frame) const;
    };

    const std::size_t keep_;
    mutable std::mutex m_;
    std::array<std::vector<std::unique_ptr<Frame>>, FRAME_TYPE_COUNT> idle_;
};

} // namespace Tavik::detail
