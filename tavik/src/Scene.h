#pragma once
// The synthetic time-of-flight scene: a tilted wall, a floor and a moving
// sphere, measured with noise that grows as the amplitude falls.

#include "Tavik/Frame.h"
#include "Tavik/FrameStream.h"

#include <cstdint>
#include <vector>

namespace Tavik::detail {

struct SceneSettings {
    int width = 320;
    int height = 240;
    // Lens calibration in pixels; a focal length of 0 falls back to the other.
    float fx = 200.f, fy = 200.f, cx = 160.f, cy = 120.f;
    float range = 3.9972f;      // unambiguous range, metres: where the phase wraps
    float intgTime = 200.f;     // us
    float illumVolt = 2.5f;     // V
    float mixVolt = 2.75f;      // V
    int illumPower = 2;         // 0 off, 1 low, 2 high
    float depthOffset = 0.f;    // metres
    int quadCount = 4;
    int subFrameCount = 2;
    double time = 0.0;          // scene time in seconds (moves the sphere)
    uint64_t noiseSeed = 1;
};

class SceneRenderer {
public:
    // Fills a fresh frame set (four new Frame objects) with id and timestamp.
    FrameSet render(const SceneSettings& s, int64_t id, int64_t timestamp);

    // The wall or floor behind pixel (u, v), which never moves: its distance
    // along the pixel's ray (metres, 0 for none) and the standard deviation of
    // the noise on that distance. Where the sphere passes it hides this.
    struct Background {
        float distance;
        float depthNoise;
    };
    Background background(const SceneSettings& s, int u, int v);

private:
    struct Pixel {
        float dx, dy, dz; // unit ray
        float dist;       // distance to the wall or floor along the ray, metres
        float gain;       // reflectivity times cosine of incidence
    };
    void prepare(const SceneSettings& s, float fx, float fy);
    void prepare(const SceneSettings& s);

    std::vector<Pixel> pixels_;
    int width_ = 0, height_ = 0;
    float fx_ = 0, fy_ = 0, cx_ = 0, cy_ = 0;
};

} // namespace Tavik::detail
