#include "host/engine/PointCloudRenderer.h"

#include <QColor>
#include <QPainter>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr float NEAR_PLANE = 0.05f; // metres in front of the viewer
constexpr float DISTANCE_FACTOR = 1.6f; // viewing distance per metre of the cloud's extent
constexpr float FOCAL_FACTOR = 0.9f; // focal length per pixel of the image's shorter side
constexpr float RAD = float(M_PI) / 180.f;
// The fit's ranges run between these fractions of the points, so that stray
// points (and those a wrapped phase puts right at the camera) set none of them.
constexpr double LOW_FRACTION = 0.05, HIGH_FRACTION = 0.95;

bool isValid(const Tavik::XYZIPoint& p)
{
    return p.z > 0.f && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

template <std::size_t N, class F> std::array<QRgb, N> makeTable(F colour)
{
    std::array<QRgb, N> table{};
    for (std::size_t i = 0; i < N; ++i)
        table[i] = colour(static_cast<double>(i) / (N - 1));
    return table;
}

const std::array<QRgb, 256>& depthTable()
{
    static const auto table = makeTable<256>([](double t) { return QColor::fromHsvF(0.66 * t, 1.0, 1.0).rgb(); });
    return table;
}

const std::array<QRgb, 256>& intensityTable()
{
    // The dark end stays above black, so that dim points still show.
    static const auto table = makeTable<256>([](double t) {
        const int g = static_cast<int>(std::lround(40 + 215 * t));
        return qRgb(g, g, g);
    });
    return table;
}

// 0..255 of t in [0, 1]; out-of-range values and NaN clamp (max(0, NaN) is 0).
int tableIndex(float t)
{
    return static_cast<int>(std::min(std::max(0.f, t), 1.f) * 255.f + 0.5f);
}

// Value at a fraction of the sorted samples.
float percentile(std::vector<float>& values, double fraction)
{
    const auto k = static_cast<std::size_t>(fraction * (values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

} // namespace

// Camera coordinates to image pixels: q = M p + t, then u = cx + f q.x / q.z.
struct PointCloudRenderer::View {
    float m[3][3];
    float t[3];
    float focal, cx, cy;
    int width, height;

    void toView(const float p[3], float q[3]) const
    {
        for (int r = 0; r < 3; ++r)
            q[r] = m[r][0] * p[0] + m[r][1] * p[1] + m[r][2] * p[2] + t[r];
    }
};

QRgb PointCloudRenderer::depthColor(float t)
{
    return depthTable()[tableIndex(t)];
}

QRgb PointCloudRenderer::intensityColor(float t)
{
    return intensityTable()[tableIndex(t)];
}

void PointCloudRenderer::reset()
{
    yawDegrees = DEFAULT_YAW;
    pitchDegrees = DEFAULT_PITCH;
    zoomFactor = 1.f;
    fitted.reset();
}

void PointCloudRenderer::setDepthLimits(float nearZ, float farZ)
{
    if (std::isnan(nearZ))
        nearZ = 0.f;
    if (std::isnan(farZ))
        farZ = std::numeric_limits<float>::infinity();
    nearLimit_ = std::min(nearZ, farZ);
    farLimit_ = std::max(nearZ, farZ);
}

void PointCloudRenderer::orbit(float yawStep, float pitchStep)
{
    if (!std::isfinite(yawStep) || !std::isfinite(pitchStep))
        return;
    yawDegrees = std::remainder(yawDegrees + yawStep, 360.f);
    pitchDegrees = std::clamp(pitchDegrees + pitchStep, -MAX_PITCH, MAX_PITCH);
}

void PointCloudRenderer::zoomBy(float factor)
{
    if (std::isfinite(factor) && factor > 0.f)
        zoomFactor = std::clamp(zoomFactor * factor, MIN_ZOOM, MAX_ZOOM);
}

std::optional<PointCloudRenderer::FieldOfView>
PointCloudRenderer::fieldOfView(const std::vector<Tavik::XYZIPoint>& points, int gridWidth)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    FieldOfView fov{inf, -inf, inf, -inf};
    bool any = false;
    auto take = [&](const Tavik::XYZIPoint& p) {
        if (!isValid(p))
            return;
        const float tx = p.x / p.z, ty = p.y / p.z;
        fov = {std::min(fov.left, tx), std::max(fov.right, tx), std::min(fov.top, ty), std::max(fov.bottom, ty)};
        any = true;
    };
    const std::size_t n = points.size();
    const std::size_t w = gridWidth > 0 ? static_cast<std::size_t>(gridWidth) : 0;
    if (w > 0 && n % w == 0 && n / w >= 2) {
        // The rays of a sensor grid spread most at its border.
        const std::size_t h = n / w;
        for (std::size_t x = 0; x < w; ++x) {
            take(points[x]);
            take(points[(h - 1) * w + x]);
        }
        for (std::size_t y = 1; y + 1 < h; ++y) {
            take(points[y * w]);
            take(points[y * w + w - 1]);
        }
    }
    if (!any)
        for (const auto& p : points)
            take(p);
    if (!any)
        return std::nullopt;
    return fov;
}

std::optional<PointCloudRenderer::Fit> PointCloudRenderer::fit(const std::vector<Tavik::XYZIPoint>& points)
{
    const std::size_t step = std::max<std::size_t>(1, points.size() / 8192);
    std::array<std::vector<float>, 4> samples;
    for (std::size_t i = 0; i < points.size(); i += step) {
        const auto& p = points[i];
        if (!isValid(p))
            continue;
        samples[0].push_back(p.x);
        samples[1].push_back(p.y);
        samples[2].push_back(p.z);
        samples[3].push_back(std::isfinite(p.i) ? p.i : 0.f);
    }
    if (samples[2].empty())
        return std::nullopt;

    Fit f{};
    float extent = 0.f;
    for (int axis = 0; axis < 3; ++axis) {
        const float lo = percentile(samples[axis], LOW_FRACTION), hi = percentile(samples[axis], HIGH_FRACTION);
        f.pivot[axis] = (lo + hi) / 2.f;
        extent = std::max(extent, hi - lo);
        if (axis == 2) {
            f.nearZ = lo;
            f.farZ = std::max(hi, lo + 0.1f);
        }
    }
    f.distance = std::max(extent, 0.5f) * DISTANCE_FACTOR;
    const float bright = percentile(samples[3], HIGH_FRACTION);
    f.brightIntensity = bright > 0.f ? bright : 1.f;
    return f;
}

PointCloudRenderer::View PointCloudRenderer::view(QSize size) const
{
    const float cy = std::cos(yawDegrees * RAD), sy = std::sin(yawDegrees * RAD);
    const float cp = std::cos(pitchDegrees * RAD), sp = std::sin(pitchDegrees * RAD);
    View v{};
    // Yaw about y, then pitch about x.
    const float m[3][3] = {{cy, 0.f, sy}, {sp * sy, cp, -sp * cy}, {-cp * sy, sp, cp * cy}};
    std::copy(&m[0][0], &m[0][0] + 9, &v.m[0][0]);
    for (int r = 0; r < 3; ++r)
        v.t[r] = -(m[r][0] * fitted->pivot[0] + m[r][1] * fitted->pivot[1] + m[r][2] * fitted->pivot[2]);
    v.t[2] += fitted->distance;
    v.width = size.width();
    v.height = size.height();
    v.focal = FOCAL_FACTOR * std::min(v.width, v.height) * zoomFactor;
    v.cx = v.width / 2.f;
    v.cy = v.height / 2.f;
    return v;
}

const QImage& PointCloudRenderer::render(const std::vector<Tavik::XYZIPoint>& points, int gridWidth, QSize size)
{
    size = size.expandedTo(QSize(1, 1));
    if (picture.size() != size)
        picture = QImage(size, QImage::Format_RGB32);
    // Too large to allocate: a null picture (Qt says so), nothing to draw into.
    if (picture.isNull())
        return picture;
    try {
        if (!fitted)
            fitted = fit(points);
        if (fitted)
            draw(points, gridWidth, size);
        else
            picture.fill(Qt::black);
    } catch (const std::bad_alloc&) {
        // The fit's samples or the depth buffer: a black picture rather than none.
        qWarning("PointCloudRenderer: not enough memory to draw %zu points at %dx%d", points.size(), size.width(),
                 size.height());
        keyBuffer = {};
        picture.fill(Qt::black);
    }
    return picture;
}

void PointCloudRenderer::draw(const std::vector<Tavik::XYZIPoint>& points, int gridWidth, QSize size)
{
    const View v = view(size);
    // Points as wide as their spacing on the image, so that surfaces stay
    // closed once zoomed in (the fitted cloud spans about focal / distance factor).
    const double across = gridWidth > 0 ? gridWidth : std::sqrt(points.size() * 4.0 / 3.0);
    const double spacing =
        FOCAL_FACTOR / DISTANCE_FACTOR * std::min(v.width, v.height) * zoomFactor / std::max(across, 1.0);
    splat = std::clamp(static_cast<int>(std::ceil(spacing)), 1, MAX_POINT_SIZE);
    drawPoints(points, v);

    if (cone)
        if (const auto fov = fieldOfView(points, gridWidth))
            drawCone(*fov, v);
}

namespace {

// What the point loop needs, by value, so that it stays in registers while
// the loop writes the buffers.
struct PointPass {
    float m[3][3], t[3];
    float focal, cx, cy;
    float uMax, vMax, half;
    int width; // of the key buffer
    bool byDepth;
    float nearZ, farZ; // depth limits
    float offset, scale;
    const QRgb* table;
    uint64_t* keys;
    uint64_t epoch; // of this picture, in place in a key
};

// A pixel's key, from the top: the picture it was drawn for (8 bits, counting
// down from picture to picture), the distance from the viewer (the 31 bits of
// a positive float, which order as the float does) and the colour's red,
// green and blue (opaque colours only). The nearest point of a pixel has the
// smallest key of its picture, and every key of an earlier picture is larger:
// the buffer needs no clearing between pictures.
constexpr int EPOCH_SHIFT = 55;
constexpr unsigned EMPTY_EPOCH = 255; // never drawn; pictures count 254 down to 0

inline uint64_t pixelKey(uint64_t epoch, uint32_t distanceBits, QRgb colour)
{
    return epoch | (static_cast<uint64_t>(distanceBits) << 24) | (colour & 0xffffffu);
}

inline uint32_t floatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// One projected point: its square of pixels from (iu, iv), each taken when
// the point is nearer than what the pixel holds (the depth test is a min).
template <int SPLAT> inline void plot(const PointPass& pass, int iu, int iv, uint64_t key)
{
    for (int dy = 0; dy < SPLAT; ++dy) {
        uint64_t* k = pass.keys + (iv + dy) * pass.width + iu;
        for (int dx = 0; dx < SPLAT; ++dx)
            k[dx] = std::min(k[dx], key);
    }
}

template <int SPLAT> void drawPointRange(const Tavik::XYZIPoint* p, const Tavik::XYZIPoint* end, const PointPass& pass)
{
    const auto& m = pass.m;
    for (; p != end; ++p) {
        if (!(p->z > 0.f && p->z >= pass.nearZ && p->z <= pass.farZ))
            continue;
        const float qz = m[2][0] * p->x + m[2][1] * p->y + m[2][2] * p->z + pass.t[2];
        if (!(qz > NEAR_PLANE))
            continue;
        const float inv = pass.focal / qz;
        const float u = pass.cx + (m[0][0] * p->x + m[0][1] * p->y + m[0][2] * p->z + pass.t[0]) * inv - pass.half;
        const float v = pass.cy + (m[1][0] * p->x + m[1][1] * p->y + m[1][2] * p->z + pass.t[1]) * inv - pass.half;
        // Also false for NaN.
        if (!(u >= 0.f && u < pass.uMax && v >= 0.f && v < pass.vMax))
            continue;
        // max(0, NaN) is 0: a NaN intensity takes the dark end.
        const float value = std::min(std::max(0.f, ((pass.byDepth ? p->z : p->i) - pass.offset) * pass.scale), 255.f);
        plot<SPLAT>(pass, static_cast<int>(u), static_cast<int>(v),
                    pixelKey(pass.epoch, floatBits(qz), pass.table[static_cast<int>(value + 0.5f)]));
    }
}

#if defined(__SSE2__)
// The same, four points at a time; returns where it stopped (a rest of fewer
// than four points is left to drawPointRange).
template <int SPLAT>
const Tavik::XYZIPoint* drawPointQuads(const Tavik::XYZIPoint* p, const Tavik::XYZIPoint* end, const PointPass& pass)
{
    static_assert(sizeof(Tavik::XYZIPoint) == 4 * sizeof(float), "one point is one SSE register");
    const auto& m = pass.m;
    const __m128 m00 = _mm_set1_ps(m[0][0]), m01 = _mm_set1_ps(m[0][1]), m02 = _mm_set1_ps(m[0][2]);
    const __m128 m10 = _mm_set1_ps(m[1][0]), m11 = _mm_set1_ps(m[1][1]), m12 = _mm_set1_ps(m[1][2]);
    const __m128 m20 = _mm_set1_ps(m[2][0]), m21 = _mm_set1_ps(m[2][1]), m22 = _mm_set1_ps(m[2][2]);
    const __m128 t0 = _mm_set1_ps(pass.t[0]), t1 = _mm_set1_ps(pass.t[1]), t2 = _mm_set1_ps(pass.t[2]);
    const __m128 focal = _mm_set1_ps(pass.focal);
    const __m128 cx = _mm_set1_ps(pass.cx - pass.half), cy = _mm_set1_ps(pass.cy - pass.half);
    const __m128 zero = _mm_setzero_ps(), nearPlane = _mm_set1_ps(NEAR_PLANE);
    const __m128 nearZ = _mm_set1_ps(pass.nearZ), farZ = _mm_set1_ps(pass.farZ);
    const __m128 uMax = _mm_set1_ps(pass.uMax), vMax = _mm_set1_ps(pass.vMax);
    const __m128 offset = _mm_set1_ps(pass.offset), scale = _mm_set1_ps(pass.scale);
    const __m128 top = _mm_set1_ps(255.f), round = _mm_set1_ps(0.5f);
    alignas(16) int iu[4], iv[4], colour[4];
    alignas(16) uint32_t distance[4];

    for (; end - p >= 4; p += 4) {
        __m128 x = _mm_loadu_ps(&p[0].x), y = _mm_loadu_ps(&p[1].x), z = _mm_loadu_ps(&p[2].x),
               i = _mm_loadu_ps(&p[3].x);
        _MM_TRANSPOSE4_PS(x, y, z, i);
        const __m128 qz =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(m20, x), _mm_mul_ps(m21, y)), _mm_add_ps(_mm_mul_ps(m22, z), t2));
        const __m128 inv = _mm_div_ps(focal, qz);
        const __m128 u = _mm_add_ps(cx,
                                    _mm_mul_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(m00, x), _mm_mul_ps(m01, y)),
                                                          _mm_add_ps(_mm_mul_ps(m02, z), t0)),
                                               inv));
        const __m128 v = _mm_add_ps(cy,
                                    _mm_mul_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(m10, x), _mm_mul_ps(m11, y)),
                                                          _mm_add_ps(_mm_mul_ps(m12, z), t1)),
                                               inv));
        // Comparisons with NaN are false: such points drop out here.
        const __m128 inFront = _mm_and_ps(_mm_cmpgt_ps(z, zero), _mm_cmpgt_ps(qz, nearPlane));
        const __m128 inLimits = _mm_and_ps(_mm_cmpge_ps(z, nearZ), _mm_cmple_ps(z, farZ));
        const __m128 inside = _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(u, zero), _mm_cmplt_ps(u, uMax)),
                                         _mm_and_ps(_mm_cmpge_ps(v, zero), _mm_cmplt_ps(v, vMax)));
        const int lanes = _mm_movemask_ps(_mm_and_ps(_mm_and_ps(inFront, inLimits), inside));
        if (!lanes)
            continue;
        // max(value, 0) gives 0 for NaN: a NaN intensity takes the dark end.
        const __m128 value =
            _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_sub_ps(pass.byDepth ? z : i, offset), scale), zero), top);
        _mm_store_si128(reinterpret_cast<__m128i*>(iu), _mm_cvttps_epi32(u));
        _mm_store_si128(reinterpret_cast<__m128i*>(iv), _mm_cvttps_epi32(v));
        _mm_store_si128(reinterpret_cast<__m128i*>(colour), _mm_cvttps_epi32(_mm_add_ps(value, round)));
        _mm_store_si128(reinterpret_cast<__m128i*>(distance), _mm_castps_si128(qz));
        for (int k = 0; k < 4; ++k)
            if (lanes & (1 << k))
                plot<SPLAT>(pass, iu[k], iv[k], pixelKey(pass.epoch, distance[k], pass.table[colour[k]]));
    }
    return p;
}
#endif

