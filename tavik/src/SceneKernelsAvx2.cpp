#include "SceneKernels.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <cstring>

// Only these functions use AVX2; the library as a whole runs on any x86-64.
#define TAVIK_AVX2 __attribute__((target("avx2,bmi,bmi2")))

namespace Tavik::detail {

namespace {

// --- Noise: four stripes per register, 64-bit lanes ---------------------------

TAVIK_AVX2 inline __m256i noiseStep4(__m256i s)
{
    s = _mm256_xor_si256(s, _mm256_srli_epi64(s, 12));
    s = _mm256_xor_si256(s, _mm256_slli_epi64(s, 25));
    return _mm256_xor_si256(s, _mm256_srli_epi64(s, 27));
}

// s * kNoiseMultiplier modulo 2^64, from 32-bit products.
TAVIK_AVX2 inline __m256i noiseProduct4(__m256i s)
{
    const __m256i low = _mm256_set1_epi64x(static_cast<int64_t>(kNoiseMultiplier & 0xffffffffu));
    const __m256i high = _mm256_set1_epi64x(static_cast<int64_t>(kNoiseMultiplier >> 32));
    const __m256i cross = _mm256_add_epi64(_mm256_mul_epu32(_mm256_srli_epi64(s, 32), low), _mm256_mul_epu32(s, high));
    return _mm256_add_epi64(_mm256_mul_epu32(s, low), _mm256_slli_epi64(cross, 32));
}

// One draw of all sixteen stripes.
TAVIK_AVX2 inline __attribute__((always_inline)) void drawAll(__m256i (&s)[4], __m256i (&products)[4])
{
    s[0] = noiseStep4(s[0]);
    s[1] = noiseStep4(s[1]);
    s[2] = noiseStep4(s[2]);
    s[3] = noiseStep4(s[3]);
    products[0] = noiseProduct4(s[0]);
    products[1] = noiseProduct4(s[1]);
    products[2] = noiseProduct4(s[2]);
    products[3] = noiseProduct4(s[3]);
}

// Products of four pixels of four stripes, pixel by stripe, to the stripes'
// draws, stripe by pixel.
TAVIK_AVX2 inline __attribute__((always_inline)) void
storeTransposed(__m256i a, __m256i b, __m256i c, __m256i d, uint64_t* s0, uint64_t* s1, uint64_t* s2, uint64_t* s3)
{
    const __m256i t0 = _mm256_unpacklo_epi64(a, b), t1 = _mm256_unpackhi_epi64(a, b);
    const __m256i t2 = _mm256_unpacklo_epi64(c, d), t3 = _mm256_unpackhi_epi64(c, d);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s0), _mm256_permute2x128_si256(t0, t2, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s1), _mm256_permute2x128_si256(t1, t3, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s2), _mm256_permute2x128_si256(t0, t2, 0x31));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s3), _mm256_permute2x128_si256(t1, t3, 0x31));
}

// Four groups of four stripes, four pixels at a time.
TAVIK_AVX2 void draw(uint64_t* state, StripeDraws& draws, int count, bool eightQuads)
{
    static_assert(kLanes == 16 && kBlock % 4 == 0, "four registers of four stripes, whole groups of four pixels");
    const int perPixel = eightQuads ? 4 : 3;
    __m256i s[4];
    std::memcpy(s, state, sizeof s);
    for (int p0 = 0; p0 < count; p0 += 4) {
        __m256i r[4][4][4]; // draw, pixel, group
        for (int q = 0; q < 4; ++q)
            for (int k = 0; k < perPixel; ++k) {
                if (p0 + q < count)
                    drawAll(s, r[k][q]);
                else // past the block: the stripes' states stay where they are
                    r[k][q][0] = r[k][q][1] = r[k][q][2] = r[k][q][3] = _mm256_setzero_si256();
            }
        for (int k = 0; k < perPixel; ++k)
            for (int g = 0; g < 4; ++g)
                storeTransposed(r[k][0][g], r[k][1][g], r[k][2][g], r[k][3][g], &draws[4 * g].products[k][p0],
                                &draws[4 * g + 1].products[k][p0], &draws[4 * g + 2].products[k][p0],
                                &draws[4 * g + 3].products[k][p0]);
    }
    std::memcpy(state, s, sizeof s);
}

