#include "Scene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace Tavik::detail {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int kPhaseCounts = 4096;
constexpr float kAmplitudeFullScale = 4095.f;
constexpr float kLowAmplitude = 12.f;
// Amplitude of a white surface at 1 m, head on, at the default settings.
constexpr float kAmplitudeAtOneMetre = 9000.f;

uint64_t splitmix(uint64_t& x)
{
    uint64_t z = (x += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// Normal deviates drawn once; per-pixel noise indexes the table with cheap
// random bits, which keeps a 320x240 frame set well under a millisecond of
// noise work.
const std::array<float, 4096>& normalTable()
{
    static const std::array<float, 4096> table = [] {
        std::array<float, 4096> t{};
        uint64_t x = 12345;
        for (std::size_t i = 0; i < t.size(); i += 2) {
            double u1 = (static_cast<double>(splitmix(x) >> 11) + 1.0) / 9007199254740993.0;
            double u2 = static_cast<double>(splitmix(x) >> 11) / 9007199254740992.0;
            double r = std::sqrt(-2.0 * std::log(u1));
            t[i] = static_cast<float>(r * std::cos(2.0 * 3.141592653589793 * u2));
            t[i + 1] = static_cast<float>(r * std::sin(2.0 * 3.141592653589793 * u2));
        }
        return t;
    }();
    return table;
}

const std::array<float, kPhaseCounts>& cosTable()
{
    static const std::array<float, kPhaseCounts> table = [] {
        std::array<float, kPhaseCounts> t{};
        for (int i = 0; i < kPhaseCounts; ++i)
            t[i] = std::cos(2.f * kPi * static_cast<float>(i) / kPhaseCounts);
        return t;
    }();
    return table;
}

struct Noise {
    explicit Noise(uint64_t seed) : state(seed ? seed : 1) {}
    uint64_t state;
    const std::array<float, 4096>& table = normalTable();
    float normal()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return table[(state * 0x2545f4914f6cdd1dull) >> 52];
    }
    // Four deviates from one draw, for the raw samples.
    void normals4(float* out)
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const uint64_t r = state * 0x2545f4914f6cdd1dull;
        out[0] = table[(r >> 52) & 4095];
        out[1] = table[(r >> 40) & 4095];
        out[2] = table[(r >> 28) & 4095];
        out[3] = table[(r >> 16) & 4095];
    }
    float uniform()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<float>((state * 0x2545f4914f6cdd1dull) >> 40) / 16777216.f;
    }
};

// Amplitude of a white surface at 1 m, head on, at these settings.
float amplitudeScale(const SceneSettings& s)
{
    const float powerFactor = s.illumPower <= 0 ? 0.f : (s.illumPower == 1 ? 0.45f : 1.f);
    return kAmplitudeAtOneMetre * (std::max(s.intgTime, 0.f) / 200.f) * (std::max(s.illumVolt, 0.f) / 2.5f)
        * powerFactor * std::clamp(s.mixVolt / 2.75f, 0.2f, 1.3f);
}

// Standard deviation of the distance noise at amplitude `a`: it grows as the
// amplitude falls.
float distanceNoise(float a)
{
    return std::min(4.f / std::max(a, 1.f), 1.f);
}

FramePtr newFrame(FrameType type, int64_t id, int64_t timestamp, int w, int h)
{
    auto f = std::make_shared<Frame>();
    f->type = type;
    f->id = id;
    f->timestamp = timestamp;
    f->width = w;
    f->height = h;
    return f;
}

} // namespace

void SceneRenderer::prepare(const SceneSettings& s, float fx, float fy)
{
    if (s.width == width_ && s.height == height_ && fx == fx_ && fy == fy_ && s.cx == cx_ && s.cy == cy_)
        return;
    width_ = s.width;
    height_ = s.height;
    fx_ = fx;
    fy_ = fy;
    cx_ = s.cx;
    cy_ = s.cy;
    pixels_.resize(static_cast<std::size_t>(width_) * height_);

    // Wall through (0, 0, 2.8) m, turned about both axes; floor 1.1 m below
    // the lens (image y points down).
    const float nx = 0.30f, ny = 0.10f, nz = -1.0f;
    const float nLen = std::sqrt(nx * nx + ny * ny + nz * nz);
    const float nDotP0 = nz * 2.8f;
    const float floorY = 1.1f;
    for (int v = 0; v < height_; ++v) {
        for (int u = 0; u < width_; ++u) {
            float x = (static_cast<float>(u) - cx_) / fx_;
            float y = (static_cast<float>(v) - cy_) / fy_;
            float len = std::sqrt(x * x + y * y + 1.f);
            Pixel& p = pixels_[static_cast<std::size_t>(v) * width_ + u];
            p.dx = x / len;
            p.dy = y / len;
            p.dz = 1.f / len;
            float denom = nx * p.dx + ny * p.dy + nz * p.dz;
            float tWall = denom < -1e-4f ? nDotP0 / denom : std::numeric_limits<float>::infinity();
            float tFloor = p.dy > 1e-4f ? floorY / p.dy : std::numeric_limits<float>::infinity();
            if (tWall <= tFloor && std::isfinite(tWall)) {
                p.dist = tWall;
                p.gain = 0.8f * (-denom / nLen);
            } else if (std::isfinite(tFloor)) {
                p.dist = tFloor;
                p.gain = 0.5f * p.dy;
            } else {
                p.dist = 0.f;
                p.gain = 0.f;
            }
        }
    }
}