// The picture from the keys: the colours of those drawn for it (`epoch`),
// black elsewhere.
void keepColours(const uint64_t* keys, QRgb* pixels, std::size_t n, unsigned epoch)
{
    constexpr QRgb black = 0xff000000u;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i current = _mm_set1_epi32(static_cast<int>(epoch)), rgb = _mm_set1_epi32(0xffffff),
                  opaque = _mm_set1_epi32(static_cast<int>(black));
    for (; i + 4 <= n; i += 4) {
        const __m128 a = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + i)));
        const __m128 b = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + i + 2)));
        const __m128i low = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128i high = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
        const __m128i drawn = _mm_cmpeq_epi32(_mm_srli_epi32(high, EPOCH_SHIFT - 32), current);
        const __m128i colour = _mm_or_si128(_mm_and_si128(_mm_and_si128(low, rgb), drawn), opaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + i), colour);
    }
#endif
    for (; i < n; ++i)
        pixels[i] = keys[i] >> EPOCH_SHIFT == epoch ? black | (static_cast<QRgb>(keys[i]) & 0xffffffu) : black;
}

template <int SPLAT> void drawPointsSized(const std::vector<Tavik::XYZIPoint>& points, const PointPass& pass)
{
    const Tavik::XYZIPoint* p = points.data();
    const Tavik::XYZIPoint* const end = p + points.size();
#if defined(__SSE2__)
    p = drawPointQuads<SPLAT>(p, end, pass);
#endif
    drawPointRange<SPLAT>(p, end, pass);
}

} // namespace

