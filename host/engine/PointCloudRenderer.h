#pragma once
// Draws an XYZI point cloud in 3-D into a QImage, in software: the points are
// turned about a pivot by an orbit (yaw, then pitch), seen through a
// perspective camera that zooms, and projected with a depth test (the point
// nearest the viewer wins its pixel); each is coloured by its depth or by its
// intensity. The camera's field-of-view cone can be drawn over the points.
// Invalid points (z not above 0, or not finite) are skipped, and so are
// points whose depth (z) lies outside the depth limits.
//
// The pivot, the viewing distance and the colour ranges are fitted to the
// first cloud drawn after construction or reset(), then kept, so that the
// picture stays put from frame to frame.
//
// Camera coordinates as the cloud gives them: x right, y down, z forward.

#include "Tavik/Frame.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

class PointCloudRenderer {
public:
    enum class ColorMode { Depth, Intensity };

    static constexpr float DEFAULT_YAW = -20.f; // degrees about the vertical axis
    static constexpr float DEFAULT_PITCH = 15.f; // degrees about the horizontal axis; > 0 looks down
    static constexpr float MAX_PITCH = 89.f;
    static constexpr float MIN_ZOOM = 0.1f;
    static constexpr float MAX_ZOOM = 20.f;
    static constexpr int MAX_POINT_SIZE = 4; // pixels

    // The camera's field of view as the tangents of its edges (x / z and y / z).
    struct FieldOfView {
        float left, right, top, bottom;
    };

    // Draws `points` into the kept image, resized to `size` when it differs,
    // and returns it. `gridWidth` is the width of the sensor grid the points
    // come from row by row (0 when unknown): the field of view is then read
    // from the grid's border alone. A picture too large to allocate is null;
    // without memory for the drawing it is black.
    const QImage& render(const std::vector<Tavik::XYZIPoint>& points, int gridWidth, QSize size);
    // The picture drawn last (null before the first).
    const QImage& image() const { return picture; }

    // The default orbit and zoom; the next cloud drawn is fitted again.
    void reset();
    // Turns the orbit by these degrees; the pitch stays within MAX_PITCH.
    void orbit(float yawDegrees, float pitchDegrees);
    // Multiplies the zoom, which stays within MIN_ZOOM and MAX_ZOOM.
    void zoomBy(float factor);
    float yaw() const { return yawDegrees; }
    float pitch() const { return pitchDegrees; }
    float zoom() const { return zoomFactor; }
    bool isFitted() const { return fitted.has_value(); }

    void setColorMode(ColorMode mode) { mode_ = mode; }
    ColorMode colorMode() const { return mode_; }
    // Only points with nearZ <= z <= farZ (metres) are drawn; the pair is
    // taken in either order, and a limit that is not a number is no limit.
    // The fit and the cone stay those of the whole cloud.
    void setDepthLimits(float nearZ, float farZ);
    float nearLimit() const { return nearLimit_; }
    float farLimit() const { return farLimit_; }
    void setConeShown(bool shown) { cone = shown; }
    bool isConeShown() const { return cone; }
    // Side of the square each point covers in the last picture.
    int pointSize() const { return splat; }

    // The field of view the valid points span; nothing without a valid point.
    static std::optional<FieldOfView> fieldOfView(const std::vector<Tavik::XYZIPoint>& points, int gridWidth);
    // Colour from near (0) over yellow and green to far (1): red to blue.
    static QRgb depthColor(float t);
    // Grey from dark (0) to the fitted bright end (1).
    static QRgb intensityColor(float t);

private:
    struct Fit {
        float pivot[3];
        float distance; // from the viewer to the pivot, metres
        float nearZ, farZ; // depth colour range, metres
        float brightIntensity; // intensity at the bright end of the greys
    };
    struct View;

    static std::optional<Fit> fit(const std::vector<Tavik::XYZIPoint>& points);
    View view(QSize size) const;
    void draw(const std::vector<Tavik::XYZIPoint>& points, int gridWidth, QSize size);
    void drawPoints(const std::vector<Tavik::XYZIPoint>& points, const View& v);
    void drawCone(const FieldOfView& fov, const View& v);

    float yawDegrees = DEFAULT_YAW;
    float pitchDegrees = DEFAULT_PITCH;
    float zoomFactor = 1.f;
    ColorMode mode_ = ColorMode::Depth;
    bool cone = true;
    float nearLimit_ = 0.f;
    float farLimit_ = std::numeric_limits<float>::infinity();
    int splat = 1;
    std::optional<Fit> fitted;
    QImage picture;
    // Per pixel: the picture it was drawn for, the distance from the viewer
    // and the colour (see pixelKey).
    std::vector<uint64_t> keyBuffer;
    unsigned epoch = 0; // of the picture drawn last
};
