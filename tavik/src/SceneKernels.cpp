#include "SceneKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Tavik::detail {

void QuadCosines::prepare(int forQuads, int quadStep)
{
    if (forQuads == quads)
        return;
    quads = forQuads;
    rowLength = quads > 4 ? 8 : 4;
    rows.assign(static_cast<std::size_t>(kPhaseCounts) * rowLength, 0.f);
    const auto& cosT = cosTable();
    for (int phase = 0; phase < kPhaseCounts; ++phase)
        for (int k = 0; k < quads; ++k)
            rows[static_cast<std::size_t>(phase) * rowLength + k] = cosT[(phase + k * quadStep) & (kPhaseCounts - 1)];
}

Targets Scratch::targets()
{
    return {raw, kWidest, phase, amplitude, flags, depth, depthAmplitude, points};
}

void Scratch::copyTo(const Targets& out, std::size_t i, int count, int quads) const
{
    for (int k = 0; k < quads; ++k)
        std::copy_n(raw + kWidest * k, count, out.raw + k * out.rawPlane + i);
    std::copy_n(phase, count, out.phase + i);
    std::copy_n(amplitude, count, out.amplitude + i);
    std::copy_n(flags, count, out.flags + i);
    std::copy_n(depth, count, out.depth + i);
    std::copy_n(depthAmplitude, count, out.depthAmplitude + i);
    std::copy_n(points, count, out.points + i);
}

namespace {

// Portable kernels: the stripes' generators step by turns; pixels are shaded
// four at a time with the compiler's vector types.

template <int PerPixel> void drawBlock(uint64_t* state, StripeDraws& draws, int count)
{
    for (int p = 0; p < count; ++p)
        for (int j = 0; j < kLanes; ++j)
            for (int k = 0; k < PerPixel; ++k) {
                state[j] = noiseStep(state[j]);
                draws[j].products[k][p] = state[j] * kNoiseMultiplier;
            }
}

void draw(uint64_t* state, StripeDraws& draws, int count, bool eightQuads)
{
    if (eightQuads)
        drawBlock<4>(state, draws, count);
    else
        drawBlock<3>(state, draws, count);
}

using F4 = float __attribute__((vector_size(16)));
using I4 = int32_t __attribute__((vector_size(16)));

F4 splat(float x)
{
    return F4{x, x, x, x};
}
I4 splat(int32_t x)
{
    return I4{x, x, x, x};
}

// Four deviates from the table, indexed by bits shift .. shift + 11 of the
// products.
F4 normals4(const float* table, const uint64_t* r, int shift)
{
    return F4{table[(r[0] >> shift) & 4095], table[(r[1] >> shift) & 4095], table[(r[2] >> shift) & 4095],
              table[(r[3] >> shift) & 4095]};
}

template <class V, class T> V load4(const T* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Lane by lane: mask ? a : b.
F4 select(I4 mask, F4 a, F4 b)
{
    return (F4)((mask & (I4)a) | (~mask & (I4)b));
}

#if defined(__SSE2__)
// std::min(x, y) is (y < x) ? y : x, which is minps(y, x); likewise max.
F4 min4(F4 x, F4 y)
{
    return _mm_min_ps(y, x);
}
F4 max4(F4 x, F4 y)
{
    return _mm_max_ps(y, x);
}
F4 sqrt4(F4 x)
{
    return _mm_sqrt_ps(x);
}
void transpose4(F4& a, F4& b, F4& c, F4& d)
{
    _MM_TRANSPOSE4_PS(a, b, c, d);
}
// Four values of 0 .. 32767 to 16 bits, or of 0 .. 127 to 8 bits.
void store16(uint16_t* dst, I4 v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packs_epi32((__m128i)v, (__m128i)v));
}
void store8(uint8_t* dst, I4 v)
{
    const __m128i w = _mm_packs_epi32((__m128i)v, (__m128i)v);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(w, w));
    std::memcpy(dst, &bytes, 4);
}
#else
F4 min4(F4 x, F4 y)
{
    return select(y < x, y, x);
}
F4 max4(F4 x, F4 y)
{
    return select(x < y, y, x);
}
F4 sqrt4(F4 x)
{
    return F4{std::sqrt(x[0]), std::sqrt(x[1]), std::sqrt(x[2]), std::sqrt(x[3])};
}
void transpose4(F4& a, F4& b, F4& c, F4& d)
{
    const F4 r[4] = {a, b, c, d};
    a = F4{r[0][0], r[1][0], r[2][0], r[3][0]};
    b = F4{r[0][1], r[1][1], r[2][1], r[3][1]};
    c = F4{r[0][2], r[1][2], r[2][2], r[3][2]};
    d = F4{r[0][3], r[1][3], r[2][3], r[3][3]};
}
void store16(uint16_t* dst, I4 v)
{
    for (int l = 0; l < 4; ++l)
        dst[l] = static_cast<uint16_t>(v[l]);
}
void store8(uint8_t* dst, I4 v)
{
    for (int l = 0; l < 4; ++l)
        dst[l] = static_cast<uint8_t>(v[l]);
}
#endif

