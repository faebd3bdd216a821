// The point-cloud scatter: coloured by distance, invalid points skipped.

#include "host/engine/PointCloudRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

int litPixels(const QImage& image, std::set<QRgb>* colours = nullptr)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) & 0xffffff;
            if (c != 0) {
                ++lit;
                if (colours)
                    colours->insert(c);
            }
        }
    return lit;
}

// A wall from 1 m (left) to 3 m (right), 40 × 30 points.
std::vector<Tavik::XYZIPoint> tiltedWall()
{
    std::vector<Tavik::XYZIPoint> points;
    for (int j = 0; j < 30; ++j)
        for (int i = 0; i < 40; ++i) {
            const float z = 1.f + 2.f * i / 39.f;
            points.push_back({(i - 20) * 0.02f * z, (j - 15) * 0.02f * z, z, 100.f});
        }
    return points;
}

} // namespace

TEST(PointCloudRenderer, DrawsValidPointsColouredByDistance)
{
    std::set<QRgb> colours;
    const QImage image = PointCloudRenderer::render(tiltedWall(), QSize(200, 150));
    EXPECT_EQ(image.size(), QSize(200, 150));
    EXPECT_GT(litPixels(image, &colours), 300);
    EXPECT_GT(colours.size(), 10u); // many distances, many colours
    EXPECT_NE(PointCloudRenderer::depthColor(1.f), PointCloudRenderer::depthColor(3.f));
    EXPECT_EQ(PointCloudRenderer::depthColor(-1.f), PointCloudRenderer::depthColor(0.f));
    EXPECT_EQ(PointCloudRenderer::depthColor(100.f), PointCloudRenderer::depthColor(PointCloudRenderer::MAX_RANGE));
}

TEST(PointCloudRenderer, SkipsInvalidPointsAndEmptyClouds)
{
    std::vector<Tavik::XYZIPoint> invalid(500, Tavik::XYZIPoint{0.1f, 0.1f, 0.f, 5.f});
    invalid.push_back({std::nanf(""), 0.f, 1.f, 1.f});
    EXPECT_EQ(litPixels(PointCloudRenderer::render(invalid, QSize(64, 48))), 0);
    EXPECT_EQ(litPixels(PointCloudRenderer::render({}, QSize(64, 48))), 0);
    // A degenerate size still gives an image.
    EXPECT_FALSE(PointCloudRenderer::render(tiltedWall(), QSize(0, 0)).isNull());
}

TEST(PointCloudRenderer, ConeAddsLines)
{
    const auto points = tiltedWall();
    const int without = litPixels(PointCloudRenderer::render(points, QSize(200, 150), false));
    const int with = litPixels(PointCloudRenderer::render(points, QSize(200, 150), true));
    EXPECT_GT(with, without);
}
