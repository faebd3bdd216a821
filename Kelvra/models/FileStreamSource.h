#pragma once
// Plays a recorded stream file as if a camera were streaming it: one frame set
// at a time, on a playback thread that waits between sets so they arrive at
// the pace of their recorded timestamps. While not playing, a seek delivers
// the set at the new position at once.

#include "Kelvra/models/StreamSource.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/FrameStream.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace Kelvra {

class FileStreamSource : public StreamSource {
    Q_OBJECT
public:
    // Opens the reader; the file is not tested here (isInitialized() tells).
    // Without a camera system there is no reader and every operation refuses.
    FileStreamSource(const QString& filename, Tavik::CameraSystem* cameraSystem);
    ~FileStreamSource() override;

    bool isInitialized() const override;
    bool isLiveStream() const override;
    bool isRunning() const override;
    bool isSeekable() const override;
    int64_t currentPosition() const override;
    int64_t currentTimestamp() const override;
    int length() const override;
    // Makes `pos` the next set read (0 .. length() - 1, otherwise false and no
    // move); while not playing, also delivers that set at once.
    bool seek(int pos) override;
    // Reads and delivers one frame set on the calling thread.
    bool processNext();
    bool start() override;
    bool pause() override;
    bool stop() override;

    const QString filename;

private:
    void runLoop();
    // Waits up to `seconds`, ending early when playback is told to end.
    void sleepWhilePlaying(double seconds);
    void wakePlayback();
    void joinPlayback();

    std::thread runThread;
    std::atomic<bool> running{false};
    Tavik::CameraSystem* const cameraSystem;
    std::shared_ptr<Tavik::FrameStreamReader> frameStream;
    std::atomic<int64_t> frameID{0};

    std::mutex wakeMutex_;
    std::condition_variable wake_;
};

} // namespace Kelvra
