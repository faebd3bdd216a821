#include "platform/plot/ImageItem.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Plot {

namespace {

QVector<QRgb> greyRamp()
{
    QVector<QRgb> lut(256);
    for (int i = 0; i < 256; ++i)
        lut[i] = qRgb(i, i, i);
    return lut;
}

// Calls f(v) for every finite value of a CV_32F matrix.
template <class F> void forEachFinite(const cv::Mat& image, F f)
{
    for (int x = 0; x < image.rows; ++x) {
        const float* row = image.ptr<float>(x);
        for (int y = 0; y < image.cols; ++y)
            if (std::isfinite(row[y]))
                f(static_cast<double>(row[y]));
    }
}

bool isOpaque(const QVector<QRgb>& lut)
{
    return std::all_of(lut.begin(), lut.end(), [](QRgb c) { return qAlpha(c) == 255; });
}

} // namespace

ImageItem::ImageItem(QGraphicsItem* parent)
    : GraphicsObject(parent)
    , lut_(greyRamp())
{
    setAcceptedMouseButtons(Qt::NoButton);
}

bool ImageItem::setImage(const cv::Mat& image)
{
    return takeImage(image, false);
}

bool ImageItem::setSharedImage(const cv::Mat& image, const Levels& levels)
{
    setLevels(levels);
    return takeImage(image, true);
}

bool ImageItem::takeImage(const cv::Mat& image, bool share)
{
    if (!image.empty() && (image.dims != 2 || image.channels() != 1))
        return false;
    const bool resized = image.rows != image_.rows || image.cols != image_.cols;
    if (resized)
        prepareGeometryChange();
    if (image.empty()) {
        image_.release();
    } else if (share && image.type() == CV_32F) {
        image_ = image;
    } else {
        // Reuse the held buffer unless someone else still shares it.
        const bool shared = image_.u && image_.u->refcount > 1;
        if (shared)
            image_.release();
        if (image.type() == CV_32F)
            image.copyTo(image_);
        else
            image.convertTo(image_, CV_32F);
    }
    markDirty();
    if (resized)
        emit boundsChanged();
    return true;
}

bool ImageItem::setImage(const cv::Mat& image, const Levels& levels)
{
    setLevels(levels);
    return setImage(image);
}

void ImageItem::clear()
{
    setImage(cv::Mat());
}

void ImageItem::setLevels(const Levels& levels)
{
    if (!std::isfinite(levels[0]) || !std::isfinite(levels[1]))
        return;
    levels_ = levels;
    markDirty();
}

void ImageItem::setLookupTable(const QVector<QRgb>& lut)
{
    lut_ = lut.isEmpty() ? greyRamp() : lut;
    markDirty();
}

std::optional<ImageItem::Histogram> ImageItem::getHistogram(int bins) const
{
    if (image_.empty() || bins < 1)
        return std::nullopt;
    double mn = 0.0, mx = 0.0;
    const bool allFinite = cv::checkRange(image_, true);
    bool any = allFinite;
    if (allFinite) {
        cv::minMaxLoc(image_, &mn, &mx);
    } else {
        forEachFinite(image_, [&](double v) {
            mn = any ? std::min(mn, v) : v;
            mx = any ? std::max(mx, v) : v;
            any = true;
        });
    }
    if (!any)
        return std::nullopt;
    if (mn == mx) {
        mn -= 0.5;
        mx += 0.5;
    }

    // Edges as lo + span * i / bins, so that the middle edge of a constant
    // image's range is the value itself.
    std::vector<double> edges(bins + 1);
    const double span = mx - mn;
    for (int i = 0; i <= bins; ++i)
        edges[i] = mn + span * i / bins;
    edges[bins] = mx;

    Histogram h;
    h.counts.assign(bins, 0);
    const double norm = bins / span;
    forEachFinite(image_, [&](double v) {
        int k = std::min(static_cast<int>((v - mn) * norm), bins - 1);
        // The quotient may round across an edge; the edges decide.
        if (k > 0 && v < edges[k])
            --k;
        else if (k < bins - 1 && v >= edges[k + 1])
            ++k;
        ++h.counts[k];
    });
    edges.pop_back();
    h.edges = std::move(edges);
    return h;
}

