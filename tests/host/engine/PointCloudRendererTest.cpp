// The 3-D point-cloud drawing: projection with a depth test, the orbit and
// zoom, colouring, the fit that keeps the picture put, and the cone.

#include "host/engine/PointCloudRenderer.h"
#include "Tavik/StreamGenerator.h"
#include "tests/support/MemoryLimit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace {

constexpr QRgb BLACK = 0xff000000;

struct Lit {
    int count = 0;
    double meanX = 0;
    int minX = std::numeric_limits<int>::max(), maxX = -1;
};

// Pixels that are not black (optionally only those of one colour).
Lit lit(const QImage& image, std::optional<QRgb> only = std::nullopt, std::set<QRgb>* colours = nullptr)
{
    Lit l;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (c == BLACK || (only && c != *only))
                continue;
            ++l.count;
            l.meanX += x;
            l.minX = std::min(l.minX, x);
            l.maxX = std::max(l.maxX, x);
            if (colours)
                colours->insert(c);
        }
    if (l.count)
        l.meanX /= l.count;
    return l;
}

// A wall from 1 m (left) to 3 m (right), 40 x 30 points, as a sensor sees it.
std::vector<Tavik::XYZIPoint> tiltedWall(float shiftX = 0.f)
{
    std::vector<Tavik::XYZIPoint> points;
    for (int j = 0; j < 30; ++j)
        for (int i = 0; i < 40; ++i) {
            const float z = 1.f + 2.f * i / 39.f;
            points.push_back({(i - 20) * 0.02f * z + shiftX, (j - 15) * 0.02f * z, z, 10.f * i});
        }
    return points;
}

// Looking straight along the camera's axis, without the cone.
PointCloudRenderer straightOn()
{
    PointCloudRenderer r;
    r.orbit(-PointCloudRenderer::DEFAULT_YAW, -PointCloudRenderer::DEFAULT_PITCH);
    r.setConeShown(false);
    return r;
}

} // namespace

TEST(PointCloudRenderer, DrawsValidPointsColouredByDepth)
{
    PointCloudRenderer r;
    r.setConeShown(false);
    std::set<QRgb> colours;
    const QImage& image = r.render(tiltedWall(), 40, QSize(200, 150));
    EXPECT_EQ(image.size(), QSize(200, 150));
    EXPECT_TRUE(r.isFitted());
    EXPECT_GT(lit(image, std::nullopt, &colours).count, 300);
    EXPECT_GT(colours.size(), 10u); // many depths, many colours
    // The near end is red, the far end blue.
    EXPECT_EQ(PointCloudRenderer::depthColor(0.f), qRgb(255, 0, 0));
    EXPECT_GT(qBlue(PointCloudRenderer::depthColor(1.f)), 200);
    EXPECT_EQ(PointCloudRenderer::depthColor(-1.f), PointCloudRenderer::depthColor(0.f));
    EXPECT_EQ(PointCloudRenderer::depthColor(std::nanf("")), PointCloudRenderer::depthColor(0.f));
    EXPECT_EQ(PointCloudRenderer::depthColor(7.f), PointCloudRenderer::depthColor(1.f));
}

TEST(PointCloudRenderer, TheNearestPointWinsItsPixelWhateverTheOrder)
{
    // Corners fix the pivot at x = y = 0; the two test points lie on the
    // viewer's axis, so both fall on the centre pixel.
    const std::vector<Tavik::XYZIPoint> corners = {
        {-1.f, -1.f, 2.f, 0.f}, {1.f, 1.f, 2.f, 0.f}, {-1.f, 1.f, 2.f, 0.f}, {1.f, -1.f, 2.f, 0.f}};
    const Tavik::XYZIPoint nearer{0.f, 0.f, 1.5f, 0.f}, farther{0.f, 0.f, 1.8f, 0.f};
    for (bool nearFirst : {true, false}) {
        auto points = corners;
        points.push_back(nearFirst ? nearer : farther);
        points.push_back(nearFirst ? farther : nearer);
        PointCloudRenderer r = straightOn();
        const QImage& image = r.render(points, 0, QSize(200, 150));
        // Depth colours run from the nearest fitted depth (1.5 m): red.
        EXPECT_EQ(image.pixel(100, 75), PointCloudRenderer::depthColor(0.f)) << "near first: " << nearFirst;
    }
}

