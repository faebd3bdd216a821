#pragma once
// Filters of a camera's per-frame-type filter chain.

#include "Tavik/Common.h"
#include "Tavik/Parameter.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Tavik {

namespace detail {
struct FilterState;
}

class Filter : public ParameterEngine, public std::enable_shared_from_this<Filter> {
public:
    ~Filter() override;

    // Full name, parts joined by "::", exactly as given to createFilter.
    const std::string& name() const;
    // The frame type the filter was made for.
    FrameType frameType() const;
    // Parameter name -> parameter, in the map's order.
    std::map<std::string, ParameterPtr> parameters() const;
    // Clears the filter's history (temporal filters); result unused.
    bool reset();

    Result<int32_t> seti(const std::string& name, int32_t value) override;
    Result<bool> setb(const std::string& name, bool value) override;
    Result<uint32_t> setu(const std::string& name, uint32_t value) override;
    Result<float> setf(const std::string& name, float value) override;

    // Applies the filter to one frame in place (called by the camera's capture
    // thread while the filter is in a chain).
    void apply(Frame& frame);

    // Implementation access.
    explicit Filter(std::shared_ptr<detail::FilterState> state);
    const std::shared_ptr<detail::FilterState>& state() const { return d_; }

private:
    std::shared_ptr<detail::FilterState> d_;
};

// Which frame types' chains a filter can stand in.
class FilterDescription {
public:
    FilterDescription();
    bool supports(FrameType type) const;

    // Filled by CameraSystem::getFilterDescription.
    void setSupported(FrameType type, bool supported);
    void clear();

private:
    unsigned supportedMask_ = 0;
};

} // namespace Tavik