// --- Shading: eight pixels of a row ------------------------------------------

TAVIK_AVX2 inline __m256 splat8(float x)
{
    return _mm256_set1_ps(x);
}

// Eight deviates from the table, indexed by bits shift .. shift + 11 of the
// products.
template <int Shift>
TAVIK_AVX2 inline __attribute__((always_inline)) __m256 normals8(const float* table, const uint64_t* r)
{
    return _mm256_setr_ps(table[(r[0] >> Shift) & 4095], table[(r[1] >> Shift) & 4095], table[(r[2] >> Shift) & 4095],
                          table[(r[3] >> Shift) & 4095], table[(r[4] >> Shift) & 4095], table[(r[5] >> Shift) & 4095],
                          table[(r[6] >> Shift) & 4095], table[(r[7] >> Shift) & 4095]);
}

// Bits 40 .. 63 of eight products.
TAVIK_AVX2 inline __m256i uniformBits8(const uint64_t* r)
{
    const __m256i low = _mm256_srli_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(r)), 40);
    const __m256i high = _mm256_srli_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(r + 4)), 40);
    const __m256i evens = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    return _mm256_blend_epi32(_mm256_permutevar8x32_epi32(low, evens), _mm256_permutevar8x32_epi32(high, evens), 0xf0);
}
TAVIK_AVX2 inline __m256 load8(const float* p)
{
    return _mm256_loadu_ps(p);
}
TAVIK_AVX2 inline __m256 select8(__m256 mask, __m256 a, __m256 b)
{
    return _mm256_blendv_ps(b, a, mask);
}
// std::min(x, y) is (y < x) ? y : x, which is minps(y, x); likewise max.
TAVIK_AVX2 inline __m256 min8(__m256 x, __m256 y)
{
    return _mm256_min_ps(y, x);
}
TAVIK_AVX2 inline __m256 max8(__m256 x, __m256 y)
{
    return _mm256_max_ps(y, x);
}
TAVIK_AVX2 inline __m256 less8(__m256 a, __m256 b)
{
    return _mm256_cmp_ps(a, b, _CMP_LT_OQ);
}
TAVIK_AVX2 inline __m256 asFloat(__m256i v)
{
    return _mm256_castsi256_ps(v);
}
TAVIK_AVX2 inline __m256i asInt(__m256 v)
{
    return _mm256_castps_si256(v);
}

// Eight values of 0 .. 32767 to 16 bits, of 0 .. 127 to 8 bits.
TAVIK_AVX2 inline void store16(uint16_t* dst, __m256i v)
{
    const __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), packed);
}
TAVIK_AVX2 inline void store8(uint8_t* dst, __m256i v)
{
    const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(words, words));
}

// Two 4 x 4 transposes, one per half.
TAVIK_AVX2 inline void transpose4x2(__m256 (&m)[4])
{
    const __m256 t0 = _mm256_unpacklo_ps(m[0], m[1]), t1 = _mm256_unpackhi_ps(m[0], m[1]);
    const __m256 t2 = _mm256_unpacklo_ps(m[2], m[3]), t3 = _mm256_unpackhi_ps(m[2], m[3]);
    m[0] = _mm256_shuffle_ps(t0, t2, 0x44);
    m[1] = _mm256_shuffle_ps(t0, t2, 0xee);
    m[2] = _mm256_shuffle_ps(t1, t3, 0x44);
    m[3] = _mm256_shuffle_ps(t1, t3, 0xee);
}