void PointCloudRenderer::drawPoints(const std::vector<Tavik::XYZIPoint>& points, const View& v)
{
    const int w = v.width, h = v.height;
    const std::size_t n = static_cast<std::size_t>(w) * h;
    // The keys of earlier pictures count as empty; the buffer is cleared only
    // when its size changes or the count of pictures starts again.
    if (keyBuffer.size() != n || epoch == 0) {
        keyBuffer.assign(n, static_cast<uint64_t>(EMPTY_EPOCH) << EPOCH_SHIFT);
        epoch = EMPTY_EPOCH;
    }
    --epoch;

    PointPass pass{};
    std::copy(&v.m[0][0], &v.m[0][0] + 9, &pass.m[0][0]);
    std::copy(v.t, v.t + 3, pass.t);
    pass.focal = v.focal;
    pass.cx = v.cx;
    pass.cy = v.cy;
    // Points covering splat x splat pixels start half a point up and left.
    pass.half = (splat - 1) / 2.f;
    pass.uMax = static_cast<float>(w - splat + 1);
    pass.vMax = static_cast<float>(h - splat + 1);
    pass.width = w;
    pass.byDepth = mode_ == ColorMode::Depth;
    pass.nearZ = nearLimit_;
    pass.farZ = farLimit_;
    pass.table = (pass.byDepth ? depthTable() : intensityTable()).data();
    pass.offset = pass.byDepth ? fitted->nearZ : 0.f;
    pass.scale = 255.f / (pass.byDepth ? fitted->farZ - fitted->nearZ : fitted->brightIntensity);
    pass.keys = keyBuffer.data();
    pass.epoch = static_cast<uint64_t>(epoch) << EPOCH_SHIFT;

    switch (splat) {
    case 1: drawPointsSized<1>(points, pass); break;
    case 2: drawPointsSized<2>(points, pass); break;
    case 3: drawPointsSized<3>(points, pass); break;
    default: drawPointsSized<MAX_POINT_SIZE>(points, pass); break;
    }
    // The colours, the low halves of the keys; 32-bit pixels make a line of
    // the picture exactly `w` pixels long.
    keepColours(keyBuffer.data(), reinterpret_cast<QRgb*>(picture.bits()), n, epoch);
}

