#pragma once
// Settings page "Depth Limit": one two-handle slider over 0 .. 4000 whose
// every move is shown and broadcast on the view hub as the "depth"
// thresholds (lower, upper). The page never talks to the camera.

#include <QString>
#include <QWidget>

#include <array>

class HostWindow;
class QLabel;
class QxtSpanSlider;

namespace Tavik {
class CameraSystem;
}

namespace Kelvra {

class StreamHub;

class ClipRangeView : public QWidget {
    Q_OBJECT
public:
    // `protection` is accepted and not used; the rest is kept, not used.
    ClipRangeView(HostWindow* window, Tavik::CameraSystem* cameraSystem, StreamHub* depthCameraController,
                  bool protection = false);

    static QString getID();
    QString getTitle() const;

    HostWindow* window;
    Tavik::CameraSystem* cameraSystem;
    StreamHub* depthCameraController;
    std::array<double, 2> depthLevels{0, 4000};
    double depthScalingFactor = 10;
    QxtSpanSlider* spanSlider;
    QLabel* depth_threshold_lower_value;
    QLabel* depth_threshold_upper_value;

signals:
    void valueChanged();

public slots:
    void updateLowerLevel(double lower);
    void updateUpperLevel(double upper);
    void init();
};

} // namespace Kelvra
