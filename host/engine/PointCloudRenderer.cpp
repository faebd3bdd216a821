#include "host/engine/PointCloudRenderer.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Vec3 {
    float x, y, z;
};

// Turns points about a centre and projects them into an image.
class Projection {
public:
    Projection(Vec3 centre, float extent, QSize size)
        : centre(centre)
        , cy(std::cos(PointCloudRenderer::YAW_DEGREES * float(M_PI) / 180.f))
        , sy(std::sin(PointCloudRenderer::YAW_DEGREES * float(M_PI) / 180.f))
        , cp(std::cos(PointCloudRenderer::PITCH_DEGREES * float(M_PI) / 180.f))
        , sp(std::sin(PointCloudRenderer::PITCH_DEGREES * float(M_PI) / 180.f))
        , distance(std::max(extent, 0.5f) * 1.6f)
        , focal(0.9f * std::min(size.width(), size.height()))
        , halfWidth(size.width() / 2.f)
        , halfHeight(size.height() / 2.f)
    {
    }

    // False when the point lies behind the viewer.
    bool project(Vec3 p, float& u, float& v) const
    {
        const float x = p.x - centre.x, y = p.y - centre.y, z = p.z - centre.z;
        const float x1 = cy * x + sy * z; // yaw about the vertical axis
        const float z1 = -sy * x + cy * z;
        const float y2 = cp * y - sp * z1; // pitch about the horizontal axis
        const float z2 = sp * y + cp * z1 + distance;
        if (z2 <= 0.05f)
            return false;
        u = halfWidth + focal * x1 / z2;
        v = halfHeight + focal * y2 / z2; // y grows downwards, as in the camera
        return true;
    }

private:
    Vec3 centre;
    float cy, sy, cp, sp, distance, focal, halfWidth, halfHeight;
};

} // namespace

QRgb PointCloudRenderer::depthColor(float z)
{
    // Hue from red (near) over yellow and green to blue (far), in 256 steps.
    static const std::array<QRgb, 256> table = [] {
        std::array<QRgb, 256> t{};
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = QColor::fromHsvF(0.66 * i / 255.0, 1.0, 1.0).rgb();
        return t;
    }();
    const float t = std::clamp(z / MAX_RANGE, 0.f, 1.f);
    return table[static_cast<std::size_t>(t * 255.f)];
}

QImage PointCloudRenderer::render(const std::vector<Tavik::XYZIPoint>& points, QSize size, bool cone)
{
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::black);

    Vec3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
    std::size_t valid = 0;
    for (const auto& p : points) {
        if (p.z == 0.f || !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            continue;
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        ++valid;
    }
    if (valid == 0)
        return image;

    const Vec3 centre{(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
    const float extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    const Projection projection(centre, extent, image.size());

    const int w = image.width(), h = image.height();
    for (const auto& p : points) {
        if (p.z == 0.f || !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            continue;
        float u, v;
        if (!projection.project({p.x, p.y, p.z}, u, v))
            continue;
        const int iu = static_cast<int>(u), iv = static_cast<int>(v);
        if (iu < 0 || iv < 0 || iu >= w || iv >= h)
            continue;
        reinterpret_cast<QRgb*>(image.scanLine(iv))[iu] = depthColor(p.z);
    }

    if (cone) {
        // From the camera's origin to the corners of the cloud's extent,
        // carried on to CONE_LENGTH.
        QPainter painter(&image);
        painter.setPen(QColor(255, 255, 255, 160));
        float u0, v0;
        if (projection.project({0.f, 0.f, 0.f}, u0, v0)) {
            const float zRef = std::max(lo.z, 0.1f);
            for (float sx : {lo.x, hi.x})
                for (float sy : {lo.y, hi.y}) {
                    const float k = CONE_LENGTH / zRef;
                    float u1, v1;
                    if (projection.project({sx * k, sy * k, CONE_LENGTH}, u1, v1))
                        painter.drawLine(QPointF(u0, v0), QPointF(u1, v1));
                }
        }
    }
    return image;
}
