#pragma once
// The synthetic time-of-flight scene: a tilted wall, a floor and a moving
// sphere, measured with noise that grows as the amplitude falls.

#include "Tavik/Frame.h"
#include "Tavik/FrameStream.h"

#include <cstdint>
#include <memory>

namespace Tavik::detail {

struct SceneSettings {
    int width = 320;
    int height = 240;
    // Lens calibration in pixels; a focal length of 0 falls back to the other.
    float fx = 200.f, fy = 200.f, cx = 160.f, cy = 120.f;
    float range = 3.9972f; // unambiguous range, metres: where the phase wraps
    float intgTime = 200.f; // us
    float illumVolt = 2.5f; // V
    float mixVolt = 2.75f; // V
    int illumPower = 2; // 0 off, 1 low, 2 high
    float depthOffset = 0.f; // metres
    int quadCount = 4;
    int subFrameCount = 2;
    double time = 0.0; // scene time in seconds (moves the sphere)
    uint64_t noiseSeed = 1;
};

class FramePool;

// Renders the scene into frames taken from a pool: a frame goes back to the
// pool when its last holder lets go, so a frame in use is never rendered into.
class SceneRenderer {
public:
    // wideVectors: use the AVX2 kernels where the processor has them.
    explicit SceneRenderer(bool wideVectors = true);
    ~SceneRenderer();
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;

    // Fills a frame set (four frames no one else holds) with id and timestamp.
    FrameSet render(const SceneSettings& s, int64_t id, int64_t timestamp);

    // The wall or floor behind pixel (u, v), which never moves: its distance
    // along the pixel's ray (metres, 0 for none) and the standard deviation of
    // the noise on that distance. Where the sphere passes it hides this.
    struct Background {
        float distance;
        float depthNoise;
    };
    static Background background(const SceneSettings& s, int u, int v);

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace Tavik::detail