TEST(PointCloudRenderer, OrbitTurnsAboutThePivotAndZoomEnlarges)
{
    const auto wall = tiltedWall();
    const QRgb farColour = PointCloudRenderer::depthColor(1.f);

    PointCloudRenderer r = straightOn();
    const Lit front = lit(r.render(wall, 40, QSize(200, 150)), farColour);
    ASSERT_GT(front.count, 0);
    EXPECT_GT(front.meanX, 100); // the far end is on the right

    r.orbit(180.f, 0.f); // seen from behind: the far end moves to the left
    EXPECT_FLOAT_EQ(std::abs(r.yaw()), 180.f);
    const Lit back = lit(r.render(wall, 40, QSize(200, 150)), farColour);
    ASSERT_GT(back.count, 0);
    EXPECT_LT(back.meanX, 100);

    r.orbit(0.f, 500.f);
    EXPECT_FLOAT_EQ(r.pitch(), PointCloudRenderer::MAX_PITCH);
    r.orbit(std::nanf(""), 0.f); // ignored
    EXPECT_FLOAT_EQ(std::abs(r.yaw()), 180.f);

    PointCloudRenderer near = straightOn();
    const Lit normal = lit(near.render(wall, 40, QSize(200, 150)));
    near.zoomBy(1.5f);
    EXPECT_FLOAT_EQ(near.zoom(), 1.5f);
    const Lit zoomed = lit(near.render(wall, 40, QSize(200, 150)));
    EXPECT_GT(zoomed.maxX - zoomed.minX, normal.maxX - normal.minX);
    near.zoomBy(1e9f);
    EXPECT_FLOAT_EQ(near.zoom(), PointCloudRenderer::MAX_ZOOM);
    near.zoomBy(0.f);
    near.zoomBy(-2.f);
    EXPECT_FLOAT_EQ(near.zoom(), PointCloudRenderer::MAX_ZOOM);
    // Zoomed in, a point covers more than one pixel.
    near.render(wall, 40, QSize(200, 150));
    EXPECT_GT(near.pointSize(), 1);
    EXPECT_LE(near.pointSize(), PointCloudRenderer::MAX_POINT_SIZE);
}

TEST(PointCloudRenderer, KeepsItsFitUntilReset)
{
    PointCloudRenderer r = straightOn();
    const double centred = lit(r.render(tiltedWall(), 40, QSize(200, 150))).meanX;
    // The scene moves right; the view stays put, so the picture moves.
    const double moved = lit(r.render(tiltedWall(0.5f), 40, QSize(200, 150))).meanX;
    EXPECT_GT(moved, centred + 10);

    r.orbit(40.f, 10.f);
    r.zoomBy(2.f);
    r.reset();
    EXPECT_FLOAT_EQ(r.yaw(), PointCloudRenderer::DEFAULT_YAW);
    EXPECT_FLOAT_EQ(r.pitch(), PointCloudRenderer::DEFAULT_PITCH);
    EXPECT_FLOAT_EQ(r.zoom(), 1.f);
    EXPECT_FALSE(r.isFitted());
    r.orbit(-PointCloudRenderer::DEFAULT_YAW, -PointCloudRenderer::DEFAULT_PITCH);
    const double refitted = lit(r.render(tiltedWall(0.5f), 40, QSize(200, 150))).meanX;
    EXPECT_NEAR(refitted, centred, 3);
}

TEST(PointCloudRenderer, IntensityColoursInGreys)
{
    PointCloudRenderer r = straightOn();
    r.setColorMode(PointCloudRenderer::ColorMode::Intensity);
    std::set<QRgb> colours;
    ASSERT_GT(lit(r.render(tiltedWall(), 40, QSize(200, 150)), std::nullopt, &colours).count, 300);
    EXPECT_GT(colours.size(), 10u);
    for (QRgb c : colours)
        EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) << std::hex << c;
    EXPECT_GT(qGray(PointCloudRenderer::intensityColor(1.f)), qGray(PointCloudRenderer::intensityColor(0.2f)));
}

TEST(PointCloudRenderer, SkipsInvalidPointsAndEmptyClouds)
{
    std::vector<Tavik::XYZIPoint> invalid(500, Tavik::XYZIPoint{0.1f, 0.1f, 0.f, 5.f});
    invalid.push_back({std::nanf(""), 0.f, 1.f, 1.f});
    invalid.push_back({0.f, 0.f, -1.f, 1.f});
    PointCloudRenderer r;
    EXPECT_EQ(lit(r.render(invalid, 0, QSize(64, 48))).count, 0);
    EXPECT_FALSE(r.isFitted()); // fitted later, to the first cloud with valid points
    EXPECT_EQ(lit(r.render({}, 0, QSize(64, 48))).count, 0);
    // A degenerate size still gives an image; a NaN intensity still draws.
    auto wall = tiltedWall();
    wall[600].i = std::nanf("");
    r.setColorMode(PointCloudRenderer::ColorMode::Intensity);
    EXPECT_EQ(r.render(wall, 40, QSize(0, 0)).size(), QSize(1, 1));
    EXPECT_GT(lit(r.render(wall, 40, QSize(64, 48))).count, 0);
}

