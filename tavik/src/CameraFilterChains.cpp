// A camera's filter chains: adding a filter to the chain of a frame type and
// removing it again.

#include "Detail.h"

#include <algorithm>

namespace Tavik::detail {

int CameraState::addFilter(const FilterPtr& filter, FrameType type, int beforeFilterIndex, std::string* why)
{
    const auto refuse = [why](std::string reason) {
        if (why)
            *why = std::move(reason);
        return -1;
    };
    ++filterCallCount;
    if (!filter)
        return refuse("no filter given");
    if (!isValidFrameType(type))
        return refuse("no frame type " + std::to_string(type));
    std::lock_guard<std::mutex> lock(m_);
    FilterState& fs = *filter->state();
    auto& chain = chains[type];
    if (!connected)
        return refuse("the camera is not connected");
    if (fs.type != type)
        return refuse("the filter was made for " + frameTypesText(1u << fs.type) + " frames");
    if (chain.size() >= MAX_CHAIN_LENGTH)
        return refuse("a chain holds at most " + std::to_string(MAX_CHAIN_LENGTH) + " filters");
    auto pos = chain.end();
    if (beforeFilterIndex != -1) {
        pos =
            std::find_if(chain.begin(), chain.end(), [&](const ChainEntry& e) { return e.index == beforeFilterIndex; });
        if (pos == chain.end())
            return refuse("no filter of index " + std::to_string(beforeFilterIndex) + " in that chain");
    }
    std::lock_guard<std::mutex> chainLock(fs.chainMutex);
    if (fs.chain != nullptr)
        return refuse("the filter stands in a chain already");
    if (shared()->consume("addFilter"))
        return refuse("refused by the camera");
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
