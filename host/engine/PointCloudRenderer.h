#pragma once
// Draws an XYZI point cloud as a projected scatter: the cloud is turned a
// little about its centre so that its depth shows, then projected with a
// perspective camera; every point is coloured by its distance (z), near red to
// far blue. Invalid points (z = 0) are skipped.

#include "Tavik/Frame.h"

#include <QImage>
#include <QSize>

#include <vector>

class PointCloudRenderer {
public:
    static constexpr float YAW_DEGREES = -30.f;
    static constexpr float PITCH_DEGREES = 20.f;
    static constexpr float MAX_RANGE = 6.f; // metres at the blue end of the colours
    static constexpr float CONE_LENGTH = 4.f; // metres drawn of the field-of-view cone

    // The picture of `points` in an image of `size` (black background);
    // `cone` adds the camera's field-of-view cone as lines from its origin.
    static QImage render(const std::vector<Tavik::XYZIPoint>& points, QSize size, bool cone = false);

    // Colour of a distance in metres.
    static QRgb depthColor(float z);
};
