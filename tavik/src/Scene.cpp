#include "Scene.h"

#include "FramePool.h"
#include "SceneKernels.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tavik::detail {

namespace {

constexpr float kPi = 3.14159265358979f;
// Amplitude of a white surface at 1 m, head on, at the default settings.
constexpr float kAmplitudeAtOneMetre = 9000.f;

uint64_t splitmix(uint64_t& x)
{
    uint64_t z = (x += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

} // namespace

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

std::vector<ScenePixel> sceneGeometry(const SceneLens& lens)
{
    std::vector<ScenePixel> pixels(static_cast<std::size_t>(lens.width) * lens.height);
    // Wall through (0, 0, 2.8) m, turned about both axes; floor 1.1 m below
    // the lens (image y points down).
    const float nx = 0.30f, ny = 0.10f, nz = -1.0f;
    const float nLen = std::sqrt(nx * nx + ny * ny + nz * nz);
    const float nDotP0 = nz * 2.8f;
    const float floorY = 1.1f;
    for (int v = 0; v < lens.height; ++v) {
        for (int u = 0; u < lens.width; ++u) {
            float x = (static_cast<float>(u) - lens.cx) / lens.fx;
            float y = (static_cast<float>(v) - lens.cy) / lens.fy;
            float len = std::sqrt(x * x + y * y + 1.f);
            ScenePixel& p = pixels[static_cast<std::size_t>(v) * lens.width + u];
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
    return pixels;
}

SetConstants setConstants(const SceneSettings& s, int64_t id)
{
    SetConstants c;
    const int w = std::max(0, s.width), h = std::max(0, s.height);
    const float fx = s.fx > 0.f ? s.fx : (s.fy > 0.f ? s.fy : static_cast<float>(w) / 2.f);
    const float fy = s.fy > 0.f ? s.fy : fx;
    c.lens = SceneLens{w, h, fx, fy, s.cx, s.cy};
    c.pixels = static_cast<std::size_t>(w) * h;
    c.quads = std::clamp(s.quadCount, 1, 8);
    c.quadStep = kPhaseCounts / c.quads;

    // The sphere wanders in front of the wall.
    const float t = static_cast<float>(s.time);
    c.scx = 0.55f * std::sin(0.9f * t);
    c.scy = 0.15f * std::sin(1.7f * t) - 0.05f;
    c.scz = 1.9f + 0.45f * std::sin(0.6f * t + 1.f);
    c.radius = 0.28f;
    c.c2 = c.scx * c.scx + c.scy * c.scy + c.scz * c.scz - c.radius * c.radius;
    // Its bounding box in the image, with a margin.
    const float pu = fx * c.scx / c.scz + s.cx, pv = fy * c.scy / c.scz + s.cy;
    const float pr = 1.3f * c.radius * std::max(fx, fy) / (c.scz - c.radius) + 2.f;
    c.u0 = std::max(0, static_cast<int>(pu - pr));
    c.u1 = std::min(w - 1, static_cast<int>(pu + pr));
    c.v0 = std::max(0, static_cast<int>(pv - pr));
    c.v1 = std::min(h - 1, static_cast<int>(pv + pr));

    const float powerFactor = s.illumPower <= 0 ? 0.f : (s.illumPower == 1 ? 0.45f : 1.f);
    c.ampScale = kAmplitudeAtOneMetre * (std::max(s.intgTime, 0.f) / 200.f) * (std::max(s.illumVolt, 0.f) / 2.5f)
        * powerFactor * std::clamp(s.mixVolt / 2.75f, 0.2f, 1.3f);
    c.ambient = 40.f * std::max(s.intgTime, 0.f) / 200.f;
    c.range = s.range > 0.f ? s.range : 1.f;
    c.invRange = 1.f / c.range;
    c.depthOffset = s.depthOffset;
    c.noiseState = s.noiseSeed * 0x9e3779b97f4a7c15ull + static_cast<uint64_t>(id) * 0xd1b54a32d192ed03ull + 1;
    if (c.noiseState == 0)
        c.noiseState = 1;
    return c;
}

void shapeFrameSet(const FrameSet& set, const SetConstants& c, int64_t id, int64_t timestamp, int subFrameCount)
{
    for (FrameType type = 0; type < FRAME_TYPE_COUNT; ++type) {
        Frame& f = *set[type];
        f.type = type;
        f.id = id;
        f.timestamp = timestamp;
        f.width = c.lens.width;
        f.height = c.lens.height;
        f.subFrameCount = type == FRAME_RAW_FRAME_UNPROCESSED ? subFrameCount : 0;
        // resize keeps what a pooled frame's buffer holds: all of it is rendered anew.
        auto keep = [](auto& buffer, bool used, std::size_t size) {
            if (used)
                buffer.resize(size);
            else
                buffer.clear();
        };
        keep(f.rawSamples, type == FRAME_RAW_FRAME_UNPROCESSED, c.pixels * c.quads);
        keep(f.phase, type == FRAME_RAW_FRAME_PROCESSED, c.pixels);
        keep(f.flags, type == FRAME_RAW_FRAME_PROCESSED, c.pixels);
        keep(f.amplitude, type == FRAME_RAW_FRAME_PROCESSED || type == FRAME_DEPTH_FRAME, c.pixels);
        keep(f.depth, type == FRAME_DEPTH_FRAME, c.pixels);
        keep(f.points, type == FRAME_XYZI_POINT_CLOUD_FRAME, c.pixels);
    }
}

namespace {

// A linear map of the generator's state over GF(2): column b is the image of
// bit b.
using BitMatrix = std::array<uint64_t, 64>;

uint64_t mapState(const BitMatrix& m, uint64_t x)
{
    uint64_t y = 0;
    for (int b = 0; b < 64; ++b)
        y ^= m[b] & (0 - ((x >> b) & 1));
    return y;
}

// The generator stepped `steps` times.
BitMatrix noiseJump(uint64_t steps)
{
    BitMatrix result, power;
    for (int b = 0; b < 64; ++b) {
        result[b] = uint64_t{1} << b;
        power[b] = noiseStep(uint64_t{1} << b);
    }
    for (; steps; steps >>= 1) {
        BitMatrix next;
        if (steps & 1) {
            for (int b = 0; b < 64; ++b)
                next[b] = mapState(power, result[b]);
            result = next;
        }
        for (int b = 0; b < 64; ++b)
            next[b] = mapState(power, power[b]);
        power = next;
    }
    return result;
}

} // namespace

struct SceneRenderer::State {
    explicit State(bool wideVectors)
        : kernels(wideVectors && avx2SceneKernels() ? *avx2SceneKernels() : portableSceneKernels())
    {
    }

    const SceneKernels& kernels;
    // Two idle frames per type: a consumer that lets go of a set before the
    // next one is rendered needs one.
    std::shared_ptr<FramePool> pool = FramePool::create(2);
    SceneLens lens;
    bool prepared = false;
    Geometry geometry;
    QuadCosines cosines;
    uint64_t jumpSteps = 0;
    BitMatrix jump = noiseJump(0);
    StripeDraws draws{};

    void prepare(const SetConstants& c, uint64_t stripeSteps)
    {
        if (!prepared || !(c.lens == lens)) {
            prepared = true;
            lens = c.lens;
            const auto pixels = sceneGeometry(lens);
            for (auto* column : {&geometry.dx, &geometry.dy, &geometry.dz, &geometry.dist, &geometry.gain})
                column->assign(pixels.size() + kWidest, 0.f);
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                geometry.dx[i] = pixels[i].dx;
                geometry.dy[i] = pixels[i].dy;
                geometry.dz[i] = pixels[i].dz;
                geometry.dist[i] = pixels[i].dist;
                geometry.gain[i] = pixels[i].gain;
            }
        }
        cosines.prepare(c.quads, c.quadStep);
        if (stripeSteps != jumpSteps) {
            jumpSteps = stripeSteps;
            jump = noiseJump(stripeSteps);
        }
    }
};

SceneRenderer::SceneRenderer(bool wideVectors)
    : d_(std::make_unique<State>(wideVectors))
{
}

SceneRenderer::~SceneRenderer() = default;

SceneRenderer::Background SceneRenderer::background(const SceneSettings& s, int u, int v)
{
    const SetConstants c = setConstants(s, 0);
    if (u < 0 || v < 0 || u >= c.lens.width || v >= c.lens.height)
        return {0.f, 0.f};
    const ScenePixel p = sceneGeometry(c.lens)[static_cast<std::size_t>(v) * c.lens.width + u];
    if (p.dist <= 0.f)
        return {0.f, 0.f};
    // The amplitude and noise the kernels give a lit pixel of the static scene.
    const float a = c.ampScale * p.gain / (p.dist * p.dist);
    return {p.dist, std::min(4.f / std::max(a, 1.f), 1.f)};
}

FrameSet SceneRenderer::render(const SceneSettings& s, int64_t id, int64_t timestamp)
{
    const SetConstants c = setConstants(s, id);
    const int w = c.lens.width, h = c.lens.height;
    const bool eightQuads = c.quads > 4;
    const int stripeRows = (h + kLanes - 1) / kLanes;
    const int drawsPerPixel = eightQuads ? 4 : 3;
    State& st = *d_;
    st.prepare(c, static_cast<uint64_t>(drawsPerPixel) * stripeRows * w);

    const FrameSet set =
        newFrameSet([&st](FrameType t) { return st.pool->take(t); }, c, id, timestamp, s.subFrameCount);
    Frame& raw = *set[FRAME_RAW_FRAME_UNPROCESSED];
    Frame& proc = *set[FRAME_RAW_FRAME_PROCESSED];
    Frame& depth = *set[FRAME_DEPTH_FRAME];
    Frame& cloud = *set[FRAME_XYZI_POINT_CLOUD_FRAME];
    const std::size_t n = c.pixels;
    const Targets out{raw.rawSamples.data(),  n,
                      proc.phase.data(),      proc.amplitude.data(),
                      proc.flags.data(),      depth.depth.data(),
                      depth.amplitude.data(), cloud.points.data()};
    Scratch scratch;

    uint64_t state[kLanes];
    state[0] = c.noiseState;
    for (int j = 1; j < kLanes; ++j)
        state[j] = mapState(st.jump, state[j - 1]);
    for (int row = 0; row < stripeRows; ++row) {
        for (int x0 = 0; x0 < w; x0 += kBlock) {
            const int count = std::min(kBlock, w - x0);
            st.kernels.draw(state, st.draws, count, eightQuads);
            for (int j = 0; j < kLanes; ++j) {
                const int v = j * stripeRows + row;
                if (v < h)
                    st.kernels.shade(c, st.geometry, st.cosines, st.draws[j], v, x0, count, out, scratch);
            }
        }
    }
    return set;
}

} // namespace Tavik::detail
