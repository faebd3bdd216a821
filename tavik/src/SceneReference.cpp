#include "SceneModel.h"

#include <algorithm>
#include <cmath>

namespace Tavik::detail {

namespace {

struct Noise {
    explicit Noise(uint64_t seed)
        : state(seed ? seed : 1)
    {
    }
    uint64_t state;
    const std::array<float, 4096>& table = normalTable();
    float normal()
    {
        state = noiseStep(state);
        return table[(state * kNoiseMultiplier) >> 52];
    }
    // Four deviates from one draw, for the raw samples.
    void normals4(float* out)
    {
        state = noiseStep(state);
        const uint64_t r = state * kNoiseMultiplier;
        out[0] = table[(r >> 52) & 4095];
        out[1] = table[(r >> 40) & 4095];
        out[2] = table[(r >> 28) & 4095];
        out[3] = table[(r >> 16) & 4095];
    }
    float uniform()
    {
        state = noiseStep(state);
        return static_cast<float>((state * kNoiseMultiplier) >> 40) / 16777216.f;
    }
};

} // namespace

FrameSet SceneRendererReference::render(const SceneSettings& s, int64_t id, int64_t timestamp)
{
    const SetConstants c = setConstants(s, id);
    if (!(c.lens == lens_)) {
        lens_ = c.lens;
        pixels_ = sceneGeometry(lens_);
    }
    const int w = c.lens.width, h = c.lens.height;

    const FrameSet set =
        newFrameSet([](FrameType) { return std::make_shared<Frame>(); }, c, id, timestamp, s.subFrameCount);
    Frame& raw = *set[FRAME_RAW_FRAME_UNPROCESSED];
    Frame& proc = *set[FRAME_RAW_FRAME_PROCESSED];
    Frame& depth = *set[FRAME_DEPTH_FRAME];
    Frame& cloud = *set[FRAME_XYZI_POINT_CLOUD_FRAME];
    const std::size_t n = c.pixels;
    const int quads = c.quads;

    const float scx = c.scx, scy = c.scy, scz = c.scz, radius = c.radius, c2 = c.c2;
    const int u0 = c.u0, u1 = c.u1, v0 = c.v0, v1 = c.v1;
    const float ampScale = c.ampScale, ambient = c.ambient, range = c.range, invRange = c.invRange;
    const auto& cosT = cosTable();
    const int quadStep = c.quadStep;
    Noise noise(c.noiseState);

    for (int v = 0; v < h; ++v) {
        for (int u = 0; u < w; ++u) {
            const std::size_t i = static_cast<std::size_t>(v) * w + u;
            const ScenePixel& p = pixels_[i];
            float dist = p.dist;
            float gain = p.gain;
            if (u >= u0 && u <= u1 && v >= v0 && v <= v1) {
                float b = p.dx * scx + p.dy * scy + p.dz * scz;
                float disc = b * b - c2;
                if (disc > 0.f) {
                    float ts = b - std::sqrt(disc);
                    if (ts > 0.f && (dist <= 0.f || ts < dist)) {
                        dist = ts;
                        float nxs = (ts * p.dx - scx) / radius, nys = (ts * p.dy - scy) / radius,
                              nzs = (ts * p.dz - scz) / radius;
                        gain = 0.9f * std::max(0.f, -(nxs * p.dx + nys * p.dy + nzs * p.dz));
                    }
                }
            }
            const float a = dist > 0.f ? ampScale * gain / (dist * dist) : 0.f;
            float am = a + noise.normal() * (0.5f * std::sqrt(a) + 1.5f);
            am = std::min(std::max(am, 0.f), kAmplitudeFullScale);
            uint8_t flags = 0;
            if (am >= kAmplitudeFullScale)
                flags |= Frame::FLAG_SATURATED;
            if (am < kLowAmplitude)
                flags |= Frame::FLAG_LOW_AMPLITUDE;

            // Distance noise grows as the amplitude falls; no return at all
            // gives a random phase.
            float r;
            if (dist > 0.f) {
                float sigma = std::min(4.f / std::max(a, 1.f), 1.f);
                r = dist + c.depthOffset + noise.normal() * sigma;
            } else {
                r = noise.uniform() * range;
            }
            float frac = r * invRange;
            frac -= std::floor(frac);
            const int phase = std::min(static_cast<int>(frac * kPhaseCounts), kPhaseCounts - 1);
            const bool valid = flags == 0;
            const float d = valid ? frac * range : 0.f;
            const auto amp16 = static_cast<uint16_t>(am + 0.5f);

            proc.phase[i] = static_cast<uint16_t>(phase);
            proc.amplitude[i] = amp16;
            proc.flags[i] = flags;
            depth.depth[i] = d;
            depth.amplitude[i] = amp16;
            cloud.points[i] = XYZIPoint{d * p.dx, d * p.dy, d * p.dz, am};

            const float base = ambient + 0.5f * am;
            // One plane of samples per quad, each row-major.
            float deviates[8];
            noise.normals4(deviates);
            if (quads > 4)
                noise.normals4(deviates + 4);
            for (int k = 0; k < quads; ++k) {
                const float sv =
                    base + 0.5f * am * cosT[(phase + k * quadStep) & (kPhaseCounts - 1)] + deviates[k] * 2.f;
                raw.rawSamples[k * n + i] = static_cast<uint16_t>(std::min(std::max(sv, 0.f), kAmplitudeFullScale));
            }
        }
    }
    return set;
}

} // namespace Tavik::detail
