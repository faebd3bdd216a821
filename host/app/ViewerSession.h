#pragma once
// What the viewer plays and shows, owned in one place: the stream controller
// and the data engine; which source is on show; the camera's life (picked,
// disconnected, lost); blanking every view when what they showed is gone;
// and opening a recording as a task whose outcome comes back as a signal.
// The window, the transport bar and the docks observe it; none keeps a copy.

#include "Tavik/Common.h"

#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <memory>
#include <optional>

class HostDataEngine;
class QTimer;
class QWidget;
class RecordingOpenTask;
class StatusMessageBar;

namespace Tavik {
class CameraSystem;
class FrameStreamReader;
} // namespace Tavik

namespace Kelvra {
class StreamHub;
class StreamSource;
} // namespace Kelvra

class ViewerSession : public QObject {
    Q_OBJECT
public:
    // How often a camera held is asked whether it is still connected; a
    // camera lost is shown within a second.
    static constexpr int CONNECTION_CHECK_MS = 250;
    // The statistics read-out for a pixel of which no depth is kept.
    static inline const QString NO_HISTORY_TEXT = QStringLiteral("Statistics: no history for this pixel");

    // With a camera, its "Live Capture" source is listed and selected (not
    // started). The camera system must outlive the session; `window` carries
    // an open's progress dialog and may be null.
    ViewerSession(Tavik::CameraSystem* cameraSystem, Tavik::DepthCameraPtr camera, StatusMessageBar* statusBar,
                  QWidget* window);
    ~ViewerSession() override;

    // "type id", as the log and the status bar name a camera.
    static QString cameraName(const Tavik::DepthCameraPtr& camera);

    Kelvra::StreamHub* streamHub() const { return hub.get(); }
    HostDataEngine* dataEngine() const { return engine.get(); }

    // Lists the recording, selects and starts it. A file not listed yet is
    // opened as a task; while one opens, later ones wait their turn (said in
    // the status bar and the log). Each ends in one openFinished().
    void openRecording(const QString& path);
    bool isOpening() const { return static_cast<bool>(opening); }
    // Once the event loop runs: plays `recording`, or streams from the camera.
    void startWhenRunning(const QString& recording);

    // Makes the source at `index` current; the live camera then streams,
    // a recording waits for Start.
    void chooseSource(int index);
    // Takes a camera picked by the user: it streams and is shown, whatever
    // played before. A camera left for it stays connected, filters and all.
    void useCamera(const Tavik::DepthCameraPtr& camera);
    // Disconnects the camera with reset.
    void disconnectCamera();

    // Stops the stream, an open under way and the engine's threads; nothing
    // new is shown afterwards. Idempotent.
    void shutdown();

signals:
    // A recording asked for is playing, or not (then failed() or the log said why).
    void openFinished(const QString& path, bool playing);
    // What the user must see in a box.
    void failed(const QString& title, const QString& text);
    // The camera held is about to be let go of: drop every reference to it.
    void cameraLeaving();
    // Frames of another size came: a read-out names a pixel of the old ones.
    void frameSizeChanged();

private:
    void startNextOpen();
    void takeOpened();
    void play(const QString& path, std::shared_ptr<Tavik::FrameStreamReader> reader);
    void refuse(const QString& path, const QString& why);
    void showLiveCamera();
    void checkConnection();
    void followCamera();
    // Whenever the source on show changes, by whatever road, the views go
    // blank until the new one delivers.
    void followSource();
    void blankViews();
    void followFrameSize();
    // The read-out's point and its statistics named what is no longer shown.
    void forgetPoint();
    void showStatistics();
    void reportPlaybackStop();
    void reportError(const QString& text);

    Tavik::CameraSystem* const cameraSystem;
    StatusMessageBar* const statusBar;
    QWidget* const window;
    std::unique_ptr<Kelvra::StreamHub> hub;
    std::unique_ptr<HostDataEngine> engine;
    // On show: the source, and for the live source its camera.
    std::weak_ptr<Kelvra::StreamSource> shownSource;
    std::weak_ptr<Tavik::DepthCamera> shownCamera;
    std::unique_ptr<RecordingOpenTask> opening;
    std::deque<QString> waitingOpens;
    QTimer* connectionCheck = nullptr;
    std::optional<QPointF> mousePoint;
    std::optional<std::array<int, 2>> shownFrameSize;
    bool isShutDown = false;
};
