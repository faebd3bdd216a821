#pragma once
// What the scene renderers share: the noise and cosine tables, the noise
// generator's step, the per-pixel geometry and the per-set constants.

#include "Scene.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tavik::detail {

constexpr int kPhaseCounts = 4096;
constexpr float kAmplitudeFullScale = 4095.f;
constexpr float kLowAmplitude = 12.f;

// Normal deviates drawn once; per-pixel noise indexes the table with cheap
// random bits.
const std::array<float, 4096>& normalTable();
// cos(2 pi i / 4096).
const std::array<float, kPhaseCounts>& cosTable();

// One step of the xorshift generator, and the multiplier whose product's top
// bits are drawn.
inline uint64_t noiseStep(uint64_t s)
{
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return s;
}
constexpr uint64_t kNoiseMultiplier = 0x2545f4914f6cdd1dull;

struct ScenePixel {
    float dx, dy, dz; // unit ray
    float dist; // distance to the wall or floor along the ray, metres
    float gain; // reflectivity times cosine of incidence
};

// The lens a geometry was computed for.
struct SceneLens {
    int width = 0, height = 0;
    float fx = 0, fy = 0, cx = 0, cy = 0;
    bool operator==(const SceneLens& o) const
    {
        return width == o.width && height == o.height && fx == o.fx && fy == o.fy && cx == o.cx && cy == o.cy;
    }
};

// Rays and the static scene (wall and floor) for every pixel, row-major.
std::vector<ScenePixel> sceneGeometry(const SceneLens& lens);

// Everything of one set that does not vary per pixel.
struct SetConstants {
    SceneLens lens;
    std::size_t pixels = 0;
    int quads = 4;
    int quadStep = kPhaseCounts / 4;
    // The sphere and its bounding box in the image.
    float scx = 0, scy = 0, scz = 0, radius = 0, c2 = 0;
    int u0 = 0, u1 = -1, v0 = 0, v1 = -1;
    float ampScale = 0, ambient = 0, range = 1, invRange = 1, depthOffset = 0;
    uint64_t noiseState = 1; // the generator's state before the set's first draw
};
SetConstants setConstants(const SceneSettings& s, int64_t id);

// Gives the four frames of a set their type, id, timestamp and size, and
// sizes the buffers of their type for rendering; the other buffers are
// emptied.
void shapeFrameSet(const FrameSet& set, const SetConstants& c, int64_t id, int64_t timestamp, int subFrameCount);

// A set of frames from make(type), shaped for rendering.
template <class Make>
FrameSet newFrameSet(Make make, const SetConstants& c, int64_t id, int64_t timestamp, int subFrameCount)
{
    FrameSet set;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        set[t] = make(t);
    shapeFrameSet(set, c, id, timestamp, subFrameCount);
    return set;
}

} // namespace Tavik::detail

namespace Tavik::detail {

// The renderer as it was before it was vectorised: fresh frames and one pixel
// at a time. Kept as the baseline of the benchmark and the yardstick of the
// test that the renderer in use gives the same frames.
class SceneRendererReference {
public:
    FrameSet render(const SceneSettings& s, int64_t id, int64_t timestamp);

private:
    std::vector<ScenePixel> pixels_;
    SceneLens lens_;
};

} // namespace Tavik::detail
