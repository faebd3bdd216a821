// A camera's filter chains: adding a filter to the chain of a frame type and
// removing it again.

#include "Detail.h"

#include <algorithm>

namespace Tavik::detail {

int CameraState::addFilter(const FilterPtr& filter, FrameType type, int beforeFilterIndex)
{
    ++filterCallCount;
    if (!filter || !isValidFrameType(type))
        return -1;
    std::lock_guard<std::mutex> lock(m_);
    FilterState& fs = *filter->state();
    auto& chain = chains[type];
    if (!connected || fs.type != type || chain.size() >= 4)
        return -1;
    auto pos = chain.end();
    if (beforeFilterIndex != -1) {
        pos =
            std::find_if(chain.begin(), chain.end(), [&](const ChainEntry& e) { return e.index == beforeFilterIndex; });
        if (pos == chain.end())
            return -1;
    }
    std::lock_guard<std::mutex> chainLock(fs.chainMutex);
    if (fs.chain != nullptr || shared()->consume("addFilter"))
        return -1;
    fs.chain = this;
    const int index = shared()->nextFilterIndex();
    chain.insert(pos, ChainEntry{index, filter});
    return index;
}

bool CameraState::removeFilter(int filterIndex, FrameType type)
{
    ++filterCallCount;
    if (!isValidFrameType(type))
        return false;
    FilterPtr removed;
    {
        std::lock_guard<std::mutex> lock(m_);
        auto& chain = chains[type];
        auto it = std::find_if(chain.begin(), chain.end(), [&](const ChainEntry& e) { return e.index == filterIndex; });
        if (!connected || it == chain.end() || shared()->consume("removeFilter"))
            return false;
        removed = it->filter;
        chain.erase(it);
        std::lock_guard<std::mutex> chainLock(removed->state()->chainMutex);
        removed->state()->chain = nullptr;
    }
    return true;
}

} // namespace Tavik::detail
