#pragma once
// Shows a 2-D array through a lookup table between two levels.
//
// The array is a single-channel cv::Mat indexed [x][y]: rows run along x
// (width), columns along y (height), so img.at<float>(x, y) is pixel (x, y).
// Pixel (x, y) covers the unit square at (x, y) in item coordinates.

#include "platform/plot/GraphicsObject.h"

#include <QImage>
#include <QPixmap>
#include <QVector>
#include <array>
#include <cstdint>
#include <optional>
#include <opencv2/core.hpp>
#include <vector>

namespace Plot {

class ImageItem : public GraphicsObject {
    Q_OBJECT
public:
    using Levels = std::array<double, 2>;

    struct Histogram {
        std::vector<double> edges; // lower edge of each bin
        std::vector<std::int64_t> counts; // samples in each bin
    };

    explicit ImageItem(QGraphicsItem* parent = nullptr);

    // The item keeps its own float copy of the image. An empty matrix clears
    // the item. The one-argument form keeps the current levels. A matrix that
    // is not a single-channel 2-D one is refused (false) and changes nothing.
    bool setImage(const cv::Mat& image);
    bool setImage(const cv::Mat& image, const Levels& levels);
    // The same, but a CV_32F image is held as it is, not copied: for images
    // that are never changed in place (the data engine replaces its images
    // per frame). Other types are converted as setImage does.
    bool setSharedImage(const cv::Mat& image, const Levels& levels);
    void clear();
    bool hasImage() const { return !image_.empty(); }
    // The held image (CV_32F, [x][y]); empty without one.
    const cv::Mat& image() const { return image_; }
    int width() const { return image_.rows; }
    int height() const { return image_.cols; }

    // Values at or below levels[0] show the first entry of the table, values
    // at or above levels[1] the last; NaN shows the first. Levels that are
    // not finite are refused.
    void setLevels(const Levels& levels);
    Levels getLevels() const { return levels_; }
    // An empty table restores the default grey ramp of 256 entries.
    void setLookupTable(const QVector<QRgb>& lut);
    QVector<QRgb> getLookupTable() const { return lut_; }

    // `bins` equal bins from the smallest to the largest finite value (the
    // largest falls in the last bin); when all values are equal the bins span
    // value - 0.5 to value + 0.5. Nothing without an image, without a finite
    // value, or for fewer than one bin.
    std::optional<Histogram> getHistogram(int bins = 100) const;

    // The image as shown; nothing without an image.
    std::optional<QPixmap> getPixmap() const;
    // The rendered picture (x across, y down); a null image without one.
    const QImage& renderedImage() const;

    QRectF boundingRect() const override;
    std::optional<QRectF> dataBounds() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget = nullptr) override;

    // Renders a CV_32F [x][y] image through `lut` into `out`, reusing its
    // buffer when the size and format fit.
    static void render(const cv::Mat& image, const Levels& levels, const QVector<QRgb>& lut, QImage& out);

private:
    bool takeImage(const cv::Mat& image, bool share);
    void markDirty();

    cv::Mat image_;
    Levels levels_{{0.0, 1.0}};
    QVector<QRgb> lut_;
    mutable QImage rendered_;
    mutable bool dirty_ = true;
};

} // namespace Plot