// x, y, z and intensity of eight pixels as eight points.
TAVIK_AVX2 inline void storePoints(XYZIPoint* dst, __m256 x, __m256 y, __m256 z, __m256 i)
{
    __m256 m[4] = {x, y, z, i};
    transpose4x2(m); // points 0 and 4, 1 and 5, ...
    float* out = &dst->x;
    _mm256_storeu_ps(out, _mm256_permute2f128_ps(m[0], m[1], 0x20));
    _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(m[2], m[3], 0x20));
    _mm256_storeu_ps(out + 16, _mm256_permute2f128_ps(m[0], m[1], 0x31));
    _mm256_storeu_ps(out + 24, _mm256_permute2f128_ps(m[2], m[3], 0x31));
}

// The cosines of pixels l and l + 4: rows of the table.
TAVIK_AVX2 inline __attribute__((always_inline)) __m256 cosineRows(const float* cosines, const int32_t* phases,
                                                                   int rowLength, int l)
{
    const __m128 first = _mm_loadu_ps(&cosines[static_cast<std::size_t>(phases[l]) * rowLength]);
    const __m128 second = _mm_loadu_ps(&cosines[static_cast<std::size_t>(phases[l + 4]) * rowLength]);
    return _mm256_insertf128_ps(_mm256_castps128_ps256(first), second, 1);
}

TAVIK_AVX2 inline __attribute__((always_inline)) void storeSamples(uint16_t* plane, __m256 halfAm, __m256 base,
                                                                   __m256 cosine, __m256 deviate)
{
    const __m256 sv =
        _mm256_add_ps(_mm256_add_ps(base, _mm256_mul_ps(halfAm, cosine)), _mm256_mul_ps(deviate, splat8(2.f)));
    store16(plane, _mm256_cvttps_epi32(min8(max8(sv, _mm256_setzero_ps()), splat8(kAmplitudeFullScale))));
}

// The samples of up to four quads of eight pixels, from the four deviates of
// one product each; the cosines of a pixel's phase for these quads are a row
// of the table.
TAVIK_AVX2 inline __attribute__((always_inline)) void quadSamples(const float* table, const float* cosines,
                                                                  const int32_t* phases, int rowLength, int quads,
                                                                  __m256 halfAm, __m256 base, const uint64_t* product,
                                                                  uint16_t* plane, std::size_t planeStride)
{
    __m256 cosine[4] = {cosineRows(cosines, phases, rowLength, 0), cosineRows(cosines, phases, rowLength, 1),
                        cosineRows(cosines, phases, rowLength, 2), cosineRows(cosines, phases, rowLength, 3)};
    transpose4x2(cosine);
    storeSamples(plane, halfAm, base, cosine[0], normals8<52>(table, product));
    if (quads > 1)
        storeSamples(plane + planeStride, halfAm, base, cosine[1], normals8<40>(table, product));
    if (quads > 2)
        storeSamples(plane + 2 * planeStride, halfAm, base, cosine[2], normals8<28>(table, product));
    if (quads > 3)
        storeSamples(plane + 3 * planeStride, halfAm, base, cosine[3], normals8<16>(table, product));
}

// The raw samples of a row's pixels from their amplitudes and phases. Quads
// is the quad count, or 0 for c.quads.
template <int Quads, class Target, class At>
TAVIK_AVX2 void rawSamples(const SetConstants& c, const QuadCosines& cosines, const LaneDraws& nd, int count,
                           const float* ams, const int32_t* phases, Target target, At at)
{
    const int quads = Quads ? Quads : c.quads;
    const float* table = normalTable().data();
    const __m256 half = splat8(0.5f), ambient = splat8(c.ambient);
    for (int p = 0; p < count; p += 8) {
        const __m256 halfAm = _mm256_mul_ps(half, load8(ams + p));
        const __m256 base = _mm256_add_ps(ambient, halfAm);
        const Targets& to = target(p);
        for (int k0 = 0; k0 < quads; k0 += 4)
            quadSamples(table, cosines.rows.data() + k0, phases + p, cosines.rowLength, quads - k0, halfAm, base,
                        &nd.products[2 + k0 / 4][p], to.raw + k0 * to.rawPlane + at(p), to.rawPlane);
    }
}

