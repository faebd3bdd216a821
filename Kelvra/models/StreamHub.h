#pragma once
// The viewer's stream controller. It owns the frame sources (the live camera
// source and any number of recorded files), makes one of them current, drives
// it and relays its state signals, and fans every frame the current source
// delivers out to the callbacks registered for the frame's type.

#include "Kelvra/models/DepthCameraStreamSource.h"
#include "Kelvra/models/FileStreamSource.h"
#include "Kelvra/models/FrameCallback.h"
#include "Kelvra/models/SharedHandle.h"
#include "Kelvra/models/StreamSource.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <mutex>
#include <vector>

namespace Kelvra {

class StreamHub : public QObject {
    Q_OBJECT
public:
    using SourcePtr = std::shared_ptr<StreamSource>;

    // With a camera, a "Live Capture" source is listed and selected at once.
    // The camera system and the camera are the host's; the controller holds
    // them without owning them (the camera system must outlive it).
    explicit StreamHub(Tavik::CameraSystem* cameraSystem, Tavik::DepthCameraPtr depthCamera = nullptr);
    ~StreamHub() override;

    // Sources, selection and transport.
    void addDepthCameraSource();
    void addDepthCameraSource1();
    // The position of the file's source; adds one unless that file name is
    // listed. A file that cannot be played is listed all the same; `error`,
    // when given, then receives why (FileStreamSource::errorString()), and is
    // emptied otherwise.
    int addFileStreamSource(const QString& filename, QString* error = nullptr);
    // The same for a file whose reader was opened already (say with its
    // progress shown): a source added uses `reader`. A file that cannot be
    // played is not listed: -1, and `error` receives why.
    int addOpenedFileSource(const QString& filename, std::shared_ptr<Tavik::FrameStreamReader> reader,
                            QString* error = nullptr);
    // The position of the file's source, -1 when that file name is not listed.
    int indexOfFile(const QString& filename) const;
    bool removeStreamSource(int index);
    const std::vector<SourcePtr>& getSources() const { return sources; }
    // Selects a source: stops the current one and installs both callbacks in
    // the new one; every selection adds one more relay connection per signal.
    bool setCurrentSource(int pos);
    // The same, installing the frame callback only and removing the outgoing
    // source's relays.
    bool setCurrentSource1(int pos);
    SourcePtr getCurrentSource() const { return currentSource; }
    // Position of the current source in getSources(), -1 when it is not listed.
    int getCurrentSourceIndex() const { return currentSourceIndex; }
    // Position of the live source in getSources(), -1 when there is none.
    int getDepthCameraSourceIndex() const { return depthCameraSourceIndex; }
    bool start();
    bool pause();
    bool stop();
    bool isRunning() const;
    bool isPaused() const;
    Tavik::CameraSystem* getCameraSystem() const { return cameraSystem; }
    // Fills the camera system only while none is held.
    bool setCameraSystem(Tavik::CameraSystem* cameraSystem);

    // Frame fan-out. Types outside 0 .. FRAME_TYPE_COUNT - 1 are refused.
    bool registerCallback(Tavik::FrameType type, FrameCallback callback);
    // Removes the first registration equal to `callback`.
    bool clearCallback(Tavik::FrameType type, const FrameCallback& callback);
    // Passes one frame to every callback of its type, in registration order,
    // on the calling thread.
    void callbackInternal(const Tavik::DepthCameraPtr& depthCamera, const Tavik::FramePtr& frame,
                          Tavik::FrameType type);

    // Camera connection. getDepthCamera() may be called from any thread.
    void setDepthCamera(Tavik::DepthCameraPtr depthCamera);
    Tavik::DepthCameraPtr getDepthCamera() const { return depthCamera.load(); }
    void resetDepthCamera();
    // Drops the camera and the live source (stopped first); a recording that
    // is current keeps playing.
    void disconnectDepthCamera(bool onlyFromUI = false);

    // Power relay.
    void registerPowerSupplierChangedCallback(PowerCallback callback);
    void onPowerChangedCallbackInternal(const Tavik::DepthCameraPtr& depthCamera, int powerLevel);

signals:
    void started();
    void beforestart();
    void stopped();
    void paused();
    void resumed();
    void sourceListChanged();
    void sourceSelected(int pos);
    void onDepthCameraSet();
    void onPowerChanged(int powerLevel);

private:
    using CallbackList = std::vector<FrameCallback>;

    std::shared_ptr<DepthCameraStreamSource> liveSource() const;
    void appendLiveSource();
    bool selectSource(int pos, bool installPowerCallback, bool dropOldRelays);
    void connectRelays(StreamSource* source);
    void disconnectRelays(StreamSource* source);
    int addFile(const QString& filename, std::shared_ptr<Tavik::FrameStreamReader> reader, bool listUnplayable,
                QString* error);
    // Removes the source at `index` and keeps both positions true.
    void eraseSource(int index);

    SharedHandle<Tavik::DepthCamera> depthCamera;
    Tavik::CameraSystem* cameraSystem;
    int depthCameraSourceIndex = -1;
    // Per-type lists, replaced whole on every change so that a walk goes over
    // the list it took, whatever changes meanwhile.
    mutable std::mutex callbacksMutex_;
    std::array<std::shared_ptr<const CallbackList>, Tavik::DepthCamera::FRAME_TYPE_COUNT> callbacks;
    std::vector<SourcePtr> sources;
    SharedHandle<const PowerCallback> powerChangedCallback;
    SourcePtr currentSource;
    int currentSourceIndex = -1;
};

} // namespace Kelvra
