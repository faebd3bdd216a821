#pragma once
// The source of live frames from a connected camera. Start, pause, resume and
// stop are the camera's own; frames go, on the camera's thread, to the one
// installed frame callback.

#include "Kelvra/models/StreamSource.h"
#include "Tavik/DepthCamera.h"

#include <atomic>
#include <memory>

namespace Kelvra {

class DepthCameraStreamSource : public StreamSource {
    Q_OBJECT
public:
    explicit DepthCameraStreamSource(Tavik::DepthCameraPtr depthCamera);
    ~DepthCameraStreamSource() override;

    // Stops a running camera and drops every frame callback registered on it;
    // the camera stays held.
    void disconnect();
    bool isInitialized() const override;
    // Takes the camera: drops every callback registered on it and registers
    // this source for the four frame types. The camera held before keeps its
    // registrations of this source.
    void setDepthCamera(Tavik::DepthCameraPtr depthCamera);
    Tavik::DepthCameraPtr getDepthCamera() const { return depthCamera.load(); }
    bool start() override;
    bool isPaused() const override;
    bool pause() override;
    bool resume() override;
    bool stop() override;
    bool isLiveStream() const override;
    bool isRunning() const override;
    void onPowerChangedCallbackInternal(const Tavik::DepthCameraPtr& depthCamera, int powerLevel);
    void callbackInternal(const Tavik::DepthCameraPtr& depthCamera, const Tavik::FramePtr& frame,
                          Tavik::FrameType type);

private:
    // Lets a registration outlive the source: a camera may keep calling the
    // handler of a source that is gone (it keeps registrations from before a
    // camera change), so every call passes this gate, which the destructor
    // closes after waiting for the calls under way.
    struct CallGate {
        std::atomic<int> inFlight{0};
        std::atomic<bool> open{true};
        bool enter();
        void leave();
        void close();
    };

    SharedHandle<Tavik::DepthCamera> depthCamera;
    std::shared_ptr<CallGate> gate_;
};

} // namespace Kelvra