TEST(PointCloudRenderer, ConeSpansTheFieldOfView)
{
    const auto wall = tiltedWall();
    const auto fov = PointCloudRenderer::fieldOfView(wall, 40);
    ASSERT_TRUE(fov);
    EXPECT_FLOAT_EQ(fov->left, -0.4f);
    EXPECT_FLOAT_EQ(fov->right, 0.38f);
    EXPECT_FLOAT_EQ(fov->top, -0.3f);
    EXPECT_FLOAT_EQ(fov->bottom, 0.28f);
    // Without the grid's width, or with an invalid border, every point counts.
    auto holed = wall;
    for (int i = 0; i < 40; ++i)
        holed[i].z = holed[29 * 40 + i].z = 0.f;
    for (int j = 0; j < 30; ++j)
        holed[j * 40].z = holed[j * 40 + 39].z = 0.f;
    EXPECT_FLOAT_EQ(PointCloudRenderer::fieldOfView(wall, 0)->left, -0.4f);
    EXPECT_FLOAT_EQ(PointCloudRenderer::fieldOfView(holed, 40)->left, -0.38f);
    EXPECT_FALSE(PointCloudRenderer::fieldOfView({}, 40));

    PointCloudRenderer r;
    EXPECT_TRUE(r.isConeShown()); // on from the start
    const int with = lit(r.render(wall, 40, QSize(200, 150))).count;
    r.setConeShown(false);
    const int without = lit(r.render(wall, 40, QSize(200, 150))).count;
    EXPECT_GT(with, without + 50);
}

namespace {

// FNV-1a over the pixels of a picture, its size first.
uint64_t digest(const QImage& image)
{
    uint64_t h = 1469598103934665603ull;
    auto add = [&h](const void* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            h ^= static_cast<const uint8_t*>(p)[i];
            h *= 1099511628211ull;
        }
    };
    const int size[2] = {image.width(), image.height()};
    add(size, sizeof size);
    for (int y = 0; y < image.height(); ++y)
        add(image.constScanLine(y), static_cast<std::size_t>(image.width()) * sizeof(QRgb));
    return h;
}

std::vector<Tavik::XYZIPoint> sceneCloud(int64_t id)
{
    return Tavik::StreamGenerator::makeFrameSet(320, 240, id, id * 33333)[Tavik::FRAME_XYZI_POINT_CLOUD_FRAME]->points;
}

} // namespace

TEST(PointCloudRenderer, PicturesOfTheSimulatedSceneKeepTheirPixels)
{
    // Sets 3 and 9 of the scene drawn one after the other by one renderer
    // (fitted to set 3), at the cloud dock's size on a 1280x800 screen and at
    // others, turned, zoomed, by depth and by intensity, with and without the
    // cone; the figures are those of the renderer that cleared a key buffer
    // per picture.
    struct Case {
        int width, height;
        float yaw, pitch, zoom;
        bool byIntensity, cone;
        int pointSize;
        uint64_t third, ninth;
    };
    const Case cases[] = {
        {780, 660, 0.f, 0.f, 1.f, false, true, 2, 11312134669196986267ull, 4353076032946264542ull},
        {640, 480, 35.f, -10.f, 1.f, true, true, 1, 15645982848705488977ull, 17523950219885885013ull},
        {300, 200, -60.f, 40.f, 1.f, false, false, 1, 6796811952842974869ull, 15426136003318933109ull},
        {780, 660, 10.f, 5.f, 2.5f, false, true, 3, 10709447568320752561ull, 6794532975382649370ull},
        {521, 377, 180.f, 0.f, 4.6f, true, false, 4, 5881623886041300530ull, 9280419004322969876ull},
    };
    const auto third = sceneCloud(3), ninth = sceneCloud(9);
    for (const Case& c : cases) {
        PointCloudRenderer r;
        r.orbit(c.yaw, c.pitch);
        r.zoomBy(c.zoom);
        r.setColorMode(c.byIntensity ? PointCloudRenderer::ColorMode::Intensity : PointCloudRenderer::ColorMode::Depth);
        r.setConeShown(c.cone);
        const QSize size(c.width, c.height);
        EXPECT_EQ(digest(r.render(third, 320, size)), c.third) << c.width << "x" << c.height << " yaw " << c.yaw;
        EXPECT_EQ(r.pointSize(), c.pointSize) << c.width << "x" << c.height << " yaw " << c.yaw;
        EXPECT_EQ(digest(r.render(ninth, 320, size)), c.ninth) << c.width << "x" << c.height << " yaw " << c.yaw;
    }
}