void SceneRenderer::prepare(const SceneSettings& s)
{
    const int w = std::max(0, s.width);
    float fx = s.fx > 0.f ? s.fx : (s.fy > 0.f ? s.fy : static_cast<float>(w) / 2.f);
    float fy = s.fy > 0.f ? s.fy : fx;
    prepare(s, fx, fy);
}

SceneRenderer::Background SceneRenderer::background(const SceneSettings& s, int u, int v)
{
    prepare(s);
    if (u < 0 || v < 0 || u >= width_ || v >= height_)
        return {0.f, 0.f};
    const Pixel& p = pixels_[static_cast<std::size_t>(v) * width_ + u];
    if (p.dist <= 0.f)
        return {0.f, 0.f};
    return {p.dist, distanceNoise(amplitudeScale(s) * p.gain / (p.dist * p.dist))};
}

FrameSet SceneRenderer::render(const SceneSettings& s, int64_t id, int64_t timestamp)
{
    const int w = std::max(0, s.width), h = std::max(0, s.height);
    prepare(s);
    const float fx = fx_, fy = fy_;

    FrameSet set;
    set[FRAME_RAW_FRAME_UNPROCESSED] = newFrame(FRAME_RAW_FRAME_UNPROCESSED, id, timestamp, w, h);
    set[FRAME_RAW_FRAME_PROCESSED] = newFrame(FRAME_RAW_FRAME_PROCESSED, id, timestamp, w, h);
    set[FRAME_DEPTH_FRAME] = newFrame(FRAME_DEPTH_FRAME, id, timestamp, w, h);
    set[FRAME_XYZI_POINT_CLOUD_FRAME] = newFrame(FRAME_XYZI_POINT_CLOUD_FRAME, id, timestamp, w, h);
    Frame& raw = *set[FRAME_RAW_FRAME_UNPROCESSED];
    Frame& proc = *set[FRAME_RAW_FRAME_PROCESSED];
    Frame& depth = *set[FRAME_DEPTH_FRAME];
    Frame& cloud = *set[FRAME_XYZI_POINT_CLOUD_FRAME];

    const std::size_t n = static_cast<std::size_t>(w) * h;
    const int quads = std::clamp(s.quadCount, 1, 8);
    raw.subFrameCount = s.subFrameCount;
    raw.rawSamples.resize(n * quads);
    proc.phase.resize(n);
    proc.amplitude.resize(n);
    proc.flags.resize(n);
    depth.depth.resize(n);
    depth.amplitude.resize(n);
    cloud.points.resize(n);

    // The sphere wanders in front of the wall.
    const float t = static_cast<float>(s.time);
    const float scx = 0.55f * std::sin(0.9f * t);
    const float scy = 0.15f * std::sin(1.7f * t) - 0.05f;
    const float scz = 1.9f + 0.45f * std::sin(0.6f * t + 1.f);
    const float radius = 0.28f;
    const float c2 = scx * scx + scy * scy + scz * scz - radius * radius;
    // Its bounding box in the image, with a margin.
    const float pu = fx * scx / scz + cx_, pv = fy * scy / scz + cy_;
    const float pr = 1.3f * radius * std::max(fx, fy) / (scz - radius) + 2.f;
    const int u0 = std::max(0, static_cast<int>(pu - pr)), u1 = std::min(w - 1, static_cast<int>(pu + pr));
    const int v0 = std::max(0, static_cast<int>(pv - pr)), v1 = std::min(h - 1, static_cast<int>(pv + pr));

    const float ampScale = amplitudeScale(s);
    const float ambient = 40.f * std::max(s.intgTime, 0.f) / 200.f;
    const float range = s.range > 0.f ? s.range : 1.f;
    const float invRange = 1.f / range;
    const auto& cosT = cosTable();
    const int quadStep = kPhaseCounts / quads;
    Noise noise(s.noiseSeed * 0x9e3779b97f4a7c15ull + static_cast<uint64_t>(id) * 0xd1b54a32d192ed03ull + 1);

    for (int v = 0; v < h; ++v) {
        for (int u = 0; u < w; ++u) {
            const std::size_t i = static_cast<std::size_t>(v) * w + u;
            const Pixel& p = pixels_[i];
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
                r = dist + s.depthOffset + noise.normal() * distanceNoise(a);
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
                const float sv = base + 0.5f * am * cosT[(phase + k * quadStep) & (kPhaseCounts - 1)] + deviates[k] * 2.f;
                raw.rawSamples[k * n + i] = static_cast<uint16_t>(std::min(std::max(sv, 0.f), kAmplitudeFullScale));
            }
        }
    }
    return set;
}

} // namespace Tavik::detail
