#pragma once
// The inner loops of the scene renderer: drawing the noise of a block of
// pixels for every stripe, and shading a row's pixels from it. A portable
// version and, where the processor has AVX2, a wider one; both give the
// reference renderer's values to the bit.

#include "SceneModel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tavik::detail {

// The image is rendered as kLanes horizontal stripes at once, each with its
// own run of the one noise sequence (started where the stripe's first pixel
// draws), so the generator's serial steps overlap. Stripes advance in blocks
// of kBlock pixels of one row.
constexpr int kLanes = 16;
constexpr int kBlock = 32;
// The widest vector of pixels a kernel shades at once.
constexpr int kWidest = 8;

// The noise of a block of pixels of one stripe: the generator's products,
// per pixel one for the amplitude, one for the distance and one or two for
// the raw samples. Their top bits index the table of normal deviates (one
// deviate for the amplitude, one for the distance or else 24 bits of a
// uniform value, four per raw-sample product).
struct LaneDraws {
    uint64_t products[4][kBlock];
};
using StripeDraws = std::array<LaneDraws, kLanes>;

struct Geometry {
    // Per pixel, padded by kWidest.
    std::vector<float> dx, dy, dz, dist, gain;
};

// Per phase, the cosines the quads sample, in rows of four or eight.
struct QuadCosines {
    int quads = 0;
    int rowLength = 4;
    std::vector<float> rows;
    void prepare(int forQuads, int quadStep);
};

// Where shaded pixels go: the frames' buffers, or the scratch.
struct Targets {
    uint16_t* raw;
    std::size_t rawPlane; // distance between the quads' planes
    uint16_t* phase;
    uint16_t* amplitude;
    uint8_t* flags;
    float* depth;
    uint16_t* depthAmplitude;
    XYZIPoint* points;
};

// The last pixels of a row that does not end on a whole vector.
struct Scratch {
    uint16_t raw[8 * kWidest];
    uint16_t phase[kWidest], amplitude[kWidest], depthAmplitude[kWidest];
    uint8_t flags[kWidest];
    float depth[kWidest];
    XYZIPoint points[kWidest];

    Targets targets();
    void copyTo(const Targets& out, std::size_t i, int count, int quads) const;
};

struct SceneKernels {
    // Draws `count` pixels for every stripe, advancing the stripes' states.
    void (*draw)(uint64_t* state, StripeDraws& draws, int count, bool eightQuads);
    // Shades pixels x0 .. x0 + count - 1 of row v from one stripe's draws.
    void (*shade)(const SetConstants& c, const Geometry& g, const QuadCosines& cosines, const LaneDraws& draws, int v,
                  int x0, int count, const Targets& out, Scratch& scratch);
};

const SceneKernels& portableSceneKernels();
// Null where the processor or the compiler has no AVX2.
const SceneKernels* avx2SceneKernels();

} // namespace Tavik::detail
