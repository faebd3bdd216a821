#include "platform/plot/ImageItem.h"
#include "platform/plot/ViewBox.h"
#include "tests/platform/plot/PlotTestUtil.h"

#include <QGraphicsScene>
#include <QPainter>
#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>
#include <random>
#include <sys/mman.h>

using namespace Plot;

namespace {

cv::Mat filled(int width, int height, float value)
{
    return cv::Mat(width, height, CV_32F, cv::Scalar(value));
}

const QVector<QRgb> FourColours{qRgb(10, 0, 0), qRgb(20, 0, 0), qRgb(30, 0, 0), qRgb(40, 0, 0)};

// The table entry each value is shown with.
std::vector<QRgb> shown(const std::vector<float>& values, ImageItem::Levels levels, const QVector<QRgb>& lut)
{
    cv::Mat img(static_cast<int>(values.size()), 1, CV_32F);
    for (std::size_t i = 0; i < values.size(); ++i)
        img.at<float>(static_cast<int>(i), 0) = values[i];
    QImage out;
    ImageItem::render(img, levels, lut, out);
    std::vector<QRgb> colours;
    for (int x = 0; x < out.width(); ++x)
        colours.push_back(out.pixel(x, 0));
    return colours;
}

} // namespace

TEST(ImageItemHistogram, NothingWithoutAnImageOrBins)
{
    ImageItem item;
    EXPECT_FALSE(item.getHistogram(100).has_value());
    item.setImage(filled(4, 4, 1.0f));
    EXPECT_FALSE(item.getHistogram(0).has_value());
    item.setImage(filled(4, 4, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(item.getHistogram(100).has_value());
    item.clear();
    EXPECT_FALSE(item.getHistogram(100).has_value());
}

TEST(ImageItemHistogram, AllZeroImageFillsTheOneBinStartingAtZero)
{
    ImageItem item;
    item.setImage(filled(80, 60, 0.0f));
    const auto h = item.getHistogram(100);
    ASSERT_TRUE(h.has_value());
    ASSERT_EQ(h->edges.size(), 100u);
    ASSERT_EQ(h->counts.size(), 100u);
    EXPECT_DOUBLE_EQ(h->edges.front(), -0.5);
    EXPECT_EQ(h->edges[50], 0.0);
    for (int k = 0; k < 100; ++k)
        EXPECT_EQ(h->counts[k], k == 50 ? 4800 : 0) << "bin " << k;
}

TEST(ImageItemHistogram, ConstantImageSpansValuePlusMinusHalf)
{
    ImageItem item;
    item.setImage(filled(10, 10, 7.25f));
    const auto h = item.getHistogram(100);
    ASSERT_TRUE(h.has_value());
    EXPECT_DOUBLE_EQ(h->edges.front(), 6.75);
    EXPECT_NEAR(h->edges[50], 7.25, 1e-12);
    EXPECT_EQ(h->counts[50], 100);
    EXPECT_EQ(std::accumulate(h->counts.begin(), h->counts.end(), std::int64_t{0}), 100);
}

TEST(ImageItemHistogram, EqualBinsFromMinToMaxWithTheMaxInTheLastBin)
{
    // Values 100 ... 1100, each twelve times: bins ten wide.
    cv::Mat img(1001, 12, CV_32F);
    for (int x = 0; x < 1001; ++x)
        for (int y = 0; y < 12; ++y)
            img.at<float>(x, y) = static_cast<float>(100 + x);
    ImageItem item;
    item.setImage(img);
    const auto h = item.getHistogram(100);
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->edges[0], 100.0);
    EXPECT_EQ(h->edges[1], 110.0);
    EXPECT_EQ(h->edges[99], 1090.0);
    for (int k = 0; k < 99; ++k)
        EXPECT_EQ(h->counts[k], 120) << "bin " << k;
    EXPECT_EQ(h->counts[99], 132);
}

TEST(ImageItemHistogram, EveryValueLandsInTheBinItsEdgesBound)
{
    // Multiples of 0.1 sit on edges whose quotients round either way.
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, 30);
    cv::Mat img(50, 40, CV_32F);
    for (int x = 0; x < img.rows; ++x)
        for (int y = 0; y < img.cols; ++y)
            img.at<float>(x, y) = 0.1f * static_cast<float>(pick(rng));
    img.at<float>(0, 0) = 0.0f;
    img.at<float>(0, 1) = 3.0f;
    ImageItem item;
    item.setImage(img);
    for (int bins : {3, 7, 10, 30, 100}) {
        const auto h = item.getHistogram(bins);
        ASSERT_TRUE(h.has_value());
        std::vector<std::int64_t> expected(bins, 0);
        for (int x = 0; x < img.rows; ++x)
            for (int y = 0; y < img.cols; ++y) {
                const double v = img.at<float>(x, y);
                int k = bins - 1;
                while (k > 0 && v < h->edges[k])
                    --k;
                ++expected[k];
            }
        EXPECT_EQ(h->counts, expected) << bins << " bins";
    }
}