TEST(PointCloudRenderer, APictureNeverShowsWhatWasDrawnBefore)
{
    // Clouds that cover different pixels, drawn one after the other for more
    // pictures than the key buffer counts before it is cleared again: each
    // picture is the one a renderer drawing only that cloud makes.
    const std::vector<Tavik::XYZIPoint> clouds[] = {tiltedWall(), tiltedWall(0.4f), tiltedWall(-0.3f)};
    PointCloudRenderer r;
    const QSize size(96, 72);
    r.render(clouds[0], 40, size);
    for (int k = 1; k <= 300; ++k) {
        const auto& cloud = clouds[k % 3];
        r.orbit(k % 7 == 0 ? 3.f : 0.f, 0.f);
        PointCloudRenderer alone;
        alone.orbit(r.yaw() - PointCloudRenderer::DEFAULT_YAW, r.pitch() - PointCloudRenderer::DEFAULT_PITCH);
        alone.render(clouds[0], 40, size); // the same fit
        const QImage expected = alone.render(cloud, 40, size);
        ASSERT_EQ(r.render(cloud, 40, size), expected) << "picture " << k;
    }
    EXPECT_EQ(r.render(clouds[1], 40, QSize(50, 40)).size(), QSize(50, 40)); // another size clears all
}

TEST(PointCloudRenderer, DrawsOnlyPointsWithinTheDepthLimits)
{
    auto points = tiltedWall();
    // Near points that end the cloud off the four-at-a-time path.
    for (int k = 0; k < 3; ++k)
        points.push_back({-0.05f, -0.1f + 0.1f * k, 1.0f, 5.f});
    const QSize size(200, 150);
    PointCloudRenderer r = straightOn();
    const QImage all = r.render(points, 0, size).copy();
    const Lit whole = lit(all);
    const QRgb nearest = PointCloudRenderer::depthColor(0.f);
    ASSERT_GT(lit(all, nearest).count, 0);

    r.setDepthLimits(1.5f, 2.5f);
    EXPECT_FLOAT_EQ(r.nearLimit(), 1.5f);
    EXPECT_FLOAT_EQ(r.farLimit(), 2.5f);
    const QImage within = r.render(points, 0, size).copy();
    const Lit middle = lit(within);
    EXPECT_GT(middle.count, 0);
    EXPECT_LT(middle.count, whole.count * 3 / 4);
    // The wall's near (left) and far (right) ends and the near points are gone.
    EXPECT_GT(middle.minX, whole.minX + 10);
    EXPECT_LT(middle.maxX, whole.maxX - 10);
    EXPECT_EQ(lit(within, nearest).count, 0);

    // A point exactly on a limit is drawn, four at a time (the wall's ends)
    // and in the rest (the near points): limits a hair wider draw the same.
    for (const float z : {1.f, 3.f}) {
        r.setDepthLimits(z, z);
        const QImage onLimits = r.render(points, 0, size).copy();
        EXPECT_GT(lit(onLimits).count, 0) << z;
        r.setDepthLimits(std::nextafter(z, 0.f), std::nextafter(z, 4.f));
        EXPECT_EQ(r.render(points, 0, size), onLimits) << z;
    }

    // The pair in either order; a limit that is no number is none; huge limits keep all.
    r.setDepthLimits(2.5f, 1.5f);
    EXPECT_EQ(r.render(points, 0, size), within);
    r.setDepthLimits(std::nanf(""), std::nanf(""));
    EXPECT_EQ(r.render(points, 0, size), all);
    r.setDepthLimits(0.f, 1e30f);
    EXPECT_EQ(r.render(points, 0, size), all);

    // Limits that hold no point draw none, and the fit stays that of the whole
    // cloud: widened again, the picture is the first one.
    r.setDepthLimits(0.f, 0.f);
    EXPECT_EQ(lit(r.render(points, 0, size)).count, 0);
    EXPECT_TRUE(r.isFitted());
    r.setDepthLimits(0.f, std::numeric_limits<float>::infinity());
    EXPECT_EQ(r.render(points, 0, size), all);
}

TEST(PointCloudRenderer, WithoutMemoryForItsBuffersThePictureIsBlackOrNullNeverACrash)
{
    if (!KelvraTest::canCapAddressSpace)
        GTEST_SKIP() << "the address space cannot be capped under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // With 40 MB to spare: a 2000x2000 picture (16 MB) fits, its depth buffer
    // (32 MB) no longer; a 4000x4000 picture (64 MB) does not.
    EXPECT_EXIT(
        {
            PointCloudRenderer r = straightOn();
            KelvraTest::capAddressSpace(40u << 20);
            const QImage& black = r.render(tiltedWall(), 40, QSize(2000, 2000));
            const bool blackDrawn = !black.isNull() && black.pixel(1000, 1000) == BLACK;
            const bool nullDrawn = r.render(tiltedWall(), 40, QSize(4000, 4000)).isNull();
            std::exit(blackDrawn && nullDrawn ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
