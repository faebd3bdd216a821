#pragma once
// Settings page "Image Setting": the flips of the 2-D images and the
// field-of-view cone switch, broadcast on the view hub, and the cone's
// caption with the field of view of the camera's active profile, read at
// every stream start.

#include <QString>
#include <QWidget>

class HostWindow;
class QCheckBox;

namespace Tavik {
class CameraSystem;
}

namespace Kelvra {

class StreamHub;

class Image2DSettingView : public QWidget {
    Q_OBJECT
public:
    // `window`, `cameraSystem` and `protection` are accepted and not used.
    // Nothing is broadcast here: the views keep their own defaults until the
    // user changes a switch.
    Image2DSettingView(HostWindow* window, Tavik::CameraSystem* cameraSystem, StreamHub* depthCameraController,
                       bool protection = false);

    static QString getID();
    QString getTitle() const;
    // The page holds no camera; nothing to release.
    void releaseDepthCamera();

    StreamHub* depthCameraController;
    QCheckBox* image_horizontal_flip;
    QCheckBox* image_vertical_flip;
    QCheckBox* displayCone;
    // Calibration of the latest stream start that found a camera.
    double fx = 0, fy = 0, cx = 0, cy = 0;
    double xFovFacotor = 0, yFovFacotor = 0;
    int xAngle = 0, yAngle = 0;

signals:
    void valueChanged();

public slots:
    // Puts the field of view into the cone's caption; a missing camera,
    // profile or calibration value, or a focal length of 0, leaves it as it is.
    void streamStarted();
    void horizontal_flip(int stateChanged);
    void vertical_flip(int stateChanged);
    void auto_exposure(int stateChanged);
    void updateLowerLevel(int lower);
    void updateUpperLevel(int upper);
    void toggle_displayCone(int stateChanged);
    void init();
};

} // namespace Kelvra