std::optional<QPixmap> ImageItem::getPixmap() const
{
    if (!hasImage())
        return std::nullopt;
    return QPixmap::fromImage(renderedImage());
}

const QImage& ImageItem::renderedImage() const
{
    if (dirty_) {
        if (hasImage())
            render(image_, levels_, lut_, rendered_);
        else
            rendered_ = QImage();
        dirty_ = false;
    }
    return rendered_;
}

QRectF ImageItem::boundingRect() const
{
    return QRectF(0, 0, width(), height());
}

std::optional<QRectF> ImageItem::dataBounds() const
{
    if (!hasImage())
        return std::nullopt;
    return boundingRect();
}

void ImageItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (hasImage())
        painter->drawImage(boundingRect(), renderedImage());
}

void ImageItem::markDirty()
{
    dirty_ = true;
    update();
}

void ImageItem::render(const cv::Mat& image, const Levels& levels, const QVector<QRgb>& lut, QImage& out)
{
    const int w = image.rows;
    const int h = image.cols;
    const QImage::Format format = isOpaque(lut) ? QImage::Format_RGB32 : QImage::Format_ARGB32;
    if (out.width() != w || out.height() != h || out.format() != format)
        out = QImage(w, h, format);
    if (w == 0 || h == 0 || lut.isEmpty())
        return;
    if (out.isNull()) {
        qWarning("ImageItem: no memory for a picture of %dx%d", w, h);
        return;
    }

    const QRgb* table = lut.constData();
    const float top = static_cast<float>(lut.size() - 1);
    const float lo = static_cast<float>(levels[0]);
    const bool flat = levels[1] == levels[0];
    const float scale = flat ? 0.0f : static_cast<float>(lut.size() / (levels[1] - levels[0]));
    auto index = [=](float v) -> int {
        if (flat)
            return v >= lo ? static_cast<int>(top) : 0;
        float t = (v - lo) * scale;
        t = t > 0.0f ? t : 0.0f; // NaN lands here too
        t = t < top ? t : top;
        return static_cast<int>(t);
    };

    // Image rows are x, picture lines are y: walk blocks of rows so that
    // reads stay sequential (a block's rows lie one after the other, read
    // whole up to a span) and each line gets a cache line of writes, that
    // of the next block fetched ahead. The table indices of a block come
    // first, four at a time where the processor can (the same arithmetic, so
    // the same indices).
    constexpr int Block = 16, Span = 256;
    uchar* bits = out.bits();
    const qsizetype stride = out.bytesPerLine();
    int indices[Block][Span];
    for (int x0 = 0; x0 < w; x0 += Block) {
        const int n = std::min(Block, w - x0);
        for (int y0 = 0; y0 < h; y0 += Span) {
            const int m = std::min(Span, h - y0);
            for (int i = 0; i < n; ++i) {
                const float* row = image.ptr<float>(x0 + i) + y0;
                int k = 0;
#if defined(__SSE2__)
                if (!flat) {
                    const __m128 low = _mm_set1_ps(lo), by = _mm_set1_ps(scale), zero = _mm_setzero_ps(),
                                 last = _mm_set1_ps(top);
                    for (; k + 4 <= m; k += 4) {
                        // max(NaN, 0) is 0, as in index().
                        const __m128 t = _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(row + k), low), by);
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(&indices[i][k]),
                                         _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(t, zero), last)));
                    }
                }
#endif
                for (; k < m; ++k)
                    indices[i][k] = index(row[k]);
            }
            for (int y = 0; y < m; ++y) {
                QRgb* line = reinterpret_cast<QRgb*>(bits + (y0 + y) * stride) + x0;
                __builtin_prefetch(line + Block, 1);
                for (int i = 0; i < n; ++i)
                    line[i] = table[indices[i][y]];
            }
        }
    }
}

} // namespace Plot
