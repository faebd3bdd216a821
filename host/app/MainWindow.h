#pragma once
// The viewer's main window: the amplitude and phase views side by side, the
// transport bar (source chooser, Start / Pause / Resume / Stop, seek slider),
// the File, Camera, View, Settings and Help menus, and the status bar.
//
// It owns the stream controller and the data engine; the camera system is
// the caller's and must outlive the window.

#include "host/base/HostWindow.h"
#include "Tavik/Common.h"

#include <QMainWindow>
#include <QPointF>
#include <QString>

#include <memory>
#include <optional>

class DataViewContainer;
class HostDataEngine;
class QAction;
class QComboBox;
class QLabel;
class QSlider;
class StatusMessageBar;

namespace Tavik {
class CameraSystem;
}

namespace Kelvra {
class OptionsMenu;
class StreamHub;
}

class MainWindow : public QMainWindow, public HostWindow {
    Q_OBJECT
public:
    // With a camera, its "Live Capture" source is listed and selected (not started).
    MainWindow(Tavik::CameraSystem* cameraSystem, Tavik::DepthCameraPtr depthCamera, QWidget* parent = nullptr);
    ~MainWindow() override;

    StatusMessageBar* statusMessage() const override { return statusBarObject; }
    QWidget* windowWidget() override { return this; }

    Kelvra::StreamHub* getStreamHub() const { return streamHub.get(); }
    HostDataEngine* getDataEngine() const { return dataEngine.get(); }
    DataViewContainer* amplitudeContainer() const { return amplitudeViewer; }
    DataViewContainer* phaseContainer() const { return phaseViewer; }
    QComboBox* sourceChooser() const { return sourceBox; }
    QSlider* seekSlider() const { return seekBar; }

    QAction* startAction = nullptr;
    QAction* pauseAction = nullptr;
    QAction* resumeAction = nullptr;
    QAction* stopAction = nullptr;
    QAction* openAction = nullptr;
    QAction* selectCameraAction = nullptr;
    QAction* disconnectAction = nullptr;
    QAction* lensFocusingAction = nullptr;
    QAction* aboutAction = nullptr;

    // Adds the recording, selects it and starts it; false when the file
    // cannot be played (a message box says why, unless `quiet`).
    bool openRecording(const QString& path, bool quiet = false);

    // Stops the stream and the engine's threads; the window shows nothing new
    // afterwards. Idempotent; also run by closing and by the destructor.
    void shutdown();

public slots:
    void startStream();
    void pauseStream();
    void resumeStream();
    void stopStream();
    void selectCamera();
    void disconnectCamera();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildTransportBar();
    void refreshSources();
    void followSelection(int index);
    void updateTransport();
    void followFrame();
    void seekTo(int position);
    void showStatistics();

    Tavik::CameraSystem* const cameraSystem;
    StatusMessageBar* statusBarObject = nullptr;
    std::unique_ptr<Kelvra::StreamHub> streamHub;
    std::unique_ptr<HostDataEngine> dataEngine;
    DataViewContainer* amplitudeViewer = nullptr;
    DataViewContainer* phaseViewer = nullptr;
    Kelvra::OptionsMenu* optionsMenu = nullptr;

    QComboBox* sourceBox = nullptr;
    QSlider* seekBar = nullptr;
    QLabel* positionLabel = nullptr;
    std::optional<QPointF> mousePoint;
    bool isShutDown = false;
};