// Pixels x0 .. x0 + count - 1 of row v. The same arithmetic as the reference
// renderer in the same order, so the frames agree to the bit. Three passes
// over the row, each with short chains of dependent steps, so that the
// processor works on many vectors of pixels at once.
TAVIK_AVX2 void shade(const SetConstants& c, const Geometry& g, const QuadCosines& cosines, const LaneDraws& nd, int v,
                      int x0, int count, const Targets& out, Scratch& scratch)
{
    const __m256 zero = _mm256_setzero_ps(), one = splat8(1.f), half = splat8(0.5f);
    const __m256 fullScale = splat8(kAmplitudeFullScale);
    const float* table = normalTable().data();
    const std::size_t rowStart = static_cast<std::size_t>(v) * c.lens.width + x0;
    const float* dx = &g.dx[rowStart];
    const float* dy = &g.dy[rowStart];
    const float* dz = &g.dz[rowStart];
    // The last pixels of a row that ends inside a vector go to the scratch.
    const Targets tail = scratch.targets();
    auto target = [&](int p) -> const Targets& { return p + 8 <= count ? out : tail; };
    auto at = [&](int p) { return p + 8 <= count ? rowStart + p : std::size_t{0}; };
    // What the passes hand on, per pixel.
    float dists[kBlock], amplitudes[kBlock], ams[kBlock];
    int32_t flagsOf[kBlock], phases[kBlock];

    // Distance and gain, the sphere in front; amplitude and flags.
    const __m256 scx = splat8(c.scx), scy = splat8(c.scy), scz = splat8(c.scz), radius = splat8(c.radius);
    const __m256 ampScale = splat8(c.ampScale);
    const __m256i firstU = _mm256_set1_epi32(c.u0 - 1), lastU = _mm256_set1_epi32(c.u1 + 1);
    const bool sphereRow = v >= c.v0 && v <= c.v1;
    for (int p = 0; p < count; p += 8) {
        const __m256 x = load8(dx + p), y = load8(dy + p), z = load8(dz + p);
        __m256 dist = load8(&g.dist[rowStart + p]);
        __m256 gain = load8(&g.gain[rowStart + p]);
        const int u = x0 + p;
        if (sphereRow && u + 7 >= c.u0 && u <= c.u1) {
            const __m256i us = _mm256_add_epi32(_mm256_set1_epi32(u), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
            const __m256i inBox = _mm256_and_si256(_mm256_cmpgt_epi32(us, firstU), _mm256_cmpgt_epi32(lastU, us));
            const __m256 b =
                _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, scx), _mm256_mul_ps(y, scy)), _mm256_mul_ps(z, scz));
            const __m256 disc = _mm256_sub_ps(_mm256_mul_ps(b, b), splat8(c.c2));
            __m256 hit = _mm256_and_ps(asFloat(inBox), less8(zero, disc));
            const __m256 ts = _mm256_sub_ps(b, _mm256_sqrt_ps(select8(hit, disc, zero)));
            const __m256 nearer = _mm256_or_ps(_mm256_cmp_ps(dist, zero, _CMP_LE_OQ), less8(ts, dist));
            hit = _mm256_and_ps(hit, _mm256_and_ps(less8(zero, ts), nearer));
            const __m256 nxs = _mm256_div_ps(_mm256_sub_ps(_mm256_mul_ps(ts, x), scx), radius);
            const __m256 nys = _mm256_div_ps(_mm256_sub_ps(_mm256_mul_ps(ts, y), scy), radius);
            const __m256 nzs = _mm256_div_ps(_mm256_sub_ps(_mm256_mul_ps(ts, z), scz), radius);
            const __m256 dot =
                _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nxs, x), _mm256_mul_ps(nys, y)), _mm256_mul_ps(nzs, z));
            dist = select8(hit, ts, dist);
            gain = select8(hit, _mm256_mul_ps(splat8(0.9f), max8(zero, _mm256_xor_ps(dot, splat8(-0.f)))), gain);
        }
        const __m256 a =
            _mm256_and_ps(less8(zero, dist), _mm256_div_ps(_mm256_mul_ps(ampScale, gain), _mm256_mul_ps(dist, dist)));
        const __m256 spread = _mm256_add_ps(_mm256_mul_ps(half, _mm256_sqrt_ps(a)), splat8(1.5f));
        __m256 am = _mm256_add_ps(a, _mm256_mul_ps(normals8<52>(table, &nd.products[0][p]), spread));
        am = min8(max8(am, zero), fullScale);
        const __m256i saturated =
            _mm256_and_si256(asInt(_mm256_cmp_ps(am, fullScale, _CMP_GE_OQ)), _mm256_set1_epi32(Frame::FLAG_SATURATED));
        const __m256i low =
            _mm256_and_si256(asInt(less8(am, splat8(kLowAmplitude))), _mm256_set1_epi32(Frame::FLAG_LOW_AMPLITUDE));
        const __m256i flags = _mm256_or_si256(saturated, low);
        const __m256i amp16 = _mm256_cvttps_epi32(_mm256_add_ps(am, half));
        const Targets& to = target(p);
        store16(to.amplitude + at(p), amp16);
        store16(to.depthAmplitude + at(p), amp16);
        store8(to.flags + at(p), flags);
        _mm256_storeu_ps(dists + p, dist);
        _mm256_storeu_ps(amplitudes + p, a);
        _mm256_storeu_ps(ams + p, am);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(flagsOf + p), flags);
    }

    // Distance noise grows as the amplitude falls; no return at all gives a
    // random phase. Phase, depth and points.
    const __m256 depthOffset = splat8(c.depthOffset), range = splat8(c.range), invRange = splat8(c.invRange);
    for (int p = 0; p < count; p += 8) {
        const __m256 dist = load8(dists + p), a = load8(amplitudes + p);
        const __m256 sigma = min8(_mm256_div_ps(splat8(4.f), max8(a, one)), one);
        const __m256 uniform =
            _mm256_mul_ps(_mm256_cvtepi32_ps(uniformBits8(&nd.products[1][p])), splat8(1.f / 16777216.f));
        const __m256 n1 = normals8<52>(table, &nd.products[1][p]);
        const __m256 measured = _mm256_add_ps(_mm256_add_ps(dist, depthOffset), _mm256_mul_ps(n1, sigma));
        const __m256 r = select8(less8(zero, dist), measured, _mm256_mul_ps(uniform, range));
        __m256 frac = _mm256_mul_ps(r, invRange);
        frac = _mm256_sub_ps(frac, _mm256_floor_ps(frac));
        const __m256i phase = _mm256_min_epi32(_mm256_cvttps_epi32(_mm256_mul_ps(frac, splat8(kPhaseCounts))),
                                               _mm256_set1_epi32(kPhaseCounts - 1));
        const __m256i flags = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(flagsOf + p));
        const __m256i valid = _mm256_cmpeq_epi32(flags, _mm256_setzero_si256());
        const __m256 d = _mm256_and_ps(asFloat(valid), _mm256_mul_ps(frac, range));
        const Targets& to = target(p);
        store16(to.phase + at(p), phase);
        _mm256_storeu_ps(to.depth + at(p), d);
        storePoints(to.points + at(p), _mm256_mul_ps(d, load8(dx + p)), _mm256_mul_ps(d, load8(dy + p)),
                    _mm256_mul_ps(d, load8(dz + p)), load8(ams + p));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(phases + p), phase);
    }

    // One plane of samples per quad, each row-major.
    if (c.quads == 4)
        rawSamples<4>(c, cosines, nd, count, ams, phases, target, at);
    else
        rawSamples<0>(c, cosines, nd, count, ams, phases, target, at);
    if (count % 8)
        scratch.copyTo(out, rowStart + (count & ~7), count % 8, c.quads);
}

} // namespace

const SceneKernels* avx2SceneKernels()
{
    static const SceneKernels kernels{draw, shade};
    static const bool available =
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    return available ? &kernels : nullptr;
}

} // namespace Tavik::detail

#else

namespace Tavik::detail {

const SceneKernels* avx2SceneKernels()
{
    return nullptr;
}

} // namespace Tavik::detail

#endif