TEST(ImageItemHistogram, ValuesThatAreNotFiniteAreLeftOut)
{
    cv::Mat img(12, 1, CV_32F);
    for (int x = 0; x < 10; ++x)
        img.at<float>(x, 0) = static_cast<float>(x);
    img.at<float>(10, 0) = std::numeric_limits<float>::quiet_NaN();
    img.at<float>(11, 0) = std::numeric_limits<float>::infinity();
    ImageItem item;
    item.setImage(img);
    const auto h = item.getHistogram(10);
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->edges.front(), 0.0);
    EXPECT_NEAR(h->edges.back(), 8.1, 1e-12);
    EXPECT_EQ(std::accumulate(h->counts.begin(), h->counts.end(), std::int64_t{0}), 10);
}

TEST(ImageItemHistogram, WorksOnTheItemsOwnCopy)
{
    cv::Mat img = filled(4, 4, 1.0f);
    ImageItem item;
    item.setImage(img);
    img.setTo(cv::Scalar(50.0f));
    const auto h = item.getHistogram(100);
    ASSERT_TRUE(h.has_value());
    EXPECT_DOUBLE_EQ(h->edges.front(), 0.5);
}

TEST(ImageItemShared, AFloatImageIsHeldAsItIsOthersAreConverted)
{
    ImageItem item;
    cv::Mat img = filled(4, 3, 7.0f);
    EXPECT_TRUE(item.setSharedImage(img, {0.0, 10.0}));
    EXPECT_EQ(item.image().data, img.data);
    EXPECT_EQ(item.getLevels(), (ImageItem::Levels{{0.0, 10.0}}));
    EXPECT_EQ(item.width(), 4);
    EXPECT_EQ(qRed(item.renderedImage().pixel(1, 1)), 179); // 7 of 0..10 on the grey ramp

    cv::Mat counts(2, 5, CV_16U, cv::Scalar(300));
    EXPECT_TRUE(item.setSharedImage(counts, {0.0, 10.0}));
    EXPECT_EQ(item.image().type(), CV_32F);
    EXPECT_EQ(item.image().at<float>(1, 4), 300.0f);
    EXPECT_EQ(item.width(), 2);
    EXPECT_FALSE(item.setSharedImage(cv::Mat(2, 2, CV_32FC3), {0.0, 1.0}));
    EXPECT_EQ(item.width(), 2);

    // The copying form after a shared image leaves the shared one alone.
    item.setSharedImage(img, {0.0, 10.0});
    item.setImage(filled(4, 3, 1.0f));
    EXPECT_EQ(img.at<float>(0, 0), 7.0f);
}

TEST(ImageItemRender, PixelXYOfTheMatrixIsPictureColumnXLineY)
{
    cv::Mat img(4, 3, CV_32F); // 4 wide, 3 high
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 3; ++y)
            img.at<float>(x, y) = static_cast<float>(x + 10 * y);
    ImageItem item;
    item.setImage(img, {0.0, 256.0});
    const QImage& out = item.renderedImage();
    ASSERT_EQ(out.width(), 4);
    ASSERT_EQ(out.height(), 3);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(qRed(out.pixel(x, y)), x + 10 * y) << x << "," << y;
    EXPECT_EQ(item.boundingRect(), QRectF(0, 0, 4, 3));
}