void PointCloudRenderer::drawCone(const FieldOfView& fov, const View& v)
{
    // From the camera's origin to the far end of the fitted depth range.
    const float far = fitted->farZ;
    const float apex[3] = {0.f, 0.f, 0.f};
    const float corners[4][3] = {{fov.left * far, fov.top * far, far},
                                 {fov.right * far, fov.top * far, far},
                                 {fov.right * far, fov.bottom * far, far},
                                 {fov.left * far, fov.bottom * far, far}};
    QPainter painter(&picture);
    painter.setPen(QPen(QColor(255, 255, 255, 170), 1.0));
    auto line = [&](const float a[3], const float b[3]) {
        float qa[3], qb[3];
        v.toView(a, qa);
        v.toView(b, qb);
        // Keep only the part in front of the near plane.
        if (qa[2] < NEAR_PLANE && qb[2] < NEAR_PLANE)
            return;
        auto clip = [&](float* q, const float* other) {
            if (q[2] >= NEAR_PLANE)
                return;
            const float s = (NEAR_PLANE - q[2]) / (other[2] - q[2]);
            for (int i = 0; i < 3; ++i)
                q[i] += s * (other[i] - q[i]);
        };
        clip(qa, qb);
        clip(qb, qa);
        painter.drawLine(QPointF(v.cx + v.focal * qa[0] / qa[2], v.cy + v.focal * qa[1] / qa[2]),
                         QPointF(v.cx + v.focal * qb[0] / qb[2], v.cy + v.focal * qb[1] / qb[2]));
    };
    for (int i = 0; i < 4; ++i) {
        line(apex, corners[i]);
        line(corners[i], corners[(i + 1) % 4]);
    }
}
