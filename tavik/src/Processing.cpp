#include "Processing.h"

#include <cstddef>

namespace Tavik::detail {

namespace {

constexpr float kCountMargin = 1.f / 64;

std::size_t pixelsOf(const Frame& f)
{
    return f.width > 0 && f.height > 0 ? static_cast<std::size_t>(f.width) * f.height : 0;
}

} // namespace

void FrameProcessing::apply(const FrameSet& set, const FilterChains& chains, const SceneLens& lens, float range)
{
    auto runChain = [&](FrameType type) {
        for (const auto& filter : chains[type])
            filter->apply(*set[type]);
    };
    runChain(FRAME_RAW_FRAME_UNPROCESSED);
    runChain(FRAME_RAW_FRAME_PROCESSED);
    const bool processedFiltered = !chains[FRAME_RAW_FRAME_PROCESSED].empty();
    if (processedFiltered)
        depthFromPhase(*set[FRAME_RAW_FRAME_PROCESSED], *set[FRAME_DEPTH_FRAME], range);
    runChain(FRAME_DEPTH_FRAME);
    if (processedFiltered || !chains[FRAME_DEPTH_FRAME].empty()) {
        if (!(lens == raysLens_) || rays_.empty()) {
            raysLens_ = lens;
            rays_ = sceneGeometry(lens);
        }
        pointsFromDepth(*set[FRAME_DEPTH_FRAME], *set[FRAME_XYZI_POINT_CLOUD_FRAME], rays_);
    }
    runChain(FRAME_XYZI_POINT_CLOUD_FRAME);
}

void FrameProcessing::depthFromPhase(const Frame& processed, Frame& depth, float range)
{
    const std::size_t n = pixelsOf(processed);
    if (n == 0 || pixelsOf(depth) != n || processed.phase.size() != n || processed.amplitude.size() != n
        || processed.flags.size() != n || depth.depth.size() != n || !(range > 0.f))
        return;
    const float invRange = 1.f / range;
    const float countWidth = range / kPhaseCounts;
    depth.amplitude.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const uint16_t phase = processed.phase[i];
        const uint16_t amplitude = processed.amplitude[i];
        depth.amplitude[i] = amplitude;
        float& d = depth.depth[i];
        if (processed.flags[i] != 0 || amplitude == 0) {
            d = 0.f;
            continue;
        }
        // The rendered depth is finer than a phase count: keep it while the
        // phase still says the same (a filter moves it by whole counts; the
        // margin covers the rounding of depth / range).
        const float counts = d * invRange * kPhaseCounts;
        if (d > 0.f && counts > phase - kCountMargin && counts < phase + 1 + kCountMargin)
            continue;
        d = (phase + 0.5f) * countWidth;
    }
}

void FrameProcessing::pointsFromDepth(const Frame& depth, Frame& cloud, const std::vector<ScenePixel>& rays)
{
    const std::size_t n = pixelsOf(depth);
    if (n == 0 || pixelsOf(cloud) != n || depth.depth.size() != n || depth.amplitude.size() != n
        || cloud.points.size() != n || rays.size() != n)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        const float d = depth.depth[i];
        const ScenePixel& ray = rays[i];
        XYZIPoint& p = cloud.points[i];
        // As the renderer makes them (z 0 marks no point).
        p.x = d * ray.dx;
        p.y = d * ray.dy;
        p.z = d * ray.dz;
        // The intensity is the unrounded amplitude: kept while it rounds to it.
        if (static_cast<int>(p.i + 0.5f) != depth.amplitude[i])
            p.i = depth.amplitude[i];
    }
}

} // namespace Tavik::detail
