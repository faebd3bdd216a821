#include "FramePool.h"

namespace Tavik::detail {

std::shared_ptr<FramePool> FramePool::create(std::size_t keepPerType)
{
    return std::shared_ptr<FramePool>(new FramePool(keepPerType));
}

FramePtr FramePool::take(FrameType type)
{
    std::unique_ptr<Frame> frame;
    if (isValidFrameType(type)) {
        std::lock_guard<std::mutex> lock(m_);
        auto& idle = idle_[type];
        if (!idle.empty()) {
            frame = std::move(idle.back());
            idle.pop_back();
        }
    }
    if (!frame)
        frame = std::make_unique<Frame>();
    frame->type = type;
    return FramePtr(frame.release(), Return{weak_from_this()});
}

std::size_t FramePool::idleCount(FrameType type) const
{
    std::lock_guard<std::mutex> lock(m_);
    return isValidFrameType(type) ? idle_[type].size() : 0;
}

void FramePool::giveBack(Frame* frame)
{
    std::unique_ptr<Frame> owned(frame);
    // Filed under its type as it is now (a holder may have changed it).
    if (!isValidFrameType(owned->type))
        return;
    std::lock_guard<std::mutex> lock(m_);
    auto& idle = idle_[owned->type];
    if (idle.size() < keep_)
        idle.push_back(std::move(owned));
}

void FramePool::Return::operator()(Frame* frame) const
{
    if (auto owner = pool.lock())
        owner->giveBack(frame);
    else
        delete frame;
}

} // namespace Tavik::detail