// std::floor, lane by lane, to the bit.
F4 floor4(F4 x)
{
    const I4 sign = splat(std::numeric_limits<int32_t>::min());
    F4 t = __builtin_convertvector(__builtin_convertvector(x, I4), F4);
    t = (F4)((I4)t | ((I4)x & sign)); // the floor of -0 is -0
    const F4 down = select(t > x, t - splat(1.f), t);
    // From 2^23 on every float is whole (and NaN stays NaN).
    const F4 magnitude = (F4)((I4)x & ~sign);
    return select(magnitude < splat(8388608.f), down, x);
}

// Pixels x0 .. x0 + count - 1 of row v, with their noise in the stripe's
// draws. The same arithmetic as the reference renderer in the same order, so
// the frames agree to the bit. Quads is the quad count, or 0 for c.quads.
template <int Quads>
void shadeRow(const SetConstants& c, const Geometry& g, const QuadCosines& qc, const LaneDraws& nd, int v, int x0,
              int count, const Targets& out, Scratch& scratch)
{
    const int quads = Quads ? Quads : c.quads;
    const float* table = normalTable().data();
    const F4 zero = splat(0.f), one = splat(1.f), half = splat(0.5f), fullScale = splat(kAmplitudeFullScale);
    const F4 scx = splat(c.scx), scy = splat(c.scy), scz = splat(c.scz), radius = splat(c.radius);
    const F4 ampScale = splat(c.ampScale), ambient = splat(c.ambient), depthOffset = splat(c.depthOffset);
    const F4 range = splat(c.range), invRange = splat(c.invRange);
    const I4 maxPhase = splat(kPhaseCounts - 1);
    const bool sphereRow = v >= c.v0 && v <= c.v1;
    const std::size_t rowStart = static_cast<std::size_t>(v) * c.lens.width + x0;
    const Targets tail = scratch.targets();

    for (int p = 0; p < count; p += 4) {
        // The last pixels of a row that ends inside a vector go to the scratch.
        const bool whole = p + 4 <= count;
        const Targets& to = whole ? out : tail;
        const std::size_t o = whole ? rowStart + p : 0;
        const std::size_t i = rowStart + p;
        const int u = x0 + p;
        const F4 dx = load4<F4>(&g.dx[i]), dy = load4<F4>(&g.dy[i]), dz = load4<F4>(&g.dz[i]);
        F4 dist = load4<F4>(&g.dist[i]);
        F4 gain = load4<F4>(&g.gain[i]);

        if (sphereRow && u + 3 >= c.u0 && u <= c.u1) {
            const I4 us = splat(u) + I4{0, 1, 2, 3};
            const F4 b = dx * scx + dy * scy + dz * scz;
            const F4 disc = b * b - splat(c.c2);
            I4 hit = (us >= splat(c.u0)) & (us <= splat(c.u1)) & (disc > zero);
            const F4 ts = b - sqrt4(select(hit, disc, zero));
            hit &= (ts > zero) & ((dist <= zero) | (ts < dist));
            const F4 nxs = (ts * dx - scx) / radius, nys = (ts * dy - scy) / radius, nzs = (ts * dz - scz) / radius;
            dist = select(hit, ts, dist);
            gain = select(hit, splat(0.9f) * max4(zero, -(nxs * dx + nys * dy + nzs * dz)), gain);
        }

        const I4 lit = dist > zero;
        const F4 a = select(lit, ampScale * gain / (dist * dist), zero);
        F4 am = a + normals4(table, &nd.products[0][p], 52) * (half * sqrt4(a) + splat(1.5f));
        am = min4(max4(am, zero), fullScale);
        const I4 flags = ((am >= fullScale) & splat(int32_t{Frame::FLAG_SATURATED}))
            | ((am < splat(kLowAmplitude)) & splat(int32_t{Frame::FLAG_LOW_AMPLITUDE}));

        // Distance noise grows as the amplitude falls; no return at all gives
        // a random phase.
        const F4 sigma = min4(splat(4.f) / max4(a, one), one);
        const uint64_t* r1 = &nd.products[1][p];
        const I4 bits{static_cast<int32_t>(r1[0] >> 40), static_cast<int32_t>(r1[1] >> 40),
                      static_cast<int32_t>(r1[2] >> 40), static_cast<int32_t>(r1[3] >> 40)};
        const F4 uniform = __builtin_convertvector(bits, F4) * splat(1.f / 16777216.f);
        const F4 r = select(lit, dist + depthOffset + normals4(table, r1, 52) * sigma, uniform * range);
        F4 frac = r * invRange;
        frac -= floor4(frac);
        I4 phase = __builtin_convertvector(frac * splat(static_cast<float>(kPhaseCounts)), I4);
        const I4 over = phase > maxPhase;
        phase = (phase & ~over) | (maxPhase & over);
        const F4 d = select(flags == splat(0), frac * range, zero);
        const I4 amp16 = __builtin_convertvector(am + half, I4);

        store16(to.phase + o, phase);
        store16(to.amplitude + o, amp16);
        store8(to.flags + o, flags);
        std::memcpy(to.depth + o, &d, sizeof d);
        store16(to.depthAmplitude + o, amp16);
        F4 x = d * dx, y = d * dy, z = d * dz, intensity = am;
        transpose4(x, y, z, intensity);
        char* points = static_cast<char*>(static_cast<void*>(to.points + o));
        std::memcpy(points, &x, sizeof x);
        std::memcpy(points + 16, &y, sizeof y);
        std::memcpy(points + 32, &z, sizeof z);
        std::memcpy(points + 48, &intensity, sizeof intensity);

        // One plane of samples per quad, each row-major.
        int32_t phases[4];
        std::memcpy(phases, &phase, sizeof phases);
        const F4 halfAm = half * am;
        const F4 base = ambient + halfAm;
        for (int k0 = 0; k0 < quads; k0 += 4) {
            F4 cosine[4];
            for (int l = 0; l < 4; ++l)
                cosine[l] = load4<F4>(&qc.rows[static_cast<std::size_t>(phases[l]) * qc.rowLength + k0]);
            transpose4(cosine[0], cosine[1], cosine[2], cosine[3]);
            for (int k = 0; k < 4 && k0 + k < quads; ++k) {
                const F4 deviate = normals4(table, &nd.products[2 + (k0 + k) / 4][p], 52 - 12 * ((k0 + k) % 4));
                const F4 sv = base + halfAm * cosine[k] + deviate * splat(2.f);
                store16(to.raw + (k0 + k) * to.rawPlane + o,
                        __builtin_convertvector(min4(max4(sv, zero), fullScale), I4));
            }
        }
        if (!whole)
            scratch.copyTo(out, i, count - p, quads);
    }
}

void shade(const SetConstants& c, const Geometry& g, const QuadCosines& cosines, const LaneDraws& draws, int v, int x0,
           int count, const Targets& out, Scratch& scratch)
{
    if (c.quads == 4)
        shadeRow<4>(c, g, cosines, draws, v, x0, count, out, scratch);
    else
        shadeRow<0>(c, g, cosines, draws, v, x0, count, out, scratch);
}

} // namespace

const SceneKernels& portableSceneKernels()
{
    static const SceneKernels kernels{draw, shade};
    return kernels;
}

} // namespace Tavik::detail
