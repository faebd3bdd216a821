#pragma once
// The "Settings" dock: a tool box holding every settings page under its
// title, every title visible at once. The window calls releaseDepthCamera()
// before a camera goes away (disconnection, or another camera picked) and
// onDepthCameraSet() once a new camera is set: the unambiguous-range page,
// which reads its camera only when built, is then built anew in its place,
// and the camera parameters page is rebuilt for the new camera.

#include <QDockWidget>
#include <QString>

class CameraParametersPage;
class HostWindow;
class QToolBox;

namespace Tavik {
class CameraSystem;
}

namespace Kelvra {
class ClipRangeView;
class Image2DSettingView;
class PointCloudEffectSettingView;
class StreamHub;
class UnambiguousRangeView;
} // namespace Kelvra

class SettingsDock : public QDockWidget {
    Q_OBJECT
public:
    // The pages get (window, camera system, controller), the unambiguous-range
    // page (window, controller); all three belong to the caller.
    SettingsDock(HostWindow* window, Tavik::CameraSystem* cameraSystem, Kelvra::StreamHub* depthCameraController,
                 QWidget* parent = nullptr);

    QToolBox* toolBox() const { return box; }
    // The page filed under that id now, or nothing.
    QWidget* page(const QString& id) const;
    // The page of the tool box's item at `index` (each item holds its page
    // at the top, at the page's own height).
    QWidget* pageAt(int index) const;

    Kelvra::PointCloudEffectSettingView* effectPage() const { return effect; }
    Kelvra::Image2DSettingView* imagePage() const { return image; }
    Kelvra::UnambiguousRangeView* unambiguousRangePage() const { return range; }
    Kelvra::ClipRangeView* depthLimitPage() const { return clip; }
    CameraParametersPage* cameraParametersPage() const { return cameraParams; }

public slots:
    // Every page that holds camera references drops them.
    void releaseDepthCamera();
    // Pages for the controller's new camera.
    void onDepthCameraSet();

private:
    static QWidget* holderOf(QWidget* page);
    void file(QWidget* page, const QString& id, const QString& title);
    Kelvra::UnambiguousRangeView* makeRangePage();

    HostWindow* window;
    Kelvra::StreamHub* depthCameraController;
    QToolBox* box;
    Kelvra::PointCloudEffectSettingView* effect = nullptr;
    Kelvra::Image2DSettingView* image = nullptr;
    Kelvra::UnambiguousRangeView* range = nullptr;
    Kelvra::ClipRangeView* clip = nullptr;
    CameraParametersPage* cameraParams = nullptr;
};
