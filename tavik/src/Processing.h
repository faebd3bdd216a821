#pragma once
// The camera's processing between its frame types, as the filter chains see
// it: the depth frame is made from the processed frame's phase, the point
// cloud from the depth, each after the chain of the frame it is made from,
// so that what a filter does reaches the frames after it (a gated pixel has
// no depth and no point).

#include "SceneModel.h"
#include "Tavik/Filter.h"

#include <array>
#include <vector>

namespace Tavik::detail {

using FilterChains = std::array<std::vector<FilterPtr>, FRAME_TYPE_COUNT>;

class FrameProcessing {
public:
    // Applies every chain to its frame in frame-type order, the later frames
    // made anew where an earlier chain may have changed their source. A set
    // with no filters on the processed and depth frames stays as rendered.
    // `range` is the unambiguous range the phase spans, `lens` the lens the
    // set was rendered for.
    void apply(const FrameSet& set, const FilterChains& chains, const SceneLens& lens, float range);

    // Depth (metres, 0 where invalid) and its amplitude from the processed
    // frame: a pixel flagged, or of no amplitude, has no depth. A depth that
    // still matches the phase is kept as it is.
    static void depthFromPhase(const Frame& processed, Frame& depth, float range);
    // Points along the pixels' rays at their depth (z 0 where there is none),
    // with the depth frame's amplitude as intensity where it changed.
    static void pointsFromDepth(const Frame& depth, Frame& cloud, const std::vector<ScenePixel>& rays);

private:
    SceneLens raysLens_;
    std::vector<ScenePixel> rays_;
};

} // namespace Tavik::detail
