#include "host/engine/FrameImages.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace FrameConversion {

namespace {

#if defined(__SSE2__)
inline __m128 load4(const uint16_t* p)
{
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, _mm_setzero_si128()));
}
inline __m128 load4(const float* p)
{
    return _mm_loadu_ps(p);
}
#endif

// out[x][y] = values[y * width + x] as float: the buffer is row-major (height
// rows of width), the image x first. Transposed and converted in one pass,
// four rows by four columns at a time.
template <class T> void transposeToFloat(const T* values, int width, int height, float* out)
{
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    std::size_t y = 0;
#if defined(__SSE2__)
    for (; y + 4 <= h; y += 4) {
        const T* r0 = values + y * w;
        const T *r1 = r0 + w, *r2 = r1 + w, *r3 = r2 + w;
        std::size_t x = 0;
        for (; x + 4 <= w; x += 4) {
            __m128 a = load4(r0 + x), b = load4(r1 + x), c = load4(r2 + x), d = load4(r3 + x);
            _MM_TRANSPOSE4_PS(a, b, c, d);
            float* o = out + x * h + y;
            _mm_storeu_ps(o, a);
            _mm_storeu_ps(o + h, b);
            _mm_storeu_ps(o + 2 * h, c);
            _mm_storeu_ps(o + 3 * h, d);
        }
        for (; x < w; ++x)
            for (std::size_t k = 0; k < 4; ++k)
                out[x * h + y + k] = static_cast<float>(values[(y + k) * w + x]);
    }
#endif
    for (; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x)
            out[x * h + y] = static_cast<float>(values[y * w + x]);
}

template <class T> cv::Mat transposed(const std::vector<T>& values, int width, int height)
{
    if (width <= 0 || height <= 0 || values.size() != static_cast<std::size_t>(width) * height)
        return {};
    cv::Mat xFirst(width, height, CV_32F);
    transposeToFloat(values.data(), width, height, xFirst.ptr<float>());
    return xFirst;
}

} // namespace

cv::Mat toImage(const std::vector<uint16_t>& values, int width, int height)
{
    return transposed(values, width, height);
}

cv::Mat toImage(const std::vector<float>& values, int width, int height)
{
    return transposed(values, width, height);
}

namespace {

// A frame of no pixels: 0 wide or high.
bool noPixels(const Tavik::Frame& frame)
{
    return frame.width >= 0 && frame.height >= 0 && (frame.width == 0 || frame.height == 0);
}

} // namespace

bool addFrame(FrameImages& images, const Tavik::Frame& frame)
{
    switch (frame.type) {
    case Tavik::FRAME_RAW_FRAME_PROCESSED:
        images.amplitude = toImage(frame.amplitude, frame.width, frame.height);
        images.phase = toImage(frame.phase, frame.width, frame.height);
        images.hasRaw = !images.amplitude.empty() || !images.phase.empty()
            || (noPixels(frame) && frame.amplitude.empty() && frame.phase.empty());
        return images.hasRaw;
    case Tavik::FRAME_DEPTH_FRAME: {
        images.depth = toImage(frame.depth, frame.width, frame.height);
        if (images.depth.empty() && !(noPixels(frame) && frame.depth.empty()))
            return false;
        images.hasDepth = true;
        images.width = frame.width;
        images.height = frame.height;
        images.id = frame.id;
        images.timestamp = frame.timestamp;
        return true;
    }
    case Tavik::FRAME_XYZI_POINT_CLOUD_FRAME: images.points = frame.points; return true;
    default: return false;
    }
}

} // namespace FrameConversion