TEST(ImageItemRender, EveryPixelOfAnImageOfManyBlocksLandsInPlace)
{
    // Widths and heights that are not whole blocks of rows or spans of a row.
    QVector<QRgb> greys(256);
    for (int i = 0; i < 256; ++i)
        greys[i] = qRgb(i, 255 - i, i / 2);
    for (const auto& [width, height] :
         {std::pair{37, 300}, std::pair{16, 256}, std::pair{5, 700}, std::pair{300, 17}}) {
        cv::Mat img(width, height, CV_32F);
        const auto value = [](int x, int y) { return (x * 7 + y * 13) % 256; };
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                img.at<float>(x, y) = static_cast<float>(value(x, y)) + 0.5f;
        QImage out;
        ImageItem::render(img, {0.0, 256.0}, greys, out);
        ASSERT_EQ(out.size(), QSize(width, height));
        int wrong = 0;
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                wrong += out.pixel(x, y) != greys[value(x, y)];
        EXPECT_EQ(wrong, 0) << width << "x" << height;
    }
}

TEST(ImageItemRender, LevelsMapValuesOntoTheTable)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const auto c = FourColours;
    EXPECT_EQ(shown({5, 10, 12.4f, 12.5f, 15, 17.5f, 19.99f, 20, 100, nan, -inf, inf}, {10, 20}, c),
              (std::vector<QRgb>{c[0], c[0], c[0], c[1], c[2], c[3], c[3], c[3], c[3], c[0], c[0], c[3]}));
    // Upper level below the lower one: the table runs backwards.
    EXPECT_EQ(shown({20, 15, 10, 0}, {20, 10}, c), (std::vector<QRgb>{c[0], c[2], c[3], c[3]}));
    // Equal levels: a step at the level.
    EXPECT_EQ(shown({4.9f, 5, 6, nan}, {5, 5}, c), (std::vector<QRgb>{c[0], c[3], c[3], c[0]}));
}

TEST(ImageItemRender, ValuesAlongYAreShownAsAlongX)
{
    // Along y the indices are taken four at a time: the same colours.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> values{5, 10, 12.4f, 12.5f, 15, 17.5f, 19.99f, 20, 100, nan, -inf, inf, -0.f, 1e30f, 11};
    for (const ImageItem::Levels levels :
         {ImageItem::Levels{{10, 20}}, ImageItem::Levels{{20, 10}}, ImageItem::Levels{{5, 5}}}) {
        const std::vector<QRgb> alongX = shown(values, levels, FourColours);
        cv::Mat column(1, static_cast<int>(values.size()), CV_32F);
        for (std::size_t i = 0; i < values.size(); ++i)
            column.at<float>(0, static_cast<int>(i)) = values[i];
        QImage out;
        ImageItem::render(column, levels, FourColours, out);
        ASSERT_EQ(out.height(), static_cast<int>(values.size()));
        for (int y = 0; y < out.height(); ++y)
            EXPECT_EQ(out.pixel(0, y), alongX[static_cast<std::size_t>(y)]) << "value " << values[y];
    }
}

TEST(ImageItemRender, FormatFollowsTheTablesAlpha)
{
    QImage out;
    ImageItem::render(filled(2, 2, 0), {0, 1}, FourColours, out);
    EXPECT_EQ(out.format(), QImage::Format_RGB32);
    ImageItem::render(filled(2, 2, 0), {0, 1}, {qRgba(1, 2, 3, 4), qRgba(5, 6, 7, 8)}, out);
    EXPECT_EQ(out.format(), QImage::Format_ARGB32);
    EXPECT_EQ(out.pixel(0, 0), qRgba(1, 2, 3, 4));
}

TEST(ImageItemRender, LevelsAndTableChangesRedrawTheHeldImage)
{
    ImageItem item;
    item.setLookupTable(FourColours);
    item.setImage(filled(2, 2, 15.0f), {10, 20});
    EXPECT_EQ(item.renderedImage().pixel(1, 1), FourColours[2]);
    item.setLevels({0, 100});
    EXPECT_EQ(item.renderedImage().pixel(1, 1), FourColours[0]);
    item.setLevels({std::nan(""), 1}); // refused
    EXPECT_EQ(item.getLevels(), (ImageItem::Levels{{0, 100}}));
    // One argument keeps the levels.
    item.setImage(filled(2, 2, 99.0f));
    EXPECT_EQ(item.renderedImage().pixel(0, 0), FourColours[3]);
    item.setLookupTable({});
    EXPECT_EQ(item.getLookupTable().size(), 256);
    EXPECT_EQ(item.renderedImage().pixel(0, 0), qRgb(253, 253, 253));
}

TEST(ImageItemRender, APictureTooLargeToAllocateStaysNullAndIsNotWrittenInto)
{
    // A picture 70 million pixels wide is more than a QImage holds (as one
    // that cannot be allocated, it is null); the image's zeros are pages the
    // kernel need not back.
    const int w = 70000000, h = 1;
    const std::size_t bytes = static_cast<std::size_t>(w) * h * sizeof(float);
    void* zeros = ::mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(zeros, MAP_FAILED);
    {
        ImageItem item;
        item.setSharedImage(cv::Mat(w, h, CV_32F, zeros), {0, 1});
        EXPECT_TRUE(item.renderedImage().isNull());
        QImage canvas(8, 8, QImage::Format_RGB32);
        canvas.fill(Qt::green);
        QPainter painter(&canvas);
        item.paint(&painter, nullptr);
        painter.end();
        EXPECT_EQ(canvas.pixel(4, 4), QColor(Qt::green).rgb());
    }
    ::munmap(zeros, bytes);
}

TEST(ImageItemImage, TakesOtherTypesRefusesMultiChannel)
{
    ImageItem item;
    cv::Mat wide(3, 2, CV_16U, cv::Scalar(1000));
    EXPECT_TRUE(item.setImage(wide));
    EXPECT_EQ(item.image().type(), CV_32F);
    EXPECT_EQ(item.image().at<float>(2, 1), 1000.0f);
    EXPECT_EQ(item.width(), 3);
    EXPECT_EQ(item.height(), 2);
    EXPECT_FALSE(item.setImage(cv::Mat(2, 2, CV_32FC3)));
    EXPECT_EQ(item.width(), 3);
}

TEST(ImageItemImage, PixmapAndBoundsFollowTheImage)
{
    ImageItem item;
    QSignalSpy bounds(&item, &GraphicsObject::boundsChanged);
    EXPECT_FALSE(item.getPixmap().has_value());
    EXPECT_FALSE(item.dataBounds().has_value());
    item.setImage(filled(320, 240, 0));
    EXPECT_EQ(bounds.count(), 1);
    item.setImage(filled(320, 240, 1));
    EXPECT_EQ(bounds.count(), 1);
    const auto pixmap = item.getPixmap();
    ASSERT_TRUE(pixmap.has_value());
    EXPECT_EQ(pixmap->size(), QSize(320, 240));
    EXPECT_EQ(*item.dataBounds(), QRectF(0, 0, 320, 240));
    item.clear();
    EXPECT_EQ(bounds.count(), 2);
    EXPECT_FALSE(item.getPixmap().has_value());
}

TEST(ImageItemView, SceneMapsToPixelsAndPixelsAreDrawnWhereTheyBelong)
{
    QGraphicsScene scene;
    ViewBox* box = PlotTest::addBox(scene, QRectF(0, 0, 160, 120));
    auto* item = new ImageItem;
    box->addItem(item);
    cv::Mat img = filled(80, 60, 0.0f);
    img.at<float>(10, 5) = 1.0f; // one white pixel near the top left
    item->setImage(img, {0.0, 1.0});
    box->autoRange(0);

    PlotTest::expectPointNear(item->mapFromScene(QPointF(21, 11)), QPointF(10.5, 5.5));
    QImage canvas(160, 120, QImage::Format_RGB32);
    canvas.fill(Qt::blue);
    QPainter painter(&canvas);
    scene.render(&painter, QRectF(0, 0, 160, 120), QRectF(0, 0, 160, 120));
    painter.end();
    EXPECT_EQ(canvas.pixel(21, 11), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(25, 11), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(21, 100), qRgb(0, 0, 0));
}
